#include "formats/TolvexBinaryFile.h"

#include <cstring>

#include "formats/FieldIo.h"
#include "formats/FileClass.h"
#include "core/CipherEcb.h"
#include "core/TvxFormatSettings.h"

using kx::formats::FieldReader;
using kx::formats::FieldWriter;

namespace {

constexpr DWORD kTripleText = 50;
constexpr DWORD kNestedSize = 1022;

bool WriteTriples(const CStringTripleList& list, FieldWriter& w) {
  if (list.GetCount() > 0xFFFF) return false;
  w.UInt16(static_cast<WORD>(list.GetCount()));
  for (DWORD i = 0; i < list.GetCount(); ++i) {
    w.Text(list.m_first.GetAt(i).GetAnsi(), kTripleText);
    w.Text(list.m_second.GetAt(i).GetAnsi(), kTripleText);
    w.Text(list.m_third.GetAt(i).GetAnsi(), kTripleText);
  }
  return true;
}

bool ReadTriples(FieldReader& r, CStringTripleList& list) {
  WORD n = 0;
  if (!r.UInt16(n)) return false;
  for (WORD i = 0; i < n; ++i) {
    CString a, b, c;
    if (!r.Text(a, kTripleText) || !r.Text(b, kTripleText) || !r.Text(c, kTripleText)) return false;
    list.Add(a, b, c);
  }
  return true;
}

// Fails the sum when it leaves 32 bits.
bool AddSize(uint64_t& size, uint64_t more) {
  size += more;
  return size <= 0xFFFFFFFFu;
}

}  // namespace

CTolvexBinaryFileBase::CTolvexBinaryFileBase() : CBaseKesmoraFile(0, 2), m_failedCertificate(kx::engine::kEmpty) {}

CTolvexBinaryFileBase::~CTolvexBinaryFileBase() = default;

bool CTolvexBinaryFileBase::WriteDescription(FieldWriter& w) const {
  const PayloadBody& body = m_info.m_body;
  for (BYTE flag : body.m_abFlags) w.Flag(flag);
  w.Byte(body.m_bByte);
  w.Bytes(body.m_abDigestName, sizeof body.m_abDigestName);
  w.UInt16(0);
  w.UInt16(kNestedSize);
  CByteBuffer nested;
  if (!body.WriteNestedBlock(nested)) return false;
  w.Buffer(nested);
  CTolvexRecord::WriteFixedBlock(body.m_head, w);
  if (m_info.m_signing.m_bPresent) {
    // The record count is one byte: more records would be read back as fewer.
    if (body.m_entries.GetCount() > kMaxRecords) return false;
    w.Byte(static_cast<BYTE>(body.m_entries.GetCount()));
    w.Zeros(3);
    for (DWORD i = 0; i < body.m_entries.GetCount(); ++i) w.SizedBuffer(body.m_entries.GetAt(i));
  }
  return true;
}

