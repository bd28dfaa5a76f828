// The POSIX half of the socket benchmark: forked peers (a sender and a
// sink) and the raw baselines that receive and send with plain epoll.
// Kept apart from socket_bench.cpp, whose socket-layer header lifts WinSock
// names into the global namespace where the C library has its own.
#pragma once

namespace socket_load {

// A child process that accepts one connection on a fresh listener on
// 127.0.0.1 and writes `Bytes` bytes to it, then closes.  Returns the
// port, or -1; `Pid` is the child.
int StartSender(long long Bytes, int& Pid);
// A child that accepts one connection and reads until `Bytes` came or the
// stream ends.  Returns the port, or -1.
int StartSink(long long Bytes, int& Pid);
// Waits for a child; true when it did its whole job.
bool Reap(int Pid);

// Baseline receive: one 2048-byte recv per epoll readiness until end of
// stream.  Returns the bytes received.
long long RawReceive(int Port);
// Baseline send: `Bytes` in 1460-byte send calls on a non-blocking socket,
// waiting with epoll when the kernel refuses.  Returns the bytes sent.
long long RawSend(int Port, long long Bytes);

// Waits up to `Ms` for `Fd` to become readable.
void WaitReadable(int Fd, int Ms);
// Monotonic seconds.
double Now();

}  // namespace socket_load
