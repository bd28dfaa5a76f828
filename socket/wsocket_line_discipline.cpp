// The line-mode machinery: arrival, search, delivery, editing, the deferred
// and end-of-session deliveries.  See line_discipline.h for the buffer model.
#include "line_discipline.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kBackspace = 8;
constexpr unsigned char kTab = 9;
constexpr int kTabStop = 8;
// Bytes read when the socket reports none waiting (a close or an error is
// then read instead).
constexpr int kDefaultRead = 255;

}  // namespace

void TLineDiscipline::Free() {
  FData.reset();
  FCapacity = 0;
  FStart = 0;
  FCount = 0;
  FPending = 0;
  FScanClean = false;
  ++FGeneration;
}

// Moves the buffered bytes back to offset 0: once per arrival, so that
// handing out many short lines never moves the bytes behind them.
void TLineDiscipline::Compact() {
  if (FStart == 0 || !FData) return;
  std::memmove(FData.get(), FData.get() + FStart, static_cast<size_t>(FCount) + 1);
  FStart = 0;
}

// Grows to at least Need bytes (after Compact), keeping the contents.  The
// buffer grows by half of itself at least: grown to exactly what each
// arrival needs, a line that never ends would be copied whole at every
// arrival, which makes it cost the square of its length.
bool TLineDiscipline::Reserve(long long Need) {
  if (Need <= FCapacity) return true;
  if (Need > kMaxBuffer) return false;
  Need = std::min<long long>(kMaxBuffer, std::max(Need, FCapacity + FCapacity / 2LL));
  std::unique_ptr<char[]> Grown(new char[static_cast<size_t>(Need)]);
  if (FData)
    std::memcpy(Grown.get(), FData.get() + FStart, static_cast<size_t>(FCount) + 1);
  else
    Grown[0] = '\0';
  FData = std::move(Grown);
  FCapacity = static_cast<int>(Need);
  FStart = 0;
  return true;
}

void TLineDiscipline::Consume(int N) {
  FStart += N;
  FCount -= N;
  if (FCount == 0) FStart = 0;
  if (FData) FData[FStart + FCount] = '\0';
}

int TLineDiscipline::Find(int From) const {
  const std::string& End = FSet.End;
  const int L = static_cast<int>(End.size());
  if (L == 0 || !FData || FCount < L) return -1;
  const char* D = FData.get() + FStart;
  const int Last = FCount - L;
  // The first byte is looked for before the whole sequence is compared.
  for (int P = std::max(From, 0); P <= Last; ++P) {
    const void* Hit = std::memchr(D + P, End[0], static_cast<size_t>(Last - P + 1));
    if (Hit == nullptr) return -1;
    P = static_cast<int>(static_cast<const char*>(Hit) - D);
    if (L == 1 || std::memcmp(D + P + 1, End.data() + 1, static_cast<size_t>(L - 1)) == 0)
      return P;
  }
  return -1;
}

int TLineDiscipline::Take(char* Buffer, int Size) {
  const bool FromLine = Active() ? FPending > 0 : FCount > 0;
  if (!FromLine) return -1;
  const int Avail = Active() ? FPending : FCount;
  const int N = std::min(std::max(Size, 0), Avail);
  if (N > 0) std::memcpy(Buffer, FData.get() + FStart, static_cast<size_t>(N));
  if (Active()) {
    FPending -= N;
  } else {
    // Read as plain data (line mode off, or an empty LineEnd): what stays is
    // searched afresh once line mode is in effect again.
    FPending = 0;
    FScanClean = false;
  }
  Consume(N);
  return N;
}

bool TLineDiscipline::ModeChanged() {
  // Whatever is buffered is searched again as a whole under the new mode:
  // the rest of an interrupted line is no longer a line being handed out.
  FPending = 0;
  FScanClean = false;
  return FCount > 0;
}

void TLineDiscipline::Arrive() {
  int Want = FHost.LineWaiting();
  if (Want < 0) return;
  if (Want == 0) Want = kDefaultRead;
  Compact();
  // Room for the bytes, the NUL behind them and, when editing, the spaces
  // that tabs may add; a buffer that cannot take more is given up.
  const long long Growth = FSet.Edit ? static_cast<long long>(Want) * kTabStop : Want;
  if (static_cast<long long>(FCount) + Growth + 1 > kMaxBuffer) {
    if (FCount > 0) {
      FCount = 0;
      FPending = 0;
      FStart = 0;
      FData[0] = '\0';
    }
    Want = std::min(Want, (kMaxBuffer - 1) / kTabStop);
  }
  if (!Reserve(static_cast<long long>(FCount) + Want + 1)) return;
  const unsigned Generation = FGeneration;
  const int Got = FHost.LineRead(FData.get() + FCount, Want);
  if (Got <= 0 || Generation != FGeneration) return;
  const int Read = std::min(Got, Want);

  const bool WasClean = FScanClean && FScanEnd == FSet.End;
  FScanClean = false;
  int Base = FCount;
  int Len = Read;
  FData[Base + Len] = '\0';
  std::string Echo, EchoSizes;
  if (FSet.Edit) {
    EditLine(Base, Len, Echo, EchoSizes);
  } else if (FSet.Echo) {
    Echo.assign(FData.get() + Base, static_cast<size_t>(Len));
  }
  // A line end split across two arrivals starts before the new bytes.
  const int From = WasClean ? std::max(0, Base - static_cast<int>(FSet.End.size())) : 0;
  FCount = Base + Len;

  // Echo goes out once the buffer is consistent: a send that fails or
  // closes the socket cannot leave bytes half added.
  if (!Echo.empty()) {
    if (EchoSizes.empty()) {
      FHost.LineEchoBytes(Echo.data(), static_cast<int>(Echo.size()));
    } else {
      size_t At = 0;
      for (char Size : EchoSizes) {
        FHost.LineEchoBytes(Echo.data() + At, Size);
        At += static_cast<size_t>(Size);
        if (Generation != FGeneration) return;
      }
    }
    if (Generation != FGeneration) return;
  }
  Scan(From, true);
}

