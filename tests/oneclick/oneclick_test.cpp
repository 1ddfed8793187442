#include "oneclick/oneclick_test.h"

#include <memory>

#include "core/SettingsStore.h"
#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "platform/win32/registry.h"
#include "signing/ProtectWizardData.h"

namespace oneclicktest {

void OneClickTest::SetUp() {
  SigningTest::SetUp();
  m_presets = kxtest::MakeTempDir("presets");
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", m_presets.c_str()));
}

std::string OneClickTest::SavePreset(const PresetSpec& spec, const std::string& name) {
  CProtectWizardData data;
  data.m_nMode = spec.kind;
  data.m_strPresetName = spec.description.c_str();
  data.m_nCipher = spec.cipher;
  data.m_nKeyLength = spec.keyLength;
  for (const std::string& s : spec.signers) data.AddSignerCertificate(Cert(s));
  for (const std::string& r : spec.recipients) data.AddRecipientCertificate(Cert(r));
  CFileManager files;
  std::unique_ptr<CBaseKesmoraFile> object(files.CreateFileObject("KCLK"));
  auto* preset = dynamic_cast<COneClickFile*>(object.get());
  EXPECT_NE(preset, nullptr);
  if (!preset) return "";
  EXPECT_TRUE(kx::oneclick::FillPreset(*preset, data));
  const std::string path = m_presets + "/" + name;
  EXPECT_TRUE(preset->Save(path.c_str())) << path;
  return path;
}

std::string OneClickTest::DecryptThroughReader(const std::string& path, bool* ok) {
  std::string plain = kxtest::MakeTempDir("plain");
  auto sheet = NewSheet(4, {path}, plain);
  Run(*sheet, DecryptVerifyThreadProc);
  std::vector<std::string> outputs = Outputs(*sheet);
  *ok = outputs.size() == 1 && outputs[0] != "Error";
  return *ok ? kxtest::ReadFile(outputs[0]) : std::string();
}

std::string OneClickTest::OpensslEcbDecrypt(const std::string& cipher, const std::string& keyHex,
                                            const std::string& bytes) {
  std::string in = File("cipher.bin", bytes), out = m_dir + "/plain.bin", text;
  const std::string providers = cipher.rfind("bf", 0) == 0 ? " -provider legacy -provider default" : "";
  EXPECT_EQ(Openssl("enc -d -" + cipher + " -nopad -K " + keyHex + " -in '" + in + "' -out '" + out + "'" + providers,
                    &text),
            0)
      << text;
  return kxtest::ReadFile(out);
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace oneclicktest
