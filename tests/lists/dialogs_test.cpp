// The small dialogs and controls: date and time pick, colour label, auto-complete combo box, archive text,
// and the plain report list of the zip page.
#include "controls/AutoCompleteCombo.h"
#include "controls/BasicReportListCtrl.h"
#include "controls/ColorLabel.h"
#include "controls/DateTimePickDlg.h"
#include "lists/lists_test.h"
#include "platform/ui/dlgbuild.h"

namespace liststest {
namespace {

using kx::dlg::Item;

class DialogsTest : public ListsTest {};

SYSTEMTIME Time(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  return st;
}

TEST_F(DialogsTest, DateAndTimeArePickedOnOkAndKeptOnCancel) {
  for (bool ok : {true, false}) {
    CDateTimePickDlg dialog;
    dialog.m_date = COleDateTime(2004, 3, 5, 0, 0, 0);
    dialog.m_time = COleDateTime(2004, 3, 5, 13, 45, 30);
    // It zooms out of the time-stamp button and back into it.
    if (ok) dialog.m_rcSource = CRect(20, 20, 90, 44);
    INT_PTR result = Run(
        dialog, CDateTimePickDlg::IDD,
        [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
          HWND date = d.Control(box, CDateTimePickDlg::IDC_DATE), time = d.Control(box, CDateTimePickDlg::IDC_TIME);
          SYSTEMTIME shown = c.GetDateTime(date);
          EXPECT_EQ(shown.wYear, 2004);
          EXPECT_EQ(shown.wMonth, 3);
          EXPECT_EQ(shown.wDay, 5);
          shown = c.GetDateTime(time);
          EXPECT_EQ(shown.wHour, 13);
          EXPECT_EQ(shown.wMinute, 45);
          EXPECT_EQ(shown.wSecond, 30);
          c.SetDateTime(date, Time(2010, 7, 20, 0, 0, 0));
          c.SetDateTime(time, Time(2010, 7, 20, 8, 9, 10));
          if (ok) d.SavePng(box, ctltest::PngPath("date-time.png"));
          d.Click(d.Control(box, ok ? IDOK : IDCANCEL));
        },
        false);
    EXPECT_EQ(result, ok ? IDOK : IDCANCEL);
    EXPECT_EQ(dialog.m_date.GetYear(), ok ? 2010 : 2004);
    EXPECT_EQ(dialog.m_date.GetMonth(), ok ? 7 : 3);
    EXPECT_EQ(dialog.m_date.GetDay(), ok ? 20 : 5);
    EXPECT_EQ(dialog.m_time.GetHour(), ok ? 8 : 13);
    EXPECT_EQ(dialog.m_time.GetMinute(), ok ? 9 : 45);
    EXPECT_EQ(dialog.m_time.GetSecond(), ok ? 10 : 30);
  }
}

// A dialog of one control of each kind below.
constexpr UINT kControlsDialog = 9301;
constexpr int kLabel = 200, kIconLabel = 201, kCombo = 202, kBasicList = 203;

class CControlsDialog : public CDialog {
 public:
  CControlsDialog() : CDialog(kControlsDialog) {}
  CColorLabel m_label, m_iconLabel;
  CAutoCompleteCombo m_combo;
  CBasicReportListCtrl m_list;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kLabel, m_label);
    DDX_Control(pDX, kIconLabel, m_iconLabel);
    DDX_Control(pDX, kCombo, m_combo);
    DDX_Control(pDX, kBasicList, m_list);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    for (const char* host : {"kestrel.example", "kesmora.example", "other.example"}) m_combo.AddString(host);
    return TRUE;
  }
};

