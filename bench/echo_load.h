// The POSIX half of the echo benchmark: the load generator and the raw
// epoll echo server used as the baseline.  Kept apart from echo_bench.cpp
// because the socket layer's header lifts WinSock names (timeval, u_long)
// into the global namespace, where the C library has its own.
#pragma once

#include <functional>

namespace echo_load {

struct Result {
  long RoundTrips = 0;
  double Seconds = 0;
  double ServerCpuSeconds = 0;  // user + system time of this process in Serve
  bool Ok = false;
};

// The generator runs as this same program started again with "--load"
// (a fresh address space: no copy-on-write pages shared with the server).
// Returns the exit code in that mode, -1 otherwise.
int LoadMain(int Argc, char** Argv);

// Lift the descriptor limit so that 1000 connections on both ends fit.
void RaiseFdLimit(long Wanted);

// Starts a load generator that opens `Connections` connections to
// 127.0.0.1:`Port` (one at a time, each confirmed by one echo, so a short
// listen backlog never drops a handshake), then runs 64-byte ping-pong on
// all of them for `Seconds`.  `Serve(DoneFd)` runs the server in this
// process and must return once DoneFd turns readable (the generator's
// report is ready); the report is then read and the child reaped.
Result Run(int Port, int Connections, double Seconds,
           const std::function<void(int DoneFd)>& Serve);

// The baseline: a listening socket on 127.0.0.1 with an ephemeral port.
int RawListen(int& Port);
// Edge-triggered epoll echo server on `ListenFd` until DoneFd is readable;
// closes every descriptor it accepted (not ListenFd).
void RawServe(int ListenFd, int DoneFd);
void CloseFd(int Fd);

}  // namespace echo_load
