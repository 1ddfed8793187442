// The certificate manager sheet. In selection mode it is a certificate chooser whose OK copies the certificate
// selected on the active page into m_ResultCertificate. Its constructor adds its own pages.
#pragma once

#include "app/BaseSheet.h"
#include "engine/CapicomCertificate.h"

class CCertSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CCertSheet)
  DECLARE_SHEET_CLASS(CCertSheet)
 public:
  CCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);

  BYTE m_bSelectionMode = 0;
  // 1: the sheet's own zoom outline on opening and closing; 0: the platform's caption animation.
  BYTE m_bOwnAnimation = 0;
  // The certificate chosen in selection mode; empty when nothing was selected.
  CCapicomCertificate m_ResultCertificate{kx::engine::EmptyTag{}};
};
