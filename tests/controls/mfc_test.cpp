// The framework's wrappers of the common controls and common dialogs, used the way the pages use them: a
// sortable owner-drawn report list with its own header subclassed, reflected notifications, the tree, progress,
// date-time and up-down wrappers, the file dialog with several files and a larger name buffer, the colour
// dialog, a status bar's panes.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/ctltest.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "support/testroot.h"

using namespace ctltest;
using Strings = std::vector<std::string>;

namespace {

constexpr int kList = 100, kTree = 101, kProgress = 102, kDate = 103, kSpinEdit = 104, kSpin = 105;

// A heading drawn by its own object, as the library's sorting header does.
class CDrawnHeader : public CHeaderCtrl {
 public:
  void DrawItem(LPDRAWITEMSTRUCT dis) override {
    Events().Add("heading " + std::to_string(dis->itemID) + ((dis->itemState & ODS_SELECTED) ? " pressed" : ""));
    CDC* dc = CDC::FromHandle(dis->hDC);
    dc->FillSolidRect(&dis->rcItem, GetSysColor(COLOR_BTNFACE));
  }
};

// A list that replaces its header, sorts on heading clicks (reflected to itself) and draws its rows.
class CSortingList : public CListCtrl {
 public:
  CDrawnHeader m_header;
  int m_column = -1;
  BOOL m_ascending = TRUE;

  static int CALLBACK Compare(LPARAM a, LPARAM b, LPARAM param) {
    auto* self = reinterpret_cast<CSortingList*>(param);
    const char* names[] = {"beta", "alpha", "gamma"};
    int r = std::strcmp(names[a], names[b]);
    return self->m_ascending ? r : -r;
  }
  void DrawItem(LPDRAWITEMSTRUCT dis) override {
    Events().Add("row " + std::to_string(dis->itemID) + " data " + std::to_string(dis->itemData));
    CDC* dc = CDC::FromHandle(dis->hDC);
    dc->FillSolidRect(&dis->rcItem, (dis->itemState & ODS_SELECTED) ? GetSysColor(COLOR_HIGHLIGHT) : RGB(255, 255, 255));
  }

 protected:
  void PreSubclassWindow() override {
    CListCtrl::PreSubclassWindow();
    m_header.SubclassWindow(GetHeaderCtrl()->m_hWnd);
  }
  afx_msg void OnColumnClick(NMHDR* nm, LRESULT* result) {
    int c = reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem;
    m_ascending = c == m_column ? !m_ascending : TRUE;
    m_column = c;
    SortItems(&Compare, reinterpret_cast<DWORD_PTR>(this));
    SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    *result = 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSortingList, CListCtrl)
  ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, OnColumnClick)
END_MESSAGE_MAP()

class CListDialog : public CDialog {
 public:
  CSortingList m_list;
  CTreeCtrl m_tree;
  CProgressCtrl m_progress;
  CDateTimeCtrl m_date;
  CSpinButtonCtrl m_spin;
  kx::DialogTemplate m_template;
  std::vector<int> selectedAtEnd;
  COleDateTime dateAtEnd;

  CListDialog() {
    m_template = Dialog("Framework lists", 260, 200);
    m_template.items.push_back(Item(WC_LISTVIEWA, "", kList, 7, 7, 160, 80, WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS));
    m_template.items.push_back(Item(WC_TREEVIEWA, "", kTree, 170, 7, 83, 80, WS_BORDER | TVS_HASBUTTONS | TVS_LINESATROOT));
    m_template.items.push_back(Item(PROGRESS_CLASS, "", kProgress, 7, 95, 160, 10, 0));
    m_template.items.push_back(Item(DATETIMEPICK_CLASS, "", kDate, 7, 110, 100, 14, WS_TABSTOP));
    m_template.items.push_back(Item(WC_EDITA, "", kSpinEdit, 7, 130, 40, 14, WS_BORDER | WS_TABSTOP));
    m_template.items.push_back(Item(UPDOWN_CLASS, "", kSpin, 47, 130, 10, 14, UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY));
    m_template.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 203, 179, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
    InitModalIndirect(&m_template);
  }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kList, m_list);
    DDX_Control(pDX, kTree, m_tree);
    DDX_Control(pDX, kProgress, m_progress);
    DDX_Control(pDX, kDate, m_date);
    DDX_Control(pDX, kSpin, m_spin);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_list.InsertColumn(0, "Name", LVCFMT_LEFT, 80);
    m_list.InsertColumn(1, "Size", LVCFMT_RIGHT, 60);
    const char* names[] = {"beta", "alpha", "gamma"};
    for (int i = 0; i < 3; ++i) {
      m_list.InsertItem(i, names[i]);
      m_list.SetItemText(i, 1, std::to_string(i * 10).c_str());
      m_list.SetItemData(i, static_cast<DWORD_PTR>(i));
    }
    HDITEM hdi{};
    hdi.mask = HDI_FORMAT;
    m_list.GetHeaderCtrl()->GetItem(1, &hdi);
    hdi.fmt |= HDF_OWNERDRAW;
    m_list.GetHeaderCtrl()->SetItem(1, &hdi);
    m_list.ModifyStyle(0, LVS_OWNERDRAWFIXED);
    m_list.Invalidate();
    HTREEITEM root = m_tree.InsertItem("Chain", TVI_ROOT);
    HTREEITEM alice = m_tree.InsertItem("Alice", root);
    m_tree.SetItemData(alice, 7);
    m_tree.InsertItem("Root CA", alice);
    m_tree.Expand(root, TVE_EXPAND);
    m_progress.SetRange32(0, 1000);
    m_progress.SetStep(250);
    m_progress.StepIt();
    m_date.SetTime(COleDateTime(2004, 3, 5, 0, 0, 0));
    m_spin.SetRange32(1, 20);
    m_spin.SetPos32(3);
    return TRUE;
  }
  void OnOK() override {
    POSITION pos = m_list.GetFirstSelectedItemPosition();
    while (pos) selectedAtEnd.push_back(m_list.GetNextSelectedItem(pos));
    m_date.GetTime(dateAtEnd);
    CDialog::OnOK();
  }
};

}  // namespace

