// Page 10 of the one-click preset wizard: saves the set-up the wizard collected as a numbered preset file
// ("KX_ONECLICK_<n>.clk" in the user's preset folder) instead of running it. It also offers a certificate
// with its cipher options and a small options dialog, whose choices stay on the page.
#pragma once

#include "controls/ColorLabel.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/propsheet.h"

class CSignSheet;

class OneClickOptionsDialog : public CDialog {
 public:
  enum { IDD = 1011 };
  explicit OneClickOptionsDialog(CWnd* pParent = nullptr);

  CComboBox m_cboList;
  CSpinButtonCtrl m_spnCount;
  CColorLabel m_lblCount;
  CColorLabel m_lblList;
  // 1 to 1000.
  UINT m_nCount = 1;
  int m_nListIndex = 0;
  BOOL m_bCount = FALSE;
  BOOL m_bList = FALSE;

  BOOL OnInitDialog() override;
  afx_msg void OnCountCheck();
  afx_msg void OnListCheck();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class COneClickFinishPage : public CPropertyPage {
  DECLARE_DYNCREATE(COneClickFinishPage)
 public:
  enum { IDD = 4232 };
  COneClickFinishPage();

  CColorLabel m_lblCertificate;
  CString m_strCertName;
  // 0: a certificate is to be picked; 1: no certificate.
  int m_nCertChoice = 0;
  BOOL m_bCheck1 = TRUE;
  BOOL m_bCheck2 = TRUE;
  BOOL m_bCheck3 = TRUE;
  int m_nCipherIndex = 2;
  int m_nKeyLengthIndex = 2;
  CString m_strCertIssuer;
  CString m_strCertValidTo;
  CCapicomCertificate m_certPicked{kx::engine::EmptyTag{}};
  // The path of the last preset this page saved; empty when none.
  CString m_strSavedPath;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;

  afx_msg void OnCertChoicePick();
  afx_msg void OnCertChoiceNone();
  afx_msg void OnSelectCertificate();
  afx_msg void OnOptions();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CSignSheet* Sheet();
  // Back, Next or Finish by the configuration's ShowFinishPage (read anew each time).
  void SetButtons(bool allowOn);
  // Writes the preset; false when the page is to stay (a message told the user why).
  bool SavePreset();

  // The page that was active before this one (Back returns to it); null when unknown.
  CPropertyPage* m_pCameFrom = nullptr;
  DECLARE_MESSAGE_MAP()
};
