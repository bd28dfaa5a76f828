// The POSIX half of the line-mode benchmark: a forked sender of 60-byte
// CR LF lines and the raw baseline that receives and splits them.  Kept
// apart from line_bench.cpp, whose socket-layer header lifts WinSock names
// into the global namespace where the C library has its own.
#pragma once

namespace line_load {

// Every line the sender writes: 58 visible bytes and CR LF.
constexpr int kLineLength = 60;

// Starts a child process that accepts one connection on a fresh listener
// on 127.0.0.1, writes `Bytes` bytes of lines to it (a multiple of
// kLineLength) and closes it.  Returns the port, or -1.  `Pid` is the child.
int StartSender(long long Bytes, int& Pid);
// Waits for the sender; true when it sent everything.
bool ReapSender(int Pid);

struct RawResult {
  long long Lines = 0;
  long long Bytes = 0;
  double Seconds = 0;
};

// The baseline: connects to the sender and, until end of stream, does one
// 2048-byte recv per epoll readiness and splits lines with memchr (a line
// cut by a read is completed from the next).
RawResult RunRaw(int Port);

// Monotonic seconds.
double Now();

}  // namespace line_load
