#include "zip/ZipCentralDir.h"

#include <algorithm>
#include <cstring>

#include "zip/ZipException.h"
#include "zip/ZipStorage.h"

namespace {
const BYTE kEndSig[4] = {'P', 'K', 5, 6};
const BYTE kDescriptorSig[4] = {'P', 'K', 7, 8};
constexpr ULONGLONG kMaxComment = 0xFFFF;
constexpr ULONGLONG kMax32 = 0xFFFFFFFFull;
}  // namespace

CZipCentralDirectory::~CZipCentralDirectory() = default;

void CZipCentralDirectory::ThrowError(int cause) const { m_pStorage->ThrowError(cause); }

void CZipCentralDirectory::Init() {
  m_bOnDisk = false;
  m_uEndOffset = 0;
  m_uBytesBeforeZip = 0;
  m_pOpenedFile = nullptr;
  m_pszComment.Release();
}

void CZipCentralDirectory::Clear(bool everything) {
  m_pOpenedFile = nullptr;
  m_pLocalExtraField.Release();
  if (everything) {
    m_headers.clear();
    m_pszComment.Release();
  }
}

CZipFileHeader* CZipCentralDirectory::GetHeader(WORD index) const {
  if (!IsValidIndex(index)) ThrowError(CZipException::internal);
  return m_headers[index].get();
}

void CZipCentralDirectory::ReadAt(ULONGLONG position, BYTE* buf, DWORD size) {
  m_pStorage->m_pFile->Seek(static_cast<LONGLONG>(position), CZipFileBase::begin);
  DWORD done = 0;
  while (done < size) {
    UINT n = m_pStorage->m_pFile->Read(buf + done, size - done);
    if (n == 0) ThrowError(CZipException::badZipFile);
    done += n;
  }
}

void CZipCentralDirectory::WriteAt(ULONGLONG position, const BYTE* buf, DWORD size) {
  m_pStorage->m_pFile->Seek(static_cast<LONGLONG>(position), CZipFileBase::begin);
  m_pStorage->m_pFile->Write(buf, size);
}

ULONGLONG CZipCentralDirectory::LocateEndRecord() {
  CZipFileBase* file = m_pStorage->m_pFile;
  ULONGLONG length = file->GetLength();
  ULONGLONG range = std::min<ULONGLONG>(length, kEndRecordSize + kMaxComment);
  ULONGLONG limit = length - range;
  CZipBuffer buf(static_cast<DWORD>(m_iBufferSize));
  ULONGLONG end = length;
  while (end > limit && end - limit >= 4) {
    ULONGLONG start = end - limit > static_cast<ULONGLONG>(m_iBufferSize) ? end - m_iBufferSize : limit;
    DWORD n = static_cast<DWORD>(end - start);
    file->Seek(static_cast<LONGLONG>(start), CZipFileBase::begin);
    m_pStorage->Read(buf.GetBuffer(), n, true);
    for (DWORD i = n - 4 + 1; i-- > 0;)
      if (std::memcmp(buf.GetBuffer() + i, kEndSig, 4) == 0) return start + i;
    if (start == limit) break;
    end = start + 3;  // a signature across the border is found in the next block
  }
  ThrowError(CZipException::cdirNotFound);
}

