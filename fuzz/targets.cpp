#include "targets.h"

#include "download/lan_download.h"
#include "download/modem_download.h"
#include "download/realtime.h"
#include "download/serial_download.h"
#include "persons/fingerprint_files.h"
#include "persons/fingerprint_link.h"
#include "records/conversion.h"
#include "scripted_terminal.h"
#include "settings/baud_rate.h"
#include "settings/rows.h"
#include "settings/runner.h"

namespace movar::fuzz {

namespace {

struct Row {
  const settings::Command& command;
  bool tcp;
  std::size_t values;
};

// Every kind of answer a setting waits for: acknowledgements, a second acknowledgement,
// AnswerBlocks, on both links; the paced text among them; and the rate change.
const Row kRows[] = {
    {settings::kSetTime, false, 7},      {settings::kEnableAll, false, 0},
    {settings::kEnablePerson, false, 1}, {settings::kWhatSn, false, 1},
    {settings::kSnLength, false, 0},     {settings::kSetBell, false, 3},
    {settings::kSendName, false, 1},     {settings::kDeleteAllNames, false, 0},
    {settings::kSendVoice, false, 13},   {settings::kLanSetTime, true, 7},
    {settings::kLanEnableAll, true, 0},  {settings::kLanEnablePerson, true, 1},
    {settings::kLanSetSn, true, 2},      {settings::kLanSendName, true, 1},
    {settings::kLanSendVoice, true, 13}, {settings::kLanDeleteAllNames, true, 0},
};
constexpr int kRowCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);

void setting(Platform& platform, int row) {
  if (row == kRowCount) {
    settings::setBaudRate(platform, 1, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    return;
  }
  static constexpr std::int32_t kValues[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  const Row& r = kRows[row];
  const settings::Values values(kValues, r.values);
  const std::string_view text = std::string_view("AB").substr(0, r.command.longestText);
  if (r.tcp) {
    settings::runTcp(platform, r.command, kIp, values, text);
  } else {
    settings::runSerial(platform, r.command, 1, 1, values, text);
  }
}

// The seven fingerprint exports: two direct, five through the dialogue.
void fingerprint(Platform& platform, int which) {
  switch (which) {
    case 0: persons::getVersion(platform, 1); break;
    case 1: persons::transmitPacket(platform, 1, 0x10, 0x0102, 3, 0, 0); break;
    case 2: persons::deleteTemplate(platform, 1, 1, 7, 0, 1); break;
    case 3: persons::deleteAllTemplates(platform, 1, 1); break;
    case 4: persons::getIdList(platform, 1, 1); break;
    case 5: persons::getTemplate(platform, 1, 1, 7, 0, 1); break;
    default: {
      const std::unique_ptr<File> file =
          platform.files.create(persons::fingerprintDirectory(platform, true) + "FP0007_1.TXT");
      const Bytes templ(persons::kTemplateSize, 0x5A);
      if (file) file->write(templ.data(), templ.size());
      persons::sendTemplate(platform, 1, 1, 7, 1);
    }
  }
}

const FlowInfo& info(Flow flow) { return kFlows[static_cast<int>(flow)]; }

}  // namespace

const FlowInfo kFlows[7] = {
    {Flow::SerialDownload, "serial_download", 0}, {Flow::LanDownload, "lan_download", 0},
    {Flow::ModemDownload, "modem_download", 0},   {Flow::Realtime, "realtime", 2},
    {Flow::Settings, "settings", kRowCount + 1},  {Flow::RecordFiles, "record_files", 0},
    {Flow::Fingerprint, "fingerprint", 7},
};

void runFlow(Flow flow, Platform& platform, std::uint8_t selector) {
  switch (flow) {
    case Flow::SerialDownload: download::serialDownload(platform, 1, 1); break;
    case Flow::LanDownload: download::lanDownload(platform, kIp); break;
    case Flow::ModemDownload: download::modemDownload(platform, 1, 1, "5551234"); break;
    case Flow::Realtime:
      if (selector % 2 == 0) {
        download::realDownload(platform, 1, 1);
      } else {
        download::lanRealDownload(platform, kIp);
      }
      break;
    case Flow::Settings: setting(platform, selector % info(flow).selectors); break;
    case Flow::Fingerprint: fingerprint(platform, selector % info(flow).selectors); break;
    case Flow::RecordFiles: {
      const std::string directory = platform.files.recordDirectory();
      records::convertFile(platform, directory.c_str(), "in");
      records::convertTransactionFile(platform, directory.c_str(), "in");
      break;
    }
  }
}

void fuzzOne(Flow flow, const std::uint8_t* data, std::size_t size) {
  std::uint8_t selector = 0;
  if (info(flow).selectors > 0 && size > 0) {
    selector = data[0];
    ++data, --size;
  }
  if (flow == Flow::RecordFiles) {
    ScriptedRig rig(nullptr, 0);
    rig.f.files.contents[rig.f.files.directory + "in.dat"] = Bytes(data, data + size);
    runFlow(flow, rig.platform(), selector);
    rig.checkClosed();
    return;
  }
  ScriptedRig rig(data, size);
  runFlow(flow, rig.platform(), selector);
  rig.checkClosed();
}

}  // namespace movar::fuzz
