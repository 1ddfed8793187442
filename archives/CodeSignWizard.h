// The code-signing wizard: gives program files an Authenticode signature (with an optional time stamp) or
// verifies the signatures of program files. Pages in their fixed order: welcome (sign or verify), files and
// output folder, signer certificate and time-stamp server, results (CodeSignRun.h), finish.
#pragma once

#include <vector>

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "archives/CodeSignRun.h"
#include "app/WizardWorker.h"
#include "controls/ColorLabel.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/afxcmn.h"
#include "signing/FileChoicePage.h"
#include "signing/ProtectWizardData.h"

class CCodeSignWizard;

// Page 0: what the wizard does.
class CCodeMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCodeMainPage)
 public:
  enum { IDD = 30023 };
  CCodeMainPage();

  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;
  CHyperlinkCtrl m_lnkProduct;
  CHyperlinkCtrl m_lnkSupport;
  // 0 sign, 1 verify.
  int m_nOperation = 0;

  BOOL OnInitDialog() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// Page 1: one file or a list of files, the output folder of the signed copies, and whether the results are
// mailed when the run ends.
class CCodeFileSel : public CFileChoicePageBase {
  DECLARE_DYNCREATE(CCodeFileSel)
 public:
  enum { IDD = 30019 };
  CCodeFileSel();

  LRESULT OnWizardNext() override;
  void OnSeveralFiles() override;

 protected:
  CCodeSignWizard* Sheet();
  CProtectWizardData* WizardData() override;
  CSystemProfile* SystemProfile() override;
  void PrepareControls(CProtectWizardData& data) override;
  FolderChoice OutputDialog() override;
};

// Page 2: the signing certificate (several with the countersign box, of which the first signs) and the
// time-stamping server.
class CCodeSignPage : public CPropertyPage {
  DECLARE_DYNCREATE(CCodeSignPage)
 public:
  enum { IDD = 30022 };
  CCodeSignPage();

  CColorLabel m_lblServerKind;
  CColorLabel m_lblServer;
  CIPAddressCtrl m_ctlAddress;
  // 0 URL, otherwise IP address.
  int m_nServerKind = 0;
  CString m_strServerUrl;
  CReportListCtrl m_lstCertificates;
  CColorLabel m_lblList;
  int m_bCountersign = 0;
  int m_nSelected = 0;
  CString m_strTimeStampServer;
  std::vector<CCapicomCertificate> m_Certificates;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  void RefillList();
  // The server text of the chosen kind: the URL as typed, or "http://a.b.c.d/" for an address (empty when
  // the address is blank).
  CString ServerText();

  afx_msg void OnServerKindChanged();
  afx_msg void OnSelectCertificate();
  afx_msg void OnCountersign();
  afx_msg void OnViewCertificate();
  afx_msg void OnRemoveCertificates();
  afx_msg void OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CCodeSignWizard* Sheet();
  void SetButtons();
  // Same serial number and same subject simple name as a listed certificate.
  bool IsListed(const CCapicomCertificate& candidate) const;
  // The data's signers follow the page's list.
  void StoreSigners();
  // Single-signer choice through the certificate manager in its selection role; an empty wrapper when nothing
  // was chosen.
  CCapicomCertificate ChooseOne(const CRect& origin);
  DECLARE_MESSAGE_MAP()
};

class CCodeSignWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CCodeSignWizard)
  DECLARE_SHEET_CLASS(CCodeSignWizard)
 public:
  enum { kMainPage = 0, kFilePage = 1, kSignPage = 2, kFinalPage = 3, kFinishPage = 4 };

  CCodeSignWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CCodeSignWizard() override;
  BOOL AddPages() override;

  CProtectWizardData m_WizardData;
  CCodeMainPage m_MainPage;
  CCodeFileSel m_FileSel;
  CCodeSignPage m_SignPage;
  CCodeFinalPage m_FinalPage;
  CFinishPage m_FinishPage;
  // The run's worker; it uses the pages and the data, so it is waited for before they go.
  CSheetWorker m_Worker;
};
