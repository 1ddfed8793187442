// The smart-card page of the selection sheet. This platform has no card readers: the card's certificates are
// a certificate store the platform exposes, the current user's store "eToken" (the token's physical store) or
// "SmartCard" (the smart-card provider's store), chosen by the smart-card settings. The page reads that store
// on the platform version that opens card stores directly; on later versions it lists the personal
// certificates whose key the engine reports on a removable device.
#include <strings.h>

#include "app/WindowsVersion.h"
#include "certificates/CertSelPages.h"
#include "certificates/SelCertSheet.h"
#include "certificates/SmartcardSettings.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CapicomParts.h"
#include "platform/win32/registry.h"

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

CSmartcardSelPage::Source CSmartcardSelPage::ChooseSource() {
  WindowsVersionRecord version{};
  CWindowsVersion::GetVersionInfo(&version);
  if (!CWindowsVersion::IsWindowsNT4(&version)) return Source::RemovableKeys;
  CSmartcardSettings settings(HKEY_CURRENT_USER, "%s", CSmartcardSettings::kKeyPath);
  settings.Load();
  return strcasecmp(settings.SmartCardStore, "eToken") == 0 ? Source::PhysicalStore : Source::SmartCardProvider;
}

const char* CSmartcardSelPage::StoreNameFor(Source source) {
  switch (source) {
    case Source::PhysicalStore: return "eToken";
    case Source::SmartCardProvider: return "SmartCard";
    default: return nullptr;
  }
}

void CSmartcardSelPage::CollectAvailable(CCertificateArray& listed) {
  m_CardCertificates.RemoveAll();
  if (!m_pObjects) return;
  PrepareEngine(true);
  // The personal page of the same sheet has listed the user's digital IDs.
  CCertificateArray personal;
  if (CSelCertSheet* sheet = GetSelSheet()) personal.Copy(sheet->m_PersonalPage.m_PersonalCertificates);
  const Source source = ChooseSource();
  if (source == Source::RemovableKeys) CollectRemovable(personal);
  else CollectFromStore(source, personal);
  listed.Copy(m_CardCertificates);
}

void CSmartcardSelPage::CollectFromStore(Source source, const CCertificateArray& personal) {
  // A card store that cannot be opened leaves the engine store as it was.
  CCapicomStore card;
  if (SUCCEEDED(card.Open(CAPICOM_CURRENT_USER_STORE, StoreNameFor(source), CAPICOM_STORE_OPEN_READ_ONLY)))
    m_pObjects->m_Store = card;
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  const LONG count = certificates.GetCount();
  for (LONG i = 1; i <= count; ++i) {
    CCapicomCertificate certificate = certificates.GetItem(i);
    if (!certificate.HasPrivateKey()) continue;
    // The personal copy is the one listed: its key is the user's.
    INT_PTR at = personal.Find(certificate);
    if (at >= 0) m_CardCertificates.Add(personal[at]);
  }
}

void CSmartcardSelPage::CollectRemovable(const CCertificateArray& personal) {
  for (INT_PTR i = 0; i < personal.GetSize(); ++i) {
    const CCapicomCertificate& certificate = personal[i];
    if (certificate.HasPrivateKey() && certificate.GetPrivateKey().IsRemovable()) m_CardCertificates.Add(certificate);
  }
}

bool CSmartcardSelPage::RowCertificate(DWORD_PTR itemData, bool, CCapicomCertificate& out) {
  if (itemData >= static_cast<DWORD_PTR>(m_CardCertificates.GetSize())) return false;
  out = m_CardCertificates[static_cast<INT_PTR>(itemData)];
  return true;
}
