// The WinSock module's TCP client path over real loopback connections:
// notifications, their order and re-enabling, errors, options.
#include <string>

#include "platform/wsock_fixture.h"

namespace {

using TcpTest = WsockTest;

TEST_F(TcpTest, ConnectThenDataThenCloseArriveInOrderAndOnce) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  EXPECT_EQ(ErrorOf(s, FD_CONNECT), 0);
  {
    auto n = NotesFor(s);
    ASSERT_GE(n.size(), 2u);
    EXPECT_EQ(n[0].event, FD_CONNECT);
    EXPECT_EQ(n[1].event, FD_WRITE);
  }

  // Data, then the peer's FIN: FD_READ comes first, FD_CLOSE after it.
  ASSERT_TRUE(peer::SendAll(server, "hello"));
  peer::ShutdownWrite(server);
  ASSERT_TRUE(PumpUntil([&] { return Has(s, FD_CLOSE); }));
  auto n = NotesFor(s);
  ASSERT_EQ(n.size(), 4u);
  EXPECT_EQ(n[2].event, FD_READ);
  EXPECT_EQ(n[3].event, FD_CLOSE);
  EXPECT_EQ(n[3].error, 0);
  char buf[16];
  EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), 0);
  Settle();
  EXPECT_EQ(Count(s, FD_CLOSE), 1);
  EXPECT_EQ(Count(s, FD_CONNECT), 1);
  EXPECT_EQ(Count(s, FD_WRITE), 1) << "FD_WRITE again without a blocked send";

  // Our side's data reaches the peer, then our close.
  EXPECT_EQ(ws.send(s, "bye", 3, 0), 3);
  EXPECT_EQ(ws.shutdown(s, 1), 0);
  bool reset = true;
  EXPECT_EQ(peer::ReadToEnd(server, &reset), "bye");
  EXPECT_FALSE(reset);
  EXPECT_EQ(ws.closesocket(s), 0);
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  peer::Close(server);
}

TEST_F(TcpTest, ReadIsReenabledOnlyByRecv) {
  SOCKET s;
  int server;
  Pair(&s, &server);

  ASSERT_TRUE(peer::SendAll(server, "abcdefgh"));
  ASSERT_TRUE(PumpUntil([&] { return Has(s, FD_READ); }));
  ASSERT_TRUE(peer::SendAll(server, "ijkl"));  // more data, no recv yet
  Settle();
  EXPECT_EQ(Count(s, FD_READ), 1) << "FD_READ repeated before recv";

  u_long waiting = 0;
  ASSERT_EQ(ws.ioctlsocket(s, FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 12u);

  // A recv that fills the buffer leaves data behind: FD_READ comes again.
  char buf[64];
  ASSERT_EQ(ws.recv(s, buf, 4, 0), 4);
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_READ) == 2; }));
  // A recv that takes everything: no FD_READ until new data.
  ASSERT_EQ(ws.recv(s, buf, sizeof buf, 0), 8);
  Settle();
  EXPECT_EQ(Count(s, FD_READ), 2);
  ASSERT_TRUE(peer::SendAll(server, "m"));
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_READ) == 3; }));

  // Nothing waiting: would block.
  ASSERT_EQ(ws.recv(s, buf, sizeof buf, 0), 1);
  EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);

  // Mask 0 stops the notifications; a new mask reports what is waiting.
  ASSERT_EQ(ws.WSAAsyncSelect(s, window_, kSelectMsg, 0), 0);
  ASSERT_TRUE(peer::SendAll(server, "n"));
  Settle();
  EXPECT_EQ(Count(s, FD_READ), 3);
  ASSERT_EQ(ws.WSAAsyncSelect(s, window_, kSelectMsg, FD_READ | FD_CLOSE), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_READ) == 4; }));

  // A recv that fills the buffer with exactly what was left: no FD_READ
  // (a spurious one would make a program read at the wrong moment).
  ASSERT_EQ(ws.recv(s, buf, 1, 0), 1);
  Settle();
  EXPECT_EQ(Count(s, FD_READ), 4);
  // Reading in a loop: one FD_READ follows while data remain, not one per
  // recv, since the first is still queued when the others ask.
  ASSERT_TRUE(peer::SendAll(server, "opqrstuvwxyz"));
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_READ) == 5; }));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(ws.recv(s, buf, 4, 0), 4);
  Settle();
  EXPECT_EQ(Count(s, FD_READ), 6);
  ws.closesocket(s);
  peer::Close(server);
}

