#include "zip/ZipArchive.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/mfc/cfile.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "zip/ZipTarget.h"

namespace {
constexpr DWORD kCryptHeaderSize = 12;
constexpr ULONGLONG kMax32 = 0xFFFFFFFFull;

void ReplaceChar(CString& s, char from, char to) { s.Replace(from, to); }

CString TrimSeparators(LPCTSTR path) {
  CString s(path);
  s.TrimRight("\\/");
  return s;
}

// An existing target that could not be written to (a folder, read-only, held by someone) is refused before
// anything is extracted, as opening it for writing would be.
bool CanReplace(LPCTSTR path, CFileException* error) {
  if (ZipFileExists(path) == 0) return true;
  CFile probe;
  if (!probe.Open(path, CFile::modeWrite | CFile::shareDenyNone, error)) return false;
  probe.Close();
  return true;
}

// The entry buffer is reused by the next entry: with a password, the plaintext of this one is wiped as it is
// done, however it ends.
class PlaintextWipe {
 public:
  PlaintextWipe(CZipBuffer& buffer, bool encrypted) : m_buffer(buffer), m_bEncrypted(encrypted) {}
  ~PlaintextWipe() {
    if (m_bEncrypted) m_buffer.Release();
  }
  PlaintextWipe(const PlaintextWipe&) = delete;
  PlaintextWipe& operator=(const PlaintextWipe&) = delete;

 private:
  CZipBuffer& m_buffer;
  bool m_bEncrypted;
};
}  // namespace

CZipArchive::CZipArchive() : m_iArchiveSystCompatib(ZipGetSystemId()) {
  m_centralDir.m_pStorage = &m_storage;
}

CZipArchive::~CZipArchive() { EndStream(); }

void CZipArchive::ThrowError(int cause) const {
  CZipException::Throw(cause, IsClosed() ? "" : GetArchivePath().GetString());
}

void CZipArchive::CheckForError(int zlibResult) const {
  if (zlibResult == Z_OK || zlibResult == Z_NEED_DICT) return;
  ThrowError(CZipException::ZlibToCause(zlibResult));
}

void CZipArchive::EndStream() {
  if (m_info.deflaterReady) deflateEnd(&m_info.deflater);
  if (m_info.inflaterReady) inflateEnd(&m_info.inflater);
  m_info.deflaterReady = m_info.inflaterReady = false;
  m_info.current = &m_info.plain;
}

