// The trust pages: the trusted root certificates (view, export, import, and under the strict trust policy their
// replacement by chosen trust points), the restricted trust page that keeps the trust-point list
// "JITC_TrustPoints.p7b", and the page of the trust points sheet on which a list of trust points is composed.
#pragma once

#include "certificates/CertMgrPages.h"
#include "controls/ColorLabel.h"

class CSelTrustPointsSheet;

class CTrustedRootPage : public CStoreCertPage {
  DECLARE_DYNCREATE(CTrustedRootPage)
 public:
  enum { IDD = 30056 };
  CTrustedRootPage();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

 protected:
  void ListCertificates();
  afx_msg void OnExport();
  afx_msg void OnImportCertificate();
  afx_msg void OnTrustPoints();
  afx_msg void OnDblClkRoot(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

class CRestrictedTrustPage : public CStoreCertPage {
  DECLARE_DYNCREATE(CRestrictedTrustPage)
 public:
  enum { IDD = 30057 };
  CRestrictedTrustPage();

  BOOL OnSetActive() override;
  // Builds the list from the trust-point file when it holds no rows.
  void RefreshTrustPoints();

 protected:
  afx_msg void OnRemoveTrustPoint();
  afx_msg void OnAddTrustPoints();
  // Writes the store's certificates to the trust-point file; false (and nothing written) on failure.
  bool SaveTrustPoints(const CCapicomStore& store, bool tellExportFailure);
  DECLARE_MESSAGE_MAP()
};

class AddTrustPointsPage : public CPropertyPage {
  DECLARE_DYNCREATE(AddTrustPointsPage)
 public:
  enum { IDD = 30058 };
  AddTrustPointsPage();
  ~AddTrustPointsPage() override;

  CColorLabel m_lblTrustPoints;  // 1064
  CColorLabel m_lblAvailable;    // 1063
  CReportListCtrl m_TrustPointList;
  CReportListCtrl m_AvailableList;
  int m_nAvailableRow = 0;
  int m_nTrustPointRow = 0;
  int m_nSavedAvailableRow = 0;
  int m_nSavedTrustPointRow = 0;
  BYTE m_bAvailableActive = 1;
  BYTE m_bReturnFocus = 0;
  // The available certificates come from the trust backup "TrustBackup.p7b" (under the strict policy).
  BYTE m_bBackup = 0;
  CCapicomObjectSet* m_pObjects = nullptr;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  CSelTrustPointsSheet* GetTrustSheet() const;
  void ListAvailable();
  void ListTrustPoints();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void SelectRow(CReportListCtrl& list, int row);
  void DeselectRow(CReportListCtrl& list, int row);
  void EnableControl(int id, BOOL enable);
  bool AvailableCertificate(int row, CCapicomCertificate& out);

  afx_msg void OnAdd();
  afx_msg void OnRemove();
  afx_msg void OnRemoveAll();
  afx_msg void OnRefresh();
  afx_msg void OnImportFile();
  afx_msg void OnAvailableItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAvailableDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAvailableFocus(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnTrustPointItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnTrustPointDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnTrustPointFocus(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};
