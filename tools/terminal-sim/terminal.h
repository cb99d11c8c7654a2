// The terminal's side of the wire, without any OS: a preamble scanner per connection that hands
// each acknowledged command to the exchange registered for its code.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <typeindex>
#include <vector>

namespace movar::sim {

using Bytes = std::vector<std::uint8_t>;
using Millis = std::chrono::milliseconds;

// A line quiet both ways this long sends every part of the terminal back to waiting for a
// preamble, as a terminal does, so that no host mistake can leave it stuck in an exchange.
constexpr Millis kLineSilenceReset{3'000};

// What an exchange sees of the connection it runs on.
class HostLink {
 public:
  virtual ~HostLink() = default;
  // Queued behind earlier sends; goes out `delay` after the previous send went out.
  virtual void send(const Bytes& bytes, Millis delay = Millis{0}) = 0;
  virtual void closeConnection() = 0;  // TCP only; a pty stays open
  virtual int baud() const = 0;        // 0 on TCP
  virtual int stopBits() const { return 1; }
};

// One command's continuation after its acknowledgement.
class Exchange {
 public:
  virtual ~Exchange() = default;
  virtual void start(HostLink&) {}
  // False when the exchange is over and the terminal waits for the next preamble.
  virtual bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) = 0;
  // After the exchange ended: bytes it did not take (a next preamble that came instead of the
  // awaited answer), scanned again as the start of the next command.
  virtual Bytes leftover() { return {}; }
};

// A device on the line in front of the terminal (a modem): it sees the host's bytes first and
// hands on through `pass` those that reach the terminal, with the link the terminal answers on.
class LineFront {
 public:
  using Pass = std::function<void(HostLink& link, const std::uint8_t* data, std::size_t n)>;
  virtual ~LineFront() = default;
  virtual void feed(HostLink& link, const std::uint8_t* data, std::size_t n, const Pass& pass) = 0;
  virtual void lineSilent() {}
};

struct TerminalConfig {
  std::uint8_t address = 1;
  std::set<int> speeds{57600};           // serial speeds it understands
  std::optional<std::uint8_t> ack{0x06};  // answer to a preamble; nullopt: silent
  Millis ackDelay{0};
  Millis answerDelay{0};                  // every send of an exchange leaves this much later
  Millis byteGap{0};                      // a slow terminal: its bytes leave this far apart
  bool paceOutput = false;                // serial output at the real line rate (8N1)
};

struct ReceivedChunk {
  double atSeconds = 0;  // since the terminal was made
  int baud = 0;          // 0 on TCP
  Bytes bytes;
};

class Terminal {
 public:
  using ExchangeFactory =
      std::function<std::unique_ptr<Exchange>(Terminal& terminal, std::uint8_t command)>;

  explicit Terminal(TerminalConfig config = {});

  void handle(std::uint8_t command, ExchangeFactory factory);
  // The factory registered for `command`, empty if none: a family that shares a command code
  // with another wraps the other's exchange.
  ExchangeFactory handler(std::uint8_t command) const;

  // A device that takes the line over at times (the fingerprint unit after its dialogue, the
  // backup device at its own line settings). Each is asked, with the line and the bytes that
  // arrived, whenever bytes arrive and no exchange runs; an exchange one returns sees the bytes
  // before the preamble scanner does.
  using LineClaim = std::function<std::unique_ptr<Exchange>(
      Terminal& terminal, const HostLink& link, const std::uint8_t* data, std::size_t n)>;
  void claimLine(LineClaim claim);

  // Every session from now on starts behind a front of its own (a modem on hook).
  void setFront(std::function<std::unique_ptr<LineFront>(Terminal&)> factory);

  // State a part keeps beyond an exchange (a unit waiting for its line) that a silent line ends.
  void onLineSilence(std::function<void()> reset);

  // Everything below locks; transports call in from their own threads.
  TerminalConfig config() const;
  void setConfig(const TerminalConfig& config);
  std::vector<ReceivedChunk> received() const;
  Bytes receivedBytes() const;
  std::vector<std::uint8_t> commands() const;  // acknowledged or not, in arrival order
  void clearLog();

  // Per-connection state: the preamble scanner and the running exchange.
  class Session {
   public:
    explicit Session(Terminal& terminal);
    void feed(HostLink& link, const std::uint8_t* data, std::size_t n);
    // The transport saw nothing go either way for kLineSilenceReset.
    void lineSilent();

   private:
    void take(HostLink& link, const std::uint8_t* data, std::size_t n);
    // `link` carries the acknowledgement, `answers` the exchange's sends.
    void scan(HostLink& link, HostLink& answers);
    enum class Rate { None, Arriving, Taken };
    Rate rateChange(HostLink& link);
    void deliver(HostLink& link, HostLink& answers, const std::uint8_t* data, std::size_t n);
    Terminal& terminal_;
    Bytes pending_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<LineFront> front_;
  };

  std::unique_ptr<Session> newSession() { return std::make_unique<Session>(*this); }

  // State a command family keeps on this terminal (its record memory, stored settings...), made
  // on first use and shared by the family's exchanges and the tests that inspect it.
  template <class T>
  T& part() {
    std::lock_guard lock(mutex_);
    std::shared_ptr<void>& slot = parts_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

  // Held by exchanges that touch terminal state from transport threads.
  std::recursive_mutex& mutex() const { return mutex_; }

 private:
  mutable std::recursive_mutex mutex_;
  TerminalConfig config_;
  std::map<std::uint8_t, ExchangeFactory> handlers_;
  std::vector<LineClaim> lineClaims_;
  std::function<std::unique_ptr<LineFront>(Terminal&)> front_;
  std::vector<std::function<void()>> silenceResets_;
  std::map<std::type_index, std::shared_ptr<void>> parts_;
  std::vector<ReceivedChunk> received_;
  std::vector<std::uint8_t> commands_;
  std::chrono::steady_clock::time_point born_ = std::chrono::steady_clock::now();
};

}  // namespace movar::sim
