// The certificate details dialog over detached signatures made by openssl: one row per signer, the chain of the
// chosen one as a tree from the signer down to the root, and one verification text per chain certificate whose
// verdict is the one `openssl verify` gives for that certificate.
#include "certificates/CertDetailsDlg.h"
#include "certmgr/certmgr_fixture.h"
#include "platform/ui/commonctrl.h"
#include "support/pki.h"

namespace certmgr_test {
namespace {

using certsel::Column;
using certsel::RowMark;
using kxtest::BufferOf;

constexpr int kSigners = 1033, kTree = 1266, kReport = 1264;

struct ChainItem {
  std::string text;
  int image;
  std::string report;
};

class Details : public CertMgrTest {
 protected:
  void SetUp() override {
    CertMgrTest::SetUp();
    TrustFixture();
    AddFixtureCrls();
    m_doc = m_dir + "/document.txt";
    kxtest::WriteFile(m_doc, "The protected content.\n");
  }
  // A detached signature over the document by the fixture certificate, made by openssl.
  CByteBuffer Sign(const std::string& name) {
    const std::string out = m_dir + "/" + name + ".p7s";
    std::string log;
    EXPECT_EQ(kxtest::Run("openssl cms -sign -binary -in " + m_doc + " -signer " + kxtest::pki::Pem(name) +
                              " -inkey " + kxtest::pki::Key(name) + " -certfile " + kxtest::pki::ChainPem() +
                              " -outform DER -out " + out + " 2>&1",
                          &log),
              0)
        << log;
    return BufferOf(kxtest::ReadFile(out));
  }
  // openssl's verdict on the certificate with the fixture's roots, intermediates and revocation lists.
  static std::string OpensslVerdict(const std::string& name) {
    std::string out;
    kxtest::Run("openssl verify -CAfile " + kxtest::pki::Pem("root") + " -untrusted " + kxtest::pki::Pem("inter") +
                    " -crl_check_all -CRLfile " + kxtest::pki::CrlPem("root") + " -CRLfile " +
                    kxtest::pki::CrlPem("inter") + " " + kxtest::pki::Pem(name) + " 2>&1",
                &out);
    if (out.find(": OK") != std::string::npos) return "ok";
    if (out.find("certificate has expired") != std::string::npos) return "expired";
    if (out.find("certificate revoked") != std::string::npos) return "revoked";
    return out;
  }
  // Runs the dialog over the content; the signer rows and the chain (each item with its report).
  void Show(CSignedContent& content, std::vector<std::string>& signers, std::vector<ChainItem>& chain,
            std::string& title, int& mark) {
    kx::RunWithUiHere(
        [&] {
          CCertDetailsDlg dialog(nullptr);
          dialog.m_pContent = &content;
          return dialog.DoModal();
        },
        [&](kx::UiDriver& d) {
          HWND dlg = d.WaitForDialog(30055);
          signers = Column(d, d.Control(dlg, kSigners));
          mark = signers.empty() ? -1 : RowMark(d, d.Control(dlg, kSigners), 0);
          HWND tree = d.Control(dlg, kTree);
          kx::ControlDriver c(d);
          HTREEITEM item = reinterpret_cast<HTREEITEM>(d.Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
          title = item ? c.TreeText(tree, item) : "";
          while (item && (item = reinterpret_cast<HTREEITEM>(
                              d.Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))))) {
            d.Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            TVITEM info{};
            info.mask = TVIF_IMAGE | TVIF_HANDLE;
            info.hItem = item;
            d.Send(tree, TVM_GETITEM, 0, reinterpret_cast<LPARAM>(&info));
            chain.push_back({c.TreeText(tree, item), info.iImage, d.Text(d.Control(dlg, kReport))});
          }
          Screenshot(d, dlg, "details-" + (signers.empty() ? std::string("none") : signers[0]));
          d.Click(d.Control(dlg, IDOK));
          d.WaitForGone(dlg);
        });
  }
  // The verification text of a report (between its first two rules).
  static std::string Verdict(const std::string& report) {
    const std::string rule = "=====================\r\n";
    size_t a = report.find(rule);
    if (a == std::string::npos) return report;
    a += rule.size();
    size_t b = report.find("\r\n" + rule, a);
    return report.substr(a, b == std::string::npos ? std::string::npos : b - a);
  }
  std::string m_doc;
};

TEST_F(Details, OneVerificationTextPerChainCertificateAsOpensslJudges) {
  struct Case {
    const char* name;
    const char* subject;
    const char* text;
    int image;
  };
  const Case cases[] = {
      {"signer", "Alice Signer", "Certificate Verified Ok.", 4},
      {"expired", "Carol Expired", "Certificate in the chain has expired. Please check the time validity", 5},
      // The signer's chain is the one built while its signature was checked; the policy's own check then finds
      // the revocation.
      {"revoked", "Dave Revoked", "The certificate or a certificate above it in the chain has been revoked.", 5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    CSignedContent content;
    content.m_Body = BufferOf(kxtest::ReadFile(m_doc));
    content.m_Signatures.push_back(Sign(k.name));
    std::vector<std::string> signers;
    std::vector<ChainItem> chain;
    std::string title;
    int mark = -1;
    Show(content, signers, chain, title, mark);
    ASSERT_EQ(signers, (std::vector<std::string>{k.subject}));
    EXPECT_EQ(mark, k.image == 4 ? 2 : 1);
    EXPECT_EQ(title, std::string("Chain for ") + k.subject);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].text, k.subject);
    EXPECT_EQ(chain[1].text, "Test Intermediate CA");
    EXPECT_EQ(chain[2].text, "Test Root CA");
    EXPECT_EQ(Verdict(chain[0].report), k.text);
    EXPECT_EQ(chain[0].image, k.image);
    // The signer's verdict is openssl's.
    EXPECT_EQ(OpensslVerdict(k.name), k.image == 4 ? "ok" : std::string(k.name));
    // The authorities above it pass, as openssl says of them.
    EXPECT_EQ(OpensslVerdict("inter"), "ok");
    EXPECT_EQ(Verdict(chain[1].report), "Certificate Verified Ok.");
    EXPECT_EQ(Verdict(chain[2].report), "Certificate Verified Ok.");
    EXPECT_EQ(chain[1].image, 4);
    // The basic constraints of the intermediate follow its text.
    EXPECT_NE(chain[1].report.find("Certificate authority: Yes\r\n"), std::string::npos) << chain[1].report;
    EXPECT_NE(chain[0].report.find("Present: No\r\n"), std::string::npos) << chain[0].report;
  }
}

