// The list view and its header driven as a person drives them: sorting by heading clicks, selection and
// notifications, owner drawing and custom drawing called with the right items, rows added from a worker thread
// while the dialog runs modally, a rendered report list with images.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "controls/ctltest.h"
#include "support/testroot.h"

using namespace ctltest;

namespace {

constexpr int kList = 100;

struct Row {
  const char* name;
  const char* size;
  const char* date;
};
const Row kRows[] = {{"beta", "10", "05/03/2004"}, {"alpha", "9", "20/01/2004"}, {"gamma", "100", "01/12/2003"},
                     {"delta", "", "15/06/2003"}};

int DateKey(const char* d) {
  return std::atoi(d + 6) * 10000 + std::atoi(std::string(d + 3, 2).c_str()) * 100 + std::atoi(std::string(d, 2).c_str());
}

// Compares rows by the column in the low byte of `param`; the next byte asks for descending order.
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM param) {
  const Row& x = kRows[a];
  const Row& y = kRows[b];
  int col = static_cast<int>(param & 0xFF);
  int r;
  if (col == 1) r = std::atoi(x.size) - std::atoi(y.size);
  else if (col == 2) r = DateKey(x.date) - DateKey(y.date);
  else r = std::strcmp(x.name, y.name);
  r = r < 0 ? -1 : r > 0 ? 1 : 0;
  return (param & 0x100) ? -r : r;
}

void AddColumns(HWND list) {
  const char* heads[] = {"Name", "Size", "Date"};
  for (int c = 0; c < 3; ++c) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    col.fmt = c == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = 80;
    col.iSubItem = c;
    col.pszText = const_cast<char*>(heads[c]);
    ASSERT_EQ(SendMessage(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col)), c);
  }
}

void AddRow(HWND list, int index, int row, int image = 0) {
  LVITEMA it{};
  it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
  it.iItem = index;
  it.pszText = const_cast<char*>(kRows[row].name);
  it.lParam = row;
  it.iImage = image;
  int at = static_cast<int>(SendMessage(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)));
  LVITEMA sub{};
  sub.iSubItem = 1;
  sub.pszText = const_cast<char*>(kRows[row].size);
  SendMessage(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
  sub.iSubItem = 2;
  sub.pszText = const_cast<char*>(kRows[row].date);
  SendMessage(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
}

kx::DialogTemplate ListDialog(DWORD listStyle) {
  kx::DialogTemplate t = Dialog("Files", 260, 150);
  t.items.push_back(Item(WC_LISTVIEWA, "", kList, 7, 7, 246, 110, WS_BORDER | WS_TABSTOP | LVS_REPORT | listStyle));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 203, 129, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  return t;
}

// A dialog that sorts its list on heading clicks, a second click on the same heading reversing the order.
INT_PTR CALLBACK SortingProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  static int sortColumn = -1;
  static bool ascending = true;
  switch (msg) {
    case WM_INITDIALOG: {
      sortColumn = -1;
      ascending = true;
      HWND list = GetDlgItem(dlg, kList);
      AddColumns(list);
      for (int r = 0; r < 4; ++r) AddRow(list, r, r);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->idFrom != kList) return FALSE;
      auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
      if (hdr->code == LVN_COLUMNCLICK) {
        ascending = nm->iSubItem == sortColumn ? !ascending : true;
        sortColumn = nm->iSubItem;
        Events().Add("sort " + std::to_string(sortColumn) + (ascending ? " up" : " down"));
        SendMessage(hdr->hwndFrom, LVM_SORTITEMS, static_cast<WPARAM>(sortColumn | (ascending ? 0 : 0x100)),
                    reinterpret_cast<LPARAM>(&CompareRows));
        LVITEMA st{};
        st.state = st.stateMask = LVIS_SELECTED;
        SendMessage(hdr->hwndFrom, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&st));
      } else if (hdr->code == LVN_ITEMCHANGED && (nm->uChanged & LVIF_STATE) &&
                 ((nm->uNewState ^ nm->uOldState) & LVIS_SELECTED)) {
        Events().Add(std::string((nm->uNewState & LVIS_SELECTED) ? "select " : "unselect ") + kRows[nm->lParam].name);
      } else if (hdr->code == NM_CLICK || hdr->code == NM_DBLCLK) {
        auto* act = reinterpret_cast<NMITEMACTIVATE*>(lp);
        Events().Add(std::string(hdr->code == NM_CLICK ? "click " : "dblclk ") + std::to_string(act->iItem));
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dlg, LOWORD(wp));
      return TRUE;
    default:
      return FALSE;
  }
}

