// Shared set-up of the policy tests: COM on the test's thread, the fixture PKI put into the user's stores,
// the policy's switches in the registry, and the texts of the resource-string module.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "core/SettingsStore.h"
#include "engine/CapicomStore.h"
#include "engine/CertificateManagerSettings.h"
#include "engine/engine_test.h"
#include "platform/services/addres/addres.h"
#include "platform/win32/registry.h"

namespace kxtest {

using PolicyTest = EngineWrapperTest;

// A certificate wrapper of DER bytes.
inline CCapicomCertificate CertOf(const std::string& der) {
  CCapicomCertificate c;
  EXPECT_EQ(c.ImportFromBuffer(BufferOf(der)), S_OK);
  return c;
}

// Adds encoded objects (a certificate, a revocation list or a PKCS#7 bundle) to a store of the current user.
inline void AddToStore(const char* store, const std::string& bytes) {
  CCapicomStore s;
  ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK) << store;
  ASSERT_EQ(s.ImportFromBuffer(BufferOf(bytes)), S_OK) << store;
}
inline void AddCert(const char* store, const std::string& fixtureName) {
  AddToStore(store, pki::DerBytes(fixtureName));
}
inline void AddCrl(const char* store, const std::string& crlName) {
  AddToStore(store, ReadFile(pki::Crl(crlName)));
}

// The fixture's chain with the revocation lists of both authorities: a chain the default settings accept.
inline void TrustFixture() {
  AddCert("Root", "root");
  AddCert("CA", "inter");
  AddCrl("Root", "root");
  AddCrl("CA", "inter");
}

inline void SetStrictPolicy(DWORD on) {
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteInt("Config", "DoD_JICT", on));
}

inline void SetOneClickFolder(const std::string& folder) {
  CSettingsStore s(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex");
  ASSERT_TRUE(s.WriteString("OneClickManager", "OneClickFolder", folder));
}

// Writes the trust-point list of the one-click folder with openssl, holding the fixture certificates named.
inline void WriteTrustPoints(const std::string& folder, std::initializer_list<const char*> names) {
  std::string command = "openssl crl2pkcs7 -nocrl -outform DER -out '" + folder + "/JITC_TrustPoints.p7b'";
  for (const char* n : names) command += " -certfile '" + pki::Pem(n) + "'";
  ASSERT_EQ(Run(command), 0) << command;
}

// Texts of the resource-string module, joined with one blank.
inline std::string Texts(std::initializer_list<UINT> ids) {
  std::string out;
  for (UINT id : ids) {
    if (!out.empty()) out += " ";
    out += static_cast<const char*>(kx::LoadAddResString(id));
  }
  return out;
}

inline std::string TextOf(const CBstrString& s) { return s.GetAnsi() ? s.GetAnsi() : ""; }

// Makes a certificate with the openssl command line (an EC key, quick to make) in folder; extensions are
// "-addext" values. Signed by itself, or by issuer (a name made here before) when one is given; subjectOfIssuer
// replaces the issuer's subject in the certificate made. Returns the DER bytes.
std::string MakeCert(const std::string& folder, const std::string& name, const std::string& subject,
                     std::initializer_list<const char*> extensions, const std::string& issuer = std::string());

}  // namespace kxtest
