#include "platform/services/certmgr.h"

#include <strings.h>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/encoded.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/capicom/core/keys.h"
#include "platform/capicom/core/logicalstores.h"
#include "platform/capicom/core/store.h"
#include "platform/capicom/display.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/commdlg.h"
#include "platform/ui/commonctrl.h"
#include "platform/ui/dlgbuild.h"
#include "platform/win32/errors.h"
#include "platform/win32/heap.h"
#include "platform/win32/modules.h"
#include "platform/win32/textconv.h"

namespace {

using kx::capi::CertRef;
using kx::capi::CertStore;
using kx::capi::LogicalStore;
using kx::capi::StoreEntry;

constexpr const char* kTitle = "Certificates";
constexpr const char* kAnyPurpose = "2.5.29.37.0";

struct Row {
  StoreEntry entry;
  std::string texts[4];  // Issued To, Issued By, Expiration Date, Friendly Name
  double notAfter = 0;
};

struct State {
  std::string title = kTitle;
  std::string purpose;
  std::vector<LogicalStore> stores;
  std::vector<Row> rows;
  int sortColumn = -1;
  bool descending = false;
};

State* StateOf(HWND dlg) { return reinterpret_cast<State*>(GetWindowLongPtr(dlg, DWLP_USER)); }

int Ask(HWND dlg, const std::string& text, UINT icon = MB_ICONQUESTION) {
  return MessageBox(dlg, text.c_str(), StateOf(dlg)->title.c_str(), MB_YESNO | MB_DEFBUTTON2 | icon);
}

void Tell(HWND dlg, const std::string& text, UINT icon = MB_ICONINFORMATION) {
  MessageBox(dlg, text.c_str(), StateOf(dlg)->title.c_str(), MB_OK | icon);
}

// An OLE date as the year, month and day.
std::string DateText(double oleDate) {
  const long long days = static_cast<long long>(std::floor(oleDate)) - 25569;  // to days since 1970-01-01
  // Civil date from a day count (proleptic Gregorian).
  long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400, doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
  char text[80];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", y + (m <= 2), m, d);
  return text;
}

bool GoodFor(const kx::capi::CertData& cert, const std::string& purpose) {
  if (purpose.empty()) return true;
  const kx::capi::EkuInfo eku = cert.extendedKeyUsage();
  if (!eku.present) return true;
  return std::find(eku.oids.begin(), eku.oids.end(), purpose) != eku.oids.end() ||
         std::find(eku.oids.begin(), eku.oids.end(), kAnyPurpose) != eku.oids.end();
}

int CurrentTab(HWND dlg) {
  const int tab = static_cast<int>(SendMessage(GetDlgItem(dlg, kCertMgrTabs), TCM_GETCURSEL, 0, 0));
  const int count = static_cast<int>(StateOf(dlg)->stores.size());
  return tab >= 0 && tab < count ? tab : 0;
}

const LogicalStore& CurrentStore(HWND dlg) { return StateOf(dlg)->stores[CurrentTab(dlg)]; }

HRESULT OpenStore(const LogicalStore& store, bool write, std::shared_ptr<CertStore>& out) {
  return CertStore::Open(store.location, store.name,
                         write ? CAPICOM_STORE_OPEN_READ_WRITE : CAPICOM_STORE_OPEN_READ_ONLY, out);
}

int Selected(HWND dlg) {
  const int item = static_cast<int>(SendMessage(GetDlgItem(dlg, kCertMgrList), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                LVNI_SELECTED));
  const State* s = StateOf(dlg);
  return item >= 0 && item < static_cast<int>(s->rows.size()) ? item : -1;
}

void UpdateButtons(HWND dlg) {
  const int row = Selected(dlg);
  EnableWindow(GetDlgItem(dlg, kCertMgrExport), row >= 0);
  EnableWindow(GetDlgItem(dlg, kCertMgrRemove), row >= 0);
  EnableWindow(GetDlgItem(dlg, kCertMgrView), row >= 0);
}

void SortRows(State& s) {
  if (s.sortColumn < 0) return;
  const int c = s.sortColumn;
  std::stable_sort(s.rows.begin(), s.rows.end(), [&](const Row& a, const Row& b) {
    int order = c == 2 ? (a.notAfter < b.notAfter ? -1 : a.notAfter > b.notAfter ? 1 : 0)
                       : strcasecmp(a.texts[c].c_str(), b.texts[c].c_str());
    return s.descending ? order > 0 : order < 0;
  });
}

void ShowRows(HWND dlg) {
  State* s = StateOf(dlg);
  HWND list = GetDlgItem(dlg, kCertMgrList);
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < s->rows.size(); ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(s->rows[i].texts[0].c_str());
    SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub < 4; ++sub) {
      LVITEMA text{};
      text.iSubItem = sub;
      text.pszText = const_cast<char*>(s->rows[i].texts[sub].c_str());
      SendMessage(list, LVM_SETITEMTEXT, i, reinterpret_cast<LPARAM>(&text));
    }
  }
  UpdateButtons(dlg);
}

