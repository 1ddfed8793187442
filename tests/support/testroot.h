// Every test case runs with its own state root (registry, stores, documents, temp) under a fresh folder.
#pragma once

#include <functional>
#include <set>
#include <string>

namespace kxtest {

// The current test case's state root.
std::string Root();
// A fresh folder inside the current root, for a test's own files.
std::string MakeTempDir(const std::string& name = "work");
// Folder of the build (libraries in lib/, programs in bin/).
std::string BuildDir();
// Folder of the source tree.
std::string SourceDir();
// Runs a shell command and returns its exit status; output into *out when given.
int Run(const std::string& command, std::string* out = nullptr);
// Reads and writes whole files.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The names in a folder (no "." or "..").
std::set<std::string> FolderNames(const std::string& folder);
// Runs work in a child process that the system kills (SIGXFSZ) once it writes a file beyond limit bytes, as a
// crash or a full disk stops a run half-way; the child's wait status.
int RunKilledWhileWriting(size_t limit, const std::function<void()>& work);
// Runs work in a child process and kills it (SIGKILL) once a new file (none that was there before) it holds
// open in folder, named or not, has reached at least size bytes; the child's wait status (its own exit when it ended first).
int RunKilledWhenWritten(const std::string& folder, long long size, const std::function<void()>& work);

}  // namespace kxtest
