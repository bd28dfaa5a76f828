// The send path: Send copies into a queue of TBuffer blocks and hands the
// library as much as it takes; the rest goes out on FD_WRITE.
//
// Re-entrancy: OnSendData runs inside RawSend, after the library took the
// bytes.  Offered from the queue, they have left the first block by then, so
// a handler that throws loses and repeats nothing.  A Send made from that
// handler only queues its bytes; the outer TryToSend, which is still
// running, sends them on its next turn.
#include "custom_wsocket.h"

int TCustomWSocket::Send(const void* Data, int Len) {
  if (FState != wsConnected) {
    WSocket::WSASetLastError(WSAENOTCONN);
    SocketError("Send");
    return -1;
  }
  // Nothing to queue: the queue's state, AllSent included, stays as it is,
  // so a Flush never waits on an empty send.
  if (Len <= 0) return 0;
  AllSent = false;
  AppendToSendBuffers(Data, Len);
  TryToSend();  // from a handler inside the send loop: left for that loop
  if (AllSent) {
    // OnDataSent always comes from the message loop, never from inside
    // Send; one such message waits at a time.
    PostWriteRetry();
  }
  return Len;
}

int TCustomWSocket::SendStr(const std::string& Str) {
  if (Str.empty()) return 0;
  return Send(Str.data(), static_cast<int>(Str.size()));
}

int TCustomWSocket::RawSend(const void* Data, int Len) {
  int result;
  if (SocketType == SOCK_DGRAM)
    result = WSocket::sendto(SocketHandle, static_cast<const char*>(Data), Len, SendFlagsValue,
                             reinterpret_cast<const sockaddr*>(&RemoteSin), sizeof RemoteSin);
  else
    result = WSocket::send(SocketHandle, static_cast<const char*>(Data), Len, SendFlagsValue);
  if (result > 0) {
    if (SendingFrom != nullptr) {
      SendingFrom->Remove(result);
      QueuedBytes -= static_cast<std::size_t>(result);
      SendingFrom = nullptr;
    }
    TriggerSendData(result);
  }
  return result;
}

void TCustomWSocket::TryToSend() {
  if (SocketHandle == INVALID_SOCKET || SendQueue.empty()) return;
  if (SocketHandle == ClosingHandle) return;  // shut for sending
  // Reached from a handler inside our own loop: the loop picks the bytes up.
  if (InTryToSend) return;
  const SOCKET handle = SocketHandle;
  InTryToSend = true;
  struct Guard {
    TCustomWSocket* self;
    ~Guard() { self->InTryToSend = false; }
  } guard{this};

  for (;;) {
    if (SendQueue.empty()) return;
    TBuffer* block = SendQueue.front().get();
    int len = 0;
    void* data = block->Peek(len);
    if (len == 0) {
      if (SendQueue.size() == 1) {
        AllSent = true;
        return;
      }
      SendQueue.pop_front();
      continue;
    }
    SendingFrom = block;
    int count;
    try {
      count = RawSend(data, len);
    } catch (...) {
      // OnSendData threw: what it was told about has left the queue; the
      // rest goes on from the message loop, whoever catches this.
      SendingFrom = nullptr;
      if (SocketHandle == handle) PostWriteRetry();
      throw;
    }
    const bool removed = SendingFrom == nullptr;
    SendingFrom = nullptr;
    // OnSendData may have closed or aborted the socket: the block may be gone.
    if (SocketHandle != handle || SendQueue.empty() || SendQueue.front().get() != block) return;
    if (count == 0) return;
    if (count < 0) {
      int code = WSocket::WSAGetLastError();
      switch (code) {
        case WSAECONNRESET:
        case WSAENOTSOCK:
        case WSAENOTCONN:
        case WSAEINVAL:
        case WSAECONNABORTED:
        {
          // The close must not announce itself with code 0: the session
          // ends with the code that ended it, and only once (FD_CLOSE may
          // have announced it already when its handler sends).
          const bool announced = CloseInvoked;
          CloseInvoked = true;
          Close();
          if (!announced) TriggerSessionClosed(static_cast<WORD>(code));
          return;
        }
        case WSAEWOULDBLOCK:
          return;
        default:
          SocketError("TryToSend failed");
          return;
      }
    }
    if (!removed) {  // a RawSend that raised no event
      block->Remove(count);
      QueuedBytes -= static_cast<std::size_t>(count);
    }
    if (count < len) {
      // The library took part: the rest waits for FD_WRITE.  A short send
      // does not re-arm the library's FD_WRITE (only a refusal does), so
      // we announce the retry ourselves; it ends in more data or a refusal.
      PostWriteRetry();
      return;
    }
  }
}

void TCustomWSocket::PostWriteRetry() {
  if (SocketHandle == INVALID_SOCKET || WritePostedFor == SocketHandle) return;
  WritePostedFor = SocketHandle;
  PostMessageA(WindowHandle, WM_SOCKET_SELECT, static_cast<WPARAM>(SocketHandle),
               static_cast<LPARAM>(MAKELONG(FD_WRITE, 0)));
}

void TCustomWSocket::AppendToSendBuffers(const void* Data, int Len) {
  if (SendQueue.empty()) SendQueue.push_back(std::make_unique<TBuffer>(BlockSize));
  QueuedBytes += static_cast<std::size_t>(Len);
  const char* p = static_cast<const char*>(Data);
  TBuffer* target = SendQueue.back().get();
  for (;;) {
    int n = target->Write(p, Len);
    if (n >= Len) return;
    p += n;
    Len -= n;
    SendQueue.push_back(std::make_unique<TBuffer>(BlockSize));
    target = SendQueue.back().get();
  }
}

void TCustomWSocket::ClearSendBuffers() {
  SendQueue.clear();
  QueuedBytes = 0;
}

std::size_t TCustomWSocket::QueuedByteCount() const {
  return QueuedBytes;
}

TSocketSendFlags TCustomWSocket::SendFlags() {
  switch (SendFlagsValue) {
    case 0:
      return wsSendNormal;
    case 1:
      return wsSendUrgent;
    default:
      ReportError("Invalid internal SendFlags");
      return wsSendNormal;
  }
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value) {
  switch (Value) {
    case wsSendNormal:
      SendFlagsValue = 0;
      return;
    case wsSendUrgent:
      SendFlagsValue = MSG_OOB;
      return;
  }
  ReportError("Invalid SendFlags");
}
