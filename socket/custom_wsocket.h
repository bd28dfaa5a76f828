// TCustomWSocket: the base of the socket component chain.  One library
// socket handle, run non-blocking with notification by window message to a
// hidden per-socket window; a state machine; a queue of TBuffer blocks for
// sending; text-to-number resolution; error reporting.
//
// Re-entrancy: every event handler may call any operation of the socket,
// including Close, Abort and Connect.  Handlers reached from the message
// loop that throw go to HandleBgException (which aborts by default);
// handlers reached from a caller's own call (OnChangeState inside Close, ...)
// throw to that caller.
//
// Layout of the implementation, one job per file:
//   wsocket_core.cpp      construction, window and dispatch, connect, close
//   wsocket_send.cpp      send path and queue
//   wsocket_binding.cpp   run-time binding of the library, error reporting
//   wsocket_errors.cpp    error code texts
//   wsocket_resolve.cpp   host, port and protocol resolution
//   wsocket_dns.cpp       asynchronous look-ups
//   wsocket_listen.cpp    listening, accepting, datagrams
//   wsocket_aux.cpp       auxiliary operations
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <tervane/win32.h>

#include "component.h"
#include "wsockbuf.h"
#include "wsocket_binding.h"

class ESocketException : public Exception {
 public:
  using Exception::Exception;
};

enum TSocketState : std::uint8_t {
  wsInvalidState,  // never entered
  wsOpened,        // handle created, not yet connecting
  wsBound,         // bound to a local address (listen path)
  wsConnecting,    // non-blocking connect under way
  wsConnected,     // session open (or datagram socket ready)
  wsAccepting,     // never entered
  wsListening,     // stream listener, or datagram listener on its way
  wsClosed,        // no session
};

enum TSocketLingerOnOff : std::uint8_t { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketSendFlags : std::uint8_t { wsSendNormal, wsSendUrgent };
enum TWSocketOption : std::uint8_t { wsoNoReceiveLoop, wsoTcpNoDelay };
using TWSocketOptions = std::uint8_t;  // bit (1 << TWSocketOption)
inline constexpr TWSocketOptions WSocketOptionBit(TWSocketOption o) {
  return static_cast<TWSocketOptions>(1u << o);
}

class TCustomWSocket;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TDataAvailable = std::function<void(TObject* Sender, WORD Error)>;
using TDataSent = std::function<void(TObject* Sender, WORD Error)>;
using TSessionClosed = std::function<void(TObject* Sender, WORD Error)>;
using TSessionAvailable = std::function<void(TObject* Sender, WORD Error)>;
using TSessionConnected = std::function<void(TObject* Sender, WORD Error)>;
using TDnsLookupDone = std::function<void(TObject* Sender, WORD Error)>;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TChangeState =
    std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, std::exception& E, bool& CanClose)>;

// Private messages of the notification window.
inline constexpr UINT WM_SOCKET_SELECT = WM_USER + 1;
inline constexpr UINT WM_SOCKET_HOSTBYNAME = WM_USER + 2;
inline constexpr UINT WM_SOCKET_HOSTBYADDR = WM_USER + 3;
inline constexpr UINT WM_SOCKET_CLOSE_DELAYED = WM_USER + 4;
inline constexpr UINT WM_SOCKET_RELEASE = WM_USER + 5;
inline constexpr UINT WM_SOCKET_TEST_EXCEPTION = WM_USER + 6;

// A window message as the component's WndProc sees it.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// What OnBgException is given for a handler exception of no standard type.
inline constexpr const char* kUnknownHandlerException =
    "Exception of an unknown type in an event handler";

// Number of live socket components in the process.
extern int SocketInstanceCount;

class TCustomWSocket : public TComponent {
 public:
  // Room for a host look-up's reply record (the library lays it out there).
  static constexpr int kLookupBufferLen = 1025;

  explicit TCustomWSocket(TComponent* Owner);
  ~TCustomWSocket() override;

  // ---- Connection --------------------------------------------------------
  virtual void Connect();
  virtual void Close();
  virtual void CloseDelayed();
  virtual void Release();
  virtual void Abort();
  virtual void Flush();
  virtual void DrainUntilClosed();
  virtual void Listen();
  virtual SOCKET Accept();
  virtual void Shutdown(int How);
  virtual void Pause();
  virtual void Resume();
  virtual void Dup(SOCKET NewHandle);
  virtual void PumpMessages();
  // One message of the calling thread: false when none was waiting.
  bool PumpOneMessage();

