// The Signer Wizard: encrypts, signs, signs and encrypts, countersigns, or decrypts and verifies files. It owns
// the operation data and its pages; the universal signer wizard is the same wizard under another
// registration and finish code.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "signing/ProtectWizardData.h"

class CSignSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSignSheet)
  DECLARE_SHEET_CLASS(CSignSheet)
 public:
  // Page indexes of the operation exports.
  enum { kFilePage = 1, kProcessingPage = 4 };

  CSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CProtectWizardData m_WizardData;
  CFinishPage m_FinishPage;

 protected:
  // Adds the pages in page-index order, each with the help flag, icon 144 and the tab title.
  void AddWizardPages(LPCSTR tabTitle);
};

class CUniversalSignSheet : public CSignSheet {
  DECLARE_DYNAMIC(CUniversalSignSheet)
  DECLARE_SHEET_CLASS(CUniversalSignSheet)
 public:
  CUniversalSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
