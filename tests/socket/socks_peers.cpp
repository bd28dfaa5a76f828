// POSIX side of the SOCKS client tests: the loopback peers and the server
// processes.
#include "socks_peers.h"

#include "common/host_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

extern char** environ;

namespace socks_peer {

using peer::SendAll;
using peer::WaitReadable;

bool RunningAsRoot() { return ::geteuid() == 0; }

// ---- Echo server ---------------------------------------------------------------

struct EchoServer::TImpl {
  int ListenFd = -1;
  int Port = 0;
  std::atomic<bool> Stop{false};
  std::thread Thread;
  std::vector<std::thread> Clients;

  void Serve(int Fd) {
    char Buf[4096];
    while (!Stop) {
      if (!WaitReadable(Fd, 50)) continue;
      const ssize_t N = ::recv(Fd, Buf, sizeof Buf, 0);
      if (N <= 0 || !SendAll(Fd, std::string(Buf, static_cast<std::size_t>(N)))) break;
    }
    ::close(Fd);
  }
  void Run() {
    while (!Stop) {
      if (!WaitReadable(ListenFd, 50)) continue;
      const int Fd = ::accept(ListenFd, nullptr, nullptr);
      if (Fd >= 0) Clients.emplace_back([this, Fd] { Serve(Fd); });
    }
  }
};

EchoServer::EchoServer() : Impl(std::make_unique<TImpl>()) {
  Impl->ListenFd = peer::ListenLoopback(&Impl->Port, 8);
  Impl->Thread = std::thread([this] { Impl->Run(); });
}

EchoServer::~EchoServer() {
  Impl->Stop = true;
  Impl->Thread.join();
  for (auto& T : Impl->Clients) T.join();
  ::close(Impl->ListenFd);
}

int EchoServer::Port() const { return Impl->Port; }

// ---- Scripted server -------------------------------------------------------------

struct ScriptedServer::TImpl {
  std::vector<Step> Steps;
  int ListenFd = -1;
  int Port = 0;
  std::atomic<bool> Stop{false};
  std::atomic<int> Accepted{0};
  mutable std::mutex Mutex;
  std::string Received;
  std::thread Thread;

  void Keep(const char* Data, std::size_t N) {
    std::lock_guard<std::mutex> Lock(Mutex);
    Received.append(Data, N);
  }
  // One read into the log: false at end of stream or when stopped.
  bool ReadSome(int Fd, std::size_t Max) {
    char Buf[512];
    while (!Stop) {
      if (!WaitReadable(Fd, 50)) continue;
      const ssize_t Got = ::recv(Fd, Buf, Max < sizeof Buf ? Max : sizeof Buf, 0);
      if (Got <= 0) return false;
      Keep(Buf, static_cast<std::size_t>(Got));
      return true;
    }
    return false;
  }
  bool ReadExact(int Fd, std::size_t N) {
    std::size_t Before;
    {
      std::lock_guard<std::mutex> Lock(Mutex);
      Before = Received.size();
    }
    for (;;) {
      std::size_t Have;
      {
        std::lock_guard<std::mutex> Lock(Mutex);
        Have = Received.size() - Before;
      }
      if (Have >= N) return true;
      if (!ReadSome(Fd, N - Have)) return false;
    }
  }
  bool Play(int Fd, const Step& S) {
    switch (S.What) {
      case Step::kExpect:
        return ReadExact(Fd, S.Count);
      case Step::kSend:
        return SendAll(Fd, S.Bytes);
      case Step::kSendBytewise:
        // Separate segments: the client must cope with a reply in pieces.
        for (char C : S.Bytes) {
          if (!SendAll(Fd, std::string(1, C))) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        return true;
      case Step::kEcho: {
        char Buf[512];
        while (!Stop) {
          if (!WaitReadable(Fd, 50)) continue;
          const ssize_t N = ::recv(Fd, Buf, sizeof Buf, 0);
          if (N <= 0) break;
          Keep(Buf, static_cast<std::size_t>(N));
          SendAll(Fd, std::string(Buf, static_cast<std::size_t>(N)));
        }
        return false;
      }
      case Step::kClose:
        return false;
    }
    return false;
  }
  void Run() {
    int Fd = -1;
    while (!Stop && Fd < 0) {
      if (WaitReadable(ListenFd, 50)) Fd = ::accept(ListenFd, nullptr, nullptr);
    }
    if (Fd < 0) return;
    ++Accepted;
    int One = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    bool Open = true;
    for (const Step& S : Steps) {
      if (!(Open = Play(Fd, S))) break;
    }
    // Keep whatever else arrives until the client goes or the test ends.
    while (Open && ReadSome(Fd, 512)) {
    }
    ::close(Fd);
  }
};

ScriptedServer::ScriptedServer(std::vector<Step> Script) : Impl(std::make_unique<TImpl>()) {
  Impl->Steps = std::move(Script);
  Impl->ListenFd = peer::ListenLoopback(&Impl->Port, 8);
  Impl->Thread = std::thread([this] { Impl->Run(); });
}

ScriptedServer::~ScriptedServer() {
  Impl->Stop = true;
  Impl->Thread.join();
  ::close(Impl->ListenFd);
}

int ScriptedServer::Port() const { return Impl->Port; }

std::string ScriptedServer::Received() const {
  std::lock_guard<std::mutex> Lock(Impl->Mutex);
  return Impl->Received;
}

int ScriptedServer::Accepted() const { return Impl->Accepted; }

// ---- Server processes ----------------------------------------------------------------

ServerProcess::ServerProcess(const std::vector<std::string>& Argv) {
  std::vector<char*> Args;
  for (const auto& A : Argv) Args.push_back(const_cast<char*>(A.c_str()));
  Args.push_back(nullptr);
  posix_spawnattr_t Attr;
  posix_spawnattr_init(&Attr);
  posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&Attr, 0);
  // The servers chat on their standard streams; the tests read their logs.
  posix_spawn_file_actions_t Files;
  posix_spawn_file_actions_init(&Files);
  posix_spawn_file_actions_addopen(&Files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&Files, 2, "/dev/null", O_WRONLY, 0);
  pid_t Child = -1;
  if (posix_spawn(&Child, Args[0], &Files, &Attr, Args.data(), environ) == 0) Pid = Child;
  posix_spawn_file_actions_destroy(&Files);
  posix_spawnattr_destroy(&Attr);
}

ServerProcess::~ServerProcess() {
  if (Pid <= 0) return;
  ::kill(-Pid, SIGTERM);
  int Status = 0;
  ::waitpid(Pid, &Status, 0);
}

}  // namespace socks_peer
