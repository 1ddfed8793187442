// The framework's control classes: thin CWnd wrappers that talk to a control window through its messages.
// A control object is attached to a dialog's control with DDX_Control (or SubclassDlgItem), or makes its own
// window with Create. Owner-drawn controls get their WM_DRAWITEM (and the other owner-draw messages) back from
// the parent as virtual calls (DrawItem, MeasureItem, ...), as well as through ON_*_REFLECT map entries.
//
// Writers of further control classes follow the same shape: DECLARE_DYNAMIC, a Create that names the window
// class, inline wrappers of the messages, and OnChildNotify for owner-draw messages.
#pragma once

#include "platform/mfc/wnd.h"
#include "platform/ui/commctrl.h"

class KXAPI CStatic : public CWnd {
  DECLARE_DYNAMIC(CStatic)
 public:
  BOOL Create(LPCSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID = 0xffff);
  HICON SetIcon(HICON hIcon) { return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(hIcon))); }
  HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETICON)); }
  HBITMAP SetBitmap(HBITMAP hBitmap) {
    return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap)));
  }
  HBITMAP GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP)); }
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class KXAPI CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)
 public:
  BOOL Create(LPCSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
  void SetState(BOOL bHighlight) { SendMessage(BM_SETSTATE, bHighlight); }
  int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
  void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
  UINT GetButtonStyle() const { return GetStyle() & 0xFFFF; }
  void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) { SendMessage(BM_SETSTYLE, nStyle, bRedraw); }
  HICON SetIcon(HICON hIcon) {
    return reinterpret_cast<HICON>(SendMessage(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(hIcon)));
  }
  HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(BM_GETIMAGE, IMAGE_ICON)); }
  HBITMAP SetBitmap(HBITMAP hBitmap) {
    return reinterpret_cast<HBITMAP>(SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap)));
  }
  HBITMAP GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(BM_GETIMAGE, IMAGE_BITMAP)); }
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class KXAPI CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  BOOL CanUndo() const { return static_cast<BOOL>(SendMessage(EM_CANUNDO)); }
  int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
  BOOL GetModify() const { return static_cast<BOOL>(SendMessage(EM_GETMODIFY)); }
  void SetModify(BOOL bModified = TRUE) { SendMessage(EM_SETMODIFY, bModified); }
  DWORD GetSel() const { return static_cast<DWORD>(SendMessage(EM_GETSEL)); }
  void GetSel(int& nStartChar, int& nEndChar) const;
  void SetSel(DWORD dwSelection, BOOL bNoScroll = FALSE);
  void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
  void ReplaceSel(LPCSTR lpszNewText, BOOL bCanUndo = FALSE) {
    SendMessage(EM_REPLACESEL, bCanUndo, reinterpret_cast<LPARAM>(lpszNewText));
  }
  // Copies line nIndex (not terminated, as the control does) and returns its length.
  int GetLine(int nIndex, LPSTR lpszBuffer, int nMaxLength) const;
  int LineIndex(int nLine = -1) const { return static_cast<int>(SendMessage(EM_LINEINDEX, static_cast<WPARAM>(nLine))); }
  int LineLength(int nLine = -1) const { return static_cast<int>(SendMessage(EM_LINELENGTH, static_cast<WPARAM>(nLine))); }
  int LineFromChar(int nIndex = -1) const {
    return static_cast<int>(SendMessage(EM_LINEFROMCHAR, static_cast<WPARAM>(nIndex)));
  }
  void LineScroll(int nLines, int nChars = 0) { SendMessage(EM_LINESCROLL, static_cast<WPARAM>(nChars), nLines); }
  int GetFirstVisibleLine() const { return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE)); }
  void LimitText(int nChars = 0) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(nChars)); }
  void SetLimitText(UINT nMax) { SendMessage(EM_SETLIMITTEXT, nMax); }
  UINT GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
  void SetPasswordChar(char ch) { SendMessage(EM_SETPASSWORDCHAR, static_cast<BYTE>(ch)); }
  char GetPasswordChar() const { return static_cast<char>(SendMessage(EM_GETPASSWORDCHAR)); }
  BOOL SetReadOnly(BOOL bReadOnly = TRUE) { return static_cast<BOOL>(SendMessage(EM_SETREADONLY, bReadOnly)); }
  void SetMargins(UINT nLeft, UINT nRight) { SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(nLeft, nRight)); }
  BOOL SetTabStops(int nTabStops, const int* rgTabStops) {
    return static_cast<BOOL>(SendMessage(EM_SETTABSTOPS, static_cast<WPARAM>(nTabStops), reinterpret_cast<LPARAM>(rgTabStops)));
  }
  void EmptyUndoBuffer() { SendMessage(EM_EMPTYUNDOBUFFER); }
  BOOL Undo() { return static_cast<BOOL>(SendMessage(EM_UNDO)); }
  void Clear() { SendMessage(WM_CLEAR); }
  void Copy() { SendMessage(WM_COPY); }
  void Cut() { SendMessage(WM_CUT); }
  void Paste() { SendMessage(WM_PASTE); }
};

