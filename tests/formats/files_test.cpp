// The files of the family: byte layouts and sizes, round trips, the digest, and hostile images.
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
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "support/pki.h"

using namespace kxtest;

namespace {

using FilesTest = FormatsTest;

PayloadEntry SampleEntry(const char* name, int buffers) {
  PayloadEntry e;
  e.m_head.m_strText2 = "head two";
  e.m_head.m_bFlag = 0;
  e.m_bFlag = 1;
  e.m_strText1 = name;
  e.m_buffer1 = BufferOf("KSGR signature image bytes");
  e.m_strText2 = "legal statement";
  e.m_strText5 = "fifth";
  e.m_buffer2 = BufferOf(std::string(700, 'x'));
  for (int i = 0; i < buffers; ++i) e.m_buffers.Add(BufferOf("detached signature " + std::to_string(i)));
  return e;
}

// A protected file with every part filled.
void FillProtected(CTolvexBinaryFileBase& f) {
  f.m_info.m_strText1 = "report.pdf";
  f.m_info.m_strText2 = "second text";
  f.m_info.m_strText3 = "preset description";
  f.m_info.m_bEncryptedContent = 1;
  PayloadBody& body = f.m_info.m_body;
  body.m_abFlags[0] = 1;
  body.m_abFlags[2] = 1;
  body.m_nested.m_astrText[3] = "nested text";
  body.m_nested.m_bCipherIndex = 5;
  body.m_nested.m_bKeyLengthIndex = 3;
  body.m_head.m_strText4 = "fourth";
  ASSERT_TRUE(body.AddEntry(SampleEntry("first", 2)));
  ASSERT_TRUE(body.AddEntry(SampleEntry("second", 0)));
  f.m_info.m_signing.m_bPresent = 1;
  f.m_info.m_signing.m_list.Add("Alice", "Issuing CA", "2030-01-01");
  f.m_info.m_signing.m_list.Add("Carol", "Issuing CA", "2031-01-01");
  f.m_info.m_signing.m_bSecondFlag = 1;
  f.m_info.m_signing.m_buffer = BufferOf("signed content");
  f.m_info.m_encryption.m_bPresent = 1;
  f.m_info.m_encryption.m_bSecondFlag = 1;
  f.m_info.m_encryption.m_list.Add("Bob", "Issuing CA", "2029-12-31");
  f.m_info.m_encryption.m_bThirdFlag = 1;
  f.m_info.m_encryption.m_buffer = BufferOf("enveloped content key");
  f.SetExtraBlockFlag(1);
  f.m_extraBlock = BufferOf("enveloped signee information");
  f.SetOptionValue(0x1234);
}

std::string SaveBytes(CBaseKesmoraFile* f, const std::string& path) {
  EXPECT_TRUE(f->Save(path.c_str())) << path;
  return ReadFile(path);
}

struct Kind {
  const char* marker;
  const char* extension;
  std::function<void(CBaseKesmoraFile*)> fill;
};

const Kind kKinds[] = {
    {"KXTV", "tvx", [](CBaseKesmoraFile* f) { FillProtected(*dynamic_cast<CTolvexBinaryFile*>(f)); }},
    {"KETV", "etv",
     [](CBaseKesmoraFile* f) {
       auto* e = dynamic_cast<CEncryptedTolvexBinaryFile*>(f);
       FillProtected(*e);
       e->m_nCipherIndex = 7;
       e->m_nKeySizeIndex = 255;
       e->m_bFlag = 1;
       e->m_encrypted = BufferOf(std::string(48, '\xA5'));
     }},
    {"KCLK", "clk",
     [](CBaseKesmoraFile* f) {
       auto* c = dynamic_cast<COneClickFile*>(f);
       FillProtected(*c);
       c->m_oneClickRecord.Recipients().Add(BufferOf(pki::DerBytes("encrypt")));
       c->m_oneClickRecord.Signers().Add(BufferOf(pki::DerBytes("signer")));
     }},
    {"KSGR", "sgr",
     [](CBaseKesmoraFile* f) {
       auto* s = dynamic_cast<CSignatureFile*>(f);
       s->SetTextA("Alice");
       s->SetTextB("alice@example.com");
       s->m_bFlag = 1;
       s->SetTextC("c");
       s->SetTextE("e");
       s->m_image = BufferOf(std::string(333, '\x42'));
     }},
    {"KALF", "alf",
     [](CBaseKesmoraFile* f) {
       auto* a = dynamic_cast<CAuditLogFile*>(f);
       a->m_entries.Add(CAuditLogEntry("Encrypt Operation", "1/2/2024 3:04:05 PM", "Information", "done"));
       a->m_entries.Add(CAuditLogEntry("Signer Wizard Fatal", "1/2/2024 3:04:06 PM", "Fatal Error", "failed"));
     }},
};

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

// Every cut of a whole file, and lengths that point past the end, are refused without reading past the image.
TEST_F(FilesTest, TruncatedAndOversizedImagesRefused) {
  std::string dir = MakeTempDir();
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.marker);
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    kind.fill(f.get());
    CByteBuffer image;
    ASSERT_TRUE(f->SaveToBuffer(image));
    std::string whole = StringOf(image);
    for (size_t cut = 0; cut < whole.size(); cut += (cut < 64 || whole.size() - cut < 64) ? 1 : 97) {
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(whole.substr(0, cut)), true, nullptr));
      EXPECT_FALSE(o) << "cut at " << cut;
    }
    // A cut file on disk fails to load as well.
    std::string path = dir + "/cut." + kind.extension;
    WriteFile(path, whole.substr(0, whole.size() - 1));
    EXPECT_FALSE(std::unique_ptr<CBaseKesmoraFile>(manager.OpenFile(path.c_str())));
    WriteFile(path, whole);
    EXPECT_TRUE(std::unique_ptr<CBaseKesmoraFile>(manager.OpenFile(path.c_str())));
  }

  // Length words set to huge values, one at a time, in each kind's own fields.
  CFileManager manager;
  auto refused = [&](const char* marker, const std::function<void(CBaseKesmoraFile*)>& fill, size_t offset) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(marker));
    fill(f.get());
    CByteBuffer image;
    f->SaveToBuffer(image);
    std::string bytes = StringOf(image);
    for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, uint32_t(bytes.size())}) {
      std::string bad = bytes;
      PutWord(bad, offset, v);
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), true, nullptr));
      if (o) return false;
    }
    return true;
  };
  auto tvx = kKinds[0].fill;
  size_t l1 = 21 + 770;
  EXPECT_TRUE(refused("KXTV", tvx, l1));                                             // L1
  EXPECT_TRUE(refused("KSGR", kKinds[3].fill, 21 + 866));                            // image length
  EXPECT_TRUE(refused("KALF", kKinds[4].fill, 21));                                  // entry count
  EXPECT_TRUE(refused("KCLK", [](CBaseKesmoraFile* f) {
    dynamic_cast<COneClickFile*>(f)->m_oneClickRecord.Recipients().Add(BufferOf("abc"));
  }, 4220 - 20 + 4));                                                                 // certificate length
  // L2 and L3 and the first record's buffer length inside a filled protected file.
  std::unique_ptr<CTolvexBinaryFile> full(Make<CTolvexBinaryFile>(manager, "KXTV"));
  FillProtected(*full);
  CByteBuffer image;
  full->SaveToBuffer(image);
  std::string bytes = StringOf(image);
  uint32_t L1 = WordAt(bytes, l1);
  size_t l2 = l1 + 4 + L1;
  size_t l3 = l2 + 4 + WordAt(bytes, l2);
  size_t e = l3 + 4 + WordAt(bytes, l3);
  size_t firstRecordB1 = l1 + 4 + 3397 + 4 + 4 + 2610;
  for (size_t offset : {l2, l3, e, firstRecordB1}) {
    std::string bad = bytes;
    PutWord(bad, offset, 0xFFFFFFF0u);
    std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), true, nullptr));
    EXPECT_FALSE(o && offset != firstRecordB1) << offset;
    if (o && offset == firstRecordB1) {
      // The record list is carried as bytes; the bad record itself is refused when it is parsed.
      PayloadEntry entry;
      EXPECT_FALSE(dynamic_cast<CTolvexBinaryFile*>(o.get())->m_info.m_body.GetEntry(0, entry));
    }
  }
}

