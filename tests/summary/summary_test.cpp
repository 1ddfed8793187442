// The file summary as a person uses it: DisplayTolvexFileSummary (and the mail forms) over protected files that
// the Signer Wizard's workers wrote, its pages read back through the window system; the report checked line by
// line, the signers verified over every block, the exported certificate read by openssl.
#include <cmath>
#include <map>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "core/TvxFormatSettings.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "formats/FileManager.h"
#include "formats/SignatureFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/ui/commonctrl.h"
#include "signing/SignatureImage.h"
#include "platform/services/addres/addres.h"
#include "signing/SummarySheet.h"
#include "signing/signing_test.h"
#include "support/pki.h"

extern "C" int DisplayTolvexFileSummary(HWND parent, LPCSTR path);
extern "C" int DisplayMailTolvexProperties(int, LPCSTR path, LPCSTR statusText);

using namespace signtest;
using certsel::ClickTab;
using certsel::Column;
using certsel::RowMark;
using certsel::TabTexts;
using kxtest::Page;

namespace {

constexpr ULONG_PTR kMainPage = 4238, kSignPage = 4239, kGenPage = 4240, kMailMainPage = 30046;
constexpr int kName = 209, kReport = 213, kStatus = 1020, kDetails = 1007, kNameLabel = 215, kReportLabel = 216;
constexpr int kList = 1033, kExport = 1073, kCheck = 1007, kView = 1057, kContacts = 1050, kPad = 1067;
constexpr int kHash = 1123, kTimeStamp = 1121, kEntryA = 1044, kEntryB = 1049, kEntryC = 1046;
constexpr const char* kTitle = "Tolvex (.tvx) Details";
constexpr const char* kStampText = "Thursday, 10 December 2026, 09:30";

std::string R(UINT id) { return std::string(LoadResString(id)); }
const std::string kEol = "\r\n";
const std::string kRule41 = std::string(41, '=') + "\r\n", kRule42 = std::string(42, '=') + "\r\n";
const std::string kRule40 = std::string(40, '=') + "\r\n";

std::string Q(const std::string& s) { return "'" + s + "'"; }

// An 8-bit grey bitmap file with a dark wave across it, as a drawn signature is stored.
std::string WaveBitmap(int width, int height) {
  const int stride = (width + 3) & ~3;
  std::string bmp;
  auto u16 = [&](unsigned v) { bmp += static_cast<char>(v & 0xFF), bmp += static_cast<char>((v >> 8) & 0xFF); };
  auto u32 = [&](unsigned v) { u16(v & 0xFFFF), u16(v >> 16); };
  const unsigned offset = 14 + 40 + 1024;
  bmp += "BM";
  u32(offset + stride * height), u32(0), u32(offset);
  u32(40), u32(width), u32(height), u16(1), u16(8), u32(0), u32(stride * height), u32(2835), u32(2835), u32(256), u32(0);
  for (int i = 0; i < 256; ++i) bmp += std::string{static_cast<char>(i), static_cast<char>(i), static_cast<char>(i), '\0'};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < stride; ++x) {
      const double wave = height / 2.0 + height / 4.0 * std::sin(x * 6.283 / width * 2);
      bmp += static_cast<char>(x < width && std::fabs(y - wave) < 3 ? 0 : 255);
    }
  }
  return bmp;
}

// What the main page shows.
struct MainPage {
  std::string name, report, status, nameLabel, reportLabel;
  bool details = false;
};

MainPage ReadMainPage(kx::UiDriver& d, HWND sheet, ULONG_PTR templateId = kMainPage) {
  HWND page = Page(d, sheet, templateId);
  return {d.Text(d.Control(page, kName)),      d.Text(d.Control(page, kReport)),
          d.Text(d.Control(page, kStatus)),    d.Text(d.Control(page, kNameLabel)),
          d.Text(d.Control(page, kReportLabel)), d.IsEnabled(d.Control(page, kDetails))};
}

class Summary : public SigningTest {
 protected:
  void SetUp() override {
    SigningTest::SetUp();
    TrustFixture();
    SetMemoryCache(1);
    m_alice = WithKey("signer");
  }

