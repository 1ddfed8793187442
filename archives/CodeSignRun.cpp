// Page 3 of the code-signing wizard: the run and its results.
#include "archives/CodeSignRun.h"

#include "app/ResString.h"
#include "archives/CodeSignWizard.h"
#include "core/Paths.h"
#include "engine/CapicomSignedCode.h"
#include "engine/CapicomSigner.h"
#include "platform/capicom/capicom_defs.h"

namespace {

enum { IDC_RUN_AGAIN = 1085, IDC_RESULTS = 1033, IDC_DETAILS = 1080 };

// The texts of a program's signature details.
constexpr UINT kSignedBy = 31510, kIssuedBy = 31511, kValidTo = 31512, kTimeStamp = 31513, kNoTimeStamp = 31514,
               kDigestHolds = 31515, kDigestFails = 31516, kNotSigned = 31517;

CString Ansi(const CBstrString& text) { return CString(text.GetAnsi() ? text.GetAnsi() : ""); }

// Who signed the program, who time-stamped it, and whether its digest and signature still hold.
CString ProgramSignatureText(const CString& path) {
  CString text = path + "\n\n";
  try {
    CCapicomSignedCode code;
    code.PutFileName(path);
    HRESULT verified = S_OK;
    try {
      verified = code.Verify(false);
    } catch (const _com_error& e) {
      verified = e.Error();
    }
    const CCapicomCertificate signer = code.GetSigner().GetCertificate();
    char until[64] = "";
    signer.GetValidToDate().Format(until, sizeof until);
    text += LoadResString(kSignedBy) + " " + Ansi(signer.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME)) + "\n";
    text += LoadResString(kIssuedBy) + " " + Ansi(signer.GetInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME)) + "\n";
    text += LoadResString(kValidTo) + " " + until + "\n";
    CString stamper;
    try {
      stamper = Ansi(code.GetTimeStamper().GetCertificate().GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME));
    } catch (const _com_error&) {
    }
    text += LoadResString(kTimeStamp) + " " + (stamper.IsEmpty() ? LoadResString(kNoTimeStamp) : stamper) + "\n";
    text += SUCCEEDED(verified) ? LoadResString(kDigestHolds) : LoadResString(kDigestFails) + " " + kx::codesign::EngineText(verified);
  } catch (const _com_error&) {
    text += LoadResString(kNotSigned);
  }
  return text;
}

}  // namespace

IMPLEMENT_DYNCREATE(CCodeFinalPage, CArchiveResultsPage)

BEGIN_MESSAGE_MAP(CCodeFinalPage, CArchiveResultsPage)
  ON_BN_CLICKED(IDC_RUN_AGAIN, OnRunAgainWhenIdle)
  ON_BN_CLICKED(IDC_DETAILS, OnProgramDetails)
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
  OnProgramDetails();
  if (pResult) *pResult = 0;
}

void CCodeFinalPage::OnProgramDetails() {
  const CProtectWizardData* data = WizardData();
  if (m_bBusy || !data || m_nSelectedRow < 0) return;
  const bool done = m_nSelectedRow < m_arrResults.GetSize() && m_arrResults[m_nSelectedRow].CompareNoCase("Success") == 0;
  if (!done) {
    OnDetails();
    return;
  }
  CString path;
  if (data->m_nMode == 4) {
    if (m_nSelectedRow < data->m_arrInputFiles.GetSize()) path = data->m_arrInputFiles[m_nSelectedRow];
  } else if (m_nSelectedRow < m_arrOutputFiles.GetSize()) {
    path = m_arrOutputFiles[m_nSelectedRow];
  }
  if (!path.IsEmpty()) AfxMessageBox(ProgramSignatureText(path), MB_OK | MB_ICONINFORMATION);
}
