// The library's one application object and its start-up.
//
// The start-up (the application's InitInstance, after the checks that make a failure loud) runs however a host
// loads the library: the platform's LoadLibrary runs it from the attach entry; a host that used dlopen or linked
// the library at build time gets it from its first export call. It runs once for any number of holders and
// threads (one lock), and is undone when the last holder lets go: the loader's FreeLibrary, or the unloading of
// the library for the hold the export calls took.
#include "library/startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/BrinmoorApp.h"
#include "platform/mfc/afxstate.h"
#include "platform/ui/display.h"
#include "platform/win32/modules.h"
#include "platform/win32/stateroot.h"

namespace {

CBrinmoorApp theApp;

std::string Cause(int error) {
  char buffer[256];
  return strerror_r(error, buffer, sizeof buffer);
}

// Makes the folder with its parents and proves that a file can be written in it; the cause when it cannot.
std::string FolderProblem(const std::string& folder) {
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    std::string path = folder.substr(0, i);
    // An existing file in the way shows as the next folder's "Not a directory", or as the write's.
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return "cannot make " + path + ": " + Cause(errno);
  }
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a named one, removed at once.
    std::string probe = folder + "/.kx-write-probe-XXXXXX";
    fd = mkstemp(probe.data());
    if (fd >= 0) unlink(probe.c_str());
  }
  if (fd < 0) return "cannot write in it: " + Cause(errno);
  close(fd);
  return {};
}

// Why the library cannot start in this process, before its application runs; empty when it can.
std::string StartProblem() {
  const std::string root = kx::StateRootOverride();
  std::string temp = kx::TempDir();
  if (temp.size() > 1 && temp.back() == '/') temp.pop_back();
  for (const std::string& folder : {kx::UserStateDir(), temp}) {
    std::string problem = FolderProblem(folder);
    if (!problem.empty())
      return "the state folder " + folder + " cannot be used (" + problem + ")" +
             (root.empty() ? "; KESMORA_ROOT=<folder> moves the state to a folder you can write"
                           : "; KESMORA_ROOT is " + root);
  }
  const char* headless = getenv("KX_HEADLESS");
  const char* display = getenv("DISPLAY");
  if (!(headless && strcmp(headless, "1") == 0)) {
    if (!display || !*display)
      return "there is no X display: DISPLAY is not set (KX_HEADLESS=1 runs the windows without a screen, for a "
             "program that drives them itself)";
    std::string why;
    if (!kx::ui::DisplayOpened(&why)) return why;
  }
  return {};
}

class Lifetime {
 public:
  ~Lifetime() {
    std::lock_guard<std::mutex> lock(m_);
    if (exportHold_) ReleaseLocked();
  }

  BOOL Attach(HINSTANCE instance) {
    std::lock_guard<std::mutex> lock(m_);
    if (holders_ == 0) {
      std::string problem = Start(instance);
      if (!problem.empty()) {
        fprintf(stderr, "brinmoor: the library cannot start: %s\n", problem.c_str());
        fflush(stderr);
        return FALSE;
      }
    }
    ++holders_;
    return TRUE;
  }

  void Detach() {
    std::lock_guard<std::mutex> lock(m_);
    // Also called after an attach that failed, whose start-up was undone already.
    if (holders_ > 0) ReleaseLocked();
  }

  bool ForExport(const char* name) {
    std::lock_guard<std::mutex> lock(m_);
    if (holders_ > 0) return true;
    if (failure_.empty()) {
      failure_ = Start(kx::ModuleFromAddress(&theApp));
      if (failure_.empty()) {
        holders_ = 1;
        exportHold_ = true;
        return true;
      }
    }
    fprintf(stderr, "brinmoor: %s: the library cannot start: %s\n", name, failure_.c_str());
    fflush(stderr);
    return false;
  }

 private:
  // Runs the start-up; the reason when it failed (nothing of it is left running then).
  static std::string Start(HINSTANCE instance) {
    std::string problem = StartProblem();
    if (!problem.empty()) return problem;
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    if (kx::AfxModuleEntry(state, instance, DLL_PROCESS_ATTACH)) return {};
    problem = theApp.m_strStartError.IsEmpty() ? std::string("its start-up failed") : theApp.m_strStartError.str();
    kx::AfxModuleEntry(state, instance, DLL_PROCESS_DETACH);
    return problem;
  }

  void ReleaseLocked() {
    if (--holders_ > 0) return;
    exportHold_ = false;
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    kx::AfxModuleEntry(state, state->m_hCurrentInstanceHandle, DLL_PROCESS_DETACH);
  }

  std::mutex m_;
  int holders_ = 0;         // the loader's attach and the export calls' hold
  bool exportHold_ = false;  // the export calls started the library and hold it until it is unloaded
  std::string failure_;     // why the export calls' start-up failed; every later call fails the same way
};

Lifetime g_lifetime;

BOOL LibraryEntry(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) return g_lifetime.Attach(instance);
  if (reason == DLL_PROCESS_DETACH) g_lifetime.Detach();
  return TRUE;
}

// Takes the loader's entry over from the application object's own, so that both ways in share one start-up.
const bool g_entry = kx::RegisterModuleEntry(&LibraryEntry);

}  // namespace

bool LibraryStartedFor(const char* exportName) { return g_lifetime.ForExport(exportName); }
