// The receive buffer when the owner's copy cannot be allocated: the data
// stay buffered, the buffer is never written past its room, bytes that
// arrive while it is full and allocation still fails are dropped, and
// delivery resumes (oldest bytes first) once allocation works again.
//
// Allocation failure is something no peer can cause, so this program
// replaces the non-throwing array new and fails the copy's sizes on demand.
#include <new>

#include "session_fixture.h"

namespace {
bool failDeliveryCopies = false;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  // The copy for a delivery is the buffered count plus its NUL: only the
  // copies of full buffers (2049 and 2050 bytes) are failed.
  if (failDeliveryCopies && size > 2048 && size <= 2050) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

TEST_F(TnSessionTest, FullBufferWithFailingCopiesDropsOnlyWhatCannotFit) {
  Open(*cnx, server);
  failDeliveryCopies = true;
  // First read: 2048 bytes that cannot be handed over.
  Deliver(*cnx, server, std::string(2048, 'a'));
  EXPECT_TRUE(dataSizes.empty());
  // Second read: one byte fills the buffer; the rest has no room.
  Deliver(*cnx, server, std::string(2048, 'b'));
  EXPECT_TRUE(dataSizes.empty());
  // Commands are still answered meanwhile.
  Deliver(*cnx, server, "c\xff\xfb\x03");
  EXPECT_EQ(ClientSent(server, 3), "\xff\xfd\x03");
  failDeliveryCopies = false;
  Deliver(*cnx, server, "def");
  EXPECT_EQ(dataSizes, (std::vector<int>{2049, 3}));
  EXPECT_EQ(received, std::string(2048, 'a') + "b" + "def");
}

}  // namespace
