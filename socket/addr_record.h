// The address records the socket passes to the library are the 16-byte IPv4
// record; a caller's longer length would let the library write or read past
// the record it was given.
#pragma once

#include <tervane/win32.h>

constexpr int kAddrRecordLen = static_cast<int>(sizeof(sockaddr_in));

inline int ClampAddrLen(int Len) { return Len > kAddrRecordLen ? kAddrRecordLen : Len; }
