#include "support/testroot.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace kxtest