class ControlsTest : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    kx::DialogTemplate t = kx::dlg::Dialog("Controls", 260, 200);
    t.items.push_back(Item(WC_STATICA, "Warning: the certificate has expired", kLabel, 7, 7, 200, 12, SS_LEFT));
    t.items.push_back(Item(WC_STATICA, "", kIconLabel, 210, 7, 20, 12, SS_BLACKRECT));
    t.items.push_back(Item(WC_COMBOBOXA, "", kCombo, 7, 25, 150, 80, CBS_DROPDOWN | WS_TABSTOP | WS_VSCROLL));
    t.items.push_back(Item(WC_LISTVIEWA, "", kBasicList, 7, 45, 246, 100, LVS_REPORT | WS_BORDER | WS_TABSTOP));
    t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 203, 179, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
    kx::RegisterDialogTemplate(Resources(), MAKEINTRESOURCE(kControlsDialog), t);
  }
  // Pixels of the label whose colour is near `colour` (the text is smoothed at its edges).
  static int PixelsOf(kx::UiDriver& d, HWND label, COLORREF colour) {
    ctltest::Picture p(d, label);
    RECT all{0, 0, p.Width(), p.Height()};
    return p.Count(all, [&](COLORREF x) {
      return std::abs(GetRValue(x) - GetRValue(colour)) < 24 && std::abs(GetGValue(x) - GetGValue(colour)) < 24 &&
             std::abs(GetBValue(x) - GetBValue(colour)) < 24;
    });
  }
};

TEST_F(ControlsTest, TheColourLabelPaintsItsColourInItsOwnNeverUnderlinedFont) {
  CControlsDialog dialog;
  Run(dialog, kControlsDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND label = d.Control(box, kLabel);
    EXPECT_GT(PixelsOf(d, label, RGB(0, 70, 213)), 20);
    EXPECT_EQ(PixelsOf(d, label, RGB(255, 0, 0)), 0);
    d.Invoke(label, [&] {
      dialog.m_label.SetTextColor(RGB(255, 0, 0));
      dialog.m_label.Invalidate();
    });
    EXPECT_GT(PixelsOf(d, label, RGB(255, 0, 0)), 20);
    EXPECT_EQ(PixelsOf(d, label, RGB(0, 70, 213)), 0);
    d.Invoke(label, [&] {
      ASSERT_NE(dialog.m_label.GetLabelFont(), nullptr);
      LOGFONTA lf{};
      dialog.m_label.GetLabelFont()->GetLogFont(&lf);
      EXPECT_FALSE(lf.lfUnderline);
      // A frame or icon style keeps the dialog's colouring: no font is made for it.
      EXPECT_EQ(dialog.m_iconLabel.GetLabelFont(), nullptr);
    });
  });
}

TEST_F(ControlsTest, AShorterColourLabelTextLeavesNoTraceOfTheLongerOne) {
  CControlsDialog dialog;
  Run(dialog, kControlsDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND label = d.Control(box, kLabel);
    // What the screen shows of the label right of where "OK" ends.
    auto bluePixelsRight = [&] {
      int count = 0;
      d.Invoke(label, [&] {
        ::RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT rc;
        ::GetClientRect(label, &rc);
        HDC dc = ::GetDC(label);
        for (int y = 0; y < rc.bottom; ++y)
          for (int x = rc.right / 3; x < rc.right; ++x) {
            COLORREF c = ::GetPixel(dc, x, y);
            if (std::abs(GetRValue(c) - 0) < 40 && std::abs(GetGValue(c) - 70) < 40 && std::abs(GetBValue(c) - 213) < 40)
              ++count;
          }
        ::ReleaseDC(label, dc);
      });
      return count;
    };
    EXPECT_GT(bluePixelsRight(), 20);
    d.Invoke(label, [&] { dialog.m_label.SetWindowText("OK"); });
    d.Sync(label);
    EXPECT_EQ(bluePixelsRight(), 0);
  });
}

