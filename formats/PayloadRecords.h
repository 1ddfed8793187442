// The in-memory description of a protected file's content (a tree of value records) and the fixed byte
// layouts of its time-stamp block and of one serialised entry.
#pragma once

#include <cstdint>

#include "core/BstrString.h"
#include "core/ByteBuffer.h"
#include "core/DateTime.h"
#include "platform/mfc/cstring.h"

namespace kx::formats {
class FieldReader;
class FieldWriter;
}  // namespace kx::formats

// The time-stamped head shared by a description and each of its entries.
struct TimeStampRecord {
  TimeStampRecord();
  TimeStampRecord(const TimeStampRecord& other) = default;
  TimeStampRecord& operator=(const TimeStampRecord& other) = default;
  ~TimeStampRecord() = default;

  CLocalTime m_time;      // not stored in files
  CString m_strDate;      // the creation time as text
  BYTE m_bFlag = 1;
  CString m_strText2;
  CString m_strText3;
  CString m_strText4;
};

// One item of the protected content (one signature record, for instance).
struct PayloadEntry {
  PayloadEntry();
  PayloadEntry(const PayloadEntry& other) = default;
  PayloadEntry& operator=(const PayloadEntry& other) = default;
  ~PayloadEntry() = default;

  TimeStampRecord m_head;
  BYTE m_bFlag = 0;
  CString m_strText1;
  CByteBuffer m_buffer1;
  CString m_strText2;
  CString m_strText3;
  CString m_strText4;
  CString m_strText5;
  CByteBuffer m_buffer2;
  CByteBufferList m_buffers;
};

// The 1022-byte nested block of a description: only the fourth text and the two indexes are stored.
struct PayloadNestedBlock {
  virtual ~PayloadNestedBlock() = default;
  CString m_astrText[4];
  BYTE m_bCipherIndex = 0xFF;
  BYTE m_bKeyLengthIndex = 0xFF;
};

class PayloadBody {
 public:
  PayloadBody();
  PayloadBody(const PayloadBody& other) = default;
  virtual ~PayloadBody() = default;
  // Copies every member; the entry list keeps its order.
  PayloadBody& operator=(const PayloadBody& other) = default;

  // Serialises the entry and appends it to the entry list; false (list unchanged) when that fails.
  bool AddEntry(const PayloadEntry& entry);
  // Parses element index into entry; false for an index past the list (entry unchanged) or a bad record.
  bool GetEntry(DWORD index, PayloadEntry& entry) const;
  DWORD GetEntryCount() const { return m_entries.GetCount(); }
  // The 1022-byte nested block: fourth text in bytes 0-254, the two indexes at 255 and 256, zeros after.
  bool WriteNestedBlock(CByteBuffer& out) const;

  BYTE m_abFlags[6] = {0, 0, 0, 0, 0, 0};
  BYTE m_bByte = 1;
  BYTE m_abDigestName[10];
  PayloadNestedBlock m_nested;
  TimeStampRecord m_head;
  PayloadEntry m_current;
  CByteBufferList m_entries;  // one serialised PayloadEntry per element
};

// Block 2 of a protected file: the signing part.
struct PayloadSigningPart {
  virtual ~PayloadSigningPart() = default;
  BYTE m_bPresent = 0;
  CStringTripleList m_list;
  BYTE m_bSecondFlag = 0;
  CByteBuffer m_buffer;
};

// Block 3 of a protected file: the encryption part.
struct PayloadEncryptionPart {
  virtual ~PayloadEncryptionPart() = default;
  BYTE m_bPresent = 0;
  BYTE m_bSecondFlag = 0;
  CStringTripleList m_list;
  BYTE m_bThirdFlag = 0;
  CByteBuffer m_buffer;
};

struct PayloadInfo {
  PayloadInfo() = default;
  PayloadInfo(const PayloadInfo& other) = default;
  virtual ~PayloadInfo() = default;
  PayloadInfo& operator=(const PayloadInfo& other) = default;

  // The content length a version-2 writer keeps in the second text (its own cipher fills the last block up
  // with zeros); UINT64_MAX when the file records none.
  uint64_t RecordedContentLength() const;
  // The length in decimal in the second text, whatever the version (the encrypted file keeps it always);
  // UINT64_MAX when it holds none.
  uint64_t KeptLength() const;

  CString m_strText1;
  CString m_strText2;
  CString m_strText3;
  BYTE m_abFormat[4] = {0, 0, 0, 0};
  BYTE m_bEncryptedContent = 0;  // the payload flag
  PayloadBody m_body;
  PayloadSigningPart m_signing;
  PayloadEncryptionPart m_encryption;
};

// The byte layouts of the records above (every integer big-endian, texts zero-padded).
class CTolvexRecord {
 public:
  static constexpr DWORD kFixedBlockSize = 2354;
  // A record with empty buffers and an empty list.
  static constexpr DWORD kMinimumSize = 5180;

  // The time-stamp block: false for a null pointer or fewer than 2354 bytes.
  static bool ReadFixedBlock(TimeStampRecord& record, const BYTE* p, DWORD length);
  // Copies the 2354 bytes into buffer at offset (the buffer grows as needed).
  static bool WriteFixedBlock(const TimeStampRecord& record, CByteBuffer& buffer, DWORD offset);
  static void WriteFixedBlock(const TimeStampRecord& record, kx::formats::FieldWriter& w);
  static bool ReadFixedBlock(TimeStampRecord& record, kx::formats::FieldReader& r);

  // 0 when flag is false; else the serialised size of the entry.
  static DWORD GetSerializedSize(const PayloadEntry& entry, bool flag = true);
  // Appends the serialised entry to out.
  static bool Serialize(const PayloadEntry& entry, CByteBuffer& out);
  // Parses a record into entry (reset first); false for a null pointer, fewer than 5180 bytes or a length
  // that points past the given bytes.
  static bool Deserialize(PayloadEntry& entry, const BYTE* p, DWORD length);
};
