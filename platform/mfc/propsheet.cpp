#include "platform/mfc/propsheet.h"

#include "platform/mfc/afxstate.h"
#include "platform/mfc/resource.h"

namespace {
// Hooks the page's dialog window to its object as the sheet makes it.
UINT PageCallback(HWND, UINT msg, PROPSHEETPAGEA* psp) {
  if (msg == PSPCB_CREATE && psp) AfxHookWindowCreate(reinterpret_cast<CPropertyPage*>(psp->lParam));
  return TRUE;
}
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// CPropertyPage
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

BEGIN_MESSAGE_MAP(CPropertyPage, CDialog)
END_MESSAGE_MAP()

CPropertyPage::CPropertyPage() { CommonConstruct(nullptr, 0, 0, 0); }

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle) {
  CommonConstruct(MAKEINTRESOURCE(nIDTemplate), nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle);
  m_nIDHelp = nIDTemplate;
}

CPropertyPage::CPropertyPage(LPCSTR lpszTemplateName, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle) {
  CommonConstruct(lpszTemplateName, nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle);
}

CPropertyPage::~CPropertyPage() = default;

void CPropertyPage::Construct(UINT nIDTemplate, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle) {
  CommonConstruct(MAKEINTRESOURCE(nIDTemplate), nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle);
  m_nIDHelp = nIDTemplate;
}

void CPropertyPage::Construct(LPCSTR lpszTemplateName, UINT nIDCaption, UINT nIDHeaderTitle, UINT nIDHeaderSubTitle) {
  CommonConstruct(lpszTemplateName, nIDCaption, nIDHeaderTitle, nIDHeaderSubTitle);
}

void CPropertyPage::CommonConstruct(LPCSTR lpszTemplateName, UINT nIDCaption, UINT nIDHeaderTitle,
                                    UINT nIDHeaderSubTitle) {
  if (lpszTemplateName && !IS_INTRESOURCE(lpszTemplateName)) {
    m_strTemplateName = lpszTemplateName;
    lpszTemplateName = m_strTemplateName;
  }
  m_lpszTemplateName = lpszTemplateName;
  m_psp = PROPSHEETPAGE{};
  m_psp.dwSize = sizeof(PROPSHEETPAGE);
  m_psp.dwFlags = PSP_USECALLBACK;
  m_psp.hInstance = lpszTemplateName ? AfxFindResourceHandle(lpszTemplateName, RT_DIALOG) : nullptr;
  m_psp.pszTemplate = lpszTemplateName;
  m_psp.pfnDlgProc = &AfxDlgProc;
  m_psp.lParam = reinterpret_cast<LPARAM>(this);
  m_psp.pfnCallback = &PageCallback;
  m_strCaption.Empty();
  m_strHeaderTitle.Empty();
  m_strHeaderSubTitle.Empty();
  if (nIDCaption) {
    m_strCaption.LoadString(nIDCaption);
    m_psp.dwFlags |= PSP_USETITLE;
  }
  if (nIDHeaderTitle) {
    m_strHeaderTitle.LoadString(nIDHeaderTitle);
    m_psp.dwFlags |= PSP_USEHEADERTITLE;
  }
  if (nIDHeaderSubTitle) {
    m_strHeaderSubTitle.LoadString(nIDHeaderSubTitle);
    m_psp.dwFlags |= PSP_USEHEADERSUBTITLE;
  }
  m_bFirstSetActive = TRUE;
}

void CPropertyPage::PreparePage(PROPSHEETPAGE& out) {
  out = m_psp;
  out.dwSize = sizeof(PROPSHEETPAGE);
  out.pszTemplate = m_lpszTemplateName;
  if (!out.hInstance && m_lpszTemplateName) out.hInstance = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
  out.pfnDlgProc = &AfxDlgProc;
  out.lParam = reinterpret_cast<LPARAM>(this);
  out.pfnCallback = &PageCallback;
  out.dwFlags |= PSP_USECALLBACK;
  if (!m_strCaption.IsEmpty()) {
    out.pszTitle = m_strCaption;
    out.dwFlags |= PSP_USETITLE;
  } else if (!(out.dwFlags & PSP_USETITLE)) {
    out.pszTitle = nullptr;
  }
  if (!m_strHeaderTitle.IsEmpty()) {
    out.pszHeaderTitle = m_strHeaderTitle;
    out.dwFlags |= PSP_USEHEADERTITLE;
  }
  if (!m_strHeaderSubTitle.IsEmpty()) {
    out.pszHeaderSubTitle = m_strHeaderSubTitle;
    out.dwFlags |= PSP_USEHEADERSUBTITLE;
  }
}

