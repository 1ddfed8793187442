// The signature manager as a person uses it through DisplaySignatureManager: a signature named, drawn or taken
// from a bitmap file, and saved as a signature file, plain or encrypted for a certificate.
#include "app/FinishPage.h"
#include "app/ResString.h"
#include "controls/ColourPicker.h"
#include "platform/ui/prsht.h"
#include "signatures/signatures_test.h"
#include "signing/EncryptionOptionsDialog.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/SignManagerSheet.h"
#include "support/wizard.h"

extern "C" int DisplaySignatureManager(HWND parent);

using namespace sigtest;
using kxtest::AnswerPage;
using kxtest::Page;
using kxtest::StringOf;

namespace {

constexpr int kName = 1024;

class Manager : public signtest::SigningTest {
 protected:
  static void Next(kx::UiDriver& d, HWND sheet) { kxtest::PressNext(d, sheet); }
  static void Finish(kx::UiDriver& d, HWND sheet) {
    HWND finish = d.Control(sheet, ID_WIZFINISH);
    d.WaitForEnabled(finish);
    d.Click(finish);
    d.WaitForGone(sheet);
  }
  // An 8-bit bitmap file of one colour, made by Pillow.
  std::string Picture(const std::string& name, const char* colour) {
    const std::string path = m_dir + "/" + name;
    const std::string command = std::string("/usr/bin/python3 -c \"from PIL import Image; ") +
                                "Image.new('RGB', (60, 30), '" + colour + "').convert('P').save('" + path + "')\"";
    EXPECT_EQ(kxtest::Run(command), 0);
    return path;
  }
  // Picks a certificate of the user's own in the certificate manager's selection role.
  static void PickCertificate(kx::UiDriver& d, const std::string& name) {
    kx::ControlDriver c(d);
    HWND chooser = d.WaitForTitle(Text(298));
    HWND personal = d.Control(d.WaitForDialog(102), 1033);
    c.ListDoubleClickRow(personal, c.WaitForListRow(personal, name));
    d.WaitForGone(chooser);
  }
  // The manager's sheet object behind its window (read on the interface thread only).
  static CSignManagerSheet* SheetOf(HWND sheet) {
    return dynamic_cast<CSignManagerSheet*>(CWnd::FromHandlePermanent(sheet));
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
    // A name has fifty characters at the most.
    d.SetText(d.Control(welcome, kName), std::string(51, 'n'));
    EXPECT_EQ(d.Text(d.Control(welcome, kName)), std::string(50, 'n'));
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
  ASSERT_TRUE(LoadSignature(saved));
  // The bytes as the format lays them out, read apart from the file family.
  SignatureLayout layout = ReadSignatureLayout(saved);
  ASSERT_TRUE(layout.ok);
  EXPECT_EQ(layout.marker, "KSGR");
  EXPECT_EQ(layout.options, "0000000000000001");
  EXPECT_EQ(layout.textA, "");
  EXPECT_EQ(layout.textB, "Alice Example");
  EXPECT_EQ(layout.flag, 0);
  EXPECT_EQ(layout.textC + layout.textD + layout.textE, "");
  EXPECT_TRUE(layout.digestOk);
  BitmapFacts bmp = InspectBitmap(layout.image);
  ASSERT_TRUE(bmp.ok);
  EXPECT_EQ(bmp.format, "BMP");
  EXPECT_EQ(bmp.mode, "P");
  EXPECT_EQ(bmp.bitCount, 8);
  EXPECT_EQ(bmp.offBits, 1078u);
  EXPECT_EQ(bmp.fileSize, layout.image.size());
  EXPECT_GT(bmp.dark, 100);
}

}  // namespace

namespace {

// A bitmap file taken as it is needs no drawing page; the file is encrypted for the certificate chosen last
// (a second choice replaces the first, a cancelled cipher choice takes nothing), and only that certificate's
// key opens it again, as openssl finds.
TEST_F(Manager, ABitmapFileIsEncryptedForTheCertificateChosenLast) {
  WithKey("signer");
  WithKey("encrypt");
  const std::string picture = Picture("picture.bmp", "navy");
  const std::string saved = m_dir + "/bob.sgr";
  Show([&](kx::UiDriver& d, HWND sheet) {
    d.SetText(d.Control(Page(d, sheet, 4219), kName), "Bob's signature");
    Next(d, sheet);
    HWND source = Page(d, sheet, 4220);
    d.Click(d.Control(source, 1007));
    Next(d, sheet);
    EXPECT_EQ(AnswerPage(d, "OK"), Text(438));
    d.Click(d.Control(source, 1008));
    kx::ControlDriver(d).FillFileDialog(m_dir, {"picture.bmp"});
    d.WaitForText(d.Control(source, 1009), picture);
    Next(d, sheet);
    HWND file = Page(d, sheet, 4221);
    // Back passes over the drawing page too.
    d.Click(d.Control(sheet, ID_WIZBACK));
    Page(d, sheet, 4220);
    Next(d, sheet);
    Page(d, sheet, 4221);

    d.Click(d.Control(file, 1014));
    HWND choose = d.Control(file, 1008), certificate = d.Control(file, 1017);
    EXPECT_TRUE(d.IsEnabled(choose));
    kx::ControlDriver c(d);
    d.Click(choose);
    PickCertificate(d, "Alice Signer");
    HWND options = d.WaitForDialog(CEncryptionOptionsDialog::IDD);
    c.ComboPick(d.Control(options, 1038), "Triple DES (3-Key)");
    EXPECT_EQ(c.ComboText(d.Control(options, 1039)), "168 " + Text(429));
    d.Click(d.Control(options, IDOK));
    d.WaitForText(certificate, "Alice Signer");

    d.Click(choose);
    PickCertificate(d, "Bob Encryption");
    options = d.WaitForDialog(CEncryptionOptionsDialog::IDD);
    d.Click(d.Control(options, IDCANCEL));
    EXPECT_EQ(AnswerPage(d, "OK"), Text(5043));
    EXPECT_EQ(d.Text(certificate), "Alice Signer");

    d.Click(choose);
    PickCertificate(d, "Bob Encryption");
    d.Click(d.Control(d.WaitForDialog(CEncryptionOptionsDialog::IDD), IDOK));
    d.WaitForText(certificate, "Bob Encryption");
    d.SavePng(sheet, frametest::Shot("manager-encrypted"));
    Next(d, sheet);
    kx::ControlDriver(d).FillFileDialog(m_dir, {"bob.sgr"});
    AnswerPage(d, "OK");
    Page(d, sheet, 4250);
    Finish(d, sheet);
  });
  ASSERT_TRUE(LoadSignature(saved));
  SignatureLayout layout = ReadSignatureLayout(saved);
  ASSERT_TRUE(layout.ok);
  EXPECT_EQ(layout.textB, "Bob's signature");
  EXPECT_EQ(layout.flag, 1);
  EXPECT_EQ(layout.textC, "Bob Encryption");
  EXPECT_NE(layout.textD, "");
  EXPECT_NE(layout.textE, "");
  EXPECT_TRUE(layout.digestOk);
  const std::string message = m_dir + "/image.der", opened = m_dir + "/image.bmp";
  kxtest::WriteFile(message, layout.image);
  const std::string decrypt = "cms -decrypt -binary -inform DER -in " + message + " -out " + opened;
  std::string out;
  EXPECT_EQ(Openssl(decrypt + " -recip " + kxtest::pki::Pem("encrypt") + " -inkey " + kxtest::pki::Key("encrypt"), &out), 0)
      << out;
  EXPECT_EQ(kxtest::ReadFile(opened), kxtest::ReadFile(picture));
  EXPECT_NE(Openssl(decrypt + " -recip " + kxtest::pki::Pem("signer") + " -inkey " + kxtest::pki::Key("signer"), &out), 0)
      << "the first choice was replaced";
}

// The cipher choices of the encryption options, in the engine's codes; 168-bit triple DES is the engine's
// maximum key length.
TEST_F(Manager, TheEncryptionOptionsGiveTheEnginesCodes) {
  struct Case {
    const char* cipher;
    const char* bits;
    int algorithm, keyLength;
  } cases[] = {{"DES", "56 ", 2, 2},          {"DES", "40 ", 2, 1},  {"Triple DES (2-Key)", "128 ", 3, 3},
               {"RC2", "40 ", 0, 1},          {"RC2", "128 ", 0, 3}, {"RC4", "128 ", 1, 3},
               {"Triple DES (3-Key)", "168 ", 3, 0}};
  for (const Case& k : cases) {
    CEncryptionOptionsDialog dialog;
    kx::RunWithUi([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
      kx::ControlDriver c(d);
      HWND box = d.WaitForDialog(CEncryptionOptionsDialog::IDD);
      HWND ciphers = d.Control(box, 1038), lengths = d.Control(box, 1039);
      EXPECT_EQ(c.ComboItems(ciphers).size(), 5u);
      EXPECT_EQ(c.ComboText(ciphers), "Triple DES (2-Key)");
      c.ComboPick(ciphers, k.cipher);
      c.ComboPick(lengths, std::string(k.bits) + Text(429));
      d.Click(d.Control(box, IDOK));
      d.WaitForGone(box);
    });
    EXPECT_EQ(dialog.m_nEngineAlgorithm, k.algorithm) << k.cipher << k.bits;
    EXPECT_EQ(dialog.m_nEngineKeyLength, k.keyLength) << k.cipher << k.bits;
  }
}

// A window that records the finish notices the library posts to its main window.
class NoticeWindow : public CWnd {
 public:
  std::vector<WPARAM> codes;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_WIZARD_FINISHED) codes.push_back(wParam);
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

// With the finish page switched off the file page finishes the wizard: a cancelled save asks whether to go on,
// No stays, Yes ends without a file, and the host is told (code 104) all the same.
TEST_F(Manager, WithoutTheFinishPageTheFilePageFinishesAndTellsTheHost) {
  SetSetting("Config", "ShowFinishPage", 0);
  NoticeWindow notices;
  ASSERT_TRUE(notices.CreateEx(0, "STATIC", "KX", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr));
  CWnd* main = frametest::App().m_pMainWnd;
  frametest::App().m_pMainWnd = &notices;
  Show([&](kx::UiDriver& d, HWND sheet) {
    d.SetText(d.Control(Page(d, sheet, 4219), kName), "Quick");
    Next(d, sheet);
    Page(d, sheet, 4220);
    Next(d, sheet);
    Scribble(d, PadOf(d, Page(d, sheet, 4211)));
    Next(d, sheet);
    Page(d, sheet, 4221);
    HWND finish = d.Control(sheet, ID_WIZFINISH);
    d.WaitForEnabled(finish);
    d.Click(finish);
    kx::ControlDriver(d).CancelCommonDialog();
    EXPECT_EQ(AnswerPage(d, "No"), Text(5048));
    Page(d, sheet, 4221);
    d.Click(finish);
    kx::ControlDriver(d).CancelCommonDialog();
    AnswerPage(d, "Yes");
    d.WaitForGone(sheet);
  });
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  frametest::App().m_pMainWnd = main;
  EXPECT_EQ(notices.codes, std::vector<WPARAM>{104});
  EXPECT_EQ(kxtest::Run("ls " + m_dir + "/*.sgr 2>/dev/null"), 2);
  notices.DestroyWindow();
}

// Drawing over a picture in red: the saved picture holds the picture and the red strokes (strokes drawn before
// the colour change turn red too); another picture chosen afterwards starts the drawing anew.
TEST_F(Manager, StrokesOverAPictureTakeThePickedColour) {
  Picture("navy.bmp", "navy");
  Picture("white.bmp", "white");
  const std::string saved = m_dir + "/red.sgr";
  int strokesAfterNewPicture = -1;
  Show([&](kx::UiDriver& d, HWND sheet) {
    d.SetText(d.Control(Page(d, sheet, 4219), kName), "Red");
    Next(d, sheet);
    HWND source = Page(d, sheet, 4220);
    d.Click(d.Control(source, 1010));
    d.Click(d.Control(source, 1012));
    kx::ControlDriver(d).FillFileDialog(m_dir, {"white.bmp"});
    Next(d, sheet);
    HWND draw = Page(d, sheet, 4211);
    HWND pad = PadOf(d, draw);
    Draw(d, pad, {{10, 10}, {40, 40}});
    // Another picture chosen afterwards starts the drawing anew.
    d.Click(d.Control(sheet, ID_WIZBACK));
    Page(d, sheet, 4220);
    d.Click(d.Control(source, 1012));
    kx::ControlDriver(d).FillFileDialog(m_dir, {"navy.bmp"});
    Next(d, sheet);
    Page(d, sheet, 4211);
    d.Invoke(sheet, [&] { strokesAfterNewPicture = int(SheetOf(sheet)->m_pDocument->m_strokeList.GetCount()); });

    Scribble(d, pad);
    // The picker's grid: the red cell.
    HWND picker = d.Control(draw, 1068);
    d.Click(picker);
    HWND popup = nullptr;
    CRect cell;
    d.Invoke(picker, [&] {
      popup = GetCapture();
      auto* grid = dynamic_cast<CColourPopup*>(CWnd::FromHandlePermanent(popup));
      for (int i = 0; grid && i < 40; ++i)
        if (kColourTable[i].colour == RGB(255, 0, 0)) grid->GetCellRect(i, &cell);
    });
    ASSERT_NE(popup, nullptr);
    d.ClickAt(popup, cell.CenterPoint().x, cell.CenterPoint().y);
    d.WaitForGone(popup);
    Draw(d, pad, {{150, 20}, {200, 90}});
    d.SavePng(sheet, frametest::Shot("manager-over-picture"));
    Next(d, sheet);
    Page(d, sheet, 4221);
    Next(d, sheet);
    kx::ControlDriver(d).FillFileDialog(m_dir, {"red.sgr"});
    AnswerPage(d, "OK");
    Page(d, sheet, 4250);
    Finish(d, sheet);
  });
  EXPECT_EQ(strokesAfterNewPicture, 0);
  auto signature = LoadSignature(saved);
  ASSERT_TRUE(signature);
  BitmapFacts bmp = InspectBitmap(StringOf(signature->m_image));
  ASSERT_TRUE(bmp.ok);
  EXPECT_GT(bmp.coloured, 150) << "every stroke in red";
  EXPECT_GT(bmp.dark, 60 * 30 - 100) << "the navy picture under them";
}

}  // namespace
