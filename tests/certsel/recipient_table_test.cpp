// Recipients judged alike wherever they are chosen. Certificates made with openssl under the test PKI's
// intermediate (good, revoked by the intermediate's list, signing-only RSA, signing-only EC), the fixture's
// expired certificate and its intermediate (a certificate authority), each in the picker's address book (its
// mark, whether it is offered, whether Add takes it) and in the one-step encryption worker (whether a
// protected file is written).
#include <algorithm>
#include <map>
#include <memory>

#include "certificates/SelCertSheet.h"
#include "certsel/certsel_fixture.h"
#include "core/SettingsStore.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "signing/SignSheet.h"
#include "support/pki.h"

// The one-step encryption worker of the Recipients page.
UINT BrastelThreadProc(LPVOID sheet);

namespace certsel {
namespace {

using kxtest::ReadFile;
using kxtest::WriteFile;

struct Row {
  const char* name;     // subject as listed
  bool offered;         // listed by the picker
  int mark;             // 2 valid, 1 not (when offered)
  const char* refusal;  // part of the reason given, or null when taken
};

const Row kRows[] = {
    {"Gina Good", true, 2, nullptr},
    {"Rex Revoked", true, 1, "revoked"},
    {"Carol Expired", true, 1, "validity period"},
    {"Sid Signing RSA", true, 2, "key encipherment"},
    {"Ed Signing EC", true, 2, "key agreement"},
    {"Test Intermediate CA", false, 0, "certificate authority"},
};

class RecipientTable : public CertSelTest {
 protected:
  void SetUp() override {
    CertSelTest::SetUp();
    TrustFixture();
    AddFixtureCrls();
    Issue("good", "Gina Good", "rsa:2048", "keyEncipherment", "0x51");
    // The fixture's revoked certificate's number: the intermediate's list names it.
    Issue("revoked", "Rex Revoked", "rsa:2048", "keyEncipherment", "0x13214365" "87A9CBED13");
    Issue("signrsa", "Sid Signing RSA", "rsa:2048", "digitalSignature,nonRepudiation", "0x52");
    Issue("signec", "Ed Signing EC", "ec -pkeyopt ec_paramgen_curve:P-256", "digitalSignature", "0x53");
    AddCert("AddressBook", "expired");
    AddCert("AddressBook", "inter");
  }

  static void AddToStore(const char* store, const std::string& bytes) {
    CCapicomStore s;
    ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(s.ImportFromBuffer(kxtest::BufferOf(bytes)), S_OK);
  }

  // An e-mail certificate under the fixture's intermediate, made with openssl, into the address book.
  void Issue(const std::string& file, const std::string& cn, const std::string& key, const std::string& usage,
             const std::string& serial) {
    const std::string base = m_dir + "/" + file;
    WriteFile(base + ".ext", "keyUsage=critical," + usage + "\nextendedKeyUsage=emailProtection\n");
    const std::string command = "openssl req -new -newkey " + key + " -nodes -keyout '" + base + ".key' -subj '/CN=" +
                                cn + "' -out '" + base + ".csr' 2>&1 && openssl x509 -req -in '" + base +
                                ".csr' -CA '" + kxtest::pki::Pem("inter") + "' -CAkey '" + kxtest::pki::Key("inter") +
                                "' -set_serial " + serial + " -days 30 -extfile '" + base + ".ext' -outform DER -out '" +
                                base + ".cer' 2>&1";
    std::string out;
    ASSERT_EQ(kxtest::Run(command, &out), 0) << out;
    AddToStore("AddressBook", ReadFile(base + ".cer"));
  }

};

TEST_F(RecipientTable, ThePickerMarksOffersAndTakesAlike) {
  std::vector<std::string> listed, taken;
  std::map<std::string, int> marks;
  std::map<std::string, std::string> refusals;
  INT_PTR result = kx::RunWithUiHere(
      [&] {
        CSelCertSheet sheet("Select Recipients' Digital IDs", nullptr, 0);
        sheet.m_Use = CertificateUse::Recipient;
        INT_PTR r = sheet.DoModal();
        taken = Subjects(sheet.m_Selected);
        return r;
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Select Recipients' Digital IDs");
        d.WaitForDialog(4205);
        ClickTab(d, sheet, 2);
        HWND book = d.WaitForDialog(4216);
        HWND available = d.Control(book, 1033);
        listed = Column(d, available);
        for (size_t i = 0; i < listed.size(); ++i) marks[listed[i]] = RowMark(d, available, static_cast<int>(i));
        for (const Row& r : kRows) {
          if (!r.offered) continue;
          kx::ControlDriver(d).ListPickRow(available, r.name);
          d.Click(d.Control(book, 1050));
          if (r.refusal) refusals[r.name] = kxtest::AnswerPage(d, "OK");
          else d.WaitUntil([&] { return kx::ControlDriver(d).ListFind(d.Control(book, 1034), r.name) >= 0; }, r.name);
        }
        d.Click(d.Control(sheet, IDOK));
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, IDOK);
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    const bool isListed = std::find(listed.begin(), listed.end(), r.name) != listed.end();
    EXPECT_EQ(isListed, r.offered);
    if (!r.offered) continue;
    EXPECT_EQ(marks[r.name], r.mark);
    if (r.refusal) {
      EXPECT_NE(refusals[r.name].find(r.refusal), std::string::npos) << refusals[r.name];
    }
  }
  EXPECT_EQ(taken, std::vector<std::string>{"Gina Good"});
}

// The one-step worker judges again: nothing is written for a recipient who could not open the file or whose
// digital ID is not valid.
TEST_F(RecipientTable, TheRecipientsPageAndTheWorkerRefuseAlike) {
  const std::string input = m_dir + "/report.doc";
  WriteFile(input, "content");
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", m_dir));
  CCapicomStore book;
  ASSERT_EQ(book.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
  CCapicomCertificates all = book.GetCertificates();
  int n = 0;
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    CCapicomCertificate certificate(kx::engine::kEmpty);
    for (LONG i = 1; i <= all.GetCount(); ++i)
      if (std::string(all.GetItem(i).GetInfo(0).GetAnsi()) == r.name) certificate = all.GetItem(i);
    ASSERT_FALSE(certificate.IsEmpty());
    const std::string out = kxtest::MakeTempDir("out" + std::to_string(n++));
    CSignSheet sheet("Signer Wizard", nullptr, 0);
    CProtectWizardData& data = sheet.m_WizardData;
    data.m_arrInputFiles.Add(input.c_str());
    data.m_strOutputFolder = (out + "/").c_str();
    data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
    data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
    data.m_arrRecipientCerts.push_back(certificate);
    data.m_pEngineObjects = new CCapicomObjectSet();
    ASSERT_EQ(BrastelThreadProc(&sheet), 0u);
    EXPECT_EQ(data.m_bOperationSucceeded, r.refusal ? 0 : 1);
    EXPECT_EQ(kxtest::FolderNames(out).size(), r.refusal ? 0u : 1u);
  }
}

}  // namespace
}  // namespace certsel
