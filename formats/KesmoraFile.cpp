#include "formats/KesmoraFile.h"

#include <atomic>
#include <cstring>
#include <ctime>

#include <strings.h>
#include <sys/stat.h>

#include <string>

#include "core/Hashes.h"
#include "core/SafeArray.h"
#include "core/Win32File.h"
#include "formats/FieldIo.h"
#include "formats/FileClass.h"
#include "platform/com/oleauto.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/newfile.h"
#include "platform/win32/sync.h"

namespace {

// The bytes of a VARIANT byte array (element count x element size); empty for anything else.
CByteBuffer VariantBytes(const VARIANT& v) {
  if (!(v.vt & VT_ARRAY)) return CByteBuffer();
  CSafeArray copy(v);
  return copy.GetByteBuffer();
}

}  // namespace

// ---- content handler ----

CFileContentHandler::~CFileContentHandler() {
  if (m_pUnknown) m_pUnknown->Release();
}

bool CFileContentHandler::ProcessContent(CBaseKesmoraFile*, DWORD) {
  m_hrResult = KX_E_CONTENT_NOT_PROCESSED;
  return false;
}

bool CFileContentHandler::ExtractBody(CBaseKesmoraFile* file, CByteBuffer& out) {
  m_hrResult = KX_E_CONTENT_NOT_PROCESSED;
  if (!file) return false;
  const CByteBuffer& image = file->GetImage();
  DWORD header = file->GetHeaderSize();
  // An image shorter than its header has no body at all.
  if (image.GetLength() < header) return false;
  out.Free(false);
  if (image.GetLength() > header && !out.SetAt(image.GetLength() - header, image.GetData() + header, 0))
    return false;
  if (file->GetLeadingFieldsFlag() == 0) m_hrResult = S_OK;
  return true;
}

// ---- file base ----

CBaseKesmoraFile::CBaseKesmoraFile(BYTE leadingFields, DWORD secondValue)
    : m_bLeadingFields(leadingFields), m_nSecondValue(secondValue) {}

CBaseKesmoraFile::~CBaseKesmoraFile() {
  if (m_pHandler && m_bHandlerOwned) delete m_pHandler;
  m_pHandler = nullptr;
  m_image.Free(false);
  m_body.Free(false);
}

void CBaseKesmoraFile::SetField(BYTE* field, DWORD width, const void* p, const DWORD& length) {
  std::memset(field, 0, width);
  if (p) std::memcpy(field, p, length < width ? length : width);
}

void CBaseKesmoraFile::SetCreationDate() {
  time_t now = time(nullptr);
  struct tm t;
  if (!localtime_r(&now, &t)) return;
  int year = t.tm_year + 1900;
  m_abDate[0] = static_cast<BYTE>(year / 256);
  m_abDate[1] = static_cast<BYTE>(year % 256);
  m_abDate[2] = static_cast<BYTE>(t.tm_mon + 1);
  m_abDate[3] = static_cast<BYTE>(t.tm_mday);
}

void CBaseKesmoraFile::SetCreationTime() {
  time_t now = time(nullptr);
  struct tm t;
  if (!localtime_r(&now, &t)) return;
  m_abTime[0] = static_cast<BYTE>(t.tm_hour);
  m_abTime[1] = static_cast<BYTE>(t.tm_min);
  m_abTime[2] = static_cast<BYTE>(t.tm_sec);
}

CString CBaseKesmoraFile::GetCreationText() const {
  struct tm t = {};
  t.tm_year = m_abDate[0] * 256 + m_abDate[1] - 1900;
  t.tm_mon = m_abDate[2] - 1;
  t.tm_mday = m_abDate[3];
  t.tm_hour = m_abTime[0];
  t.tm_min = m_abTime[1];
  t.tm_sec = m_abTime[2];
  t.tm_isdst = -1;
  time_t when = mktime(&t);
  if (when == static_cast<time_t>(-1)) return CString();
  struct tm local;
  if (!localtime_r(&when, &local)) return CString();
  char text[128];
  if (strftime(text, sizeof text, "%b %d %Y %H:%M:%S", &local) == 0) return CString();
  return text;
}

void CBaseKesmoraFile::SetPath(const char* path) {
  m_strPath = CBstrString(path ? path : "");
  const char* slash = path ? std::strrchr(path, '/') : nullptr;
  m_strFileName = CBstrString(slash ? slash + 1 : (path ? path : ""));
}

