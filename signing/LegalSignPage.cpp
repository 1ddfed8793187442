// The legal signature page of the Signer Wizard.
#include "app/BrinmoorApp.h"
#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "controls/FileListDlg.h"
#include "platform/mfc/afxwin.h"
#include "signing/SignSheet.h"
#include "signing/SignaturePages.h"

namespace {

enum {
  IDC_STATEMENT = 1043,
  IDC_ENTRY_A = 1044,
  IDC_ENTRY_B = 1049,
  IDC_ENTRY_C = 1046,
  IDC_WARNING = 1041,
  IDC_HEADING = 1042,
  IDC_TEXT = 1035,
  IDC_LABEL_A = 1045,
  IDC_LABEL_B = 1047,
  IDC_LABEL_C = 1048,
  IDC_FILES = 1055,
  IDC_TESTIMONY = 1056
};

constexpr COLORREF kRed = 0x0000FF, kBlue = 0xFF0000;

}  // namespace

IMPLEMENT_DYNCREATE(CPWLegalSignPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWLegalSignPage, CPropertyPage)
  ON_BN_CLICKED(IDC_TESTIMONY, OnShowTestimony)
  ON_BN_CLICKED(IDC_FILES, OnShowFiles)
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CPWLegalSignPage::CPWLegalSignPage() : CSignerWizardPage(IDD, 0, 139, 140) {}

void CPWLegalSignPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WARNING, m_lblWarning);
  DDX_Control(pDX, IDC_HEADING, m_lblHeading);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LABEL_A, m_lblEntryA);
  DDX_Control(pDX, IDC_LABEL_B, m_lblEntryB);
  DDX_Control(pDX, IDC_LABEL_C, m_lblEntryC);
  DDX_Text(pDX, IDC_STATEMENT, m_strStatement);
  DDX_Text(pDX, IDC_ENTRY_A, m_strEntryA);
  DDX_Text(pDX, IDC_ENTRY_B, m_strEntryB);
  DDX_Text(pDX, IDC_ENTRY_C, m_strEntryC);
}

BOOL CPWLegalSignPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  struct Look {
    CLabelCtrl* label;
    BOOL bold;
  } looks[] = {{&m_lblWarning, TRUE}, {&m_lblHeading, TRUE}, {&m_lblText, FALSE},
               {&m_lblEntryA, TRUE},  {&m_lblEntryB, TRUE},  {&m_lblEntryC, TRUE}};
  for (const Look& look : looks) {
    look.label->SetFontName("Arial");
    look.label->SetFontBold(look.bold);
  }
  m_lblWarning.SetTextColor(kRed);
  m_lblWarning.FlashText(TRUE);
  m_lblWarning.RedrawWindow();
  return TRUE;
}

HBRUSH CPWLegalSignPage::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
  HBRUSH brush = CPropertyPage::OnCtlColor(pDC, pWnd, nCtlColor);
  // The statement stands out in blue.
  if (pWnd && pWnd->GetDlgCtrlID() == IDC_STATEMENT) pDC->SetTextColor(kBlue);
  return brush;
}

BOOL CPWLegalSignPage::OnSetActive() {
  UpdateData(TRUE);
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  // The statement is the library's, whatever was typed over it before.
  m_strStatement = LoadResString(426);
  UpdateData(FALSE);
  if (InPresetOrProfileWizard())
    if (CWnd* files = GetDlgItem(IDC_FILES)) files->ShowWindow(SW_HIDE);
  return CPropertyPage::OnSetActive();
}

LRESULT CPWLegalSignPage::OnWizardBack() {
  CSignSheet* sheet = Sheet();
  if (sheet && sheet->m_WizardData.m_nSignatureImageChoice == 2) {
    sheet->GoToPage(CSignSheet::kDrawingPage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

LRESULT CPWLegalSignPage::OnWizardNext() {
  UpdateData(TRUE);
  if (AfxMessageBox(LoadResString(425), MB_YESNO) != IDYES) return -1;
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_strLegalEntryB = m_strEntryB;
  data.m_strLegalEntryC = m_strEntryC;
  data.m_strLegalEntryA = m_strEntryA;
  data.m_strLegalStatement = m_strStatement;
  sheet->GoToPage(sheet->GetPlaceAfterSigningPages());
  return -1;
}

void CPWLegalSignPage::OnShowTestimony() {
  auto* app = dynamic_cast<CBrinmoorApp*>(AfxGetApp());
  const CString page = (app ? app->m_strModuleFolder : CString()) + "HELP/testimony.htm";
  CHtmlDialogBox dialog(page, FALSE, this);
  dialog.DoModal();
}

void CPWLegalSignPage::OnShowFiles() {
  CFileListDlg list(this);
  list.m_bViewOnly = true;
  list.m_bZoomByOutline = true;
  if (CProtectWizardData* data = Data())
    for (INT_PTR i = 0; i < data->m_arrInputFiles.GetSize(); ++i) list.m_astrFiles.Add(data->m_arrInputFiles[i]);
  if (CWnd* button = GetDlgItem(IDC_FILES)) button->GetWindowRect(&list.m_rcZoom);
  list.DoModal();
  UpdateData(FALSE);
}
