#include "signing/signing_test.h"

#include "core/SystemProfile.h"
#include "formats/AuditLog.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/registry.h"
#include "support/pki.h"

namespace signtest {

void SigningTest::SetUp() {
  CertSelTest::SetUp();
  // The fixture's chain trusted and its revocation lists stored: its recipients pass the validity verdict.
  TrustFixture();
  AddFixtureCrls();
  kx::signing::Pauses() = {0, 0, 61000};
}

void SigningTest::TearDown() {
  kx::signing::Pauses() = m_savedPauses;
  CertSelTest::TearDown();
}

std::unique_ptr<CSignSheet> SigningTest::NewSheet(int mode, const std::vector<std::string>& files,
                                                  const std::string& folder) {
  auto sheet = std::make_unique<CSignSheet>("Signer Wizard", nullptr, 0);
  CProtectWizardData& data = sheet->m_WizardData;
  for (const std::string& f : files) data.m_arrInputFiles.Add(f.c_str());
  data.m_strOutputFolder = folder.c_str();
  data.m_nMode = mode;
  data.m_pEngineObjects = new CCapicomObjectSet;
  return sheet;
}

CCapicomCertificate SigningTest::MakeId(const std::string& name, const std::string& cn, const std::string& issuer,
                                       const std::string& key, const std::string& digest) {
  auto q = [](const std::string& s) { return "'" + s + "'"; };
  const std::string base = m_dir + "/" + name;
  std::string command;
  if (issuer == "self") {
    command = "openssl req -x509 -newkey " + key + " -nodes -days 30 -subj '/CN=" + cn +
              "' -addext keyUsage=critical,digitalSignature -keyout " + q(base + ".key") + " -out " + q(base + ".pem");
  } else {
    std::string ca = kxtest::pki::Pem("inter"), caKey = kxtest::pki::Key("inter");
    if (issuer == "other") {
      ca = m_dir + "/other-ca.pem";
      caKey = m_dir + "/other-ca.key";
      command = "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Other CA' -addext "
                "basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign -keyout " +
                q(caKey) + " -out " + q(ca) + " && ";
    }
    kxtest::WriteFile(base + ".ext", "keyUsage=critical,digitalSignature\n");
    command += "openssl req -new -newkey " + key + " -nodes -subj '/CN=" + cn + "' -keyout " + q(base + ".key") +
               " -out " + q(base + ".csr") + " && openssl x509 -req -" + digest + " -in " + q(base + ".csr") +
               " -CA " + q(ca) + " -CAkey " + q(caKey) + " -set_serial 0x" + std::to_string(60 + name.size()) +
               " -days 30 -extfile " + q(base + ".ext") + " -out " + q(base + ".pem");
  }
  command += " && openssl pkcs12 -export -in " + q(base + ".pem") + " -inkey " + q(base + ".key") + " -out " +
             q(base + ".pfx") + " -passout pass:pw";
  std::string out;
  EXPECT_EQ(kxtest::Run("(" + command + ") 2>&1", &out), 0) << out;
  return AddPfx(base + ".pfx");
}

UINT SigningTest::Run(CSignSheet& sheet, UINT (*proc)(LPVOID)) { return proc(static_cast<CObject*>(&sheet)); }

std::vector<std::string> SigningTest::Outputs(CSignSheet& sheet) {
  std::vector<std::string> out;
  for (int i = 0; i < sheet.m_DecryptPage.m_arrOutputFiles.GetSize(); ++i)
    out.push_back(sheet.m_DecryptPage.m_arrOutputFiles[i].str());
  return out;
}

std::vector<std::string> SigningTest::Results(CSignSheet& sheet) {
  std::vector<std::string> out;
  for (int i = 0; i < sheet.m_DecryptPage.m_arrResults.GetSize(); ++i)
    out.push_back(sheet.m_DecryptPage.m_arrResults[i].str());
  return out;
}

ProtectedFile SigningTest::Read(const std::string& path) {
  ProtectedFile result;
  CFileManager files;
  std::unique_ptr<CFileStream> stream(files.OpenStream(path.c_str()));
  if (!stream || !stream->IsOpen()) return result;
  result.object.reset(dynamic_cast<CTolvexBinaryFile*>(stream->ReadFileObject()));
  if (!result.object) return result;
  CByteBuffer block;
  while (stream->ReadUInt32Block(block)) result.blocks.push_back(StringOf(block));
  result.ok = stream->GetPosition() == stream->GetTrailingOffset();
  return result;
}

void SigningTest::Rewrite(const std::string& path, const std::function<void(CTolvexBinaryFile&)>& edit,
                          const std::vector<std::string>* blocks) {
  ProtectedFile file = Read(path);
  ASSERT_TRUE(file.object) << path;
  edit(*file.object);
  CFileManager files;
  std::unique_ptr<CFileStream> out(files.CreateStream(path.c_str()));
  ASSERT_TRUE(out && out->IsOpen());
  for (const std::string& b : blocks ? *blocks : file.blocks) ASSERT_TRUE(out->WriteUInt32Block(BufferOf(b)));
  ASSERT_TRUE(out->WriteFileObject(file.object.get()));
}

void SigningTest::SetSetting(const char* section, const char* name, DWORD value) {
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteInt(section, name, value));
}

void SigningTest::StartAuditLog() {
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", kxtest::MakeTempDir("oneclick")));
}

std::vector<std::string> SigningTest::AuditEntries() {
  std::vector<std::string> out;
  CString path;
  if (!CAuditLog().GetLogFilePath(path)) return out;
  CFileManager manager;
  std::unique_ptr<CBaseKesmoraFile> file(manager.OpenFile(path));
  if (auto* log = dynamic_cast<CAuditLogFile*>(file.get()))
    for (DWORD i = 0; i < log->m_entries.GetCount(); ++i) {
      const CAuditLogEntry& e = log->m_entries.GetAt(i);
      out.push_back(e.GetOperation().str() + "|" + e.GetSeverity().str() + "|" + e.GetMessage().str());
    }
  return out;
}

void SigningTest::SetMemoryCache(int megabytes) {
  CSystemProfile profile;
  profile.Load();
  profile.MemoryCache = megabytes;
  ASSERT_TRUE(profile.Save());
}

std::string SigningTest::Content(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 7919) & 0xFF);
  return s;
}

std::string SigningTest::File(const std::string& name, const std::string& bytes) {
  std::string path = m_dir + "/" + name;
  kxtest::WriteFile(path, bytes);
  return path;
}

void SigningTest::VerifyWithOpenssl(const std::string& signature, const std::string& block, std::string* print) {
  auto q = [](const std::string& s) { return "'" + s + "'"; };
  std::string sig = File("sig.der", signature), content = File("block.bin", block);
  std::string text;
  EXPECT_EQ(Openssl("cms -verify -binary -inform DER -in " + q(sig) + " -content " + q(content) + " -CAfile " +
                        q(kxtest::pki::ChainPem()) + " -purpose any -out /dev/null",
                    &text),
            0)
      << text;
  EXPECT_NE(text.find("Verification successful"), std::string::npos) << text;
  if (print) Openssl("cms -cmsout -print -inform DER -in " + q(sig), print);
}

int SigningTest::Openssl(const std::string& args, std::string* out) {
  std::string text;
  int rc = kxtest::Run("openssl " + args + " 2>&1", &text);
  if (out) *out = text;
  return rc;
}

}  // namespace signtest
