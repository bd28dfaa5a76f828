// The serving side of the module: listen/accept with FD_ACCEPT's
// re-enabling, address queries, datagrams and multicast options.
#include <string>

#include "platform/wsock_fixture.h"

namespace {

using ServerTest = WsockTest;

TEST_F(ServerTest, AcceptIsAnnouncedOncePerWaitingConnection) {
  SOCKET l = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sin = Loopback(0);
  ASSERT_EQ(ws.bind(l, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
  ASSERT_EQ(ws.WSAAsyncSelect(l, window_, kSelectMsg, FD_ACCEPT | FD_READ | FD_CLOSE), 0);
  ASSERT_EQ(ws.listen(l, 5), 0);
  sockaddr_in bound{};
  int len = sizeof bound;
  ASSERT_EQ(ws.getsockname(l, reinterpret_cast<sockaddr*>(&bound), &len), 0);
  EXPECT_EQ(len, 16);
  const int port = ws.ntohs(bound.sin_port);
  ASSERT_NE(port, 0);

  // A second bind to the same port is refused with WinSock's code.
  SOCKET dup = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in same = Loopback(port);
  EXPECT_EQ(ws.bind(dup, reinterpret_cast<sockaddr*>(&same), sizeof same), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEADDRINUSE);
  ws.closesocket(dup);

  const int c1 = peer::ConnectLoopback(port);
  const int c2 = peer::ConnectLoopback(port);
  ASSERT_TRUE(PumpUntil([&] { return Has(l, FD_ACCEPT); }));
  Settle();
  EXPECT_EQ(Count(l, FD_ACCEPT), 1) << "FD_ACCEPT repeated before accept()";

  sockaddr_in from{};
  len = sizeof from;
  SOCKET a1 = ws.accept(l, reinterpret_cast<sockaddr*>(&from), &len);
  ASSERT_NE(a1, INVALID_SOCKET);
  EXPECT_EQ(from.sin_addr.s_addr, ws.inet_addr("127.0.0.1"));
  // One more waits: accept() re-enabled the notification.
  ASSERT_TRUE(PumpUntil([&] { return Count(l, FD_ACCEPT) == 2; }));
  SOCKET a2 = ws.accept(l, nullptr, nullptr);
  ASSERT_NE(a2, INVALID_SOCKET);
  Settle();
  EXPECT_EQ(Count(l, FD_ACCEPT), 2);
  EXPECT_EQ(ws.accept(l, nullptr, nullptr), INVALID_SOCKET);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);

  // The accepted socket is connected: its own registration announces
  // FD_WRITE at once, and the peer's data.
  sockaddr_in peerAddr{};
  len = sizeof peerAddr;
  ASSERT_EQ(ws.getpeername(a1, reinterpret_cast<sockaddr*>(&peerAddr), &len), 0);
  EXPECT_EQ(peerAddr.sin_addr.s_addr, from.sin_addr.s_addr);
  EXPECT_EQ(peerAddr.sin_port, from.sin_port);
  ASSERT_TRUE(peer::SendAll(c1, "early"));
  ASSERT_EQ(ws.WSAAsyncSelect(a1, window_, kSelectMsg, FD_READ | FD_WRITE | FD_CLOSE), 0);
  ASSERT_TRUE(PumpUntil([&] { return Has(a1, FD_WRITE) && Has(a1, FD_READ); }));
  char buf[16];
  EXPECT_EQ(ws.recv(a1, buf, sizeof buf, 0), 5);

  // Buffers too small for an address are refused.
  len = 8;
  EXPECT_EQ(ws.getpeername(a1, reinterpret_cast<sockaddr*>(&peerAddr), &len), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);

  ws.closesocket(a1);
  ws.closesocket(a2);
  ws.closesocket(l);
  peer::Close(c1);
  peer::Close(c2);
}

TEST_F(ServerTest, DatagramsGoBothWaysWithTheirAddresses) {
  SOCKET u = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  ASSERT_NE(u, INVALID_SOCKET);
  sockaddr_in sin = Loopback(0);
  ASSERT_EQ(ws.bind(u, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
  int len = sizeof sin;
  ASSERT_EQ(ws.getsockname(u, reinterpret_cast<sockaddr*>(&sin), &len), 0);
  const int port = ws.ntohs(sin.sin_port);
  ASSERT_EQ(ws.WSAAsyncSelect(u, window_, kSelectMsg, FD_READ | FD_WRITE), 0);

  int peerPort = 0;
  const int p = peer::Udp(&peerPort);
  ASSERT_TRUE(peer::SendTo(p, port, "first"));
  ASSERT_TRUE(peer::SendTo(p, port, "second, longer"));
  ASSERT_TRUE(PumpUntil([&] { return Has(u, FD_READ); }));

  char buf[64];
  sockaddr_in from{};
  len = sizeof from;
  ASSERT_EQ(ws.recvfrom(u, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len), 5);
  EXPECT_EQ(std::string(buf, 5), "first");
  EXPECT_EQ(ws.ntohs(from.sin_port), peerPort);
  // Another datagram waits: FD_READ again after the recvfrom.
  ASSERT_TRUE(PumpUntil([&] { return Count(u, FD_READ) == 2; }));
  // Too small a buffer: filled, the rest dropped, WSAEMSGSIZE.
  EXPECT_EQ(ws.recvfrom(u, buf, 6, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), 10040);
  EXPECT_EQ(std::string(buf, 6), "second");
  Settle();
  EXPECT_EQ(Count(u, FD_READ), 2);
  // recv is recvfrom without the sender, truncation included.
  ASSERT_TRUE(peer::SendTo(p, port, "third, longer"));
  ASSERT_TRUE(PumpUntil([&] { return Count(u, FD_READ) == 3; }));
  EXPECT_EQ(ws.recv(u, buf, 5, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), 10040);
  EXPECT_EQ(std::string(buf, 5), "third");

  sockaddr_in to = Loopback(peerPort);
  EXPECT_EQ(ws.sendto(u, "back", 4, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 4);
  EXPECT_EQ(peer::RecvFrom(p, nullptr), "back");
  EXPECT_EQ(ws.sendto(u, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), 8), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
  peer::Close(p);
  ws.closesocket(u);
}

TEST_F(ServerTest, MulticastOptionsUseWinSockNumbering) {
  SOCKET u = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  int ttl = 4;
  EXPECT_EQ(ws.setsockopt(u, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<char*>(&ttl), 4), 0);
  int loop = 1;
  EXPECT_EQ(ws.setsockopt(u, IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<char*>(&loop), 4), 0);
  int on = 1;
  EXPECT_EQ(ws.setsockopt(u, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&on), 4), 0);
  EXPECT_EQ(ws.setsockopt(u, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&on), 4), 0);

  // Joining a non-multicast address is an invalid argument; the record is
  // read as WinSock's 8 bytes (group, interface).
  ip_mreq m{};
  m.imr_multiaddr.s_addr = static_cast<std::uint32_t>(ws.inet_addr("127.0.5.1"));
  m.imr_interface.s_addr = htonl(INADDR_ANY);
  EXPECT_EQ(ws.setsockopt(u, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<char*>(&m), sizeof m),
            SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(ws.setsockopt(u, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<char*>(&m), 4),
            SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
  ws.closesocket(u);
}

TEST_F(ServerTest, MulticastGroupJoinedOnLoopbackReceives) {
  SOCKET r = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in any = Loopback(0);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(ws.bind(r, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  int len = sizeof any;
  ASSERT_EQ(ws.getsockname(r, reinterpret_cast<sockaddr*>(&any), &len), 0);
  ip_mreq m{};
  m.imr_multiaddr.s_addr = static_cast<std::uint32_t>(ws.inet_addr("239.255.42.7"));
  m.imr_interface.s_addr = static_cast<std::uint32_t>(ws.inet_addr("127.0.0.1"));
  ASSERT_EQ(ws.setsockopt(r, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<char*>(&m), sizeof m),
            0)
      << ws.WSAGetLastError();
  ASSERT_EQ(ws.WSAAsyncSelect(r, window_, kSelectMsg, FD_READ), 0);

  SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  in_addr lo{};
  lo.s_addr = static_cast<std::uint32_t>(ws.inet_addr("127.0.0.1"));
  ASSERT_EQ(ws.setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<char*>(&lo), 4), 0);
  sockaddr_in group = Loopback(ws.ntohs(any.sin_port));
  group.sin_addr.s_addr = m.imr_multiaddr.s_addr;
  ASSERT_EQ(ws.sendto(s, "to all", 6, 0, reinterpret_cast<sockaddr*>(&group), sizeof group), 6);
  ASSERT_TRUE(PumpUntil([&] { return Has(r, FD_READ); }));
  char buf[16];
  EXPECT_EQ(ws.recvfrom(r, buf, sizeof buf, 0, nullptr, nullptr), 6);
  EXPECT_EQ(ws.setsockopt(r, IPPROTO_IP, IP_DROP_MEMBERSHIP, reinterpret_cast<char*>(&m), sizeof m),
            0);
  ws.closesocket(s);
  ws.closesocket(r);
}

}  // namespace
