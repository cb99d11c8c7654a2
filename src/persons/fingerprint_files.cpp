#include "persons/fingerprint_files.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

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

// A file written beside its place and put there only when the call has succeeded: a fetch that
// fails must not cost the PC its only copy of someone's fingerprint, nor leave an empty one.
class StagedFile {
 public:
  StagedFile(Files& files, std::string target)
      : files_(files), target_(std::move(target)), staging_(target_ + ".part"),
        file_(files_.create(staging_)), pending_(file_ != nullptr) {}
  ~StagedFile() {
    file_.reset();
    if (pending_) files_.remove(staging_);
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  explicit operator bool() const { return file_ != nullptr; }
  File& file() { return *file_; }
  // Closed first: an open file cannot be renamed everywhere.
  bool commit() {
    file_.reset();
    pending_ = !files_.replace(staging_, target_);
    return !pending_;
  }

 private:
  Files& files_;
  std::string target_;
  std::string staging_;
  std::unique_ptr<File> file_;
  bool pending_;
};

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
  const std::string path = fingerprintDirectory(platform, true) + templateFileName(id, finger);
  StagedFile staged(platform.files, path);
  if (!staged) {
    recordFileFailure(platform.files, "create", path + ".part");
    platform.ui.messageBox("can not creat fingerp.TXT!");
    return kFailed;
  }
  const std::optional<std::int32_t> result = completeDialogue(
      platform, address, port, {templatePacket(request::ReadTemplate, id, attribute, finger)},
      kDialogue,
      [&staged](const Bytes& data) { return writeAll(staged.file(), data.data(), data.size()); });
  if (!result) return kFailed;
  if (!staged.commit()) {
    recordFileFailure(platform.files, "replace", path);
    return kFailed;
  }
  return *result;
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
    recordFailure(FailureKind::File,
                  got ? path + " does not hold " + std::to_string(kTemplateSize) + " bytes"
                      : "cannot read " + path);
    return kFailed;
  }
  data.resize(kTemplateSize);
  return runDialogue(platform, address, port, {writeTemplatePacket(), Reads::HeaderOnly, &data},
                     kSendDialogue);
}

}  // namespace movar::persons
