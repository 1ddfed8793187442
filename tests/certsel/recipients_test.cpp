// The recipients page of the signer wizard and its one-step encryption: the page's switch and buttons, the
// picker's certificates handed to the operation data, and protected files that the engine and openssl open.
#include <memory>

#include "signing/SelectCertPage.h"
#include "certsel/certsel_fixture.h"
#include "core/SettingsStore.h"
#include "encryption/OneClickSheet.h"
#include "engine/CapicomObjectSet.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/ui/prsht.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "support/wizard.h"

namespace certsel {
namespace {

using kxtest::AnswerPage;
using kxtest::BufferOf;
using kxtest::Cert;
using kxtest::ReadFile;
using kxtest::StringOf;
using kxtest::WriteFile;

constexpr int kAdd = 1043, kList = 1033, kSwitch = 1097;

// A signer wizard whose page 3 is the recipients page; the other places hold plain pages, so that Next can be
// seen to land on page 4 (or page 10 of a one-click preset wizard).
template <class Base>
class Wizard : public Base {
 public:
  explicit Wizard(int pageCount) : Base("Signer Wizard", nullptr, 0) {
    while (this->GetPageCount() > 0) this->RemovePage(0);
    for (int i = 0; i < pageCount; ++i) {
      if (i == 3) {
        this->AddPage(&m_Recipients);
        continue;
      }
      m_Others.push_back(std::make_unique<CPropertyPage>(9300 + i));
      this->AddPage(m_Others.back().get());
    }
    this->SetWizardMode();
    this->m_bHosted = 0;
    this->m_nStartPage = 3;
  }
  CSelectCertPage m_Recipients;
  std::vector<std::unique_ptr<CPropertyPage>> m_Others;
};

// The wizard buttons as wizard flags: Back 1, Next 2, Finish 4, a shown but disabled Finish 8.
DWORD Buttons(kx::UiDriver& d, HWND sheet) {
  DWORD flags = 0;
  if (d.IsEnabled(d.Control(sheet, ID_WIZBACK))) flags |= PSWIZB_BACK;
  HWND next = d.Control(sheet, ID_WIZNEXT), finish = d.Control(sheet, ID_WIZFINISH);
  if (d.IsVisible(next) && d.IsEnabled(next)) flags |= PSWIZB_NEXT;
  if (d.IsVisible(finish)) flags |= d.IsEnabled(finish) ? PSWIZB_FINISH : PSWIZB_DISABLEDFINISH;
  return flags;
}

class RecipientsPage : public CertSelTest {
 protected:
  void SetUp() override {
    CertSelTest::SetUp();
    for (int i = 0; i < 11; ++i) RegisterPageTemplate(9300 + i, ("Page " + std::to_string(i)).c_str(), "A page.");
    TrustFixture();
    AddFixtureCrls();
    AddCert("AddressBook", "encrypt");
    AddCert("AddressBook", "signer");
    m_input = m_dir + "/report.doc";
    m_out = kxtest::MakeTempDir("out");
  }

  // Picks recipients in the selection sheet the Add button opens, from the address-book page.
  static void PickRecipients(kx::UiDriver& d, HWND page, const std::vector<std::string>& names) {
    d.Click(d.Control(page, kAdd));
    HWND picker = d.WaitForTitle("Select Recipients' Digital IDs");
    ClickTab(d, picker, 2);
    HWND book = d.WaitForDialog(4216);
    for (const auto& n : names) {
      kx::ControlDriver(d).ListPickRow(d.Control(book, 1033), n);
      d.Click(d.Control(book, 1050));
    }
    d.Click(d.Control(picker, IDOK));
    d.WaitForGone(picker);
    // The page takes the chosen certificates after the picker has gone; wait until its list shows them.
    kx::ControlDriver cd(d);
    HWND list = d.Control(page, 1033);
    for (const auto& n : names)
      d.WaitUntil([&] { return cd.ListFind(list, n) >= 0; }, "recipient row " + n);
  }

