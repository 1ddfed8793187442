#include "platform/win32/stateroot.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace kx {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithoutTrailingSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

void MakeDirs(const std::string& path) {
  std::string cur;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!cur.empty()) ::mkdir(cur.c_str(), 0755);
    }
    if (i < path.size()) cur += path[i];
  }
}

std::string Home() {
  std::string h = Env("HOME");
  return h.empty() ? std::string("/tmp") : WithoutTrailingSlash(h);
}

std::mutex g_callbacksMutex;
std::vector<std::function<void()>>& Callbacks() {
  static auto* v = new std::vector<std::function<void()>>();
  return *v;
}

}  // namespace

std::string StateRootOverride() { return WithoutTrailingSlash(Env("KESMORA_ROOT")); }

std::string UserStateDir() {
  std::string root = StateRootOverride();
  std::string dir;
  if (!root.empty()) {
    dir = root + "/user";
  } else {
    std::string xdg = Env("XDG_CONFIG_HOME");
    dir = (xdg.empty() ? Home() + "/.config" : WithoutTrailingSlash(xdg)) + "/kesmora";
  }
  MakeDirs(dir);
  return dir;
}

std::string MachineStateDir() {
  std::string root = StateRootOverride();
  std::string dir = root.empty() ? std::string("/var/lib/kesmora") : root + "/machine";
  MakeDirs(dir);
  return dir;
}

std::string DocumentsDir() {
  std::string root = StateRootOverride();
  std::string dir;
  if (!root.empty()) {
    dir = root + "/Documents";
  } else {
    std::string xdg = Env("XDG_DOCUMENTS_DIR");
    dir = xdg.empty() ? Home() + "/Documents" : WithoutTrailingSlash(xdg);
  }
  MakeDirs(dir);
  return dir;
}

std::string TempDir() {
  std::string t = WithoutTrailingSlash(Env("TMPDIR"));
  if (t.empty()) {
    std::string root = StateRootOverride();
    t = root.empty() ? std::string("/tmp") : root + "/tmp";
  }
  MakeDirs(t);
  return t + "/";
}

std::string WindowsDir() {
  std::string dir = UserStateDir() + "/windows";
  MakeDirs(dir);
  return dir;
}

std::string CacheDir() {
  std::string root = StateRootOverride();
  std::string dir;
  if (!root.empty()) {
    dir = root + "/cache";
  } else {
    std::string xdg = Env("XDG_CACHE_HOME");
    dir = (xdg.empty() ? Home() + "/.cache" : WithoutTrailingSlash(xdg)) + "/kesmora";
  }
  MakeDirs(dir);
  return dir;
}

void OnStateRootChanged(const std::function<void()>& callback) {
  std::lock_guard<std::mutex> lock(g_callbacksMutex);
  Callbacks().push_back(callback);
}

void NotifyStateRootChanged() {
  std::vector<std::function<void()>> copy;
  {
    std::lock_guard<std::mutex> lock(g_callbacksMutex);
    copy = Callbacks();
  }
  for (auto& cb : copy) cb();
}

}  // namespace kx
