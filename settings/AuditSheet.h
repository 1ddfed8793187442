// The audit sheet: the audit event log that the library writes (viewer page) and the audit settings (option
// page). Both pages delete the log, export it as a text file and show it as one.
#pragma once

#include "settings/SettingsSheet.h"
#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "formats/AuditLog.h"
#include "platform/mfc/propsheet.h"

// The log viewer (template 4234): one row per entry, in the log's order.
class CAuditLogViewPage : public CPropertyPage {
 public:
  enum { IDD = 4234 };
  CAuditLogViewPage();

  CColorLabel m_label;
  CReportListCtrl m_list;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  // Reads the log into the list and enables the buttons that need entries.
  void FillList();
  bool HasRows() const;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnDelete();
  afx_msg void OnExport();
  afx_msg void OnView();
  afx_msg void OnRefresh();
  DECLARE_MESSAGE_MAP()
};

// The audit settings (template 4235).
class CAuditOptionPage : public CPropertyPage {
  DECLARE_DYNCREATE(CAuditOptionPage)
 public:
  enum { IDD = 4235 };
  CAuditOptionPage();

  CAuditLog m_Settings;
  int m_bEnableLog = 1;
  int m_bExcludeBrastelLog = 1;
  int m_bReportErrors = 1;
  int m_bMonitorLdapErrors = 1;
  int m_nStampOption = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnOptionChanged();
  afx_msg void OnDelete();
  afx_msg void OnExport();
  afx_msg void OnView();
  // Whether the viewer page lists entries.
  bool ViewerHasRows();
  DECLARE_MESSAGE_MAP()
};

class CAuditSheet : public CSettingsSheet {
  DECLARE_DYNAMIC(CAuditSheet)
  DECLARE_SHEET_CLASS(CAuditSheet)
 public:
  CAuditSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CAuditLogViewPage m_ViewPage;
  CAuditOptionPage m_OptionPage;
};

// The log as text: a title block, then five lines per entry (severity, date and time, operation, message, a
// rule), each line ending in CR LF. False when the log cannot be opened.
bool FormatAuditLogText(CString& out);
// Writes that text to path (replacing a file that is there only once the whole text is written); false when
// the log cannot be opened or the file cannot be written.
bool WriteAuditLogText(const char* path);
