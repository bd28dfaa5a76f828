// Forked peers and raw epoll baselines for socket_bench.
#include "socket_load.h"

#include "common/host_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace socket_load {
namespace {

// Forks a child that runs `Job` on the accepted connection and exits with
// 0 when it returns true.
template <class Fn>
int Fork(Fn Job, int& Pid) {
  int port = 0;
  int lfd = peer::ListenLoopback(&port, 1);
  if (lfd < 0) return -1;
  Pid = ::fork();
  if (Pid == 0) {
    int c = ::accept(lfd, nullptr, nullptr);
    ::close(lfd);
    bool ok = c >= 0 && Job(c);
    ::close(c);
    std::_Exit(ok ? 0 : 1);
  }
  ::close(lfd);
  return Pid > 0 ? port : -1;
}

}  // namespace

int StartSender(long long Bytes, int& Pid) {
  return Fork(
      [Bytes](int c) {
        std::vector<char> buf(1 << 16, 'x');
        long long left = Bytes;
        while (left > 0) {
          ssize_t n = ::send(c, buf.data(),
                             static_cast<size_t>(left < (1 << 16) ? left : (1 << 16)), MSG_NOSIGNAL);
          if (n <= 0) return false;
          left -= n;
        }
        return true;
      },
      Pid);
}

int StartSink(long long Bytes, int& Pid) {
  return Fork(
      [Bytes](int c) {
        std::vector<char> buf(1 << 16);
        long long got = 0;
        while (got < Bytes) {
          ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
          if (n <= 0) break;
          got += n;
        }
        return got == Bytes;
      },
      Pid);
}

bool Reap(int Pid) {
  int status = 0;
  if (::waitpid(Pid, &status, 0) != Pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long long RawReceive(int Port) {
  int fd = peer::ConnectLoopback(Port);
  if (fd < 0) return -1;
  int ep = ::epoll_create1(0);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  char buf[2048];
  long long total = 0;
  for (;;) {
    epoll_event out;
    if (::epoll_wait(ep, &out, 1, 5000) != 1) break;
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN) continue;
      break;
    }
    total += n;
  }
  ::close(ep);
  ::close(fd);
  return total;
}

long long RawSend(int Port, long long Bytes) {
  int fd = peer::ConnectLoopback(Port);
  if (fd < 0) return -1;
  int ep = ::epoll_create1(0);
  epoll_event ev{};
  ev.events = EPOLLOUT;
  ev.data.fd = fd;
  ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  char block[1460];
  std::memset(block, 'y', sizeof block);
  long long sent = 0;
  int offset = 0;  // resume a block the kernel took part of
  while (sent < Bytes) {
    const int len = static_cast<int>(
        Bytes - sent < static_cast<long long>(sizeof block) - offset ? Bytes - sent
                                                                     : sizeof block - offset);
    ssize_t n = ::send(fd, block + offset, static_cast<size_t>(len), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno != EAGAIN) break;
      epoll_event out;
      ::epoll_wait(ep, &out, 1, 5000);
      continue;
    }
    sent += n;
    offset = (offset + static_cast<int>(n)) % static_cast<int>(sizeof block);
  }
  ::close(ep);
  ::close(fd);
  return sent;
}

void WaitReadable(int Fd, int Ms) { peer::WaitReadable(Fd, Ms); }

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace socket_load
