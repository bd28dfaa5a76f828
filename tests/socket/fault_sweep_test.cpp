// Every failure of every WinSock call an operation makes: for Connect, Send,
// Close, Listen, DnsLookup and the SOCKS handshake (through microsocks),
// the fault module fails the Nth call of each entry point the operation
// uses, N from 1 upward until the operation no longer reaches an Nth call.
// Each run must report its failure (ESocketException, the asynchronous
// error of the event that ends the operation, or LastError where nobody
// waits for an answer), leak no descriptor, window or thread, and leave a
// socket that, once aborted, does the whole operation again.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "fault_module.h"
#include "socket/socks_fixture.h"

using namespace sockettest;
using namespace socks_test;

namespace {

// Every entry point of the module; the sweep uses those an operation calls.
const char* const kEntryPoints[] = {
    "WSAAsyncSelect", "WSAAsyncGetHostByName", "WSAAsyncGetHostByAddr", "WSACancelAsyncRequest",
    "gethostbyname",  "getservbyname",         "getprotobyname",        "socket",
    "connect",        "bind",                  "listen",                "accept",
    "send",           "sendto",                "recv",                  "recvfrom",
    "shutdown",       "closesocket",           "setsockopt",            "ioctlsocket",
    "getsockname",    "getpeername",           "htons",                 "ntohs",
    "inet_addr",      "inet_ntoa"};

// A code no path treats specially (would-block retries, a reset closes).
constexpr int kInjected = WSAENOBUFS;

int Count(const char* dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

// The operation under test on a socket whose setup (a connection, for Send
// and Close) is made before the fault is armed.  `start` begins the
// operation; `succeeded` says whether it has completed well.
struct Operation {
  const char* name;
  std::function<void(TWSocket&)> setup;
  std::function<void(TWSocket&)> start;
  std::function<bool(TWSocket&)> succeeded;
};

struct Peers {
  EchoServer echo;
  int socksPort = peer::FreePort();
  std::unique_ptr<ServerProcess> socks;
  bool socksReady = false;
  std::string received;  // what the socket got back from the echo

  void StartSocks() {
    socks = std::make_unique<ServerProcess>(std::vector<std::string>{
        "/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(socksPort)});
    socksReady = socks->Started() && peer::WaitListening(socksPort, 5000);
  }
};

void Aim(TWSocket& s, int port) {
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
}

std::vector<Operation> Operations(Peers& p) {
  auto connected = [&p](TWSocket& s) {
    Aim(s, p.echo.Port());
    s.Connect();
    RunUntil([&] { return s.State() == wsConnected && s.AllSentFlag(); });
  };
  auto isConnected = [](TWSocket& s) { return s.State() == wsConnected; };
  return {
      {"Connect", [&p](TWSocket& s) { Aim(s, p.echo.Port()); },
       [](TWSocket& s) { s.Connect(); }, isConnected},
      {"Send", connected, [](TWSocket& s) { s.SendStr("ping"); },
       [&p](TWSocket&) { return p.received == "ping"; }},
      {"Close", connected, [](TWSocket& s) { s.Close(); },
       [](TWSocket& s) { return s.State() == wsClosed; }},
      {"Listen",
       [](TWSocket& s) {
         s.SetAddr("127.0.0.1");
         s.SetPort("0");
       },
       [](TWSocket& s) { s.Listen(); },
       [](TWSocket& s) { return s.State() == wsListening; }},
      {"DnsLookup", [](TWSocket&) {}, [](TWSocket& s) { s.DnsLookup("sweep.tervane.test"); },
       [](TWSocket& s) { return s.DnsResult() == "127.0.0.1"; }},
      {"SocksHandshake",
       [&p](TWSocket& s) {
         s.SetSocksServer("127.0.0.1");
         s.SetSocksPort(std::to_string(p.socksPort));
         s.SetSocksLevel("5");
         Aim(s, p.echo.Port());
       },
       [](TWSocket& s) { s.Connect(); }, isConnected},
  };
}

class FaultSweep : public testing::TestWithParam<int> {};

TEST_P(FaultSweep, EveryFailedCallIsReportedLeaksNothingAndLeavesAWorkingSocket) {
  FaultModule faults;
  Peers p;
  std::vector<Operation> ops = Operations(p);
  const Operation& op = ops[static_cast<std::size_t>(GetParam())];
  if (std::string(op.name) == "SocksHandshake") {
    p.StartSocks();
    ASSERT_TRUE(p.socksReady) << "microsocks did not start (scripts/ensure-deps.sh test)";
  }
  // Keeps the library loaded (the last socket unloads it, and with it the
  // hosts seam's names).
  TWSocket keeper(nullptr);
  keeper.DnsLookup("127.0.0.1");
  HMODULE module = LoadLibraryA("wsock32.dll");
  auto hostsSet = reinterpret_cast<TvHostsSetFn>(GetProcAddress(module, "TvHostsSet"));
  ASSERT_NE(hostsSet, nullptr);
  hostsSet("sweep.tervane.test", "127.0.0.1");

  const int fds = Count("/proc/self/fd");
  const int windows = tervane::LiveWindowCount();
  const int threads = Count("/proc/self/task");

  // One run of the operation, with the nth call of `fn` failing (none when
  // `fn` is null).
  struct Run {
    bool done = false;      // the operation completed well
    bool reported = false;  // a failure was reported
    std::string how;
    std::map<std::string, int> calls;  // entry point calls the operation made
  };
  auto runOnce = [&](const char* fn, int nth) {
    Run r;
    auto report = [&r](const std::string& how) {
      if (!r.reported) r.how = how;
      r.reported = true;
    };
    {
      TWSocket s(nullptr);
      s.OnSessionConnected = [&](TObject*, WORD e) {
        if (e) report("OnSessionConnected(" + std::to_string(e) + ")");
      };
      s.OnSessionClosed = [&](TObject*, WORD e) {
        if (e) report("OnSessionClosed(" + std::to_string(e) + ")");
      };
      s.OnDnsLookupDone = [&](TObject*, WORD e) {
        if (e) report("OnDnsLookupDone(" + std::to_string(e) + ")");
      };
      s.OnSocksError = [&](TObject*, int e, const std::string&) {
        report("OnSocksError(" + std::to_string(e) + ")");
      };
      s.OnBgException = [&](TObject*, std::exception& e, bool&) {
        report(std::string("OnBgException: ") + e.what());
      };
      s.OnDataAvailable = [&](TObject*, WORD) {
        char buf[64];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) p.received.append(buf, static_cast<std::size_t>(n));
      };
      for (int round = 0; round < 2; ++round) {
        p.received.clear();
        op.setup(s);
        faults.Reset();  // calls are counted from here
        if (round == 0 && fn) faults.FailCall(fn, nth, kInjected);
        try {
          op.start(s);
        } catch (ESocketException& e) {
          report(std::string("ESocketException: ") + e.what());
        }
        RunUntil([&] { return r.reported || s.LastError() == kInjected || op.succeeded(s); });
        Settle(1);
        if (round == 0) {
          // Where nobody waits for an answer (the receive loop's queries),
          // the failure is kept in LastError.
          if (s.LastError() == kInjected) report("LastError");
          r.done = op.succeeded(s);
          for (const char* name : kEntryPoints) r.calls[name] = faults.CallCount(name);
          faults.Reset();
        } else {
          // The same socket, without the fault, does the whole operation.
          EXPECT_TRUE(op.succeeded(s)) << "not usable again after: " << r.how;
        }
        try {
          s.Abort();
        } catch (ESocketException&) {
        }
        EXPECT_EQ(s.State(), wsClosed) << "Abort left the socket open";
      }
    }
    EXPECT_EQ(tervane::LiveWindowCount(), windows) << "a window leaked";
    // The echo server closes its end, and look-up workers leave once idle,
    // each on its own time.
    EXPECT_TRUE(RunUntil([&] { return Count("/proc/self/fd") <= fds; })) << "a descriptor leaked";
    EXPECT_TRUE(RunUntil([&] { return Count("/proc/self/task") <= threads; })) << "a thread leaked";
    return r;
  };

  const Run clean = runOnce(nullptr, 0);
  ASSERT_TRUE(clean.done && !clean.reported) << op.name << " fails without faults: " << clean.how;
  int runs = 0;
  for (const auto& [fn, count] : clean.calls) {
    if (count == 0) continue;
    for (int nth = 1; nth <= 64; ++nth) {
      SCOPED_TRACE(std::string(op.name) + ": call " + std::to_string(nth) + " of " + fn);
      const Run r = runOnce(fn.c_str(), nth);
      ++runs;
      if (r.calls.at(fn) < nth) break;  // no nth call any more: nothing failed
      // Close's shutdown is a courtesy whose result nobody reads: the
      // closesocket after it ends the session all the same.  The receive
      // loop's reads and count queries keep their failure in LastError,
      // which the next arrival clears: when the operation completed all the
      // same, there may be nothing left to see.
      const bool ignoredByDesign = (std::string(op.name) == "Close" && fn == "shutdown") ||
                                   ((fn == "ioctlsocket" || fn == "recv") && r.done);
      EXPECT_TRUE(r.reported || (ignoredByDesign && r.done))
          << "the failure went unreported (operation "
          << (r.done ? "completed" : "did not complete") << ")";
      if (::testing::Test::HasFailure()) return;
    }
  }
  RecordProperty("runs", runs);
  FreeLibrary(module);
}

std::string OperationName(const testing::TestParamInfo<int>& info) {
  static const char* const kNames[] = {"Connect",   "Send",          "Close", "Listen",
                                       "DnsLookup", "SocksHandshake"};
  return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep, testing::Range(0, 6), OperationName);

}  // namespace
