// POSIX side of the line-mode benchmark: the sender and the raw baseline.
#include "line_load.h"

#include "common/host_peer.h"
#include "common/host_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace line_load {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {

std::string LineBlock() {
  // 1092 lines: a little under 64 KiB per write.
  std::string Block;
  for (int I = 0; I < 1092; ++I) {
    std::string Line = std::to_string(100000000 + I).substr(1) + " line of the line-mode bench ";
    Line.resize(kLineLength - 2, '.');
    Block += Line;
    Block += "\r\n";
  }
  return Block;
}

[[noreturn]] void Send(int ListenFd, long long Bytes) {
  const int Fd = accept(ListenFd, nullptr, nullptr);
  if (Fd < 0) _exit(2);
  const std::string Block = LineBlock();
  long long Left = Bytes;
  while (Left > 0) {
    const size_t Chunk = static_cast<size_t>(Left < static_cast<long long>(Block.size())
                                                 ? Left
                                                 : static_cast<long long>(Block.size()));
    size_t Done = 0;
    while (Done < Chunk) {
      const ssize_t N = send(Fd, Block.data() + Done, Chunk - Done, MSG_NOSIGNAL);
      if (N <= 0) _exit(3);
      Done += static_cast<size_t>(N);
    }
    Left -= static_cast<long long>(Chunk);
  }
  close(Fd);
  _exit(0);
}

}  // namespace

int StartSender(long long Bytes, int& Pid) {
  int Port = 0;
  const int Fd = peer::ListenLoopback(&Port, 1);
  if (Fd < 0) return -1;
  std::fflush(nullptr);
  Pid = fork();
  if (Pid == 0) Send(Fd, Bytes);
  close(Fd);
  return Pid < 0 ? -1 : Port;
}

bool ReapSender(int Pid) {
  int Status = 0;
  return waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

RawResult RunRaw(int Port) {
  RawResult R;
  const int Fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Sin = peer::LoopbackAddress(Port);
  const double Start = Now();
  if (Fd < 0 || connect(Fd, reinterpret_cast<sockaddr*>(&Sin), sizeof Sin) != 0) return R;
  const int Ep = epoll_create1(0);
  epoll_event Ev{};
  Ev.events = EPOLLIN;
  Ev.data.fd = Fd;
  epoll_ctl(Ep, EPOLL_CTL_ADD, Fd, &Ev);
  std::string Partial;
  char Buf[2048];
  for (;;) {
    epoll_event Out;
    if (epoll_wait(Ep, &Out, 1, -1) <= 0) continue;
    const ssize_t N = recv(Fd, Buf, sizeof Buf, 0);
    if (N <= 0) break;
    R.Bytes += N;
    const char* P = Buf;
    const char* End = Buf + N;
    while (P < End) {
      const char* Lf = static_cast<const char*>(std::memchr(P, '\n', static_cast<size_t>(End - P)));
      if (Lf == nullptr) {
        Partial.append(P, static_cast<size_t>(End - P));
        break;
      }
      if (!Partial.empty()) {
        Partial.append(P, static_cast<size_t>(Lf + 1 - P));
        Partial.clear();
      }
      ++R.Lines;
      P = Lf + 1;
    }
  }
  R.Seconds = Now() - Start;
  close(Ep);
  close(Fd);
  return R;
}

}  // namespace line_load