void Reload(HWND dlg) {
  State* s = StateOf(dlg);
  s->rows.clear();
  std::shared_ptr<CertStore> store;
  if (OpenStore(CurrentStore(dlg), false, store) == S_OK) {
    for (StoreEntry& e : store->Entries()) {
      if (!GoodFor(*e.cert, s->purpose)) continue;
      Row row;
      row.texts[0] = e.cert->nameInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME);
      row.texts[1] = e.cert->nameInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME);
      row.notAfter = e.cert->notAfter();
      row.texts[2] = DateText(row.notAfter);
      row.texts[3] = e.friendlyName.empty() ? "<None>" : e.friendlyName;
      row.entry = std::move(e);
      s->rows.push_back(std::move(row));
    }
  }
  SortRows(*s);
  ShowRows(dlg);
}

// ---- passwords ----

struct PasswordState {
  bool confirm = false;
  std::string password;
  ~PasswordState() { kx::WipeString(password); }
};

INT_PTR CALLBACK PasswordProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtr(dlg, DWLP_USER, lp);
    return TRUE;
  }
  if (msg != WM_COMMAND) return FALSE;
  auto* state = reinterpret_cast<PasswordState*>(GetWindowLongPtr(dlg, DWLP_USER));
  if (LOWORD(wp) == IDCANCEL) {
    EndDialog(dlg, IDCANCEL);
    return TRUE;
  }
  if (LOWORD(wp) != IDOK) return FALSE;
  char first[256] = {}, second[256] = {};
  GetDlgItemText(dlg, kCertMgrPassword, first, sizeof first);
  GetDlgItemText(dlg, kCertMgrConfirm, second, sizeof second);
  const bool match = !state->confirm || std::strcmp(first, second) == 0;
  if (match) state->password = first;
  SecureZeroMemory(first, sizeof first);
  SecureZeroMemory(second, sizeof second);
  if (!match) {
    MessageBox(dlg, "The passwords do not match. Type the same password in both boxes.", "Password",
               MB_OK | MB_ICONEXCLAMATION);
    return TRUE;
  }
  EndDialog(dlg, IDOK);
  return TRUE;
}

