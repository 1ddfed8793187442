#include "signing/SelectCertPage.h"

#include "app/FinishPage.h"
#include "certificates/CertificateRows.h"
#include "certificates/SelCertSheet.h"
#include "controls/ProgressPopupWnd.h"
#include "engine/CapicomObjectSet.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "signing/SignSheet.h"

namespace {

constexpr int kAddButton = 1043, kViewButton = 1012, kList = 1033, kLabel = 1046, kSwitch = 1097;
constexpr UINT_PTR kStepTimer = 1, kEndTimer = 2;
constexpr int kProcessingPage = 4, kFinishPage = 10;
constexpr const char* kNoRecipients = "Please select recipients digital IDs";

}  // namespace

IMPLEMENT_DYNCREATE(CSelectCertPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSelectCertPage, CPropertyPage)
  ON_BN_CLICKED(kAddButton, OnAddRecipients)
  ON_BN_CLICKED(kViewButton, OnViewCertificate)
  ON_NOTIFY(LVN_ITEMCHANGED, kList, OnRecipientChanged)
  ON_NOTIFY(NM_DBLCLK, kList, OnRecipientDblClk)
  ON_BN_CLICKED(kSwitch, OnBrastelClicked)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CSelectCertPage::CSelectCertPage() : CPropertyPage(IDD, 0, 113, 110) {}

CSelectCertPage::~CSelectCertPage() {
  // The worker uses the sheet's operation data, which outlives this page: it ends first.
  WaitForWorker();
  delete m_pProgress;
}

void CSelectCertPage::WaitForWorker() {
  if (!m_pWorker) return;
  WaitForSingleObject(m_pWorker->m_hThread, INFINITE);
  delete m_pWorker;
  m_pWorker = nullptr;
}

void CSelectCertPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, kLabel, m_label);
  DDX_Control(pDX, kList, m_list);
  DDX_Check(pDX, kSwitch, m_bBrastelSwitch);
}

BOOL CSelectCertPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_list.SetFullRowDraw(TRUE);
  return TRUE;
}

CSignSheet* CSelectCertPage::GetSignSheet() { return DYNAMIC_DOWNCAST(CSignSheet, GetParentSheet()); }

bool CSelectCertPage::InOneClickSheet() {
  CSignSheet* sheet = GetSignSheet();
  return sheet && sheet->IsOneClick();
}

void CSelectCertPage::SetButtons(DWORD flags) {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(flags);
}

void CSelectCertPage::SetSwitch(BOOL enable, int on) {
  if (CWnd* control = GetDlgItem(kSwitch)) control->EnableWindow(enable);
  // The box shows what the member holds, so that leaving the page reads back the same value.
  CheckDlgButton(kSwitch, on ? BST_CHECKED : BST_UNCHECKED);
  m_bBrastelSwitch = on;
}

void CSelectCertPage::RefreshRecipientList() {
  m_list.DeleteAllItems();
  CCertificateRows rows;
  for (INT_PTR i = 0; i < m_Recipients.GetSize(); ++i) {
    try {
      rows.Add(m_Recipients[i]);
    } catch (const _com_error&) {
      // A certificate the engine cannot read gets no row.
    }
  }
  CStringList headings;
  for (const char* heading : {"Issued To", "Issued By", "Valid To", "Valid From"}) headings.AddTail(heading);
  rows.Show(m_list, headings, false);
  m_list.SetFocus();
}

void CSelectCertPage::OnAddRecipients() {
  CSignSheet* owner = GetSignSheet();
  CSelCertSheet sheet("Select Recipients' Digital IDs", this, 0);
  sheet.m_Use = CertificateUse::Recipient;
  CWnd* add = GetDlgItem(kAddButton);
  if (add && add->GetSafeHwnd()) {
    add->GetWindowRect(&sheet.m_rcOrigin);
    sheet.m_bOwnAnimation = 1;
  }
  if (m_Recipients.GetSize() > 0) sheet.m_Selected.Copy(m_Recipients);
  if (sheet.DoModal() == IDOK && owner) {
    m_Recipients.Copy(sheet.m_Selected);
    CProtectWizardData& data = owner->m_WizardData;
    data.m_arrRecipientCerts.clear();
    for (INT_PTR i = 0; i < m_Recipients.GetSize(); ++i) data.m_arrRecipientCerts.push_back(m_Recipients[i]);
    RefreshRecipientList();
  }
  if (m_Recipients.GetSize() > 0 && owner && m_bBrastelSwitch)
    SetButtons(InOneClickSheet() ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK | PSWIZB_FINISH);
  else
    SetButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

void CSelectCertPage::OnRecipientChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* n = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if ((n->uChanged & LVIF_STATE) && (n->uNewState & LVIS_SELECTED)) m_nSelected = n->iItem;
  *pResult = 0;
}

void CSelectCertPage::OnRecipientDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  m_nSelected = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  OnViewCertificate();
  *pResult = 0;
}

void CSelectCertPage::OnViewCertificate() {
  if (m_nSelected < 0 || m_nSelected >= m_Recipients.GetSize()) return;
  try {
    m_Recipients[m_nSelected].Display();
  } catch (const _com_error&) {
    // The engine's certificate dialog is not available: nothing is shown.
  }
}