TEST_F(Details, RecordsThatDoNotVerifyGiveNoRow) {
  CSignedContent content;
  content.m_Body = BufferOf(kxtest::ReadFile(m_doc));
  content.m_Signatures.push_back(Sign("signer"));
  content.m_Signatures.push_back(BufferOf("not a signature"));
  content.m_Signatures.push_back(Sign("encrypt"));
  std::vector<std::string> signers;
  std::vector<ChainItem> chain;
  std::string title;
  int mark = -1;
  Show(content, signers, chain, title, mark);
  EXPECT_EQ(signers, (std::vector<std::string>{"Alice Signer", "Bob Encryption"}));

  // Another content: no signature matches it.
  content.m_Body = BufferOf("changed content");
  signers.clear();
  chain.clear();
  Show(content, signers, chain, title, mark);
  EXPECT_TRUE(signers.empty());
  EXPECT_TRUE(chain.empty());
}

TEST_F(Details, CertificateDisplayShowsTheDialogForOneCertificate) {
  CCapicomCertificate certificate;
  ASSERT_EQ(certificate.ImportFromBuffer(BufferOf(kxtest::pki::DerBytes("inter"))), S_OK);
  std::vector<std::string> rows;
  std::string title;
  kx::RunWithUiHere([&] { return INT_PTR(certificate.Display()); },
                    [&](kx::UiDriver& d) {
                      HWND dlg = d.WaitForDialog(30055);
                      rows = Column(d, d.Control(dlg, kSigners));
                      HWND tree = d.Control(dlg, kTree);
                      title = kx::ControlDriver(d).TreeText(
                          tree, reinterpret_cast<HTREEITEM>(d.Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)));
                      d.Click(d.Control(dlg, IDOK));
                      d.WaitForGone(dlg);
                    });
  EXPECT_EQ(rows, (std::vector<std::string>{"Test Intermediate CA"}));
  EXPECT_EQ(title, "Chain for Test Intermediate CA");
}

}  // namespace
}  // namespace certmgr_test
