// Sorting a report list by clicks on its column headings, the heading arrow, and the rows' records.
#include <algorithm>

#include "controls/SortListCtrl.h"
#include "platform/mfc/carchive.h"
#include "platform/mfc/cfile.h"
#include "lists/lists_test.h"

namespace liststest {
namespace {

const std::vector<std::string> kHeadings = {"Name", "Size", "Date", "Mixed"};
const Columns kColumns = {{"beta", "alpha", "gamma", "delta"},
                          {"10", "9", "100", ""},
                          {"05/03/2004", "20/01/2004", "01/12/2003", "15/06/2003"},
                          {"12", "x", "abc", "10"}};

void FillFour(CListDialog& dialog) {
  ASSERT_TRUE(Fill(dialog.m_list, kHeadings, kColumns, {0, 1, 2, 3}));
  // Each row's own number travels with it.
  for (int row = 0; row < 4; ++row) dialog.m_list.SetItemData(row, static_cast<DWORD_PTR>(row));
}

class SortTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    RegisterListDialog(LVS_SHOWSELALWAYS);
  }
};

TEST_F(SortTest, HeadingClicksSortNumbersDatesAndTextsAndASecondClickReverses) {
  CListDialog dialog(true, FillFour);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kList);
    using V = std::vector<std::string>;
    c.ClickColumnHeader(list, 1);
    EXPECT_EQ(ColumnTexts(c, list, 1), (V{"", "9", "10", "100"}));
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{0});
    c.ClickColumnHeader(list, 1);
    EXPECT_EQ(ColumnTexts(c, list, 1), (V{"100", "10", "9", ""}));
    // Day-first dates in calendar order.
    c.ClickColumnHeader(list, 2);
    EXPECT_EQ(ColumnTexts(c, list, 2), (V{"15/06/2003", "01/12/2003", "20/01/2004", "05/03/2004"}));
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(ColumnTexts(c, list, 0), (V{"alpha", "beta", "delta", "gamma"}));
    // A column of numbers and words: numbers compare as numbers only with numbers, so both directions give
    // the same order, reversed.
    c.ClickColumnHeader(list, 3);
    EXPECT_EQ(ColumnTexts(c, list, 3), (V{"10", "12", "abc", "x"}));
    c.ClickColumnHeader(list, 3);
    EXPECT_EQ(ColumnTexts(c, list, 3), (V{"x", "abc", "12", "10"}));
    // The owner's values moved with their rows.
    d.Invoke(list, [&] {
      for (int row = 0; row < 4; ++row)
        EXPECT_EQ(dialog.m_list.GetItemText(row, 0), kColumns[0][dialog.m_list.GetItemData(row)].c_str());
    });
  });
}

TEST_F(SortTest, LongDigitRunsCompareAsLargeNumbers) {
  EXPECT_EQ(CSortListCtrl::CompareNumbers("3000000000", "999"), 1);
  EXPECT_EQ(CSortListCtrl::CompareNumbers("99999999999999999999999", "18446744073709551615"), 0);
  EXPECT_EQ(CSortListCtrl::CompareNumbers("", "0"), 0);
  struct Case {
    const char* text;
    BOOL number, date;
  } cases[] = {{"", TRUE, FALSE},          {"0123", TRUE, FALSE},       {"12a", FALSE, FALSE},
               {"\xd9\xa3", FALSE, FALSE}, {"01/02/2003", FALSE, TRUE}, {"1/02/2003", FALSE, FALSE},
               {"01-02-2003", FALSE, FALSE}};
  for (const Case& k : cases) {
    EXPECT_EQ(CSortListCtrl::IsNumber(k.text), k.number) << k.text;
    EXPECT_EQ(CSortListCtrl::IsDate(k.text), k.date) << k.text;
  }
  EXPECT_EQ(CSortListCtrl::CompareDates("05/03/2004", "20/01/2004"), 1);
  EXPECT_EQ(CSortListCtrl::CompareDates("01/12/2003", "15/06/2003"), 1);
}

