// Page 3 of the code-signing wizard: the run and its results.
#include "archives/CodeSignRun.h"

#include "app/ResString.h"
#include "archives/CodeSignWizard.h"
#include "core/Paths.h"

namespace {

enum { IDC_RUN_AGAIN = 1085, IDC_RESULTS = 1033 };

}  // namespace

IMPLEMENT_DYNCREATE(CCodeFinalPage, CArchiveResultsPage)

BEGIN_MESSAGE_MAP(CCodeFinalPage, CArchiveResultsPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgainWhenIdle)
  ON_NOTIFY(NM_DBLCLK, IDC_RESULTS, OnListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_RESULTS, OnListItemChanged)
END_MESSAGE_MAP()

CCodeFinalPage::CCodeFinalPage() : CArchiveResultsPage(IDD) {}

CCodeFinalPage::~CCodeFinalPage() = default;

CCodeSignWizard* CCodeFinalPage::Sheet() { return dynamic_cast<CCodeSignWizard*>(GetParentSheet()); }

CPropertySheet* CCodeFinalPage::WizardSheet() { return Sheet(); }

CProtectWizardData* CCodeFinalPage::WizardData() {
  CCodeSignWizard* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CResultsPageBase::WorkerProc CCodeFinalPage::WorkerFor(int mode) {
  return mode == 4 ? CodeVerifyThreadProc : CodeSignThreadProc;
}

void CCodeFinalPage::StartWorker(WorkerProc proc) {
  CCodeSignWizard* sheet = Sheet();
  // Without a thread the timer ends the run.
  if (!sheet->m_Worker.Start(proc, sheet)) sheet->m_WizardData.m_bOperationDone.store(1);
}

void CCodeFinalPage::WaitForWorker() {
  // Run Again: the ended run's buttons go before the last worker is woken from its pause and waited for, so
  // that the wizard is not left meanwhile.
  CCodeSignWizard* sheet = Sheet();
  sheet->SetWizardButtons(PSWIZB_DISABLEDFINISH);
  if (CWnd* cancel = sheet->GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
  sheet->m_Worker.End();
}

CString CCodeFinalPage::PlannedOutputName(const CPathParts& input, int) { return input.GetFileName(); }

void CCodeFinalPage::RunTexts(int mode, CString& runAgain, CString& title, CString& status) {
  const bool verify = mode == 4;
  runAgain = LoadResString(verify ? 585 : 341);
  title = LoadResString(verify ? 586 : 342);
  status = LoadResString(verify ? 587 : 343);
}

CResultsPageBase::PendingRow CCodeFinalPage::PlanRow(const CString& path) {
  // Only a regular file that is not empty can be signed or verified; every row shows the same image.
  const InputFile file = LookAtInput(path);
  PendingRow row;
  const bool regular = file.readable && file.regular;
  row.usable = regular && !file.empty;
  if (regular) row.date = file.date;
  row.image = 1;
  row.flagA = row.usable ? 1 : 0;
  return row;
}

BOOL CCodeFinalPage::OnKillActive() {
  // No page change while the worker uses this page.
  if (m_bBusy) return FALSE;
  return CArchiveResultsPage::OnKillActive();
}

BOOL CCodeFinalPage::OnQueryCancel() {
  if (m_bBusy) return FALSE;
  return CArchiveResultsPage::OnQueryCancel();
}

void CCodeFinalPage::EngineUnavailable(HRESULT hr) {
  AfxMessageBox(kx::codesign::EngineText(hr), MB_OK);
  WizardData()->m_bOperationDone.store(1);
  OnRunEnded();
}

void CCodeFinalPage::RunAgainCleared() { SetProgressPos(0); }

CString CCodeFinalPage::ReportFatalError(HRESULT hr) {
  return LogFatalError("Code Sign Wizard Fatal", kx::codesign::EngineText(hr));
}

void CCodeFinalPage::OnRunAgainWhenIdle() {
  if (!m_bBusy) OnRunAgain();
}

void CCodeFinalPage::OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  SelectResultRow(item && (item->uNewState & LVIS_SELECTED) ? item->iItem : -1);
  if (pResult) *pResult = 0;
}

void CCodeFinalPage::OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR);
  SelectResultRow(item ? item->iItem : -1);
  if (!m_bBusy) OnDetails();
  if (pResult) *pResult = 0;
}
