// TTnCnx: one telnet client session.  A non-visual component that owns one
// TWSocket, connects it to Host:Port, runs every received byte through the
// telnet parser (tn_parser.h), which answers the server's commands and
// option requests by itself, and hands the remaining data of each socket
// read to its owner in one OnDataAvailable.  The owner's bytes go out
// unchanged (no escaping of 255, no line-end conversion, no echo).
//
// Events (each raised only when its slot is set; Sender is this component):
//   OnSessionConnected  the socket's connect result, Error 0 on success
//   OnSessionClosed     the session ended (peer close or local Close)
//   OnDataAvailable     the data bytes of one read; Buffer[Len] is a NUL;
//                       the buffer is valid only during the call
//   OnDisplay           "remote has closed" / receive error texts
//   OnEndOfRecord, OnSendLoc, OnTermType, OnLocalEcho   telnet commands
//
// Re-entrancy: handlers may call Send, SendStr, Close and Connect.  Connect
// from inside a handler drops whatever is left of the read being
// interpreted: it belonged to the old session.  Handlers must not destroy
// the component.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tn_parser.h"
#include "wsocket.h"

class TTnCnx;

using TTnSessionConnected = std::function<void(TTnCnx* Sender, WORD Error)>;
using TTnSessionClosed = std::function<void(TTnCnx* Sender, WORD Error)>;
using TTnDataAvailable = std::function<void(TTnCnx* Sender, const char* Buffer, int Len)>;
using TTnDisplay = std::function<void(TTnCnx* Sender, const std::string& Str)>;
// TNotifyEvent (custom_wsocket.h): void(TObject* Sender).

class TTnCnx : public TComponent, private TTnParserHooks {
 public:
  explicit TTnCnx(TComponent* Owner);
  ~TTnCnx() override;

  // Open (or reopen: an open session is closed first) the session.
  // Failures the socket finds at once (unresolvable host, port) throw
  // ESocketException; later ones arrive as OnSessionConnected(Error != 0).
  void Connect();
  // Close the session; OnSessionClosed follows as the socket reports it.
  void Close();
  // Send bytes unchanged.  Returns what the socket's Send returns (bytes
  // accepted, or -1), -1 without a socket; socket exceptions pass through.
  int Send(const void* Data, int Len);
  int SendStr(const std::string& Str);

  // The owned socket (empty after it has been destroyed from outside).
  TWSocket* Socket() const { return FSocket; }

  // Published properties: plain fields, no side effects; Host and Port are
  // handed to the socket at the next Connect.
  std::string Port = "23";
  std::string Host;
  std::string Location = "TNCNX";
  std::string TermType = "VT100";
  bool LocalEcho = false;

  TTnSessionConnected OnSessionConnected;
  TTnSessionClosed OnSessionClosed;
  TTnDataAvailable OnDataAvailable;
  TTnDisplay OnDisplay;
  TNotifyEvent OnEndOfRecord;
  TNotifyEvent OnSendLoc;
  TNotifyEvent OnTermType;
  TNotifyEvent OnLocalEcho;

  // Room of the receive buffer in data bytes.  A read carries at most
  // kReadSize bytes, so one read never fills it.
  static constexpr int kReadSize = 2048;
  // Answers to the server's requests queue in the socket while the server
  // does not read them; past this many queued bytes the session is ended
  // (with a text through OnDisplay) instead of letting a server that only
  // asks and never reads grow the program without bound.
  static constexpr std::size_t kMaxQueuedAnswers = 1024 * 1024;
  static constexpr int kReceiveRoom = 2049;

  // The telnet parser (its state is this session's own).
  const TTnParser& Parser() const { return FParser; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Socket event handlers.
  void SocketOpened();
  void SocketSessionConnected(TObject* Sender, WORD Error);
  void SocketSessionClosed(TObject* Sender, WORD Error);
  void SocketDataAvailable(TObject* Sender, WORD Error);

  // Receive path.
  void AddData(const char* Data, std::size_t Len);
  void AddDataByte(unsigned char B);
  void FlushReceiveBuffer();
  void Display(const std::string& Text);
  // Interpret the bytes of one read (what SocketDataAvailable does after
  // Receive): parse, then flush.
  void ProcessReceived(const char* Data, int Len);
  void DebugTrace(const std::string& Text);

 private:
  // TTnParserHooks
  void TnData(const char* Data, std::size_t Len) override;
  void TnSend(const char* Data, std::size_t Len) override;
  void TnTrace(const std::string& Text) override;
  void TnEndOfRecord() override;
  void TnSetLocalEcho(bool Value) override;
  void TnLocalEchoEvent() override;
  std::string TnSendLocation() override;
  std::string TnTermType() override;

  TWSocket* FSocket = nullptr;
  char ReceiveBuffer[kReceiveRoom] = {};
  int ReceiveCount = 0;
  // Reset by every Connect; its generation lets the receive path notice a
  // reopen made from inside one of the owner's handlers.
  TTnParser FParser{*this};
};
