#include "terminal_settings.h"

#include <functional>

#include "live_records.h"

namespace movar::sim {

namespace {

// Stores what a block says; a query returns the value its AnswerBlock carries.
using Store = std::function<std::optional<std::uint16_t>(TerminalSettings::State&,
                                                         const Bytes& payload, Terminal&)>;

constexpr std::optional<std::uint16_t> kNoAnswer;

std::uint16_t word(const Bytes& payload, std::size_t at) {
  return static_cast<std::uint16_t>(payload[at] << 8 | payload[at + 1]);
}

// Byte 0 is the terminal's own; then block 0, its complement, 2 data bytes, their complement,
// the value high byte first and the sum of the two.
Bytes answerBlock(std::uint16_t value, bool damaged) {
  const auto high = static_cast<std::uint8_t>(value >> 8);
  const auto low = static_cast<std::uint8_t>(value & 0xFF);
  const auto sum = static_cast<std::uint8_t>((high + low + (damaged ? 1 : 0)) & 0xFF);
  return {0x15, 0x00, 0xFF, 0x02, 0xFD, high, low, sum};
}

}  // namespace

// 0x15 0x01 N ~N, N payload bytes, their sum modulo 256. Bytes after the block are the next
// command's.
class BlockExchange final : public Exchange {
 public:
  BlockExchange(Terminal& terminal, std::uint8_t command, Store store)
      : terminal_(terminal), command_(command), store_(std::move(store)) {}

  // The block, or (after a query's answer) the host's confirmation.
  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      if (awaitingConfirmation_) {
        const bool confirmed = data[i] == 0x06;
        if (confirmed) {
          TerminalSettings& settings = terminal_.part<TerminalSettings>();
          std::lock_guard lock(settings.mutex_);
          ++settings.state_.answersConfirmed;
        }
        rest_.assign(data + i + (confirmed ? 1 : 0), data + n);
        return false;
      }
      block_.push_back(data[i]);
      if (!complete()) continue;
      if (!answer(link)) {
        rest_.assign(data + i + 1, data + n);
        return false;
      }
      awaitingConfirmation_ = true;
    }
    return true;
  }

  Bytes leftover() override { return rest_; }

 private:
  bool headIntact() const {
    return block_[0] == 0x15 && block_[1] == 0x01 && block_[3] == 0xFF - block_[2];
  }

  // A damaged head ends the block at once; an intact one announces its length.
  bool complete() const {
    if (block_.size() < 4) return false;
    return !headIntact() || block_.size() >= 4u + block_[2] + 1u;
  }

  bool wellFormed() const {
    if (!headIntact()) return false;
    unsigned sum = 0;
    for (std::size_t i = 4; i + 1 < block_.size(); ++i) sum += block_[i];
    return block_.back() == (sum & 0xFF);
  }

  // True when an AnswerBlock went out and the host's confirmation is due.
  bool answer(HostLink& link) {
    TerminalSettings& settings = terminal_.part<TerminalSettings>();
    std::lock_guard lock(settings.mutex_);
    if (!wellFormed()) {
      ++settings.state_.malformedBlocks;
      link.send({0x15});
      return false;
    }
    const Bytes payload(block_.begin() + 4, block_.end() - 1);
    settings.state_.lastBlock[command_] = payload;
    const std::optional<std::uint16_t> value = store_(settings.state_, payload, terminal_);
    const auto scripted = settings.answers_.find(command_);
    const TerminalSettings::Answer reply =
        scripted == settings.answers_.end() ? defaultAnswer(payload) : scripted->second;
    if (!reply.byte) return false;
    link.send({*reply.byte}, reply.workingTime);
    if (reply.done) link.send({*reply.done}, reply.doneAfter);
    if (!value || *reply.byte != 0x06) return false;
    link.send(answerBlock(*value, settings.damagedAnswers_ > 0));
    if (settings.damagedAnswers_ > 0) --settings.damagedAnswers_;
    return true;
  }

  // The backup command (one byte) acknowledges once more when the device is done.
  TerminalSettings::Answer defaultAnswer(const Bytes& payload) const {
    TerminalSettings::Answer answer;
    if (command_ == 0x0E && payload.size() == 1) answer.done = 0x06;
    return answer;
  }

  Terminal& terminal_;
  std::uint8_t command_;
  Store store_;
  Bytes block_;
  Bytes rest_;
  bool awaitingConfirmation_ = false;
};

