#include "core/OutputFile.h"

#include <string>

#include "core/Paths.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"

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
  // In the output's folder, so that naming it stays within one file system.
  const std::string path = m_strPath.str();
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  if (!m_file.Create(folder)) return false;
  m_strTemporary = m_file.Path().c_str();
  return true;
}

bool COutputFile::Commit() {
  if (m_bCommitted) return true;
  if (!IsCreated()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const mode_t mode = kx::ModeFromUmask();
  for (; m_nNumber < kMaxNumber; ++m_nNumber) {
    const CString candidate = Numbered(m_strFirst, m_nNumber);
    if (m_file.Name(std::string(static_cast<const char*>(candidate)), mode)) {
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
  if (!m_file.IsCreated()) return;
  const DWORD error = GetLastError();
  m_file.Discard();
  m_strTemporary.Empty();
  SetLastError(error);
}

CString OutputFolderOf(const CString& input, const CString& folder) {
  if (folder.IsEmpty()) return input.Left(input.ReverseFind('/') + 1);
  return folder[folder.GetLength() - 1] == '/' ? folder : folder + "/";
}

CString ProtectedFileName(const CString& input, const CString& folder) {
  return OutputFolderOf(input, folder) + input.Mid(input.ReverseFind('/') + 1) + ".Tvx";
}
