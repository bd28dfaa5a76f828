// Asynchronous host look-ups: the reply message, the host record laid out
// inside the caller's buffer, failures, and cancellation.  Names come from
// the module's hosts seam or /etc/hosts; no name server is ever asked.
#include <cstring>
#include <string>
#include <vector>

#include "platform/wsock_fixture.h"
#include "../../platform/wsock32/wsock_fault.h"

namespace {

class LookupTest : public WsockTest {
 protected:
  // The hosts seam is in the module's test builds only.
  const char* ModuleFile() const override { return "libwsock32_test.so"; }
  void SetUp() override {
    WsockTest::SetUp();
    ASSERT_NE(module_, nullptr);
    hostsSet_ = reinterpret_cast<TvHostsSetFn>(GetProcAddress(module_, "TvHostsSet"));
    hostsClear_ = reinterpret_cast<TvHostsClearFn>(GetProcAddress(module_, "TvHostsClear"));
    ASSERT_NE(hostsSet_, nullptr);
    ASSERT_NE(hostsClear_, nullptr);
  }
  void TearDown() override {
    if (hostsClear_) hostsClear_();
    WsockTest::TearDown();
  }

  HANDLE Start(const char* name, char* buf, int len) {
    return ws.WSAAsyncGetHostByName(window_, kLookupMsg, name, buf, len);
  }
  const MSG* ReplyTo(HANDLE h) const {
    for (const MSG& m : lookups_)
      if (m.wParam == reinterpret_cast<WPARAM>(h)) return &m;
    return nullptr;
  }
  bool WaitReply(HANDLE h) {
    return PumpUntil([&] { return ReplyTo(h) != nullptr; });
  }
  // Every pointer of the record must point inside the buffer.
  static void ExpectInside(const char* buf, int len, const void* p) {
    const auto* c = static_cast<const char*>(p);
    EXPECT_TRUE(c >= buf && c < buf + len) << "pointer outside the caller's buffer";
  }
  static std::vector<std::string> Addresses(const hostent* h) {
    std::vector<std::string> out;
    for (char** a = h->h_addr_list; *a; ++a) {
      const auto* b = reinterpret_cast<const unsigned char*>(*a);
      out.push_back(std::to_string(b[0]) + "." + std::to_string(b[1]) + "." +
                    std::to_string(b[2]) + "." + std::to_string(b[3]));
    }
    return out;
  }

