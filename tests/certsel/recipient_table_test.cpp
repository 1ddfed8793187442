// Recipients judged alike wherever they are chosen. Certificates made with openssl under the test PKI's
// intermediate (good, revoked by the intermediate's list, signing-only RSA, signing-only EC), the fixture's
// expired certificate and its intermediate (a certificate authority), and certificates of an authority whose
// list is only served on 127.0.0.1 (online checking off and on), each in the picker's address book (its mark,
// whether it is offered, whether Add takes it), on the signer wizard's Recipients page (its mark, whether Next
// takes it) and in the one-step encryption worker (whether a protected file is written).
#include <algorithm>
#include <map>
#include <memory>

#include "certificates/SelCertSheet.h"
#include "certsel/certsel_fixture.h"
#include "certsel/online_ca.h"
#include "certsel/recipients_wizard.h"
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
  int mark;             // 2 valid, 1 not: the validity verdict
  const char* refusal;  // part of the reason given, or null when taken
};

const Row kRows[] = {
    {"Gina Good", true, 2, nullptr},
    {"Rex Revoked", true, 1, "revoked"},
    {"Carol Expired", true, 1, "validity period"},
    {"Sid Signing RSA", true, 2, "key encipherment"},
    {"Ed Signing EC", true, 2, "key agreement"},
    {"Test Intermediate CA", false, 2, "certificate authority"},
};

// How a place showed a certificate: listed (the picker), its mark, and the refusal's text (empty: taken).
struct Seen {
  bool listed = false;
  int mark = 0;
  std::string refusal;
};

