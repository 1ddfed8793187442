#include "zip/ZipStorage.h"

#include <cstring>
#include <string>

#include "platform/mfc/exceptions.h"
#include "platform/win32/errors.h"
#include "zip/ZipException.h"
#include "zip/ZipPlatform.h"

namespace {
const BYTE kSpanMarker[4] = {'P', 'K', 7, 8};
constexpr int kMaxVolumes = 999;
constexpr UINT kCreateFlags = CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite;
constexpr UINT kReadFlags = CFile::modeRead | CFile::modeNoTruncate | CFile::shareDenyWrite;
}  // namespace

CZipStorage::CZipStorage() = default;

CZipStorage::~CZipStorage() = default;

void CZipStorage::ThrowError(int cause) const { CZipException::Throw(cause, m_szCurrentPath); }

void CZipStorage::OpenVolume(LPCTSTR path, UINT flags) {
  m_pFile = &m_internalFile;
  m_pFile->Open(path, flags, true);
  m_szCurrentPath = path;
}

void CZipStorage::Open(LPCTSTR path, int mode, int volumeSize) {
  m_pWriteBuffer.Allocate(static_cast<DWORD>(m_iWriteBufferSize));
  m_uBytesInWriteBuffer = 0;
  m_bNewSpan = false;
  m_bReadOnly = mode == zipOpenReadOnly;
  m_uBytesWritten = 0;
  m_szCurrentPath.Empty();
  m_newFile.Discard();
  if (mode == zipCreate) {
    m_iSpanMode = noSpan;
    const std::string whole = path;
    const size_t slash = whole.rfind('/');
    if (!m_newFile.Create(slash == std::string::npos ? std::string() : whole.substr(0, slash + 1)))
      CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), path);
    OpenVolume(m_newFile.Path().c_str(), kCreateFlags);
    m_szCurrentPath = path;
    m_iCurrentDisk = 0;
  } else if (mode == zipCreateSpan) {
    m_iCurrentDisk = 0;
    m_bNewSpan = true;
    if (volumeSize <= 0) {
      if (!m_pChangeDiskFunc) ThrowError(CZipException::noCallback);
      if (!ZipIsDriveRemovable(path)) ThrowError(CZipException::nonRemovable);
      m_iSpanMode = pkzipSpan;
    } else {
      m_iSpanMode = tdSpan;
      m_uSplitData = static_cast<DWORD>(volumeSize);
    }
    NextVolume(sizeof kSpanMarker, path);
    Write(kSpanMarker, sizeof kSpanMarker, true);
  } else {
    UINT flags = (mode == zipOpenReadOnly ? CFile::modeRead : CFile::modeReadWrite) | CFile::modeNoTruncate |
                 CFile::shareDenyWrite;
    OpenVolume(path, flags);
    m_iCurrentDisk = 0;
    m_iSpanMode = volumeSize == 0 ? suggestedAuto : suggestedTd;
  }
}

void CZipStorage::SetSpanMode(int lastDisk) {
  m_iCurrentDisk = lastDisk;
  if (lastDisk == 0) {
    m_iSpanMode = noSpan;
    return;
  }
  if (m_iSpanMode == suggestedAuto)
    m_iSpanMode = ZipIsDriveRemovable(m_szCurrentPath) ? pkzipSpan : tdSpan;
  else
    m_iSpanMode = tdSpan;
  if (m_iSpanMode == pkzipSpan && !m_pChangeDiskFunc) ThrowError(CZipException::noCallback);
  m_uSplitData = static_cast<DWORD>(lastDisk);
  m_pWriteBuffer.Release();
}

int CZipStorage::GetSpanMode() const {
  if (!IsSpanMode()) return 0;
  return m_bNewSpan ? 1 : -1;
}

