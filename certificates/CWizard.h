// The certificate creation wizard: five input pages fill the creation record, the finish page runs the
// generation worker (a self-signed certificate, a request sent to the enrolment service, or a request saved to a
// file) and shows its steps.
#pragma once

#include <functional>

#include "app/BaseSheet.h"
#include "app/SheetWorker.h"
#include "certificates/CertCreationInfo.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "controls/ReportListCtrl.h"
#include "controls/TextProgressCtrl.h"
#include "controls/TextureButton.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CCWizard;

class CCWMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWMainPage)
 public:
  enum { IDD = 4252 };
  CCWMainPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  CLabelCtrl m_lblTitle, m_lblText;
  CHyperlinkCtrl m_lnkMaker, m_lnkSupport;
  int m_nMode = 0;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnModeClicked();
  DECLARE_MESSAGE_MAP()
};

class CCWPurposePage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWPurposePage)
 public:
  enum { IDD = 107 };
  CCWPurposePage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

  int m_bAdvanced = 0;
  int m_bSecondPurpose = 1;
  int m_nPurpose = 0;
  CString m_strRequestFile;
  CString m_strPurpose = "1.3.6.1.5.5.7.3.4";
  CListBox m_lstPurposes;
  CTextureButton m_btnSettings;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnPurposeChanged();
  afx_msg void OnBrowse();
  afx_msg void OnSettings();
  DECLARE_MESSAGE_MAP()

 private:
  bool m_bArrivedByBack = false;
  friend class CCWIdentifyPage;
};

class CCWIdentifyPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWIdentifyPage)
 public:
  enum { IDD = 4251 };
  CCWIdentifyPage();
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

  CString m_strLocality, m_strCountry, m_strOrgUnit, m_strEmail, m_strCommonName, m_strOrganisation, m_strState;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

class CCWKeyGenOptPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWKeyGenOptPage)
 public:
  enum { IDD = 108 };
  CCWKeyGenOptPage();
  BOOL OnInitDialog() override;
  LRESULT OnWizardNext() override;

  int m_nFamily = 2;
  int m_bDssSignature = 0;
  CString m_strHash, m_strProvider, m_strKeyLength;
  CComboBox m_cmbHash, m_cmbProvider, m_cmbKeyLength;

  // Lists the providers of the chosen family, then the key lengths of the first.
  void FillProviders();
  void FillKeyLengths();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnFamilyClicked();
  afx_msg void OnProviderChanged();
  afx_msg void OnDssClicked();
  DECLARE_MESSAGE_MAP()
};

class CCWKeyUsagePage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWKeyUsagePage)
 public:
  enum { IDD = 109 };
  CCWKeyUsagePage();
  LRESULT OnWizardNext() override;

  int m_bUsage1 = 1, m_bUsage2 = 0, m_bUsage3 = 0;
  int m_bCustom = 0;
  int m_nKey = 2;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnOptionClicked();
  DECLARE_MESSAGE_MAP()
};

class CCWFinishPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCWFinishPage)
 public:
  enum { IDD = 110 };
  CCWFinishPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

  // The worker's way to the page's controls: runs fn on the page's own thread (nothing when the page is gone).
  void RunOnPage(const std::function<void()>& fn);
  void MarkStep(int row, bool done);

  // Progress routines shared with the finish pages of the profile and user set-up wizards.
  void ApplyProgressRange();
  void ApplyRectValue();
  void ApplyTextFormat();
  void ApplySegmentStyle();
  void ToggleAnimationTimer();
  void SetAnimation(BOOL run);
  void ApplyRainbowColours();
  void ApplyTextColours();
  void ApplySnakeSpeed();
  void ApplyDefaultBarFont();
  void AnimationStep();

  CLabelCtrl m_lblTitle, m_lblResult, m_lblSecond;
  CHyperlinkCtrl m_lnkMaker;
  CTextProgressCtrl m_ctlProgress;
  CTextureButton m_btnStores;
  CReportListCtrl m_lstSteps;

  // Progress settings.
  int m_bCustomColours = 0;
  int m_bSegmentStyle = 0;
  int m_nRectValue = 0;
  int m_nBarMode = 0;
  int m_nMaximum = 100;
  int m_nBounceStep = 2;
  int m_nPeriod = 40;
  CString m_strPeriodText = "90";
  int m_nTextChoiceA = 2, m_nTextChoiceB = 2;
  COLORREF m_crText = 0, m_crBarText = 0;
  int m_nSnakeStep = 1;
  int m_nBarText = 0;
  int m_nTooltipText = 0;
  int m_bSnake = 0;
  int m_nPosition = 0;
  bool m_bUp = true;
  bool m_bAnimating = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnStores();
  afx_msg LRESULT OnRunOnPage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

class CCWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CCWizard)
  DECLARE_SHEET_CLASS(CCWizard)
 public:
  CCWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CCWizard() override;
  BOOL AddPages() override;

  // Starts one generation run (the finish page's timer does); the sheet waits for it before it goes.
  void StartWorker();
  void WaitForWorker();

  CCWMainPage m_MainPage;
  CCWPurposePage m_PurposePage;
  CCWIdentifyPage m_IdentifyPage;
  CCWKeyGenOptPage m_KeyGenOptPage;
  CCWKeyUsagePage m_KeyUsagePage;
  CCWFinishPage m_FinishPage;
  CCertCreationInfo m_Info;

 private:
  CSheetWorker m_Worker;
};

// The generation worker; its argument is the sheet. Returns 0.
UINT CreateCertificateThread(LPVOID sheet);

namespace kx::certcreate {

// The subject text of the record's identity ("CN=..,OU=..,O=..,L=..,S=..,C=..,E=.."), every value quoted where
// it holds characters that would change the name's meaning.
CString SubjectText(const CCertCreationInfo& info);
// Signature algorithm of a key choice; purpose mask of a purpose's object identifier.
const char* SignatureAlgorithmFor(DWORD keyChoice);
DWORD PurposeMaskFor(const CString& purpose);

}  // namespace kx::certcreate