class KXAPI CScrollBar : public CWnd {
  DECLARE_DYNAMIC(CScrollBar)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
  int SetScrollPos(int nPos, BOOL bRedraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, nPos, bRedraw); }
  void GetScrollRange(LPINT lpMinPos, LPINT lpMaxPos) const { ::GetScrollRange(m_hWnd, SB_CTL, lpMinPos, lpMaxPos); }
  void SetScrollRange(int nMinPos, int nMaxPos, BOOL bRedraw = TRUE) {
    ::SetScrollRange(m_hWnd, SB_CTL, nMinPos, nMaxPos, bRedraw);
  }
  void ShowScrollBar(BOOL bShow = TRUE) { ::ShowScrollBar(m_hWnd, SB_CTL, bShow); }
  BOOL SetScrollInfo(LPSCROLLINFO lpScrollInfo, BOOL bRedraw = TRUE) {
    lpScrollInfo->cbSize = sizeof(SCROLLINFO);
    ::SetScrollInfo(m_hWnd, SB_CTL, lpScrollInfo, bRedraw);
    return TRUE;
  }
  BOOL GetScrollInfo(LPSCROLLINFO lpScrollInfo, UINT nMask = SIF_ALL) {
    lpScrollInfo->cbSize = sizeof(SCROLLINFO);
    lpScrollInfo->fMask = nMask;
    return ::GetScrollInfo(m_hWnd, SB_CTL, lpScrollInfo);
  }
};