void TLineDiscipline::EditLine(int& Base, int& Len, std::string& Echo, std::string& EchoSizes) {
  const int B = Base;
  // A line already found (and being handed out) is not editable: the
  // current line starts behind it.
  const long long Floor = FPending;
  bool HaveCopy = false;
  std::string Work;
  long long T = B;
  long long M = B;
  auto MakeCopy = [&](int S) {
    if (HaveCopy) return;
    Work.assign(FData.get(), static_cast<size_t>(S));
    HaveCopy = true;
  };
  auto Put = [&](char C) {
    if (T < static_cast<long long>(Work.size()))
      Work[static_cast<size_t>(T)] = C;
    else
      Work.push_back(C);
    ++T;
  };
  auto AddEcho = [&](const char* Bytes, int N) {
    if (!FSet.Echo) return;
    Echo.append(Bytes, static_cast<size_t>(N));
    EchoSizes.push_back(static_cast<char>(N));
  };
  for (int S = B; S < B + Len; ++S) {
    const char C = FData[S];
    switch (static_cast<unsigned char>(C)) {
      case kBackspace:
        // At the start of the line there is nothing to rub out.
        if (T > Floor) AddEcho("\b \b", 3);
        MakeCopy(S);
        if (T > Floor) {
          --T;
          M = std::min(M, T);
        }
        break;
      case kTab:
        MakeCopy(S);
        do {
          AddEcho(" ", 1);
          Put(' ');
        } while ((T - Floor) % kTabStop != 0);
        break;
      default:
        AddEcho(&C, 1);
        if (HaveCopy)
          Put(C);
        else
          ++T;
        break;
    }
  }
  if (!HaveCopy) return;
  // Tabs may have made the line longer than the room reserved for it.
  if (T + 1 > FCapacity) {
    std::unique_ptr<char[]> Grown(new char[static_cast<size_t>(T + 1)]);
    FData = std::move(Grown);
    FCapacity = static_cast<int>(T + 1);
    FStart = 0;
  }
  std::memcpy(FData.get(), Work.data(), static_cast<size_t>(T));
  FData[T] = '\0';
  Base = static_cast<int>(M);
  Len = static_cast<int>(T - M);
}

void TLineDiscipline::Scan(int From, bool CheckLimit) {
  while (Active()) {
    if (FPending == 0) {
      const int P = Find(From);
      if (P < 0) {
        NoLineEnd(CheckLimit);
        return;
      }
      FPending = P + static_cast<int>(FSet.End.size());
    }
    if (!DeliverLine()) return;
    From = 0;
  }
}

bool TLineDiscipline::DeliverLine() {
  while (Active() && FPending > 0) {
    const int Before = FPending;
    const unsigned Generation = FGeneration;
    FScanClean = false;
    if (!FHost.LineDeliver()) {
      // Nobody takes lines: this one is dropped, the next is looked for.
      if (Generation == FGeneration && FPending > 0) {
        const int Drop = FPending;
        FPending = 0;
        Consume(Drop);
      }
      return true;
    }
    // A handler that took nothing and left line mode on would be called
    // for ever; the line stays and is offered again on the next arrival.
    if (Generation == FGeneration && Active() && FPending == Before) return false;
  }
  return true;
}

void TLineDiscipline::NoLineEnd(bool CheckLimit) {
  FScanClean = true;
  FScanEnd = FSet.End;
  if (!CheckLimit || FSet.Limit <= 0 || FCount <= FSet.Limit) return;
  FClearData = true;
  try {
    FHost.LineLimitExceeded(FCount, FClearData);
  } catch (...) {
    FClearData = false;
    throw;
  }
  if (FClearData) {
    FClearData = false;
    FPending = 0;
    if (FData) Consume(FCount);
  }
}

void TLineDiscipline::DeliverPlain() {
  while (FCount > 0 && !Active()) {
    const int Before = FCount;
    const unsigned Generation = FGeneration;
    if (!FHost.LineDeliver()) return;
    if (Generation != FGeneration || FCount >= Before) return;
  }
}

void TLineDiscipline::DeliverBuffered() {
  if (FCount <= 0) return;
  if (Active()) {
    Scan(0, true);
    return;
  }
  DeliverPlain();
  // A handler may have put line mode back on with lines still buffered.
  if (FCount > 0 && Active()) Scan(0, true);
}

void TLineDiscipline::EndOfSession() {
  struct FreeOnExit {
    TLineDiscipline& D;
    ~FreeOnExit() { D.Free(); }
  } Guard{*this};
  if (!FData || FCount <= 0 || FClearData) return;
  if (!Active()) {
    // Bytes of a period with line mode off go out as plain data rather
    // than being thrown away with the buffer.
    DeliverPlain();
    return;
  }
  // Complete lines first (one may be half handed out), then the rest as a
  // last line without a line end.
  Scan(0, false);
  if (Active() && FCount > 0) {
    FPending = FCount;
    DeliverLine();
  }
}
