// The user's system profile: verification switches, output choices, default algorithms and key lengths,
// and the enrolment service settings, under HKCU "Software\Kesmora\OfficeTolvex" subkeys "System_Profile"
// and "Vorlind Intelligence". Fields carry their registry value names; the enrolment subkey's own
// "AlgoIndex", "KeyLenIndex", "KeyLength" and "Algorithm" are the VI_ fields.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CSystemProfile {
 public:
  CSystemProfile();
  virtual ~CSystemProfile() = default;

  // Every field from the registry; missing values take their load defaults. Always TRUE.
  BOOL Load();
  // Every value written (keys created); a failed write does not stop the others. Always TRUE.
  BOOL Save();

  // "System_Profile"
  int VerifyBeforeCosign;
  int EnableDirOperation;
  int Brastel;
  int VerifyHash;
  int VerifyAllSig;
  int VerifyCert;
  int VerifyIndex;
  int MemoryCache;  // megabytes
  int OutputOption;
  int AlgoIndex;
  int KeyLenIndex;
  CString OutputFolder;
  CString SignSettings;
  CString EncryptSettings;
  CString CountersignSettings;
  CString SignEncSettings;
  int KeyLength;
  int Algorithm;
  // "Vorlind Intelligence"
  int VI_KeyLength;
  int VI_Algorithm;
  int VI_AlgoIndex;
  int VI_KeyLenIndex;
  int Exchange_Using_PKCS7;
  int Exchange_Using_SSL;
  int WSDL_Stnadard_Disco;
  int Transport_Index;
  int Transport_Address_Index;
  CString Transport_Address_URL;
  int Validate_Headers;
  int SOAP_Authentication;
  CString Transport_Address_IP;
  int Transport_Port;
  int Full_Chain_PKCS7_Format;
  int Accept_PKCS10;
  int Issue_Cert_Disposition;
  CString WSDL_File;
  CString WSDL_Port;
  CString WSDL_Service;

  // "http://" followed by the enrolment service's default host.
  static constexpr const char* kDefaultServiceAddress = "http://localhost";
};
