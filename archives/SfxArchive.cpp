#include "archives/SfxArchive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "archives/SfxTrailer.h"
#include "archives/ShellFileOp.h"
#include "platform/mfc/cfile.h"

namespace {

// The process's file-creation mask, read without setting it (umask would change it for every thread).
mode_t CreationMask() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    while (std::fgets(line, sizeof line, status))
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    std::fclose(status);
  }
  return mask;
}

// A package is a program: its user may run it, and so may group and others where the mask lets them.
bool MakeExecutable(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  const mode_t run = S_IXUSR | ((S_IXGRP | S_IXOTH) & ~CreationMask());
  return (st.st_mode & run) == run || chmod(path, (st.st_mode & 07777) | run) == 0;
}

// Reads exactly n bytes at distance back from the end of the file.
bool ReadFromEnd(CFile& file, ULONGLONG length, uint64_t back, void* out, UINT n) {
  try {
    file.Seek(static_cast<LONGLONG>(length - back), CFile::begin);
    return file.Read(out, n) == n;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

}  // namespace

BOOL CSfxFileEntry::SetFile(LPCSTR path) {
  if (!path || !*path) return FALSE;
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || access(path, R_OK) != 0) return FALSE;
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return FALSE;
  const ULONGLONG length = file.GetLength();
  file.Abort();
  // The format keeps sizes in 32 bits.
  if (length > 0xFFFFFFFFull) return FALSE;
  m_nSize = static_cast<DWORD>(length);
  m_strPath = path;
  const char* slash = strrchr(path, '/');
  m_strName = slash ? slash + 1 : path;
  m_nCompressedSize = 0;
  m_nStreamOffset = 0;
  return TRUE;
}

void CSfxFileEntry::Clear() {
  m_strName.Empty();
  m_strPath.Empty();
  m_nSize = 0;
  m_nCompressedSize = 0;
  m_nStreamOffset = 0;
}

CSfxArchive::CSfxArchive() = default;

CSfxArchive::~CSfxArchive() = default;

BOOL CSfxArchive::AddFile(LPCSTR path) {
  if (m_nCount >= kMaxEntries) return FALSE;
  CSfxFileEntry entry;
  if (!entry.SetFile(path) || entry.m_strName.IsEmpty()) return FALSE;
  m_entries[m_nCount++] = entry;
  return TRUE;
}

void CSfxArchive::Reset() {
  for (CSfxFileEntry& e : m_entries) e.Clear();
  m_nCount = 0;
  m_nTrailerLength = 0;
}

CSfxFileEntry CSfxArchive::GetEntry(int i) const {
  return i >= 0 && i < m_nCount ? m_entries[i] : CSfxFileEntry();
}

DWORD CSfxArchive::Build(LPCSTR stubPath, LPCSTR outputPath, SfxProgressCallback callback, void* argument) {
  if (m_nCount < 1) return kNoEntries;
  if (!stubPath || !outputPath) return kStubCopyFailed;
  {
    CShellFileOp copy;
    copy.SetFlags(FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY);
    copy.AddPath(0, stubPath);
    copy.AddPath(1, outputPath);
    if (copy.Run() != 0) return kStubCopyFailed;
  }
  DWORD result = kOutputOpenFailed;
  {
    CFile output;
    if (output.Open(outputPath, CFile::modeWrite | CFile::shareDenyNone)) {
      try {
        output.SeekToEnd();
        result = WritePayload(output, callback, argument);
        output.Close();
      } catch (CException* e) {
        e->Delete();
        output.Abort();
        result = kWriteFailed;
      }
    }
  }
  if (result == kPayloadWritten && MakeExecutable(outputPath)) return kDone;
  if (result == kPayloadWritten) result = kWriteFailed;
  // A package without its trailer cannot extract itself: it is not left behind.
  unlink(outputPath);
  return result;
}

UINT CSfxArchive::FillInput(CFile& source) {
  if (m_stream.avail_in == 0) {
    m_stream.next_in = m_abInput;
    m_stream.avail_in = source.Read(m_abInput, kSliceSize);
  }
  return m_stream.avail_in;
}

UINT CSfxArchive::FlushOutput(CFile& output) {
  const UINT pending = kSliceSize - m_stream.avail_out;
  if (pending == 0) return 0;
  output.Write(m_abOutput, pending);
  m_stream.next_out = m_abOutput;
  m_stream.avail_out = kSliceSize;
  return pending;
}

DWORD CSfxArchive::GetPercentDone() const {
  const DWORD done = static_cast<DWORD>(m_stream.total_in);
  if (m_nCurrentLength == 0) return 100;
  if (m_nCurrentLength > 10000000) return done / (m_nCurrentLength / 100);
  return done * 100 / m_nCurrentLength;
}

