// The framework's wrappers of the common controls.
#include "platform/mfc/afxcmn.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/mfc/resource.h"
#include "platform/ui/ctlcommon.h"

IMPLEMENT_DYNAMIC(CHeaderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CDateTimeCtrl, CWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)
IMPLEMENT_DYNAMIC(CIPAddressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CStatusBarCtrl, CWnd)
IMPLEMENT_DYNAMIC(CStatusBar, CStatusBarCtrl)

namespace {

CImageList* ImageListOf(LRESULT h) { return h ? CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(h)) : nullptr; }
LPARAM HandleOf(CImageList* il) { return reinterpret_cast<LPARAM>(il ? il->m_hImageList : nullptr); }

BOOL DrawItemReflected(UINT message, LPARAM lParam, const std::function<void(LPDRAWITEMSTRUCT)>& draw) {
  if (message != WM_DRAWITEM) return FALSE;
  draw(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  return TRUE;
}

}  // namespace

// ----- header -----
BOOL CHeaderCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_HEADERA, nullptr, dwStyle, rect, pParentWnd, nID);
}

CImageList* CHeaderCtrl::SetImageList(CImageList* pImageList) {
  return ImageListOf(SendMessage(HDM_SETIMAGELIST, 0, HandleOf(pImageList)));
}

CImageList* CHeaderCtrl::GetImageList() const { return ImageListOf(SendMessage(HDM_GETIMAGELIST)); }

void CHeaderCtrl::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CHeaderCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (CWnd::OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
  return DrawItemReflected(message, lParam, [this](LPDRAWITEMSTRUCT d) { DrawItem(d); });
}

// ----- list view -----
BOOL CListCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_LISTVIEWA, nullptr, dwStyle, rect, pParentWnd, nID);
}

BOOL CListCtrl::CreateEx(DWORD dwExStyle, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  if (!Create(dwStyle, rect, pParentWnd, nID)) return FALSE;
  SetExtendedStyle(dwExStyle);
  return TRUE;
}

CImageList* CListCtrl::GetImageList(int nImageList) const {
  return ImageListOf(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(nImageList)));
}

CImageList* CListCtrl::SetImageList(CImageList* pImageList, int nImageListType) {
  return ImageListOf(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(nImageListType), HandleOf(pImageList)));
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() const {
  HWND h = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
  return h ? static_cast<CHeaderCtrl*>(CWnd::FromHandle(h)) : nullptr;
}

int CListCtrl::InsertColumn(int nCol, LPCSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem) {
  LVCOLUMNA col{};
  col.mask = LVCF_TEXT | LVCF_FMT;
  col.pszText = const_cast<LPSTR>(lpszColumnHeading);
  col.fmt = nFormat;
  if (nWidth != -1) {
    col.mask |= LVCF_WIDTH;
    col.cx = nWidth;
  }
  if (nSubItem != -1) {
    col.mask |= LVCF_SUBITEM;
    col.iSubItem = nSubItem;
  }
  return InsertColumn(nCol, &col);
}

BOOL CListCtrl::GetColumnOrderArray(LPINT piArray, int iCount) {
  if (iCount == -1) {
    CHeaderCtrl* header = GetHeaderCtrl();
    iCount = header ? header->GetItemCount() : 0;
  }
  return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(iCount), reinterpret_cast<LPARAM>(piArray)));
}

BOOL CListCtrl::SetItem(int nItem, int nSubItem, UINT nMask, LPCSTR lpszItem, int nImage, UINT nState,
                        UINT nStateMask, LPARAM lParam) {
  LVITEMA it{};
  it.mask = nMask;
  it.iItem = nItem;
  it.iSubItem = nSubItem;
  it.pszText = const_cast<LPSTR>(lpszItem);
  it.iImage = nImage;
  it.state = nState;
  it.stateMask = nStateMask;
  it.lParam = lParam;
  return SetItem(&it);
}

int CListCtrl::InsertItem(int nItem, LPCSTR lpszItem) { return InsertItem(LVIF_TEXT, nItem, lpszItem, 0, 0, 0, 0); }

int CListCtrl::InsertItem(int nItem, LPCSTR lpszItem, int nImage) {
  return InsertItem(LVIF_TEXT | LVIF_IMAGE, nItem, lpszItem, 0, 0, nImage, 0);
}

