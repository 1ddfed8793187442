#include "encryption/OneClickSelectDialog.h"

#include "platform/mfc/afxwin.h"

namespace {
enum { IDC_CAPTION = 1118, IDC_LIST = 1033, IDC_VIEW = 1012 };
}

BEGIN_MESSAGE_MAP(COneClickSelectDialog, CDialog)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnDoubleClick)
  ON_BN_CLICKED(IDC_VIEW, OnView)
END_MESSAGE_MAP()

COneClickSelectDialog::COneClickSelectDialog(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void COneClickSelectDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CAPTION, m_Caption);
  DDX_Control(pDX, IDC_LIST, m_List);
}

BOOL COneClickSelectDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_List.SetFullRowDraw(TRUE);
  FillPresetList(m_List);
  // With no preset listed there is nothing to view.
  if (CWnd* view = GetDlgItem(IDC_VIEW)) view->EnableWindow(m_List.GetItemCount() > 0);
  // The focus stays on the list.
  return FALSE;
}

void COneClickSelectDialog::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (change->iItem >= 0 && (change->uNewState & LVIS_SELECTED)) m_nSelected = change->iItem;
  if (pResult) *pResult = 0;
}

void COneClickSelectDialog::OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult) {
  if (pResult) *pResult = 0;
  // A double click on a preset chooses it (its first click has selected it already).
  const int row = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  if (row < 0 || row >= m_PresetPaths.GetSize()) return;
  m_nSelected = row;
  EndDialog(IDOK);
}

void COneClickSelectDialog::OnView() {
  if (m_nSelected < 0 || m_nSelected >= m_List.GetItemCount()) return;
  ViewSelectedPreset(GetDlgItem(IDC_VIEW));
}
