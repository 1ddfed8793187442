// Mail protection profiles: one profile (CMailProfileSettings) and the current user's list of them with the
// index of the default one (CMailProfileList), under HKEY_CURRENT_USER "Software\Kesmora\MailTolvex\Profiles":
// value m_Default, subkey m_List with value Count and one subkey "0", "1", ... per profile.
#pragma once

#include <vector>

#include "core/RegValueMap.h"
#include "formats/FileManager.h"

// The key of the current user's profile list.
constexpr char kMailProfilesKey[] = "Software\\Kesmora\\MailTolvex\\Profiles";

class CMailProfileSettings : public CRegValueMap {
 public:
  CMailProfileSettings() = default;
  CMailProfileSettings(const CMailProfileSettings& other);
  CMailProfileSettings& operator=(const CMailProfileSettings& other);

  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;
  // Gives the profile its own folder (made when missing) and the paths of its three presets in it.
  void OnBeforeSave() override;
  // Every stored value and the basket folder equal (texts compared exactly).
  bool operator==(const CMailProfileSettings& other) const;
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
  // Holds the profile's presets while the wizard reads them.
  CFileManager m_FileManager;
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
  CMailProfileSettings& GetAt(int index) { return m_Profiles.at(static_cast<size_t>(index)); }
  // Appends a copy (its folder and preset paths are given when the list is saved).
  void AddProfile(const CMailProfileSettings& profile) { m_Profiles.push_back(profile); }
  // Removes the first profile equal to the given one, moving the default along when a profile before it
  // goes, then removes the profile's folder when it is empty. False when no profile is equal.
  bool RemoveProfile(const CMailProfileSettings& profile);
  // Writes the whole list (indexes dense from 0) and drops what is left of a longer one; true when every
  // value was written. A failed write leaves the profiles written before intact.
  bool SaveList();

  // m_Default after the default profile was deleted: no profile is the default.
  static constexpr DWORD kNoDefault = 65535;

  std::vector<CMailProfileSettings> m_Profiles;
  DWORD m_Default = 0;
};
