#include "archwiz/archwiz_fixture.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

#include "archives/ArchivePages.h"
#include "archives/PackagePages.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/services/mapi.h"
#include "platform/ui/prsht.h"
#include "support/pki.h"
#include "support/wizard.h"

namespace archwiz {

void ArchWizTest::SetUp() {
  // Zip times are local times: the same everywhere the tests run.
  setenv("TZ", "UTC", 1);
  tzset();
  CertSelTest::SetUp();
  m_work = kxtest::MakeTempDir("archwiz");
  kx::archives::PackageWorkerPause() = 0;
  kx::ClearMailRequests();
}

void ArchWizTest::TearDown() { CertSelTest::TearDown(); }

std::string ArchWizTest::WritePreset(const std::string& name, BYTE kind, const std::vector<CCapicomCertificate>& signers,
                                     const std::vector<CCapicomCertificate>& recipients) {
  CFileManager manager;
  std::unique_ptr<COneClickFile> preset(dynamic_cast<COneClickFile*>(manager.CreateFileObject("KCLK")));
  EXPECT_TRUE(preset);
  if (!preset) return "";
  preset->m_info.m_strText3 = name.c_str();
  preset->m_info.m_body.m_nested.m_bCipherIndex = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  preset->m_info.m_body.m_nested.m_bKeyLengthIndex = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
  const BYTE options[8] = {kind, 0, 0, 0, 0, 0, 0, 1};
  const DWORD length = sizeof options;
  preset->SetOptions(options, length);
  CCertificateList signerList, recipientList;
  for (const CCapicomCertificate& c : signers) signerList.Add(c);
  for (const CCapicomCertificate& c : recipients) recipientList.Add(c);
  EXPECT_TRUE(preset->m_oneClickRecord.SetSignerCertificates(signerList));
  EXPECT_TRUE(preset->m_oneClickRecord.SetRecipientCertificates(recipientList));
  const std::string path = m_work + "/" + name + ".clk";
  EXPECT_TRUE(preset->Save(path.c_str()));
  return path;
}

void ArchWizTest::WriteTree(const std::string& folder, const Files& files) {
  for (const auto& [name, bytes] : files) {
    const std::string path = folder + "/" + name;
    for (size_t slash = path.find('/', folder.size() + 1); slash != std::string::npos; slash = path.find('/', slash + 1))
      mkdir(path.substr(0, slash).c_str(), 0755);
    kxtest::WriteFile(path, bytes);
  }
}

Files ArchWizTest::ReadTree(const std::string& folder) {
  Files files;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    const std::string dir = relative.empty() ? folder : folder + "/" + relative;
    DIR* d = opendir(dir.c_str());
    if (!d) continue;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string rel = relative.empty() ? name : relative + "/" + name;
      struct stat st {};
      if (stat((folder + "/" + rel).c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) pending.push_back(rel);
      else files[rel] = kxtest::ReadFile(folder + "/" + rel);
    }
    closedir(d);
  }
  return files;
}

ProtectedFile ArchWizTest::ReadProtected(const std::string& path) {
  ProtectedFile result;
  CFileManager manager;
  std::unique_ptr<CFileStream> stream(manager.OpenStream(path.c_str()));
  if (!stream || !stream->IsOpen()) return result;
  result.object.reset(dynamic_cast<CTolvexBinaryFileBase*>(stream->ReadFileObject()));
  CByteBuffer block;
  while (stream->ReadUInt32Block(block))
    result.blocks.emplace_back(reinterpret_cast<const char*>(block.GetData()), block.GetLength());
  return result;
}

int ArchWizTest::Sh(const std::string& command, std::string* out) { return kxtest::Run(command + " 2>&1", out); }

void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }

void Back(kx::UiDriver& d, HWND sheet) { kxtest::PressWizardButton(d, sheet, ID_WIZBACK); }

void WaitForButton(kx::UiDriver& d, HWND sheet, int id) { kxtest::WizardButton(d, sheet, id); }

void TakeArchivePreset(kx::UiDriver& d, HWND page, const std::string& path) {
  d.Invoke(page, [&] {
    auto* p = dynamic_cast<CArchiveSelPage*>(CWnd::FromHandlePermanent(page));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->TakePreset(path.c_str()));
  });
}

void TakePackagePreset(kx::UiDriver& d, HWND page, const std::string& path) {
  d.Invoke(page, [&] {
    auto* p = dynamic_cast<PkgInfoPage*>(CWnd::FromHandlePermanent(page));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->TakePreset(path.c_str()));
  });
}

std::string Shot(const char* name) { return frametest::Shot(name); }

}  // namespace archwiz