  // ---- Data --------------------------------------------------------------
  virtual int Receive(void* Buffer, int BufferSize);
  virtual std::string ReceiveStr();
  virtual int ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen);
  virtual int Send(const void* Data, int Len);
  virtual int SendTo(sockaddr_in Dest, int DestLen, const void* Data, int Len);
  virtual int SendStr(const std::string& Str);

  // ---- Look-ups ----------------------------------------------------------
  virtual void DnsLookup(const std::string& HostName);
  virtual void ReverseDnsLookup(const std::string& HostAddr);
  virtual void CancelDnsLookup();

  // ---- Addresses ---------------------------------------------------------
  virtual std::string GetPeerAddr();
  virtual std::string GetPeerPort();
  virtual int GetPeerName(sockaddr_in& Name, int& NameLen);
  virtual std::string GetBoundPort();
  virtual std::string GetBoundAddr();
  virtual int GetSockName(sockaddr_in& Name, int& NameLen);
  virtual bool TimevalIsSet(const timeval& tv);
  virtual void TimevalClear(timeval& tv);
  virtual bool TimevalCompare(const timeval& tv, const timeval& uv, bool IsEqual);

  // ---- Properties --------------------------------------------------------
  const std::string& Addr() const { return AddrStr; }
  void SetAddr(const std::string& Value);
  const std::string& Port() const { return PortStr; }
  virtual void SetPort(const std::string& Value);
  const std::string& Proto() const { return ProtoStr; }
  virtual void SetProto(const std::string& Value);
  const std::string& LocalAddr() const { return LocalAddrStr; }
  void SetLocalAddr(const std::string& Value);
  const std::string& LocalPort() const { return LocalPortStr; }
  void SetLocalPort(const std::string& Value);
  std::string PeerAddr() { return GetPeerAddr(); }
  std::string PeerPort() { return GetPeerPort(); }
  const std::string& DnsResult() const { return FDnsResult; }
  const std::vector<std::string>& DnsResultList() const { return FDnsResultList; }
  TSocketState State() const { return FState; }
  // Bytes sent but still waiting in the send queue.
  std::size_t QueuedByteCount() const;
  int ReadCount() const { return FReadCount; }
  int RcvdCount() { return GetRcvdCount(); }
  int LastError() const { return FLastError; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags Value);
  SOCKET HSocket() const { return SocketHandle; }
  HWND Handle() const { return WindowHandle; }
  bool AllSentFlag() const { return AllSent; }

  // Plain read/write properties.
  bool MultiThreaded = false;
  bool MultiCast = false;
  std::string MultiCastAddrStr;
  int MultiCastIpTTL = 1;
  bool ReuseAddr = false;
  TWSocketOptions ComponentOptions = 0;
  int FlushTimeout = 60;
  TSocketLingerOnOff LingerOnOff = wsLingerOn;
  int LingerTimeout = 0;

  // Event slots, in declaration order.
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TSessionClosed OnSessionClosed;
  TChangeState OnChangeState;
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TNotifyEvent OnLineTooLong;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

 protected:
  // ---- Virtual operations, in slot order ---------------------------------
  virtual void WndProc(TMessage& Msg);
  virtual void CreateNotifyWindow();
  virtual void DestroyNotifyWindow();
  virtual void ResetDefaults();
  virtual void DoClose(bool ShutdownFirst, int Error);
  virtual int GetRcvdCount();
  virtual void Bind();
  virtual int RawSend(const void* Data, int Len);
 public:
  virtual void ReportErrorFmt(const char* Fmt, ...);
  virtual void ReportError(const std::string& Msg);
 protected:
  virtual void HandleBgException(std::exception& E);
  virtual bool TriggerDataAvailable(WORD Error);
  virtual void TriggerSessionAvailable(WORD Error);
  virtual void TriggerSessionConnected(WORD Error);
  virtual void TriggerSessionClosed(WORD Error);
  virtual void TriggerDataSent(WORD Error);
  virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
  virtual void TriggerDnsLookupDone(WORD Error);
  virtual void TriggerError();
  virtual void TriggerSendData(int BytesSent);
  virtual int RawReceive(void* Buffer, int BufferSize, int Flags);
  virtual int RawReceiveFrom(SOCKET Handle, void* Buffer, int BufferSize, int Flags,
                             sockaddr_in& From, int& FromLen);

  // ---- Non-virtual helpers ------------------------------------------------
  void ChangeState(TSocketState NewState);
  void SocketError(const std::string& Context);
  void ApplyLinger();
  // Raises OnDataAvailable for what waits, at most kReceiveBudget times;
  // true when it stopped with bytes still waiting.
  bool ReceiveLoop(WORD Err, TWSocketOptions Options);
  // Posts `Code` (FD_READ or FD_CLOSE) to this socket once, so that the
  // rest of what waits is read after the messages queued meanwhile.
  void PostReceiveRetry(WORD Code);
  void HandleSelectMsg(TMessage& Msg);
  // After closesocket: the handle's value may come back with the next
  // socket at once, so notifications still queued for it must go.
  void DropQueuedNotifications();
  void HandleHostByNameMsg(TMessage& Msg);
  void HandleHostByAddrMsg(TMessage& Msg);
  // Cancels the pending look-up, if any, and forgets it without reporting:
  // 0, or the library's code when it refused the cancel.
  int CancelLookupRequest();
  void TryToSend();
  void AppendToSendBuffers(const void* Data, int Len);
  void ClearSendBuffers();
  // Posts ourselves one FD_WRITE for the current handle (at most one waits).
  void PostWriteRetry();
  void SetLastErrorCode(int Code) { FLastError = Code; }
  // Resolves what is not resolved yet, in this order: protocol (and socket
  // type), port, the local port when `WithLocalPort`, address.  A failure is
  // reported as `Context` + ": " + the reason and returns false.
  bool ResolveAssigned(const std::string& Context, bool WithLocalPort);
  // The common work of SetAddr/SetPort/SetProto: `Property` names the
  // property in the refusal's text.
  void AssignText(const std::string& Value, const char* Property, std::string& Text, bool& Assigned,
                  bool& Resolved);
  // getpeername into `Sin`; a failure goes to SocketError(`Context`).
  bool PeerName(sockaddr_in& Sin, const char* Context);
  // getsockname into `Sin` while bound, connected or listening; a failure
  // is no error, only "error" for the caller.
  bool BoundName(sockaddr_in& Sin);

  static LRESULT CALLBACK NotifyWndProc(HWND Window, UINT Message, WPARAM WParam,
                                        LPARAM LParam);

  // A frame of the socket layer that runs handlers or pumps messages and
  // goes on using its socket afterwards: every dispatch to a socket, and
  // every operation that pumps.  A release reached while any such frame of
  // the thread runs is carried out once the outermost one has returned
  // (the release is then posted again), so the socket outlives them all.
  class TBusyFrame {
   public:
    TBusyFrame();
    ~TBusyFrame();
    TBusyFrame(const TBusyFrame&) = delete;
    TBusyFrame& operator=(const TBusyFrame&) = delete;
  };
  // Sleeps until a message arrives or `Ms` pass (INFINITE: no limit), unless
  // one is waiting already.  What the waits use between two pumps.
  static void WaitForMessages(DWORD Ms);
  // Closes `SocketHandle` in the library, waiting while a linger holds it.
  // False when the close must not go on: the failure was reported, or a
  // handler run by the wait ended the session meanwhile.
  bool ReleaseHandle();
  // The reset that ends every close, for a session that a handler started
  // before the close that ended the last one could make it.
  void StartFromDefaults();

  // ---- Fields, in the order of the component's field table -------------
  std::string FDnsResult;
  std::vector<std::string> FDnsResultList;
  SOCKET AcceptedHandle = 0;
  std::deque<std::unique_ptr<TBuffer>> SendQueue;
  // What SendQueue holds, kept as it changes: asked once per answer a
  // peer's request raises, a walk of the queue grew with the queue.
  std::size_t QueuedBytes = 0;
  int BlockSize = 1460;
  int SendFlagsValue = 0;
  int FLastError = 0;
  HWND WindowHandle = nullptr;
  char LookupBuffer[kLookupBufferLen] = {};
  HANDLE LookupHandle = nullptr;
  bool LookupReplyEarly = false;
  TMessage EarlyReply{};
  SOCKET SocketHandle = INVALID_SOCKET;
  std::string AddrStr;
  bool AddrResolved = false;
  int AddrFormat = PF_INET;
  bool AddrAssigned = false;
  int ProtoNum = 6;
  bool ProtoAssigned = true;
  bool ProtoResolved = false;
  bool LocalPortResolved = false;
  std::string ProtoStr = "tcp";
  std::string PortStr;
  bool PortAssigned = false;
  bool PortResolved = false;
  int PortNum = 0;
  std::string LocalPortStr = "0";
  int LocalPortNum = 0;
  std::string LocalAddrStr = "0.0.0.0";
  int SocketType = SOCK_STREAM;
  bool AllSent = true;
  int FReadCount = 0;
  bool Paused = false;
  bool CloseInvoked = false;
  TSocketState FState = wsClosed;
  bool Terminated = false;
  int SelectEvent = 0;
  sockaddr_in RemoteSin{};

  // Ours: the send loop is running (see wsocket_send.cpp); a Send made
  // from one of its handlers only queues.
  bool InTryToSend = false;
  // Handle for which an FD_WRITE we posted ourselves is still waiting, so
  // that a run of Sends posts one message, not one each.
  SOCKET WritePostedFor = INVALID_SOCKET;
  // The same for the FD_READ or FD_CLOSE that carries on a receive loop
  // whose budget was spent.
  SOCKET ReceivePostedFor = INVALID_SOCKET;
  // The block TryToSend offers to RawSend: the bytes the library accepts
  // leave it before OnSendData runs, so a handler that throws can neither
  // have them sent twice nor stop the queue.
  TBuffer* SendingFrom = nullptr;
  // Handle whose lingering release is under way: nothing more is sent on
  // it, and a graceful close asked for meanwhile is this same close.
  SOCKET ClosingHandle = INVALID_SOCKET;
  // Set while a close has ended the session but not yet reset the fields
  // (its OnChangeState and OnSessionClosed are running): the values that
  // session left, which a handler that connects again did not choose.
  struct TClosedWith {
    TSocketLingerOnOff LingerOnOff;
    int LingerTimeout;
    int FlushTimeout;
  };
  std::optional<TClosedWith> ResetOwed;
};
