#include "platform/win32/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/win32/crt.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"

namespace {

int Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

std::string FoldText(const char* s) {
  std::string f;
  for (; *s; ++s) f.push_back(static_cast<char>(Fold(static_cast<unsigned char>(*s))));
  return f;
}

class AtomTable {
 public:
  ATOM Add(LPCSTR name) {
    ATOM integer;
    int kind = Integer(name, &integer);
    if (kind == 1) return integer;
    if (kind < 0) return 0;
    std::lock_guard<std::mutex> lock(mu_);
    std::string key = FoldText(name);
    auto it = byName_.find(key);
    if (it != byName_.end()) {
      ++entries_[it->second].refs;
      return it->second;
    }
    for (unsigned a = 0xC000; a <= 0xFFFF; ++a) {
      if (!entries_.count(static_cast<ATOM>(a))) {
        entries_[static_cast<ATOM>(a)] = {name, 1};
        byName_[key] = static_cast<ATOM>(a);
        return static_cast<ATOM>(a);
      }
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ATOM Find(LPCSTR name) {
    ATOM integer;
    int kind = Integer(name, &integer);
    if (kind == 1) return integer;
    if (kind < 0) return 0;
    std::lock_guard<std::mutex> lock(mu_);
    auto it = byName_.find(FoldText(name));
    if (it == byName_.end()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    return it->second;
  }
  ATOM Delete(ATOM atom) {
    if (atom < 0xC000) return 0;
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(atom);
    if (it == entries_.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return atom;
    }
    if (--it->second.refs == 0) {
      byName_.erase(FoldText(it->second.name.c_str()));
      entries_.erase(it);
    }
    return 0;
  }
  UINT Name(ATOM atom, LPSTR buffer, int size) {
    std::string text;
    if (atom > 0 && atom < 0xC000) {
      text = "#" + std::to_string(atom);
    } else {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = entries_.find(atom);
      if (it == entries_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
      }
      text = it->second.name;
    }
    if (!buffer || size <= 0) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<UINT>(n);
  }

 private:
  // 1: an integer atom (in *atom); 0: a string; -1: invalid.
  static int Integer(LPCSTR name, ATOM* atom) {
    if (!name) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    if (IS_INTRESOURCE(name)) {
      *atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
      if (*atom == 0 || *atom >= 0xC000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
      }
      return 1;
    }
    if (name[0] == '#' && name[1]) {
      unsigned long v = 0;
      for (const char* p = name + 1; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        v = v * 10 + static_cast<unsigned long>(*p - '0');
        if (v >= 0xC000) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return -1;
        }
      }
      if (v == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
      }
      *atom = static_cast<ATOM>(v);
      return 1;
    }
    if (!*name || strlen(name) > 255) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    return 0;
  }
  struct Entry {
    std::string name;
    int refs;
  };
  std::mutex mu_;
  std::map<ATOM, Entry> entries_;
  std::map<std::string, ATOM> byName_;
};

AtomTable& GlobalAtoms() {
  static auto* t = new AtomTable();
  return *t;
}
AtomTable& LocalAtoms() {
  static auto* t = new AtomTable();
  return *t;
}

std::mutex g_envMutex;

std::mutex g_versionMutex;
bool g_versionOverridden = false;
bool g_extendedFails = false;
OSVERSIONINFOEXA g_version;

OSVERSIONINFOEXA FixedVersion() {
  OSVERSIONINFOEXA v{};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = 5;
  v.dwMinorVersion = 1;
  v.dwBuildNumber = 2600;
  v.dwPlatformId = VER_PLATFORM_WIN32_NT;
  strcpy(v.szCSDVersion, "Service Pack 2");
  v.wServicePackMajor = 2;
  v.wServicePackMinor = 0;
  v.wSuiteMask = VER_SUITE_SINGLEUSERTS;
  v.wProductType = VER_NT_WORKSTATION;
  return v;
}

OSVERSIONINFOEXA CurrentVersion(bool* extendedFails) {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  if (extendedFails) *extendedFails = g_versionOverridden && g_extendedFails;
  return g_versionOverridden ? g_version : FixedVersion();
}

thread_local unsigned t_randState = 1;

BOOL WINAPI Kernel32GetVersionEx(LPOSVERSIONINFOA info) { return GetVersionEx(info); }
DWORD WINAPI Kernel32GetVersion() { return GetVersion(); }

// The kernel module is always loaded, as on the platform.
[[maybe_unused]] const bool g_kernelRegistered = [] {
  static const kx::BuiltinExport exports[] = {
      {"GetVersionExA", 0, reinterpret_cast<void*>(&Kernel32GetVersionEx)},
      {"GetVersion", 0, reinterpret_cast<void*>(&Kernel32GetVersion)},
  };
  kx::RegisterBuiltinModule("KERNEL32.DLL", exports, sizeof exports / sizeof exports[0], true);
  return true;
}();

}  // namespace

ATOM GlobalAddAtom(LPCSTR name) { return GlobalAtoms().Add(name); }
ATOM GlobalFindAtom(LPCSTR name) { return GlobalAtoms().Find(name); }
ATOM GlobalDeleteAtom(ATOM atom) { return GlobalAtoms().Delete(atom); }
UINT GlobalGetAtomName(ATOM atom, LPSTR buffer, int size) { return GlobalAtoms().Name(atom, buffer, size); }
ATOM AddAtom(LPCSTR name) { return LocalAtoms().Add(name); }
ATOM FindAtom(LPCSTR name) { return LocalAtoms().Find(name); }
ATOM DeleteAtom(ATOM atom) { return LocalAtoms().Delete(atom); }
UINT GetAtomName(ATOM atom, LPSTR buffer, int size) { return LocalAtoms().Name(atom, buffer, size); }

DWORD GetEnvironmentVariable(LPCSTR name, LPSTR buffer, DWORD size) {
  std::string value;
  {
    std::lock_guard<std::mutex> lock(g_envMutex);
    const char* v = name ? getenv(name) : nullptr;
    if (!v) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
    value = v;
  }
  if (!buffer || size < value.size() + 1) return static_cast<DWORD>(value.size() + 1);
  memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

BOOL SetEnvironmentVariable(LPCSTR name, LPCSTR value) {
  if (!name || !*name || strchr(name, '=')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(g_envMutex);
  int r = value ? setenv(name, value, 1) : unsetenv(name);
  if (r != 0) return kx::FailWithErrno(errno);
  return TRUE;
}

DWORD ExpandEnvironmentStrings(LPCSTR source, LPSTR buffer, DWORD size) {
  if (!source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string out;
  std::string s = source;
  {
    std::lock_guard<std::mutex> lock(g_envMutex);
    size_t i = 0;
    while (i < s.size()) {
      size_t a = s.find('%', i);
      if (a == std::string::npos) {
        out += s.substr(i);
        break;
      }
      size_t b = s.find('%', a + 1);
      if (b == std::string::npos) {
        out += s.substr(i);
        break;
      }
      out += s.substr(i, a - i);
      std::string name = s.substr(a + 1, b - a - 1);
      const char* v = name.empty() ? nullptr : getenv(name.c_str());
      if (v) {
        out += v;
        i = b + 1;
      } else {
        out += s.substr(a, b - a);  // keep "%NAME" and look again from the closing sign
        i = b;
      }
    }
  }
  DWORD needed = static_cast<DWORD>(out.size() + 1);
  if (buffer && size >= needed) memcpy(buffer, out.c_str(), needed);
  return needed;
}

BOOL GetVersionEx(LPOSVERSIONINFOA info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  bool extendedFails;
  OSVERSIONINFOEXA v = CurrentVersion(&extendedFails);
  if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
    if (extendedFails) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    memcpy(info, &v, sizeof v);
  } else {
    v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    memcpy(info, &v, sizeof(OSVERSIONINFOA));
  }
  return TRUE;
}

DWORD GetVersion() {
  OSVERSIONINFOEXA v = CurrentVersion(nullptr);
  DWORD build = v.dwPlatformId == VER_PLATFORM_WIN32_NT ? (v.dwBuildNumber & 0x7FFF) : 0x8000 | (v.dwBuildNumber & 0x7FFF);
  return (v.dwMajorVersion & 0xFF) | ((v.dwMinorVersion & 0xFF) << 8) | (build << 16);
}

namespace kx {
void SetVersionForTests(const OSVERSIONINFOEXA* version, bool extendedFails) {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  g_versionOverridden = version != nullptr;
  g_extendedFails = extendedFails;
  if (version) g_version = *version;
}
}  // namespace kx

int lstrlen(LPCSTR s) { return s ? static_cast<int>(strlen(s)) : 0; }

LPSTR lstrcpy(LPSTR to, LPCSTR from) {
  if (!to || !from) return nullptr;
  return strcpy(to, from);
}

LPSTR lstrcpyn(LPSTR to, LPCSTR from, int max) {
  if (!to || !from || max <= 0) return max == 0 ? to : nullptr;
  int i = 0;
  for (; i < max - 1 && from[i]; ++i) to[i] = from[i];
  to[i] = 0;
  return to;
}

LPSTR lstrcat(LPSTR to, LPCSTR from) {
  if (!to || !from) return nullptr;
  return strcat(to, from);
}

int lstrcmpi(LPCSTR a, LPCSTR b) {
  if (!a) a = "";
  if (!b) b = "";
  for (;; ++a, ++b) {
    int x = Fold(static_cast<unsigned char>(*a)), y = Fold(static_cast<unsigned char>(*b));
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

int lstrcmp(LPCSTR a, LPCSTR b) {
  int c = lstrcmpi(a, b);
  if (c != 0) return c;
  if (!a) a = "";
  if (!b) b = "";
  for (; *a; ++a, ++b) {
    if (*a != *b) {
      // Same letter in another case: lower case sorts first.
      return (*a >= 'a' && *a <= 'z') ? -1 : 1;
    }
  }
  return 0;
}

int kx_rand() {
  t_randState = t_randState * 214013u + 2531011u;
  return static_cast<int>((t_randState >> 16) & 0x7FFF);
}

void kx_srand(unsigned seed) { t_randState = seed; }

namespace {
void CopyCut(char* out, const std::string& s, size_t max) {
  if (!out) return;
  size_t n = std::min(s.size(), max - 1);
  memcpy(out, s.data(), n);
  out[n] = 0;
}
}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  std::string p = path ? path : "";
  size_t slash = p.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  size_t dot = name.rfind('.');
  std::string e = dot == std::string::npos ? std::string() : name.substr(dot);
  if (dot != std::string::npos) name.resize(dot);
  CopyCut(drive, "", _MAX_DRIVE);
  CopyCut(dir, folder, _MAX_DIR);
  CopyCut(fname, name, _MAX_FNAME);
  CopyCut(ext, e, _MAX_EXT);
}

char* _fullpath(char* absPath, const char* relPath, size_t maxLength) {
  if (!relPath || !*relPath) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return nullptr;
    std::string c = cwd;
    if (!absPath) return strdup(c.c_str());
    if (c.size() + 1 > maxLength) return nullptr;
    memcpy(absPath, c.c_str(), c.size() + 1);
    return absPath;
  }
  char buf[4096];
  DWORD n = GetFullPathName(relPath, sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return nullptr;
  if (!absPath) return strdup(buf);
  if (n + 1 > maxLength) return nullptr;
  memcpy(absPath, buf, n + 1);
  return absPath;
}