int CListCtrl::InsertItem(UINT nMask, int nItem, LPCSTR lpszItem, UINT nState, UINT nStateMask, int nImage,
                          LPARAM lParam) {
  LVITEMA it{};
  it.mask = nMask;
  it.iItem = nItem;
  it.pszText = const_cast<LPSTR>(lpszItem);
  it.state = nState;
  it.stateMask = nStateMask;
  it.iImage = nImage;
  it.lParam = lParam;
  return InsertItem(&it);
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
  // The text is asked for in growing buffers until it fits.
  std::vector<char> buf(256);
  for (;;) {
    LVITEMA it{};
    it.iSubItem = nSubItem;
    it.pszText = buf.data();
    it.cchTextMax = static_cast<int>(buf.size());
    int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&it)));
    if (n < static_cast<int>(buf.size()) - 1 || buf.size() >= (1u << 20)) return CString(buf.data());
    buf.resize(buf.size() * 4);
  }
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPSTR lpszText, int nLen) const {
  LVITEMA it{};
  it.iSubItem = nSubItem;
  it.pszText = lpszText;
  it.cchTextMax = nLen;
  return static_cast<int>(SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCSTR lpszText) {
  LVITEMA it{};
  it.iSubItem = nSubItem;
  it.pszText = const_cast<LPSTR>(lpszText);
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&it)));
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
  LVITEMA it{};
  it.mask = LVIF_PARAM;
  it.iItem = nItem;
  GetItem(&it);
  return static_cast<DWORD_PTR>(it.lParam);
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
  return SetItem(nItem, 0, LVIF_PARAM, nullptr, 0, 0, 0, static_cast<LPARAM>(dwData));
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
  LVITEMA it{};
  it.state = nState;
  it.stateMask = nMask;
  return SetItemState(nItem, &it);
}

POSITION CListCtrl::GetFirstSelectedItemPosition() const {
  int i = GetNextItem(-1, LVNI_SELECTED);
  return reinterpret_cast<POSITION>(static_cast<intptr_t>(i + 1));
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
  int i = static_cast<int>(reinterpret_cast<intptr_t>(pos)) - 1;
  int next = GetNextItem(i, LVNI_SELECTED);
  pos = reinterpret_cast<POSITION>(static_cast<intptr_t>(next + 1));
  return i;
}

BOOL CListCtrl::GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const {
  if (!lpRect) return FALSE;
  lpRect->left = static_cast<LONG>(nCode);
  return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(lpRect)));
}

BOOL CListCtrl::GetSubItemRect(int iItem, int iSubItem, int nArea, CRect& ref) const {
  RECT r{nArea, iSubItem, 0, 0};
  BOOL ok = static_cast<BOOL>(SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(iItem), reinterpret_cast<LPARAM>(&r)));
  if (ok) ref = r;
  return ok;
}

int CListCtrl::HitTest(CPoint pt, UINT* pFlags) const {
  LVHITTESTINFO ht{};
  ht.pt = pt;
  int i = HitTest(&ht);
  if (pFlags) *pFlags = ht.flags;
  return i;
}

CEdit* CListCtrl::GetEditControl() const {
  HWND h = reinterpret_cast<HWND>(SendMessage(LVM_GETEDITCONTROL));
  return h ? static_cast<CEdit*>(CWnd::FromHandle(h)) : nullptr;
}

void CListCtrl::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CListCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (CWnd::OnChildNotify(message, wParam, lParam, pResult)) return TRUE;
  return DrawItemReflected(message, lParam, [this](LPDRAWITEMSTRUCT d) { DrawItem(d); });
}

// ----- tree view -----
BOOL CTreeCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_TREEVIEWA, nullptr, dwStyle, rect, pParentWnd, nID);
}

HTREEITEM CTreeCtrl::InsertItem(UINT nMask, LPCSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                                UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  TVINSERTSTRUCTA ins{};
  ins.hParent = hParent;
  ins.hInsertAfter = hInsertAfter;
  ins.item.mask = nMask;
  ins.item.pszText = const_cast<LPSTR>(lpszItem);
  ins.item.iImage = nImage;
  ins.item.iSelectedImage = nSelectedImage;
  ins.item.state = nState;
  ins.item.stateMask = nStateMask;
  ins.item.lParam = lParam;
  return InsertItem(&ins);
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0, hParent, hInsertAfter);
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent,
                                HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, lpszItem, nImage, nSelectedImage, 0, 0, 0, hParent,
                    hInsertAfter);
}