class KXAPI CComboBox : public CWnd {
  DECLARE_DYNAMIC(CComboBox)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
  DWORD GetEditSel() const { return static_cast<DWORD>(SendMessage(CB_GETEDITSEL)); }
  BOOL LimitText(int nMaxChars) { return static_cast<BOOL>(SendMessage(CB_LIMITTEXT, static_cast<WPARAM>(nMaxChars))); }
  BOOL SetEditSel(int nStartChar, int nEndChar) {
    return static_cast<BOOL>(SendMessage(CB_SETEDITSEL, 0, MAKELONG(nStartChar, nEndChar)));
  }
  DWORD_PTR GetItemData(int nIndex) const {
    return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
  }
  int SetItemData(int nIndex, DWORD_PTR dwItemData) {
    return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(dwItemData)));
  }
  void* GetItemDataPtr(int nIndex) const { return reinterpret_cast<void*>(GetItemData(nIndex)); }
  int SetItemDataPtr(int nIndex, void* pData) { return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pData)); }
  int GetLBText(int nIndex, LPSTR lpszText) const {
    return static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszText)));
  }
  void GetLBText(int nIndex, CString& rString) const;
  int GetLBTextLen(int nIndex) const { return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex))); }
  int SetItemHeight(int nIndex, UINT cyItemHeight) {
    return static_cast<int>(SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(nIndex), cyItemHeight));
  }
  int GetItemHeight(int nIndex) const { return static_cast<int>(SendMessage(CB_GETITEMHEIGHT, static_cast<WPARAM>(nIndex))); }
  int FindStringExact(int nIndexStart, LPCSTR lpszFind) const {
    return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(nIndexStart), reinterpret_cast<LPARAM>(lpszFind)));
  }
  int SetExtendedUI(BOOL bExtended = TRUE) { return static_cast<int>(SendMessage(CB_SETEXTENDEDUI, bExtended)); }
  BOOL GetExtendedUI() const { return static_cast<BOOL>(SendMessage(CB_GETEXTENDEDUI)); }
  void GetDroppedControlRect(LPRECT lprect) const { SendMessage(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(lprect)); }
  BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
  int GetDroppedWidth() const { return static_cast<int>(SendMessage(CB_GETDROPPEDWIDTH)); }
  int SetDroppedWidth(UINT nWidth) { return static_cast<int>(SendMessage(CB_SETDROPPEDWIDTH, nWidth)); }
  int GetTopIndex() const { return static_cast<int>(SendMessage(CB_GETTOPINDEX)); }
  int SetTopIndex(int nIndex) { return static_cast<int>(SendMessage(CB_SETTOPINDEX, static_cast<WPARAM>(nIndex))); }
  void ShowDropDown(BOOL bShowIt = TRUE) { SendMessage(CB_SHOWDROPDOWN, bShowIt); }
  int AddString(LPCSTR lpszString) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszString))); }
  int DeleteString(UINT nIndex) { return static_cast<int>(SendMessage(CB_DELETESTRING, nIndex)); }
  int InsertString(int nIndex, LPCSTR lpszString) {
    return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszString)));
  }
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  int FindString(int nStartAfter, LPCSTR lpszString) const {
    return static_cast<int>(SendMessage(CB_FINDSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszString)));
  }
  int SelectString(int nStartAfter, LPCSTR lpszString) {
    return static_cast<int>(SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszString)));
  }
  void Clear() { SendMessage(WM_CLEAR); }
  void Copy() { SendMessage(WM_COPY); }
  void Cut() { SendMessage(WM_CUT); }
  void Paste() { SendMessage(WM_PASTE); }

  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  virtual int CompareItem(LPCOMPAREITEMSTRUCT lpCompareItemStruct);
  virtual void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class KXAPI CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
  int GetHorizontalExtent() const { return static_cast<int>(SendMessage(LB_GETHORIZONTALEXTENT)); }
  void SetHorizontalExtent(int cxExtent) { SendMessage(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(cxExtent)); }
  int GetTopIndex() const { return static_cast<int>(SendMessage(LB_GETTOPINDEX)); }
  int SetTopIndex(int nIndex) { return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(nIndex))); }
  DWORD_PTR GetItemData(int nIndex) const {
    return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
  }
  int SetItemData(int nIndex, DWORD_PTR dwItemData) {
    return static_cast<int>(SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(dwItemData)));
  }
  void* GetItemDataPtr(int nIndex) const { return reinterpret_cast<void*>(GetItemData(nIndex)); }
  int SetItemDataPtr(int nIndex, void* pData) { return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pData)); }
  int GetItemRect(int nIndex, LPRECT lpRect) const {
    return static_cast<int>(SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpRect)));
  }
  int GetSel(int nIndex) const { return static_cast<int>(SendMessage(LB_GETSEL, static_cast<WPARAM>(nIndex))); }
  int GetText(int nIndex, LPSTR lpszBuffer) const {
    return static_cast<int>(SendMessage(LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszBuffer)));
  }
  void GetText(int nIndex, CString& rString) const;
  int GetTextLen(int nIndex) const { return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(nIndex))); }
  void SetColumnWidth(int cxWidth) { SendMessage(LB_SETCOLUMNWIDTH, static_cast<WPARAM>(cxWidth)); }
  BOOL SetTabStops(int nTabStops, const int* rgTabStops) {
    return static_cast<BOOL>(SendMessage(LB_SETTABSTOPS, static_cast<WPARAM>(nTabStops), reinterpret_cast<LPARAM>(rgTabStops)));
  }
  int SetItemHeight(int nIndex, UINT cyItemHeight) {
    return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(nIndex), MAKELONG(cyItemHeight, 0)));
  }
  int GetItemHeight(int nIndex) const { return static_cast<int>(SendMessage(LB_GETITEMHEIGHT, static_cast<WPARAM>(nIndex))); }
  int FindStringExact(int nIndexStart, LPCSTR lpszFind) const {
    return static_cast<int>(SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(nIndexStart), reinterpret_cast<LPARAM>(lpszFind)));
  }
  int GetCaretIndex() const { return static_cast<int>(SendMessage(LB_GETCARETINDEX)); }
  int SetCaretIndex(int nIndex, BOOL bScroll = TRUE) {
    return static_cast<int>(SendMessage(LB_SETCARETINDEX, static_cast<WPARAM>(nIndex), bScroll));
  }
  int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
  int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
  int SetSel(int nIndex, BOOL bSelect = TRUE) { return static_cast<int>(SendMessage(LB_SETSEL, bSelect, nIndex)); }
  int GetSelCount() const { return static_cast<int>(SendMessage(LB_GETSELCOUNT)); }
  int GetSelItems(int nMaxItems, LPINT rgIndex) const {
    return static_cast<int>(SendMessage(LB_GETSELITEMS, static_cast<WPARAM>(nMaxItems), reinterpret_cast<LPARAM>(rgIndex)));
  }
  int AddString(LPCSTR lpszItem) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszItem))); }
  int DeleteString(UINT nIndex) { return static_cast<int>(SendMessage(LB_DELETESTRING, nIndex)); }
  int InsertString(int nIndex, LPCSTR lpszItem) {
    return static_cast<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszItem)));
  }
  void ResetContent() { SendMessage(LB_RESETCONTENT); }
  int FindString(int nStartAfter, LPCSTR lpszItem) const {
    return static_cast<int>(SendMessage(LB_FINDSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszItem)));
  }
  int SelectString(int nStartAfter, LPCSTR lpszItem) {
    return static_cast<int>(SendMessage(LB_SELECTSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszItem)));
  }
  UINT ItemFromPoint(CPoint pt, BOOL& bOutside) const;

  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  virtual int CompareItem(LPCOMPAREITEMSTRUCT lpCompareItemStruct);
  virtual void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct);
  virtual int VKeyToItem(UINT nKey, UINT nIndex);
  virtual int CharToItem(UINT nKey, UINT nIndex);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

