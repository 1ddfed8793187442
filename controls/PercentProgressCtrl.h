// The percentage progress bar of the archive page: a solid bar with its percentage centred on it, the text in
// the background colour over the bar and in the bar colour beside it.
//
// Threads: Start, SetPosition and Hide may be called from worker threads; the work is then done by the thread
// that owns the window (through a sent message), so the control's data is only touched there.
#pragma once

#include "platform/mfc/afxcmn.h"

class CPercentProgressCtrl : public CProgressCtrl {
 public:
  CPercentProgressCtrl();
  ~CPercentProgressCtrl() override;

  // Stores the bounds; no repaint.
  void SetRange(int lower, int upper);
  // The old position; -1 without a window.
  int SetPosition(int position);
  // Sets the window text to the two-decimal percentage of the position.
  void UpdateText();
  // count 0 does nothing; otherwise shows the control with the range 0 .. count at position 0.
  void Start(int count);
  void Hide(int flag);

  int GetPosition() const { return m_nPosition; }
  const CString& GetText() const { return m_strText; }
  void SetColours(COLORREF bar, COLORREF background) { m_crBar = bar; m_crBackground = background; }
  void SetShowText(BOOL show) { m_bShowText = show; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Paints into the target DC, or through BeginPaint when it is null.
  void Paint(CDC* target);

  int m_nPosition = 0;
  int m_nUpper = 100;
  int m_nLower = 0;
  CString m_strText;
  BOOL m_bShowText = TRUE;
  int m_nLastBarLength = -1;
  COLORREF m_crBar;
  COLORREF m_crBackground;

 private:
  enum class Call : WPARAM { kSetPosition = 1, kStart, kHide };
  // Runs the call on the window's own thread (directly when that is this thread).
  LRESULT OnOwner(Call call, int argument);
  LRESULT Run(Call call, int argument);
};
