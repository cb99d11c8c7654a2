#include <gtest/gtest.h>

#include "download/memory_commands.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/net_link.h"

namespace movar::download {
namespace {

using fake::FakePlatform;

TEST(MemoryCommands, SerialRestoresAt19200) {
  FakePlatform f;
  fake::SimTerminal t({.address = 9, .speeds = {19200}});
  t.on(f.serial, 1);
  EXPECT_EQ(restoreAllRecords(f.platform, 9, 1), 0);
  EXPECT_EQ(restoreRecords(f.platform, 9, 1), 0);
  EXPECT_EQ(t.terminal.commands(), (std::vector<std::uint8_t>{0x0F, 0x0C}));
}

TEST(MemoryCommands, LanEraseIsNotAwaitedRestoreAllIs) {
  FakePlatform f;
  fake::SimTerminal t({.ack = std::nullopt});
  t.on(f.network, "10.1.1.1");
  EXPECT_EQ(lanDeleteRecords(f.platform, "10.1.1.1"), 0);  // silent terminal
  ASSERT_EQ(f.network.sends.size(), 1u);
  const Bytes expected{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0xFA, 0x05, 0x0D, 0xF2};
  EXPECT_EQ(f.network.sends[0].bytes, expected);
  EXPECT_EQ(f.clock.now(), 0);  // nothing received, no pause

  EXPECT_EQ(lanRestoreAllRecords(f.platform, "10.1.1.1"), 1);  // silence: bounded, then 1
  EXPECT_EQ(f.clock.now(), link::kDefaultReceiveLimit);
  const std::pair<sim::TerminalConfig, std::int32_t> rows[] = {
      {{.ack = 0x15}, 1},
      {{.ackDelay = sim::Millis{link::kDefaultReceiveLimit}}, 0},
      {{.ackDelay = sim::Millis{link::kDefaultReceiveLimit + 1}}, 1},
  };
  for (const auto& [config, result] : rows) {
    t.terminal.setConfig(config);
    EXPECT_EQ(lanRestoreAllRecords(f.platform, "10.1.1.1"), result) << config.ackDelay.count();
  }
  EXPECT_EQ(f.network.sends.back().bytes[12], 0x0F);
  EXPECT_EQ(f.network.sends.back().bytes[13], 0xF0);
  EXPECT_EQ(f.network.openStreams, 0);

  EXPECT_EQ(lanDeleteRecords(f.platform, "10.1.1.2"), 1);  // connect fails
  EXPECT_EQ(lanRestoreAllRecords(f.platform, "not an address"), 1);
}

}  // namespace
}  // namespace movar::download
