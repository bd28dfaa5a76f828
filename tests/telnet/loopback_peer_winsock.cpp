// Windows side of the tests' telnet peers (see loopback_peer.h): the
// scripted server and the recording relay over winsock2 in the test
// process.  Child processes and the benchmark's helpers are Linux-only.
#include <winsock2.h>

#include <stdexcept>

#include "loopback_peer.h"
#include "windows/host_windows.h"

namespace peer {

namespace {

SOCKET S(int fd) { return static_cast<SOCKET>(fd); }

void NonBlocking(int fd) {
  u_long on = 1;
  ioctlsocket(S(fd), FIONBIO, &on);
}

bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

}  // namespace

LoopbackServer::LoopbackServer() {
  FListener = ListenLoopback(&FPort, 4);
  if (FListener < 0) throw std::runtime_error("listen on 127.0.0.1 failed");
  NonBlocking(FListener);
}

LoopbackServer::~LoopbackServer() {
  CloseClient();
  CloseListener();
}

bool LoopbackServer::TryAccept() {
  if (FClient >= 0) return true;
  if (FListener < 0) return false;
  const SOCKET c = accept(S(FListener), nullptr, nullptr);
  if (c == INVALID_SOCKET) return false;
  FClient = static_cast<int>(c);
  // An accepted socket takes the listener's non-blocking mode on Windows;
  // set anyway, as the POSIX side does.
  NonBlocking(FClient);
  return true;
}

void LoopbackServer::Send(const std::string& Bytes, bool Urgent) {
  std::size_t done = 0;
  const int flags = Urgent ? MSG_OOB : 0;
  while (done < Bytes.size()) {
    const int n = send(S(FClient), Bytes.data() + done, static_cast<int>(Bytes.size() - done), flags);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && WouldBlock()) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(S(FClient), &set);
      timeval tv{0, 100000};
      select(0, nullptr, &set, nullptr, &tv);
    } else {
      throw std::runtime_error("scripted server: send failed");
    }
  }
}

const std::string& LoopbackServer::Poll() {
  char buf[4096];
  while (FClient >= 0 && !FEof) {
    const int n = recv(S(FClient), buf, sizeof buf, 0);
    if (n > 0) {
      FReceived.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || !WouldBlock()) {
      FEof = true;
    } else {
      break;
    }
  }
  return FReceived;
}

bool LoopbackServer::PeerClosed() {
  Poll();
  return FEof;
}

void LoopbackServer::CloseClient() {
  if (FClient >= 0) closesocket(S(FClient));
  FClient = -1;
}

void LoopbackServer::CloseListener() {
  if (FListener >= 0) closesocket(S(FListener));
  FListener = -1;
}

RecordingRelay::RecordingRelay(int TargetPort) : FTargetPort(TargetPort) {}

RecordingRelay::~RecordingRelay() {
  if (FBack >= 0) closesocket(S(FBack));
}

void RecordingRelay::Step() {
  if (!FFront.TryAccept()) return;
  if (FBack < 0) {
    FBack = ConnectLoopback(FTargetPort);
    if (FBack < 0) throw std::runtime_error("relay: cannot reach the server");
    NonBlocking(FBack);
    FBackOpen = true;
  }
  // Client to server.
  const std::string& in = FFront.Poll();
  if (FForwarded < in.size() && FBackOpen) {
    const std::string chunk = in.substr(FForwarded);
    const int n = send(S(FBack), chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n > 0) {
      FFromClient += chunk.substr(0, static_cast<std::size_t>(n));
      FForwarded += static_cast<std::size_t>(n);
    }
  }
  // Server to client.
  char buf[4096];
  while (FBackOpen) {
    const int n = recv(S(FBack), buf, sizeof buf, 0);
    if (n > 0) {
      FFromServer.append(buf, static_cast<std::size_t>(n));
      FFront.Send(std::string(buf, static_cast<std::size_t>(n)));
    } else if (n == 0 || !WouldBlock()) {
      FBackOpen = false;
      FFront.CloseClient();
    } else {
      break;
    }
  }
}

}  // namespace peer
