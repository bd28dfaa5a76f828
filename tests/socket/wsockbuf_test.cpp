// TBuffer: the block of the send queue.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "wsockbuf.h"

namespace {

std::string Unread(TBuffer& b) {
  int len = 0;
  void* p = b.Peek(len);
  return p ? std::string(static_cast<char*>(p), static_cast<std::size_t>(len)) : std::string();
}

TEST(TBuffer, WritesUpToCapacityAndRefillsFromStartWhenDrained) {
  TBuffer b(8);
  EXPECT_EQ(b.Write("abcdef", 6), 6);
  EXPECT_EQ(b.Write("ghijk", 5), 2);  // only the room left
  EXPECT_EQ(b.Write("z", 1), 0);      // full
  EXPECT_EQ(Unread(b), "abcdefgh");
  EXPECT_EQ(b.Remove(3), 3);
  EXPECT_EQ(Unread(b), "defgh");
  EXPECT_EQ(b.Remove(100), 5);  // no more than is unread
  EXPECT_EQ(b.Filled(), 0);     // drained: both positions back to 0
  EXPECT_EQ(b.Consumed(), 0);
  int len = 7;
  EXPECT_EQ(b.Peek(len), nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(b.Remove(1), 0);
  EXPECT_EQ(b.Write("xy", 2), 2);
  EXPECT_EQ(Unread(b), "xy");
}

TEST(TBuffer, NonPositiveLengthsTakeNothing) {
  TBuffer b(4);
  EXPECT_EQ(b.Write("ab", -1), 0);
  EXPECT_EQ(b.Write("ab", 0), 0);
  b.Write("ab", 2);
  EXPECT_EQ(b.Remove(-5), 0);
  EXPECT_EQ(Unread(b), "ab");
}

TEST(TBuffer, ResizeKeepsUnreadBytesAndDefaultsTo1514) {
  TBuffer d(0);
  EXPECT_EQ(d.Capacity(), 1514);
  TBuffer b(4);
  b.Write("abcd", 4);
  b.Remove(1);
  b.SetBufSize(16);
  EXPECT_EQ(b.Capacity(), 16);
  EXPECT_EQ(Unread(b), "bcd");
  EXPECT_EQ(b.Write("efgh", 4), 4);
  EXPECT_EQ(Unread(b), "bcdefgh");
  // Shrinking below the write position keeps what fits, never more.
  b.SetBufSize(3);
  EXPECT_EQ(b.Capacity(), 3);
  EXPECT_LE(b.Filled(), 3);
  EXPECT_EQ(Unread(b), "bc");
}

}  // namespace
