// The far end of the module's connections in the tests, written directly
// against the host's sockets (in its own translation unit: the host's socket
// headers and <tervane/win32.h> do not mix).  Every wait has a limit, so a
// missing event fails the test instead of hanging it.
#pragma once

#include <string>

#include "common/host_peer.h"

namespace peer {

// Accept one connection, waiting up to two seconds; -1 if none.
int Accept(int listener);
// Read until `count` bytes arrived or the peer closed (two seconds at most).
std::string ReadExactly(int fd, std::size_t count);
// Read until EOF or error (two seconds at most); `reset` tells whether the
// connection ended with a reset.
std::string ReadToEnd(int fd, bool* reset);
// Close with linger 0: the other side sees a reset.
void Reset(int fd);
void ShutdownWrite(int fd);
void Close(int fd);
// A UDP socket bound to 127.0.0.1:0.
int Udp(int* port);
bool SendTo(int fd, int port, const std::string& data);
std::string RecvFrom(int fd, int* fromPort);

}  // namespace peer
