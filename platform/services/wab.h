// The platform's address book: the built-in module "WAB32.DLL" with its entry "WABOpen".
//
// The book holds the user's contacts (a display name and an e-mail address each), kept in the file
// "addressbook/contacts.txt" of the user state (or a file the opener names), and shows beside them the
// certificates of the user's "AddressBook" certificate store, by subject name and e-mail address. Its dialogs:
// the browse dialog (IAddrBook::Address), the people search (IWABObject::Find) and the new-contact dialog
// (IAddrBook::NewEntry with the personal book's contact template), and the entries an LDAP address finds in the
// directory (IWABObject::LDAPUrl).
//
// The interfaces hold only the members these callers use.
#pragma once

#include <string>
#include <vector>

#include "platform/com/unknwn.h"
#include "platform/win32/types.h"

// An entry identifier: four flag bytes and the provider's bytes.
struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SBinary {
  ULONG cb;
  BYTE* lpb;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  union {
    LONG l;
    LPSTR lpszA;
    SBinary bin;
  } Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

// Parameters of the browse dialog; only the flags and the caption are read.
struct ADRPARM {
  ULONG cbABContEntryID;
  LPENTRYID lpABContEntryID;
  ULONG ulFlags;
  void* lpReserved;
  ULONG ulHelpContext;
  LPSTR lpszHelpFileName;
  void* lpfnABSDI;
  void* lpfnDismiss;
  void* lpvDismissContext;
  LPSTR lpszCaption;
  LPSTR lpszNewEntryTitle;
  LPSTR lpszDestWellsTitle;
  ULONG cDestFields;
  ULONG nDestFieldFocus;
  LPSTR* lppszDestTitles;
  ULONG* lpulDestComps;
  void* lpContRestriction;
  void* lpHierRestriction;
};
struct ADRLIST;

struct WAB_PARAM {
  ULONG cbSize;
  HWND hwnd;
  LPSTR szFileName;
  ULONG ulFlags;
  GUID guidPSExt;
};

inline constexpr ULONG DIALOG_MODAL = 0x00000001;
inline constexpr ULONG DIALOG_OPTIONS = 0x00000004;
inline constexpr ULONG ADDRESS_ONE = 0x00000020;
inline constexpr ULONG MAPI_MAILUSER = 6;
inline constexpr ULONG MAPI_DISTLIST = 8;
inline constexpr ULONG MAPI_ABCONT = 4;
inline constexpr ULONG PR_DEF_CREATE_DL = 0x36110102;
inline constexpr ULONG PR_DEF_CREATE_MAILUSER = 0x36120102;
inline constexpr ULONG PR_DISPLAY_NAME = 0x3001001E;
inline constexpr ULONG PR_EMAIL_ADDRESS = 0x3003001E;

inline constexpr HRESULT MAPI_E_NO_SUPPORT = KX_HR(0x80040102);
inline constexpr HRESULT MAPI_E_INVALID_ENTRYID = KX_HR(0x80040107);
inline constexpr HRESULT MAPI_E_NOT_FOUND = KX_HR(0x8004010F);
inline constexpr HRESULT MAPI_E_USER_CANCEL = KX_HR(0x80040113);
inline constexpr HRESULT MAPI_E_NETWORK_ERROR = KX_HR(0x80040115);

struct IMAPIProp : IUnknown {
  // The values of the tags, in their order; the caller frees them with IWABObject::FreeBuffer.
  STDMETHOD(GetProps)(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) = 0;
};
KX_DEFINE_IID(IMAPIProp, "{6F87087D-F65E-43DD-B040-32FE97B9E4BC}");

struct IMailUser : IMAPIProp {};

struct IAddrBook : IMAPIProp {
  // The personal book (its identifier from GetPAB) as a container; no interface asked (null) gives it.
  STDMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID entryID, const IID* iface, ULONG flags, ULONG* objType,
                       IUnknown** out) = 0;
  // The new-contact dialog for a contact template; MAPI_E_USER_CANCEL when the user cancels it.
  STDMETHOD(NewEntry)(ULONG_PTR uiParam, ULONG flags, ULONG cbContainer, LPENTRYID container, ULONG cbTemplate,
                      LPENTRYID templateID, ULONG* cbNewEntry, LPENTRYID* newEntry) = 0;
  // The browse dialog over the window that *uiParam holds.
  STDMETHOD(Address)(ULONG_PTR* uiParam, ADRPARM* parameters, ADRLIST** recipients) = 0;
  STDMETHOD(GetPAB)(ULONG* cbEntryID, LPENTRYID* entryID) = 0;
};
KX_DEFINE_IID(IAddrBook, "{4331D337-A810-4365-B162-CFD3C3605DDE}");

struct IWABObject : IUnknown {
  STDMETHOD(AllocateBuffer)(ULONG cb, void** out) = 0;
  STDMETHOD_(ULONG, FreeBuffer)(void* buffer) = 0;
  // The people-search dialog.
  STDMETHOD(Find)(IAddrBook* book, HWND parent) = 0;
  STDMETHOD(LDAPUrl)(IAddrBook* book, HWND parent, ULONG flags, LPSTR url, IMailUser** mailUser) = 0;
};
KX_DEFINE_IID(IWABObject, "{3E85095E-15C4-44FD-994E-2EAA1CCC30A5}");

using LPWABOPEN = HRESULT (*)(IAddrBook** book, IWABObject** wabObject, WAB_PARAM* parameters, DWORD reserved);

namespace kx {

struct AddressBookEntry {
  std::string name;
  std::string email;
  bool certificate = false;  // from the "AddressBook" certificate store
};

// The contacts of a contacts file (the user's default one for an empty path).
KXAPI std::vector<AddressBookEntry> ReadContacts(const std::string& file = std::string());
// Adds a contact; false when the name is empty or the file cannot be written (it is replaced whole).
KXAPI bool AddContact(const AddressBookEntry& contact, const std::string& file = std::string());

}  // namespace kx