void CZipCentralDirectory::Read() {
  m_uEndOffset = LocateEndRecord();
  m_pStorage->m_pFile->Seek(static_cast<LONGLONG>(m_uEndOffset), CZipFileBase::begin);
  BYTE buf[kEndRecordSize];
  m_pStorage->Read(buf, kEndRecordSize, true);
  std::memcpy(m_info.m_szSignature, buf, 4);
  m_info.m_uThisDisk = ZipGet16(buf + 4);
  m_info.m_uDiskWithCD = ZipGet16(buf + 6);
  m_info.m_uDiskEntriesNo = ZipGet16(buf + 8);
  m_info.m_uEntriesNumber = ZipGet16(buf + 10);
  m_info.m_uSize = ZipGet32(buf + 12);
  m_info.m_uOffset = ZipGet32(buf + 16);
  WORD commentLen = ZipGet16(buf + 20);

  m_pStorage->SetSpanMode(m_info.m_uThisDisk);
  bool spanned = m_pStorage->IsSpanMode();
  if (!spanned && m_uEndOffset < static_cast<ULONGLONG>(m_info.m_uOffset) + m_info.m_uSize)
    ThrowError(CZipException::badZipFile);
  m_pszComment.Allocate(commentLen);
  m_pStorage->Read(m_pszComment.GetBuffer(), commentLen, true);
  m_uBytesBeforeZip = spanned ? 0 : m_uEndOffset - m_info.m_uSize - m_info.m_uOffset;
  if ((m_info.m_uSize == 0) != (m_info.m_uEntriesNumber == 0)) ThrowError(CZipException::badZipFile);
  m_bOnDisk = true;
  m_pStorage->ChangeDisk(m_info.m_uDiskWithCD);
  if (m_info.m_uSize == 0) return;

  m_pStorage->m_pFile->Seek(static_cast<LONGLONG>(m_info.m_uOffset + m_uBytesBeforeZip), CZipFileBase::begin);
  m_headers.reserve(m_info.m_uEntriesNumber);
  for (int i = 0; i < m_info.m_uEntriesNumber; ++i) {
    auto header = std::make_unique<CZipFileHeader>();
    if (!header->ReadCentral(m_pStorage)) ThrowError(CZipException::badZipFile);
    m_headers.push_back(std::move(header));
  }
  // The directory may not run into the end record.
  if (!spanned && m_pStorage->m_pFile->GetPosition() > m_uEndOffset) ThrowError(CZipException::badZipFile);
  CheckLayout();
}

