// Small system services: tick count, sleep, last-error value, debug output
// and the application's process-pending-messages hook.
#include <sched.h>
#include <time.h>

#include <atomic>
#include <mutex>

#include <tervane/platform.h>

#include "loop_internal.h"

namespace {
thread_local DWORD tlsLastError = 0;

std::mutex& SinkMutex() {
  static auto* m = new std::mutex;
  return *m;
}
tervane::DebugSink& Sink() {
  static auto* s = new tervane::DebugSink;
  return *s;
}

std::atomic<tervane::ProcessMessagesHook> processHook{nullptr};
}  // namespace

DWORD WINAPI GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // wraps after 49.7 days, as on Windows
}

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();  // give up the rest of the time slice
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000),
              static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void WINAPI OutputDebugStringA(LPCSTR text) {
  tervane::DebugSink sink;
  {
    std::lock_guard<std::mutex> lock(SinkMutex());
    if (!Sink()) return;
    sink = Sink();  // called unlocked: a sink may itself write debug output
  }
  sink(text ? text : "");
}

DWORD WINAPI GetLastError() { return tlsLastError; }
void WINAPI SetLastError(DWORD code) { tlsLastError = code; }

namespace tervane {

void SetDebugSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

bool ApplicationProcessMessages() {
  if (ProcessMessagesHook hook = processHook.load()) return hook();
  return DispatchPendingNested();
}

ProcessMessagesHook SetProcessMessagesHook(ProcessMessagesHook hook) {
  return processHook.exchange(hook);
}

}  // namespace tervane

bool tervane::detail::ForeignToolkit() { return processHook.load() != nullptr; }
