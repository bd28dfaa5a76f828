// TLineDiscipline: the line-mode machinery of TCustomLineWSocket with no
// socket in it.  It owns the line buffer, finds line ends, edits and echoes,
// and hands complete lines out one at a time; everything it needs from the
// socket (reading, echoing, raising events) goes through TLineHost, so the
// fuzzer can drive it without a network.
//
// Buffer model.  The undelivered bytes are FData[FStart, FStart + FCount);
// bytes the application receives leave the front at once (FStart moves on),
// so removing a delivered line costs nothing and every byte is in the buffer
// exactly once, also when a handler throws or switches line mode in the
// middle of a line.  The front is moved back to offset 0 once per arrival.
// FPending > 0 means: the first FPending buffered bytes are the rest of a
// line whose line end has been found and that is being handed out.
//
// Re-entrancy: every host call may re-enter (a handler may receive, switch
// line mode, change LineEnd, pump messages so that another arrival runs, or
// close the socket, which frees the buffer).  No pointer into the buffer and
// no offset other than "search from the start" is kept across a host call.
#pragma once

#include <memory>
#include <string>

// What the line machinery asks of its socket.
class TLineHost {
 public:
  // Bytes waiting below the line layer; negative when the query failed.
  virtual int LineWaiting() = 0;
  // Reads at most Size bytes from below (never from the line buffer);
  // 0 or less when nothing came.
  virtual int LineRead(char* Buffer, int Size) = 0;
  // Sends echo bytes back to the peer.
  virtual void LineEchoBytes(const char* Data, int Len) = 0;
  // Raises OnLineLimitExceeded.
  virtual void LineLimitExceeded(int RcvdLength, bool& ClearData) = 0;
  // Raises OnDataAvailable; false when no handler is assigned.
  virtual bool LineDeliver() = 0;

 protected:
  ~TLineHost() = default;
};

// The settings the machinery reads; they live in the socket as its
// published properties and may change at any time, also from a handler.
struct TLineSettings {
  bool& Mode;
  std::string& End;
  int& Limit;
  bool& Echo;
  bool& Edit;
};

class TLineDiscipline {
 public:
  TLineDiscipline(TLineHost& Host, TLineSettings Settings) : FHost(Host), FSet(Settings) {}

  // Line mode in effect: on, with a non-empty line end.
  bool Active() const { return FSet.Mode && !FSet.End.empty(); }

  // Bytes held, the length of the line being handed out, allocated bytes.
  int Buffered() const { return FCount; }
  int Pending() const { return FPending; }
  int Capacity() const { return FCapacity; }
  bool HasBuffer() const { return FData != nullptr; }
  // The first buffered byte (nullptr without a buffer).
  const char* Data() const { return FData ? FData.get() + FStart : nullptr; }
  // True while OnLineLimitExceeded runs (it holds the ClearData answer).
  bool ClearFlag() const { return FClearData; }

  // A read notification in line mode: read what waits below, edit and echo
  // it, then hand out every complete line.
  void Arrive();
  // Deferred delivery after a change of line mode: with line mode in effect,
  // finish the line being handed out and search the whole buffer for more;
  // otherwise hand the buffered bytes out as plain data.  Ends once nothing
  // more can be delivered (no handler, a handler that takes nothing, or no
  // complete line left).
  void DeliverBuffered();
  // The receive step: copies from the buffer when it has what the
  // application asks for (the line being handed out in line mode, any
  // buffered bytes otherwise).  -1 when the read must go below instead.
  int Take(char* Buffer, int Size);
  // LineMode changed.  Returns true when buffered bytes wait for a deferred
  // delivery.
  bool ModeChanged();
  // The session ended: complete lines, then the rest as a last line (or as
  // plain data with line mode off), then the buffer is freed.
  void EndOfSession();
  // Frees the buffer; all counts become 0.
  void Free();

  // Largest buffer the machinery keeps; a peer that fills it without a line
  // end (with no LineLimit set) loses what is buffered rather than the
  // process running out of memory.
  static constexpr int kMaxBuffer = 1 << 30;

 private:
  void Compact();
  bool Reserve(long long Need);
  int Find(int From) const;
  // Search from From and hand out each complete line.  CheckLimit false at
  // the end of a session, where the rest goes out as a last line instead.
  void Scan(int From, bool CheckLimit);
  // Hands the pending line out; false when delivery stalled (the handler
  // took nothing and left line mode on) or the line was dropped for want of
  // a handler.
  bool DeliverLine();
  void NoLineEnd(bool CheckLimit);
  void DeliverPlain();
  void Consume(int N);
  // Backspace and tab editing of the Len new bytes at Base.  Pure: the echo
  // it calls for is collected (Echo, and one entry per send in EchoSizes)
  // and sent by the caller once the buffer is consistent again.
  void EditLine(int& Base, int& Len, std::string& Echo, std::string& EchoSizes);

  TLineHost& FHost;
  TLineSettings FSet;
  std::unique_ptr<char[]> FData;
  int FCapacity = 0;
  int FStart = 0;
  int FCount = 0;
  int FPending = 0;
  bool FClearData = false;
  // The buffer holds no line end before FCount - size of FScanEnd: the last
  // search ran to the end and found none.  Lets an arrival search only the
  // new bytes.  Cleared whenever the buffer was not searched as a whole.
  bool FScanClean = false;
  std::string FScanEnd;
  // Bumped by Free, so a caller can tell the session ended under it.
  unsigned FGeneration = 0;
};
