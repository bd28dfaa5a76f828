// A TTnCnx on the platform's message loop, with every event recorded, and
// the pumping that waits for it (each wait is bounded, so a hang fails).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "loopback_peer.h"
#include "tncnx.h"
#include "transcripts.h"

class TnSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    tervane::SetDebugSink([this](const char* text) { Debug(text); });
    cnx = std::make_unique<TTnCnx>(nullptr);
    Wire(*cnx, log);
  }

  void TearDown() override {
    cnx.reset();
    tervane::SetDebugSink(nullptr);
    EXPECT_FALSE(inTrace) << "a trace number without its text";
  }

  // Record every event of `c` into `out`, in the transcript notation, plus
  // the session events.
  void Wire(TTnCnx& c, std::string& out) {
    c.OnSessionConnected = [this, &out](TTnCnx*, WORD error) {
      connectResult = error;
      ++connects;
      out += "connected " + std::to_string(error) + "\n";
    };
    c.OnSessionClosed = [this, &out](TTnCnx*, WORD) {
      ++closes;
      out += "closed\n";
    };
    c.OnDataAvailable = [this, &out](TTnCnx*, const char* buffer, int len) {
      EXPECT_EQ(buffer[len], '\0') << "the data must be followed by a NUL";
      dataSizes.push_back(len);
      received.append(buffer, static_cast<std::size_t>(len));
      out += "data " + TnHex(buffer, static_cast<std::size_t>(len)) + "\n";
    };
    c.OnDisplay = [&out](TTnCnx*, const std::string& text) {
      out += "display " + TnShowText(text) + "\n";
    };
    c.OnEndOfRecord = [&out](TObject*) { out += "eor\n"; };
    c.OnSendLoc = [&out](TObject*) { out += "sendloc\n"; };
    c.OnTermType = [&out](TObject*) { out += "termtype\n"; };
    c.OnLocalEcho = [&c, &out](TObject* sender) {
      EXPECT_EQ(sender, &c);
      out += std::string("localecho ") + (c.LocalEcho ? "1" : "0") + "\n";
    };
    // Trace lines of this session go to the same log.
    traceLog = &out;
  }

  // Trace lines arrive as two writes: "NNNN " and the text.  The number
  // counts every trace line of the process from 0001, in upper-case
  // hexadecimal of at least four digits, so it is checked against a count
  // of the lines this process has seen (every test installs this sink).
  void Debug(const char* text) {
    const std::string s = text;
    if (!inTrace) {
      char want[16];
      std::snprintf(want, sizeof want, "%04X ", ++TracesSeen());
      if (s != want && traceNumbersOk) {
        traceNumbersOk = false;
        ADD_FAILURE() << "trace number \"" << s << "\", want \"" << want << "\"";
      }
      inTrace = true;
    } else {
      if (traceLog != nullptr) *traceLog += "trace " + TnShowText(s) + "\n";
      inTrace = false;
    }
  }
  static unsigned& TracesSeen() {
    static unsigned seen = 0;
    return seen;
  }

  // Run the loop until `done` holds; false after `ms` without it.
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      peer::WaitReadable(tervane::LoopBackendFd(), 5);
      tervane::DispatchPending();
    }
    return true;
  }
  // Run the loop for a little while (for "nothing more happens" checks).
  void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
  }

  // Connect `c` to `srv` and wait for both ends.
  void Open(TTnCnx& c, peer::LoopbackServer& srv) {
    c.Host = "127.0.0.1";
    c.Port = std::to_string(srv.Port());
    const int before = connects;
    c.Connect();
    ASSERT_TRUE(PumpUntil([&] { return srv.TryAccept() && connects > before; }));
    ASSERT_EQ(connectResult, 0);
  }

  // Send one chunk from the server and wait until `c` has read all of it,
  // so that each chunk is a read of its own.
  void Deliver(TTnCnx& c, peer::LoopbackServer& srv, const std::string& chunk) {
    ASSERT_NE(c.Socket(), nullptr);
    const int target = c.Socket()->ReadCount() + static_cast<int>(chunk.size());
    srv.Send(chunk);
    ASSERT_TRUE(PumpUntil([&] { return c.Socket() != nullptr && c.Socket()->ReadCount() >= target; }))
        << "the client did not read what was sent";
  }

  // What the client has sent, once `n` bytes have arrived.
  std::string ClientSent(peer::LoopbackServer& srv, std::size_t n) {
    PumpUntil([&] { return srv.Poll().size() >= n; });
    return srv.Poll();
  }

  std::unique_ptr<TTnCnx> cnx;
  peer::LoopbackServer server;
  std::string log, received;
  std::vector<int> dataSizes;
  int connects = 0, closes = 0;
  WORD connectResult = 0;

 private:
  std::string* traceLog = nullptr;
  bool inTrace = false, traceNumbersOk = true;
};
