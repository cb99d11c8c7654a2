#include <gtest/gtest.h>

#include "download/memory_commands.h"
#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "link/net_link.h"

namespace movar::download {
namespace {

using fake::FakePlatform;

// An acknowledgement is taken until the read running at the limit ends (L + 10 ms), not 1 ms
// later; then the search makes all nine attempts.
TEST(MemoryCommands, SerialCodesAndAcknowledgementLimits) {
  struct Row {
    std::int32_t (*run)(Platform&, std::int32_t, std::int32_t);
    std::uint8_t code;
    Millis limit;
  };
  for (const Row& row : {Row{&deleteRecords, 0x0D, 3'000}, Row{&restoreRecords, 0x0C, 1'000},
                         Row{&restoreAllRecords, 0x0F, 1'000}}) {
    for (Millis delay : {row.limit + 10, row.limit + 11}) {
      FakePlatform f;
      fake::SimTerminal t({.address = 9, .speeds = {57600, 19200}, .ackDelay = sim::Millis{delay}});
      t.on(f.serial, 3);
      const bool inTime = delay == row.limit + 10;
      EXPECT_EQ(row.run(f.platform, 0x209, 3), inTime ? 0 : 1) << int{row.code} << " " << delay;
      EXPECT_EQ(f.serial.opens.size(), inTime ? 1u : 9u) << int{row.code};
      EXPECT_EQ(t.terminal.commands().front(), row.code);
      EXPECT_EQ(f.serial.openLines, 0);
    }
  }
  FakePlatform quick;
  fake::SimTerminal t({.address = 9, .speeds = {19200}});
  t.on(quick.serial, 1);
  EXPECT_EQ(restoreAllRecords(quick.platform, 9, 1), 0);
  EXPECT_EQ(restoreRecords(quick.platform, 9, 1), 0);
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
