#include "platform/services/wab.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/com/comobject.h"
#include "platform/ldap/ldap.h"
#include "platform/services/offthread.h"
#include "platform/cryptoapi/cryptoapi.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/commonctrl.h"
#include "platform/ui/dlgbuild.h"
#include "platform/win32/modules.h"
#include "platform/win32/stateroot.h"

namespace {

// ---------------------------------------------------------------------------------------------------------------
// The book's contents
// ---------------------------------------------------------------------------------------------------------------

std::string ContactsFile(const std::string& file) {
  return file.empty() ? kx::UserStateDir() + "/addressbook/contacts.txt" : file;
}

// One line of the file holds one contact: the name, a tab, the address. Control characters cannot be stored.
std::string Clean(const std::string& text) {
  std::string out;
  for (char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  size_t first = out.find_first_not_of(' '), last = out.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

std::string NameEntry(X509_NAME* name, int nid) {
  char text[256] = {};
  int n = X509_NAME_get_text_by_NID(name, nid, text, sizeof text);
  return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

// The certificates of the user's "AddressBook" store, by subject and e-mail address.
std::vector<kx::AddressBookEntry> StoreCertificates() {
  std::vector<kx::AddressBookEntry> out;
  HCERTSTORE store = CertOpenSystemStoreA(0, "AddressBook");
  if (!store) return out;
  for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c; c = CertEnumCertificatesInStore(store, c)) {
    const unsigned char* p = c->pbCertEncoded;
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(c->cbCertEncoded));
    if (!x) continue;
    kx::AddressBookEntry e;
    e.certificate = true;
    X509_NAME* subject = X509_get_subject_name(x);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress})
      if (e.name.empty()) e.name = NameEntry(subject, nid);
    STACK_OF(OPENSSL_STRING)* emails = X509_get1_email(x);
    if (emails && sk_OPENSSL_STRING_num(emails) > 0) e.email = sk_OPENSSL_STRING_value(emails, 0);
    X509_email_free(emails);
    X509_free(x);
    out.push_back(e);
  }
  CertCloseStore(store, 0);
  return out;
}

std::vector<kx::AddressBookEntry> AllEntries(const std::string& file) {
  std::vector<kx::AddressBookEntry> all = kx::ReadContacts(file);
  std::vector<kx::AddressBookEntry> certificates = StoreCertificates();
  all.insert(all.end(), certificates.begin(), certificates.end());
  std::stable_sort(all.begin(), all.end(), [](const kx::AddressBookEntry& a, const kx::AddressBookEntry& b) {
    return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  return all;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

// ---------------------------------------------------------------------------------------------------------------
// Dialogs
// ---------------------------------------------------------------------------------------------------------------

constexpr int kList = 100, kNewContact = 101, kFindPeople = 102;
constexpr int kFindText = 201, kFindNow = 202, kFindList = 203;
constexpr int kNameEdit = 301, kEmailEdit = 302;
constexpr int kLimitText = 401;

std::string WindowText(HWND w) {
  char text[512] = {};
  GetWindowText(w, text, sizeof text);
  return text;
}

void InitColumns(HWND list, const char* third = "Kind") {
  const char* headings[] = {"Name", "E-mail Address", third};
  const int widths[] = {150, 170, 80};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(headings[i]);
    column.cx = widths[i];
    SendMessage(list, LVM_INSERTCOLUMN, i, reinterpret_cast<LPARAM>(&column));
  }
}

void ShowEntries(HWND list, const std::vector<kx::AddressBookEntry>& entries) {
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const auto& e : entries) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(e.name.c_str());
    SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
    const std::string kind = e.certificate ? "Certificate" : "Contact";
    const std::string* texts[] = {&e.email, &kind};
    for (int sub = 1; sub <= 2; ++sub) {
      LVITEMA s{};
      s.iSubItem = sub;
      s.pszText = const_cast<char*>(texts[sub - 1]->c_str());
      SendMessage(list, LVM_SETITEMTEXT, row, reinterpret_cast<LPARAM>(&s));
    }
    ++row;
  }
}

// What a dialog of the book works on: the contacts file, and whether a contact was added.
struct DialogState {
  std::string file;
  bool added = false;
};

DialogState* StateOf(HWND dlg) { return reinterpret_cast<DialogState*>(GetWindowLongPtr(dlg, DWLP_USER)); }

// The part every dialog of the book shares: its state kept with the window, Escape and Close end it.
bool CommonMessage(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) SetWindowLongPtr(dlg, DWLP_USER, lp);
  if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
    EndDialog(dlg, IDCANCEL);
    return true;
  }
  return false;
}