  // The worker's protected output of a run in a folder of its own (its first output).
  std::string RunWorker(int mode, const std::string& input, const std::function<void(CProtectWizardData&)>& prepare) {
    static int runs = 0;
    const std::string out = kxtest::MakeTempDir("out" + std::to_string(++runs));
    auto sheet = NewSheet(mode, {input}, out);
    prepare(sheet->m_WizardData);
    UINT (*procs[])(LPVOID) = {EncryptThreadProc, SignThreadProc, SignAndEncryptThreadProc, CountersignThreadProc};
    EXPECT_EQ(Run(*sheet, procs[mode]), 0u);
    EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
    return Outputs(*sheet).empty() ? std::string() : Outputs(*sheet)[0];
  }
  std::string Encrypted(const std::string& input, int cipher, int keyLength) {
    return RunWorker(0, input, [&](CProtectWizardData& data) {
      data.m_arrRecipientCerts = {Cert("encrypt")};
      data.m_nCipher = cipher;
      data.m_nKeyLength = keyLength;
    });
  }
  // Signed by the signers, the first with the drawn signature, the time stamp and the three legal entries.
  std::string Signed(const std::string& input, const std::vector<CCapicomCertificate>& signers, bool drawn = true) {
    return RunWorker(1, input, [&](CProtectWizardData& data) {
      data.m_arrSignerCerts = signers;
      Record(data.m_Payload, drawn);
    });
  }
  std::string SignedAndEncrypted(const std::string& input, int cipher, int keyLength) {
    return RunWorker(2, input, [&](CProtectWizardData& data) {
      data.m_arrSignerCerts = {m_alice};
      data.m_arrRecipientCerts = {Cert("encrypt")};
      data.m_nCipher = cipher;
      data.m_nKeyLength = keyLength;
      Record(data.m_Payload, false);
    });
  }
  static void Record(PayloadEntry& record, bool drawn) {
    record.m_head.m_bFlag = 1;
    record.m_head.m_strDate = kStampText;
    record.m_strText2 = "I sign this report.";
    record.m_strText3 = "Alice Signer";
    record.m_strText4 = "Head of accounts";
    record.m_strText5 = "Brinmoor";
    if (!drawn) return;
    CFileManager files;
    std::unique_ptr<CSignatureFile> signature(kx::signing::NewSignatureFile(files, "Alice"));
    ASSERT_TRUE(signature);
    signature->m_image = BufferOf(WaveBitmap(180, 60));
    ASSERT_TRUE(signature->SaveToBuffer(record.m_buffer1));
    record.m_strText1 = "alice.sgr";
  }

  // DisplayTolvexFileSummary over the file, the script acting on the sheet; the export's result.
  static int Show(const std::string& path, const std::function<void(kx::UiDriver&, HWND)>& script) {
    INT_PTR result = kx::RunWithUiHere([&] { return INT_PTR(DisplayTolvexFileSummary(nullptr, path.c_str())); },
                                       [&](kx::UiDriver& d) {
                                         HWND sheet = d.WaitForTitle(kTitle);
                                         script(d, sheet);
                                         d.Click(d.Control(sheet, IDOK));
                                         d.WaitForGone(sheet);
                                       });
    return static_cast<int>(result);
  }
  static void Screenshot(kx::UiDriver& d, HWND window, const std::string& name) {
    const std::string folder = kxtest::BuildDir() + "/summary-shots";
    kxtest::Run("mkdir -p " + Q(folder));
    d.SavePng(window, folder + "/" + name + ".png");
  }
  static std::string ValidTo(const std::string& path, bool signer) {
    ProtectedFile file = Read(path);
    const CStringTripleList& list = signer ? file.object->m_info.m_signing.m_list : file.object->m_info.m_encryption.m_list;
    return list.m_third.GetAt(0).GetAnsi();
  }

  CCapicomCertificate m_alice{kx::engine::kEmpty};
};

