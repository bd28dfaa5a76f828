// The socket and telnet components on the real Win32 and WinSock: every
// notification reaches the component through its hidden window (on 64-bit
// Windows its per-window data must hold a pointer), the library is loaded
// by the first Connect and unloaded with the last socket, and the numbers
// and texts of a refused connection are WinSock's own.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "tncnx.h"
#include "windows/loopback_server.h"
#include "wsocket.h"

namespace {

// Pumps the thread's real message queue until `done` holds; the limit is a
// watchdog, not a speed goal.
bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

TEST(WindowsSocket, ConnectReceiveSendCloseThroughTheNotificationWindow) {
  winpeer::LoopbackServer server;
  {
    TWSocket s(nullptr);
    int connected = -1, closed = -1;
    std::string received;
    s.OnSessionConnected = [&](TObject*, WORD e) { connected = e; };
    s.OnSessionClosed = [&](TObject*, WORD e) { closed = e; };
    s.OnDataAvailable = [&](TObject*, WORD) { received += s.ReceiveStr(); };
    EXPECT_FALSE(SocketLibraryLoaded()) << "loaded before anything needed it";
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(server.Port()));
    s.Connect();
    EXPECT_TRUE(SocketLibraryLoaded());
    ASSERT_TRUE(server.Accept(5000));
    // The event that was lost when the window's data could not hold the
    // component's pointer.
    ASSERT_TRUE(PumpUntil([&] { return connected >= 0; })) << "OnSessionConnected never came";
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(s.State(), wsConnected);

    ASSERT_TRUE(server.Send("hello from the peer"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 19; }));
    EXPECT_EQ(received, "hello from the peer");

    // More than the system takes at once: the component queues the rest
    // and sends it as FD_WRITE comes.
    std::string big(4 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    s.SendStr(big);
    std::string got;
    ASSERT_TRUE(PumpUntil([&] {
      got += server.Read(big.size() - got.size(), 10);
      return got.size() == big.size();
    }, 60000));
    EXPECT_TRUE(got == big) << "the queued send arrived changed";

    server.CloseClient();
    ASSERT_TRUE(PumpUntil([&] { return closed >= 0; }));
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(s.State(), wsClosed);
  }
  EXPECT_FALSE(SocketLibraryLoaded()) << "the last socket left the library loaded";
}

TEST(WindowsSocket, RefusedConnectionCarriesWinSockNumberAndText) {
  int port = 0;
  {
    winpeer::LoopbackServer gone;  // a port that was just free
    port = gone.Port();
  }
  TWSocket s(nullptr);
  int connected = -1;
  s.OnSessionConnected = [&](TObject*, WORD e) { connected = e; };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  ASSERT_TRUE(PumpUntil([&] { return connected >= 0; }));
  EXPECT_EQ(connected, WSAECONNREFUSED);
  EXPECT_EQ(SocketErrorDescription(WSAECONNREFUSED), "Connection refused");
  EXPECT_EQ(SocketErrorDescription(WSAENOTCONN), "Not connected. Check Configuration !");
}

TEST(WindowsTelnet, SessionAnswersNegotiationAndDeliversText) {
  winpeer::LoopbackServer server;
  TTnCnx cnx(nullptr);
  int connected = -1;
  std::string text;
  cnx.OnSessionConnected = [&](TTnCnx*, WORD e) { connected = e; };
  cnx.OnDataAvailable = [&](TTnCnx*, const char* b, int n) { text.append(b, n); };
  cnx.Host = "127.0.0.1";
  cnx.Port = std::to_string(server.Port());
  cnx.Connect();
  ASSERT_TRUE(server.Accept(5000));
  ASSERT_TRUE(PumpUntil([&] { return connected >= 0; }));
  ASSERT_EQ(connected, 0);
  // WILL ECHO, then the prompt: the session agrees (DO ECHO) and shows
  // only the text.
  ASSERT_TRUE(server.Send("\xff\xfb\x01login: "));
  ASSERT_TRUE(PumpUntil([&] { return text.size() >= 7; }));
  EXPECT_EQ(text, "login: ");
  EXPECT_EQ(server.Read(3, 5000), "\xff\xfd\x01");
  cnx.SendStr("admin\r\n");
  EXPECT_EQ(server.Read(7, 5000), "admin\r\n");
}

}  // namespace