CPropertySheet* CPropertyPage::GetParentSheet() { return DYNAMIC_DOWNCAST(CPropertySheet, GetParent()); }

void CPropertyPage::SetModified(BOOL bChanged) {
  if (!m_hWnd) return;
  ::SendMessage(::GetParent(m_hWnd), bChanged ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

LRESULT CPropertyPage::QuerySiblings(WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(::GetParent(m_hWnd), PSM_QUERYSIBLINGS, wParam, lParam);
}

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}
void CPropertyPage::OnReset() { OnCancel(); }
void CPropertyPage::OnOK() {}
void CPropertyPage::OnCancel() {}

BOOL CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) m_bFirstSetActive = FALSE;
  else UpdateData(FALSE);
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }
BOOL CPropertyPage::OnQueryCancel() { return TRUE; }
LRESULT CPropertyPage::OnWizardBack() { return 0; }
LRESULT CPropertyPage::OnWizardNext() { return 0; }
BOOL CPropertyPage::OnWizardFinish() { return TRUE; }

BOOL CPropertyPage::PreTranslateMessage(MSG* pMsg) { return CWnd::PreTranslateMessage(pMsg); }

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (CDialog::OnNotify(wParam, lParam, pResult)) return TRUE;
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header->hwndFrom != m_hWnd && header->hwndFrom != ::GetParent(m_hWnd)) return FALSE;
  LRESULT result = 0;
  switch (header->code) {
    case PSN_SETACTIVE: result = OnSetActive() ? 0 : -1; break;
    case PSN_KILLACTIVE: result = OnKillActive() ? FALSE : TRUE; break;
    case PSN_APPLY: result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE; break;
    case PSN_RESET: OnReset(); break;
    case PSN_QUERYCANCEL: result = OnQueryCancel() ? FALSE : TRUE; break;
    case PSN_WIZNEXT: result = OnWizardNext(); break;
    case PSN_WIZBACK: result = OnWizardBack(); break;
    case PSN_WIZFINISH: result = OnWizardFinish() ? FALSE : TRUE; break;
    case PSN_HELP: SendMessage(WM_COMMAND, IDHELP); break;
    default: return FALSE;
  }
  if (pResult) *pResult = result;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------------------------
// CPropertySheet
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet() { CommonConstruct(nullptr, 0); }

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage) {
  Construct(nIDCaption, pParentWnd, iSelectPage);
}

CPropertySheet::CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
  Construct(pszCaption, pParentWnd, iSelectPage);
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                               HPALETTE hpalWatermark, HBITMAP hbmHeader) {
  Construct(nIDCaption, pParentWnd, iSelectPage, hbmWatermark, hpalWatermark, hbmHeader);
}

CPropertySheet::CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                               HPALETTE hpalWatermark, HBITMAP hbmHeader) {
  Construct(pszCaption, pParentWnd, iSelectPage, hbmWatermark, hpalWatermark, hbmHeader);
}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd) DestroyWindow();
}

void CPropertySheet::CommonConstruct(CWnd* pParentWnd, UINT iSelectPage) {
  m_psh.dwSize = sizeof(PROPSHEETHEADER);
  m_psh.dwFlags |= PSH_PROPSHEETPAGE;
  m_psh.hInstance = AfxGetResourceHandle();
  m_psh.nStartPage = iSelectPage;
  m_pParentWnd = pParentWnd;
}

void CPropertySheet::Construct(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage) {
  m_strCaption.LoadString(nIDCaption);
  Construct(static_cast<LPCSTR>(m_strCaption), pParentWnd, iSelectPage);
}

void CPropertySheet::Construct(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
  if (pszCaption != m_strCaption.GetString()) m_strCaption = pszCaption;
  m_psh.pszCaption = m_strCaption;
  CommonConstruct(pParentWnd, iSelectPage);
}

void CPropertySheet::Construct(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                               HPALETTE hpalWatermark, HBITMAP hbmHeader) {
  m_strCaption.LoadString(nIDCaption);
  Construct(static_cast<LPCSTR>(m_strCaption), pParentWnd, iSelectPage, hbmWatermark, hpalWatermark, hbmHeader);
}