// Asks for the password of a PFX file (confirm: a new one, typed twice); false when cancelled.
bool AskPassword(HWND parent, const char* prompt, bool confirm, std::string& password) {
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog("Password", 220, confirm ? 86 : 66);
  t.items.push_back(Item("Static", prompt, -1, 7, 7, 206, 18, SS_LEFT));
  t.items.push_back(Item("Static", "&Password:", -1, 7, 29, 50, 10, SS_LEFT));
  t.items.push_back(Item("Edit", "", kCertMgrPassword, 60, 27, 153, 14, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP));
  if (confirm) {
    t.items.push_back(Item("Static", "&Confirm:", -1, 7, 49, 50, 10, SS_LEFT));
    t.items.push_back(Item("Edit", "", kCertMgrConfirm, 60, 47, 153, 14, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP));
  }
  const short y = confirm ? 67 : 47;
  t.items.push_back(Item("Button", "OK", IDOK, 109, y, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "Cancel", IDCANCEL, 163, y, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  PasswordState state;
  state.confirm = confirm;
  if (DialogBoxIndirectParam(nullptr, &t, parent, PasswordProc, reinterpret_cast<LPARAM>(&state)) != IDOK) return false;
  password.swap(state.password);
  return true;
}

// ---- import ----

// A PFX file: its certificate with its key into Personal, the other certificates of the file into the
// intermediate authorities (a root never becomes trusted by coming with a PFX file).
bool ImportPfx(HWND dlg, const kx::capi::Bytes& bytes, std::string& problem) {
  for (;;) {
    std::string password;
    if (!AskPassword(dlg, "Type the password that protects the private key of this file.", false, password)) return false;
    kx::capi::PfxContents pfx;
    HRESULT hr = kx::capi::ReadPfx(bytes.data(), bytes.size(), password, pfx);
    kx::WipeString(password);
    if (hr == CAPICOM_HR_INVALID_PASSWORD) {
      Tell(dlg, "The password you typed is not correct.", MB_ICONEXCLAMATION);
      continue;
    }
    if (FAILED(hr) || !pfx.cert) {
      problem = "The file is damaged or is no PFX file.";
      return false;
    }
    StoreEntry entry;
    entry.cert = pfx.cert;
    if (pfx.key) {
      kx::capi::KeyLink link;
      link.container = kx::capi::ContainerNameFor(*pfx.cert);
      link.exportable = true;
      link.providerName = kx::capi::kSoftwareProviderName;
      if (FAILED(kx::capi::SaveKey(pfx.key.get(), link))) {
        problem = "The private key could not be stored.";
        return false;
      }
      entry.key = link;
    }
    std::shared_ptr<CertStore> mine, authorities;
    if (CertStore::Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE, mine) != S_OK ||
        FAILED(mine->Add(entry))) {
      problem = "The certificate could not be added to the Personal store.";
      return false;
    }
    if (CertStore::Open(CAPICOM_CURRENT_USER_STORE, "CA", CAPICOM_STORE_OPEN_READ_WRITE, authorities) == S_OK)
      for (const CertRef& other : pfx.others) {
        if (other->isSelfIssued()) continue;
        StoreEntry e;
        e.cert = other;
        authorities->Add(e);
      }
    return true;
  }
}

void Import(HWND dlg) {
  char path[1024] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dlg;
  ofn.lpstrFilter =
      "Certificate files (*.cer;*.crt;*.der;*.pem;*.p7b;*.p7c;*.pfx;*.p12)\0*.cer;*.crt;*.der;*.pem;*.p7b;*.p7c;*.pfx;*.p12\0"
      "All files (*.*)\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrTitle = "Import";
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileName(&ofn)) return;
  kx::capi::Bytes bytes;
  if (!kx::capi::ReadWholeFile(path, bytes) || bytes.empty()) {
    Tell(dlg, std::string("The file \"") + path + "\" could not be read.", MB_ICONEXCLAMATION);
    return;
  }
  std::string problem;
  bool done = false;
  if (kx::capi::LooksLikePfx(bytes.data(), bytes.size())) {
    done = ImportPfx(dlg, bytes, problem);
    if (done) {
      // The Personal tab shows what came in.
      State* s = StateOf(dlg);
      for (size_t i = 0; i < s->stores.size(); ++i)
        if (s->stores[i].name == "My") SendMessage(GetDlgItem(dlg, kCertMgrTabs), TCM_SETCURSEL, i, 0);
    }
  } else {
    std::vector<CertRef> certs;
    std::vector<kx::capi::CrlRef> crls;
    std::shared_ptr<CertStore> store;
    const bool roots = CurrentStore(dlg).name == "Root";
    if (FAILED(kx::capi::ReadEncodedObjects(bytes.data(), bytes.size(), certs, crls)) || certs.empty()) {
      problem = "The file holds no certificate this manager can read.";
    } else if (roots &&
               Ask(dlg,
                   (certs.size() == 1
                        ? "Everything issued under \"" + certs[0]->nameInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME) +
                              "\" will be trusted: signatures, encrypted mail and servers that show it. "
                              "Do you want to add this root certificate?"
                        : "Everything issued under any of the " + std::to_string(certs.size()) +
                              " certificates of this file will be trusted: signatures, encrypted mail and servers "
                              "that show them. Do you want to add these root certificates?"),
                   MB_ICONEXCLAMATION) != IDYES) {
      return;
    } else if (OpenStore(CurrentStore(dlg), true, store) != S_OK) {
      problem = "The store cannot be changed.";
    } else {
      done = true;
      for (const CertRef& cert : certs) {
        StoreEntry e;
        e.cert = cert;
        if (FAILED(store->Add(e))) {
          problem = "A certificate could not be added to the store.";
          done = false;
          break;
        }
      }
    }
  }
  Reload(dlg);
  if (done) Tell(dlg, "The import was successful.");
  else if (!problem.empty()) Tell(dlg, problem, MB_ICONEXCLAMATION);
}

// ---- export ----

// The key link of a row with what its container's description says. A token key's container name is only the
// certificate's label: no description of the user's belongs to it, and it never leaves the token.
kx::capi::KeyLink KeyLinkOf(const StoreEntry& entry) {
  kx::capi::KeyLink link = *entry.key;
  if (!link.uri.empty()) {
    link.exportable = false;
    return link;
  }
  if (!kx::capi::ReadKeyLink(entry.key->container, entry.key->machine, link)) link = *entry.key;
  return link;
}

