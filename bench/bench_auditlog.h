// A full audit log for the benchmarks: count entries of the size a batch worker writes.
#pragma once

#include <memory>
#include <string>

#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"

namespace kxbench {

inline bool WriteAuditLog(const char* path, DWORD count) {
  CFileManager manager;
  std::unique_ptr<CAuditLogFile> log(static_cast<CAuditLogFile*>(manager.CreateFileObject("KALF")));
  if (!log) return false;
  log->SetCreationDate();
  log->SetCreationTime();
  for (DWORD i = 0; i < count; ++i)
    log->m_entries.Add(CAuditLogEntry("Encrypt Operation", "Thursday, 10 December 2026 20:00:00", "Information",
                                      ("The file was encrypted: /home/user/documents/report-" + std::to_string(i) + ".doc").c_str()));
  return log->Save(path);
}

}  // namespace kxbench
