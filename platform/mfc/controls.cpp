#include "platform/mfc/controls.h"

#include <cstring>
#include <string>

#include "platform/mfc/afxstate.h"
#include "platform/mfc/resource.h"

// ---------------------------------------------------------------------------------------------------------------
// Creation of the standard controls
// ---------------------------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CTabCtrl, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)
IMPLEMENT_DYNCREATE(CImageList, CObject)

BOOL CStatic::Create(LPCSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create("STATIC", lpszText, dwStyle, rect, pParentWnd, nID);
}
BOOL CButton::Create(LPCSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create("BUTTON", lpszCaption, dwStyle, rect, pParentWnd, nID);
}
BOOL CEdit::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create("EDIT", nullptr, dwStyle, rect, pParentWnd, nID);
}
BOOL CScrollBar::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create("SCROLLBAR", nullptr, dwStyle, rect, pParentWnd, nID);
}
BOOL CComboBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_COMBOBOXA, nullptr, dwStyle, rect, pParentWnd, nID);
}
BOOL CListBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_LISTBOXA, nullptr, dwStyle, rect, pParentWnd, nID);
}
BOOL CTabCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_TABCONTROLA, nullptr, dwStyle, rect, pParentWnd, nID);
}

// ---------------------------------------------------------------------------------------------------------------
// Owner drawing comes back from the parent as virtual calls
// ---------------------------------------------------------------------------------------------------------------
namespace {
// A control that draws itself takes WM_DRAWITEM (reflected from its parent) as a DrawItem call.
template <typename Control>
BOOL DrawItemNotify(Control* control, UINT message, LPARAM lParam) {
  if (message != WM_DRAWITEM) return FALSE;
  control->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  return TRUE;
}

// A list-like control with owner-drawn items also measures, compares and deletes them.
template <typename Control>
BOOL ItemNotify(Control* control, UINT message, LPARAM lParam, LRESULT* pResult) {
  switch (message) {
    case WM_MEASUREITEM: control->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)); return TRUE;
    case WM_DELETEITEM: control->DeleteItem(reinterpret_cast<LPDELETEITEMSTRUCT>(lParam)); return TRUE;
    case WM_COMPAREITEM:
      if (pResult) *pResult = control->CompareItem(reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam));
      return TRUE;
    default: return DrawItemNotify(control, message, lParam);
  }
}
}  // namespace

void CStatic::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return CWnd::OnChildNotify(message, wParam, lParam, pResult) || DrawItemNotify(this, message, lParam);
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return CWnd::OnChildNotify(message, wParam, lParam, pResult) || DrawItemNotify(this, message, lParam);
}

void CComboBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
int CComboBox::CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
void CComboBox::DeleteItem(LPDELETEITEMSTRUCT) {}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return CWnd::OnChildNotify(message, wParam, lParam, pResult) || ItemNotify(this, message, lParam, pResult);
}

