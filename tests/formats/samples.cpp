#include "formats/samples.h"

#include <memory>

#include "formats/AuditLogFile.h"
#include "formats/FileStream.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "formats/formats_test.h"
#include "support/pki.h"

namespace kxtest {

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

const Kind kKinds[kKindCount] = {
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

std::string WriteStream(CFileManager& manager, const std::string& path, const std::vector<std::string>& blocks) {
  std::unique_ptr<CFileStream> out(manager.CreateStream(path.c_str()));
  EXPECT_TRUE(out && out->IsOpen());
  for (const std::string& b : blocks) EXPECT_TRUE(out->WriteUInt32Block(BufferOf(b)));
  std::unique_ptr<CTolvexBinaryFile> object(Make<CTolvexBinaryFile>(manager, "KXTV"));
  object->m_info.m_strText1 = "large.bin";
  EXPECT_TRUE(out->WriteFileObject(object.get()));
  CByteBuffer image;
  object->SaveToBuffer(image);
  return StringOf(image);
}

}  // namespace kxtest
