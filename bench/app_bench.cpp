// Figures of the tray program:
//   console_append        20 MB of router output in 2048-byte chunks with CR LF
//                         line ends through AppendToConsole, in MB/s;
//   console_append_ratio  that speed over the same bytes put into the pane in
//                         one call (goal: at least 0.25);
//   idle_wakeups          context switches per second of the logged-in program
//                         left alone for 10 s (goal: at most 1);
//   start_to_tray_ms, idle_rss_mb  of the running program.
#include <QApplication>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <string>

#include "app_bench_process.h"
#include "console.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string RouterDump(std::size_t bytes) {
  std::string dump;
  dump.reserve(bytes + 128);
  for (int n = 0; dump.size() < bytes; ++n)
    dump += "eth0: rx " + std::to_string(n * 1531) + " tx " + std::to_string(n * 977) +
            " packets; link up, 100Mb/s full duplex\r\n";
  dump.resize(bytes);
  return dump;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  constexpr std::size_t kBytes = 20u << 20;
  const std::string dump = RouterDump(kBytes);
  const double mb = static_cast<double>(kBytes) / (1 << 20);

  double ours;
  {
    QPlainTextEdit memo;
    memo.resize(607, 292);
    memo.show();
    const auto start = Clock::now();
    for (std::size_t at = 0; at < dump.size(); at += 2048)
      AppendToConsole(&memo, dump.substr(at, 2048));
    FlushConsole(&memo);
    QCoreApplication::processEvents();
    ours = mb / Seconds(start);
  }
  double baseline;
  {
    QPlainTextEdit memo;
    memo.resize(607, 292);
    memo.setUndoRedoEnabled(false);  // as the console is
    memo.show();
    const auto start = Clock::now();
    memo.insertPlainText(QString::fromLatin1(dump.data(), static_cast<qsizetype>(dump.size())));
    QCoreApplication::processEvents();
    baseline = mb / Seconds(start);
  }
  std::printf("console_append: %.1f MB/s\n", ours);
  std::printf("console_append_baseline: %.1f MB/s\n", baseline);
  std::printf("console_append_ratio: %.2f\n", ours / baseline);
  std::fflush(stdout);

  const ProgramFigures figures = MeasureProgram(10);
  std::printf("start_to_tray_ms: %.0f ms\n", figures.startToTrayMs);
  std::printf("idle_wakeups: %.2f switches/s\n", figures.idleSwitchesPerS);
  std::printf("idle_rss_mb: %.1f MB\n", figures.idleRssMb);
  return figures.idleSwitchesPerS < 0 ? 1 : 0;
}
