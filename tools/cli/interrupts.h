// Ctrl-C (and SIGTERM and SIGHUP alike). By default it ends the command at once, as for any program; a download killed that
// way never reaches the erase that follows its transfer, so the terminal keeps its records.
// A command that has a sound stopping point of its own asks for the first Ctrl-C as a request
// instead; a second one still ends it at once.
#pragma once

#include <functional>
#include <stop_token>
#include <thread>

namespace movar::cli {

enum class InterruptMeaning {
  EndAtOnce,       // the default meaning (after the progress line is cleared)
  FinishThenStop,  // the first Ctrl-C is a request (interruptRequested()), the second ends
};

void handleInterrupts(InterruptMeaning meaning);

// A closed standard output or socket is a failed write (EPIPE), said and handled where it
// happens, never a signal that ends the process between taking a record and keeping it.
void ignoreBrokenPipes();
bool interruptRequested();

// The first request as a stop token for the libraries, which read no signal state of their own.
// `requested` (optional) runs once, on a thread of its own, when the request comes.
class InterruptStop {
 public:
  explicit InterruptStop(std::function<void()> requested = {});
  std::stop_token token() const { return source_.get_token(); }

 private:
  std::stop_source source_;
  std::function<void()> requested_;
  std::jthread poller_;  // last: it uses the members above
};

// Set while a progress line is on standard error, so that an interrupt clears it first.
void setProgressLineShown(bool shown);

}  // namespace movar::cli
