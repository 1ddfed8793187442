#include "platform/mfc/docview.h"

#include <algorithm>
#include <cstdlib>

#include "platform/mfc/carchive.h"
#include "platform/mfc/cfile.h"
#include "platform/mfc/controls.h"
#include "platform/mfc/gdiobj.h"
#include "platform/mfc/winapp.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"

// ---- CCmdUI ----

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget) {
  if (!pTarget) return FALSE;
  kx::AfxMsg msg;
  msg.lParam = reinterpret_cast<LPARAM>(this);
  return pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, &msg, nullptr);
}

// ---- CDocument ----

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)

CDocument::CDocument() = default;

CDocument::~CDocument() {
  POSITION pos = m_viewList.GetHeadPosition();
  while (pos) static_cast<CView*>(m_viewList.GetNext(pos))->m_pDocument = nullptr;
  m_viewList.RemoveAll();
}

void CDocument::SetTitle(LPCSTR lpszTitle) { m_strTitle = lpszTitle; }

void CDocument::SetPathName(LPCSTR lpszPathName, BOOL /*bAddToMRU: no recently used list here*/) {
  m_strPathName = lpszPathName;
  CString name = m_strPathName;
  int slash = name.ReverseFind('\\');
  int other = name.ReverseFind('/');
  if (other > slash) slash = other;
  SetTitle(name.Mid(slash + 1));
}

BOOL CDocument::IsModified() { return m_bModified; }
void CDocument::SetModifiedFlag(BOOL bModified) { m_bModified = bModified; }

void CDocument::AddView(CView* pView) {
  if (!pView || pView->m_pDocument == this) return;
  if (pView->m_pDocument) pView->m_pDocument->RemoveView(pView);
  m_viewList.AddTail(pView);
  pView->m_pDocument = this;
  OnChangedViewList();
}

void CDocument::RemoveView(CView* pView) {
  if (!pView || pView->m_pDocument != this) return;
  POSITION pos = m_viewList.Find(pView);
  if (pos) m_viewList.RemoveAt(pos);
  pView->m_pDocument = nullptr;
  OnChangedViewList();
}

POSITION CDocument::GetFirstViewPosition() const { return m_viewList.GetHeadPosition(); }
CView* CDocument::GetNextView(POSITION& rPosition) const {
  return static_cast<CView*>(m_viewList.GetNext(rPosition));
}

void CDocument::UpdateAllViews(CView* pSender, LPARAM lHint, CObject* pHint) {
  POSITION pos = GetFirstViewPosition();
  while (pos) {
    CView* view = GetNextView(pos);
    if (view != pSender) view->OnUpdate(pSender, lHint, pHint);
  }
}

void CDocument::OnChangedViewList() {}

void CDocument::DeleteContents() {}

BOOL CDocument::OnNewDocument() {
  DeleteContents();
  m_strPathName.Empty();
  SetModifiedFlag(FALSE);
  return TRUE;
}

void CDocument::SerializeWith(CFile& file, UINT mode) {
  CArchive ar(&file, mode | CArchive::bNoFlushOnDelete);
  ar.m_pDocument = this;
  BeginWaitCursor();
  try {
    if (mode == CArchive::store || file.GetLength() != 0) Serialize(ar);
    ar.Close();
  } catch (...) {
    EndWaitCursor();
    throw;
  }
  EndWaitCursor();
  file.Close();
}

BOOL CDocument::OnOpenDocument(LPCSTR lpszPathName) {
  CFileException fe;
  CFile file;
  if (!file.Open(lpszPathName, CFile::modeRead | CFile::shareDenyWrite, &fe)) {
    ReportSaveLoadException(lpszPathName, &fe, FALSE, AFX_IDP_FAILED_TO_OPEN_DOC);
    return FALSE;
  }
  DeleteContents();
  SetModifiedFlag(TRUE);  // dirty while reading
  try {
    SerializeWith(file, CArchive::load);
  } catch (CException* e) {
    file.Abort();
    DeleteContents();
    ReportSaveLoadException(lpszPathName, e, FALSE, AFX_IDP_FAILED_TO_OPEN_DOC);
    e->Delete();
    return FALSE;
  }
  SetModifiedFlag(FALSE);
  return TRUE;
}

