// Mail protection profiles: one profile (CMailProfileSettings) and the current user's list of them with the
// index of the default one (CMailProfileList), under HKEY_CURRENT_USER "Software\Kesmora\MailTolvex\Profiles":
// value m_Default, subkey m_List with value Count and one subkey "0", "1", ... per profile.
#pragma once

#include <vector>

#include "app/RegValueMap.h"

class CMailProfileSettings : public CRegValueMap {
 public:
  CMailProfileSettings() = default;
  CMailProfileSettings(const CMailProfileSettings& other);
  CMailProfileSettings& operator=(const CMailProfileSettings& other);

  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;
  // Unless keepValues, the values take their defaults (m_bAttachment 0); then the profiles, basket and
  // one-click folders are derived and made when missing. FALSE when a folder cannot be made.
  BOOL InitDefaults(BOOL keepValues);

  BOOL m_bVerifyAll = 0;
  BOOL m_bRemoveReadReciepts = 0;
  BOOL m_bBlockForward = 0;
  BOOL m_bShredTempFiles = 0;
  BOOL m_bVerifyCertsAsSpecified = 0;
  BOOL m_bAutoDetectCurrentUser = 0;
  BOOL m_bValidateProfile = 0;
  CString m_strFullName;
  CString m_strEmailName;
  CString m_strSignOneClick;
  CString m_strEncOneClick;
  CString m_strSignEncOneClick;
  CString m_strDir;
  CString m_strDesc;
  CString m_strFooter;
  BOOL m_bAttachment = 0;
  // Not stored.
  CString m_strProfilesFolder;
  CString m_strBasketFolder;
};

// True when e-mail name, full name and display name are given and the three preset files exist.
bool IsProfileComplete(const CMailProfileSettings& profile);

class CMailProfileList : public CRegValueMap {
 public:
  CMailProfileList(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;
  LONG ExchangeProfiles(HKEY key, const char* subkeyName, std::vector<CMailProfileSettings>& profiles, BOOL save);
  // Whether some profile has this e-mail name (compared without regard to case).
  bool FindByName(const char* email) const;
  int GetCount() const { return static_cast<int>(m_Profiles.size()); }
  const CMailProfileSettings& GetAt(int index) const { return m_Profiles.at(static_cast<size_t>(index)); }

  std::vector<CMailProfileSettings> m_Profiles;
  DWORD m_Default = 0;
};
