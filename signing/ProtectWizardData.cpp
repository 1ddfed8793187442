#include "signing/ProtectWizardData.h"

#include "engine/CapicomObjectSet.h"

CProtectWizardData::CProtectWizardData() { m_arrInputFiles.RemoveAll(); }

CProtectWizardData::~CProtectWizardData() {
  delete m_pEngineObjects;
  m_pEngineObjects = nullptr;
  m_arrRecipientCerts.clear();
}

void CProtectWizardData::PrepareForProfileSetup() {
  m_nCipher = 3;
  m_nKeyLength = 3;
  m_SigningTime.m_bFlag = 1;
  m_SigningTime.m_time.Update();
}

int CProtectWizardData::AddSignerCertificate(const CCapicomCertificate& certificate) {
  m_arrSignerCerts.push_back(certificate);
  return static_cast<int>(m_arrSignerCerts.size() - 1);
}

int CProtectWizardData::AddRecipientCertificate(const CCapicomCertificate& certificate) {
  m_arrRecipientCerts.push_back(certificate);
  return static_cast<int>(m_arrRecipientCerts.size() - 1);
}