// An image list; FromHandle wraps lists that no object owns in a temporary object.
class KXAPI CImageList : public CObject {
  DECLARE_DYNCREATE(CImageList)
 public:
  HIMAGELIST m_hImageList = nullptr;

  CImageList() = default;
  ~CImageList() override;
  operator HIMAGELIST() const { return m_hImageList; }  // NOLINT
  HIMAGELIST GetSafeHandle() const;
  static CImageList* FromHandle(HIMAGELIST h);
  static CImageList* FromHandlePermanent(HIMAGELIST h);

  BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
  // A strip from the resources of the module that serves them, cut every cx pixels, crMask transparent.
  BOOL Create(UINT nBitmapID, int cx, int nGrow, COLORREF crMask);
  BOOL Create(LPCSTR lpszBitmapID, int cx, int nGrow, COLORREF crMask);
  BOOL Create(CImageList* pImageList);
  BOOL Attach(HIMAGELIST hImageList);
  HIMAGELIST Detach();
  BOOL DeleteImageList();

  int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
  BOOL SetImageCount(UINT uNewCount) { return ImageList_SetImageCount(m_hImageList, uNewCount); }
  int Add(CBitmap* pbmImage, CBitmap* pbmMask);
  int Add(CBitmap* pbmImage, COLORREF crMask);
  int Add(HICON hIcon) { return ImageList_ReplaceIcon(m_hImageList, -1, hIcon); }
  BOOL Remove(int nImage) { return ImageList_Remove(m_hImageList, nImage); }
  BOOL Replace(int nImage, CBitmap* pbmImage, CBitmap* pbmMask);
  int Replace(int nImage, HICON hIcon) { return ImageList_ReplaceIcon(m_hImageList, nImage, hIcon); }
  // A new icon the caller destroys.
  HICON ExtractIcon(int nImage) { return ImageList_GetIcon(m_hImageList, nImage, 0); }
  BOOL Draw(CDC* pDC, int nImage, POINT pt, UINT nStyle);
  BOOL DrawEx(CDC* pDC, int nImage, POINT pt, SIZE sz, COLORREF clrBk, COLORREF clrFg, UINT nStyle);
  COLORREF SetBkColor(COLORREF cr) { return ImageList_SetBkColor(m_hImageList, cr); }
  COLORREF GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
  BOOL SetOverlayImage(int nImage, int nOverlay) { return ImageList_SetOverlayImage(m_hImageList, nImage, nOverlay); }
  BOOL GetImageInfo(int nImage, IMAGEINFO* pImageInfo) const {
    return ImageList_GetImageInfo(m_hImageList, nImage, pImageInfo);
  }
};

