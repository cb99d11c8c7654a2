#include "fakes/sim_terminal.h"

#include <algorithm>

#include "standard_terminal.h"

namespace movar::fake {

namespace {

// A send leaves `delay` after the previous one left (HostLink's rule), on the virtual clock; the
// terminal's line fault decides what of it reaches the host.
template <class Link>
class VirtualHostLink final : public sim::HostLink {
 public:
  VirtualHostLink(Link& link, Millis& lastOut, int baud, int stopBits, SimTerminal& owner)
      : link_(link), lastOut_(lastOut), baud_(baud), stopBits_(stopBits), owner_(owner) {}
  void send(const sim::Bytes& bytes, sim::Millis delay) override {
    const Millis at = std::max(link_.now(), lastOut_) + delay.count();
    bool close = false;
    link_.reply(onTheLine(bytes, close), at - link_.now());
    lastOut_ = at;
    if (close) closeConnection();
  }
  void closeConnection() override {
    if constexpr (requires { link_.closeConnection(); }) link_.closeConnection();
  }
  int baud() const override { return baud_; }
  int stopBits() const override { return stopBits_; }

 private:
  Bytes onTheLine(const Bytes& bytes, bool& close) {
    const LineFault& fault = owner_.lineFault;
    const std::size_t sent = owner_.sentBytes;
    owner_.sentBytes += bytes.size();
    owner_.sends.push_back(bytes);
    if (fault.kind == LineFault::Kind::None || sent + bytes.size() <= fault.afterBytes) return bytes;
    const std::size_t keep = fault.afterBytes > sent ? fault.afterBytes - sent : 0;
    Bytes out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    if (fault.kind == LineFault::Kind::Flood) {
      for (int i = 0; i < 4096; ++i) out.push_back(static_cast<std::uint8_t>(i * 7));
    } else if (fault.kind == LineFault::Kind::Close) {
      close = true;
    }
    return out;
  }

  Link& link_;
  Millis& lastOut_;
  int baud_;
  int stopBits_;
  SimTerminal& owner_;
};

class Session {
 public:
  explicit Session(SimTerminal& owner) : owner_(owner) {}
  void start() {
    session_ = owner_.terminal.newSession();
    lastOut_ = 0;
  }
  template <class Link>
  void feed(Link& link, int baud, int stopBits, const Bytes& bytes) {
    VirtualHostLink<Link> host(link, lastOut_, baud, stopBits, owner_);
    session_->feed(host, bytes.data(), bytes.size());
  }

 private:
  SimTerminal& owner_;
  std::unique_ptr<sim::Terminal::Session> session_;
  Millis lastOut_ = 0;
};

class SerialSide final : public FakeDevice {
 public:
  explicit SerialSide(SimTerminal& owner) : session_(owner) {}
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
  explicit NetworkSide(SimTerminal& owner) : session_(owner) {}
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
  serial.attach(port, std::make_shared<SerialSide>(*this));
  return *this;
}

SimTerminal& SimTerminal::on(FakeNetwork& network, const std::string& ip) {
  network.attach(ip, std::make_shared<NetworkSide>(*this));
  return *this;
}

Bytes SimTerminal::received(std::size_t skip) const {
  const Bytes all = terminal.receivedBytes();
  return skip < all.size() ? Bytes(all.begin() + static_cast<std::ptrdiff_t>(skip), all.end()) : Bytes{};
}

}  // namespace movar::fake
