// What the Windows side of the tests shares between the <winsock.h> and the
// <winsock2.h> files (declared without any system header): the stand-in for
// the loop's descriptor, and the tests' own start of winsock2.
//
// A thread's message queue has no descriptor to wait on, so
// tervane::LoopBackendFd() gives kMessageQueueFd and peer::WaitReadable()
// waits on the queue for it.
#pragma once

namespace winpeer {

// Never a socket: WinSock hands out positive handle values only.
inline constexpr int kMessageQueueFd = -100;

// Waits until the calling thread's queue has input; false after `limitMs`
// (-1 waits for ever).
bool WaitMessages(int limitMs);

// Starts winsock2 once for the test process, apart from the wsock32 the
// component loads: each library counts its own start.
void StartWinsock();

}  // namespace winpeer