std::vector<std::string> Column(kx::ControlDriver& c, HWND list, int col) {
  std::vector<std::string> out;
  for (int i = 0; i < c.ListRowCount(list); ++i) out.push_back(c.ListText(list, i, col));
  return out;
}

using Strings = std::vector<std::string>;

}  // namespace

class ListViewTest : public ControlsTest {};

TEST_F(ListViewTest, HeadingClicksSortByNumberDateAndTextAndReverse) {
  RunDialog(ListDialog(LVS_SHOWSELALWAYS), SortingProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    EXPECT_EQ(Column(c, list, 0), (Strings{"beta", "alpha", "gamma", "delta"}));
    c.ClickColumnHeader(list, 1);  // numbers: the empty size counts as 0
    EXPECT_EQ(Column(c, list, 0), (Strings{"delta", "alpha", "beta", "gamma"}));
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{0});
    c.ClickColumnHeader(list, 1);  // the same heading again reverses
    EXPECT_EQ(Column(c, list, 0), (Strings{"gamma", "beta", "alpha", "delta"}));
    c.ClickColumnHeader(list, 2);  // day/month/year dates in calendar order
    EXPECT_EQ(Column(c, list, 2), (Strings{"15/06/2003", "01/12/2003", "20/01/2004", "05/03/2004"}));
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(Column(c, list, 0), (Strings{"alpha", "beta", "delta", "gamma"}));
    // The sub-items and item data moved with their rows.
    EXPECT_EQ(c.ListText(list, 3, 1), "100");
    d.Click(d.Control(dlg, IDOK));
  });
  EXPECT_EQ(Events().With("sort"), (Strings{"sort 1 up", "sort 1 down", "sort 2 up", "sort 0 up"}));
}

TEST_F(ListViewTest, ClicksSelectRowsAndNotifyWithTheRightItems) {
  RunDialog(ListDialog(0), SortingProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    c.ListPickRow(list, "gamma");
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{2});
    EXPECT_EQ(d.Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
    // Ctrl adds a row, Shift selects the range from the last clicked row.
    c.ListClickRow(list, 0, true);
    EXPECT_EQ(c.ListSelection(list), (std::vector<int>{0, 2}));
    c.ListClickRow(list, 3, false, true);
    EXPECT_EQ(c.ListSelection(list), (std::vector<int>{0, 1, 2, 3}));
    c.ListClickRow(list, 1);
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{1});
    Events().Clear();
    c.ListDoubleClickRow(list, 3);
    // Keyboard: Home and Down move the selection.
    d.PressKey(VK_HOME);
    d.PressKey(VK_DOWN);
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{1});
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().All();
  // A double click: the row is selected, then one click and one double click name it.
  ASSERT_GE(ev.size(), 4u);
  EXPECT_EQ(Strings(ev.begin(), ev.begin() + 4), (Strings{"unselect alpha", "select delta", "click 3", "dblclk 3"}));
}

