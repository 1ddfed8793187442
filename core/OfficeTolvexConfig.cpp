#include "core/OfficeTolvexConfig.h"

#include <iterator>

#define KX_VALUE(field, ctor, def) {#field, &COfficeTolvexConfig::field, ctor, def}

const COfficeTolvexConfig::Value COfficeTolvexConfig::kOffice[] = {
    KX_VALUE(Phrase, 0, 0),
    KX_VALUE(Occurences, 0, 0),
    KX_VALUE(Insert, 0, 0),
    KX_VALUE(AutoVerification, 1, 1),
    KX_VALUE(InsertSignatureBlock, 0, 0),
    KX_VALUE(SignatureBlockPosition, 0, 0),
    KX_VALUE(AllowBrastel, 0, 1),
    KX_VALUE(AutoLoad, 0, 1),
    KX_VALUE(CounterSign, 0, 1),
    KX_VALUE(VerifyAllSigs, 0, 1),
    KX_VALUE(ConfirmContinueRevision, 1, 1),
};

const COfficeTolvexConfig::Value COfficeTolvexConfig::kGeneral[] = {
    KX_VALUE(SigningPreferencesDialog, 0, 0),
    KX_VALUE(OnlineCertificateValidation, 1, 1),
    KX_VALUE(ShowPolicySelection, 1, 1),
    KX_VALUE(ShowProfileSelection, 1, 1),
    KX_VALUE(ShowEncryptionPreferences, 1, 1),
    KX_VALUE(ShowExpiredCertificates, 0, 0),
    KX_VALUE(ShredTemporaryFiles, 0, 0),
    KX_VALUE(LaunchMultipleInstance, 0, 0),
    KX_VALUE(RegisterAddins, 1, 0),
};

const COfficeTolvexConfig::Value COfficeTolvexConfig::kOperation[] = {
    KX_VALUE(TargetFileDefaultOperation, 0, 0),
    KX_VALUE(EnableDesktopAddin, 1, 1),
    KX_VALUE(EnableShellAllMenu, 0, 0),
    KX_VALUE(ShowFinishPage, 0, 1),
    KX_VALUE(VerifySignatureOnly, 1, 1),
    KX_VALUE(DoD_JICT, 0, 0),
    KX_VALUE(VerifyBeforeSign, 0, 0),
};

#undef KX_VALUE

namespace {
const char kSection[] = "Config";
}

COfficeTolvexConfig::COfficeTolvexConfig(const CString& keyPath) : m_settings(keyPath) {
  for (const Value& v : kOffice) this->*v.field = v.ctorValue;
  for (const Value& v : kGeneral) this->*v.field = v.ctorValue;
  for (const Value& v : kOperation) this->*v.field = v.ctorValue;
}

BOOL COfficeTolvexConfig::LoadGroup(const Value* values, size_t count) {
  m_settings.UseCurrentUser();
  for (size_t i = 0; i < count; ++i) m_settings.GetDword(kSection, values[i].name, &(this->*values[i].field), values[i].readDefault);
  return TRUE;
}

BOOL COfficeTolvexConfig::SaveGroup(const Value* values, size_t count) {
  m_settings.UseCurrentUser();
  for (size_t i = 0; i < count; ++i)
    if (!m_settings.SetDword(kSection, values[i].name, this->*values[i].field)) return FALSE;
  return TRUE;
}

BOOL COfficeTolvexConfig::LoadOfficeOptions() { return LoadGroup(kOffice, std::size(kOffice)); }
BOOL COfficeTolvexConfig::LoadGeneralOptions() { return LoadGroup(kGeneral, std::size(kGeneral)); }
BOOL COfficeTolvexConfig::LoadOperationOptions() { return LoadGroup(kOperation, std::size(kOperation)); }
BOOL COfficeTolvexConfig::SaveOfficeOptions() { return SaveGroup(kOffice, std::size(kOffice)); }
BOOL COfficeTolvexConfig::SaveGeneralOptions() { return SaveGroup(kGeneral, std::size(kGeneral)); }
BOOL COfficeTolvexConfig::SaveOperationOptions() { return SaveGroup(kOperation, std::size(kOperation)); }
