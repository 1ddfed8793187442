// Settings records of the configuration manager's pages besides the shared ones: the document-management
// integration (HKEY_CURRENT_USER "Software\Kesmora\OfficeTolvex\Hummingbird") and the platform's switch that
// clears the page file at shut-down (HKEY_LOCAL_MACHINE "SYSTEM\CurrentControlSet\Control\Session
// Manager\Memory Management").
#pragma once

#include "core/RegValueMap.h"
#include "platform/win32/registry.h"

class CHummingbirdSettings : public CRegValueMap {
 public:
  CHummingbirdSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bHM_OfficeIntegration;
  DWORD m_bHM_ExplorerIntegration;
  DWORD m_bHM_AutoDetect;
  DWORD m_bHM_Register;
};

class CPageFileSettings : public CRegValueMap {
 public:
  CPageFileSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD ClearPageFileAtShutdown;
};

constexpr const char* kHummingbirdKey = "Software\\Kesmora\\OfficeTolvex\\Hummingbird";
constexpr const char* kPageFileKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char* kDiskTolvexKey = "Software\\Kesmora\\DiskTolvex\\1.0\\General";
constexpr const char* kShredderKey = "Software\\Kesmora\\Shredder\\1.0";
constexpr const char* kMailGeneralKey = "Software\\Kesmora\\MailTolvex\\General";