class RecipientTable : public CertSelTest {
 protected:
  void SetUp() override {
    CertSelTest::SetUp();
    for (int i = 0; i < 5; ++i) RegisterPageTemplate(9300 + i, ("Page " + std::to_string(i)).c_str(), "A page.");
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

  // The address book's certificate with that subject.
  static CCapicomCertificate FromBook(const std::string& name) {
    CCapicomStore book;
    EXPECT_EQ(book.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
    CCapicomCertificates all = book.GetCertificates();
    for (LONG i = 1; i <= all.GetCount(); ++i)
      if (std::string(all.GetItem(i).GetInfo(0).GetAnsi()) == name) return all.GetItem(i);
    ADD_FAILURE() << name << " is not in the address book";
    return CCapicomCertificate(kx::engine::kEmpty);
  }

  // The recipient picker's address book: each name's row and mark, and what Add says of it; *taken: what the
  // picker handed on after OK.
  std::map<std::string, Seen> InThePicker(const std::vector<std::string>& names, std::vector<std::string>* taken) {
    std::map<std::string, Seen> seen;
    INT_PTR result = kx::RunWithUiHere(
        [&] {
          CSelCertSheet sheet("Select Recipients' Digital IDs", nullptr, 0);
          sheet.m_Use = CertificateUse::Recipient;
          INT_PTR r = sheet.DoModal();
          *taken = Subjects(sheet.m_Selected);
          return r;
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Select Recipients' Digital IDs");
          d.WaitForDialog(4205);
          ClickTab(d, sheet, 2);
          HWND book = d.WaitForDialog(4216);
          HWND available = d.Control(book, 1033);
          const std::vector<std::string> listed = Column(d, available);
          for (size_t i = 0; i < listed.size(); ++i) seen[listed[i]] = {true, RowMark(d, available, static_cast<int>(i)), ""};
          kx::ControlDriver c(d);
          for (const std::string& name : names) {
            if (!seen[name].listed) continue;
            c.ListPickRow(available, name);
            d.Click(d.Control(book, 1050));
            // Taken: its row comes into the selected list; refused: a message says why.
            d.WaitUntil([&] { return c.ListFind(d.Control(book, 1034), name) >= 0 || FindMessagePage(d); }, name);
            if (c.ListFind(d.Control(book, 1034), name) < 0) seen[name].refusal = kxtest::AnswerPage(d, "OK");
          }
          d.Click(d.Control(sheet, IDOK));
          d.WaitForGone(sheet);
        });
    EXPECT_EQ(result, IDOK);
    return seen;
  }

  // The Recipients page of a signer wizard over two files holding the certificate: its row's mark and what
  // Next says (empty when it went on to the processing page).
  Seen OnTheRecipientsPage(const CCapicomCertificate& certificate) {
    Seen seen;
    const std::string input = m_dir + "/report.doc";
    kx::RunWithUiHere(
        [&] {
          Wizard<CSignSheet> wizard(5);
          wizard.m_WizardData.m_arrInputFiles.Add(input.c_str());
          wizard.m_WizardData.m_arrInputFiles.Add((input + "2").c_str());
          wizard.m_Recipients.m_Recipients.Add(certificate);
          wizard.m_WizardData.m_arrRecipientCerts.push_back(certificate);
          return wizard.DoModal();
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Signer Wizard");
          HWND page = d.WaitForDialog(4209);
          HWND list = d.Control(page, 1033);
          d.WaitUntil([&] { return Column(d, list).size() == 1; }, "the recipient's row");
          seen.listed = true;
          seen.mark = RowMark(d, list, 0);
          d.WaitForEnabled(d.Control(sheet, ID_WIZNEXT));
          d.Click(d.Control(sheet, ID_WIZNEXT));
          d.WaitUntil([&] { return d.FindDialog(9304) || FindMessagePage(d); }, "Next's outcome");
          if (!d.FindDialog(9304)) seen.refusal = kxtest::AnswerPage(d, "OK");
          d.Click(d.Control(sheet, IDCANCEL));
          kxtest::AnswerPage(d, "Yes");
          d.WaitForGone(sheet);
        });
    return seen;
  }

  // The one-step worker for the certificate: whether it wrote a protected file.
  bool WrittenByTheWorker(const CCapicomCertificate& certificate) {
    const std::string input = m_dir + "/report.doc";
    WriteFile(input, "content");
    CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
    EXPECT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", m_dir));
    const std::string out = kxtest::MakeTempDir("out" + std::to_string(++m_runs));
    CSignSheet sheet("Signer Wizard", nullptr, 0);
    CProtectWizardData& data = sheet.m_WizardData;
    data.m_arrInputFiles.Add(input.c_str());
    data.m_strOutputFolder = (out + "/").c_str();
    data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
    data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
    data.m_arrRecipientCerts.push_back(certificate);
    data.m_pEngineObjects = new CCapicomObjectSet();
    EXPECT_EQ(BrastelThreadProc(&sheet), 0u);
    const bool written = data.m_bOperationSucceeded == 1;
    EXPECT_EQ(kxtest::FolderNames(out).size(), written ? 1u : 0u);
    return written;
  }

  // Every place shows the rows as the table says: the picker (offered rows), the Recipients page, the worker.
  void ExpectEverywhere(const std::vector<Row>& rows) {
    std::vector<std::string> names, taken, expectedTaken;
    for (const Row& r : rows) names.push_back(r.name);
    std::map<std::string, Seen> picker = InThePicker(names, &taken);
    for (const Row& r : rows) {
      SCOPED_TRACE(r.name);
      EXPECT_EQ(picker[r.name].listed, r.offered);
      if (r.offered) {
        EXPECT_EQ(picker[r.name].mark, r.mark);
        ExpectRefusal(picker[r.name].refusal, r.refusal);
        if (!r.refusal) expectedTaken.push_back(r.name);
      }
      const CCapicomCertificate certificate = FromBook(r.name);
      const Seen page = OnTheRecipientsPage(certificate);
      EXPECT_EQ(page.mark, r.mark);
      ExpectRefusal(page.refusal, r.refusal);
      EXPECT_EQ(WrittenByTheWorker(certificate), r.refusal == nullptr);
    }
    EXPECT_EQ(taken, expectedTaken);
  }
  static void ExpectRefusal(const std::string& said, const char* refusal) {
    if (refusal) EXPECT_NE(said.find(refusal), std::string::npos) << said;
    else EXPECT_EQ(said, "");
  }
  static bool FindMessagePage(kx::UiDriver& d) {
    kx::WindowQuery q;
    q.title = "Office Tolvex";
    return d.Find(q) != nullptr;
  }

  int m_runs = 0;
};

TEST_F(RecipientTable, EveryPlaceMarksOffersAndTakesAlike) {
  ExpectEverywhere(std::vector<Row>(std::begin(kRows), std::end(kRows)));
}

// Revocation learnt online: recipients issued by an authority whose list is only served on 127.0.0.1. With online
// checking off the list is not asked for and whether either was revoked is not known, so neither is taken; on,
// the list is fetched, the good one is taken everywhere and the revoked one refused as revoked. openssl verify
// -crl_check over the same list agrees.
TEST_F(RecipientTable, RevocationIsFetchedOnlineOnlyWhenOnlineCheckingIsOn) {
  OnlineCa ca;
  std::string error;
  ASSERT_TRUE(ca.Start(kxtest::MakeTempDir("online-ca"), {"71"}, &error)) << error;
  const std::string usage = "keyUsage=critical,keyEncipherment\nextendedKeyUsage=emailProtection";
  const std::string olga = ca.Issue("olga", "Olga Online", usage, "70"), otto = ca.Issue("otto", "Otto Revoked", usage, "71");
  for (const auto& [base, verdict] : {std::pair{olga, std::string(": OK")}, std::pair{otto, std::string("revoked")}}) {
    std::string out;
    kxtest::Run("openssl verify -crl_check -CAfile '" + ca.CaPem() + "' -CRLfile '" + ca.CrlPem() + "' '" + base +
                    ".pem' 2>&1",
                &out);
    EXPECT_NE(out.find(verdict), std::string::npos) << out;
    AddToStore("AddressBook", ReadFile(base + ".cer"));
  }

  OnlineCa::SetOnlineChecking(false);
  ExpectEverywhere({{"Olga Online", true, 1, "Whether the certificate has been revoked"},
                    {"Otto Revoked", true, 1, "Whether the certificate has been revoked"}});
  EXPECT_EQ(ca.Requests(), "");

  OnlineCa::SetOnlineChecking(true);
  ExpectEverywhere({{"Olga Online", true, 2, nullptr}, {"Otto Revoked", true, 1, "has been revoked"}});
  EXPECT_NE(ca.Requests().find("/online-ca.crl"), std::string::npos);
}

}  // namespace
}  // namespace certsel