DWORD CSfxArchive::CompressEntry(CSfxFileEntry& entry, CFile& output, SfxProgressCallback callback,
                                 void* argument) {
  CFile source;
  if (!source.Open(entry.m_strPath, CFile::modeRead | CFile::shareDenyNone)) return kSourceOpenFailed;
  if (callback) callback(kEntryStarted, &entry, argument);

  const ULONGLONG offset = output.GetPosition();
  const ULONGLONG length = source.GetLength();
  if (offset > 0xFFFFFFFFull || length > 0xFFFFFFFFull) return kWriteFailed;
  entry.m_nStreamOffset = static_cast<DWORD>(offset);

  memset(&m_stream, 0, sizeof m_stream);
  m_stream.next_out = m_abOutput;
  m_stream.avail_out = kSliceSize;
  m_nCurrentLength = static_cast<DWORD>(length);
  if (deflateInit(&m_stream, 6) != Z_OK) return kWriteFailed;

  DWORD result = kPayloadWritten;
  int rc = Z_OK;
  try {
    try {
      while (FillInput(source)) {
        rc = deflate(&m_stream, Z_NO_FLUSH);
        FlushOutput(output);
        if (rc != Z_OK) break;
        DWORD percent = GetPercentDone();
        if (callback) callback(kPercent, &percent, argument);
      }
    } catch (CException* e) {
      e->Delete();
      result = kSourceOpenFailed;
    }
    source.Abort();
    if (result == kPayloadWritten) {
      do {
        rc = deflate(&m_stream, Z_FINISH);
      } while (FlushOutput(output) != 0 && rc == Z_OK);
      if (rc != Z_STREAM_END) result = kWriteFailed;
    }
  } catch (CException* e) {
    e->Delete();
    result = kWriteFailed;
  }
  const uLong consumed = m_stream.total_in;
  const uLong produced = m_stream.total_out;
  deflateEnd(&m_stream);
  if (result != kPayloadWritten) return result;
  if (produced > 0xFFFFFFFFul || consumed > 0xFFFFFFFFul) return kWriteFailed;
  // The size is what went into the stream, should the file have changed since it was added.
  entry.m_nSize = static_cast<DWORD>(consumed);
  entry.m_nCompressedSize = static_cast<DWORD>(produced);
  if (callback) callback(kEntryDone, &entry, argument);
  return kPayloadWritten;
}

DWORD CSfxArchive::WritePayload(CFile& output, SfxProgressCallback callback, void* argument) {
  for (int i = 0; i < m_nCount; ++i) {
    DWORD result = CompressEntry(m_entries[i], output, callback, argument);
    if (result != kPayloadWritten) return result;
  }
  std::vector<kx::sfx::TrailerEntry> table;
  for (int i = 0; i < m_nCount; ++i) {
    const CSfxFileEntry& e = m_entries[i];
    table.push_back({std::string(e.m_strName), e.m_nSize, e.m_nCompressedSize, e.m_nStreamOffset});
  }
  const std::vector<BYTE> trailer = kx::sfx::MakeTrailer(table);
  try {
    output.Write(trailer.data(), static_cast<UINT>(trailer.size()));
  } catch (CException* e) {
    e->Delete();
    return kWriteFailed;
  }
  return kPayloadWritten;
}

DWORD CSfxArchive::ReadTrailer(LPCSTR packagePath) {
  Reset();
  CFile file;
  if (!packagePath || !file.Open(packagePath, CFile::modeRead | CFile::shareDenyNone)) return kCannotOpen;
  const ULONGLONG length = file.GetLength();
  std::vector<kx::sfx::TrailerEntry> table;
  uint64_t trailerLength = 0;
  const kx::sfx::TrailerStatus status = kx::sfx::ParseTrailer(
      length, [&](uint64_t back, void* out, uint32_t n) { return ReadFromEnd(file, length, back, out, n); }, table,
      trailerLength);
  switch (status) {
    case kx::sfx::TrailerStatus::NotPackage:
      return kNotPackage;
    case kx::sfx::TrailerStatus::Empty:
      return kNoEntries;
    case kx::sfx::TrailerStatus::Damaged:
      return kDamaged;
    case kx::sfx::TrailerStatus::Ok:
      break;
  }
  for (size_t i = 0; i < table.size(); ++i) {
    CSfxFileEntry& e = m_entries[i];
    e.m_strName = CString(table[i].name);
    e.m_nSize = table[i].size;
    e.m_nCompressedSize = table[i].compressedSize;
    e.m_nStreamOffset = table[i].streamOffset;
  }
  m_nCount = static_cast<int>(table.size());
  m_nTrailerLength = static_cast<int>(trailerLength);
  return kDone;
}
