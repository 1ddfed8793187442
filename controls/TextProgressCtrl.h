// The text progress bar: a progress control that paints itself as a colour ramp, can show its position or
// percentage as text in two colours (over and beside the bar), can run a block of fixed length along the bar
// (segment mode), can let the ramp's colours flow on a timer and can show its value in a tooltip.
// CProgressPainter holds the drawing and the position state; CTextProgressCtrl answers the progress-bar
// messages through it. CStatusProgressCtrl is a plain progress bar placed into a pane of the main window's
// status bar.
//
// Threads: the control's operations may be called from any thread; from a thread that does not own the window
// they are carried out by the owner thread through the progress-bar messages.
#pragma once

#include "controls/GradientColours.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/afxwin.h"

// Style bits of the painter (the control's window style).
#define PBS_TEXT_LEFT 0x0010
#define PBS_TEXT_RIGHT 0x0020
#define PBS_TEXT_TOP 0x0040
#define PBS_TEXT_BOTTOM 0x0080
#define PBS_SHOW_PERCENT 0x0100
#define PBS_SHOW_POSITION 0x0200
#define PBS_TEXT_MODE_MASK 0x0300
#define PBS_TEXT_ON_BAR 0x1000
#define PBS_RAMP_ON_BAR 0x2000
#define PBS_REVERSE 0x4000
#define PBS_SEGMENT 0x8000

// What the painter's drawing operations pass each other.
struct ProgressDrawState {
  CDC* pDC;
  DWORD style;
  CRect rect;
  int position;
  int lower;
  int upper;
};

// Formats a number with a caller's format that may hold one integer conversion (and "%%"); any other
// conversion is shown as its characters, so that no format can read arguments that were not given.
CString FormatProgressNumber(const char* format, int value);

class CProgressPainter : public CGradientColours {
 public:
  CProgressPainter();
  ~CProgressPainter() override;

  void SetBarColours(COLORREF from, COLORREF to) { SetColours(2, from, to); }
  void SetRange(int a, int b);
  void GetRange(int& lower, int& upper) const { lower = m_nLower; upper = m_nUpper; }
  int GetPos() const { return m_nPosition; }
  int SetStep(int step);
  int GetStep() const { return m_nStep; }
  int SetPos(int pos);
  int OffsetPos(int delta);
  int StepIt() { return OffsetPos(m_nStep); }
  void SetPosInternal(int pos, BOOL force);
  void SetTextFormat(const char* format, DWORD mode);
  const CString& GetTextFormat() const { return m_strFormat; }
  void SetClipRegion(HRGN region);
  void SetFontHandle(CFont* font) { m_hFont = font ? static_cast<HFONT>(font->GetSafeHandle()) : nullptr; }
  HFONT GetFontHandle() const { return m_hFont; }
  void SetBarBrush(HBRUSH brush) { m_hBarBrush = brush; }
  void SetBackgroundColour(COLORREF colour) { m_crBackground = colour; }
  COLORREF GetBackgroundColour() const { return m_crBackground; }
  void SetBackgroundBrush(HBRUSH brush) { m_hBackgroundBrush = brush; }
  void SetBarTextColour(COLORREF colour) { m_crBarText = colour; }
  void SetTextColour(COLORREF colour) { m_crText = colour; }
  void SetSegmentLength(int length) { m_nSegmentLength = length; }
  int GetSegmentTail() const { return m_nSegmentTail; }
  // Left, top, right, bottom.
  void SetMargins(const int* values);
  int GetAnimationOffset() const { return m_nAnimationOffset; }
  void SetAnimationOffset(int offset) { m_nAnimationOffset = offset; }

  // The rectangle that the pixel range [from, to) along the bar covers in the state's rectangle.
  CRect GetBarRect(const ProgressDrawState& state, int from, int to) const;
  void DrawBar(CDC* pDC, const CRect& rect, BOOL direct);

