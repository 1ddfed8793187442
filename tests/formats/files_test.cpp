// The files of the family: byte layouts and sizes, round trips, the digest, preset certificates.
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine/CapicomCertificates.h"
#include "engine/CapicomStore.h"
#include "formats/AuditLogFile.h"
#include "formats/FileClass.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "formats/samples.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "support/pki.h"

using namespace kxtest;

namespace {

using FilesTest = FormatsTest;

std::string SaveBytes(CBaseKesmoraFile* f, const std::string& path) {
  EXPECT_TRUE(f->Save(path.c_str())) << path;
  return ReadFile(path);
}

}  // namespace

// Sizes of the emptiest file of each kind, and the empty log's digest.
TEST_F(FilesTest, MinimalSizes) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  const struct {
    const char* marker;
    size_t size;
  } rows[] = {{"KXTV", 4220}, {"KETV", 4229}, {"KCLK", 4228}, {"KSGR", 911}, {"KALF", 45}};
  for (const auto& row : rows) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(row.marker));
    ASSERT_TRUE(f) << row.marker;
    std::string bytes = SaveBytes(f.get(), dir + "/min." + row.marker);
    EXPECT_EQ(bytes.size(), row.size) << row.marker;
    EXPECT_EQ(bytes.substr(0, 4), row.marker);
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(bytes[5], 0);
  }
  // The empty log: four zero bytes of count, then SHA-1 of them.
  std::string log = ReadFile(dir + "/min.KALF");
  EXPECT_EQ(Hex(log.substr(21)), "00000000" "9069ca78e7450a285173431b3e52c5c25299e473");
  // A protected payload without parts: 765 text bytes, format 01 00 00 01, flag, L1 = 3397, L2 = L3 = 0.
  std::string tvx = ReadFile(dir + "/min.KXTV");
  EXPECT_EQ(Hex(tvx.substr(21 + 765, 5)), "0100000100");
  EXPECT_EQ(WordAt(tvx, 21 + 770), 3397u);
  EXPECT_EQ(WordAt(tvx, 21 + 774 + 3397), 0u);
  EXPECT_EQ(WordAt(tvx, 21 + 778 + 3397), 0u);
  EXPECT_EQ(Hex(tvx.substr(21 + 774 + 17, 4)), "000003fe");  // reserved word, nested size 1022
  // The empty preset's record: two counts of one byte and three zero bytes.
  EXPECT_EQ(Hex(ReadFile(dir + "/min.KCLK").substr(4228 - 28, 8)), "0000000000000000");
}

TEST_F(FilesTest, HeaderDateTimeAndOptionMirrors) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  const BYTE date[] = {0x07, 0xD5, 0x0C, 0x1F}, time[] = {0x17, 0x3B, 0x3B};
  const BYTE options[] = {3, 0, 0, 9, 0xAA, 0xBB, 0, 1};
  DWORD n = 4, t = 3, o = 8;
  f->SetDateBytes(date, n);
  f->SetTimeBytes(time, t);
  f->SetOptions(options, o);
  std::string path = MakeTempDir() + "/h.tvx";
  std::string bytes = SaveBytes(f.get(), path);
  EXPECT_EQ(Hex(bytes.substr(14, 7)), "07d50c1f173b3b");
  // Byte 3 and bytes 4-5 keep the caller's values while the object's mirrors are 0; bytes 6-7 too.
  EXPECT_EQ(Hex(bytes.substr(6, 8)), "03000009aabb0001");
  f->SetExtraBlockFlag(1);
  f->m_extraBlock = BufferOf("x");
  f->SetOptionValue(0x0102);
  bytes = SaveBytes(f.get(), path);
  EXPECT_EQ(Hex(bytes.substr(6, 8)), "0300000101020001");
  EXPECT_EQ(f->GetCreationText(), "Dec 31 2005 23:59:59");
  std::unique_ptr<CTolvexBinaryFile> back(dynamic_cast<CTolvexBinaryFile*>(manager.OpenFile(path.c_str())));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->GetExtraBlockFlag(), 1);
  EXPECT_EQ(back->GetOptionValue(), 0x0102);
  EXPECT_EQ(StringOf(back->m_extraBlock), "x");
  EXPECT_TRUE(back->IsDateValid());
  EXPECT_TRUE(back->IsTimeValid());
  // Year 1995 is before any file of the family; 31 February passes the simple day check.
  const BYTE early[] = {0x07, 0xCB, 2, 31};
  back->SetDateBytes(early, n);
  EXPECT_FALSE(back->IsDateValid());
  const BYTE february[] = {0x07, 0xD5, 2, 31};
  back->SetDateBytes(february, n);
  EXPECT_TRUE(back->IsDateValid());
}

