// CArchive: the framework's binary serialisation over a CFile, in its own byte format (little-endian).
//
// Strings: a length prefix of one byte (below 0xFF), else 0xFF and a 16-bit length (below 0xFFFE), else 0xFF,
// 0xFFFF and a 32-bit length, then the bytes. A prefix 0xFF 0xFFFE marks 16-bit characters (read only).
// Counts (WriteCount): a 16-bit value below 0xFFFF, else 0xFFFF and a 32-bit count.
// Objects: tag 0 for a null pointer; an object stored before is its index (16-bit, or 0x7FFF and a 32-bit
// index from 0x7FFF on); a new object is its class (a class stored before as 0x8000 | index, or 0x7FFF and
// 0x80000000 | index; a new class as 0xFFFF, its schema word, its name length word and the name) followed by
// the object's own data. Classes and objects share one index sequence that starts at 1.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"

class CFile;

class KXAPI CArchive {
 public:
  enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

  // The archive reads or writes the file from its current position; it does not own the file.
  CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
  // Flushes a storing archive (unless bNoFlushOnDelete); errors are swallowed here, so call Close to see them.
  ~CArchive();
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  BOOL IsLoading() const { return (m_nMode & load) != 0; }
  BOOL IsStoring() const { return (m_nMode & load) == 0; }
  BOOL IsByteSwapping() const { return FALSE; }
  BOOL IsBufferEmpty() const { return m_pos >= m_end; }
  CFile* GetFile() const { return m_pFile; }

  // The schema of the object being loaded (read once: later calls answer (UINT)-1).
  UINT GetObjectSchema();
  void SetObjectSchema(UINT nSchema) { m_nObjectSchema = nSchema; }

  // Reads up to nMax bytes; fewer at the end of the file.
  UINT Read(void* lpBuf, UINT nMax);
  // Reads exactly nCount bytes or raises CArchiveException::endOfFile.
  void EnsureRead(void* lpBuf, UINT nCount);
  void Write(const void* lpBuf, UINT nMax);
  // Storing: writes the buffer to the file. Loading: moves the file back to the archive's read position.
  void Flush();
  void Close();
  // Detaches from the file without writing what is buffered.
  void Abort();

  // Text lines: WriteString writes the text as it is; ReadString reads up to a line feed and drops "\r\n".
  void WriteString(LPCTSTR lpsz);
  LPTSTR ReadString(LPTSTR lpsz, UINT nMax);
  BOOL ReadString(CString& rString);

