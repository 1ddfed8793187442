// Folder choosers over the window system's folder dialog, and the deletion of a folder with its contents.
#pragma once

#include "platform/mfc/afxwin.h"
#include "platform/ui/shlobj.h"

// The folder chooser of the wizards' output folders and the settings pages.
class CFolderBrowseDlg {
 public:
  CFolderBrowseDlg() = default;
  virtual ~CFolderBrowseDlg() = default;

  // Browse with that parent; TRUE when a folder was chosen and its path read into m_strFolder.
  BOOL DoModal(CWnd* pParent = nullptr);
  BOOL Browse(CWnd* pParent);
  // Called when the selection moves to path ("" for an item without one); the answer enables OK and, with
  // m_bStatusText, statusText is shown in the status line.
  virtual BOOL OnSelectionChanged(LPCSTR path, CString& statusText);

  // Window title of the dialog.
  CString m_strCaption;
  // The chosen folder (result).
  CString m_strFolder;
  // Top of the tree; empty: the desktop.
  CString m_strRoot;
  // Folder selected when the dialog opens.
  CString m_strInitialFolder;
  // Text above the tree.
  CString m_strTitle;
  // Image index of the chosen folder (result).
  int m_nImage = 0;
  // The dialog shows a status line.
  BOOL m_bStatusText = FALSE;

 private:
  static int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data);
};

// The lighter folder chooser of the archive wizard.
class CFolderBrowser {
 public:
  CFolderBrowser() = default;
  virtual ~CFolderBrowser() = default;

  // TRUE when a folder was chosen (result holds its path).
  BOOL Browse(CString& result);

  HWND m_hWndOwner = nullptr;
  CString m_strInitialSelection;
  CString m_strTitle;
  int m_nImage = 0;
  CString m_strRoot;
  UINT m_uFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;

 private:
  static int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data);
};

class CDirectoryCleaner {
 public:
  CDirectoryCleaner() = default;
  virtual ~CDirectoryCleaner() = default;

  // Deletes the folder's files and sub-folders, then the folder; entries that cannot be deleted are left and
  // the rest goes on. A symbolic link is removed itself, never followed; the root folder is refused.
  void DeleteDirectory(LPCSTR path);
};