TEST_F(ControlsTest, TheComboCompletesTypedTextFromItsListUntilBackspace) {
  CControlsDialog dialog;
  Run(dialog, kControlsDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND combo = d.Control(box, kCombo);
    auto selection = [&] {
      DWORD sel = static_cast<DWORD>(d.Send(combo, CB_GETEDITSEL));
      return std::make_pair(static_cast<int>(LOWORD(sel)), static_cast<int>(HIWORD(sel)));
    };
    c.ComboType(combo, "k");
    // The first entry in list order that begins with the text, its tail selected.
    EXPECT_EQ(c.ComboText(combo), "kestrel.example");
    EXPECT_EQ(selection(), std::make_pair(1, 15));
    d.Type("esm");
    EXPECT_EQ(c.ComboText(combo), "kesmora.example");
    EXPECT_EQ(selection(), std::make_pair(4, 15));
    // Backspace takes the tail away and completes nothing.
    d.PressKey(VK_BACK);
    EXPECT_EQ(c.ComboText(combo), "kesm");
    d.PressKey(VK_BACK);
    EXPECT_EQ(c.ComboText(combo), "kes");
    // Text that no entry begins with stays as typed, the caret at its end.
    d.Type("x");
    EXPECT_EQ(c.ComboText(combo), "kesx");
    EXPECT_EQ(selection(), std::make_pair(4, 4));
  });
}

TEST_F(ControlsTest, TheBasicListSizesItsColumnsAndReportsItsSelection) {
  CControlsDialog dialog;
  Run(dialog, kControlsDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND list = d.Control(box, kBasicList);
    d.Invoke(list, [&] {
      CBasicReportListCtrl& l = dialog.m_list;
      EXPECT_TRUE(l.CreateSmallImageList());
      EXPECT_GT(l.m_pSmallImageList->GetImageCount(), 1);
      // Headings from the resource library's strings.
      EXPECT_EQ(l.InsertColumnFromResource(0, 272, LVCFMT_LEFT, -1, -1), 0);
      EXPECT_EQ(l.InsertColumnFromResource(1, 273, LVCFMT_RIGHT, -1, -1), 1);
      EXPECT_EQ(HeaderItemCount(l), 2);
      CClientDC dc(&l);
      HGDIOBJ old = dc.SelectObject(reinterpret_cast<HGDIOBJ>(l.SendMessage(WM_GETFONT)));
      EXPECT_TRUE(l.AutoSizeColumns());
      const int emptyWidth = l.GetColumnWidth(0);
      EXPECT_GE(emptyWidth, dc.GetTextExtent("File").cx);
      for (int row = 0; row < 6; ++row) l.InsertItem(row, row == 3 ? "a much longer name of an archive entry.txt" : "a.txt");
      EXPECT_TRUE(l.AutoSizeColumns());
      EXPECT_GE(l.GetColumnWidth(0), dc.GetTextExtent("a much longer name of an archive entry.txt").cx);
      EXPECT_GT(l.GetColumnWidth(0), emptyWidth);
      dc.SelectObject(old);

      EXPECT_EQ(l.GetSelectedIndex(), -1);
      l.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
      l.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
      EXPECT_EQ(l.GetSelectedIndex(), 2);
      CDWordArray indices;
      indices.Add(9);
      l.GetSelectedIndices(indices);
      ASSERT_EQ(indices.GetSize(), 3);
      EXPECT_EQ(indices[0], 9u);
      EXPECT_EQ(indices[1], 2u);
      EXPECT_EQ(indices[2], 5u);
    });
  });
}

TEST_F(DialogsTest, TheArchiveTextComesBackOnOkOnly) {
  for (bool ok : {true, false}) {
    CArchiveTextDlg dialog;
    dialog.m_strText = "Quarterly reports";
    Run(
        dialog, CArchiveTextDlg::IDD,
        [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
          HWND edit = d.Control(box, CArchiveTextDlg::IDC_TEXT);
          EXPECT_EQ(d.Text(edit), "Quarterly reports");
          d.SetText(edit, "Signed archive of 2004");
          d.Click(d.Control(box, ok ? IDOK : IDCANCEL));
        },
        false);
    EXPECT_EQ(std::string(dialog.m_strText), ok ? "Signed archive of 2004" : "Quarterly reports");
  }
}

}  // namespace
}  // namespace liststest
