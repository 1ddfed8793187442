#include "codesign/codesign_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/ByteBuffer.h"
#include "engine/CapicomStore.h"
#include "platform/com/combase.h"
#include "platform/ui/prsht.h"
#include "support/pki.h"
#include "support/testroot.h"
#include "support/wizard.h"

namespace codesign {

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

CByteBuffer Buffer(const std::string& bytes) {
  return CByteBuffer(static_cast<DWORD>(bytes.size()), bytes.data(), false);
}

}  // namespace

void CodeSignTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  m_dir = kxtest::MakeTempDir("codesign");
  for (auto [store, name] : {std::pair{"Root", "root"}, std::pair{"CA", "inter"}}) {
    CCapicomStore s;
    ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(s.ImportFromBuffer(Buffer(kxtest::pki::DerBytes(name))), S_OK);
  }
  // The digital IDs a person has: the code-signing one and an e-mail one, each with its key.
  for (const char* name : {"codesign", "signer"}) {
    const std::string pfx = kxtest::pki::MakePfx(name, "pw", false, m_dir + "/" + name + ".pfx");
    ASSERT_FALSE(pfx.empty());
    CCapicomStore my;
    ASSERT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    ASSERT_EQ(my.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE), S_OK);
  }
}

void CodeSignTest::TearDown() {
  m_tsa.Stop();
  CoUninitialize();
}

std::string CodeSignTest::Program(const std::string& fixture, const std::string& folder, const std::string& as) {
  const std::string source = std::string(KX_PE_DIR) + "/" + fixture;
  const std::string bytes = kxtest::ReadFile(source);
  EXPECT_GT(bytes.size(), 512u) << "missing " << source << " (mingw-w64 cross compilers)";
  const std::string path = folder + "/" + (as.empty() ? fixture : as);
  kxtest::WriteFile(path, bytes);
  return path;
}

void CodeSignTest::StartTimeStamping() {
  // The service is on this machine whatever proxy the environment names.
  setenv("no_proxy", "127.0.0.1,localhost", 1);
  std::string error;
  const std::string work = kxtest::MakeTempDir("tsa");
  ASSERT_TRUE(m_tsa.Start(kxtest::SourceDir() + "/tests/signedcode/tsa_server.py",
                          {work, kxtest::pki::Pem("tsa"), kxtest::pki::Key("tsa"), kxtest::pki::ChainPem()}, &error))
      << error;
}

bool CodeSignTest::OsslVerify(const std::string& path, bool stamped, std::string* out) {
  std::string text;
  const std::string root = Quote(kxtest::pki::Pem("root"));
  const int rc = kxtest::Run("osslsigncode verify -in " + Quote(path) + " -CAfile " + root +
                                 (stamped ? " -TSA-CAfile " + root : std::string()) + " 2>&1",
                             &text);
  if (out) *out = text;
  return rc == 0;
}

std::vector<std::string> CodeSignTest::Names(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace steps {

void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }

void Choose(kx::UiDriver& d, HWND sheet, bool verify) {
  HWND page = d.WaitForDialog(kWelcome);
  if (verify) d.Click(d.Control(page, kVerifyChoice));
  Next(d, sheet);
}

void AddFiles(kx::UiDriver& d, HWND page, const std::string& folder, const std::vector<std::string>& names) {
  d.Click(d.Control(page, kBrowseFiles));
  HWND list = d.WaitForDialog(172);
  d.Click(d.Control(list, 1050));
  kx::ControlDriver(d).FillFileDialog(folder, names);
  // OK comes on once the chosen files are in the list, a moment after the file dialog has gone.
  HWND ok = d.Control(list, IDOK);
  d.WaitForEnabled(ok, true);
  d.Click(ok);
  d.WaitForGone(list);
}

void ChooseSigners(kx::UiDriver& d, HWND page, const std::vector<std::string>& subjects) {
  d.Click(d.Control(page, kCountersign));
  HWND question = d.WaitForTitle("Office Tolvex");
  d.Click(d.ControlByText(question, "Yes", "Button"));
  d.WaitForGone(question);
  HWND picker = d.WaitForTitle("Select Certificates");
  HWND personal = d.WaitForDialog(4205);
  for (const std::string& subject : subjects) {
    kx::ControlDriver(d).ListPickRow(d.Control(personal, 1033), subject);
    d.Click(d.Control(personal, 1050));
  }
  d.Click(d.Control(picker, IDOK));
  d.WaitForGone(picker);
}

std::vector<std::string> WaitForRunEnd(kx::UiDriver& d, HWND sheet) {
  std::vector<std::string> messages;
  HWND next = d.Control(sheet, ID_WIZNEXT), finish = d.Control(sheet, ID_WIZFINISH);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(d.Timeout() * 4);
  for (;;) {
    kx::WindowQuery box;
    box.title = "Office Tolvex";
    if (HWND page = d.Find(box)) {
      std::string text;
      for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (d.ClassName(child) == "Static") text += d.Text(child);
      messages.push_back(text);
      d.Click(d.ControlByText(page, "OK", "Button"));
      d.WaitForGone(page);
      continue;
    }
    if (d.IsEnabled(next) || (d.IsVisible(finish) && d.IsEnabled(finish))) return messages;
    if (std::chrono::steady_clock::now() > deadline) d.Fail("the run did not end");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<std::string> Column(kx::UiDriver& d, HWND list, int column) {
  kx::ControlDriver c(d);
  std::vector<std::string> texts;
  for (int row = 0; row < c.ListRowCount(list); ++row) texts.push_back(c.ListText(list, row, column));
  return texts;
}

void Shot(kx::UiDriver& d, HWND window, const char* name) {
  const char* dir = std::getenv("KX_SCREENSHOT_DIR");
  const std::string folder = dir && *dir ? dir : kxtest::MakeTempDir("shots");
  d.SavePng(window, folder + "/codesign-" + name + ".png");
}

}  // namespace steps
}  // namespace codesign
