// The protected file ("KXTV") and the two classes that extend its payload: the encrypted protected file
// ("KETV") and the one-click preset ("KCLK").
#pragma once

#include "engine/CapicomCertificate.h"
#include "formats/KesmoraFile.h"
#include "formats/OneClickRecord.h"
#include "formats/PayloadRecords.h"

class CCapicomSignedData;
class CFileStream;

namespace kx::formats {
class FieldReader;
class FieldWriter;
}  // namespace kx::formats

// Holds and lays out the protected-file payload: three texts, the format field, the payload flag, the
// description (block 1), the signing part (block 2), the encryption part (block 3) and the extra block.
class CTolvexBinaryFileBase : public CBaseKesmoraFile {
 public:
  // Each text field of the payload is this wide.
  static constexpr DWORD kTextWidth = 255;
  // Block 1 without its list part.
  static constexpr DWORD kDescriptionSize = 21 + 1022 + 2354;
  // A description lists at most this many records (its count is one byte).
  static constexpr DWORD kMaxRecords = 255;

  CTolvexBinaryFileBase();
  ~CTolvexBinaryFileBase() override;

  bool Serialize() override;
  bool Deserialize(int flag) override;
  const BYTE* GetStoredDigest() const override { return m_abStoredDigest; }

  // Option byte 3 mirror: the extra block is written (and read) only when it is set.
  BYTE GetExtraBlockFlag() const { return m_bExtraFlag; }
  void SetExtraBlockFlag(BYTE flag) { m_bExtraFlag = flag; }
  // Mirrored in option bytes 4 and 5 (big-endian) when not 0.
  WORD GetOptionValue() const { return m_wOptionValue; }
  void SetOptionValue(WORD value) { m_wOptionValue = value; }
  // Option bytes 6 and 7, kept in the header itself so that what a caller sets through SetOptions is saved.
  BYTE GetOptionByte6() const { return GetOptions()[6]; }
  BYTE GetOptionByte7() const { return GetOptions()[7]; }
  void SetOptionByte6(BYTE value) { GetOptions()[6] = value; }
  void SetOptionByte7(BYTE value) { GetOptions()[7] = value; }
  // Where the protected-file payload ends (payload offset), as last written or read.
  DWORD GetEndOffset() const { return m_nEndOffset; }

  // Under the strict trust policy: the content blocks of the stream are those the records sign, and every
  // signer's certificate passes the certificate policy. The stream's read position is kept. False with the
  // reason in errorText (the failing certificate and the policy's text kept below).
  virtual bool VerifyContent(CFileStream* stream, CString& errorText);

  PayloadInfo m_info;
  COneClickRecord m_oneClickRecord;
  CByteBuffer m_extraBlock;
  // The certificate that failed the policy check of content verification, and the policy's text.
  CCapicomCertificate m_failedCertificate;
  CBstrString m_strPolicyText;

 protected:
  // Writes the protected-file payload (the header's option mirrors first) and records its end offset.
  bool WriteProtectedPayload(kx::formats::FieldWriter& w);
  // Reads the protected-file payload from the body (members reset first) and records its end offset. Without
  // extraBlock, a class with bytes of its own reads them right after the parts even when the flag is set.
  bool ReadProtectedPayload(bool extraBlock = true);

 private:
  bool WriteDescription(kx::formats::FieldWriter& w) const;
  bool ReadDescription(kx::formats::FieldReader& r, bool& corrupt);
  bool ReadSigningPart(kx::formats::FieldReader& r, bool& corrupt);
  bool ReadEncryptionPart(kx::formats::FieldReader& r, bool& corrupt);

  BYTE m_abStoredDigest[20] = {};
  DWORD m_nEndOffset = 0;
  BYTE m_bExtraFlag = 0;
  WORD m_wOptionValue = 0;
};

class CTolvexBinaryFile : public CTolvexBinaryFileBase {
 public:
  static CBaseKesmoraFile* CreateObject();
  const CFileClass* GetFileClass() const override;
};

class CEncryptedTolvexBinaryFile : public CTolvexBinaryFileBase {
 public:
  static CBaseKesmoraFile* CreateObject();
  const CFileClass* GetFileClass() const override;
  bool Serialize() override;
  // Loads a file whatever its digest: the encrypted bytes carry no length of their own, so a reader checks the
  // digest (ComputeDigest) before it trusts them.
  bool Deserialize(int flag) override;
  // The encrypted payload, the three bytes before it and the six zero bytes after it.
  DWORD GetExtraSize() const override { return m_encrypted.GetLength() + 9; }

  DWORD m_nCipherIndex = 0;     // stored as one byte
  DWORD m_nKeySizeIndex = 0;    // stored as one byte
  CByteBuffer m_encrypted;      // read back with the six zero bytes and the digest behind the encrypted bytes
  BYTE m_bFlag = 0;

 private:
  // The payload and the class's bytes after it, the extra block included or not.
  bool ReadAll(bool extraBlock);
  // The three bytes are what the writer writes: a cipher of the table and the flag set.
  bool LooksWritten() const;
};

class COneClickFile : public CTolvexBinaryFileBase {
 public:
  static CBaseKesmoraFile* CreateObject();
  const CFileClass* GetFileClass() const override;
  bool Serialize() override;
  bool Deserialize(int flag) override;
  DWORD GetExtraSize() const override { return m_oneClickRecord.GetSerializedSize(); }

 private:
  // The payload and the record after it, the extra block included or not.
  bool ReadAll(bool extraBlock);
};

// Verifies a detached signature over content at the given level (see CCapicomSignedData::Verify); the result is
// that of content as it is. Decrypted by the own cipher of version 2 (fillable), content may still carry the
// zero filler of its last cipher block (a block that is not whole cipher blocks before the last, or a file
// written before the length was kept): then content without up to a cipher block of trailing zeros is tried
// too, and content is left as the signature covers it.
HRESULT VerifyDetached(CCapicomSignedData& signedData, const CByteBuffer& signature, CByteBuffer& content,
                       bool fillable, LONG level);