bool CTolvexBinaryFileBase::WriteProtectedPayload(FieldWriter& w) {
  const PayloadSigningPart& signing = m_info.m_signing;
  const PayloadEncryptionPart& encryption = m_info.m_encryption;

  // The description, with its list part when there is a signing part.
  FieldWriter description;
  if (!WriteDescription(description)) return false;
  uint64_t l2 = 0, l3 = 0;
  if (signing.m_bPresent && !AddSize(l2, 8 + 150ull * signing.m_list.GetCount() + signing.m_buffer.GetLength()))
    return false;
  if (encryption.m_bPresent &&
      !AddSize(l3, 9 + 150ull * encryption.m_list.GetCount() + encryption.m_buffer.GetLength()))
    return false;

  BYTE* options = GetOptions();
  // The flag goes with the block: a flag without one would make readers take the bytes after the payload
  // for the block's length.
  const bool extra = m_bExtraFlag && m_extraBlock.GetLength() > 0;
  if (extra) options[3] = m_bExtraFlag;
  else if (m_bExtraFlag) options[3] = 0;
  if (m_wOptionValue) {
    options[4] = static_cast<BYTE>(m_wOptionValue >> 8);
    options[5] = static_cast<BYTE>(m_wOptionValue);
  }

  CTvxFormatSettings settings;
  settings.Load();
  const BYTE format[4] = {1, 0, 0, static_cast<BYTE>(settings.m_nFormatVersion > 1 ? 2 : 1)};
  std::memcpy(m_info.m_abFormat, format, 4);

  w.Text(m_info.m_strText1, kTextWidth);
  w.Text(m_info.m_strText2, kTextWidth);
  w.Text(m_info.m_strText3, kTextWidth);
  w.Bytes(m_info.m_abFormat, 4);
  w.Flag(m_info.m_bEncryptedContent);
  w.UInt32(description.Size());
  w.Bytes(description.Data(), description.Size());
  w.UInt32(static_cast<DWORD>(l2));
  if (l2) {
    DWORD start = w.Size();
    w.Byte(1);
    if (!WriteTriples(signing.m_list, w)) return false;
    w.Flag(signing.m_bSecondFlag);
    w.SizedBuffer(signing.m_buffer);
    if (w.Size() - start != l2) return false;
  }
  w.UInt32(static_cast<DWORD>(l3));
  if (l3) {
    DWORD start = w.Size();
    w.Byte(1);
    w.Flag(encryption.m_bSecondFlag);
    if (!WriteTriples(encryption.m_list, w)) return false;
    w.Flag(encryption.m_bThirdFlag);
    w.SizedBuffer(encryption.m_buffer);
    if (w.Size() - start != l3) return false;
  }
  if (extra) w.SizedBuffer(m_extraBlock);
  m_nEndOffset = w.Size();
  return true;
}

bool CTolvexBinaryFileBase::Serialize() {
  FieldWriter w;
  return WriteProtectedPayload(w) && FinishBody(w);
}

bool CTolvexBinaryFileBase::ReadSigningPart(FieldReader& r, bool& corrupt) {
  PayloadSigningPart& part = m_info.m_signing;
  DWORD b = 0;
  if (!r.Flag(part.m_bPresent) || !ReadTriples(r, part.m_list) || !r.Flag(part.m_bSecondFlag) || !r.UInt32(b) ||
      !r.Buffer(part.m_buffer, b)) {
    corrupt = true;
    return false;
  }
  return b > 0;
}

bool CTolvexBinaryFileBase::ReadEncryptionPart(FieldReader& r, bool& corrupt) {
  PayloadEncryptionPart& part = m_info.m_encryption;
  DWORD b = 0;
  if (!r.Flag(part.m_bPresent) || !r.Flag(part.m_bSecondFlag) || !ReadTriples(r, part.m_list) ||
      !r.Flag(part.m_bThirdFlag) || !r.UInt32(b) || !r.Buffer(part.m_buffer, b)) {
    corrupt = true;
    return false;
  }
  return true;
}

bool CTolvexBinaryFileBase::ReadDescription(FieldReader& r, bool& corrupt) {
  PayloadBody& body = m_info.m_body;
  WORD reserved = 0, nestedSize = 0;
  bool ok = true;
  for (BYTE& flag : body.m_abFlags) ok = ok && r.Flag(flag);
  ok = ok && r.Byte(body.m_bByte) && r.Bytes(body.m_abDigestName, sizeof body.m_abDigestName) &&
       r.UInt16(reserved) && r.UInt16(nestedSize);
  if (!ok) {
    corrupt = true;
    return false;
  }
  if (nestedSize != 0) {
    if (r.Remaining() >= kNestedSize) {
      FieldReader nested(r.Here(), kNestedSize);
      nested.Text(body.m_nested.m_astrText[3], 255);
      nested.Byte(body.m_nested.m_bCipherIndex);
      nested.Byte(body.m_nested.m_bKeyLengthIndex);
      r.Skip(kNestedSize);
    } else {
      r.Skip(r.Remaining());
    }
  }
  if (r.Remaining() >= CTolvexRecord::kFixedBlockSize) CTolvexRecord::ReadFixedBlock(body.m_head, r);
  if (m_info.m_signing.m_bPresent && m_info.m_abFormat[0] != 0) {
    BYTE count = 0;
    if (!r.Byte(count) || !r.Skip(3)) {
      corrupt = true;
      return false;
    }
    for (BYTE i = 0; i < count; ++i) {
      DWORD length = 0;
      CByteBuffer element;
      if (!r.UInt32(length) || !r.Buffer(element, length)) {
        corrupt = true;
        return false;
      }
      if (length) body.m_entries.Add(element);
    }
  }
  return true;
}