// The report of each kind of protected file, line by line: the heading, the signature and encryption lines,
// the cipher and key length by their engine codes, and the signer and recipient blocks; an unsigned file keeps
// its main page alone.
TEST_F(Summary, TheReportOfEachKindOfFile) {
  WithKey("encrypt");
  const std::string input = File("report.doc", Content(70000));
  const std::string encrypted = Encrypted(input, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  const std::string signedFile = Signed(input, {m_alice});
  const std::string both = SignedAndEncrypted(input, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  const std::string head = kRule41 + R(457) + kEol + kRule41 + kEol;
  const std::string bob = R(469) + ": Bob Encryption\r\n" + R(472) + ": Test Intermediate CA\r\n" + R(471) + ": ";
  // The signer's third line names the end of the certificate's validity.
  const std::string alice = R(469) + ": Alice Signer\r\n" + R(470) + ": Test Intermediate CA\r\n" + R(201) + ": ";
  struct Case {
    const char* name;
    std::string path, report;
    std::vector<std::string> tabs;
  } cases[] = {
      {"encrypted", encrypted,
       head + R(458) + " " + R(460) + kEol + R(463) + " = " + R(235) + kEol + R(518) + kEol + R(461) + ": AES\r\n" +
           R(462) + ": 256 " + R(429) + kEol + R(519) + kEol + R(467) + kEol + kRule42 + R(524) + kEol + kRule42 + bob +
           ValidTo(encrypted, false) + "\r\n\r\n",
       {R(5313)}},
      {"signed", signedFile,
       head + R(458) + " " + R(459) + kEol + R(463) + " = " + R(235) + kEol + R(518) + kEol + R(519) + kEol + R(466) +
           kEol + kRule42 + R(522) + kEol + kRule42 + alice + ValidTo(signedFile, true) + "\r\n\r\n",
       {R(5313), R(5292), R(5293)}},
      {"signed-and-encrypted", both,
       head + R(458) + " " + R(459) + kEol + R(463) + " = " + R(234) + kEol + R(518) + kEol + R(461) +
           ": Triple DES\r\n" + R(462) + ": 128 " + R(429) + kEol + R(519) + kEol + R(466) + kEol + R(467) + kEol +
           kRule42 + R(522) + kEol + kRule42 + alice + ValidTo(both, true) + "\r\n\r\n" + kRule42 + R(524) + kEol +
           kRule42 + bob + ValidTo(both, false) + "\r\n\r\n",
       {R(5313), R(5292), R(5293)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MainPage main;
    std::vector<std::string> tabs;
    EXPECT_EQ(Show(c.path,
                   [&](kx::UiDriver& d, HWND sheet) {
                     main = ReadMainPage(d, sheet);
                     tabs = TabTexts(d, sheet);
                     Screenshot(d, sheet, std::string("main-") + c.name);
                   }),
              1);
    EXPECT_EQ(main.name, "report.doc");
    EXPECT_EQ(main.report, c.report);
    EXPECT_EQ(tabs, c.tabs);
    EXPECT_EQ(main.status, "");
    // Signature-only checks (the default) leave the details dialog out.
    EXPECT_FALSE(main.details);
  }

  // The report as a file is plain text with CR LF line ends.
  const std::string saved = File("report.txt", cases[2].report);
  std::string type;
  kxtest::Run("file -b " + Q(saved), &type);
  EXPECT_NE(type.find("with CRLF line terminators"), std::string::npos) << type;

  // Key-length code 0 (the engine's maximum) prints no key-length line; an unknown cipher code no cipher line.
  Rewrite(encrypted, [](CTolvexBinaryFile& file) {
    file.m_info.m_body.m_nested.m_bKeyLengthIndex = 0;
    file.m_info.m_body.m_nested.m_bCipherIndex = 9;
  });
  MainPage main;
  Show(encrypted, [&](kx::UiDriver& d, HWND sheet) { main = ReadMainPage(d, sheet); });
  EXPECT_EQ(main.report.find(R(461)), std::string::npos) << main.report;
  EXPECT_EQ(main.report.find(R(462)), std::string::npos) << main.report;
  EXPECT_NE(main.report.find(R(467)), std::string::npos) << main.report;
}

// What is no protected file shows nothing: no name, no report, no details, the main page alone.
TEST_F(Summary, WhatIsNoProtectedFileShowsNothing) {
  CFileManager files;
  std::unique_ptr<CSignatureFile> signature(kx::signing::NewSignatureFile(files, "Alice"));
  ASSERT_TRUE(signature);
  signature->m_image = BufferOf(WaveBitmap(8, 8));
  const std::string sgr = m_dir + "/alice.sgr";
  ASSERT_TRUE(signature->Save(sgr.c_str()));
  for (const std::string& path : {File("plain.txt", "no protected file\n"), sgr, m_dir + "/missing.tvx", std::string()}) {
    SCOPED_TRACE(path);
    MainPage main;
    std::vector<std::string> tabs;
    Show(path, [&](kx::UiDriver& d, HWND sheet) {
      main = ReadMainPage(d, sheet);
      tabs = TabTexts(d, sheet);
    });
    EXPECT_EQ(main.name, "");
    EXPECT_EQ(main.report, "");
    EXPECT_FALSE(main.details);
    EXPECT_EQ(tabs.size(), 1u);
  }
}

// The signers of a signed file, each verified over every block: the first with its drawn signature, time stamp
// and legal entries, the second without a drawing. A changed last block leaves no signer.
TEST_F(Summary, SignersVerifiedOverEveryBlockWithTheirSignaturesAndEntries) {
  AddFixtureCrls();
  CCapicomCertificate dave = WithKey("revoked");
  const std::string content = Content((5u << 19) + 99);  // three blocks
  const std::string path = Signed(File("report.doc", content), {m_alice, dave});
  std::vector<std::string> signers, entries, secondEntries;
  std::vector<int> marks;
  std::string stamp, hash, secondStamp, secondHash;
  bool padShown = false, secondPadShown = true;
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 1);
    HWND page = Page(d, sheet, kSignPage);
    HWND list = d.Control(page, kList);
    signers = Column(d, list);
    for (int row = 0; row < static_cast<int>(signers.size()); ++row) marks.push_back(RowMark(d, list, row));
    HWND pad = d.Control(page, kPad);
    HWND view = GetWindow(pad, GW_CHILD);
    stamp = d.Text(d.Control(page, kTimeStamp));
    hash = d.Text(d.Control(page, kHash));
    padShown = view && d.IsVisible(view);
    Screenshot(d, sheet, "signatures-drawn");
    kx::ControlDriver(d).ListClickRow(list, 1);
    d.WaitUntil([&] { return !d.IsVisible(view); }, "the second signer without a drawing");
    secondStamp = d.Text(d.Control(page, kTimeStamp));
    secondHash = d.Text(d.Control(page, kHash));
    secondPadShown = d.IsVisible(view);
    Screenshot(d, sheet, "signatures-second");

    ClickTab(d, sheet, 2);
    HWND gen = Page(d, sheet, kGenPage);
    EXPECT_EQ(Column(d, d.Control(gen, kList)), signers);
    for (int id : {kEntryA, kEntryB, kEntryC}) entries.push_back(d.Text(d.Control(gen, id)));
    Screenshot(d, sheet, "signers");
    kx::ControlDriver(d).ListClickRow(d.Control(gen, kList), 1);
    for (int id : {kEntryA, kEntryB, kEntryC}) secondEntries.push_back(d.Text(d.Control(gen, id)));
    // The testimony page.
    d.Click(d.Control(gen, 1129));
    HWND testimony = d.WaitForTitle("Legal Notice");
    d.PressKey(VK_ESCAPE);
    d.WaitForGone(testimony);
  });
  EXPECT_EQ(signers, (std::vector<std::string>{"Alice Signer", "Dave Revoked"}));
  // The mark is the certificate's validity verdict: the revoked signer's intact signature earns none.
  EXPECT_EQ(marks, (std::vector<int>{2, 1}));
  // The signatures' own digest algorithm (the engine signs with SHA-256), not a fixed name.
  const std::string hashLine = kRule40 + R(515) + kEol + R(516) + ": SHA-256\r\n" + kRule40;
  EXPECT_EQ(stamp, kStampText);
  EXPECT_EQ(hash, hashLine);
  EXPECT_TRUE(padShown);
  EXPECT_EQ(secondStamp, kStampText);
  // The second signer's details end with what its row judged wrong.
  EXPECT_EQ(secondHash, hashLine + "No Hand Drawn Signature was specified\r\nThe signature of Dave Revoked is intact, "
                                   "but its digital ID is not valid: " + std::string(kx::LoadAddResString(6104)) + "\r\n");
  EXPECT_FALSE(secondPadShown);
  EXPECT_EQ(entries, (std::vector<std::string>{"Alice Signer", "Head of accounts", "Brinmoor"}));
  EXPECT_EQ(secondEntries, entries);

  // The last block changed: the first still verifies, the content as a whole does not.
  ProtectedFile file = Read(path);
  ASSERT_EQ(file.blocks.size(), 3u);
  std::vector<std::string> blocks = file.blocks;
  blocks[2][10] ^= 1;
  Rewrite(path, [](CTolvexBinaryFile&) {}, &blocks);
  signers = {"?"};
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 1);
    signers = Column(d, d.Control(Page(d, sheet, kSignPage), kList));
  });
  EXPECT_TRUE(signers.empty());
}

