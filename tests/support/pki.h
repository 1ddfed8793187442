// A small test PKI, made once per build tree with OpenSSL and shared by the test programs:
//
//   root          self-signed root CA (CA, key usage keyCertSign + cRLSign, critical)
//   inter         intermediate CA under root (CA, path length 0)
//   signer        e-mail signing:    digitalSignature + nonRepudiation, EKU emailProtection + clientAuth,
//                                    alice@example.com; its serial number has the top bit set
//   encrypt       e-mail encryption: keyEncipherment + dataEncipherment, EKU emailProtection, bob@example.com
//   expired       e-mail signing certificate whose validity ended a year ago, carol@example.com
//   revoked       e-mail signing certificate listed in the intermediate's CRL, dave@example.com
//   wrongusage    keyAgreement only, EKU serverAuth, eve@example.com
//   codesign      code signing (EKU codeSigning) under inter
//   tsa           time stamping (EKU timeStamping, critical) under inter
// End certificates are issued by inter. CRLs: "root" (revokes nothing), "inter" (revokes "revoked"),
// "inter-expired" (an older list of inter whose next update is a year past).
//
// Files in Dir(): <name>.pem (certificate), <name>.cer (DER), <name>.key (PKCS#8 PEM, no password),
// <crl>.crl (DER) and <crl>.crl.pem, chain.pem (inter then root).
#pragma once

#include <string>
#include <vector>

namespace kxtest::pki {

// The fixture folder; made on first use (guarded against other test processes).
const std::string& Dir();
std::string Pem(const std::string& name);
std::string Der(const std::string& name);
std::string Key(const std::string& name);
std::string Crl(const std::string& name);
std::string CrlPem(const std::string& name);
std::string ChainPem();
// The names of every certificate of the fixture.
const std::vector<std::string>& Names();
// Bytes of a file of the fixture.
std::string DerBytes(const std::string& name);

// Makes a PFX of one certificate and its key with "openssl pkcs12 -export" (with -legacy: RC2-40 and
// triple DES, as old peers write); includeChain adds inter and root. Returns the path, empty on failure.
std::string MakePfx(const std::string& name, const std::string& password, bool legacy, const std::string& outPath,
                    bool includeChain = false);

}  // namespace kxtest::pki