void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
int CListBox::CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
void CListBox::DeleteItem(LPDELETEITEMSTRUCT) {}
int CListBox::VKeyToItem(UINT, UINT) { return -1; }
int CListBox::CharToItem(UINT, UINT) { return -1; }

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (CWnd::OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
  if (ItemNotify(this, message, lParam, pResult)) return TRUE;
  switch (message) {
    case WM_VKEYTOITEM:
      if (pResult) *pResult = VKeyToItem(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CHARTOITEM:
      if (pResult) *pResult = CharToItem(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Texts and selections
// ---------------------------------------------------------------------------------------------------------------
void CEdit::GetSel(int& nStartChar, int& nEndChar) const {
  DWORD start = 0, end = 0;
  SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  nStartChar = static_cast<int>(start);
  nEndChar = static_cast<int>(end);
}

void CEdit::SetSel(DWORD dwSelection, BOOL bNoScroll) {
  SendMessage(EM_SETSEL, LOWORD(dwSelection), HIWORD(dwSelection));
  if (!bNoScroll) SendMessage(EM_SCROLLCARET);
}

void CEdit::SetSel(int nStartChar, int nEndChar, BOOL bNoScroll) {
  SendMessage(EM_SETSEL, static_cast<WPARAM>(nStartChar), nEndChar);
  if (!bNoScroll) SendMessage(EM_SCROLLCARET);
}

int CEdit::GetLine(int nIndex, LPSTR lpszBuffer, int nMaxLength) const {
  if (!lpszBuffer || nMaxLength < 2) return 0;
  // The control reads the buffer's size from its first word.
  WORD size = static_cast<WORD>(nMaxLength > 0xFFFF ? 0xFFFF : nMaxLength);
  memcpy(lpszBuffer, &size, sizeof size);
  return static_cast<int>(SendMessage(EM_GETLINE, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszBuffer)));
}

void CComboBox::GetLBText(int nIndex, CString& rString) const {
  int len = GetLBTextLen(nIndex);
  rString.Empty();
  if (len <= 0) return;
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  GetLBText(nIndex, buf.data());
  rString = buf.c_str();
}

void CListBox::GetText(int nIndex, CString& rString) const {
  int len = GetTextLen(nIndex);
  rString.Empty();
  if (len <= 0) return;
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  GetText(nIndex, buf.data());
  rString = buf.c_str();
}

UINT CListBox::ItemFromPoint(CPoint pt, BOOL& bOutside) const {
  DWORD r = static_cast<DWORD>(SendMessage(LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y)));
  bOutside = HIWORD(r) != 0;
  return LOWORD(r);
}

// ---------------------------------------------------------------------------------------------------------------
// Image lists
// ---------------------------------------------------------------------------------------------------------------
namespace {
kx::afx::HandleMap<HIMAGELIST, CImageList>& ImageListMap() {
  static auto* m = new kx::afx::HandleMap<HIMAGELIST, CImageList>(
      [](HIMAGELIST h) {
        auto* il = new CImageList;
        il->m_hImageList = h;
        return il;
      },
      [](CImageList* il) { il->m_hImageList = nullptr; });
  return *m;
}
}  // namespace

CImageList::~CImageList() { DeleteImageList(); }

HIMAGELIST CImageList::GetSafeHandle() const { return kx::afx::SafeImageList(this); }

CImageList* CImageList::FromHandle(HIMAGELIST h) { return ImageListMap().FromHandle(h); }

CImageList* CImageList::FromHandlePermanent(HIMAGELIST h) { return h ? ImageListMap().LookupPermanent(h) : nullptr; }

BOOL CImageList::Attach(HIMAGELIST hImageList) {
  if (!hImageList || m_hImageList) return FALSE;
  m_hImageList = hImageList;
  ImageListMap().SetPermanent(hImageList, this);
  return TRUE;
}

HIMAGELIST CImageList::Detach() {
  HIMAGELIST h = m_hImageList;
  if (h) ImageListMap().RemovePermanent(h, this);
  m_hImageList = nullptr;
  return h;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  return ImageList_Destroy(Detach());
}

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
  return Attach(ImageList_Create(cx, cy, nFlags, nInitial, nGrow));
}

BOOL CImageList::Create(LPCSTR lpszBitmapID, int cx, int nGrow, COLORREF crMask) {
  return Attach(ImageList_LoadBitmap(AfxFindResourceHandle(lpszBitmapID, RT_BITMAP), lpszBitmapID, cx, nGrow, crMask));
}

BOOL CImageList::Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask) {
  return Create(MAKEINTRESOURCE(nBitmapID), cx, nGrow, crMask);
}

BOOL CImageList::Create(CImageList* pImageList) {
  return pImageList ? Attach(ImageList_Duplicate(pImageList->m_hImageList)) : FALSE;
}

int CImageList::Add(CBitmap* pbmImage, CBitmap* pbmMask) {
  return ImageList_Add(m_hImageList, pbmImage ? static_cast<HBITMAP>(pbmImage->m_hObject) : nullptr,
                       pbmMask ? static_cast<HBITMAP>(pbmMask->m_hObject) : nullptr);
}

int CImageList::Add(CBitmap* pbmImage, COLORREF crMask) {
  return ImageList_AddMasked(m_hImageList, pbmImage ? static_cast<HBITMAP>(pbmImage->m_hObject) : nullptr, crMask);
}

BOOL CImageList::Replace(int nImage, CBitmap* pbmImage, CBitmap* pbmMask) {
  return ImageList_Replace(m_hImageList, nImage, pbmImage ? static_cast<HBITMAP>(pbmImage->m_hObject) : nullptr,
                           pbmMask ? static_cast<HBITMAP>(pbmMask->m_hObject) : nullptr);
}

BOOL CImageList::Draw(CDC* pDC, int nImage, POINT pt, UINT nStyle) {
  return ImageList_Draw(m_hImageList, nImage, kx::afx::SafeHdc(pDC), pt.x, pt.y, nStyle);
}

