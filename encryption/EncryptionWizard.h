// The encryption wizard: encrypts or decrypts and verifies batches of files with a chosen cipher and key
// length.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "signing/ProtectWizardData.h"

class CEncryptionWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CEncryptionWizard)
  DECLARE_SHEET_CLASS(CEncryptionWizard)
 public:
  // Page indexes of the operation export.
  enum { kMainPage = 0, kInformationPage = 2, kFinishPage = 4 };

  CEncryptionWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CProtectWizardData m_WizardData;
  CFinishPage m_FinishPage;
};
