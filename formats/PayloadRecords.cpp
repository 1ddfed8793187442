#include "formats/PayloadRecords.h"

#include <cstdlib>
#include <cstring>

#include "formats/FieldIo.h"

using kx::formats::FieldReader;
using kx::formats::FieldWriter;

namespace {

// Widths of the text fields of the time-stamp block and of an entry.
constexpr DWORD kDateWidth = 255, kLongText = 1024, kShortText = 50, kNameText = 255;

CString FormatNow(const CLocalTime& time) {
  char text[256];
  CDateTime(time.m_time).Format(text, sizeof text, 0, 1024);
  return text;
}

}  // namespace

TimeStampRecord::TimeStampRecord() : m_strDate(FormatNow(m_time)) {}

PayloadEntry::PayloadEntry() = default;

PayloadBody::PayloadBody() {
  static const BYTE kSha1Name[10] = {'S', 'H', 'A', '-', '1', 0, 0, 0, 0, 0};
  std::memcpy(m_abDigestName, kSha1Name, sizeof m_abDigestName);
}

bool PayloadBody::AddEntry(const PayloadEntry& entry) {
  CByteBuffer serialised;
  if (!CTolvexRecord::Serialize(entry, serialised)) return false;
  m_entries.Add(serialised);
  return true;
}

bool PayloadBody::GetEntry(DWORD index, PayloadEntry& entry) const {
  if (index >= m_entries.GetCount()) return false;
  CByteBuffer element = m_entries.GetAt(index);
  return CTolvexRecord::Deserialize(entry, element.GetData(), element.GetLength());
}

bool PayloadBody::WriteNestedBlock(CByteBuffer& out) const {
  out.Free(false);
  if (!out.Allocate(1022, true)) return false;
  kx::formats::SetFixedText(out.GetData(), 255, m_nested.m_astrText[3]);
  out.GetData()[255] = m_nested.m_bCipherIndex;
  out.GetData()[256] = m_nested.m_bKeyLengthIndex;
  return true;
}

void CTolvexRecord::WriteFixedBlock(const TimeStampRecord& record, FieldWriter& w) {
  w.Text(record.m_strDate, kDateWidth);
  w.Flag(record.m_bFlag);
  w.Text(record.m_strText2, kLongText);
  w.Text(record.m_strText3, kLongText);
  w.Text(record.m_strText4, kShortText);
}

bool CTolvexRecord::ReadFixedBlock(TimeStampRecord& record, FieldReader& r) {
  if (r.Remaining() < kFixedBlockSize) return false;
  return r.Text(record.m_strDate, kDateWidth) && r.Flag(record.m_bFlag) && r.Text(record.m_strText2, kLongText) &&
         r.Text(record.m_strText3, kLongText) && r.Text(record.m_strText4, kShortText);
}

bool CTolvexRecord::ReadFixedBlock(TimeStampRecord& record, const BYTE* p, DWORD length) {
  if (!p) return false;
  FieldReader r(p, length);
  return ReadFixedBlock(record, r);
}

bool CTolvexRecord::WriteFixedBlock(const TimeStampRecord& record, CByteBuffer& buffer, DWORD offset) {
  FieldWriter w;
  WriteFixedBlock(record, w);
  return buffer.SetAt(w.Size(), w.Data(), offset);
}

DWORD CTolvexRecord::GetSerializedSize(const PayloadEntry& entry, bool flag) {
  if (!flag) return 0;
  uint64_t size = uint64_t(kMinimumSize) + entry.m_buffer1.GetLength() + entry.m_buffer2.GetLength();
  for (DWORD i = 0; i < entry.m_buffers.GetCount(); ++i) size += 4 + entry.m_buffers.GetAt(i).GetLength();
  return size > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(size);
}

bool CTolvexRecord::Serialize(const PayloadEntry& entry, CByteBuffer& out) {
  DWORD size = GetSerializedSize(entry);
  if (size == 0) return false;
  FieldWriter w;
  WriteFixedBlock(entry.m_head, w);
  w.Flag(entry.m_bFlag);
  w.Text(entry.m_strText1, kNameText);
  w.SizedBuffer(entry.m_buffer1);
  w.Text(entry.m_strText2, kLongText);
  w.Text(entry.m_strText3, kLongText);
  w.Text(entry.m_strText4, kNameText);
  w.Text(entry.m_strText5, kNameText);
  w.SizedBuffer(entry.m_buffer2);
  w.UInt32(entry.m_buffers.GetCount());
  for (DWORD i = 0; i < entry.m_buffers.GetCount(); ++i) w.SizedBuffer(entry.m_buffers.GetAt(i));
  if (w.Size() != size) return false;
  return out.Append(w.Size(), w.Data());
}

bool CTolvexRecord::Deserialize(PayloadEntry& entry, const BYTE* p, DWORD length) {
  if (!p || length < kMinimumSize) return false;
  // A reused entry must not keep buffers or list items of an earlier record.
  entry = PayloadEntry();
  FieldReader r(p, length);
  DWORD n = 0;
  if (!ReadFixedBlock(entry.m_head, r) || !r.Flag(entry.m_bFlag) || !r.Text(entry.m_strText1, kNameText) ||
      !r.UInt32(n) || !r.Buffer(entry.m_buffer1, n) || !r.Text(entry.m_strText2, kLongText) ||
      !r.Text(entry.m_strText3, kLongText) || !r.Text(entry.m_strText4, kNameText) ||
      !r.Text(entry.m_strText5, kNameText) || !r.UInt32(n) || !r.Buffer(entry.m_buffer2, n) || !r.UInt32(n))
    return false;
  for (DWORD i = 0; i < n; ++i) {
    DWORD len = 0;
    CByteBuffer element;
    if (!r.UInt32(len) || !r.Buffer(element, len)) return false;
    if (len) entry.m_buffers.Add(element);
  }
  return true;
}

uint64_t PayloadInfo::KeptLength() const {
  if (m_strText2.IsEmpty() || m_strText2.SpanIncluding("0123456789").GetLength() != m_strText2.GetLength())
    return UINT64_MAX;
  return strtoull(m_strText2, nullptr, 10);
}

uint64_t PayloadInfo::RecordedContentLength() const { return m_abFormat[3] < 2 ? UINT64_MAX : KeptLength(); }