void CZipCentralDirectory::CheckLayout() const {
  // Entries of a single-file archive must lie one after another before the directory: an entry whose data
  // runs into another's or into the directory is refused (crafted archives that reuse data).
  if (m_pStorage->IsSpanMode()) return;
  struct Range {
    ULONGLONG start, end;
  };
  std::vector<Range> ranges;
  ranges.reserve(m_headers.size());
  for (const auto& h : m_headers) {
    ULONGLONG start = h->m_uOffset + m_uBytesBeforeZip;
    ranges.push_back({start, start + CZipFileHeader::kLocalSize + h->GetStoredName().GetSize() + h->m_uComprSize});
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
  ULONGLONG directory = m_info.m_uOffset + m_uBytesBeforeZip;
  for (size_t i = 0; i < ranges.size(); ++i) {
    ULONGLONG limit = i + 1 < ranges.size() ? ranges[i + 1].start : directory;
    if (ranges[i].end > limit) ThrowError(CZipException::badZipFile);
  }
}

void CZipCentralDirectory::OpenFile(WORD index) {
  CZipFileHeader* header = GetHeader(index);
  m_pOpenedFile = header;
  if (m_pStorage->IsSpanMode()) m_pStorage->ChangeDisk(header->m_uDiskStart);
  m_pStorage->Flush();
  m_pStorage->m_pFile->Seek(static_cast<LONGLONG>(header->m_uOffset + m_uBytesBeforeZip), CZipFileBase::begin);
  WORD extraLength = 0;
  if (!header->CheckLocal(m_pStorage, extraLength)) ThrowError(CZipException::badZipFile);
  int disk = m_pStorage->GetCurrentDisk();
  m_pLocalExtraField.Allocate(extraLength);
  m_pStorage->Read(m_pLocalExtraField.GetBuffer(), extraLength, true);
  if (m_pStorage->GetCurrentDisk() != disk) ThrowError(CZipException::badZipFile);
}

void CZipCentralDirectory::CloseFile() {
  if (m_pOpenedFile && m_pOpenedFile->IsDataDescriptor()) {
    BYTE buf[12];
    m_pStorage->Read(buf, 4, true);
    if (std::memcmp(buf, kDescriptorSig, 4) != 0) m_pStorage->m_pFile->Seek(-4, CZipFileBase::current);
    m_pStorage->Read(buf, 12, true);
    if (ZipGet32(buf) != m_pOpenedFile->m_uCrc32 || ZipGet32(buf + 4) != m_pOpenedFile->m_uComprSize ||
        ZipGet32(buf + 8) != m_pOpenedFile->m_uUncomprSize)
      ThrowError(CZipException::badZipFile);
  }
  m_pOpenedFile = nullptr;
}

void CZipCentralDirectory::AddNewFile(const CZipFileHeader& header) {
  m_headers.push_back(std::make_unique<CZipFileHeader>(header));
  m_pOpenedFile = m_headers.back().get();
  CutOff();
  if (!m_pStorage->IsSpanMode()) {
    m_pStorage->Flush();
    m_pStorage->m_pFile->SeekToEnd();
  }
}

void CZipCentralDirectory::PatchLocal(ULONGLONG position, const CZipFileHeader& header, bool withFlag) {
  BYTE buf[12];
  if (withFlag) {
    ZipPut16(buf, header.m_uFlag);
    WriteAt(position + 6, buf, 2);
  }
  ZipPut32(buf, header.m_uCrc32);
  ZipPut32(buf + 4, header.m_uComprSize);
  ZipPut32(buf + 8, header.m_uUncomprSize);
  WriteAt(position + 14, buf, 12);
}

void CZipCentralDirectory::CloseNewFile() {
  CZipFileHeader* h = m_pOpenedFile;
  bool spanned = m_pStorage->IsSpanMode();
  if (!h->IsDataDescriptor()) {
    m_pStorage->Flush();
    PatchLocal(h->m_uOffset, *h, false);
  } else {
    BYTE d[kDescriptorSize];
    std::memcpy(d, kDescriptorSig, 4);
    ZipPut32(d + 4, h->m_uCrc32);
    ZipPut32(d + 8, h->m_uComprSize);
    ZipPut32(d + 12, h->m_uUncomprSize);
    m_pStorage->Write(d, kDescriptorSize, true);
  }
  ULONGLONG absolute = h->m_uOffset;
  if (absolute < m_uBytesBeforeZip) ThrowError(CZipException::badZipFile);
  h->m_uOffset = static_cast<DWORD>(absolute - m_uBytesBeforeZip);
  if (!spanned) {
    if (h->IsDataDescriptor()) {
      m_pStorage->Flush();
      PatchLocal(absolute, *h, false);
    }
    m_pStorage->Flush();
  }
  m_pOpenedFile = nullptr;
}

void CZipCentralDirectory::RemoveFile(WORD index) {
  if (!IsValidIndex(index)) ThrowError(CZipException::internal);
  m_headers.erase(m_headers.begin() + index);
}

void CZipCentralDirectory::CutOff() {
  if (!m_bOnDisk) return;
  m_pStorage->Flush();
  m_pStorage->m_pFile->SetLength(m_uBytesBeforeZip + m_info.m_uOffset);
  m_bOnDisk = false;
}

ULONGLONG CZipCentralDirectory::GetSize(bool whole) const {
  ULONGLONG size = kEndRecordSize + m_pszComment.GetSize();
  if (whole)
    for (const auto& h : m_headers) size += h->GetSize();
  return size;
}

bool CZipCentralDirectory::ConvertSpan() {
  // A span that ends on its first volume becomes an ordinary archive: no marker, and plain entries lose
  // their data descriptors. The data is moved down in place.
  ULONGLONG needed = GetSize(true) - (kDescriptorSize * m_headers.size() + 4);
  m_pStorage->Flush();
  if (needed > m_pStorage->GetFreeVolumeSpace()) return false;
  CZipFileBase* file = m_pStorage->m_pFile;
  ULONGLONG dataEnd = file->GetLength();
  ULONGLONG out = 0, shift = 4;
  CZipBuffer buf(static_cast<DWORD>(m_iBufferSize));
  for (size_t i = 0; i < m_headers.size(); ++i) {
    CZipFileHeader& h = *m_headers[i];
    ULONGLONG start = h.m_uOffset;
    ULONGLONG next = i + 1 < m_headers.size() ? m_headers[i + 1]->m_uOffset : dataEnd;
    if (next < start) ThrowError(CZipException::badZipFile);
    ULONGLONG length = next - start;
    bool drop = !h.IsEncrypted();
    if (drop) {
      if (length < kDescriptorSize) ThrowError(CZipException::badZipFile);
      h.m_uFlag &= static_cast<WORD>(~CZipFileHeader::flagDescriptor);
      length -= kDescriptorSize;
    }
    for (ULONGLONG moved = 0; moved < length;) {
      DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(buf.GetSize(), length - moved));
      ReadAt(start + moved, buf.GetBuffer(), n);
      WriteAt(out + moved, buf.GetBuffer(), n);
      moved += n;
    }
    PatchLocal(out, h, true);
    h.m_uOffset = static_cast<DWORD>(start - shift);
    out += length;
    if (drop) shift += kDescriptorSize;
  }
  file->SetLength(out);
  file->Seek(static_cast<LONGLONG>(out), CZipFileBase::begin);
  m_pStorage->m_uBytesWritten = out;
  return true;
}