BOOL CDocument::OnSaveDocument(LPCSTR lpszPathName) {
  // The new contents go to a file beside the target, which replaces the target only once complete.
  CString temp = CString(lpszPathName) + ".kxnew";
  CFileException fe;
  CFile file;
  if (!file.Open(temp, CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive, &fe)) {
    fe.m_strFileName = lpszPathName;
    ReportSaveLoadException(lpszPathName, &fe, TRUE, AFX_IDP_FAILED_TO_SAVE_DOC);
    return FALSE;
  }
  try {
    SerializeWith(file, CArchive::store);
  } catch (CException* e) {
    file.Abort();
    ::DeleteFile(temp);
    ReportSaveLoadException(lpszPathName, e, TRUE, AFX_IDP_FAILED_TO_SAVE_DOC);
    e->Delete();
    return FALSE;
  }
  if (!::MoveFileEx(temp, lpszPathName, MOVEFILE_REPLACE_EXISTING)) {
    LONG osError = static_cast<LONG>(::GetLastError());
    CFileException moveError(CFileException::OsErrorToException(osError), osError, lpszPathName);
    ::DeleteFile(temp);
    ReportSaveLoadException(lpszPathName, &moveError, TRUE, AFX_IDP_FAILED_TO_SAVE_DOC);
    return FALSE;
  }
  SetModifiedFlag(FALSE);
  return TRUE;
}

void CDocument::OnCloseDocument() {
  BOOL autoDelete = m_bAutoDelete;
  m_bAutoDelete = FALSE;  // the views' going must not delete the document
  while (!m_viewList.IsEmpty()) {
    CView* view = static_cast<CView*>(m_viewList.GetHead());
    RemoveView(view);
    if (view->GetSafeHwnd()) view->DestroyWindow();
  }
  m_bAutoDelete = autoDelete;
  DeleteContents();
  if (m_bAutoDelete) delete this;
}

void CDocument::ReportSaveLoadException(LPCSTR lpszPathName, CException* e, BOOL bSaving, UINT nIDPDefault) {
  if (e && e->IsKindOf(RUNTIME_CLASS(CUserException))) return;  // already reported
  CString prompt;
  char text[512] = "";
  if (e && e->GetErrorMessage(text, sizeof text) && text[0]) {
    prompt = text;
  } else {
    UINT id = nIDPDefault ? nIDPDefault : (bSaving ? AFX_IDP_FAILED_TO_SAVE_DOC : AFX_IDP_FAILED_TO_OPEN_DOC);
    prompt = id == AFX_IDP_FAILED_TO_SAVE_DOC ? "Failed to save document." : "Failed to open document.";
    if (lpszPathName && *lpszPathName) prompt = CString(lpszPathName) + "\n" + prompt;
  }
  AfxMessageBox(prompt, MB_ICONEXCLAMATION, 0);
}

// ---- CView ----

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
  ON_WM_CREATE()
  ON_WM_PAINT()
  ON_WM_MOUSEACTIVATE()
END_MESSAGE_MAP()

CView::CView() = default;

CView::~CView() {
  if (m_pDocument) m_pDocument->RemoveView(this);
}

BOOL CView::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass) {
    cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, LoadCursor(nullptr, IDC_ARROW),
                                       reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  }
  if (cs.style & WS_BORDER) {
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~static_cast<LONG>(WS_BORDER);
  }
  return TRUE;
}

int CView::OnCreate(LPCREATESTRUCT lpcs) {
  if (CWnd::OnCreate(lpcs) == -1) return -1;
  auto* context = lpcs ? static_cast<CCreateContext*>(lpcs->lpCreateParams) : nullptr;
  if (context && context->m_pCurrentDoc) context->m_pCurrentDoc->AddView(this);
  return 0;
}

void CView::OnPaint() {
  CPaintDC dc(this);
  OnPrepareDC(&dc);
  OnDraw(&dc);
}

static CFrameWnd* ParentFrameOf(const CWnd* wnd) {
  for (CWnd* p = wnd->GetParent(); p; p = p->GetParent()) {
    if (p->IsKindOf(RUNTIME_CLASS(CFrameWnd))) return static_cast<CFrameWnd*>(p);
  }
  return nullptr;
}

int CView::OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message) {
  int result = CWnd::OnMouseActivate(pDesktopWnd, nHitTest, message);
  if (result == MA_NOACTIVATE || result == MA_NOACTIVATEANDEAT) return result;
  if (CFrameWnd* frame = ParentFrameOf(this)) {
    if (frame->GetActiveView() != this) frame->SetActiveView(this);
  }
  return result;
}

void CView::OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }

void CView::OnUpdate(CView* /*pSender*/, LPARAM /*lHint*/, CObject* /*pHint*/) { Invalidate(TRUE); }

