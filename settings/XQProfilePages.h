// The mail profile wizard's own pages: the display name (main page), the user's address and name, the
// profile's switches, the footer, and the finish page that saves the profile with its three presets.
#pragma once

#include "certificates/CWizard.h"
#include "platform/mfc/propsheet.h"

class CXQProfileWizard;

// Base of the wizard's own pages: the wizard they belong to.
class CXQProfilePage : public CPropertyPage {
 public:
  using CPropertyPage::CPropertyPage;

 protected:
  CXQProfileWizard* Wizard();
  // Back and Next, with the sheet's buttons set to be arranged.
  void ShowBackAndNext();
};

class CXQProfileMainPage : public CXQProfilePage {
  DECLARE_DYNCREATE(CXQProfileMainPage)
 public:
  enum { IDD = 30042 };
  CXQProfileMainPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  CString m_strDesc;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class CXQUserPage : public CXQProfilePage {
  DECLARE_DYNCREATE(CXQUserPage)
 public:
  enum { IDD = 30043 };
  CXQUserPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  BOOL m_bCheck1238 = FALSE;
  BOOL m_bUseMyCertificate = TRUE;
  CString m_strEmailName;
  CString m_strFullName;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class CXQConfigPage : public CXQProfilePage {
  DECLARE_DYNCREATE(CXQConfigPage)
 public:
  enum { IDD = 30044 };
  CXQConfigPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  BOOL m_bBlockForward = FALSE;
  BOOL m_bRemoveReadReciepts = FALSE;
  BOOL m_bVerifyAll = FALSE;
  BOOL m_bVerifyCertsAsSpecified = FALSE;
  BOOL m_bShredTempFiles = FALSE;
  BOOL m_bValidateProfile = FALSE;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class CXQFooterPage : public CXQProfilePage {
  DECLARE_DYNCREATE(CXQFooterPage)
 public:
  enum { IDD = 30047 };
  CXQFooterPage();
  BOOL OnInitDialog() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  BOOL m_bAttachment = FALSE;
  CString m_strFooter;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// The finish page: a checklist of the saving steps and the progress bar of the creation wizard's finish page;
// 1200 ms after it is shown one worker saves the profile and writes its presets.
class CMPFinishPage : public CCWFinishPage {
  DECLARE_DYNCREATE(CMPFinishPage)
 public:
  enum { IDD = 30045 };
  // The checklist's rows, marked as the run reaches them: the start, the profile in the list, then each
  // preset written.
  enum { kRowStart, kRowProfile, kRowEncrypt, kRowSign, kRowSignEncrypt, kRowCount };
  CMPFinishPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

  // The end of a run, on the page's thread: the bar hidden and Finish offered.
  void EndRun();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  DECLARE_MESSAGE_MAP()
};

// The save worker; its argument is the wizard. Returns 0.
UINT SaveMailProfileThread(LPVOID wizard);
// Writes one of the profile's presets (kind 0 encrypt, 1 sign, 2 sign and encrypt) from the wizard's set-up;
// whether the file was saved.
bool WriteProfilePreset(CXQProfileWizard& wizard, int kind, const CString& path);
