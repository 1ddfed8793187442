// Address book access: opening once, the failure paths of a book that did not open, the flags of an LDAP look-up
// (against a stand-in library named in the registry), and the platform's own book driven through its dialogs.
#include <atomic>
#include <cstdlib>

#include "certificates/AddressBook.h"
#include "certsel/certsel_fixture.h"
#include "platform/com/comobject.h"
#include "platform/win32/modules.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "services/local_server.h"

namespace certsel {
namespace {

using kxtest::ReadFile;

// ---- a stand-in address book library that records what it is asked ----

std::atomic<int> g_opens{0};
std::atomic<ULONG> g_ldapFlags{0xFFFFFFFF};

class FakeBook final : public kx::ComObject<FakeBook, IAddrBook> {
 public:
  STDMETHODIMP GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { return E_NOTIMPL; }
  STDMETHODIMP OpenEntry(ULONG, LPENTRYID, const IID*, ULONG, ULONG*, IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Address(ULONG_PTR*, ADRPARM*, ADRLIST**) override { return S_OK; }
  STDMETHODIMP GetPAB(ULONG*, LPENTRYID*) override { return KX_HR(0x80040111); }
};

class FakeWab final : public kx::ComObject<FakeWab, IWABObject> {
 public:
  STDMETHODIMP AllocateBuffer(ULONG, void**) override { return E_OUTOFMEMORY; }
  STDMETHODIMP_(ULONG) FreeBuffer(void*) override { return 0; }
  STDMETHODIMP Find(IAddrBook*, HWND) override { return S_OK; }
  STDMETHODIMP LDAPUrl(IAddrBook*, HWND, ULONG flags, LPSTR, IMailUser**) override {
    g_ldapFlags = flags;
    return S_OK;
  }
};

HRESULT FakeOpen(IAddrBook** book, IWABObject** wab, WAB_PARAM*, DWORD) {
  ++g_opens;
  *book = new FakeBook;
  *wab = new FakeWab;
  return S_OK;
}

void SetLibraryPath(const char* path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\WAB\\DLLPath", 0, nullptr, 0, KEY_WRITE, nullptr,
                           &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), static_cast<DWORD>(strlen(path) + 1));
  RegCloseKey(key);
}

using AddressBookAccess = CertSelTest;

TEST_F(AddressBookAccess, OpensOnceFromTheRegisteredLibrary) {
  const kx::BuiltinExport exports[] = {{"WABOpen", 0, reinterpret_cast<void*>(&FakeOpen)}};
  kx::RegisterBuiltinModule("STANDINWAB.DLL", exports, 1);
  SetLibraryPath("STANDINWAB.DLL");
  g_opens = 0;
  CAddressBook book;
  ASSERT_TRUE(book.LoadAddressBook(nullptr));
  EXPECT_TRUE(book.LoadAddressBook(nullptr));
  EXPECT_EQ(g_opens.load(), 1);
  // The dialogs open a fresh book each.
  EXPECT_EQ(book.OpenLdapUrl(nullptr, "ldap://directory.example/cn=Bob", TRUE), S_OK);
  EXPECT_EQ(g_ldapFlags.load(), 0x486u);
  EXPECT_EQ(book.OpenLdapUrl(nullptr, "ldap://directory.example/cn=Bob", FALSE), S_OK);
  EXPECT_EQ(g_ldapFlags.load(), 0u);
  EXPECT_EQ(g_opens.load(), 3);
  // A book without a personal container gives no template: the new-contact dialog is not shown.
  EXPECT_EQ(book.CreateEntry(nullptr), KX_HR(0x80040111));
  kx::SetBuiltinModuleMissing("STANDINWAB.DLL", true);
}

TEST_F(AddressBookAccess, ABookThatDidNotOpenShowsNothing) {
  kx::SetBuiltinModuleMissing("WAB32.DLL", true);
  CAddressBook book;
  EXPECT_FALSE(book.LoadAddressBook(nullptr));
  EXPECT_EQ(book.ShowAddressBook(nullptr, 1), E_FAIL);
  EXPECT_EQ(book.FindEntry(nullptr), E_FAIL);
  EXPECT_EQ(book.OpenLdapUrl(nullptr, "ldap://x", TRUE), E_FAIL);
  ULONG size = 7;
  LPENTRYID id = reinterpret_cast<LPENTRYID>(&size);
  EXPECT_EQ(book.GetTemplateEntryId(7, &size, &id), E_INVALIDARG);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(id, reinterpret_cast<LPENTRYID>(&size));
  kx::SetBuiltinModuleMissing("WAB32.DLL", false);
  // Opened, a type other than a contact or a list is still refused.
  ASSERT_TRUE(book.LoadAddressBook(nullptr));
  EXPECT_EQ(book.GetTemplateEntryId(7, &size, &id), E_INVALIDARG);
  ASSERT_EQ(book.GetTemplateEntryId(MAPI_MAILUSER, &size, &id), S_OK);
  EXPECT_GT(size, 0u);
  std::free(id);  // the caller's to give back; the platform book allocates from the C heap
}

TEST_F(AddressBookAccess, ThePlatformBookListsContactsAndAddressBookCertificates) {
  AddCert("AddressBook", "encrypt");
  CAddressBook book;
  ASSERT_TRUE(book.LoadAddressBook(nullptr));
  std::vector<std::string> names, kinds;
  HRESULT created = E_FAIL;
  // A new contact, cancelled once and then given.
  kx::RunWithUiHere([&] { return INT_PTR(created = book.CreateEntry(nullptr)); },
                    [&](kx::UiDriver& d) {
                      HWND dialog = d.WaitForTitle("New Contact");
                      d.Click(d.ControlByText(dialog, "Cancel", "Button"));
                      d.WaitForGone(dialog);
                    });
  EXPECT_EQ(created, KX_HR(0x80040113));
  kx::RunWithUiHere([&] { return INT_PTR(created = book.CreateEntry(nullptr)); },
                    [&](kx::UiDriver& d) {
                      HWND dialog = d.WaitForTitle("New Contact");
                      d.SetText(d.ControlByClass(dialog, "Edit", 0), "Zoe Contact");
                      d.SetText(d.ControlByClass(dialog, "Edit", 1), "zoe@example.com");
                      d.Click(d.ControlByText(dialog, "OK", "Button"));
                      d.WaitForGone(dialog);
                    });
  EXPECT_EQ(created, S_OK);
  EXPECT_EQ(ReadFile(kx::UserStateDir() + "/addressbook/contacts.txt"), "Zoe Contact\tzoe@example.com\n");

  // The browse dialog shows both kinds of entry; the search finds by part of a name or an address.
  kx::RunWithUiHere([&] { return INT_PTR(book.ShowAddressBook(nullptr, 1)); },
                    [&](kx::UiDriver& d) {
                      HWND dialog = d.WaitForTitle("Address Book");
                      HWND list = d.ControlByClass(dialog, "SysListView32");
                      names = Column(d, list, 0);
                      kinds = Column(d, list, 2);
                      d.Click(d.ControlByText(dialog, "Close", "Button"));
                      d.WaitForGone(dialog);
                    });
  EXPECT_EQ(names, (std::vector<std::string>{"Bob Encryption", "Zoe Contact"}));
  EXPECT_EQ(kinds, (std::vector<std::string>{"Certificate", "Contact"}));
  std::vector<std::string> found;
  kx::RunWithUiHere([&] { return INT_PTR(book.FindEntry(nullptr)); },
                    [&](kx::UiDriver& d) {
                      HWND dialog = d.WaitForTitle("Find People");
                      d.SetText(d.ControlByClass(dialog, "Edit"), "BOB@");
                      d.Click(d.ControlByText(dialog, "Find Now", "Button"));
                      found = Column(d, d.ControlByClass(dialog, "SysListView32"), 1);
                      d.Click(d.ControlByText(dialog, "Close", "Button"));
                      d.WaitForGone(dialog);
                    });
  EXPECT_EQ(found, std::vector<std::string>{"bob@example.com"});
  // An LDAP address whose server is not there: told as a network error, not as a wrong address.
  const std::string down = "ldap://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/";
  EXPECT_EQ(book.OpenLdapUrl(nullptr, down.c_str(), FALSE), KX_HR(0x80040115));
  EXPECT_EQ(book.OpenLdapUrl(nullptr, "ldap://", FALSE), E_INVALIDARG);
}

}  // namespace
}  // namespace certsel
