// TCustomLineWSocket: ties the line machinery (wsocket_line_discipline.cpp)
// to the socket: which reads it serves, which events it raises, the
// deferred delivery message and the end of a session.
#include "line_wsocket.h"

TCustomLineWSocket::TCustomLineWSocket(TComponent* Owner) : TCustomSocksWSocket(Owner) {}

TCustomLineWSocket::~TCustomLineWSocket() { FLine.Free(); }

void TCustomLineWSocket::TriggerLineLimitExceeded(int RcvdLength, bool& ClearData) {
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, RcvdLength, ClearData);
}

void TCustomLineWSocket::SetLineMode(bool Value) {
  if (Value == FLineMode) return;
  FLineMode = Value;
  // What is buffered goes out later from the message loop, under whatever
  // mode is in force then.
  if (FLine.ModeChanged()) PostDeliverBuffered();
}

void TCustomLineWSocket::PostDeliverBuffered() {
  if (FDeliverPosted || WindowHandle == nullptr) return;
  FDeliverPosted = PostMessageA(WindowHandle, WM_SOCKET_DELIVER_BUFFERED, 0, 0) != FALSE;
}

void TCustomLineWSocket::WndProc(TMessage& Msg) {
  if (Msg.Msg != WM_SOCKET_DELIVER_BUFFERED) {
    TCustomSocksWSocket::WndProc(Msg);
    return;
  }
  FDeliverPosted = false;
  Msg.Result = 0;
  try {
    FLine.DeliverBuffered();
  } catch (std::exception& E) {
    HandleBgException(E);
  } catch (...) {
    ESocketException Unknown(kUnknownHandlerException);
    HandleBgException(Unknown);
  }
}

int TCustomLineWSocket::GetRcvdCount() {
  if (FLine.Active()) return FLine.Pending();
  return TCustomSocksWSocket::GetRcvdCount();
}

bool TCustomLineWSocket::TriggerDataAvailable(WORD Error) {
  if (!FLine.Active() || SocksState != socksIdle)
    return TCustomSocksWSocket::TriggerDataAvailable(Error);
  // From here on the data are ours: the core never discards them.
  FLine.Arrive();
  return true;
}

void TCustomLineWSocket::TriggerSessionClosed(WORD Error) {
  FLine.EndOfSession();
  TCustomSocksWSocket::TriggerSessionClosed(Error);
}

int TCustomLineWSocket::RawReceive(void* Buffer, int BufferSize, int Flags) {
  if (!FFilling) {
    const int Taken = FLine.Take(static_cast<char*>(Buffer), BufferSize);
    if (Taken >= 0) return Taken;
  }
  return TCustomSocksWSocket::RawReceive(Buffer, BufferSize, Flags);
}

// ---- Host of the line machinery ---------------------------------------------

int TCustomLineWSocket::THost::LineWaiting() { return S.TCustomSocksWSocket::GetRcvdCount(); }

int TCustomLineWSocket::THost::LineRead(char* Buffer, int Size) {
  // Receive keeps ReadCount and LastError; the flag sends its RawReceive
  // past the line buffer, also when an arrival runs inside a handler that
  // is receiving a line.
  const bool Was = S.FFilling;
  S.FFilling = true;
  int Got;
  try {
    Got = S.Receive(Buffer, Size);
  } catch (...) {
    S.FFilling = Was;
    throw;
  }
  S.FFilling = Was;
  return Got;
}

void TCustomLineWSocket::THost::LineEchoBytes(const char* Data, int Len) { S.Send(Data, Len); }

void TCustomLineWSocket::THost::LineLimitExceeded(int RcvdLength, bool& ClearData) {
  S.TriggerLineLimitExceeded(RcvdLength, ClearData);
}

bool TCustomLineWSocket::THost::LineDeliver() {
  return S.TCustomSocksWSocket::TriggerDataAvailable(0);
}
