#include "platform/capicom/core/keys.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/capicom/capicom_defs.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/pkcs11/pkcs11.h"
#include "platform/win32/stateroot.h"

namespace kx::capi {

const char* const kSoftwareProviderName = "Software Key Storage Provider";
const char* const kTokenProviderName = "PKCS#11 Token Provider";

std::string KeyDir(bool machine) {
  return (machine ? kx::MachineStateDir() : kx::UserStateDir()) + "/keys";
}

bool ValidContainerName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name[0] == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '-' || c == '_' || c == '{' || c == '}';
    if (!ok) return false;
  }
  return true;
}

namespace {

std::string KeyPath(const KeyLink& l) { return KeyDir(l.machine) + "/" + l.container + ".key"; }
std::string MetaPath(const std::string& container, bool machine) {
  return KeyDir(machine) + "/" + container + ".meta";
}

}  // namespace

HRESULT SaveKey(EVP_PKEY* key, const KeyLink& link) {
  if (!link.uri.empty()) return E_ACCESSDENIED;  // a token's keys are the token's
  if (!key || !ValidContainerName(link.container)) return E_INVALIDARG;
  std::string dir = KeyDir(link.machine);
  if (!MakeDirs(dir, 0700)) return E_ACCESSDENIED;
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    ERR_clear_error();
    return CAPICOM_E_INTERNAL;
  }
  std::string pem = BioText(bio.get());
  bool ok = WriteFileAtomic(KeyPath(link), pem, 0600);
  OPENSSL_cleanse(pem.data(), pem.size());
  if (!ok) return E_ACCESSDENIED;
  return SaveKeyLink(link);
}

HRESULT SaveKeyLink(const KeyLink& link) {
  if (!ValidContainerName(link.container)) return E_INVALIDARG;
  if (!MakeDirs(KeyDir(link.machine), 0700)) return E_ACCESSDENIED;
  std::ostringstream meta;
  meta << "exportable=" << (link.exportable ? 1 : 0) << "\n"
       << "protected=" << (link.userProtected ? 1 : 0) << "\n"
       << "keyspec=" << link.keySpec << "\n"
       << "provtype=" << link.providerType << "\n"
       << "provider=" << (link.providerName.empty() ? kSoftwareProviderName : link.providerName) << "\n";
  if (!link.uri.empty()) meta << "uri=" << link.uri << "\n";  // the key is on a token
  return WriteFileAtomic(MetaPath(link.container, link.machine), meta.str(), 0600) ? S_OK : E_ACCESSDENIED;
}

PKeyPtr LoadKey(const KeyLink& link) {
  if (!link.uri.empty()) return PKeyPtr(kx::p11::LoadKey(link.uri, nullptr));
  if (!ValidContainerName(link.container)) return nullptr;
  Bytes pem;
  if (!ReadWholeFile(KeyPath(link), pem)) return nullptr;
  BioPtr bio = MemBio(pem.data(), pem.size());
  EVP_PKEY* key = PEM_read_bio_PrivateKey_ex(bio.get(), nullptr, nullptr, nullptr, LibCtx(), nullptr);
  OPENSSL_cleanse(pem.data(), pem.size());
  ERR_clear_error();
  return PKeyPtr(key);
}

bool ReadKeyLink(const std::string& container, bool machine, KeyLink& link) {
  if (!ValidContainerName(container)) return false;
  link = KeyLink();
  link.container = container;
  link.machine = machine;
  link.providerName = kSoftwareProviderName;
  Bytes meta;
  if (!ReadWholeFile(MetaPath(container, machine), meta)) return FileExists(KeyPath(link));
  std::istringstream in(std::string(meta.begin(), meta.end()));
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    if (k == "exportable") link.exportable = v == "1";
    else if (k == "protected") link.userProtected = v == "1";
    else if (k == "keyspec") link.keySpec = std::atol(v.c_str());
    else if (k == "provtype") link.providerType = std::atol(v.c_str());
    else if (k == "provider") link.providerName = v;
    else if (k == "uri") link.uri = v;
  }
  return true;
}

bool KeyExists(const KeyLink& link) {
  if (!link.uri.empty()) return kx::p11::TokenPresent(link.uri);
  return ValidContainerName(link.container) && FileExists(KeyPath(link));
}

HRESULT DeleteKey(const KeyLink& link) {
  if (!link.uri.empty()) return E_ACCESSDENIED;
  if (!ValidContainerName(link.container)) return E_INVALIDARG;
  if (!KeyExists(link)) return NTE_BAD_KEYSET;
  if (::unlink(KeyPath(link).c_str()) != 0) return E_ACCESSDENIED;
  ::unlink(MetaPath(link.container, link.machine).c_str());
  return S_OK;
}

HRESULT DeleteKeyContainer(const KeyLink& link) {
  if (!ValidContainerName(link.container)) return E_INVALIDARG;
  std::string meta = MetaPath(link.container, link.machine);
  // A container of a token key is only its link: the key stays the token's.
  bool hadKey = link.uri.empty() && KeyExists(link), hadMeta = FileExists(meta);
  if (!hadKey && !hadMeta) return NTE_BAD_KEYSET;
  if (hadKey && ::unlink(KeyPath(link).c_str()) != 0) return E_ACCESSDENIED;
  if (hadMeta && ::unlink(meta.c_str()) != 0) return E_ACCESSDENIED;
  return S_OK;
}

std::string ContainerNameFor(const CertData& cert) { return "cert-" + cert.thumbprint(); }

bool KeyMatches(EVP_PKEY* key, const CertData& cert) {
  bool ok = key && X509_check_private_key(cert.x509(), key) == 1;
  ERR_clear_error();
  return ok;
}

}  // namespace kx::capi