DWORD CZipStorage::Read(void* buf, DWORD size, bool whole) {
  if (size == 0) return 0;
  BYTE* p = static_cast<BYTE*>(buf);
  DWORD read = m_pFile->Read(p, size);
  while (read == 0) {
    if (!IsSpanMode()) ThrowError(CZipException::badZipFile);
    ChangeDisk(m_iCurrentDisk + 1);
    read = m_pFile->Read(p, size);
  }
  if (read < size) {
    if (whole || !IsSpanMode()) ThrowError(CZipException::badZipFile);
    while (read < size) {
      ChangeDisk(m_iCurrentDisk + 1);
      DWORD n = m_pFile->Read(p + read, size - read);
      if (n == 0) ThrowError(CZipException::badZipFile);
      read += n;
    }
  }
  return read;
}

void CZipStorage::AssureFree(DWORD size) {
  if (!IsSpanMode()) return;
  while (GetFreeVolumeSpace() < size) {
    // A record larger than a whole volume goes whole into a fresh one.
    if (m_iSpanMode == tdSpan && m_uBytesWritten == 0 && m_uBytesInWriteBuffer == 0)
      m_uCurrentVolSize = size;
    else
      NextVolume(size);
  }
}

void CZipStorage::Write(const void* buf, DWORD size, bool whole) {
  const BYTE* p = static_cast<const BYTE*>(buf);
  if (!IsSpanMode()) {
    WriteInternal(p, size);
    return;
  }
  DWORD needed = whole ? size : 1;
  DWORD total = 0;
  while (total < size) {
    AssureFree(needed);
    ULONGLONG space = GetFreeVolumeSpace();
    DWORD left = size - total;
    DWORD n = space < left ? static_cast<DWORD>(space) : left;
    WriteInternal(p + total, n);
    total += n;
  }
}

void CZipStorage::WriteInternal(const BYTE* buf, DWORD size) {
  if (!m_pWriteBuffer.IsAllocated()) {
    m_pFile->Write(buf, size);
    m_uBytesWritten += size;
    return;
  }
  while (size > 0) {
    DWORD n = GetFreeInBuffer();
    if (n > size) n = size;
    std::memcpy(m_pWriteBuffer.GetBuffer() + m_uBytesInWriteBuffer, buf, n);
    m_uBytesInWriteBuffer += n;
    buf += n;
    size -= n;
    if (GetFreeInBuffer() == 0) Flush();
  }
}

void CZipStorage::Flush() {
  if (m_uBytesInWriteBuffer) {
    m_pFile->Write(m_pWriteBuffer.GetBuffer(), m_uBytesInWriteBuffer);
    m_uBytesWritten += m_uBytesInWriteBuffer;
    m_uBytesInWriteBuffer = 0;
  }
  if (m_iSpanMode == pkzipSpan && m_bNewSpan) m_uCurrentVolSize = ZipGetDeviceFreeSpace(m_szCurrentPath);
}

ULONGLONG CZipStorage::GetPosition() const { return m_pFile->GetPosition() + m_uBytesInWriteBuffer; }

DWORD CZipStorage::GetFreeInBuffer() const { return m_pWriteBuffer.GetSize() - m_uBytesInWriteBuffer; }

ULONGLONG CZipStorage::GetFreeVolumeSpace() const {
  ULONGLONG used = m_uBytesInWriteBuffer;
  if (m_iSpanMode == tdSpan) used += m_uBytesWritten;
  return m_uCurrentVolSize > used ? m_uCurrentVolSize - used : 0;
}

bool CZipStorage::CallCallback(int code) {
  if (!m_pChangeDiskFunc) ThrowError(CZipException::noCallback);
  if (!m_pChangeDiskFunc(static_cast<DWORD>(m_iCurrentDisk + 1), code, m_pCallbackData))
    ThrowError(CZipException::aborted);
  return true;
}

