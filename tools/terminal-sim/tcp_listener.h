// A terminal's network interface: listens on <ip>:1024 and serves one connection at a time.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "loopback_listen.h"
#include "terminal.h"
#include "platform/posix/unique_fd.h"

namespace movar::sim {

using posix::UniqueFd;

class TcpListener {
 public:
  TcpListener(Terminal& terminal, const std::string& ip, std::uint16_t port = 1024);
  // On a loopback address of its own (listenOnFreeLoopback).
  explicit TcpListener(Terminal& terminal);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  const std::string& ip() const { return ip_; }
  int connectionsAccepted() const { return accepted_; }

 private:
  TcpListener(Terminal& terminal, LoopbackSocket socket);
  void run();
  Terminal& terminal_;
  std::string ip_;
  UniqueFd listener_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

}  // namespace movar::sim
