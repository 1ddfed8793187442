#include "encryption/OneClickSheet.h"

#include "app/ResString.h"
#include "encryption/EncryptionPages.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(COneClickSheet, CSignSheet)
IMPLEMENT_SHEET_CLASS(COneClickSheet, SHEET_CLASS(CSignSheet), "One Click Forms", 1, 1010, 8255)

namespace {

enum {
  IDC_PICTURE = 1061,
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_FIRST = 1059,
  IDC_LINK_SECOND = 1275,
  IDC_FIRST_OPERATION = 1022,
  IDC_DESCRIPTION = 1060
};

}  // namespace

// ---- welcome page ----

IMPLEMENT_DYNCREATE(COneClickMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(COneClickMainPage, CPropertyPage)
END_MESSAGE_MAP()

COneClickMainPage::COneClickMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void COneClickMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PICTURE, m_stcPicture);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_FIRST, m_linkFirst);
  DDX_Control(pDX, IDC_LINK_SECOND, m_linkSecond);
  DDX_Radio(pDX, IDC_FIRST_OPERATION, m_nOperation);
  DDX_Text(pDX, IDC_DESCRIPTION, m_strDescription);
  DDV_MaxChars(pDX, m_strDescription, kMaxDescription);
}

BOOL COneClickMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  kx::encryption::SetUpWelcomePage(m_lblTitle, m_lblText, m_linkFirst, m_linkSecond);
  return TRUE;
}

BOOL COneClickMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT COneClickMainPage::OnWizardNext() {
  if (!UpdateData(TRUE)) return -1;
  if (m_strDescription.IsEmpty()) {
    AfxMessageBox(LoadResString(549), MB_OK);
    return -1;
  }
  auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet());
  if (!sheet) return CPropertyPage::OnWizardNext();
  sheet->m_WizardData.m_nMode = m_nOperation;
  sheet->m_WizardData.m_strPresetName = m_strDescription;
  if (m_nOperation == 0) return CPropertyPage::OnWizardNext();
  sheet->GoToPage(m_nOperation == 4 ? CSignSheet::kProcessingPage : CSignSheet::kSignersPage);
  return -1;
}

// ---- sheet ----

BEGIN_MESSAGE_MAP(COneClickSheet, CSignSheet)
  ON_WM_ACTIVATE()
END_MESSAGE_MAP()

COneClickSheet::COneClickSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 105;
}

BOOL COneClickSheet::AddPages() {
  // The Signer Wizard's pages at their places 1 to 9, between this wizard's two own pages.
  std::vector<CPropertyPage*> pages{&m_OneClickMainPage};
  for (int place = kFilePage; place < kFinishPage; ++place)
    if (CPropertyPage* page = GetWizardPage(place)) pages.push_back(page);
  CPropertyPage* signing[] = {&m_TimeStampPage, &m_SelSigImagePage, &m_LegalSignPage, &m_CreateSigImagePage};
  for (CPropertyPage* page : signing)
    if (std::find(pages.begin(), pages.end(), page) == pages.end()) pages.push_back(page);
  pages.push_back(&m_OneClickFinishPage);
  pages.push_back(&m_FinishPage);
  AddWizardTabPages(pages, 144, LoadResString(5290));
  return TRUE;
}

LRESULT COneClickSheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The generic finish page follows the preset finish page only: any other page asking for the finish place
  // means the preset finish page.
  if (message == PSM_SETCURSEL && lParam == 0 && static_cast<int>(wParam) == GetPageIndex(&m_FinishPage) &&
      GetActivePage() != &m_OneClickFinishPage)
    wParam = static_cast<WPARAM>(GetPageIndex(&m_OneClickFinishPage));
  return CSignSheet::WindowProc(message, wParam, lParam);
}

BOOL COneClickSheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  // Back to the welcome place: from the signer page, and from the cipher page of an encrypting preset (its file
  // page is passed over).
  if (LOWORD(wParam) == ID_WIZBACK) {
    CPropertyPage* active = GetActivePage();
    if (active == &m_SelectSignerPage || (active == &m_ProgressPage && m_WizardData.m_nMode == 0)) {
      SetActivePage(&m_OneClickMainPage);
      return TRUE;
    }
  }
  return CSignSheet::OnCommand(wParam, lParam);
}

void COneClickSheet::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
  CBaseSheet::OnActivate(nState, pWndOther, bMinimized);
}