  std::string m_input, m_out;
};

TEST_F(RecipientsPage, SwitchAndButtonsFollowFilesModeAndRecipients) {
  struct Case {
    int files;
    int mode;
    bool switchEnabled, switchOn;
    DWORD before, after;  // buttons without recipients, and after one was picked
  } cases[] = {
      {1, 0, true, true, PSWIZB_BACK | PSWIZB_DISABLEDFINISH, PSWIZB_BACK | PSWIZB_FINISH},
      {2, 0, false, false, PSWIZB_BACK, PSWIZB_BACK | PSWIZB_NEXT},
      {1, 2, false, false, PSWIZB_BACK, PSWIZB_BACK | PSWIZB_NEXT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.files) + " file(s), mode " + std::to_string(c.mode));
    std::vector<std::string> handedOn;
    INT_PTR result = kx::RunWithUiHere(
        [&] {
          Wizard<CSignSheet> wizard(5);
          for (int i = 0; i < c.files; ++i) wizard.m_WizardData.m_arrInputFiles.Add(m_input);
          wizard.m_WizardData.m_nMode = c.mode;
          INT_PTR r = wizard.DoModal();
          CCertificateArray recipients;
          for (const auto& cert : wizard.m_WizardData.m_arrRecipientCerts) recipients.Add(cert);
          handedOn = Subjects(recipients);
          return r;
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Signer Wizard");
          HWND page = d.WaitForDialog(4209);
          HWND box = d.Control(page, kSwitch);
          EXPECT_EQ(d.IsEnabled(box), c.switchEnabled);
          EXPECT_EQ(d.IsChecked(box), c.switchOn);
          EXPECT_EQ(Buttons(d, sheet), c.before);
          PickRecipients(d, page, {"Bob Encryption"});
          EXPECT_EQ(Column(d, d.Control(page, kList)), std::vector<std::string>{"Bob Encryption"});
          EXPECT_EQ(Buttons(d, sheet), c.after);
          if (c.switchOn) {
            // Turned off, the page leads on to the processing page instead of finishing.
            d.Click(box);
            EXPECT_EQ(Buttons(d, sheet), PSWIZB_BACK | PSWIZB_NEXT);
            d.Click(box);
            EXPECT_EQ(Buttons(d, sheet), PSWIZB_BACK | PSWIZB_FINISH);
          }
          d.SavePng(sheet, frametest::Shot("recipients"));
          d.Click(d.Control(sheet, IDCANCEL));
          AnswerPage(d, "Yes");
          d.WaitForGone(sheet);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(handedOn, std::vector<std::string>{"Bob Encryption"});
  }
}

TEST_F(RecipientsPage, NextNeedsRecipientsAndGoesToTheProcessingPage) {
  for (bool oneClick : {false, true}) {
    SCOPED_TRACE(oneClick ? "one-click preset wizard" : "signer wizard");
    BYTE chosen = 9;
    INT_PTR result = kx::RunWithUiHere(
        [&] {
          std::unique_ptr<CSignSheet> wizard;
          if (oneClick) wizard = std::make_unique<Wizard<COneClickSheet>>(11);
          else wizard = std::make_unique<Wizard<CSignSheet>>(5);
          wizard->m_WizardData.m_arrInputFiles.Add(m_input);
          wizard->m_WizardData.m_arrInputFiles.Add(m_input + "2");
          INT_PTR r = wizard->DoModal();
          chosen = wizard->m_WizardData.m_bRecipientPageOption;
          return r;
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Signer Wizard");
          HWND page = d.WaitForDialog(4209);
          if (oneClick) {
            // A preset wizard always leads on, with the switch on.
            EXPECT_TRUE(d.IsChecked(d.Control(page, kSwitch)));
            EXPECT_EQ(Buttons(d, sheet), PSWIZB_BACK | PSWIZB_NEXT);
            kxtest::PressNext(d, sheet);
            EXPECT_EQ(AnswerPage(d, "OK"), "Please select recipients digital IDs");
            EXPECT_TRUE(d.IsVisible(page));
          }
          PickRecipients(d, page, {"Bob Encryption"});
          kxtest::PressNext(d, sheet);
          d.WaitForDialog(oneClick ? 9310 : 9304);
          d.Click(d.Control(sheet, IDCANCEL));
          AnswerPage(d, "Yes");
          d.WaitForGone(sheet);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(chosen, oneClick ? 1 : 0);
  }
}

// ---- the one-step encryption ----

// The content of a protected file, opened as a reader does: the envelope with the recipient's key from "My"
// (through the engine), then each block under the content key.
struct Opened {
  std::unique_ptr<CTolvexBinaryFile> file;
  std::string key;
  std::string content;
  int blocks = 0;
};

Opened OpenProtected(const std::string& path) {
  Opened o;
  CFileManager manager;
  std::unique_ptr<CFileStream> stream(manager.OpenStream(path.c_str()));
  if (!stream || !stream->IsOpen()) return o;
  o.file.reset(dynamic_cast<CTolvexBinaryFile*>(stream->ReadTrailingObject()));
  if (!o.file) return o;
  CCapicomEnvelopedData envelope;
  BSTR message = kx::engine::ToBinaryBstr(o.file->m_info.m_encryption.m_buffer);
  HRESULT hr = envelope.Decrypt(message);
  SysFreeString(message);
  EXPECT_EQ(hr, S_OK);
  CByteBuffer key;
  envelope.GetContentToBuffer(key);
  o.key = StringOf(key);
  CByteBuffer block;
  while (stream->ReadUInt32Block(block)) {
    CCapicomEncryptedData content;
    content.SetCipher(o.file->m_info.m_body.m_nested.m_bCipherIndex, o.file->m_info.m_body.m_nested.m_bKeyLengthIndex);
    content.SetSecretFromBuffer(key, 0);
    BSTR b = kx::engine::ToBinaryBstr(block);
    EXPECT_EQ(content.Decrypt(b, o.file->m_info.m_abFormat[3]), S_OK);
    SysFreeString(b);
    CByteBuffer plain;
    content.GetContentToBuffer(plain);
    o.content += StringOf(plain);
    ++o.blocks;
  }
  return o;
}

std::string RandomBytes(size_t n) {
  std::string s(n, '\0');
  unsigned x = 12345;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  return s;
}

TEST_F(RecipientsPage, OneStepEncryptionWritesAProtectedFileTheRecipientOpens) {
  AddWithKey("encrypt");
  const std::string content = RandomBytes(150000);
  WriteFile(m_input, content);
  std::string lastOutput, folder;
  BYTE succeeded = 0;
  INT_PTR result = kx::RunWithUiHere(
      [&] {
        Wizard<CSignSheet> wizard(5);
        CProtectWizardData& data = wizard.m_WizardData;
        data.m_arrInputFiles.Add(m_input);
        data.m_strOutputFolder = m_out.c_str();  // without its separator
        data.m_nMode = 0;
        data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
        data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
        INT_PTR r = wizard.DoModal();
        lastOutput = data.m_strLastOutputFile.GetString();
        folder = data.m_strOutputFolder.GetString();
        succeeded = data.m_bOperationSucceeded;
        return r;
      },
      [&](kx::UiDriver& d) {
        HWND sheet = d.WaitForTitle("Signer Wizard");
        HWND page = d.WaitForDialog(4209);
        PickRecipients(d, page, {"Bob Encryption"});
        // The page enables Finish once it has taken the chosen certificates.
        d.WaitForEnabled(d.Control(sheet, ID_WIZFINISH));
        d.Click(d.Control(sheet, ID_WIZFINISH));
        HWND progress = d.WaitForTitle("Progress");
        // The wizard waits under the progress window.
        EXPECT_FALSE(d.IsEnabled(sheet));
        EXPECT_EQ(AnswerPage(d, "OK"), "Brastel\xC2\xA9 operation Successfully completed");
        d.WaitForGone(progress);
        d.WaitForGone(sheet);
      });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(succeeded, 1);
  EXPECT_EQ(folder, m_out + "/");
  EXPECT_EQ(lastOutput, m_out + "/report.doc.Tvx");
  // The library's main window is told that the wizard finished.
  MSG msg{};
  EXPECT_TRUE(PeekMessage(&msg, frametest::App().m_pMainWnd->m_hWnd, WM_USER + 1000, WM_USER + 1000, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 101u);

  Opened o = OpenProtected(lastOutput);
  ASSERT_TRUE(o.file);
  EXPECT_STREQ(o.file->m_info.m_strText1, "report.doc");
  ASSERT_EQ(o.file->m_info.m_encryption.m_list.GetCount(), 1u);
  EXPECT_STREQ(o.file->m_info.m_encryption.m_list.m_first.GetAt(0), "Bob Encryption");
  EXPECT_STREQ(o.file->m_info.m_encryption.m_list.m_second.GetAt(0), "Test Intermediate CA");
  EXPECT_EQ(o.file->GetOptions()[7], 1);
  EXPECT_EQ(o.content, content);

  // The envelope is standard CMS that openssl opens with the recipient's key, to the same content key.
  WriteFile(m_dir + "/envelope.der", StringOf(o.file->m_info.m_encryption.m_buffer));
  std::string command = "openssl cms -decrypt -binary -inform DER -in '" + m_dir + "/envelope.der' -recip '" +
                        kxtest::pki::Pem("encrypt") + "' -inkey '" + kxtest::pki::Key("encrypt") + "' -out '" + m_dir +
                        "/key.bin'";
  ASSERT_EQ(kxtest::Run(command), 0) << command;
  EXPECT_EQ(ReadFile(m_dir + "/key.bin"), o.key);
  EXPECT_GE(o.key.size(), 32u);  // long enough for AES at 256 bits
}

class OneStepWorker : public RecipientsPage {
 protected:
  void SetUp() override {
    RecipientsPage::SetUp();
    AddWithKey("encrypt");
    m_sheet = std::make_unique<CSignSheet>("Signer Wizard", nullptr, 0);
    CProtectWizardData& data = Data();
    data.m_arrInputFiles.Add(m_input);
    data.m_strOutputFolder = (m_out + "/").c_str();
    data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
    data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
    data.m_arrRecipientCerts.push_back(Cert("encrypt"));
    data.m_pEngineObjects = new CCapicomObjectSet();
    CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
    ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", m_dir));
  }
  CProtectWizardData& Data() { return m_sheet->m_WizardData; }
  UINT RunWorker() { return BrastelThreadProc(m_sheet.get()); }
  static void SetDword(const char* key, const char* name, DWORD v) {
    CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora");
    ASSERT_TRUE(s.WriteInt(key, name, v));
  }
  std::vector<std::string> AuditMessages() {
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> f(manager.OpenFile((m_dir + "/OfficeTolvex.Alf").c_str()));
    std::vector<std::string> out;
    if (auto* log = dynamic_cast<CAuditLogFile*>(f.get()))
      for (DWORD i = 0; i < log->m_entries.GetCount(); ++i)
        out.push_back(std::string(log->m_entries.GetAt(i).GetOperation()) + ": " +
                      log->m_entries.GetAt(i).GetMessage().GetString());
    return out;
  }
  std::unique_ptr<CSignSheet> m_sheet;
};

TEST_F(OneStepWorker, CipherChoicesAndFormatVersionsRoundTrip) {
  struct Case {
    LONG cipher, keyLength;
    DWORD formatVersion;
  } cases[] = {{CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, 1},
               {CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS, 2},
               {CAPICOM_ENCRYPTION_ALGORITHM_RC2, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, 1}};
  const std::string content = RandomBytes(5000);
  WriteFile(m_input, content);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.cipher) + "/" + std::to_string(c.keyLength) + " v" + std::to_string(c.formatVersion));
    SetDword("OfficeTolvex\\Vorlind Intelligence", "TVX_FormatVersion", c.formatVersion);
    Data().m_nCipher = c.cipher;
    Data().m_nKeyLength = c.keyLength;
    ASSERT_EQ(RunWorker(), 0u);
    EXPECT_EQ(Data().m_bOperationSucceeded, 1);
    EXPECT_EQ(Data().m_bOperationDone, 1);
    Opened o = OpenProtected(Data().m_strLastOutputFile.GetString());
    ASSERT_TRUE(o.file);
    // The file declares the format its content was written in.
    EXPECT_EQ(o.file->m_info.m_abFormat[3], c.formatVersion > 1 ? 2 : 1);
    EXPECT_EQ(o.content.substr(0, content.size()), content);
    // The own cipher path records the length its filled-up blocks hide.
    EXPECT_STREQ(o.file->m_info.m_strText2, c.formatVersion > 1 ? "5000" : "");
    // The envelope keeps a triple DES or AES choice; other choices are enveloped with triple DES.
    WriteFile(m_dir + "/envelope.der", StringOf(o.file->m_info.m_encryption.m_buffer));
    std::string out;
    ASSERT_EQ(kxtest::Run("openssl cms -cmsout -print -inform DER -in '" + m_dir + "/envelope.der'", &out), 0);
    EXPECT_NE(out.find(c.cipher == CAPICOM_ENCRYPTION_ALGORITHM_AES ? "aes-256-cbc" : "des-ede3-cbc"),
              std::string::npos);
  }
  // Each run found the name of the one before taken.
  EXPECT_EQ(Data().m_strLastOutputFile, (m_out + "/report.doc(2).Tvx").c_str());
}

TEST_F(OneStepWorker, NamesAFreeOutputAndAddsTheFolderSeparator) {
  WriteFile(m_input, "content");
  WriteFile(m_out + "/report.doc.Tvx", "older");
  WriteFile(m_out + "/report.doc(1).Tvx", "older");
  Data().m_strOutputFolder = m_out.c_str();
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(Data().m_strOutputFolder, (m_out + "/").c_str());
  EXPECT_EQ(Data().m_strLastOutputFile, (m_out + "/report.doc(2).Tvx").c_str());
  EXPECT_EQ(ReadFile(m_out + "/report.doc.Tvx"), "older");
  EXPECT_EQ(OpenProtected(m_out + "/report.doc(2).Tvx").content.substr(0, 7), "content");
  // Without a folder of its own the output goes beside the input.
  Data().m_strOutputFolder.Empty();
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(Data().m_strLastOutputFile, (m_dir + "/report.doc.Tvx").c_str());
}

TEST_F(OneStepWorker, ChunksOfTheMemoryCacheSize) {
  SetDword("OfficeTolvex\\System_Profile", "MemoryCache", 0);
  const std::string content = RandomBytes(3 << 20);
  WriteFile(m_input, content);
  ASSERT_EQ(RunWorker(), 0u);
  Opened o = OpenProtected(Data().m_strLastOutputFile.GetString());
  EXPECT_EQ(o.blocks, 3);
  EXPECT_EQ(o.content, content);
}

TEST_F(OneStepWorker, FailuresLeaveNoOutputAndKeepTheInput) {
  // An empty input: an audit entry, no output, no success.
  WriteFile(m_input, "");
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(Data().m_bOperationSucceeded, 0);
  EXPECT_EQ(Data().m_bOperationDone, 1);
  EXPECT_EQ(GetFileAttributesA((m_out + "/report.doc.Tvx").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(AuditMessages(), std::vector<std::string>{"Encrypt Operation: Failed because file size is 0 bytes"});

  // A recipient the engine cannot envelope for: nothing of the output is left, and no output is named.
  WriteFile(m_input, "content");
  Data().m_arrRecipientCerts.push_back(CCapicomCertificate());
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(Data().m_bOperationSucceeded, 0);
  EXPECT_TRUE(kxtest::FolderNames(m_out).empty());
  EXPECT_TRUE(Data().m_strLastOutputFile.IsEmpty());
  Data().m_arrRecipientCerts.pop_back();

  // Shredding takes the input only after its protected file was written; without an engine nothing is written.
  SetDword("OfficeTolvex\\Config", "ShredTemporaryFiles", 1);
  delete Data().m_pEngineObjects;
  Data().m_pEngineObjects = nullptr;
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(ReadFile(m_input), "content");
  Data().m_pEngineObjects = new CCapicomObjectSet();
  ASSERT_EQ(RunWorker(), 0u);
  EXPECT_EQ(Data().m_bOperationSucceeded, 1);
  EXPECT_EQ(GetFileAttributesA(m_input.c_str()), INVALID_FILE_ATTRIBUTES);

  // Anything but a signer wizard is refused at once.
  CPropertySheet other("Other", nullptr, 0);
  EXPECT_EQ(BrastelThreadProc(&other), 1u);
  EXPECT_EQ(BrastelThreadProc(nullptr), 1u);
}

}  // namespace
}  // namespace certsel
