// Payload value records, the entry layout, the body digest rules and the format settings.
#include <cstring>
#include <memory>

#include "formats/FieldIo.h"
#include "formats/PayloadRecords.h"
#include "core/TvxFormatSettings.h"
#include "formats/formats_test.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"

using namespace kxtest;

namespace {

// A file object whose digest range the test sets, for the digest rules.
class RangedFile : public CBaseKesmoraFile {
 public:
  RangedFile() : CBaseKesmoraFile(0, 2) {}
  bool Deserialize(int) override { return true; }
  bool Serialize() override { return false; }
  bool GetDigestRange(DWORD& offset, DWORD& size) const override {
    offset = m_offset;
    size = m_size;
    return m_ranged;
  }
  const BYTE* GetStoredDigest() const override { return m_stored; }
  void SetBodyBytes(const std::string& b) { m_body = BufferOf(b); }
  DWORD m_offset = 0, m_size = 0;
  bool m_ranged = true;
  BYTE m_stored[20] = {};
};

std::string Sha1(const std::string& data) {
  std::string out;
  std::string path = Root() + "/sha.in";
  WriteFile(path, data);
  kxtest::Run("sha1sum '" + path + "' | cut -c1-40", &out);
  return out.substr(0, 40);
}

}  // namespace

TEST(PayloadRecords, TimeStampAndEntries) {
  TimeStampRecord a;
  EXPECT_EQ(a.m_bFlag, 1);
  EXPECT_FALSE(a.m_strDate.IsEmpty());
  Sleep(1100);
  TimeStampRecord b;
  EXPECT_NE(std::memcmp(&a.m_time.m_time, &b.m_time.m_time, sizeof(SYSTEMTIME)), 0);

  PayloadBody body;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(body.m_abDigestName), 10), std::string("SHA-1\0\0\0\0\0", 10));
  PayloadEntry e;
  e.m_strText1 = "name";
  e.m_buffer1 = BufferOf("one");
  e.m_strText4 = std::string(300, 'q').c_str();
  e.m_buffers.Add(BufferOf("sig a"));
  e.m_buffers.Add(BufferOf("sig b"));
  ASSERT_TRUE(body.AddEntry(e));
  CByteBuffer serialised = body.m_entries.GetAt(0);
  EXPECT_EQ(serialised.GetLength(), CTolvexRecord::GetSerializedSize(e));
  EXPECT_EQ(serialised.GetLength(), 5180u + 3 + 2 * (4 + 5));
  PayloadEntry got;
  got.m_buffers.Add(BufferOf("stale"));
  ASSERT_TRUE(body.GetEntry(0, got));
  EXPECT_STREQ(got.m_strText1, "name");
  EXPECT_EQ(got.m_strText4.GetLength(), 255);
  EXPECT_EQ(StringOf(got.m_buffer1), "one");
  ASSERT_EQ(got.m_buffers.GetCount(), 2u);
  EXPECT_EQ(StringOf(got.m_buffers.GetAt(1)), "sig b");
  EXPECT_STREQ(got.m_head.m_strDate, e.m_head.m_strDate);
  // Past the list: false and the entry stays as it was.
  got.m_strText1 = "kept";
  EXPECT_FALSE(body.GetEntry(1, got));
  EXPECT_STREQ(got.m_strText1, "kept");

  // Copies keep the list's order; a copy onto itself changes nothing.
  PayloadEntry second;
  second.m_strText1 = "second";
  body.AddEntry(second);
  PayloadBody copy;
  copy = body;
  copy = copy;
  ASSERT_EQ(copy.GetEntryCount(), 2u);
  ASSERT_TRUE(copy.GetEntry(1, got));
  EXPECT_STREQ(got.m_strText1, "second");

  PayloadInfo info, target;
  info.m_signing.m_list.Add("a", "b", "c");
  info.m_signing.m_list.Add("d", "e", "f");
  info.m_encryption.m_list.Add("g", "h", "i");
  info.m_encryption.m_list.Add("j", "k", "l");
  target.m_signing.m_list.Add("old", "old", "old");
  target = info;
  EXPECT_EQ(target.m_signing.m_list.GetCount(), 2u);
  EXPECT_EQ(target.m_encryption.m_list.GetCount(), 2u);
}