// A command done after its acknowledgement: its second answer, after the scripted working time.
class SecondAnswer final : public Exchange {
 public:
  explicit SecondAnswer(TerminalSettings::Answer answer) : answer_(answer) {}
  void start(HostLink& link) override {
    if (answer_.byte) link.send({*answer_.byte}, answer_.workingTime);
  }
  bool onBytes(HostLink&, const std::uint8_t* data, std::size_t n) override {
    rest_.assign(data, data + n);
    return false;
  }
  Bytes leftover() override { return rest_; }

 private:
  TerminalSettings::Answer answer_;
  Bytes rest_;
};

// Command 0x16 with an SN length set: the 0x15 that follows the preamble asks for it.
class SnLengthExchange final : public Exchange {
 public:
  SnLengthExchange(TerminalSettings& settings, std::uint16_t length)
      : settings_(settings), length_(length) {}

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      if (!asked_) {
        if (data[i] != 0x15) return end(data + i, data + n);
        asked_ = true;
        std::lock_guard lock(settings_.mutex_);
        link.send(answerBlock(length_, settings_.damagedAnswers_ > 0));
        if (settings_.damagedAnswers_ > 0) --settings_.damagedAnswers_;
        continue;
      }
      if (data[i] == 0x06) {
        std::lock_guard lock(settings_.mutex_);
        ++settings_.state_.answersConfirmed;
        return end(data + i + 1, data + n);
      }
      return end(data + i, data + n);
    }
    return true;
  }
  Bytes leftover() override { return rest_; }

 private:
  bool end(const std::uint8_t* from, const std::uint8_t* to) {
    rest_.assign(from, to);
    return false;
  }
  TerminalSettings& settings_;
  std::uint16_t length_;
  bool asked_ = false;
  Bytes rest_;
};

TerminalSettings::State TerminalSettings::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

TerminalSettings::Answer TerminalSettings::answerTo(std::uint8_t command) const {
  const auto scripted = answers_.find(command);
  return scripted == answers_.end() ? Answer{} : scripted->second;
}

void TerminalSettings::script(std::uint8_t command, Answer answer) {
  std::lock_guard lock(mutex_);
  answers_[command] = answer;
}

void TerminalSettings::setSnLength(std::optional<std::uint16_t> length) {
  std::lock_guard lock(mutex_);
  state_.snLength = length;
}

void TerminalSettings::setName(std::uint16_t person, Bytes name) {
  std::lock_guard lock(mutex_);
  state_.names[person] = std::move(name);
}

void TerminalSettings::damageNextAnswers(int count) {
  std::lock_guard lock(mutex_);
  damagedAnswers_ = count;
}