void CZipArchive::StartStream(bool deflated, bool compressing, int level) {
  m_info.current = &m_info.plain;
  m_info.plain = z_stream{};
  if (!deflated) return;
  if (compressing) {
    if (m_info.deflaterReady && m_info.deflaterLevel == level) {
      CheckForError(deflateReset(&m_info.deflater));
    } else {
      if (m_info.deflaterReady) deflateEnd(&m_info.deflater);
      m_info.deflaterReady = false;
      m_info.deflater = z_stream{};
      CheckForError(deflateInit2(&m_info.deflater, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
      m_info.deflaterReady = true;
      m_info.deflaterLevel = level;
    }
    m_info.current = &m_info.deflater;
  } else {
    if (m_info.inflaterReady) {
      CheckForError(inflateReset(&m_info.inflater));
    } else {
      m_info.inflater = z_stream{};
      CheckForError(inflateInit2(&m_info.inflater, -MAX_WBITS));
      m_info.inflaterReady = true;
    }
    m_info.current = &m_info.inflater;
  }
  // A reset keeps what the previous entry left in the buffer pointers.
  m_info.current->next_in = nullptr;
  m_info.current->avail_in = 0;
  m_info.current->next_out = nullptr;
  m_info.current->avail_out = 0;
}

BYTE* CZipArchive::FileBuffer(DWORD size) {
  if (m_info.fileBuffer.GetSize() < size) m_info.fileBuffer.Reserve(size);
  return m_info.fileBuffer.GetBuffer();
}

bool CZipArchive::IsClosed(bool archive) const { return m_storage.IsClosed(archive); }

bool CZipArchive::IsWritable() const {
  return !IsClosed() && GetSpanMode() >= 0 && !m_storage.IsReadOnly();
}

void CZipArchive::Open(LPCTSTR path, int mode, int volumeSize) {
  if (!IsClosed()) return;
  m_storage.Open(path, mode, volumeSize);
  OpenInternal(mode);
}

void CZipArchive::OpenInternal(int mode) {
  m_checkedFolders.clear();
  m_pszPassword.Release();
  m_iFileOpened = nothing;
  m_centralDir.Init();
  m_iArchiveSystCompatib = ZipGetSystemId();
  m_szRootPath.Empty();
  if (mode == zipOpen || mode == zipOpenReadOnly) {
    m_centralDir.Read();
    if (GetCount() > 0) {
      int host = m_centralDir.GetHeader(0)->GetSystemCompatibility();
      if (!ZipIsSystemSupported(host)) ThrowError(CZipException::platfNotSupp);
      m_iArchiveSystCompatib = host;
    }
  }
}

void CZipArchive::Close(bool afterException) {
  if (!afterException) {
    if (IsClosed()) return;
    if (m_iFileOpened == extract) CloseFile(nullptr);
    if (m_iFileOpened == compress) CloseNewFile();
    m_centralDir.Write();
  } else {
    m_iFileOpened = nothing;
  }
  m_info.buffer.Release();
  m_info.fileBuffer.Release();
  EndStream();
  m_centralDir.Clear();
  m_checkedFolders.clear();
  m_storage.Close(afterException);
}

int CZipArchive::GetCount() const { return m_centralDir.GetCount(); }

bool CZipArchive::GetFileInfo(CZipFileHeader& header, WORD index) const {
  if (IsClosed() || !m_centralDir.IsValidIndex(index)) return false;
  header = *m_centralDir.GetHeader(index);
  return true;
}

void CZipArchive::SetSpanCallback(ZipSpanCallback callback, void* userData) {
  m_storage.SetCallback(callback, userData);
}

void CZipArchive::SetAdvanced(int writeBuffer, int generalBuffer, int searchBuffer) {
  if (!IsClosed()) return;
  m_storage.m_iWriteBufferSize = std::max(writeBuffer, 1024);
  m_info.bufferSize = static_cast<DWORD>(std::max(generalBuffer, 1024));
  m_centralDir.m_iBufferSize = std::max(searchBuffer, 1024);
}

bool CZipArchive::SetPassword(LPCTSTR password) {
  if (m_iFileOpened != nothing) return false;
  if (!password || !*password)
    m_pszPassword.Release();
  else
    m_pszPassword.Assign(password, static_cast<DWORD>(std::strlen(password)));
  return true;
}

CString CZipArchive::GetPassword() const {
  return CString(reinterpret_cast<const char*>(m_pszPassword.GetBuffer()), static_cast<int>(m_pszPassword.GetSize()));
}

void CZipArchive::SetRootPath(LPCTSTR path) {
  m_szRootPath.Empty();
  if (!path) return;
  m_szRootPath = TrimSeparators(path) + "/";
}

CString CZipArchive::GetGlobalComment() const {
  if (IsClosed()) return "";
  const CZipBuffer& c = m_centralDir.m_pszComment;
  return CString(reinterpret_cast<const char*>(c.GetBuffer()), static_cast<int>(c.GetSize()));
}

bool CZipArchive::SetGlobalComment(LPCTSTR comment) {
  if (!IsWritable()) return false;
  DWORD len = comment ? static_cast<DWORD>(std::strlen(comment)) : 0;
  if (len > 0xFFFF) return false;  // the end record holds 16 bits of length
  m_centralDir.m_pszComment.Assign(comment ? comment : "", len);
  m_centralDir.CutOff();
  return true;
}

bool CZipArchive::SetFileComment(WORD index, LPCTSTR comment) {
  if (!IsWritable() || !m_centralDir.IsValidIndex(index)) return false;
  if (comment && std::strlen(comment) > 0xFFFF) return false;
  m_centralDir.GetHeader(index)->SetComment(comment);
  m_centralDir.CutOff();
  return true;
}

// Adding --------------------------------------------------------------------------------------------------

void CZipArchive::CryptHeaderWrite(const CZipFileHeader& header) {
  BYTE buf[kCryptHeaderSize];
  m_keys.Init(m_pszPassword.GetBuffer(), m_pszPassword.GetSize());
  ZipRandomBytes(buf, 10);
  buf[10] = LOBYTE(header.m_uModTime);
  buf[11] = HIBYTE(header.m_uModTime);
  m_keys.EncodeBuffer(buf, kCryptHeaderSize);
  m_storage.Write(buf, kCryptHeaderSize, false);
}

namespace {
std::atomic<int> g_entryLimit{CZipArchive::kMaxEntries};
}  // namespace

void CZipArchive::SetEntryLimitForTests(int limit) { g_entryLimit = limit > 0 && limit < kMaxEntries ? limit : kMaxEntries; }

bool CZipArchive::IsFull() const { return GetCount() >= g_entryLimit.load(); }

bool CZipArchive::OpenNewFile(CZipFileHeader& header, int level, LPCTSTR filePath) {
  if (!IsWritable() || m_iFileOpened != nothing || IsFull()) return false;
  DWORD attr = 0;
  time_t mtime = 0;
  if (filePath && (!ZipGetFileAttributes(filePath, attr) || !ZipGetFileModTime(filePath, mtime))) return false;
  m_info.buffer.Reserve(m_info.bufferSize);
  if (filePath) {
    header.SetTime(mtime);
    header.SetSystemAttr(attr, m_iArchiveSystCompatib);
  } else {
    header.m_uVersionMadeBy = static_cast<WORD>((m_iArchiveSystCompatib << 8) | (header.m_uVersionMadeBy & 0xFF));
  }
  m_centralDir.AddNewFile(header);
  CZipFileHeader* h = m_centralDir.m_pOpenedFile;
  CString name = h->GetFileName();
  if (name.IsEmpty()) name.Format("file%d", GetCount());
  ReplaceChar(name, '/', '\\');
  bool folder = h->IsDirectory();
  if (folder && name[name.GetLength() - 1] != '\\') name += '\\';
  h->SetFileName(name);
  // A folder holds no data: stored, so that its local and central records agree.
  if (folder) level = 0;
  bool encrypted = m_pszPassword.GetSize() > 0;
  if (!h->PrepareData(level, GetSpanMode() > 0, encrypted)) ThrowError(CZipException::tooLongFileName);
  h->WriteLocal(&m_storage);
  if (encrypted) CryptHeaderWrite(*h);

  StartStream(h->m_uMethod == Z_DEFLATED, true, level);
  m_info.stream().next_out = m_info.buffer.GetBuffer();
  m_info.stream().avail_out = m_info.bufferSize;
  m_iFileOpened = compress;
  return true;
}

void CZipArchive::FlushOutput() {
  DWORD n = m_info.bufferSize - m_info.stream().avail_out;
  if (static_cast<ULONGLONG>(m_centralDir.m_pOpenedFile->m_uComprSize) + m_info.stream().total_out > kMax32)
    ThrowError(CZipException::tooBig);
  if (n) {
    if (m_pszPassword.GetSize()) m_keys.EncodeBuffer(m_info.buffer.GetBuffer(), n);
    m_storage.Write(m_info.buffer.GetBuffer(), n, false);
  }
  m_info.stream().next_out = m_info.buffer.GetBuffer();
  m_info.stream().avail_out = m_info.bufferSize;
}

bool CZipArchive::WriteNewFile(const void* data, DWORD size) {
  if (m_iFileOpened != compress) return false;
  if (size == 0) return true;
  CZipFileHeader* h = m_centralDir.m_pOpenedFile;
  // The entry's sizes are 32-bit fields: refuse rather than wrap.
  if (static_cast<ULONGLONG>(m_info.stream().total_in) + size > kMax32) ThrowError(CZipException::tooBig);
  h->m_uCrc32 = static_cast<DWORD>(crc32(h->m_uCrc32, static_cast<const Bytef*>(data), size));
  m_info.stream().next_in = static_cast<Bytef*>(const_cast<void*>(data));
  m_info.stream().avail_in = size;
  while (m_info.stream().avail_in > 0) {
    if (m_info.stream().avail_out == 0) FlushOutput();
    if (h->m_uMethod == Z_DEFLATED) {
      CheckForError(deflate(&m_info.stream(), Z_NO_FLUSH));
    } else {
      DWORD n = std::min(m_info.stream().avail_in, m_info.stream().avail_out);
      std::memcpy(m_info.stream().next_out, m_info.stream().next_in, n);
      m_info.stream().next_in += n;
      m_info.stream().avail_in -= n;
      m_info.stream().next_out += n;
      m_info.stream().avail_out -= n;
      m_info.stream().total_in += n;
      m_info.stream().total_out += n;
    }
  }
  return true;
}

bool CZipArchive::CloseNewFile() {
  if (m_iFileOpened != compress) return false;
  CZipFileHeader* h = m_centralDir.m_pOpenedFile;
  m_info.stream().avail_in = 0;
  if (h->m_uMethod == Z_DEFLATED) {
    int err;
    do {
      if (m_info.stream().avail_out == 0) FlushOutput();
      err = deflate(&m_info.stream(), Z_FINISH);
    } while (err == Z_OK);
    if (err != Z_STREAM_END) CheckForError(err);
  }
  FlushOutput();
  ULONGLONG compressed = static_cast<ULONGLONG>(h->m_uComprSize) + m_info.stream().total_out;
  if (compressed > kMax32 || m_info.stream().total_in > kMax32) ThrowError(CZipException::tooBig);
  h->m_uComprSize = static_cast<DWORD>(compressed);
  h->m_uUncomprSize = static_cast<DWORD>(m_info.stream().total_in);
  m_centralDir.CloseNewFile();
  m_iFileOpened = nothing;
  return true;
}

CString CZipArchive::EntryNameFor(LPCTSTR path, bool fullPath) const {
  CString p(path);
  CZipPathComponent zpc(p);
  if (fullPath) return zpc.GetNoDrive();
  if (!m_szRootPath.IsEmpty() && p.Left(m_szRootPath.GetLength()) == m_szRootPath)
    return p.Mid(m_szRootPath.GetLength());
  return zpc.GetFileName();
}

bool CZipArchive::AddNewFile(LPCTSTR path, int level, bool fullPath, ZipProgressCallback callback, void* userData,
                             DWORD bufferSize) {
  if (bufferSize == 0 || !path || !IsWritable() || m_iFileOpened != nothing) return false;
  CZipFileHeader header;
  CString name = EntryNameFor(path, fullPath);
  if (name.IsEmpty()) return false;
  header.SetFileName(name);
  DWORD attr = 0;
  time_t mtime = 0;
  if (!ZipGetFileAttributes(path, attr) || !ZipGetFileModTime(path, mtime)) return false;
  header.SetTime(mtime);
  header.SetSystemAttr(attr, m_iArchiveSystCompatib);

  if (ZipIsDirectoryAttr(attr)) {
    // Folder entries are never encrypted.
    CZipBuffer password = m_pszPassword;
    m_pszPassword.Release();
    bool ok = false;
    try {
      ok = OpenNewFile(header, level, nullptr);
      if (ok) CloseNewFile();
    } catch (...) {
      m_pszPassword = password;
      throw;
    }
    m_pszPassword = password;
    return ok;
  }

  ULONGLONG size = 0;
  if (!ZipGetFileSize(path, size)) return false;
  if (size > kMax32) ThrowError(CZipException::tooBig);
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
  if (!OpenNewFile(header, level, nullptr)) return false;
  BYTE* buf = FileBuffer(bufferSize);
  DWORD done = 0;
  bool stopped = false;
  for (;;) {
    UINT n = file.Read(buf, bufferSize);
    if (n == 0) break;
    WriteNewFile(buf, n);
    done += n;
    if (callback && !callback(static_cast<DWORD>(size), done, userData)) {
      stopped = true;
      break;
    }
  }
  CloseNewFile();
  return !stopped;
}

// Extracting ----------------------------------------------------------------------------------------------

bool CZipArchive::CryptHeaderCheck(const CZipFileHeader& header) {
  BYTE buf[kCryptHeaderSize];
  m_keys.Init(m_pszPassword.GetBuffer(), m_pszPassword.GetSize());
  // Written as data, so it may run across a volume border.
  m_storage.Read(buf, kCryptHeaderSize, false);
  m_keys.DecodeBuffer(buf, kCryptHeaderSize);
  BYTE check = header.IsDataDescriptor() ? HIBYTE(header.m_uModTime) : static_cast<BYTE>(header.m_uCrc32 >> 24);
  return buf[kCryptHeaderSize - 1] == check;
}

bool CZipArchive::OpenFile(WORD index) {
  if (IsClosed() || !m_centralDir.IsValidIndex(index) || GetSpanMode() > 0 || m_iFileOpened != nothing) return false;
  m_info.buffer.Reserve(m_info.bufferSize);
  m_centralDir.OpenFile(index);
  CZipFileHeader* h = m_centralDir.m_pOpenedFile;
  DWORD compressed = h->m_uComprSize;
  if (h->IsEncrypted()) {
    if (m_pszPassword.GetSize() == 0) {
      m_centralDir.m_pOpenedFile = nullptr;
      return false;
    }
    if (compressed < kCryptHeaderSize) ThrowError(CZipException::badZipFile);
    if (!CryptHeaderCheck(*h)) ThrowError(CZipException::badPassword);
    compressed -= kCryptHeaderSize;
  }
  if (h->m_uMethod != 0 && h->m_uMethod != Z_DEFLATED) ThrowError(CZipException::badZipFile);
  // Stored data is as long as the file it holds; sizes that disagree could never be read to the end.
  if (h->m_uMethod == 0 && compressed != h->m_uUncomprSize) ThrowError(CZipException::badZipFile);
  StartStream(h->m_uMethod == Z_DEFLATED, false, 0);
  m_info.comprLeft = compressed;
  m_info.uncomprLeft = h->m_uUncomprSize;
  m_info.crc = 0;
  m_iFileOpened = extract;
  return true;
}

DWORD CZipArchive::ReadFile(void* buf, DWORD size) {
  if (m_iFileOpened != extract || !buf || !size) return 0;
  CZipFileHeader* h = m_centralDir.m_pOpenedFile;
  z_stream& zs = m_info.stream();
  zs.next_out = static_cast<Bytef*>(buf);
  zs.avail_out = std::min(size, m_info.uncomprLeft);
  DWORD delivered = 0;
  // Output wanted, or all of it delivered and compressed bytes still to consume (the stream's end).
  while (zs.avail_out > 0 || (m_info.uncomprLeft == 0 && m_info.comprLeft > 0)) {
    bool progress = false;
    if (zs.avail_in == 0 && m_info.comprLeft > 0) {
      DWORD n = std::min(m_info.bufferSize, m_info.comprLeft);
      m_storage.Read(m_info.buffer.GetBuffer(), n, false);
      if (h->IsEncrypted()) m_keys.DecodeBuffer(m_info.buffer.GetBuffer(), n);
      m_info.comprLeft -= n;
      zs.next_in = m_info.buffer.GetBuffer();
      zs.avail_in = n;
      progress = true;
    }
    Bytef* out = zs.next_out;
    uInt inBefore = zs.avail_in;
    if (h->m_uMethod == Z_DEFLATED) {
      int err = inflate(&zs, Z_SYNC_FLUSH);
      DWORD produced = static_cast<DWORD>(zs.next_out - out);
      m_info.crc = static_cast<DWORD>(crc32(m_info.crc, out, produced));
      m_info.uncomprLeft -= produced;
      delivered += produced;
      if (err == Z_STREAM_END) return delivered;
      CheckForError(err);
      progress = progress || produced > 0 || zs.avail_in != inBefore;
    } else {
      DWORD n = std::min(zs.avail_in, zs.avail_out);
      std::memcpy(zs.next_out, zs.next_in, n);
      m_info.crc = static_cast<DWORD>(crc32(m_info.crc, zs.next_out, n));
      zs.next_in += n;
      zs.avail_in -= n;
      zs.next_out += n;
      zs.avail_out -= n;
      m_info.uncomprLeft -= n;
      delivered += n;
      progress = progress || n > 0;
    }
    // Sizes that do not add up must not make the loop spin.
    if (!progress) ThrowError(CZipException::badZipFile);
  }
  return delivered;
}

int CZipArchive::CloseFile(LPCTSTR path, bool afterException) {
  if (m_iFileOpened != extract) return 0;
  int result = 1;
  if (!afterException) {
    CZipFileHeader* h = m_centralDir.m_pOpenedFile;
    if (m_info.uncomprLeft == 0) {
      if (m_info.crc != h->m_uCrc32) ThrowError(CZipException::badCrc);
    } else {
      result = -1;
    }
    if (path && (!ZipIsSystemSupported(h->GetSystemCompatibility()) || !ZipSetFileModTime(path, h->GetTime()) ||
                 !ZipSetFileAttributes(path, h->GetSystemAttr())))
      result = -2;
    // The data descriptor follows the data: only where all of it was read.
    if (result != -1) m_centralDir.CloseFile();
  }
  m_centralDir.m_pOpenedFile = nullptr;
  m_iFileOpened = nothing;
  return result;
}

bool CZipArchive::UnsafeName(const CString& name) const {
  // Extraction stays inside the destination: no absolute names, drives or ".." parts.
  const std::string& s = name.str();
  if (s.empty() || s[0] == '/' || s.find('\0') != std::string::npos) return true;
  if (s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'))) return true;
  size_t pos = 0;
  while (pos <= s.size()) {
    size_t slash = s.find('/', pos);
    if (slash == std::string::npos) slash = s.size();
    if (s.compare(pos, slash - pos, "..") == 0 && slash - pos == 2) return true;
    pos = slash + 1;
  }
  return false;
}

bool CZipArchive::ExtractFile(WORD index, LPCTSTR folder, bool fullPath, LPCTSTR newName,
                              ZipProgressCallback callback, void* userData, DWORD bufferSize) {
  if (bufferSize == 0 || !folder || !*folder) return false;
  CZipFileHeader header;
  if (!GetFileInfo(header, index) || m_iFileOpened != nothing) return false;
  CString name = newName ? CString(newName) : header.GetFileName();
  ReplaceChar(name, '\\', '/');
  if (UnsafeName(name)) ThrowError(CZipException::badZipFile);
  // Some writers mark a folder only by its name's final separator.
  bool isFolder = header.IsDirectory() || name[name.GetLength() - 1] == '/';
  name.TrimRight("/");
  CString relative = fullPath ? CZipPathComponent(name).GetNoDrive() : EntryNameFor(name, false);
  if (!relative.IsEmpty() && UnsafeName(relative)) ThrowError(CZipException::badZipFile);
  CString base = TrimSeparators(folder);
  if (relative.IsEmpty() && !isFolder) ThrowError(CZipException::badZipFile);
  CString dest = relative.IsEmpty() ? base : base + "/" + relative;
  CZipPathComponent zpc(dest);
  const CString folderOfFile = zpc.GetFilePath();
  // A folder this archive already made or checked needs no second look at its parts: only the target's own
  // name is checked for a link then.
  const bool knownFolder = !isFolder && m_checkedFolders.count(folderOfFile.str()) != 0;
  if (knownFolder ? ZipPathHasLink(folderOfFile, zpc.GetFileName()) : ZipPathHasLink(base, relative))
    ThrowError(CZipException::badZipFile);

  if (isFolder) {
    if (!ZipForceDirectory(dest)) return false;
    ZipSetFileAttributes(dest, header.GetSystemAttr());
    return true;
  }

  if (!OpenFile(index)) return false;
  // The data goes to a new file beside the target, which replaces the target only once it is whole and
  // checked: a failed extraction leaves the old file as it was.
  CZipTargetFile out;
  CFileException* error = new CFileException(CFileException::badPath);
  bool folderReady = knownFolder;
  if (!folderReady && ZipForceDirectory(folderOfFile)) {
    folderReady = true;
    m_checkedFolders.insert(folderOfFile.str());
  }
  if (!folderReady || !CanReplace(dest, error) || !out.Create(dest)) {
    CloseFile(nullptr, true);
    error->m_strFileName = dest;
    throw error;
  }
  error->Delete();
  int result = 0;
  try {
    BYTE* buf = FileBuffer(bufferSize);
    PlaintextWipe wipe(m_info.fileBuffer, m_pszPassword.GetSize() > 0);
    DWORD done = 0;
    for (;;) {
      DWORD n = ReadFile(buf, bufferSize);
      if (n) out.Write(buf, n);
      done += n;
      if (callback && !callback(header.m_uUncomprSize, done, userData)) break;
      if (n < bufferSize) break;
    }
    result = CloseFile(nullptr);
  } catch (...) {
    out.Discard();
    CloseFile(nullptr, true);
    throw;
  }
  if (result == -1) return false;  // stopped before the end: the new file goes with out
  // -2: the data is whole and checked, only its time or attributes could not be set: it still replaces the
  // target, as writing in place did.
  if (!ZipIsSystemSupported(header.GetSystemCompatibility()) ||
      !out.SetTimeAndAttributes(header.GetTime(), header.GetSystemAttr()))
    result = -2;
  out.Commit();
  return result == 1;
}

bool CZipArchive::TestFile(WORD index, ZipProgressCallback callback, void* userData, DWORD bufferSize) {
  if (bufferSize == 0) return false;
  CZipFileHeader header;
  if (!GetFileInfo(header, index)) return false;
  if (header.IsDirectory()) {
    bool empty = header.m_uComprSize == 0 && header.m_uUncomprSize == 0;
    bool encryptedEmpty = header.IsEncrypted() && header.m_uComprSize == kCryptHeaderSize && header.m_uUncomprSize == 0;
    if (!empty && !encryptedEmpty) ThrowError(CZipException::dirWithSize);
    return true;
  }
  if (!OpenFile(index)) return false;
  BYTE* buf = FileBuffer(bufferSize);
  PlaintextWipe wipe(m_info.fileBuffer, m_pszPassword.GetSize() > 0);
  DWORD done = 0;
  for (;;) {
    DWORD n = ReadFile(buf, bufferSize);
    done += n;
    if (callback && !callback(header.m_uUncomprSize, done, userData)) break;
    if (n < bufferSize) break;
  }
  return CloseFile(nullptr) == 1;
}

// Deleting ------------------------------------------------------------------------------------------------

void CZipArchive::DeleteInternal(WORD index) {
  CZipFileHeader* h = m_centralDir.GetHeader(index);
  CZipFileBase* file = m_storage.m_pFile;
  ULONGLONG before = m_centralDir.m_uBytesBeforeZip;
  ULONGLONG start = h->m_uOffset + before;
  ULONGLONG length = file->GetLength();
  // The entry ends where the next one in the file begins, whatever their order in the directory.
  ULONGLONG next = length;
  for (WORD i = 0; i < m_centralDir.GetCount(); ++i) {
    ULONGLONG o = m_centralDir.GetHeader(i)->m_uOffset + before;
    if (o > start && o < next) next = o;
  }
  if (next == length) {
    file->SetLength(start);
  } else {
    ULONGLONG gap = next - start;
    ULONGLONG expected = length - next, moved = 0;
    CZipBuffer& buf = m_info.buffer;
    while (moved < expected) {
      file->Seek(static_cast<LONGLONG>(next + moved), CZipFileBase::begin);
      UINT n = file->Read(buf.GetBuffer(), static_cast<UINT>(std::min<ULONGLONG>(buf.GetSize(), expected - moved)));
      if (n == 0) break;
      file->Seek(static_cast<LONGLONG>(start + moved), CZipFileBase::begin);
      file->Write(buf.GetBuffer(), n);
      moved += n;
    }
    if (moved != expected) ThrowError(CZipException::generic);
    file->SetLength(length - gap);
    for (WORD i = 0; i < m_centralDir.GetCount(); ++i) {
      CZipFileHeader* other = m_centralDir.GetHeader(i);
      if (other->m_uOffset + before > start) other->m_uOffset -= static_cast<DWORD>(gap);
    }
  }
  m_centralDir.RemoveFile(index);
}

void CZipArchive::DeleteFiles(const CZipWordArray& indexes) {
  if (!IsWritable() || GetSpanMode() != 0 || m_iFileOpened != nothing || indexes.IsEmpty()) return;
  std::vector<WORD> list(indexes.GetData(), indexes.GetData() + indexes.GetSize());
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  // Every index is checked before anything changes.
  if (!m_centralDir.IsValidIndex(list.back())) ThrowError(CZipException::internal);
  m_centralDir.CutOff();
  m_info.buffer.Reserve(m_info.bufferSize);
  for (size_t i = list.size(); i-- > 0;) DeleteInternal(list[i]);
}
