// Settings records of the mail protection and the shredder, all in HKEY_CURRENT_USER:
// CMailGeneralSettings "Software\Kesmora\MailTolvex\General", CESignSettings "...\MailTolvex\ESign",
// CCompressionSettings "...\MailTolvex\Compression", CShredderSettings "Software\Kesmora\Shredder\1.0".
#pragma once

#include "core/RegValueMap.h"

class CMailGeneralSettings : public CRegValueMap {
 public:
  CMailGeneralSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bVerifyProfile;
  DWORD m_bShredTemp;
  DWORD m_bEnableAddin;
  DWORD m_bCleanShutAtExit;
};

class CESignSettings : public CRegValueMap {
 public:
  CESignSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_bComply1;
  DWORD m_bComply4;
  DWORD m_bComply2;
  DWORD m_bTimeStamp;
  DWORD m_bESign;
  DWORD m_bESignTrack;
};

class CCompressionSettings : public CRegValueMap {
 public:
  CCompressionSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD m_Level;
  DWORD m_bCompress;
};

class CShredderSettings : public CRegValueMap {
 public:
  CShredderSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  DWORD ShredderDesktopAddinEnabled;
  DWORD ShredderSlowPollEnabled;
  DWORD ShredResultsForUnusedSpace;
  DWORD ShredResultsOnlyWhenFailed;
  DWORD ShredResultsForFiles;
  DWORD ResultsShredderDesktopAddin;
  DWORD ClearSwap;
};
