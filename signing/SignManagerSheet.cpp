// The signature manager's sheet and its welcome, picture source and drawing pages.
#include "signing/SignManagerSheet.h"

#include "app/ResString.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "signing/FileChoicePage.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/SignatureImage.h"

using namespace kx::signing;

namespace {

enum {
  IDC_NAME = 1024,
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_FIRST = 1059,
  IDC_LINK_SECOND = 1275,
  IDC_BITMAP_CHOICE = 1007,
  IDC_BROWSE_BITMAP = 1008,
  IDC_BITMAP_FILE = 1009,
  IDC_PICTURE_CHOICE = 1010,
  IDC_PICTURE_FILE = 1011,
  IDC_BROWSE_PICTURE = 1012,
  IDC_NEW_DRAWING_CHOICE = 1013
};

const char kProductAddress[] = "https://kesmora.example/office-tolvex/signatures/";

}  // namespace

IMPLEMENT_DYNAMIC(CSignManagerSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSignManagerSheet, SHEET_CLASS(CBaseSheet), "Sign Man Forms", 1, 166, 8256)

CSignManagerSheet::CSignManagerSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 104;
}

BOOL CSignManagerSheet::AddPages() {
  AddWizardTabPages({&m_WelcomePage, &m_OptionPage, &m_DrawPage, &m_EncryptPage, &m_FinishPage}, 144,
                    LoadResString(5312));
  return TRUE;
}

// ---- page 0 ----

IMPLEMENT_DYNCREATE(CSignManPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSignManPage, CPropertyPage)
END_MESSAGE_MAP()

CSignManPage::CSignManPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CSignManPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_FIRST, m_linkFirst);
  DDX_Control(pDX, IDC_LINK_SECOND, m_linkSecond);
  DDX_Text(pDX, IDC_NAME, m_strName);
  DDV_MaxChars(pDX, m_strName, 50);
}

BOOL CSignManPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  SetUpWelcomePage(m_lblTitle, m_lblText, m_linkFirst, m_linkSecond, kProductAddress);
  return TRUE;
}

LRESULT CSignManPage::OnWizardNext() {
  if (!UpdateData(TRUE)) return -1;
  if (m_strName.IsEmpty()) {
    AfxMessageBox(LoadResString(5050), MB_OK);
    if (CWnd* name = GetDlgItem(IDC_NAME)) name->SetFocus();
    return -1;
  }
  if (auto* sheet = dynamic_cast<CSignManagerSheet*>(GetParentSheet())) sheet->m_strSignatureName = m_strName;
  return CPropertyPage::OnWizardNext();
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(CSignManOptionPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSignManOptionPage, CPropertyPage)
  ON_BN_CLICKED(IDC_BITMAP_CHOICE, OnBitmapChoice)
  ON_BN_CLICKED(IDC_PICTURE_CHOICE, OnPictureChoice)
  ON_BN_CLICKED(IDC_NEW_DRAWING_CHOICE, OnNewDrawingChoice)
  ON_BN_CLICKED(IDC_BROWSE_BITMAP, OnBrowseBitmap)
  ON_BN_CLICKED(IDC_BROWSE_PICTURE, OnBrowsePicture)
END_MESSAGE_MAP()

CSignManOptionPage::CSignManOptionPage() : CPropertyPage(IDD, 0, 126, 127) {}

void CSignManOptionPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_BITMAP_FILE, m_strBitmapFile);
  DDX_Text(pDX, IDC_PICTURE_FILE, m_strPictureFile);
  DDX_Radio(pDX, IDC_BITMAP_CHOICE, m_nChoice);
}

void CSignManOptionPage::EnableButtons(BOOL bitmap, BOOL picture) {
  if (CWnd* button = GetDlgItem(IDC_BROWSE_BITMAP)) button->EnableWindow(bitmap);
  if (CWnd* button = GetDlgItem(IDC_BROWSE_PICTURE)) button->EnableWindow(picture);
}

