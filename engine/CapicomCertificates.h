// Certificate sequences: the engine's Certificates collection (items 1 to the count) and the system's own
// ordered list of certificate wrappers.
#pragma once

#include <vector>

#include "engine/CapicomCertificate.h"

class CCapicomCertificates : public CCapicomObject {
  KX_CAPICOM_HELD(CCapicomCertificates, ICertificates2)

 public:
  // A new, empty engine collection; raises when it cannot be made.
  CCapicomCertificates();
  explicit CCapicomCertificates(kx::engine::EmptyTag) {}
  HRESULT Create() override;

  LONG GetCount() const;
  // A certificate wrapper for the index (from 1): a blank engine certificate when this wrapper is empty or the
  // index is negative; the engine's failure for 0 or an index past the count.
  CCapicomCertificate GetItem(LONG index) const;
  // Appends the certificate's engine object; E_FAIL when either wrapper is empty.
  HRESULT Add(const CCapicomCertificate& certificate);
};

class CCertificateList {
 public:
  CCertificateList() { m_items.reserve(10); }
  virtual ~CCertificateList() = default;

  // Appends a copy (one more reference to the same engine certificate).
  void Add(CCapicomCertificate certificate) { m_items.push_back(certificate); }
  int GetCount() const { return static_cast<int>(m_items.size()); }
  // A copy of element index (from 0); an index outside the list gives an empty wrapper.
  CCapicomCertificate GetAt(int index) const;
  void RemoveAll() { m_items.clear(); }

 private:
  std::vector<CCapicomCertificate> m_items;
};