void CView::OnPrepareDC(CDC* /*pDC*/, void* /*pInfo*/) {}

void CView::PostNcDestroy() { delete this; }

// ---- CScrollView ----

IMPLEMENT_DYNAMIC(CScrollView, CView)

BEGIN_MESSAGE_MAP(CScrollView, CView)
  ON_WM_SIZE()
  ON_WM_HSCROLL()
  ON_WM_VSCROLL()
END_MESSAGE_MAP()

const SIZE CScrollView::sizeDefault = {0, 0};

CScrollView::CScrollView() = default;

// Logical to device size under a mapping mode, as a screen DC maps it.
static CSize LogicalToDevice(int mapMode, SIZE size) {
  if (mapMode == MM_TEXT) return CSize(size.cx, size.cy);
  HDC dc = ::GetDC(nullptr);
  int old = ::SetMapMode(dc, mapMode);
  POINT pt = {size.cx, size.cy};
  ::LPtoDP(dc, &pt, 1);
  POINT origin = {0, 0};
  ::LPtoDP(dc, &origin, 1);
  ::SetMapMode(dc, old);
  ::ReleaseDC(nullptr, dc);
  return CSize(std::abs(pt.x - origin.x), std::abs(pt.y - origin.y));
}

void CScrollView::SetScrollSizes(int nMapMode, SIZE sizeTotal, const SIZE& sizePage, const SIZE& sizeLine) {
  m_nMapMode = nMapMode;
  m_bScaleToFit = FALSE;
  m_totalLog = sizeTotal;
  m_totalDev = LogicalToDevice(nMapMode, sizeTotal);
  m_pageDev = LogicalToDevice(nMapMode, sizePage);
  m_lineDev = LogicalToDevice(nMapMode, sizeLine);
  if (m_pageDev.cx == 0) m_pageDev.cx = m_totalDev.cx / 10;
  if (m_pageDev.cy == 0) m_pageDev.cy = m_totalDev.cy / 10;
  if (m_lineDev.cx == 0) m_lineDev.cx = m_pageDev.cx / 10;
  if (m_lineDev.cy == 0) m_lineDev.cy = m_pageDev.cy / 10;
  if (GetSafeHwnd()) {
    UpdateBars();
    Invalidate(TRUE);
  }
}

void CScrollView::SetScaleToFitSize(SIZE sizeTotal) {
  m_bScaleToFit = TRUE;
  m_nMapMode = MM_ANISOTROPIC;
  m_totalLog = sizeTotal;
  if (GetSafeHwnd()) {
    SetScrollRange(SB_HORZ, 0, 0, FALSE);
    SetScrollRange(SB_VERT, 0, 0, FALSE);
    ShowScrollBar(SB_BOTH, FALSE);
    CRect rc;
    GetClientRect(&rc);
    m_totalDev = CSize(rc.Width(), rc.Height());
    Invalidate(TRUE);
  }
}

void CScrollView::OnPrepareDC(CDC* pDC, void* pInfo) {
  if (m_bScaleToFit) {
    pDC->SetMapMode(MM_ANISOTROPIC);
    pDC->SetWindowExt(m_totalLog.cx ? m_totalLog.cx : 1, m_totalLog.cy ? m_totalLog.cy : 1);
    pDC->SetViewportExt(m_totalDev.cx ? m_totalDev.cx : 1, m_totalDev.cy ? m_totalDev.cy : 1);
  } else {
    pDC->SetMapMode(m_nMapMode);
    pDC->SetViewportOrg(-GetScrollPos(SB_HORZ), -GetScrollPos(SB_VERT));
  }
  CView::OnPrepareDC(pDC, pInfo);
}

CPoint CScrollView::GetScrollPosition() const {
  if (m_bScaleToFit) return CPoint(0, 0);
  CPoint pt(GetScrollPos(SB_HORZ), GetScrollPos(SB_VERT));
  if (m_nMapMode != MM_TEXT) {
    HDC dc = ::GetDC(nullptr);
    int old = ::SetMapMode(dc, m_nMapMode);
    ::DPtoLP(dc, &pt, 1);
    ::SetMapMode(dc, old);
    ::ReleaseDC(nullptr, dc);
  }
  return pt;
}