// Write, read back, write again: every field survives, so the second image equals the first.
TEST_F(FilesTest, RoundTripPerKind) {
  std::string dir = MakeTempDir();
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.marker);
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    ASSERT_TRUE(f);
    f->SetCreationDate();
    f->SetCreationTime();
    kind.fill(f.get());
    std::string path = dir + "/file." + kind.extension;
    std::string first = SaveBytes(f.get(), path);
    std::unique_ptr<CBaseKesmoraFile> back(manager.OpenFile(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetCallerFlag(), 0);
    CByteBuffer digest;
    EXPECT_TRUE(back->ComputeDigest(digest, true, 0));
    if (std::string(kind.marker) == "KETV") {
      // The encrypted bytes come back with the six zero bytes and the digest behind them.
      auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(back.get());
      EXPECT_EQ(e->m_nCipherIndex, 7u);
      EXPECT_EQ(e->m_nKeySizeIndex, 255u);
      EXPECT_EQ(e->m_bFlag, 1);
      EXPECT_EQ(StringOf(e->m_encrypted), std::string(48, '\xA5') + std::string(6, '\0') + first.substr(first.size() - 20));
      continue;
    }
    EXPECT_EQ(SaveBytes(back.get(), dir + "/again." + kind.extension), first);
  }
}

// The extra block with and without its flag, and the flag without a block: every protected kind saves a file
// that opens again with what it holds; the header announces the block only when it is there.
TEST_F(FilesTest, ExtraBlockRoundTripPerKind) {
  std::string dir = MakeTempDir();
  const struct {
    const char* what;
    BYTE flag;
    const char* block;
    BYTE savedFlag;
  } cases[] = {
      {"flag and block", 1, "enveloped signee information", 1},
      {"flag, empty block", 1, "", 0},
      {"block without flag", 0, "not written", 0},
      {"neither", 0, "", 0},
  };
  for (const Kind& kind : kKinds) {
    if (std::string(kind.marker) == "KSGR" || std::string(kind.marker) == "KALF") continue;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(kind.marker) + ": " + c.what);
      CFileManager manager;
      std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
      kind.fill(f.get());
      auto* p = dynamic_cast<CTolvexBinaryFileBase*>(f.get());
      p->SetExtraBlockFlag(c.flag);
      p->m_extraBlock = BufferOf(c.block);
      std::string path = dir + "/extra." + kind.extension;
      std::string bytes = SaveBytes(f.get(), path);
      EXPECT_EQ(bytes[6 + 3], static_cast<char>(c.savedFlag));
      std::unique_ptr<CBaseKesmoraFile> back(manager.OpenFile(path.c_str()));
      ASSERT_TRUE(back);
      auto* b = dynamic_cast<CTolvexBinaryFileBase*>(back.get());
      EXPECT_EQ(b->GetExtraBlockFlag(), c.savedFlag);
      EXPECT_EQ(StringOf(b->m_extraBlock), c.savedFlag ? c.block : "");
      EXPECT_STREQ(b->m_info.m_strText3, "preset description");
      if (auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(back.get())) {
        EXPECT_EQ(e->m_nCipherIndex, 7u);
        EXPECT_EQ(StringOf(e->m_encrypted).substr(0, 48), std::string(48, '\xA5'));
      }
      if (auto* k = dynamic_cast<COneClickFile*>(back.get())) {
        EXPECT_EQ(k->m_oneClickRecord.Recipients().GetCount(), 1u);
        EXPECT_EQ(k->m_oneClickRecord.Signers().GetCount(), 1u);
      }
      if (std::string(kind.marker) == "KXTV" || std::string(c.block) != "") continue;
      // Saved before with the flag and no block: the class's own bytes are read as they are.
      bytes[6 + 3] = 1;
      CByteBuffer earlier = BufferOf(bytes);
      std::unique_ptr<CBaseKesmoraFile> old(manager.OpenBuffer(earlier, true, nullptr));
      ASSERT_TRUE(old);
      EXPECT_EQ(dynamic_cast<CTolvexBinaryFileBase*>(old.get())->m_extraBlock.GetLength(), 0u);
      if (auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(old.get())) { EXPECT_EQ(e->m_nCipherIndex, 7u); }
      if (auto* k = dynamic_cast<COneClickFile*>(old.get())) { EXPECT_EQ(k->m_oneClickRecord.Signers().GetCount(), 1u); }
    }
  }
}

