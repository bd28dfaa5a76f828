// Socket error code to English text, generated from wsocket_errors.def.
#include "wsocket_binding.h"

std::string SocketErrorDescription(int Code) {
  switch (Code) {
#define X(code, text) \
  case code:          \
    return text;
#include "wsocket_errors.def"
#undef X
  }
  return "Not a WinSock error";
}
