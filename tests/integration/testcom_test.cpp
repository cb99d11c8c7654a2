#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>

#include "exports/movar.h"
#include "sim_fixture.h"
#include "time_bounds.h"

namespace movar::itest {
namespace {

double secondsOf(auto&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class TestComThroughLibrary : public ::testing::Test {
 protected:
  void SetUp() override { unmapAllPorts(); }
};

TEST_F(TestComThroughLibrary, FoundOnStartingPortWithExactPreamble) {
  auto port = SimPort::on(2, {.address = 0x21, .speeds = {57600}});
  int found = 0;
  const double s = secondsOf([&] { found = _TESTCOM(0x121, 2); });  // low byte is the address
  EXPECT_EQ(found, 2);
  EXPECT_LT(s, 0.03 + busyAllowance(0.45));  // the pause after the open; an attempt more waits 1 s
  const auto chunks = port.terminal->received();
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(chunks.front().baud, 57600);
  const sim::Bytes expected{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0x21, 0xDE, 0x00, 0xFF};
  EXPECT_EQ(port.terminal->receivedBytes(), expected);
}

TEST_F(TestComThroughLibrary, FoundOnNextPortAt57600) {
  auto first = SimPort::silent(1);
  auto second = SimPort::on(2, {.address = 5, .speeds = {57600}});
  EXPECT_EQ(_TESTCOM(5, 1), 2);
  // Port 1 heard a preamble at each speed before the search moved on.
  const auto chunks = first.terminal->received();
  ASSERT_GE(chunks.size(), 2u);
  EXPECT_EQ(chunks.front().baud, 57600);
  EXPECT_EQ(chunks.back().baud, 19200);
}

TEST_F(TestComThroughLibrary, FoundAt19200Only) {
  auto port = SimPort::on(3, {.address = 1, .speeds = {19200}});
  EXPECT_EQ(_TESTCOM(1, 3), 3);
  EXPECT_EQ(port.terminal->commands().size(), 1u);
  EXPECT_EQ(port.terminal->received().back().baud, 19200);
}

TEST_F(TestComThroughLibrary, NeverFoundReturnsMinusOneAfterNineAttempts) {
  SimPort ports[] = {SimPort::silent(1), SimPort::silent(2), SimPort::silent(3), SimPort::silent(4)};
  int found = 0;
  const double s = secondsOf([&] { found = _TESTCOM(1, 1); });
  EXPECT_EQ(found, -1);
  EXPECT_GT(s, 9.0);
  EXPECT_LT(s, 9 * 1.03 + busyAllowance(0.5));  // nine opens, each paused and awaited; a tenth waits 1 s
  std::size_t preambleBytes = 0;
  for (auto& p : ports) preambleBytes += p.terminal->receivedBytes().size();
  EXPECT_EQ(preambleBytes, 9u * 14u);
}

TEST_F(TestComThroughLibrary, NoOpenablePortEndsAtOnce) {
  int found = 0;
  const double s = secondsOf([&] { found = _TESTCOM(1, 1); });
  EXPECT_EQ(found, -1);
  EXPECT_LT(s, 0.1);
  for (int bad : {0, -5, 10, 1000, 2147483647}) EXPECT_EQ(_TESTCOM(1, bad), -1) << bad;
}

TEST_F(TestComThroughLibrary, PortHeldOpenElsewhereIsSkipped) {
  auto held = SimPort::on(1, {.address = 1, .speeds = {57600}});
  auto other = SimPort::on(2, {.address = 1, .speeds = {57600}});
  // Another user of port 1 (an open file with the lock taken) makes the open fail, as an
  // unshared Windows handle would.
  const int fd = ::open(held.pty->path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(_TESTCOM(1, 1), 2);
  EXPECT_TRUE(held.terminal->received().empty());
  ::close(fd);
  EXPECT_EQ(_TESTCOM(1, 1), 1);
}

}  // namespace
}  // namespace movar::itest
