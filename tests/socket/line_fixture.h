// Helpers for the line-mode tests: a TWSocket connected over loopback to a
// plain POSIX peer, with line mode on and every OnDataAvailable recorded.
#pragma once

#include <string>
#include <vector>

#include "socket/socket_fixture.h"

namespace linetest {

using sockettest::RunUntil;
using sockettest::Settle;

// A connected socket in line mode and the peer's descriptor.  By default
// each OnDataAvailable takes what RcvdCount announces with ReceiveStr and
// records it; a test replaces OnDataAvailable for other behaviour.
struct LineConnection : ::testing::Test {
  sockettest::Listener listener;
  TWSocket sock{nullptr};
  int peer = -1;
  std::vector<std::string> got;      // one entry per OnDataAvailable
  std::vector<int> counts;           // RcvdCount seen at each event
  std::vector<std::string> events;   // data and close events, in order

  void SetUp() override {
    sock.OnDataAvailable = [this](TObject*, WORD) {
      counts.push_back(sock.RcvdCount());
      got.push_back(sock.ReceiveStr());
      events.push_back("data " + got.back());
    };
    sock.OnSessionClosed = [this](TObject*, WORD e) {
      events.push_back("closed " + std::to_string(e));
    };
    peer = sockettest::ConnectTo(sock, listener);
    ASSERT_GE(peer, 0);
    sock.SetLineMode(true);
  }

  void PeerSends(const std::string& bytes) { ASSERT_TRUE(peer::SendAll(peer, bytes)); }

  // Sends `bytes` and runs the loop until the socket has read all of them
  // (into its line buffer or out to the handler): one arrival per call.
  void Arrival(const std::string& bytes) {
    const int before = sock.ReadCount();
    PeerSends(bytes);
    RunUntil([&] { return sock.ReadCount() >= before + static_cast<int>(bytes.size()); });
  }

  std::string Joined() const {
    std::string all;
    for (const auto& s : got) all += s;
    return all;
  }
};

}  // namespace linetest
