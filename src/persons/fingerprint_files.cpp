#include "persons/fingerprint_files.h"

#include <memory>
#include <optional>
#include <string>

#include "link/failure.h"
#include "persons/fingerprint_link.h"
#include "persons/fingerprint_packet.h"

namespace movar::persons {

namespace {
bool writeAll(File& file, const std::uint8_t* data, std::size_t size) {
  if (size == 0 || file.write(data, size)) return true;
  recordFailure(FailureKind::File, "cannot write the fingerprint file");
  return false;
}

std::unique_ptr<File> createFile(Files& files, const std::string& path) {
  std::unique_ptr<File> file = files.create(path);
  if (!file) recordFileFailure(files, "create", path);
  return file;
}
}  // namespace

std::string fingerprintDirectory(Platform& platform, bool create) {
  const std::string path = platform.files.recordDirectory() + "FINGERREC";
  if (create && !platform.files.isDirectory(path)) platform.files.makeDirectory(path);
  return path + platform.files.separator();
}

std::int32_t getIdList(Platform& platform, std::int32_t address, std::int32_t port) {
  const std::unique_ptr<File> file =
      createFile(platform.files, fingerprintDirectory(platform, true) + "IDLIST.TXT");
  if (!file) {
    platform.ui.messageBox("can not creat IDLIST.TXT!");
    return kFailed;
  }
  return runDialogue(platform, address, port, {packet(request::IdList)}, kDialogue,
                     [&file](const Bytes& data) {
                       const std::string text = idListText(decodeIdList(data.data(), data.size()));
                       return writeAll(*file, reinterpret_cast<const std::uint8_t*>(text.data()),
                                       text.size());
                     });
}

std::int32_t getTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                         std::int32_t id, std::int32_t attribute, std::int32_t finger) {
  const std::unique_ptr<File> file =
      createFile(platform.files, fingerprintDirectory(platform, true) + templateFileName(id, finger));
  if (!file) {
    platform.ui.messageBox("can not creat fingerp.TXT!");
    return kFailed;
  }
  return runDialogue(platform, address, port,
                     {templatePacket(request::ReadTemplate, id, attribute, finger)}, kDialogue,
                     [&file](const Bytes& data) { return writeAll(*file, data.data(), data.size()); });
}

std::int32_t sendTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                          std::int32_t id, std::int32_t finger) {
  const std::string path = fingerprintDirectory(platform, false) + templateFileName(id, finger);
  const std::unique_ptr<File> file = platform.files.openRead(path);
  if (!file) {
    recordFileFailure(platform.files, "open", path);
    platform.ui.messageBox("can not open fingerp.TXT!");
    return kFailed;
  }
  // The whole file before the terminal is contacted: its size decides whether there is a call at
  // all, and a read that fails halfway cannot leave the unit waiting for the rest.
  Bytes data(kTemplateSize + 1);
  const std::optional<std::size_t> got = file->read(data.data(), data.size());
  if (!got || *got != kTemplateSize) {
    recordFailure(FailureKind::File, got ? path + " does not hold " + std::to_string(kTemplateSize) + " bytes"
                                         : "cannot read " + path);
    return kFailed;
  }
  data.resize(kTemplateSize);
  return runDialogue(platform, address, port, {writeTemplatePacket(), Reads::HeaderOnly, &data},
                     kSendDialogue);
}

}  // namespace movar::persons