// FIONREAD right after a recv answers from what that recv learned; it
// must still be what the kernel would say: never a figure from before new
// data arrived, never the end of stream counted as data.
TEST_F(TcpTest, FionreadFollowsRecvsArrivalsAndTheEndOfStream) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  auto waiting = [&] {
    u_long n = 99;
    EXPECT_EQ(ws.ioctlsocket(s, FIONREAD, &n), 0);
    return n;
  };

  ASSERT_TRUE(peer::SendAll(server, "abcdefghijkl"));
  ASSERT_TRUE(PumpUntil([&] { return Has(s, FD_READ); }));
  EXPECT_EQ(waiting(), 12u);
  char buf[64];
  ASSERT_EQ(ws.recv(s, buf, 4, 0), 4);
  EXPECT_EQ(waiting(), 8u);
  ASSERT_TRUE(peer::SendAll(server, "mno"));
  ASSERT_TRUE(PumpUntil([&] { return waiting() == 11u; })) << "a figure from before the arrival";
  ASSERT_EQ(ws.recv(s, buf, 10, 0), 10);
  EXPECT_EQ(waiting(), 1u);
  ASSERT_EQ(ws.recv(s, buf, sizeof buf, 0), 1);
  EXPECT_EQ(waiting(), 0u);

  // Data, then the end of stream: the end is no byte to read.
  ASSERT_TRUE(peer::SendAll(server, "pq"));
  peer::ShutdownWrite(server);
  ASSERT_TRUE(PumpUntil([&] { return Has(s, FD_CLOSE); }));
  EXPECT_EQ(waiting(), 2u);
  ASSERT_EQ(ws.recv(s, buf, 1, 0), 1);
  EXPECT_EQ(waiting(), 1u);
  ASSERT_EQ(ws.recv(s, buf, sizeof buf, 0), 1);
  EXPECT_EQ(waiting(), 0u);
  EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), 0);
  ws.closesocket(s);
  peer::Close(server);
}

TEST_F(TcpTest, WouldBlockSendBringsFdWriteOnceSpaceReturns) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  int small = 4096;
  ASSERT_EQ(ws.setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), 4), 0);

  const std::string chunk(65536, 'x');
  std::size_t sent = 0;
  int r;
  while ((r = ws.send(s, chunk.data(), static_cast<int>(chunk.size()), 0)) > 0)
    sent += static_cast<std::size_t>(r);
  ASSERT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(Count(s, FD_WRITE), 1);

  // The peer drains: FD_WRITE comes back, and everything sent arrives.
  EXPECT_EQ(peer::ReadExactly(server, sent).size(), sent);
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_WRITE) == 2; }));
  ws.closesocket(s);
  peer::Close(server);
}

TEST_F(TcpTest, ResetAndRefusalCarryTheirCodes) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  peer::Reset(server);
  ASSERT_TRUE(PumpUntil([&] { return Has(s, FD_CLOSE); }));
  EXPECT_EQ(ErrorOf(s, FD_CLOSE), WSAECONNRESET);
  char buf[8];
  EXPECT_EQ(ws.recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAECONNRESET);
  ws.closesocket(s);
  Forget(s);

  SOCKET r = ConnectTo(peer::RefusingPort());
  ASSERT_TRUE(PumpUntil([&] { return Has(r, FD_CONNECT); }));
  EXPECT_EQ(ErrorOf(r, FD_CONNECT), WSAECONNREFUSED);
  Settle();
  EXPECT_EQ(NotesFor(r).size(), 1u) << "a refused connect reports nothing but FD_CONNECT";
  ws.closesocket(r);

  // Sending on a socket that never connected.
  SOCKET idle = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_EQ(ws.send(idle, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTCONN);
  ws.closesocket(idle);
}

TEST_F(TcpTest, LingerZeroCloseResetsThePeer) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  linger l{1, 0};
  ASSERT_EQ(ws.setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), sizeof l), 0);
  int on = 1;
  EXPECT_EQ(ws.setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on), 4), 0);
  EXPECT_EQ(ws.setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), 4), 0);
  EXPECT_EQ(ws.setsockopt(s, SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&on), 4), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOPROTOOPT);
  EXPECT_EQ(ws.setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), 2), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
  ASSERT_EQ(ws.closesocket(s), 0);
  bool reset = false;
  peer::ReadToEnd(server, &reset);
  EXPECT_TRUE(reset);
  peer::Close(server);
}

