#include "settings/MailProfile.h"

#include <sys/stat.h>

#include <cstdlib>

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

const char kListKey[] = "m_List";
}  // namespace

bool CMailProfileSettings::operator==(const CMailProfileSettings& o) const {
  return m_bVerifyAll == o.m_bVerifyAll && m_bRemoveReadReciepts == o.m_bRemoveReadReciepts &&
         m_bBlockForward == o.m_bBlockForward && m_bVerifyCertsAsSpecified == o.m_bVerifyCertsAsSpecified &&
         m_bAutoDetectCurrentUser == o.m_bAutoDetectCurrentUser && m_bShredTempFiles == o.m_bShredTempFiles &&
         m_strFullName == o.m_strFullName && m_strEmailName == o.m_strEmailName && m_strDesc == o.m_strDesc &&
         m_strSignOneClick == o.m_strSignOneClick && m_strEncOneClick == o.m_strEncOneClick &&
         m_strSignEncOneClick == o.m_strSignEncOneClick && m_strDir == o.m_strDir &&
         m_strBasketFolder == o.m_strBasketFolder && m_bValidateProfile == o.m_bValidateProfile &&
         m_bAttachment == o.m_bAttachment && m_strFooter == o.m_strFooter;
}

void CMailProfileSettings::OnBeforeSave() {
  if (m_strDir.IsEmpty() || GetFileAttributes(m_strDir) == INVALID_FILE_ATTRIBUTES) {
    InitDefaults(TRUE);
    m_strDir = m_strProfilesFolder + "/";
    char unique[MAX_PATH] = "";
    if (GetTempFileName(m_strProfilesFolder, "XQ10_", 0, unique) == 0) return;
    CString made = unique;
    const int dot = made.ReverseFind('.');
    m_strDir = dot >= 0 ? made.Left(dot) : made;
    if (!MakeFolder(m_strDir)) return;
    DeleteFile(unique);
  }
  if (m_strSignOneClick.IsEmpty()) m_strSignOneClick = m_strDir + "/Sign.Clk";
  if (m_strEncOneClick.IsEmpty()) m_strEncOneClick = m_strDir + "/Enc.Clk";
  if (m_strSignEncOneClick.IsEmpty()) m_strSignEncOneClick = m_strDir + "/SignAndEnc.Clk";
}

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
  LONG result = ExchangeProfiles(key, kListKey, m_Profiles, save);
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

bool CMailProfileList::RemoveProfile(const CMailProfileSettings& profile) {
  for (size_t i = 0; i < m_Profiles.size(); ++i) {
    if (!(m_Profiles[i] == profile)) continue;
    // The given profile may be the element that goes.
    const CString folder = profile.m_strDir;
    m_Profiles.erase(m_Profiles.begin() + static_cast<std::ptrdiff_t>(i));
    // The default keeps naming the same profile when one before it goes.
    if (i < m_Default && m_Default != kNoDefault) --m_Default;
    if (!folder.IsEmpty()) RemoveDirectory(folder);
    return true;
  }
  return false;
}

bool CMailProfileList::SaveList() {
  // Written over the old list first, so that a failed write never loses the profiles already stored; then
  // the subkeys of a longer list go.
  if (Save() != 0) return false;
  HKEY list = nullptr;
  CString path = m_strKey + "\\" + kListKey;
  if (RegOpenKeyEx(m_hRoot, path, 0, KEY_READ | KEY_WRITE, &list) != ERROR_SUCCESS) return true;
  std::vector<CString> stale;
  char name[256];
  for (DWORD i = 0; RegEnumKey(list, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    char* end = nullptr;
    const long index = strtol(name, &end, 10);
    CString canonical;
    canonical.Format("%i", static_cast<int>(index));
    if (*end || canonical != name || index < 0 || index >= GetCount()) stale.push_back(name);
  }
  for (const CString& key : stale) SHDeleteKey(list, key);
  RegCloseKey(list);
  return true;
}
