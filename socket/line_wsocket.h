// TCustomLineWSocket: optional line mode, handing received data out one
// complete line at a time.
#pragma once

#include "socks_wsocket.h"

class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  explicit TCustomLineWSocket(TComponent* Owner) : TCustomSocksWSocket(Owner) {}
};