TEST_F(ListViewTest, StatesGeometryAndAutoSize) {
  RunDialog(ListDialog(LVS_SINGLESEL), SortingProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    d.Invoke(list, [&] {
      // Single selection: selecting another row drops the first; one row holds the focus.
      LVITEMA st{};
      st.state = st.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessage(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&st));
      SendMessage(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&st));
      EXPECT_EQ(SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
      EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
      EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 0, LVNI_SELECTED), 2);
      EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 2, LVNI_SELECTED), -1);
      // State image and overlay bits are kept apart from the selection bits.
      st.state = INDEXTOSTATEIMAGEMASK(2) | INDEXTOOVERLAYMASK(1) | LVIS_CUT;
      st.stateMask = LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK | LVIS_CUT;
      SendMessage(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&st));
      EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 1, 0xFFFF), static_cast<LRESULT>(0x2104));
      EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_CUT), 1);
      // Rectangles: bounds cover all columns, the label starts after the icon and ends with column 0.
      HIMAGELIST il = ImageList_Create(16, 16, ILC_MASK, 1, 1);
      SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(il));
      RECT b{LVIR_BOUNDS, 0, 0, 0}, i{LVIR_ICON, 0, 0, 0}, l{LVIR_LABEL, 0, 0, 0};
      SendMessage(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&b));
      SendMessage(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&i));
      SendMessage(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&l));
      EXPECT_EQ(b.left, 0);
      EXPECT_EQ(b.right, 240);
      EXPECT_EQ(i.right - i.left, 16);
      EXPECT_EQ(l.left, i.right);
      EXPECT_EQ(l.right, 80);
      EXPECT_GE(b.bottom - b.top, 17);
      LVHITTESTINFO ht{};
      ht.pt = POINT{150, (b.top + b.bottom) / 2};
      EXPECT_EQ(SendMessage(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&ht)), 1);
      EXPECT_EQ(ht.iSubItem, 1);
      // Auto-size: the widest text of a column, or the heading when it is wider.
      SendMessage(list, LVM_SETCOLUMNWIDTH, 2, LVSCW_AUTOSIZE);
      int content = static_cast<int>(SendMessage(list, LVM_GETCOLUMNWIDTH, 2, 0));
      int text = static_cast<int>(SendMessage(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("01/12/2003")));
      EXPECT_EQ(content, text + 12);
      SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
      SendMessage(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
      int head = static_cast<int>(SendMessage(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("Size")));
      EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), head + 12);
      // The header follows.
      HWND header = reinterpret_cast<HWND>(SendMessage(list, LVM_GETHEADER, 0, 0));
      HDITEMA hdi{};
      hdi.mask = HDI_WIDTH;
      SendMessage(header, HDM_GETITEMA, 1, reinterpret_cast<LPARAM>(&hdi));
      EXPECT_EQ(hdi.cxy, head + 12);
    });
    d.Click(d.Control(dlg, IDOK));
  });
}

