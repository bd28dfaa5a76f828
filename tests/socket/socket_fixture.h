// Shared test helpers for the socket layer: run the thread's message loop
// until something holds (with a watchdog), plain POSIX peers on loopback,
// and a recorder of socket events in the order they are raised.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tervane/platform.h>

#include "posix_peer.h"
#include "wsocket.h"

namespace sockettest {

// Runs the message loop until `done` holds.  The limit is a watchdog, not
// a speed goal: a hang fails the test instead of blocking the suite.
inline bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  const int fd = tervane::LoopBackendFd();
  for (;;) {
    tervane::DispatchPending();
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      ADD_FAILURE() << "watchdog: condition not reached";
      return false;
    }
    peer::WaitReadable(fd, static_cast<int>(left < 50 ? left : 50));
  }
}

// Lets whatever is already under way arrive and be dispatched, so that a
// test can check that nothing more happens.
inline void Settle(int rounds = 5) {
  const int fd = tervane::LoopBackendFd();
  for (int i = 0; i < rounds; ++i) {
    tervane::DispatchPending();
    peer::WaitReadable(fd, 20);
  }
  tervane::DispatchPending();
}

// The message of the ESocketException `fn` raises, or "<no exception>".
inline std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (ESocketException& e) {
    return e.what();
  }
  return "<no exception>";
}

using peer::Listener;

inline const char* StateName(TSocketState s) {
  switch (s) {
    case wsInvalidState: return "Invalid";
    case wsOpened: return "Opened";
    case wsBound: return "Bound";
    case wsConnecting: return "Connecting";
    case wsConnected: return "Connected";
    case wsAccepting: return "Accepting";
    case wsListening: return "Listening";
    case wsClosed: return "Closed";
  }
  return "?";
}

// Records events as short texts: "State Closed>Opened", "Connected(0)",
// "Closed(10054)", "DataSent(0)", "SendData(1460)", "Error".
struct Recorder {
  std::vector<std::string> events;

  void Attach(TCustomWSocket& s) {
    s.OnChangeState = [this](TObject*, TSocketState o, TSocketState n) {
      events.push_back(std::string("State ") + StateName(o) + ">" + StateName(n));
    };
    s.OnSessionConnected = [this](TObject*, WORD e) {
      events.push_back("Connected(" + std::to_string(e) + ")");
    };
    s.OnSessionClosed = [this](TObject*, WORD e) {
      events.push_back("Closed(" + std::to_string(e) + ")");
    };
    s.OnDataSent = [this](TObject*, WORD e) {
      events.push_back("DataSent(" + std::to_string(e) + ")");
    };
    s.OnSendData = [this](TObject*, int n) {
      events.push_back("SendData(" + std::to_string(n) + ")");
    };
  }
  int Count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events) n += x == e;
    return n;
  }
  bool Has(const std::string& e) const { return Count(e) > 0; }
};

// A socket connected to `listener`, with the peer's descriptor.
inline int ConnectTo(TCustomWSocket& s, Listener& listener, Recorder* rec = nullptr) {
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  s.Connect();
  int peer = listener.Accept();
  bool sent = false;
  auto old = s.OnDataSent;
  s.OnDataSent = [&](TObject* o, WORD e) {
    sent = true;
    if (old) old(o, e);
  };
  RunUntil([&] { return sent; });
  s.OnDataSent = old;
  if (rec) rec->events.clear();
  return peer;
}

}  // namespace sockettest