TEST_F(SortTest, TheSortedHeadingShowsTheArrowAndAFormerOneLosesIt) {
  CListDialog dialog(true, FillFour);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kList);
    HWND header = reinterpret_cast<HWND>(d.Send(list, LVM_GETHEADER));
    // Pixels of the arrow's colours inside the box the arrow takes at the right of a heading.
    auto arrowPixels = [&](int column) {
      RECT r{};
      d.Send(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&r));
      int o = (r.bottom - r.top) / 4;
      RECT box{r.right - 3 * o - 2, r.top + o - 1, r.right - o + 1, r.bottom - o + 1};
      ctltest::Picture p(d, header);
      COLORREF dark = GetSysColor(COLOR_BTNSHADOW), light = GetSysColor(COLOR_BTNHIGHLIGHT);
      return std::make_pair(p.Count(box, [&](COLORREF x) { return x == dark; }),
                            p.Count(box, [&](COLORREF x) { return x == light; }));
    };
    c.ClickColumnHeader(list, 1);
    auto up = arrowPixels(1);
    EXPECT_GT(up.first, 0);
    EXPECT_GT(up.second, 0);
    c.ClickColumnHeader(list, 1);
    auto down = arrowPixels(1);
    EXPECT_GT(down.first, 0);
    EXPECT_GT(down.second, 0);
    c.ClickColumnHeader(list, 2);
    EXPECT_GT(arrowPixels(2).first, 0);
    EXPECT_EQ(arrowPixels(1), std::make_pair(0, 0));
    // The former sort column still shows its heading.
    d.Invoke(list, [&] {
      HDITEM hd{};
      hd.mask = HDI_FORMAT;
      dialog.m_list.GetArrowHeader().GetItem(1, &hd);
      EXPECT_TRUE(hd.fmt & HDF_OWNERDRAW);
      EXPECT_EQ(dialog.m_list.GetArrowHeader().GetSortColumn(), 2);
    });
    ctltest::Picture heading(d, header);
    RECT r{};
    d.Send(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
    EXPECT_GT(heading.Count(r, [](COLORREF x) { return GetRValue(x) < 100 && GetGValue(x) < 100 && GetBValue(x) < 100; }), 0);
  });
}

TEST(ArrowHeader, AscendingPointsUpAndDescendingPointsDown) {
  // A heading of 100 x 20 drawn into memory: o = 5, the arrow's base and apex rows are 5 and 14.
  CDC dc;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  CBitmap bitmap;
  CClientDC screen(nullptr);
  ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 100, 20));
  CBitmap* old = dc.SelectObject(&bitmap);
  const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), dark = GetSysColor(COLOR_BTNSHADOW);
  auto row = [&](int y, COLORREF colour) {
    int n = 0;
    for (int x = 70; x < 100; ++x) n += dc.GetPixel(x, y) == colour;
    return n;
  };
  CArrowHeaderCtrl header;
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_HEADER;
  dis.itemID = 0;
  dis.hDC = dc.GetSafeHdc();
  dis.rcItem = RECT{0, 0, 100, 20};
  header.SetSortArrow(0, TRUE);
  header.DrawItem(&dis);
  // Ascending: a light base line along the bottom row, the apex at the top.
  EXPECT_GE(row(14, light), 10);
  EXPECT_LE(row(5, light) + row(5, dark), 2);
  header.SetSortArrow(0, FALSE);
  header.DrawItem(&dis);
  // Descending: the base along the top row, the apex at the bottom.
  EXPECT_GE(row(5, dark) + row(5, light), 10);
  EXPECT_LE(row(14, light) + row(14, dark), 2);
  // Another column is drawn without an arrow.
  dis.itemID = 1;
  header.DrawItem(&dis);
  EXPECT_EQ(row(5, dark) + row(5, light) + row(14, light) + row(14, dark), 0);
  dc.SelectObject(old);
}

