// The drawing document, its strokes and commands, the window capture into an 8-bit bitmap file, and the
// drawing view driven with the mouse.
#include <sys/stat.h>

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"
#include "platform/ui/dlgtemplate.h"
#include "signatures/signatures_test.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/ScribbleView.h"

using namespace sigtest;
using kxtest::AnswerPage;

namespace {

constexpr UINT kPadTemplate = 64201;

class Drawing : public frametest::FrameTest {};

// Strokes' bounding rectangles: the points' extent grown by the whole pen width on every side.
TEST(Stroke, TheBoundingRectangleIsGrownByTheWholePenWidth) {
  struct Case {
    UINT width;
    std::vector<CPoint> points;
    CRect expected;
  } cases[] = {
      {3, {}, CRect(0, 0, 0, 0)},
      {3, {CPoint(10, 20)}, CRect(7, 17, 13, 23)},
      {5, {CPoint(10, 20), CPoint(10, 20)}, CRect(5, 15, 15, 25)},
      {2, {CPoint(40, 5), CPoint(-4, 30), CPoint(12, 18)}, CRect(-6, 3, 42, 32)},
  };
  for (const Case& c : cases) {
    CStroke stroke(c.width);
    stroke.m_rectBounding.SetRect(1, 1, 2, 2);
    for (const CPoint& p : c.points) stroke.m_pointArray.Add(p);
    stroke.FinishStroke();
    EXPECT_EQ(stroke.GetBoundingRect(), c.expected) << c.points.size() << " points";
  }
}

// The document's commands, reached through its command map as a menu or button would reach them.
TEST(DrawingDocument, TheCommandsClearToggleAndReportTheirState) {
  COfficeTolvexDoc doc;
  // A document that no one prepared still has its pen.
  EXPECT_NE(doc.GetCurrentPen()->GetSafeHandle(), nullptr);
  EXPECT_EQ(doc.m_nPenWidth, 2u);
  auto update = [&](UINT id) {
    CCmdUI ui;
    ui.m_nID = id;
    EXPECT_TRUE(ui.DoUpdate(&doc));
    return ui;
  };
  EXPECT_FALSE(update(COfficeTolvexDoc::ID_EDIT_CLEAR_ALL).m_bEnabled);
  doc.NewStroke()->m_pointArray.Add(CPoint(1, 1));
  EXPECT_TRUE(update(COfficeTolvexDoc::ID_EDIT_CLEAR_ALL).m_bEnabled);

  doc.ReplacePen(RGB(0, 0, 255));
  EXPECT_TRUE(doc.OnCmdMsg(COfficeTolvexDoc::ID_PEN_THICK_OR_THIN, 0, nullptr, nullptr));
  EXPECT_EQ(doc.m_nPenWidth, 5u);
  EXPECT_EQ(update(COfficeTolvexDoc::ID_PEN_THICK_OR_THIN).m_nCheck, 1);
  doc.TogglePenThickness();
  EXPECT_EQ(doc.m_nPenWidth, 2u);
  EXPECT_EQ(doc.m_crPenColour, RGB(0, 0, 255));
  LOGPEN pen{};
  doc.GetCurrentPen()->GetObject(sizeof pen, &pen);
  EXPECT_EQ(pen.lopnColor, RGB(0, 0, 255));
  EXPECT_EQ(pen.lopnWidth.x, 2);

  doc.SetModifiedFlag(FALSE);
  EXPECT_TRUE(doc.OnCmdMsg(COfficeTolvexDoc::ID_EDIT_CLEAR_ALL, 0, nullptr, nullptr));
  EXPECT_TRUE(doc.m_strokeList.IsEmpty());
  EXPECT_TRUE(doc.IsModified());
  doc.SetTitle("a title");
  EXPECT_STREQ(doc.GetTitle(), "");
}

// A window one pixel wide still takes four bytes a row; the header and palette are those of an 8-bit DIB, as
// Pillow reads it too.
TEST_F(Drawing, TheCaptureOfANarrowWindowIsAnEightBitBitmap) {
  CWnd window;
  ASSERT_TRUE(window.CreateEx(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 1, 3, nullptr, nullptr));
  const std::string path = kxtest::MakeTempDir("capture") + "/narrow.bmp";
  ASSERT_TRUE(WriteWindowToDib(path.c_str(), &window));
  const std::string bytes = kxtest::ReadFile(path);
  BitmapFacts facts = InspectBitmap(bytes);
  ASSERT_TRUE(facts.ok);
  EXPECT_EQ(facts.mode, "P");
  EXPECT_EQ(facts.width, 1);
  EXPECT_EQ(facts.height, 3);
  EXPECT_EQ(facts.bitCount, 8);
  EXPECT_EQ(facts.offBits, 1078u);
  EXPECT_EQ(bytes.size(), 1078u + 3 * 4);
  EXPECT_EQ(facts.fileSize, bytes.size());
  std::string identify;
  ASSERT_EQ(kxtest::Run("/usr/bin/identify -format '%w %h %[bit-depth] %[type]' " + path, &identify), 0);
  EXPECT_EQ(identify.substr(0, 6), "1 3 8 ") << identify;

  // A file that cannot be written is reported, and nothing is left.
  const std::string blocked = kxtest::MakeTempDir("blocked");
  ASSERT_EQ(chmod(blocked.c_str(), 0500), 0);
  if (geteuid() != 0) {
    EXPECT_FALSE(WriteWindowToDib((blocked + "/x.bmp").c_str(), &window));
  }
  EXPECT_FALSE(WriteWindowToDib((blocked + "/missing/x.bmp").c_str(), &window));
  EXPECT_FALSE(kxtest::Run("test -e " + blocked + "/missing/x.bmp") == 0);
  window.DestroyWindow();
}

// A picture that is no bitmap is refused with the library's text; a bitmap is loaded (the strokes go when asked)
// and the document counts as unchanged.
TEST_F(Drawing, APictureIsLoadedOnlyFromABitmapFile) {
  const std::string dir = kxtest::MakeTempDir("pictures");
  kxtest::WriteFile(dir + "/not.bmp", "this is text, not a bitmap");
  CWnd window;
  ASSERT_TRUE(window.CreateEx(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 30, 20, nullptr, nullptr));
  ASSERT_TRUE(WriteWindowToDib((dir + "/good.bmp").c_str(), &window));
  window.DestroyWindow();

  COfficeTolvexDoc doc;
  INT_PTR refused = kx::RunWithUi([&] { return INT_PTR(doc.OpenImage((dir + "/not.bmp").c_str(), true)); },
                                  [&](kx::UiDriver& d) { EXPECT_EQ(AnswerPage(d, "OK"), Text(131)); });
  EXPECT_EQ(refused, FALSE);
  EXPECT_FALSE(doc.HasImage());
  EXPECT_STREQ(doc.GetPathName(), "");

  doc.NewStroke();
  ASSERT_TRUE(doc.OpenImage((dir + "/good.bmp").c_str(), true));
  EXPECT_TRUE(doc.HasImage());
  EXPECT_EQ(doc.GetImageWidth(), 30);
  EXPECT_EQ(doc.GetImageHeight(), 20);
  EXPECT_TRUE(doc.m_strokeList.IsEmpty());
  EXPECT_FALSE(doc.IsModified());
  doc.ClearAll();
  EXPECT_FALSE(doc.HasImage());
}

// A dialog with a drawing pad over its control 1000.
class PadDialog : public CDialog {
 public:
  explicit PadDialog(bool readOnly) : CDialog(kPadTemplate), m_readOnly(readOnly) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_view = new CScribbleView;
    m_view->m_bReadOnly = m_readOnly ? 1 : 0;
    if (m_view->CreateInWindow(GetDlgItem(1000), &m_doc)) m_view->OnInitialUpdate();
    return TRUE;
  }
  COfficeTolvexDoc m_doc;
  CScribbleView* m_view = nullptr;
  bool m_readOnly;
};