BOOL CImageList::DrawEx(CDC* pDC, int nImage, POINT pt, SIZE sz, COLORREF clrBk, COLORREF clrFg, UINT nStyle) {
  return ImageList_DrawEx(m_hImageList, nImage, kx::afx::SafeHdc(pDC), pt.x, pt.y, sz.cx, sz.cy, clrBk, clrFg, nStyle);
}

// ---------------------------------------------------------------------------------------------------------------
// Tab control
// ---------------------------------------------------------------------------------------------------------------
CImageList* CTabCtrl::GetImageList() const {
  return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(SendMessage(TCM_GETIMAGELIST)));
}

CImageList* CTabCtrl::SetImageList(CImageList* pImageList) {
  return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(
      SendMessage(TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pImageList ? pImageList->m_hImageList : nullptr))));
}

LONG CTabCtrl::InsertItem(UINT nMask, int nItem, LPCSTR lpszItem, int nImage, LPARAM lParam) {
  TCITEM item{};
  item.mask = nMask;
  item.pszText = const_cast<LPSTR>(lpszItem);
  item.iImage = nImage;
  item.lParam = lParam;
  return InsertItem(nItem, &item);
}

LONG CTabCtrl::InsertItem(int nItem, LPCSTR lpszItem) { return InsertItem(TCIF_TEXT, nItem, lpszItem, 0, 0); }

LONG CTabCtrl::InsertItem(int nItem, LPCSTR lpszItem, int nImage) {
  return InsertItem(TCIF_TEXT | TCIF_IMAGE, nItem, lpszItem, nImage, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Tooltips
// ---------------------------------------------------------------------------------------------------------------
BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
  return CWnd::CreateEx(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, kx::afx::SafeHwnd(pParentWnd), nullptr, nullptr);
}

void CToolTipCtrl::FillInToolInfo(TOOLINFO& ti, CWnd* pWnd, UINT_PTR nIDTool) const {
  ti = TOOLINFO{};
  ti.cbSize = sizeof ti;
  HWND h = kx::afx::SafeHwnd(pWnd);
  if (nIDTool == 0) {
    ti.hwnd = ::GetParent(h);
    ti.uFlags = TTF_IDISHWND;
    ti.uId = reinterpret_cast<UINT_PTR>(h);
  } else {
    ti.hwnd = h;
    ti.uId = nIDTool;
  }
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCSTR lpszText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  TOOLINFO ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  if (lpRectTool) ti.rect = *lpRectTool;
  else if (pWnd) ::GetClientRect(kx::afx::SafeHwnd(pWnd), &ti.rect);
  ti.lpszText = const_cast<LPSTR>(lpszText);
  return static_cast<BOOL>(SendMessage(TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti)));
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool, UINT_PTR nIDTool) {
  CString text;
  text.LoadString(nIDText);
  return AddTool(pWnd, text, lpRectTool, nIDTool);
}

void CToolTipCtrl::DelTool(CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFO ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  SendMessage(TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::GetText(CString& str, CWnd* pWnd, UINT_PTR nIDTool) const {
  TOOLINFO ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  char buf[1024] = {};
  ti.lpszText = buf;
  SendMessage(TTM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(&ti));
  str = buf;
}

BOOL CToolTipCtrl::GetToolInfo(TOOLINFO* pToolInfo, CWnd* pWnd, UINT_PTR nIDTool) const {
  FillInToolInfo(*pToolInfo, pWnd, nIDTool);
  return static_cast<BOOL>(SendMessage(TTM_GETTOOLINFO, 0, reinterpret_cast<LPARAM>(pToolInfo)));
}

void CToolTipCtrl::SetToolRect(CWnd* pWnd, UINT_PTR nIDTool, LPCRECT lpRect) {
  TOOLINFO ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  if (lpRect) ti.rect = *lpRect;
  SendMessage(TTM_NEWTOOLRECT, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::UpdateTipText(LPCSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool) {
  TOOLINFO ti;
  FillInToolInfo(ti, pWnd, nIDTool);
  ti.lpszText = const_cast<LPSTR>(lpszText);
  SendMessage(TTM_UPDATETIPTEXT, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::UpdateTipText(UINT nIDText, CWnd* pWnd, UINT_PTR nIDTool) {
  CString text;
  text.LoadString(nIDText);
  UpdateTipText(text, pWnd, nIDTool);
}
