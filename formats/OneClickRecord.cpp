#include "formats/OneClickRecord.h"

#include "engine/CapicomCertificates.h"
#include "engine/CertPolicy.h"
#include "engine/SignerCheck.h"
#include "formats/FieldIo.h"

using kx::formats::FieldReader;
using kx::formats::FieldWriter;

namespace {

uint64_t ListSize(const CByteBufferList& list) {
  uint64_t size = 4;
  for (DWORD i = 0; i < list.GetCount(); ++i) size += 4 + list.GetAt(i).GetLength();
  return size;
}

void WriteList(const CByteBufferList& list, FieldWriter& w) {
  w.Byte(static_cast<BYTE>(list.GetCount()));
  w.Zeros(3);
  for (DWORD i = 0; i < list.GetCount(); ++i) w.SizedBuffer(list.GetAt(i));
}

bool ReadList(FieldReader& r, CByteBufferList& list) {
  BYTE count = 0;
  if (!r.Byte(count) || !r.Skip(3)) return false;
  for (BYTE i = 0; i < count; ++i) {
    DWORD length = 0;
    CByteBuffer certificate;
    if (!r.UInt32(length) || !r.Buffer(certificate, length)) return false;
    if (length) list.Add(certificate);
  }
  return true;
}

}  // namespace

DWORD COneClickRecord::GetSerializedSize() const {
  if (m_first.GetCount() > kMaxCertificates || m_second.GetCount() > kMaxCertificates) return 0;
  uint64_t size = ListSize(m_first) + ListSize(m_second);
  return size > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(size);
}

bool COneClickRecord::Serialize(CByteBuffer& out) const {
  // A count that does not fit its byte would make readers take fewer certificates than were written.
  if (out.GetLength() != 0 || GetSerializedSize() == 0) return false;
  FieldWriter w;
  WriteList(m_first, w);
  WriteList(m_second, w);
  return out.SetAt(w.Size(), w.Data(), 0);
}

bool COneClickRecord::Deserialize(const BYTE* p, DWORD length) {
  m_first.RemoveAll();
  m_second.RemoveAll();
  if (!p) return false;
  FieldReader r(p, length);
  return ReadList(r, m_first) && ReadList(r, m_second);
}

bool COneClickRecord::Encode(const CCertificateList& list, CByteBufferList& out) {
  try {
    for (int i = 0; i < list.GetCount(); ++i) out.Add(list.GetAt(i).ExportToBuffer(CAPICOM_ENCODE_BINARY));
  } catch (const _com_error&) {
    return false;
  }
  return true;
}

bool COneClickRecord::Decode(const CByteBufferList& in, CCertificateList& out) {
  out.RemoveAll();
  for (DWORD i = 0; i < in.GetCount(); ++i) {
    try {
      CCapicomCertificate certificate;
      try {
        if (FAILED(certificate.ImportFromBuffer(in.GetAt(i)))) continue;
      } catch (const _com_error&) {
        continue;  // bytes that are no certificate
      }
      out.Add(certificate);
    } catch (const _com_error&) {
      return false;  // no engine certificate can be made
    }
  }
  return true;
}

bool COneClickRecord::SetRecipientCertificates(const CCertificateList& list) { return Encode(list, m_first); }
bool COneClickRecord::SetSignerCertificates(const CCertificateList& list) { return Encode(list, m_second); }
bool COneClickRecord::GetRecipientCertificates(CCertificateList& out) const { return Decode(m_first, out); }
bool COneClickRecord::GetSignerCertificates(CCertificateList& out) const { return Decode(m_second, out); }

bool COneClickRecord::IsSignerInMyStore() const {
  try {
    CCertificateList signers;
    if (!GetSignerCertificates(signers)) return false;
    // A signer that does not decode is no certificate of the user's.
    if (static_cast<DWORD>(signers.GetCount()) != m_second.GetCount()) return false;
    if (signers.GetCount() == 0) return true;
    std::vector<CCapicomCertificate> held;
    return FindSignerKeys(CertificatesOf(signers), held);
  } catch (const _com_error&) {
    return false;
  }
}

bool COneClickRecord::AddCertificate(const CCapicomCertificate& certificate, bool signer) {
  try {
    CByteBuffer encoded = certificate.ExportToBuffer(CAPICOM_ENCODE_BINARY);
    if (encoded.GetLength() == 0) return false;
    (signer ? m_second : m_first).Add(encoded);
    return true;
  } catch (const _com_error&) {
    return false;
  }
}

bool COneClickRecord::HasRecipient(const CCapicomCertificate& certificate) const {
  CCertificateList recipients;
  if (!GetRecipientCertificates(recipients)) return false;
  for (int i = 0; i < recipients.GetCount(); ++i)
    if (recipients.GetAt(i).IsEqual(certificate)) return true;
  return false;
}

bool COneClickRecord::AddCertificateByMail(const char* address, bool signer) {
  try {
    CCapicomCertificate found;
    if (!CCertPolicy().FindCertificateByMail(address, signer, found, false, nullptr)) return false;
    return AddCertificate(found, signer);
  } catch (const _com_error&) {
    return false;
  }
}

bool COneClickRecord::HasSignerWithMail(const char* address) const {
  try {
    CCertificateList signers;
    if (!GetSignerCertificates(signers)) return false;
    for (int i = 0; i < signers.GetCount(); ++i) {
      CCapicomCertificate signer = signers.GetAt(i);
      if (!CCertPolicy::MailMatches(signer, address)) continue;
      // The user's own copy of this very signer: another certificate of the address with a key cannot sign
      // for it.
      CCapicomCertificate mine;
      if (CCertPolicy().FindCertificateByMail(address, true, mine, false, &signer) && mine.HasPrivateKey())
        return true;
    }
    return false;
  } catch (const _com_error&) {
    return false;
  }
}

bool COneClickRecord::HasRecipientWithMail(const char* address) const {
  try {
    CCapicomCertificate found;
    if (!CCertPolicy().FindCertificateByMail(address, false, found, false, nullptr)) return false;
    CCertificateList recipients;
    if (!GetRecipientCertificates(recipients)) return false;
    for (int i = 0; i < recipients.GetCount(); ++i)
      if (CCertPolicy::MailMatches(recipients.GetAt(i), address)) return true;
    return false;
  } catch (const _com_error&) {
    return false;
  }
}
