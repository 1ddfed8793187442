// The Signer Wizard's own pages before the processing page: the welcome page with the operation choice, the
// file page, the cipher page and the signer page. Each page reaches the operation data through its sheet.
#pragma once

#include <vector>

#include "controls/ColorLabel.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/propsheet.h"
#include "signing/FileChoicePage.h"

class CSignSheet;
class CSystemProfile;

// Page 0: the welcome page, on which the user picks the operation.
class CPWMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CPWMainPage)
 public:
  enum { IDD = 104 };
  CPWMainPage();

  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;
  CHyperlinkCtrl m_linkFirst;
  CHyperlinkCtrl m_linkSecond;
  // 0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign, 4 decrypt and verify (radio group from 1022).
  int m_nOperation = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// Page 1: one file or a list of files, the output folder, and whether the outputs are mailed at the end.
class CPWInitialPage : public CFileChoicePageBase {
  DECLARE_DYNCREATE(CPWInitialPage)
 public:
  enum { IDD = 105 };
  CPWInitialPage();

 protected:
  CSignSheet* Sheet();
  CProtectWizardData* WizardData() override;
  CSystemProfile* SystemProfile() override;
  bool PassesOn(CProtectWizardData& data) override;
  InputChoice InputDialogs() override;
  void OnInputChosen() override;
  FolderChoice OutputDialog() override;
  bool KeepsHostFiles() override { return true; }
  LRESULT NextPage(CProtectWizardData& data) override;
  // In countersign mode: the chosen file must be a signed protected file without encryption; otherwise the
  // user is told why and the path is emptied.
  void CheckCountersignInput();
};

// Page 2: the cipher and key length of the encrypting operations.
class CPWProgressPage : public CPropertyPage {
  DECLARE_DYNCREATE(CPWProgressPage)
 public:
  enum { IDD = 4208 };
  CPWProgressPage();

  CColorLabel m_lblCipher;
  CColorLabel m_lblKeyLength;
  BOOL m_bSaveAsDefault = FALSE;
  BOOL m_bUseProfileCipher = FALSE;
  int m_nCipherSel = 0;
  int m_nKeyLengthSel = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  afx_msg void FillKeyLengths();
  afx_msg void OnUseDefaults();

  // The engine codes of the chosen entries; false when a combo has no selection.
  bool GetSelectedCodes(int& cipher, int& keyLength);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // The page that led here (Back returns to it); -1 when the page was the first one shown.
  int m_nCameFrom = -1;
  DECLARE_MESSAGE_MAP()
};

// Page 5: the signing certificate, or several with the multiple-signers box.
class CPWSelectSignerPage : public CPropertyPage {
  DECLARE_DYNCREATE(CPWSelectSignerPage)
 public:
  enum { IDD = 4225 };
  CPWSelectSignerPage();

  CReportListCtrl m_List;
  CColorLabel m_Label;
  BOOL m_bMultipleSigners = FALSE;
  int m_nSelected = 0;
  std::vector<CCapicomCertificate> m_Certificates;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnMultipleSigners();
  afx_msg void OnChooseSigners();
  afx_msg void OnViewCertificate();
  afx_msg void OnClearSigners();
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult);

  void RefillList();
  // A certificate of the list with the same serial number and subject name (without regard to case).
  bool IsChosen(const CCapicomCertificate& candidate);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CSignSheet* Sheet();
  void SetButtons();
  // Copies the chosen certificates to the operation data (also as recipients in the mail-profile wizard).
  void StoreChoice();
  // Mail-profile wizard: every chosen certificate must carry the profile's address; the first that does not
  // is named and taken off the list.
  void CheckProfileAddresses();
  DECLARE_MESSAGE_MAP()
};
