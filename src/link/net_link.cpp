#include "link/net_link.h"

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

NetLink NetLink::open(Platform& platform, const char* ipv4Text) {
  NetLink link;
  if (!isDottedDecimal(ipv4Text)) {
    link.error_ = ConnectError::Connect;
    return link;
  }
  Connection connection = platform.network.connect(ipv4Text, kTerminalTcpPort);
  link.error_ = connection.error;
  if (connection.error == ConnectError::None && connection.stream) {
    link.stream_ = std::move(connection.stream);
    link.area_ = std::make_unique<std::array<std::uint8_t, kAreaSize>>();
  } else if (link.error_ == ConnectError::None) {
    link.error_ = ConnectError::Connect;
  }
  return link;
}

long NetLink::send(const std::uint8_t* data, std::size_t n) {
  return stream_ ? stream_->send(data, n) : -1;
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

bool NetLink::awaitAck(Millis limit) { return receiveFrame(1, limit) && (*area_)[0] == control::Ack; }

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
    if (got.status != ReceiveStatus::Ok || got.count == 0) return false;
    count_ += got.count;
  }
  return true;
}

}  // namespace movar::link
