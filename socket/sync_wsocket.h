// TCustomSyncWSocket: waiting for an event with a time-out while pumping
// messages.
#pragma once

#include "line_wsocket.h"

class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  explicit TCustomSyncWSocket(TComponent* Owner) : TCustomLineWSocket(Owner) {}
};