CImageList* CTreeCtrl::GetImageList(int nImageList) const {
  return ImageListOf(SendMessage(TVM_GETIMAGELIST, static_cast<WPARAM>(nImageList)));
}

CImageList* CTreeCtrl::SetImageList(CImageList* pImageList, int nImageListType) {
  return ImageListOf(SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(nImageListType), HandleOf(pImageList)));
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  TVITEMA it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = hItem;
  return GetItem(&it) && it.cChildren != 0;
}

BOOL CTreeCtrl::SetItem(HTREEITEM hItem, UINT nMask, LPCSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                        UINT nStateMask, LPARAM lParam) {
  TVITEMA it{};
  it.hItem = hItem;
  it.mask = nMask;
  it.pszText = const_cast<LPSTR>(lpszItem);
  it.iImage = nImage;
  it.iSelectedImage = nSelectedImage;
  it.state = nState;
  it.stateMask = nStateMask;
  it.lParam = lParam;
  return SetItem(&it);
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  std::vector<char> buf(1024, '\0');
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = hItem;
  it.pszText = buf.data();
  it.cchTextMax = static_cast<int>(buf.size());
  GetItem(&it);
  return CString(buf.data());
}

BOOL CTreeCtrl::SetItemText(HTREEITEM hItem, LPCSTR lpszItem) { return SetItem(hItem, TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0); }

BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const {
  TVITEMA it{};
  it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  it.hItem = hItem;
  if (!GetItem(&it)) return FALSE;
  nImage = it.iImage;
  nSelectedImage = it.iSelectedImage;
  return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) {
  return SetItem(hItem, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, nImage, nSelectedImage, 0, 0, 0);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  return SetItem(hItem, TVIF_STATE, nullptr, 0, 0, nState, nStateMask, 0);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = hItem;
  GetItem(&it);
  return static_cast<DWORD_PTR>(it.lParam);
}

BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
  return SetItem(hItem, TVIF_PARAM, nullptr, 0, 0, 0, 0, static_cast<LPARAM>(dwData));
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const {
  if (!lpRect) return FALSE;
  std::memcpy(lpRect, &hItem, sizeof hItem);
  return static_cast<BOOL>(SendMessage(TVM_GETITEMRECT, bTextOnly, reinterpret_cast<LPARAM>(lpRect)));
}

HTREEITEM CTreeCtrl::HitTest(CPoint pt, UINT* pFlags) const {
  TVHITTESTINFO ht{};
  ht.pt = pt;
  HTREEITEM h = HitTest(&ht);
  if (pFlags) *pFlags = ht.flags;
  return h;
}

CEdit* CTreeCtrl::GetEditControl() const {
  HWND h = reinterpret_cast<HWND>(SendMessage(TVM_GETEDITCONTROL));
  return h ? static_cast<CEdit*>(CWnd::FromHandle(h)) : nullptr;
}

// ----- progress, date-time, up-down -----
BOOL CProgressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(PROGRESS_CLASSA, nullptr, dwStyle, rect, pParentWnd, nID);
}

void CProgressCtrl::GetRange(int& nLower, int& nUpper) const {
  PBRANGE r{};
  SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&r));
  nLower = r.iLow;
  nUpper = r.iHigh;
}

BOOL CDateTimeCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(DATETIMEPICK_CLASSA, nullptr, dwStyle, rect, pParentWnd, nID);
}

BOOL CDateTimeCtrl::GetTime(COleDateTime& timeDest) const {
  SYSTEMTIME st{};
  if (GetTime(&st) != GDT_VALID) {
    timeDest.SetStatus(COleDateTime::null);
    return FALSE;
  }
  timeDest = COleDateTime(st);
  return TRUE;
}

DWORD CDateTimeCtrl::GetTime(CTime& timeDest) const {
  SYSTEMTIME st{};
  DWORD r = GetTime(&st);
  if (r == GDT_VALID) timeDest = CTime(st);
  return r;
}

BOOL CDateTimeCtrl::SetTime(LPSYSTEMTIME pTimeNew) {
  return static_cast<BOOL>(SendMessage(DTM_SETSYSTEMTIME, pTimeNew ? GDT_VALID : GDT_NONE, reinterpret_cast<LPARAM>(pTimeNew)));
}

