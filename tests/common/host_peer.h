// What every layer's test peers need from the host itself: waiting on a
// descriptor, loopback ports, a monotonic clock and scratch files.
// Declared without any system header, so that test files can include it
// next to the Win32 names of the layer under test.
#pragma once

#include <string>

namespace peer {

// Milliseconds on a monotonic clock, for watchdogs and deadlines.
long long NowMs();
// Waits until `fd` is readable; false after `limitMs` (-1 waits for ever,
// 0 only looks).
bool WaitReadable(int fd, int limitMs);

// A loopback port that nothing uses right now (bound, then released), for
// a server the test is about to start.
int FreePort();
// A loopback port that stays bound and never listens: connections to it
// are refused, and no other test can start listening on it meanwhile.
int RefusingPort();
// A TCP socket listening on 127.0.0.1, port of the system's choice (given
// back through `port`); -1 on failure.
int ListenLoopback(int* port, int backlog = 16);
// A blocking TCP connection to 127.0.0.1:port; -1 on failure.
int ConnectLoopback(int port);
// True once something accepts connections on 127.0.0.1:port; false after
// `limitMs`.
bool WaitListening(int port, int limitMs);

// Writes everything of `data`; false on error.
bool SendAll(int fd, const std::string& data);

// A peer of its own on a thread: accepts one connection on `listener`
// (-1 once `limitMs` passed), and closes descriptors, without the host's
// socket headers.
int AcceptWithin(int listener, int limitMs);
void CloseFd(int fd);
// Ends both directions of a connection: a send or receive blocked on it
// in another thread returns.
void ShutdownFd(int fd);

// True when the test runs under Wine rather than on Windows (never on
// Linux): a few WinSock calls behave otherwise there, and the tests that
// meet them say how when they skip.
bool RunningUnderWine();

// A fresh folder under /tmp, for configuration files, logs and scripts.
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& text, bool executable = false);
void RemoveTree(const std::string& path);
bool FileIsExecutable(const std::string& path);

}  // namespace peer