void CSignManOptionPage::OnBitmapChoice() {
  UpdateData(TRUE);
  m_strPictureFile.Empty();
  UpdateData(FALSE);
  EnableButtons(TRUE, FALSE);
}

void CSignManOptionPage::OnPictureChoice() {
  UpdateData(TRUE);
  m_strBitmapFile.Empty();
  UpdateData(FALSE);
  EnableButtons(FALSE, TRUE);
}

void CSignManOptionPage::OnNewDrawingChoice() {
  UpdateData(TRUE);
  m_strBitmapFile.Empty();
  m_strPictureFile.Empty();
  UpdateData(FALSE);
  EnableButtons(FALSE, FALSE);
}

CString CSignManOptionPage::BrowseBitmap() {
  CFileDialog dialog(TRUE, "*.bmp", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(5051), this);
  const CString title = LoadResString(5052);
  dialog.m_ofn.lpstrTitle = title;
  return dialog.DoModal() == IDOK ? dialog.GetPathName() : CString();
}

void CSignManOptionPage::OnBrowseBitmap() {
  CString path = BrowseBitmap();
  if (path.IsEmpty()) return;
  m_strBitmapFile = path;
  UpdateData(FALSE);
}

void CSignManOptionPage::OnBrowsePicture() {
  CString path = BrowseBitmap();
  if (path.IsEmpty()) return;
  m_strPictureFile = path;
  UpdateData(FALSE);
}

BOOL CSignManOptionPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_nChoice = 2;
  UpdateData(FALSE);
  OnNewDrawingChoice();
  return TRUE;
}

BOOL CSignManOptionPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CSignManOptionPage::OnWizardNext() {
  UpdateData(TRUE);
  if ((m_nChoice == 0 && m_strBitmapFile.IsEmpty()) || (m_nChoice == 1 && m_strPictureFile.IsEmpty())) {
    AfxMessageBox(LoadResString(438), MB_OK);
    return -1;
  }
  auto* sheet = dynamic_cast<CSignManagerSheet*>(GetParentSheet());
  if (!sheet) return CPropertyPage::OnWizardNext();
  sheet->m_strBitmapPath = m_strBitmapFile;
  sheet->m_nPictureChoice = m_nChoice;
  sheet->m_strPicturePath = m_strPictureFile;
  sheet->m_nReserved = 0;
  sheet->m_certificates.clear();
  // The bitmap file itself is the picture: nothing to draw.
  if (m_nChoice == 0) {
    sheet->SetActivePage(CSignManagerSheet::kFilePage);
    return -1;
  }
  return CPropertyPage::OnWizardNext();
}

// ---- page 2 ----

IMPLEMENT_DYNCREATE(CSignDrawPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSignDrawPage, CDrawingPadPage)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CSignDrawPage::CSignDrawPage() : CDrawingPadPage(IDD, 115, 114) {}

CSignManagerSheet* CSignDrawPage::Sheet() { return dynamic_cast<CSignManagerSheet*>(GetParentSheet()); }

COfficeTolvexDoc* CSignDrawPage::Document() {
  CSignManagerSheet* sheet = Sheet();
  return sheet ? sheet->m_pDocument : nullptr;
}

BOOL CSignDrawPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CreatePad();
  return TRUE;
}

BOOL CSignDrawPage::OnSetActive() {
  CSignManagerSheet* sheet = Sheet();
  if (sheet) {
    sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    ShowChoice(sheet->m_nPictureChoice, sheet->m_strPicturePath);
  }
  return CPropertyPage::OnSetActive();
}

LRESULT CSignDrawPage::OnWizardNext() {
  CSignManagerSheet* sheet = Sheet();
  if (sheet && Document()) {
    // The picture is the drawing as it is now, in the user's own temporary folder.
    const CString path = DrawingTempPath(kManagerPicture);
    if (!CapturePicture(path)) return -1;
    sheet->m_strBitmapPath = path;
  }
  return CPropertyPage::OnWizardNext();
}

void CSignDrawPage::OnDestroy() {
  RemoveDrawingTempFile(kManagerPicture);
  CDrawingPadPage::OnDestroy();
}
