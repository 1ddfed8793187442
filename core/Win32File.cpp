#include "core/Win32File.h"

#include "platform/win32/files.h"
#include "platform/win32/sync.h"

namespace {
HANDLE OrNull(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
}  // namespace

CWin32File::CWin32File(const char* path) {
  m_hFile = OrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
}

CWin32File::CWin32File(const char* path, const CByteBuffer& buffer) {
  m_hFile = OrNull(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (m_hFile) m_buffer = buffer;
}

CWin32File::~CWin32File() {
  Close();
  m_buffer.Free(false);
}

void CWin32File::Close() {
  if (m_hFile) CloseHandle(m_hFile);
  m_hFile = nullptr;
}

HRESULT CWin32File::ReadAll(DWORD n) {
  if (!m_hFile) return E_FAIL;
  if (n == 0) {
    DWORD high = 0;
    n = GetFileSize(m_hFile, &high);
    if (n == INVALID_FILE_SIZE) {
      BY_HANDLE_FILE_INFORMATION info;
      if (!GetFileInformationByHandle(m_hFile, &info)) return E_FAIL;
      n = info.nFileSizeLow;
      high = info.nFileSizeHigh;
    }
    // A file of 4 GiB or more cannot be held whole; reading its low part would pass for the whole file.
    if (high != 0) return E_FAIL;
  }
  if (!m_buffer.Allocate(n, true)) return E_FAIL;
  DWORD read = 0;
  if (!ReadFile(m_hFile, m_buffer.GetData(), n, &read, nullptr) || read != n) return E_FAIL;
  return S_OK;
}

HRESULT CWin32File::WriteAll(DWORD n) {
  if (!m_hFile) return E_FAIL;
  if (n == 0) n = m_buffer.GetLength();
  if (n == 0 || n > m_buffer.GetLength()) return E_FAIL;
  DWORD written = 0;
  if (!WriteFile(m_hFile, m_buffer.GetData(), n, &written, nullptr) || written != n) return E_FAIL;
  return S_OK;
}
