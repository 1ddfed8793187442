// Helper program for the kernel tests that need a second process.
//   regset <hive> <key> <name> <text>     writes a REG_SZ value, exits with the result code
//   regget <hive> <key> <name>            prints the REG_SZ value, exits with the result code
//   regcreate <hive> <key>                creates a key, exits with the result code
//   regloop <key> <name> <bytes>          rewrites a binary value forever, alternating 'A' x bytes and 'B' x (bytes+7);
//                                         writes one byte to standard output once the first value is stored
//   hold <path> <access> <share> <flag>   opens a file, creates <flag>, then sleeps until killed
// hive is HKCU or HKLM.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

static HKEY Hive(const char* name) { return strcmp(name, "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  std::string cmd = argv[1];
  if (cmd == "regset" && argc == 6) {
    HKEY k;
    LONG r = RegCreateKeyEx(Hive(argv[2]), argv[3], 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    if (r != 0) return static_cast<int>(r);
    r = RegSetValueEx(k, argv[4], 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[5]), static_cast<DWORD>(strlen(argv[5]) + 1));
    RegCloseKey(k);
    return static_cast<int>(r);
  }
  if (cmd == "regget" && argc == 5) {
    HKEY k;
    LONG r = RegOpenKeyEx(Hive(argv[2]), argv[3], 0, KEY_READ, &k);
    if (r != 0) return static_cast<int>(r);
    char buf[1024];
    DWORD size = sizeof buf, type = 0;
    r = RegQueryValueEx(k, argv[4], nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    if (r == 0) printf("%s", buf);
    return static_cast<int>(r);
  }
  if (cmd == "regcreate" && argc == 4) {
    HKEY k;
    LONG r = RegCreateKeyEx(Hive(argv[2]), argv[3], 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    if (r == 0) RegCloseKey(k);
    return static_cast<int>(r);
  }
  if (cmd == "regloop" && argc == 5) {
    HKEY k;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, argv[2], 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != 0) return 1;
    size_t n = strtoul(argv[4], nullptr, 10);
    std::vector<BYTE> a(n, 'A'), b(n + 7, 'B');
    for (unsigned i = 0;; ++i) {
      const auto& v = (i % 2) ? b : a;
      if (RegSetValueEx(k, argv[3], 0, REG_BINARY, v.data(), static_cast<DWORD>(v.size())) != 0) return 2;
      if (i == 0 && (write(STDOUT_FILENO, "w", 1) != 1 || close(STDOUT_FILENO) != 0)) return 3;
    }
  }
  if (cmd == "hold" && argc == 6) {
    HANDLE h = CreateFile(argv[2], static_cast<DWORD>(strtoul(argv[3], nullptr, 0)),
                          static_cast<DWORD>(strtoul(argv[4], nullptr, 0)), nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    FILE* f = fopen(argv[5], "w");
    if (f) fclose(f);
    for (;;) pause();
  }
  return 100;
}
