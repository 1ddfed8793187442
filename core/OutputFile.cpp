#include "core/OutputFile.h"

#include <atomic>
#include <string>

#include "core/Paths.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"

namespace {

constexpr int kMaxNumber = 100000;

bool Exists(const CString& path) { return GetFileAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

}  // namespace

COutputFile::~COutputFile() { Discard(); }

CString COutputFile::Numbered(const CString& first, int n) {
  if (n <= 0) return first;
  CPathParts parts(first);
  CString name;
  name.Format("%s%s%s(%d)%s", static_cast<const char*>(parts.GetDrive()), static_cast<const char*>(parts.GetDirectory()),
              static_cast<const char*>(parts.GetFileName()), n, static_cast<const char*>(parts.GetExtension()));
  return name;
}

bool COutputFile::Create(const CString& first) {
  static std::atomic<unsigned> counter{0};
  Discard();
  m_bCommitted = false;
  m_strFirst = first;
  m_nNumber = 0;
  while (m_nNumber < kMaxNumber && Exists(Numbered(first, m_nNumber))) ++m_nNumber;
  if (m_nNumber >= kMaxNumber) {
    SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  m_strPath = Numbered(first, m_nNumber);
  // In the output's folder, so that the rename stays within one file system; a short name of its own, so that
  // an output whose name is as long as a name may be still gets a temporary file.
  const std::string path = m_strPath.str();
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    CString temporary;
    temporary.Format("%s.~kx%u-%u.kxpart", folder.c_str(), static_cast<unsigned>(GetCurrentProcessId()),
                     counter.fetch_add(1) + 1);
    HANDLE h = CreateFile(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      m_strTemporary = temporary;
      return true;
    }
    if (!IsTaken(GetLastError())) return false;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return false;
}

bool COutputFile::Commit() {
  if (m_bCommitted) return true;
  if (!IsCreated()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (; m_nNumber < kMaxNumber; ++m_nNumber) {
    const CString candidate = Numbered(m_strFirst, m_nNumber);
    if (MoveFileEx(m_strTemporary, candidate, 0)) {
      m_strPath = candidate;
      m_strTemporary.Empty();
      m_bCommitted = true;
      return true;
    }
    if (!IsTaken(GetLastError())) break;
  }
  const DWORD error = IsTaken(GetLastError()) ? ERROR_FILE_EXISTS : GetLastError();
  Discard();
  SetLastError(error);
  return false;
}

void COutputFile::Discard() {
  if (m_strTemporary.IsEmpty()) return;
  const DWORD error = GetLastError();
  DeleteFile(m_strTemporary);
  m_strTemporary.Empty();
  SetLastError(error);
}
