#include "certsel/certsel_fixture.h"

#include "certificates/CertificateArray.h"
#include "platform/com/combase.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/commonctrl.h"
#include "platform/capicom/core/store.h"
#include "support/pki.h"

namespace certsel {

using kxtest::BufferOf;

void CertSelTest::SetUp() {
  FrameTest::SetUp();
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  m_dir = kxtest::MakeTempDir("certsel");
}

void CertSelTest::TearDown() {
  FrameTest::TearDown();
  CoUninitialize();
}

CCapicomCertificate CertSelTest::AddWithKey(const std::string& name, const char* store) {
  return AddPfx(kxtest::pki::MakePfx(name, "pw", false, m_dir + "/" + name + ".pfx"), store);
}

CCapicomCertificate CertSelTest::AddPfx(const std::string& pfx, const char* store) {
  CCapicomCertificate c;
  EXPECT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
  CCapicomStore s;
  EXPECT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  EXPECT_EQ(s.Add(c), S_OK);
  return c;
}

void CertSelTest::AddCert(const char* store, const std::string& name) {
  CCapicomStore s;
  ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK) << store;
  ASSERT_EQ(s.ImportFromBuffer(BufferOf(kxtest::pki::DerBytes(name))), S_OK) << store;
}

void CertSelTest::TrustFixture() {
  AddCert("Root", "root");
  AddCert("CA", "inter");
}

void CertSelTest::AddFixtureCrls() {
  std::shared_ptr<kx::capi::CertStore> ca;
  ASSERT_EQ(kx::capi::CertStore::Open(CAPICOM_CURRENT_USER_STORE, "CA", CAPICOM_STORE_OPEN_READ_WRITE, ca), S_OK);
  for (const char* name : {"root", "inter"}) {
    std::string der = kxtest::ReadFile(kxtest::pki::Crl(name));
    auto crl = kx::capi::CrlData::Parse(reinterpret_cast<const uint8_t*>(der.data()), der.size());
    ASSERT_TRUE(crl) << name;
    ASSERT_EQ(ca->AddCrl(crl), S_OK);
  }
}

std::vector<std::string> TabTexts(kx::UiDriver& d, HWND sheet) {
  HWND tab = d.ControlByClass(sheet, "SysTabControl32");
  std::vector<std::string> texts;
  d.Invoke(tab, [&] {
    int count = static_cast<int>(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char text[128] = {};
      TCITEM item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessage(tab, TCM_GETITEM, i, reinterpret_cast<LPARAM>(&item));
      texts.emplace_back(text);
    }
  });
  return texts;
}

void ClickTab(kx::UiDriver& d, HWND sheet, int index) {
  HWND tab = d.ControlByClass(sheet, "SysTabControl32");
  RECT item{};
  d.Invoke(tab, [&] { SendMessage(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)); });
  d.ClickAt(tab, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
}

void Pick(kx::UiDriver& d, const std::string& title, int tab, ULONG_PTR pageTemplate,
          const std::vector<std::string>& names) {
  HWND picker = d.WaitForTitle(title);
  ClickTab(d, picker, tab);
  HWND page = d.WaitForDialog(pageTemplate);
  for (const std::string& name : names) {
    kx::ControlDriver(d).ListPickRow(d.Control(page, 1033), name);
    d.Click(d.Control(page, 1050));
  }
  d.Click(d.Control(picker, IDOK));
  d.WaitForGone(picker);
}

std::vector<std::string> Column(kx::UiDriver& d, HWND list, int column) {
  kx::ControlDriver c(d);
  std::vector<std::string> texts;
  for (int row = 0, n = c.ListRowCount(list); row < n; ++row) texts.push_back(c.ListText(list, row, column));
  return texts;
}

int RowMark(kx::UiDriver& d, HWND list, int row) {
  return static_cast<int>(d.Send(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12);
}

std::vector<std::string> Subjects(const CCertificateArray& certificates) {
  std::vector<std::string> names;
  for (INT_PTR i = 0; i < certificates.GetSize(); ++i) {
    CBstrString name = certificates[i].GetInfo(0);
    names.emplace_back(name.GetAnsi() ? name.GetAnsi() : "");
  }
  return names;
}

void PickRecipients(kx::UiDriver& d, HWND recipientsPage, const std::vector<std::string>& names) {
  d.Click(d.Control(recipientsPage, 1043));
  Pick(d, "Select Recipients' Digital IDs", 2, 4216, names);
}

}  // namespace certsel