void CBaseKesmoraFile::SetContentHandler(CFileContentHandler* handler, bool owned) {
  if (m_pHandler && m_bHandlerOwned && m_pHandler != handler) delete m_pHandler;
  m_pHandler = handler;
  m_bHandlerOwned = owned ? 1 : 0;
}

bool CBaseKesmoraFile::ExtractBody() {
  if (!m_pHandler) return false;
  bool ok = m_pHandler->ExtractBody(this, m_body);
  m_hrLast = m_pHandler->GetResultCode();
  return ok;
}

bool CBaseKesmoraFile::PassToContentHandler(DWORD argument) {
  if (!m_pHandler) return false;
  bool ok = m_pHandler->ProcessContent(this, argument);
  m_hrLast = m_pHandler->GetResultCode();
  return ok;
}

bool CBaseKesmoraFile::GetBody(CByteBuffer& out) const {
  out = m_body;
  return true;
}

const CFileClass* CBaseKesmoraFile::GetFileClass() const { return &g_fileClassBase; }

bool CBaseKesmoraFile::IsKindOf(const CFileClass* record) const {
  if (!record || !record->m_pszClassName) return false;
  for (const CFileClass* c = GetFileClass(); c; c = c->m_pBaseClass)
    if (c->m_pszClassName && strcasecmp(c->m_pszClassName, record->m_pszClassName) == 0) return true;
  return false;
}

bool CBaseKesmoraFile::ParseHeader(const BYTE* p) {
  if (m_image.GetLength() < kHeaderSize) return false;
  const BYTE* h = p ? p : m_image.GetData();
  std::memcpy(m_abMarker, h, 4);
  m_bHeaderByte1 = h[4];
  m_bHeaderByte2 = h[5];
  std::memcpy(m_abOptions, h + 6, 8);
  std::memcpy(m_abDate, h + 14, 4);
  std::memcpy(m_abTime, h + 18, 3);
  return true;
}

bool CBaseKesmoraFile::WriteHeader(BYTE* p) const {
  if (!p) return false;
  std::memcpy(p, m_abMarker, 4);
  p[4] = m_bHeaderByte1;
  p[5] = m_bHeaderByte2;
  std::memcpy(p + 6, m_abOptions, 8);
  std::memcpy(p + 14, m_abDate, 4);
  std::memcpy(p + 18, m_abTime, 3);
  return true;
}

bool CBaseKesmoraFile::GetDigestRange(DWORD& offset, DWORD& size) const {
  if (m_body.GetLength() < kDigestSize) return false;
  size = kDigestSize;
  offset = m_body.GetLength() - kDigestSize;
  return true;
}

bool CBaseKesmoraFile::ComputeDigest(CByteBuffer& out, bool verify, int whole) {
  if (verify && GetStoredDigest()) return HashFileBody(this, true, out, whole);
  if (m_body.GetLength() != 0) return HashFileBody(this, false, out, whole);
  return false;
}

bool CBaseKesmoraFile::FinishBody(const kx::formats::FieldWriter& payload) {
  m_bDigestTrailer = 1;
  m_body.Free(false);
  if (!m_body.Allocate(kHeaderSize + payload.Size(), true)) return false;
  if (!WriteHeader(m_body.GetData())) return false;
  if (payload.Size()) std::memcpy(m_body.GetData() + kHeaderSize, payload.Data(), payload.Size());
  return true;
}

bool CBaseKesmoraFile::GetPayloadLength(DWORD& length) const {
  if (m_body.GetLength() < kDigestSize) return false;
  length = m_body.GetLength() - kDigestSize;
  return true;
}

bool CBaseKesmoraFile::CopyStoredDigest(BYTE* digest) const {
  if (m_body.GetLength() < kDigestSize) return false;
  std::memcpy(digest, m_body.GetData() + m_body.GetLength() - kDigestSize, kDigestSize);
  return true;
}

bool CBaseKesmoraFile::BuildImage() {
  if (!Serialize() || m_body.GetLength() == 0) return false;
  if (!m_bDigestTrailer) {
    m_image = m_body;
    return true;
  }
  // A body without payload, or a header that cannot be written, is no file of the family.
  if (m_body.GetLength() <= kHeaderSize) return false;
  m_image.Free(false);
  if (!m_image.Allocate(kHeaderSize, true) || !WriteHeader(m_image.GetData())) return false;
  CByteBuffer payload(m_body.GetLength() - kHeaderSize, m_body.GetData() + kHeaderSize, false);
  m_body = payload;
  CByteBuffer digest;
  if (!ComputeDigest(digest, false, 1) || digest.GetLength() != kDigestSize) return false;
  return m_body.Append(digest.GetLength(), digest.GetData()) && m_image.Append(m_body.GetLength(), m_body.GetData());
}

