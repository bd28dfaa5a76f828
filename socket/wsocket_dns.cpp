// Asynchronous host look-ups: name to addresses, address to name.  The
// library fills LookupBuffer with a host record and posts a reply to the
// notification window; one look-up slot per socket, shared by both kinds.
//
// The host record is read defensively: every pointer in it must lie inside
// LookupBuffer (the library lays the whole record out there), and a record
// that breaks this is treated as a failed look-up, never followed.
#include <cstdint>
#include <cstring>
#include <string>

#include "custom_wsocket.h"

namespace {

constexpr int kLookupBufferLen = TCustomWSocket::kLookupBufferLen;
constexpr int kMaxReverseAddrLen = 256;

// Bounds of the reply area, for checking the record's pointers.
class TRecordView {
 public:
  explicit TRecordView(const char* Base) : Start(reinterpret_cast<std::uintptr_t>(Base)) {}

  bool Holds(const void* P, std::size_t Len) const {
    const auto Addr = reinterpret_cast<std::uintptr_t>(P);
    return Addr >= Start && Len <= kLookupBufferLen && Addr - Start <= kLookupBufferLen - Len;
  }

  // The pointer stored at P (which Holds), read without alignment demands.
  template <typename T>
  T* PointerAt(const void* P) const {
    T* Value = nullptr;
    std::memcpy(&Value, P, sizeof(Value));
    return Value;
  }

  // The zero-terminated text at P, or false when it runs off the area.
  bool Text(const char* P, std::string& Out) const {
    if (!Holds(P, 1)) return false;
    const auto Room = kLookupBufferLen - (reinterpret_cast<std::uintptr_t>(P) - Start);
    const void* End = std::memchr(P, 0, Room);
    if (End == nullptr) return false;
    Out.assign(P, static_cast<const char*>(End));
    return true;
  }

 private:
  std::uintptr_t Start;
};

}  // namespace

void TCustomWSocket::DnsLookup(const std::string& HostName) {
  if (HostName.empty()) {
    ReportError("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  // A new look-up replaces the pending one silently.
  if (LookupHandle != nullptr) {
    WSocket::WSACancelAsyncRequest(LookupHandle);
    LookupHandle = nullptr;
  }
  FDnsResult.clear();
  FDnsResultList.clear();

  // A dotted address needs no look-up: answer before returning.
  const u_long Numeric = WSocket::inet_addr(HostName.c_str());
  if (Numeric != INADDR_NONE) {
    in_addr Addr{};
    Addr.s_addr = Numeric;
    const char* Text = WSocket::inet_ntoa(Addr);
    FDnsResult = Text != nullptr ? Text : "";
    TriggerDnsLookupDone(0);
    return;
  }

  LookupReplyEarly = false;
  LookupHandle = WSocket::WSAAsyncGetHostByName(WindowHandle, WM_SOCKET_HOSTBYNAME,
                                                HostName.c_str(), LookupBuffer,
                                                kLookupBufferLen);
  if (LookupHandle == nullptr) {
    ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(),
                   WSocket::WSAGetLastError());
    return;
  }
  // A library that answers while the request is being made (before its
  // handle was known here) has had its reply parked in EarlyReply.
  if (LookupReplyEarly) {
    LookupReplyEarly = false;
    HandleHostByNameMsg(EarlyReply);
  }
}

void TCustomWSocket::HandleHostByNameMsg(TMessage& Msg) {
  if (LookupHandle == nullptr) {
    EarlyReply = Msg;
    LookupReplyEarly = true;
    return;
  }
  if (Msg.WParam != reinterpret_cast<WPARAM>(LookupHandle)) return;  // stale reply
  LookupHandle = nullptr;
  WORD Err = HIWORD(static_cast<std::uintptr_t>(Msg.LParam));

  if (Err == 0) {
    const TRecordView View(LookupBuffer);
    bool Sound = false;
    hostent Host{};
    std::memcpy(&Host, LookupBuffer, sizeof(Host));
    if (Host.h_length == 4 && View.Holds(Host.h_addr_list, sizeof(char*))) {
      Sound = true;
      for (char** Entry = Host.h_addr_list;; ++Entry) {
        if (!View.Holds(Entry, sizeof(char*))) {
          Sound = false;
          break;
        }
        const char* AddrBytes = View.PointerAt<char>(Entry);
        if (AddrBytes == nullptr) break;
        if (!View.Holds(AddrBytes, 4)) {
          Sound = false;
          break;
        }
        in_addr Addr{};
        std::memcpy(&Addr.s_addr, AddrBytes, 4);
        const char* Text = WSocket::inet_ntoa(Addr);
        FDnsResultList.emplace_back(Text != nullptr ? Text : "");
      }
    }
    if (Sound) {
      if (!FDnsResultList.empty()) FDnsResult = FDnsResultList.front();
    } else {
      FDnsResultList.clear();
      Err = WSANO_RECOVERY;
    }
  }
  TriggerDnsLookupDone(Err);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
  if (HostAddr.empty() || HostAddr.size() > kMaxReverseAddrLen) {
    ReportError("ReverseDnsLookup: Invalid host name.");
    TriggerDnsLookupDone(WSAEINVAL);
    return;
  }
  if (LookupHandle != nullptr) WSocket::WSACancelAsyncRequest(LookupHandle);
  FDnsResult.clear();
  FDnsResultList.clear();

  // Text that is not a dotted address converts to all bits set and is
  // looked up as 255.255.255.255.
  const u_long Addr = WSocket::inet_addr(HostAddr.c_str());
  char AddrBytes[4];
  std::memcpy(AddrBytes, &Addr, sizeof(AddrBytes));
  LookupHandle = WSocket::WSAAsyncGetHostByAddr(WindowHandle, WM_SOCKET_HOSTBYADDR, AddrBytes,
                                                4, PF_INET, LookupBuffer, kLookupBufferLen);
  if (LookupHandle == nullptr)
    ReportErrorFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(),
                   WSocket::WSAGetLastError());
}

void TCustomWSocket::HandleHostByAddrMsg(TMessage& Msg) {
  if (Msg.WParam != reinterpret_cast<WPARAM>(LookupHandle)) return;  // stale reply
  LookupHandle = nullptr;
  WORD Err = HIWORD(static_cast<std::uintptr_t>(Msg.LParam));

  if (Err == 0) {
    const TRecordView View(LookupBuffer);
    hostent Host{};
    std::memcpy(&Host, LookupBuffer, sizeof(Host));
    std::string HostName;
    if (View.Text(Host.h_name, HostName)) {
      FDnsResult = HostName;
      FDnsResultList.clear();
      FDnsResultList.push_back(FDnsResult);
    } else {
      Err = WSANO_RECOVERY;
    }
  }
  TriggerDnsLookupDone(Err);
}

int TCustomWSocket::CancelLookupRequest() {
  if (LookupHandle == nullptr) return 0;
  const bool Refused = WSocket::WSACancelAsyncRequest(LookupHandle) != 0;
  LookupHandle = nullptr;
  return Refused ? WSocket::WSAGetLastError() : 0;
}

void TCustomWSocket::CancelDnsLookup() {
  if (LookupHandle == nullptr) return;
  if (const int Refused = CancelLookupRequest()) {
    WSocket::WSASetLastError(Refused);
    SocketError("WSACancelAsyncRequest");
    return;
  }
  if ((ComponentState() & csDestroying) == 0) TriggerDnsLookupDone(WSAEINTR);
}