// The encrypted file's own bytes with the codes of DES (0, 0, the flag, then the record's zero) read as a
// block length of 256, which fits: saved with the flag and no block, as the earlier writer did, and with a
// real block, the file loads with its own bytes.
TEST_F(FilesTest, EncryptedFileWithTheFlagAndDesCodes) {
  const std::string encrypted = std::string(1, '\0') + std::string(599, '\xA5');
  for (const char* block : {"", "enveloped content key"}) {
    SCOPED_TRACE(block);
    CFileManager manager;
    std::unique_ptr<CEncryptedTolvexBinaryFile> f(Make<CEncryptedTolvexBinaryFile>(manager, "KETV"));
    FillProtected(*f);
    f->m_nCipherIndex = 0;
    f->m_nKeySizeIndex = 0;
    f->m_bFlag = 1;
    f->m_encrypted = BufferOf(encrypted);
    f->m_extraBlock = BufferOf(block);
    std::string bytes = SaveBytes(f.get(), MakeTempDir() + "/des.etv");
    bytes[6 + 3] = 1;
    CByteBuffer image = BufferOf(bytes);
    std::unique_ptr<CBaseKesmoraFile> back(manager.OpenBuffer(image, true, nullptr));
    auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(back.get());
    ASSERT_TRUE(e);
    EXPECT_EQ(StringOf(e->m_extraBlock), block);
    EXPECT_EQ(e->m_nCipherIndex, 0u);
    EXPECT_EQ(e->m_bFlag, 1);
    EXPECT_TRUE(StringOf(e->m_encrypted).substr(0, encrypted.size()) == encrypted);
  }
}

