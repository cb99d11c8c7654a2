// Why a call failed, one row per cause: each flow family records the kind and words that name the
// place (address, ports, speeds, file, block) where it fails.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "backup/transfer.h"
#include "download/lan_download.h"
#include "download/memory_commands.h"
#include "download/modem_download.h"
#include "download/serial_download.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/failure.h"
#include "persons/fingerprint_files.h"
#include "records/conversion.h"
#include "settings/rows.h"
#include "settings/runner.h"

namespace movar {
namespace {

using fake::FakePlatform;
using fake::SimTerminal;
using Kind = FailureKind;

struct Rig {
  FakePlatform f;
  SimTerminal t{sim::TerminalConfig{.address = 7}};
};

struct Cause {
  const char* name;
  std::function<void(Rig&)> arrange;
  std::function<std::int32_t(Platform&)> call;
  Kind kind;
  std::string words;  // the text holds these
};

const std::vector<Cause>& causes() {
  static const std::vector<Cause> all{
      {"IPv4 text refused before any I/O", {},
       [](Platform& p) { return download::lanDownload(p, "1.2.3"); }, Kind::Argument,
       "invalid IPv4 address text \"1.2.3\""},
      {"name longer than the terminal holds", {},
       [](Platform& p) {
         return settings::runSerial(p, settings::kSendName, 7, 2, {1},
                                    std::string_view("0123456789012345678901234"));
       },
       Kind::Argument, "text of 25 bytes is longer than the 20 the terminal holds"},
      {"phone number refused", {}, [](Platform& p) { return download::modemDownload(p, 7, 2, ""); },
       Kind::Argument, "phone number"},
      {"directory of a conversion missing", {},
       [](Platform& p) { return records::convertFile(p, "C:\\none\\", "x"); }, Kind::Argument,
       "\"C:\\none\\\" is no directory"},
      {"no COM port opens", {}, [](Platform& p) { return download::serialDownload(p, 7, 2); },
       Kind::NoPort, "none of COM2-COM4, COM1 could be opened"},
      {"serial search unanswered", [](Rig& r) { r.f.serial.attachSilent(2); },
       [](Platform& p) { return download::serialDownload(p, 7, 2); }, Kind::NoAnswer,
       "no terminal at address 7 answered on COM2 at 57600/19200 baud (9 attempts)"},
      {"TCP connection refused", {}, [](Platform& p) { return download::lanDownload(p, "10.0.0.9"); },
       Kind::Connect, "connection to 10.0.0.9:1024 failed"},
      {"no socket", [](Rig& r) { r.f.network.failWith = ConnectError::Socket; },
       [](Platform& p) { return download::lanDownload(p, "10.0.0.9"); }, Kind::Connect,
       "no socket could be made for 10.0.0.9:1024"},
      {"TCP preamble refused",
       [](Rig& r) {
         r.t.terminal.setConfig({.address = 7, .ack = 0x15});
         r.t.on(r.f.network, "10.0.0.7");
       },
       [](Platform& p) { return download::lanRestoreAllRecords(p, "10.0.0.7"); }, Kind::Refused,
       "10.0.0.7:1024 answered 0x15 instead of an acknowledgement"},
      {"TCP preamble unanswered",
       [](Rig& r) {
         r.t.terminal.setConfig({.address = 7, .ack = std::nullopt});
         r.t.on(r.f.network, "10.0.0.7");
       },
       [](Platform& p) { return download::lanRestoreAllRecords(p, "10.0.0.7"); }, Kind::NoAnswer,
       "no answer from 10.0.0.7:1024 within 10000 ms"},
      {"record block broken off",
       [](Rig& r) {
         r.t.memory.fill(30);
         r.t.memory.script({{.block = 2, .kind = sim::BlockFault::Kind::CloseConnection}});
         r.t.on(r.f.network, "10.0.0.7");
       },
       [](Platform& p) { return download::lanDownload(p, "10.0.0.7"); }, Kind::Transfer,
       "record block 2: the connection broke"},
      {"transfer sum wrong",
       [](Rig& r) {
         r.t.memory.fill(30);
         r.t.memory.script({{.block = 3, .kind = sim::BlockFault::Kind::WrongSum}});
         r.t.on(r.f.serial, 2);
       },
       [](Platform& p) { return download::serialDownload(p, 7, 2); }, Kind::Transfer,
       "end block: transfer sum"},
      {"record file not created",
       [](Rig& r) {
         r.f.files.locked.insert("C:\\host\\movar.dat");
         r.t.on(r.f.serial, 2);
       },
       [](Platform& p) { return download::serialDownload(p, 7, 2); }, Kind::File,
       "cannot create C:\\host\\movar.dat"},
      {"no modem", {}, [](Platform& p) { return download::modemDownload(p, 7, 2, "5551234"); },
       Kind::Modem, "no modem answered; COM2-COM4, COM1-COM2 could not be opened"},
      {"backup device silent", [](Rig& r) { r.f.serial.attachSilent(2); },
       [](Platform& p) { return backup::receiveBackup(p, 2); }, Kind::NoAnswer,
       "no device answered the backup's opening"},
      {"fingerprint template missing", [](Rig& r) { r.t.on(r.f.serial, 2); },
       [](Platform& p) { return persons::sendTemplate(p, 7, 2, 300, 2); }, Kind::File,
       "cannot open C:\\host\\FINGERREC\\FP0300_2.TXT"},
  };
  return all;
}

TEST(FailureAccount, EachCauseIsRecordedWithItsPlace) {
  for (const Cause& cause : causes()) {
    SCOPED_TRACE(cause.name);
    Rig rig;
    if (cause.arrange) cause.arrange(rig);
    clearFailure();
    EXPECT_NE(cause.call(rig.f.platform), 0);
    EXPECT_EQ(lastFailureKind(), cause.kind);
    EXPECT_NE(lastFailureText().find(cause.words), std::string::npos) << lastFailureText();
  }
}

}  // namespace
}  // namespace movar