namespace {

// Owner-drawn rows and one owner-drawn heading: the dialog notes what it is asked to draw.
INT_PTR CALLBACK OwnerDrawProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (EndsOnButton(dlg, msg, wp)) return TRUE;
  switch (msg) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dlg, kList);
      AddColumns(list);
      for (int r = 0; r < 3; ++r) AddRow(list, r, r);
      HWND header = reinterpret_cast<HWND>(SendMessage(list, LVM_GETHEADER, 0, 0));
      HDITEMA hdi{};
      hdi.mask = HDI_FORMAT;
      SendMessage(header, HDM_GETITEMA, 2, reinterpret_cast<LPARAM>(&hdi));
      hdi.fmt |= HDF_OWNERDRAW;
      SendMessage(header, HDM_SETITEMA, 2, reinterpret_cast<LPARAM>(&hdi));
      return TRUE;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis->CtlType == ODT_LISTVIEW) mis->itemHeight = 24;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      std::string what = dis->CtlType == ODT_LISTVIEW ? "row " : dis->CtlType == ODT_HEADER ? "heading " : "other ";
      Events().Add(what + std::to_string(dis->itemID) + " data " + std::to_string(dis->itemData) +
                   ((dis->itemState & ODS_SELECTED) ? " selected" : "") + " h " +
                   std::to_string(dis->rcItem.bottom - dis->rcItem.top));
      FillRect(dis->hDC, &dis->rcItem, GetSysColorBrush((dis->itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

TEST_F(ListViewTest, OwnerDrawnRowsAndHeadingsAreDrawnByTheParentWithTheirItems) {
  RunDialog(ListDialog(LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS), OwnerDrawProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    // The heading is a window of its own, painted after the rows or before them.
    d.WaitUntil([&] { return !Events().With("row 2").empty() && !Events().With("heading").empty(); },
                "the rows and the owner-drawn heading to be drawn");
    Strings heads = Events().With("heading");
    ASSERT_FALSE(heads.empty());
    for (const std::string& h : heads) EXPECT_EQ(h.rfind("heading 2 data 0 h ", 0), 0u) << h;
    Events().Clear();
    c.ListClickRow(list, 1);
    d.WaitUntil([&] { return !Events().With("row 1 data 1 selected").empty(); }, "the selected row to be drawn");
    d.Click(d.Control(dlg, IDOK));
  });
  Strings rows = Events().With("row");
  EXPECT_NE(std::find(rows.begin(), rows.end(), "row 1 data 1 selected h 24"), rows.end());
  EXPECT_EQ(std::find(rows.begin(), rows.end(), "row 0 data 0 selected h 24"), rows.end());
}

namespace {

// Custom drawing: the second row gets red text, and every sub-item of it is announced.
INT_PTR CALLBACK CustomDrawProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (EndsOnButton(dlg, msg, wp)) return TRUE;
  switch (msg) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dlg, kList);
      AddColumns(list);
      for (int r = 0; r < 3; ++r) AddRow(list, r, r);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->idFrom != kList || hdr->code != NM_CUSTOMDRAW) return FALSE;
      auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(lp);
      LRESULT r = CDRF_DODEFAULT;
      switch (cd->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
          Events().Add("prepaint");
          r = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
          break;
        case CDDS_ITEMPREPAINT:
          Events().Add("item " + std::to_string(cd->nmcd.dwItemSpec) + " param " + std::to_string(cd->nmcd.lItemlParam));
          if (cd->nmcd.dwItemSpec == 1) {
            cd->clrText = RGB(255, 0, 0);
            r = CDRF_NOTIFYSUBITEMDRAW;
          }
          break;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
          Events().Add("sub " + std::to_string(cd->nmcd.dwItemSpec) + "." + std::to_string(cd->iSubItem));
          cd->clrText = RGB(255, 0, 0);
          break;
        case CDDS_POSTPAINT:
          Events().Add("postpaint");
          break;
      }
      SetWindowLongPtr(dlg, DWLP_MSGRESULT, r);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

bool Reddish(COLORREF c) { return GetRValue(c) > 150 && GetGValue(c) < 100 && GetBValue(c) < 100; }

}  // namespace

TEST_F(ListViewTest, CustomDrawIsAskedPerItemAndSubItemAndItsColoursShow) {
  RunDialog(ListDialog(0), CustomDrawProc, [&](kx::UiDriver& d, kx::ControlDriver&) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    d.WaitUntil([&] { return !Events().With("postpaint").empty(); }, "a full paint");
    Events().Clear();
    // One paint of the list, printed, and its red pixels looked for in row 1 only.
    RECT r1{LVIR_BOUNDS, 0, 0, 0}, r0{LVIR_BOUNDS, 0, 0, 0};
    d.Send(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r1));
    d.Send(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r0));
    Picture pic(d, list);
    int red1 = pic.Count(RECT{0, r1.top, 240, r1.bottom}, Reddish);
    int red0 = pic.Count(RECT{0, r0.top, 240, r0.bottom}, Reddish);
    EXPECT_GT(red1, 10);
    EXPECT_EQ(red0, 0);
    d.Click(d.Control(dlg, IDOK));
  });
  Strings ev = Events().All();
  ASSERT_GE(ev.size(), 8u);
  EXPECT_EQ(Strings(ev.begin(), ev.begin() + 8),
            (Strings{"prepaint", "item 0 param 0", "item 1 param 1", "sub 1.0", "sub 1.1", "sub 1.2", "item 2 param 2",
                     "postpaint"}));
}