TEST_F(FilesTest, ProtectedFileFieldsAfterLoad) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  FillProtected(*f);
  std::string path = MakeTempDir() + "/p.tvx";
  SaveBytes(f.get(), path);
  std::unique_ptr<CTolvexBinaryFile> back(dynamic_cast<CTolvexBinaryFile*>(manager.OpenFile(path.c_str())));
  ASSERT_TRUE(back);
  const PayloadInfo& info = back->m_info;
  EXPECT_STREQ(info.m_strText3, "preset description");
  EXPECT_EQ(info.m_bEncryptedContent, 1);
  EXPECT_STREQ(info.m_body.m_nested.m_astrText[3], "nested text");
  EXPECT_EQ(info.m_body.m_nested.m_bCipherIndex, 5);
  EXPECT_STREQ(info.m_body.m_head.m_strText4, "fourth");
  ASSERT_EQ(info.m_body.GetEntryCount(), 2u);
  PayloadEntry e;
  ASSERT_TRUE(info.m_body.GetEntry(0, e));
  EXPECT_STREQ(e.m_strText1, "first");
  ASSERT_EQ(e.m_buffers.GetCount(), 2u);
  EXPECT_EQ(StringOf(e.m_buffers.GetAt(1)), "detached signature 1");
  ASSERT_EQ(info.m_signing.m_list.GetCount(), 2u);
  EXPECT_STREQ(info.m_signing.m_list.m_first.GetAt(1).GetAnsi(), "Carol");
  EXPECT_EQ(StringOf(info.m_encryption.m_buffer), "enveloped content key");
  EXPECT_EQ(StringOf(back->m_extraBlock), "enveloped signee information");

  // Reading a plain file into the same object leaves nothing of the first.
  std::unique_ptr<CTolvexBinaryFile> plain(Make<CTolvexBinaryFile>(manager, "KXTV"));
  std::string plainPath = MakeTempDir("plain") + "/q.tvx";
  SaveBytes(plain.get(), plainPath);
  ASSERT_TRUE(back->Load(plainPath.c_str()));
  EXPECT_EQ(back->m_info.m_body.GetEntryCount(), 0u);
  EXPECT_EQ(back->m_info.m_signing.m_list.GetCount(), 0u);
  EXPECT_EQ(back->m_extraBlock.GetLength(), 0u);
  EXPECT_EQ(back->m_info.m_strText1.GetLength(), 0);
}

TEST_F(FilesTest, TextsFormatVersionAndEmptySigningBuffer) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  f->m_info.m_strText3 = std::string(300, 'z').c_str();
  // 254 ASCII bytes then a two-byte character: the character does not fit and is not split.
  f->m_info.m_strText1 = (std::string(254, 'a') + "\xC3\xA9").c_str();
  f->m_info.m_signing.m_bPresent = 1;  // with an empty buffer
  f->m_info.m_encryption.m_bPresent = 1;
  f->m_info.m_encryption.m_buffer = BufferOf("k");
  // Format version 2 from the current user's settings.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\Vorlind Intelligence", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD two = 2;
  RegSetValueExA(key, "TVX_FormatVersion", 0, REG_DWORD, reinterpret_cast<BYTE*>(&two), 4);
  RegCloseKey(key);
  std::string path = MakeTempDir() + "/t.tvx";
  std::string bytes = SaveBytes(f.get(), path);
  EXPECT_EQ(bytes.substr(21 + 510, 255), std::string(255, 'z'));
  EXPECT_EQ(bytes.substr(21, 255), std::string(254, 'a') + '\0');
  EXPECT_EQ(Hex(bytes.substr(21 + 765, 4)), "01000002");
  // The signing part's reader fails on its empty buffer, but the description is read after it: the file loads.
  std::unique_ptr<CTolvexBinaryFile> back(dynamic_cast<CTolvexBinaryFile*>(manager.OpenFile(path.c_str())));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->m_info.m_abFormat[3], 2);
  EXPECT_EQ(back->m_info.m_signing.m_bPresent, 1);
}

// Lists whose one-byte count would wrap are refused.
TEST_F(FilesTest, OverlongListsRefused) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  f->m_info.m_signing.m_bPresent = 1;
  f->m_info.m_signing.m_buffer = BufferOf("s");
  PayloadEntry e;
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(f->m_info.m_body.AddEntry(e));
  std::string path = dir + "/records.tvx";
  std::string good = SaveBytes(f.get(), path);
  ASSERT_TRUE(f->m_info.m_body.AddEntry(e));
  // The failed save leaves the good file as it was, and nothing beside it.
  EXPECT_FALSE(f->Save(path.c_str()));
  EXPECT_EQ(f->GetLastResult(), E_FAIL);
  EXPECT_EQ(ReadFile(path), good);
  std::string listing;
  kxtest::Run("ls '" + dir + "'", &listing);
  EXPECT_EQ(listing, "records.tvx\n");

  std::unique_ptr<COneClickFile> c(Make<COneClickFile>(manager, "KCLK"));
  for (int i = 0; i < 256; ++i) c->m_oneClickRecord.Signers().Add(BufferOf("cert"));
  EXPECT_FALSE(c->Save((dir + "/p.clk").c_str()));
  CByteBuffer out;
  EXPECT_FALSE(c->m_oneClickRecord.Serialize(out));
}

