#include "certmgr/certmgr_fixture.h"

#include <sys/stat.h>

#include <sstream>

#include "app/SheetRegistry.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SettingsStore.h"
#include "platform/capicom/core/store.h"
#include "support/pki.h"

namespace certmgr_test {

INT_PTR CertMgrTest::RunSheet(const std::function<void(CCertSheet&)>& prepare,
                              const std::function<void(kx::UiDriver&, HWND)>& script,
                              const std::function<void(CCertSheet&)>& after, bool selectionSheet) {
  return kx::RunWithUiHere(
      [&] {
        std::unique_ptr<CBaseSheet> owner;
        CCertSheet* sheet = nullptr;
        if (selectionSheet) {
          sheet = new CCertSheet(nullptr, 1);
          owner.reset(sheet);
        } else {
          CFormsObjectProvider provider;
          CBaseSheet* made = nullptr;
          provider.CreateSheetByName("CCertSheet", nullptr, &made);
          owner.reset(made);
          sheet = dynamic_cast<CCertSheet*>(made);
        }
        if (!sheet) return INT_PTR(-2);
        sheet->m_bHosted = 0;
        sheet->SetTitle("Certificates");
        if (prepare) prepare(*sheet);
        INT_PTR result = sheet->DoModal();
        if (after) after(*sheet);
        return result;
      },
      [&](kx::UiDriver& d) { script(d, d.WaitForTitle("Certificates")); });
}

std::string CertMgrTest::SetOneClickFolder() {
  std::string folder = kxtest::MakeTempDir("oneclick");
  CHiveSettings settings;
  settings.UseCurrentUser();
  EXPECT_TRUE(settings.SetString("OneClickManager", "OneClickFolder", folder.c_str()));
  return folder;
}

void CertMgrTest::SetStrictPolicy(bool on) {
  CHiveSettings settings;
  settings.UseCurrentUser();
  EXPECT_TRUE(settings.SetDword("Config", "DoD_JICT", on ? 1 : 0));
}

DWORD CertMgrTest::StrictPolicy() {
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  return config.DoD_JICT;
}

std::string CertMgrTest::MakeSelfSignedRoot(const std::string& name, const std::string& commonName) {
  const std::string base = m_dir + "/" + name;
  std::string out;
  EXPECT_EQ(kxtest::Run("openssl req -x509 -newkey rsa:2048 -nodes -days 365 -subj '/CN=" + commonName +
                            "' -addext basicConstraints=critical,CA:TRUE -keyout " + base + ".key -out " + base +
                            ".pem 2>&1 && openssl x509 -in " + base + ".pem -outform DER -out " + base + ".cer",
                        &out),
            0)
      << out;
  return base + ".cer";
}

void CertMgrTest::MakeBundle(const std::vector<std::string>& pems, const std::string& out) {
  std::string command = "openssl crl2pkcs7 -nocrl -outform DER -out " + out;
  for (const std::string& pem : pems) command += " -certfile " + pem;
  std::string output;
  ASSERT_EQ(kxtest::Run(command + " 2>&1", &output), 0) << output;
}

std::vector<std::string> StoreSubjects(LONG location, const char* name) {
  CCapicomStore store;
  std::vector<std::string> names;
  if (FAILED(store.Open(location, name, CAPICOM_STORE_OPEN_READ_ONLY))) return names;
  CCapicomCertificates certificates = store.GetCertificates();
  for (LONG i = 1; i <= certificates.GetCount(); ++i) {
    CBstrString subject = certificates.GetItem(i).GetInfo(0);
    names.emplace_back(subject.GetAnsi() ? subject.GetAnsi() : "");
  }
  return names;
}

std::vector<std::string> BundleSubjects(const std::string& path) {
  std::string out;
  std::vector<std::string> subjects;
  if (kxtest::Run("openssl pkcs7 -inform DER -in '" + path + "' -print_certs -noout 2>&1", &out) != 0) return {"?"};
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t cn = line.find("CN = ");
    if (line.rfind("subject=", 0) == 0 && cn != std::string::npos) subjects.push_back(line.substr(cn + 5));
  }
  return subjects;
}

HWND OpenTab(kx::UiDriver& d, HWND sheet, int index, ULONG_PTR templateId) {
  certsel::ClickTab(d, sheet, index);
  return d.WaitForDialog(templateId);
}

void Screenshot(kx::UiDriver& d, HWND window, const std::string& name) {
  const std::string folder = kxtest::BuildDir() + "/certmgr-shots";
  mkdir(folder.c_str(), 0755);
  d.SavePng(window, folder + "/" + name + ".png");
}

}  // namespace certmgr_test
