#include "app/BaseSheet.h"

#include <cstring>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "platform/gdi/gdi.h"
#include "platform/mfc/afxstate.h"
#include "platform/win32/sync.h"

IMPLEMENT_DYNAMIC(CBaseSheet, CPropertySheet)

BEGIN_MESSAGE_MAP(CBaseSheet, CPropertySheet)
  ON_WM_SIZE()
  ON_WM_ACTIVATE()
  ON_WM_SHOWWINDOW()
END_MESSAGE_MAP()

const SheetClassRecord CBaseSheet::sheetClassCBaseSheet("CBaseSheet", &CBaseSheet::CreateSheetObject, nullptr,
                                                        "Office Tolvex", 0, 0, 0);

CBaseSheet* CBaseSheet::CreateSheetObject(CWnd* pParentWnd) {
  return new (std::nothrow) CBaseSheet(sheetClassCBaseSheet.m_szTitle, pParentWnd, 0);
}

CBaseSheet::CBaseSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CPropertySheet(caption, pParentWnd, selectPage) {}

CBaseSheet::~CBaseSheet() { m_pDocument = nullptr; }

const SheetClassRecord* CBaseSheet::GetSheetClass() const { return &sheetClassCBaseSheet; }

BOOL CBaseSheet::AddPages() { return FALSE; }

BOOL CBaseSheet::OnPagesAdded() { return FALSE; }

void CBaseSheet::AddTabPage(CPropertyPage* page) { AddPage(page); }

void CBaseSheet::AddPageWithIcon(CPropertyPage* page, UINT iconId, LPCSTR caption, LPCSTR description) {
  if (page) page->m_psp.dwFlags |= PSP_HASHELP;
  AddTabPage(page);
  if (!m_imlTabs.GetSafeHandle()) m_imlTabs.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 1);
  if (!m_imlPageIcons.GetSafeHandle())
    m_imlPageIcons.Create(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ILC_COLOR32 | ILC_MASK, 0, 1);
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(iconId) : nullptr;
  m_imlTabs.Add(icon);
  m_imlPageIcons.Add(icon);
  m_astrPageCaptions.Add(caption);
  m_astrPageDescriptions.Add(description);
}

void CBaseSheet::UpdateTabs() {
  CTabCtrl* tabs = GetTabControl();
  if (!tabs) return;
  tabs->SetImageList(&m_imlTabs);
  for (INT_PTR i = 0; i < m_astrTabTitles.GetSize(); ++i) {
    TCITEM item{};
    tabs->GetItem(static_cast<int>(i), &item);
    item.mask |= TCIF_TEXT | TCIF_IMAGE;
    item.iImage = static_cast<int>(i);
    CString text = m_astrTabTitles[i];
    item.pszText = const_cast<LPSTR>(static_cast<LPCSTR>(text));
    item.cchTextMax = text.GetLength();
    tabs->SetItem(static_cast<int>(i), &item);
  }
}

void CBaseSheet::AddWizardTabPages(const std::vector<CPropertyPage*>& pages, UINT iconId, LPCSTR tabTitle) {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(iconId) : nullptr;
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(tabTitle);
  }
}

void CBaseSheet::UpdateHeader() {
  if (!m_bHeader) return;
  int i = GetActiveIndex();
  if (i < 0 || i >= m_astrPageCaptions.GetSize() || i >= m_astrPageDescriptions.GetSize()) return;
  HICON icon = m_imlPageIcons.GetSafeHandle() ? m_imlPageIcons.ExtractIcon(i) : nullptr;
  m_Banner.SetContent(icon, m_astrPageCaptions[i], m_astrPageDescriptions[i]);
  m_Banner.SetAlignment(0);
  m_Banner.SetAlignment(0);
  m_Banner.SetBkColour(GetSysColor(COLOR_WINDOW));
}

