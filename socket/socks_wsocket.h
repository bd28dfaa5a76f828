// TCustomSocksWSocket: reaches the destination through a SOCKS 4, 4A or 5
// server, holding OnSessionConnected back until the handshake ends.
//
// With SocksServer empty every operation passes straight to the core.  With
// a server set, Connect opens the TCP connection to the server and the
// handshake runs inside the socket's own notification handling; the
// application sees OnSessionConnected once the server has granted the
// request, and data that came in the same segment as the final reply is
// handed out by the first Receive.
//
// Layout of the implementation:
//   wsocket_socks.cpp            properties, Connect, Listen, leftover reads
//   wsocket_socks_handshake.cpp  the handshake state machine and its replies
//   wsocket_socks_request.cpp    building and sending the requests
//
// Re-entrancy: a handler of OnSocksConnected, OnSocksAuthState or
// OnSocksError may close the socket; the handshake checks after each such
// call that it is still running before it goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "custom_wsocket.h"

enum TSocksAuthentication : std::uint8_t {
  socksNoAuthentication,      // offer method 0 only
  socksAuthenticateUsercode,  // offer method 2 (username/password)
};

enum TSocksAuthState : std::uint8_t {
  socksAuthStarting,    // username/password request about to be sent
  socksAuthSucceeded,   // the server accepted user code and password
  socksAuthFailed,      // the connection ended while the answer was awaited
  socksAuthNotNeeded,   // username/password offered, server chose no method
};

enum TSocksState : std::uint8_t {
  socksIdle,            // no handshake: data passes through
  socksNegotiating,     // waiting for the server connection, then the method reply
  socksAuthenticating,  // username/password request sent
  socksRequesting,      // connect request sent
};

using TSocksErrorEvent =
    std::function<void(TObject* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;

// Handshake failure codes that OnSocksError, OnSessionConnected and
// OnSessionClosed carry.
namespace socks_error {
inline constexpr int kLogic = 20001;              // also: too much data in an auth reply
inline constexpr int kVersion = 20002;
inline constexpr int kMethodNotAcceptable = 20003;
inline constexpr int kFirstReply = 20004;         // SOCKS 5 REP 1 .. 8 map to 20004 .. 20011
inline constexpr int kRefused = 20008;            // SOCKS 5 REP 5, SOCKS 4 code 92
inline constexpr int kAddressType = 20011;
inline constexpr int kUnassigned = 20012;
inline constexpr int kInternal = 20013;
inline constexpr int kAuthFailed = 20015;
inline constexpr int kRejected = 20016;
inline constexpr int kResolve = 20017;
// Ours: a request that would not fit its 128-byte area, and a reply that
// would not fit the 127 bytes gathered.  Neither is ever sent or read past.
inline constexpr int kRequestTooLong = 20020;
inline constexpr int kReplyTooLong = 20021;
}  // namespace socks_error

// Requests are built in an area of this size; replies are gathered in at
// most kSocksReplyLimit bytes.
inline constexpr int kSocksRequestArea = 128;
inline constexpr int kSocksReplyLimit = 127;

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(TComponent* Owner);

  void Connect() override;
  void Listen() override;

  // ---- Properties (writers only while closed) ---------------------------
  const std::string& SocksLevel() const { return FSocksLevel; }
  void SetSocksLevel(const std::string& Value);
  const std::string& SocksServer() const { return FSocksServer; }
  const std::string& SocksPort() const { return FSocksPort; }

  // Plain read/write properties; not reset by a close.
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  // Event slots, in declaration order.
  TSocksErrorEvent OnSocksError;
  TSessionConnected OnSocksConnected;
  TSocksAuthStateEvent OnSocksAuthState;

  // ---- Virtual operations introduced here, in slot order ------------------
 protected:
  virtual void TriggerSocksConnected(WORD Error);
 public:
  virtual void SetSocksPort(const std::string& Value);
  virtual void SetSocksServer(const std::string& Value);
 protected:
  virtual void TriggerSocksError(int Error, const std::string& Msg);

  // ---- Core operations overridden -----------------------------------------
  void ResetDefaults() override;
  int GetRcvdCount() override;
  bool TriggerDataAvailable(WORD Error) override;
  void TriggerSessionConnected(WORD Error) override;
  void TriggerSessionClosed(WORD Error) override;
  int RawReceive(void* Buffer, int BufferSize, int Flags) override;

  // ---- Non-virtual operations ---------------------------------------------
  void TriggerSocksAuthState(TSocksAuthState AuthState);
  void SendSocksAuthentication();
  void SendSocksRequest();
  void AbortSocksHandshake(int Error, const std::string& Msg);

  // ---- Fields, in declaration order ----------------------------------------
  TSocksState SocksState = socksIdle;
  std::string FSocksServer;
  std::string FSocksLevel = "5";
  std::string FSocksPort;
  bool SocksServerAssigned = false;
  std::uint8_t SocksMethodOffered = 0;
  char SocksReplyBuffer[kSocksRequestArea] = {};
  int SocksReplyCount = 0;
  int SocksLeftoverCount = 0;
  int SocksLeftoverPos = 0;

 private:
  // One step per handshake phase; each returns TriggerDataAvailable's result.
  bool AbortOnReceiveError(WORD Error);
  bool ParseMethodReply();
  bool ParseAuthReply();
  bool ParseSocks4Reply();
  bool ParseSocks5Reply();
  // Reads into SocksReplyBuffer after the bytes held, at most up to `Limit`
  // bytes held in all; false when the read failed.
  bool GatherReply(int Limit);
  // Ends a granted handshake: OnSessionConnected(0), then the data.
  bool FinishHandshake();
  // Why the configured texts cannot be sent, or empty when they fit.
  std::string RequestTooLong(bool WithAuthentication) const;
  // The server changed: what Connect resolved is resolved again.
  void ForgetResolvedTarget();
};
