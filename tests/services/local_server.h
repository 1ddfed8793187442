// A helper server for tests: a python3 script started on 127.0.0.1 that prints "PORT <n>" when it listens.
// The server is stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kxtest {

class LocalServer {
 public:
  LocalServer() = default;
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;
  ~LocalServer() { Stop(); }

  // Starts `python3 <script> <args...>`; false (with the reason) when it did not report its port in time.
  bool Start(const std::string& script, const std::vector<std::string>& args, std::string* error);
  void Stop();

  int port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound and released at once).
int UnusedPort();

}  // namespace kxtest
