// Asynchronous look-ups through the module: /etc/hosts for localhost, the
// module's hosts seam for everything else (no name server is ever asked),
// cancellation, replacement, stale and forged replies.
#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "fault_module.h"
#include "services_helpers.h"

using namespace sockettest;
using namespace servicestest;

namespace {

// Polls `done` without dispatching messages (a watchdog, not a speed goal).
template <class Fn>
bool RunUntilQueued(Fn done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "watchdog: condition not reached";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct Lookup {
  std::vector<int> done;  // the Error of each OnDnsLookupDone
  TWSocket s{nullptr};

  Lookup() {
    s.OnDnsLookupDone = [this](TObject*, WORD e) { done.push_back(e); };
  }
  std::vector<std::string> List() const { return s.DnsResultList(); }
  void Wait() {
    RunUntil([&] { return !done.empty(); });
  }
};

TEST(Dns, AnswersFromHostsFileSeamAndDottedText) {
  HostsSeam hosts;
  Lookup l;
  // A dotted address is answered inside the call, without a list.
  l.s.DnsLookup("127.0.0.1");
  EXPECT_EQ(l.done, std::vector<int>{0});
  EXPECT_EQ(l.s.DnsResult(), "127.0.0.1");
  EXPECT_TRUE(l.List().empty());

  l.done.clear();
  l.s.DnsLookup("localhost");
  EXPECT_TRUE(l.done.empty());  // pending: results stay empty until the reply
  EXPECT_EQ(l.s.DnsResult(), "");
  l.Wait();
  EXPECT_EQ(l.done, std::vector<int>{0});
  EXPECT_EQ(l.s.DnsResult(), "127.0.0.1");

  hosts.Set("three.tervane.test", "127.0.0.3,127.0.0.4,127.0.0.2");
  l.done.clear();
  l.s.DnsLookup("three.tervane.test");
  l.Wait();
  EXPECT_EQ(l.List(), (std::vector<std::string>{"127.0.0.3", "127.0.0.4", "127.0.0.2"}));
  EXPECT_EQ(l.s.DnsResult(), "127.0.0.3");

  l.done.clear();
  l.s.ReverseDnsLookup("127.0.0.4");
  l.Wait();
  EXPECT_EQ(l.done, std::vector<int>{0});
  EXPECT_EQ(l.s.DnsResult(), "three.tervane.test");
  EXPECT_EQ(l.List(), std::vector<std::string>{"three.tervane.test"});

  l.done.clear();
  l.s.DnsLookup("nosuch.invalid");
  l.Wait();
  EXPECT_EQ(l.done, std::vector<int>{11001});
  EXPECT_EQ(l.s.DnsResult(), "");
  EXPECT_TRUE(l.List().empty());
}

// A host record larger than the 1025-byte reply area is not written at all:
// the look-up fails with the library's no-buffer code and empty results.
TEST(Dns, AnswerTooLargeForTheReplyAreaFails) {
  HostsSeam hosts;
  std::string many;
  for (int i = 0; i < 200; ++i) {
    if (i) many += ',';
    many += "127.9.";
    many += std::to_string(i);
    many += ".1";
  }
  hosts.Set("many.tervane.test", many.c_str());
  Lookup l;
  l.s.DnsLookup("many.tervane.test");
  l.Wait();
  EXPECT_EQ(l.done, std::vector<int>{10055});
  EXPECT_TRUE(l.List().empty());
}

TEST(Dns, CancelReplaceStaleAndForgedReplies) {
  FaultModule faults;
  HostsSeam hosts(HostsSeam::kChosenModule);
  Lookup l;
  l.s.CancelDnsLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(l.done.empty());

  // The name server never answers, so the look-up is certainly still
  // pending when it is cancelled, however loaded the machine.
  faults.StallLookups(true);
  l.s.DnsLookup("localhost");
  l.s.CancelDnsLookup();
  EXPECT_EQ(l.done, std::vector<int>{10004});  // inside the call
  faults.StallLookups(false);                  // its worker answers now: to nobody
  Settle();
  EXPECT_EQ(l.done, std::vector<int>{10004});

  // A second look-up replaces the first without an event for the first.
  hosts.Set("one.tervane.test", "127.0.0.9");
  l.done.clear();
  l.s.DnsLookup("localhost");
  l.s.DnsLookup("one.tervane.test");
  l.Wait();
  Settle();
  EXPECT_EQ(l.done, std::vector<int>{0});
  EXPECT_EQ(l.s.DnsResult(), "127.0.0.9");

  // Replies that do not carry the pending request's handle are dropped.
  l.done.clear();
  l.s.DnsLookup("one.tervane.test");
  PostMessageA(l.s.Handle(), WM_SOCKET_HOSTBYNAME, 0x7FFF0001, 11001 << 16);
  PostMessageA(l.s.Handle(), WM_SOCKET_HOSTBYADDR, 0x7FFF0002, 11001 << 16);
  l.Wait();
  Settle();
  EXPECT_EQ(l.done, std::vector<int>{0});
  EXPECT_EQ(l.s.DnsResult(), "127.0.0.9");
}

// Waits, without dispatching anything, until the module has posted the
// look-up's reply to the socket's window: the look-up has completed and
// its reply is on the way.
bool ReplyQueued(TWSocket& s) {
  return RunUntilQueued([&] {
    MSG m{};
    return PeekMessageA(&m, s.Handle(), WM_SOCKET_HOSTBYNAME, WM_SOCKET_HOSTBYNAME,
                        PM_NOREMOVE) != FALSE;
  });
}

// A cancel that comes just after the look-up completed is refused with
// WinSock's "already completed" (10037) and forgets the request; from Abort
// the refusal is reported only once the socket is closed, and the
// destructor swallows it.
TEST(Dns, CancelOfACompletedLookUpIsRefusedAndAbortStillCloses) {
  HostsSeam hosts;
  hosts.Set("done.tervane.test", "127.0.0.7");
  const std::string refused = "Error 10037 in function WSACancelAsyncRequest";

  Lookup l;
  l.s.DnsLookup("done.tervane.test");
  ASSERT_TRUE(ReplyQueued(l.s));
  EXPECT_EQ(MessageOf([&] { l.s.CancelDnsLookup(); }).substr(0, refused.size()), refused);
  Settle();
  EXPECT_TRUE(l.done.empty()) << "a forgotten request's reply must not report";

  Listener server;
  Recorder rec;
  rec.Attach(l.s);
  l.s.SetAddr("127.0.0.1");
  l.s.SetPort(std::to_string(server.Port()));
  l.s.Connect();
  ASSERT_TRUE(RunUntil([&] { return l.s.State() == wsConnected; }));
  l.s.DnsLookup("done.tervane.test");
  ASSERT_TRUE(ReplyQueued(l.s));
  EXPECT_EQ(MessageOf([&] { l.s.Abort(); }).substr(0, refused.size()), refused);
  EXPECT_EQ(l.s.State(), wsClosed);
  EXPECT_EQ(rec.events.back(), "Closed(0)");
  Settle();
  EXPECT_TRUE(l.done.empty());

  {
    TWSocket doomed(nullptr);
    doomed.DnsLookup("done.tervane.test");
    ASSERT_TRUE(ReplyQueued(doomed));
  }  // the destructor's cancel is refused too: nothing escapes
}

// Counts this process's threads.
int Threads() {
  int n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    ++n;
  return n;
}

// Look-ups against a name server that never answers: replacing one another
// a thousand times holds a handful of threads, only the last one reports
// once answers come, and the socket that goes last (it unloads the library)
// does not wait for the threads still stuck in the resolver.
TEST(Dns, AStuckNameServerHoldsFewThreadsAndNeverHoldsUpTheLastSocket) {
  FaultModule faults;
  faults.StallLookups(true);
  const int before = Threads();
  int most = before;
  {
    Lookup l;
    for (int i = 0; i < 1000; ++i) {
      l.s.DnsLookup("n" + std::to_string(i) + ".invalid");
      if (i % 50 == 0) most = std::max(most, Threads());
    }
    most = std::max(most, Threads());
    EXPECT_LE(most - before, 8) << "threads grew with the cancelled look-ups";
    faults.StallLookups(false);
    l.Wait();
    Settle();
    EXPECT_EQ(l.done, std::vector<int>{11001});  // the last name, .invalid
  }

  // If the last socket's clean-up waited for the stuck worker, the watchdog
  // below would have to lift the stall for it to return at all.
  faults.StallLookups(true);
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
  bool lifted = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(m);
    if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return finished; })) {
      lifted = true;
      faults.StallLookups(false);
    }
  });
  {
    TWSocket last(nullptr);
    last.DnsLookup("stuck.invalid");
    ASSERT_TRUE(RunUntilQueued([&] { return faults.StalledLookups() == 1; }));
  }
  EXPECT_EQ(faults.StalledLookups(), 1) << "the clean-up waited for the resolver";
  {
    std::lock_guard<std::mutex> lock(m);
    finished = true;
  }
  cv.notify_all();
  watchdog.join();
  EXPECT_FALSE(lifted);
}

