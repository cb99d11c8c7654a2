#include "fingerprint_unit.h"

#include <algorithm>
#include <cstring>

namespace movar::sim {

Bytes FingerprintUnit::Script::standardClosing() { return {0x06, 0x15, 0x06, 0x15}; }


namespace {

constexpr std::uint8_t kDialogueCommand = 0x12;
constexpr int kUnitBaud = 9600;
constexpr std::size_t kPacketSize = 12;
constexpr std::size_t kLongestWrite = 8192;
constexpr std::uint8_t kDialogueBlock[] = {0x15, 0x01, 0x02, 0xFD, 0xAA, 0x55, 0xFF};

FingerprintUnit::Key keyOf(std::uint8_t first, std::uint8_t second) {
  return {first | (second & 0x07) << 8, second >> 4, ((second >> 3) & 1) + 1};
}

std::array<std::uint8_t, 2> addressOf(const FingerprintUnit::Key& key) {
  const auto [id, attribute, finger] = key;
  return {static_cast<std::uint8_t>(id & 0xFF),
          static_cast<std::uint8_t>((id >> 8 & 0x07) | (finger - 1) << 3 | attribute << 4)};
}

Bytes answerHeader(std::uint8_t request, std::uint32_t length, std::uint8_t result) {
  Bytes header{0x00, request, 0, 0, 0, 0,
               static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length >> 16), 0, result, 0};
  unsigned sum = 0;
  for (std::size_t i = 0; i < 11; ++i) sum += header[i];
  header[11] = static_cast<std::uint8_t>(sum);
  return header;
}

}  // namespace

// One request packet (with the template after a 0x71) and its answer.
class UnitExchange final : public Exchange {
 public:
  UnitExchange(FingerprintUnit& unit, bool inDialogue) : unit_(unit), inDialogue_(inDialogue) {}

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      in_.push_back(data[i]);
      if (in_.size() == kPacketSize && in_[1] == 0x71) {
        const std::size_t length = in_[6] | in_[7] << 8 | in_[8] << 16;
        need_ += std::min(length, kLongestWrite);
      }
      if (in_.size() < need_) continue;
      answer(link);
      rest_.assign(data + i + 1, data + n);
      return false;
    }
    return true;
  }
  Bytes leftover() override { return rest_; }

 private:
  void answer(HostLink& link) {
    std::lock_guard lock(unit_.mutex_);
    unit_.requests_.push_back(in_);
    if (inDialogue_) unit_.listening_ = false;
    unsigned sum = 0;
    for (std::size_t i = 0; i < 11; ++i) sum += in_[i];
    if (in_[11] != (sum & 0xFF)) return;  // a damaged packet goes unanswered
    const FingerprintUnit::Script s = unit_.script_;
    Bytes data;
    std::uint8_t result = 0;
    bool headerless = false;
    switch (in_[1]) {
      case 0x05: data.assign({'S', 'I', 'M', ' ', '1', '.', '0', '0'}); break;
      case 0x54: result = unit_.templates_.erase(keyOf(in_[2], in_[3])) ? 0 : 1; break;
      case 0x76:
        unit_.templates_.clear();
        headerless = inDialogue_;
        break;
      case 0x7D:
        for (const auto& [key, templ] : unit_.templates_) {
          const auto address = addressOf(key);
          data.insert(data.end(), address.begin(), address.end());
        }
        break;
      case 0x73: {
        const auto found = unit_.templates_.find(keyOf(in_[2], in_[3]));
        if (found == unit_.templates_.end()) result = 1;
        else data = found->second;
        break;
      }
      case 0x71:
        if (in_.size() < kPacketSize + 2) result = 1;
        else unit_.templates_[keyOf(in_[12], in_[13])] = Bytes(in_.begin() + kPacketSize, in_.end());
        break;
      default: result = 2;
    }
    if (s.result) result = *s.result;
    const auto silent = [&s](FingerprintUnit::Phase phase) {
      return s.silentFrom != FingerprintUnit::Phase::None && phase >= s.silentFrom;
    };
    if (!headerless) {
      if (silent(FingerprintUnit::Phase::Header)) return;
      const Bytes header =
          answerHeader(in_[1], s.announcedLength.value_or(static_cast<std::uint32_t>(data.size())), result);
      std::size_t at = 0;
      for (const FingerprintUnit::Piece& piece : s.header) {
        const std::size_t n = std::min(piece.bytes, header.size() - at);
        link.send(Bytes(header.begin() + static_cast<std::ptrdiff_t>(at),
                        header.begin() + static_cast<std::ptrdiff_t>(at + n)),
                  piece.after);
        at += n;
      }
      if (silent(FingerprintUnit::Phase::Data)) return;
      if (s.announcedLength && *s.announcedLength < data.size()) data.resize(*s.announcedLength);
      if (!data.empty()) link.send(data, s.dataDelay);
    }
    if (inDialogue_ && !silent(FingerprintUnit::Phase::Closing)) link.send(s.closing, s.closingDelay);
  }

  FingerprintUnit& unit_;
  bool inDialogue_;
  Bytes in_;
  std::size_t need_ = kPacketSize;
  Bytes rest_;
};

