#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "exports/movar.h"
#include "live_records.h"
#include "sim_fixture.h"

namespace movar::itest {
namespace {

using namespace std::chrono_literals;

// Record i: person i, 2009-03-(1 + i%28) 08:(i%60), machine 7.
sim::Bytes recordFor(int i) {
  const int day = 1 + i % 28;
  const int minute = i % 60;
  return {static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF), 0x93,
          static_cast<std::uint8_t>(day), 0x28, static_cast<std::uint8_t>(0xC0 | minute)};
}

std::string textFor(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%06d2009%02d%02d%02d%02d%02d", i, 3, 1 + i % 28, 8, i % 60, 7);
  return text;
}

// The terminal takes `count` records at irregular moments while `poll` runs until all came or
// the time is up; every record must arrive once, in order.
void pollWhileTerminalTakes(sim::LiveRecords& live,
                            const std::function<std::string()>& poll, int count) {
  std::atomic<bool> done{false};
  std::thread terminal([&] {
    for (int i = 1; i <= count && !done; ++i) {
      live.push(recordFor(i));
      std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 == 0 ? 0 : 15 * (i % 7)));
    }
  });
  std::vector<std::string> got;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (static_cast<int>(got.size()) < count && std::chrono::steady_clock::now() < deadline) {
    const std::string text = poll();
    if (text != std::string(20, '0')) got.push_back(text);
  }
  done = true;
  terminal.join();
  ASSERT_EQ(static_cast<int>(got.size()), count);
  for (int i = 1; i <= count; ++i) EXPECT_EQ(got[i - 1], textFor(i)) << i;
  EXPECT_EQ(live.waiting(), 0u);
}

TEST(RealtimeThroughLibrary, SerialPollingLosesNothing) {
  unmapAllPorts();
  auto port = SimPort::on(2, {.address = 9, .speeds = {57600}});
  auto& live = port.terminal->part<sim::LiveRecords>();
  pollWhileTerminalTakes(live, [] { return std::string(_REALDOWNLOAD(9, 2)); }, 100);
}

TEST(RealtimeThroughLibrary, LanPollingLosesNothing) {
  SimNet net;
  auto& live = net.terminal.part<sim::LiveRecords>();
  pollWhileTerminalTakes(live, [&net] { return std::string(_LANREALDOWNLOAD(net.ip().c_str())); }, 100);
}

TEST(RealtimeThroughLibrary, DamagedFrameKeepsTheRecordForTheNextPoll) {
  SimNet net;
  auto& live = net.terminal.part<sim::LiveRecords>();
  live.push(recordFor(5));
  live.damageNextFrames(1);
  EXPECT_EQ(std::string(_LANREALDOWNLOAD(net.ip().c_str())), std::string(20, '0'));
  EXPECT_EQ(live.waiting(), 1u);
  EXPECT_EQ(std::string(_LANREALDOWNLOAD(net.ip().c_str())), textFor(5));
  EXPECT_EQ(live.waiting(), 0u);
}

TEST(RealtimeThroughLibrary, PeerThatClosesAfterItsAckGivesZerosQuickly) {
  SimNet net;
  auto& live = net.terminal.part<sim::LiveRecords>();
  live.push(recordFor(1));
  live.closeAfterAck(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(std::string(_LANREALDOWNLOAD(net.ip().c_str())), std::string(20, '0'));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(live.waiting(), 1u);
}

TEST(RealtimeThroughLibrary, TwoThreadsKeepTheirOwnText) {
  SimNet a, b;
  auto& liveA = a.terminal.part<sim::LiveRecords>();
  auto& liveB = b.terminal.part<sim::LiveRecords>();
  liveA.push(recordFor(11));
  liveB.push(recordFor(22));
  const char* textA = nullptr;
  const char* textB = nullptr;
  std::thread ta([&] { textA = _LANREALDOWNLOAD(a.ip().c_str()); });
  std::thread tb([&] { textB = _LANREALDOWNLOAD(b.ip().c_str()); });
  ta.join();
  tb.join();
  // Each pointer stays readable after its thread's call returned, with its own record.
  EXPECT_EQ(std::string(textA), textFor(11));
  EXPECT_EQ(std::string(textB), textFor(22));
}

}  // namespace
}  // namespace movar::itest
