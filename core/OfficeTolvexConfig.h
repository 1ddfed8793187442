// The suite's configuration switches under HKCU "<key path>\Config", in three groups loaded and saved
// separately. Fields carry their registry value names.
#pragma once

#include "core/SettingsStore.h"

class COfficeTolvexConfig {
 public:
  explicit COfficeTolvexConfig(const CString& keyPath = "Software\\Kesmora\\OfficeTolvex");
  virtual ~COfficeTolvexConfig() = default;

  // A missing value with a non-zero default takes it; with default 0 the field keeps its value. TRUE.
  BOOL LoadOfficeOptions();
  BOOL LoadGeneralOptions();
  BOOL LoadOperationOptions();
  // FALSE at the first value that cannot be written (the values before it stay written).
  BOOL SaveOfficeOptions();
  BOOL SaveGeneralOptions();
  BOOL SaveOperationOptions();

  // Office add-in options.
  DWORD Phrase;
  DWORD Occurences;
  DWORD Insert;
  DWORD AutoVerification;
  DWORD InsertSignatureBlock;
  DWORD SignatureBlockPosition;
  DWORD AllowBrastel;
  DWORD AutoLoad;
  DWORD CounterSign;
  DWORD VerifyAllSigs;
  DWORD ConfirmContinueRevision;
  // General options.
  DWORD SigningPreferencesDialog;
  DWORD OnlineCertificateValidation;
  DWORD ShowPolicySelection;
  DWORD ShowProfileSelection;
  DWORD ShowEncryptionPreferences;
  DWORD ShowExpiredCertificates;
  DWORD ShredTemporaryFiles;
  DWORD LaunchMultipleInstance;
  DWORD RegisterAddins;
  // Operation options.
  DWORD TargetFileDefaultOperation;
  DWORD EnableDesktopAddin;
  DWORD EnableShellAllMenu;
  DWORD ShowFinishPage;
  DWORD VerifySignatureOnly;
  DWORD DoD_JICT;
  DWORD VerifyBeforeSign;

 private:
  struct Value {
    const char* name;
    DWORD COfficeTolvexConfig::*field;
    DWORD ctorValue;
    DWORD readDefault;
  };
  BOOL LoadGroup(const Value* values, size_t count);
  BOOL SaveGroup(const Value* values, size_t count);
  static const Value kOffice[], kGeneral[], kOperation[];

  CHiveSettings m_settings;
};
