// Starting the router simulator from another program (the tray program's
// tests and benchmark): it binds 127.0.0.1 on a port of the system's choice
// and prints "PORT n" as its first line.  POSIX only, header only.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace router_sim {

struct Process {
  pid_t pid = -1;
  int port = 0;  // 0 when it did not start
};

// Runs `exe --port 0 <args...>` and waits for the port it announces.
inline Process Start(const std::string& exe, const std::vector<std::string>& args) {
  Process p;
  std::vector<char*> argv{const_cast<char*>(exe.c_str()), const_cast<char*>("--port"),
                          const_cast<char*>("0")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return p;
  p.pid = fork();
  if (p.pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  if (line.rfind("PORT ", 0) == 0) p.port = std::atoi(line.c_str() + 5);
  return p;
}

inline void Stop(Process& p) {
  if (p.pid <= 0) return;
  kill(p.pid, SIGTERM);
  waitpid(p.pid, nullptr, 0);
  p.pid = -1;
}

// The data bytes of what the simulator received, as its log holds them:
// the client's telnet commands (options, subnegotiations) removed.
inline std::string StripTelnet(const std::string& in) {
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    if (c != 255) {
      out.push_back(in[i]);
      continue;
    }
    if (i + 1 >= in.size()) break;
    const auto verb = static_cast<unsigned char>(in[i + 1]);
    if (verb >= 251 && verb <= 254) {
      i += 2;
    } else if (verb == 250) {
      const std::size_t se = in.find("\xff\xf0", i + 2);
      i = se == std::string::npos ? in.size() : se + 1;
    } else {
      i += 1;
    }
  }
  return out;
}

}  // namespace router_sim
