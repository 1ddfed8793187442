// Shared set-up of the certificate manager tests: the certificate manager sheet run on the test's thread while
// a script drives it, and the fixtures the pages list (stores, revocation lists, trust lists, the one-click
// folder and the strict trust policy).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "certificates/CertSheet.h"
#include "certsel/certsel_fixture.h"

namespace certmgr_test {

class CertMgrTest : public certsel::CertSelTest {
 protected:
  // Makes the sheet through the registry (or the "Select Certificate" form), unhosted and titled "Certificates",
  // lets prepare set its fields, runs it while the script drives it, and lets after read it.
  INT_PTR RunSheet(const std::function<void(CCertSheet&)>& prepare,
                   const std::function<void(kx::UiDriver&, HWND)>& script,
                   const std::function<void(CCertSheet&)>& after = nullptr, bool selectionSheet = false);
  // The one-click folder (a fresh folder) recorded for the user; returned.
  std::string SetOneClickFolder();
  static void SetStrictPolicy(bool on);
  static DWORD StrictPolicy();
  // A new self-signed authority made with openssl: its DER file (path) and PEM beside it.
  std::string MakeSelfSignedRoot(const std::string& name, const std::string& commonName);
  // A PKCS#7 bundle of PEM certificates made with openssl crl2pkcs7.
  static void MakeBundle(const std::vector<std::string>& pems, const std::string& out);
};

// Subject simple names of a store's certificates, in store order.
std::vector<std::string> StoreSubjects(LONG location, const char* name);
// Subject lines ("subject=...CN = x") of the certificates in a PKCS#7 file, printed by openssl.
std::vector<std::string> BundleSubjects(const std::string& path);
// Clicks the tab and waits for its page.
HWND OpenTab(kx::UiDriver& d, HWND sheet, int index, ULONG_PTR templateId);
// A PNG of the window in the build's shots folder.
void Screenshot(kx::UiDriver& d, HWND window, const std::string& name);

}  // namespace certmgr_test