bool CBaseKesmoraFile::Save(const char* path) {
  if (!path || !*path || !BuildImage() || !kx::formats::ReplaceFile(path, m_image)) {
    m_hrLast = E_FAIL;
    return false;
  }
  SetPath(path);
  return true;
}

bool CBaseKesmoraFile::SaveToBuffer(CByteBuffer& out) {
  if (!BuildImage()) return false;
  out.Free(false);
  out = m_image;
  return true;
}

bool CBaseKesmoraFile::ReadWhole(const char* path, DWORD count) {
  CWin32File file(path);
  if (!file.IsOpen() || FAILED(file.ReadAll(count))) return false;
  m_image.Free(false);
  m_image = file.m_buffer;
  return true;
}

bool CBaseKesmoraFile::Load(const char* path) {
  SetPath(path);
  m_nLoadMode = 4;
  if (!ReadWhole(path, 0) || !ExtractBody()) {
    m_hrLast = E_FAIL;
    return false;
  }
  if (!Deserialize(1)) {
    m_hrLast = E_FAIL;
    return false;
  }
  return true;
}

bool CBaseKesmoraFile::LoadHeader(const char* path) {
  SetPath(path);
  m_nLoadMode = 0;
  if (!ReadWhole(path, 0) || !ParseHeader(nullptr)) {
    m_hrLast = E_FAIL;
    return false;
  }
  return true;
}

bool CBaseKesmoraFile::LoadNonEmpty(const char* path) {
  SetPath(path);
  m_nLoadMode = 2;
  if (!ReadWhole(path, kHeaderSize + 4)) {
    m_hrLast = E_FAIL;
    return false;
  }
  DWORD count = ReadLeadingCount();
  if (count == 0) return false;
  // The count comes from the file: it may not ask for more bytes than the file holds.
  WIN32_FILE_ATTRIBUTE_DATA info;
  uint64_t wanted = uint64_t(kHeaderSize) + 4 + count;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info) || info.nFileSizeHigh != 0 ||
      wanted > info.nFileSizeLow || !ReadWhole(path, static_cast<DWORD>(wanted)) || !ExtractBody() ||
      !Deserialize(1)) {
    m_hrLast = E_FAIL;
    return false;
  }
  return true;
}

bool CBaseKesmoraFile::IsDateValid() const {
  if (!HasFileClass() || m_image.GetLength() == 0) return false;
  int year = m_abDate[0] * 256 + m_abDate[1];
  return year >= 1996 && year <= 9999 && m_abDate[2] >= 1 && m_abDate[2] <= 12 && m_abDate[3] >= 1 &&
         m_abDate[3] <= 31;
}

bool CBaseKesmoraFile::IsTimeValid() const {
  if (!HasFileClass() || m_image.GetLength() == 0) return false;
  return m_abTime[0] <= 23 && m_abTime[1] <= 59 && m_abTime[2] <= 59;
}

// Every file of the family carries 0 in both header bytes; 1 is accepted as well.
bool CBaseKesmoraFile::IsHeaderByte1Valid() const {
  if (!HasFileClass() || m_image.GetLength() == 0) return false;
  return m_bHeaderByte1 <= 1;
}

bool CBaseKesmoraFile::IsHeaderByte2Valid() const {
  if (!HasFileClass() || m_image.GetLength() == 0) return false;
  return m_bHeaderByte2 <= 1;
}

DWORD CBaseKesmoraFile::ReadLeadingCount() const {
  DWORD v = 0;
  if (m_image.GetLength() >= kHeaderSize + 4) BytesToUInt32BE(v, m_image.GetData() + kHeaderSize, 4);
  return v;
}

HRESULT CBaseKesmoraFile::ReadLeadingFields(CByteBuffer& out1, CByteBuffer& out2) const {
  if (m_bLeadingFields == 0 || m_image.GetLength() < 33) return E_FAIL;
  out1.Free(false);
  out2.Free(false);
  out1.SetAt(4, m_image.GetData() + 25, 0);
  out2.SetAt(4, m_image.GetData() + 29, 0);
  return S_OK;
}

