// TTnCnx receive path: one socket read, through the parser, into the
// receive buffer, out to the owner in one OnDataAvailable; and the parser's
// hooks (answers, telnet events).
#include <cstring>
#include <memory>
#include <new>

#include "raise_event.h"
#include "tncnx.h"

void TTnCnx::SocketDataAvailable(TObject*, WORD) {
  if (FSocket == nullptr) return;
  char buffer[kReadSize];
  const int count = FSocket->Receive(buffer, kReadSize);
  if (count == 0) {
    Display("\r\n**** Remote has closed ****\r\n");
  } else if (count < 0) {
    const int error = FSocket->LastError();
    if (error != WSAEWOULDBLOCK)
      Display("\r\n**** ERROR: " + std::to_string(error) + " ****\r\n");
  } else {
    ProcessReceived(buffer, count);
  }
}

void TTnCnx::ProcessReceived(const char* Data, int Len) {
  FParser.Feed(Data, static_cast<std::size_t>(Len));
  // Not reached when a telnet event's handler threw: the data stored so far
  // stay buffered and go out in front of the next read's.
  FlushReceiveBuffer();
}

void TTnCnx::AddDataByte(unsigned char B) {
  const char byte = static_cast<char>(B);
  AddData(&byte, 1);
}

void TTnCnx::AddData(const char* Data, std::size_t Len) {
  while (Len > 0) {
    if (ReceiveCount == kReceiveRoom) {
      // Full only when a delivery could not get its copy.  Try once more;
      // while that still fails, what arrives is dropped: the buffer is never
      // written past its room, and the bytes it holds go out first.
      const std::uint32_t session = FParser.Generation();
      FlushReceiveBuffer();
      if (session != FParser.Generation()) return;
      if (ReceiveCount == kReceiveRoom) return;
    }
    const std::size_t room = static_cast<std::size_t>(kReceiveRoom - ReceiveCount);
    const std::size_t take = Len < room ? Len : room;
    std::memcpy(ReceiveBuffer + ReceiveCount, Data, take);
    ReceiveCount += static_cast<int>(take);
    Data += take;
    Len -= take;
    if (ReceiveCount == kReceiveRoom) {
      const std::uint32_t session = FParser.Generation();
      FlushReceiveBuffer();
      // A handler that reopened the session ends this read's data.
      if (session != FParser.Generation()) return;
    }
  }
}

void TTnCnx::FlushReceiveBuffer() {
  if (ReceiveCount <= 0) return;
  if (!OnDataAvailable) {
    ReceiveCount = 0;
    return;
  }
  const int count = ReceiveCount;
  // The owner gets a copy of its own: a handler that pumps messages may
  // see the next read land in ReceiveBuffer while it still reads this one.
  std::unique_ptr<char[]> copy(new (std::nothrow) char[static_cast<std::size_t>(count) + 1]);
  if (!copy) return;  // stays buffered for the next flush
  std::memcpy(copy.get(), ReceiveBuffer, static_cast<std::size_t>(count));
  copy[static_cast<std::size_t>(count)] = '\0';
  ReceiveCount = 0;
  RaiseEvent(OnDataAvailable, this, copy.get(), count);
}

void TTnCnx::Display(const std::string& Text) { RaiseEvent(OnDisplay, this, Text); }

// ---- Parser hooks ---------------------------------------------------------

void TTnCnx::TnData(const char* Data, std::size_t Len) { AddData(Data, Len); }

void TTnCnx::TnSend(const char* Data, std::size_t Len) {
  // The rest of a read is still interpreted after the session ended here:
  // its answers have nowhere to go.
  if (FSocket == nullptr || FSocket->State() != wsConnected) return;
  if (FSocket->QueuedByteCount() + Len > kMaxQueuedAnswers) {
    Display("\r\n**** Server does not read our answers: session closed ****\r\n");
    // Abort: what is queued will never be read, and goes at once.
    if (FSocket != nullptr && FSocket->State() != wsClosed) FSocket->Abort();
    return;
  }
  Send(Data, static_cast<int>(Len));
}

void TTnCnx::TnTrace(const std::string& Text) { DebugTrace(Text); }

void TTnCnx::TnEndOfRecord() { RaiseEvent(OnEndOfRecord, this); }

void TTnCnx::TnSetLocalEcho(bool Value) { LocalEcho = Value; }

void TTnCnx::TnLocalEchoEvent() { RaiseEvent(OnLocalEcho, this); }

std::string TTnCnx::TnSendLocation() {
  RaiseEvent(OnSendLoc, this);
  return Location;
}

std::string TTnCnx::TnTermType() {
  RaiseEvent(OnTermType, this);
  return TermType;
}
