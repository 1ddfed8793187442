#include "encryption/EncFinalPage.h"

#include "app/ResString.h"
#include "core/Paths.h"
#include "encryption/EncryptionWizard.h"

namespace {
constexpr UINT kDecryptingTitle = 31520, kDecryptingStatus = 31521;
}  // namespace

IMPLEMENT_DYNCREATE(EncFinalPage, CResultsPageBase)

EncFinalPage::EncFinalPage() : CResultsPageBase(IDD, 0, 164, 165) {}

CEncryptionWizard* EncFinalPage::Sheet() { return dynamic_cast<CEncryptionWizard*>(GetParentSheet()); }

CPropertySheet* EncFinalPage::WizardSheet() { return Sheet(); }

CProtectWizardData* EncFinalPage::WizardData() {
  CEncryptionWizard* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CResultsPageBase::WorkerProc EncFinalPage::WorkerFor(int mode) {
  if (mode == 0) return EncFinalEncryptThreadProc;
  if (mode == 4) return EncFinalDecryptVerifyThreadProc;
  return nullptr;
}

void EncFinalPage::StartWorker(WorkerProc proc) { Sheet()->StartWorker(proc); }

void EncFinalPage::WaitForWorker() { Sheet()->EndWorker(); }

CString EncFinalPage::PlannedOutputName(const CPathParts& input, int mode) {
  CString output = input.GetFileName();
  if (mode != 4) output += input.GetExtension() + ".Etv";
  return output;
}

void EncFinalPage::RunTexts(int mode, CString& runAgain, CString& title, CString& status) {
  CResultsPageBase::RunTexts(mode, runAgain, title, status);
  if (mode != 4) return;
  title = LoadResString(kDecryptingTitle);
  status = LoadResString(kDecryptingStatus);
}

CString EncFinalPage::RunAgainQuestion() { return LoadResString(555) + "\n" + LoadResString(328); }

CString EncFinalPage::DetailsTitle() { return LoadResString(556); }

LRESULT EncFinalPage::OnWizardBack() {
  if (CEncryptionWizard* sheet = Sheet()) {
    sheet->SetActivePage(CEncryptionWizard::kFilePage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

void EncFinalPage::ShowEndedRun() {
  const int count = static_cast<int>(Sheet()->m_WizardData.m_arrInputFiles.GetSize());
  CString text;
  text.Format("%d  of  %d Completed.", count, count);
  kx::signing::SetLabelText(m_lblProgress, text);
  for (int i = 0; i < m_ctlResultList.GetItemCount(); ++i) {
    const bool good = i < m_arrResults.GetSize() && m_arrResults[i] == "Success";
    m_ctlResultList.SetRowMark(i, good ? 1 : 0, 0, 0);
  }
  UpdateResultButtons();
}