CString CZipStorage::VolumeName(int disk, bool last, LPCTSTR path) const {
  CZipPathComponent zpc(path ? path : m_szCurrentPath.GetString());
  if (last) {
    zpc.SetExtension("zip");
  } else {
    CString ext;
    ext.Format("%.3d", disk);
    zpc.SetExtension(ext);
  }
  return zpc.GetFullPath();
}

void CZipStorage::ChangeDisk(int disk) {
  if (disk == m_iCurrentDisk) return;
  // Past the last volume, or a volume of an archive that has only one, is damage.
  if (!IsSpanMode() || disk < 0 || static_cast<DWORD>(disk) > m_uSplitData) ThrowError(CZipException::badZipFile);
  m_iCurrentDisk = disk;
  CString path = m_szCurrentPath;
  if (m_iSpanMode == pkzipSpan) {
    m_pFile->Close();
    CallCallback(-1);
    OpenVolume(path, kReadFlags);
  } else {
    CString name = VolumeName(disk, static_cast<DWORD>(disk) == m_uSplitData, path);
    m_pFile->Close();
    OpenVolume(name, kReadFlags);
  }
}

void CZipStorage::NextVolume(DWORD needed, LPCTSTR path) {
  Flush();
  if (m_uBytesWritten) {
    m_uBytesWritten = 0;
    if (++m_iCurrentDisk >= kMaxVolumes) ThrowError(CZipException::tooManyVolumes);
  }
  CString name = path ? CString(path) : m_szCurrentPath;
  if (m_pFile && !m_pFile->IsClosed()) m_pFile->Close();
  if (m_iSpanMode == pkzipSpan) {
    int code = static_cast<int>(needed);
    for (;;) {
      CallCallback(code);
      if (ZipFileExists(name) != 0) {
        code = -2;
        continue;
      }
      CString label;
      label.Format("pkback# %.3d", m_iCurrentDisk + 1);
      if (!ZipSetVolumeLabel(name, label)) {
        code = -3;
        continue;
      }
      m_pFile = &m_internalFile;
      if (!m_pFile->Open(name, kCreateFlags, false)) {
        code = -4;
        continue;
      }
      break;
    }
    m_szCurrentPath = name;
    m_uCurrentVolSize = ZipGetDeviceFreeSpace(name);
  } else {
    OpenVolume(VolumeName(m_iCurrentDisk, false, name), kCreateFlags);
    m_uCurrentVolSize = m_uSplitData;
  }
}

CString CZipStorage::GetFilePath() const { return m_szCurrentPath; }

bool CZipStorage::IsClosed(bool archive) const {
  if (archive) return m_iCurrentDisk == -1;
  return !m_pFile || m_pFile->IsClosed();
}

void CZipStorage::Close(bool afterException) {
  if (!afterException) {
    Flush();
    if (m_iSpanMode == tdSpan && m_bNewSpan) {
      CString path = m_szCurrentPath;
      m_pFile->Close();
      CString last = VolumeName(0, true, path);
      if (ZipFileExists(last) != 0) ZipRemoveFile(last);
      ZipRenameFile(path, last);
    } else if (m_pFile) {
      m_pFile->Close();
    }
  } else if (m_pFile && !m_pFile->IsClosed()) {
    m_pFile->Close();
  }
  m_pWriteBuffer.Release();
  m_uBytesInWriteBuffer = 0;
  m_iCurrentDisk = -1;
  m_iSpanMode = noSpan;
  m_bNewSpan = false;
  m_pFile = nullptr;
  const CString path = m_szCurrentPath;
  m_szCurrentPath.Empty();
  if (!m_newFile.IsCreated()) return;
  if (afterException) {
    m_newFile.Discard();
    return;
  }
  // Whole: it takes its name, in place of a file of that name as creating an archive always did.
  if (!m_newFile.Name(path.str(), kx::ModeFromUmask(), true)) {
    const DWORD code = GetLastError();
    m_newFile.Discard();
    CFileException::ThrowOsError(static_cast<LONG>(code), path);
  }
}