void RegisterPadTemplate(HMODULE module) {
  kx::DialogTemplate t;
  t.cx = 200;
  t.cy = 120;
  t.title = "Pad";
  kx::DialogItemTemplate pad;
  pad.className = "Static";
  pad.id = 1000;
  pad.x = 5;
  pad.y = 5;
  pad.cx = 190;
  pad.cy = 90;
  t.items.push_back(pad);
  kx::DialogItemTemplate ok;
  ok.className = "Button";
  ok.text = "OK";
  ok.id = IDOK;
  ok.x = 150;
  ok.y = 100;
  ok.cx = 40;
  ok.cy = 14;
  t.items.push_back(ok);
  kx::RegisterDialogTemplate(module, MAKEINTRESOURCE(kPadTemplate), t);
}

// A drag makes a stroke through its points and a plain click a stroke of two equal points; a read-only pad
// takes neither, and never takes the mouse.
TEST_F(Drawing, TheMouseDrawsStrokesUnlessThePadIsReadOnly) {
  RegisterPadTemplate(Resources());
  for (bool readOnly : {false, true}) {
    PadDialog dialog(readOnly);
    HWND captured = nullptr;
    kx::RunWithUi([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
      HWND box = d.WaitForTitle("Pad");
      HWND pad = GetWindow(d.Control(box, 1000), GW_CHILD);
      ASSERT_NE(pad, nullptr);
      Draw(d, pad, {{10, 10}, {30, 40}, {50, 20}});
      d.Post(pad, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(70, 70));
      d.Sync(pad);
      d.Invoke(pad, [&] { captured = GetCapture(); });
      d.Post(pad, WM_LBUTTONUP, 0, MAKELPARAM(70, 70));
      d.Sync(pad);
      d.Click(d.Control(box, IDOK));
    });
    if (readOnly) {
      EXPECT_TRUE(dialog.m_doc.m_strokeList.IsEmpty());
      EXPECT_EQ(captured, nullptr);
      EXPECT_FALSE(dialog.m_doc.IsModified());
      continue;
    }
    ASSERT_EQ(dialog.m_doc.m_strokeList.GetCount(), 2);
    CStroke* drag = dialog.m_doc.m_strokeList.GetHead();
    CStroke* click = dialog.m_doc.m_strokeList.GetTail();
    ASSERT_EQ(drag->m_pointArray.GetSize(), 3);
    EXPECT_EQ(drag->m_pointArray[1], CPoint(30, 40));
    EXPECT_EQ(drag->GetBoundingRect(), CRect(8, 8, 52, 42));
    ASSERT_EQ(click->m_pointArray.GetSize(), 2);
    EXPECT_EQ(click->m_pointArray[0], click->m_pointArray[1]);
    EXPECT_NE(captured, nullptr);
    EXPECT_TRUE(dialog.m_doc.IsModified());
  }
}

