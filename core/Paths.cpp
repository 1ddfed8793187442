#include "core/Paths.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "core/ByteBuffer.h"
#include "platform/com/bstr.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"

namespace {

// Copies at most max - 1 bytes of src, never ending inside a UTF-8 character, and terminates.
void CopyCut(char* dst, size_t max, const char* src, size_t n) {
  if (n >= max) {
    n = max - 1;
    while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

std::string NameOf(const WIN32_FIND_DATAA* e) { return e ? std::string(e->cFileName) : std::string(); }

bool Fits(DWORD total, DWORD cursor, uint64_t size) { return static_cast<uint64_t>(cursor) + size <= total; }

DWORD ReadLe32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}

void WriteLe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}

}  // namespace

// ---- CPathParts ----

CPathParts::CPathParts(const char* path) {
  m_szPath[0] = m_szDrive[0] = m_szDir[0] = m_szFname[0] = m_szExt[0] = 0;
  std::memset(m_szPath, 0, sizeof m_szPath);
  if (path) Split(path);
}

bool CPathParts::Split(const char* path) {
  if (!path) return false;
  CopyCut(m_szPath, sizeof m_szPath, path, std::strlen(path));
  m_szDrive[0] = 0;
  const char* p = m_szPath;
  const char* lastSep = std::strrchr(p, '/');
  const char* name = lastSep ? lastSep + 1 : p;
  CopyCut(m_szDir, sizeof m_szDir, p, static_cast<size_t>(name - p));
  const char* dot = std::strrchr(name, '.');
  const char* nameEnd = dot ? dot : name + std::strlen(name);
  CopyCut(m_szFname, sizeof m_szFname, name, static_cast<size_t>(nameEnd - name));
  CopyCut(m_szExt, sizeof m_szExt, nameEnd, std::strlen(nameEnd));
  return true;
}

// ---- CFileFinder ----

CFileFinder::CFileFinder() = default;

CFileFinder::~CFileFinder() { Close(); }

void CFileFinder::Close() {
  delete m_pCurrent;
  delete m_pNext;
  m_pCurrent = m_pNext = nullptr;
  if (m_hFind && m_hFind != INVALID_HANDLE_VALUE) FindClose(m_hFind);
  m_hFind = nullptr;
}

bool CFileFinder::FindFile(const char* pattern) {
  Close();
  if (!pattern) pattern = "*.*";
  m_pNext = new (std::nothrow) WIN32_FIND_DATAA();
  if (!m_pNext) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  HANDLE h = FindFirstFileA(pattern, m_pNext);
  if (h == INVALID_HANDLE_VALUE || !h) {
    DWORD err = GetLastError();
    Close();
    SetLastError(err);
    return false;
  }
  m_hFind = h;
  char full[kMaxPath];
  DWORD n = GetFullPathNameA(pattern, sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) {
    m_root = CBstrString();
    Close();
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const char* cut = std::strrchr(full, '/');
  const char* back = std::strrchr(full, '\\');
  if (back && (!cut || back > cut)) cut = back;
  m_root = cut ? CBstrString(std::string(full, static_cast<size_t>(cut - full)).c_str()) : CBstrString(full);
  return true;
}

bool CFileFinder::FindNextFile() {
  if (!m_hFind) return false;
  if (!m_pCurrent) {
    m_pCurrent = new (std::nothrow) WIN32_FIND_DATAA();
    if (!m_pCurrent) return false;
  }
  std::swap(m_pCurrent, m_pNext);
  return FindNextFileA(m_hFind, m_pNext) != FALSE;
}

CString CFileFinder::GetFileName() const { return NameOf(m_pCurrent); }

CString CFileFinder::GetFilePath() const {
  std::string root = m_root.GetAnsi() ? m_root.GetAnsi() : "";
  if (root.empty() || root.back() != m_chSeparator) root += m_chSeparator;
  return root + NameOf(m_pCurrent);
}

CString CFileFinder::GetFileTitle() const { return CPathParts(NameOf(m_pCurrent).c_str()).GetFileName(); }

CString CFileFinder::GetFileURL() const { return "file://" + GetFilePath(); }

DWORD CFileFinder::GetLength() const { return m_pCurrent ? m_pCurrent->nFileSizeLow : 0; }

bool CFileFinder::MatchesMask(DWORD attributeMask) const {
  return m_pCurrent && (m_pCurrent->dwFileAttributes & attributeMask) != 0;
}

bool CFileFinder::IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }

bool CFileFinder::IsDots() const {
  if (!IsDirectory()) return false;
  const char* n = m_pCurrent->cFileName;
  return std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0;
}