INT_PTR RunDialog(const kx::DialogTemplate& t, HWND parent, DLGPROC proc, DialogState& state) {
  if (parent && !IsWindow(parent)) parent = nullptr;
  return DialogBoxIndirectParam(nullptr, &t, parent, proc, reinterpret_cast<LPARAM>(&state));
}

kx::DialogItemTemplate EditItem(int id, short x, short y, short cx) {
  return kx::dlg::Item("Edit", "", id, x, y, cx, 14, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP);
}

kx::DialogItemTemplate ListItem(int id, short y, short cy) {
  return kx::dlg::Item("SysListView32", "", id, 7, y, 286, cy,
                       LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP);
}

INT_PTR CALLBACK NewContactProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (CommonMessage(dlg, msg, wp, lp)) return TRUE;
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg != WM_COMMAND || LOWORD(wp) != IDOK) return FALSE;
  kx::AddressBookEntry e;
  e.name = Clean(WindowText(GetDlgItem(dlg, kNameEdit)));
  e.email = Clean(WindowText(GetDlgItem(dlg, kEmailEdit)));
  const char* problem = e.name.empty()                          ? "Please type a name for the contact."
                        : !kx::AddContact(e, StateOf(dlg)->file) ? "The contact could not be saved."
                                                                 : nullptr;
  if (problem) {
    MessageBox(dlg, problem, "New Contact", MB_OK | MB_ICONEXCLAMATION);
    return TRUE;
  }
  StateOf(dlg)->added = true;
  EndDialog(dlg, IDOK);
  return TRUE;
}