TEST(PayloadRecords, EntryBytes) {
  // 5180 zero bytes read as an empty entry; 5179 are refused.
  std::string zeros(5180, '\0');
  PayloadEntry e;
  e.m_buffer2 = BufferOf("stale");
  EXPECT_FALSE(CTolvexRecord::Deserialize(e, reinterpret_cast<const BYTE*>(zeros.data()), 5179));
  ASSERT_TRUE(CTolvexRecord::Deserialize(e, reinterpret_cast<const BYTE*>(zeros.data()), 5180));
  EXPECT_TRUE(e.m_strText1.IsEmpty());
  EXPECT_EQ(e.m_buffer2.GetLength(), 0u);
  EXPECT_EQ(e.m_buffers.GetCount(), 0u);
  EXPECT_EQ(e.m_head.m_bFlag, 0);
  // A filled entry still reads a short record (the minimum is fixed, not the entry's own size).
  e.m_buffer1 = BufferOf(std::string(100, 'x'));
  ASSERT_TRUE(CTolvexRecord::Deserialize(e, reinterpret_cast<const BYTE*>(zeros.data()), 5180));
  EXPECT_EQ(e.m_buffer1.GetLength(), 0u);
  // Lengths past the record: B1, B2 and the list count.
  for (size_t offset : {size_t(2610), size_t(5172), size_t(5176)}) {
    std::string bad = zeros;
    PutWord(bad, offset, 0xFFFFFFF0u);
    EXPECT_FALSE(CTolvexRecord::Deserialize(e, reinterpret_cast<const BYTE*>(bad.data()), 5180)) << offset;
  }
  EXPECT_FALSE(CTolvexRecord::Deserialize(e, nullptr, 6000));

  // The fixed block and the nested block.
  TimeStampRecord t;
  t.m_strDate = "date";
  t.m_bFlag = 7;
  t.m_strText4 = std::string(60, 'w').c_str();
  CByteBuffer block;
  ASSERT_TRUE(CTolvexRecord::WriteFixedBlock(t, block, 0));
  ASSERT_EQ(block.GetLength(), 2354u);
  EXPECT_EQ(block.GetData()[255], 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block.GetData()) + 2304, 50), std::string(50, 'w'));
  PayloadBody body;
  body.m_nested.m_astrText[3] = "fourth";
  body.m_nested.m_astrText[0] = "not stored";
  CByteBuffer nested;
  ASSERT_TRUE(body.WriteNestedBlock(nested));
  ASSERT_EQ(nested.GetLength(), 1022u);
  EXPECT_STREQ(reinterpret_cast<char*>(nested.GetData()), "fourth");
  EXPECT_EQ(nested.GetData()[255], 0xFF);
  EXPECT_EQ(nested.GetData()[256], 0xFF);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(nested.GetData()) + 257, 765), std::string(765, '\0'));
}

TEST(PayloadRecords, TextFields) {
  using kx::formats::FittedTextLength;
  EXPECT_EQ(FittedTextLength("abc", 255), 3u);
  EXPECT_EQ(FittedTextLength(std::string(300, 'a').c_str(), 255), 255u);
  EXPECT_EQ(FittedTextLength((std::string(254, 'a') + "\xE2\x82\xAC").c_str(), 255), 254u);  // euro sign
  EXPECT_EQ(FittedTextLength((std::string(252, 'a') + "\xE2\x82\xAC").c_str(), 255), 255u);
  EXPECT_EQ(FittedTextLength(nullptr, 10), 0u);
  BYTE b[4];
  EXPECT_TRUE(UInt32ToBytesBE(b, 3, 0x12345));
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[2], 0x45);
  EXPECT_FALSE(UInt32ToBytesBE(b, 5, 1));
  DWORD v = 0;
  EXPECT_TRUE(BytesToUInt32BE(v, b, 3));
  EXPECT_EQ(v, 0x12345u);
}

TEST(BodyDigest, Ranges) {
  RangedFile f;
  std::string body = "0123456789abcdefghijklmnopqrstuvwxyz";
  f.SetBodyBytes(body);
  CByteBuffer out;
  // The last 20 bytes as the range: the bytes before them.
  f.m_offset = 16;
  f.m_size = 20;
  ASSERT_TRUE(HashFileBody(&f, false, out, 0));
  EXPECT_EQ(Hex(StringOf(out)), Sha1(body.substr(0, 16)));
  // A range in the middle: the bytes before and after it, joined.
  f.m_offset = 10;
  f.m_size = 5;
  ASSERT_TRUE(HashFileBody(&f, false, out, 0));
  EXPECT_EQ(Hex(StringOf(out)), Sha1(body.substr(0, 10) + body.substr(15)));
  // Verify: a stored digest that differs in one byte fails, the computed digest is still given back.
  std::memcpy(f.m_stored, out.GetData(), 20);
  EXPECT_TRUE(HashFileBody(&f, true, out, 0));
  f.m_stored[19] ^= 1;
  EXPECT_FALSE(HashFileBody(&f, true, out, 0));
  EXPECT_EQ(Hex(StringOf(out)), Sha1(body.substr(0, 10) + body.substr(15)));
  // Whole: everything, range or not, nothing verified.
  EXPECT_TRUE(HashFileBody(&f, true, out, 1));
  EXPECT_EQ(Hex(StringOf(out)), Sha1(body));
  // A range past the body fails.
  f.m_offset = 30;
  f.m_size = 20;
  EXPECT_FALSE(HashFileBody(&f, false, out, 0));
}

TEST(TvxFormatSettings, DefaultsAndStoredValues) {
  CTvxFormatSettings s;
  EXPECT_EQ(s.m_nFormatVersion, 1);
  EXPECT_STREQ(s.m_strDefParameters, "AES256");
  s.Load();  // no key: defaults
  EXPECT_EQ(s.m_nFormatVersion, 1);
  s.m_nFormatVersion = 2;
  s.m_strDefParameters = "3DES";
  EXPECT_EQ(s.Save(), 0);
  CTvxFormatSettings again(HKEY_CURRENT_USER, "Software\\Kesmora\\%s\\Vorlind Intelligence", "OfficeTolvex");
  again.Load();
  EXPECT_EQ(again.m_nFormatVersion, 2);
  EXPECT_STREQ(again.m_strDefParameters, "3DES");
}