// A time stamp left out, and a drawn signature that is no signature file, are said as such.
TEST_F(Summary, NoTimeStampAndNoDrawnSignature) {
  const std::string path = RunWorker(1, File("report.doc", Content(4000)), [&](CProtectWizardData& data) {
    data.m_arrSignerCerts = {m_alice};
    data.m_Payload.m_head.m_bFlag = 0;
    data.m_Payload.m_strText1 = "not a picture";
    data.m_Payload.m_buffer1 = BufferOf("KXTV and then nothing of a signature file");
  });
  std::string stamp, hash;
  bool padShown = true;
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 1);
    HWND page = Page(d, sheet, kSignPage);
    ASSERT_EQ(Column(d, d.Control(page, kList)), std::vector<std::string>{"Alice Signer"});
    stamp = d.Text(d.Control(page, kTimeStamp));
    hash = d.Text(d.Control(page, kHash));
    HWND view = GetWindow(d.Control(page, kPad), GW_CHILD);
    padShown = view && d.IsVisible(view);
  });
  EXPECT_EQ(stamp, "No Time Stamp was specified");
  EXPECT_EQ(hash.substr(hash.size() - 39), "No Hand Drawn Signature was specified\r\n");
  EXPECT_FALSE(padShown);
}

// Signature-only checks (the default) list a signer whose certificate has expired, unmarked; checks of the
// certificate as well leave it out.
TEST_F(Summary, AnExpiredSignerIsListedOnlyForSignatureOnlyChecks) {
  const std::string path = Signed(File("report.doc", Content(5000)), {WithKey("expired")}, false);
  for (DWORD signatureOnly : {1u, 0u}) {
    SCOPED_TRACE(signatureOnly);
    SetSetting("Config", "VerifySignatureOnly", signatureOnly);
    std::vector<std::string> rows;
    int mark = -1;
    Show(path, [&](kx::UiDriver& d, HWND sheet) {
      ClickTab(d, sheet, 2);
      HWND list = d.Control(Page(d, sheet, kGenPage), kList);
      rows = Column(d, list);
      if (!rows.empty()) mark = RowMark(d, list, 0);
    });
    if (signatureOnly) {
      EXPECT_EQ(rows, std::vector<std::string>{"Carol Expired"});
      EXPECT_EQ(mark, 1);
    } else {
      EXPECT_TRUE(rows.empty());
    }
  }
}