void installTerminalSettings(Terminal& terminal) {
  using State = TerminalSettings::State;
  const std::map<std::uint8_t, Store> blocks{
      {0x02, [](State& s, const Bytes& p, Terminal&) { s.clock = p; return kNoAnswer; }},
      {0x03,
       [](State& s, const Bytes& p, Terminal&) {
         // The same block sets the lock number and removes a card: the terminal cannot tell.
         if (p.size() == 3 && p[0] == 0x00) s.onlyCards.insert(word(p, 1));
         if (p.size() == 3 && p[0] == 0x01) {
           s.lockNumber = word(p, 1);
           s.onlyCards.erase(word(p, 1));
         }
         if (p.size() == 1 && p[0] == 0x02) s.onlyCards.clear();
         if (p.size() == 1) {
           s.answer = p[0];
           if (p[0] == 0x00) s.lockNumber.reset();
         }
         return kNoAnswer;
       }},
      {0x04,
       [](State& s, const Bytes& p, Terminal& t) {
         if (p.size() != 1) return kNoAnswer;
         s.machineId = p[0];
         TerminalConfig config = t.config();
         config.address = p[0];  // answers at its new address from now on
         t.setConfig(config);
         return kNoAnswer;
       }},
      {0x07,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() == 2) s.password = word(p, 0);
         return kNoAnswer;
       }},
      {0x0A,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 2) return kNoAnswer;
         s.enabled.insert(word(p, 0));
         s.disabled.erase(word(p, 0));
         return kNoAnswer;
       }},
      {0x0B,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 2) return kNoAnswer;
         s.disabled.insert(word(p, 0));
         s.enabled.erase(word(p, 0));
         return kNoAnswer;
       }},
      {0x10,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() == 4) s.sn[word(p, 0)] = word(p, 2);
         return kNoAnswer;
       }},
      {0x11,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() == 2) s.sn.erase(word(p, 0));
         return kNoAnswer;
       }},
      {0x06,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 4) return kNoAnswer;  // the door switch: kept in lastBlock
         const auto name = s.names.find(word(p, 0));
         if (name == s.names.end()) return kNoAnswer;
         Bytes bytes = name->second;
         s.names.erase(name);
         s.names[word(p, 2)] = std::move(bytes);
         return kNoAnswer;
       }},
      {0x0E,
       [](State& s, const Bytes& p, Terminal&) {
         // One byte is the backup command's mode; a name has its person number first.
         if (p.size() == 1) s.backupMode = p[0];
         if (p.size() >= 2) s.names[word(p, 0)] = Bytes(p.begin() + 2, p.end());
         return kNoAnswer;
       }},
      {0x14,
       [](State& s, const Bytes& p, Terminal&) {
         // A one-byte option, or a voice record: 13 fields in 17 bytes, the text's length, the text.
         if (p.size() < 17 || p.size() != 17u + p[16]) return kNoAnswer;
         TerminalSettings::Voice voice;
         std::size_t at = 0;
         for (std::size_t field = 0; field < 13; ++field) {
           const bool wide = field == 1 || field == 2 || field == 4;
           voice.fields[field] = wide ? word(p, at) : p[at];
           at += wide ? 2 : 1;
         }
         voice.text.assign(p.begin() + 17, p.end());
         s.voices[voice.fields[1]] = std::move(voice);
         return kNoAnswer;
       }},
      {0x15,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 2) return kNoAnswer;
         if (word(p, 0) == 0) s.voices.clear();
         s.voices.erase(word(p, 0));
         return kNoAnswer;
       }},
      {0x12,
       [](State& s, const Bytes& p, Terminal&) -> std::optional<std::uint16_t> {
         if (p.size() != 2) return kNoAnswer;
         const auto entry = s.sn.find(word(p, 0));
         return entry == s.sn.end() ? std::uint16_t{0xFFFF} : entry->second;
       }},
  };
  // The door switch, the one-byte options and the bell: what they say stays in lastBlock.
  const Store keepOnly = [](State&, const Bytes&, Terminal&) { return kNoAnswer; };
  // 0x16 is also the serial real-time poll; a terminal with an SN length answers that instead.
  terminal.handle(0x16, [](Terminal& t, std::uint8_t) -> std::unique_ptr<Exchange> {
    TerminalSettings& settings = t.part<TerminalSettings>();
    std::optional<std::uint16_t> length;
    {
      std::lock_guard lock(settings.mutex_);
      length = settings.state_.snLength;
    }
    if (!length) return livePoll(t);
    return std::make_unique<SnLengthExchange>(settings, *length);
  });
  auto handleBlocks = [&terminal](std::uint8_t code, const Store& store) {
    terminal.handle(code, [store](Terminal& t, std::uint8_t command) {
      return std::make_unique<BlockExchange>(t, command, store);
    });
  };
  for (const auto& [code, store] : blocks) handleBlocks(code, store);
  for (int code : {0x13, 0x18}) handleBlocks(static_cast<std::uint8_t>(code), keepOnly);
  terminal.handle(0x05, [](Terminal& t, std::uint8_t command) -> std::unique_ptr<Exchange> {
    TerminalSettings& settings = t.part<TerminalSettings>();
    std::lock_guard lock(settings.mutex_);
    const TerminalSettings::Answer answer = settings.answerTo(command);
    if (answer.byte == 0x06) settings.state_.names.clear();
    return std::make_unique<SecondAnswer>(answer);
  });
  for (const auto& [code, all] : {std::pair{std::uint8_t{0x08}, TerminalSettings::AllPersons::Enabled},
                                  std::pair{std::uint8_t{0x09}, TerminalSettings::AllPersons::Disabled}}) {
    terminal.handle(code, [all = all](Terminal& t, std::uint8_t) -> std::unique_ptr<Exchange> {
      TerminalSettings& settings = t.part<TerminalSettings>();
      std::lock_guard lock(settings.mutex_);
      settings.state_.allPersons = all;
      return nullptr;
    });
  }
}

}  // namespace movar::sim
