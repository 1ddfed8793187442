#include "platform/mfc/carchive.h"

#include <cstring>
#include <new>

#include "platform/mfc/cfile.h"
#include "platform/mfc/exceptions.h"
#include "platform/win32/textconv.h"

namespace {

constexpr WORD wNullTag = 0;
constexpr WORD wNewClassTag = 0xFFFF;
constexpr WORD wClassTag = 0x8000;
constexpr DWORD dwBigClassTag = 0x80000000u;
constexpr WORD wBigObjectTag = 0x7FFF;
constexpr DWORD nMaxMapCount = 0x3FFFFFFEu;
constexpr UINT kMaxClassName = 64;

}  // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void*) : m_pFile(pFile), m_nMode(nMode) {
  if (!pFile) AfxThrowInvalidArgException();
  m_buf.resize(nBufSize < 128 ? 128 : static_cast<size_t>(nBufSize));
  m_loadArray.push_back({nullptr, false});  // index 0: the null object
  m_storeMap[nullptr] = 0;
}

CArchive::~CArchive() {
  if (m_pFile && IsStoring() && !(m_nMode & bNoFlushOnDelete)) {
    try {
      Flush();
    } catch (CException* e) {
      e->Delete();
    }
  }
}

void CArchive::Fail(int cause) const {
  CString name;
  if (m_pFile) name = m_pFile->GetFilePath();
  AfxThrowArchiveException(cause, name.IsEmpty() ? nullptr : name.GetString());
}

UINT CArchive::GetObjectSchema() {
  UINT s = m_nObjectSchema;
  m_nObjectSchema = static_cast<UINT>(-1);
  return s;
}

// ---- Bytes ----

UINT CArchive::FillBuffer(UINT wanted) {
  if (m_pos < m_end) return static_cast<UINT>(m_end - m_pos);
  m_pos = m_end = 0;
  UINT got = m_pFile->Read(m_buf.data(), static_cast<UINT>(m_buf.size()));
  m_end = got;
  return got;
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
  if (!m_pFile) Fail(CArchiveException::genericException);
  if (IsStoring()) Fail(CArchiveException::writeOnly);
  BYTE* out = static_cast<BYTE*>(lpBuf);
  UINT done = 0;
  while (done < nMax) {
    if (m_pos >= m_end) {
      if (nMax - done >= m_buf.size()) {
        // Large reads go straight to the file.
        UINT got = m_pFile->Read(out + done, nMax - done);
        if (got == 0) break;
        done += got;
        continue;
      }
      if (FillBuffer(nMax - done) == 0) break;
    }
    UINT n = static_cast<UINT>(kx_min<size_t>(m_end - m_pos, nMax - done));
    std::memcpy(out + done, m_buf.data() + m_pos, n);
    m_pos += n;
    done += n;
  }
  return done;
}

void CArchive::EnsureRead(void* lpBuf, UINT nCount) {
  if (Read(lpBuf, nCount) != nCount) Fail(CArchiveException::endOfFile);
}

void CArchive::Write(const void* lpBuf, UINT nMax) {
  if (!m_pFile) Fail(CArchiveException::genericException);
  if (IsLoading()) Fail(CArchiveException::readOnly);
  const BYTE* in = static_cast<const BYTE*>(lpBuf);
  if (m_end + nMax > m_buf.size()) {
    Flush();
    if (nMax >= m_buf.size()) {
      m_pFile->Write(in, nMax);
      return;
    }
  }
  std::memcpy(m_buf.data() + m_end, in, nMax);
  m_end += nMax;
}

CArchive& CArchive::WriteRaw(const void* p, UINT n) {
  Write(p, n);
  return *this;
}

void CArchive::Flush() {
  if (!m_pFile) return;
  if (IsStoring()) {
    if (m_end) {
      size_t n = m_end;
      m_end = 0;
      m_pFile->Write(m_buf.data(), static_cast<UINT>(n));
    }
    m_pFile->Flush();
  } else if (m_pos < m_end) {
    // Give back what was read ahead, so the file stands where the archive does.
    m_pFile->Seek(-static_cast<LONGLONG>(m_end - m_pos), CFile::current);
    m_pos = m_end = 0;
  }
}

void CArchive::Close() {
  Flush();
  m_pFile = nullptr;
}

void CArchive::Abort() {
  m_pos = m_end = 0;
  m_pFile = nullptr;
}

// ---- Text ----

void CArchive::WriteString(LPCTSTR lpsz) {
  if (lpsz) Write(lpsz, static_cast<UINT>(std::strlen(lpsz)));
}

