// The login benchmark's minimal scripted client (scripted_login.h).
#include "scripted_login.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/host_peer.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool ScriptedLogin(int port, const std::string& user, const std::string& password) {
  const int fd = peer::ConnectLoopback(port);
  if (fd < 0) return false;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::string data, pending;
  bool done = false;
  unsigned char buffer[2048];
  while (!done && peer::WaitReadable(fd, 10000)) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    std::string answers;
    for (ssize_t i = 0; i < n; ++i) pending.push_back(static_cast<char>(buffer[i]));
    std::size_t i = 0;
    for (; i < pending.size(); ++i) {
      const auto c = static_cast<unsigned char>(pending[i]);
      if (c != 255) {
        data.push_back(pending[i]);
        continue;
      }
      if (i + 1 >= pending.size()) break;  // the rest comes with the next read
      const auto verb = static_cast<unsigned char>(pending[i + 1]);
      if (verb < 250 || verb == 255) {  // a two-byte command; IAC IAC is a data byte
        if (verb == 255) data.push_back(pending[i]);
        i += 1;
        continue;
      }
      if (i + 2 >= pending.size()) break;
      const auto opt = static_cast<unsigned char>(pending[i + 2]);
      if (verb == 250) {
        const std::size_t se = pending.find("\xff\xf0", i);
        if (se == std::string::npos) break;
        if (opt == 24) answers += std::string("\xff\xfa\x18\x00VT100\xff\xf0", 11);
        i = se + 1;
        continue;
      }
      const bool listed = opt == 0 || opt == 1 || opt == 3 || opt == 23 || opt == 24 || opt == 25;
      auto answer = [&](unsigned char v) {
        answers += {'\xff', static_cast<char>(v), static_cast<char>(opt)};
      };
      if (verb == 251) {
        if (opt == 0 || opt == 1 || opt == 3) answer(253);
        else if (!listed) answer(254);
      } else if (verb == 253) {
        if (opt == 23 || opt == 24 || opt == 25) answer(251);
        if (opt == 23) answers += std::string("\xff\xfa\x17TNCNX\xff\xf0", 10);
        if (!listed) answer(252);
      } else if (!listed) {
        answer(252);
      }
      i += 2;
    }
    pending.erase(0, i);
    if (EndsWith(data, "login: ")) {
      answers += user + "\r";
      data.clear();
    } else if (EndsWith(data, "Password: ")) {
      answers += password + "\r";
      done = true;
    }
    if (!answers.empty()) peer::SendAll(fd, answers);
  }
  close(fd);
  return done;
}

