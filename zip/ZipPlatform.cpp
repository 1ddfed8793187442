#include "zip/ZipPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/files.h"
#include "platform/win32/textconv.h"
#include "zip/ZipBuffer.h"
#include "zip/ZipException.h"

namespace {

constexpr char kDiskMarker[] = ".kxdisk";

// Unicode code points of the OEM bytes 0x80-0xFF; 0x00-0x7F are ASCII.
const char16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  CString cwd;
  if (!ZipGetCurrentDirectory(cwd)) return path;
  std::string base = cwd.str();
  if (base.empty() || base.back() != '/') base += '/';
  return base + path;
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The mount point of the simulated removable disk holding path, or "".
std::string DiskRoot(LPCTSTR path) {
  if (!path || !*path) return "";
  std::string dir = Absolute(path);
  if (!IsFolder(dir)) dir = Parent(dir);
  while (!dir.empty()) {
    struct stat st;
    if (::stat((dir + "/" + kDiskMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return dir;
    if (dir == "/") break;
    dir = Parent(dir);
  }
  return "";
}

bool ReadDiskMarker(const std::string& root, std::string& label, std::string& capacity) {
  FILE* f = std::fopen((root + "/" + kDiskMarker).c_str(), "r");
  if (!f) return false;
  char line[512];
  label.clear();
  capacity.clear();
  if (std::fgets(line, sizeof line, f)) label = line;
  if (std::fgets(line, sizeof line, f)) capacity = line;
  std::fclose(f);
  while (!label.empty() && (label.back() == '\n' || label.back() == '\r')) label.pop_back();
  while (!capacity.empty() && (capacity.back() == '\n' || capacity.back() == '\r')) capacity.pop_back();
  return true;
}

ULONGLONG UsedBytes(const std::string& dir) {
  ULONGLONG used = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || name == kDiskMarker) continue;
    std::string full = dir + "/" + name;
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      used += UsedBytes(full);
    else if (S_ISREG(st.st_mode))
      used += static_cast<ULONGLONG>(st.st_size);
  }
  ::closedir(d);
  return used;
}

}  // namespace

int ZipGetSystemId() { return zcDosFat; }

bool ZipIsSystemSupported(int code) {
  return code == zcDosFat || code == zcUnix || code == zcOs2Hpfs || code == zcMacintosh || code == zcNtfs ||
         code >= zcLast;
}

DWORD ZipAttrPassThrough(DWORD attr, bool) { return attr; }

DWORD ZipAttrUnix(DWORD attr, bool toDos) {
  if (toDos) {
    DWORD dos = (attr & 0x40000000) ? 0x10 : 0;
    if (!(attr & (1u << 22))) dos |= 0x20;
    if (!(attr & (1u << 23))) dos |= 0x01;
    if (!(attr & (1u << 24))) dos |= 0x02;
    return dos;
  }
  // Hidden has no Unix form; folders keep their search bits so that they can be entered.
  bool readOnly = (attr & 0x01) != 0;
  if (attr & 0x10) return (readOnly ? 040555u : 040775u) << 16 | 0x10;
  return (readOnly ? 0444u : 0664u) << 16;
}

DWORD ZipAttrMac(DWORD attr, bool) { return attr & 0x11; }

DWORD ZipConvertAttributes(DWORD attr, int from, int to) {
  if (from == to || from >= zcLast || to >= zcLast || from < 0 || to < 0) return attr;
  using Converter = DWORD (*)(DWORD, bool);
  static const Converter kTable[zcLast] = {ZipAttrPassThrough, nullptr, nullptr, ZipAttrUnix,    nullptr, nullptr,
                                           ZipAttrPassThrough, ZipAttrMac, nullptr, nullptr, ZipAttrPassThrough};
  if (!kTable[from] || !kTable[to]) CZipException::Throw(CZipException::platfNotSupp);
  return kTable[to](kTable[from](attr, true), false);
}

bool ZipGetFileAttributes(LPCTSTR path, DWORD& attr) {
  DWORD a = ::GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  attr = a;
  return true;
}

bool ZipSetFileAttributes(LPCTSTR path, DWORD attr) {
  // A read-only folder could not take its own entries here; folders stay writable.
  if (ZipIsDirectory(path)) attr &= ~static_cast<DWORD>(0x01);
  return ::SetFileAttributesA(path, attr) != FALSE;
}

bool ZipGetFileModTime(LPCTSTR path, time_t& time) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0) return false;
  time = st.st_mtime;
  return true;
}

