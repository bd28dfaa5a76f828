// TWSocket: the socket component applications use, the last class of the
// chain TCustomWSocket -> TCustomSocksWSocket -> TCustomLineWSocket ->
// TCustomSyncWSocket -> TWSocket.
#pragma once

#include "sync_wsocket.h"
#include "wsocket_resolve.h"

class TWSocket : public TCustomSyncWSocket {
 public:
  explicit TWSocket(TComponent* Owner) : TCustomSyncWSocket(Owner) {}
};
