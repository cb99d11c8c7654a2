// A terminal's network interface: listens on <ip>:1024 and serves one connection at a time. A
// connection that comes while one is open is accepted and closed at once, as the terminal does,
// so that the host's first exchange fails instead of waiting behind the other session.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "loopback_listen.h"
#include "terminal.h"
#include "platform/posix/unique_fd.h"

namespace movar::sim {

using posix::UniqueFd;

class TcpListener {
 public:
  // Told, on the listener's thread, of each connection refused: its address and how many so far.
  using OnRefused = std::function<void(const std::string& ip, int refusedSoFar)>;

  TcpListener(Terminal& terminal, const std::string& ip, std::uint16_t port = 1024, OnRefused onRefused = {});
  // On a loopback address of its own (listenOnFreeLoopback).
  explicit TcpListener(Terminal& terminal, OnRefused onRefused = {});
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  const std::string& ip() const { return ip_; }
  int connectionsAccepted() const { return accepted_; }
  int sessionsRefused() const { return refused_; }
  // Ends the open session and stops listening; the counts stay final.
  void stop();

 private:
  TcpListener(Terminal& terminal, LoopbackSocket socket, OnRefused onRefused);
  void run();
  void serve(const UniqueFd& client);
  bool refuseOne();
  // Sleeps until `timeoutMs` passes (-1: for ever) or stop() is called; false after stop().
  bool idle(int timeoutMs) const;
  Terminal& terminal_;
  std::string ip_;
  UniqueFd listener_;
  UniqueFd wake_;  // readable once stop() is called
  OnRefused onRefused_;
  std::atomic<int> accepted_{0};
  std::atomic<int> refused_{0};
  std::thread thread_;
};

}  // namespace movar::sim
