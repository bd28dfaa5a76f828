// Datagram sockets on loopback: a datagram listener's events, ReceiveFrom
// naming the sender, SendTo, and how Send cuts a long write into datagrams.
#include <cstring>

#include "services_helpers.h"

using namespace sockettest;
using namespace servicestest;

namespace {

using Events = std::vector<std::string>;

// A datagram receiver that collects every datagram with its sender.
struct Receiver {
  Recorder rec;
  std::vector<std::string> datagrams;
  std::vector<int> senderPorts;
  std::vector<int> fromLens;
  TWSocket s{nullptr};  // last: its handlers use the members above
  int port = 0;

  Receiver() {
    rec.Attach(s);
    s.OnDataAvailable = [this](TObject*, WORD) {
      char buf[4096];
      sockaddr_in from{};
      int fromLen = 0;  // filled in by the call
      const int n = s.ReceiveFrom(buf, sizeof(buf), from, fromLen);
      if (n < 0) return;
      datagrams.emplace_back(buf, static_cast<size_t>(n));
      senderPorts.push_back(WSocket::ntohs(from.sin_port));
      fromLens.push_back(fromLen);
    };
    port = ListenOn(s, "udp");
  }
};

TEST(Datagram, ListenerStatesThenReceiveFromNamesTheSender) {
  Receiver r;
  EXPECT_EQ(r.rec.events, (Events{"State Closed>Bound", "State Bound>Listening",
                                  "State Listening>Connected", "Connected(0)"}));

  int sendData = 0;
  TWSocket sender(nullptr);
  sender.SetProto("udp");
  sender.SetAddr("127.0.0.1");
  sender.SetPort(std::to_string(r.port));
  sender.Connect();
  ASSERT_EQ(sender.State(), wsConnected);
  sender.SendStr("ping");
  RunUntil([&] { return r.datagrams.size() == 1; });
  EXPECT_EQ(r.datagrams[0], "ping");
  EXPECT_EQ(r.fromLens[0], 16);
  EXPECT_EQ(std::to_string(r.senderPorts[0]), sender.GetBoundPort());
  EXPECT_EQ(r.s.ReadCount(), 4);

  // SendTo chooses the destination and the boundary itself.
  sockaddr_in dest{};
  dest.sin_family = AF_INET;
  dest.sin_port = WSocket::htons(static_cast<u_short>(r.port));
  dest.sin_addr.s_addr = WSocket::inet_addr("127.0.0.1");
  sender.OnSendData = [&](TObject*, int n) { sendData += n; };
  EXPECT_EQ(sender.SendTo(dest, sizeof(dest), "abc", 3), 3);
  EXPECT_EQ(sendData, 3);
  RunUntil([&] { return r.datagrams.size() == 2; });
  EXPECT_EQ(r.datagrams[1], "abc");

  // Nothing waits now: -1 with would-block, no exception.
  char buf[8];
  sockaddr_in from{};
  int fromLen = 16;
  EXPECT_EQ(r.s.ReceiveFrom(buf, sizeof(buf), from, fromLen), -1);
  EXPECT_EQ(r.s.LastError(), 10035);

  // SendTo on a closed socket fails quietly.
  TWSocket closed(nullptr);
  EXPECT_EQ(closed.SendTo(dest, sizeof(dest), "x", 1), -1);
}

TEST(Datagram, SendCutsLongDataAtTheQueueBlocks) {
  Receiver r;
  TWSocket sender(nullptr);
  sender.SetProto("udp");
  sender.SetAddr("127.0.0.1");
  sender.SetPort(std::to_string(r.port));
  sender.Connect();
  std::string data(3000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  sender.Send(data.data(), static_cast<int>(data.size()));
  RunUntil([&] { return r.datagrams.size() == 3; });
  ASSERT_EQ(r.datagrams.size(), 3u);
  EXPECT_EQ(r.datagrams[0].size(), 1460u);
  EXPECT_EQ(r.datagrams[1].size(), 1460u);
  EXPECT_EQ(r.datagrams[2].size(), 80u);
  EXPECT_EQ(r.datagrams[0] + r.datagrams[1] + r.datagrams[2], data);
}

}  // namespace
