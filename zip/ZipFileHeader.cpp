#include "zip/ZipFileHeader.h"

#include <cstring>

#include "zip/ZipException.h"
#include "zip/ZipPlatform.h"
#include "zip/ZipStorage.h"

namespace {
const char kCentralSig[4] = {'P', 'K', 1, 2};
const char kLocalSig[4] = {'P', 'K', 3, 4};

bool IsAscii(const CZipBuffer& b) {
  for (DWORD i = 0; i < b.GetSize(); ++i)
    if (b[i] >= 0x80) return false;
  return true;
}

void Replace(CZipBuffer& b, BYTE from, BYTE to) {
  for (DWORD i = 0; i < b.GetSize(); ++i)
    if (b[i] == from) b[i] = to;
}

CString ToString(const CZipBuffer& b) {
  return CString(reinterpret_cast<const char*>(b.GetBuffer()), static_cast<int>(b.GetSize()));
}

void FromString(CZipBuffer& b, LPCTSTR s) {
  if (s)
    b.Assign(s, static_cast<DWORD>(std::strlen(s)));
  else
    b.Release();
}
// Flag, method, time, date, CRC and sizes: the run of fields local and central headers share.
void PutShared(BYTE* p, const CZipFileHeader& h) {
  ZipPut16(p, h.m_uFlag);
  ZipPut16(p + 2, h.m_uMethod);
  ZipPut16(p + 4, h.m_uModTime);
  ZipPut16(p + 6, h.m_uModDate);
  ZipPut32(p + 8, h.m_uCrc32);
  ZipPut32(p + 12, h.m_uComprSize);
  ZipPut32(p + 16, h.m_uUncomprSize);
}
}  // namespace

CZipFileHeader::CZipFileHeader() { std::memcpy(m_szSignature, kCentralSig, 4); }

CZipFileHeader::~CZipFileHeader() = default;

CZipBuffer CZipFileHeader::GetStoredName() const {
  CZipBuffer stored = m_pszFileName;
  if (!(m_uFlag & flagUtf8) && GetSystemCompatibility() == zcDosFat) ZipAnsiOem(stored, true);
  Replace(stored, '\\', '/');
  return stored;
}

void CZipFileHeader::SetStoredName(const CZipBuffer& stored) {
  m_pszFileName = stored;
  if (ZipGetSystemId() == zcDosFat) Replace(m_pszFileName, '/', '\\');
  if (!(m_uFlag & flagUtf8) && GetSystemCompatibility() == zcDosFat) ZipAnsiOem(m_pszFileName, false);
}

void CZipFileHeader::ChooseNameEncoding() {
  m_uFlag &= static_cast<WORD>(~flagUtf8);
  if (IsAscii(m_pszFileName)) return;
  // Any other name is UTF-8: a folder's name must be stored as the names of the entries inside it are, or
  // tools extract two folders, and a name inside may need characters the OEM page lacks. Only well-formed
  // UTF-8 may carry the flag; other bytes are stored as they are.
  if (ZipIsUtf8(m_pszFileName.GetBuffer(), m_pszFileName.GetSize())) m_uFlag |= flagUtf8;
}

bool CZipFileHeader::ReadCentral(CZipStorage* storage) {
  BYTE buf[kCentralSize];
  storage->Read(buf, kCentralSize, true);
  int disk = storage->GetCurrentDisk();
  if (std::memcmp(buf, kCentralSig, 4) != 0) return false;
  std::memcpy(m_szSignature, buf, 4);
  m_uVersionMadeBy = ZipGet16(buf + 4);
  m_uVersionNeeded = ZipGet16(buf + 6);
  m_uFlag = ZipGet16(buf + 8);
  m_uMethod = ZipGet16(buf + 10);
  m_uModTime = ZipGet16(buf + 12);
  m_uModDate = ZipGet16(buf + 14);
  m_uCrc32 = ZipGet32(buf + 16);
  m_uComprSize = ZipGet32(buf + 20);
  m_uUncomprSize = ZipGet32(buf + 24);
  WORD nameLen = ZipGet16(buf + 28);
  WORD extraLen = ZipGet16(buf + 30);
  WORD commentLen = ZipGet16(buf + 32);
  m_uDiskStart = ZipGet16(buf + 34);
  m_uInternalAttr = ZipGet16(buf + 36);
  m_uExternalAttr = ZipGet32(buf + 38);
  m_uOffset = ZipGet32(buf + 42);
  CZipBuffer name(nameLen);
  m_pExtraField.Allocate(extraLen);
  m_pszComment.Allocate(commentLen);
  storage->Read(name.GetBuffer(), nameLen, true);
  storage->Read(m_pExtraField.GetBuffer(), extraLen, true);
  storage->Read(m_pszComment.GetBuffer(), commentLen, true);
  if (storage->GetCurrentDisk() != disk) return false;
  SetStoredName(name);
  return true;
}