bool CFileFinder::GetCreationTime(FILETIME* out) const {
  if (!m_pCurrent || !out) return false;
  *out = m_pCurrent->ftCreationTime;
  return true;
}

bool CFileFinder::GetLastAccessTime(FILETIME* out) const {
  if (!m_pCurrent || !out) return false;
  *out = m_pCurrent->ftLastAccessTime;
  return true;
}

bool CFileFinder::GetLastWriteTime(FILETIME* out) const {
  if (!m_pCurrent || !out) return false;
  *out = m_pCurrent->ftLastWriteTime;
  return true;
}

// ---- cursor functions ----

bool CursorReadBuffer(DWORD total, const BYTE* array, CByteBuffer& out, DWORD* cursor) {
  out.Free(false);
  if (!array || !cursor || !Fits(total, *cursor, 4)) return false;
  DWORD len = ReadLe32(array + *cursor);
  if (!Fits(total, *cursor, 4ull + len)) return false;
  if (len && !out.SetAt(len, array + *cursor + 4, 0)) return false;
  *cursor += 4 + len;
  return true;
}

bool CursorReadBstr(DWORD total, const BYTE* array, BSTR* out, DWORD* cursor) {
  if (!array || !cursor || !out || !Fits(total, *cursor, 4)) return false;
  DWORD len = ReadLe32(array + *cursor);
  if (!Fits(total, *cursor, 4ull + len)) return false;
  BSTR b = SysAllocStringByteLen(reinterpret_cast<const char*>(array + *cursor + 4), len);
  if (!b) return false;
  *out = b;
  *cursor += 4 + len;
  return true;
}

bool CursorReadUInt32(DWORD total, const BYTE* array, DWORD* out, DWORD* cursor) {
  if (!array || !cursor || !out || !Fits(total, *cursor, 4)) return false;
  *out = ReadLe32(array + *cursor);
  *cursor += 4;
  return true;
}

bool CursorReadByte(DWORD total, const BYTE* array, BYTE* out, DWORD* cursor) {
  if (!array || !cursor || !out || !Fits(total, *cursor, 1)) return false;
  *out = array[*cursor];
  *cursor += 1;
  return true;
}

namespace {
bool WriteBlock(DWORD total, BYTE* array, const void* data, DWORD len, DWORD* cursor) {
  if (!array || !cursor || !Fits(total, *cursor, 4ull + len)) return false;
  WriteLe32(array + *cursor, len);
  if (len) std::memcpy(array + *cursor + 4, data, len);
  *cursor += 4 + len;
  return true;
}
}  // namespace

bool CursorWriteBuffer(DWORD total, BYTE* array, const CByteBuffer& value, DWORD* cursor) {
  return WriteBlock(total, array, value.GetData(), value.GetLength(), cursor);
}

bool CursorWriteBstr(DWORD total, BYTE* array, BSTR value, DWORD* cursor) {
  return WriteBlock(total, array, value, value ? SysStringByteLen(value) : 0, cursor);
}

bool CursorWriteUInt32(DWORD total, BYTE* array, DWORD value, DWORD* cursor) {
  if (!array || !cursor || !Fits(total, *cursor, 4)) return false;
  WriteLe32(array + *cursor, value);
  *cursor += 4;
  return true;
}

bool CursorWriteByte(DWORD total, BYTE* array, BYTE value, DWORD* cursor) {
  if (!array || !cursor || !Fits(total, *cursor, 1)) return false;
  array[*cursor] = value;
  *cursor += 1;
  return true;
}

// ---- HTML Help ----

namespace {

using HtmlHelpFn = HWND (*)(HWND, LPCSTR, UINT, DWORD_PTR);

HtmlHelpFn LoadHtmlHelp() {
  HMODULE module = nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                    KEY_READ, &key) == ERROR_SUCCESS) {
    char path[kMaxPath + 1] = {};
    DWORD size = kMaxPath;
    DWORD type = 0;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS &&
        path[0])
      module = LoadLibraryA(path);
    RegCloseKey(key);
  }
  if (!module) module = LoadLibraryA("hhctrl.ocx");
  if (!module) return nullptr;
  return reinterpret_cast<HtmlHelpFn>(GetProcAddress(module, MAKEINTRESOURCE(14)));
}

}  // namespace

HWND HtmlHelpLoader(HWND owner, const char* file, UINT command, DWORD_PTR data) {
  static std::once_flag once;
  static HtmlHelpFn entry = nullptr;
  std::call_once(once, [] { entry = LoadHtmlHelp(); });
  return entry ? entry(owner, file, command, data) : nullptr;
}
