// POSIX side of the real telnet servers and the relay (see login_peers.h).
#include "login_peers.h"

#include "common/host_peer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <thread>

namespace peer {

const char* const kScriptedLogin =
    "#!/bin/sh\n"
    "printf 'router login: '\n"
    "read user\n"
    "printf 'Password: '\n"
    "read pass\n"
    "printf 'Welcome %s\\r\\n# ' \"$user\"\n"
    "while read line; do printf 'got %s\\r\\n# ' \"$line\"; done\n";

const char* const kEchoShell =
    "#!/bin/sh\n"
    "printf '# '\n"
    "while read line; do printf 'got %s\\r\\n# ' \"$line\"; done\n";

bool HaveInetutilsTelnetd() { return access(kInetutilsTelnetd, X_OK) == 0; }

bool HaveBusyboxTelnetd() {
  if (access(kBusybox, X_OK) != 0) return false;
  const std::string command = std::string(kBusybox) + " --list 2>/dev/null";
  FILE* list = popen(command.c_str(), "r");
  if (list == nullptr) return false;
  char line[256];
  bool found = false;
  while (fgets(line, sizeof line, list) != nullptr) found = found || std::string(line) == "telnetd\n";
  pclose(list);
  return found;
}

namespace {

// A pipe whose read end wakes a poll when the owner wants its thread back.
struct StopPipe {
  StopPipe() {
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  }
  ~StopPipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void Raise() const { (void)!write(fds[1], "x", 1); }
  int fds[2];
};

void NoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Runs a command line through the shell with `input` on its standard
// input; true when it exits with 0.
bool RunWithInput(const std::string& command, const std::string& input) {
  FILE* p = popen(command.c_str(), "w");
  if (p == nullptr) return false;
  fwrite(input.data(), 1, input.size(), p);
  return pclose(p) == 0;
}

}  // namespace

// ---------------------------------------------------------------- inetd

struct PrivateInetd::State {
  std::vector<std::string> argv;
  int listener = -1, port = 0;
  StopPipe stop;
  std::vector<pid_t> daemons;
  std::thread thread;

  void Serve() {
    // The daemon's arguments are made before any fork: between fork and
    // exec a child of a threaded process may only make plain system calls.
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (;;) {
      pollfd p[2] = {{listener, POLLIN, 0}, {stop.fds[0], POLLIN, 0}};
      poll(p, 2, 200);
      Reap(false);
      if (p[1].revents != 0) return;
      if ((p[0].revents & POLLIN) == 0) continue;
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const pid_t pid = fork();
      if (pid == 0) {
        dup2(fd, 0);
        dup2(fd, 1);
        close_range(3, ~0U, 0);
        execv(args[0], args.data());
        _exit(127);
      }
      close(fd);
      if (pid > 0) daemons.push_back(pid);
    }
  }

