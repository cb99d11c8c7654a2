#include "interrupts.h"

#include <unistd.h>

#include <chrono>
#include <csignal>

namespace movar::cli {

namespace {

// What a signal handler may touch: the process's one disposition of SIGINT, SIGTERM and SIGHUP.
volatile std::sig_atomic_t requests = 0;
volatile std::sig_atomic_t lastSignal = SIGINT;
volatile std::sig_atomic_t progressLineShown = 0;
volatile std::sig_atomic_t meaning = static_cast<int>(InterruptMeaning::EndAtOnce);

void endAtOnce() {
  if (progressLineShown) {
    constexpr char kClearLine[] = "\r\033[K";
    [[maybe_unused]] const auto ignored = ::write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
  }
  // Re-raised with the default action: the process ends as interrupted (status 130 in a shell).
  std::signal(lastSignal, SIG_DFL);
  std::raise(lastSignal);
}

extern "C" void onInterrupt(int signal) {
  lastSignal = signal;
  requests = requests + 1;
  if (meaning == static_cast<int>(InterruptMeaning::EndAtOnce) || requests > 1) endAtOnce();
}

}  // namespace

void handleInterrupts(InterruptMeaning m) {
  meaning = static_cast<int>(m);
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The library's waits carry on through a request (they retry on EINTR); so does stdio.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  // A service manager stops a scheduled collection with SIGTERM: the same request as Ctrl-C.
  ::sigaction(SIGTERM, &action, nullptr);
  // A closed session or a daemon's reload signal: the same request, never the end of a round.
  ::sigaction(SIGHUP, &action, nullptr);
}

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

bool interruptRequested() { return requests > 0; }

// A handler may only set a flag; this turns it into the token's request within a blink.
InterruptStop::InterruptStop(std::function<void()> requested)
    : requested_(std::move(requested)), poller_([this](std::stop_token ended) {
        while (!ended.stop_requested()) {
          if (interruptRequested()) {
            source_.request_stop();
            if (requested_) requested_();
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }) {}

void setProgressLineShown(bool shown) { progressLineShown = shown ? 1 : 0; }

}  // namespace movar::cli
