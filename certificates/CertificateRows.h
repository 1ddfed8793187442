// The four-column certificate rows (subject, issuer, valid to, valid from) that the certificate pages show, each
// with image 2 and the "valid" mark of a certificate that passed its validity check.
#pragma once

#include "engine/CapicomCertificate.h"
#include "platform/mfc/collections.h"

class CReportListCtrl;

// Time and signature validity (check flags 6); an engine error in the check counts as not valid.
bool IsCertificateValid(const CCapicomCertificate& certificate);

class CCertificateRows {
 public:
  // Reads the certificate's names and dates (an engine error leaves the rows as they were and goes on to the
  // caller) and its validity.
  void Add(const CCapicomCertificate& certificate);
  INT_PTR GetCount() const { return m_Valid.GetSize(); }
  void RemoveAll();

  // Fills the emptied list: headings, columns, images and marks, widths 110, 150, 100 and 100. With item data,
  // row i carries i (its place in the order of Add).
  bool Show(CReportListCtrl& list, const CStringList& headings, bool withItemData) const;

  CStringList m_Subjects, m_Issuers, m_ValidTo, m_ValidFrom;
  CUIntArray m_Images, m_Valid;
};

// Headings from the resource strings 199 to 202.
void GetCertificateHeadings(CStringList& headings);