LPTSTR CArchive::ReadString(LPTSTR lpsz, UINT nMax) {
  if (!lpsz || nMax == 0) return nullptr;
  UINT n = 0;
  char c = 0;
  bool any = false;
  while (n + 1 < nMax && Read(&c, 1) == 1) {
    any = true;
    if (c == '\n') {
      lpsz[n++] = c;
      break;
    }
    lpsz[n++] = c;
  }
  lpsz[n] = 0;
  return any ? lpsz : nullptr;
}

BOOL CArchive::ReadString(CString& rString) {
  std::string line;
  char c;
  bool any = false;
  while (Read(&c, 1) == 1) {
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  rString = line;
  return any ? TRUE : FALSE;
}

// ---- Strings and counts ----

CArchive& CArchive::operator<<(const CString& s) {
  size_t n = static_cast<size_t>(s.GetLength());
  if (n < 255) {
    *this << static_cast<BYTE>(n);
  } else if (n < 0xFFFE) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(n);
  } else if (n < 0xFFFFFFFFu) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(n);
  } else {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(0xFFFFFFFFu)
          << static_cast<unsigned long long>(n);
  }
  if (n) Write(s.GetString(), static_cast<UINT>(n));
  return *this;
}

CArchive& CArchive::operator>>(CString& s) {
  bool wide = false;
  unsigned long long n;
  for (;;) {
    BYTE b;
    *this >> b;
    if (b < 0xFF) {
      n = b;
      break;
    }
    WORD w;
    *this >> w;
    if (w == 0xFFFE) {  // the following length counts 16-bit characters
      if (wide) Fail(CArchiveException::badIndex);
      wide = true;
      continue;
    }
    if (w < 0xFFFF) {
      n = w;
      break;
    }
    DWORD d;
    *this >> d;
    if (d < 0xFFFFFFFFu) {
      n = d;
      break;
    }
    *this >> n;
    break;
  }
  if (n > 0x7FFFFFFFull / (wide ? 2 : 1)) Fail(CArchiveException::badIndex);
  size_t bytes = static_cast<size_t>(n) * (wide ? 2 : 1);
  // Read in pieces, so that a damaged length cannot make us allocate more than the file holds.
  std::string data;
  while (data.size() < bytes) {
    size_t chunk = kx_min<size_t>(bytes - data.size(), 1 << 20);
    size_t at = data.size();
    data.resize(at + chunk);
    EnsureRead(&data[at], static_cast<UINT>(chunk));
  }
  if (wide) {
    std::u16string w(bytes / 2, u'\0');
    std::memcpy(w.data(), data.data(), bytes);
    s = kx::Utf16ToUtf8(w);
  } else {
    s = data;
  }
  return *this;
}

DWORD_PTR CArchive::ReadCount() {
  WORD w;
  *this >> w;
  if (w != 0xFFFF) return w;
  DWORD d;
  *this >> d;
  if (d != 0xFFFFFFFFu) return d;
  unsigned long long q;
  *this >> q;
  return static_cast<DWORD_PTR>(q);
}

void CArchive::WriteCount(DWORD_PTR n) {
  if (n < 0xFFFF) {
    *this << static_cast<WORD>(n);
  } else if (n < 0xFFFFFFFFu) {
    *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(n);
  } else {
    *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(0xFFFFFFFFu) << static_cast<unsigned long long>(n);
  }
}

// ---- Classes and objects ----

void CRuntimeClass::Store(CArchive& ar) const {
  WORD len = static_cast<WORD>(std::strlen(m_lpszClassName));
  ar << static_cast<WORD>(m_wSchema) << len;
  ar.Write(m_lpszClassName, len);
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* schema) {
  WORD wSchema, len;
  ar >> wSchema >> len;
  if (schema) *schema = wSchema;
  if (len >= kMaxClassName) return nullptr;
  char name[kMaxClassName];
  if (ar.Read(name, len) != len) return nullptr;
  name[len] = 0;
  return FromName(name);
}

DWORD CArchive::NextIndex() {
  if (m_nMapCount >= nMaxMapCount) Fail(CArchiveException::badIndex);
  return m_nMapCount++;
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef) {
  if (!pClassRef) AfxThrowInvalidArgException();
  if (IsLoading()) Fail(CArchiveException::readOnly);
  if (pClassRef->m_wSchema == KX_NO_SCHEMA) Fail(CArchiveException::badClass);  // not a serial class
  auto it = m_storeMap.find(pClassRef);
  if (it != m_storeMap.end()) {
    DWORD index = it->second;
    if (index < wBigObjectTag) {
      *this << static_cast<WORD>(wClassTag | index);
    } else {
      *this << wBigObjectTag << static_cast<DWORD>(dwBigClassTag | index);
    }
    return;
  }
  *this << wNewClassTag;
  pClassRef->Store(*this);
  m_storeMap[pClassRef] = NextIndex();
}