  CObject* ReadObject(const CRuntimeClass* pClass);
  void WriteObject(const CObject* pOb);
  // Gives an object an index without storing it, so later references to it are written as references.
  void MapObject(const CObject* pOb);
  void WriteClass(const CRuntimeClass* pClassRef);
  CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested = nullptr, UINT* pSchema = nullptr,
                           DWORD* pObTag = nullptr);
  void SerializeClass(const CRuntimeClass* pClassRef);
  void SetStoreParams(UINT nHashSize = 2053, UINT nBlockSize = 128) {}
  void SetLoadParams(UINT nGrowBy = 1024) {}

  DWORD_PTR ReadCount();
  void WriteCount(DWORD_PTR dwCount);

  // Values, little-endian.
  CArchive& operator<<(BYTE v) { return WriteRaw(&v, 1); }
  CArchive& operator<<(char v) { return WriteRaw(&v, 1); }
  CArchive& operator<<(signed char v) { return WriteRaw(&v, 1); }
  CArchive& operator<<(bool v) { BYTE b = v ? 1 : 0; return WriteRaw(&b, 1); }
  CArchive& operator<<(WORD v) { return WriteRaw(&v, 2); }
  CArchive& operator<<(SHORT v) { return WriteRaw(&v, 2); }
  CArchive& operator<<(char16_t v) { return WriteRaw(&v, 2); }
  CArchive& operator<<(LONG v) { return WriteRaw(&v, 4); }
  CArchive& operator<<(DWORD v) { return WriteRaw(&v, 4); }
  CArchive& operator<<(float v) { return WriteRaw(&v, 4); }
  CArchive& operator<<(double v) { return WriteRaw(&v, 8); }
  CArchive& operator<<(long v) { int64_t x = v; return WriteRaw(&x, 8); }
  CArchive& operator<<(unsigned long v) { uint64_t x = v; return WriteRaw(&x, 8); }
  CArchive& operator<<(long long v) { int64_t x = v; return WriteRaw(&x, 8); }
  CArchive& operator<<(unsigned long long v) { uint64_t x = v; return WriteRaw(&x, 8); }
  CArchive& operator<<(const CString& s);
  CArchive& operator<<(const char* s) { return *this << CString(s); }

  CArchive& operator>>(BYTE& v) { return ReadRaw(&v, 1); }
  CArchive& operator>>(char& v) { return ReadRaw(&v, 1); }
  CArchive& operator>>(signed char& v) { return ReadRaw(&v, 1); }
  CArchive& operator>>(bool& v) { BYTE b; ReadRaw(&b, 1); v = b != 0; return *this; }
  CArchive& operator>>(WORD& v) { return ReadRaw(&v, 2); }
  CArchive& operator>>(SHORT& v) { return ReadRaw(&v, 2); }
  CArchive& operator>>(char16_t& v) { return ReadRaw(&v, 2); }
  CArchive& operator>>(LONG& v) { return ReadRaw(&v, 4); }
  CArchive& operator>>(DWORD& v) { return ReadRaw(&v, 4); }
  CArchive& operator>>(float& v) { return ReadRaw(&v, 4); }
  CArchive& operator>>(double& v) { return ReadRaw(&v, 8); }
  CArchive& operator>>(long& v) { int64_t x; ReadRaw(&x, 8); v = x; return *this; }
  CArchive& operator>>(unsigned long& v) { uint64_t x; ReadRaw(&x, 8); v = x; return *this; }
  CArchive& operator>>(long long& v) { int64_t x; ReadRaw(&x, 8); v = x; return *this; }
  CArchive& operator>>(unsigned long long& v) { uint64_t x; ReadRaw(&x, 8); v = x; return *this; }
  CArchive& operator>>(CString& s);

  CArchive& operator<<(const CObject* pOb) { WriteObject(pOb); return *this; }
  CArchive& operator>>(CObject*& pOb) { pOb = ReadObject(nullptr); return *this; }
  CArchive& operator>>(const CObject*& pOb) { pOb = ReadObject(nullptr); return *this; }

  // Points, sizes and rectangles as their 32-bit fields.
  CArchive& operator<<(POINT p) { return *this << p.x << p.y; }
  CArchive& operator<<(SIZE s) { return *this << s.cx << s.cy; }
  CArchive& operator<<(const RECT& r) { return *this << r.left << r.top << r.right << r.bottom; }
  CArchive& operator>>(POINT& p) { return *this >> p.x >> p.y; }
  CArchive& operator>>(SIZE& s) { return *this >> s.cx >> s.cy; }
  CArchive& operator>>(RECT& r) { return *this >> r.left >> r.top >> r.right >> r.bottom; }

  // The document being loaded or stored (a CDocument), for objects that need it.
  void* m_pDocument = nullptr;

 private:
  CArchive& WriteRaw(const void* p, UINT n);
  CArchive& ReadRaw(void* p, UINT n) { EnsureRead(p, n); return *this; }
  UINT FillBuffer(UINT wanted);
  [[noreturn]] void Fail(int cause) const;
  DWORD NextIndex();

  CFile* m_pFile;
  UINT m_nMode;
  std::vector<BYTE> m_buf;
  size_t m_pos = 0;  // next byte to read (loading)
  size_t m_end = 0;  // bytes in the buffer
  UINT m_nObjectSchema = static_cast<UINT>(-1);

  // Storing: index of each class or object written.
  std::unordered_map<const void*, DWORD> m_storeMap;
  // Loading: the class or object of each index, and the schema each class was stored with.
  struct Loaded {
    void* ptr;
    bool isClass;
  };
  std::vector<Loaded> m_loadArray;
  std::unordered_map<const CRuntimeClass*, UINT> m_schemaMap;
  DWORD m_nMapCount = 1;
};
