// The encryption wizard's pages before its final page: the welcome page with the operation choice, the file
// page, the cipher and password page, and the inert one-click page that stands after the finish page.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/propsheet.h"
#include "signing/FileChoicePage.h"

class CEncryptionWizard;

namespace kx::encryption {
using kx::signing::SetUpWelcomePage;
}  // namespace kx::encryption

// Page 0: encrypt (radio 0) or decrypt and verify (radio 1).
class CEncryptMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CEncryptMainPage)
 public:
  enum { IDD = 30032 };
  CEncryptMainPage();

  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;
  CHyperlinkCtrl m_linkFirst;
  CHyperlinkCtrl m_linkSecond;
  // Check box 1213: kept for the page only.
  int m_nOption = 1;
  int m_nOperation = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// Page 1: one file or a list of files, the output folder, and whether the outputs are mailed at the end.
class EncFileSel : public CFileChoicePageBase {
  DECLARE_DYNCREATE(EncFileSel)
 public:
  enum { IDD = 30034 };
  EncFileSel();

 protected:
  CEncryptionWizard* Sheet();
  CProtectWizardData* WizardData() override;
  CSystemProfile* SystemProfile() override;
  CString SeveralFilesText() override;
  InputChoice InputDialogs() override;
};

// Page 2: the cipher, key length and password.
class EncyptInfoPage : public CPropertyPage {
  DECLARE_DYNCREATE(EncyptInfoPage)
 public:
  enum { IDD = 30035 };
  EncyptInfoPage();

  CButton m_btnOptions;
  CStatic m_stcPassword;
  CStatic m_stcConfirm;
  CString m_strPassword;
  CString m_strConfirm;
  CColorLabel m_lblCipher;
  CColorLabel m_lblKeyLength;
  int m_nSaveAsDefault = 0;
  int m_nUseDefaults = 0;
  int m_nCipherSel = 0;
  int m_nKeyLengthSel = 0;
  // 0 PBKDF2 with HMAC-SHA1, 1 with HMAC-MD5.
  int m_nDerivation = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;

  afx_msg void FillKeyLengths();
  afx_msg void OnUseDefaults();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CEncryptionWizard* Sheet();
  DECLARE_MESSAGE_MAP()
};

// Page 5: after the finish page, never reached by Next.
class EncOneClickPage : public CPropertyPage {
  DECLARE_DYNCREATE(EncOneClickPage)
 public:
  enum { IDD = 30036 };
  EncOneClickPage();

  CStatic m_stcFirst;
  CStatic m_stcSecond;
  CStatic m_stcThird;
  CStatic m_stcFourth;
  CString m_strPath;
  CString m_strPassword;
  CString m_strConfirm;
  CString m_strFolder;
  BOOL m_bOption = FALSE;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};