// Each signer judged as decrypting and verifying judges it, in one file signed by a good, a revoked, an expired,
// an untrusted self-signed, an RSA-1024 and an MD5-signed digital ID. Checking signatures only lists them all
// with only the good one marked, and the row's Check and signature details give the reason in the verdict's
// words; full checking lists the good one alone.
TEST_F(Summary, EachSignerIsJudgedAsDecryptingAndVerifyingJudgesIt) {
  const std::map<std::string, std::string> reasons = {
      {"Alice Signer", ""},
      {"Dave Revoked", "its digital ID is not valid: The certificate or a certificate above it in the chain has been revoked."},
      {"Carol Expired", "its digital ID is not valid: "},
      {"Una Untrusted", "its digital ID is not valid: The chain of the certificate ends in a root certificate that is not trusted."},
      {"Rob Short", "The signer's key is an RSA key of 1024 bits, too short to be safe (2048 at least)."},
      {"Mo Digest", "The signer's certificate is signed with MD5, a weak algorithm."},
  };
  const std::string path = Signed(File("report.doc", Content(5000)),
                                  {m_alice, WithKey("revoked"), WithKey("expired"), MakeId("self", "Una Untrusted", "self"),
                                   MakeId("short", "Rob Short", "inter", "rsa:1024"),
                                   MakeId("md5", "Mo Digest", "inter", "rsa:2048", "md5")},
                                  false);
  for (DWORD signatureOnly : {1u, 0u}) {
    SCOPED_TRACE(signatureOnly ? "signatures only" : "full checking");
    SetSetting("Config", "VerifySignatureOnly", signatureOnly);
    std::vector<std::string> rows;
    std::map<std::string, int> marks;
    std::map<std::string, std::string> checked, details;
    Show(path, [&](kx::UiDriver& d, HWND sheet) {
      ClickTab(d, sheet, 1);
      HWND page = Page(d, sheet, kSignPage);
      HWND list = d.Control(page, kList);
      rows = Column(d, list);
      for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        marks[rows[row]] = RowMark(d, list, row);
        kx::ControlDriver(d).ListClickRow(list, row);
        d.Click(d.Control(page, kCheck));
        d.AnswerMessageBox(IDYES);
        checked[rows[row]] = d.AnswerMessageBox(IDOK);
        details[rows[row]] = d.Text(d.Control(page, kHash));
      }
      Screenshot(d, sheet, std::string("judged-") + (signatureOnly ? "signatures-only" : "full"));
    });
    if (!signatureOnly) {
      EXPECT_EQ(rows, std::vector<std::string>{"Alice Signer"});
    } else {
      EXPECT_EQ(rows.size(), reasons.size());
    }
    for (const std::string& name : rows) {
      SCOPED_TRACE(name);
      const std::string& reason = reasons.at(name);
      EXPECT_EQ(marks[name], reason.empty() ? 2 : 1);
      if (reason.empty()) {
        CBstrString verdict;
        CCertPolicy().ValidateCertificate(m_alice, verdict);
        EXPECT_EQ(checked[name], verdict.GetAnsi());
        EXPECT_EQ(details[name].find("is intact, but"), std::string::npos) << details[name];
        continue;
      }
      const std::string said = "The signature of " + name + " is intact, but " + reason;
      EXPECT_EQ(checked[name].rfind(said, 0), 0u) << checked[name];
      EXPECT_NE(details[name].find(said), std::string::npos) << details[name];
    }
  }
}

