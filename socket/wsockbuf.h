// TBuffer: a fixed-capacity byte block, the unit of a socket's send queue.
// Bytes are written at the end and taken from the front; when the last
// unread byte is taken both positions go back to 0 so the block is refilled
// from its start.  Invariant: 0 <= Consumed <= Filled <= Capacity.
#pragma once

#include "component.h"

class TBuffer : public TObject {
 public:
  explicit TBuffer(int Size);
  ~TBuffer() override;

  // A Size of 0 or less means 1514.  Unread bytes are kept.
  void SetBufSize(int Size);
  // Copies min(Len, room) bytes; returns how many were taken.
  int Write(const void* Data, int Len);
  // First unread byte and their count; nullptr and 0 when empty.
  void* Peek(int& Len);
  // Takes min(Len, unread) bytes off the front; returns that number.
  int Remove(int Len);

  int Capacity() const { return FCapacity; }
  int Filled() const { return FFilled; }
  int Consumed() const { return FConsumed; }

 private:
  char* Storage = nullptr;
  int FCapacity = 0;
  int FFilled = 0;
  int FConsumed = 0;
};