bool CTolvexBinaryFileBase::ReadProtectedPayload(bool extraBlock) {
  if (!ParseHeader(nullptr)) return false;
  const BYTE* options = GetOptions();
  m_bExtraFlag = options[3];
  m_wOptionValue = static_cast<WORD>((options[4] << 8) | options[5]);
  // Nothing of an earlier load may survive into this one.
  m_info = PayloadInfo();
  m_extraBlock.Free(false);
  m_nEndOffset = 0;
  std::memset(m_abStoredDigest, 0, sizeof m_abStoredDigest);

  DWORD payloadLength = 0;
  if (m_body.GetLength() == 0 || !GetPayloadLength(payloadLength)) return false;
  FieldReader r(m_body.GetData(), payloadLength);
  DWORD l1 = 0, l2 = 0, l3 = 0;
  FieldReader block1(nullptr, 0), block2(nullptr, 0), block3(nullptr, 0);
  if (!r.Text(m_info.m_strText1, kTextWidth) || !r.Text(m_info.m_strText2, kTextWidth) ||
      !r.Text(m_info.m_strText3, kTextWidth) || !r.Bytes(m_info.m_abFormat, 4) ||
      !r.Flag(m_info.m_bEncryptedContent) || !r.UInt32(l1) || !r.Block(l1, block1) || !r.UInt32(l2) ||
      !r.Block(l2, block2))
    return false;
  // Block 2 first: the description's list part is there only with a signing part.
  bool corrupt = false, outcome = false;
  if (l2) outcome = ReadSigningPart(block2, corrupt);
  if (l1) outcome = ReadDescription(block1, corrupt);
  if (!r.UInt32(l3) || !r.Block(l3, block3)) return false;
  if (l3) outcome = ReadEncryptionPart(block3, corrupt);
  if (corrupt || (!l1 && !l2 && !l3)) return false;
  if (outcome && m_bExtraFlag && r.Remaining() > 0) {
    // The flag announces the extra block: its length must fit what is left, or the file is cut short. Earlier
    // saves set the flag also without a block; where the class's own bytes follow, a length of 0 or one that
    // does not fit is those bytes, read as they are (and so is any length when the caller says so).
    const bool extended = GetFileClass() != &g_fileClassTolvexBinary;
    FieldReader peek = r;
    DWORD e = 0;
    if ((extraBlock || !extended) && peek.UInt32(e) && e > 0 && e <= peek.Remaining()) {
      r = peek;
      r.Buffer(m_extraBlock, e);
    } else if (extended) {
      m_bExtraFlag = 0;
    } else {
      return false;
    }
  }
  m_nEndOffset = r.Offset();
  CopyStoredDigest(m_abStoredDigest);
  return outcome;
}

bool CTolvexBinaryFileBase::Deserialize(int) { return ReadProtectedPayload(); }

// ---- the registered classes ----

CBaseKesmoraFile* CTolvexBinaryFile::CreateObject() { return new CTolvexBinaryFile; }
const CFileClass* CTolvexBinaryFile::GetFileClass() const { return &g_fileClassTolvexBinary; }

