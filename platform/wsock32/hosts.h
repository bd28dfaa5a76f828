// Host name resolution shared by gethostbyname and the asynchronous
// look-ups: the test hosts table first (test builds only), then the system
// resolver; and the WinSock host record laid out inside a caller's buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ws {

struct HostAnswer {
  int error = 0;  // 0 or a WSAHOST_NOT_FOUND-family code
  std::string name;
  std::vector<std::string> aliases;
  std::vector<std::uint32_t> addrs;  // network order, in the resolver's order
};

HostAnswer ResolveName(const std::string& name);
HostAnswer ResolveAddr(std::uint32_t addr);  // addr in network order

// Lay the record out in buf[0..len): the hostent at the start, then its
// arrays, addresses and strings, every pointer pointing inside the buffer.
// Returns the size needed; writes nothing when that exceeds `len`.
int LayoutHost(const HostAnswer& answer, char* buf, int len);

#if TERVANE_WSOCK_SEAMS
// The test seam: `addrs` is a comma-separated list of dotted addresses;
// empty means "this name does not exist".
void HostsSet(const char* name, const char* addrs);
void HostsClear();
#endif

}  // namespace ws