// The pen widths dialog takes widths of 1 to 20 only, offers the defaults, and changes the pens only on OK.
TEST_F(Drawing, PenWidthsChangeOnlyOnOkAndWithinTheirRange) {
  COfficeTolvexDoc doc;
  kx::RunWithUi([&] {
    doc.EditPenWidths();
    return INT_PTR(0);
  }, [&](kx::UiDriver& d) {
    HWND box = d.WaitForDialog(PenWidthsDialog::IDD);
    EXPECT_EQ(d.Text(d.Control(box, 1000)), "2");
    d.SetText(d.Control(box, 1001), "21");
    d.Click(d.Control(box, IDOK));
    // The framework's range message; the dialog stays.
    EXPECT_NE(AnswerPage(d, "OK").find("between 1 and 20"), std::string::npos);
    d.SetText(d.Control(box, 1000), "7");
    d.SetText(d.Control(box, 1001), "9");
    d.Click(d.Control(box, IDCANCEL));
    d.WaitForGone(box);
  });
  EXPECT_EQ(doc.m_nThinWidth, 2u);
  EXPECT_EQ(doc.m_nThickWidth, 5u);

  kx::RunWithUi([&] {
    doc.EditPenWidths();
    return INT_PTR(0);
  }, [&](kx::UiDriver& d) {
    HWND box = d.WaitForDialog(PenWidthsDialog::IDD);
    d.SetText(d.Control(box, 1000), "7");
    d.SetText(d.Control(box, 1001), "12");
    d.Click(d.Control(box, 1002));
    EXPECT_EQ(d.Text(d.Control(box, 1001)), "5");
    d.SetText(d.Control(box, 1000), "4");
    d.Click(d.Control(box, IDOK));
    d.WaitForGone(box);
  });
  EXPECT_EQ(doc.m_nThinWidth, 4u);
  EXPECT_EQ(doc.m_nThickWidth, 5u);
  EXPECT_EQ(doc.m_nPenWidth, 4u);
}

}  // namespace
