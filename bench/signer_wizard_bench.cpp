// A 1-byte file encrypted through the Signer Wizard as a person does it (files page, cipher page, recipients,
// processing, Finish), with the workers' own pauses: the time from the wizard's start to its end. Built on the
// Signer Wizard tests' set-up; a benchmark, run by hand, never part of the tests.
#include <algorithm>
#include <cstdio>

#include "app/pages.h"
#include "bench/bench_util.h"
#include "core/SettingsStore.h"
#include "formats/AuditLog.h"
#include "formats/AuditLogFile.h"
#include "formats/FileManager.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/ui/prsht.h"
#include "signing/signing_test.h"

extern "C" int SignerWizardOperation(HWND parent, BYTE operation, LPCSTR path, LPCSTR outputFolder, CString* resultPath,
                                     CString* resultText);

using namespace signtest;

namespace {

class SignerWizardBench : public SigningTest {
 protected:
  void SetUp() override {
    SigningTest::SetUp();
    AddCert("AddressBook", "encrypt");
    kx::signing::Pauses() = kx::signing::WorkerPauses{};  // the real pauses
  }
};

TEST_F(SignerWizardBench, OneByteEncrypt) {
  WithKey("encrypt");
  std::vector<double> runs;
  for (int i = 0; i < kxbench::Runs(); ++i) {
    std::string in = File("one" + std::to_string(i) + ".doc", "x"), out = kxtest::MakeTempDir("out" + std::to_string(i));
    CString path, text;
    double start = 0, end = 0;
    kx::RunWithUiHere(
        [&] {
          start = kxbench::Now();
          INT_PTR r = SignerWizardOperation(nullptr, 0, in.c_str(), out.c_str(), &path, &text);
          end = kxbench::Now();
          return r;
        },
        [&](kx::UiDriver& d) {
          HWND sheet = d.WaitForTitle("Signer Wizard");
          kxtest::Page(d, sheet, 105);
          d.Click(d.Control(sheet, ID_WIZNEXT));
          kxtest::Page(d, sheet, 4208);
          d.Click(d.Control(sheet, ID_WIZNEXT));
          HWND recipients = kxtest::Page(d, sheet, 4209);
          d.Click(d.Control(recipients, 1043));
          HWND picker = d.WaitForTitle("Select Recipients' Digital IDs");
          certsel::ClickTab(d, picker, 2);
          HWND page = d.WaitForDialog(4216);
          kx::ControlDriver(d).ListPickRow(d.Control(page, 1033), "Bob Encryption");
          d.Click(d.Control(page, 1050));
          d.Click(d.Control(picker, IDOK));
          d.WaitForGone(picker);
          d.SetCheck(d.Control(recipients, 1097), false);
          d.Click(d.Control(sheet, ID_WIZNEXT));
          HWND processing = kxtest::Page(d, sheet, 4210);
          d.WaitForText(d.Control(processing, 1088), "1 of 1 files processed");
          kxtest::FinishRun(d, sheet);
        });
    EXPECT_EQ(path.str(), out + "/one" + std::to_string(i) + ".doc.Tvx");
    runs.push_back(end - start);
  }
  std::sort(runs.begin(), runs.end());
  double median = runs[runs.size() / 2];
  std::printf("1-byte encrypt through the Signer Wizard: %.3f s (median of %zu; target under 2.3 s: %s)\n", median,
              runs.size(), median < 2.3 ? "met" : "NOT met");
}

// A batch of 200 files of 16 KiB encrypted by the Signer Wizard's worker (each file also writes its audit
// entry), once with an empty audit log and once with one of 4 MB; runs alternate.
TEST_F(SignerWizardBench, BatchWithEmptyAndLargeAuditLog) {
  kx::signing::Pauses() = {0, 0, 61000};
  WithKey("encrypt");
  StartAuditLog();
  std::vector<std::string> files;
  for (int i = 0; i < 200; ++i) files.push_back(File("batch" + std::to_string(i) + ".doc", Content(16384)));
  CString logPath;
  ASSERT_TRUE(CAuditLog().GetLogFilePath(logPath));
  auto prepare = [&](DWORD entries) {
    CFileManager manager;
    std::unique_ptr<CAuditLogFile> log(static_cast<CAuditLogFile*>(manager.CreateFileObject("KALF")));
    log->SetCreationDate();
    log->SetCreationTime();
    for (DWORD i = 0; i < entries; ++i)
      log->m_entries.Add(CAuditLogEntry("Encrypt Operation", "Thursday, 10 December 2026 20:00:00", "Information",
                                        ("The file was encrypted: /home/user/report-" + std::to_string(i) + ".doc").c_str()));
    ASSERT_TRUE(log->Save(logPath));
  };
  auto batch = [&](int run) {
    auto sheet = NewSheet(0, files, kxtest::MakeTempDir("batch-out" + std::to_string(run)));
    sheet->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
    sheet->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_3DES;
    sheet->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
    double start = kxbench::Now();
    Run(*sheet, EncryptThreadProc);
    return kxbench::Now() - start;
  };
  const DWORD big = (4u << 20) / CAuditLogEntry::GetSize();
  std::vector<double> empty, large;
  for (int i = 0; i < kxbench::Runs(); ++i) {
    prepare(0);
    empty.push_back(batch(2 * i));
    prepare(big);
    large.push_back(batch(2 * i + 1));
  }
  EXPECT_EQ(AuditEntries().size(), big + 200);
  double e = kxbench::Median(empty), l = kxbench::Median(large);
  std::printf("batch of 200 files through the encrypt worker: empty log %.3f s (%.2f ms a file), 4 MB log %.3f s "
              "(%.2f ms a file): ratio %.2fx (target within 1.10x: %s)\n",
              e, e * 5, l, l * 5, l / e, l / e <= 1.10 ? "met" : "NOT met");
}

}  // namespace
