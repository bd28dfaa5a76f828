// getprotobyname, in its own file: the variant module built to test a
// missing entry point leaves exactly this one out.
#include <netdb.h>
#include <strings.h>

#include <string>

#include "db_entry.h"

namespace {

struct ProtoStore {
  wsabi::protoent rec{};
  std::string name;
  ws::AliasList aliases;
};
thread_local ProtoStore tlsProto;

}  // namespace

WS_EXPORT(wsabi::protoent*, getprotobyname)(const char* name) {
  if (!ws::EnterLookup("getprotobyname", name != nullptr, ws::WSAEFAULT)) return nullptr;
  protoent result{};
  protoent* found = nullptr;
  char buf[1024];
  if (getprotobyname_r(name, &result, buf, sizeof buf, &found) != 0 || !found) {
    // A system without a protocols database still knows the Internet
    // protocols every socket program asks for, as WinSock always does.
    static const struct {
      const char* name;
      int number;
    } kBuiltIn[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};
    for (const auto& p : kBuiltIn) {
      if (strcasecmp(p.name, name) == 0) {
        result.p_name = const_cast<char*>(p.name);
        result.p_aliases = nullptr;
        result.p_proto = p.number;
        found = &result;
      }
    }
    if (!found) {
      ws::SetError(ws::WSANO_DATA);
      return nullptr;
    }
  }
  ProtoStore& st = tlsProto;
  st.name = found->p_name;
  st.rec.p_name = st.name.data();
  st.rec.p_aliases = st.aliases.Copy(found->p_aliases);
  st.rec.p_proto = static_cast<short>(found->p_proto);
  return &st.rec;
}