namespace {

constexpr UINT kWorkerDone = WM_APP + 1;
std::thread g_worker;

// The worker adds rows by sending messages to the list while the dialog's modal loop runs.
INT_PTR CALLBACK WorkerProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (EndsOnButton(dlg, msg, wp)) return TRUE;
  switch (msg) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dlg, kList);
      AddColumns(list);
      g_worker = std::thread([dlg, list] {
        for (int i = 0; i < 40; ++i) {
          std::string name = "row " + std::to_string(i);
          LVITEMA it{};
          it.mask = LVIF_TEXT | LVIF_PARAM;
          it.iItem = i;
          it.pszText = name.data();
          it.lParam = i;
          SendMessage(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
          std::string size = std::to_string(i * 10);
          LVITEMA sub{};
          sub.iSubItem = 1;
          sub.pszText = size.data();
          SendMessage(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&sub));
        }
        PostMessage(dlg, kWorkerDone, 0, 0);
      });
      return TRUE;
    }
    case kWorkerDone:
      Events().Add("worker done on the UI thread");
      return TRUE;
    default:
      (void)lp;
      return FALSE;
  }
}

}  // namespace

TEST_F(ListViewTest, AWorkerAddsRowsWhileTheDialogIsModal) {
  RunDialog(ListDialog(0), WorkerProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    d.WaitUntil([&] { return !Events().With("worker done").empty(); }, "the worker to finish");
    EXPECT_EQ(c.ListRowCount(list), 40);
    EXPECT_EQ(c.ListText(list, 39, 0), "row 39");
    EXPECT_EQ(c.ListText(list, 39, 1), "390");
    // The last row can be reached and picked by a person: the list scrolls to it.
    c.ListPickRow(list, "row 39");
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{39});
    EXPECT_GT(d.Send(list, LVM_GETTOPINDEX), 0);
    d.Click(d.Control(dlg, IDOK));
  });
  g_worker.join();
}

namespace {

// A report list with small icons, state images and an overlay, as the pages show their certificates.
INT_PTR CALLBACK PictureProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dlg, kList);
      SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      // A strip of three 16x16 pictures on a magenta mask colour: a blue disc, a green square, a red cross.
      HDC screen = GetDC(nullptr);
      HDC dc = CreateCompatibleDC(screen);
      HBITMAP strip = CreateCompatibleBitmap(screen, 48, 16);
      ReleaseDC(nullptr, screen);
      HGDIOBJ old = SelectObject(dc, strip);
      RECT all{0, 0, 48, 16};
      HBRUSH mag = CreateSolidBrush(RGB(255, 0, 255));
      FillRect(dc, &all, mag);
      DeleteObject(mag);
      HBRUSH blue = CreateSolidBrush(RGB(40, 80, 220)), green = CreateSolidBrush(RGB(40, 170, 60));
      SelectObject(dc, blue);
      Ellipse(dc, 1, 1, 15, 15);
      RECT sq{19, 3, 29, 13};
      FillRect(dc, &sq, green);
      HPEN red = CreatePen(PS_SOLID, 3, RGB(220, 30, 30));
      SelectObject(dc, red);
      MoveToEx(dc, 35, 3, nullptr);
      LineTo(dc, 45, 13);
      MoveToEx(dc, 45, 3, nullptr);
      LineTo(dc, 35, 13);
      SelectObject(dc, old);
      DeleteDC(dc);
      DeleteObject(blue);
      DeleteObject(green);
      DeleteObject(red);
      HIMAGELIST small = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR24, 3, 3);
      ImageList_AddMasked(small, strip, RGB(255, 0, 255));
      ImageList_SetOverlayImage(small, 2, 1);
      HIMAGELIST states = ImageList_Duplicate(small);
      DeleteObject(strip);
      SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(small));
      SendMessage(list, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(states));
      AddColumns(list);
      for (int r = 0; r < 4; ++r) AddRow(list, r, r, r % 2);
      LVITEMA st{};
      st.state = INDEXTOSTATEIMAGEMASK(2);
      st.stateMask = LVIS_STATEIMAGEMASK;
      SendMessage(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&st));
      st.state = INDEXTOSTATEIMAGEMASK(1) | INDEXTOOVERLAYMASK(1);
      st.stateMask = LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK;
      SendMessage(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&st));
      st.state = st.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessage(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&st));
      SetFocus(list);
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) EndDialog(dlg, IDOK);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

