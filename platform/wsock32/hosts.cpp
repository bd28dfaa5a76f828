// Host resolution: in the module's test builds a hosts table in front of
// the system resolver, then the system resolver.
//
// Names under the reserved ".invalid" domain never exist; they are answered
// here, so nothing ever asks a name server about them.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "hosts.h"
#include "wsock_internal.h"

namespace ws {
namespace {

#if TERVANE_WSOCK_SEAMS
struct HostsTable {
  std::mutex mutex;
  std::map<std::string, std::vector<std::uint32_t>> names;  // folded name
};

HostsTable& Hosts() {
  // An object, not a leaked pointer: the module may be loaded and unloaded
  // many times in one process, and each unload must release it.
  static HostsTable table;
  return table;
}
#endif

std::string Fold(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int MapGai(int code) {
  switch (code) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    default: return WSANO_RECOVERY;
  }
}

}  // namespace

#if TERVANE_WSOCK_SEAMS
void HostsSet(const char* name, const char* addrs) {
  if (!name) return;
  std::vector<std::uint32_t> list;
  std::string text = addrs ? addrs : "";
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(pos, comma - pos);
    in_addr a{};
    if (inet_pton(AF_INET, item.c_str(), &a) == 1) list.push_back(a.s_addr);
    pos = comma + 1;
  }
  std::lock_guard<std::mutex> lock(Hosts().mutex);
  Hosts().names[Fold(name)] = std::move(list);
}

void HostsClear() {
  std::lock_guard<std::mutex> lock(Hosts().mutex);
  Hosts().names.clear();
}
#endif

HostAnswer ResolveName(const std::string& name) {
  HostAnswer answer;
  const std::string key = Fold(name);
#if TERVANE_WSOCK_SEAMS
  {
    std::lock_guard<std::mutex> lock(Hosts().mutex);
    auto it = Hosts().names.find(key);
    if (it != Hosts().names.end()) {
      if (it->second.empty()) {
        answer.error = WSAHOST_NOT_FOUND;
      } else {
        answer.name = name;
        answer.addrs = it->second;
      }
      return answer;
    }
  }
#endif
  if (name.empty() || EndsWith(key, ".invalid") || key == "invalid") {
    answer.error = WSAHOST_NOT_FOUND;
    return answer;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (rc != 0) {
    answer.error = MapGai(rc);
    return answer;
  }
  answer.name = (list && list->ai_canonname) ? list->ai_canonname : name;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET) continue;
    std::uint32_t a;
    std::memcpy(&a, &reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr, 4);
    if (std::find(answer.addrs.begin(), answer.addrs.end(), a) == answer.addrs.end())
      answer.addrs.push_back(a);
  }
  freeaddrinfo(list);
  if (answer.addrs.empty()) answer.error = WSANO_DATA;
  return answer;
}

HostAnswer ResolveAddr(std::uint32_t addr) {
  HostAnswer answer;
#if TERVANE_WSOCK_SEAMS
  {
    std::lock_guard<std::mutex> lock(Hosts().mutex);
    for (const auto& [name, addrs] : Hosts().names) {
      if (std::find(addrs.begin(), addrs.end(), addr) != addrs.end()) {
        answer.name = name;
        answer.addrs.push_back(addr);
        return answer;
      }
    }
  }
#endif
  // The broadcast and "any" addresses name no host; asking a name server
  // about them would only wait.  (A text that is not an address reaches
  // here as 255.255.255.255.)
  if (addr == wsabi::kInaddrNone || addr == wsabi::kInaddrAny) {
    answer.error = WSAHOST_NOT_FOUND;
    return answer;
  }
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = addr;
  char host[NI_MAXHOST];
  const int rc = getnameinfo(reinterpret_cast<sockaddr*>(&sin), sizeof sin, host, sizeof host,
                             nullptr, 0, NI_NAMEREQD);
  if (rc != 0) {
    answer.error = MapGai(rc);
    return answer;
  }
  answer.name = host;
  answer.addrs.push_back(addr);
  return answer;
}

int LayoutHost(const HostAnswer& answer, char* buf, int len) {
  constexpr std::size_t kPtr = sizeof(char*);
  auto alignUp = [](std::size_t v) { return (v + kPtr - 1) / kPtr * kPtr; };
  // Offsets are aligned relative to the buffer's own address, so that the
  // pointer arrays are aligned whenever the buffer is.
  const auto base = reinterpret_cast<std::uintptr_t>(buf);
  auto alignAt = [&](std::size_t off) { return alignUp(base + off) - base; };
  std::size_t off = sizeof(wsabi::hostent);
  const std::size_t aliasesOff = alignAt(off);
  off = aliasesOff + (answer.aliases.size() + 1) * kPtr;
  const std::size_t addrListOff = off;
  off += (answer.addrs.size() + 1) * kPtr;
  const std::size_t addrsOff = off;
  off += answer.addrs.size() * 4;
  const std::size_t nameOff = off;
  off += answer.name.size() + 1;
  std::vector<std::size_t> aliasOffs;
  for (const std::string& a : answer.aliases) {
    aliasOffs.push_back(off);
    off += a.size() + 1;
  }
  const std::size_t needed = off;
  if (!buf || len < 0 || needed > static_cast<std::size_t>(len)) return static_cast<int>(needed);

  auto putPtr = [&](std::size_t at, const void* p) { std::memcpy(buf + at, &p, kPtr); };
  wsabi::hostent h{};
  h.h_name = buf + nameOff;
  h.h_aliases = reinterpret_cast<char**>(buf + aliasesOff);
  h.h_addrtype = wsabi::kAfInet;
  h.h_length = 4;
  h.h_addr_list = reinterpret_cast<char**>(buf + addrListOff);
  std::memcpy(buf, &h, sizeof h);
  for (std::size_t i = 0; i < answer.aliases.size(); ++i) {
    putPtr(aliasesOff + i * kPtr, buf + aliasOffs[i]);
    std::memcpy(buf + aliasOffs[i], answer.aliases[i].c_str(), answer.aliases[i].size() + 1);
  }
  putPtr(aliasesOff + answer.aliases.size() * kPtr, nullptr);
  for (std::size_t i = 0; i < answer.addrs.size(); ++i) {
    putPtr(addrListOff + i * kPtr, buf + addrsOff + i * 4);
    std::memcpy(buf + addrsOff + i * 4, &answer.addrs[i], 4);
  }
  putPtr(addrListOff + answer.addrs.size() * kPtr, nullptr);
  std::memcpy(buf + nameOff, answer.name.c_str(), answer.name.size() + 1);
  return static_cast<int>(needed);
}

}  // namespace ws
