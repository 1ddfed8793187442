#include "certificates/CertificateRows.h"

#include "app/ResString.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomStore.h"

namespace {

constexpr UINT kCertificateImage = 2;
constexpr LONG kTimeAndSignature = CAPICOM_CHECK_TIME_VALIDITY | CAPICOM_CHECK_SIGNATURE_VALIDITY;
constexpr int kWidths[4] = {110, 150, 100, 100};

CString DateText(const CDateTime& date) {
  char text[255] = {};
  date.Format(text, sizeof text, 0, 0x400);
  return text;
}

CString Text(const CBstrString& s) { return s.GetAnsi() ? CString(s.GetAnsi()) : CString(); }

}  // namespace

bool IsCertificateValid(const CCapicomCertificate& certificate) {
  try {
    CCapicomCertificateStatus status = certificate.IsValid();
    status.PutCheckFlag(kTimeAndSignature);
    return status.GetResult();
  } catch (const _com_error&) {
    return false;
  }
}

void CCertificateRows::Add(const CCapicomCertificate& certificate) {
  CString issuer = Text(certificate.GetInfo(1));
  CString subject = Text(certificate.GetInfo(0));
  CString validTo = DateText(certificate.GetValidToDate());
  CString validFrom = DateText(certificate.GetValidFromDate());
  const bool valid = IsCertificateValid(certificate);
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
    if (withItemData) list.SetItemData(static_cast<int>(row), static_cast<DWORD_PTR>(row));
  }
  return shown;
}

void GetCertificateHeadings(CStringList& headings) {
  headings.RemoveAll();
  for (UINT id = 199; id <= 202; ++id) headings.AddTail(LoadResString(id));
}
