// The smart-card page of the selection sheet: the certificates of the user's smart card or token (those of
// present tokens appear in the personal store with their keys on the token), listed as the certificate
// manager's smart-card page lists them.
#include "certificates/CertSelPages.h"
#include "certificates/SelCertSheet.h"
#include "certificates/SmartcardCertificates.h"
#include "engine/CapicomObjectSet.h"

namespace {
constexpr int kAvailable = 1033;
}

IMPLEMENT_DYNCREATE(CSmartcardSelPage, CCertSelPage)

BEGIN_MESSAGE_MAP(CSmartcardSelPage, CCertSelPage)
  ON_NOTIFY(NM_CLICK, kAvailable, OnAvailableClick)
END_MESSAGE_MAP()

CSmartcardSelPage::CSmartcardSelPage() : CCertSelPage(IDD) {
  m_bFocusAfterFill = false;
  m_bRefillOnFocus = true;
  m_bDigitalIdMessage = true;
  m_bWaitWhileFilling = true;
}

CSmartcardSelPage::~CSmartcardSelPage() { m_CardCertificates.RemoveAll(); }

void CSmartcardSelPage::CollectAvailable(CCertificateArray& listed) {
  m_CardCertificates.RemoveAll();
  if (!m_pObjects) return;
  PrepareEngine(true);
  // The personal page of the same sheet has listed the user's digital IDs.
  CCertificateArray personal;
  if (CSelCertSheet* sheet = GetSelSheet()) personal.Copy(sheet->m_PersonalPage.m_PersonalCertificates);
  smartcard::CollectCardCertificates(*m_pObjects, &personal, m_CardCertificates);
  listed.Copy(m_CardCertificates);
}

bool CSmartcardSelPage::RowCertificate(DWORD_PTR itemData, bool, CCapicomCertificate& out) {
  if (itemData >= static_cast<DWORD_PTR>(m_CardCertificates.GetSize())) return false;
  out = m_CardCertificates[static_cast<INT_PTR>(itemData)];
  return true;
}