class KXAPI CTabCtrl : public CWnd {
  DECLARE_DYNAMIC(CTabCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  CImageList* GetImageList() const;
  CImageList* SetImageList(CImageList* pImageList);
  int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
  BOOL GetItem(int nItem, TCITEM* pTabCtrlItem) const {
    return static_cast<BOOL>(SendMessage(TCM_GETITEM, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
  }
  BOOL SetItem(int nItem, TCITEM* pTabCtrlItem) {
    return static_cast<BOOL>(SendMessage(TCM_SETITEM, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
  }
  LONG InsertItem(int nItem, TCITEM* pTabCtrlItem) {
    return static_cast<LONG>(SendMessage(TCM_INSERTITEM, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pTabCtrlItem)));
  }
  LONG InsertItem(int nItem, LPCSTR lpszItem);
  LONG InsertItem(int nItem, LPCSTR lpszItem, int nImage);
  LONG InsertItem(UINT nMask, int nItem, LPCSTR lpszItem, int nImage, LPARAM lParam);
  BOOL DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(nItem))); }
  BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(TCM_DELETEALLITEMS)); }
  BOOL GetItemRect(int nItem, LPRECT lpRect) const {
    return static_cast<BOOL>(SendMessage(TCM_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(lpRect)));
  }
  int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
  int SetCurSel(int nItem) { return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(nItem))); }
  int GetCurFocus() const { return static_cast<int>(SendMessage(TCM_GETCURFOCUS)); }
  void SetCurFocus(int nItem) { SendMessage(TCM_SETCURFOCUS, static_cast<WPARAM>(nItem)); }
  int HitTest(TCHITTESTINFO* pHitTestInfo) const {
    return static_cast<int>(SendMessage(TCM_HITTEST, 0, reinterpret_cast<LPARAM>(pHitTestInfo)));
  }
  void AdjustRect(BOOL bLarger, LPRECT lpRect) { SendMessage(TCM_ADJUSTRECT, bLarger, reinterpret_cast<LPARAM>(lpRect)); }
  CSize SetItemSize(CSize size) { return CSize(static_cast<DWORD>(SendMessage(TCM_SETITEMSIZE, 0, MAKELPARAM(size.cx, size.cy)))); }
  void SetPadding(CSize size) { SendMessage(TCM_SETPADDING, 0, MAKELPARAM(size.cx, size.cy)); }
  int GetRowCount() const { return static_cast<int>(SendMessage(TCM_GETROWCOUNT)); }
  void RemoveImage(int nImage) { SendMessage(TCM_REMOVEIMAGE, static_cast<WPARAM>(nImage)); }
  void DeselectAll(BOOL fExcludeFocus) { SendMessage(TCM_DESELECTALL, fExcludeFocus); }
  BOOL HighlightItem(int idItem, BOOL fHighlight = TRUE) {
    return static_cast<BOOL>(SendMessage(TCM_HIGHLIGHTITEM, static_cast<WPARAM>(idItem), MAKELPARAM(fHighlight, 0)));
  }
  int SetMinTabWidth(int cx) { return static_cast<int>(SendMessage(TCM_SETMINTABWIDTH, 0, cx)); }
  DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(TCM_GETEXTENDEDSTYLE)); }
  DWORD SetExtendedStyle(DWORD dwNewStyle, DWORD dwExMask = 0) {
    return static_cast<DWORD>(SendMessage(TCM_SETEXTENDEDSTYLE, dwExMask, static_cast<LPARAM>(dwNewStyle)));
  }
};