void CPropertySheet::Construct(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage, HBITMAP hbmWatermark,
                               HPALETTE hpalWatermark, HBITMAP hbmHeader) {
  Construct(pszCaption, pParentWnd, iSelectPage);
  if (hbmWatermark) {
    m_psh.dwFlags |= PSH_WATERMARK | PSH_USEHBMWATERMARK;
    m_psh.hbmWatermark = hbmWatermark;
  }
  if (hpalWatermark) {
    m_psh.dwFlags |= PSH_USEHPLWATERMARK;
    m_psh.hplWatermark = hpalWatermark;
  }
  if (hbmHeader) {
    m_psh.dwFlags |= PSH_HEADER | PSH_USEHBMHEADER;
    m_psh.hbmHeader = hbmHeader;
  }
}

void CPropertySheet::BuildPropPageArray() {
  m_pageRecords.assign(static_cast<size_t>(m_pages.GetSize()), PROPSHEETPAGE{});
  for (INT_PTR i = 0; i < m_pages.GetSize(); ++i)
    static_cast<CPropertyPage*>(m_pages.GetAt(i))->PreparePage(m_pageRecords[static_cast<size_t>(i)]);
  m_psh.dwFlags |= PSH_PROPSHEETPAGE;
  m_psh.ppsp = m_pageRecords.data();
  m_psh.nPages = static_cast<UINT>(m_pageRecords.size());
  if (!(m_psh.dwFlags & PSH_USEPSTARTPAGE) && m_psh.nStartPage >= m_psh.nPages) m_psh.nStartPage = 0;
  if (!m_psh.pszCaption) m_psh.pszCaption = m_strCaption;
  if (!m_psh.hInstance) m_psh.hInstance = AfxGetResourceHandle();
}

INT_PTR CPropertySheet::DoModal() {
  if (m_pages.GetSize() == 0 || m_hWnd) return -1;
  BuildPropPageArray();
  HWND parent = CWnd::GetSafeOwner_(kx::afx::SafeHwnd(m_pParentWnd), nullptr);
  m_psh.hwndParent = parent;
  DWORD flags = m_psh.dwFlags;
  m_psh.dwFlags |= PSH_MODELESS;
  bool enableParent = false;
  if (parent && parent != ::GetDesktopWindow() && ::IsWindowEnabled(parent)) {
    ::EnableWindow(parent, FALSE);
    enableParent = true;
  }
  m_nModalResult = -1;
  m_nResult = -1;
  AfxHookWindowCreate(this);
  ::PropertySheet(&m_psh);
  AfxUnhookWindowCreate();
  m_psh.dwFlags = flags;
  if (m_hWnd) {
    m_nFlags |= WF_CONTINUEMODAL;
    if (ContinueModal()) RunModalLoop(MLF_SHOWONIDLE);
    if (m_hWnd)
      SetWindowPos(nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  if (enableParent && ::IsWindow(parent)) ::EnableWindow(parent, TRUE);
  if (parent && m_hWnd && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(parent);
  if (m_hWnd) DestroyWindow();
  m_nFlags &= ~WF_CONTINUEMODAL;
  return m_nResult;
}

BOOL CPropertySheet::ContinueModal() {
  if (!CWnd::ContinueModal()) return FALSE;
  // The sheet is done once it has no current page: its result is the button that closed it.
  if (!m_hWnd || !SendMessage(PSM_GETCURRENTPAGEHWND)) {
    if (m_hWnd) {
      LRESULT r = SendMessage(PSM_GETRESULT);
      if (r != -1) m_nResult = static_cast<int>(r);
    }
    if (m_nResult == -1) m_nResult = IDCANCEL;
    EndModalLoop(m_nResult);
    return FALSE;
  }
  return TRUE;
}

BOOL CPropertySheet::Create(CWnd* pParentWnd, DWORD, DWORD) {
  if (m_pages.GetSize() == 0 || m_hWnd) return FALSE;
  if (pParentWnd) m_pParentWnd = pParentWnd;
  BuildPropPageArray();
  m_psh.hwndParent = kx::afx::SafeHwnd(m_pParentWnd);
  DWORD flags = m_psh.dwFlags;
  m_psh.dwFlags |= PSH_MODELESS;
  AfxHookWindowCreate(this);
  ::PropertySheet(&m_psh);
  AfxUnhookWindowCreate();
  m_psh.dwFlags = flags;
  m_bModeless = TRUE;
  return m_hWnd != nullptr;
}

void CPropertySheet::EndDialog(int nEndID) {
  m_nResult = nEndID;
  EndModalLoop(nEndID);
  if (m_bModeless && !(m_nFlags & WF_MODALLOOP)) DestroyWindow();
  else if (m_hWnd) PostMessage(PSM_PRESSBUTTON, PSBTN_CANCEL);
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
  if (!pPage) return;
  m_pages.Add(pPage);
  if (!m_hWnd) return;
  PROPSHEETPAGE psp;
  pPage->PreparePage(psp);
  HPROPSHEETPAGE h = ::CreatePropertySheetPage(&psp);
  if (!h || !SendMessage(PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(h))) {
    if (h) ::DestroyPropertySheetPage(h);
    m_pages.RemoveAt(m_pages.GetSize() - 1);
  }
}

void CPropertySheet::RemovePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return;
  if (m_hWnd) SendMessage(PSM_REMOVEPAGE, static_cast<WPARAM>(nPage));
  m_pages.RemoveAt(nPage);
}

void CPropertySheet::RemovePage(CPropertyPage* pPage) { RemovePage(GetPageIndex(pPage)); }

int CPropertySheet::GetPageCount() const { return static_cast<int>(m_pages.GetSize()); }

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
  if (nPage < 0 || nPage >= GetPageCount()) return nullptr;
  return static_cast<CPropertyPage*>(m_pages.GetAt(nPage));
}

int CPropertySheet::GetPageIndex(CPropertyPage* pPage) {
  for (int i = 0; i < GetPageCount(); ++i)
    if (GetPage(i) == pPage) return i;
  return -1;
}

int CPropertySheet::GetActiveIndex() const {
  if (!m_hWnd) return static_cast<int>(m_psh.nStartPage);
  auto page = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
  return static_cast<int>(SendMessage(PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page)));
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(GetActiveIndex()); }