HRESULT CBaseKesmoraFile::LoadFromVariant(const VARIANT& v) {
  m_image = VariantBytes(v);
  m_hrLast = ExtractBody() && Deserialize(0) ? S_OK : E_FAIL;
  return m_hrLast;
}

HRESULT CBaseKesmoraFile::LoadWithResult(const char* path) {
  SetPath(path);
  m_hrLast = Load(path) ? S_OK : E_FAIL;
  return m_hrLast;
}

HRESULT CBaseKesmoraFile::Reload() {
  if (m_strPath.IsEmpty()) {
    m_hrLast = Deserialize(0) ? S_OK : E_FAIL;
    return m_hrLast;
  }
  CString path = m_strPath.GetAnsi();
  return LoadWithResult(path);
}

VARIANT CBaseKesmoraFile::GetImageAsVariant() const {
  CSafeArray array(m_image);
  VARIANT v;
  VariantInit(&v);
  array.Detach(&v);
  return v;
}

CFileImageVariant CBaseKesmoraFile::GetImageVariant() const {
  CFileImageVariant v;
  v.SetByteBuffer(m_image);
  return v;
}

// ---- digest ----

bool HashFileBody(CBaseKesmoraFile* file, bool verify, CByteBuffer& out, int whole) {
  if (!file) return false;
  CByteBuffer body;
  file->GetBody(body);
  DWORD offset = 0, size = 0;
  bool ranged = file->GetDigestRange(offset, size);
  BYTE digest[20];
  DWORD digestLength = 0;
  if (!ranged || offset == 0 || size == 0 || whole) {
    if (whole != 1) return true;
    if (!Sha1Digest(digest, &digestLength, body.GetData(), body.GetLength())) return false;
    out.Free(false);
    return out.SetAt(digestLength, digest, 0);
  }
  uint64_t end = uint64_t(offset) + size;
  if (body.GetLength() == 0 || body.GetLength() < end) return false;
  // The body with the digest range cut out.
  CByteBuffer hashed;
  if (!hashed.SetAt(offset, body.GetData(), 0)) return false;
  if (body.GetLength() > end && !hashed.Append(body.GetLength() - static_cast<DWORD>(end), body.GetData() + end))
    return false;
  if (!Sha1Digest(digest, &digestLength, hashed.GetData(), hashed.GetLength()) || digestLength != 20) return false;
  out.Free(false);
  out.SetAt(20, digest, 0);
  if (!verify) return true;
  const BYTE* stored = file->GetStoredDigest();
  return stored && std::memcmp(stored, digest, 20) == 0;
}

bool ReadFileMarker(const char* path, CString& out) {
  CWin32File file(path);
  if (!file.IsOpen() || FAILED(file.ReadAll(4))) return false;
  out = kx::formats::GetFixedText(file.m_buffer.GetData(), 4);
  return true;
}

bool ReadBufferMarker(const VARIANT& v, CString& out) {
  CByteBuffer bytes = VariantBytes(v);
  if (bytes.GetLength() < 4) return false;
  out = kx::formats::GetFixedText(bytes.GetData(), 4);
  return true;
}

namespace kx::formats {

bool ReplaceFile(const char* path, const CByteBuffer& bytes, mode_t mode) {
  if (!path || !*path || bytes.GetLength() == 0) return false;
  struct stat st;
  // A file no one sees yet (an output before it has its name) is written in place.
  if (::stat(path, &st) == 0 && S_ISREG(st.st_mode) && (st.st_nlink == 0 || kx::IsNewFileTemporary(path))) {
    CWin32File out(path, bytes);
    return out.IsOpen() && SUCCEEDED(out.WriteAll(0));
  }
  const std::string target = path;
  const size_t slash = target.rfind('/');
  kx::CNewFile file;
  if (!file.Create(slash == std::string::npos ? std::string() : target.substr(0, slash + 1))) return false;
  {
    CWin32File out(file.Path().c_str(), bytes);
    if (!out.IsOpen() || FAILED(out.WriteAll(0))) return false;
  }
  // A reader holding the target open for a moment makes the replacing fail; try again for a while.
  if (mode == 0) mode = kx::ModeFromUmask();
  for (int attempt = 0;; ++attempt) {
    if (file.Name(target, mode, true)) return true;
    if (GetLastError() != ERROR_SHARING_VIOLATION || attempt >= 200) break;
    Sleep(10);
  }
  const DWORD error = GetLastError();
  file.Discard();
  SetLastError(error);
  return false;
}

}  // namespace kx::formats
