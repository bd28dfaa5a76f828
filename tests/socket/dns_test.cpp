// Asynchronous look-ups through the module: /etc/hosts for localhost, the
// module's hosts seam for everything else (no name server is ever asked),
// cancellation, replacement, stale and forged replies.
#include <memory>

#include "services_helpers.h"

using namespace sockettest;
using namespace servicestest;

namespace {

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
  HostsSeam hosts;
  Lookup l;
  l.s.CancelDnsLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(l.done.empty());

  l.s.DnsLookup("localhost");
  l.s.CancelDnsLookup();
  EXPECT_EQ(l.done, std::vector<int>{10004});  // inside the call
  Settle();
  EXPECT_EQ(l.done, std::vector<int>{10004});  // and no reply after it

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
