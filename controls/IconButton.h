// The owner-drawn push button of the pages: an icon (with an optional second icon shown while the mouse is
// away) beside, above or after its caption, in six colours, drawn as a classic 3D button or as a flat one whose
// border only shows while the mouse is over it; with its own cursor and tool tip. A check-box variant toggles a
// pressed look on each click. User-interface thread only.
#pragma once

#include "platform/mfc/afxwin.h"

class CIconButton : public CButton {
 public:
  // Colour slots.
  enum {
    kBackgroundIn = 0,   // background while hovered or pressed
    kForegroundIn = 1,   // text while hovered or pressed
    kBackgroundOut = 2,  // background with the mouse away
    kForegroundOut = 3,  // text with the mouse away
    kBackgroundFocus = 4,
    kForegroundFocus = 5,
    kColourSlots = 6
  };
  // Icon positions.
  enum { kAlignLeft = 0, kAlignTop = 1, kAlignRight = 2 };

  CIconButton();
  ~CIconButton() override;

  // Loads the icons from the resource module (away id 0: none); 1 when an icon cannot be read (none is shown).
  DWORD SetIcons(WORD mainId, WORD awayId = 0);
  // Installs icons the caller made; the button owns them from now on. 1 when an icon cannot be read.
  DWORD SetIconHandles(HICON mainIcon, HICON awayIcon);
  DWORD SetFlat(BOOL flat, BOOL repaint = TRUE);
  // 3 for a slot of 6 or more (nothing changes), else 0.
  DWORD SetColor(BYTE slot, COLORREF colour, BOOL repaint = TRUE);
  // TRUE when a cursor id was given and it could not be loaded.
  BOOL SetButtonCursor(WORD cursorId, BOOL repaint = FALSE);
  void SetTooltipText(const char* text, BOOL activate = TRUE);
  void SetAlignment(int alignment) { m_nAlignment = alignment; }
  void SetDrawBorder(BOOL draw) { m_bDrawBorder = draw; }
  void SetFlatFocus(BOOL flatFocus) { m_bDrawFlatFocus = flatFocus; }
  void SetTrackWhenInactive(BOOL track) { m_bAlwaysTrack = track; }
  void SetParentBackground(BOOL use) { m_bUseParentBackground = use; }

  BOOL IsOver() const { return m_bMouseOnButton; }
  BOOL IsCheckBox() const { return m_bIsCheckBox; }
  BOOL IsChecked() const { return m_bChecked; }
  BOOL IsDefault() const { return m_bIsDefault; }
  COLORREF GetColor(int slot) const { return m_colours[slot]; }
  CToolTipCtrl& GetToolTip() { return m_toolTip; }
  // The icon that a paint shows now: 0 the main icon, 1 the away icon; -1 without icons.
  int ShownIcon() const;

  BOOL PreTranslateMessage(MSG* pMsg) override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  virtual DWORD DrawBackground(CDC* pDC, CRect* pRect);
  virtual DWORD DrawBorder(CDC* pDC, CRect* pRect);

 protected:
  void PreSubclassWindow() override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnSysColorChange();
  afx_msg BOOL OnClicked();
  afx_msg void OnEnable(BOOL bEnable);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  afx_msg void OnCancelMode();
  afx_msg UINT OnGetDlgCode();
  afx_msg HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
  afx_msg LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);
  afx_msg void OnMouseLeave();

  BOOL m_bIsFlat = TRUE;
  BOOL m_bMouseOnButton = FALSE;
  BOOL m_bUseParentBackground = FALSE;
  BOOL m_bIsPressed = FALSE;
  BOOL m_bIsFocused = FALSE;
  BOOL m_bIsDisabled = FALSE;
  BOOL m_bIsDefault = FALSE;
  BOOL m_bIsCheckBox = FALSE;
  int m_nAlignment = kAlignLeft;
  BOOL m_bDrawBorder = TRUE;
  BOOL m_bDrawFlatFocus = FALSE;
  COLORREF m_colours[kColourSlots];
  HCURSOR m_hCursor = nullptr;
  CToolTipCtrl m_toolTip;
  CDC m_dcBackground;
  CBitmap m_bmpBackground;
  CBitmap* m_pOldBackground = nullptr;
  BOOL m_bAlwaysTrack = FALSE;
  BOOL m_bChecked = FALSE;
  UINT m_nTypeStyle = 31;
  struct IconSlot {
    HICON icon = nullptr;
    int width = 0;
    int height = 0;
  } m_icons[2];

 private:
  void FreeIcons();
  void EndHover();
  void InitToolTip();
  void PaintParentBackground(CDC* pDC);
  void FreeParentBackground();

  DECLARE_MESSAGE_MAP()
};