  TvHostsSetFn hostsSet_ = nullptr;
  TvHostsClearFn hostsClear_ = nullptr;
  alignas(8) char buf_[MAXGETHOSTSTRUCT + 1];
};

TEST_F(LookupTest, SeamNameGivesItsAddressesInOrderInsideTheBuffer) {
  hostsSet_("tervane.test", "127.0.5.3,127.0.5.1,127.0.5.2");
  std::memset(buf_, 0x5A, sizeof buf_);
  HANDLE h = Start("tervane.test", buf_, sizeof buf_);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(WaitReply(h));
  const MSG* m = ReplyTo(h);
  EXPECT_EQ(m->hwnd, window_);
  EXPECT_EQ(HIWORD(m->lParam), 0);
  const int used = LOWORD(m->lParam);
  EXPECT_GT(used, 0);
  EXPECT_LE(used, static_cast<int>(sizeof buf_));

  const auto* host = reinterpret_cast<const hostent*>(buf_);
  EXPECT_EQ(host->h_addrtype, AF_INET);
  EXPECT_EQ(host->h_length, 4);
  ExpectInside(buf_, used, host->h_name);
  ExpectInside(buf_, used, host->h_aliases);
  ExpectInside(buf_, used, host->h_addr_list);
  EXPECT_STREQ(host->h_name, "tervane.test");
  EXPECT_EQ(host->h_aliases[0], nullptr);
  for (char** a = host->h_addr_list; *a; ++a) ExpectInside(buf_, used, *a);
  EXPECT_EQ(Addresses(host), (std::vector<std::string>{"127.0.5.3", "127.0.5.1", "127.0.5.2"}));
  EXPECT_EQ(static_cast<unsigned char>(buf_[used]), 0x5A) << "written past what it reported";

  // The address look-up of one of them answers the seam's name.
  const std::uint32_t a = static_cast<std::uint32_t>(ws.inet_addr("127.0.5.1"));
  HANDLE r = ws.WSAAsyncGetHostByAddr(window_, kLookupMsg, reinterpret_cast<const char*>(&a), 4,
                                      PF_INET, buf_, sizeof buf_);
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(WaitReply(r));
  EXPECT_EQ(HIWORD(ReplyTo(r)->lParam), 0);
  EXPECT_STREQ(reinterpret_cast<const hostent*>(buf_)->h_name, "tervane.test");
}

TEST_F(LookupTest, LocalhostResolvesThroughTheSystem) {
  HANDLE h = Start("localhost", buf_, sizeof buf_);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(WaitReply(h));
  ASSERT_EQ(HIWORD(ReplyTo(h)->lParam), 0);
  const auto* host = reinterpret_cast<const hostent*>(buf_);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  EXPECT_EQ(Addresses(host)[0].substr(0, 4), "127.");
}

TEST_F(LookupTest, FailuresArriveAsTheReplysError) {
  hostsSet_("gone.test", "");
  HANDLE missing = Start("gone.test", buf_, sizeof buf_);
  HANDLE invalid = Start("no-such-router.invalid", buf_, sizeof buf_);
  ASSERT_NE(missing, nullptr);
  ASSERT_NE(invalid, nullptr);
  EXPECT_NE(missing, invalid);
  ASSERT_TRUE(WaitReply(missing));
  ASSERT_TRUE(WaitReply(invalid));
  EXPECT_EQ(HIWORD(ReplyTo(missing)->lParam), WSAHOST_NOT_FOUND);
  EXPECT_EQ(HIWORD(ReplyTo(invalid)->lParam), WSAHOST_NOT_FOUND);

  // A record that does not fit: WSAENOBUFS, the size needed in the low
  // word, and the small buffer untouched.
  hostsSet_("big.test", "127.0.5.1,127.0.5.2,127.0.5.3");
  char small[24];
  std::memset(small, 0x5A, sizeof small);
  HANDLE h = Start("big.test", small, sizeof small);
  ASSERT_TRUE(WaitReply(h));
  EXPECT_EQ(HIWORD(ReplyTo(h)->lParam), WSAENOBUFS);
  EXPECT_GT(LOWORD(ReplyTo(h)->lParam), sizeof small);
  for (char c : small) EXPECT_EQ(static_cast<unsigned char>(c), 0x5A);

  // The broadcast address (what a text that is not an address becomes)
  // names no host, and is answered without asking a name server.
  const std::uint32_t none = INADDR_NONE;
  HANDLE b = ws.WSAAsyncGetHostByAddr(window_, kLookupMsg, reinterpret_cast<const char*>(&none),
                                      4, PF_INET, buf_, sizeof buf_);
  ASSERT_TRUE(WaitReply(b));
  EXPECT_EQ(HIWORD(ReplyTo(b)->lParam), WSAHOST_NOT_FOUND);

  // Requests the module refuses to start.
  EXPECT_EQ(ws.WSAAsyncGetHostByAddr(window_, kLookupMsg, "abcd", 4, 23, buf_, sizeof buf_),
            nullptr);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEAFNOSUPPORT);
  EXPECT_EQ(Start(nullptr, buf_, sizeof buf_), nullptr);
}

TEST_F(LookupTest, CancelledRequestNeverWritesNorReplies) {
  hostsSet_("slow.test", "127.0.9.9");
  // Many requests, each cancelled at once: whichever finished first is
  // refused (WSAEALREADY), every other is never heard of again.
  std::vector<std::vector<char>> buffers(20, std::vector<char>(MAXGETHOSTSTRUCT + 1, 0x5A));
  std::vector<HANDLE> handles;
  std::vector<bool> cancelled;
  for (auto& b : buffers) {
    HANDLE h = Start("slow.test", b.data(), static_cast<int>(b.size()));
    ASSERT_NE(h, nullptr);
    handles.push_back(h);
    cancelled.push_back(ws.WSACancelAsyncRequest(h) == 0);
    if (!cancelled.back()) {
      EXPECT_EQ(ws.WSAGetLastError(), WSAEALREADY);
    }
  }
  // Let every worker finish: a later request's reply comes after theirs.
  HANDLE last = Start("slow.test", buf_, sizeof buf_);
  ASSERT_TRUE(WaitReply(last));
  Settle();
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (!cancelled[i]) continue;
    EXPECT_EQ(ReplyTo(handles[i]), nullptr) << "a cancelled request replied";
    for (char c : buffers[i]) ASSERT_EQ(static_cast<unsigned char>(c), 0x5A) << "written after cancel";
  }

  // Cancelling a finished request fails as WinSock's does: the routine has
  // already completed; a handle never handed out is invalid.
  EXPECT_EQ(ws.WSACancelAsyncRequest(last), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEALREADY);
  EXPECT_EQ(ws.WSACancelAsyncRequest(reinterpret_cast<HANDLE>(0x7777)), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
}

}  // namespace
