#include "platform/capicom/core/store.h"

#include "platform/capicom/core/anchors.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/ldap/ldap.h"
#include "platform/capicom/core/tokenstore.h"
#include "platform/win32/stateroot.h"

namespace kx::capi {
namespace {

bool ValidStoreName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  return true;
}

bool ValidThumb(const std::string& t) {
  if (t.size() != 40) return false;
  for (char c : t)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::string StoresBase(long location) {
  return (location == CAPICOM_LOCAL_MACHINE_STORE ? kx::MachineStateDir() : kx::UserStateDir()) + "/certstores";
}

bool IsMachineFolder(const std::string& folder) {
  std::string base = StoresBase(CAPICOM_LOCAL_MACHINE_STORE) + "/";
  return folder.compare(0, base.size(), base) == 0;
}

std::vector<std::string> ReadIndex(const std::string& dir) {
  std::vector<std::string> thumbs;
  Bytes data;
  if (ReadWholeFile(dir + "/index", data)) {
    std::istringstream in(std::string(data.begin(), data.end()));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (ValidThumb(line) && std::find(thumbs.begin(), thumbs.end(), line) == thumbs.end()) thumbs.push_back(line);
    }
  }
  // Certificates put into the folder by other means follow, in name order.
  std::vector<std::string> extra;
  for (const std::string& f : ListDir(dir + "/certs")) {
    if (f.size() != 44 || f.compare(40, 4, ".der") != 0) continue;
    std::string t = f.substr(0, 40);
    if (ValidThumb(t) && std::find(thumbs.begin(), thumbs.end(), t) == thumbs.end()) extra.push_back(t);
  }
  std::sort(extra.begin(), extra.end());
  thumbs.insert(thumbs.end(), extra.begin(), extra.end());
  return thumbs;
}

bool WriteIndex(const std::string& dir, const std::vector<std::string>& thumbs) {
  std::string text;
  for (const std::string& t : thumbs) text += t + "\n";
  return WriteFileAtomic(dir + "/index", text);
}

void ReadProperties(const std::string& dir, StoreEntry& e) {
  Bytes data;
  if (!ReadWholeFile(dir + "/props/" + e.cert->thumbprint(), data)) return;
  std::istringstream in(std::string(data.begin(), data.end()));
  std::string line, container;
  bool machineKey = IsMachineFolder(dir);
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    if (k == "key") container = v;
    else if (k == "keymachine") machineKey = v == "1";
    else if (k == "archived") e.archived = v == "1";
    else if (k == "name") e.friendlyName = v;
  }
  KeyLink link;
  if (!container.empty() && ReadKeyLink(container, machineKey, link)) e.key = link;
}

std::string PropertiesText(const StoreEntry& e) {
  std::string text;
  if (e.key) {
    text += "key=" + e.key->container + "\n";
    text += std::string("keymachine=") + (e.key->machine ? "1" : "0") + "\n";
  }
  if (e.archived) text += "archived=1\n";
  if (!e.friendlyName.empty()) {
    std::string n = e.friendlyName;
    n.erase(std::remove_if(n.begin(), n.end(), [](char c) { return c == '\n' || c == '\r'; }), n.end());
    text += "name=" + n + "\n";
  }
  return text;
}

bool WriteProperties(const std::string& dir, const StoreEntry& e) {
  std::string path = dir + "/props/" + e.cert->thumbprint();
  std::string text = PropertiesText(e);
  if (text.empty()) {
    ::unlink(path.c_str());
    return true;
  }
  return MakeDirs(dir + "/props") && WriteFileAtomic(path, text);
}

std::optional<StoreEntry> ReadEntry(const std::string& dir, const std::string& thumb) {
  Bytes der;
  if (!ReadWholeFile(dir + "/certs/" + thumb + ".der", der)) return std::nullopt;
  StoreEntry e;
  e.cert = CertData::Parse(der);
  if (!e.cert) return std::nullopt;
  e.origin = dir;
  ReadProperties(dir, e);
  return e;
}

