#include "fakes/sim_terminal.h"

#include <algorithm>

#include "standard_terminal.h"

namespace movar::fake {

namespace {

// A send leaves `delay` after the previous one left (HostLink's rule), on the virtual clock.
template <class Link>
class VirtualHostLink final : public sim::HostLink {
 public:
  VirtualHostLink(Link& link, Millis& lastOut, int baud, int stopBits)
      : link_(link), lastOut_(lastOut), baud_(baud), stopBits_(stopBits) {}
  void send(const sim::Bytes& bytes, sim::Millis delay) override {
    const Millis at = std::max(link_.now(), lastOut_) + delay.count();
    link_.reply(bytes, at - link_.now());
    lastOut_ = at;
  }
  void closeConnection() override {
    if constexpr (requires { link_.closeConnection(); }) link_.closeConnection();
  }
  int baud() const override { return baud_; }
  int stopBits() const override { return stopBits_; }

 private:
  Link& link_;
  Millis& lastOut_;
  int baud_;
  int stopBits_;
};

class Session {
 public:
  explicit Session(sim::Terminal& terminal) : terminal_(terminal) {}
  void start() {
    session_ = terminal_.newSession();
    lastOut_ = 0;
  }
  template <class Link>
  void feed(Link& link, int baud, int stopBits, const Bytes& bytes) {
    VirtualHostLink<Link> host(link, lastOut_, baud, stopBits);
    session_->feed(host, bytes.data(), bytes.size());
  }

 private:
  sim::Terminal& terminal_;
  std::unique_ptr<sim::Terminal::Session> session_;
  Millis lastOut_ = 0;
};

class SerialSide final : public FakeDevice {
 public:
  explicit SerialSide(sim::Terminal& terminal) : session_(terminal) {}
  void onOpen(DeviceLink&) override { session_.start(); }
  void onHostBytes(DeviceLink& link, const Bytes& bytes) override {
    session_.feed(link, link.baud(), link.stopBits(), bytes);
  }

 private:
  Session session_;
};

// One connection at a time, as the terminal's network interface serves them.
class NetworkSide final : public FakePeer {
 public:
  explicit NetworkSide(sim::Terminal& terminal) : session_(terminal) {}
  void onConnect(PeerLink&) override { session_.start(); }
  void onHostBytes(PeerLink& link, const Bytes& bytes) override { session_.feed(link, 0, 1, bytes); }

 private:
  Session session_;
};

}  // namespace

SimTerminal::SimTerminal(sim::TerminalConfig config)
    : terminal(std::move(config)), memory(terminal.part<sim::RecordMemory>()),
      live(terminal.part<sim::LiveRecords>()) {
  sim::installStandardCommands(terminal);
}

SimTerminal& SimTerminal::on(FakeSerialPorts& serial, int port) {
  serial.attach(port, std::make_shared<SerialSide>(terminal));
  return *this;
}

SimTerminal& SimTerminal::on(FakeNetwork& network, const std::string& ip) {
  network.attach(ip, std::make_shared<NetworkSide>(terminal));
  return *this;
}

Bytes SimTerminal::received(std::size_t skip) const {
  const Bytes all = terminal.receivedBytes();
  return skip < all.size() ? Bytes(all.begin() + static_cast<std::ptrdiff_t>(skip), all.end()) : Bytes{};
}

}  // namespace movar::fake