bool ZipGetFileSize(LPCTSTR path, ULONGLONG& size) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0) return false;
  size = S_ISREG(st.st_mode) ? static_cast<ULONGLONG>(st.st_size) : 0;
  return true;
}

bool ZipSetFileModTime(LPCTSTR path, time_t time) {
  struct utimbuf t;
  t.actime = ::time(nullptr);
  t.modtime = time;
  return path && ::utime(path, &t) == 0;
}

bool ZipChangeDirectory(LPCTSTR path) { return path && ::chdir(path) == 0; }

bool ZipGetCurrentDirectory(CString& path) {
  DWORD size = ::GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return false;
  std::string buf(size, '\0');
  DWORD len = ::GetCurrentDirectoryA(size, buf.data());
  if (len == 0 || len >= size) return false;
  buf.resize(len);
  path = buf;
  return true;
}

bool ZipIsDirectory(LPCTSTR path) { return path && IsFolder(path); }

int ZipFileExists(LPCTSTR path) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0) return 0;
  return S_ISDIR(st.st_mode) ? -1 : 1;
}

bool ZipCreateDirectory(LPCTSTR path) { return ::CreateDirectoryA(path, nullptr) != FALSE; }

bool ZipForceDirectory(LPCTSTR path) {
  if (!path) return false;
  CString dir(path);
  if (dir.GetLength() > 1 && dir[dir.GetLength() - 1] == '/') dir = dir.Left(dir.GetLength() - 1);
  if (dir.IsEmpty()) return true;
  CZipPathComponent zpc(dir);
  if (zpc.GetFilePath() == dir || ZipIsDirectory(dir)) return true;
  CString parent = zpc.GetFilePath();
  if (!parent.IsEmpty() && !ZipForceDirectory(parent)) return false;
  return ZipCreateDirectory(dir);
}

bool ZipPathHasLink(LPCTSTR folder, LPCTSTR relative) {
  std::string base = folder ? folder : "";
  std::string rel = relative ? relative : "";
  size_t pos = 0;
  while (pos <= rel.size()) {
    size_t slash = rel.find('/', pos);
    if (slash == std::string::npos) slash = rel.size();
    if (slash > pos) {
      base += (base.empty() || base.back() == '/') ? "" : "/";
      base += rel.substr(pos, slash - pos);
      struct stat st;
      if (::lstat(base.c_str(), &st) != 0) return false;  // the rest does not exist yet
      if (S_ISLNK(st.st_mode)) return true;
    }
    pos = slash + 1;
  }
  return false;
}

bool ZipIsDriveRemovable(LPCTSTR path) { return !DiskRoot(path).empty(); }

bool ZipSetVolumeLabel(LPCTSTR path, LPCTSTR label) {
  std::string root = DiskRoot(path);
  std::string oldLabel, capacity;
  if (root.empty() || !ReadDiskMarker(root, oldLabel, capacity)) return false;
  FILE* f = std::fopen((root + "/" + kDiskMarker).c_str(), "w");
  if (!f) return false;
  bool ok = std::fprintf(f, "%s\n", label ? label : "") >= 0;
  if (!capacity.empty()) ok = ok && std::fprintf(f, "%s\n", capacity.c_str()) >= 0;
  return std::fclose(f) == 0 && ok;
}

DWORD ZipGetDeviceFreeSpace(LPCTSTR path) {
  if (!path) return 0;
  std::string dir = Absolute(path);
  while (!dir.empty() && !IsFolder(dir)) dir = Parent(dir);
  struct statvfs vfs;
  if (dir.empty() || ::statvfs(dir.c_str(), &vfs) != 0) return 0;
  ULONGLONG free = static_cast<ULONGLONG>(vfs.f_bavail) * vfs.f_frsize;
  std::string root = DiskRoot(path);
  std::string label, capacity;
  if (!root.empty() && ReadDiskMarker(root, label, capacity) && !capacity.empty()) {
    ULONGLONG cap = std::strtoull(capacity.c_str(), nullptr, 10);
    ULONGLONG used = UsedBytes(root);
    ULONGLONG left = used >= cap ? 0 : cap - used;
    if (left < free) free = left;
  }
  return free > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(free);
}

