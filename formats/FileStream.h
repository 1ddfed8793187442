// Stream files: length-prefixed blocks, then the image of one file object of the family that describes
// them (the trailing object), then a 64-byte trailer whose first word is that image's length. Every integer
// is big-endian. Positions are kept in 64 bits; nothing in the file is an absolute offset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ByteBuffer.h"
#include "platform/win32/types.h"

class CBaseKesmoraFile;
class COutputFile;

class CFileStream {
 public:
  static constexpr DWORD kTrailerSize = 64;
  static constexpr DWORD kCopyChunk = 20480;

  CFileStream() = default;
  virtual ~CFileStream();
  CFileStream(const CFileStream&) = delete;
  CFileStream& operator=(const CFileStream&) = delete;

  // A new file object made from the trailing object's image (owned by the caller), or null. A second call
  // on the same open stream gives null.
  virtual CBaseKesmoraFile* ReadTrailingObject();
  // The trailing object's bytes; false when the trailer is unreadable or claims more than the file holds.
  virtual bool ReadTrailingBlock(CByteBuffer& out);
  // Up to n bytes from the position (out cut to what was read); false at the end or on an error.
  virtual bool ReadChunk(DWORD n, CByteBuffer& out);
  // The next length-prefixed block (the first from offset 0); false once a block would reach the trailing
  // object, so the trailer must have been read first.
  virtual bool ReadUInt32Block(CByteBuffer& out);
  // Appends the object's image and the trailer; false when the object gives no image or a write fails.
  virtual bool WriteTrailingObject(CBaseKesmoraFile* object);
  virtual bool AppendRaw(const CByteBuffer& buffer);
  // Appends the length (4 bytes) and the bytes; false for an empty buffer or a failed write.
  virtual bool WriteUInt32Block(const CByteBuffer& buffer);
  virtual bool WriteRaw(const CByteBuffer& buffer) { return AppendRaw(buffer); }
  // Read mode opens an existing file shared with other readers; write mode creates or replaces the file.
  virtual bool Open(const char* path, bool readMode, bool verify, DWORD recordSize);
  virtual bool Close();
  virtual bool IsOpen() const { return m_hFile != nullptr; }
  virtual void SeekToBegin() { Seek(0, 0); }
  virtual bool SeekToEnd() { return Seek(2, 0); }
  // Origin 0, 1, 2: from the start, the position, the end.
  virtual bool Seek(int origin, LONG offset);
  virtual bool VerifyLayout(DWORD recordSize, DWORD* outCount);
  virtual DWORD GetRecordCount() const { return m_nRecordCount; }
  // The file's size; 0xFFFFFFFF for a file of 4 GiB or more (GetSize64 tells the whole size).
  virtual DWORD GetSize();
  uint64_t GetSize64();

  bool ParseTrailer(const CByteBuffer& buffer);
  bool BuildTrailer(CByteBuffer& buffer, bool append);
  // Copies source to the end of destination; false when either cannot be opened or a transfer fails.
  static bool AppendFile(const char* source, const char* destination);

  // Names other callers use for the same operations.
  bool ReadBlock(DWORD n, CByteBuffer& out) { return ReadChunk(n, out); }
  CBaseKesmoraFile* ReadFileObject() { return ReadTrailingObject(); }
  bool WriteFileObject(CBaseKesmoraFile* object) { return WriteTrailingObject(object); }

  DWORD GetBlocksRead() const { return m_nBlocksRead; }
  uint64_t GetPosition() const { return m_nPosition; }
  // Puts the read state back (blocks read and position), as taken before a look-ahead.
  void RestoreReadState(DWORD blocksRead, uint64_t position) {
    m_nBlocksRead = blocksRead;
    m_nPosition = position;
  }
  // The Win32 error of the last failed open (32: a sharing violation).
  DWORD GetLastOpenError() const { return m_nLastError; }
  // The same in words, for a file's result ("The system cannot find the file specified.").
  std::string GetLastOpenErrorText() const;
  DWORD GetTrailingLength() const { return m_nTrailingLength; }
  uint64_t GetTrailingOffset() const { return m_nTrailingOffset; }

 private:
  bool SeekTo(uint64_t position);
  bool WriteAll(const void* data, DWORD n);

  DWORD m_nBlocksRead = 0;
  uint64_t m_nPosition = 0;
  HANDLE m_hFile = nullptr;
  CByteBuffer m_trailingBlock;
  DWORD m_nRecordCount = 0;
  uint64_t m_nFileSize = 0;
  DWORD m_nRecordSize = 0;
  uint64_t m_nRemainder = 0;
  DWORD m_nTrailingLength = 0;
  uint64_t m_nTrailingOffset = 0;
  DWORD m_nLastError = 0;
};

// A stream written to an output's temporary file (see COutputFile): the stream is closed and released, then
// the output takes its name. False, the temporary file removed, when either fails.
bool CommitStream(std::unique_ptr<CFileStream>& out, COutputFile& pending);
