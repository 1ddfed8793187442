// The framework's wrappers of the common controls: list view and header, tree view, progress bar, date-time
// picker, up-down control, status bar. Like the other control classes they talk to their window through its
// messages only, so a wrapper attached with DDX_Control, SubclassDlgItem or Create, or a temporary one from
// FromHandle, works the same; owner-drawn lists and headings come back as DrawItem.
#pragma once

#include "platform/mfc/collections.h"
#include "platform/mfc/controls.h"
#include "platform/mfc/datetime.h"
#include "platform/ui/commonctrl.h"

class CHeaderCtrl;

class KXAPI CHeaderCtrl : public CWnd {
  DECLARE_DYNAMIC(CHeaderCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetItemCount() const { return static_cast<int>(SendMessage(HDM_GETITEMCOUNT)); }
  BOOL GetItem(int nPos, HDITEM* pHeaderItem) const {
    return static_cast<BOOL>(SendMessage(HDM_GETITEMA, static_cast<WPARAM>(nPos), reinterpret_cast<LPARAM>(pHeaderItem)));
  }
  BOOL SetItem(int nPos, HDITEM* pHeaderItem) {
    return static_cast<BOOL>(SendMessage(HDM_SETITEMA, static_cast<WPARAM>(nPos), reinterpret_cast<LPARAM>(pHeaderItem)));
  }
  int InsertItem(int nPos, HDITEM* phdi) {
    return static_cast<int>(SendMessage(HDM_INSERTITEMA, static_cast<WPARAM>(nPos), reinterpret_cast<LPARAM>(phdi)));
  }
  BOOL DeleteItem(int nPos) { return static_cast<BOOL>(SendMessage(HDM_DELETEITEM, static_cast<WPARAM>(nPos))); }
  BOOL GetItemRect(int nIndex, LPRECT lpRect) const {
    return static_cast<BOOL>(SendMessage(HDM_GETITEMRECT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpRect)));
  }
  BOOL Layout(HDLAYOUT* pHeaderLayout) { return static_cast<BOOL>(SendMessage(HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(pHeaderLayout))); }
  int HitTest(LPHDHITTESTINFO pHeaderHitTestInfo) {
    return static_cast<int>(SendMessage(HDM_HITTEST, 0, reinterpret_cast<LPARAM>(pHeaderHitTestInfo)));
  }
  CImageList* SetImageList(CImageList* pImageList);
  CImageList* GetImageList() const;
  int OrderToIndex(int nOrder) const { return static_cast<int>(SendMessage(HDM_ORDERTOINDEX, static_cast<WPARAM>(nOrder))); }
  BOOL GetOrderArray(LPINT piArray, int iCount) const {
    return static_cast<BOOL>(SendMessage(HDM_GETORDERARRAY, static_cast<WPARAM>(iCount), reinterpret_cast<LPARAM>(piArray)));
  }
  BOOL SetOrderArray(int iCount, LPINT piArray) {
    return static_cast<BOOL>(SendMessage(HDM_SETORDERARRAY, static_cast<WPARAM>(iCount), reinterpret_cast<LPARAM>(piArray)));
  }
  // Headings with HDF_OWNERDRAW.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class KXAPI CListCtrl : public CWnd {
  DECLARE_DYNAMIC(CListCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  BOOL CreateEx(DWORD dwExStyle, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // ---- colours, images, styles ----
  COLORREF GetBkColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR)); }
  BOOL SetBkColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETBKCOLOR, 0, static_cast<LPARAM>(cr))); }
  COLORREF GetTextColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETTEXTCOLOR)); }
  BOOL SetTextColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(cr))); }
  COLORREF GetTextBkColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETTEXTBKCOLOR)); }
  BOOL SetTextBkColor(COLORREF cr) { return static_cast<BOOL>(SendMessage(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(cr))); }
  CImageList* GetImageList(int nImageList) const;
  CImageList* SetImageList(CImageList* pImageList, int nImageListType);
  DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
  DWORD SetExtendedStyle(DWORD dwNewStyle) {
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(dwNewStyle)));
  }
  UINT GetCallbackMask() const { return static_cast<UINT>(SendMessage(LVM_GETCALLBACKMASK)); }
  BOOL SetCallbackMask(UINT nMask) { return static_cast<BOOL>(SendMessage(LVM_SETCALLBACKMASK, nMask)); }
  // The header of a report list (a temporary wrapper unless the header was subclassed).
  CHeaderCtrl* GetHeaderCtrl() const;

  // ---- columns ----
  BOOL GetColumn(int nCol, LVCOLUMN* pColumn) const {
    return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNA, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
  }
  BOOL SetColumn(int nCol, const LVCOLUMN* pColumn) {
    return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNA, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
  }
  int InsertColumn(int nCol, const LVCOLUMN* pColumn) {
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
  }
  int InsertColumn(int nCol, LPCSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1, int nSubItem = -1);
  BOOL DeleteColumn(int nCol) { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(nCol))); }
  int GetColumnWidth(int nCol) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nCol))); }
  BOOL SetColumnWidth(int nCol, int cx) {
    return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0)));
  }
  BOOL GetColumnOrderArray(LPINT piArray, int iCount = -1);
  BOOL SetColumnOrderArray(int iCount, LPINT piArray) {
    return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNORDERARRAY, static_cast<WPARAM>(iCount), reinterpret_cast<LPARAM>(piArray)));
  }

  // ---- items ----
  int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
  void SetItemCount(int nItems) { SendMessage(LVM_SETITEMCOUNT, static_cast<WPARAM>(nItems)); }
  BOOL GetItem(LVITEM* pItem) const { return static_cast<BOOL>(SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(const LVITEM* pItem) { return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCSTR lpszItem, int nImage, UINT nState, UINT nStateMask,
               LPARAM lParam);
  int InsertItem(const LVITEM* pItem) { return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
  int InsertItem(int nItem, LPCSTR lpszItem);
  int InsertItem(int nItem, LPCSTR lpszItem, int nImage);
  int InsertItem(UINT nMask, int nItem, LPCSTR lpszItem, UINT nState, UINT nStateMask, int nImage, LPARAM lParam);
  BOOL DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(nItem))); }
  BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
  CString GetItemText(int nItem, int nSubItem) const;
  int GetItemText(int nItem, int nSubItem, LPSTR lpszText, int nLen) const;
  BOOL SetItemText(int nItem, int nSubItem, LPCSTR lpszText);
  DWORD_PTR GetItemData(int nItem) const;
  BOOL SetItemData(int nItem, DWORD_PTR dwData);
  UINT GetItemState(int nItem, UINT nMask) const {
    return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(nItem), nMask));
  }
  BOOL SetItemState(int nItem, LVITEM* pItem) {
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pItem)));
  }
  BOOL SetItemState(int nItem, UINT nState, UINT nMask);
  int GetNextItem(int nItem, int nFlags) const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), MAKELPARAM(nFlags, 0)));
  }
  UINT GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
  // Walks the selected rows: the position is the row number plus one, NULL after the last.
  POSITION GetFirstSelectedItemPosition() const;
  int GetNextSelectedItem(POSITION& pos) const;
  int GetSelectionMark() const { return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK)); }
  int SetSelectionMark(int iIndex) { return static_cast<int>(SendMessage(LVM_SETSELECTIONMARK, 0, iIndex)); }
  int FindItem(LVFINDINFO* pFindInfo, int nStart = -1) const {
    return static_cast<int>(SendMessage(LVM_FINDITEMA, static_cast<WPARAM>(nStart), reinterpret_cast<LPARAM>(pFindInfo)));
  }
  // The list's own sort: the function compares the items' data values.
  BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) {
    return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, dwData, reinterpret_cast<LPARAM>(pfnCompare)));
  }

  // ---- geometry and scrolling ----
  BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const;
  BOOL GetSubItemRect(int iItem, int iSubItem, int nArea, CRect& ref) const;
  BOOL GetItemPosition(int nItem, LPPOINT lpPoint) const {
    return static_cast<BOOL>(SendMessage(LVM_GETITEMPOSITION, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(lpPoint)));
  }
  BOOL GetViewRect(LPRECT lpRect) const { return static_cast<BOOL>(SendMessage(LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(lpRect))); }
  BOOL GetOrigin(LPPOINT lpPoint) const { return static_cast<BOOL>(SendMessage(LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(lpPoint))); }
  int GetStringWidth(LPCSTR lpsz) const { return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(lpsz))); }
  int HitTest(LVHITTESTINFO* pHitTestInfo) const {
    return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(pHitTestInfo)));
  }
  int HitTest(CPoint pt, UINT* pFlags = nullptr) const;
  int SubItemHitTest(LVHITTESTINFO* pInfo) { return static_cast<int>(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(pInfo))); }
  BOOL EnsureVisible(int nItem, BOOL bPartialOK) {
    return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(nItem), MAKELPARAM(bPartialOK, 0)));
  }
  BOOL Scroll(CSize size) { return static_cast<BOOL>(SendMessage(LVM_SCROLL, static_cast<WPARAM>(size.cx), size.cy)); }
  BOOL RedrawItems(int nFirst, int nLast) {
    return static_cast<BOOL>(SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(nFirst), nLast));
  }
  BOOL Update(int nItem) { return static_cast<BOOL>(SendMessage(LVM_UPDATE, static_cast<WPARAM>(nItem))); }
  int GetTopIndex() const { return static_cast<int>(SendMessage(LVM_GETTOPINDEX)); }
  int GetCountPerPage() const { return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE)); }
  BOOL Arrange(UINT nCode) { return static_cast<BOOL>(SendMessage(LVM_ARRANGE, nCode)); }
  CEdit* GetEditControl() const;

  // Rows of a list with LVS_OWNERDRAWFIXED, drawn by the derived class.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class KXAPI CTreeCtrl : public CWnd {
  DECLARE_DYNAMIC(CTreeCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  HTREEITEM InsertItem(LPTVINSERTSTRUCT lpInsertStruct) {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(lpInsertStruct)));
  }
  HTREEITEM InsertItem(UINT nMask, LPCSTR lpszItem, int nImage, int nSelectedImage, UINT nState, UINT nStateMask,
                       LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter);
  HTREEITEM InsertItem(LPCSTR lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  HTREEITEM InsertItem(LPCSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent = TVI_ROOT,
                       HTREEITEM hInsertAfter = TVI_LAST);
  BOOL DeleteItem(HTREEITEM hItem) { return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem))); }
  BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
  BOOL Expand(HTREEITEM hItem, UINT nCode) {
    return static_cast<BOOL>(SendMessage(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)));
  }
  UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
  UINT GetIndent() const { return static_cast<UINT>(SendMessage(TVM_GETINDENT)); }
  void SetIndent(UINT nIndent) { SendMessage(TVM_SETINDENT, nIndent); }
  CImageList* GetImageList(int nImageList) const;
  CImageList* SetImageList(CImageList* pImageList, int nImageListType);
  UINT GetVisibleCount() const { return static_cast<UINT>(SendMessage(TVM_GETVISIBLECOUNT)); }

  HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
  }
  HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
  HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
  HTREEITEM GetFirstVisibleItem() const { return GetNextItem(nullptr, TVGN_FIRSTVISIBLE); }
  HTREEITEM GetNextVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXTVISIBLE); }
  HTREEITEM GetPrevVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUSVISIBLE); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
  HTREEITEM GetDropHilightItem() const { return GetNextItem(nullptr, TVGN_DROPHILITE); }
  HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
  BOOL ItemHasChildren(HTREEITEM hItem) const;

  BOOL Select(HTREEITEM hItem, UINT nCode) {
    return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
  }
  BOOL SelectItem(HTREEITEM hItem) { return Select(hItem, TVGN_CARET); }
  BOOL SelectDropTarget(HTREEITEM hItem) { return Select(hItem, TVGN_DROPHILITE); }
  BOOL SelectSetFirstVisible(HTREEITEM hItem) { return Select(hItem, TVGN_FIRSTVISIBLE); }

  BOOL GetItem(TVITEM* pItem) const { return static_cast<BOOL>(SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(TVITEM* pItem) { return static_cast<BOOL>(SendMessage(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(pItem))); }
  BOOL SetItem(HTREEITEM hItem, UINT nMask, LPCSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
               UINT nStateMask, LPARAM lParam);
  CString GetItemText(HTREEITEM hItem) const;
  BOOL SetItemText(HTREEITEM hItem, LPCSTR lpszItem);
  BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const;
  BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage);
  UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const {
    return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), nStateMask));
  }
  BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask);
  DWORD_PTR GetItemData(HTREEITEM hItem) const;
  BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData);
  BOOL GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const;
  HTREEITEM HitTest(CPoint pt, UINT* pFlags = nullptr) const;
  HTREEITEM HitTest(TVHITTESTINFO* pHitTestInfo) const {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(pHitTestInfo)));
  }
  BOOL SortChildren(HTREEITEM hItem) { return static_cast<BOOL>(SendMessage(TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(hItem))); }
  BOOL SortChildrenCB(LPTVSORTCB pSort) { return static_cast<BOOL>(SendMessage(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(pSort))); }
  BOOL EnsureVisible(HTREEITEM hItem) { return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem))); }
  SHORT GetItemHeight() const { return static_cast<SHORT>(SendMessage(TVM_GETITEMHEIGHT)); }
  SHORT SetItemHeight(SHORT cyHeight) { return static_cast<SHORT>(SendMessage(TVM_SETITEMHEIGHT, static_cast<WPARAM>(cyHeight))); }
  COLORREF GetBkColor() const { return static_cast<COLORREF>(SendMessage(TVM_GETBKCOLOR)); }
  COLORREF SetBkColor(COLORREF clr) { return static_cast<COLORREF>(SendMessage(TVM_SETBKCOLOR, 0, static_cast<LPARAM>(clr))); }
  COLORREF GetTextColor() const { return static_cast<COLORREF>(SendMessage(TVM_GETTEXTCOLOR)); }
  COLORREF SetTextColor(COLORREF clr) { return static_cast<COLORREF>(SendMessage(TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(clr))); }
  CEdit* GetEditControl() const;
};

