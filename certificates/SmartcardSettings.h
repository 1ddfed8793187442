// The smart-card options of the disk-protection module: HKEY_CURRENT_USER
// "Software\Kesmora\DiskTolvex\1.0\Smartcards". The certificate pages read SmartCardStore to choose the store
// that holds the card's certificates; something outside this library writes the record.
#pragma once

#include "core/RegValueMap.h"
#include "core/ByteBuffer.h"

class CSmartcardSettings : public CRegValueMap {
 public:
  CSmartcardSettings(HKEY root, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Defaults set nothing into m_SelectedSmartcardCert. Loading: a text or number that cannot be read takes its
  // default; a missing or unreadable certificate value ends the exchange with its error, the buffer unchanged.
  LONG Exchange(HKEY key, BOOL save, BOOL defaults) override;

  CString SmartCardStore;
  DWORD m_bEnableSmartcard = 1;
  DWORD m_bValidateCert = 0;
  DWORD m_PassphraseQuality = 1;
  CByteBuffer m_SelectedSmartcardCert;

  // The key path the certificate pages use.
  static constexpr const char* kKeyPath = "Software\\Kesmora\\DiskTolvex\\1.0\\Smartcards";

 private:
  LONG ExchangeBinary(HKEY key, LPCSTR name, CByteBuffer& member, BOOL save);
};
