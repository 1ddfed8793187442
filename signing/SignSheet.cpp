#include "signing/SignSheet.h"

#include "app/ResString.h"
#include "encryption/OneClickSheet.h"
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

CSignSheet::~CSignSheet() {
  WaitForWorker();
  delete m_pWorker;
  m_pWorker = nullptr;
}

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

BOOL CSignSheet::IsOneClick() { return IsKindOf(RUNTIME_CLASS(COneClickSheet)); }

int CSignSheet::GetPlaceAfterSigningPages() {
  if (m_WizardData.m_nMode == 2) return kCipherPage;
  if (IsOneClick()) return kFinishPage;
  return kProcessingPage;
}

void CSignSheet::AddWizardPages(LPCSTR tabTitle) {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  // In the order of their places.
  CPropertyPage* pages[] = {&m_MainPage,         &m_InitialPage,      &m_ProgressPage,   &m_SelectCertPage,
                            &m_DecryptPage,      &m_SelectSignerPage, &m_TimeStampPage,  &m_SelSigImagePage,
                            &m_LegalSignPage,    &m_CreateSigImagePage, &m_FinishPage};
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(144) : nullptr;
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(tabTitle);
  }
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

void CSignSheet::StartWorker(UINT (*proc)(LPVOID)) {
  WaitForWorker();
  delete m_pWorker;
  m_pWorker = AfxBeginThread(proc, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!m_pWorker) return;
  // The sheet keeps the thread object so that it can wait for the thread before the pages go.
  m_pWorker->m_bAutoDelete = FALSE;
  m_pWorker->ResumeThread();
}

bool CSignSheet::WaitForWorker(DWORD milliseconds) {
  if (!m_pWorker || !m_pWorker->m_hThread) return true;
  HANDLE thread = m_pWorker->m_hThread;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (milliseconds != INFINITE && elapsed >= milliseconds) return false;
    DWORD wait = milliseconds == INFINITE ? INFINITE : milliseconds - elapsed;
    // The worker may be sending this thread a message (a row to update, a box to show): take it meanwhile.
    DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, wait, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
      continue;
    }
    if (r == WAIT_TIMEOUT) return false;
    // The wait itself failed: fall back to a plain wait.
    return WaitForSingleObject(thread, wait) == WAIT_OBJECT_0;
  }
}

CUniversalSignSheet::CUniversalSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 107;
}

BOOL CUniversalSignSheet::AddPages() {
  AddWizardPages("Universal Signer Wizard");
  return TRUE;
}
