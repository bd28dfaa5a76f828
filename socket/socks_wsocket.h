// TCustomSocksWSocket: reaches the destination through a SOCKS 4, 4A or 5
// server, holding OnSessionConnected back until the handshake ends.
#pragma once

#include "custom_wsocket.h"

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(TComponent* Owner) : TCustomWSocket(Owner) {}
};