TEST_F(ListViewTest, AReportListWithImagesRendersToAPicture) {
  std::string png = PngPath("report-list.png");
  RunDialog(ListDialog(LVS_SHOWSELALWAYS), PictureProc, [&](kx::UiDriver& d, kx::ControlDriver&) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    d.SavePng(dlg, png);
    // Row 1 is selected with the focus: its label is on the highlight colour. Row 0's state image (the green
    // square, state image 2) sits left of its icon (the blue disc).
    RECT r1{LVIR_LABEL, 0, 0, 0}, s0{LVIR_ICON, 0, 0, 0};
    d.Send(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r1));
    d.Send(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&s0));
    Picture pic(d, list);
    EXPECT_EQ(pic.At(r1.right - 3, r1.top + 2), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(pic.At(s0.left - 8, (s0.top + s0.bottom) / 2), RGB(40, 170, 60));
    EXPECT_EQ(pic.At(s0.left + 8, (s0.top + s0.bottom) / 2), RGB(40, 80, 220));
    d.Click(d.Control(dlg, IDOK));
  });
  EXPECT_EQ(kxtest::ReadFile(png).substr(1, 3), "PNG");
}

namespace {

// The text of the tip shown over an item of owner, or "" when none is shown.
std::string ShownTip(HWND owner) {
  for (HWND w = FindWindowEx(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr); w;
       w = FindWindowEx(nullptr, w, TOOLTIPS_CLASSA, nullptr)) {
    char text[256] = {0};
    TOOLINFOA ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = owner;
    ti.uId = 1;
    if (!IsWindowVisible(w) || !SendMessage(w, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti))) continue;
    ti.lpszText = text;
    SendMessage(w, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&ti));
    return text;
  }
  return "";
}