CBaseKesmoraFile* CEncryptedTolvexBinaryFile::CreateObject() { return new CEncryptedTolvexBinaryFile; }
const CFileClass* CEncryptedTolvexBinaryFile::GetFileClass() const { return &g_fileClassEncryptedTolvexBinary; }

bool CEncryptedTolvexBinaryFile::Serialize() {
  FieldWriter w;
  if (!WriteProtectedPayload(w)) return false;
  w.Byte(static_cast<BYTE>(m_nCipherIndex));
  w.Byte(static_cast<BYTE>(m_nKeySizeIndex));
  w.Byte(m_bFlag);
  w.Buffer(m_encrypted);
  // Six zero bytes after the encrypted bytes, covered by the digest: stored files keep this length.
  w.Zeros(6);
  return FinishBody(w);
}

bool CEncryptedTolvexBinaryFile::Deserialize(int) {
  if (!ReadAll(true)) return false;
  if (m_extraBlock.GetLength() == 0 || LooksWritten()) return true;
  // Earlier saves set the extra-block flag also without a block, and the class's own bytes can read as the
  // length of a block that fits: when what follows the block is not what the writer writes, the bytes are read
  // again as following the payload directly.
  if (ReadAll(false) && LooksWritten()) return true;
  return ReadAll(true);
}

bool CEncryptedTolvexBinaryFile::ReadAll(bool extraBlock) {
  m_nCipherIndex = 0;
  m_nKeySizeIndex = 0;
  m_bFlag = 0;
  m_encrypted.Free(false);
  if (!ReadProtectedPayload(extraBlock)) return false;
  DWORD payloadLength = 0, e = GetEndOffset();
  // The three bytes, then the encrypted bytes and the six zero bytes.
  if (!GetPayloadLength(payloadLength) || e > payloadLength || payloadLength - e < 3 + 6) return false;
  const BYTE* p = m_body.GetData() + e;
  m_nCipherIndex = p[0];
  m_nKeySizeIndex = p[1];
  m_bFlag = p[2];
  // Nothing says how long the encrypted bytes are: only the digest tells a cut or changed file from a whole
  // one, and the reader checks it (ComputeDigest) to say so.
  // Everything after the three bytes: the encrypted bytes, the six zero bytes and the digest.
  DWORD start = e + 3;
  return m_encrypted.SetAt(m_body.GetLength() - start, m_body.GetData() + start, 0);
}

bool CEncryptedTolvexBinaryFile::LooksWritten() const {
  return m_bFlag == 1 && kxcore::CipherBlockSize(static_cast<int>(m_nCipherIndex)) != 0;
}

CBaseKesmoraFile* COneClickFile::CreateObject() { return new COneClickFile; }
const CFileClass* COneClickFile::GetFileClass() const { return &g_fileClassOneClick; }

bool COneClickFile::Serialize() {
  FieldWriter w;
  CByteBuffer record;
  // A preset without its certificates is no preset: the save fails.
  if (!WriteProtectedPayload(w) || !m_oneClickRecord.Serialize(record)) return false;
  w.Buffer(record);
  return FinishBody(w);
}

bool COneClickFile::Deserialize(int) {
  // As with the encrypted file: a record that does not follow a block read is read again right after the parts.
  return ReadAll(true) || (m_extraBlock.GetLength() > 0 && ReadAll(false));
}

bool COneClickFile::ReadAll(bool extraBlock) {
  m_oneClickRecord.Recipients().RemoveAll();
  m_oneClickRecord.Signers().RemoveAll();
  if (!ReadProtectedPayload(extraBlock)) return false;
  DWORD payloadLength = 0, e = GetEndOffset();
  if (!GetPayloadLength(payloadLength) || e > payloadLength) return false;
  return m_oneClickRecord.Deserialize(m_body.GetData() + e, payloadLength - e);
}
