#include "certificates/CertificateRows.h"

#include "app/ResString.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "platform/capicom/core/usage.h"

namespace {

constexpr UINT kCertificateImage = 2;
constexpr int kWidths[4] = {110, 150, 100, 100};

CString DateText(const CDateTime& date) {
  char text[255] = {};
  date.Format(text, sizeof text, 0, 0x400);
  return text;
}

CString Text(const CBstrString& s) { return s.GetAnsi() ? CString(s.GetAnsi()) : CString(); }

}  // namespace

bool IsCertificateValid(const CCapicomCertificate& certificate, CBstrString* reason) {
  CBstrString message;
  bool ok = false;
  try {
    CCertPolicy().ValidateCertificate(certificate, message, ok);
  } catch (const _com_error& e) {
    // The strict checks raise what the engine raised: the check did not pass, and the engine says why.
    ok = false;
    if (!message.GetAnsi() || !*message.GetAnsi()) message = GetCapicomErrorMessage(e.Error());
  }
  if (reason) *reason = message;
  return ok;
}

namespace {

kx::capi::CertRef DataOf(const CCapicomCertificate& certificate) {
  CByteBuffer der = certificate.ExportToBuffer(CAPICOM_ENCODE_BINARY);
  return kx::capi::CertData::Parse(der.GetData(), der.GetLength());
}

}  // namespace

CString SignerProblem(const CCapicomCertificate& signer, const CByteBuffer* signature) {
  const CString who =
      "The signature of " + Text(signer.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME)) + " is intact, but ";
  CBstrString reason;
  if (!IsCertificateValid(signer, &reason)) return who + "its digital ID is not valid: " + Text(reason);
  kx::capi::CertRef data = DataOf(signer);
  std::string weak = data ? kx::capi::WeakCertificateProblem(*data) : std::string();
  if (weak.empty() && signature && signature->GetLength() > 0)
    weak = kx::capi::WeakSignatureProblem(signature->GetData(), signature->GetLength());
  return weak.empty() ? CString() : who + weak.c_str();
}

CString UseProblem(const CCapicomCertificate& certificate, CertificateUse use, bool verdict) {
  // What the verdict refuses comes first: a revoked or expired digital ID is that before anything else.
  CBstrString reason;
  if (verdict && !IsCertificateValid(certificate, &reason)) return Text(reason);
  if (use == CertificateUse::Any) return CString();
  try {
    kx::capi::CertRef data = DataOf(certificate);
    if (!data) return "The digital ID cannot be read.";
    std::string problem = use == CertificateUse::Recipient
                              ? kx::capi::RecipientUsageProblem(*data)
                              : kx::capi::SignerUsageProblem(*data, use == CertificateUse::CodeSigner);
    return problem.c_str();
  } catch (const _com_error& e) {
    return Text(GetCapicomErrorMessage(e.Error()));
  }
}

CString RecipientRefusal(const CCapicomCertificate& certificate) {
  const CString problem = UseProblem(certificate, CertificateUse::Recipient, true);
  if (problem.IsEmpty()) return problem;
  CString subject;
  try {
    subject = Text(certificate.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME));
  } catch (const _com_error&) {
  }
  return "Files cannot be encrypted for " + subject + ".\n\n" + problem;
}

CString FirstRecipientRefusal(const std::vector<CCapicomCertificate>& recipients) {
  kx::capi::ListingScope scope;
  for (const CCapicomCertificate& certificate : recipients) {
    CString refusal = RecipientRefusal(certificate);
    if (!refusal.IsEmpty()) return refusal;
  }
  return CString();
}

bool OfferedAsRecipient(const CCapicomCertificate& certificate) {
  try {
    kx::capi::CertRef data = DataOf(certificate);
    return !data || !data->basicConstraints().ca;
  } catch (const _com_error&) {
    return true;
  }
}

void CCertificateRows::Add(const CCapicomCertificate& certificate) {
  Add(certificate, IsCertificateValid(certificate));
}

void CCertificateRows::Add(const CCapicomCertificate& certificate, bool valid) {
  CString issuer = Text(certificate.GetInfo(1));
  CString subject = Text(certificate.GetInfo(0));
  CString validTo = DateText(certificate.GetValidToDate());
  CString validFrom = DateText(certificate.GetValidFromDate());
  m_Subjects.AddTail(subject);
  m_Issuers.AddTail(issuer);
  m_ValidTo.AddTail(validTo);
  m_ValidFrom.AddTail(validFrom);
  m_Images.Add(kCertificateImage);
  m_Valid.Add(valid ? 1 : 0);
}

void CCertificateRows::RemoveAll() {
  m_Subjects.RemoveAll();
  m_Issuers.RemoveAll();
  m_ValidTo.RemoveAll();
  m_ValidFrom.RemoveAll();
  m_Images.RemoveAll();
  m_Valid.RemoveAll();
  m_ItemData.RemoveAll();
}

bool CCertificateRows::Show(CReportListCtrl& list, const CStringList& headings, bool withItemData) const {
  list.SetHeadings(headings);
  list.SetColumnData(0, m_Subjects);
  list.SetColumnData(1, m_Issuers);
  list.SetColumnData(2, m_ValidTo);
  list.SetColumnData(3, m_ValidFrom);
  list.SetItemStates(m_Valid);
  list.SetItemImages(m_Images);
  bool shown = list.Populate();
  for (int column = 0; column < 4; ++column) list.SetColumnWidth(column, kWidths[column]);
  for (INT_PTR row = 0; row < GetCount(); ++row) {
    list.SetRowMark(static_cast<int>(row), m_Valid[row] == 1, FALSE, FALSE);
    if (withItemData)
      list.SetItemData(static_cast<int>(row),
                       row < m_ItemData.GetSize() ? static_cast<DWORD_PTR>(m_ItemData[row]) : static_cast<DWORD_PTR>(row));
  }
  return shown;
}

void GetCertificateHeadings(CStringList& headings) {
  headings.RemoveAll();
  for (UINT id = 199; id <= 202; ++id) headings.AddTail(LoadResString(id));
}
