// The pages of the file summary sheet: the main page (recorded name, report, status, details of the
// signers' chains), the general page (signers whose signatures verify, with their legal entries) and the
// signature page (the same signers with the drawn signature, time stamp and hash line). They read the sheet's
// loaded protected file and never change it.
#pragma once

#include <vector>

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomCertificate.h"
#include "platform/mfc/propsheet.h"

class CSummarySheet;
class COfficeTolvexDoc;
class CScribbleView;

// Page 0: the recorded file name, the report and the status text (in red).
class CSummaryMainPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSummaryMainPage)
 public:
  enum { IDD = 4238 };
  CSummaryMainPage();

  // Takes the sheet's mail mode on start (the mail summary's own page keeps the ordinary wording).
  BYTE m_bMailMode = 0;
  CColorLabel m_lblName;     // 215
  CColorLabel m_lblReport;   // 216
  CColorLabel m_lblStatus;   // 1020
  CColorLabel m_lblCaption;  // 214
  CString m_strFileName;     // edit 209
  CString m_strReport;       // edit 213

  BOOL OnInitDialog() override;

 protected:
  CSummaryMainPage(UINT templateId, bool mailWording);
  void DoDataExchange(CDataExchange* pDX) override;
  CSummarySheet* Sheet();
  afx_msg void OnDetails();
  afx_msg void OnWindowPosChanging(WINDOWPOS* pos);
  DECLARE_MESSAGE_MAP()

 private:
  bool m_bMailWording = true;
};

// The mail summary's first page: the main page with its own template and the ordinary wording.
class CMailSummaryMainPage : public CSummaryMainPage {
  DECLARE_DYNCREATE(CMailSummaryMainPage)
 public:
  enum { IDD = 30046 };
  CMailSummaryMainPage();
};

// What the two list pages share: the signers whose signatures verify, their certificates in row order, the
// selected row, and the certificate buttons (export 1073, check 1007, view 1057, testimony 1129).
class CSummaryListPage : public CPropertyPage {
  DECLARE_DYNAMIC(CSummaryListPage)
 public:
  CReportListCtrl m_listSigners;  // 1033
  std::vector<CCapicomCertificate> m_signers;
  // The signature entry of the file behind each row.
  std::vector<DWORD> m_entries;
  // What is wrong with each row's signer (see SignerProblem); empty when nothing, or when the rows list no
  // signatures.
  std::vector<CString> m_problems;
  int m_nSelected = 0;

  // Lists the signers CollectSigners gives (rows with their certificate columns, validity marks, widths),
  // selects the current row and shows its details.
  void FillSigners();
  virtual void ShowSignerDetails() = 0;

 protected:
  explicit CSummaryListPage(UINT templateId);
  CSummarySheet* Sheet();
  void DoDataExchange(CDataExchange* pDX) override;
  // The certificates to list, the signature entry behind each and what is wrong with each signer: here the
  // summary sheet's signers whose signatures verify, as the configuration asks.
  virtual void CollectSigners(std::vector<CCapicomCertificate>& certificates, std::vector<DWORD>& entries,
                              std::vector<CString>& problems);
  // The selected row's certificate; false when no row is selected.
  bool SelectedCertificate(CCapicomCertificate& out) const;
  // The selected row's signature entry; false when there is none.
  virtual bool SelectedEntry(struct PayloadEntry& out);
  // What is wrong with the selected row's signer; empty when nothing.
  CString SelectedProblem() const;

  afx_msg void OnExportCertificate();
  afx_msg void OnValidateCertificate();
  afx_msg void OnViewCertificate();
  afx_msg void OnSignerChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnHelp();
  afx_msg void OnWindowPosChanging(WINDOWPOS* pos);
  DECLARE_MESSAGE_MAP()
};

// The general page: the selected signer's legal entries.
class CSummaryGenPage : public CSummaryListPage {
  DECLARE_DYNCREATE(CSummaryGenPage)
 public:
  enum { IDD = 4240 };
  CSummaryGenPage();

  CColorLabel m_lblEntryA;   // 1048
  CColorLabel m_lblEntryB;   // 1047
  CColorLabel m_lblEntryC;   // 1045
  CColorLabel m_lblSigners;  // 1063
  CString m_strEntryA;       // edit 1044
  CString m_strEntryB;       // edit 1049
  CString m_strEntryC;       // edit 1046

  BOOL OnInitDialog() override;
  void ShowSignerDetails() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

// The signature page: the selected signer's drawn signature, time stamp and hash line.
class CSummarySignPage : public CSummaryListPage {
  DECLARE_DYNCREATE(CSummarySignPage)
 public:
  enum { IDD = 4239 };
  CSummarySignPage();
  ~CSummarySignPage() override;

  CColorLabel m_lblImage;      // 1125
  CColorLabel m_lblTimeStamp;  // 1124
  CColorLabel m_lblSigners;    // 1063
  CString m_strHashInfo;       // edit 1123
  CString m_strTimeStamp;      // edit 1121
  // The drawing of the selected signer's signature, shown in place of control 1067; both belong to the
  // page and go with its window.
  COfficeTolvexDoc* m_pDocument = nullptr;
  CScribbleView* m_pView = nullptr;

  BOOL OnInitDialog() override;
  void ShowSignerDetails() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // Shows the entry's drawn signature; false (view hidden) when it has none that opens.
  bool ShowDrawnSignature(const struct PayloadEntry& entry);
  // The time-stamp text of an entry without one.
  virtual CString NoTimeStampText() const;
  void ShowView(bool show);
  // The view (with its window) and the document go.
  void DeleteDrawing();
  afx_msg void OnSignerDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAddToAddressBook();
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};