// The new-contact dialog; S_OK when a contact was added.
HRESULT ShowNewContact(HWND parent, const std::string& file) {
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog("New Contact", 230, 86);
  t.items.push_back(Item("Static", "&Display name:", -1, 7, 9, 60, 10, SS_LEFT));
  t.items.push_back(EditItem(kNameEdit, 70, 7, 153));
  t.items.push_back(Item("Static", "&E-mail address:", -1, 7, 29, 60, 10, SS_LEFT));
  t.items.push_back(EditItem(kEmailEdit, 70, 27, 153));
  t.items.push_back(Item("Button", "OK", IDOK, 119, 65, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "Cancel", IDCANCEL, 173, 65, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  DialogState s{file};
  if (RunDialog(t, parent, NewContactProc, s) == -1) return E_FAIL;
  return s.added ? S_OK : MAPI_E_USER_CANCEL;
}

INT_PTR CALLBACK FindProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (CommonMessage(dlg, msg, wp, lp)) return TRUE;
  if (msg == WM_INITDIALOG) {
    InitColumns(GetDlgItem(dlg, kFindList));
    return TRUE;
  }
  if (msg != WM_COMMAND || (LOWORD(wp) != kFindNow && LOWORD(wp) != IDOK)) return FALSE;
  const std::string wanted = Clean(WindowText(GetDlgItem(dlg, kFindText)));
  std::vector<kx::AddressBookEntry> found;
  if (!wanted.empty())
    for (const auto& e : AllEntries(StateOf(dlg)->file))
      if (ContainsNoCase(e.name, wanted) || ContainsNoCase(e.email, wanted)) found.push_back(e);
  ShowEntries(GetDlgItem(dlg, kFindList), found);
  return TRUE;
}

HRESULT ShowFind(HWND parent, const std::string& file) {
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog("Find People", 300, 180);
  t.items.push_back(Item("Static", "&Name or e-mail address:", -1, 7, 9, 90, 10, SS_LEFT));
  t.items.push_back(EditItem(kFindText, 100, 7, 139));
  t.items.push_back(Item("Button", "&Find Now", kFindNow, 243, 7, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  t.items.push_back(ListItem(kFindList, 28, 124));
  t.items.push_back(Item("Button", "Close", IDCANCEL, 243, 159, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  DialogState s{file};
  return RunDialog(t, parent, FindProc, s) == -1 ? E_FAIL : S_OK;
}

INT_PTR CALLBACK BrowseProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (CommonMessage(dlg, msg, wp, lp)) return TRUE;
  HWND list = GetDlgItem(dlg, kList);
  if (msg == WM_INITDIALOG) {
    InitColumns(list);
    ShowEntries(list, AllEntries(StateOf(dlg)->file));
    return TRUE;
  }
  if (msg != WM_COMMAND) return FALSE;
  switch (LOWORD(wp)) {
    case kNewContact:
      if (ShowNewContact(dlg, StateOf(dlg)->file) == S_OK) ShowEntries(list, AllEntries(StateOf(dlg)->file));
      return TRUE;
    case kFindPeople:
      ShowFind(dlg, StateOf(dlg)->file);
      return TRUE;
    case IDOK:
      EndDialog(dlg, IDOK);
      return TRUE;
  }
  return FALSE;
}

HRESULT ShowBrowse(HWND parent, const char* caption, const std::string& file) {
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog(caption && *caption ? caption : "Address Book", 300, 190);
  t.items.push_back(ListItem(kList, 7, 152));
  t.items.push_back(Item("Button", "&New Contact...", kNewContact, 7, 169, 70, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "&Find People...", kFindPeople, 81, 169, 70, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "Close", IDCANCEL, 243, 169, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  DialogState s{file};
  return RunDialog(t, parent, BrowseProc, s) == -1 ? E_FAIL : S_OK;
}

// The entries an LDAP address finds, in a window of the book: name, e-mail address, certificates.
INT_PTR CALLBACK LdapEntriesProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    HWND list = GetDlgItem(dlg, kList);
    InitColumns(list, "Certificates");
    const auto& entries = *reinterpret_cast<const std::vector<kx::ldap::Entry>*>(lp);
    int row = 0;
    for (const auto& e : entries) {
      std::vector<std::string> names = e.Values("displayName"), cns = e.Values("cn"), mails = e.Values("mail");
      size_t certificates = e.Values("userCertificate").size() + e.Values("userSMIMECertificate").size();
      const std::string texts[] = {
          Clean(!names.empty() ? names[0] : !cns.empty() ? cns[0] : e.dn), Clean(mails.empty() ? "" : mails[0]),
          certificates ? std::to_string(certificates) : "None"};
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = const_cast<char*>(texts[0].c_str());
      SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
      for (int sub = 1; sub <= 2; ++sub) {
        LVITEMA s{};
        s.iSubItem = sub;
        s.pszText = const_cast<char*>(texts[sub].c_str());
        SendMessage(list, LVM_SETITEMTEXT, row, reinterpret_cast<LPARAM>(&s));
      }
      ++row;
    }
    return TRUE;
  }
  if (msg == WM_COMMAND && (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK)) {
    EndDialog(dlg, IDOK);
    return TRUE;
  }
  return FALSE;
}

// Searches an LDAP address (RFC 4516) and shows what it finds. A bad address is E_INVALIDARG, a server that
// could not be searched MAPI_E_NETWORK_ERROR (kx::ldap::LastDirectoryMessage says why), nothing found
// MAPI_E_NOT_FOUND.
HRESULT ShowLdapUrl(HWND parent, const char* url) {
  kx::ldap::Url u;
  if (!url || !kx::ldap::ParseUrl(url, u)) return E_INVALIDARG;
  // An address without a host is on the configured directory, and unusable while there is none.
  auto server = std::make_shared<kx::ldap::Server>(kx::ldap::ServerFor(u));
  if (server->uri.empty()) {
    kx::ldap::SetLastDirectoryResult(kx::ldap::Status::NotConfigured, "no directory server is configured");
    return E_INVALIDARG;
  }
  if (parent && !IsWindow(parent)) parent = nullptr;
  // The search runs on a thread of its own that owns what it uses, so that Stop can leave it behind.
  auto r = std::make_shared<kx::ldap::Result>();
  const bool ended = kx::RunOffThread(
      parent, "Searching " + server->uri + ". Press Stop to end the search.",
      [server, r, u](const std::atomic<bool>& stop) {
        *r = kx::ldap::Search(*server, u.dn, u.scope, u.filter,
                              {"cn", "displayName", "mail", "userCertificate;binary", "userCertificate",
                               "userSMIMECertificate;binary", "userSMIMECertificate"},
                              &stop);
      });
  if (!ended) {
    r = std::make_shared<kx::ldap::Result>();
    r->status = kx::ldap::Status::Cancelled;
    r->message = "the search was stopped";
  }
  kx::ldap::SetLastDirectoryResult(r->status, r->message);
  if (r->status == kx::ldap::Status::BadAddress) return E_INVALIDARG;
  if (r->status == kx::ldap::Status::Cancelled) return MAPI_E_USER_CANCEL;
  if (r->status != kx::ldap::Status::Ok) return MAPI_E_NETWORK_ERROR;
  if (r->entries.empty()) return MAPI_E_NOT_FOUND;
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog(std::string("Directory Entries - ") + url, 300, 190);
  const std::string cut = kx::ldap::LimitText(*r, *server);
  // A cut-short result says so above the list.
  t.items.push_back(ListItem(kList, cut.empty() ? 7 : 27, cut.empty() ? 152 : 132));
  if (!cut.empty()) {
    std::string text = "Only part of the result is listed: " + cut + ".";
    text[0] = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
    t.items.push_back(Item("Static", text, kLimitText, 7, 7, 286, 18, SS_LEFT));
  }
  t.items.push_back(Item("Button", "Close", IDCANCEL, 243, 169, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  return DialogBoxIndirectParam(nullptr, &t, parent, LdapEntriesProc, reinterpret_cast<LPARAM>(&r->entries)) == -1
             ? E_FAIL
             : S_OK;
}

// ---------------------------------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------------------------------

// Identifiers of the book's own objects: the personal book and its two creation templates.
constexpr BYTE kPabId[] = {0, 0, 0, 0, 'K', 'X', 'P', 'A', 'B'};
constexpr BYTE kContactTemplate[] = {0, 0, 0, 0, 'K', 'X', 'T', 'M', MAPI_MAILUSER};
constexpr BYTE kGroupTemplate[] = {0, 0, 0, 0, 'K', 'X', 'T', 'M', MAPI_DISTLIST};

bool Is(ULONG cb, const ENTRYID* id, const BYTE (&bytes)[9]) {
  return id && cb == sizeof bytes && std::memcmp(id, bytes, sizeof bytes) == 0;
}

HRESULT Allocate(ULONG cb, void** out) {
  if (!out) return E_INVALIDARG;
  *out = std::calloc(1, cb ? cb : 1);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CopyId(const BYTE* bytes, ULONG cb, ULONG* cbOut, LPENTRYID* out) {
  if (!cbOut || !out) return E_INVALIDARG;
  void* p = nullptr;
  HRESULT hr = Allocate(cb, &p);
  if (FAILED(hr)) return hr;
  std::memcpy(p, bytes, cb);
  *cbOut = cb;
  *out = static_cast<LPENTRYID>(p);
  return S_OK;
}

class PersonalBook final : public kx::ComObject<PersonalBook, IMAPIProp> {
 public:
  STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
    if (!tags || !count || !values) return E_INVALIDARG;
    const ULONG n = tags->cValues;
    // The values and the template bytes they point to, in one block that FreeBuffer releases.
    const size_t bytes = n * sizeof(SPropValue) + 2 * sizeof kContactTemplate;
    void* block = nullptr;
    HRESULT hr = Allocate(static_cast<ULONG>(bytes), &block);
    if (FAILED(hr)) return hr;
    auto* v = static_cast<SPropValue*>(block);
    BYTE* templates = reinterpret_cast<BYTE*>(v + n);
    std::memcpy(templates, kContactTemplate, sizeof kContactTemplate);
    std::memcpy(templates + sizeof kContactTemplate, kGroupTemplate, sizeof kGroupTemplate);
    bool missing = false;
    for (ULONG i = 0; i < n; ++i) {
      const ULONG tag = tags->aulPropTag[i];
      if (tag == PR_DEF_CREATE_MAILUSER || tag == PR_DEF_CREATE_DL) {
        v[i].ulPropTag = tag;
        v[i].Value.bin.cb = sizeof kContactTemplate;
        v[i].Value.bin.lpb = templates + (tag == PR_DEF_CREATE_MAILUSER ? 0 : sizeof kContactTemplate);
      } else {
        v[i].ulPropTag = (tag & 0xFFFF0000u) | 0x000A;  // PT_ERROR: the book has no such value
        v[i].Value.l = MAPI_E_NOT_FOUND;
        missing = true;
      }
    }
    *count = n;
    *values = v;
    return missing ? KX_HR(0x00040380) : S_OK;  // MAPI_W_ERRORS_RETURNED
  }
};

class AddrBook final : public kx::ComObject<AddrBook, IAddrBook> {
 public:
  explicit AddrBook(std::string file) : m_file(std::move(file)) {}
  bool QueryBase(REFIID riid, void** ppv) {
    if (riid != KX_IIDOF(IMAPIProp)) return false;
    *ppv = static_cast<IMAPIProp*>(this);
    return true;
  }
  STDMETHODIMP GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP OpenEntry(ULONG cb, LPENTRYID id, const IID* iface, ULONG, ULONG* objType, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!Is(cb, id, kPabId)) return MAPI_E_NOT_FOUND;
    IMAPIProp* book = new PersonalBook;
    HRESULT hr = S_OK;
    if (iface) hr = book->QueryInterface(*iface, reinterpret_cast<void**>(out));
    else *out = book, book->AddRef();
    book->Release();
    if (FAILED(hr)) return hr;
    if (objType) *objType = MAPI_ABCONT;
    return S_OK;
  }
  STDMETHODIMP NewEntry(ULONG_PTR uiParam, ULONG, ULONG, LPENTRYID, ULONG cbTemplate, LPENTRYID templateID,
                        ULONG* cbNewEntry, LPENTRYID* newEntry) override {
    if (Is(cbTemplate, templateID, kGroupTemplate)) return MAPI_E_NO_SUPPORT;  // the book keeps no groups
    if (!Is(cbTemplate, templateID, kContactTemplate)) return MAPI_E_INVALID_ENTRYID;
    HRESULT hr = ShowNewContact(reinterpret_cast<HWND>(uiParam), m_file);
    if (hr != S_OK || !cbNewEntry || !newEntry) return hr;
    // The new contact's identifier: its place in the file.
    std::string id = "KXCT" + std::to_string(kx::ReadContacts(m_file).size() - 1);
    std::string bytes(4, '\0');
    bytes += id;
    return CopyId(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<ULONG>(bytes.size()), cbNewEntry, newEntry);
  }
  STDMETHODIMP Address(ULONG_PTR* uiParam, ADRPARM* parameters, ADRLIST** recipients) override {
    if (recipients) *recipients = nullptr;
    HWND parent = uiParam ? reinterpret_cast<HWND>(*uiParam) : nullptr;
    return ShowBrowse(parent, parameters ? parameters->lpszCaption : nullptr, m_file);
  }
  STDMETHODIMP GetPAB(ULONG* cb, LPENTRYID* id) override { return CopyId(kPabId, sizeof kPabId, cb, id); }

  const std::string& File() const { return m_file; }

 private:
  std::string m_file;
};

class WabObject final : public kx::ComObject<WabObject, IWABObject> {
 public:
  STDMETHODIMP AllocateBuffer(ULONG cb, void** out) override { return Allocate(cb, out); }
  STDMETHODIMP_(ULONG) FreeBuffer(void* buffer) override {
    std::free(buffer);
    return 0;
  }
  STDMETHODIMP Find(IAddrBook* book, HWND parent) override {
    auto* own = dynamic_cast<AddrBook*>(book);
    return ShowFind(parent, own ? own->File() : std::string());
  }
  STDMETHODIMP LDAPUrl(IAddrBook*, HWND parent, ULONG, LPSTR url, IMailUser** mailUser) override {
    if (mailUser) *mailUser = nullptr;
    return ShowLdapUrl(parent, url);
  }
};

HRESULT WABOpen(IAddrBook** book, IWABObject** wabObject, WAB_PARAM* parameters, DWORD) {
  if (!book || !wabObject) return E_INVALIDARG;
  std::string file;
  if (parameters && parameters->szFileName) file = parameters->szFileName;
  *book = new AddrBook(ContactsFile(file));
  *wabObject = new WabObject;
  return S_OK;
}

const kx::BuiltinExport kExports[] = {{"WABOpen", 0, reinterpret_cast<void*>(&WABOpen)}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule("WAB32.DLL", kExports, 1);
  return true;
}();

}  // namespace

namespace kx {

std::vector<AddressBookEntry> ReadContacts(const std::string& file) {
  std::vector<AddressBookEntry> out;
  std::ifstream in(ContactsFile(file));
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    AddressBookEntry e;
    e.name = line.substr(0, tab);
    if (tab != std::string::npos) e.email = line.substr(tab + 1);
    if (!e.name.empty()) out.push_back(e);
  }
  return out;
}

bool AddContact(const AddressBookEntry& contact, const std::string& file) {
  AddressBookEntry e{Clean(contact.name), Clean(contact.email), false};
  if (e.name.empty()) return false;
  const std::string path = ContactsFile(file);
  std::vector<AddressBookEntry> all = ReadContacts(file);
  all.push_back(e);
  size_t slash = path.rfind('/');
  if (slash != std::string::npos) ::mkdir(path.substr(0, slash).c_str(), 0700);
  // The whole file is written beside it and put in its place, so that a failed write loses nothing.
  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& c : all) out << c.name << '\t' << c.email << '\n';
    out.flush();
    if (!out) {
      ::unlink(temp.c_str());
      return false;
    }
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace kx