// Signed and encrypted: with the recipient's digital ID the content key opens and the signer verifies; without
// it the status says so in red and no signer is listed, while the file keeps its three pages.
TEST_F(Summary, SignedAndEncryptedFilesNeedTheRecipientsKey) {
  const std::string input = File("report.doc", Content((3u << 19) + 5));
  const std::string path = SignedAndEncrypted(input, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  for (bool withKey : {false, true}) {
    SCOPED_TRACE(withKey);
    if (withKey) WithKey("encrypt");
    MainPage main;
    std::vector<std::string> rows, tabs;
    Show(path, [&](kx::UiDriver& d, HWND sheet) {
      main = ReadMainPage(d, sheet);
      tabs = TabTexts(d, sheet);
      if (!withKey) Screenshot(d, sheet, "main-no-key");
      ClickTab(d, sheet, 1);
      rows = Column(d, d.Control(Page(d, sheet, kSignPage), kList));
    });
    EXPECT_EQ(tabs.size(), 3u);
    EXPECT_EQ(main.status, withKey ? "" : R(526));
    EXPECT_EQ(rows, withKey ? std::vector<std::string>{"Alice Signer"} : std::vector<std::string>{});
  }

  // The same key kept in the extra block, as the header's flag says.
  Rewrite(path, [](CTolvexBinaryFile& file) {
    file.SetExtraBlockFlag(1);
    file.m_extraBlock = file.m_info.m_encryption.m_buffer;
    file.m_info.m_encryption.m_buffer.Free(false);
  });
  ASSERT_EQ(Read(path).object->m_info.m_encryption.m_buffer.GetLength(), 0u);
  std::vector<std::string> rows;
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 1);
    rows = Column(d, d.Control(Page(d, sheet, kSignPage), kList));
  });
  EXPECT_EQ(rows, std::vector<std::string>{"Alice Signer"});
}

// A signer whose signatures do not verify has no row; the rows after it show their own signers' entries.
TEST_F(Summary, EachRowShowsItsOwnSigner) {
  CCapicomCertificate dave = WithKey("revoked");
  const std::string path = Signed(File("report.doc", Content(5000)), {m_alice, dave});
  std::vector<std::string> rows, entries;
  auto readSigners = [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 2);
    HWND gen = Page(d, sheet, kGenPage);
    rows = Column(d, d.Control(gen, kList));
    entries.clear();
    for (int id : {kEntryA, kEntryB, kEntryC}) entries.push_back(d.Text(d.Control(gen, id)));
  };
  Show(path, readSigners);
  EXPECT_EQ(rows, (std::vector<std::string>{"Alice Signer", "Dave Revoked"}));

  Rewrite(path, [](CTolvexBinaryFile& file) {
    PayloadBody& body = file.m_info.m_body;
    std::vector<PayloadEntry> kept(body.GetEntryCount());
    for (DWORD i = 0; i < kept.size(); ++i) ASSERT_TRUE(body.GetEntry(i, kept[i]));
    kept[0].m_buffers.RemoveAll();
    kept[0].m_buffers.Add(BufferOf("no signature"));
    kept[1].m_strText3 = "Dave Revoked";
    kept[1].m_strText4 = "Auditor";
    body.m_entries.RemoveAll();
    for (const PayloadEntry& entry : kept) ASSERT_TRUE(body.AddEntry(entry));
  });
  Show(path, readSigners);
  EXPECT_EQ(rows, std::vector<std::string>{"Dave Revoked"});
  EXPECT_EQ(entries, (std::vector<std::string>{"Dave Revoked", "Auditor", "Brinmoor"}));
}