TEST_F(TcpTest, GracefulLingerOnANonBlockingSocketRefusesUntilTheDataIsOut) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  const std::string chunk(65536, 'y');
  std::size_t sent = 0;
  int r;
  while ((r = ws.send(s, chunk.data(), static_cast<int>(chunk.size()), 0)) > 0)
    sent += static_cast<std::size_t>(r);
  linger l{1, 30};
  ASSERT_EQ(ws.setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), sizeof l), 0);
  // The close must not block the thread: it says "would block" instead.
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(peer::ReadExactly(server, sent).size(), sent);
  ASSERT_TRUE(PumpUntil([&] { return ws.closesocket(s) == 0; }));
  bool reset = true;
  peer::ReadToEnd(server, &reset);
  EXPECT_FALSE(reset);
  peer::Close(server);
}

// Handle values are reused like descriptors, lowest free value first, as
// WinSock hands a freed value out again at once; a closed value names
// nothing until then.
TEST_F(TcpTest, HandleValuesComeBackLowestFirst) {
  SOCKET a = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET b = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET c = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(c, INVALID_SOCKET);
  ASSERT_EQ(ws.closesocket(b), 0);
  ASSERT_EQ(ws.closesocket(a), 0);
  u_long v = 1;
  EXPECT_EQ(ws.ioctlsocket(a, FIONBIO, &v), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
  SOCKET first = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET second = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_EQ(first, std::min(a, b));
  EXPECT_EQ(second, std::max(a, b));
  EXPECT_EQ(ws.ioctlsocket(first, FIONBIO, &v), 0);
  EXPECT_EQ(ws.ioctlsocket(first, 0x1234, &v), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
  for (SOCKET s : {first, second, c}) ws.closesocket(s);
}

TEST_F(TcpTest, ErrorValueIsPerThreadAndStartupIsCounted) {
  ws.WSASetLastError(1234);
  int other = -1;
  std::thread([&] { other = ws.WSAGetLastError(); }).join();
  EXPECT_EQ(ws.WSAGetLastError(), 1234);
  EXPECT_EQ(other, 0);

  WSADATA data{};
  ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(ws.WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(ws.WSACleanup(), 0);  // one user left: the fixture
  SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(s, INVALID_SOCKET);
  ASSERT_EQ(ws.WSACleanup(), 0);  // the last one closes what is left
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED);
  ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);  // for the fixture's cleanup
}

TEST_F(TcpTest, ConversionsAndDatabase) {
  EXPECT_EQ(ws.inet_addr("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(ws.inet_addr("127.1.2.3"), htonl(0x7F010203));
  EXPECT_EQ(ws.inet_addr("tervane"), INADDR_NONE);
  EXPECT_EQ(ws.inet_addr("1.2.3.4.5"), INADDR_NONE);
  EXPECT_EQ(ws.inet_addr("300.1.1.1"), INADDR_NONE);
  in_addr a{};
  a.s_addr = static_cast<std::uint32_t>(ws.inet_addr("192.0.2.33"));
  EXPECT_STREQ(ws.inet_ntoa(a), "192.0.2.33");
  EXPECT_EQ(ws.htons(0x1234), ws.ntohs(0x1234));
  EXPECT_EQ(ws.htons(23), 23 << 8);

  hostent* h = ws.gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, AF_INET);
  EXPECT_EQ(h->h_length, 4);
  ASSERT_NE(h->h_addr_list[0], nullptr);
  EXPECT_EQ(static_cast<unsigned char>(h->h_addr_list[0][0]), 127);
  EXPECT_EQ(ws.gethostbyname("no-such-host.invalid"), nullptr);
  EXPECT_EQ(ws.WSAGetLastError(), WSAHOST_NOT_FOUND);

  servent* sv = ws.getservbyname("telnet", "tcp");
  ASSERT_NE(sv, nullptr);
  EXPECT_EQ(ws.ntohs(static_cast<u_short>(sv->s_port)), 23);
  EXPECT_STREQ(sv->s_proto, "tcp");
  EXPECT_EQ(ws.getservbyname("no-such-service", "tcp"), nullptr);
  EXPECT_EQ(ws.WSAGetLastError(), WSANO_DATA);
  ASSERT_NE(ws.getprotobyname, nullptr);
  protoent* p = ws.getprotobyname("tcp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->p_proto, 6);
  EXPECT_EQ(ws.getprotobyname("no-such-proto"), nullptr);
}

}  // namespace
