// Handlers that throw, release, close or reconnect at awkward moments, over
// real TCP on loopback: the stream neither repeats nor stalls, a lingering
// close waits for its data and stays closed, a released socket outlives
// every frame that is still using it (run under AddressSanitizer too), and a
// session that a handler replaces is announced closed once and leaves
// nothing behind in the new one.
#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "socket/socket_fixture.h"

using namespace sockettest;

namespace {

constexpr UINT kPoke = WM_USER + 50;

// A socket that counts its own destruction and runs `OnPoke` when the loop
// reaches a message posted with Poke(): a way to act from inside whatever
// pump is running at that moment.
class Probe : public TWSocket {
 public:
  explicit Probe(int* deletions = nullptr) : TWSocket(nullptr), Deletions(deletions) {}
  ~Probe() override {
    if (Deletions) ++*Deletions;
  }
  void Poke() { PostMessageA(Handle(), kPoke, 0, 0); }
  std::function<void()> OnPoke;

 protected:
  void WndProc(TMessage& Msg) override {
    if (Msg.Msg == kPoke) {
      if (OnPoke) OnPoke();
      return;
    }
    TWSocket::WndProc(Msg);
  }

 private:
  int* Deletions;
};

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// Reads a peer until end of stream on a thread of its own, from Start().
struct Drain {
  std::thread thread;
  std::string got;
  bool reset = false;
  void Start(int fd) {
    thread = std::thread([this, fd] {
      for (;;) {
        int err = 0;
        const int r = peer::RecvOnce(fd, got, err, 20000);
        if (r > 0) continue;
        reset = r < 0 && err == peer::kConnReset;
        return;
      }
    });
  }
  ~Drain() {
    if (thread.joinable()) thread.join();
  }
};

// Connects `s` and queues more than the kernel
// holds: what is left then waits in the socket and in the kernel.  Loopback
// takes close to 4 MiB from a sender whose peer does not read, so every
// such queue here is 8 MiB.
int ConnectAndFill(TWSocket& s, Listener& listener, const std::string& data) {
  const int p = ConnectTo(s, listener);
  if (p < 0) return p;
  s.SendStr(data);
  EXPECT_FALSE(s.AllSentFlag());
  return p;
}

TEST(Reentry, ThrowingOnSendDataNeitherRepeatsNorStallsTheStream) {
  Listener listener;
  TWSocket s(nullptr);
  const int p = ConnectTo(s, listener);
  ASSERT_GE(p, 0);
  // From Send: the exception reaches the caller, the bytes are gone.
  s.OnSendData = [](TObject*, int) { throw std::runtime_error("send handler failed"); };
  EXPECT_THROW(s.SendStr("hello"), std::runtime_error);
  s.OnSendData = nullptr;
  s.SendStr(" world");
  EXPECT_EQ(peer::Read(p, 11), "hello world");

  // From the message loop, with OnBgException keeping the socket: the rest
  // of the queue still goes out, once.
  const std::string data = Pattern(8 << 20);
  s.SendStr(data);
  ASSERT_FALSE(s.AllSentFlag());
  int thrown = 0;
  s.OnSendData = [&](TObject*, int) {
    if (thrown++ == 0) throw std::runtime_error("send handler failed");
  };
  int bg = 0;
  s.OnBgException = [&](TObject*, std::exception&, bool& canClose) {
    ++bg;
    canClose = false;
  };
  s.SendStr("tail");  // the kernel is full: queued only, no handler yet
  const std::string want = data + "tail";
  std::string got;
  std::thread reader([&] { got = peer::Read(p, want.size(), 20000); });
  RunUntil([&] { return s.AllSentFlag(); }, 20000);
  reader.join();
  EXPECT_EQ(bg, 1);
  EXPECT_TRUE(got == want) << "received " << got.size() << " of " << want.size() << " bytes";
}

TEST(Reentry, LingeringCloseWaitsForItsDataAndStaysClosed) {
  if (peer::RunningUnderWine())
    GTEST_SKIP() << "Wine blocks in closesocket for the whole linger time where Windows fails a non-blocking lingering close with WSAEWOULDBLOCK, so no pump runs while it waits";
  Listener listener;
  Probe s;
  Recorder rec;
  rec.Attach(s);
  s.OnSendData = nullptr;
  int bg = 0;
  s.OnBgException = [&](TObject*, std::exception&, bool&) { ++bg; };
  s.LingerTimeout = 10;
  const int p = ConnectAndFill(s, listener, Pattern(8 << 20));
  ASSERT_GE(p, 0);
  // The peer starts reading only once the close is waiting, from inside
  // its pump; an FD_WRITE of ours is queued ahead of that.
  Drain drain;
  s.OnPoke = [&] { drain.Start(p); };
  s.Poke();
  rec.events.clear();
  EXPECT_NO_THROW(s.Close());
  EXPECT_EQ(bg, 0);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"State Connected>Closed", "Closed(0)"}));
  drain.thread.join();
  EXPECT_FALSE(drain.reset) << "the linger ended in a reset";
  EXPECT_GT(drain.got.size(), 0u);
  EXPECT_EQ(drain.got, Pattern(drain.got.size()));
}

