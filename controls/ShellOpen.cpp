#include "controls/ShellOpen.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/services/desktop.h"

extern char** environ;

namespace {

constexpr int kFileNotFound = 2;
constexpr int kOutOfMemory = 8;
constexpr int kNoAssociation = 31;
constexpr int kStarted = 42;

bool IsAddress(const std::string& s) {
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0 || s[0] == '/') return false;
  for (size_t i = 0; i < colon; ++i) {
    char c = s[i];
    if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return kFileNotFound;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
  if (rc == ENOENT) return kFileNotFound;
  if (rc != 0) return kOutOfMemory;
  // The opener runs on its own; its exit is collected so that it leaves no zombie.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return kStarted;
}

int ShellOpen(const char* target) {
  std::string path = target ? target : "";
  if (path.empty()) return kFileNotFound;
  // A file address is a local path as well.
  if (path.compare(0, 7, "file://") == 0) path = path.substr(7);
  if (!IsAddress(path)) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) return kFileNotFound;
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
      size_t slash = path.rfind('/');
      path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }
  }
  return kx::OpenWithDesktop(path) ? kStarted : kNoAssociation;
}

std::vector<std::string> SplitCommand(const std::string& command) {
  std::vector<std::string> parts;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) parts.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) parts.push_back(cur);
  return parts;
}
