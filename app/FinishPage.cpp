#include "app/FinishPage.h"

#include "app/BaseSheet.h"
#include "app/ResString.h"
#include "platform/mfc/afxstate.h"

IMPLEMENT_DYNCREATE(CFinishPage, CPropertyPage)

namespace {
const char kMakerAddress[] = "https://kesmora.example/";
}

CFinishPage::CFinishPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CFinishPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1058, m_stcMessage);
  DDX_Control(pDX, 1059, m_lnkWebAddress);
  DDX_Control(pDX, 1118, m_lblHeading);
}

BOOL CFinishPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_lblHeading.UseParentBackground();
  m_lblHeading.SetFontBold(TRUE);
  m_lblHeading.SetFontSize(20);
  m_lblHeading.SetWindowText(LoadResString(238));
  m_lnkWebAddress.UseParentBackground(TRUE);
  // A link without a text of its own shows its address.
  CString text;
  m_lnkWebAddress.GetWindowText(text);
  if (text.IsEmpty()) m_lnkWebAddress.SetWindowText(kMakerAddress);
  m_lnkWebAddress.SetUrl(kMakerAddress);
  return TRUE;
}

CString CFinishPage::MessageFor(int finishCode) {
  UINT first = 0;
  switch (finishCode) {
    case 101: first = 239; break;
    case 104: first = 242; break;
    case 105: first = 241; break;
    case 106: first = 243; break;
    case 108: first = 244; break;
    default: return CString();
  }
  return LoadResString(first) + " " + LoadResString(240);
}

BOOL CFinishPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_FINISH);
  CString text = MessageFor(m_nFinishCode);
  if (!text.IsEmpty() && m_stcMessage.GetSafeHwnd()) m_stcMessage.SetWindowText(text);
  return CPropertyPage::OnSetActive();
}

BOOL CFinishPage::OnWizardFinish() {
  auto* sheet = dynamic_cast<CBaseSheet*>(GetParentSheet());
  if (sheet && sheet->m_bHosted) {
    CWnd* main = AfxGetMainWnd();
    if (main && main->GetSafeHwnd()) main->PostMessage(WM_WIZARD_FINISHED, static_cast<WPARAM>(m_nFinishCode), 0);
  }
  return CPropertyPage::OnWizardFinish();
}
