// The trust points sheet: one page on which the user composes a list of trust point certificates. The creator
// sets the page's backup flag, calls AddPages, fills m_Certificates, runs the sheet and reads m_Certificates
// back after OK.
#pragma once

#include "app/BaseSheet.h"
#include "certificates/CertificateArray.h"
#include "certificates/TrustPages.h"

class CSelTrustPointsSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSelTrustPointsSheet)
  DECLARE_SHEET_CLASS(CSelTrustPointsSheet)
 public:
  CSelTrustPointsSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CSelTrustPointsSheet() override;

  BOOL AddPages() override;
  BOOL OnInitDialog() override;

  BYTE m_bOwnAnimation = 0;
  RECT m_rcOrigin{0, 0, 0, 0};
  AddTrustPointsPage m_TrustPointsPage;
  // The trust points, in order.
  CCertificateArray m_Certificates;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

// The tab image lists of the certificate sheets: 16 x 16 colour and 32 x 32 colour with a mask.
void CreateSheetImageLists(CBaseSheet& sheet);
// The opening and closing animation of the certificate sheets: from the origin rectangle to the new window and
// back, unless the sheet is hosted or the rectangle is empty.
void AnimateSheetOpening(CBaseSheet& sheet, const RECT& origin, BYTE outline, const CREATESTRUCT* cs);
void AnimateSheetClosing(CBaseSheet& sheet, const RECT& origin, BYTE outline);
// Keeps a page in the display area of its sheet's tab control, wherever it is asked to move: the header banner
// moves the tabs down after the sheet has laid out where its pages go.
void KeepPageInTabs(CPropertyPage* page, WINDOWPOS* pos);