bool ZipDeleteFile(LPCTSTR path) { return path && ::DeleteFileA(path) != FALSE; }

void ZipRemoveFile(LPCTSTR path) {
  if (!ZipDeleteFile(path)) CZipException::Throw(CZipException::notRemoved, path);
}

void ZipRenameFile(LPCTSTR oldPath, LPCTSTR newPath) {
  if (!::MoveFileA(oldPath, newPath)) CZipException::Throw(CZipException::notRenamed, oldPath);
}

void ZipRandomBytes(BYTE* out, DWORD size) {
  DWORD done = 0;
  while (done < size) {
    ssize_t n = ::getrandom(out + done, size - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      CZipException::Throw(CZipException::generic);
    }
    done += static_cast<DWORD>(n);
  }
}

bool ZipAnsiOem(CZipBuffer& buffer, bool toOem) {
  const BYTE* p = buffer.GetBuffer();
  size_t n = buffer.GetSize();
  std::string out;
  if (toOem) {
    for (size_t i = 0; i < n;) {
      char32_t cp = 0;
      int len = kx::DecodeUtf8(reinterpret_cast<const char*>(p + i), n - i, &cp);
      if (len == 0) return false;
      i += static_cast<size_t>(len);
      if (cp < 0x80) {
        out += static_cast<char>(cp);
        continue;
      }
      int found = -1;
      for (int k = 0; k < 128 && found < 0; ++k)
        if (kOemHigh[k] == cp) found = k;
      if (found < 0) return false;
      out += static_cast<char>(0x80 + found);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (p[i] < 0x80)
        out += static_cast<char>(p[i]);
      else
        AppendUtf8(out, kOemHigh[p[i] - 0x80]);
    }
  }
  buffer.Assign(out.data(), static_cast<DWORD>(out.size()));
  return true;
}

bool ZipIsUtf8(const BYTE* text, DWORD size) {
  for (DWORD i = 0; i < size;) {
    char32_t cp = 0;
    int len = kx::DecodeUtf8(reinterpret_cast<const char*>(text + i), size - i, &cp);
    if (len == 0) return false;
    i += static_cast<DWORD>(len);
  }
  return true;
}

void CZipPathComponent::SetFullPath(LPCTSTR path) {
  std::string p = path ? path : "";
  m_szDrive.Empty();
  if (!p.empty() && p[0] == '/') m_szDrive = "/";
  size_t slash = p.find_last_of('/');
  std::string dir = slash == std::string::npos ? "" : p.substr(0, slash);
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  size_t first = dir.find_first_not_of('/');
  size_t last = dir.find_last_not_of('/');
  m_szDirectory = first == std::string::npos ? std::string() : dir.substr(first, last - first + 1);
  // A leading dot belongs to the title (".profile" has no extension).
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) {
    m_szFileTitle = name;
    m_szFileExt.Empty();
  } else {
    m_szFileTitle = name.substr(0, dot);
    m_szFileExt = name.substr(dot + 1);
  }
}

void CZipPathComponent::SetExtension(LPCTSTR ext) {
  CString e(ext);
  if (!e.IsEmpty() && e[0] == '.') e = e.Mid(1);
  m_szFileExt = e;
}

CString CZipPathComponent::GetFileName() const {
  CString name = m_szFileTitle;
  if (!m_szFileExt.IsEmpty()) name += "." + m_szFileExt;
  return name;
}

CString CZipPathComponent::GetFilePath() const {
  CString path = m_szDrive;
  if (!m_szDrive.IsEmpty() && !m_szDirectory.IsEmpty() && m_szDrive[m_szDrive.GetLength() - 1] != '/') path += '/';
  path += m_szDirectory;
  return path;
}

CString CZipPathComponent::GetFullPath() const {
  CString path = GetFilePath();
  if (!path.IsEmpty() && path[path.GetLength() - 1] != '/') path += '/';
  return path + GetFileName();
}

CString CZipPathComponent::GetNoDrive() const {
  CString path = m_szDirectory;
  CString name = GetFileName();
  if (!path.IsEmpty() && !name.IsEmpty()) path += '/';
  return path + name;
}