void CZipCentralDirectory::WriteHeaders() {
  m_info.m_uDiskEntriesNo = 0;
  m_info.m_uDiskWithCD = static_cast<WORD>(m_pStorage->GetCurrentDisk());
  ULONGLONG offset = m_pStorage->GetPosition() - m_uBytesBeforeZip;
  if (offset > kMax32) ThrowError(CZipException::tooBig);
  m_info.m_uOffset = static_cast<DWORD>(offset);
  ULONGLONG size = 0;
  int disk = m_pStorage->GetCurrentDisk();
  for (size_t i = 0; i < m_headers.size(); ++i) {
    size += m_headers[i]->WriteCentral(m_pStorage);
    if (m_pStorage->GetCurrentDisk() != disk) {
      disk = m_pStorage->GetCurrentDisk();
      m_info.m_uDiskEntriesNo = 1;
      if (i == 0) {
        m_info.m_uDiskWithCD = static_cast<WORD>(disk);
        m_info.m_uOffset = 0;
      }
    } else {
      ++m_info.m_uDiskEntriesNo;
    }
  }
  if (size > kMax32) ThrowError(CZipException::tooBig);
  m_info.m_uSize = static_cast<DWORD>(size);
}

void CZipCentralDirectory::WriteEndRecord() {
  DWORD size = kEndRecordSize + m_pszComment.GetSize();
  int before = m_pStorage->GetCurrentDisk();
  m_pStorage->AssureFree(size);
  int disk = m_pStorage->GetCurrentDisk();
  if (disk != before) {
    if (m_headers.empty()) {
      m_info.m_uDiskWithCD = static_cast<WORD>(disk);
      m_info.m_uOffset = 0;
    } else {
      m_info.m_uDiskEntriesNo = 0;
    }
  }
  m_info.m_uThisDisk = static_cast<WORD>(disk);
  CZipBuffer buf(size);
  BYTE* p = buf.GetBuffer();
  std::memcpy(p, kEndSig, 4);
  ZipPut16(p + 4, m_info.m_uThisDisk);
  ZipPut16(p + 6, m_info.m_uDiskWithCD);
  ZipPut16(p + 8, m_info.m_uDiskEntriesNo);
  ZipPut16(p + 10, m_info.m_uEntriesNumber);
  ZipPut32(p + 12, m_info.m_uSize);
  ZipPut32(p + 16, m_info.m_uOffset);
  ZipPut16(p + 20, static_cast<WORD>(m_pszComment.GetSize()));
  if (m_pszComment.GetSize()) std::memcpy(p + kEndRecordSize, m_pszComment.GetBuffer(), m_pszComment.GetSize());
  m_pStorage->Write(p, size, true);
}

void CZipCentralDirectory::Write() {
  if (m_bOnDisk) return;
  if (!m_pStorage->IsSpanMode()) {
    m_pStorage->Flush();
    m_pStorage->m_pFile->SeekToEnd();
  }
  m_info.m_uEntriesNumber = GetCount();
  m_info.m_uSize = 0;
  bool converted = m_pStorage->m_bNewSpan && m_pStorage->GetCurrentDisk() == 0 && ConvertSpan();
  WriteHeaders();
  WriteEndRecord();
  if (converted && m_pStorage->GetCurrentDisk() != 0) ThrowError(CZipException::badZipFile);
  m_bOnDisk = true;
}