// A save goes through a temporary file: a target that cannot be replaced keeps its bytes, and the temporary
// file goes away.
TEST_F(FilesTest, SaveReplacesOrKeepsTheTarget) {
  CFileManager manager;
  std::string dir = MakeTempDir();
  std::string path = dir + "/kept.alf";
  std::unique_ptr<CAuditLogFile> log(Make<CAuditLogFile>(manager, "KALF"));
  std::string empty = SaveBytes(log.get(), path);
  log->m_entries.Add(CAuditLogEntry("op", "now", "Information", "one"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(log->Save(path.c_str()));
  EXPECT_EQ(ReadFile(path), empty);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  std::string one = SaveBytes(log.get(), path);
  EXPECT_EQ(one.size(), empty.size() + 1584);
  std::string listing;
  kxtest::Run("ls '" + dir + "'", &listing);
  EXPECT_EQ(listing, "kept.alf\n");
  // A folder that does not exist: nothing is written anywhere.
  EXPECT_FALSE(log->Save((dir + "/missing/x.alf").c_str()));
}

// The digest covers the payload only, and equals SHA-1 of the bytes between header and digest.
TEST_F(FilesTest, DigestCoversPayloadOnly) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  FillProtected(*f);
  std::string dir = MakeTempDir();
  std::string path = dir + "/d.tvx";
  std::string bytes = SaveBytes(f.get(), path);
  std::string computed, stored;
  ASSERT_EQ(kxtest::Run("tail -c +22 '" + path + "' | head -c -20 | sha1sum | cut -c1-40", &computed), 0);
  ASSERT_EQ(kxtest::Run("tail -c 20 '" + path + "' | od -An -tx1 | tr -d ' \\n'", &stored), 0);
  EXPECT_EQ(computed.substr(0, 40), stored);
  EXPECT_EQ(stored, Hex(bytes.substr(bytes.size() - 20)));

  auto check = [&](size_t offset) {
    std::string changed = bytes;
    changed[offset] ^= 0x01;
    std::string p = dir + "/changed.tvx";
    WriteFile(p, changed);
    std::unique_ptr<CBaseKesmoraFile> back(manager.OpenFile(p.c_str()));
    CByteBuffer digest;
    return back && back->ComputeDigest(digest, true, 0);
  };
  EXPECT_TRUE(check(10));    // an option byte of the header
  EXPECT_TRUE(check(15));    // the year
  EXPECT_FALSE(check(21));   // the first byte of text 1
  EXPECT_FALSE(check(bytes.size() - 30));
}

// DER certificates inside a preset parse with openssl.
TEST_F(FilesTest, PresetCertificatesAreDer) {
  CFileManager manager;
  std::unique_ptr<COneClickFile> c(Make<COneClickFile>(manager, "KCLK"));
  CCertificateList recipients, signers;
  CCapicomCertificate encrypt, signer;
  ASSERT_EQ(encrypt.ImportFromBuffer(BufferOf(pki::DerBytes("encrypt"))), S_OK);
  ASSERT_EQ(signer.ImportFromBuffer(BufferOf(pki::DerBytes("signer"))), S_OK);
  recipients.Add(encrypt);
  signers.Add(signer);
  ASSERT_TRUE(c->m_oneClickRecord.SetRecipientCertificates(recipients));
  ASSERT_TRUE(c->m_oneClickRecord.SetSignerCertificates(signers));
  std::string dir = MakeTempDir();
  std::string bytes = SaveBytes(c.get(), dir + "/p.clk");
  // The record follows the protected payload: count, three zeros, length, certificate.
  size_t record = 21 + c->GetEndOffset();
  ASSERT_EQ(static_cast<unsigned char>(bytes[record]), 1);
  uint32_t length = WordAt(bytes, record + 4);
  WriteFile(dir + "/r.der", bytes.substr(record + 8, length));
  size_t second = record + 8 + length;
  ASSERT_EQ(static_cast<unsigned char>(bytes[second]), 1);
  WriteFile(dir + "/s.der", bytes.substr(second + 8, WordAt(bytes, second + 4)));
  EXPECT_EQ(second + 8 + WordAt(bytes, second + 4) + 20, bytes.size());
  std::string text;
  ASSERT_EQ(kxtest::Run("openssl x509 -inform DER -in '" + dir + "/r.der' -noout -email", &text), 0);
  EXPECT_NE(text.find("bob@example.com"), std::string::npos);
  ASSERT_EQ(kxtest::Run("openssl x509 -inform DER -in '" + dir + "/s.der' -noout -email", &text), 0);
  EXPECT_NE(text.find("alice@example.com"), std::string::npos);

  // Read back: both lists decode into engine certificates; an undecodable one is skipped.
  std::unique_ptr<COneClickFile> back(dynamic_cast<COneClickFile*>(manager.OpenFile((dir + "/p.clk").c_str())));
  ASSERT_TRUE(back);
  back->m_oneClickRecord.Signers().Add(BufferOf("not a certificate"));
  CCertificateList got;
  got.Add(encrypt);  // emptied first
  ASSERT_TRUE(back->m_oneClickRecord.GetSignerCertificates(got));
  ASSERT_EQ(got.GetCount(), 1);
  EXPECT_TRUE(got.GetAt(0).IsEqual(signer));
  EXPECT_TRUE(back->m_oneClickRecord.HasRecipient(encrypt));
  EXPECT_FALSE(back->m_oneClickRecord.HasRecipient(signer));
}

TEST_F(FilesTest, SignerInMyStore) {
  COneClickRecord record;
  EXPECT_TRUE(record.IsSignerInMyStore());  // no signer at all
  std::string pfx = pki::MakePfx("signer", "pw", false, MakeTempDir() + "/s.pfx");
  CCapicomCertificate withKey;
  ASSERT_EQ(withKey.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
  ASSERT_TRUE(record.AddCertificate(withKey, true));
  EXPECT_FALSE(record.IsSignerInMyStore());  // not in the store yet
  CCapicomStore store;
  ASSERT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(store.Add(withKey), S_OK);
  EXPECT_TRUE(record.IsSignerInMyStore());
  CCapicomCertificate other;
  ASSERT_EQ(other.ImportFromBuffer(BufferOf(pki::DerBytes("encrypt"))), S_OK);
  ASSERT_EQ(store.Add(other), S_OK);  // in the store, but without its key
  ASSERT_TRUE(record.AddCertificate(other, true));
  EXPECT_FALSE(record.IsSignerInMyStore());
  // A signer that does not decode is not in the store: alone, or beside one that is.
  COneClickRecord garbage;
  garbage.Signers().Add(BufferOf("not a certificate"));
  EXPECT_FALSE(garbage.IsSignerInMyStore());
  COneClickRecord mixed;
  ASSERT_TRUE(mixed.AddCertificate(withKey, true));
  EXPECT_TRUE(mixed.IsSignerInMyStore());
  mixed.Signers().Add(BufferOf("not a certificate"));
  EXPECT_FALSE(mixed.IsSignerInMyStore());
}

namespace {

CCapicomCertificate CertOfDer(const std::string& der) {
  CCapicomCertificate c;
  EXPECT_EQ(c.ImportFromBuffer(BufferOf(der)), S_OK);
  return c;
}

void AddToUserStore(const char* name, const CCapicomCertificate& certificate) {
  CCapicomStore store;
  ASSERT_EQ(store.Open(CAPICOM_CURRENT_USER_STORE, name, CAPICOM_STORE_OPEN_READ_WRITE), S_OK) << name;
  ASSERT_EQ(store.Add(certificate), S_OK) << name;
}

// The fixture's signer with its private key, as the user holds it.
CCapicomCertificate SignerWithKey() {
  std::string pfx = pki::MakePfx("signer", "pw", false, MakeTempDir("pfx") + "/s.pfx");
  CCapicomCertificate c;
  EXPECT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
  return c;
}

std::vector<std::string> Encoded(const CByteBufferList& list) {
  std::vector<std::string> out;
  for (DWORD i = 0; i < list.GetCount(); ++i) out.push_back(StringOf(list.GetAt(i)));
  return out;
}

}  // namespace

// Adding by e-mail: signers come from the user's own store, recipients from the address book.
TEST_F(FilesTest, PresetCertificateAddedByMail) {
  COneClickRecord record;
  EXPECT_FALSE(record.AddCertificateByMail("alice@example.com", true));  // empty stores
  AddToUserStore("My", SignerWithKey());
  AddToUserStore("AddressBook", CertOfDer(pki::DerBytes("encrypt")));
  EXPECT_TRUE(record.AddCertificateByMail("Alice@Example.com", true));
  EXPECT_TRUE(record.AddCertificateByMail("BOB@example.com", false));
  EXPECT_FALSE(record.AddCertificateByMail("alice@example.com", false));  // not in the address book
  EXPECT_FALSE(record.AddCertificateByMail("bob@example.com", true));     // not the user's own
  EXPECT_FALSE(record.AddCertificateByMail("nobody@example.com", false));
  EXPECT_FALSE(record.AddCertificateByMail(nullptr, true));
  EXPECT_EQ(Encoded(record.Signers()), std::vector<std::string>{pki::DerBytes("signer")});
  EXPECT_EQ(Encoded(record.Recipients()), std::vector<std::string>{pki::DerBytes("encrypt")});
}

TEST_F(FilesTest, PresetListsTestedByMail) {
  // A second certificate of Alice's address that the user does not hold.
  std::string dir = MakeTempDir("second");
  ASSERT_EQ(kxtest::Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30"
                        " -subj '/CN=Alice Second/emailAddress=alice@example.com'"
                        " -addext subjectAltName=email:alice@example.com -keyout '" + dir + "/k.pem'"
                        " -outform DER -out '" + dir + "/c.der' 2>/dev/null"),
            0);
  COneClickRecord record;
  ASSERT_TRUE(record.AddCertificate(CertOfDer(ReadFile(dir + "/c.der")), true));
  ASSERT_TRUE(record.AddCertificate(CertOfDer(pki::DerBytes("encrypt")), false));
  record.Signers().Add(BufferOf("not a certificate"));  // skipped
  EXPECT_FALSE(record.HasSignerWithMail("alice@example.com"));
  EXPECT_FALSE(record.HasRecipientWithMail("bob@example.com"));  // the address book does not know Bob

  AddToUserStore("AddressBook", CertOfDer(pki::DerBytes("encrypt")));
  EXPECT_TRUE(record.HasRecipientWithMail("Bob@Example.COM"));
  EXPECT_FALSE(record.HasRecipientWithMail("alice@example.com"));
  EXPECT_FALSE(record.HasRecipientWithMail(nullptr));

  // The user holds Alice's fixture certificate with its key, but the list's Alice is the other one.
  AddToUserStore("My", SignerWithKey());
  EXPECT_FALSE(record.HasSignerWithMail("alice@example.com"));
  ASSERT_TRUE(record.AddCertificate(CertOfDer(pki::DerBytes("signer")), true));
  EXPECT_TRUE(record.HasSignerWithMail("ALICE@example.com"));
  EXPECT_FALSE(record.HasSignerWithMail("bob@example.com"));
  // In the user's store and in the list, but without its private key.
  AddToUserStore("My", CertOfDer(pki::DerBytes("revoked")));
  ASSERT_TRUE(record.AddCertificate(CertOfDer(pki::DerBytes("revoked")), true));
  EXPECT_FALSE(record.HasSignerWithMail("dave@example.com"));
}