std::vector<StoreEntry> FolderEntries(const std::string& dir) {
  std::vector<StoreEntry> list;
  if (!FileExists(dir)) return list;
  FolderLock lock(dir, false);
  for (const std::string& t : ReadIndex(dir))
    if (auto e = ReadEntry(dir, t)) list.push_back(std::move(*e));
  return list;
}

HRESULT FolderAdd(const std::string& dir, const StoreEntry& entry) {
  if (!MakeDirs(dir + "/certs")) return E_ACCESSDENIED;
  FolderLock lock(dir, true);
  const std::string& thumb = entry.cert->thumbprint();
  std::vector<std::string> thumbs = ReadIndex(dir);
  bool exists = std::find(thumbs.begin(), thumbs.end(), thumb) != thumbs.end() &&
                FileExists(dir + "/certs/" + thumb + ".der");
  StoreEntry merged = entry;
  if (exists) {
    if (auto old = ReadEntry(dir, thumb)) {
      if (!merged.key) merged.key = old->key;
      if (merged.friendlyName.empty()) merged.friendlyName = old->friendlyName;
      merged.archived = merged.archived || old->archived;
    }
  } else {
    const Bytes& der = entry.cert->der();
    if (!WriteFileAtomic(dir + "/certs/" + thumb + ".der", der.data(), der.size())) return E_ACCESSDENIED;
  }
  if (!WriteProperties(dir, merged)) return E_ACCESSDENIED;
  if (std::find(thumbs.begin(), thumbs.end(), thumb) == thumbs.end()) thumbs.push_back(thumb);
  return WriteIndex(dir, thumbs) ? S_OK : E_ACCESSDENIED;
}

bool FolderHas(const std::string& dir, const std::string& thumb) {
  return FileExists(dir + "/certs/" + thumb + ".der");
}

HRESULT FolderRemove(const std::string& dir, const std::string& thumb) {
  FolderLock lock(dir, true);
  std::vector<std::string> thumbs = ReadIndex(dir);
  auto it = std::find(thumbs.begin(), thumbs.end(), thumb);
  if (it == thumbs.end()) return CRYPT_E_NOT_FOUND;
  thumbs.erase(it);
  if (!WriteIndex(dir, thumbs)) return E_ACCESSDENIED;
  ::unlink((dir + "/certs/" + thumb + ".der").c_str());
  ::unlink((dir + "/props/" + thumb).c_str());
  return S_OK;
}

std::vector<CrlRef> FolderCrls(const std::string& dir) {
  std::vector<CrlRef> list;
  std::vector<std::string> names = ListDir(dir + "/crls");
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    if (n.size() < 5 || n.compare(n.size() - 4, 4, ".crl") != 0) continue;
    Bytes der;
    if (ReadWholeFile(dir + "/crls/" + n, der))
      if (CrlRef c = CrlData::Parse(der)) list.push_back(c);
  }
  return list;
}

}  // namespace

std::string StoreFolder(long location, const std::string& name) {
  if (!ValidStoreName(name)) return std::string();
  if (location != CAPICOM_LOCAL_MACHINE_STORE && location != CAPICOM_CURRENT_USER_STORE) return std::string();
  return StoresBase(location) + "/" + AsciiLower(name);
}

HRESULT WriteEntryProperties(const StoreEntry& entry) {
  if (entry.origin.empty() || !entry.cert) return S_OK;
  if (!CanWriteDir(entry.origin)) return E_ACCESSDENIED;
  FolderLock lock(entry.origin, true);
  return WriteProperties(entry.origin, entry) ? S_OK : E_ACCESSDENIED;
}

namespace {
thread_local int t_listingDepth = 0;
thread_local std::map<std::string, std::shared_ptr<void>>* t_listingSlots = nullptr;
}  // namespace