bool WriteExport(HWND dlg, const Row& row, int format, const std::string& path, std::string& problem) {
  kx::capi::Bytes out;
  const kx::capi::CertData& cert = *row.entry.cert;
  if (format == 1) {
    out = cert.der();
  } else if (format == 2) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio && PEM_write_bio_X509(bio, cert.x509())) {
      char* data = nullptr;
      long n = BIO_get_mem_data(bio, &data);
      out.assign(data, data + n);
    }
    BIO_free(bio);
  } else {
    const kx::capi::KeyLink link = KeyLinkOf(row.entry);
    if (!link.exportable) {
      problem = "The private key of this certificate cannot be exported.";
      return false;
    }
    kx::capi::PKeyPtr key = kx::capi::LoadKey(link);
    if (!key) {
      problem = "The private key of this certificate is missing.";
      return false;
    }
    std::string password;
    if (!AskPassword(dlg, "Type a password to protect the private key in the file.", true, password)) return false;
    const HRESULT written = kx::capi::WritePfx(cert, key.get(), {}, password, out);
    kx::WipeString(password);
    if (FAILED(written)) {
      problem = "The file could not be made.";
      return false;
    }
  }
  if (out.empty() || !kx::capi::WriteFileAtomic(path, out.data(), out.size(), format == 3 ? 0600 : 0644)) {
    problem = "The file \"" + path + "\" could not be written.";
    return false;
  }
  return true;
}

void Export(HWND dlg) {
  const int selected = Selected(dlg);
  if (selected < 0) return;
  const Row row = StateOf(dlg)->rows[selected];
  // PFX is offered only for a key that is there and may leave.
  const bool withKey = row.entry.key && kx::capi::KeyExists(*row.entry.key) && KeyLinkOf(row.entry).exportable;
  static const char kCertFilters[] =
      "DER encoded binary X.509 (*.cer)\0*.cer\0Base-64 encoded X.509 (*.cer)\0*.cer\0";
  static const char kPfxFilter[] = "Personal Information Exchange - PKCS #12 (*.pfx)\0*.pfx\0";
  std::string filters(kCertFilters, sizeof kCertFilters - 1);
  if (withKey) filters.append(kPfxFilter, sizeof kPfxFilter - 1);
  filters += '\0';  // the list ends with an empty pair
  char path[1024] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dlg;
  ofn.lpstrFilter = filters.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrTitle = "Export";
  ofn.lpstrDefExt = "cer";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  if (!GetSaveFileName(&ofn)) return;
  std::string target = path;
  const int format = ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= (withKey ? 3u : 2u) ? static_cast<int>(ofn.nFilterIndex) : 1;
  if (format == 3 && target.size() > 4 && target.compare(target.size() - 4, 4, ".cer") == 0)
    target.replace(target.size() - 4, 4, ".pfx");
  std::string problem;
  if (WriteExport(dlg, row, format, target, problem)) Tell(dlg, "The export was successful.");
  else if (!problem.empty()) Tell(dlg, problem, MB_ICONEXCLAMATION);
}

// ---- remove, view ----

void Remove(HWND dlg) {
  const int selected = Selected(dlg);
  if (selected < 0) return;
  const Row row = StateOf(dlg)->rows[selected];
  const LogicalStore store = CurrentStore(dlg);
  std::string question = "Do you want to delete the certificate \"" + row.texts[0] + "\"?";
  if (row.entry.key) question += " You will no longer be able to open what was encrypted for it or sign with it.";
  if (Ask(dlg, question) != IDYES) return;
  if (store.name == "Root" &&
      Ask(dlg, "Certificates issued by \"" + row.texts[0] +
                   "\" will no longer be trusted, and what was signed with them will show an untrusted root. "
                   "Do you want to remove this root certificate?",
          MB_ICONEXCLAMATION) != IDYES)
    return;
  std::shared_ptr<CertStore> open;
  HRESULT hr = OpenStore(store, true, open);
  if (hr == S_OK) hr = open->Remove(row.entry.cert->thumbprint());
  Reload(dlg);
  if (FAILED(hr))
    Tell(dlg, hr != E_ACCESSDENIED ? "The certificate could not be removed."
              : row.entry.key && !row.entry.key->uri.empty()
                  ? "This certificate is on a smart card and cannot be removed here."
                  : "This certificate belongs to the machine and cannot be removed here.",
         MB_ICONEXCLAMATION);
}

