// Small helpers shared by the package tests.
#pragma once

#include <sys/stat.h>

#include <string>

namespace packagetest {

// Something is at the path (a dangling link counts).
inline bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace packagetest
