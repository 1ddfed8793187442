// Filling a report list: headings, column lists, images, row marks, and refills.
#include "lists/lists_test.h"

namespace liststest {
namespace {

class ReportTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    // 200 dialog units: 400 pixels with the dialog font's base units.
    RegisterListDialog(LVS_SHOWSELALWAYS, 200);
  }
};

LVITEM ItemOf(CListCtrl& list, int row, UINT mask) {
  LVITEM item{};
  item.mask = mask;
  item.iItem = row;
  item.stateMask = 0xFFFF;
  list.GetItem(&item);
  return item;
}

TEST_F(ReportTest, ColumnsAreMadeOnceAQuarterOfTheListWideAndRowsMarked) {
  int width = 0;
  CListDialog dialog(true, [&](CListDialog& dlg) {
    CReportListCtrl& l = dlg.m_list;
    ASSERT_TRUE(Fill(l, {"Subject", "Issuer", "Expires"},
                     {{"Alice", "Bob", "Carol"}, {"CA 1", "CA 2", "CA 3"}, {"01/01/2030", "02/02/2031", "03/03/2032"}},
                     {0, 4, 5}));
    CRect r;
    l.GetWindowRect(&r);
    width = r.Width();
    l.SetRowMark(0, FALSE, FALSE, FALSE);
    l.SetRowMark(1, TRUE, FALSE, FALSE);
    l.SetRowMark(2, TRUE, FALSE, TRUE);
  });
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kList);
    EXPECT_EQ(c.ListRowCount(list), 3);
    EXPECT_EQ(c.ListText(list, 1, 1), "CA 2");
    d.Invoke(list, [&] {
      CReportListCtrl& l = dialog.m_list;
      EXPECT_EQ(HeaderItemCount(l), 3);
      for (int col = 0; col < 3; ++col) EXPECT_EQ(l.GetColumnWidth(col), width / 4);
      EXPECT_EQ(ItemOf(l, 0, LVIF_STATE).state & 0xFF00, INDEXTOSTATEIMAGEMASK(1));
      EXPECT_EQ(ItemOf(l, 1, LVIF_STATE).state & 0xFF00, INDEXTOSTATEIMAGEMASK(2));
      EXPECT_EQ(ItemOf(l, 2, LVIF_STATE).state & 0xFF00, INDEXTOSTATEIMAGEMASK(4));
      EXPECT_EQ(ItemOf(l, 1, LVIF_IMAGE).iImage, 4);
      // Mode 0: the current row gets overlay image 1 too.
      l.m_nMode = 0;
      l.SetRowMark(0, TRUE, FALSE, FALSE);
      EXPECT_EQ(ItemOf(l, 0, LVIF_STATE).state & 0xFF00, INDEXTOSTATEIMAGEMASK(2) | INDEXTOOVERLAYMASK(1));
      l.SetRowMark(-1, TRUE, TRUE, TRUE);
      EXPECT_EQ(l.GetMarkedRow(), -1);
      // A refill inserts the rows again without new columns.
      ASSERT_TRUE(Fill(l, {"Subject", "Issuer", "Expires"}, {{"Dave"}, {"CA 4"}, {"04/04/2033"}}, {1}));
      EXPECT_EQ(l.GetItemCount(), 1);
      EXPECT_EQ(HeaderItemCount(l), 3);
    });
    EXPECT_EQ(c.ListText(list, 0, 2), "04/04/2033");
    d.SavePng(box, ctltest::PngPath("report-list.png"));
  });
}

TEST_F(ReportTest, FiveHeadingsAndUnevenColumnsAreRefusedWithAMessage) {
  bool populated = true;
  int headings = -1;
  CListDialog dialog(true, [&](CListDialog& dlg) {
    CReportListCtrl& l = dlg.m_list;
    CStringList five;
    for (const char* h : {"a", "b", "c", "d", "e"}) five.AddTail(h);
    l.SetHeadings(five);
    populated = Fill(l, {"a", "b", "c"}, {{"1", "2", "3"}, {"1", "2", "3"}, {"1", "2"}}, {0, 0, 0});
    headings = HeaderItemCount(l);
  });
  // The library's message pages come up while the page opens.
  kx::RunWithUiHere([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
    EXPECT_EQ(frametest::AnswerPage(d, "OK"), "Too many column headings");
    EXPECT_EQ(frametest::AnswerPage(d, "OK"), "The amounts of key data to be shown are not consistent");
    kx::ControlDriver c(d);
    HWND box = d.WaitForDialog(kListDialog);
    EXPECT_EQ(c.ListRowCount(d.Control(box, kList)), 0);
    d.Click(d.Control(box, IDOK));
  });
  EXPECT_FALSE(populated);
  // The columns were made from the three headings, not the refused five.
  EXPECT_EQ(headings, 3);
}

TEST_F(ReportTest, RowsWithoutHeadingsKeepTheirTexts) {
  CListDialog dialog(true, [&](CListDialog& dlg) {
    CReportListCtrl& l = dlg.m_list;
    ASSERT_TRUE(Fill(l, {}, {{"one", "two"}}, {}));
    ASSERT_EQ(l.GetItemCount(), 2);
    EXPECT_STREQ(l.GetItemTexts(1)[0], "two");
    EXPECT_TRUE(Fill(l, {}, {{}}, {}));
    EXPECT_EQ(l.GetItemCount(), 0);
  });
  Run(dialog, kListDialog, [](kx::UiDriver&, kx::ControlDriver&, HWND) {});
}

TEST_F(ReportTest, ARefillWithFewerHeadingsAndMissingImagesStaysSound) {
  CListDialog dialog(true);
  Run(dialog, kListDialog, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kList);
    d.Invoke(list, [&] {
      CReportListCtrl& l = dialog.m_list;
      // Three columns, then a refill under two headings with only one image for three rows.
      ASSERT_TRUE(Fill(l, {"Name", "Size", "Date"}, {{"b", "a"}, {"2", "1"}, {"02/01/2000", "01/01/2000"}}, {3, 3}));
      ASSERT_TRUE(Fill(l, {"Name", "Size"}, {{"c", "a", "b"}, {"30", "100", "2"}}, {5}));
      EXPECT_EQ(ItemOf(l, 0, LVIF_IMAGE).iImage, 5);
      EXPECT_EQ(ItemOf(l, 1, LVIF_IMAGE).iImage, 0);
      EXPECT_EQ(ItemOf(l, 2, LVIF_IMAGE).iImage, 0);
      // Every record has a text for the third column the list still shows.
      for (int row = 0; row < 3; ++row) EXPECT_STREQ(l.GetItemTexts(row)[2], "");
    });
    c.ClickColumnHeader(list, 2);
    EXPECT_EQ(c.ListRowCount(list), 3);
    c.ClickColumnHeader(list, 1);
    EXPECT_EQ(ColumnTexts(c, list, 1), (std::vector<std::string>{"2", "30", "100"}));
  });
}

}  // namespace
}  // namespace liststest
