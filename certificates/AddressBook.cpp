#include "certificates/AddressBook.h"

#include <cstring>

#include "platform/com/combase.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"

namespace {

// The opening call's parameters block.
struct WabParam {
  ULONG cbSize;
  HWND hwnd;
  const char* szFileName;
  ULONG ulFlags;
  GUID guidPSExt;
};

}  // namespace

CAddressBook::~CAddressBook() {
  try {
    Close();
  } catch (...) {
  }
}

bool CAddressBook::LoadAddressBook(const char* fileName) {
  if (m_bOpened) return true;
  char path[260] = "";
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\WAB\\DLLPath", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof path - 1;
    RegQueryValueEx(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
  }
  if (!m_hLibrary) m_hLibrary = LoadLibrary(path[0] ? path : "WAB32.DLL");
  if (!m_hLibrary) return false;
  m_pfnOpen = reinterpret_cast<WabOpenFn>(GetProcAddress(m_hLibrary, "WABOpen"));
  if (!m_pfnOpen) return false;
  WabParam parameters{};
  parameters.cbSize = 32;
  parameters.szFileName = fileName;
  m_bOpened = m_pfnOpen(&m_pAddrBook, &m_pWabObject, &parameters, 0) == S_OK;
  return m_bOpened;
}

void CAddressBook::Close() {
  if (m_pAddrBook) m_pAddrBook->Release();
  if (m_pWabObject) m_pWabObject->Release();
  m_pAddrBook = m_pWabObject = nullptr;
  if (m_hLibrary) FreeLibrary(m_hLibrary);
  m_hLibrary = nullptr;
  m_pfnOpen = nullptr;
  m_bOpened = FALSE;
}

// The address book's own dialogs come with the platform's address book; until then an opened book shows none.
HRESULT CAddressBook::Dialog(HWND) { return m_bOpened ? E_NOTIMPL : E_FAIL; }

HRESULT CAddressBook::ShowAddressBook(HWND parent, BOOL) { return Dialog(parent); }

HRESULT CAddressBook::FindEntry(HWND parent) { return Dialog(parent); }

HRESULT CAddressBook::CreateEntry(HWND parent) { return Dialog(parent); }
