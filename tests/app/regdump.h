// The values below a registry key, as "subkey\name" -> "type:value" (numbers in decimal, texts as they are).
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "platform/win32/registry.h"

namespace kxtest {

inline void DumpKey(HKEY root, const std::string& path, const std::string& prefix,
                    std::map<std::string, std::string>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name, type = 0;
    BYTE data[4096];
    DWORD size = sizeof data;
    if (RegEnumValue(key, i, name, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::string v;
    if (type == REG_DWORD && size == 4) {
      DWORD n;
      memcpy(&n, data, 4);
      v = "dword:" + std::to_string(n);
    } else if (type == REG_SZ) {
      v = "sz:" + std::string(reinterpret_cast<char*>(data), size ? strnlen(reinterpret_cast<char*>(data), size) : 0);
    } else {
      v = "type" + std::to_string(type) + ":" + std::to_string(size);
    }
    out[prefix + name] = v;
  }
  for (DWORD i = 0;; ++i) {
    char sub[256];
    DWORD subSize = sizeof sub;
    if (RegEnumKeyEx(key, i, sub, &subSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DumpKey(root, path + "\\" + sub, prefix + sub + "\\", out);
  }
  RegCloseKey(key);
}

inline std::map<std::string, std::string> DumpRegistry(HKEY root, const std::string& path) {
  std::map<std::string, std::string> out;
  DumpKey(root, path, "", out);
  return out;
}

}  // namespace kxtest