void CScrollView::ScrollToPosition(POINT pt) {
  if (m_bScaleToFit) return;
  CPoint dev(pt);
  if (m_nMapMode != MM_TEXT) {
    HDC dc = ::GetDC(nullptr);
    int old = ::SetMapMode(dc, m_nMapMode);
    ::LPtoDP(dc, &dev, 1);
    ::SetMapMode(dc, old);
    ::ReleaseDC(nullptr, dc);
  }
  int oldX = GetScrollPos(SB_HORZ), oldY = GetScrollPos(SB_VERT);
  SetScrollPos(SB_HORZ, std::max(0, static_cast<int>(dev.x)));
  SetScrollPos(SB_VERT, std::max(0, static_cast<int>(std::abs(dev.y))));
  ScrollWindow(oldX - GetScrollPos(SB_HORZ), oldY - GetScrollPos(SB_VERT));
}

void CScrollView::UpdateBars() {
  if (m_bScaleToFit || !GetSafeHwnd()) return;
  CRect rc;
  GetClientRect(&rc);
  for (int bar : {SB_HORZ, SB_VERT}) {
    int total = bar == SB_HORZ ? m_totalDev.cx : m_totalDev.cy;
    int client = bar == SB_HORZ ? rc.Width() : rc.Height();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_PAGE | SIF_RANGE | SIF_POS;
    si.nMin = 0;
    si.nMax = total > client ? total - 1 : 0;
    si.nPage = total > client ? static_cast<UINT>(client) : 0;
    int pos = GetScrollPos(bar);
    si.nPos = std::min(pos, std::max(0, total - client));
    SetScrollInfo(bar, &si, TRUE);
    ShowScrollBar(bar, total > client);
  }
}

void CScrollView::ScrollBy(int bar, UINT code, UINT pos) {
  int cur = GetScrollPos(bar);
  int page = bar == SB_HORZ ? m_pageDev.cx : m_pageDev.cy;
  int line = bar == SB_HORZ ? m_lineDev.cx : m_lineDev.cy;
  int total = bar == SB_HORZ ? m_totalDev.cx : m_totalDev.cy;
  CRect rc;
  GetClientRect(&rc);
  int maxPos = std::max(0, total - (bar == SB_HORZ ? rc.Width() : rc.Height()));
  int next = cur;
  switch (code) {
    case SB_TOP: next = 0; break;
    case SB_BOTTOM: next = maxPos; break;
    case SB_LINEUP: next = cur - line; break;
    case SB_LINEDOWN: next = cur + line; break;
    case SB_PAGEUP: next = cur - page; break;
    case SB_PAGEDOWN: next = cur + page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: next = static_cast<int>(pos); break;
    default: return;
  }
  next = std::max(0, std::min(next, maxPos));
  if (next == cur) return;
  SetScrollPos(bar, next);
  if (bar == SB_HORZ) {
    ScrollWindow(cur - next, 0);
  } else {
    ScrollWindow(0, cur - next);
  }
}

void CScrollView::OnSize(UINT nType, int cx, int cy) {
  CView::OnSize(nType, cx, cy);
  if (m_bScaleToFit) {
    m_totalDev = CSize(cx, cy);
    Invalidate(TRUE);
  } else {
    UpdateBars();
  }
}

void CScrollView::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* /*pScrollBar*/) {
  if (!m_bScaleToFit) ScrollBy(SB_HORZ, nSBCode, nPos);
}

void CScrollView::OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* /*pScrollBar*/) {
  if (!m_bScaleToFit) ScrollBy(SB_VERT, nSBCode, nPos);
}

// ---- CFrameWnd ----

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

CWnd* CFrameWnd::GetMessageBar() { return GetDescendantWindow(AFX_IDW_STATUS_BAR, TRUE); }

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL /*bNotify*/) {
  m_pViewActive = pViewNew;
  if (pViewNew && pViewNew->GetSafeHwnd()) pViewNew->SetFocus();
}

CDocument* CFrameWnd::GetActiveDocument() { return m_pViewActive ? m_pViewActive->GetDocument() : nullptr; }

BOOL CFrameWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd) {
  LPCSTR cls = lpszClassName ? lpszClassName
                             : AfxRegisterWndClass(CS_DBLCLKS, LoadCursor(nullptr, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  return CreateEx(0, cls, lpszWindowName, dwStyle, rect.left, rect.top,
                  rect.left == CW_USEDEFAULT ? CW_USEDEFAULT : rect.right - rect.left,
                  rect.left == CW_USEDEFAULT ? CW_USEDEFAULT : rect.bottom - rect.top,
                  pParentWnd ? pParentWnd->GetSafeHwnd() : nullptr, nullptr, nullptr);
}

void CFrameWnd::PostNcDestroy() { delete this; }
