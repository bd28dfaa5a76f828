// Test helpers for the SOCKS client: the loopback peers (socks_peers.h),
// running the thread's message loop with a watchdog, and a probe that
// records a socket's events in the order they are raised.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "socket_fixture.h"
#include "socks_peers.h"
#include "wsocket.h"

namespace socks_test {

using namespace socks_peer;

// Runs the thread's message loop until `Done` holds; false (and a test
// failure) after 5 s, so a hung handshake fails its test instead of
// blocking the suite.
using sockettest::RunUntil;

// Lets the loop run a little longer, for events that must not come.
inline void RunFor(int Ms) {
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  const int LoopFd = tervane::LoopBackendFd();
  while (std::chrono::steady_clock::now() < End) {
    tervane::DispatchPending();
    peer::WaitReadable(LoopFd, 10);
  }
}

// A TWSocket with every event it raises written to a log, in order, and
// every byte it receives kept.
struct SocksProbe {
  TWSocket Socket{nullptr};
  std::vector<std::string> Events;
  std::string Data;
  int FirstRcvdCount = -2;  // RcvdCount seen by the first OnDataAvailable
  bool Connected = false;
  bool Closed = false;
  int SocksError = 0;
  std::string SocksErrorMsg;
  int SessionError = -1;

  SocksProbe() {
    Socket.OnSocksConnected = [this](TObject*, WORD E) { Log("socks-connected", E); };
    Socket.OnSocksAuthState = [this](TObject*, TSocksAuthState S) { Log("auth", S); };
    Socket.OnSocksError = [this](TObject*, int E, const std::string& M) {
      SocksError = E;
      SocksErrorMsg = M;
      Events.push_back("socks-error " + std::to_string(E) + " " + M);
    };
    Socket.OnSessionConnected = [this](TObject*, WORD E) {
      SessionError = E;
      Connected = true;
      Log("session-connected", E);
    };
    Socket.OnSessionClosed = [this](TObject*, WORD E) {
      Closed = true;
      Log("session-closed", E);
    };
    Socket.OnDataAvailable = [this](TObject*, WORD) {
      if (FirstRcvdCount == -2) FirstRcvdCount = Socket.RcvdCount();
      char Buf[2048];
      const int N = Socket.Receive(Buf, sizeof Buf);
      if (N > 0) Data.append(Buf, static_cast<std::size_t>(N));
    };
  }
  void Log(const char* What, int Value) {
    Events.push_back(std::string(What) + " " + std::to_string(Value));
  }
  // Points the socket at `Dest` on loopback through the server on `Proxy`.
  void Aim(int Proxy, const std::string& Level, const std::string& Dest, int DestPort) {
    Socket.SetSocksServer("127.0.0.1");
    Socket.SetSocksPort(std::to_string(Proxy));
    Socket.SetSocksLevel(Level);
    Socket.SetAddr(Dest);
    Socket.SetPort(std::to_string(DestPort));
  }
};

}  // namespace socks_test
