// Shared set-up of the certificate choice tests: the frame's application object with the resource library, COM
// on the test's thread, the fixture certificates in the user's stores, and steps a person takes in the sheets.
#pragma once

#include <string>
#include <vector>

#include "app/frame_fixture.h"
#include "certificates/CertificateArray.h"
#include "engine/CapicomStore.h"
#include "engine/engine_test.h"
#include "platform/ui/controldriver.h"

namespace certsel {

class CertSelTest : public frametest::FrameTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fixture certificate with its private key, put into a store of the current user ("My" by default).
  CCapicomCertificate AddWithKey(const std::string& name, const char* store = "My");
  // The digital ID of a PFX file (password "pw"), with its key, put into a store of the current user.
  static CCapicomCertificate AddPfx(const std::string& pfx, const char* store = "My");
  // A fixture certificate without its key.
  static void AddCert(const char* store, const std::string& name);
  // Root and intermediate of the fixture trusted, so that its end certificates pass the validity check.
  static void TrustFixture();
  // The revocation lists of the fixture's authorities, where the chain checks find them.
  static void AddFixtureCrls();
  std::string m_dir;
};

// The texts of a sheet's tabs, in order.
std::vector<std::string> TabTexts(kx::UiDriver& d, HWND sheet);
void ClickTab(kx::UiDriver& d, HWND sheet, int index);
// Picks certificates in a selection sheet titled so: on the tab's page, each named row and Add, then OK.
void Pick(kx::UiDriver& d, const std::string& title, int tab, ULONG_PTR pageTemplate,
          const std::vector<std::string>& names);
// The texts of one column of a list, row by row.
std::vector<std::string> Column(kx::UiDriver& d, HWND list, int column = 0);
// The row's state image (1 normal, 2 valid).
int RowMark(kx::UiDriver& d, HWND list, int row);
// Subject simple names of certificates.
std::vector<std::string> Subjects(const CCertificateArray& certificates);
// On a wizard's recipients page: Add, then the named rows of the selection sheet's address book tab.
void PickRecipients(kx::UiDriver& d, HWND recipientsPage, const std::vector<std::string>& names);

}  // namespace certsel