// Each nested pump that a released socket can meet; the socket must still
// be there when the pump returns and be gone once the loop has run.
TEST(Reentry, ReleasedSocketOutlivesEveryRunningFrame) {
  Listener listener;
  int deletions = 0;

  {  // a close that must wait
    auto* s = new Probe(&deletions);
    s->LingerTimeout = 10;
    const int p = ConnectAndFill(*s, listener, Pattern(8 << 20));
    ASSERT_GE(p, 0);
    Drain drain;
    s->OnPoke = [&] { drain.Start(p); };
    s->Release();
    s->Poke();
    s->Close();
    EXPECT_EQ(deletions, 0);
    RunUntil([&] { return deletions == 1; });
  }
  {  // Flush
    auto* s = new Probe(&deletions);
    const int p = ConnectAndFill(*s, listener, Pattern(8 << 20));
    ASSERT_GE(p, 0);
    Drain drain;
    drain.Start(p);
    s->Release();
    s->Flush();
    EXPECT_EQ(deletions, 1);
    RunUntil([&] { return deletions == 2; });
    drain.thread.join();
  }
  {  // Release inside OnDataAvailable, then another socket's wait
    auto* s = new Probe(&deletions);
    TWSocket other(nullptr);
    other.WaitTimeout = 20;
    const int p = ConnectTo(*s, listener);
    ASSERT_GE(p, 0);
    s->OnDataAvailable = [&](TObject*, WORD) {
      s->ReceiveStr();
      s->Release();
      bool never = false;
      other.WaitForFlag(never);
    };
    ASSERT_TRUE(peer::SendAll(p, "x"));
    RunUntil([&] { return deletions == 3; });
  }
  {  // WaitForFlag on the released socket itself
    auto* s = new Probe(&deletions);
    s->Release();
    s->WaitTimeout = 20;
    bool never = false;
    EXPECT_EQ(s->WaitForFlag(never), kWaitTimedOut);
    EXPECT_EQ(deletions, 3);
    RunUntil([&] { return deletions == 4; });
  }
  {  // a pending release while the owner deletes the socket
    auto* s = new Probe(&deletions);
    s->LingerTimeout = 10;
    const int p = ConnectAndFill(*s, listener, Pattern(8 << 20));
    ASSERT_GE(p, 0);
    Drain drain;
    drain.Start(p);
    s->Release();
    delete s;
    EXPECT_EQ(deletions, 5);
    Settle();
    EXPECT_EQ(deletions, 5);
  }
}

// A handler that connects again from OnSessionClosed (after Close and after
// Abort) or from OnChangeState(..., wsClosed) (after a local and a remote
// close) starts a session of its own: announced closed once, from the
// defaults, with the connect's OnDataSent(0).
TEST(Reentry, SessionReplacedByAHandlerStartsAfresh) {
  Listener listener;
  TWSocket s(nullptr);
  Recorder rec;
  enum From { kSessionClosed, kChangeState } from = kSessionClosed;
  bool again = false;
  auto reconnect = [&] {
    if (!again) return;
    again = false;
    s.SetAddr("127.0.0.1");
    s.SetPort(listener.PortText());
    s.Connect();
  };
  auto attach = [&] {
    rec.Attach(s);
    auto closed = s.OnSessionClosed;
    s.OnSessionClosed = [&, closed](TObject* o, WORD e) {
      closed(o, e);
      if (from == kSessionClosed) reconnect();
    };
    auto changed = s.OnChangeState;
    s.OnChangeState = [&, changed](TObject* o, TSocketState a, TSocketState b) {
      changed(o, a, b);
      if (from == kChangeState && b == wsClosed) reconnect();
    };
  };

  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    from = round < 2 ? kSessionClosed : kChangeState;
    s.OnSessionClosed = nullptr;
    s.OnChangeState = nullptr;
    s.OnDataAvailable = [&](TObject*, WORD) { s.ReceiveStr(); };
    const int p = ConnectTo(s, listener);
    ASSERT_GE(p, 0);
    attach();
    // Something read, a linger setting, and (but where the peer ends the
    // session) bytes still unsent when the session ends.
    ASSERT_TRUE(peer::SendAll(p, "abc"));
    RunUntil([&] { return s.ReadCount() == 3; });
    s.LingerTimeout = 7;
    if (round != 3) {
      s.SendStr(Pattern(8 << 20));
      EXPECT_FALSE(s.AllSentFlag());
    }
    rec.events.clear();
    again = true;
    if (round == 3) {
      peer::Close(p);  // FD_CLOSE, then the Close that it makes
      RunUntil([&] { return !again; });
    } else if (round == 1) {
      s.Abort();
    } else {
      s.Close();
    }
    ASSERT_FALSE(again) << "the handler did not connect again";
    ASSERT_GE(listener.Accept(), 0);
    RunUntil([&] { return rec.Has("DataSent(0)"); });
    Settle();
    int closed = 0;
    for (const auto& e : rec.events) closed += e.rfind("Closed(", 0) == 0;
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(s.ReadCount(), 0);
    EXPECT_EQ(s.LingerOnOff, wsLingerOn);
    EXPECT_EQ(s.LingerTimeout, 0);
    ASSERT_TRUE(s.AllSentFlag()) << "Flush would wait for ever";
    s.Flush();
    s.OnSessionClosed = nullptr;
    s.OnChangeState = nullptr;
    s.Close();
  }
}

// Whatever a handler throws reaches OnBgException, and by default the
// socket is aborted.
TEST(Reentry, ExceptionOfAnyTypeReachesBgException) {
  Listener listener;
  TWSocket s(nullptr);
  const int p = ConnectTo(s, listener);
  ASSERT_GE(p, 0);
  std::string seen;
  s.OnBgException = [&](TObject*, std::exception& e, bool&) { seen = e.what(); };
  s.OnDataSent = [](TObject*, WORD) { throw 42; };
  s.SendStr("x");
  RunUntil([&] { return s.State() == wsClosed; });
  EXPECT_EQ(seen, "Exception of an unknown type in an event handler");
}

}  // namespace
