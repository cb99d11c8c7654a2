// Settings through the library against the simulated terminal: what each family sets shows in the
// terminal's state, on a pty and over TCP.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string_view>
#include <thread>

#include "counted_text.h"
#include "exports/movar.h"
#include "link/handshake.h"
#include "sim_fixture.h"
#include "terminal_settings.h"
#include "time_bounds.h"

namespace movar::itest {
namespace {

using sim::TerminalSettings;
using testkit::Counted;

constexpr std::string_view kGbkName = "\xD5\xC5\xC8\xFD";                 // two Chinese characters
constexpr std::string_view kCp1252Name{"Jos\xE9\0\x80", 6};               // a zero byte inside
const sim::Bytes bytesOf(std::string_view text) { return sim::Bytes(text.begin(), text.end()); }

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

TEST_F(SettingsThroughLibrary, NamesAndVoiceReachTheTerminalByteForByte) {
  auto port = SimPort::on(1, {.address = 4, .speeds = {57600}});
  TerminalSettings& settings = port.terminal->part<TerminalSettings>();
  EXPECT_EQ(_SENDNAME(4, 1, 0x1234, kGbkName.data()), 0);
  EXPECT_EQ(_SENDNAME(4, 1, 7, "Ann"), 0);
  EXPECT_EQ(_CHANGENAMEID(4, 1, 0x1234, 0x42), 0);
  EXPECT_EQ(settings.state().names,
            (std::map<std::uint16_t, sim::Bytes>{{7, bytesOf("Ann")}, {0x42, bytesOf(kGbkName)}}));
  const Counted text("Caf\xE9");
  EXPECT_EQ(_SENDVOICE(4, 1, 1, 0x1234, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, text.text()), 0);
  EXPECT_EQ(text.count(), 1);
  ASSERT_EQ(settings.state().voices.count(0x1234), 1u);
  EXPECT_EQ(settings.state().voices.at(0x1234).text, bytesOf("Caf\xE9"));
  EXPECT_EQ(settings.state().voices.at(0x1234).fields[12], 13);
  EXPECT_EQ(_DELVOICE(4, 1, 0x1234), 0);
  EXPECT_TRUE(settings.state().voices.empty());
  EXPECT_EQ(_DELETEALLNAME(4, 1), 0);
  EXPECT_TRUE(settings.state().names.empty());
  port.terminal->clearLog();
  EXPECT_EQ(_SENDNAME(4, 1, 1, "twenty-one characters"), 1);
  EXPECT_TRUE(port.terminal->receivedBytes().empty());
}

// The far end of the line acknowledges the backup command and hangs up at the first byte of
// its block (an adapter pulled out, here the pty's other side closed). The wait for the answer
// still takes its 3 s, and costs the processor what silence costs.
TEST_F(SettingsThroughLibrary, HungUpLineIsWaitedOutWithoutSpinning) {
  sim::UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(master && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0);
  ::setenv("MOVAR_COM1", ::ptsname(master.get()), 1);
  std::thread farEnd([&master] {
    std::size_t heard = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (heard <= link::kPreambleSize && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master.get(), POLLIN, 0};
      std::uint8_t buffer[64];
      if (::poll(&p, 1, 10) <= 0) continue;
      const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
      if (n <= 0) continue;
      const bool preambleIn = heard < link::kPreambleSize && heard + n >= link::kPreambleSize;
      heard += static_cast<std::size_t>(n);
      if (preambleIn) {
        const std::uint8_t ack = 0x06;
        EXPECT_EQ(::write(master.get(), &ack, 1), 1);
      }
    }
    master.reset();
  });
  timespec cpuStart{}, cpuEnd{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(_ZWBACKUP(1, 1, 9), 1);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
  farEnd.join();
  const double cpu = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                     static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9;
  EXPECT_GT(seconds, 3.0);
  EXPECT_LT(seconds, 3.0 + busyAllowance(1.0));  // a second wait would be 3 s more
  EXPECT_LT(cpu, 0.2);
}

TEST(LanSettingsThroughLibrary, NamesAndVoiceReachTheTerminalByteForByte) {
  SimNet net;
  const char* ip = net.ip().c_str();
  TerminalSettings& settings = net.terminal.part<TerminalSettings>();
  const Counted name(kCp1252Name);
  EXPECT_EQ(_LANSENDNAME(ip, 0x10005, name.text()), 0);  // person 5
  EXPECT_EQ(name.count(), 1);
  EXPECT_EQ(_LANSENDNAME(ip, 6, nullptr), 0);
  EXPECT_EQ(_LANCHANGENAMEID(ip, 5, 9), 0);
  EXPECT_EQ(settings.state().names,
            (std::map<std::uint16_t, sim::Bytes>{{6, {}}, {9, bytesOf(kCp1252Name)}}));
  const Counted text("");
  EXPECT_EQ(_LANSENDVOICE(ip, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, text.text()), 0);
  EXPECT_EQ(_LANSENDVOICE(ip, 1, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, name.text()), 0);
  EXPECT_EQ(settings.state().voices.size(), 2u);
  EXPECT_EQ(_LANDELVOICE(ip, 2), 0);
  EXPECT_EQ(settings.state().voices.size(), 1u);
  EXPECT_EQ(_LANDELALLVOICE(ip), 0);
  EXPECT_TRUE(settings.state().voices.empty());
  EXPECT_EQ(_LANDELETEALLNAME(ip), 0);
  EXPECT_TRUE(settings.state().names.empty());
  const std::size_t commands = net.terminal.commands().size();
  const Counted tooLong(std::string(101, 'x'));
  EXPECT_EQ(_LANSENDNAME(ip, 1, tooLong.text()), 1);
  EXPECT_EQ(net.terminal.commands().size(), commands);
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
  // Why, with the address; and nothing once a call succeeds.
  EXPECT_EQ(movar_last_error_code(), MOVAR_E_CONNECT);
  EXPECT_EQ(std::string(movar_last_error()),
            "connection to " + nobody.ip() + ":1024 failed: Connection refused");
  EXPECT_EQ(_LANENABLEALL(ip), 0);
  EXPECT_EQ(movar_last_error_code(), MOVAR_OK);
  EXPECT_STREQ(movar_last_error(), "");
}

}  // namespace
}  // namespace movar::itest
