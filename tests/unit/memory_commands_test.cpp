#include <gtest/gtest.h>

#include "download/memory_commands.h"
#include "fakes/fake_platform.h"

namespace movar::download {
namespace {

using fake::FakePlatform;
using fake::PreambleResponder;

TEST(MemoryCommands, SerialCodesAndAcknowledgementLimits) {
  // A terminal that needs 2.5 s: inside the erase's 3 s, outside the restores' 1 s.
  for (auto [run, code, result] :
       {std::tuple{&deleteRecords, 0x0D, 0}, std::tuple{&restoreRecords, 0x0C, 1},
        std::tuple{&restoreAllRecords, 0x0F, 1}}) {
    FakePlatform f;
    auto device = std::make_shared<PreambleResponder>(9, std::set<int>{57600, 19200});
    device->answerDelay = 2'500;
    f.serial.attach(3, device);
    EXPECT_EQ(run(f.platform, 0x209, 3), result) << code;
    EXPECT_EQ(f.serial.opens.size(), result == 0 ? 1u : 9u) << code;
    EXPECT_EQ(device->commandsSeen.front(), code);
    EXPECT_EQ(f.serial.openLines, 0);
  }
  FakePlatform quick;
  quick.serial.attach(1, std::make_shared<PreambleResponder>(9, std::set<int>{19200}));
  EXPECT_EQ(restoreAllRecords(quick.platform, 9, 1), 0);
  EXPECT_EQ(restoreRecords(quick.platform, 9, 1), 0);
}

class ScriptedPeer final : public fake::FakePeer {
 public:
  std::optional<std::uint8_t> answer;
  void onHostBytes(fake::PeerLink& link, const Bytes&) override {
    if (answer) link.reply({*answer}, 5);
  }
};

TEST(MemoryCommands, LanEraseIsNotAwaitedRestoreAllIs) {
  FakePlatform f;
  auto peer = std::make_shared<ScriptedPeer>();
  f.network.attach("10.1.1.1", peer);
  EXPECT_EQ(lanDeleteRecords(f.platform, "10.1.1.1"), 0);  // silent terminal
  ASSERT_EQ(f.network.sends.size(), 1u);
  const Bytes expected{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0xFA, 0x05, 0x0D, 0xF2};
  EXPECT_EQ(f.network.sends[0].bytes, expected);
  EXPECT_EQ(f.clock.now(), 0);  // nothing received, no pause

  EXPECT_EQ(lanRestoreAllRecords(f.platform, "10.1.1.1"), 1);  // silence: bounded, then 1
  EXPECT_EQ(f.clock.now(), 10'000);
  peer->answer = 0x15;
  EXPECT_EQ(lanRestoreAllRecords(f.platform, "10.1.1.1"), 1);
  peer->answer = 0x06;
  EXPECT_EQ(lanRestoreAllRecords(f.platform, "10.1.1.1"), 0);
  EXPECT_EQ(f.network.sends.back().bytes[12], 0x0F);
  EXPECT_EQ(f.network.sends.back().bytes[13], 0xF0);
  EXPECT_EQ(f.network.openStreams, 0);

  EXPECT_EQ(lanDeleteRecords(f.platform, "10.1.1.2"), 1);  // connect fails
  EXPECT_EQ(lanRestoreAllRecords(f.platform, "not an address"), 1);
}

}  // namespace
}  // namespace movar::download
