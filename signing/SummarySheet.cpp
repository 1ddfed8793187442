#include "signing/SummarySheet.h"

IMPLEMENT_DYNAMIC(CSummarySheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CSummarySheet, SHEET_CLASS(CBaseSheet), "Tolvex File Information", 0, 0, 0)
IMPLEMENT_DYNAMIC(CMailSummarySheet, CSummarySheet)
IMPLEMENT_SHEET_CLASS(CMailSummarySheet, SHEET_CLASS(CSummarySheet), "MailTolvex Information", 0, 0, 0)

// The summary pages are added here by the constructor.
CSummarySheet::CSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_bHosted = 0;
}

CMailSummarySheet::CMailSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSummarySheet(caption, pParentWnd, selectPage) {}