BOOL CPropertySheet::SetActivePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return FALSE;
  if (!m_hWnd) {
    m_psh.nStartPage = static_cast<UINT>(nPage);
    return TRUE;
  }
  return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, static_cast<WPARAM>(nPage)));
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* pPage) { return SetActivePage(GetPageIndex(pPage)); }

CTabCtrl* CPropertySheet::GetTabControl() const {
  if (!m_hWnd) return nullptr;
  return static_cast<CTabCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL))));
}

void CPropertySheet::SetTitle(LPCSTR lpszText, UINT nStyle) {
  m_strCaption = lpszText;
  if (m_hWnd) {
    SendMessage(PSM_SETTITLE, nStyle, reinterpret_cast<LPARAM>(m_strCaption.GetString()));
    return;
  }
  m_psh.pszCaption = m_strCaption;
  m_psh.dwFlags = (m_psh.dwFlags & ~static_cast<DWORD>(PSH_PROPTITLE)) | (nStyle & PSH_PROPTITLE);
}

void CPropertySheet::SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }

void CPropertySheet::SetWizardButtons(DWORD dwFlags) {
  if (m_hWnd) SendMessage(PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(dwFlags));
}

void CPropertySheet::SetFinishText(LPCSTR lpszText) {
  if (m_hWnd) SendMessage(PSM_SETFINISHTEXT, 0, reinterpret_cast<LPARAM>(lpszText));
}

BOOL CPropertySheet::PressButton(int nButton) {
  return m_hWnd ? PostMessage(PSM_PRESSBUTTON, static_cast<WPARAM>(nButton)) : FALSE;
}

LRESULT CPropertySheet::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CPropertySheet::OnInitDialog() { return static_cast<BOOL>(Default()); }

BOOL CPropertySheet::PreTranslateMessage(MSG* pMsg) {
  if (CWnd::PreTranslateMessage(pMsg)) return TRUE;
  return m_hWnd && SendMessage(PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(pMsg));
}

BOOL CPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam) { return CWnd::OnCommand(wParam, lParam); }

void CPropertySheet::OnClose() {
  if (m_bModeless && !(m_nFlags & WF_MODALLOOP)) DestroyWindow();
  else Default();
}

void CPropertySheet::OnNcDestroy() { CWnd::OnNcDestroy(); }