// A countersigned file lists both signers; the details dialog (with certificate checks) lists the same ones.
TEST_F(Summary, CountersignedFilesListEverySignerAndTheDetailsDialogAgrees) {
  CCapicomCertificate dave = WithKey("revoked");
  const std::string signedFile = Signed(File("report.doc", Content((3u << 19) + 11)), {m_alice}, false);
  const std::string path = RunWorker(3, signedFile, [&](CProtectWizardData& data) { data.m_arrSignerCerts = {dave}; });
  std::vector<std::string> rows;
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 2);
    rows = Column(d, d.Control(Page(d, sheet, kGenPage), kList));
  });
  EXPECT_EQ(rows, (std::vector<std::string>{"Alice Signer", "Dave Revoked"}));

  // A file signed and encrypted under the system's own cipher, whose last block is filled up: the details
  // dialog verifies the signer over the opened and cut content.
  SetSetting("Config", "VerifySignatureOnly", 0);
  WithKey("encrypt");
  CTvxFormatSettings format;
  format.m_nFormatVersion = 2;
  ASSERT_EQ(format.Save(), ERROR_SUCCESS);
  const std::string both = SignedAndEncrypted(File("odd.doc", Content(70001)), CAPICOM_ENCRYPTION_ALGORITHM_AES,
                                              CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
  ASSERT_EQ(Read(both).object->m_info.m_abFormat[3], 2);
  std::vector<std::string> pageRows, dialogRows;
  Show(both, [&](kx::UiDriver& d, HWND sheet) {
    HWND main = Page(d, sheet, kMainPage);
    ClickTab(d, sheet, 1);
    pageRows = Column(d, d.Control(Page(d, sheet, kSignPage), kList));
    ClickTab(d, sheet, 0);
    d.Click(d.Control(Page(d, sheet, kMainPage), kDetails));
    HWND dialog = d.WaitForDialog(30055);
    dialogRows = Column(d, d.Control(dialog, kList));
    Screenshot(d, dialog, "details");
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
    EXPECT_TRUE(d.IsEnabled(d.Control(main, kDetails)));
  });
  EXPECT_EQ(pageRows, std::vector<std::string>{"Alice Signer"});
  EXPECT_EQ(dialogRows, pageRows);
}

// A signer's certificate: exported to a file openssl reads, checked under the trust policy with the policy's
// own text, shown in the certificate dialog (also by a double click), and kept among the contacts.
TEST_F(Summary, ASignersCertificateIsExportedCheckedShownAndKept) {
  const std::string path = Signed(File("report.doc", Content(5000)), {m_alice}, false);
  CBstrString policyText;
  // The signer list has judged the certificate (its mark) before Check asks: any judgement gives the same text.
  CCertPolicy().ValidateCertificate(m_alice, policyText);
  std::string saved, question, verdict, viewed, doubleClicked;
  Show(path, [&](kx::UiDriver& d, HWND sheet) {
    ClickTab(d, sheet, 1);
    HWND page = Page(d, sheet, kSignPage);
    kx::ControlDriver c(d);
    d.Click(d.Control(page, kExport));
    c.FillFileDialog(m_dir, {"alice.cer"});
    saved = d.AnswerMessageBox(IDOK);

    d.Click(d.Control(page, kCheck));
    question = d.AnswerMessageBox(IDYES);
    verdict = d.AnswerMessageBox(IDOK);

    d.Click(d.Control(page, kView));
    HWND dialog = d.WaitForDialog(30055);
    viewed = Column(d, d.Control(dialog, kList)).at(0);
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);
    c.ListDoubleClickRow(d.Control(page, kList), 0);
    dialog = d.WaitForDialog(30055);
    doubleClicked = Column(d, d.Control(dialog, kList)).at(0);
    d.Click(d.Control(dialog, IDOK));
    d.WaitForGone(dialog);

    d.Click(d.Control(page, kContacts));
  });
  EXPECT_EQ(saved, R(212));
  std::string subject;
  EXPECT_EQ(kxtest::Run("openssl x509 -inform DER -noout -subject -in " + Q(m_dir + "/alice.cer") + " 2>&1", &subject), 0)
      << subject;
  EXPECT_NE(subject.find("Alice Signer"), std::string::npos) << subject;
  EXPECT_EQ(kxtest::ReadFile(m_dir + "/alice.cer"), kxtest::pki::DerBytes("signer"));
  EXPECT_EQ(question, R(214));
  EXPECT_EQ(verdict, policyText.GetAnsi() ? policyText.GetAnsi() : "");
  EXPECT_FALSE(verdict.empty());
  EXPECT_EQ(viewed, "Alice Signer");
  EXPECT_EQ(doubleClicked, "Alice Signer");
  CCapicomStore contacts;
  ASSERT_EQ(contacts.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY), S_OK);
  CCapicomCertificates kept = contacts.GetCertificates();
  ASSERT_EQ(kept.GetCount(), 1);
  EXPECT_STREQ(kept.GetItem(1).GetInfo(0).GetAnsi(), "Alice Signer");
}