BOOL CSelectCertPage::OnSetActive() {
  BeginWaitCursor();
  RefreshRecipientList();
  Sleep(1089);
  EndWaitCursor();

  if (CSignSheet* sheet = GetSignSheet()) {
    const CProtectWizardData& data = sheet->m_WizardData;
    const INT_PTR files = data.m_arrInputFiles.GetSize();
    const bool recipients = m_Recipients.GetSize() > 0;
    const bool oneClick = InOneClickSheet();
    if (files == 1) {
      SetSwitch(TRUE, 1);
      SetButtons(recipients ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_DISABLEDFINISH);
    } else if (files > 1) {
      SetSwitch(FALSE, 0);
      SetButtons(recipients ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
    }
    if (data.m_nMode == 2 && !oneClick) {
      SetSwitch(FALSE, 0);
      SetButtons(recipients ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
    }
    if (oneClick) {
      if (data.m_nMode == 2) {
        SetSwitch(FALSE, 0);
        SetButtons(recipients ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
      } else {
        SetSwitch(TRUE, 1);
        SetButtons(PSWIZB_BACK | PSWIZB_NEXT);
      }
    }
  }
  return CPropertyPage::OnSetActive();
}

void CSelectCertPage::OnBrastelClicked() {
  UpdateData(TRUE);
  const bool recipients = m_Recipients.GetSize() > 0;
  if (m_bBrastelSwitch)
    SetButtons(recipients ? PSWIZB_BACK | PSWIZB_FINISH : PSWIZB_BACK | PSWIZB_DISABLEDFINISH);
  else
    SetButtons(recipients ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
  if (InOneClickSheet()) SetButtons(PSWIZB_BACK | PSWIZB_NEXT);
}

bool CSelectCertPage::RecipientsAccepted() {
  kx::capi::ListingScope scope;
  for (INT_PTR i = 0; i < m_Recipients.GetSize(); ++i) {
    const CString refusal = RecipientRefusal(m_Recipients[i]);
    if (refusal.IsEmpty()) continue;
    AfxMessageBox(refusal, MB_OK | MB_ICONSTOP);
    return false;
  }
  return true;
}

LRESULT CSelectCertPage::OnWizardNext() {
  if (m_Recipients.GetSize() == 0) {
    AfxMessageBox(kNoRecipients, MB_OK);
    return -1;
  }
  if (!RecipientsAccepted()) return -1;
  CSignSheet* sheet = GetSignSheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  sheet->m_WizardData.m_bRecipientPageOption = m_bBrastelSwitch ? 1 : 0;
  const int target = InOneClickSheet() ? kFinishPage : kProcessingPage;
  if (target >= sheet->GetPageCount()) return CPropertyPage::OnWizardNext();
  // The page to go to, by its template.
  return reinterpret_cast<LRESULT>(sheet->GetPage(target)->m_psp.pszTemplate);
}

BOOL CSelectCertPage::OnWizardFinish() {
  if (m_Recipients.GetSize() == 0) {
    AfxMessageBox(kNoRecipients, MB_OK);
    return FALSE;
  }
  if (!RecipientsAccepted()) return FALSE;
  if (!m_pProgress) m_pProgress = new CProgressPopupWnd(this, "Progress");
  CSignSheet* sheet = GetSignSheet();
  if (!sheet || !m_pProgress) return CPropertyPage::OnWizardFinish();

  m_pProgress->Create("Progress");
  m_pProgress->SetRange(0, 100, 1);
  m_pProgress->SetText("Processing document(s)...\n\nPlease wait while the document is being processed.");
  SetTimer(kStepTimer, 250, nullptr);
  CProtectWizardData& data = sheet->m_WizardData;
  if (!data.m_pEngineObjects) {
    try {
      data.m_pEngineObjects = new CCapicomObjectSet();
    } catch (const _com_error&) {
      // The worker finds no engine and ends without output; the timers close the wizard.
    }
  }
  WaitForWorker();
  m_pWorker = AfxBeginThread(BrastelThreadProc, sheet, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (m_pWorker) {
    m_pWorker->m_bAutoDelete = FALSE;
    m_pWorker->ResumeThread();
  }
  return FALSE;
}

void CSelectCertPage::OnTimer(UINT_PTR nIDEvent) {
  CSignSheet* sheet = GetSignSheet();
  const bool done = sheet && sheet->m_WizardData.m_bOperationDone != 0;
  if (nIDEvent == kStepTimer) {
    if (m_pProgress) m_pProgress->StepIt();
    if (done) {
      KillTimer(kStepTimer);
      SetTimer(kEndTimer, 1000, nullptr);
      if (m_pProgress) {
        m_pProgress->OffsetPos(33);
        m_pProgress->OffsetPos(66);
        m_pProgress->OffsetPos(100);
      }
    }
  } else if (nIDEvent == kEndTimer) {
    KillTimer(kEndTimer);
    delete m_pProgress;
    m_pProgress = nullptr;
    if (done && sheet->m_WizardData.m_bOperationSucceeded)
      AfxMessageBox("Brastel\xC2\xA9 operation Successfully completed", MB_OK);
    CWnd* main = AfxGetMainWnd();
    if (main && main->GetSafeHwnd()) main->PostMessage(WM_WIZARD_FINISHED, 101, 0);
    if (CPropertySheet* parent = GetParentSheet()) parent->EndDialog(IDOK);
  }
  CPropertyPage::OnTimer(nIDEvent);
}
