// The certificate manager's Address Book page and the recipient picker's Address Book page with 200 and with
// 2,000 certificates in the store (each issued by the test PKI's intermediate, root and intermediate trusted,
// their revocation lists stored): the time from the tab's click to the filled list. The two sizes should cost
// within 10x of each other (linear). Built on the certificate manager tests' set-up; run by hand from the
// build folder, under a display (xvfb-run -a).
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

#include "bench/bench_util.h"
#include "certificates/SelCertSheet.h"
#include "certmgr/certmgr_fixture.h"
#include "platform/capicom/core/store.h"
#include "support/pki.h"

namespace {

constexpr int kList = 1033;

X509* ReadPem(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  X509* x = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) std::fclose(f);
  return x;
}

EVP_PKEY* ReadKey(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  EVP_PKEY* k = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
  if (f) std::fclose(f);
  return k;
}

// Certificates "Person <first>" to "Person <end - 1>" issued by the fixture's intermediate, one key for all,
// into "AddressBook".
void FillAddressBook(int first, int end) {
  X509* issuer = ReadPem(kxtest::pki::Pem("inter"));
  EVP_PKEY* issuerKey = ReadKey(kxtest::pki::Key("inter"));
  EVP_PKEY* key = EVP_EC_gen("P-256");
  std::shared_ptr<kx::capi::CertStore> store;
  kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE, store);
  for (int i = first; i < end; ++i) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 100000 + i);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 86400L * 300);
    X509_NAME* name = X509_NAME_new();
    std::string cn = "Person " + std::to_string(i);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509_set_subject_name(x, name);
    X509_NAME_free(name);
    X509_set_issuer_name(x, X509_get_subject_name(issuer));
    X509_set_pubkey(x, key);
    X509_sign(x, issuerKey, EVP_sha256());
    unsigned char* der = nullptr;
    int n = i2d_X509(x, &der);
    kx::capi::StoreEntry e;
    e.cert = kx::capi::CertData::Parse(der, static_cast<size_t>(n));
    store->Add(e);
    OPENSSL_free(der);
    X509_free(x);
  }
  EVP_PKEY_free(key);
  EVP_PKEY_free(issuerKey);
  X509_free(issuer);
}

class CertificateListsBench : public certmgr_test::CertMgrTest {
 protected:
  void Prepare(int count) {
    TrustFixture();
    AddFixtureCrls();
    FillAddressBook(0, count);
  }
  // The manager's Address Book tab, from the click to its filled list.
  double ManagerPage(int count) {
    double start = 0, end = 0;
    RunSheet([](CCertSheet& s) { s.m_bSelectionMode = 0; },
             [&](kx::UiDriver& d, HWND sheet) {
               d.SetTimeout(1800000);  // a slow listing is what is measured, not a fault
               d.WaitForDialog(102);
               start = kxbench::Now();
               HWND page = certmgr_test::OpenTab(d, sheet, 3, 4204);
               kx::ControlDriver(d).WaitForListRow(d.Control(page, kList), "Person " + std::to_string(count - 1));
               end = kxbench::Now();
               EXPECT_EQ(kx::ControlDriver(d).ListRowCount(d.Control(page, kList)), count);
               d.Click(d.Control(sheet, IDCANCEL));
               d.WaitForGone(sheet);
             });
    return end - start;
  }
  // The recipient picker's Address Book tab, from the click to its filled list.
  double PickerPage(int count) {
    double start = 0, end = 0;
    kx::RunWithUiHere(
        [&] {
          CSelCertSheet sheet("Select Recipients", nullptr, 0);
          return sheet.DoModal();
        },
        [&](kx::UiDriver& d) {
          d.SetTimeout(1800000);
          HWND sheet = d.WaitForTitle("Select Recipients");
          d.WaitForDialog(4205);
          start = kxbench::Now();
          certsel::ClickTab(d, sheet, 2);
          HWND page = d.WaitForDialog(4216);
          kx::ControlDriver(d).WaitForListRow(d.Control(page, kList), "Person " + std::to_string(count - 1));
          end = kxbench::Now();
          d.Click(d.Control(sheet, IDCANCEL));
          d.WaitForGone(sheet);
        });
    return end - start;
  }
};

void Report(const char* what, double small, double large) {
  double ratio = large / small;
  std::printf("%s: 200 certificates %.2f s, 2,000 %.2f s: ratio %.1fx (target within 10x: %s)\n", what, small, large,
              ratio, ratio <= 10 ? "met" : "NOT met");
}

TEST_F(CertificateListsBench, AddressBookPages) {
  double manager[2] = {}, picker[2] = {};
  int sizes[2] = {200, 2000};
  for (int k = 0; k < 2; ++k) {
    if (k == 0) Prepare(sizes[0]);
    else FillAddressBook(sizes[0], sizes[1]);
    manager[k] = ManagerPage(sizes[k]);
    picker[k] = PickerPage(sizes[k]);
  }
  Report("certificate manager's Address Book page", manager[0], manager[1]);
  Report("recipient picker's Address Book page", picker[0], picker[1]);
}

}  // namespace
