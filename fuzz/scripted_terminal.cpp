#include "scripted_terminal.h"

#include <cstdio>
#include <cstdlib>

#include "targets.h"

namespace movar::fuzz {

namespace {

class ScriptedDevice final : public fake::FakeDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  void onHostBytes(fake::DeviceLink& link, const Bytes&) override { link.reply(script_->next()); }

 private:
  std::shared_ptr<Script> script_;
};

class ScriptedPeer final : public fake::FakePeer {
 public:
  explicit ScriptedPeer(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  void onHostBytes(fake::PeerLink& link, const Bytes&) override { link.reply(script_->next()); }

 private:
  std::shared_ptr<Script> script_;
};

constexpr Millis kDay = 24LL * 3600 * 1000;

}  // namespace

Bytes Script::next() {
  if (exhausted()) return {};
  std::size_t length = data_[at_++];
  if (at_ < size_) length |= std::size_t{data_[at_++]} << 8;
  const std::size_t take = length < size_ - at_ ? length : size_ - at_;
  Bytes chunk(data_ + at_, data_ + at_ + take);
  at_ += take;
  return chunk;
}

ScriptedRig::ScriptedRig(const std::uint8_t* data, std::size_t size)
    : script_(std::make_shared<Script>(data, size)) {
  const auto device = std::make_shared<ScriptedDevice>(script_);
  for (int port = 1; port <= 9; ++port) f.serial.attach(port, device);
  f.network.attach(kIp, std::make_shared<ScriptedPeer>(script_));
}

void ScriptedRig::checkClosed() {
  const bool open = f.serial.openLines != 0 || f.network.openStreams != 0 ||
                    f.files.openFiles != 0 || f.ui.openWindows != 0;
  if (open || f.clock.now() > kDay) {
    std::fprintf(stderr, "left open: %d lines, %d sockets, %d files, %d windows; %lld ms\n",
                 f.serial.openLines, f.network.openStreams, f.files.openFiles, f.ui.openWindows,
                 static_cast<long long>(f.clock.now()));
    std::abort();
  }
}

}  // namespace movar::fuzz
