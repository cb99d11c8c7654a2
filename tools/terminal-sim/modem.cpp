#include "modem.h"

#include <cctype>

namespace movar::sim {

namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::size_t kLongestLine = 64;  // the tail of a longer line is kept

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

struct Result {
  const char* word;
  const char* digit;
};
constexpr Result kOk{"OK", "0"}, kError{"ERROR", "4"}, kNoCarrier{"NO CARRIER", "3"},
    kBusy{"BUSY", "7"};

// The terminal behind the modem answers on the host's line but runs at a speed of its own.
class RemoteLink final : public HostLink {
 public:
  RemoteLink(HostLink& line, int baud) : line_(line), baud_(baud) {}
  void send(const Bytes& bytes, Millis delay) override { line_.send(bytes, delay); }
  void closeConnection() override { line_.closeConnection(); }
  int baud() const override { return baud_; }

 private:
  HostLink& line_;
  int baud_;
};

class ModemLine final : public LineFront {
 public:
  ModemLine(Terminal& terminal, Modem& modem) : terminal_(terminal), modem_(modem) {}

  void feed(HostLink& link, const std::uint8_t* data, std::size_t n, const Pass& pass) override {
    if (link.baud() != 0 && link.baud() != Modem::kBaud) return;  // noise at any other speed
    if (!poweredUp_) {  // the script as it stands when the host first speaks
      script_ = modem_.current();
      echo_ = script_.echo;
      verbose_ = script_.verbose;
      poweredUp_ = true;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (online_) {
        const std::set<int> speeds = terminal_.config().speeds;
        RemoteLink remote(link, speeds.empty() ? 0 : *speeds.begin());
        return pass(remote, data + i, n - i);
      }
      command(link, data[i]);
    }
  }

  // The host has let its port go (a real modem sees DTR drop): on hook, switches kept.
  void lineSilent() override {
    online_ = false;
    line_.clear();
  }

 private:
  void command(HostLink& link, std::uint8_t byte) {
    if (echo_ && script_.answers) link.send({byte});
    if (byte != kCr) {
      if (line_.size() == kLongestLine) line_.erase(line_.begin());
      line_.push_back(static_cast<char>(byte));
      return;
    }
    const std::string line = std::move(line_);
    line_.clear();
    modem_.logCommand(line);
    execute(link, line);
  }

  // Whatever precedes "AT" is line noise; then commands of a letter and a digit, D taking the
  // rest of the line as its number.
  void execute(HostLink& link, const std::string& line) {
    std::size_t at = 0;
    while (at + 1 < line.size() && !(upper(line[at]) == 'A' && upper(line[at + 1]) == 'T')) ++at;
    if (at + 1 >= line.size()) return;  // not a command line
    for (at += 2; at < line.size();) {
      const char letter = upper(line[at++]);
      if (letter == ' ') continue;
      if (letter == 'D') {
        if (at < line.size() && (upper(line[at]) == 'T' || upper(line[at]) == 'P')) ++at;
        return dial(link, line.substr(at));
      }
      const bool on = at < line.size() && line[at] == '1';
      if (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
      switch (letter) {
        case 'E': echo_ = on; break;
        case 'V': verbose_ = on; break;
        case 'Q': quiet_ = on; break;
        case 'H': case 'Z': break;
        default: return result(link, kError);
      }
    }
    result(link, kOk);
  }

  Bytes wordOf(const Result& r) const {
    const std::string text = verbose_ ? "\r\n" + std::string(r.word) + "\r\n" : std::string(r.digit) + "\r";
    return Bytes(text.begin(), text.end());
  }

  void result(HostLink& link, const Result& r, Millis delay = Millis{0}) {
    if (script_.answers && !quiet_) link.send(wordOf(r), delay);
  }

  void dial(HostLink& link, const std::string& number) {
    const DialAnswer answer = modem_.dial(number);
    Bytes bytes;
    switch (answer) {
      case DialAnswer::Connect:
        online_ = true;
        if (!quiet_) bytes = wordOf({script_.connect.c_str(), "1"});
        break;
      case DialAnswer::NoCarrier: if (!quiet_) bytes = wordOf(kNoCarrier); break;
      case DialAnswer::Busy: if (!quiet_) bytes = wordOf(kBusy); break;
      case DialAnswer::Garbage: bytes = Bytes(16, 0xFF); break;
      case DialAnswer::Silence: break;
    }
    if (!script_.answers || bytes.empty()) return;
    const std::size_t piece = script_.piece == 0 ? bytes.size() : script_.piece;
    Millis delay = script_.dialTime;
    for (std::size_t from = 0; from < bytes.size(); from += piece) {
      const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(from);
      link.send(Bytes(begin, begin + static_cast<std::ptrdiff_t>(std::min(piece, bytes.size() - from))), delay);
      delay = script_.pieceGap;
    }
  }

  Terminal& terminal_;
  Modem& modem_;
  ModemScript script_;
  bool poweredUp_ = false;
  bool echo_ = false;
  bool verbose_ = true;
  bool quiet_ = false;
  bool online_ = false;
  std::string line_;
};

}  // namespace

void Modem::script(ModemScript script) {
  std::lock_guard lock(mutex_);
  script_ = std::move(script);
}

ModemScript Modem::current() const {
  std::lock_guard lock(mutex_);
  return script_;
}

std::vector<std::string> Modem::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<std::string> Modem::dialled() const {
  std::lock_guard lock(mutex_);
  return dialled_;
}

void Modem::logCommand(const std::string& line) {
  std::lock_guard lock(mutex_);
  commands_.push_back(line);
}

DialAnswer Modem::dial(const std::string& number) {
  std::lock_guard lock(mutex_);
  const std::size_t n = dialled_.size();
  dialled_.push_back(number);
  if (script_.dials.empty()) return DialAnswer::Connect;
  return script_.dials[std::min(n, script_.dials.size() - 1)];
}

void installModem(Terminal& terminal) {
  Modem& modem = terminal.part<Modem>();
  terminal.setFront([&modem](Terminal& t) -> std::unique_ptr<LineFront> {
    return std::make_unique<ModemLine>(t, modem);
  });
}

}  // namespace movar::sim