// The block after command 0x12: the dialogue's AA 55 hands the line to the unit; any other
// block is the SN query's (so an SN query for entry 0xAA55 opens the dialogue instead).
class DialogueOpening final : public Exchange {
 public:
  DialogueOpening(FingerprintUnit& unit, std::unique_ptr<Exchange> snQuery)
      : unit_(unit), snQuery_(std::move(snQuery)) {}

  void start(HostLink& link) override {
    if (snQuery_) snQuery_->start(link);
  }

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    if (passing_) return pass(link, data, n);
    for (std::size_t i = 0; i < n; ++i) {
      got_.push_back(data[i]);
      if (got_.back() != kDialogueBlock[got_.size() - 1]) {
        passing_ = true;
        Bytes all = got_;
        all.insert(all.end(), data + i + 1, data + n);
        return pass(link, all.data(), all.size());
      }
      if (got_.size() == sizeof kDialogueBlock) {
        open(link);
        rest_.assign(data + i + 1, data + n);
        return false;
      }
    }
    return true;
  }

  Bytes leftover() override { return passing_ && snQuery_ ? snQuery_->leftover() : rest_; }

 private:
  bool pass(HostLink& link, const std::uint8_t* data, std::size_t n) {
    if (snQuery_) return snQuery_->onBytes(link, data, n);
    rest_.assign(data, data + n);
    return false;
  }

  void open(HostLink& link) {
    std::lock_guard lock(unit_.mutex_);
    const std::optional<std::uint8_t> ack = unit_.script_.dialogueAck;
    if (!ack) return;
    link.send({*ack}, unit_.script_.dialogueAckDelay);
    if (*ack == 0x06) unit_.listening_ = true;
  }

  FingerprintUnit& unit_;
  std::unique_ptr<Exchange> snQuery_;
  Bytes got_;
  Bytes rest_;
  bool passing_ = false;
};

void FingerprintUnit::script(const Script& script) {
  std::lock_guard lock(mutex_);
  script_ = script;
}

void FingerprintUnit::setDirect(bool direct) {
  std::lock_guard lock(mutex_);
  direct_ = direct;
}

void FingerprintUnit::store(int id, int attribute, int finger, const Bytes& templ) {
  std::lock_guard lock(mutex_);
  templates_[{id, attribute, finger}] = templ;
}

void FingerprintUnit::fill(int count) {
  for (int id = 1; id <= count; ++id) store(id, 0, 1, makeTemplate(id, 0, 1));
}

std::map<FingerprintUnit::Key, Bytes> FingerprintUnit::templates() const {
  std::lock_guard lock(mutex_);
  return templates_;
}

std::vector<Bytes> FingerprintUnit::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool FingerprintUnit::listening() const {
  std::lock_guard lock(mutex_);
  return listening_;
}

Bytes makeTemplate(int id, int attribute, int finger) {
  const auto address = addressOf({id, attribute, finger});
  Bytes templ(816);
  templ[0] = address[0];
  templ[1] = address[1];
  for (std::size_t i = 2; i < templ.size(); ++i) {
    templ[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(id + attribute * 3 + finger));
  }
  return templ;
}

void installFingerprintUnit(Terminal& terminal) {
  Terminal::ExchangeFactory snQuery = terminal.handler(kDialogueCommand);
  terminal.handle(kDialogueCommand,
                  [snQuery](Terminal& t, std::uint8_t command) -> std::unique_ptr<Exchange> {
                    return std::make_unique<DialogueOpening>(t.part<FingerprintUnit>(),
                                                             snQuery ? snQuery(t, command) : nullptr);
                  });
  terminal.onLineSilence([&unit = terminal.part<FingerprintUnit>()] {
    std::lock_guard lock(unit.mutex_);
    unit.listening_ = false;
  });
  terminal.claimLine([](Terminal& t, const HostLink& link, const std::uint8_t*,
                        std::size_t) -> std::unique_ptr<Exchange> {
    if (link.baud() != kUnitBaud) return nullptr;
    FingerprintUnit& unit = t.part<FingerprintUnit>();
    std::lock_guard lock(unit.mutex_);
    if (!unit.direct_ && !unit.listening_) return nullptr;
    return std::make_unique<UnitExchange>(unit, !unit.direct_);
  });
}

}  // namespace movar::sim
