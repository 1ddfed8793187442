// Making a key pair and an X.509 version 3 certificate for it through the platform's cryptography: self-signed
// or signed by an issuer certificate of a system store; kept in a store with its key container (store mode) or
// written out as a certificate file and a password-protected key file (export mode). Runs on worker threads and
// shows nothing.
#pragma once

#include "platform/cryptoapi/crypt.h"

// Purpose bits of CreateCertificate's purposes mask, in the order the extended key usage lists them.
enum : DWORD {
  CERT_PURPOSE_SERVER_AUTH = 1,
  CERT_PURPOSE_CLIENT_AUTH = 2,
  CERT_PURPOSE_CODE_SIGNING = 4,
  CERT_PURPOSE_SECURE_EMAIL = 8,
  CERT_PURPOSE_TIME_STAMPING = 16,
};

// Non-zero when the whole run succeeded.
//  subject            X.500 name text ("CN=...,O=...")
//  keySpec            AT_KEYEXCHANGE or AT_SIGNATURE
//  keyLength          512 ... 32768 (powers of two); any other value takes the provider's default
//  signatureAlgorithm object identifier of the signature of a self-signed certificate
//  validityMonths     0: 24 months for a self-signed certificate, 6 otherwise
//  purposes           CERT_PURPOSE_* bits
//  ca                 the basic-constraints cA value of an issuer-signed certificate
//  providerGiven / providerName / providerType   the provider (default: the DSS provider)
//  storeName / userStore     the system store of store mode; the current user's (with the user's key set) or the
//                            machine's (with the machine's key set)
//  selfSigned, issuerSubject, issuerStore, issuerInUserStore   the issuer of an issuer-signed certificate
//  exportMode, certificateFile, keyFile, password   export mode's two files and the key file's password
BOOL CreateCertificate(LPCSTR subject, DWORD keySpec, DWORD keyLength, LPCSTR signatureAlgorithm, WORD validityMonths,
                       DWORD purposes, BOOL ca, BOOL providerGiven, LPCSTR providerName, DWORD providerType,
                       LPCSTR storeName, BOOL userStore, BOOL selfSigned, LPCSTR issuerSubject, LPCSTR issuerStore,
                       BOOL issuerInUserStore, BOOL exportMode, LPCSTR certificateFile, LPCSTR keyFile,
                       LPCSTR password);

// The first certificate of the system store (location CERT_SYSTEM_STORE_CURRENT_USER or _LOCAL_MACHINE) whose
// subject contains the text and whose key container can be opened. The caller owns the context, the provider
// handle and *keyId (a decoded key identifier on the process heap, null when the certificate has none).
PCCERT_CONTEXT FindIssuerCertificate(LPCSTR issuerSubject, LPCSTR storeName, DWORD location, CRYPT_DATA_BLOB** keyId,
                                     HCRYPTPROV* prov, DWORD* keySpec);

namespace kx::certcreate {

// Generation flags of a key length (the length in the upper 16 bits); 0 for a length outside the table.
DWORD KeyLengthFlags(DWORD keyLength);
// The end of a validity that starts at `from` and lasts `months` months: same day and time, the day moved back to
// the month's last one when the end month is shorter.
SYSTEMTIME AddMonths(const SYSTEMTIME& from, unsigned months);

}  // namespace kx::certcreate
