// Base of the marker-keyed file family: a 21-byte header (marker, two header bytes, eight option bytes, the
// creation date and time), a class-specific payload and the SHA-1 digest of the payload at the end.
#pragma once

#include <sys/types.h>

#include "core/BstrString.h"
#include "core/ByteBuffer.h"
#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

struct tagVARIANT;
class CBaseKesmoraFile;
class CFileClass;
class CFileImageVariant;

namespace kx::formats {
class FieldWriter;
}

// The content handler's code for "nothing processed" (also left by a body extraction of the classes whose
// leading-fields flag is set).
inline constexpr HRESULT KX_E_CONTENT_NOT_PROCESSED = static_cast<HRESULT>(0x805C0641);

// Lent by a file manager to every file object it makes: extracts the body of a loaded image.
class CFileContentHandler {
 public:
  CFileContentHandler() = default;
  virtual ~CFileContentHandler();
  CFileContentHandler(const CFileContentHandler&) = delete;
  CFileContentHandler& operator=(const CFileContentHandler&) = delete;

  // The system's handler processes no content: the code becomes KX_E_CONTENT_NOT_PROCESSED, false.
  virtual bool ProcessContent(CBaseKesmoraFile* file, DWORD argument);
  // out := the file's image after its header; false for no file or an image shorter than the header.
  virtual bool ExtractBody(CBaseKesmoraFile* file, CByteBuffer& out);
  virtual HRESULT GetResultCode() const { return m_hrResult; }
  virtual HRESULT QueryResult(DWORD, DWORD, DWORD, DWORD, DWORD, DWORD) { return m_hrResult; }

 private:
  IUnknown* m_pUnknown = nullptr;  // nothing sets it
  HRESULT m_hrResult = S_OK;
};

class CBaseKesmoraFile {
 public:
  static constexpr DWORD kHeaderSize = 21;
  static constexpr DWORD kDigestSize = 20;

  CBaseKesmoraFile(BYTE leadingFields, DWORD secondValue);
  virtual ~CBaseKesmoraFile();
  CBaseKesmoraFile(const CBaseKesmoraFile&) = delete;
  CBaseKesmoraFile& operator=(const CBaseKesmoraFile&) = delete;

  // Parses image and body into the members (the target is reset first).
  virtual bool Deserialize(int flag) = 0;
  // Builds the body: the header, then the payload; sets the digest-trailer flag.
  virtual bool Serialize() = 0;
  virtual void SetCallerFlag(BYTE flag) { m_bCallerFlag = flag; }
  virtual BYTE GetCallerFlag() const { return m_bCallerFlag; }
  virtual DWORD GetHeaderSize() const { return kHeaderSize; }
  // With verify set and a stored digest: checks the digest of the payload against it. Otherwise, for a
  // non-empty body, only computes. False when nothing was computed.
  virtual bool ComputeDigest(CByteBuffer& out, bool verify, int whole);
  virtual const BYTE* GetStoredDigest() const { return nullptr; }
  virtual DWORD GetExtraSize() const { return 0; }
  virtual bool PassToContentHandler(DWORD argument);
  virtual bool GetBody(CByteBuffer& out) const;
  virtual const CFileClass* GetFileClass() const;
  virtual bool HasFileClass() const { return GetFileClass() != nullptr; }
  // Written to a temporary file beside the target, which then replaces the target.
  virtual bool Save(const char* path);
  virtual bool Load(const char* path);
  virtual bool SaveToBuffer(CByteBuffer& out);
  virtual bool LoadHeader(const char* path);
  virtual bool LoadNonEmpty(const char* path);
  virtual bool IsDateValid() const;
  virtual bool IsTimeValid() const;
  virtual bool IsHeaderByte1Valid() const;
  virtual bool IsHeaderByte2Valid() const;
  // The big-endian value at image offset 21 (0 when the image holds no such bytes).
  virtual DWORD ReadLeadingCount() const;
  virtual HRESULT ReadLeadingFields(CByteBuffer& out1, CByteBuffer& out2) const;
  // The header from p (21 bytes), or from the image when p is null; false when the image is shorter than
  // the header.
  virtual bool ParseHeader(const BYTE* p = nullptr);
  virtual bool WriteHeader(BYTE* p) const;
  // The stored digest: the last 20 body bytes.
  virtual bool GetDigestRange(DWORD& offset, DWORD& size) const;

