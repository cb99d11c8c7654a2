#include "link/net_link.h"

#include <string>

#include "link/failure.h"
#include "link/handshake.h"

namespace movar::link {

// Four dot-separated fields of one to three digits, nothing else. The platforms' conversion also
// takes "1.2.3" (as 1.2.0.3) or "127.0.0.1 x": a mistyped address must fail, not reach some other
// host. The fields' values are still the platform's to read.
bool isDottedDecimal(const char* text) {
  if (text == nullptr) return false;
  int fields = 0, digits = 0;
  for (const char* c = text;; ++c) {
    if (*c >= '0' && *c <= '9') {
      if (++digits > 3) return false;
      continue;
    }
    if (digits == 0) return false;
    ++fields;
    digits = 0;
    if (*c == '\0') return fields == 4;
    if (*c != '.' || fields == 4) return false;
  }
}

namespace {

void recordConnectFailure(const Connection& connection, const std::string& peer) {
  std::string text;
  switch (connection.error) {
    case ConnectError::LibraryStart: text = "the socket library could not start"; break;
    case ConnectError::Socket: text = "no socket could be made for " + peer; break;
    case ConnectError::Connect:
    case ConnectError::None: text = "connection to " + peer + " failed"; break;
  }
  if (!connection.reason.empty()) text += ": " + connection.reason;
  recordFailure(FailureKind::Connect, std::move(text));
}

}  // namespace

NetLink NetLink::open(Platform& platform, const char* ipv4Text) {
  NetLink link;
  if (!isDottedDecimal(ipv4Text)) {
    link.error_ = ConnectError::Connect;
    // The text shown is cut: a host's garbage can be long.
    recordFailure(FailureKind::Argument,
                  ipv4Text ? "invalid IPv4 address text \"" + std::string(ipv4Text).substr(0, 64) +
                                 "\""
                           : std::string("no IPv4 address given"));
    return link;
  }
  link.peer_ = std::string(ipv4Text) + ":" + std::to_string(kTerminalTcpPort);
  Connection connection = platform.network.connect(ipv4Text, kTerminalTcpPort);
  link.error_ = connection.error;
  if (connection.error == ConnectError::None && connection.stream) {
    link.stream_ = std::move(connection.stream);
    link.area_ = std::make_unique<std::array<std::uint8_t, kAreaSize>>();
  } else {
    if (link.error_ == ConnectError::None) link.error_ = ConnectError::Connect;
    connection.error = link.error_;
    recordConnectFailure(connection, link.peer_);
  }
  return link;
}

long NetLink::send(const std::uint8_t* data, std::size_t n) {
  const long sent = stream_ ? stream_->send(data, n) : -1;
  if (sent < 0) recordFailure(FailureKind::Transfer, "sending to " + peer_ + " failed");
  return sent;
}

bool NetLink::send(const Bytes& bytes, Grouping grouping) {
  if (grouping == Grouping::OneWrite) {
    return bytes.empty() || send(bytes) == static_cast<long>(bytes.size());
  }
  for (std::uint8_t b : bytes) {
    if (sendByte(b) != 1) return false;
  }
  return true;
}

bool NetLink::awaitAck(Millis limit) {
  if (!receiveFrame(1, limit)) return false;
  if ((*area_)[0] == control::Ack) return true;
  recordFailure(FailureKind::Refused,
                peer_ + " answered " + hexByte((*area_)[0]) + " instead of an acknowledgement");
  return false;
}

bool NetLink::sendPreamble(std::uint8_t address, std::uint8_t command) {
  return send(commandPreamble(address, command)) == static_cast<long>(kPreambleSize);
}

bool NetLink::receiveFrame(std::size_t m, Millis limit) {
  count_ = 0;
  return receiveMore(m, limit);
}

bool NetLink::receiveMore(std::size_t m, Millis limit) {
  if (!stream_ || m > kAreaSize) return false;
  while (count_ < m) {
    const Received got = stream_->receive(area_->data() + count_, kAreaSize - count_, limit);
    if (got.status != ReceiveStatus::Ok || got.count == 0) {
      recordReceiveFailure(got.status == ReceiveStatus::Ok ? ReceiveStatus::Closed : got.status,
                           limit);
      return false;
    }
    count_ += got.count;
  }
  return true;
}

void NetLink::recordReceiveFailure(ReceiveStatus status, Millis limit) const {
  switch (status) {
    case ReceiveStatus::Timeout:
      recordFailure(FailureKind::NoAnswer,
                    "no answer from " + peer_ + " within " + std::to_string(limit) + " ms");
      break;
    case ReceiveStatus::Closed:
      recordFailure(FailureKind::NoAnswer, peer_ + " closed the connection");
      break;
    case ReceiveStatus::Error:
    case ReceiveStatus::Ok:
      recordFailure(FailureKind::NoAnswer, "receiving from " + peer_ + " failed");
      break;
  }
}

}  // namespace movar::link