BOOL CDateTimeCtrl::SetTime(const COleDateTime& timeNew) {
  SYSTEMTIME st{};
  if (timeNew.GetStatus() != COleDateTime::valid || !timeNew.GetAsSystemTime(st)) return SetTime(static_cast<LPSYSTEMTIME>(nullptr));
  return SetTime(&st);
}

BOOL CDateTimeCtrl::SetTime(const CTime* pTimeNew) {
  SYSTEMTIME st{};
  if (!pTimeNew || !pTimeNew->GetAsSystemTime(st)) return SetTime(static_cast<LPSYSTEMTIME>(nullptr));
  return SetTime(&st);
}

DWORD CDateTimeCtrl::GetRange(COleDateTime* pMinRange, COleDateTime* pMaxRange) const {
  SYSTEMTIME st[2]{};
  DWORD r = static_cast<DWORD>(SendMessage(DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(st)));
  if (pMinRange) {
    if (r & GDTR_MIN) *pMinRange = COleDateTime(st[0]);
    else pMinRange->SetStatus(COleDateTime::null);
  }
  if (pMaxRange) {
    if (r & GDTR_MAX) *pMaxRange = COleDateTime(st[1]);
    else pMaxRange->SetStatus(COleDateTime::null);
  }
  return r;
}

BOOL CDateTimeCtrl::SetRange(const COleDateTime* pMinRange, const COleDateTime* pMaxRange) {
  SYSTEMTIME st[2]{};
  WPARAM which = 0;
  if (pMinRange && pMinRange->GetStatus() == COleDateTime::valid && pMinRange->GetAsSystemTime(st[0])) which |= GDTR_MIN;
  if (pMaxRange && pMaxRange->GetStatus() == COleDateTime::valid && pMaxRange->GetAsSystemTime(st[1])) which |= GDTR_MAX;
  return static_cast<BOOL>(SendMessage(DTM_SETRANGE, which, reinterpret_cast<LPARAM>(st)));
}

BOOL CSpinButtonCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(UPDOWN_CLASSA, nullptr, dwStyle, rect, pParentWnd, nID);
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
  SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
}

CWnd* CSpinButtonCtrl::SetBuddy(CWnd* pWndBuddy) {
  HWND old = reinterpret_cast<HWND>(SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(pWndBuddy ? pWndBuddy->m_hWnd : nullptr)));
  return old ? CWnd::FromHandle(old) : nullptr;
}

CWnd* CSpinButtonCtrl::GetBuddy() const {
  HWND h = reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY));
  return h ? CWnd::FromHandle(h) : nullptr;
}

// ----- IP address -----
BOOL CIPAddressCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_IPADDRESSA, nullptr, dwStyle, rect, pParentWnd, nID);
}

int CIPAddressCtrl::GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const {
  DWORD a = 0;
  int n = GetAddress(a);
  nField0 = static_cast<BYTE>(FIRST_IPADDRESS(a));
  nField1 = static_cast<BYTE>(SECOND_IPADDRESS(a));
  nField2 = static_cast<BYTE>(THIRD_IPADDRESS(a));
  nField3 = static_cast<BYTE>(FOURTH_IPADDRESS(a));
  return n;
}

// ----- status bar -----
BOOL CStatusBarCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(STATUSCLASSNAMEA, nullptr, dwStyle, rect, pParentWnd, nID);
}

CString CStatusBarCtrl::GetText(int nPane, int* pType) const {
  LRESULT info = SendMessage(SB_GETTEXTLENGTHA, static_cast<WPARAM>(nPane));
  std::vector<char> buf(static_cast<size_t>(LOWORD(info)) + 1, '\0');
  SendMessage(SB_GETTEXTA, static_cast<WPARAM>(nPane), reinterpret_cast<LPARAM>(buf.data()));
  if (pType) *pType = HIWORD(info);
  return CString(buf.data());
}

