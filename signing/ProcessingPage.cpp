#include "signing/ProcessingPage.h"

#include "app/ResString.h"
#include "core/Paths.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"

namespace {

constexpr UINT_PTR kAutoFinishTimer = 2;

bool IsError(const CString& entry) { return entry.CompareNoCase("Error") == 0; }

}  // namespace

IMPLEMENT_DYNCREATE(CPWDecryptPage, CResultsPageBase)

BEGIN_MESSAGE_MAP(CPWDecryptPage, CResultsPageBase)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPWDecryptPage::CPWDecryptPage() : CResultsPageBase(IDD, 0, 117, 116) {}

CPWDecryptPage::~CPWDecryptPage() = default;

CSignSheet* CPWDecryptPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

CPropertySheet* CPWDecryptPage::WizardSheet() { return Sheet(); }

CProtectWizardData* CPWDecryptPage::WizardData() {
  CSignSheet* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CResultsPageBase::WorkerProc CPWDecryptPage::WorkerFor(int mode) {
  switch (mode) {
    case 0: return EncryptThreadProc;
    case 1: return SignThreadProc;
    case 2: return SignAndEncryptThreadProc;
    case 3: return CountersignThreadProc;
    case 4: return DecryptVerifyThreadProc;
    default: return nullptr;
  }
}

void CPWDecryptPage::StartWorker(WorkerProc proc) { Sheet()->StartWorker(proc); }

void CPWDecryptPage::WaitForWorker() { Sheet()->EndWorker(); }

WPARAM CPWDecryptPage::FinishCode() {
  CSignSheet* sheet = Sheet();
  return static_cast<WPARAM>(sheet ? sheet->m_FinishPage.m_nFinishCode : 101);
}

CString CPWDecryptPage::PlannedOutputName(const CPathParts& input, int mode) {
  CString output = input.GetFileName();
  if (mode != 4) output += ".tvx";
  return output;
}

UINT CPWDecryptPage::SuccessTextId(BOOL warning) { return warning == 1 ? 361 : 359; }

CString CPWDecryptPage::RunAgainQuestion() { return LoadResString(239) + " " + LoadResString(328); }

CString CPWDecryptPage::DetailsTitle() { return "Tolvex(.tvx) Details"; }

bool CPWDecryptPage::AutoFinishes() {
  const CProtectWizardData* data = WizardData();
  return data && data->m_bAutoFinish && data->m_nMode == 4;
}

bool CPWDecryptPage::CanOpenOutputs() {
  const CProtectWizardData* data = WizardData();
  return !data || data->m_nMode == 4;
}

bool CPWDecryptPage::PassesOn() {
  CSignSheet* sheet = Sheet();
  if (!sheet || !sheet->IsOneClick()) return false;
  sheet->GoToPage(CSignSheet::kFinishPage);
  return true;
}

LRESULT CPWDecryptPage::OnWizardBack() {
  if (CSignSheet* sheet = Sheet()) {
    sheet->GoToPage(CSignSheet::kFilePage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

LRESULT CPWDecryptPage::OnWizardNext() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  sheet->GoToPage(CSignSheet::kFinishPage);
  return -1;
}

void CPWDecryptPage::OnOtherTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kAutoFinishTimer) EndAutoFinish();
  Default();
}

void CPWDecryptPage::AfterRunEnded() {
  if (AutoFinishes() && m_arrOutputFiles.GetSize() == 1 && !IsError(m_arrOutputFiles[0])) StartAutoFinish();
}

void CPWDecryptPage::StartAutoFinish() {
  CSignSheet* sheet = Sheet();
  BeginWaitCursor();
  m_strAutoFinishFile = m_arrOutputFiles[0];
  m_dwAutoFinishAttributes = GetFileAttributes(m_strAutoFinishFile);
  // The file is opened read-only: what the user sees is what was decrypted.
  if (m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES && !(m_dwAutoFinishAttributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes | FILE_ATTRIBUTE_READONLY);
  m_nSelectedRow = 0;
  OpenCurrentOutput();
  m_bAutoFinishing = 1;
  sheet->ShowWindow(SW_HIDE);
  EndWaitCursor();
  SetTimer(kAutoFinishTimer, kx::signing::Pauses().autoFinish, nullptr);
}

void CPWDecryptPage::EndAutoFinish() {
  KillTimer(kAutoFinishTimer);
  if (!m_bAutoFinishing) return;
  m_bAutoFinishing = 0;
  if (m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes);
  if (CSignSheet* sheet = Sheet()) sheet->PressButton(PSBTN_FINISH);
}

void CPWDecryptPage::OnDestroy() {
  // A wizard closed while its decrypted file was shown: the file gets its attributes back all the same.
  if (m_bAutoFinishing && m_dwAutoFinishAttributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributes(m_strAutoFinishFile, m_dwAutoFinishAttributes);
  m_bAutoFinishing = 0;
  CPropertyPage::OnDestroy();
}

// ---- trust texts ----

bool GetTrustErrorText(HRESULT hr, CString& text) {
  text.Empty();
  const auto code = static_cast<uint32_t>(hr);
  UINT id = 0;
  if (code == 0x800B0001u) id = 5000;
  else if (code >= 0x800B0002u && code <= 0x800B000Bu) id = 386 + (code - 0x800B0002u);
  else if (code == 0x800B0100u) id = 396;
  else if (code >= 0x800B0101u && code <= 0x800B0114u) id = 397 + (code - 0x800B0101u);
  if (!id) return false;
  text = LoadResString(id);
  return true;
}
