// Drives the line machinery with arrivals of random sizes, random line ends,
// editing on and off, limits, mode switches, handlers that read in pieces,
// stall, throw, re-enter or are missing.  Address and undefined-behaviour
// sanitizers catch any access out of bounds; with editing off every byte
// read must come out exactly once and in order: delivered to the handler,
// dropped with its line for want of a handler, cleared by the limit, or
// still buffered.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "line_discipline.h"

namespace {

struct HandlerFault : std::runtime_error {
  HandlerFault() : std::runtime_error("handler fault") {}
};

class FuzzHost final : public TLineHost {
 public:
  FuzzHost(FuzzedDataProvider& Data, bool& Mode) : In(Data), ModeRef(Mode) {}

  TLineDiscipline* D = nullptr;
  std::string Chunk;     // bytes "on the network" for the current arrival
  std::string Read;      // every byte handed to the machinery
  std::string Out;       // delivered, dropped and cleared, in order
  std::string Echoed;
  bool DeferredWanted = false;
  int Depth = 0;

  int LineWaiting() override {
    switch (In.ConsumeIntegralInRange<int>(0, 7)) {
      case 0: return -1;
      case 1: return 0;
      default: return static_cast<int>(Chunk.size());
    }
  }

  int LineRead(char* Buffer, int Size) override {
    if (Size < 0) std::abort();
    const int N = std::min<int>(Size, static_cast<int>(Chunk.size()));
    if (N == 0) return -1;
    std::memcpy(Buffer, Chunk.data(), static_cast<size_t>(N));
    Read.append(Chunk, 0, static_cast<size_t>(N));
    Chunk.erase(0, static_cast<size_t>(N));
    return N;
  }

  void LineEchoBytes(const char* Bytes, int Len) override {
    if (Len < 0) std::abort();
    Echoed.append(Bytes, static_cast<size_t>(Len));
  }

  void LineLimitExceeded(int RcvdLength, bool& ClearData) override {
    if (RcvdLength != D->Buffered()) std::abort();
    ClearData = In.ConsumeBool();
    if (ClearData) Out.append(D->Data(), static_cast<size_t>(D->Buffered()));
  }

  bool LineDeliver() override {
    const int Action = In.ConsumeIntegralInRange<int>(0, 15);
    if (Action == 0) {
      // No handler: with line mode in effect the pending line is dropped.
      if (D->Active() && D->Pending() > 0) Out.append(D->Data(), static_cast<size_t>(D->Pending()));
      return false;
    }
    if (Action == 1) throw HandlerFault();
    if (Action == 2) {
      ModeRef = !ModeRef;
      if (D->ModeChanged()) DeferredWanted = true;
    }
    if (Action == 3 && Depth < 2 && !Chunk.empty()) {
      // The handler pumps messages and another arrival runs inside it.
      ++Depth;
      D->Arrive();
      --Depth;
    }
    const int Want = In.ConsumeIntegralInRange<int>(0, 70);
    char Buf[80];
    std::memset(Buf, 0x5A, sizeof Buf);
    const int Got = D->Take(Buf, Want);
    if (Got > Want) std::abort();
    if (Got > 0) Out.append(Buf, static_cast<size_t>(Got));
    for (size_t I = static_cast<size_t>(std::max(Got, 0)); I < sizeof Buf; ++I)
      if (Buf[I] != 0x5A) std::abort();  // written past what was reported
    return true;
  }

 private:
  FuzzedDataProvider& In;
  bool& ModeRef;
};

std::string PickLineEnd(FuzzedDataProvider& In) {
  switch (In.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: return "\r\n";
    case 1: return "\n";
    case 2: return "";
    case 3: return "ab";
    default: return In.ConsumeBytesAsString(In.ConsumeIntegralInRange<size_t>(1, 4));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Bytes, size_t Size) {
  FuzzedDataProvider In(Bytes, Size);
  bool Mode = In.ConsumeBool() || In.ConsumeBool();
  std::string End = PickLineEnd(In);
  int Limit = In.ConsumeIntegralInRange<int>(-1, 40);
  bool Echo = In.ConsumeBool();
  bool Edit = In.ConsumeBool();
  FuzzHost Host(In, Mode);
  TLineDiscipline D(Host, TLineSettings{Mode, End, Limit, Echo, Edit});
  Host.D = &D;

  auto Guarded = [&](auto&& Step) {
    try {
      Step();
    } catch (const HandlerFault&) {
    }
  };

  bool EverEdited = Edit;
  while (In.remaining_bytes() > 0) {
    switch (In.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
      case 1:
      case 2: {
        Host.Chunk += In.ConsumeBytesAsString(In.ConsumeIntegralInRange<size_t>(0, 300));
        if (D.Active()) Guarded([&] { D.Arrive(); });
        break;
      }
      case 3:
        Mode = !Mode;
        if (D.ModeChanged()) Host.DeferredWanted = true;
        break;
      case 4:
        if (Host.DeferredWanted) {
          Host.DeferredWanted = false;
          Guarded([&] { D.DeliverBuffered(); });
        }
        break;
      case 5:
        End = PickLineEnd(In);
        break;
      case 6:
        Limit = In.ConsumeIntegralInRange<int>(-1, 40);
        break;
      default:
        Edit = !Edit && In.ConsumeBool();
        break;
    }
    // Mode off: the application reads directly now and then.
    if (!D.Active() && D.Buffered() > 0 && In.ConsumeBool()) {
      char Buf[64];
      const int Got = D.Take(Buf, In.ConsumeIntegralInRange<int>(0, 64));
      if (Got > 0) Host.Out.append(Buf, static_cast<size_t>(Got));
    }
    EverEdited = EverEdited || Edit;
    if (D.Pending() > D.Buffered() || D.Buffered() < 0 || D.Pending() < 0) std::abort();
    if (D.HasBuffer() && D.Data()[D.Buffered()] != '\0') std::abort();
  }

  // Editing changes bytes by design: the accounting holds for runs that
  // never edited.
  if (!EverEdited) {
    const std::string Held = D.HasBuffer() ? std::string(D.Data(), static_cast<size_t>(D.Buffered()))
                                           : std::string();
    if (Host.Out + Held != Host.Read) std::abort();
    if (Echo && Host.Echoed != Host.Read) std::abort();
  }
  Guarded([&] { D.EndOfSession(); });
  if (D.HasBuffer() || D.Buffered() != 0) std::abort();
  if (!EverEdited && Host.Read.compare(0, Host.Out.size(), Host.Out) != 0) std::abort();
  return 0;
}
