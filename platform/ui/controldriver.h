// The UI driver's actions on the common controls, menus and common dialogs. Like the driver itself, every action
// is what a person does: it reads where a row, an item or a button is through the control's own messages, scrolls
// it into view, and clicks or types there; every wait has the driver's time-out and a failure lists the windows.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/driver.h"

namespace kx {

class KXAPI ControlDriver {
 public:
  explicit ControlDriver(UiDriver& driver) : d_(driver) {}
  UiDriver& Driver() { return d_; }

  // --- list view ---
  int ListRowCount(HWND list);
  std::string ListText(HWND list, int row, int column = 0);
  // The row whose text in `column` equals `text`, or -1.
  int ListFind(HWND list, const std::string& text, int column = 0);
  // The row with this text once the list shows it (a page may still be filling its list); fails after the
  // driver's timeout.
  int WaitForListRow(HWND list, const std::string& text, int column = 0);
  std::vector<int> ListSelection(HWND list);
  // Clicks a row (scrolled into view first); with ctrl or shift held as given.
  void ListClickRow(HWND list, int row, bool ctrl = false, bool shift = false);
  void ListDoubleClickRow(HWND list, int row);
  // Clicks the row with that text once the list shows it (throws when it never does).
  void ListPickRow(HWND list, const std::string& text, int column = 0);
  // Clicks a column heading of a report list.
  void ClickColumnHeader(HWND list, int column);

  // --- tree view ---
  // The item at the end of a path of item texts from the root, or nullptr.
  HTREEITEM TreeFind(HWND tree, const std::vector<std::string>& path);
  std::string TreeText(HWND tree, HTREEITEM item);
  HTREEITEM TreeSelection(HWND tree);
  // Opens the items along the path and clicks the last one.
  void TreePick(HWND tree, const std::vector<std::string>& path);
  // Expands an item (selects it and presses the right arrow key, as a person does with the keyboard).
  void TreeExpand(HWND tree, HTREEITEM item);

  // --- combo box and list box ---
  std::string ComboText(HWND combo);
  std::vector<std::string> ComboItems(HWND combo);
  // Drops the list down with the arrow button and clicks the item with that text.
  void ComboPick(HWND combo, const std::string& text);
  // Clicks into the edit of a drop-down combo box and types (the existing text is selected and replaced).
  void ComboType(HWND combo, const std::string& text);
  void ListBoxPick(HWND listBox, const std::string& text, bool ctrl = false);

  // --- other controls ---
  // Sets a date-time picker by typing into its fields (year, month, day, then hour, minute, second).
  void SetDateTime(HWND picker, const SYSTEMTIME& st);
  SYSTEMTIME GetDateTime(HWND picker);
  int ProgressPos(HWND progress);
  std::string StatusText(HWND statusBar, int part = 0);

  // --- popup menus ---
  // The shown popup menu window ("#32768") that appears next (the innermost when several are open).
  HWND WaitForMenu(int timeoutMs = 0);
  // The texts of the shown menu's items ("" for separators), without the '&' markers.
  std::vector<std::string> MenuItems(HWND menuWindow);
  // Clicks the item with that text in the shown menu.
  void ChooseMenuItem(const std::string& text) { ChooseMenuPath(std::vector<std::string>{text}); }
  // Opens the submenus along a path of item texts and clicks the last item.
  void ChooseMenuPath(const std::vector<std::string>& path);

  // --- common dialogs ---
  // The file dialog that appears next: goes to the folder by typing it into the name box, picks the files in
  // the list (ctrl-click for several), or types the single name, and presses the OK button.
  void FillFileDialog(const std::string& folder, const std::vector<std::string>& names, int timeoutMs = 0);
  // Cancels the file, folder or colour dialog that appears next.
  void CancelCommonDialog(int timeoutMs = 0);
  // The folder dialog that appears next: opens the tree along the folder's path and presses OK.
  void ChooseFolder(const std::string& folder, int timeoutMs = 0);
  // The colour dialog that appears next: types the red, green and blue values and presses OK.
  void ChooseColorValue(COLORREF color, int timeoutMs = 0);

 private:
  HWND WaitCommonDialog(const char* kind, int timeoutMs);
  UiDriver& d_;
};

}  // namespace kx