class FrameworkControlsTest : public ControlsTest {};

TEST_F(FrameworkControlsTest, ASortingOwnerDrawnListWithItsOwnHeader) {
  CListDialog dlg;
  INT_PTR r = kx::RunWithUi([&] { return dlg.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND h = d.WaitForTitle("Framework lists");
    HWND list = d.Control(h, kList);
    d.WaitUntil([&] { return !Events().With("row 2").empty() && !Events().With("heading 1").empty(); }, "drawing");
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(c.ListText(list, 0), "alpha");
    EXPECT_EQ(c.ListText(list, 2), "gamma");
    c.ClickColumnHeader(list, 0);
    EXPECT_EQ(c.ListText(list, 0), "gamma");
    EXPECT_EQ(c.ListText(list, 0, 1), "20");  // the sub-items moved with their rows
    // The sorts selected row 0 each time and left the former selection (alpha, now last) selected too.
    EXPECT_EQ(c.ListSelection(list), (std::vector<int>{0, 2}));
    c.ListClickRow(list, 1, true);
    // The wrappers read the other controls.
    d.Invoke(h, [&] {
      EXPECT_EQ(dlg.m_list.GetItemData(0), 2u);
      EXPECT_EQ(std::string(dlg.m_list.GetItemText(1, 0)), "beta");
      EXPECT_EQ(dlg.m_list.GetSelectedCount(), 3u);
      CRect label;
      EXPECT_TRUE(dlg.m_list.GetItemRect(1, &label, LVIR_LABEL));
      EXPECT_EQ(label.right, 80);
      HTREEITEM root = dlg.m_tree.GetRootItem();
      HTREEITEM alice = dlg.m_tree.GetChildItem(root);
      EXPECT_EQ(std::string(dlg.m_tree.GetItemText(alice)), "Alice");
      EXPECT_EQ(dlg.m_tree.GetItemData(alice), 7u);
      EXPECT_TRUE(dlg.m_tree.ItemHasChildren(alice));
      EXPECT_EQ(dlg.m_tree.GetNextSiblingItem(alice), nullptr);
      int lo = 0, hi = 0;
      dlg.m_progress.GetRange(lo, hi);
      EXPECT_EQ(hi, 1000);
      EXPECT_EQ(dlg.m_progress.GetPos(), 250);
      dlg.m_spin.GetRange(lo, hi);
      EXPECT_EQ(lo, 1);
      EXPECT_EQ(hi, 20);
      EXPECT_EQ(dlg.m_spin.GetPos32(), 3);
    });
    c.TreePick(d.Control(h, kTree), {"Chain", "Alice"});
    c.SetDateTime(d.Control(h, kDate), SYSTEMTIME{2011, 7, 0, 9, 0, 0, 0, 0});
    d.Click(d.Control(h, IDOK));
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(dlg.selectedAtEnd, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(dlg.dateAtEnd.GetYear(), 2011);
  EXPECT_EQ(dlg.dateAtEnd.GetMonth(), 7);
  EXPECT_EQ(dlg.dateAtEnd.GetDay(), 9);
  // Only the owner-drawn heading reached the header's object; the rows came to the list's DrawItem.
  for (const std::string& e : Events().With("heading")) EXPECT_EQ(e.rfind("heading 1", 0), 0u) << e;
  EXPECT_FALSE(Events().With("row 0 data 2").empty());
}

namespace {

// The multiple-selection open dialog of the file list: a larger name buffer given before the dialog opens.
class CBigFileDialog : public CFileDialog {
 public:
  explicit CBigFileDialog(DWORD size = 4096) : CFileDialog(TRUE, "*.tvx", nullptr, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT,
                                 "Protected files (*.tvx)|*.tvx|All files (*.*)|*.*||"), m_size(size) {}
  INT_PTR DoModal() override {
    m_ofn.lpstrFile = m_buffer;
    m_ofn.nMaxFile = m_size;
    return CFileDialog::DoModal();
  }
  char m_buffer[4096] = {0};
  DWORD m_size;
};

}  // namespace

TEST_F(FrameworkControlsTest, FileDialogWalksTheChosenFilesAndColourDialogKeepsTheChoice) {
  std::string dir = kxtest::MakeTempDir("docs");
  for (const char* n : {"one.tvx", "two.tvx", "three.tvx", "skip.txt"}) kxtest::WriteFile(dir + "/" + n, n);
  CBigFileDialog files;
  INT_PTR r = kx::RunWithUi([&] { return files.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    c.FillFileDialog(dir, {"one.tvx", "three.tvx", "two.tvx"});
  });
  ASSERT_EQ(r, IDOK);
  Strings got;
  POSITION pos = files.GetStartPosition();
  while (pos) got.push_back(static_cast<LPCSTR>(files.GetNextPathName(pos)));
  EXPECT_EQ(got, (Strings{dir + "/one.tvx", dir + "/three.tvx", dir + "/two.tvx"}));
  // A choice larger than the buffer the caller gave still comes back whole.
  CBigFileDialog small(24);
  r = kx::RunWithUi([&] { return small.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver(d).FillFileDialog(dir, {"one.tvx", "two.tvx"});
  });
  ASSERT_EQ(r, IDOK);
  got.clear();
  pos = small.GetStartPosition();
  while (pos) got.push_back(static_cast<LPCSTR>(small.GetNextPathName(pos)));
  EXPECT_EQ(got, (Strings{dir + "/one.tvx", dir + "/two.tvx"}));
  // One file: its full path, name, extension and folder.
  CFileDialog one(FALSE, "cer", "mine", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "Certificates|*.cer||");
  r = kx::RunWithUi([&] { return one.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    c.FillFileDialog(dir, {"mine"});
  });
  ASSERT_EQ(r, IDOK);
  EXPECT_EQ(std::string(one.GetPathName()), dir + "/mine.cer");
  EXPECT_EQ(std::string(one.GetFileName()), "mine.cer");
  EXPECT_EQ(std::string(one.GetFileExt()), "cer");
  EXPECT_EQ(std::string(one.GetFileTitle()), "mine");
  EXPECT_EQ(std::string(one.GetFolderPath()), dir);
  CColorDialog colour(RGB(10, 20, 30), CC_FULLOPEN | CC_ANYCOLOR);
  r = kx::RunWithUi([&] { return colour.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    EXPECT_EQ(d.Text(d.Control(d.WaitForTitle("Color"), KX_CC_GREEN)), "20");
    c.ChooseColorValue(RGB(200, 100, 50));
  });
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(colour.GetColor(), RGB(200, 100, 50));
}

TEST_F(FrameworkControlsTest, StatusBarPanesByCommandId) {
  HWND frame = CreateWindowEx(0, "#32770", "Frame", WS_POPUP | WS_VISIBLE, 0, 0, 500, 300, nullptr, nullptr, nullptr, nullptr);
  CWnd* parent = CWnd::FromHandle(frame);
  CStatusBar bar;
  ASSERT_TRUE(bar.Create(parent));
  const UINT ids[] = {ID_SEPARATOR, 0xE700, 0xE701};
  ASSERT_TRUE(bar.SetIndicators(ids, 3));
  EXPECT_EQ(bar.CommandToIndex(0xE701), 2);
  EXPECT_EQ(bar.GetItemID(1), 0xE700u);
  EXPECT_TRUE(bar.SetPaneText(0, "Encrypting"));
  EXPECT_EQ(std::string(bar.GetPaneText(0)), "Encrypting");
  CRect first, second;
  bar.GetItemRect(0, &first);
  bar.GetItemRect(1, &second);
  EXPECT_GT(first.Width(), 300);  // the leading separator takes the room left
  EXPECT_GT(second.left, first.right);
  // Any wrapper of the window reaches the same panes (the library finds the bar through its frame).
  auto* found = static_cast<CStatusBar*>(CWnd::FromHandle(bar.m_hWnd));
  EXPECT_EQ(std::string(found->GetPaneText(0)), "Encrypting");
  bar.DestroyWindow();
  DestroyWindow(frame);
}
