// Settings through the library against the simulated terminal: what each family sets shows in the
// terminal's state, on a pty and over TCP.
#include <gtest/gtest.h>

#include "exports/movar.h"
#include "sim_fixture.h"
#include "terminal_settings.h"

namespace movar::itest {
namespace {

using sim::TerminalSettings;

class SettingsThroughLibrary : public ::testing::Test {
 protected:
  void SetUp() override { unmapAllPorts(); }
};

TEST_F(SettingsThroughLibrary, SerialClockIdentityAndPersons) {
  // At 57600: the whole-terminal commands wait up to 30 s at each speed the terminal ignores.
  auto port = SimPort::on(2, {.address = 4, .speeds = {57600}});
  EXPECT_EQ(_SETTIME(0x104, 2, 0x26, 0x12, 0x09, 0x03, 0x14, 0x30, 0x159), 0);
  EXPECT_EQ(_SETPASSWORD(4, 2, 0x71234), 0);
  EXPECT_EQ(_SETLOCKNUM(4, 2, 0x0102), 0);
  EXPECT_EQ(_ENABLEPERSON(4, 2, 300), 0);
  EXPECT_EQ(_DISABLEPERSON(4, 2, 0x1FFFF), 0);
  EXPECT_EQ(_ENABLEALL(4, 2), 0);
  TerminalSettings::State state = port.terminal->part<TerminalSettings>().state();
  EXPECT_EQ(state.clock, (sim::Bytes{0x26, 0x12, 0x09, 0x03, 0x14, 0x30, 0x59}));
  EXPECT_EQ(state.password, 0x1234);
  EXPECT_EQ(state.lockNumber, 0x0102);
  EXPECT_EQ(state.enabled, (std::set<std::uint16_t>{300}));
  EXPECT_EQ(state.disabled, (std::set<std::uint16_t>{0xFFFF}));
  EXPECT_EQ(state.allPersons, TerminalSettings::AllPersons::Enabled);
  EXPECT_EQ(state.malformedBlocks, 0);
  EXPECT_EQ(_DELLOCKNUM(4, 2), 0);
  EXPECT_FALSE(port.terminal->part<TerminalSettings>().state().lockNumber.has_value());
}

TEST_F(SettingsThroughLibrary, NewMachineNumberIsWhereTestComFindsTheTerminal) {
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  EXPECT_EQ(_SETMACHINEID(4, 1, 300), 0);  // the low byte: 44
  EXPECT_EQ(port.terminal->part<TerminalSettings>().state().machineId, 44);
  EXPECT_EQ(_TESTCOM(44, 1), 1);
}

TEST_F(SettingsThroughLibrary, SnStoredThenAskedForCardsDoorAndBell) {
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  EXPECT_EQ(_SETSN(4, 1, 0x0102, 0x0304), 0);
  EXPECT_EQ(_WHATSN(4, 1, 0x0102), 0x0304);
  EXPECT_EQ(_DELSN(4, 1, 0x0102), 0);
  EXPECT_EQ(_WHATSN(4, 1, 0x0102), 0xFFFF);
  port.terminal->part<TerminalSettings>().setSnLength(8);
  EXPECT_EQ(_GETSNLENTH(4, 1), 8);
  EXPECT_EQ(_SETOPENCLOSE(4, 1, 1), 0);
  EXPECT_EQ(_SENDONLYCARD(4, 1, 70000), 0);
  EXPECT_EQ(_SENDONLYCARD(4, 1, 0x1234), 0);
  EXPECT_EQ(_DELONLYCARD(4, 1, 0x1234), 0);
  EXPECT_EQ(port.terminal->part<TerminalSettings>().state().onlyCards,
            (std::set<std::uint16_t>{0x1170}));
  EXPECT_EQ(_DELALLONLYCARD(4, 1), 0);
  EXPECT_TRUE(port.terminal->part<TerminalSettings>().state().onlyCards.empty());
  EXPECT_EQ(_SETBELL(4, 1, 8, 30, 5), 0);
  const TerminalSettings::State state = port.terminal->part<TerminalSettings>().state();
  EXPECT_EQ(state.answersConfirmed, 3);
  EXPECT_EQ(state.lastBlock.at(0x06), sim::Bytes{0x55});
  EXPECT_EQ(state.lastBlock.at(0x03), sim::Bytes{0x02});
  EXPECT_EQ(state.lastBlock.at(0x18), (sim::Bytes{8, 30, 5}));
}

// The simulator's convention: the message's last byte (the code) names the new speed.
TEST_F(SettingsThroughLibrary, LineSpeedMovesTheTerminalOutOfAndBackIntoTheSearch) {
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  EXPECT_EQ(_SETBAUDRATE(1, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), 0);  // to 9600
  EXPECT_EQ(port.terminal->config().speeds, (std::set<int>{9600}));
  EXPECT_EQ(_TESTCOM(4, 1), -1);  // the search tries only 57600 and 19200
  EXPECT_EQ(_SETBAUDRATE(1, 5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), 0);  // found at 9600
  EXPECT_EQ(_TESTCOM(4, 1), 1);
  EXPECT_EQ(_SETBAUDRATE(3, 5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12), 1);  // no such port
}

TEST(LanSettingsThroughLibrary, ClockAnswerPersonsAndAll) {
  SimNet net;
  const char* ip = net.ip().c_str();
  EXPECT_EQ(_LANSETTIME(ip, 1, 2, 3, 4, 5, 6, 7), 0);
  EXPECT_EQ(_LANANSWER(ip, 0x5A), 0);
  EXPECT_EQ(_LANENABLEPERSON(ip, 300), 0);
  EXPECT_EQ(_LANDISABLEPERSON(ip, 301), 0);
  EXPECT_EQ(_LANDISABLEALL(ip), 0);
  const TerminalSettings::State state = net.terminal.part<TerminalSettings>().state();
  EXPECT_EQ(state.clock, (sim::Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(state.answer, 0x5A);
  EXPECT_EQ(state.enabled, (std::set<std::uint16_t>{300}));
  EXPECT_EQ(state.disabled, (std::set<std::uint16_t>{301}));
  EXPECT_EQ(state.allPersons, TerminalSettings::AllPersons::Disabled);
  net.terminal.part<TerminalSettings>().script(0x02, {.byte = 0x15});
  EXPECT_EQ(_LANSETTIME(ip, 1, 2, 3, 4, 5, 6, 7), 1);
  EXPECT_EQ(_LANSETSN(ip, 7, 700), 0);
  EXPECT_EQ(_LANSETSN(ip, 8, 800), 0);
  EXPECT_EQ(_LANDELSN(ip, 7), 0);
  EXPECT_EQ(_LANSETOPENCLOSE(ip, 0x155), 0);
  EXPECT_EQ(net.terminal.part<TerminalSettings>().state().sn,
            (std::map<std::uint16_t, std::uint16_t>{{8, 800}}));
  EXPECT_EQ(net.terminal.part<TerminalSettings>().state().lastBlock.at(0x06), sim::Bytes{0x55});
  EXPECT_EQ(_LANENABLEALL(nullptr), 1);
  EXPECT_EQ(_LANENABLEALL(""), 1);
  const NobodyThere nobody;
  EXPECT_EQ(_LANENABLEALL(nobody.ip().c_str()), 1);
}

}  // namespace
}  // namespace movar::itest