  // The header date and time from the local clock.
  void SetCreationDate();
  void SetCreationTime();
  void SetMarker(const void* p, const DWORD& length) { SetField(m_abMarker, 4, p, length); }
  void SetHeaderByte1(const void* p, const DWORD& length) { SetField(&m_bHeaderByte1, 1, p, length); }
  void SetHeaderByte2(const void* p, const DWORD& length) { SetField(&m_bHeaderByte2, 1, p, length); }
  void SetOptions(const void* p, const DWORD& length) { SetField(m_abOptions, 8, p, length); }
  void SetDateBytes(const void* p, const DWORD& length) { SetField(m_abDate, 4, p, length); }
  void SetTimeBytes(const void* p, const DWORD& length) { SetField(m_abTime, 3, p, length); }
  const BYTE* GetOptions() const { return m_abOptions; }
  BYTE* GetOptions() { return m_abOptions; }
  const BYTE* GetMarker() const { return m_abMarker; }
  const BYTE* GetDateBytes() const { return m_abDate; }
  const BYTE* GetTimeBytes() const { return m_abTime; }
  BYTE GetHeaderByte1() const { return m_bHeaderByte1; }
  BYTE GetHeaderByte2() const { return m_bHeaderByte2; }
  // "%b %d %Y %H:%M:%S" of the header's date and time; empty when they are no valid local time.
  CString GetCreationText() const;

  void SetPath(const char* path);
  CBstrString GetFilePath() const { return m_strPath; }
  CBstrString GetFileName() const { return m_strFileName; }
  const CByteBuffer& GetImage() const { return m_image; }
  void SetImage(const CByteBuffer& image) { m_image = image; }
  void SetContentHandler(CFileContentHandler* handler, bool owned);
  CFileContentHandler* GetContentHandler() const { return m_pHandler; }
  void SetResultCode(HRESULT hr) { m_hrLast = hr; }
  HRESULT GetResultCode() const { return m_hrLast; }
  HRESULT GetLastResult() const { return m_hrLast; }
  BYTE GetLeadingFieldsFlag() const { return m_bLeadingFields; }
  DWORD GetLoadMode() const { return m_nLoadMode; }

  // The content handler copies the image after the header into the body; its code becomes the last result.
  bool ExtractBody();
  // This object's class or one of its bases has record's class name.
  bool IsKindOf(const CFileClass* record) const;
  // Image := the bytes of a VARIANT byte array, body extracted, then parsed; S_OK or E_FAIL.
  HRESULT LoadFromVariant(const tagVARIANT& v);
  HRESULT LoadWithResult(const char* path);
  // Parses the held image again, or loads the held path.
  HRESULT Reload();
  // The image as a one-dimensional byte array (the caller clears the VARIANT).
  tagVARIANT GetImageAsVariant() const;
  CFileImageVariant GetImageVariant() const;

 protected:
  // Body := the header followed by the payload; the digest-trailer flag is set.
  bool FinishBody(const kx::formats::FieldWriter& payload);
  // Length of the payload inside a loaded body (the body less its trailing digest); false when the body
  // cannot hold a digest.
  bool GetPayloadLength(DWORD& length) const;
  // Keeps the last 20 body bytes in digest.
  bool CopyStoredDigest(BYTE* digest) const;

  CByteBuffer m_image;
  CByteBuffer m_body;

 private:
  static void SetField(BYTE* field, DWORD width, const void* p, const DWORD& length);
  // Steps 1-6 of a save: the image in memory.
  bool BuildImage();
  // The first count bytes of the file (0: all of it) into the image.
  bool ReadWhole(const char* path, DWORD count);

  BYTE m_abMarker[4] = {0, 0, 0, 0};
  BYTE m_bHeaderByte1 = 0;
  BYTE m_bHeaderByte2 = 0;
  BYTE m_abOptions[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  BYTE m_abDate[4] = {0, 0, 0, 0};
  BYTE m_abTime[3] = {0, 0, 0};
  CBstrString m_strPath;
  CBstrString m_strFileName;
  BYTE m_bDigestTrailer = 0;
  DWORD m_nLoadMode = 4;
  CFileContentHandler* m_pHandler = nullptr;
  BYTE m_bLeadingFields;
  DWORD m_nSecondValue;
  BYTE m_bHandlerOwned = 0;
  HRESULT m_hrLast = S_OK;
  BYTE m_bCallerFlag = 0;
};

// The digest of a file object's body (payload only); with verify, also compared with the stored digest.
bool HashFileBody(CBaseKesmoraFile* file, bool verify, CByteBuffer& out, int whole);

// The first four bytes of a file, as text; false unless exactly four bytes were read.
bool ReadFileMarker(const char* path, CString& out);
// The same from a VARIANT byte array of at least four bytes.
bool ReadBufferMarker(const tagVARIANT& v, CString& out);

namespace kx::formats {
// Writes bytes to a new unnamed file in path's folder and puts it in path's place whole; a failed, short or
// killed write leaves the target as it was and nothing beside it. The new file gets mode (0: what the umask
// gives). A file that has no name yet (an output being written) is written in place.
bool ReplaceFile(const char* path, const CByteBuffer& bytes, mode_t mode = 0);
}  // namespace kx::formats
