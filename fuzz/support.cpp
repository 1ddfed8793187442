#include "support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/win32/stateroot.h"

namespace kxfuzz {

namespace {

struct RootHolder {
  std::string path;
  RootHolder() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kxfuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      perror("mkdtemp");
      abort();
    }
    path = pattern;
    setenv("KESMORA_ROOT", path.c_str(), 1);
    kx::NotifyStateRootChanged();
  }
  ~RootHolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& Root() {
  static RootHolder holder;
  return holder.path;
}

std::string CleanDir(const std::string& name) {
  const std::string dir = Root() + "/" + name;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir, ignored);
  return dir;
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return close(fd) == 0 && done == size;
}

}  // namespace kxfuzz
