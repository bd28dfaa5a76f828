// tervane_router_sim: a telnet server on 127.0.0.1 that behaves like the
// router's shell as far as the tray program needs: option negotiation, a
// banner, "router login: ", after a pause "Password: ", then a shell that
// answers "control ..." and remembers the access state it was told.
//
//   tervane_router_sim [--port N] [--user NAME] [--password TEXT] [--log FILE]
//                      [--echo-login]
//
// --port 0 (the default) picks a free port; the port in use is printed as
// "PORT <n>" on stdout in every case.  --log appends every byte received,
// unchanged, to FILE, flushed after each read.  --echo-login sends the
// echo of the user name's line end and "Password: " in one write, with no
// pause, as many real telnet servers do.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "session.h"

namespace {

struct Client {
  int fd;
  std::unique_ptr<routersim::Session> session;
  std::string pending;  // output not yet accepted by the socket
};

void Usage() {
  std::fprintf(stderr,
               "usage: tervane_router_sim [--port N] [--user NAME] [--password TEXT] "
               "[--log FILE] [--echo-login]\n");
  std::exit(2);
}

// Sends what the socket takes now; the rest waits for POLLOUT.
bool Flush(Client& c) {
  while (!c.pending.empty()) {
    ssize_t n = ::send(c.fd, c.pending.data(), c.pending.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    c.pending.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  std::string user = "User";
  std::string password = "Lanterns";
  std::string logName;
  bool echoLogin = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--echo-login") {
      echoLogin = true;
      continue;
    }
    if (i + 1 >= argc) Usage();
    if (arg == "--port") {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || port < 0 || port > 65535) Usage();
    } else if (arg == "--user") {
      user = argv[++i];
    } else if (arg == "--password") {
      password = argv[++i];
    } else if (arg == "--log") {
      logName = argv[++i];
    } else {
      Usage();
    }
  }

  std::FILE* log = nullptr;
  if (!logName.empty()) {
    log = std::fopen(logName.c_str(), "ab");
    if (!log) {
      std::perror(logName.c_str());
      return 1;
    }
  }

  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, always
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 8) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::printf("PORT %u\n", static_cast<unsigned>(ntohs(addr.sin_port)));
  std::fflush(stdout);

  routersim::AccessState state;
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({listener, POLLIN, 0});
    int timeout = -1;
    const auto now = routersim::Clock::now();
    for (Client& c : clients) {
      fds.push_back({c.fd, static_cast<short>(POLLIN | (c.pending.empty() ? 0 : POLLOUT)), 0});
      if (auto d = c.session->Deadline()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*d - now).count() + 1;
        if (ms < 0) ms = 0;
        if (timeout < 0 || ms < timeout) timeout = static_cast<int>(ms);
      }
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      std::perror("poll");
      return 1;
    }

    if (fds[0].revents & POLLIN) {
      int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0) {
        Client c{fd, std::make_unique<routersim::Session>(user, password, state, echoLogin), {}};
        c.session->Start();
        clients.push_back(std::move(c));
        fds.push_back({fd, 0, 0});
      }
    }

    for (std::size_t i = 0; i < clients.size(); ++i) {
      Client& c = clients[i];
      bool alive = true;
      if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
          if (log) {
            std::fwrite(buf, 1, static_cast<std::size_t>(n), log);
            std::fflush(log);
          }
          c.session->Feed(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          alive = false;
        }
      }
      c.session->Tick(routersim::Clock::now());
      c.pending += c.session->TakeOutput();
      if (alive) alive = Flush(c);
      if (alive && c.session->WantsClose() && c.pending.empty()) alive = false;
      if (!alive) {
        ::close(c.fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i + 1));
        --i;
      }
    }
  }
}
