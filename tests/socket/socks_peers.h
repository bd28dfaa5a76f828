// Peers for the SOCKS client tests, all on 127.0.0.1: an echo server, a
// scripted SOCKS server for what real servers will not do on demand, and a
// launcher for the real SOCKS servers.  Declared without any system header
// (the POSIX side is socks_peers.cpp) so that test files can include it
// next to the socket layer's Win32 names.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/host_peer.h"

namespace socks_peer {

bool RunningAsRoot();

// Echoes every connection back to its sender until the sender closes.
class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  int Port() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// A SOCKS server that plays a script against the first connection: read an
// exact number of bytes, answer bytes (in one write or one byte at a time),
// then echo or close.  Everything read is kept for the test to compare.
class ScriptedServer {
 public:
  struct Step {
    enum Kind { kExpect, kSend, kSendBytewise, kEcho, kClose } What;
    std::string Bytes;
    std::size_t Count = 0;
  };
  static Step Expect(std::size_t N) { return {Step::kExpect, {}, N}; }
  static Step Send(std::string S) { return {Step::kSend, std::move(S), 0}; }
  static Step SendBytewise(std::string S) { return {Step::kSendBytewise, std::move(S), 0}; }
  static Step Echo() { return {Step::kEcho, {}, 0}; }
  static Step Close() { return {Step::kClose, {}, 0}; }

  explicit ScriptedServer(std::vector<Step> Script);
  ~ScriptedServer();
  int Port() const;
  // Bytes received so far, in order.
  std::string Received() const;
  // Connections accepted so far.
  int Accepted() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};

// A real server run as a child process in a process group of its own, so
// that its helper processes end with it at teardown.
class ServerProcess {
 public:
  explicit ServerProcess(const std::vector<std::string>& Argv);
  ~ServerProcess();
  bool Started() const { return Pid > 0; }

 private:
  int Pid = -1;
};

}  // namespace socks_peer