DWORD CZipFileHeader::WriteCentral(CZipStorage* storage) {
  CZipBuffer name = GetStoredName();
  DWORD nameLen = name.GetSize(), extraLen = m_pExtraField.GetSize(), commentLen = m_pszComment.GetSize();
  DWORD size = kCentralSize + nameLen + extraLen + commentLen;
  CZipBuffer buf(size);
  BYTE* p = buf.GetBuffer();
  std::memcpy(p, kCentralSig, 4);
  ZipPut16(p + 4, m_uVersionMadeBy);
  ZipPut16(p + 6, m_uVersionNeeded);
  PutShared(p + 8, *this);
  ZipPut16(p + 28, static_cast<WORD>(nameLen));
  ZipPut16(p + 30, static_cast<WORD>(extraLen));
  ZipPut16(p + 32, static_cast<WORD>(commentLen));
  ZipPut16(p + 34, m_uDiskStart);
  ZipPut16(p + 36, m_uInternalAttr);
  ZipPut32(p + 38, m_uExternalAttr);
  ZipPut32(p + 42, m_uOffset);
  p += kCentralSize;
  if (nameLen) std::memcpy(p, name.GetBuffer(), nameLen);
  if (extraLen) std::memcpy(p + nameLen, m_pExtraField.GetBuffer(), extraLen);
  if (commentLen) std::memcpy(p + nameLen + extraLen, m_pszComment.GetBuffer(), commentLen);
  storage->Write(buf.GetBuffer(), size, true);
  return size;
}

bool CZipFileHeader::CheckLocal(CZipStorage* storage, WORD& extraLength) {
  BYTE buf[kLocalSize];
  storage->Read(buf, kLocalSize, true);
  if (std::memcmp(buf, kLocalSig, 4) != 0) return false;
  WORD flag = ZipGet16(buf + 6);
  WORD method = ZipGet16(buf + 8);
  if (flag != m_uFlag || method != m_uMethod || (method != 0 && method != 8)) return false;
  WORD nameLen = ZipGet16(buf + 26);
  if (nameLen != GetStoredName().GetSize()) return false;
  if (!(flag & flagDescriptor) &&
      (ZipGet32(buf + 14) != m_uCrc32 || ZipGet32(buf + 18) != m_uComprSize || ZipGet32(buf + 22) != m_uUncomprSize))
    return false;
  extraLength = ZipGet16(buf + 28);
  if (nameLen) {
    CZipBuffer skip(nameLen);
    storage->Read(skip.GetBuffer(), nameLen, true);
  }
  return true;
}

void CZipFileHeader::WriteLocal(CZipStorage* storage) {
  CZipBuffer name = GetStoredName();
  DWORD nameLen = name.GetSize(), extraLen = m_pExtraField.GetSize();
  DWORD size = kLocalSize + nameLen + extraLen;
  CZipBuffer buf(size);
  BYTE* p = buf.GetBuffer();
  std::memcpy(p, kLocalSig, 4);
  ZipPut16(p + 4, m_uVersionNeeded);
  PutShared(p + 6, *this);
  ZipPut16(p + 26, static_cast<WORD>(nameLen));
  ZipPut16(p + 28, static_cast<WORD>(extraLen));
  if (nameLen) std::memcpy(p + kLocalSize, name.GetBuffer(), nameLen);
  if (extraLen) std::memcpy(p + kLocalSize + nameLen, m_pExtraField.GetBuffer(), extraLen);
  storage->Write(buf.GetBuffer(), size, true);
  m_uDiskStart = static_cast<WORD>(storage->GetCurrentDisk());
  ULONGLONG offset = storage->GetPosition() - size;
  if (offset > 0xFFFFFFFFull) storage->ThrowError(CZipException::tooBig);
  m_uOffset = static_cast<DWORD>(offset);
}

