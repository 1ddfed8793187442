// The PFX import wizard: imports a PFX or certificate file into the personal, address book or authority store,
// or exports one personal certificate to a PFX file (with a password) or a certificate file.
#pragma once

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "certificates/CertificateArray.h"
#include "controls/ColorLabel.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/afxcmn.h"

class CPfxWizardData {
 public:
  CString m_strFileName;
  CCapicomCertificate m_Certificate{kx::engine::kEmpty};
  int m_nMode = 0;   // 0 import, 1 export
  int m_nStore = 0;  // 0 personal, 1 address book, 2 certification authorities
  CString m_strPassword;
};

class PfxMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(PfxMainPage)
 public:
  enum { IDD = 30018 };
  PfxMainPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  CLabelCtrl m_lblTitle, m_lblText;
  CHyperlinkCtrl m_lnkMaker, m_lnkSupport;
  CStatic m_stcStore;
  CComboBox m_cmbStore;
  int m_nStore = 0;
  int m_nMode = 0;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

class PfxFilePage : public CPropertyPage {
  DECLARE_DYNCREATE(PfxFilePage)
 public:
  enum { IDD = 30030 };
  PfxFilePage();
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  CColorLabel m_lblFile, m_lblPassword;
  CString m_strFile;
  int m_nFileType = 0;  // 0 PFX file with a password, 1 certificate file
  CString m_strPassword;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnBrowse();
  afx_msg void OnFileTypeChanged();
  DECLARE_MESSAGE_MAP()
};

class PfxSelCertPage : public CPropertyPage {
  DECLARE_DYNCREATE(PfxSelCertPage)
 public:
  enum { IDD = 30031 };
  PfxSelCertPage();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  LRESULT OnWizardBack() override;

  void FillCertificateList();
  bool IsAlreadyListed(const CCapicomCertificate& certificate) const;

  CStatic m_stcInclude;
  CComboBox m_cmbInclude;
  int m_nIncludeOption = 0;  // 0 chain without the root, 1 whole chain, 2 end certificate only
  CReportListCtrl m_lstCertificates;
  CColorLabel m_lblNote;
  int m_bConfirmSelect = 0;
  int m_nSelected = 0;
  CCertificateArray m_Certificates;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnSelectCertificate();
  afx_msg void OnConfirmClicked();
  afx_msg void OnView();
  afx_msg void OnClear();
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()

 private:
  void UpdateButtons();
};

class CPfxWizard : public CBaseSheet {
  DECLARE_DYNAMIC(CPfxWizard)
  DECLARE_SHEET_CLASS(CPfxWizard)
 public:
  CPfxWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CPfxWizardData m_Data;
  PfxMainPage m_MainPage;
  PfxFilePage m_FilePage;
  PfxSelCertPage m_SelCertPage;
  CFinishPage m_FinishPage;
  CImageList m_imlSmall, m_imlLarge;
};
