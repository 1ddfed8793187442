#include "controls/FileListDlg.h"

#include <cstring>

#include "controls/ControlsHost.h"
#include "controls/ShellOpen.h"
#include "controls/ZoomRect.h"
#include "platform/mfc/cfile.h"

IMPLEMENT_DYNAMIC(MFileDlg, CFileDialog)

BEGIN_MESSAGE_MAP(MFileDlg, CFileDialog)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CFileListDlg, CDialog)
  ON_WM_CREATE()
  ON_WM_DESTROY()
  ON_BN_CLICKED(IDC_ADD, OnAdd)
  ON_BN_CLICKED(IDC_REMOVE, OnRemove)
  ON_BN_CLICKED(IDC_REMOVE_ALL, OnRemoveAll)
  ON_BN_CLICKED(IDC_OPEN, OnOpen)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnItemChanged)
  ON_NOTIFY(NM_CLICK, IDC_LIST, OnClick)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnDblClick)
END_MESSAGE_MAP()

namespace {

constexpr UINT IDS_VIEW_TITLE = 267, IDS_ALL_FILES_FILTER = 268, IDS_PROTECTED_FILTER = 269, IDS_ADD_TITLE = 270,
               IDS_REMOVE_ALL_QUESTION = 271, IDS_FILE_HEADING = 272, IDS_SIZE_HEADING = 273,
               IDS_MODIFIED_HEADING = 274;
// Icon of a file row (the document of the row icons).
constexpr UINT kFileIcon = 1;

}  // namespace

// ----- multi-selection file dialog -----

MFileDlg::MFileDlg(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName, DWORD dwFlags, LPCSTR lpszFilter,
                   CWnd* pParentWnd)
    : CFileDialog(bOpenFileDialog, lpszDefExt, lpszFileName, dwFlags, lpszFilter, pParentWnd, 0),
      m_pNameBuffer(new char[kNameBufferSize]()) {
  // The initial name goes into the larger buffer too.
  if (lpszFileName) std::strncpy(m_pNameBuffer, lpszFileName, kNameBufferSize - 1);
}

MFileDlg::~MFileDlg() { delete[] m_pNameBuffer; }

INT_PTR MFileDlg::DoModal() {
  m_ofn.lpstrFile = m_pNameBuffer;
  m_ofn.nMaxFile = kNameBufferSize;
  return CFileDialog::DoModal();
}

// ----- file list -----

CFileListDlg::CFileListDlg(CWnd* pParent) : CDialog(IDD, pParent) {}

void CFileListDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CAPTION, m_lblCaption);
  DDX_Control(pDX, IDC_LIST, m_lstFiles);
}

BOOL CFileListDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_lstFiles.SetFullRowDraw(TRUE);
  FillList();
  if (m_bViewOnly) SetWindowText(ControlText(IDS_VIEW_TITLE));
  // The list has the focus.
  return FALSE;
}

int CFileListDlg::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(m_rcZoom, this, lpCreateStruct, m_bZoomByOutline);
  return 0;
}

void CFileListDlg::OnDestroy() {
  CDialog::OnDestroy();
  ZoomClose(m_rcZoom, this, m_bZoomByOutline);
}

CString CFileListDlg::SizeText(ULONGLONG size) {
  CString text;
  text.Format("%llu Bytes", static_cast<unsigned long long>(size));
  return text;
}

void CFileListDlg::FillList() {
  m_lstFiles.DeleteAllItems();
  CStringList names, sizes, dates;
  CUIntArray icons;
  CArray<int, int> shownFiles;
  CArray<BOOL, BOOL> marks;
  for (INT_PTR i = 0; i < m_astrFiles.GetSize(); ++i) {
    CFileStatus status{};
    if (!CFile::GetStatus(m_astrFiles[i], status)) continue;
    names.AddTail(m_astrFiles[i]);
    sizes.AddTail(SizeText(status.m_size));
    dates.AddTail(status.m_mtime.Format("%d %B, %Y"));
    icons.Add(kFileIcon);
    shownFiles.Add(static_cast<int>(i));
    marks.Add(status.m_size != 0);
  }
  CStringList headings;
  headings.AddTail(ControlText(IDS_FILE_HEADING));
  headings.AddTail(ControlText(IDS_SIZE_HEADING));
  headings.AddTail(ControlText(IDS_MODIFIED_HEADING));
  m_lstFiles.SetHeadings(headings);
  m_lstFiles.SetColumnData(0, names);
  m_lstFiles.SetColumnData(1, sizes);
  m_lstFiles.SetColumnData(2, dates);
  m_lstFiles.SetItemStates(icons);
  m_lstFiles.SetItemImages(icons);
  m_lstFiles.Populate();
  m_lstFiles.SetColumnWidth(0, 290);
  m_lstFiles.SetColumnWidth(1, 110);
  m_lstFiles.SetColumnWidth(2, 100);
  for (int row = 0; row < m_lstFiles.GetItemCount() && row < shownFiles.GetSize(); ++row) {
    m_lstFiles.SetRowMark(row, marks[row], FALSE, FALSE);
    // A row knows its file: unreadable files are left out, so rows and files need not line up.
    m_lstFiles.SetItemData(row, static_cast<DWORD_PTR>(shownFiles[row]));
  }
  int row = RowOfFile(m_nSelection);
  if (row >= 0) m_lstFiles.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
  UpdateButtons();
  m_lstFiles.SetFocus();
}

