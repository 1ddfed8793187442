// Small file helpers of the engine's on-disk stores: whole-file reads, atomic replacement, folder locks.
#pragma once

#include <string>
#include <vector>

#include "platform/capicom/core/ossl.h"

namespace kx::capi {

bool ReadWholeFile(const std::string& path, Bytes& out);
// Writes through a temporary file in the same folder and renames it over the target, so readers see the old
// or the new content, never a torn one. mode is applied to the new file before it becomes visible.
bool WriteFileAtomic(const std::string& path, const void* data, size_t len, unsigned mode = 0644);
inline bool WriteFileAtomic(const std::string& path, const std::string& s, unsigned mode = 0644) {
  return WriteFileAtomic(path, s.data(), s.size(), mode);
}
bool MakeDirs(const std::string& path, unsigned mode = 0755);
bool FileExists(const std::string& path);
bool CanWriteDir(const std::string& path);
std::vector<std::string> ListDir(const std::string& path);

// An advisory lock on a folder's ".lock" file, shared or exclusive, held for the object's life. Several host
// processes may use one store at once.
class FolderLock {
 public:
  FolderLock(const std::string& dir, bool exclusive);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int m_fd = -1;
};

}  // namespace kx::capi
