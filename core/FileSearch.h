// A wildcard search of one folder that remembers the folder it searches, and the size of a file.
#pragma once

#include <climits>

#include "platform/win32/files.h"
#include "platform/win32/types.h"

class CFileSearch {
 public:
  CFileSearch() = default;
  ~CFileSearch() { Close(); }
  CFileSearch(const CFileSearch&) = delete;
  CFileSearch& operator=(const CFileSearch&) = delete;

  // Starts a search (null means "*.*"); TRUE when something matched. The folder becomes the pattern's folder,
  // made absolute, without a trailing separator. FALSE with the platform's last error otherwise
  // (ERROR_INVALID_NAME when the pattern cannot be made absolute); no search stays open then.
  BOOL FindFile(LPCSTR pattern = nullptr);
  // The next match; FALSE (and the search closed) at the end.
  BOOL FindNextFile();
  void Close();

  BOOL IsFound() const { return m_bFound; }
  BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
  // "." or "..".
  BOOL IsDots() const;
  BOOL MatchesMask(DWORD mask) const { return m_bFound && (m_FindData.dwFileAttributes & mask) != 0; }
  const WIN32_FIND_DATAA& GetFindData() const { return m_FindData; }
  LPCSTR GetFileName() const { return m_FindData.cFileName; }
  LPCSTR GetFolder() const { return m_szFolder; }
  // The folder, the separator and the current match's name.
  void GetFilePath(char* out, size_t size) const;

 private:
  WIN32_FIND_DATAA m_FindData{};
  // Longer than the platform's MAX_PATH: a long folder must not pass for "nothing there".
  char m_szFolder[PATH_MAX] = {};
  char m_chSeparator = '/';
  HANDLE m_hFind = nullptr;
  bool m_bFound = false;
};

// The file's size in bytes, the whole 64 bits; 0.0 for a missing file or anything that is not a file.
double GetFileLength(LPCSTR path);
