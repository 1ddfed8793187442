#include "lists/lists_test.h"

#include "platform/ui/dlgbuild.h"

namespace liststest {

bool Fill(CReportListCtrl& list, const std::vector<std::string>& headings, const Columns& columns,
          const std::vector<UINT>& images) {
  list.DeleteAllItems();
  CStringList heads;
  for (const std::string& h : headings) heads.AddTail(h.c_str());
  list.SetHeadings(heads);
  for (size_t c = 0; c < columns.size(); ++c) {
    CStringList texts;
    for (const std::string& t : columns[c]) texts.AddTail(t.c_str());
    list.SetColumnData(static_cast<int>(c), texts);
  }
  CUIntArray values;
  for (UINT i : images) values.Add(i);
  list.SetItemStates(values);
  list.SetItemImages(values);
  return list.Populate();
}

void ListsTest::SetUp() { FrameTest::SetUp(); }

void ListsTest::RegisterListDialog(DWORD listStyle, short listWidth) {
  kx::DialogTemplate t = kx::dlg::Dialog("Certificates", static_cast<short>(listWidth + 14), 150);
  t.items.push_back(kx::dlg::Item(WC_LISTVIEWA, "", kList, 7, 7, listWidth, 110,
                                  WS_BORDER | WS_TABSTOP | LVS_REPORT | listStyle));
  t.items.push_back(kx::dlg::Item(WC_BUTTONA, "OK", IDOK, static_cast<short>(listWidth - 97), 129, 50, 14,
                                  WS_TABSTOP | BS_DEFPUSHBUTTON));
  t.items.push_back(kx::dlg::Item(WC_BUTTONA, "Cancel", IDCANCEL, static_cast<short>(listWidth - 43), 129, 50, 14,
                                  WS_TABSTOP));
  kx::RegisterDialogTemplate(Resources(), MAKEINTRESOURCE(kListDialog), t);
}

INT_PTR ListsTest::Run(CDialog& dialog, UINT templateId,
                       const std::function<void(kx::UiDriver&, kx::ControlDriver&, HWND)>& script, bool pressOk) {
  return kx::RunWithUiHere([&] { return dialog.DoModal(); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND box = d.WaitForDialog(templateId);
    script(d, c, box);
    if (pressOk && IsWindow(box)) d.Click(d.Control(box, IDOK));
  });
}

std::vector<std::string> ListsTest::ColumnTexts(kx::ControlDriver& c, HWND list, int column) {
  std::vector<std::string> out;
  for (int row = 0; row < c.ListRowCount(list); ++row) out.push_back(c.ListText(list, row, column));
  return out;
}

}  // namespace liststest
