// Load generator and raw epoll echo server for echo_bench (see echo_load.h).
#include "echo_load.h"

#include "common/host_peer.h"
#include "common/host_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace echo_load {
namespace {

constexpr int kMsgLen = 64;

double CpuSeconds() {
  rusage Use{};
  getrusage(RUSAGE_SELF, &Use);
  return static_cast<double>(Use.ru_utime.tv_sec + Use.ru_stime.tv_sec) +
         static_cast<double>(Use.ru_utime.tv_usec + Use.ru_stime.tv_usec) / 1e6;
}

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void SetNonBlocking(int Fd) { fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) | O_NONBLOCK); }

bool FullIo(int Fd, char* Buf, int Len, bool Write) {
  int Done = 0;
  while (Done < Len) {
    const ssize_t N = Write ? ::write(Fd, Buf + Done, static_cast<size_t>(Len - Done))
                            : ::read(Fd, Buf + Done, static_cast<size_t>(Len - Done));
    if (N <= 0) return false;
    Done += static_cast<int>(N);
  }
  return true;
}

// The child: connect, confirm, then ping-pong until the deadline.
Result Generate(int Port, int Connections, double Seconds) {
  Result R;
  sockaddr_in Sin = peer::LoopbackAddress(Port);
  char Msg[kMsgLen];
  std::memset(Msg, 'x', sizeof(Msg));

  std::vector<int> Fds;
  std::vector<int> Got(static_cast<size_t>(Connections), 0);
  const int Ep = epoll_create1(0);
  for (int I = 0; I < Connections; ++I) {
    const int Fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (Fd < 0) {
      std::perror("echo load: socket");
      return R;
    }
    timeval Limit{5, 0};
    setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &Limit, sizeof(Limit));
    const int One = 1;
    setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof(One));
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&Sin), sizeof(Sin)) != 0) {
      std::perror("echo load: connect");
      return R;
    }
    char Back[kMsgLen];
    if (!FullIo(Fd, Msg, kMsgLen, true) || !FullIo(Fd, Back, kMsgLen, false)) {
      std::fprintf(stderr, "echo load: connection %d got no echo\n", I);
      return R;
    }
    SetNonBlocking(Fd);
    epoll_event Ev{};
    Ev.events = EPOLLIN;
    Ev.data.u32 = static_cast<uint32_t>(I);
    epoll_ctl(Ep, EPOLL_CTL_ADD, Fd, &Ev);
    Fds.push_back(Fd);
  }

  const double Start = Now();
  const double End = Start + Seconds;
  for (int Fd : Fds) (void)!::write(Fd, Msg, kMsgLen);
  std::vector<epoll_event> Events(256);
  char Buf[4096];
  double T = Start;
  while (T < End) {
    const int N = epoll_wait(Ep, Events.data(), static_cast<int>(Events.size()), 100);
    T = Now();
    for (int K = 0; K < N; ++K) {
      const uint32_t I = Events[static_cast<size_t>(K)].data.u32;
      const ssize_t Len = ::read(Fds[I], Buf, sizeof(Buf));
      if (Len <= 0) continue;
      Got[I] += static_cast<int>(Len);
      while (Got[I] >= kMsgLen) {
        Got[I] -= kMsgLen;
        ++R.RoundTrips;
        if (T < End) (void)!::write(Fds[I], Msg, kMsgLen);
      }
    }
  }
  R.Seconds = T - Start;
  R.Ok = true;
  for (int Fd : Fds) ::close(Fd);
  ::close(Ep);
  return R;
}

}  // namespace

int LoadMain(int Argc, char** Argv) {
  if (Argc != 5 || std::strcmp(Argv[1], "--load") != 0) return -1;
  const Result Mine = Generate(std::atoi(Argv[2]), std::atoi(Argv[3]), std::atof(Argv[4]));
  std::printf("%d %ld %.6f\n", Mine.Ok ? 1 : 0, Mine.RoundTrips, Mine.Seconds);
  std::fflush(stdout);
  return 0;
}

void RaiseFdLimit(long Wanted) {
  rlimit Lim{};
  if (getrlimit(RLIMIT_NOFILE, &Lim) != 0) return;
  const rlim_t Target = static_cast<rlim_t>(Wanted);
  if (Lim.rlim_cur >= Target) return;
  Lim.rlim_cur = Lim.rlim_max == RLIM_INFINITY || Lim.rlim_max >= Target ? Target : Lim.rlim_max;
  setrlimit(RLIMIT_NOFILE, &Lim);
}

Result Run(int Port, int Connections, double Seconds,
           const std::function<void(int DoneFd)>& Serve) {
  int Pipe[2];
  Result R;
  if (pipe(Pipe) != 0) return R;
  const pid_t Child = fork();
  if (Child < 0) return R;
  if (Child == 0) {
    ::close(Pipe[0]);
    dup2(Pipe[1], 1);
    const std::string P = std::to_string(Port), C = std::to_string(Connections),
                      S = std::to_string(Seconds);
    execl("/proc/self/exe", "echo_bench", "--load", P.c_str(), C.c_str(), S.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(Pipe[1]);
  const double CpuBefore = CpuSeconds();
  Serve(Pipe[0]);
  const double CpuUsed = CpuSeconds() - CpuBefore;
  char Line[128] = {};
  const ssize_t Len = ::read(Pipe[0], Line, sizeof(Line) - 1);
  ::close(Pipe[0]);
  waitpid(Child, nullptr, 0);
  int Ok = 0;
  if (Len > 0 && std::sscanf(Line, "%d %ld %lf", &Ok, &R.RoundTrips, &R.Seconds) == 3)
    R.Ok = Ok == 1;
  R.ServerCpuSeconds = CpuUsed;
  return R;
}

int RawListen(int& Port) {
  const int Fd = peer::ListenLoopback(&Port, 5);
  if (Fd >= 0) SetNonBlocking(Fd);
  return Fd;
}

void RawServe(int ListenFd, int DoneFd) {
  const int Ep = epoll_create1(0);
  epoll_event Ev{};
  Ev.events = EPOLLIN;
  Ev.data.fd = ListenFd;
  epoll_ctl(Ep, EPOLL_CTL_ADD, ListenFd, &Ev);
  Ev.data.fd = DoneFd;
  epoll_ctl(Ep, EPOLL_CTL_ADD, DoneFd, &Ev);
  std::vector<int> Accepted;
  std::vector<epoll_event> Events(256);
  char Buf[4096];
  for (;;) {
    const int N = epoll_wait(Ep, Events.data(), static_cast<int>(Events.size()), -1);
    for (int K = 0; K < N; ++K) {
      const int Fd = Events[static_cast<size_t>(K)].data.fd;
      if (Fd == DoneFd) {
        for (int A : Accepted) ::close(A);
        ::close(Ep);
        return;
      }
      if (Fd == ListenFd) {
        for (;;) {
          const int A = accept4(ListenFd, nullptr, nullptr, SOCK_NONBLOCK);
          if (A < 0) break;
          epoll_event Ae{};
          Ae.events = EPOLLIN | EPOLLET;
          Ae.data.fd = A;
          epoll_ctl(Ep, EPOLL_CTL_ADD, A, &Ae);
          Accepted.push_back(A);
        }
        continue;
      }
      for (;;) {
        const ssize_t Len = ::read(Fd, Buf, sizeof(Buf));
        if (Len <= 0) break;
        (void)!::write(Fd, Buf, static_cast<size_t>(Len));
      }
    }
  }
}

void CloseFd(int Fd) { ::close(Fd); }

}  // namespace echo_load
