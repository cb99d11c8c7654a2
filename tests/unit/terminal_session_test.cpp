// The simulated terminal's sessions driven byte by byte, without a host library: what it answers
// to each step of the host's side of an exchange.
#include <gtest/gtest.h>

#include "record_memory.h"
#include "standard_terminal.h"
#include "terminal.h"

namespace movar::sim {
namespace {

class RecordedLink final : public HostLink {
 public:
  void send(const Bytes& bytes, Millis) override { sent_.insert(sent_.end(), bytes.begin(), bytes.end()); }
  void closeConnection() override {}
  int baud() const override { return 57600; }
  Bytes take() { return std::exchange(sent_, {}); }

 private:
  Bytes sent_;
};

Bytes preamble(std::uint8_t command) {
  Bytes bytes{'N', 'O', 'R', 'V', 'A', 'L', 'E', 'C', 'J', 'S', 0x01, 0xFE, command};
  bytes.push_back(static_cast<std::uint8_t>(0xFF - command));
  return bytes;
}

// The terminal's answer to each of the host's steps.
std::vector<Bytes> converse(Terminal::Session& session, RecordedLink& link, const std::vector<Bytes>& steps) {
  std::vector<Bytes> answers;
  for (const Bytes& step : steps) {
    session.feed(link, step.data(), step.size());
    answers.push_back(link.take());
  }
  return answers;
}

// A host that gives a download up in the middle (Ctrl-C) and starts the next one on the same line
// at once is answered as on a fresh line: no quiet spell needed to end the old transfer.
TEST(TerminalSession, AbandonedTransferEndsAtTheNextPreamble) {
  Terminal terminal;
  installStandardCommands(terminal);
  terminal.part<RecordMemory>().fill(60);  // the header, three record blocks, the end block
  const std::vector<Bytes> download{preamble(0x01), {0x15}, {0x06}, {0x06}, {0x06}, {0x06}, {0x15}};
  RecordedLink link;
  const std::vector<Bytes> fresh = converse(*terminal.newSession(), link, download);
  ASSERT_EQ(fresh.front(), Bytes{0x06});
  ASSERT_EQ(fresh.back(), Bytes{});  // the closing byte ends it

  const auto session = terminal.newSession();
  const std::vector<Bytes> abandonedAfterTheFirstBlock(download.begin(), download.begin() + 4);
  converse(*session, link, abandonedAfterTheFirstBlock);
  EXPECT_EQ(converse(*session, link, download), fresh);
  EXPECT_EQ(terminal.part<RecordMemory>().downloadsServed(), 2);
}

}  // namespace
}  // namespace movar::sim
