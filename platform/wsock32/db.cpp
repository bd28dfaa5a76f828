// Database look-ups and conversions: gethostbyname, getservbyname,
// htons/ntohs, inet_addr, inet_ntoa.  Records are returned in per-thread
// storage in WinSock's layout, valid until the thread's next call.
#include <arpa/inet.h>
#include <netdb.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "db_entry.h"
#include "hosts.h"

namespace {

thread_local std::vector<char> tlsHost;

struct ServStore {
  wsabi::servent rec{};
  std::string name;
  std::string proto;
  ws::AliasList aliases;
};
thread_local ServStore tlsServ;

}  // namespace

WS_EXPORT(wsabi::hostent*, gethostbyname)(const char* name) {
  if (!ws::EnterLookup("gethostbyname", name != nullptr, ws::WSAEFAULT)) return nullptr;
  const ws::HostAnswer answer = ws::ResolveName(name);
  if (answer.error != 0) {
    ws::SetError(answer.error);
    return nullptr;
  }
  const int needed = ws::LayoutHost(answer, nullptr, 0) + 8;  // room to align
  tlsHost.assign(static_cast<std::size_t>(needed), 0);
  ws::LayoutHost(answer, tlsHost.data(), needed);
  return reinterpret_cast<wsabi::hostent*>(tlsHost.data());
}

WS_EXPORT(wsabi::servent*, getservbyname)(const char* name, const char* proto) {
  if (!ws::EnterLookup("getservbyname", name != nullptr, ws::WSAEFAULT)) return nullptr;
  servent result{};
  servent* found = nullptr;
  char buf[1024];
  if (getservbyname_r(name, proto, &result, buf, sizeof buf, &found) != 0 || !found) {
    ws::SetError(ws::WSANO_DATA);
    return nullptr;
  }
  ServStore& st = tlsServ;
  st.name = found->s_name;
  st.proto = found->s_proto;
  st.rec.s_name = st.name.data();
  st.rec.s_aliases = st.aliases.Copy(found->s_aliases);
  st.rec.s_proto = st.proto.data();
  st.rec.s_port = static_cast<short>(found->s_port);  // already network order
  return &st.rec;
}

WS_EXPORT(wsabi::u_short, htons)(wsabi::u_short v) { return htons(v); }
WS_EXPORT(wsabi::u_short, ntohs)(wsabi::u_short v) { return ntohs(v); }

WS_EXPORT(wsabi::u_long, inet_addr)(const char* cp) {
  if (!cp) return wsabi::kInaddrNone;
  // The classic forms: a.b.c.d, a.b.c, a.b and a, each part decimal, octal
  // or hex; anything else is INADDR_NONE.
  in_addr a{};
  if (inet_aton(cp, &a) == 0) return wsabi::kInaddrNone;
  return a.s_addr;
}

WS_EXPORT(char*, inet_ntoa)(wsabi::in_addr in) {
  thread_local char text[16];
  const auto* b = reinterpret_cast<const unsigned char*>(&in.s_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

#if TERVANE_WSOCK_SEAMS
// Test seam of the module's test builds: extra host names answered before
// the system resolver (see wsock_fault.h).
WS_EXPORT(void, TvHostsSet)(const char* name, const char* addrs) { ws::HostsSet(name, addrs); }
WS_EXPORT(void, TvHostsClear)() { ws::HostsClear(); }
#endif
