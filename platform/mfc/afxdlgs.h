// The framework's common dialogs: the open and save file dialog and the colour dialog, over the window system's
// dialogs of the same kind (GetOpenFileName, GetSaveFileName, ChooseColor).
#pragma once

#include <string>

#include "platform/mfc/collections.h"
#include "platform/mfc/dialog.h"
#include "platform/ui/commdlg.h"

class KXAPI CCommonDialog : public CDialog {
  DECLARE_DYNAMIC(CCommonDialog)
 public:
  explicit CCommonDialog(CWnd* pParentWnd = nullptr);

 protected:
  // The window that owns the dialog: the parent's top-level window, else the active one.
  HWND OwnerWindow() const;
};

class KXAPI CFileDialog : public CCommonDialog {
  DECLARE_DYNAMIC(CFileDialog)
 public:
  // The filter's pieces are separated by '|' ("Text files|*.txt|All files|*.*||").
  explicit CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
                       DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
                       CWnd* pParentWnd = nullptr, DWORD dwSize = 0);

  // IDOK when a file was chosen; IDCANCEL after a cancel or an error (see CommDlgExtendedError). The name buffer
  // is m_ofn.lpstrFile as it stands when the dialog opens: a derived class may give a larger one. When the
  // chosen files do not fit it, m_ofn.lpstrFile is pointed at a buffer of the dialog object that holds them all.
  INT_PTR DoModal() override;

  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;
  CString GetFileTitle() const;
  CString GetFolderPath() const;
  BOOL GetReadOnlyPref() const { return (m_ofn.Flags & OFN_READONLY) != 0; }
  // The chosen files one after the other (several with OFN_ALLOWMULTISELECT).
  POSITION GetStartPosition() const;
  CString GetNextPathName(POSITION& pos) const;

  OPENFILENAME m_ofn{};
  BOOL m_bOpenFileDialog;

 protected:
  char m_szFileTitle[64] = {0};
  char m_szFileName[260] = {0};
  std::string m_filter;
  std::string m_defExt;
  std::string m_overflow;
};

class KXAPI CColorDialog : public CCommonDialog {
  DECLARE_DYNAMIC(CColorDialog)
 public:
  // A non-zero initial colour is preselected (CC_RGBINIT).
  explicit CColorDialog(COLORREF clrInit = 0, DWORD dwFlags = 0, CWnd* pParentWnd = nullptr);
  INT_PTR DoModal() override;
  COLORREF GetColor() const { return m_cc.rgbResult; }
  void SetCurrentColor(COLORREF clr) { m_cc.rgbResult = clr; }
  // The sixteen custom colours every colour dialog of the process shares.
  static COLORREF* GetSavedCustomColors();

  CHOOSECOLOR m_cc{};
};