  virtual DWORD GetStyle() const { return m_dwStyle; }
  virtual BOOL ModifyStyle(DWORD remove, DWORD add);
  virtual void DrawText(const ProgressDrawState& state, const CRect& whole, const CRect& bar);
  virtual void DrawClippedText(const ProgressDrawState& state, const CRect& clip, const CString& text, int x, int y);
  virtual BOOL SetSegmentPos(int value, BOOL relative);
  virtual CString FormatText(const ProgressDrawState& state, const CString& format);
  virtual double GetValue(const ProgressDrawState& state);
  virtual BOOL OnPosChanging(int oldPos, int newPos) { return TRUE; }
  virtual void OnPosChanged(int newPos) {}

 protected:
  HBRUSH m_hBarBrush = nullptr;
  COLORREF m_crBackground;
  HBRUSH m_hBackgroundBrush = nullptr;
  COLORREF m_crBarText;
  COLORREF m_crText;
  int m_nSegmentTail = 0;
  int m_nSegmentLength = 40;
  int m_nStep = 10;
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_margins[4] = {0, 0, 0, 0};
  CString m_strFormat;
  HFONT m_hFont = nullptr;  // the caller's font, kept by handle
  DWORD m_dwStyle = 0xF0;
  CRgn m_clipRegion;
  int m_nPosition = 0;
  int m_nAnimationOffset = 0;
};

class CTextProgressCtrl : public CProgressCtrl, public CProgressPainter {
 public:
  static constexpr UINT_PTR kStepTimer = 11;
  static constexpr UINT_PTR kAnimationTimer = 12;

  CTextProgressCtrl();
  ~CTextProgressCtrl() override;

  // The position setters go through the progress-bar messages (any thread); the rest of the progress control's
  // operations are its own (through the same messages).
  int SetPos(int pos);
  int StepIt();
  using CProgressCtrl::GetPos;
  using CProgressCtrl::GetRange;
  using CProgressCtrl::OffsetPos;
  using CProgressCtrl::SetRange;
  using CProgressCtrl::SetRange32;
  using CProgressCtrl::SetStep;
  void ClearBarText() { SetTextFormat(nullptr, PBS_TEXT_MODE_MASK); }
  void ClearTooltipText() { SetTooltipFormat(nullptr, PBS_TEXT_MODE_MASK); }
  BOOL GetSegmentStyle() const { return (GetStyle() & PBS_RAMP_ON_BAR) != 0; }
  void SetSegmentStyle(BOOL on);
  void SetRectValues(const int* values) { SetMargins(values); }
  void StartAnimation(UINT period, int step);
  void StopAnimation();
  void SetTooltipFormat(const char* format, DWORD mode);
  void UpdateTooltipText(int position);
  CToolTipCtrl& GetToolTip() { return m_toolTip; }

  DWORD GetStyle() const override;
  BOOL ModifyStyle(DWORD remove, DWORD add) override;
  void OnPosChanged(int newPos) override { UpdateTooltipText(newPos); }
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Paints into the target DC, or through BeginPaint when it is null.
  void Paint(CDC* target);

  CToolTipCtrl m_toolTip;
  CString m_strTooltipFormat;
  DWORD m_dwTooltipMode = 0;
  int m_nAnimationStep = 0;

 private:
  bool OnOwnerThread() const;
};

class CStatusProgressCtrl : public CProgressCtrl {
 public:
  // share: percent of the pane's width that the bar takes; pane: the status-bar pane it sits in.
  explicit CStatusProgressCtrl(int pane = 0, int share = 100) : m_nShare(share), m_nPane(pane) {}

  BOOL SetRange(int lower, int upper, int step);
  int SetPos(int pos);
  int OffsetPos(int delta);
  int SetStep(int step);
  int StepIt();
  void SetText(const char* text);
  CStatusBar* GetStatusBar();
  BOOL Reposition();

 private:
  int Send(UINT message, WPARAM wParam);

  int m_nShare;
  int m_nPane;
  CString m_strText;
  CRect m_lastRect{0, 0, 0, 0};
};