bool CZipFileHeader::PrepareData(int level, bool descriptor, bool encrypted) {
  std::memcpy(m_szSignature, kCentralSig, 4);
  m_uInternalAttr = 0;
  m_uVersionNeeded = 20;
  m_uVersionMadeBy = static_cast<WORD>((m_uVersionMadeBy & 0xFF00) | 20);
  m_uCrc32 = 0;
  m_uComprSize = 0;
  m_uUncomprSize = 0;
  if (level == 0)
    m_uMethod = 0;
  else if (m_uMethod != 0 && m_uMethod != 8)
    m_uMethod = 8;
  m_uFlag = 0;
  if (m_uMethod == 8) {
    if (level == 1)
      m_uFlag |= 6;
    else if (level == 2)
      m_uFlag |= 4;
    else if (level == 8 || level == 9)
      m_uFlag |= 2;
  }
  if (descriptor) m_uFlag |= flagDescriptor;
  if (encrypted) {
    m_uComprSize = 12;
    m_uFlag |= flagEncrypted | flagDescriptor;
  }
  ChooseNameEncoding();
  return GetStoredName().GetSize() < 0x10000 && m_pExtraField.GetSize() < 0x10000 && m_pszComment.GetSize() < 0x10000;
}

DWORD CZipFileHeader::GetSize() const {
  return kCentralSize + GetStoredName().GetSize() + m_pExtraField.GetSize() + m_pszComment.GetSize();
}

time_t CZipFileHeader::GetTime() const {
  struct tm t = {};
  t.tm_sec = (m_uModTime & 0x1F) * 2;
  t.tm_min = (m_uModTime >> 5) & 0x3F;
  t.tm_hour = m_uModTime >> 11;
  t.tm_mday = m_uModDate & 0x1F;
  t.tm_mon = ((m_uModDate >> 5) & 0x0F) - 1;
  t.tm_year = (m_uModDate >> 9) + 80;
  t.tm_isdst = -1;
  return mktime(&t);
}

void CZipFileHeader::SetTime(time_t time) {
  struct tm t = {};
  if (!localtime_r(&time, &t)) return;
  int year = t.tm_year + 1900;
  // The field holds 1980 to 2107.
  int yearField = year < 1981 ? 0 : year - 1980 > 127 ? 127 : year - 1980;
  m_uModDate = static_cast<WORD>(t.tm_mday + 32 * (t.tm_mon + 1) + 512 * yearField);
  m_uModTime = static_cast<WORD>(t.tm_sec / 2 + 32 * t.tm_min + 2048 * t.tm_hour);
}

CString CZipFileHeader::GetFileName() const { return ToString(m_pszFileName); }

void CZipFileHeader::SetFileName(LPCTSTR name) { FromString(m_pszFileName, name); }

CString CZipFileHeader::GetComment() const { return ToString(m_pszComment); }

void CZipFileHeader::SetComment(LPCTSTR comment) { FromString(m_pszComment, comment); }

DWORD CZipFileHeader::GetSystemAttr() const {
  int host = GetSystemCompatibility();
  if (ZipIsSystemSupported(host)) return ZipConvertAttributes(m_uExternalAttr, host, ZipGetSystemId());
  // Hosts without converter: their low byte usually carries the MS-DOS bits; a folder is named as one.
  DWORD attr = m_uExternalAttr & 0x27;
  DWORD n = m_pszFileName.GetSize();
  if (n && (m_pszFileName[n - 1] == '\\' || m_pszFileName[n - 1] == '/')) attr |= 0x10;
  return attr;
}

void CZipFileHeader::SetSystemAttr(DWORD attr, int system) {
  m_uExternalAttr = ZipConvertAttributes(attr, ZipGetSystemId(), system);
  m_uVersionMadeBy = static_cast<WORD>((system << 8) | (m_uVersionMadeBy & 0xFF));
}

bool CZipFileHeader::IsDirectory() const { return ZipIsDirectoryAttr(GetSystemAttr()); }
