// The one door to the platform's address book: finds and loads its library, opens the user's address book and
// shows the platform's own dialogs over a caller's window.
#pragma once

#include "platform/com/unknwn.h"
#include "platform/win32/types.h"

class CAddressBook {
 public:
  CAddressBook() = default;
  virtual ~CAddressBook();
  CAddressBook(const CAddressBook&) = delete;
  CAddressBook& operator=(const CAddressBook&) = delete;

  // Opens once (the library from the machine's registered path, else "WAB32.DLL"; its entry "WABOpen");
  // true when the library, the entry and both interfaces are in place. fileName null: the default book.
  bool LoadAddressBook(const char* fileName);
  void Close();
  // The browse, people-search and new-contact dialogs; E_FAIL when the book is not open.
  HRESULT ShowAddressBook(HWND parent, BOOL modal);
  HRESULT FindEntry(HWND parent);
  HRESULT CreateEntry(HWND parent);

 private:
  // The opening entry: (out address book, out wab object, parameters, reserved).
  using WabOpenFn = HRESULT (*)(IUnknown** addrBook, IUnknown** wabObject, void* parameters, DWORD reserved);
  HRESULT Dialog(HWND parent);

  BOOL m_bOpened = FALSE;
  HMODULE m_hLibrary = nullptr;
  WabOpenFn m_pfnOpen = nullptr;
  IUnknown* m_pAddrBook = nullptr;
  IUnknown* m_pWabObject = nullptr;
};