class KXAPI CToolTipCtrl : public CWnd {
  DECLARE_DYNAMIC(CToolTipCtrl)
 public:
  // A tooltip window owned by the parent's top-level window.
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
  void Activate(BOOL bActivate) { SendMessage(TTM_ACTIVATE, bActivate); }
  // nIDTool 0 makes the tool the window itself.
  BOOL AddTool(CWnd* pWnd, LPCSTR lpszText = LPSTR_TEXTCALLBACK, LPCRECT lpRectTool = nullptr, UINT_PTR nIDTool = 0);
  BOOL AddTool(CWnd* pWnd, UINT nIDText, LPCRECT lpRectTool = nullptr, UINT_PTR nIDTool = 0);
  void DelTool(CWnd* pWnd, UINT_PTR nIDTool = 0);
  void GetText(CString& str, CWnd* pWnd, UINT_PTR nIDTool = 0) const;
  BOOL GetToolInfo(TOOLINFO* pToolInfo, CWnd* pWnd, UINT_PTR nIDTool = 0) const;
  void SetToolInfo(TOOLINFO* pToolInfo) { SendMessage(TTM_SETTOOLINFO, 0, reinterpret_cast<LPARAM>(pToolInfo)); }
  void SetToolRect(CWnd* pWnd, UINT_PTR nIDTool, LPCRECT lpRect);
  int GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
  int GetDelayTime(DWORD dwDuration) const { return static_cast<int>(SendMessage(TTM_GETDELAYTIME, dwDuration)); }
  void SetDelayTime(UINT nDelay) { SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, static_cast<LPARAM>(nDelay)); }
  void SetDelayTime(DWORD dwDuration, int iTime) { SendMessage(TTM_SETDELAYTIME, dwDuration, MAKELPARAM(iTime, 0)); }
  int SetMaxTipWidth(int iWidth) { return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, iWidth)); }
  void SetTipBkColor(COLORREF clr) { SendMessage(TTM_SETTIPBKCOLOR, clr); }
  void SetTipTextColor(COLORREF clr) { SendMessage(TTM_SETTIPTEXTCOLOR, clr); }
  void RelayEvent(LPMSG lpMsg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(lpMsg)); }
  void UpdateTipText(LPCSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool = 0);
  void UpdateTipText(UINT nIDText, CWnd* pWnd, UINT_PTR nIDTool = 0);
  void Pop() { SendMessage(TTM_POP); }
  void Update() { SendMessage(TTM_UPDATE); }
  void FillInToolInfo(TOOLINFO& ti, CWnd* pWnd, UINT_PTR nIDTool) const;
};
