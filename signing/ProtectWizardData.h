// The operation data of every wizard that protects or unprotects files: what the pages collect, what the
// worker needs and what the run produces for the exported functions. A member of each such sheet, right after
// the base sheet.
#pragma once

#include <atomic>
#include <vector>

#include "engine/CapicomCertificate.h"
#include "formats/PayloadRecords.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/cstring.h"

class CCapicomObjectSet;

class CProtectWizardData {
 public:
  CProtectWizardData();
  virtual ~CProtectWizardData();
  CProtectWizardData(const CProtectWizardData&) = delete;
  CProtectWizardData& operator=(const CProtectWizardData&) = delete;

  // Triple DES with 128-bit keys, and a signing time stamped now.
  void PrepareForProfileSetup();
  // The new element's index.
  int AddSignerCertificate(const CCapicomCertificate& certificate);
  int AddRecipientCertificate(const CCapicomCertificate& certificate);

  CStringArray m_arrInputFiles;
  CString m_strOutputFolder;
  CString m_strLastOutputFile;
  CString m_strResultMessage;
  BYTE m_bMultipleFiles = 0;
  BYTE m_bUseProfileCipher = 0;
  BYTE m_bMailResults = 0;
  // Set last by the worker (release) and polled by the interface thread (acquire): everything the worker wrote
  // before it is seen with it.
  std::atomic<BYTE> m_bOperationDone{0};
  BYTE m_bOperationSucceeded = 0;
  BYTE m_bEngineError = 0;
  BYTE m_bRecipientPageOption = 0;
  BYTE m_bLaunchedByOperation = 0;
  BYTE m_bPackageOption = 0;
  BYTE m_bAutoFinish = 0;
  // -1 none chosen, 0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign, 4 decrypt and verify.
  int m_nMode = -1;
  // Engine codes chosen by a cipher page; -1 until one is chosen (the workers refuse to run without them).
  int m_nCipher = -1;
  int m_nKeyLength = -1;
  CCapicomObjectSet* m_pEngineObjects = nullptr;
  std::vector<CCapicomCertificate> m_arrRecipientCerts;
  std::vector<CCapicomCertificate> m_arrSignerCerts;
  TimeStampRecord m_SigningTime;
  PayloadEntry m_Payload;
  // The parts of m_Payload that the signing pages fill: the time stamp (the head's flag, date text and second
  // text), the signature file (the entry flag, first text and first buffer: the path and the whole "KSGR"
  // file) and the legal statement with its three entries (second to fifth text).
  BYTE& m_bTimeStamp = m_Payload.m_head.m_bFlag;
  CString& m_strTimeStamp = m_Payload.m_head.m_strDate;
  CString& m_strTimeStampNote = m_Payload.m_head.m_strText2;
  BYTE& m_bUseStoredSignature = m_Payload.m_bFlag;
  CString& m_strSignatureFile = m_Payload.m_strText1;
  CByteBuffer& m_signatureFileImage = m_Payload.m_buffer1;
  CString& m_strLegalStatement = m_Payload.m_strText2;
  CString& m_strLegalEntryA = m_Payload.m_strText3;
  CString& m_strLegalEntryB = m_Payload.m_strText4;
  CString& m_strLegalEntryC = m_Payload.m_strText5;
  CString m_strSignatureName;
  CString m_strSignatureImagePath;
  CString m_strSelectedImagePath;
  int m_nSignatureImageChoice = 0;
  BYTE m_bSignatureImageFlag = 0;
  CString m_strPresetName;
  CString m_strPackageSetting;
  CString m_strCodeSignSetting;
  int m_nSymmetricCipher = -1;
  int m_nSymmetricKeySize = -1;
  CString m_strPassword;
  int m_nSymmetricOption = 0;
  int m_nPackageType = 0;
  CString m_strPackageName;
};