ListingScope::ListingScope() {
  if (t_listingDepth++ == 0) t_listingSlots = new std::map<std::string, std::shared_ptr<void>>();
}

ListingScope::~ListingScope() {
  if (--t_listingDepth == 0) {
    delete t_listingSlots;
    t_listingSlots = nullptr;
  }
}

std::shared_ptr<void>* ListingScope::Slot(const std::string& key) {
  return t_listingSlots ? &(*t_listingSlots)[key] : nullptr;
}

HRESULT CertStore::Open(long location, const std::string& name, long mode, std::shared_ptr<CertStore>& out) {
  out.reset();
  long access = mode & 3;
  if (access == 3) return CAPICOM_E_STORE_INVALID_OPEN_MODE;
  std::shared_ptr<CertStore> s(new CertStore());
  s->m_location = location;
  s->m_name = name;
  switch (location) {
    case CAPICOM_MEMORY_STORE:
      // A memory store is the caller's own scratch space: always writable.
      s->m_memory = std::make_shared<Memory>();
      break;
    case CAPICOM_CURRENT_USER_STORE:
    case CAPICOM_LOCAL_MACHINE_STORE: {
      std::string folder = StoreFolder(location, name);
      if (folder.empty()) return E_INVALIDARG;
      s->m_folders.push_back(folder);
      std::string lower = AsciiLower(name);
      if (location == CAPICOM_CURRENT_USER_STORE && (lower == "root" || lower == "ca"))
        s->m_folders.push_back(StoreFolder(CAPICOM_LOCAL_MACHINE_STORE, name));
      bool writable = MakeDirs(StoresBase(location)) && CanWriteDir(StoresBase(location)) &&
                      (!FileExists(folder) || CanWriteDir(folder));
      if (access == CAPICOM_STORE_OPEN_READ_WRITE && !writable) return E_ACCESSDENIED;
      s->m_readOnly = access == CAPICOM_STORE_OPEN_READ_ONLY || !writable;
      break;
    }
    case CAPICOM_ACTIVE_DIRECTORY_USER_STORE: {
      // The directory is searched once, at open; what it sent is kept in memory and cannot be changed.
      std::vector<std::string> ders;
      HRESULT hr = kx::ldap::FindDirectoryCertificates(name, ders);
      if (FAILED(hr)) return hr;
      s->m_memory = std::make_shared<Memory>();
      for (const std::string& der : ders) {
        CertRef c = CertData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
        bool seen = c && std::any_of(s->m_memory->entries.begin(), s->m_memory->entries.end(),
                                     [&](const StoreEntry& e) { return e.cert->thumbprint() == c->thumbprint(); });
        if (!c || seen) continue;
        StoreEntry e;
        e.cert = c;
        s->m_memory->entries.push_back(e);
      }
      s->m_readOnly = true;
      break;
    }
    default:
      return E_INVALIDARG;
  }
  out = s;
  return S_OK;
}

std::shared_ptr<CertStore> CertStore::NewMemory() {
  std::shared_ptr<CertStore> s(new CertStore());
  s->m_location = CAPICOM_MEMORY_STORE;
  s->m_memory = std::make_shared<Memory>();
  return s;
}

std::vector<StoreEntry> CertStore::Entries(bool includeArchived) const {
  std::vector<StoreEntry> list;
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_memory->mutex);
    list = m_memory->entries;
  } else {
    for (const std::string& dir : m_folders) {
      for (StoreEntry& e : FolderEntries(dir)) {
        bool seen = std::any_of(list.begin(), list.end(),
                                [&](const StoreEntry& o) { return o.cert->thumbprint() == e.cert->thumbprint(); });
        if (!seen) list.push_back(std::move(e));
      }
    }
    if (IsTokenView(m_location, m_name)) AppendTokenEntries(list);
    AddTrustAnchors(m_location, m_name, list);
  }
  if (!includeArchived)
    list.erase(std::remove_if(list.begin(), list.end(), [](const StoreEntry& e) { return e.archived; }), list.end());
  return list;
}

