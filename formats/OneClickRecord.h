// The certificate lists of a one-click preset: encoded recipient certificates, then signer certificates.
#pragma once

#include "core/ByteBuffer.h"

class CCapicomCertificate;
class CCertificateList;

class COneClickRecord : public CByteBufferListPair {
 public:
  // A list holds at most this many certificates (its count is one byte).
  static constexpr DWORD kMaxCertificates = 255;

  COneClickRecord() = default;
  COneClickRecord(const COneClickRecord& other) = default;
  COneClickRecord& operator=(const COneClickRecord& other) = default;
  virtual ~COneClickRecord() = default;

  CByteBufferList& Recipients() { return m_first; }
  CByteBufferList& Signers() { return m_second; }
  const CByteBufferList& Recipients() const { return m_first; }
  const CByteBufferList& Signers() const { return m_second; }

  // 4 + sum(4 + L) for each list; 0 when a list holds more than 255 certificates.
  DWORD GetSerializedSize() const;
  // out must be empty; false when a list is too long for its count byte.
  bool Serialize(CByteBuffer& out) const;
  // Both lists are emptied first; false when a length points past the given bytes.
  bool Deserialize(const BYTE* p, DWORD length);

  // Append the DER encoding of each certificate of the list; false when the engine raises on the way.
  bool SetRecipientCertificates(const CCertificateList& list);
  bool SetSignerCertificates(const CCertificateList& list);
  // Empty the caller's list, then append each certificate that decodes; one that does not is skipped.
  // False only when no engine certificate can be made.
  bool GetRecipientCertificates(CCertificateList& out) const;
  bool GetSignerCertificates(CCertificateList& out) const;
  // Every signer has an equal certificate with a private key in the current user's "My" store (true for
  // no signer at all).
  bool IsSignerInMyStore() const;
  // Appends one certificate's encoding to the signer list (signer set) or the recipient list.
  bool AddCertificate(const CCapicomCertificate& certificate, bool signer);
  // The recipient list holds a certificate equal to certificate.
  bool HasRecipient(const CCapicomCertificate& certificate) const;
  // Appends the certificate the certificate policy finds for the address: the user's own (the "My" store)
  // for the signer list, the address book's for the recipient list. False when none is found.
  bool AddCertificateByMail(const char* address, bool signer);
  // A signer certificate of this e-mail address (ignoring case) that the user holds with its private key in
  // the "My" store.
  bool HasSignerWithMail(const char* address) const;
  // The address book has a certificate of this e-mail address and the recipient list holds one of that
  // address (ignoring case).
  bool HasRecipientWithMail(const char* address) const;

 private:
  static bool Encode(const CCertificateList& list, CByteBufferList& out);
  static bool Decode(const CByteBufferList& in, CCertificateList& out);
};
