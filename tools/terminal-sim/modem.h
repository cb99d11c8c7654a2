// A Hayes modem in front of the terminal, at 9600 baud only. In command mode it answers AT
// commands (echo, verbose and quiet switches honoured), dials as scripted and logs the number;
// after CONNECT every byte goes to the terminal behind it. Every session finds it on hook: each
// open of a line in virtual time, once in a pty's life (a pty cannot tell the host's close).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "terminal.h"

namespace movar::sim {

enum class DialAnswer { Connect, NoCarrier, Busy, Garbage, Silence };

struct ModemScript {
  std::vector<DialAnswer> dials{DialAnswer::Connect};  // one per dial; the last one repeats
  std::string connect = "CONNECT 9600";
  bool echo = false;  // the switches at power-up
  bool verbose = true;
  bool answers = true;    // false: a modem that never says anything
  Millis dialTime{0};     // from the dial's CR to its answer
  std::size_t piece = 0;  // the dial answer in pieces of this many bytes...
  Millis pieceGap{0};     // ...this far apart
};

class Modem {
 public:
  static constexpr int kBaud = 9600;

  void script(ModemScript script);
  ModemScript current() const;
  std::vector<std::string> commands() const;  // command lines as received, without their CR
  std::vector<std::string> dialled() const;

  // For the modem's sessions: the line is logged, a dial takes the next scripted answer.
  void logCommand(const std::string& line);
  DialAnswer dial(const std::string& number);

 private:
  mutable std::mutex mutex_;
  ModemScript script_;
  std::vector<std::string> commands_;
  std::vector<std::string> dialled_;
};

// Puts terminal.part<Modem>() in front of every session of the terminal from now on.
void installModem(Terminal& terminal);

}  // namespace movar::sim
