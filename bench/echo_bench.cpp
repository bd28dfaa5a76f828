// echo_server: a TWSocket echo server (Listen, Accept into Dup'ed sockets,
// Receive and Send from OnDataAvailable) against a raw epoll echo server,
// both driven by the same load generator (this program in another process) doing 64-byte ping-pong on
// 100 and on 1000 loopback connections.  Prints round trips per second,
// the time per round trip, and the ratio of ours to the baseline.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "echo_load.h"
#include "wsocket.h"

namespace {

// Five rounds of 0.6 s per server and size: about three seconds each.
constexpr double kSeconds = 0.6;
constexpr int kRounds = 5;

// The report pipe turns readable, then hangs up when the generator exits:
// only the first of these may post the quit message, or a stray WM_QUIT
// would end the next round's loop before it started.
void QuitLoop(void* Context, int, std::uint32_t) {
  bool& Posted = *static_cast<bool*>(Context);
  if (!Posted) PostQuitMessage(0);
  Posted = true;
}

// The server under test: everything it does goes through the component.
class TEchoServer {
 public:
  TEchoServer() : Listener(nullptr) {
    Listener.SetProto("tcp");
    Listener.SetAddr("127.0.0.1");
    Listener.SetPort("0");
    Listener.OnSessionAvailable = [this](TObject*, WORD Error) {
      if (Error == 0) AcceptOne();
    };
    Listener.Listen();
    PortNum = std::stoi(Listener.GetBoundPort());
  }

  int Port() const { return PortNum; }

  void Serve(int DoneFd) {
    bool Posted = false;
    tervane::WatchFd(DoneFd, QuitLoop, &Posted);
    tervane::RunMessageLoop();
    tervane::UnwatchFd(DoneFd);
  }

 private:
  void AcceptOne() {
    const SOCKET Handle = Listener.Accept();
    if (Handle == INVALID_SOCKET) return;
    auto Client = std::make_unique<TWSocket>(nullptr);
    TWSocket* Raw = Client.get();
    Raw->OnDataAvailable = [Raw](TObject*, WORD) {
      char Buf[4096];
      const int N = Raw->Receive(Buf, sizeof(Buf));
      if (N > 0) Raw->Send(Buf, N);
    };
    Raw->Dup(Handle);
    Clients.push_back(std::move(Client));
  }

  TWSocket Listener;
  int PortNum = 0;
  std::vector<std::unique_ptr<TWSocket>> Clients;
};

echo_load::Result RunRaw(int Connections) {
  int Port = 0;
  const int Fd = echo_load::RawListen(Port);
  if (Fd < 0) return {};
  const auto R = echo_load::Run(Port, Connections, kSeconds,
                                [Fd](int DoneFd) { echo_load::RawServe(Fd, DoneFd); });
  echo_load::CloseFd(Fd);
  return R;
}

echo_load::Result RunOurs(int Connections) {
  TEchoServer Server;
  return echo_load::Run(Server.Port(), Connections, kSeconds,
                        [&Server](int DoneFd) { Server.Serve(DoneFd); });
}

double PerSecond(const echo_load::Result& R) {
  return R.Seconds > 0 ? static_cast<double>(R.RoundTrips) / R.Seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int LoadExit = echo_load::LoadMain(argc, argv); LoadExit >= 0) return LoadExit;
  echo_load::RaiseFdLimit(8192);
  int Status = 0;
  double UsPerRt[2][2] = {};
  const int Sizes[2] = {100, 1000};
  for (int S = 0; S < 2; ++S) {
    const int N = Sizes[S];
    // Rounds alternate between the two servers so that load from elsewhere
    // on the machine hits both alike; each server's best round counts.
    double RawRate = 0;
    double OurRate = 0;
    double RawCpu = 0, OurCpu = 0;  // server CPU time, summed over rounds
    long RawTrips = 0, OurTrips = 0;
    for (int Round = 0; Round < kRounds; ++Round) {
      const auto Raw = RunRaw(N);
      const auto Ours = RunOurs(N);
      if (!Raw.Ok || !Ours.Ok) {
        std::fprintf(stderr, "echo_server: load run with %d connections failed (%s)\n", N,
                     Raw.Ok ? "ours" : "raw");
        Status = 1;
        continue;
      }
      RawRate = std::max(RawRate, PerSecond(Raw));
      OurRate = std::max(OurRate, PerSecond(Ours));
      RawCpu += Raw.ServerCpuSeconds;
      OurCpu += Ours.ServerCpuSeconds;
      RawTrips += Raw.RoundTrips;
      OurTrips += Ours.RoundTrips;
    }
    if (RawRate <= 0 || OurRate <= 0) continue;
    UsPerRt[S][0] = 1e6 / RawRate;
    UsPerRt[S][1] = 1e6 / OurRate;
    std::printf("echo_server_raw_%d: %.0f round_trips/s\n", N, RawRate);
    std::printf("echo_server_%d: %.0f round_trips/s\n", N, OurRate);
    std::printf("echo_server_raw_us_per_rt_%d: %.2f us\n", N, UsPerRt[S][0]);
    std::printf("echo_server_us_per_rt_%d: %.2f us\n", N, UsPerRt[S][1]);
    // Server CPU per round trip: steadier than wall time on a busy machine.
    if (RawTrips > 0 && OurTrips > 0) {
      std::printf("echo_server_raw_cpu_us_per_rt_%d: %.2f us\n", N, 1e6 * RawCpu / RawTrips);
      std::printf("echo_server_cpu_us_per_rt_%d: %.2f us\n", N, 1e6 * OurCpu / OurTrips);
    }
    std::printf("echo_server_ratio_%d: %.3f\n", N, OurRate / RawRate);
    std::fflush(stdout);
  }
  // How the cost of one round trip grows when the connections grow tenfold.
  if (UsPerRt[0][1] > 0 && UsPerRt[1][1] > 0) {
    std::printf("echo_server_raw_cost_growth_1000_over_100: %.3f\n", UsPerRt[1][0] / UsPerRt[0][0]);
    std::printf("echo_server_cost_growth_1000_over_100: %.3f\n", UsPerRt[1][1] / UsPerRt[0][1]);
  }
  UnloadSocketLibrary();
  return Status;
}
