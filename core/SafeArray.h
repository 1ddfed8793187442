// A VARIANT that owns a one-dimensional SAFEARRAY: how byte buffers cross into the COM engine.
#pragma once

#include "core/ByteBuffer.h"
#include "platform/com/oleauto.h"

class CSafeArray {
 public:
  CSafeArray();
  // A copy of psa typed type | VT_ARRAY; a failed copy raises _com_error.
  CSafeArray(SAFEARRAY* psa, VARTYPE type);
  explicit CSafeArray(const CByteBuffer& buffer);
  explicit CSafeArray(const VARIANT& v);
  CSafeArray(const CSafeArray& other);
  virtual ~CSafeArray();

  // Only a source that holds an array replaces this one's (copied; a failure raises _com_error).
  CSafeArray& operator=(const VARIANT& v);
  CSafeArray& operator=(const CSafeArray& other);

  void Clear();
  // Takes the source's array over (the source becomes VT_EMPTY); nothing when it holds none.
  void Attach(VARIANT& source);
  // Hands the VARIANT to the caller, who owns the array from then on.
  void Detach(VARIANT* out);
  VARIANT* GetVariant() { return &m_var; }
  const VARIANT* GetVariant() const { return &m_var; }
  bool HasArray() const { return (m_var.vt & VT_ARRAY) != 0 && m_var.parray != nullptr; }

  UINT GetDim() const;
  UINT GetElemSize() const;
  // Upper bound + 1 - lower bound for one dimension; 1 otherwise.
  ULONG GetOneDimSize() const;
  void ResizeOneDim(ULONG count);
  void CreateOneDim(VARTYPE type, ULONG count, const void* data = nullptr, LONG lowerBound = 0);
  void SetByteBuffer(const CByteBuffer& buffer);
  CByteBuffer GetByteBuffer() const;

  bool operator==(const CSafeArray& other) const;
  bool operator==(const VARIANT& other) const;
  bool operator==(SAFEARRAY* other) const;

  // Equality of two arrays: dimensions, element size and extents (not the lower bounds), then the bytes.
  static bool ArraysEqual(SAFEARRAY* a, SAFEARRAY* b);

 private:
  void CopyFrom(const VARIANT& v);
  void CacheCounts();

  VARIANT m_var;
  ULONG m_nElemSize = 0;
  ULONG m_nDims = 0;
};

class CBaseKesmoraFile;

// A safe array that carries the image of one marker-keyed file object. The members that take or make a file
// object live with the file manager (formats/FileImageVariant.cpp); programs that call them link kx_formats.
class CFileImageVariant : public CSafeArray {
 public:
  CFileImageVariant() = default;
  // Empty, then SetFromFile when a file is given.
  explicit CFileImageVariant(CBaseKesmoraFile* file);
  CFileImageVariant(const CFileImageVariant& other) = default;
  ~CFileImageVariant() override = default;

  // A one-dimensional byte array holding a copy of the file's image; nothing for no file.
  void SetFromFile(CBaseKesmoraFile* file);
  // A new object made of the held bytes by a temporary file manager (owned by the caller; it holds no content
  // handler once the manager is gone), or null when no array is held or the bytes are no family file.
  CBaseKesmoraFile* OpenFileObject() const;
};
