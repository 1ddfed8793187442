// The one door to the platform's address book: finds and loads its library (the machine's registered path, else
// "WAB32.DLL"), opens the user's address book, and shows the platform's own dialogs over a caller's window: the
// browse dialog, the people search, the new-contact dialog and the look-up of an LDAP address. Nothing is read
// out of the book's entries. Callers test LoadAddressBook before any other call.
#pragma once

#include "platform/services/wab.h"
#include "platform/win32/types.h"

class CAddressBook {
 public:
  CAddressBook() = default;
  virtual ~CAddressBook();
  CAddressBook(const CAddressBook&) = delete;
  CAddressBook& operator=(const CAddressBook&) = delete;

  // Opens once; true when the library, its entry and both interfaces are in place. fileName null: the user's
  // default address book.
  bool LoadAddressBook(const char* fileName);
  // Releases the interfaces and frees the library.
  void Close();
  // The dialogs open a fresh book for their run; E_FAIL when this object is not opened. Mode 1 is the modal
  // browse dialog.
  HRESULT ShowAddressBook(HWND parent, int mode);
  HRESULT FindEntry(HWND parent);
  // The LDAP address through the book, with the platform's dialog (flags 0x486) or without (0).
  HRESULT OpenLdapUrl(HWND parent, const char* url, BOOL showDialog);
  // The new-contact dialog with the personal book's contact template.
  HRESULT CreateEntry(HWND parent);
  // The personal book's template for a contact (6) or a distribution list (8); the identifier is allocated with
  // the book's allocator. E_INVALIDARG for another type or a book that is not open (the outputs untouched).
  HRESULT GetTemplateEntryId(ULONG objectType, ULONG* byteCount, LPENTRYID* entryId);

 private:
  enum class Dialog { Browse, Search, Ldap };
  HRESULT RunDialog(Dialog dialog, HWND parent, int mode, const char* url, BOOL showDialog);

  BOOL m_bOpened = FALSE;
  HMODULE m_hLibrary = nullptr;
  LPWABOPEN m_pfnOpen = nullptr;
  IAddrBook* m_pAddrBook = nullptr;
  IWABObject* m_pWabObject = nullptr;
};
