// Multicast on a network namespace of the test's own: a worker thread
// leaves the host's namespace (unshare affects the calling thread only),
// brings its loopback up with multicast and a route for the multicast
// range, and runs sender and group member there.  The namespace goes away
// with the thread's last socket, so nothing is left on the host and
// nothing leaves the machine.
#include <cstdlib>
#include <thread>

#include "services_helpers.h"

// From <sched.h>, declared here because the POSIX headers and the socket
// layer's Win32 names do not share a file.
extern "C" int unshare(int flags) noexcept;

using namespace sockettest;
using namespace servicestest;

namespace {

constexpr int kNewNetworkNamespace = 0x40000000;  // CLONE_NEWNET

// Runs `body` on a thread inside a fresh network namespace; an empty
// result, or why the namespace could not be made.
template <class Fn>
std::string InOwnNamespace(Fn body) {
  std::string skip;
  std::thread worker([&] {
    if (unshare(kNewNetworkNamespace) != 0) {
      skip = "cannot create a network namespace (needs CAP_SYS_ADMIN)";
      return;
    }
    if (std::system("ip link set lo up && ip link set lo multicast on && "
                    "ip route add 224.0.0.0/4 dev lo") != 0) {
      skip = "cannot configure the namespace's loopback (ip from iproute2)";
      return;
    }
    body();
  });
  worker.join();
  return skip;
}

TEST(Multicast, GroupMemberReceivesWhatIsSentToTheGroup) {
  const std::string skip = InOwnNamespace([] {
    TWSocket member(nullptr);
    std::vector<std::string> got;
    member.OnDataAvailable = [&](TObject*, WORD) {
      const std::string d = member.ReceiveStr();
      if (!d.empty()) got.push_back(d);
    };
    member.MultiCast = true;
    member.MultiCastAddrStr = "239.1.2.3";
    member.ReuseAddr = true;
    const int port = ListenOn(member, "udp", "0.0.0.0");
    ASSERT_EQ(member.State(), wsConnected);

    TWSocket sender(nullptr);
    sender.MultiCast = true;
    sender.MultiCastIpTTL = 2;  // applied by the datagram Connect
    sender.SetProto("udp");
    sender.SetAddr("239.1.2.3");
    sender.SetPort(std::to_string(port));
    sender.Connect();
    sender.SendStr("to the group");
    RunUntil([&] { return !got.empty(); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "to the group");
  });
  if (!skip.empty()) GTEST_SKIP() << skip;
}

// Group texts that are no dotted address fail the join; a text longer than
// the 255-character conversion area is refused the same way rather than
// cut down to a prefix that might convert.
TEST(Multicast, UnconvertibleOrOverlongGroupFailsTheJoin) {
  const std::string skip = InOwnNamespace([] {
    const std::string texts[] = {"not.a.group", "239.1.2.3" + std::string(300, ' '),
                                 std::string("239.1.2.3\0junk", 14)};
    for (const std::string& text : texts) {
      TWSocket s(nullptr);
      s.MultiCast = true;
      s.MultiCastAddrStr = text;
      s.SetProto("udp");
      s.SetAddr("0.0.0.0");
      s.SetPort("0");
      const std::string report = ReportOf([&] { s.Listen(); });
      EXPECT_NE(report.find("in function setsockopt(IP MULTICAST)"), std::string::npos)
          << report;
      EXPECT_EQ(s.State(), wsBound);  // left open for the caller to close
      s.Close();
      EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    }
  });
  if (!skip.empty()) GTEST_SKIP() << skip;
}

}  // namespace