class KXAPI CProgressCtrl : public CWnd {
  DECLARE_DYNAMIC(CProgressCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
  void SetRange32(int nLower, int nUpper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper); }
  void GetRange(int& nLower, int& nUpper) const;
  int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
  int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(nPos))); }
  int OffsetPos(int nPos) { return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(nPos))); }
  int SetStep(int nStep) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(nStep))); }
  int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
  COLORREF SetBarColor(COLORREF clrBar) { return static_cast<COLORREF>(SendMessage(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(clrBar))); }
  COLORREF SetBkColor(COLORREF clrNew) { return static_cast<COLORREF>(SendMessage(PBM_SETBKCOLOR, 0, static_cast<LPARAM>(clrNew))); }
};

class KXAPI CDateTimeCtrl : public CWnd {
  DECLARE_DYNAMIC(CDateTimeCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  // GDT_VALID, GDT_NONE (no date with DTS_SHOWNONE) or GDT_ERROR.
  DWORD GetTime(LPSYSTEMTIME pTimeDest) const {
    return static_cast<DWORD>(SendMessage(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(pTimeDest)));
  }
  BOOL GetTime(COleDateTime& timeDest) const;
  DWORD GetTime(CTime& timeDest) const;
  BOOL SetTime(LPSYSTEMTIME pTimeNew = nullptr);
  BOOL SetTime(const COleDateTime& timeNew);
  BOOL SetTime(const CTime* pTimeNew);
  BOOL SetFormat(LPCSTR pstrFormat) { return static_cast<BOOL>(SendMessage(DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(pstrFormat))); }
  DWORD GetRange(COleDateTime* pMinRange, COleDateTime* pMaxRange) const;
  BOOL SetRange(const COleDateTime* pMinRange, const COleDateTime* pMaxRange);
};

class KXAPI CSpinButtonCtrl : public CWnd {
  DECLARE_DYNAMIC(CSpinButtonCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetRange(short nLower, short nUpper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(nUpper, nLower)); }
  void SetRange32(int nLower, int nUpper) { SendMessage(UDM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper); }
  DWORD GetRange() const { return static_cast<DWORD>(SendMessage(UDM_GETRANGE)); }
  void GetRange(int& lower, int& upper) const;
  void GetRange32(int& lower, int& upper) const { GetRange(lower, upper); }
  int SetPos(int nPos) { return static_cast<int>(static_cast<short>(SendMessage(UDM_SETPOS, 0, MAKELPARAM(nPos, 0)))); }
  // The position in the low word; the high word is non-zero when the buddy's text is no number.
  int GetPos() const { return static_cast<int>(SendMessage(UDM_GETPOS)); }
  int SetPos32(int nPos) { return static_cast<int>(SendMessage(UDM_SETPOS32, 0, nPos)); }
  int GetPos32(LPBOOL lpbError = nullptr) const {
    return static_cast<int>(SendMessage(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(lpbError)));
  }
  CWnd* SetBuddy(CWnd* pWndBuddy);
  CWnd* GetBuddy() const;
  int SetBase(int nBase) { return static_cast<int>(SendMessage(UDM_SETBASE, static_cast<WPARAM>(nBase))); }
  UINT GetBase() const { return static_cast<UINT>(SendMessage(UDM_GETBASE)); }
  BOOL SetAccel(int nAccel, UDACCEL* pAccel) {
    return static_cast<BOOL>(SendMessage(UDM_SETACCEL, static_cast<WPARAM>(nAccel), reinterpret_cast<LPARAM>(pAccel)));
  }
  UINT GetAccel(int nAccel, UDACCEL* pAccel) const {
    return static_cast<UINT>(SendMessage(UDM_GETACCEL, static_cast<WPARAM>(nAccel), reinterpret_cast<LPARAM>(pAccel)));
  }
};

class KXAPI CIPAddressCtrl : public CWnd {
  DECLARE_DYNAMIC(CIPAddressCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  BOOL IsBlank() const { return static_cast<BOOL>(SendMessage(IPM_ISBLANK)); }
  void ClearAddress() { SendMessage(IPM_CLEARADDRESS); }
  // The number of fields that are not blank.
  int GetAddress(BYTE& nField0, BYTE& nField1, BYTE& nField2, BYTE& nField3) const;
  int GetAddress(DWORD& dwAddress) const {
    return static_cast<int>(SendMessage(IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&dwAddress)));
  }
  void SetAddress(BYTE nField0, BYTE nField1, BYTE nField2, BYTE nField3) {
    SendMessage(IPM_SETADDRESS, 0, MAKEIPADDRESS(nField0, nField1, nField2, nField3));
  }
  void SetAddress(DWORD dwAddress) { SendMessage(IPM_SETADDRESS, 0, static_cast<LPARAM>(dwAddress)); }
  void SetFieldFocus(WORD nField) { SendMessage(IPM_SETFOCUS, nField); }
  void SetFieldRange(int nField, BYTE nLower, BYTE nUpper) {
    SendMessage(IPM_SETRANGE, static_cast<WPARAM>(nField), MAKEIPRANGE(nLower, nUpper));
  }
};

class KXAPI CStatusBarCtrl : public CWnd {
  DECLARE_DYNAMIC(CStatusBarCtrl)
 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  BOOL SetText(LPCSTR lpszText, int nPane, int nType) {
    return static_cast<BOOL>(SendMessage(SB_SETTEXTA, static_cast<WPARAM>(nPane | nType), reinterpret_cast<LPARAM>(lpszText)));
  }
  CString GetText(int nPane, int* pType = nullptr) const;
  int GetTextLength(int nPane, int* pType = nullptr) const;
  BOOL SetParts(int nParts, int* pWidths) {
    return static_cast<BOOL>(SendMessage(SB_SETPARTS, static_cast<WPARAM>(nParts), reinterpret_cast<LPARAM>(pWidths)));
  }
  int GetParts(int nParts, int* pParts) const {
    return static_cast<int>(SendMessage(SB_GETPARTS, static_cast<WPARAM>(nParts), reinterpret_cast<LPARAM>(pParts)));
  }
  BOOL GetRect(int nPane, LPRECT lpRect) const {
    return static_cast<BOOL>(SendMessage(SB_GETRECT, static_cast<WPARAM>(nPane), reinterpret_cast<LPARAM>(lpRect)));
  }
  void SetMinHeight(int nMin) { SendMessage(SB_SETMINHEIGHT, static_cast<WPARAM>(nMin)); }
  BOOL SetSimple(BOOL bSimple = TRUE) { return static_cast<BOOL>(SendMessage(SB_SIMPLE, bSimple)); }
  BOOL IsSimple() const { return static_cast<BOOL>(SendMessage(SB_ISSIMPLE)); }
  BOOL SetIcon(int nPane, HICON hIcon) {
    return static_cast<BOOL>(SendMessage(SB_SETICON, static_cast<WPARAM>(nPane), reinterpret_cast<LPARAM>(hIcon)));
  }
};

#define ID_SEPARATOR 0
#define SBPS_NORMAL 0x0000
#define SBPS_NOBORDERS SBT_NOBORDERS
#define SBPS_POPOUT SBT_POPOUT
#define SBPS_OWNERDRAW SBT_OWNERDRAW
#define SBPS_DISABLED 0x04000000
#define SBPS_STRETCH 0x08000000
#define CBRS_ALIGN_TOP 0x1000L
#define CBRS_ALIGN_BOTTOM 0x8000L
#define CBRS_TOP (CBRS_ALIGN_TOP)
#define CBRS_BOTTOM (CBRS_ALIGN_BOTTOM)

// The frame's status bar: panes named by string ids, kept in the status-bar control itself so that any wrapper
// of the window (for example the one GetMessageBar gives) reaches the same panes.
class KXAPI CStatusBar : public CStatusBarCtrl {
  DECLARE_DYNAMIC(CStatusBar)
 public:
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT nID = 0xE801);
  // One pane per id: the pane's text is the string of that id (an empty pane for ID_SEPARATOR), its width the
  // text's; a first separator takes the room that is left.
  BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);
  int CommandToIndex(UINT nIDFind) const;
  UINT GetItemID(int nIndex) const;
  void GetItemRect(int nIndex, LPRECT lpRect) const;
  BOOL SetPaneText(int nIndex, LPCSTR lpszNewText, BOOL bUpdate = TRUE);
  CString GetPaneText(int nIndex) const;
  void GetPaneText(int nIndex, CString& rString) const;
  void GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const;
  void SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth);
  CStatusBarCtrl& GetStatusBarCtrl() const { return *const_cast<CStatusBar*>(this); }
};
