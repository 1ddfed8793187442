// The dialog in which a wizard page shows the files chosen so far: name, size and date of each, with buttons to
// add files, remove one or all, or, in its view-only form, to open the selected one. It zooms out of the page's
// button that opened it and back into it.
//
// The owner copies its files into m_astrFiles, sets m_nSelection, m_bViewOnly, m_rcZoom (the button's window
// rectangle) and the other flags, runs DoModal, and after IDOK copies a non-empty m_astrFiles back.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/afxdlgs.h"

// The multi-selection open dialog of the file list: a file dialog with a name buffer of 4096 characters.
class MFileDlg : public CFileDialog {
  DECLARE_DYNAMIC(MFileDlg)
 public:
  MFileDlg(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
           DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
           CWnd* pParentWnd = nullptr);
  ~MFileDlg() override;
  INT_PTR DoModal() override;

  static constexpr DWORD kNameBufferSize = 4096;

 private:
  char* m_pNameBuffer;

  DECLARE_MESSAGE_MAP()
};

class CFileListDlg : public CDialog {
 public:
  enum { IDD = 172 };
  static constexpr int IDC_CAPTION = 1093, IDC_LIST = 1033, IDC_ADD = 1050, IDC_REMOVE = 1051,
                       IDC_REMOVE_ALL = 1052, IDC_OPEN = 1057;

  explicit CFileListDlg(CWnd* pParent = nullptr);

  CColorLabel m_lblCaption;
  CReportListCtrl m_lstFiles;
  // Full paths in the order added.
  CStringArray m_astrFiles;
  // The list is shown for opening files, not for editing it.
  bool m_bViewOnly = false;
  // The zoom draws moving outlines rather than the system's caption animation.
  bool m_bZoomByOutline = true;
  // Screen rectangle of the control that opened the dialog; empty: no zoom.
  CRect m_rcZoom;
  // Index into m_astrFiles of the selected file, -1 for none.
  int m_nSelection = 0;
  // The add dialog offers only protected files.
  bool m_bProtectedOnly = false;

  // Adds the files the user picks in the file dialog (each once, whatever its letter case).
  void AddFiles();
  // Adds one path as the file dialog returned it; false when an equal path is already there.
  bool AddPath(CString path);
  // Refills the list from m_astrFiles; files whose status cannot be read are not shown but stay.
  void FillList();
  void UpdateButtons();
  // The row showing m_astrFiles[index], -1 when none does.
  int RowOfFile(int index);
  // Size text of a file.
  static CString SizeText(ULONGLONG size);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnAdd();
  afx_msg void OnRemove();
  afx_msg void OnRemoveAll();
  afx_msg void OnOpen();
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnClick(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDblClick(NMHDR* pNMHDR, LRESULT* pResult);

  // Makes the file shown in that row (-1: none) the selection.
  void SelectRow(int row);

  DECLARE_MESSAGE_MAP()
};
