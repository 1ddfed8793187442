#include "platform/services/desktop.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

extern char** environ;

bool kx::HaveDisplay() {
  const char* x = getenv("DISPLAY");
  const char* w = getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

bool kx::OpenWithDesktop(const std::string& target) {
  if (!HaveDisplay() || target.empty()) return false;
  const char* opener = getenv("KX_DESKTOP_OPENER");
  std::string program = opener && *opener ? opener : "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // The opener may keep running; its end is collected in the background so that it leaves no zombie.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}