int CStatusBarCtrl::GetTextLength(int nPane, int* pType) const {
  LRESULT info = SendMessage(SB_GETTEXTLENGTHA, static_cast<WPARAM>(nPane));
  if (pType) *pType = HIWORD(info);
  return LOWORD(info);
}

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
  DWORD style = (dwStyle & ~static_cast<DWORD>(CBRS_TOP | CBRS_BOTTOM)) | ((dwStyle & CBRS_TOP) ? CCS_TOP : CCS_BOTTOM);
  return CStatusBarCtrl::Create(style, CRect(0, 0, 0, 0), pParentWnd, nID);
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
  if (nIDCount <= 0 || !lpIDArray || !m_hWnd) return FALSE;
  CRect client;
  GetClientRect(&client);
  // Pane widths: the texts' own, except a leading separator, which takes what is left.
  std::vector<CString> texts(static_cast<size_t>(nIDCount));
  std::vector<int> widths(static_cast<size_t>(nIDCount), 0);
  int fixed = 0;
  CFont* font = GetFont();
  for (int i = 0; i < nIDCount; ++i) {
    if (lpIDArray[i] != ID_SEPARATOR) texts[static_cast<size_t>(i)].LoadString(lpIDArray[i]);
    HFONT f = font ? static_cast<HFONT>(font->m_hObject) : nullptr;
    widths[static_cast<size_t>(i)] = lpIDArray[i] == ID_SEPARATOR ? 0 : kx::ctl::TextWidth(m_hWnd, f, static_cast<LPCSTR>(texts[static_cast<size_t>(i)])) + 8;
    fixed += widths[static_cast<size_t>(i)] + 2;
  }
  if (lpIDArray[0] == ID_SEPARATOR) widths[0] = std::max(0, static_cast<int>(client.Width()) - fixed);
  std::vector<int> rights(static_cast<size_t>(nIDCount));
  int x = 0;
  for (int i = 0; i < nIDCount; ++i) {
    x += widths[static_cast<size_t>(i)] + (i ? 2 : 0);
    rights[static_cast<size_t>(i)] = x;
  }
  rights.back() = -1;
  if (!SetParts(nIDCount, rights.data())) return FALSE;
  for (int i = 0; i < nIDCount; ++i) {
    SendMessage(kx::ctl::kSbSetPaneId, static_cast<WPARAM>(i), lpIDArray[i]);
    SetText(texts[static_cast<size_t>(i)], i, 0);
  }
  return TRUE;
}

int CStatusBar::CommandToIndex(UINT nIDFind) const {
  int n = GetParts(0, nullptr);
  for (int i = 0; i < n; ++i)
    if (GetItemID(i) == nIDFind) return i;
  return -1;
}

UINT CStatusBar::GetItemID(int nIndex) const {
  return static_cast<UINT>(SendMessage(kx::ctl::kSbGetPaneId, static_cast<WPARAM>(nIndex)));
}

void CStatusBar::GetItemRect(int nIndex, LPRECT lpRect) const {
  if (!GetRect(nIndex, lpRect) && lpRect) *lpRect = RECT{0, 0, 0, 0};
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCSTR lpszNewText, BOOL bUpdate) {
  int type = 0;
  GetTextLength(nIndex, &type);
  if (!SetText(lpszNewText, nIndex, type & ~SBT_OWNERDRAW)) return FALSE;
  if (bUpdate) UpdateWindow();
  return TRUE;
}

CString CStatusBar::GetPaneText(int nIndex) const { return GetText(nIndex); }

void CStatusBar::GetPaneText(int nIndex, CString& rString) const { rString = GetText(nIndex); }

void CStatusBar::GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const {
  nID = GetItemID(nIndex);
  int type = 0;
  GetTextLength(nIndex, &type);
  nStyle = static_cast<UINT>(type);
  CRect r;
  GetItemRect(nIndex, &r);
  cxWidth = r.Width();
}

void CStatusBar::SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth) {
  int n = GetParts(0, nullptr);
  if (nIndex < 0 || nIndex >= n) return;
  std::vector<int> rights(static_cast<size_t>(n));
  GetParts(n, rights.data());
  int left = nIndex ? rights[static_cast<size_t>(nIndex) - 1] + 2 : 0;
  int delta = left + cxWidth - rights[static_cast<size_t>(nIndex)];
  for (int i = nIndex; i < n; ++i)
    if (rights[static_cast<size_t>(i)] >= 0) rights[static_cast<size_t>(i)] += delta;
  SetParts(n, rights.data());
  SendMessage(kx::ctl::kSbSetPaneId, static_cast<WPARAM>(nIndex), nID);
  CString text = GetText(nIndex);
  SetText(text, nIndex, static_cast<int>(nStyle & (SBT_NOBORDERS | SBT_POPOUT)));
}