  void Reap(bool wait) {
    for (auto it = daemons.begin(); it != daemons.end();) {
      int status;
      if (waitpid(*it, &status, wait ? 0 : WNOHANG) == *it)
        it = daemons.erase(it);
      else
        ++it;
    }
  }
};

PrivateInetd::PrivateInetd(std::vector<std::string> argv) : F(std::make_unique<State>()) {
  F->argv = std::move(argv);
  F->listener = ListenLoopback(&F->port);
  if (F->listener < 0) throw std::runtime_error("cannot listen on 127.0.0.1");
  F->thread = std::thread([this] { F->Serve(); });
}

PrivateInetd::~PrivateInetd() {
  F->stop.Raise();
  F->thread.join();
  close(F->listener);
  // A daemon ends when its connection does; one that has not after two
  // seconds is told to, so that none outlives the test.
  const long long deadline = NowMs() + 2000;
  while (!F->daemons.empty() && NowMs() < deadline) {
    F->Reap(false);
    if (!F->daemons.empty()) poll(nullptr, 0, 20);
  }
  for (pid_t pid : F->daemons) kill(pid, SIGTERM);
  F->Reap(true);
}

int PrivateInetd::Port() const { return F->port; }

// ---------------------------------------------------------------- account

ThrowawayUser::ThrowawayUser(const std::string& password, const std::string& shell,
                             const std::string& home)
    : FName("tvlogin" + std::to_string(getpid())) {
  if (geteuid() != 0) {
    FError = "making a login account needs root";
    return;
  }
  // One left behind by a run of the same process id that was killed.
  RunWithInput("userdel -f " + FName + " >/dev/null 2>&1", "");
  const std::string add = "useradd -M -d '" + home + "' -s '" + shell + "' " + FName +
                          " >/dev/null 2>&1";
  if (!RunWithInput(add, "")) {
    FError = "useradd " + FName + " failed";
    return;
  }
  FMade = true;
  if (!RunWithInput("chpasswd", FName + ":" + password + "\n")) FError = "chpasswd failed";
}

ThrowawayUser::~ThrowawayUser() {
  // -f: login's own processes may still be leaving when the test ends.
  if (FMade) RunWithInput("userdel -f " + FName + " >/dev/null 2>&1", "");
}

// ---------------------------------------------------------------- relay

struct LoginRelay::State {
  int targetPort = 0, listener = -1, port = 0;
  std::string watched;
  StopPipe stop;
  mutable std::mutex lock;
  std::vector<Session> sessions;
  std::thread thread;

  void Serve() {
    for (;;) {
      pollfd p[2] = {{listener, POLLIN, 0}, {stop.fds[0], POLLIN, 0}};
      poll(p, 2, -1);
      if (p[1].revents != 0) return;
      const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::size_t at;
      {
        std::lock_guard<std::mutex> g(lock);
        at = sessions.size();
        sessions.emplace_back();
        sessions[at].acceptedMs = NowMs();
      }
      const int server = ConnectLoopback(targetPort);
      if (server >= 0) {
        NoDelay(client);
        NoDelay(server);
        if (!Pass(client, server, at)) {
          close(client);
          close(server);
          return;
        }
        close(server);
      }
      close(client);
      std::lock_guard<std::mutex> g(lock);
      sessions[at].ended = true;
    }
  }

  // Moves bytes both ways until either side closes (true) or the owner
  // stops the relay (false).
  bool Pass(int client, int server, std::size_t at) {
    char buffer[4096];
    for (;;) {
      pollfd p[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop.fds[0], POLLIN, 0}};
      poll(p, 3, -1);
      if (p[2].revents != 0) return false;
      for (int side = 0; side < 2; ++side) {
        if (p[side].revents == 0) continue;
        const ssize_t n = recv(p[side].fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
        {
          std::lock_guard<std::mutex> g(lock);
          Session& s = sessions[at];
          if (side == 0) {
            s.fromClient.append(buffer, static_cast<std::size_t>(n));
            if (s.watchedMs < 0 && s.fromClient.find(watched) != std::string::npos)
              s.watchedMs = NowMs();
          } else {
            s.fromServer.append(buffer, static_cast<std::size_t>(n));
          }
        }
        if (!SendAll(p[1 - side].fd, std::string(buffer, static_cast<std::size_t>(n))))
          return true;
      }
    }
  }
};

LoginRelay::LoginRelay(int targetPort, std::string watched) : F(std::make_unique<State>()) {
  F->targetPort = targetPort;
  F->watched = std::move(watched);
  F->listener = ListenLoopback(&F->port);
  if (F->listener < 0) throw std::runtime_error("cannot listen on 127.0.0.1");
  F->thread = std::thread([this] { F->Serve(); });
}

LoginRelay::~LoginRelay() {
  F->stop.Raise();
  F->thread.join();
  close(F->listener);
}

int LoginRelay::Port() const { return F->port; }

int LoginRelay::Sessions() const {
  std::lock_guard<std::mutex> g(F->lock);
  return static_cast<int>(F->sessions.size());
}

LoginRelay::Session LoginRelay::Get(int i) const {
  std::lock_guard<std::mutex> g(F->lock);
  return F->sessions.at(static_cast<std::size_t>(i));
}

}  // namespace peer
