// Figures of the tray program under a peer that sends as fast as it can:
//   flood_stall_ms          the longest gap of a 5 ms timer of the GUI thread
//                           during 10 s of IAC NOP (goal: under 100);
//   console_bytes_per_byte  peak RSS growth over the bytes received for a
//                           50 MiB dump of 78-byte lines with the console
//                           shown (goal: under 4).
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "common/host_peer.h"
#include "loop_bridge.h"
#include "message_boxes.h"
#include "tervane_client_form.h"
#include "tncnx.h"

namespace {

class QuietBoxes : public TMessageBoxes {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowError(const std::string&) override {}
};

long StatusKb(const std::string& name) {
  std::ifstream in("/proc/self/status");
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string status = ss.str();
  const std::size_t at = status.find(name + ":");
  return at == std::string::npos ? -1 : std::stol(status.substr(at + name.size() + 1));
}

// Runs one session of the program against `script` on a loopback peer;
// returns the longest GUI stall in ms.
long long Session(const std::string& dir, bool showConsole, const std::function<void(int)>& script) {
  int port = 0;
  const int listener = peer::ListenLoopback(&port);
  std::thread server([&] {
    const int fd = peer::AcceptWithin(listener, 10000);
    if (fd < 0) return;
    script(fd);
    peer::CloseFd(fd);
  });
  peer::WriteFile(dir + "/Tervane.ini", "[Settings]\nHostName=127.0.0.1\nTelnetPort=" +
                                            std::to_string(port) + "\nAutoConnect=1\n");
  auto form = std::make_unique<TTervaneClientForm>(dir + "/TervaneWinC");
  if (showConsole) {
    form->show();
    form->ShowCheckBox->setChecked(true);
  }
  bool closed = false;
  auto formHandler = form->TnCnx()->OnSessionClosed;
  form->TnCnx()->OnSessionClosed = [&](TTnCnx* s, WORD e) {
    formHandler(s, e);
    closed = true;
  };
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (now - last > longest) longest = now - last;
    last = now;
  });
  tick.start();
  while (!closed && clock.elapsed() < 300000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  // A stall that lasted to the end counts too.
  if (clock.elapsed() - last > longest) longest = clock.elapsed() - last;
  server.join();
  peer::CloseFd(listener);
  return longest;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  new TLoopBridge(&app);
  QuietBoxes boxes;
  InstallMessageBoxes(&boxes);
  const std::string dir = peer::MakeTempDir();

  const long long stall = Session(dir, false, [](int fd) {
    std::string nops;
    for (int i = 0; i < 32 * 1024; ++i) nops += "\xff\xf1";
    const long long end = peer::NowMs() + 10000;
    while (peer::NowMs() < end)
      if (!peer::SendAll(fd, nops)) return;
  });
  std::printf("flood_stall_ms: %lld ms\n", stall);

  constexpr std::size_t kDump = 50u << 20;
  const long before = StatusKb("VmRSS");
  {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";  // the peak starts again from here
  }
  Session(dir, true, [&](int fd) {
    std::string block;
    for (int n = 0; block.size() < (1u << 20); ++n) {
      std::string line = "eth0: rx " + std::to_string(n * 1531) + " packets; link up, 100Mb/s full duplex";
      line.resize(76, '.');
      block += line + "\r\n";
    }
    for (std::size_t sent = 0; sent < kDump; sent += block.size())
      if (!peer::SendAll(fd, block)) return;
  });
  const long peak = StatusKb("VmHWM");
  std::printf("console_bytes_per_byte: %.2f\n",
              static_cast<double>(peak - before) * 1024.0 / static_cast<double>(kDump));
  InstallMessageBoxes(nullptr);
  peer::RemoveTree(dir);
  return 0;
}
