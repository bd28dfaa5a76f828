// POSIX side of the tests' telnet peers (see loopback_peer.h).
#include "loopback_peer.h"

#include "common/host_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace peer {

namespace {

int ListenOn(int& port) {
  const int fd = ListenLoopback(&port, 4);
  if (fd < 0) throw std::runtime_error("listen on 127.0.0.1 failed");
  return fd;
}

}  // namespace

LoopbackServer::LoopbackServer() {
  FListener = ListenOn(FPort);
  fcntl(FListener, F_SETFL, O_NONBLOCK);
}

LoopbackServer::~LoopbackServer() {
  CloseClient();
  CloseListener();
}

bool LoopbackServer::TryAccept() {
  if (FClient >= 0) return true;
  if (FListener < 0) return false;
  FClient = accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return FClient >= 0;
}

void LoopbackServer::Send(const std::string& Bytes, bool Urgent) {
  std::size_t done = 0;
  const int flags = MSG_NOSIGNAL | (Urgent ? MSG_OOB : 0);
  while (done < Bytes.size()) {
    const ssize_t n = send(FClient, Bytes.data() + done, Bytes.size() - done, flags);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{FClient, POLLOUT, 0};
      poll(&p, 1, 100);
    } else {
      throw std::runtime_error("scripted server: send failed");
    }
  }
}

const std::string& LoopbackServer::Poll() {
  char buf[4096];
  while (FClient >= 0 && !FEof) {
    const ssize_t n = recv(FClient, buf, sizeof buf, 0);
    if (n > 0) {
      FReceived.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      FEof = true;
    } else if (errno == EAGAIN) {
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
  if (FClient >= 0) close(FClient);
  FClient = -1;
}

void LoopbackServer::CloseListener() {
  if (FListener >= 0) close(FListener);
  FListener = -1;
}

RecordingRelay::RecordingRelay(int TargetPort) : FTargetPort(TargetPort) {}

RecordingRelay::~RecordingRelay() {
  if (FBack >= 0) close(FBack);
}

void RecordingRelay::Step() {
  if (!FFront.TryAccept()) return;
  if (FBack < 0) {
    FBack = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = LoopbackAddress(FTargetPort);
    if (connect(FBack, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
      throw std::runtime_error("relay: cannot reach the server");
    fcntl(FBack, F_SETFL, O_NONBLOCK);
    FBackOpen = true;
  }
  // Client to server.
  const std::string& in = FFront.Poll();
  if (FForwarded < in.size() && FBackOpen) {
    const std::string chunk = in.substr(FForwarded);
    const ssize_t n = send(FBack, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (n > 0) {
      FFromClient += chunk.substr(0, static_cast<std::size_t>(n));
      FForwarded += static_cast<std::size_t>(n);
    }
  }
  // Server to client.
  char buf[4096];
  while (FBackOpen) {
    const ssize_t n = recv(FBack, buf, sizeof buf, 0);
    if (n > 0) {
      FFromServer.append(buf, static_cast<std::size_t>(n));
      FFront.Send(std::string(buf, static_cast<std::size_t>(n)));
    } else if (n == 0 || errno != EAGAIN) {
      FBackOpen = false;
      FFront.CloseClient();
    } else {
      break;
    }
  }
}

int Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void Stop(int pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

bool OutputHasLine(const std::string& command, const std::string& line) {
  FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return false;
  char buf[256];
  bool found = false;
  while (std::fgets(buf, sizeof buf, out) != nullptr) {
    std::string got = buf;
    while (!got.empty() && (got.back() == '\n' || got.back() == '\r')) got.pop_back();
    found = found || got == line;
  }
  pclose(out);
  return found;
}

int ForkStreamSender(const std::string& block, std::size_t total, int& port) {
  const int listener = ListenOn(port);
  const pid_t pid = fork();
  if (pid != 0) {
    close(listener);
    return pid;
  }
  const int fd = accept(listener, nullptr, nullptr);
  if (fd < 0) _exit(1);
  std::size_t sent = 0, offset = 0;
  char sink[4096];
  while (sent < total) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    if (poll(&p, 1, 10000) <= 0) _exit(2);
    if ((p.revents & POLLIN) != 0 && recv(fd, sink, sizeof sink, 0) <= 0) _exit(3);
    if ((p.revents & POLLOUT) != 0) {
      std::size_t n = block.size() - offset;
      if (n > total - sent) n = total - sent;
      const ssize_t w = send(fd, block.data() + offset, n, MSG_NOSIGNAL);
      if (w <= 0) _exit(4);
      sent += static_cast<std::size_t>(w);
      offset = (offset + static_cast<std::size_t>(w)) % block.size();
    }
  }
  shutdown(fd, SHUT_WR);
  while (recv(fd, sink, sizeof sink, 0) > 0) {
  }
  _exit(0);
}

void Reap(int pid) {
  if (pid > 0) waitpid(pid, nullptr, 0);
}

std::size_t RawRecvLoop(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return 0;
  }
  fcntl(fd, F_SETFL, O_NONBLOCK);
  const int ep = epoll_create1(EPOLL_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  char buf[2048], copy[2049];
  std::size_t received = 0;
  for (bool open = true; open;) {
    epoll_event out;
    if (epoll_wait(ep, &out, 1, 10000) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      std::memcpy(copy, buf, static_cast<std::size_t>(n));
      copy[n] = '\0';
      received += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EAGAIN) {
      open = false;
    }
  }
  close(ep);
  close(fd);
  return received;
}

}  // namespace peer
