#include "core/FileSearch.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/crt.h"
#include "platform/win32/errors.h"
#include "platform/win32/handles.h"

BOOL CFileSearch::FindFile(LPCSTR pattern) {
  Close();
  if (!pattern) pattern = "*.*";
  snprintf(m_FindData.cFileName, sizeof m_FindData.cFileName, "%s", pattern);
  HANDLE h = FindFirstFile(pattern, &m_FindData);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  m_hFind = h;
  if (!_fullpath(m_szFolder, pattern, sizeof m_szFolder)) {
    Close();
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  // Only "/" separates folders here: a backslash is part of a name.
  if (char* cut = strrchr(m_szFolder, m_chSeparator)) *cut = 0;
  m_bFound = true;
  return TRUE;
}

BOOL CFileSearch::FindNextFile() {
  if (!m_hFind || m_hFind == INVALID_HANDLE_VALUE) return FALSE;
  if (!::FindNextFile(m_hFind, &m_FindData)) {
    Close();
    return FALSE;
  }
  m_bFound = true;
  return TRUE;
}

void CFileSearch::Close() {
  m_bFound = false;
  if (m_hFind && m_hFind != INVALID_HANDLE_VALUE) FindClose(m_hFind);
  m_hFind = nullptr;
}

BOOL CFileSearch::IsDots() const {
  return m_bFound && (strcmp(m_FindData.cFileName, ".") == 0 || strcmp(m_FindData.cFileName, "..") == 0);
}

void CFileSearch::GetFilePath(char* out, size_t size) const {
  if (out && size) snprintf(out, size, "%s%c%s", m_szFolder, m_chSeparator, m_FindData.cFileName);
}

double GetFileLength(LPCSTR path) {
  struct stat st {};
  if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0.0;
  return static_cast<double>(st.st_size);
}
