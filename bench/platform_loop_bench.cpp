// platform_loop: the cost of the message loop against plain in-memory
// queues doing the same work in the same run.
//   burst:  post 64 messages to a window, then dispatch them (the shape of
//           socket notifications); baseline: std::deque push/pop + call.
//   single: post one, dispatch it (one eventfd wake-up per message).
//   thread: another thread posts, this one waits in GetMessage; baseline:
//           a mutex + condition-variable queue.
// Prints messages per second and "name_ratio: ours/baseline" (throughput
// ratio, higher is better).  The thread case is also the wake-up check:
// a post whose wake-up went missing leaves it waiting for ever.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include <tervane/platform.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMessages = 2000000;
constexpr int kThreadMessages = 500000;
long long gSum = 0;

LRESULT CALLBACK CountProc(HWND, UINT, WPARAM wp, LPARAM) {
  gSum += static_cast<long long>(wp);
  return 0;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Baseline(int batch) {
  std::deque<MSG> q;
  const auto t0 = Clock::now();
  for (int i = 0; i < kMessages; i += batch) {
    for (int k = 0; k < batch; ++k) {
      MSG m{};
      m.message = WM_USER;
      m.wParam = static_cast<WPARAM>(k);
      q.push_back(m);
    }
    while (!q.empty()) {
      const MSG m = q.front();
      q.pop_front();
      CountProc(m.hwnd, m.message, m.wParam, m.lParam);
    }
  }
  return Seconds(t0);
}

double Ours(HWND w, int batch) {
  const auto t0 = Clock::now();
  for (int i = 0; i < kMessages; i += batch) {
    for (int k = 0; k < batch; ++k) PostMessageA(w, WM_USER, static_cast<WPARAM>(k), 0);
    tervane::DispatchPending();
  }
  return Seconds(t0);
}

double BaselineThread() {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<int> q;
  const auto t0 = Clock::now();
  std::thread producer([&] {
    for (int i = 0; i < kThreadMessages; ++i) {
      std::lock_guard<std::mutex> lock(mu);
      q.push_back(i);
      if (q.size() == 1) cv.notify_one();
    }
  });
  for (int got = 0; got < kThreadMessages;) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return !q.empty(); });
    while (!q.empty()) {
      gSum += q.front();
      q.pop_front();
      ++got;
    }
  }
  producer.join();
  return Seconds(t0);
}

double OursThread(HWND w) {
  const auto t0 = Clock::now();
  std::thread producer([w] {
    for (int i = 0; i < kThreadMessages; ++i) PostMessageA(w, WM_USER, 1, 0);
  });
  MSG m{};
  for (int got = 0; got < kThreadMessages; ++got) {
    GetMessageA(&m, nullptr, 0, 0);
    DispatchMessageA(&m);
  }
  producer.join();
  return Seconds(t0);
}

void Report(const char* name, double ours, double base, int count) {
  std::printf("%s_ours: %.0f msg/s\n", name, count / ours);
  std::printf("%s_baseline: %.0f msg/s\n", name, count / base);
  std::printf("%s_ratio: %.2f\n", name, base / ours);  // throughput, ours over baseline
}

}  // namespace

int main() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = CountProc;
  cls.cbWndExtra = sizeof(LONG_PTR);
  cls.lpszClassName = "TvLoopBench";
  RegisterClassA(&cls);
  HWND w = CreateWindowExA(0, "TvLoopBench", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
  Ours(w, 64);  // warm-up
  Report("burst", Ours(w, 64), Baseline(64), kMessages);
  Report("single", Ours(w, 1), Baseline(1), kMessages);
  Report("thread", OursThread(w), BaselineThread(), kThreadMessages);
  DestroyWindow(w);
  return gSum == 42 ? 1 : 0;  // keeps the work observable
}
