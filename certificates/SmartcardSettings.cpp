#include "certificates/SmartcardSettings.h"

#include "platform/win32/registry.h"

REGVALUEMAP_CONSTRUCTOR(CSmartcardSettings)

LONG CSmartcardSettings::ExchangeBinary(HKEY key, LPCSTR name, CByteBuffer& member, BOOL save) {
  if (save)
    return RegSetValueExA(key, name, 0, REG_BINARY, member.GetData(), member.GetLength());
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  // One byte more than asked for, as the other readers of the record do.
  CByteBuffer block(size + 1);
  if (block.GetLength() != size + 1) return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
  DWORD read = size;
  rc = RegQueryValueExA(key, name, nullptr, nullptr, block.GetData(), &read);
  if (rc != ERROR_SUCCESS) return rc;
  member = CByteBuffer(kx_min(read, size), block.GetData(), false);
  return ERROR_SUCCESS;
}

LONG CSmartcardSettings::Exchange(HKEY key, BOOL save, BOOL defaults) {
  LONG result = 0;
  BeginExchange(save, defaults);
  REGVALUEMAP_ENTRY("SmartCardStore", SmartCardStore, "eToken")
  REGVALUEMAP_ENTRY("m_bEnableSmartcard", m_bEnableSmartcard, 1u)
  REGVALUEMAP_ENTRY("m_bValidateCert", m_bValidateCert, 0u)
  REGVALUEMAP_ENTRY("m_PassphraseQuality", m_PassphraseQuality, 1u)
  if (defaults) return 0;
  result = ExchangeBinary(key, "m_SelectedSmartcardCert", m_SelectedSmartcardCert, save);
  if (result != ERROR_SUCCESS) return result;
  EndExchange(save, defaults);
  return 0;
}