// The mail forms: the mail properties export words the report and the main page for a message; the mail
// summary sheet made by its class name keeps the ordinary wording, shows the status in red and keeps its list
// pages for a signed file only.
TEST_F(Summary, TheMailForms) {
  WithKey("encrypt");
  const std::string input = File("message.eml", Content(3000));
  const std::string signedFile = Signed(input, {m_alice}, false);
  const std::string encrypted = Encrypted(input, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS);

  MainPage main;
  kx::RunWithUiHere([&] { return INT_PTR(DisplayMailTolvexProperties(0, signedFile.c_str(), "Sent through a relay")); },
                    [&](kx::UiDriver& d) {
                      HWND sheet = d.WaitForTitle(R(301));
                      main = ReadMainPage(d, sheet);
                      Screenshot(d, sheet, "mail-properties");
                      d.Click(d.Control(sheet, IDOK));
                      d.WaitForGone(sheet);
                    });
  EXPECT_EQ(main.name, R(528));
  EXPECT_EQ(main.nameLabel, R(527));
  EXPECT_EQ(main.reportLabel, R(382));
  EXPECT_EQ(main.status, "Sent through a relay");
  EXPECT_EQ(main.report.substr(0, kRule41.size() + R(517).size()), kRule41 + R(517));
  EXPECT_NE(main.report.find(R(520) + kEol), std::string::npos);
  EXPECT_NE(main.report.find(R(523) + kEol), std::string::npos);

  for (const std::string& path : {signedFile, encrypted}) {
    SCOPED_TRACE(path);
    CFormsObjectProvider provider;
    CBaseSheet* made = nullptr;
    provider.CreateSheetByName("CMailSummarySheet", nullptr, &made);
    std::unique_ptr<CMailSummarySheet> sheet(dynamic_cast<CMailSummarySheet*>(made));
    ASSERT_TRUE(sheet);
    sheet->m_strFilePath = path.c_str();
    sheet->m_strStatusText = "Sent through a relay";
    std::vector<std::string> tabs;
    COLORREF colour = 0;
    kx::RunWithUiHere([&] { return sheet->DoModal(); },
                      [&](kx::UiDriver& d) {
                        HWND window = d.WaitForTitle("MailTolvex Information");
                        main = ReadMainPage(d, window, kMailMainPage);
                        tabs = TabTexts(d, window);
                        d.Invoke(window, [&] { colour = sheet->m_pageMailMain.m_lblStatus.GetTextColor(); });
                        if (path == signedFile) Screenshot(d, window, "mail-summary");
                        d.Click(d.Control(window, IDOK));
                        d.WaitForGone(window);
                      });
    EXPECT_EQ(main.status, "Sent through a relay");
    EXPECT_EQ(colour, RGB(255, 0, 0));
    EXPECT_EQ(main.name, "message.eml");
    EXPECT_EQ(main.report.substr(0, kRule41.size() + R(457).size()), kRule41 + R(457));
    if (path == signedFile) {
      EXPECT_EQ(tabs, (std::vector<std::string>{R(5315), R(5316), R(5293)}));
    } else {
      EXPECT_EQ(tabs, std::vector<std::string>{R(5315)});
      EXPECT_NE(main.report.find(R(461) + ": Triple DES\r\n" + R(462) + ": 192 " + R(429)), std::string::npos);
    }
  }
}

}  // namespace
