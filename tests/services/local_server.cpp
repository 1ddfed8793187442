#include "services/local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace kxtest {

bool LocalServer::Start(const std::string& script, const std::vector<std::string>& args, std::string* error) {
  Stop();
  int out[2];
  if (pipe(out) != 0) {
    *error = "pipe failed";
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    *error = "fork failed";
    return false;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv{const_cast<char*>("python3"), const_cast<char*>(script.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp("python3", argv.data());
    _exit(127);
  }
  close(out[1]);
  pid_ = pid;
  // Read the first line within 20 seconds.
  std::string line;
  pollfd pfd{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos) {
    if (poll(&pfd, 1, 20000) <= 0) break;
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  if (line.rfind("PORT ", 0) != 0) {
    *error = "server did not start: " + line;
    Stop();
    return false;
  }
  port_ = std::atoi(line.c_str() + 5);
  return port_ > 0;
}

void LocalServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  port_ = 0;
}

int UnusedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

}  // namespace kxtest
