// The certificate selection sheet: personal, directory, address-book and smart-card certificates; OK leaves the
// selected certificates in m_Selected. Constructed directly with (caption, parent, start page).
#pragma once

#include <vector>

#include "engine/CapicomCertificate.h"
#include "platform/mfc/propsheet.h"

class CSelCertSheet : public CPropertySheet {
 public:
  struct Entry {
    // Possibly empty.
    CCapicomCertificate m_Certificate{kx::engine::EmptyTag{}};
  };

  CSelCertSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);

  std::vector<Entry> m_Selected;
  BYTE m_bOwnAnimation = 0;
};
