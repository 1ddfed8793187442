#include "certificates/CertificateArray.h"

template <>
void SerializeElements<CCapicomCertificate>(CArchive& ar, CCapicomCertificate* pElements, INT_PTR nCount) {
  for (INT_PTR i = 0; i < nCount; ++i) {
    CCapicomCertificate& element = pElements[i];
    if (ar.IsStoring()) {
      CByteBuffer encoded;
      if (!element.IsEmpty()) {
        try {
          encoded = element.ExportToBuffer(CAPICOM_ENCODE_BINARY);
        } catch (const _com_error&) {
          // A wrapper without a certificate is kept as an empty element.
        }
      }
      ar.WriteCount(encoded.GetLength());
      if (encoded.GetLength()) ar.Write(encoded.GetData(), encoded.GetLength());
    } else {
      DWORD_PTR length = ar.ReadCount();
      if (length == 0) {
        element = CCapicomCertificate(kx::engine::kEmpty);
        continue;
      }
      if (length > 0xFFFFFFFFu) AfxThrowMemoryException();
      CByteBuffer encoded(static_cast<DWORD>(length));
      if (encoded.GetLength() != length) AfxThrowMemoryException();
      ar.EnsureRead(encoded.GetData(), static_cast<UINT>(length));
      CCapicomCertificate loaded;
      kx::engine::Check(loaded.ImportFromBuffer(encoded));
      element = loaded;
    }
  }
}

INT_PTR CCertificateArray::Find(const CCapicomCertificate& certificate) const {
  for (INT_PTR i = 0; i < GetSize(); ++i)
    if (GetAt(i).IsEqual(certificate)) return i;
  return -1;
}
