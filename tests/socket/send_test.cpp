// The send path over real TCP on loopback, and with the fault-injecting
// module for what a real peer cannot do on demand (refusals, short sends,
// resets at the moment of sending).
#include "fault_module.h"
#include "socket_fixture.h"

using namespace sockettest;

namespace {

using Events = std::vector<std::string>;

TEST(Send, AllAtOnceRaisesSendDataInsideAndDataSentFromLoop) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  EXPECT_EQ(s.SendStr("hello"), 5);
  EXPECT_EQ(s.SendStr("!"), 1);
  EXPECT_EQ(rec.events, (Events{"SendData(5)", "SendData(1)"}));
  RunUntil([&] { return rec.Has("DataSent(0)"); });
  Settle();
  // One message stands for both sends.
  EXPECT_EQ(rec.events, (Events{"SendData(5)", "SendData(1)", "DataSent(0)"}));
  EXPECT_EQ(peer::Read(p, 6), "hello!");
}

TEST(Send, ZeroLengthQueuesNothingAndLeavesAllSent) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  ConnectTo(s, listener, &rec);
  EXPECT_EQ(s.Send("x", 0), 0);
  EXPECT_EQ(s.SendStr(""), 0);
  EXPECT_TRUE(s.AllSentFlag());
  if (s.AllSentFlag()) s.Flush();  // must return at once, not wait on nothing
  Settle();
  EXPECT_TRUE(rec.events.empty());
}

TEST(Send, WhileNotConnectedReportsNotConnected) {
  const char* text = "Error 10057 in function Send\r\nNot connected. Check Configuration !";
  TWSocket s(nullptr);
  try {
    s.SendStr("x");
    FAIL() << "no exception";
  } catch (ESocketException& e) {
    EXPECT_STREQ(e.what(), text);
  }
  // With OnError: once, no exception, -1 and the code in LastError.
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  EXPECT_EQ(s.SendStr("x"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10057);
}

TEST(Send, WhileConnectingDropsTheAttemptWithOneSessionClosed) {
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  Listener listener;
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  s.Connect();
  rec.events.clear();
  EXPECT_THROW(s.SendStr("x"), ESocketException);
  EXPECT_EQ(rec.events, (Events{"Closed(10057)", "State Connecting>Closed"}));
  Settle();
  EXPECT_EQ(rec.events.size(), 2u);  // the dropped attempt reports nothing more
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(Send, LargeVolumeArrivesInOrderThroughBackPressure) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  std::string data(4 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 1000);
  // Several sends, each larger than the kernel takes at once.
  for (std::size_t off = 0; off < data.size(); off += 1 << 20)
    EXPECT_EQ(s.Send(data.data() + off, 1 << 20), 1 << 20);
  EXPECT_FALSE(s.AllSentFlag());
  // The peer reads while the loop runs: the socket sends as room appears.
  std::string got;
  RunUntil([&] {
    peer::ReadAvailable(p, got);
    return got.size() >= data.size() && rec.Has("DataSent(0)");
  }, 20000);
  EXPECT_TRUE(got == data) << "received " << got.size() << " of " << data.size();
  EXPECT_EQ(rec.events.back(), "DataSent(0)");
}

TEST(Send, QueuedBytesDoNotReachTheNextConnection) {
  FaultModule faults;
  Listener listener;
  TWSocket s(nullptr);
  ConnectTo(s, listener);
  faults.BlockSends(true);
  s.SendStr("stale");
  EXPECT_FALSE(s.AllSentFlag());
  s.Close();
  faults.BlockSends(false);
  int p2 = ConnectTo(s, listener);
  s.SendStr("fresh");
  // Stale bytes would come first and fill the five bytes read here.
  EXPECT_EQ(peer::Read(p2, 5), "fresh");
}

TEST(Send, RefusedSendIsQueuedInBlocksAndDrainedOnWrite) {
  FaultModule faults;
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  faults.BlockSends(true);
  std::string data(3000, '\0');
  for (int i = 0; i < 3000; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 26);
  EXPECT_EQ(s.Send(data.data(), 3000), 3000);
  EXPECT_TRUE(rec.events.empty());
  faults.BlockSends(false);  // the module posts FD_WRITE now
  RunUntil([&] { return rec.Has("DataSent(0)"); });
  Settle();
  EXPECT_EQ(rec.events,
            (Events{"SendData(1460)", "SendData(1460)", "SendData(80)", "DataSent(0)"}));
  EXPECT_EQ(peer::Read(p, 3000), data);
}

TEST(Send, ShortSendResumesOnNextWrite) {
  FaultModule faults;
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  faults.SendLimit(1000);
  std::string data(1460, 'q');
  data[1459] = 'Z';
  EXPECT_EQ(s.Send(data.data(), 1460), 1460);
  EXPECT_EQ(rec.events, (Events{"SendData(1000)"}));
  RunUntil([&] { return rec.Has("DataSent(0)"); });
  Settle();
  EXPECT_EQ(rec.events, (Events{"SendData(1000)", "SendData(460)", "DataSent(0)"}));
  EXPECT_EQ(peer::Read(p, 1460), data);
}

TEST(Send, ResetWhileSendingClosesOnceWithoutException) {
  FaultModule faults;
  Listener listener;
  for (bool fromLoop : {false, true}) {
    SCOPED_TRACE(fromLoop ? "on FD_WRITE" : "inside Send");
    Recorder rec;
    TWSocket s(nullptr);
    rec.Attach(s);
    ConnectTo(s, listener, &rec);
    if (fromLoop) {
      faults.BlockSends(true);
      s.SendStr("queued");
      faults.ResetOnSend(true);
      faults.BlockSends(false);
      RunUntil([&] { return s.State() == wsClosed; });
    } else {
      faults.ResetOnSend(true);
      EXPECT_NO_THROW(s.SendStr("boom"));
    }
    Settle();
    faults.ResetOnSend(false);
    EXPECT_EQ(rec.events, (Events{"State Connected>Closed", "Closed(10054)"}));
  }
}

TEST(Send, OtherSendErrorIsReportedAndKeepsTheQueue) {
  FaultModule faults;
  Listener listener;
  TWSocket s(nullptr);
  ConnectTo(s, listener);
  faults.FailCall("send", 1, 10055);
  try {
    s.SendStr("abc");
    FAIL() << "no exception";
  } catch (ESocketException& e) {
    EXPECT_STREQ(e.what(), "Error 10055 in function TryToSend failed\r\nNo buffer space available");
  }
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_FALSE(s.AllSentFlag());
}

TEST(Send, SendFromSendDataHandlerIsNeitherDuplicatedNorLost) {
  for (int limit : {0, 3}) {
    SCOPED_TRACE(limit);
    FaultModule faults;
    Listener listener;
    TWSocket s(nullptr);
    int p = ConnectTo(s, listener);
    faults.SendLimit(limit);
    int inner = 0;
    s.OnSendData = [&](TObject*, int) {
      if (inner++ == 0) s.SendStr(" world");
    };
    s.SendStr("hello");
    bool sent = false;
    s.OnDataSent = [&](TObject*, WORD) { sent = true; };
    RunUntil([&] { return sent; });
    // A duplicate would show within the first 11 bytes; a loss leaves fewer.
    EXPECT_EQ(peer::Read(p, 11), "hello world");
    EXPECT_TRUE(s.AllSentFlag());
  }
}

}  // namespace
