// line_unended: a peer that sends a line without ever ending it (no line
// limit set).  The line machinery is fed in 64 KiB arrivals, as loopback
// delivers them, for 16, 32 and 64 MiB; each arrival must cost what it
// brings, not what is already buffered.  Prints the seconds per size and
// the growth ratio t(64 MiB) / (4 t(16 MiB)): about 1 when the cost is
// linear in the size, about 4 when it is quadratic.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "line_discipline.h"

namespace {

constexpr int kArrival = 64 << 10;

class UnendedPeer final : public TLineHost {
 public:
  explicit UnendedPeer(long long Bytes) : Left(Bytes) {}
  int LineWaiting() override { return static_cast<int>(std::min<long long>(Left, kArrival)); }
  int LineRead(char* Buffer, int Size) override {
    const int N = static_cast<int>(std::min<long long>(Left, Size));
    std::memset(Buffer, 'x', static_cast<size_t>(N));
    Left -= N;
    return N;
  }
  void LineEchoBytes(const char*, int) override {}
  void LineLimitExceeded(int, bool&) override {}
  bool LineDeliver() override { return true; }
  long long Left;
};

double SecondsFor(long long Bytes) {
  bool Mode = true;
  std::string End = "\r\n";
  int Limit = 0;
  bool Echo = false;
  bool Edit = false;
  UnendedPeer Peer(Bytes);
  TLineDiscipline Line(Peer, TLineSettings{Mode, End, Limit, Echo, Edit});
  const auto Start = std::chrono::steady_clock::now();
  while (Peer.Left > 0) Line.Arrive();
  const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
  if (Line.Buffered() != Bytes) std::fprintf(stderr, "line_unended: bytes lost\n");
  return Took.count();
}

}  // namespace

int main() {
  double Small = 0;
  double Large = 0;
  for (int MiB : {16, 32, 64}) {
    // Best of three: load from elsewhere only ever adds time.
    double Best = 1e30;
    for (int Round = 0; Round < 3; ++Round)
      Best = std::min(Best, SecondsFor(static_cast<long long>(MiB) << 20));
    std::printf("line_unended_%dMiB: %.3f s\n", MiB, Best);
    if (MiB == 16) Small = Best;
    if (MiB == 64) Large = Best;
  }
  if (Small <= 0) return 1;
  std::printf("line_unended_growth_ratio: %.2f\n", Large / (4 * Small));
  return 0;
}