// Images shorter than a header, and the cases where nothing is left for the payload.
TEST_F(FilesTest, ShortImages) {
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFile> f(Make<CTolvexBinaryFile>(manager, "KXTV"));
  f->SetImage(BufferOf(std::string(20, 'K')));
  EXPECT_FALSE(f->ParseHeader());
  EXPECT_FALSE(f->ExtractBody());
  f->SetImage(BufferOf("KXTV" + std::string(17, '\0')));
  EXPECT_TRUE(f->ParseHeader());
  EXPECT_TRUE(f->ExtractBody());
  EXPECT_FALSE(f->Deserialize(1));
  // A file of only a header and a zero count: the non-empty load stops early.
  std::string dir = MakeTempDir();
  std::string path = dir + "/zero.alf";
  WriteFile(path, "KALF" + std::string(17, '\0') + std::string(4, '\0') + std::string(20, '\0'));
  std::unique_ptr<CBaseKesmoraFile> log(manager.CreateFileObject("KALF"));
  EXPECT_FALSE(log->LoadNonEmpty(path.c_str()));
  // A count that asks for more bytes than the file holds fails before anything is allocated for it.
  WriteFile(path, "KALF" + std::string(17, '\0') + "\xff\xff\xff\xf0" + std::string(20, '\0'));
  EXPECT_FALSE(log->LoadNonEmpty(path.c_str()));
}

