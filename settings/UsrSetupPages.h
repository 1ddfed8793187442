// The two pages of the user set-up wizard: the welcome page takes the user's full name and e-mail address, the
// finish page shows the set-up's steps while its worker runs.
#pragma once

#include <functional>

#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "controls/ReportListCtrl.h"
#include "controls/TextProgressCtrl.h"
#include "controls/TextureButton.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/propsheet.h"

class CUserProfileSetupWizard;

class CUsrSetupMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CUsrSetupMainPage)
 public:
  enum { IDD = 30053 };
  CUsrSetupMainPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  CString m_strFullName;
  CString m_strEmailName;
  CTextureButton m_btnProfiles;
  CLabelCtrl m_lblTitle, m_lblText;
  CHyperlinkCtrl m_lnkMaker, m_lnkSupport;

  // An address needs a "." and an "@" and at least five characters.
  static bool IsPlausibleAddress(const CString& address);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnProfiles();
  DECLARE_MESSAGE_MAP()
};

class CUsrSetupFinishPage : public CPropertyPage {
  DECLARE_DYNCREATE(CUsrSetupFinishPage)
 public:
  enum { IDD = 30054 };
  // Rows of the step list: certificate, profile, encryption preset, signing preset, copies.
  enum { kStepCount = 5 };
  CUsrSetupFinishPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;

  // The worker's way to the page's controls: runs fn on the page's own thread and returns when it ran (nothing
  // happens when the page has no window).
  void RunOnPage(const std::function<void()>& fn);
  // Marks a step row done or current (true) or not done (false); rows outside the list are ignored.
  void MarkStep(int row, bool done);
  // A message box over the page, from any thread.
  void Tell(const CString& text);

  // The bar's set-up: back to a full bar without text with a snake running along it.
  void ResetBar();
  void ApplyRange();
  void ApplyTextColours();
  void ApplyDefaultFont();
  void ApplyBorder();
  void ApplyTextFormat();
  void ApplyMarquee();
  void RestartSnake();
  void ApplyRainbow();
  // Starts or stops the 2 ms animation timer when its state changes.
  void SetAnimationTimer(bool run);
  // One tick of the animation timer: the bar bounces between 0 and the range.
  void AnimationStep();

  CLabelCtrl m_lblTitle, m_lblText, m_lblSpare;
  CHyperlinkCtrl m_lnkMaker;
  CTextProgressCtrl m_ctlProgress;
  CTextureButton m_btnInfo;
  CReportListCtrl m_lstSteps;
  // The certificate the user picked or the set-up made.
  CCapicomCertificate m_UserCertificate{kx::engine::EmptyTag{}};

  // Bar settings.
  BOOL m_bCustomColours = FALSE;
  int m_nBorder = 0;
  int m_nRange = 100;
  int m_nStep = 2;
  int m_nPeriod = 40;
  CString m_strPercent = "90";
  int m_nTextFormat = 2;
  int m_nTooltipFormat = 2;
  BOOL m_bPalette = FALSE, m_bPaletteText = FALSE;
  BOOL m_bShowText = TRUE;
  COLORREF m_crText = 0, m_crBackgroundText = 0;
  BOOL m_bMarquee = FALSE;
  BOOL m_bSnake = TRUE;
  int m_nSnakePeriod = 1;
  int m_nPosition = 0;
  int m_nDirection = 1;
  bool m_bAnimating = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg LRESULT OnRunOnPage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};