int CFileListDlg::RowOfFile(int index) {
  if (index < 0) return -1;
  for (int row = 0; row < m_lstFiles.GetItemCount(); ++row)
    if (m_lstFiles.GetItemData(row) == static_cast<DWORD_PTR>(index)) return row;
  return -1;
}

void CFileListDlg::UpdateButtons() {
  if (m_bViewOnly) {
    for (int id : {IDC_REMOVE, IDC_REMOVE_ALL, IDC_ADD})
      if (CWnd* button = GetDlgItem(id)) button->ShowWindow(SW_HIDE);
    if (CWnd* open = GetDlgItem(IDC_OPEN)) open->ShowWindow(SW_SHOW);
    return;
  }
  const BOOL rows = m_lstFiles.GetItemCount() > 0;
  for (int id : {IDC_REMOVE, IDC_REMOVE_ALL, static_cast<int>(IDOK)})
    if (CWnd* button = GetDlgItem(id)) button->EnableWindow(rows);
}

void CFileListDlg::SelectRow(int row) {
  int file = row >= 0 ? static_cast<int>(m_lstFiles.GetItemData(row)) : -1;
  if (file == m_nSelection) return;
  m_nSelection = file;
  UpdateButtons();
}

void CFileListDlg::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* nm = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  // Only a row becoming selected moves the selection; mark and other state changes do not.
  if ((nm->uChanged & LVIF_STATE) && (nm->uNewState & LVIS_SELECTED) && !(nm->uOldState & LVIS_SELECTED))
    SelectRow(nm->iItem);
  *pResult = 0;
}

void CFileListDlg::OnClick(NMHDR* pNMHDR, LRESULT* pResult) {
  SelectRow(reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem);
  *pResult = 0;
}

void CFileListDlg::OnDblClick(NMHDR* pNMHDR, LRESULT* pResult) {
  OnClick(pNMHDR, pResult);
  if (m_bViewOnly) OnOpen();
}

void CFileListDlg::OnRemove() {
  if (m_nSelection < 0 || m_nSelection >= m_astrFiles.GetSize() || RowOfFile(m_nSelection) < 0) return;
  m_astrFiles.RemoveAt(m_nSelection);
  FillList();
}

void CFileListDlg::OnRemoveAll() {
  if (AfxMessageBox(ControlText(IDS_REMOVE_ALL_QUESTION), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  m_astrFiles.RemoveAll();
  FillList();
}

void CFileListDlg::OnOpen() {
  if (!m_bViewOnly || m_nSelection == -1 || RowOfFile(m_nSelection) < 0) return;
  ShellOpen(m_astrFiles[m_nSelection]);
}

void CFileListDlg::OnAdd() { AddFiles(); }

bool CFileListDlg::AddPath(CString path) {
  // A folder at the top of the tree comes back with its separator doubled.
  if (path.GetLength() > 2 && path[0] == '/' && path[1] == '/') path = path.Left(1) + path.Mid(2);
  for (INT_PTR i = 0; i < m_astrFiles.GetSize(); ++i)
    if (m_astrFiles[i].CompareNoCase(path) == 0) return false;
  m_astrFiles.Add(path);
  return true;
}

void CFileListDlg::AddFiles() {
  CString filter = ControlText(m_bProtectedOnly ? IDS_PROTECTED_FILTER : IDS_ALL_FILES_FILTER);
  // A name typed without an extension gets ".tvx" when only protected files are offered.
  MFileDlg dialog(TRUE, m_bProtectedOnly ? "tvx" : nullptr, nullptr,
                  OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT, filter, this);
  CString title = ControlText(IDS_ADD_TITLE);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() != IDOK) return;
  for (POSITION pos = dialog.GetStartPosition(); pos;) AddPath(dialog.GetNextPathName(pos));
  UpdateData(TRUE);
  FillList();
}
