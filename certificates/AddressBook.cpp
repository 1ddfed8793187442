#include "certificates/AddressBook.h"

#include <cstring>

#include "platform/com/combase.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"

namespace {

constexpr ULONG kBrowseFlags = DIALOG_MODAL | DIALOG_OPTIONS | ADDRESS_ONE;  // 0x25
constexpr ULONG kLdapDialogFlags = 0x486;

}  // namespace

CAddressBook::~CAddressBook() {
  try {
    Close();
  } catch (...) {
    // The book is going away: a close that fails leaves the user nothing to see or do.
  }
}

bool CAddressBook::LoadAddressBook(const char* fileName) {
  if (m_bOpened) return true;
  char path[260] = "";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\WAB\\DLLPath", 0, 0x20019, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof path - 1;
    if (RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS)
      path[0] = 0;
    path[sizeof path - 1] = 0;
  }
  if (key) RegCloseKey(key);
  // A library left loaded by an earlier failed opening is used again.
  if (!m_hLibrary) m_hLibrary = LoadLibraryA(path[0] ? path : "WAB32.DLL");
  if (!m_hLibrary) return false;
  m_pfnOpen = reinterpret_cast<LPWABOPEN>(GetProcAddress(m_hLibrary, "WABOpen"));
  if (!m_pfnOpen) return false;
  WAB_PARAM parameters{};
  parameters.cbSize = 32;
  parameters.szFileName = const_cast<LPSTR>(fileName);
  IAddrBook* book = nullptr;
  IWABObject* wab = nullptr;
  HRESULT hr = m_pfnOpen(&book, &wab, &parameters, 0);
  if (hr == S_OK && book && wab) {
    m_pAddrBook = book;
    m_pWabObject = wab;
    m_bOpened = TRUE;
  } else {
    if (book) book->Release();
    if (wab) wab->Release();
  }
  return m_bOpened != FALSE;
}

void CAddressBook::Close() {
  if (m_pAddrBook) m_pAddrBook->Release();
  if (m_pWabObject) m_pWabObject->Release();
  m_pAddrBook = nullptr;
  m_pWabObject = nullptr;
  // Also a library that a failed opening left loaded.
  if (m_hLibrary) FreeLibrary(m_hLibrary);
  m_hLibrary = nullptr;
  m_pfnOpen = nullptr;
  m_bOpened = FALSE;
}

HRESULT CAddressBook::RunDialog(Dialog dialog, HWND parent, int mode, const char* url, BOOL showDialog) {
  if (!m_bOpened) return E_FAIL;
  auto open = reinterpret_cast<LPWABOPEN>(GetProcAddress(m_hLibrary, "WABOpen"));
  if (!open) return E_FAIL;
  IAddrBook* book = nullptr;
  IWABObject* wab = nullptr;
  HRESULT hr = open(&book, &wab, nullptr, 0);
  if (SUCCEEDED(hr)) {
    switch (dialog) {
      case Dialog::Browse:
        if (book) {
          ADRPARM parameters;
          std::memset(&parameters, 0, sizeof parameters);
          if (mode == 1) parameters.ulFlags = kBrowseFlags;
          parameters.lpszCaption = const_cast<LPSTR>("Address Book");
          ULONG_PTR window = reinterpret_cast<ULONG_PTR>(parent);
          hr = book->Address(&window, &parameters, nullptr);
        }
        break;
      case Dialog::Search:
        if (book && wab) hr = wab->Find(book, parent);
        break;
      case Dialog::Ldap:
        if (book && wab) hr = wab->LDAPUrl(book, parent, showDialog ? kLdapDialogFlags : 0, const_cast<LPSTR>(url), nullptr);
        break;
    }
  }
  if (book) book->Release();
  if (wab) wab->Release();
  return hr;
}

HRESULT CAddressBook::ShowAddressBook(HWND parent, int mode) { return RunDialog(Dialog::Browse, parent, mode, nullptr, FALSE); }

HRESULT CAddressBook::FindEntry(HWND parent) { return RunDialog(Dialog::Search, parent, 0, nullptr, FALSE); }

HRESULT CAddressBook::OpenLdapUrl(HWND parent, const char* url, BOOL showDialog) {
  return RunDialog(Dialog::Ldap, parent, 0, url, showDialog);
}

HRESULT CAddressBook::CreateEntry(HWND parent) {
  ULONG templateSize = 0;
  LPENTRYID templateId = nullptr;
  HRESULT hr = GetTemplateEntryId(MAPI_MAILUSER, &templateSize, &templateId);
  if (FAILED(hr)) return hr;
  ULONG newSize = 0;
  LPENTRYID newId = nullptr;
  hr = m_pAddrBook->NewEntry(reinterpret_cast<ULONG_PTR>(parent), 0, 0, nullptr, templateSize, templateId, &newSize,
                             &newId);
  // Nothing reads the two identifiers: both go back to the book's allocator.
  if (templateId) m_pWabObject->FreeBuffer(templateId);
  if (newId) m_pWabObject->FreeBuffer(newId);
  return hr;
}

HRESULT CAddressBook::GetTemplateEntryId(ULONG objectType, ULONG* byteCount, LPENTRYID* entryId) {
  if (!m_pAddrBook || !m_pWabObject || (objectType != MAPI_MAILUSER && objectType != MAPI_DISTLIST) || !byteCount ||
      !entryId)
    return E_INVALIDARG;
  *byteCount = 0;
  *entryId = nullptr;
  ULONG pabSize = 0;
  LPENTRYID pab = nullptr;
  IUnknown* opened = nullptr;
  IMAPIProp* container = nullptr;
  LPSPropValue values = nullptr;
  HRESULT hr = m_pAddrBook->GetPAB(&pabSize, &pab);
  if (SUCCEEDED(hr)) {
    ULONG objType = 0;
    hr = m_pAddrBook->OpenEntry(pabSize, pab, nullptr, 0, &objType, &opened);
  }
  if (SUCCEEDED(hr) && opened) hr = opened->QueryInterface(KX_IIDOF(IMAPIProp), reinterpret_cast<void**>(&container));
  if (SUCCEEDED(hr) && container) {
    struct {
      ULONG cValues;
      ULONG aulPropTag[2];
    } tags = {2, {PR_DEF_CREATE_MAILUSER, PR_DEF_CREATE_DL}};
    ULONG count = 0;
    hr = container->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
    if (SUCCEEDED(hr) && values && count >= 2 && values[0].ulPropTag == PR_DEF_CREATE_MAILUSER &&
        values[1].ulPropTag == PR_DEF_CREATE_DL) {
      const SBinary& chosen = values[objectType == MAPI_MAILUSER ? 0 : 1].Value.bin;
      void* copy = nullptr;
      if (FAILED(m_pWabObject->AllocateBuffer(chosen.cb, &copy)) || !copy) {
        hr = E_OUTOFMEMORY;
      } else {
        std::memcpy(copy, chosen.lpb, chosen.cb);
        *byteCount = chosen.cb;
        *entryId = static_cast<LPENTRYID>(copy);
      }
    }
  }
  if (values) m_pWabObject->FreeBuffer(values);
  if (container) container->Release();
  if (opened) opened->Release();
  if (pab) m_pWabObject->FreeBuffer(pab);
  return hr;
}
