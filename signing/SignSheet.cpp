#include "signing/SignSheet.h"

#include "app/ResString.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

IMPLEMENT_DYNAMIC(CSignSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSignSheet, SHEET_CLASS(CBaseSheet), "Signer Wizard", 1, 129, 8255)
IMPLEMENT_DYNAMIC(CUniversalSignSheet, CSignSheet)
IMPLEMENT_SHEET_CLASS(CUniversalSignSheet, SHEET_CLASS(CSignSheet), "Universal Signer Wizard", 1, 129, 8255)

CSignSheet::CSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 101;
}

CSignSheet::~CSignSheet() { m_Worker.End(); }

CPropertyPage* CSignSheet::GetWizardPage(int place) {
  switch (place) {
    case kMainPage: return &m_MainPage;
    case kFilePage: return &m_InitialPage;
    case kCipherPage: return &m_ProgressPage;
    case kRecipientsPage: return &m_SelectCertPage;
    case kProcessingPage: return &m_DecryptPage;
    case kSignersPage: return &m_SelectSignerPage;
    case kTimeStampPage: return &m_TimeStampPage;
    case kPictureChoicePage: return &m_SelSigImagePage;
    case kLegalPage: return &m_LegalSignPage;
    case kDrawingPage: return &m_CreateSigImagePage;
    case kFinishPage: return &m_FinishPage;
    default: break;
  }
  // A place filled by a page of another part of the library: the page added at that index, when the pages
  // before it are all there.
  if (place >= 0 && place < GetPageCount()) {
    CPropertyPage* page = GetPage(place);
    if (GetWizardPlace(page) < 0) return page;
  }
  return nullptr;
}

int CSignSheet::GetWizardPlace(CPropertyPage* page) {
  if (!page) return -1;
  CPropertyPage* own[] = {&m_MainPage,      &m_InitialPage,      &m_ProgressPage,  &m_SelectCertPage,
                          &m_DecryptPage,   &m_SelectSignerPage, &m_TimeStampPage, &m_SelSigImagePage,
                          &m_LegalSignPage, &m_CreateSigImagePage, &m_FinishPage};
  const int places[] = {kMainPage,      kFilePage,          kCipherPage, kRecipientsPage,
                        kProcessingPage, kSignersPage,      kTimeStampPage, kPictureChoicePage,
                        kLegalPage,     kDrawingPage,       kFinishPage};
  for (size_t i = 0; i < sizeof places / sizeof places[0]; ++i)
    if (own[i] == page) return places[i];
  // A page of another part of the library sits at its place.
  return GetPageIndex(page);
}

BOOL CSignSheet::GoToPage(int place) {
  CPropertyPage* page = GetWizardPage(place);
  return page ? SetActivePage(page) : FALSE;
}


int CSignSheet::GetPlaceAfterSigningPages() {
  if (m_WizardData.m_nMode == 2) return kCipherPage;
  if (IsOneClick()) return kFinishPage;
  return kProcessingPage;
}

void CSignSheet::AddWizardPages(LPCSTR tabTitle) {
  // In the order of their places.
  AddWizardTabPages({&m_MainPage, &m_InitialPage, &m_ProgressPage, &m_SelectCertPage, &m_DecryptPage,
                     &m_SelectSignerPage, &m_TimeStampPage, &m_SelSigImagePage, &m_LegalSignPage,
                     &m_CreateSigImagePage, &m_FinishPage},
                    144, tabTitle);
}

INT_PTR CSignSheet::DoModal() {
  const int start = m_nStartPage;
  const int index = start ? GetPageIndex(GetWizardPage(start)) : -1;
  if (index >= 0) {
    m_psh.nStartPage = static_cast<UINT>(index);
    m_nStartPage = 0;
  }
  INT_PTR result = CBaseSheet::DoModal();
  m_nStartPage = start;
  return result;
}

BOOL CSignSheet::AddPages() {
  AddWizardPages(LoadResString(177));
  return TRUE;
}

void CSignSheet::StartWorker(UINT (*proc)(LPVOID)) { m_Worker.Start(proc, this); }

bool CSignSheet::WaitForWorker(DWORD milliseconds) { return m_Worker.Wait(milliseconds); }

CUniversalSignSheet::CUniversalSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 107;
}

BOOL CUniversalSignSheet::AddPages() {
  AddWizardPages("Universal Signer Wizard");
  return TRUE;
}
