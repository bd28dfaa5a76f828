// Test controls of the WinSock module.
//
// Two groups, both C functions exported under the module's decorated names
// (symbol "tvexport_" + name), so a test reaches them exactly like the
// WinSock entry points:
//
//     HMODULE m = LoadLibraryA("wsock32.dll");   // after tervane::SetModulePath
//     auto set = reinterpret_cast<TvHostsSetFn>(GetProcAddress(m, "TvHostsSet"));
//
// or with dlsym(handle, "tvexport_TvHostsSet").
//
// 1. Hosts seam, in the test builds only: bin/libwsock32_test.so (the plain
//    module with the seam; load it with tervane::SetModulePath("wsock32.dll",
//    ExecutableDir() + "libwsock32_test.so")) and the fault build.  The
//    shipped bin/libwsock32.so exports WinSock's names only.  Names installed
//    here are answered by gethostbyname and WSAAsyncGetHostByName before the
//    system resolver, with their addresses in the given order; an address
//    look-up (WSAAsyncGetHostByAddr) of one of those addresses answers the
//    name.  Names under ".invalid" are always "host not found" (11001)
//    without asking any name server.
//      void TvHostsSet(const char* name, const char* addrs);
//          addrs: "10.0.0.1,10.0.0.2,10.0.0.3"; "" or nullptr: the name does
//          not exist (11001).
//      void TvHostsClear(void);
//
// 2. Faults, only in the fault-injecting build bin/libwsock32_fault.so
//    (load it with tervane::SetModulePath("wsock32.dll", ExecutableDir() +
//    "libwsock32_fault.so")).  All settings are process-wide and stay until
//    WsFaultReset; the module otherwise behaves like the plain one.
//      void WsFaultReset(void);
//          Clear every setting, the call counts and the recorded target.
//      void WsFaultStartupError(int code);
//          WSAStartup returns `code` (e.g. 10091) instead of succeeding.
//      void WsFaultSendLimit(int maxBytes);
//          send accepts at most maxBytes per call (partial sends); 0: off.
//      void WsFaultBlockSends(int on);
//          on: send fails with 10035 (would block) and arms FD_WRITE.
//          off: sends work again, and every socket whose send was refused
//          gets its FD_WRITE posted now.
//      void WsFaultResetOnSend(int on);
//          send fails with 10054 (connection reset).
//      void WsFaultCloseError(int code, int times);
//          the next `times` closesocket calls fail with `code` and leave the
//          socket open (times < 0: for ever).  (10035, 1): would block once,
//          then success.
//      void WsFaultFailCall(const char* function, int nth, int code);
//          the nth call (1 = the next one) of the named entry point, counted
//          from now, fails with WSA error `code` (SOCKET_ERROR,
//          INVALID_SOCKET or a null pointer/handle as the function returns).
//      int WsFaultCallCount(const char* function);
//          calls of the entry point since the last reset.
//      void WsFaultRecordConnect(int on);
//          connect stores its target and returns SOCKET_ERROR with 10035;
//          nothing is sent and no notification ever follows.
//      int WsFaultLastConnect(char* buf, int len);
//          copies the last target as "a.b.c.d:port" (NUL-terminated,
//          truncated to len) and returns its length; 0 if none.
//      void WsFaultStallLookups(int on);
//          on: every asynchronous look-up started or waiting from now on
//          hangs in its worker, as on a name server that never answers.
//          off (also WsFaultReset): they go on as usual (use names the
//          hosts seam answers, or ".invalid" ones, never a real name).
//      int WsFaultStalledLookups(void);
//          look-ups hanging so right now.
//
// The variant bin/libwsock32_noproto.so is the test build without the
// getprotobyname entry point (GetProcAddress fails with 127).
#pragma once

extern "C" {
using TvHostsSetFn = void (*)(const char* name, const char* addrs);
using TvHostsClearFn = void (*)();
using WsFaultResetFn = void (*)();
using WsFaultStartupErrorFn = void (*)(int code);
using WsFaultSendLimitFn = void (*)(int maxBytes);
using WsFaultBlockSendsFn = void (*)(int on);
using WsFaultResetOnSendFn = void (*)(int on);
using WsFaultCloseErrorFn = void (*)(int code, int times);
using WsFaultFailCallFn = void (*)(const char* function, int nth, int code);
using WsFaultCallCountFn = int (*)(const char* function);
using WsFaultRecordConnectFn = void (*)(int on);
using WsFaultLastConnectFn = int (*)(char* buf, int len);
using WsFaultStallLookupsFn = void (*)(int on);
using WsFaultStalledLookupsFn = int (*)();
}
