// Full-row drawing: shortened texts, the selection bar across the whole row, and the column count.
#include <cstring>

#include "controls/RowListCtrl.h"
#include "lists/lists_test.h"

namespace liststest {
namespace {

// A memory DC with the dialog font, as the rows are drawn with.
class MeasureDC {
 public:
  MeasureDC() {
    dc_.CreateCompatibleDC(nullptr);
    old_ = dc_.SelectObject(GetStockObject(DEFAULT_GUI_FONT));
  }
  ~MeasureDC() { dc_.SelectObject(old_); }
  CDC* operator->() { return &dc_; }
  CDC* get() { return &dc_; }
  int Width(const std::string& s) { return dc_.GetTextExtent(s.c_str(), static_cast<int>(s.size())).cx; }
  int Dots() { return dc_.GetTextExtent("...", 4).cx; }

 private:
  CDC dc_;
  HGDIOBJ old_;
};

TEST(FitTextToWidth, KeepsWhatFitsAndShortensTheRestWithinItsBuffer) {
  MeasureDC dc;
  const std::string text = "abcdefgh";
  // Fits with the margin: the text itself.
  LPCSTR same = text.c_str();
  EXPECT_EQ(CRowListCtrl::FitTextToWidth(dc.get(), same, dc.Width(text) + 12, 12), same);
  EXPECT_EQ(CRowListCtrl::FitTextToWidth(dc.get(), "", 0, 12), std::string());
  // As many leading characters as fit beside "..." and the margin.
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), same, dc.Width("abc") + 12 + dc.Dots(), 12)), "abc...");
  // The first column's smaller margin keeps more.
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), same, dc.Width("abc") + 12 + dc.Dots(), 4)),
            dc.Width("abcd") + 4 + dc.Dots() <= dc.Width("abc") + 12 + dc.Dots() ? "abcd..." : "abc...");
  // Nothing fits: the first character stays.
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), same, 0, 12)), "a...");
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), "z", 0, 12)), "z...");
  // Characters of several bytes are never cut in two.
  const std::string accents = "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), accents.c_str(), dc.Width("\xc3\xa9\xc3\xa9") + 12 + dc.Dots(), 12)),
            "\xc3\xa9\xc3\xa9...");
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), accents.c_str(), 0, 12)), "\xc3\xa9...");
  // The longest texts a row holds, and longer ones, at the buffer's limits: at most 259 characters stay.
  for (size_t length : {258u, 259u, 260u, 400u}) {
    const std::string longText(length, 'W');
    for (size_t keep : {std::min<size_t>(length, 259) - 3, std::min<size_t>(length - 1, 259)}) {
      const std::string kept(keep, 'W');
      if (dc.Width(kept) + dc.Dots() >= dc.Width(longText)) continue;
      EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), longText.c_str(), dc.Width(kept) + 12 + dc.Dots(), 12)),
                kept + "...")
          << length << " " << keep;
    }
    EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), longText.c_str(), 30, 12)).substr(0, 1), "W");
  }
  const std::string longest(400, 'W');
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), longest.c_str(), 100000, 12)), longest);
  EXPECT_EQ(std::string(CRowListCtrl::FitTextToWidth(dc.get(), longest.c_str(), dc.Width(std::string(300, 'W')), 12)),
            std::string(259, 'W') + "...");
}

class RowListTest : public ListsTest {
 protected:
  // Row 1 selected, two columns over a list twice as wide.
  static void FillTwo(CListDialog& dialog) {
    ASSERT_TRUE(Fill(dialog.m_list, {"Name", "Size"}, {{"alpha", "beta", "gamma"}, {"1", "2", "3"}}, {0, 1, 2}));
    dialog.m_list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  // The colour right of the last column on a row.
  static COLORREF StripColour(kx::UiDriver& d, HWND list, int row) {
    RECT item{};
    item.left = LVIR_BOUNDS;
    d.Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    RECT client;
    GetClientRect(list, &client);
    EXPECT_LT(item.right, client.right - 10);
    return ctltest::Picture(d, list).At(client.right - 5, (item.top + item.bottom) / 2);
  }
};

TEST_F(RowListTest, TheSelectionBarReachesTheClientEdgeWhileFocusedOrAlwaysShown) {
  for (DWORD style : {0ul, static_cast<unsigned long>(LVS_SHOWSELALWAYS)}) {
    RegisterListDialog(style);
    CListDialog dialog(false, FillTwo);
    Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
      HWND list = d.Control(box, kList);
      const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT), window = GetSysColor(COLOR_WINDOW);
      d.Focus(list);
      EXPECT_EQ(StripColour(d, list, 1), highlight);
      EXPECT_EQ(StripColour(d, list, 0), window);
      d.Focus(d.Control(box, IDCANCEL));
      EXPECT_EQ(StripColour(d, list, 1), style ? highlight : window) << style;
      // A drop target is highlighted whatever the focus.
      d.Invoke(list, [&] { dialog.m_list.SetItemState(2, LVIS_DROPHILITED, LVIS_DROPHILITED); });
      EXPECT_EQ(StripColour(d, list, 2), highlight);
    });
  }
}

TEST_F(RowListTest, FullRowDrawingSwitchesOnceAndColumnsSetTheTextCount) {
  RegisterListDialog(0);
  CListDialog dialog(true);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND list = d.Control(box, kList);
    d.Invoke(list, [&] {
      CReportListCtrl& l = dialog.m_list;
      EXPECT_TRUE(l.GetFullRowDraw());
      EXPECT_FALSE(l.SetFullRowDraw(TRUE));
      EXPECT_TRUE(l.SetFullRowDraw(FALSE));
      EXPECT_FALSE(l.GetStyle() & LVS_OWNERDRAWFIXED);
      EXPECT_TRUE(l.SetFullRowDraw(TRUE));
      EXPECT_TRUE(l.GetStyle() & LVS_OWNERDRAWFIXED);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(l.InsertColumn(c, "Column", LVCFMT_LEFT, 60), c);
      EXPECT_EQ(l.GetTextCount(), 3);
    });
  });
}

}  // namespace
}  // namespace liststest