TEST_F(SortTest, AListLeftUnsortableKeepsItsOrderAndSelection) {
  CListDialog dialog(false, FillFour);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kList);
    c.ClickColumnHeader(list, 0);
    d.Invoke(list, [&] { dialog.m_list.SortItems(0, TRUE); });
    EXPECT_EQ(ColumnTexts(c, list, 0), kColumns[0]);
    EXPECT_TRUE(c.ListSelection(list).empty());
    d.Invoke(list, [&] {
      EXPECT_EQ(dialog.m_list.GetArrowHeader().m_hWnd, nullptr);
      EXPECT_EQ(dialog.m_list.GetSortColumn(), -1);
    });
  });
}

TEST_F(SortTest, HeaderWidthsGoToAnArchiveAndComeBackOnlyForTheSameColumnCount) {
  CListDialog dialog(true, FillFour);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND list = d.Control(box, kList);
    d.Invoke(list, [&] {
      CReportListCtrl& l = dialog.m_list;
      CArrowHeaderCtrl& header = l.GetArrowHeader();
      const int widths[] = {70, 60, 90, 40};
      for (int c = 0; c < 4; ++c) l.SetColumnWidth(c, widths[c]);
      CMemFile file;
      {
        CArchive out(&file, CArchive::store);
        header.Serialize(out);
        out.Close();
      }
      // The count, then one width per column, 32 bits each.
      ASSERT_EQ(file.GetLength(), 20u);
      for (int c = 0; c < 4; ++c) l.SetColumnWidth(c, 50);
      file.SeekToBegin();
      {
        CArchive in(&file, CArchive::load);
        header.Serialize(in);
      }
      for (int c = 0; c < 4; ++c) EXPECT_EQ(l.GetColumnWidth(c), widths[c]);
      // Widths stored for another number of columns are left alone.
      CMemFile other;
      {
        CArchive out(&other, CArchive::store);
        out << static_cast<LONG>(3) << static_cast<LONG>(10) << static_cast<LONG>(10) << static_cast<LONG>(10);
        out.Close();
      }
      other.SeekToBegin();
      {
        CArchive in(&other, CArchive::load);
        header.Serialize(in);
        LONG next = 0;
        in >> next;
        EXPECT_EQ(next, 10);
      }
      for (int c = 0; c < 4; ++c) EXPECT_EQ(l.GetColumnWidth(c), widths[c]);
    });
  });
}

TEST_F(SortTest, RecordsAnswerForTheirRowsOnly) {
  CListDialog dialog(true, FillFour);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver&, HWND box) {
    HWND list = d.Control(box, kList);
    d.Invoke(list, [&] {
      CReportListCtrl& l = dialog.m_list;
      EXPECT_FALSE(l.SetItemData(4, 7));
      EXPECT_EQ(l.GetItemData(4), static_cast<DWORD_PTR>(-1));
      // A row added by hand has no record until it is given one.
      int row = l.InsertItem(4, "epsilon");
      EXPECT_EQ(l.GetItemData(row), static_cast<DWORD_PTR>(-1));
      EXPECT_FALSE(l.SetItemData(row, 7));
      char** texts = CSortListCtrl::NewTextArray(l.GetTextCount());
      texts[0] = CSortListCtrl::CopyText("epsilon");
      EXPECT_TRUE(l.SetItemTexts(row, texts));
      EXPECT_TRUE(l.SetItemData(row, 7));
      EXPECT_EQ(l.GetItemData(row), 7u);
      // The copy follows the text; a refused text keeps the old copy.
      EXPECT_TRUE(l.SetItemText(row, 1, "5"));
      EXPECT_STREQ(l.GetItemTexts(row)[1], "5");
      EXPECT_FALSE(l.SetItemText(9, 1, "6"));
      EXPECT_TRUE(l.FreeItemRecord(row));
      EXPECT_EQ(l.GetItemData(row), static_cast<DWORD_PTR>(-1));
      EXPECT_FALSE(l.FreeItemRecord(row));
      // A row deleted on its own goes with its record; the others keep theirs.
      EXPECT_TRUE(l.DeleteItem(0));
      EXPECT_EQ(l.GetItemData(0), 1u);
      EXPECT_TRUE(l.DeleteAllItems());
      EXPECT_EQ(l.GetItemCount(), 0);
    });
  });
}

}  // namespace
}  // namespace liststest
