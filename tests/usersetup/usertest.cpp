#include "usersetup/usertest.h"

#include <memory>

#include "app/regdump.h"
#include "core/SystemProfile.h"
#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/cryptoapi/crypt.h"
#include "platform/win32/registry.h"
#include "support/testroot.h"

namespace usertest {

void PointServiceAt(int port) {
  CSystemProfile profile;
  profile.Load();
  profile.Transport_Address_Index = 0;
  profile.Transport_Address_URL = "http://127.0.0.1";
  profile.Transport_Address_IP = ("127.0.0.1:" + std::to_string(port)).c_str();
  profile.Transport_Port = port;
  profile.Save();
}

std::map<std::string, std::string> Profiles() {
  return kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\Profiles");
}

void SetString(const std::string& key, const std::string& name, const std::string& value) {
  HKEY k = nullptr;
  RegCreateKeyEx(HKEY_CURRENT_USER, ("Software\\Kesmora\\" + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                 nullptr);
  RegSetValueEx(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

void StoreProfile(const std::string& address) {
  HKEY k = nullptr;
  RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\MailTolvex\\Profiles\\m_List", 0, nullptr, 0, KEY_WRITE,
                 nullptr, &k, nullptr);
  DWORD one = 1;
  RegSetValueEx(k, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  RegCloseKey(k);
  SetString("MailTolvex\\Profiles\\m_List\\0", "m_strEmailName", address);
  SetString("MailTolvex\\Profiles\\m_List\\0", "m_strFullName", "Known User");
}

std::string Value(const std::string& key, const std::string& name) {
  auto all = kxtest::DumpRegistry(HKEY_CURRENT_USER, "Software\\Kesmora\\" + key);
  auto it = all.find(name);
  return it == all.end() ? "" : it->second;
}

std::string PersonalCertificate(const std::string& part, bool* linked) {
  HCERTSTORE my = CertOpenSystemStoreA(0, "MY");
  PCCERT_CONTEXT c = CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, part.c_str(), nullptr);
  std::string der = c ? std::string(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded) : "";
  DWORD cb = 0;
  if (linked) *linked = c && CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cb);
  if (c) CertFreeCertificateContext(c);
  CertCloseStore(my, 0);
  return der;
}

std::string Describe(const std::string& der) {
  std::string path = kxtest::MakeTempDir("described") + "/c.cer", out;
  kxtest::WriteFile(path, der);
  kxtest::Run("openssl x509 -inform DER -in '" + path +
                  "' -noout -subject -issuer -nameopt RFC2253 -ext extendedKeyUsage 2>&1",
              &out);
  return out;
}

Preset ReadPreset(const std::string& path) {
  Preset p;
  CFileManager files;
  std::unique_ptr<COneClickFile> preset(kx::oneclick::OpenPreset(files, path.c_str()));
  if (!preset) return p;
  p.loaded = true;
  p.kind = preset->GetOptions()[0];
  p.name = preset->m_info.m_strText3.GetString();
  p.cipher = preset->m_info.m_body.m_nested.m_bCipherIndex;
  p.keyLength = preset->m_info.m_body.m_nested.m_bKeyLengthIndex;
  auto first = [](const CByteBufferList& list) {
    if (!list.GetCount()) return std::string();
    CByteBuffer b = list.GetAt(0);
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
  };
  p.signer = first(preset->m_oneClickRecord.Signers());
  p.recipient = first(preset->m_oneClickRecord.Recipients());
  return p;
}

}  // namespace usertest
