// Pieces shared by the database look-ups (db.cpp, db_proto.cpp,
// async_lookup.cpp): the common way in and the per-thread copy of a
// record's alias list.
#pragma once

#include <string>
#include <vector>

#include "wsock_internal.h"

namespace ws {

// The checks every look-up makes before its own work, in this order: an
// injected fault, WSAStartup, then the caller's arguments (`argsOk`, else
// `badArgsCode`).  False when the call must fail; the error is already set.
inline bool EnterLookup(const char* function, bool argsOk, int badArgsCode) {
  if (!EnterCall(function)) return false;
  if (!argsOk) {
    SetError(badArgsCode);
    return false;
  }
  return true;
}

// Owned copies of an alias list and the null-ended pointer array WinSock
// records hand out; the pointers stay valid until the next Copy.
struct AliasList {
  std::vector<std::string> names;
  std::vector<char*> ptrs;

  char** Copy(char** from) {
    names.clear();
    for (char** a = from; a && *a; ++a) names.emplace_back(*a);
    ptrs.clear();
    for (std::string& a : names) ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    return ptrs.data();
  }
};

}  // namespace ws
