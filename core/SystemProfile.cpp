#include "core/SystemProfile.h"

#include <iterator>

#include "core/SettingsStore.h"

namespace {

const char kSystem[] = "System_Profile";
const char kVorlind[] = "Vorlind Intelligence";

// One value: either a number (number set) or a text (text set), with the constructor's value and what a
// load leaves when the value is missing.
struct Entry {
  const char* subkey;
  const char* name;
  int CSystemProfile::*number;
  CString CSystemProfile::*text;
  int ctorNumber;
  int loadNumber;
  const char* ctorText;
  const char* loadText;    // start-of-load value of a text
  const char* readDefault; // default given to the read of a text
};

constexpr const char* kAddress = CSystemProfile::kDefaultServiceAddress;

#define KX_NUM(sub, field, ctor, load) {sub, #field, &CSystemProfile::field, nullptr, ctor, load, nullptr, nullptr, nullptr}
#define KX_NUM_AS(sub, name, field, ctor, load) {sub, name, &CSystemProfile::field, nullptr, ctor, load, nullptr, nullptr, nullptr}
#define KX_TEXT(sub, field, ctor, load, def) {sub, #field, nullptr, &CSystemProfile::field, 0, 0, ctor, load, def}

// In the order Save writes them.
const Entry kEntries[] = {
    KX_NUM(kSystem, VerifyBeforeCosign, 1, 1),
    KX_NUM(kSystem, EnableDirOperation, 1, 1),
    KX_NUM(kSystem, Brastel, 1, 1),
    KX_NUM(kSystem, VerifyHash, 1, 1),
    KX_NUM(kSystem, VerifyAllSig, 1, 1),
    KX_NUM(kSystem, VerifyCert, 1, 1),
    KX_NUM(kSystem, VerifyIndex, 0, 0),
    KX_NUM(kSystem, OutputOption, 0, 0),
    KX_NUM(kSystem, AlgoIndex, 1, 1),
    KX_NUM(kSystem, KeyLenIndex, 2, 0),
    KX_NUM(kSystem, KeyLength, 3, 3),
    KX_NUM(kSystem, Algorithm, 3, 3),
    KX_TEXT(kSystem, OutputFolder, "", "", ""),
    KX_TEXT(kSystem, SignSettings, "", "", ""),
    KX_TEXT(kSystem, EncryptSettings, "", "", ""),
    KX_TEXT(kSystem, CountersignSettings, "", "", ""),
    KX_TEXT(kSystem, SignEncSettings, "", "", ""),
    KX_NUM(kSystem, MemoryCache, 2, 2),
    KX_NUM(kVorlind, Exchange_Using_PKCS7, 1, 1),
    KX_NUM(kVorlind, Exchange_Using_SSL, 0, 1),
    KX_NUM_AS(kVorlind, "AlgoIndex", VI_AlgoIndex, 2, 2),
    KX_NUM_AS(kVorlind, "KeyLenIndex", VI_KeyLenIndex, 2, 2),
    KX_NUM_AS(kVorlind, "KeyLength", VI_KeyLength, 3, 2),
    KX_NUM_AS(kVorlind, "Algorithm", VI_Algorithm, 3, 2),
    KX_NUM(kVorlind, WSDL_Stnadard_Disco, 1, 0),
    KX_NUM(kVorlind, Transport_Index, 0, 0),
    KX_NUM(kVorlind, Transport_Address_Index, 0, 0),
    KX_TEXT(kVorlind, Transport_Address_URL, kAddress, kAddress, ""),
    KX_NUM(kVorlind, Validate_Headers, 1, 1),
    KX_NUM(kVorlind, SOAP_Authentication, 1, 1),
    KX_TEXT(kVorlind, Transport_Address_IP, kAddress, kAddress, ""),
    KX_NUM(kVorlind, Transport_Port, 8081, 8081),
    KX_NUM(kVorlind, Issue_Cert_Disposition, 1, 1),
    KX_NUM(kVorlind, Full_Chain_PKCS7_Format, 1, 1),
    KX_NUM(kVorlind, Accept_PKCS10, 1, 1),
    KX_TEXT(kVorlind, WSDL_File, "VorlindEnrolment.WSDL", "VorlindEnrolment.WSDL", "VorlindEnrolment.WSDL"),
    KX_TEXT(kVorlind, WSDL_Port, "VorlindEnrolSoapPort", "VorlindEnrolSoapPort", "VorlindEnrolSoapPort"),
    KX_TEXT(kVorlind, WSDL_Service, "VorlindEnrolment", "VorlindEnrolment", "VorlindEnrolment"),
};

#undef KX_NUM
#undef KX_NUM_AS
#undef KX_TEXT

// Load reads "KeyLenIndex" of System_Profile before "OutputOption" and "AlgoIndex".
constexpr size_t kKeyLenIndex = 9;

void LoadEntry(CSystemProfile& p, CHiveSettings& hive, const Entry& e) {
  if (e.number) {
    DWORD value = 0;
    hive.GetDword(e.subkey, e.name, &value, static_cast<DWORD>(e.loadNumber));
    p.*e.number = static_cast<int>(value);
  } else {
    hive.GetString(e.subkey, e.name, p.*e.text, e.readDefault);
  }
}

}  // namespace

CSystemProfile::CSystemProfile() {
  for (const Entry& e : kEntries) {
    if (e.number)
      this->*e.number = e.ctorNumber;
    else
      this->*e.text = e.ctorText;
  }
}

BOOL CSystemProfile::Load() {
  CHiveSettings hive("Software\\Kesmora\\OfficeTolvex");
  hive.UseCurrentUser();
  for (const Entry& e : kEntries)
    if (e.text) this->*e.text = e.loadText;
  LoadEntry(*this, hive, kEntries[kKeyLenIndex]);
  for (size_t i = 0; i < std::size(kEntries); ++i)
    if (i != kKeyLenIndex) LoadEntry(*this, hive, kEntries[i]);
  return TRUE;
}

BOOL CSystemProfile::Save() {
  CHiveSettings hive("Software\\Kesmora\\OfficeTolvex");
  hive.UseCurrentUser();
  for (const Entry& e : kEntries) {
    if (e.number)
      hive.SetDword(e.subkey, e.name, static_cast<DWORD>(this->*e.number));
    else
      hive.SetString(e.subkey, e.name, this->*e.text);
  }
  return TRUE;
}
