// The four-column certificate rows (subject, issuer, valid to, valid from) that the certificate pages show, each
// with image 2 and the "valid" mark of a certificate that passed its validity check.
#pragma once

#include <vector>

#include "core/BstrString.h"
#include "core/ByteBuffer.h"
#include "engine/CapicomCertificate.h"
#include "platform/capicom/core/store.h"
#include "platform/mfc/collections.h"

class CReportListCtrl;

// The one verdict on a certificate that every list, picker and recipient check shows: the engine's validation
// policy under the certificate manager's settings (chain, trusted root, time, revocation as configured). An
// engine error in the check counts as not valid. reason, when given, gets the text of the verdict.
bool IsCertificateValid(const CCapicomCertificate& certificate, CBstrString* reason = nullptr);

// Why a signature's signer cannot be taken for what the signature claims: the validity verdict on its digital
// ID, then the strength of what the signature rests on (MD5 or SHA-1 in the certificate's signature, an RSA key
// under 2048 bits, and an MD5 digest in the signature when its DER bytes are given). Empty when nothing is
// wrong. Every place that shows or accepts a signer judges it with this; reading many, hold a ListingScope.
CString SignerProblem(const CCapicomCertificate& signer, const CByteBuffer* signature);

// What a chosen certificate is for: nothing in particular, an encryption recipient, a signer, a code signer.
enum class CertificateUse { Any, Recipient, Signer, CodeSigner };

// Why the certificate cannot serve the use: a key that cannot decrypt (or sign), a certificate authority as a
// recipient; with verdict, also what the verdict refuses. Empty when it can.
CString UseProblem(const CCapicomCertificate& certificate, CertificateUse use, bool verdict);
// The refusal of a recipient, naming it ("Files cannot be encrypted for ..." and the reason); empty when the
// certificate can be a recipient.
CString RecipientRefusal(const CCapicomCertificate& certificate);
// The refusal of the first of the recipients that cannot be one, all judged with one reading of the stores;
// empty when every one can.
CString FirstRecipientRefusal(const std::vector<CCapicomCertificate>& recipients);
// A recipient the user chose: a certificate authority's certificate is not offered.
bool OfferedAsRecipient(const CCapicomCertificate& certificate);

class CCertificateRows {
 public:
  // Reads the certificate's names and dates (an engine error leaves the rows as they were and goes on to the
  // caller) and its validity.
  void Add(const CCapicomCertificate& certificate);
  // The same with the mark given: for rows whose judgement is more than the certificate's own verdict.
  void Add(const CCapicomCertificate& certificate, bool valid);
  INT_PTR GetCount() const { return m_Valid.GetSize(); }
  void RemoveAll();

  // Fills the emptied list: headings, columns, images and marks, widths 110, 150, 100 and 100. With item data,
  // row i carries i (its place in the order of Add).
  bool Show(CReportListCtrl& list, const CStringList& headings, bool withItemData) const;

  CStringList m_Subjects, m_Issuers, m_ValidTo, m_ValidFrom;
  CUIntArray m_Images, m_Valid;
  // Item data of each row when the rows skip some of the certificates they were made from; else the row's place.
  CDWordArray m_ItemData;

 private:
  // The rows of one listing share one reading of the stores the checks need.
  kx::capi::ListingScope m_Scope;
};

// Headings from the resource strings 199 to 202.
void GetCertificateHeadings(CStringList& headings);