void CArchive::WriteObject(const CObject* pOb) {
  if (IsLoading()) Fail(CArchiveException::readOnly);
  if (!pOb) {
    *this << wNullTag;
    return;
  }
  auto it = m_storeMap.find(pOb);
  if (it != m_storeMap.end()) {
    DWORD index = it->second;
    if (index < wBigObjectTag) {
      *this << static_cast<WORD>(index);
    } else {
      *this << wBigObjectTag << index;
    }
    return;
  }
  WriteClass(pOb->GetRuntimeClass());
  m_storeMap[pOb] = NextIndex();
  const_cast<CObject*>(pOb)->Serialize(*this);
}

void CArchive::MapObject(const CObject* pOb) {
  if (IsStoring()) {
    if (pOb && m_storeMap.find(pOb) == m_storeMap.end()) m_storeMap[pOb] = NextIndex();
  } else {
    NextIndex();
    m_loadArray.push_back({const_cast<CObject*>(pOb), false});
  }
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema, DWORD* pObTag) {
  if (IsStoring()) Fail(CArchiveException::writeOnly);
  WORD wTag;
  *this >> wTag;
  DWORD obTag;
  if (wTag == wBigObjectTag) {
    *this >> obTag;
  } else {
    obTag = (static_cast<DWORD>(wTag & wClassTag) << 16) | (wTag & ~wClassTag);
  }
  if (!(obTag & dwBigClassTag)) {
    // An object reference (or the null tag), where a class may stand only inside ReadObject.
    if (!pObTag) Fail(CArchiveException::badIndex);
    *pObTag = obTag;
    return nullptr;
  }

  CRuntimeClass* pClassRef;
  UINT nSchema;
  if (wTag == wNewClassTag) {
    pClassRef = CRuntimeClass::Load(*this, &nSchema);
    if (!pClassRef || pClassRef->m_wSchema == KX_NO_SCHEMA) Fail(CArchiveException::badClass);
    if (!(pClassRef->m_wSchema & VERSIONABLE_SCHEMA) && pClassRef->m_wSchema != nSchema)
      Fail(CArchiveException::badSchema);
    m_schemaMap[pClassRef] = nSchema;
    NextIndex();
    m_loadArray.push_back({pClassRef, true});
  } else {
    DWORD index = obTag & ~dwBigClassTag;
    if (index == 0 || index >= m_loadArray.size() || !m_loadArray[index].isClass)
      Fail(CArchiveException::badIndex);
    pClassRef = static_cast<CRuntimeClass*>(m_loadArray[index].ptr);
    nSchema = m_schemaMap[pClassRef];
  }
  if (pClassRefRequested && !pClassRef->IsDerivedFrom(pClassRefRequested)) Fail(CArchiveException::badClass);
  if (pSchema) *pSchema = nSchema;
  if (pObTag) *pObTag = obTag;
  return pClassRef;
}

void CArchive::SerializeClass(const CRuntimeClass* pClassRef) {
  if (IsStoring()) WriteClass(pClassRef);
  else ReadClass(pClassRef);
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested) {
  UINT nSchema = 0;
  DWORD obTag = 0;
  CRuntimeClass* pClassRef = ReadClass(pClassRefRequested, &nSchema, &obTag);
  if (!pClassRef) {
    if (obTag >= m_loadArray.size() || m_loadArray[obTag].isClass) Fail(CArchiveException::badIndex);
    CObject* pOb = static_cast<CObject*>(m_loadArray[obTag].ptr);
    if (pOb && pClassRefRequested && !pOb->IsKindOf(pClassRefRequested)) Fail(CArchiveException::badClass);
    return pOb;
  }
  if (!pClassRef->m_pfnCreateObject) Fail(CArchiveException::badClass);
  CObject* pOb = pClassRef->CreateObject();
  if (!pOb) AfxThrowMemoryException();
  size_t slot = m_loadArray.size();
  NextIndex();
  m_loadArray.push_back({pOb, false});
  UINT saved = m_nObjectSchema;
  m_nObjectSchema = nSchema;
  try {
    pOb->Serialize(*this);
  } catch (...) {
    // A half-read object is not handed to anyone: free it, so that a damaged file leaks nothing.
    m_loadArray[slot].ptr = nullptr;
    delete pOb;
    m_nObjectSchema = saved;
    throw;
  }
  m_nObjectSchema = saved;
  return pOb;
}