void View(HWND dlg) {
  const int selected = Selected(dlg);
  if (selected < 0) return;
  const kx::capi::Bytes& der = StateOf(dlg)->rows[selected].entry.cert->der();
  if (kx::capi::CertificateDisplayFn show = kx::capi::GetCertificateDisplay()) show(der.data(), der.size());
}

// ---- the dialog ----

void InitDialog(HWND dlg) {
  State* s = StateOf(dlg);
  SetWindowText(dlg, s->title.c_str());
  HWND tabs = GetDlgItem(dlg, kCertMgrTabs);
  for (size_t i = 0; i < s->stores.size(); ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(s->stores[i].displayName.c_str());
    SendMessage(tabs, TCM_INSERTITEM, i, reinterpret_cast<LPARAM>(&item));
  }
  HWND list = GetDlgItem(dlg, kCertMgrList);
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const char* headings[] = {"Issued To", "Issued By", "Expiration Date", "Friendly Name"};
  const int widths[] = {180, 180, 100, 150};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(headings[i]);
    column.cx = widths[i];
    SendMessage(list, LVM_INSERTCOLUMN, i, reinterpret_cast<LPARAM>(&column));
  }
  SetWindowText(GetDlgItem(dlg, kCertMgrPurpose),
                s->purpose.empty() ? "Intended purpose: <All>" : ("Intended purpose: " + s->purpose).c_str());
  Reload(dlg);
}

INT_PTR CALLBACK CertMgrProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      InitDialog(dlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDCANCEL:
        case IDOK:
          EndDialog(dlg, IDOK);
          return TRUE;
        case kCertMgrImport: Import(dlg); return TRUE;
        case kCertMgrExport: Export(dlg); return TRUE;
        case kCertMgrRemove: Remove(dlg); return TRUE;
        case kCertMgrView: View(dlg); return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      if (header->idFrom == kCertMgrTabs && header->code == TCN_SELCHANGE) {
        Reload(dlg);
        return TRUE;
      }
      if (header->idFrom != kCertMgrList) return FALSE;
      if (header->code == LVN_COLUMNCLICK) {
        State* s = StateOf(dlg);
        const int column = reinterpret_cast<const NMLISTVIEW*>(lp)->iSubItem;
        s->descending = s->sortColumn == column ? !s->descending : false;
        s->sortColumn = column;
        SortRows(*s);
        ShowRows(dlg);
      } else if (header->code == LVN_ITEMCHANGED) {
        UpdateButtons(dlg);
      } else if (header->code == NM_DBLCLK) {
        View(dlg);
      }
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

BOOL CryptUIStartCertMgr(CRYPTUI_CERT_MGR_STRUCT* parameters) {
  State state;
  HWND parent = nullptr;
  if (parameters) {
    parent = parameters->hwndParent && IsWindow(parameters->hwndParent) ? parameters->hwndParent : nullptr;
    if (parameters->pwszTitle && *parameters->pwszTitle)
      state.title = kx::Utf16ToUtf8(parameters->pwszTitle, std::char_traits<char16_t>::length(parameters->pwszTitle));
    if (parameters->pszInitUsageOID) state.purpose = parameters->pszInitUsageOID;
  }
  state.stores = kx::capi::LogicalStores();
  if (state.stores.empty()) return FALSE;
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog(state.title, 440, 230);
  t.items.push_back(Item("Static", "", kCertMgrPurpose, 7, 7, 426, 10, SS_LEFT));
  // The list comes first: it lies above the tab control that frames it.
  t.items.push_back(Item("SysListView32", "", kCertMgrList, 12, 38, 416, 137,
                         LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP));
  t.items.push_back(Item(WC_TABCONTROL, "", kCertMgrTabs, 7, 20, 426, 160, WS_TABSTOP | WS_CLIPSIBLINGS));
  t.items.push_back(Item("Button", "&Import...", kCertMgrImport, 7, 186, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "&Export...", kCertMgrExport, 61, 186, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "&Remove", kCertMgrRemove, 115, 186, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "&View", kCertMgrView, 383, 186, 50, 14, BS_PUSHBUTTON | WS_TABSTOP));
  t.items.push_back(Item("Button", "Close", IDCANCEL, 383, 209, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP));
  return DialogBoxIndirectParam(nullptr, &t, parent, CertMgrProc, reinterpret_cast<LPARAM>(&state)) == -1 ? FALSE : TRUE;
}

namespace {

const kx::BuiltinExport kExports[] = {{"CryptUIStartCertMgr", 0, reinterpret_cast<void*>(&CryptUIStartCertMgr)}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule("cryptui", kExports, 1);
  return true;
}();

}  // namespace
