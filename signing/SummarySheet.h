// The file summary sheet of one protected file, and its mail form. Made by the registry or constructed
// directly with (caption, parent, start page); the constructor adds the pages.
#pragma once

#include "app/BaseSheet.h"

class CSummarySheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSummarySheet)
  DECLARE_SHEET_CLASS(CSummarySheet)
 public:
  CSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);

  // The file to summarise; the sheet opens it itself.
  CString m_strFilePath;
  // Shown in red on the mail summary page when not empty.
  CString m_strStatusText;
  // The summary describes a mail item.
  BYTE m_bMailMode = 0;
  BYTE m_bOwnAnimation = 0;
};

class CMailSummarySheet : public CSummarySheet {
  DECLARE_DYNAMIC(CMailSummarySheet)
  DECLARE_SHEET_CLASS(CMailSummarySheet)
 public:
  CMailSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
};
