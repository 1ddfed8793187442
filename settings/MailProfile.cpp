#include "settings/MailProfile.h"

#include <sys/stat.h>

#include "app/UserFolders.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"

CMailProfileSettings::CMailProfileSettings(const CMailProfileSettings& other) : CRegValueMap() { *this = other; }

CMailProfileSettings& CMailProfileSettings::operator=(const CMailProfileSettings& other) {
  if (this == &other) return *this;
  InitDefaults(FALSE);
  m_bVerifyAll = other.m_bVerifyAll;
  m_bRemoveReadReciepts = other.m_bRemoveReadReciepts;
  m_bBlockForward = other.m_bBlockForward;
  m_bShredTempFiles = other.m_bShredTempFiles;
  m_bVerifyCertsAsSpecified = other.m_bVerifyCertsAsSpecified;
  m_bAutoDetectCurrentUser = other.m_bAutoDetectCurrentUser;
  m_bValidateProfile = other.m_bValidateProfile;
  m_bAttachment = other.m_bAttachment;
  m_strFullName = other.m_strFullName;
  m_strEmailName = other.m_strEmailName;
  m_strSignOneClick = other.m_strSignOneClick;
  m_strEncOneClick = other.m_strEncOneClick;
  m_strSignEncOneClick = other.m_strSignEncOneClick;
  m_strDir = other.m_strDir;
  m_strDesc = other.m_strDesc;
  m_strFooter = other.m_strFooter;
  m_strBasketFolder = other.m_strBasketFolder;
  return *this;
}

LONG CMailProfileSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("m_bVerifyAll", m_bVerifyAll, 1)
  REGVALUEMAP_ENTRY("m_bRemoveReadReciepts", m_bRemoveReadReciepts, 0)
  REGVALUEMAP_ENTRY("m_bBlockForward", m_bBlockForward, 0)
  REGVALUEMAP_ENTRY("m_bShredTempFiles", m_bShredTempFiles, 1)
  REGVALUEMAP_ENTRY("m_bVerifyCertsAsSpecified", m_bVerifyCertsAsSpecified, 1)
  REGVALUEMAP_ENTRY("m_bAutoDetectCurrentUser", m_bAutoDetectCurrentUser, 0)
  REGVALUEMAP_ENTRY("m_bValidateProfile", m_bValidateProfile, 1)
  REGVALUEMAP_ENTRY("m_strFullName", m_strFullName, "")
  REGVALUEMAP_ENTRY("m_strEmailName", m_strEmailName, "")
  REGVALUEMAP_ENTRY("m_strSignOneClick", m_strSignOneClick, "")
  REGVALUEMAP_ENTRY("m_strEncOneClick", m_strEncOneClick, "")
  REGVALUEMAP_ENTRY("m_strSignEncOneClick", m_strSignEncOneClick, "")
  REGVALUEMAP_ENTRY("m_strDir", m_strDir, "")
  REGVALUEMAP_ENTRY("m_strDesc", m_strDesc, "")
  REGVALUEMAP_ENTRY("m_strFooter", m_strFooter, "")
  REGVALUEMAP_ENTRY("m_bAttachment", m_bAttachment, 1)
  EndExchange(save, defaults);
  return result;
}

namespace {
bool MakeFolder(const CString& path) {
  if (GetFileAttributes(path) != INVALID_FILE_ATTRIBUTES) return true;
  return CreateDirectory(path, nullptr) != FALSE;
}
}  // namespace

BOOL CMailProfileSettings::InitDefaults(BOOL keepValues) {
  if (!keepValues) {
    Exchange(nullptr, FALSE, TRUE);
    m_bAttachment = 0;
  }
  CString documents = GetDocumentsFolder();
  if (documents.IsEmpty()) return TRUE;
  m_strProfilesFolder = documents + "/My MailTolvex Profiles";
  CString oneClick = RecordOneClickFolder(documents);
  if (!MakeFolder(m_strProfilesFolder)) return FALSE;
  m_strBasketFolder = m_strProfilesFolder + "/Temp_Outlook_Basket_001";
  if (!MakeFolder(m_strBasketFolder)) return FALSE;
  return MakeFolder(oneClick) ? TRUE : FALSE;
}

bool IsProfileComplete(const CMailProfileSettings& p) {
  if (p.m_strEmailName.IsEmpty() || p.m_strFullName.IsEmpty() || p.m_strDesc.IsEmpty()) return false;
  for (const CString* preset : {&p.m_strSignOneClick, &p.m_strEncOneClick, &p.m_strSignEncOneClick}) {
    struct stat st{};
    if (preset->IsEmpty() || stat(*preset, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  return true;
}

REGVALUEMAP_CONSTRUCTOR(CMailProfileList)

LONG CMailProfileList::Exchange(HKEY key, BOOL save, BOOL defaults) {
  if (defaults) {
    m_Default = 0;
    return 0;
  }
  LONG result = ExchangeProfiles(key, "m_List", m_Profiles, save);
  if (result != 0 && save) return result;
  result = ExchangeValue(key, "m_Default", &m_Default, save ? 1 : 0);
  if (result != 0 && !save) m_Default = 0;
  return result;
}

LONG CMailProfileList::ExchangeProfiles(HKEY key, const char* subkeyName, std::vector<CMailProfileSettings>& profiles,
                                        BOOL save) {
  HKEY list = nullptr;
  if (!save) {
    profiles.clear();
    LONG rc = RegOpenKeyEx(key, subkeyName, 0, KEY_READ, &list);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD count = 0;
    ExchangeDword(list, "Count", &count, 0);
    LONG result = 0;
    for (DWORD i = 0; i < count; ++i) {
      CString name;
      name.Format("%i", static_cast<int>(i));
      HKEY item = nullptr;
      result = RegOpenKeyEx(list, name, 0, KEY_READ, &item);
      if (result != ERROR_SUCCESS) break;
      CMailProfileSettings profile;
      profile.Exchange(item, FALSE, FALSE);
      profiles.push_back(profile);
      RegCloseKey(item);
    }
    RegCloseKey(list);
    return result;
  }
  LONG rc = RegCreateKeyEx(key, subkeyName, 0, nullptr, 0, KEY_WRITE, nullptr, &list, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD count = static_cast<DWORD>(profiles.size());
  LONG result = ExchangeDword(list, "Count", &count, 1);
  for (size_t i = 0; result == 0 && i < profiles.size(); ++i) {
    CString name;
    name.Format("%i", static_cast<int>(i));
    HKEY item = nullptr;
    result = RegCreateKeyEx(list, name, 0, nullptr, 0, KEY_WRITE, nullptr, &item, nullptr);
    if (result != ERROR_SUCCESS) break;
    result = profiles[i].Exchange(item, TRUE, FALSE);
    RegCloseKey(item);
  }
  RegCloseKey(list);
  return result;
}

bool CMailProfileList::FindByName(const char* email) const {
  for (const CMailProfileSettings& p : m_Profiles)
    if (p.m_strEmailName.CompareNoCase(email ? email : "") == 0) return true;
  return false;
}
