// TCustomLineWSocket: optional line mode, handing received data out one
// complete line at a time.
//
// With LineMode on, received bytes gather in a buffer of the socket's own;
// OnDataAvailable is raised once per complete line (RcvdCount is its length,
// line end included) and again until the handler has received all of it or
// switched LineMode off.  Bytes still buffered when LineMode changes are
// handed out later from the message loop (WM_SOCKET_DELIVER_BUFFERED), never
// inside the property write.  The machinery itself is TLineDiscipline
// (line_discipline.h); this class ties it to the socket.
//
// Re-entrancy: the data-available handler may receive, change any line
// setting, pump messages or close the socket; a handler that neither
// receives nor leaves line mode is not called again for that line until
// more data arrives.
#pragma once

#include <functional>
#include <string>

#include "line_discipline.h"
#include "socks_wsocket.h"

inline constexpr UINT WM_SOCKET_DELIVER_BUFFERED = WM_USER + 20;

using TLineLimitEvent = std::function<void(TObject* Sender, int RcvdLength, bool& ClearData)>;

class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  explicit TCustomLineWSocket(TComponent* Owner);
  ~TCustomLineWSocket() override;

  // ---- Properties, in published order -------------------------------------
  bool LineMode() const { return FLineMode; }
  // Read the line settings below directly; LineMode goes through here.
  virtual void SetLineMode(bool Value);
  int LineLimit = 65536;
  std::string LineEnd = "\r\n";
  bool LineEcho = false;
  bool LineEdit = false;
  TLineLimitEvent OnLineLimitExceeded;

  // Longest synchronous wait in milliseconds, 0 or less for none (used by
  // TCustomSyncWSocket).
  int WaitTimeout = 0;

  // Bytes held in the line buffer and the length of the line being handed
  // out (for callers that inspect the state; RcvdCount is the public view).
  int LineBufferedCount() const { return FLine.Buffered(); }
  int LinePendingLength() const { return FLine.Pending(); }

 protected:
  // ---- Virtual operations introduced here, in slot order ------------------
  virtual void TriggerLineLimitExceeded(int RcvdLength, bool& ClearData);
  // (SetLineMode, the second, is public above.  Backspace and tab editing
  // is part of TLineDiscipline.)

  // ---- Core operations overridden -----------------------------------------
  void WndProc(TMessage& Msg) override;
  int GetRcvdCount() override;
  bool TriggerDataAvailable(WORD Error) override;
  void TriggerSessionClosed(WORD Error) override;
  int RawReceive(void* Buffer, int BufferSize, int Flags) override;

  // Millisecond tick at which the current synchronous wait ends.
  int WaitStopTime = 0;

 private:
  // Connects the machinery to the layer below: reads go to the SOCKS layer,
  // deliveries raise the event through it.
  class THost final : public TLineHost {
   public:
    explicit THost(TCustomLineWSocket& Socket) : S(Socket) {}
    int LineWaiting() override;
    int LineRead(char* Buffer, int Size) override;
    void LineEchoBytes(const char* Data, int Len) override;
    void LineLimitExceeded(int RcvdLength, bool& ClearData) override;
    bool LineDeliver() override;

   private:
    TCustomLineWSocket& S;
  };

  void PostDeliverBuffered();

  bool FLineMode = false;
  THost FHost{*this};
  TLineDiscipline FLine{FHost, TLineSettings{FLineMode, LineEnd, LineLimit, LineEcho, LineEdit}};
  // True while the machinery fills its buffer: such reads go to the network.
  bool FFilling = false;
  // A WM_SOCKET_DELIVER_BUFFERED is queued (at most one at a time).
  bool FDeliverPosted = false;
};