HRESULT CertStore::Add(const StoreEntry& entry) {
  if (!entry.cert) return E_INVALIDARG;
  if (m_readOnly) return E_ACCESSDENIED;
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_memory->mutex);
    for (StoreEntry& e : m_memory->entries) {
      if (e.cert->thumbprint() == entry.cert->thumbprint()) {
        if (!e.key) e.key = entry.key;
        return S_OK;
      }
    }
    StoreEntry copy = entry;
    copy.origin.clear();
    m_memory->entries.push_back(copy);
    return S_OK;
  }
  HRESULT trusted = S_OK;
  if (TrustAnchorAgain(m_location, m_name, *entry.cert, trusted)) return trusted;
  return FolderAdd(m_folders.front(), entry);
}

HRESULT CertStore::Remove(const std::string& thumbprint) {
  if (m_readOnly) return E_ACCESSDENIED;
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_memory->mutex);
    auto& v = m_memory->entries;
    auto it = std::find_if(v.begin(), v.end(), [&](const StoreEntry& e) { return e.cert->thumbprint() == thumbprint; });
    if (it == v.end()) return CRYPT_E_NOT_FOUND;
    v.erase(it);
    return S_OK;
  }
  if (!ValidThumb(thumbprint)) return CRYPT_E_NOT_FOUND;
  if (FolderHas(m_folders.front(), thumbprint)) {
    // A root the user added that the system also trusts would come back from the bundle: distrust it too.
    HRESULT hr = FolderRemove(m_folders.front(), thumbprint);
    if (FAILED(hr)) return hr;
    HRESULT distrust = DistrustTrustAnchor(m_location, m_name, thumbprint);
    return FAILED(distrust) && distrust != CRYPT_E_NOT_FOUND ? distrust : S_OK;
  }
  for (size_t i = 1; i < m_folders.size(); ++i)
    if (FolderHas(m_folders[i], thumbprint)) return E_ACCESSDENIED;  // the machine's, seen through the user's view
  if (IsTokenView(m_location, m_name) && IsTokenCertificate(thumbprint)) return E_ACCESSDENIED;
  return DistrustTrustAnchor(m_location, m_name, thumbprint);
}

std::vector<CrlRef> CertStore::Crls() const {
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_memory->mutex);
    return m_memory->crls;
  }
  std::vector<CrlRef> list;
  for (const std::string& dir : m_folders)
    for (CrlRef& c : FolderCrls(dir)) list.push_back(std::move(c));
  return list;
}

HRESULT CertStore::AddCrl(const CrlRef& crl) {
  if (!crl) return E_INVALIDARG;
  if (m_readOnly) return E_ACCESSDENIED;
  if (m_memory) {
    std::lock_guard<std::mutex> lock(m_memory->mutex);
    auto& v = m_memory->crls;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const CrlRef& c) { return c->issuerKey() == crl->issuerKey(); }),
            v.end());
    v.push_back(crl);
    return S_OK;
  }
  const std::string& dir = m_folders.front();
  if (!MakeDirs(dir + "/crls")) return E_ACCESSDENIED;
  FolderLock lock(dir, true);
  const Bytes& der = crl->der();
  return WriteFileAtomic(dir + "/crls/" + crl->issuerKey() + ".crl", der.data(), der.size()) ? S_OK : E_ACCESSDENIED;
}

}  // namespace kx::capi

// The registered certificate dialog (platform/capicom/display.h), kept here so that the engine module and the
// user interface that registers it share one value through the platform library.
#include "platform/capicom/display.h"

#include <atomic>

namespace kx::capi {
namespace {
std::atomic<CertificateDisplayFn> g_display{nullptr};
}  // namespace

CertificateDisplayFn SetCertificateDisplay(CertificateDisplayFn fn) { return g_display.exchange(fn); }
CertificateDisplayFn GetCertificateDisplay() { return g_display.load(); }

}  // namespace kx::capi
