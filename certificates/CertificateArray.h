// The growable array of engine certificates in which certificate choices travel between pickers, sheets and
// their callers. Copying an element shares the engine certificate.
#pragma once

#include "engine/CapicomCertificate.h"
#include "platform/mfc/collections.h"

// Stored as the element count, then per element its encoded (DER) certificate as a count and the bytes; an
// element without a certificate is stored as an empty one and loaded as an empty wrapper.
template <>
void SerializeElements<CCapicomCertificate>(CArchive& ar, CCapicomCertificate* pElements, INT_PTR nCount);

class CCertificateArray : public CArray<CCapicomCertificate, const CCapicomCertificate&> {
 public:
  CCertificateArray() = default;
  CCertificateArray(const CCertificateArray& other) : CArray() { Copy(other); }
  CCertificateArray& operator=(const CCertificateArray& other) {
    Copy(other);
    return *this;
  }

  // The position of the first element equal to the certificate (CCapicomCertificate::IsEqual), or -1.
  INT_PTR Find(const CCapicomCertificate& certificate) const;
};
