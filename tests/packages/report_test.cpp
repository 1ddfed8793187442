// The operation report of a protected file's information block.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "archives/OperationReport.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/win32/modules.h"
#include "support/testroot.h"

namespace {

class Report : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static CBrinmoorApp app;
    if (!app.m_hResourceModule) app.m_hResourceModule = LoadLibrary((kxtest::BuildDir() + "/lib/KXRes.DLL").c_str());
    ASSERT_NE(app.m_hResourceModule, nullptr);
  }
  static std::string R(UINT id) {
    std::string text = static_cast<const char*>(LoadResString(id));
    EXPECT_FALSE(text.empty()) << id;
    return text;
  }
  static std::string Text(const CTolvexBinaryFileBase* file) {
    CString out = "stale";
    CString text = WriteOperationReport(out, file);
    EXPECT_EQ(std::string(out), std::string(text));
    return static_cast<const char*>(text);
  }
  std::unique_ptr<CTolvexBinaryFileBase> file{static_cast<CTolvexBinaryFileBase*>(CTolvexBinaryFile::CreateObject())};
};

const std::string kHead = "=========================================\r\n";
const std::string kRule = "==========================================\r\n";

TEST_F(Report, NullObjectGivesNothing) { EXPECT_EQ(Text(nullptr), ""); }

TEST_F(Report, SignedAndEncryptedListsSignersOnly) {
  PayloadInfo& info = file->m_info;
  info.m_body.m_abFlags[1] = 1;
  info.m_body.m_abFlags[5] = 1;
  info.m_body.m_nested.m_bCipherIndex = 3;
  info.m_body.m_nested.m_bKeyLengthIndex = 4;  // 192 bits, as the cipher page and the other reports name it
  info.m_signing.m_bPresent = 1;
  info.m_signing.m_list.Add("Alice", "Test CA", "2030-01-01");
  info.m_signing.m_list.Add("Bob", "Other CA", "2031-02-02");
  info.m_encryption.m_bPresent = 1;
  info.m_encryption.m_list.Add("Carol", "Test CA", "2029-03-03");
  // Signed and encrypted: signed before encryption, whatever the flag bytes say.
  const std::string expected = kHead + R(664) + "\r\n" + kHead + R(458) + " " + R(459) + "\r\n" + R(463) + " = " +
                               R(234) + "\r\n" + R(518) + "\r\n" + R(461) + ": Triple DES\r\n" + R(462) + ": 192 " +
                               R(429) + "\r\n" + R(466) + "\r\n" + R(467) + "\r\n" + kRule + R(522) + "\r\n" + kRule +
                               R(469) + ": Alice\r\n" + R(470) + ": Test CA\r\n" + R(471) + ": 2030-01-01\r\n\r\n" +
                               R(469) + ": Bob\r\n" + R(470) + ": Other CA\r\n" + R(471) + ": 2031-02-02\r\n\r\n";
  EXPECT_EQ(Text(file.get()), expected);
}

TEST_F(Report, EncryptedOnlyListsRecipients) {
  PayloadInfo& info = file->m_info;
  // The flag bytes a preset writes (and an archive made with it carries): no signature for all that.
  info.m_body.m_abFlags[1] = 1;
  info.m_body.m_abFlags[3] = 1;
  info.m_encryption.m_bPresent = 1;
  info.m_encryption.m_list.Add("Carol", "Test CA", "2029-03-03");
  const std::string recipients = kRule + R(524) + "\r\n" + kRule + R(469) + ": Carol\r\n" + R(472) + ": Test CA\r\n" +
                                 R(471) + ": 2029-03-03\r\n\r\n";
  const std::string top = kHead + R(664) + "\r\n" + kHead + R(458) + " " + R(460) + "\r\n" + R(463) + " = " + R(235) +
                          "\r\n" + R(518) + "\r\n";
  // Cipher and key-length lines appear only for the codes they name.
  struct {
    BYTE cipher, keyLength;
    std::string lines;
  } cases[] = {
      {0, 1, R(461) + ": RC2\r\n" + R(462) + ": 40 " + R(429) + "\r\n"},
      {4, 5, R(461) + ": AES\r\n" + R(462) + ": 256 " + R(429) + "\r\n"},
      {2, 0, R(461) + ": DES\r\n"},
      {5, 3, R(462) + ": 128 " + R(429) + "\r\n"},
      {0xFF, 6, ""},
  };
  for (const auto& c : cases) {
    info.m_body.m_nested.m_bCipherIndex = c.cipher;
    info.m_body.m_nested.m_bKeyLengthIndex = c.keyLength;
    EXPECT_EQ(Text(file.get()), top + c.lines + R(519) + "\r\n" + R(467) + "\r\n" + recipients)
        << int(c.cipher) << " " << int(c.keyLength);
  }
}

}  // namespace
