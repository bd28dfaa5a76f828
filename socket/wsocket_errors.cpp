// Socket error code to English text, generated from the one list of WinSock
// error numbers (<tervane/wsa_errors.def>).
#include "wsocket_binding.h"

std::string SocketErrorDescription(int Code) {
  switch (Code) {
    case 0:
      return "No Error";
#define X(number, name, text) \
  case number:                \
    return text;
#include <tervane/wsa_errors.def>
#undef X
  }
  return "Not a WinSock error";
}
