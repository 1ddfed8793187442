#include "zip/ZipFile.h"

CZipFile::~CZipFile() = default;

bool CZipFile::Open(LPCTSTR path, UINT flags, bool throwException) {
  CFileException error;
  if (m_file.Open(path, flags, &error)) return true;
  if (throwException) throw new CFileException(error.m_cause, error.m_lOsError, path);
  return false;
}

void CZipFile::Close() {
  if (!IsClosed()) m_file.Close();
}

void CZipFile::Flush() { m_file.Flush(); }

ULONGLONG CZipFile::GetPosition() const { return m_file.GetPosition(); }

CString CZipFile::GetFilePath() const { return m_file.GetFilePath(); }

void CZipFile::SetLength(ULONGLONG length) { m_file.SetLength(length); }

UINT CZipFile::Read(void* buf, UINT count) { return count ? m_file.Read(buf, count) : 0; }

void CZipFile::Write(const void* buf, UINT count) {
  if (count) m_file.Write(buf, count);
}

ULONGLONG CZipFile::Seek(LONGLONG offset, int from) { return m_file.Seek(offset, static_cast<UINT>(from)); }

bool CZipFile::IsClosed() const { return m_file.m_hFile == CFile::hFileNull; }

ULONGLONG CZipFile::GetLength() const { return m_file.GetLength(); }
