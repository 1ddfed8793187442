#include "support/testroot.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/win32/stateroot.h"

namespace kxtest {
namespace {

std::string g_root;

std::string Env(const char* n) {
  const char* v = std::getenv(n);
  return v ? v : "";
}

// Gives each test case a fresh KESMORA_ROOT and removes it afterwards when the case passed.
class RootListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    std::string base = Env("KX_TEST_TMP");
    if (base.empty()) base = "/tmp";
    std::string tmpl = base + "/kxtest-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    g_root = tmpl;
    setenv("KESMORA_ROOT", g_root.c_str(), 1);
    // The system's trust anchors stay out of a case unless it writes its own bundle here or names the system's.
    setenv("KESMORA_TRUST_ANCHORS", (g_root + "/trust-anchors.crt").c_str(), 1);
    unsetenv("TMPDIR");
    kx::NotifyStateRootChanged();
  }
  void OnTestEnd(const ::testing::TestInfo& info) override {
    kx::NotifyStateRootChanged();
    if (info.result()->Passed() && Env("KX_KEEP_ROOTS").empty() && !g_root.empty()) {
      std::string cmd = "rm -rf '" + g_root + "'";
      if (std::system(cmd.c_str()) != 0) {
        // leave it; nothing depends on it
      }
    }
  }
};

}  // namespace

void InstallRootListener() {
  ::testing::UnitTest::GetInstance()->listeners().Append(new RootListener());
}

std::string Root() { return g_root; }

std::string MakeTempDir(const std::string& name) {
  std::string dir = g_root + "/" + name;
  ::mkdir(dir.c_str(), 0755);
  return dir;
}

std::string BuildDir() {
  std::string b = Env("KX_TEST_BIN");
  if (!b.empty()) return b;
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  std::string exe(buf);
  exe = exe.substr(0, exe.rfind('/'));           // bin
  return exe.substr(0, exe.rfind('/'));          // build
}

std::string SourceDir() {
  std::string s = Env("KX_SOURCE_DIR");
  return s.empty() ? std::string(KX_SOURCE_DIR_DEFAULT) : s;
}

int Run(const std::string& command, std::string* out) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
  }
  return names;
}

int RunKilledWhileWriting(size_t limit, const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const rlimit cap{limit, limit};
    setrlimit(RLIMIT_FSIZE, &cap);
    work();
    _exit(0);
  }
  int status = -1;
  if (child > 0) waitpid(child, &status, 0);
  return status;
}

namespace {

std::set<ino_t> InodesIn(const std::string& folder) {
  std::set<ino_t> inodes;
  for (const std::string& name : FolderNames(folder)) {
    struct stat st;
    if (lstat((folder + "/" + name).c_str(), &st) == 0) inodes.insert(st.st_ino);
  }
  return inodes;
}

// The largest new file (none of old) the process holds open in folder; -1 for none.
long long LargestOpenIn(pid_t pid, const std::string& folder, const std::set<ino_t>& old) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  long long largest = -1;
  DIR* dir = opendir(fds.c_str());
  if (!dir) return largest;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string link = fds + "/" + entry->d_name;
    char target[4096];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    if (std::string(target).rfind(folder + "/", 0) != 0) continue;
    struct stat st;
    if (stat(link.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !old.count(st.st_ino) && st.st_size > largest)
      largest = st.st_size;
  }
  closedir(dir);
  return largest;
}

}  // namespace

int RunKilledWhenWritten(const std::string& folder, long long size, const std::function<void()>& work) {
  char resolved[4096];
  const std::string where = realpath(folder.c_str(), resolved) ? resolved : folder;
  const std::set<ino_t> old = InodesIn(where);
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    work();
    _exit(0);
  }
  int status = -1;
  if (child < 0) return status;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return status;
    if (done < 0) return -1;
    if (LargestOpenIn(child, where, old) >= size) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return status;
    }
    usleep(200);
  }
}

}  // namespace kxtest
