// The colour picker: an owner-drawn button showing a colour and a drop-down arrow; a click opens CColourPopup,
// a borderless window with a grid of 40 named colours, an optional default box ("Automatic") at the top and an
// optional custom box ("More Colours...") at the bottom that opens the colour dialog. The popup follows the
// pointer and the keyboard, tells the button of every change, and the button tells its parent.
#pragma once

#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"

// wParam: the colour; lParam: the button's id (from the button), 0 (from the popup).
#define WM_CP_SELCHANGE (WM_USER + 1001)
#define WM_CP_DROPDOWN (WM_USER + 1002)
#define WM_CP_CLOSEUP (WM_USER + 1003)
#define WM_CP_SELENDOK (WM_USER + 1004)
#define WM_CP_SELENDCANCEL (WM_USER + 1005)

struct ColourTableEntry {
  COLORREF colour;
  const char* name;
};
// The 40 colours of the grid, in grid order.
extern const ColourTableEntry kColourTable[40];

class CColourPopup;

class CColourPicker : public CButton {
  DECLARE_DYNCREATE(CColourPicker)
 public:
  CColourPicker();
  ~CColourPicker() override;

  COLORREF GetColour() const;
  void SetColour(COLORREF colour);
  void SetBkColour(COLORREF colour);
  void SetTextColour(COLORREF colour);
  void SetDefaultText(const char* text) { m_strDefaultText = text ? text : ""; }
  void SetCustomText(const char* text) { m_strCustomText = text ? text : ""; }
  void SetTrackSelection(BOOL track) { m_bTrackSelection = track; }
  // 1: the picker's colour is the text colour; any other value: the face colour.
  void SetSelectionMode(int mode) { m_nSelectionMode = mode; }
  BOOL IsPopupActive() const { return m_bActive; }
  const CRect& GetArrowRect() const { return m_arrowRect; }

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

 protected:
  void PreSubclassWindow() override;
  void SetWindowSize();
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg BOOL OnClicked();
  afx_msg LRESULT OnSelEndOK(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSelEndCancel(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSelChange(WPARAM wParam, LPARAM lParam);

  BOOL m_bActive = FALSE;
  BOOL m_bTrackSelection = FALSE;
  COLORREF m_crFace;
  COLORREF m_crText;
  int m_nSelectionMode = 2;
  CRect m_arrowRect{0, 0, 0, 0};
  CString m_strDefaultText;
  CString m_strCustomText;

  DECLARE_MESSAGE_MAP()
};

// Loads or saves a picker's colour in dialog data exchange.
void DDX_ColourPicker(CDataExchange* pDX, int nIDC, COLORREF& colour);

class CColourPopup : public CWnd {
 public:
  // Box indices besides the cells.
  enum { kNone = -1, kCustomBox = -2, kDefaultBox = -3 };

  // Makes the popup at the point (screen coordinates) under the picker; the window is created at once.
  CColourPopup(CPoint point, COLORREF colour, CWnd* pPicker, const char* defaultText, const char* customText);
  ~CColourPopup() override;

  BOOL Create(CPoint point, COLORREF colour, CWnd* pPicker);
  int GetIndex(int row, int column) const;
  int GetRow(int index) const;
  int GetColumn(int index) const;
  BOOL GetCellRect(int index, CRect* rect) const;
  void FindCellFromColour(COLORREF colour);
  int GetHotIndex() const { return m_nCurrentSel; }
  int GetChosenIndex() const { return m_nChosenColourSel; }
  COLORREF GetCurrentColour() const { return m_crColour; }
  int GetBoxSize() const { return m_nBoxSize; }
  int GetMargin() const { return m_nMargin; }
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  void Initialise();
  void SetWindowSize();
  void CreateToolTips();
  void ChangeSelection(int index);
  void EndSelection(UINT message);
  void DrawCell(CDC* pDC, int index);
  void PostNcDestroy() override;

  afx_msg void OnPaint();
  afx_msg LRESULT OnPrintClient(WPARAM wParam, LPARAM lParam);
  void PaintPopup(CDC* pDC);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg BOOL OnQueryNewPalette();
  afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg void OnActivateApp(BOOL bActive, DWORD dwThreadID);

  int m_nNumColours = 40;
  int m_nNumColumns = 8;
  int m_nNumRows = 5;
  int m_nBoxSize = 18;
  int m_nMargin = 0;
  int m_nCurrentSel = kNone;
  int m_nChosenColourSel = kNone;
  CString m_strDefaultText;
  CString m_strCustomText;
  CRect m_customTextRect{0, 0, 0, 0};
  CRect m_defaultTextRect{0, 0, 0, 0};
  CRect m_windowRect{0, 0, 0, 0};
  CFont m_font;
  CPalette m_palette;
  COLORREF m_crInitialColour = 0;
  COLORREF m_crColour = 0;
  CToolTipCtrl m_toolTip;
  CWnd* m_pParent = nullptr;
  BOOL m_bChildWindowVisible = FALSE;
  // Set once the window exists: from then on the window's end deletes the popup.
  BOOL m_bOwnedByWindow = FALSE;

  DECLARE_MESSAGE_MAP()
};
