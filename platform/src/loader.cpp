// Run-time module loading by Windows module name.
//
// "wsock32.dll" is found as lib<wsock32>.so beside the executable, unless a
// test redirected the name.  A module exports its entry points under a
// decorated symbol, "tvexport_" + name: an undecorated `socket` or `send`
// exported from a shared object would interpose the C library's for the
// whole process.
#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string>

#include <tervane/platform.h>

#include "fold.h"

namespace {

using tervane::detail::Fold;

std::mutex& RedirectMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::map<std::string, std::string>& Redirects() {
  static auto* r = new std::map<std::string, std::string>;
  return *r;
}

std::string ModuleFile(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(RedirectMutex());
    auto it = Redirects().find(Fold(name));
    if (it != Redirects().end()) return it->second;
  }
  if (name.find('/') != std::string::npos) return name;  // already a path
  std::string base = Fold(name);
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dll") == 0)
    base.resize(base.size() - 4);
  // As the system's own search: the program's folder first, then by name
  // through the library search path (an installed program keeps its modules
  // in a private folder that the platform library's RUNPATH names).
  const std::string beside = tervane::ExecutableDir() + "lib" + base + ".so";
  return access(beside.c_str(), F_OK) == 0 ? beside : "lib" + base + ".so";
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* handle = dlopen(ModuleFile(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!module || !procName) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const std::string symbol = std::string("tvexport_") + procName;
  void* p = dlsym(module, symbol.c_str());
  if (!p) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(p);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (!module || dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

namespace tervane {

void SetModulePath(const std::string& name, const std::string& path) {
  std::lock_guard<std::mutex> lock(RedirectMutex());
  if (path.empty())
    Redirects().erase(Fold(name));
  else
    Redirects()[Fold(name)] = path;
}

std::string ExecutableDir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace tervane