// Moves the pointer to (x, y) of the window and lets the tip's initial delay pass.
void HoverAt(HWND hwnd, int x, int y) {
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  SetCursorPos(p.x, p.y);
  SendMessage(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  kx::AdvanceManualClock(600);
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

}  // namespace

// Headings and cells drawn cut short show their whole text in a tip; those shown whole show none.
TEST_F(ListViewTest, TruncatedHeadingsAndCellsShowTheirWholeTextInATip) {
  HWND frame = CreateWindowEx(0, "#32770", "Frame", WS_POPUP | WS_VISIBLE, 100, 100, 400, 200, nullptr, nullptr,
                              nullptr, nullptr);
  HWND list = CreateWindowEx(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 400, 200, frame, nullptr,
                             nullptr, nullptr);
  ASSERT_NE(list, nullptr);
  kx::UseManualClock(true);
  AddColumns(list);
  AddRow(list, 0, 0);
  LVITEMA sub{};
  sub.iSubItem = 2;
  sub.pszText = const_cast<char*>("/tmp/kx-temporary-folder/a-long-file-name.txt");
  SendMessage(list, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&sub));
  SendMessage(list, LVM_SETCOLUMNWIDTH, 1, 18);  // "Size" does not fit
  HWND header = reinterpret_cast<HWND>(SendMessage(list, LVM_GETHEADER, 0, 0));
  RECT size{}, name{};
  SendMessage(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&size));
  SendMessage(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&name));

  HoverAt(header, size.left + 5, size.bottom / 2);
  EXPECT_EQ(ShownTip(header), "Size");
  HoverAt(header, name.left + 5, name.bottom / 2);  // "Name" fits its 80 pixels
  EXPECT_EQ(ShownTip(header), "");

  RECT cell{};
  cell.top = 2;
  cell.left = LVIR_BOUNDS;
  SendMessage(list, LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell));
  HoverAt(list, cell.left + 5, (cell.top + cell.bottom) / 2);
  EXPECT_EQ(ShownTip(list), "/tmp/kx-temporary-folder/a-long-file-name.txt");
  HoverAt(list, 5, (cell.top + cell.bottom) / 2);  // "beta" fits
  EXPECT_EQ(ShownTip(list), "");
  // A press ends the tip.
  HoverAt(list, cell.left + 5, (cell.top + cell.bottom) / 2);
  EXPECT_NE(ShownTip(list), "");
  SendMessage(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
  SendMessage(list, WM_LBUTTONUP, 0, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
  EXPECT_EQ(ShownTip(list), "");
  kx::UseManualClock(false);
  DestroyWindow(frame);
}

// A list that keeps its rows sorted puts each new row after those that sort equal to it; clearing it
// announces every row once, with its data, unless the parent asked for no announcements per row.
namespace {

INT_PTR CALLBACK DeletingProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wp));
    return TRUE;
  }
  if (msg != WM_NOTIFY) return FALSE;
  auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
  if (nm->hdr.code == LVN_DELETEITEM) Events().Add("delete " + std::to_string(nm->lParam));
  if (nm->hdr.code == LVN_DELETEALLITEMS) {
    Events().Add("delete all");
    // Quiet when the list's first row says so.
    LVITEMA it{};
    it.mask = LVIF_PARAM;
    SendMessage(nm->hdr.hwndFrom, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    SetWindowLongPtr(dlg, DWLP_MSGRESULT, it.lParam == 99 ? TRUE : FALSE);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

TEST_F(ListViewTest, SortedInsertsGoAfterTheirEqualsAndClearingAnnouncesEachRowOnce) {
  RunDialog(ListDialog(LVS_SORTASCENDING), DeletingProc, [&](kx::UiDriver& d, kx::ControlDriver& c) {
    HWND dlg = d.WaitForTitle("Files");
    HWND list = d.Control(dlg, kList);
    auto add = [&](const char* text, LPARAM param) {
      LVITEMA it{};
      it.mask = LVIF_TEXT | LVIF_PARAM;
      it.iItem = 0;
      it.pszText = const_cast<char*>(text);
      it.lParam = param;
      d.Send(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    };
    const char* names[] = {"m", "c", "x", "c", "a", "m", "z", "b", "C"};
    for (int i = 0; i < 9; ++i) add(names[i], i);
    EXPECT_EQ(Column(c, list, 0), (Strings{"a", "b", "c", "c", "C", "m", "m", "x", "z"}));
    std::vector<LPARAM> params;
    for (int i = 0; i < c.ListRowCount(list); ++i) {
      LVITEMA it{};
      it.mask = LVIF_PARAM;
      it.iItem = i;
      d.Send(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
      params.push_back(it.lParam);
    }
    EXPECT_EQ(params, (std::vector<LPARAM>{4, 7, 1, 3, 8, 0, 5, 2, 6}));
    Events().Clear();
    EXPECT_TRUE(d.Send(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_EQ(c.ListRowCount(list), 0);
    Strings ev = Events().All();
    std::sort(ev.begin() + 1, ev.end());
    EXPECT_EQ(ev, (Strings{"delete all", "delete 0", "delete 1", "delete 2", "delete 3", "delete 4", "delete 5",
                           "delete 6", "delete 7", "delete 8"}));
    add("a", 99);
    add("b", 1);
    Events().Clear();
    EXPECT_TRUE(d.Send(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_EQ(Events().All(), Strings{"delete all"});
    EXPECT_EQ(c.ListRowCount(list), 0);
    d.Click(d.Control(dlg, IDOK));
  });
}
