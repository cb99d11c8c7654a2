#include "terminal_settings.h"

#include <functional>

namespace movar::sim {

namespace {

using Store = std::function<void(TerminalSettings::State&, const Bytes& payload, Terminal&)>;

std::uint16_t word(const Bytes& payload, std::size_t at) {
  return static_cast<std::uint16_t>(payload[at] << 8 | payload[at + 1]);
}

}  // namespace

// 0x15 0x01 N ~N, N payload bytes, their sum modulo 256. Bytes after the block are the next
// command's.
class BlockExchange final : public Exchange {
 public:
  BlockExchange(Terminal& terminal, std::uint8_t command, Store store)
      : terminal_(terminal), command_(command), store_(std::move(store)) {}

  bool onBytes(HostLink& link, const std::uint8_t* data, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) {
      block_.push_back(data[i]);
      if (!complete()) continue;
      rest_.assign(data + i + 1, data + n);
      answer(link);
      return false;
    }
    return true;
  }

  Bytes leftover() override { return rest_; }

 private:
  bool complete() const {
    if (block_.size() < 4) return false;
    if (block_[0] != 0x15 || block_[1] != 0x01 || block_[3] != 0xFF - block_[2]) return true;
    return block_.size() >= 4u + block_[2] + 1u;
  }

  bool wellFormed() const {
    if (block_[0] != 0x15 || block_[1] != 0x01 || block_[3] != 0xFF - block_[2]) return false;
    unsigned sum = 0;
    for (std::size_t i = 4; i + 1 < block_.size(); ++i) sum += block_[i];
    return block_.back() == (sum & 0xFF);
  }

  void answer(HostLink& link) {
    TerminalSettings& settings = terminal_.part<TerminalSettings>();
    std::lock_guard lock(settings.mutex_);
    if (!wellFormed()) {
      ++settings.state_.malformedBlocks;
      link.send({0x15});
      return;
    }
    const Bytes payload(block_.begin() + 4, block_.end() - 1);
    settings.state_.lastBlock[command_] = payload;
    store_(settings.state_, payload, terminal_);
    const auto scripted = settings.answers_.find(command_);
    const TerminalSettings::Answer reply =
        scripted == settings.answers_.end() ? TerminalSettings::Answer{} : scripted->second;
    if (reply.byte) link.send({*reply.byte}, reply.workingTime);
  }

  Terminal& terminal_;
  std::uint8_t command_;
  Store store_;
  Bytes block_;
  Bytes rest_;
};

TerminalSettings::State TerminalSettings::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void TerminalSettings::script(std::uint8_t command, Answer answer) {
  std::lock_guard lock(mutex_);
  answers_[command] = answer;
}

void installTerminalSettings(Terminal& terminal) {
  using State = TerminalSettings::State;
  const std::map<std::uint8_t, Store> blocks{
      {0x02, [](State& s, const Bytes& p, Terminal&) { s.clock = p; }},
      {0x03,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() == 3 && p[0] == 0x01) s.lockNumber = word(p, 1);
         if (p.size() == 1) {
           s.answer = p[0];
           if (p[0] == 0x00) s.lockNumber.reset();
         }
       }},
      {0x04,
       [](State& s, const Bytes& p, Terminal& t) {
         if (p.size() != 1) return;
         s.machineId = p[0];
         TerminalConfig config = t.config();
         config.address = p[0];  // answers at its new address from now on
         t.setConfig(config);
       }},
      {0x07, [](State& s, const Bytes& p, Terminal&) { if (p.size() == 2) s.password = word(p, 0); }},
      {0x0A,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 2) return;
         s.enabled.insert(word(p, 0));
         s.disabled.erase(word(p, 0));
       }},
      {0x0B,
       [](State& s, const Bytes& p, Terminal&) {
         if (p.size() != 2) return;
         s.disabled.insert(word(p, 0));
         s.enabled.erase(word(p, 0));
       }},
  };
  for (const auto& [code, store] : blocks) {
    terminal.handle(code, [store = store](Terminal& t, std::uint8_t command) {
      return std::make_unique<BlockExchange>(t, command, store);
    });
  }
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
