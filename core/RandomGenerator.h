// Fresh random bytes for keys, salts and secrets. Every byte comes from the operating system's random
// source, whichever generator type a caller selects; the type, seed and reference count are kept for the
// callers' interface only.
#pragma once

#include "core/ByteBuffer.h"

// Random source operations: 1 for success, 0 for refusal; status outputs always receive 0.
int InitRandomSource(int type, DWORD seed);
int ReleaseRandomSource();
int FillRandom(BYTE* buffer, WORD length, int* status);
int MakeTimeSeed(BYTE* out, WORD length);
int StirRandomPool(const BYTE* data, WORD length, int* status);
int Md5OfBuffer(const BYTE* data, WORD length, BYTE* out, DWORD* outLength);
// Number of live InitRandomSource calls (for tests of the reference count).
int RandomSourceReferences();

class CRandomGenerator {
 public:
  explicit CRandomGenerator(bool useRuntime = true);
  virtual ~CRandomGenerator();
  CRandomGenerator(const CRandomGenerator&) = delete;
  CRandomGenerator& operator=(const CRandomGenerator&) = delete;

  void SetSize(DWORD n) { m_nSize = n; }
  DWORD GetSize() const { return m_nSize; }
  // A copy of SetSize fresh random bytes (24 by default); empty when the size is 0 or the source fails.
  CByteBuffer Generate();

 private:
  CByteBuffer m_buffer{0, true};
  DWORD m_nSize = 24;
};
