// The user set-up wizard: creates a mail protection profile, a certificate and the one-click presets of a new
// user. Start page 1 skips the welcome page.
#pragma once

#include "app/BaseSheet.h"
#include "app/SheetWorker.h"
#include "certificates/CertCreationInfo.h"
#include "settings/MailProfile.h"
#include "settings/UsrSetupPages.h"
#include "signing/ProtectWizardData.h"

class CWinThread;

class CUserProfileSetupWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CUserProfileSetupWizard)
  DECLARE_SHEET_CLASS(CUserProfileSetupWizard)
 public:
  enum { kMainPage = 0, kFinishPage = 1 };
  CUserProfileSetupWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // Waits for a set-up still running.
  ~CUserProfileSetupWizard() override;
  BOOL AddPages() override;

  // Starts the set-up worker; nothing when one is running already.
  void StartWorker();
  bool IsWorkerRunning() const;
  // Waits for the worker, taking the messages it sends to the pages meanwhile.
  void WaitForWorker();

  // The profile being created.
  CMailProfileSettings m_Profile;
  CProtectWizardData m_WizardData;
  CCertCreationInfo m_CreationInfo;
  CUsrSetupMainPage m_MainPage;
  CUsrSetupFinishPage m_FinishPage;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  DECLARE_MESSAGE_MAP()

 private:
  CSheetWorker m_Worker;
};
