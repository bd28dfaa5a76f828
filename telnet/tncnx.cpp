// TTnCnx life cycle: construction, connect, close, send, and following the
// owned socket's session events.
#include "raise_event.h"
#include "tncnx.h"
#include "wsocket_binding.h"

TTnCnx::TTnCnx(TComponent* Owner) : TComponent(Owner) {
  FSocket = new TWSocket(this);
  // An answer that follows another in the same read, and the CR after a
  // login answer, must not wait for the server's delayed acknowledgement.
  FSocket->ComponentOptions |= WSocketOptionBit(wsoTcpNoDelay);
  FSocket->OnChangeState = [this](TObject*, TSocketState, TSocketState NewState) {
    if (NewState == wsOpened) SocketOpened();
  };
  FSocket->OnSessionConnected = [this](TObject* Sender, WORD Error) {
    SocketSessionConnected(Sender, Error);
  };
  FSocket->OnDataAvailable = [this](TObject* Sender, WORD Error) {
    SocketDataAvailable(Sender, Error);
  };
  FSocket->OnSessionClosed = [this](TObject* Sender, WORD Error) {
    SocketSessionClosed(Sender, Error);
  };
}

TTnCnx::~TTnCnx() {
  if (FSocket != nullptr) {
    TWSocket* socket = FSocket;
    FSocket = nullptr;
    // Nothing the socket does while it goes may reach a half-destroyed us.
    socket->OnSessionConnected = nullptr;
    socket->OnDataAvailable = nullptr;
    socket->OnSessionClosed = nullptr;
    socket->OnChangeState = nullptr;
    delete socket;
  }
}

void TTnCnx::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FSocket) FSocket = nullptr;
}

void TTnCnx::Connect() {
  if (FSocket == nullptr) return;
  if (FSocket->State() != wsClosed) {
    FSocket->Close();  // OnSessionClosed reaches the owner as usual
    if (FSocket == nullptr) return;
  }
  // A new session starts with a clean parser and an empty receive buffer:
  // a command cut off by the end of the old session must not swallow the
  // first bytes of the new one.
  FParser.Reset();
  ReceiveCount = 0;
  FSocket->SetProto("tcp");
  FSocket->SetPort(Port);
  FSocket->SetAddr(Host);
  FSocket->Connect();
}

void TTnCnx::Close() {
  if (FSocket != nullptr) FSocket->Close();
}

int TTnCnx::Send(const void* Data, int Len) {
  if (FSocket == nullptr) return -1;
  return FSocket->Send(Data, Len);
}

int TTnCnx::SendStr(const std::string& Str) {
  return Send(Str.data(), static_cast<int>(Str.size()));
}

void TTnCnx::SocketOpened() {
  // A server's Synch sends its IAC DM as urgent data.  Read in line, the DM
  // stays in the stream and is parsed like any other command byte; out of
  // line, it would vanish and the byte after it would be taken as the
  // command.  Set before connecting, so that no byte arrives out of line.
  const std::int32_t on = 1;
  if (WSocket::setsockopt(FSocket->HSocket(), SOL_SOCKET, SO_OOBINLINE,
                          reinterpret_cast<const char*>(&on), sizeof on) == SOCKET_ERROR) {
    const int code = WSocket::WSAGetLastError();
    FSocket->ReportError("Error " + std::to_string(code) +
                         " in function setsockopt(SO_OOBINLINE)\r\n" +
                         SocketErrorDescription(code));
  }
}

void TTnCnx::SocketSessionConnected(TObject*, WORD Error) {
  RaiseEvent(OnSessionConnected, this, Error);
}

void TTnCnx::SocketSessionClosed(TObject*, WORD Error) {
  if (FSocket != nullptr && FSocket->State() != wsClosed) FSocket->Close();
  RaiseEvent(OnSessionClosed, this, Error);
}