BOOL CBaseSheet::OnInitDialog() {
  BOOL result = FALSE;
  try {
    m_bModeless = FALSE;
    result = CPropertySheet::OnInitDialog();
    ModifyStyleEx(0, WS_EX_CONTROLPARENT);
    if (!m_bHosted || m_bSystemMenu) ModifyStyle(0, WS_SYSMENU);
    CWnd* ok = GetDlgItem(IDOK);
    CWnd* cancel = GetDlgItem(IDCANCEL);
    if (!m_bHosted) {
      UpdateTabs();
      if (ok) ok->ShowWindow(SW_SHOW);
      if (cancel) cancel->ShowWindow(SW_SHOW);
    } else {
      // A host closes the sheet by destroying it.
      m_bModeless = TRUE;
      if (ok) ok->ShowWindow(SW_HIDE);
      if (cancel) cancel->ShowWindow(SW_HIDE);
    }
    if (!IsWizard()) {
      if (m_bArrangeButtons) ArrangeButtons();
      m_Banner.SetHeight(m_Banner.GetHeight());
      if (m_bHeader) {
        m_Banner.Attach(this);
        int dy = m_Banner.GetHeight();
        CWnd* moved[] = {GetTabControl(), GetActivePage(), GetDlgItem(IDOK), GetDlgItem(IDCANCEL),
                         GetDlgItem(IDHELP), GetDlgItem(ID_APPLY_NOW)};
        for (CWnd* w : moved) {
          if (!w || !w->GetSafeHwnd()) continue;
          CRect rc;
          w->GetWindowRect(&rc);
          ScreenToClient(&rc);
          w->SetWindowPos(nullptr, rc.left, rc.top + dy, rc.Width(), rc.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
        }
      }
      UpdateHeader();
      CenterWindow();
    } else {
      SetWizardButtons(PSWIZB_NEXT);
      if (cancel) cancel->ShowWindow(m_bHosted ? SW_HIDE : SW_SHOW);
      if (m_nStartPage != 0) SetActivePage(m_nStartPage);
    }
  } catch (...) {
    AfxMessageBox("Exception...", 0);
    return FALSE;
  }
  return result;
}

void CBaseSheet::ArrangeButtons() {
  CWnd* ok = GetDlgItem(IDOK);
  if (!ok) return;
  CRect w, b;
  GetWindowRect(&w);
  ok->GetWindowRect(&b);
  int gap = w.bottom - b.bottom;
  int bw = b.Width(), bh = b.Height();
  MoveWindow(w.left, w.top, w.Width() + bw + gap, b.top - w.top);
  int x = w.Width();
  int y = gap;
  auto place = [&](CWnd* button) {
    if (!button) return;
    button->MoveWindow(x, y, bw, bh);
    y += gap + bh;
  };
  place(ok);
  place(GetDlgItem(IDCANCEL));
  if (!(m_psh.dwFlags & PSH_NOAPPLYNOW)) place(GetDlgItem(ID_APPLY_NOW));
  if (m_psh.dwFlags & PSH_HASHELP) place(GetDlgItem(IDHELP));
}

BOOL CBaseSheet::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT id = LOWORD(wParam);
  if (!m_bHosted && IsWizard() && id == IDCANCEL) {
    if (ShowMessage(LoadResString(282), MB_YESNO) != IDYES) return TRUE;
  } else if (id == IDHELP) {
    if (CBrinmoorApp* app = CBrinmoorApp::GetInstance()) app->ShowHelp(0, 15);
  }
  return CPropertySheet::OnCommand(wParam, lParam);
}

BOOL CBaseSheet::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* hdr = reinterpret_cast<NMHDR*>(lParam);
  if (hdr && hdr->code == static_cast<UINT>(TCN_SELCHANGE) && !CWnd::OnNotify(wParam, lParam, pResult)) {
    // The sheet changes the page in its own handling: the banner names the page after that.
    *pResult = Default();
    UpdateHeader();
    return TRUE;
  }
  return CWnd::OnNotify(wParam, lParam, pResult);
}

BOOL CBaseSheet::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN) {
    int count = GetPageCount();
    int active = GetActiveIndex();
    if (pMsg->wParam == VK_NEXT && m_bPageKeys && count > 1) {
      SetActivePage(active <= 0 ? count - 1 : active - 1);
      UpdateHeader();
    } else if (pMsg->wParam == VK_PRIOR && count > 1) {
      SetActivePage(active >= count - 1 ? 0 : active + 1);
      UpdateHeader();
    }
  }
  return CPropertySheet::PreTranslateMessage(pMsg);
}

BOOL CBaseSheet::DestroyWindow() {
  m_imlTabs.DeleteImageList();
  return CWnd::DestroyWindow();
}

int CBaseSheet::ShowMessage(LPCSTR text, UINT type) {
  MessageBeep(0xFFFFFFFF);
  if (type != MB_OK && type != MB_YESNO) return 0;
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  int answer = app ? app->ShowMessagePage(text, type, this) : -1;
  // Without the page, the plain box asks the same question.
  if (answer == -1) answer = ::MessageBox(m_hWnd, text, LoadResString(283), type);
  return answer;
}

void CBaseSheet::OnSize(UINT, int, int) { Default(); }

void CBaseSheet::OnActivate(UINT, CWnd*, BOOL) { Default(); }

void CBaseSheet::OnShowWindow(BOOL, UINT) { Default(); }

BOOL EnableChildControls(CWnd* window, BOOL lock) {
  if (!window || !window->GetSafeHwnd()) return 0;
  for (HWND child = ::GetWindow(window->GetSafeHwnd(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[256];
    memset(name, 0, sizeof name);
    ::GetClassName(child, name, 255);
    if (strcasecmp(name, "static") == 0) {
      ::EnableWindow(child, TRUE);
      continue;
    }
    ::EnableWindow(child, !lock);
    // Locked edits are read-only as well; unlocked ones can be written.
    if (strcasecmp(name, "edit") == 0) ::SendMessage(child, EM_SETREADONLY, lock ? TRUE : FALSE, 0);
  }
  return TRUE;
}
