// The parameters of a certificate to be made: what the creation wizard's pages choose and its generation worker
// reads (the user set-up wizard keeps one of its own).
#pragma once

#include "certificates/CertEnroll.h"
#include "platform/mfc/cstring.h"

class CCertCreationInfo {
 public:
  // The enrolment control is made with the record; when the platform has none the wrapper stays empty (its
  // provider lists then come out empty).
  CCertCreationInfo();

  DWORD m_nMode = 0;           // 0 self-signed certificate, 1 request through the service, 2 request saved to a file
  CString m_strPurpose;        // object identifier of the extended key usage
  DWORD m_nAdvanced = 0;       // 0: the key pages are skipped and keep their defaults
  DWORD m_nSecondPurpose = 0;
  DWORD m_nKeyUsage1 = 1, m_nKeyUsage2 = 0, m_nKeyUsage3 = 0;
  DWORD m_nCustomKeyUsage = 0;
  DWORD m_nKeySpec = 1;        // AT_KEYEXCHANGE or AT_SIGNATURE
  CString m_strProviderName = "Microsoft Base Cryptographic Provider v1.0";
  DWORD m_nKeyLength = 1024;
  CString m_strLocality, m_strCountry, m_strOrgUnit, m_strEmail, m_strCommonName, m_strOrganisation, m_strState;
  // 0 SHA-1 with RSA, 1 MD5 with RSA, 2 DSA with SHA-1. SHA-1 is also what the key options page preselects.
  DWORD m_nKeyChoice = 0;
  CCertEnroll m_Enroll;
  DWORD m_nProviderType = 1;
  CString m_strRequestFile;
};