// An encrypted protected file's bytes have no length of their own: a cut or changed one fails its digest.
TEST_F(FilesTest, EncryptedFileNeedsItsDigest) {
  CFileManager manager;
  std::unique_ptr<CEncryptedTolvexBinaryFile> f(Make<CEncryptedTolvexBinaryFile>(manager, "KETV"));
  f->m_encrypted = BufferOf(std::string(32, '\0'));
  CByteBuffer image;
  ASSERT_TRUE(f->SaveToBuffer(image));
  std::string bytes = StringOf(image);
  EXPECT_TRUE(std::unique_ptr<CBaseKesmoraFile>(manager.OpenBuffer(image, true, nullptr)));
  std::string changed = bytes;
  changed[bytes.size() - 30] ^= 1;
  EXPECT_FALSE(std::unique_ptr<CBaseKesmoraFile>(manager.OpenBuffer(BufferOf(changed), true, nullptr)));
  EXPECT_FALSE(std::unique_ptr<CBaseKesmoraFile>(
      manager.OpenBuffer(BufferOf(bytes.substr(0, bytes.size() - 7)), true, nullptr)));
}

// Random damage to every kind of file: whatever opens, and whatever its records parse to, nothing reads past
// the image (run under the address sanitizer to see it).
TEST_F(FilesTest, RandomDamageStaysInsideTheImage) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  CFileManager manager;
  for (const Kind& kind : kKinds) {
    std::unique_ptr<CBaseKesmoraFile> f(manager.CreateFileObject(kind.marker));
    kind.fill(f.get());
    CByteBuffer image;
    ASSERT_TRUE(f->SaveToBuffer(image));
    std::string whole = StringOf(image);
    for (int i = 0; i < 400; ++i) {
      std::string bad = whole;
      for (int k = 0; k < 3; ++k) {
        size_t at = 21 + next() % (bad.size() - 25);
        static const uint32_t values[] = {0, 1, 0xFF, 0x7FFFFFFF, 0xFFFFFFFF, 5180, 4096};
        PutWord(bad, at, (next() & 1) ? values[next() % 7] : next());
      }
      bad.resize(bad.size() - next() % 3);
      std::unique_ptr<CBaseKesmoraFile> o(manager.OpenBuffer(BufferOf(bad), false, nullptr));
      if (auto* p = dynamic_cast<CTolvexBinaryFileBase*>(o.get())) {
        PayloadEntry entry;
        for (DWORD e = 0; e < p->m_info.m_body.GetEntryCount(); ++e) p->m_info.m_body.GetEntry(e, entry);
      }
      manager.Reset();
    }
  }
}