TEST(Dns, RefusedArgumentsReportThenEndTheLookup) {
  int errors = 0;
  Lookup l;
  EXPECT_EQ(ReportOf([&] { l.s.DnsLookup(""); }), "DNS lookup: invalid host name.");
  EXPECT_TRUE(l.done.empty());  // the report left the call
  l.s.OnError = [&](TObject*) { ++errors; };
  l.s.DnsLookup("");
  l.s.ReverseDnsLookup(std::string(257, '1'));
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(l.done, (std::vector<int>{10022, 10022}));
  l.s.OnError = nullptr;
  EXPECT_EQ(ReportOf([&] { l.s.ReverseDnsLookup(""); }), "ReverseDnsLookup: Invalid host name.");
}

// A socket destroyed with a look-up pending cancels it silently; the
// module never writes into the freed reply area (the sanitizer build would
// catch it).
TEST(Dns, DestroyedWhilePendingRaisesNothing) {
  int events = 0;
  {
    auto s = std::make_unique<TWSocket>(nullptr);
    s->OnDnsLookupDone = [&](TObject*, WORD) { ++events; };
    s->DnsLookup("localhost");
  }
  TWSocket keepLoaded(nullptr);
  keepLoaded.DnsLookup("localhost");
  RunUntil([&] { return !keepLoaded.DnsResult().empty(); });
  Settle();
  EXPECT_EQ(events, 0);
}

}  // namespace
