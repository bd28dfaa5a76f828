// TBuffer: one fixed-capacity block of a socket's send queue.
#include "wsockbuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int Size) { SetBufSize(Size); }

TBuffer::~TBuffer() { delete[] Storage; }

void TBuffer::SetBufSize(int Size) {
  if (Size <= 0) Size = 1514;
  if (Size == FCapacity) return;
  char* fresh = new char[static_cast<std::size_t>(Size)];
  if (FFilled != FConsumed) {
    // Keep the unread bytes where they are.  A shrink below the write
    // position keeps what fits rather than writing past the new block.
    int keep = std::min(FFilled, Size);
    std::memcpy(fresh, Storage, static_cast<std::size_t>(keep));
    FFilled = keep;
    FConsumed = std::min(FConsumed, FFilled);
  } else {
    FFilled = 0;
    FConsumed = 0;
  }
  delete[] Storage;
  Storage = fresh;
  FCapacity = Size;
}

int TBuffer::Write(const void* Data, int Len) {
  int n = std::min(Len, FCapacity - FFilled);
  if (n <= 0) return 0;
  std::memcpy(Storage + FFilled, Data, static_cast<std::size_t>(n));
  FFilled += n;
  return n;
}

void* TBuffer::Peek(int& Len) {
  Len = FFilled - FConsumed;
  if (Len <= 0) {
    Len = 0;
    return nullptr;
  }
  return Storage + FConsumed;
}

int TBuffer::Remove(int Len) {
  int n = std::min(Len, FFilled - FConsumed);
  if (n <= 0) return 0;
  FConsumed += n;
  if (FConsumed == FFilled) {
    FConsumed = 0;
    FFilled = 0;
  }
  return n;
}
