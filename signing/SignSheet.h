// The Signer Wizard: encrypts, signs, signs and encrypts, countersigns, or decrypts and verifies files. It owns
// the operation data and its pages; the universal signer wizard is the same wizard under another
// registration and finish code.
//
// Pages are known by their place in the wizard (kMainPage ... kFinishPage); GoToPage finds a place's page
// whatever pages come before it.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "app/SheetWorker.h"
#include "signing/SelectCertPage.h"
#include "signing/ProcessingPage.h"
#include "signing/ProtectWizardData.h"
#include "signing/SignaturePages.h"
#include "signing/SignerPages.h"

class CWinThread;

class CSignSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSignSheet)
  DECLARE_SHEET_CLASS(CSignSheet)
 public:
  enum {
    kMainPage = 0,
    kFilePage = 1,
    kCipherPage = 2,
    kRecipientsPage = 3,
    kProcessingPage = 4,
    kSignersPage = 5,
    kTimeStampPage = 6,
    kPictureChoicePage = 7,
    kLegalPage = 8,
    kDrawingPage = 9,
    kFinishPage = 10
  };

  CSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  // Waits for a worker that still runs: it uses the pages and the operation data.
  ~CSignSheet() override;
  BOOL AddPages() override;
  // Opens on the page at the start place (m_nStartPage is a place here, not an index).
  INT_PTR DoModal() override;

  // The page at a place of the wizard, or null when the wizard has no page there.
  CPropertyPage* GetWizardPage(int place);
  // The place of a page in the wizard, or -1 when the page is not in it.
  int GetWizardPlace(CPropertyPage* page);
  // Activates the page at a place; FALSE when there is none.
  BOOL GoToPage(int place);
  // Where the wizard goes after the signer page and the signing pages: the cipher page when signing and
  // encrypting, the preset's finish page in the one-click wizard, else the processing page.
  int GetPlaceAfterSigningPages();

  // The mail-profile wizard answers TRUE: its signers must carry the profile's address and are recipients too.
  virtual BOOL IsProfileLoaded() const { return FALSE; }
  // The mail-profile wizard's "use my certificate" choice and the profile's address.
  virtual BOOL UseProfileCertificate() const { return FALSE; }
  virtual CString GetProfileMailAddress() const { return CString(); }
  // The one-click preset wizard answers TRUE.
  virtual BOOL IsOneClick() { return FALSE; }

  // Starts proc(this) on a worker thread of the sheet (after the previous one has ended).
  void StartWorker(UINT (*proc)(LPVOID));
  // Waits for the worker to end, taking the messages it sends meanwhile; true when none runs any more.
  bool WaitForWorker(DWORD milliseconds = INFINITE);
  // Run Again: wakes the worker from its closing pause and waits for it to end.
  void EndWorker() { m_Worker.End(); }

  CProtectWizardData m_WizardData;
  CPWMainPage m_MainPage;
  CPWInitialPage m_InitialPage;
  CPWProgressPage m_ProgressPage;
  CSelectCertPage m_SelectCertPage;
  CPWDecryptPage m_DecryptPage;
  CPWSelectSignerPage m_SelectSignerPage;
  CPWTimeStampPage m_TimeStampPage;
  CPWSelSigImagePage m_SelSigImagePage;
  CPWLegalSignPage m_LegalSignPage;
  CPWCreateSigImagePage m_CreateSigImagePage;
  CFinishPage m_FinishPage;

 protected:
  // Adds the pages in the order of their places, each with the help flag, icon 144 and the tab title.
  void AddWizardPages(LPCSTR tabTitle);

 private:
  CSheetWorker m_Worker;
};

class CUniversalSignSheet : public CSignSheet {
  DECLARE_DYNAMIC(CUniversalSignSheet)
  DECLARE_SHEET_CLASS(CUniversalSignSheet)
 public:
  CUniversalSignSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
};
