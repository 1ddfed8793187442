#include "platform/capicom/core/anchors.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/win32/errors.h"

namespace kx::capi {
namespace {

constexpr const char* kDefaultBundle = "/etc/ssl/certs/ca-certificates.crt";
constexpr const char* kDistrustFile = "/distrusted";

bool IsRoot(const std::string& name) {
  return name.size() == 4 && std::equal(name.begin(), name.end(), "root",
                                        [](char a, char b) { return (a | 0x20) == b; });
}

bool Located(long location) { return location == CAPICOM_CURRENT_USER_STORE || location == CAPICOM_LOCAL_MACHINE_STORE; }

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  Bytes bytes;
  if (!ReadWholeFile(path, bytes)) return lines;
  std::string line;
  for (uint8_t c : bytes) {
    if (c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The distrust lists that hide anchors from a location's view: the user's view honours the machine's as well.
std::vector<std::string> DistrustFiles(long location) {
  std::vector<std::string> files{StoreFolder(location, "Root") + kDistrustFile};
  if (location == CAPICOM_CURRENT_USER_STORE) files.push_back(StoreFolder(CAPICOM_LOCAL_MACHINE_STORE, "Root") + kDistrustFile);
  return files;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  if (text.empty()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  return WriteFileAtomic(path, text);
}

std::mutex g_mutex;

}  // namespace

std::string TrustAnchorBundle() {
  const char* named = std::getenv("KESMORA_TRUST_ANCHORS");
  return named && *named ? named : kDefaultBundle;
}

std::vector<CertRef> TrustAnchors() {
  static std::string path;
  static struct timespec changed {};
  static off_t size = -1;
  static std::vector<CertRef> anchors;
  const std::string wanted = TrustAnchorBundle();
  struct stat st {};
  std::lock_guard<std::mutex> lock(g_mutex);
  if (::stat(wanted.c_str(), &st) != 0) {
    anchors.clear();
    path.clear();
    return anchors;
  }
  if (wanted == path && st.st_size == size && st.st_mtim.tv_sec == changed.tv_sec &&
      st.st_mtim.tv_nsec == changed.tv_nsec)
    return anchors;
  std::vector<CertRef> read;
  if (BIO* bio = BIO_new_file(wanted.c_str(), "r")) {
    while (X509* x = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
      if (CertRef c = CertData::FromX509(x)) read.push_back(c);
      X509_free(x);
    }
    BIO_free(bio);
  }
  ERR_clear_error();
  anchors = std::move(read);
  path = wanted;
  size = st.st_size;
  changed = st.st_mtim;
  return anchors;
}

void AddTrustAnchors(long location, const std::string& name, std::vector<StoreEntry>& list) {
  if (!IsRoot(name) || !Located(location)) return;
  std::vector<std::string> hidden;
  for (const std::string& file : DistrustFiles(location))
    for (std::string& t : ReadLines(file)) hidden.push_back(std::move(t));
  for (const CertRef& anchor : TrustAnchors()) {
    const std::string& thumb = anchor->thumbprint();
    if (std::find(hidden.begin(), hidden.end(), thumb) != hidden.end()) continue;
    if (std::any_of(list.begin(), list.end(), [&](const StoreEntry& e) { return e.cert->thumbprint() == thumb; }))
      continue;
    StoreEntry entry;
    entry.cert = anchor;
    list.push_back(std::move(entry));
  }
}

HRESULT DistrustTrustAnchor(long location, const std::string& name, const std::string& thumbprint) {
  if (!IsRoot(name) || !Located(location)) return CRYPT_E_NOT_FOUND;
  const std::vector<CertRef> anchors = TrustAnchors();
  if (std::none_of(anchors.begin(), anchors.end(), [&](const CertRef& c) { return c->thumbprint() == thumbprint; }))
    return CRYPT_E_NOT_FOUND;
  const std::string folder = StoreFolder(location, "Root");
  if (!MakeDirs(folder)) return E_ACCESSDENIED;
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> lines = ReadLines(folder + kDistrustFile);
  if (std::find(lines.begin(), lines.end(), thumbprint) != lines.end()) return CRYPT_E_NOT_FOUND;  // gone already
  lines.push_back(thumbprint);
  return WriteLines(folder + kDistrustFile, lines) ? S_OK : E_ACCESSDENIED;
}

bool TrustAnchorAgain(long location, const std::string& name, const CertData& cert, HRESULT& hr) {
  hr = S_OK;
  if (!IsRoot(name) || !Located(location)) return false;
  const std::vector<CertRef> anchors = TrustAnchors();
  const std::string& thumb = cert.thumbprint();
  if (std::none_of(anchors.begin(), anchors.end(), [&](const CertRef& c) { return c->thumbprint() == thumb; }))
    return false;
  std::lock_guard<std::mutex> lock(g_mutex);
  // Trusted again where the user's view also looks (the machine's list) and, for the machine, in the user's too.
  std::vector<std::string> files = DistrustFiles(location);
  if (location == CAPICOM_LOCAL_MACHINE_STORE) files.push_back(StoreFolder(CAPICOM_CURRENT_USER_STORE, "Root") + kDistrustFile);
  for (size_t i = 0; i < files.size(); ++i) {
    std::vector<std::string> lines = ReadLines(files[i]);
    auto it = std::find(lines.begin(), lines.end(), thumb);
    if (it == lines.end()) continue;
    lines.erase(it);
    // The location's own list must change, and for the user's view the machine's too (it still hides the anchor);
    // a user's list that the machine cannot write stays as it is.
    if (!WriteLines(files[i], lines) && (i == 0 || location == CAPICOM_CURRENT_USER_STORE)) hr = E_ACCESSDENIED;
  }
  return true;
}

}  // namespace kx::capi
