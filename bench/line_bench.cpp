// line_mode: 256 MiB of 60-byte CR LF lines over loopback, received through
// line mode (ReceiveStr in OnDataAvailable, one event per line) against a
// raw epoll loop doing one 2048-byte recv per readiness and splitting the
// same bytes with memchr.  Prints lines per second for both and the ratio
// of ours to the baseline (goal: at least 0.5).
#include <algorithm>
#include <cstdio>
#include <string>

#include <tervane/platform.h>

#include "line_load.h"
#include "wsocket.h"

namespace {

// 256 MiB, rounded down to whole lines.
constexpr long long kLines = (256LL << 20) / line_load::kLineLength;
constexpr long long kBytes = kLines * line_load::kLineLength;
constexpr int kRounds = 3;

struct OurResult {
  long long Lines = 0;
  long long Bytes = 0;
  bool Whole = true;  // every line came out 60 bytes long, CR LF last
  double Seconds = 0;
};

OurResult RunOurs(int Port) {
  OurResult R;
  TWSocket Sock(nullptr);
  Sock.SetLineMode(true);
  Sock.OnDataAvailable = [&](TObject*, WORD) {
    const std::string Line = Sock.ReceiveStr();
    ++R.Lines;
    R.Bytes += static_cast<long long>(Line.size());
    if (Line.size() != static_cast<size_t>(line_load::kLineLength) || Line.back() != '\n')
      R.Whole = false;
  };
  Sock.OnSessionClosed = [](TObject*, WORD) { PostQuitMessage(0); };
  Sock.SetAddr("127.0.0.1");
  Sock.SetPort(std::to_string(Port));
  const double Start = line_load::Now();
  Sock.Connect();
  tervane::RunMessageLoop();
  R.Seconds = line_load::Now() - Start;
  return R;
}

}  // namespace

int main() {
  double RawRate = 0;
  double OurRate = 0;
  int Status = 0;
  // Rounds alternate so that load from elsewhere hits both alike; each
  // side's best round counts.
  for (int Round = 0; Round < kRounds; ++Round) {
    int Pid = 0;
    int Port = line_load::StartSender(kBytes, Pid);
    if (Port < 0) return 1;
    const auto Raw = line_load::RunRaw(Port);
    if (!line_load::ReapSender(Pid) || Raw.Lines != kLines || Raw.Bytes != kBytes) {
      std::fprintf(stderr, "line_mode: raw run incomplete (%lld lines)\n", Raw.Lines);
      Status = 1;
      continue;
    }
    Port = line_load::StartSender(kBytes, Pid);
    if (Port < 0) return 1;
    const auto Ours = RunOurs(Port);
    if (!line_load::ReapSender(Pid) || Ours.Lines != kLines || Ours.Bytes != kBytes ||
        !Ours.Whole) {
      std::fprintf(stderr, "line_mode: run incomplete (%lld lines, %s)\n", Ours.Lines,
                   Ours.Whole ? "whole" : "broken lines");
      Status = 1;
      continue;
    }
    RawRate = std::max(RawRate, static_cast<double>(Raw.Lines) / Raw.Seconds);
    OurRate = std::max(OurRate, static_cast<double>(Ours.Lines) / Ours.Seconds);
  }
  if (RawRate <= 0 || OurRate <= 0) return 1;
  std::printf("line_mode_raw: %.0f lines/s\n", RawRate);
  std::printf("line_mode: %.0f lines/s\n", OurRate);
  std::printf("line_mode_ratio: %.3f\n", OurRate / RawRate);
  return Status;
}
