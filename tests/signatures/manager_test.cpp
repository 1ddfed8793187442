// The signature manager as a person uses it through DisplaySignatureManager: a signature named, drawn or taken
// from a bitmap file, and saved as a signature file, plain or encrypted for a certificate.
#include "app/ResString.h"
#include "platform/ui/prsht.h"
#include "signatures/signatures_test.h"

extern "C" int DisplaySignatureManager(HWND parent);

using namespace sigtest;
using kxtest::AnswerPage;
using kxtest::Page;

namespace {

constexpr int kName = 1024;

class Manager : public signtest::SigningTest {
 protected:
  static void Next(kx::UiDriver& d, HWND sheet) { d.Click(d.Control(sheet, ID_WIZNEXT)); }
  static void Finish(kx::UiDriver& d, HWND sheet) {
    HWND finish = d.Control(sheet, ID_WIZFINISH);
    d.WaitForEnabled(finish);
    d.Click(finish);
    d.WaitForGone(sheet);
  }
  // Runs the manager with the script; its result.
  static int Show(const std::function<void(kx::UiDriver&, HWND)>& script) {
    return static_cast<int>(kx::RunWithUiHere([] { return INT_PTR(DisplaySignatureManager(nullptr)); },
                                              [&](kx::UiDriver& d) { script(d, d.WaitForTitle(Text(294))); }));
  }
};

// A signature drawn on the pad becomes a plain signature file holding the 8-bit picture of the pad.
TEST_F(Manager, ADrawnSignatureIsSavedAsAPlainSignatureFile) {
  const std::string saved = m_dir + "/alice.sgr";
  int result = Show([&](kx::UiDriver& d, HWND sheet) {
    HWND welcome = Page(d, sheet, 4219);
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(5050));
    d.SetText(d.Control(welcome, kName), "Alice Example");
    d.SavePng(sheet, frametest::Shot("manager-welcome"));
    Next(d, sheet);
    HWND source = Page(d, sheet, 4220);
    EXPECT_TRUE(d.IsChecked(d.Control(source, 1013)));
    d.SavePng(sheet, frametest::Shot("manager-source"));
    Next(d, sheet);
    HWND draw = Page(d, sheet, 4211);
    Scribble(d, PadOf(d, draw));
    d.SavePng(sheet, frametest::Shot("manager-draw"));
    Next(d, sheet);
    HWND file = Page(d, sheet, 4221);
    EXPECT_TRUE(d.IsChecked(d.Control(file, 1015)));
    EXPECT_FALSE(d.IsEnabled(d.Control(file, 1008)));
    d.SavePng(sheet, frametest::Shot("manager-file"));
    Next(d, sheet);
    kx::ControlDriver(d).FillFileDialog(m_dir, {"alice.sgr"});
    std::string text = AnswerPage(d, "OK");
    EXPECT_NE(text.find(saved), std::string::npos) << text;
    Page(d, sheet, 4250);
    Finish(d, sheet);
  });
  EXPECT_EQ(result, 1);
  auto signature = LoadSignature(saved);
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->GetTextB().str(), "Alice Example");
  EXPECT_EQ(signature->m_bFlag, 0);
  EXPECT_EQ(signature->GetTextC().str(), "");
  const BYTE options[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(memcmp(signature->GetOptions(), options, 8), 0);
  BitmapFacts bmp = InspectBitmap(kxtest::StringOf(signature->m_image));
  ASSERT_TRUE(bmp.ok);
  EXPECT_EQ(bmp.format, "BMP");
  EXPECT_EQ(bmp.mode, "P");
  EXPECT_EQ(bmp.bitCount, 8);
  EXPECT_EQ(bmp.offBits, 1078u);
  EXPECT_EQ(bmp.fileSize, signature->m_image.GetLength());
  EXPECT_GT(bmp.dark, 100);
}

}  // namespace
