#include "encryption/OneClickManagerPage.h"

#include <memory>

#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CertPageTools.h"
#include "encryption/OneClickSheet.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"

namespace {
enum { IDC_LIST = 1033, IDC_NEW = 1050, IDC_VIEW = 1012, IDC_DELETE = 1051, IDC_CAPTION = 1095, IDC_REFRESH = 1053 };
}

IMPLEMENT_DYNCREATE(COneClickManagerPage, CPropertyPage)

BEGIN_MESSAGE_MAP(COneClickManagerPage, CPropertyPage)
  ON_BN_CLICKED(IDC_NEW, OnNewPreset)
  ON_BN_CLICKED(IDC_VIEW, OnViewPreset)
  ON_BN_CLICKED(IDC_DELETE, OnDeletePreset)
  ON_BN_CLICKED(IDC_REFRESH, OnRefresh)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnDoubleClick)
  ON_MESSAGE(WM_PRESET_DELETED, OnPresetDeleted)
END_MESSAGE_MAP()

COneClickManagerPage::COneClickManagerPage() : CPropertyPage(IDD) { m_bShowAll = 1; }

void COneClickManagerPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST, m_List);
  DDX_Control(pDX, IDC_NEW, m_NewButton);
  DDX_Control(pDX, IDC_VIEW, m_ViewButton);
  DDX_Control(pDX, IDC_DELETE, m_DeleteButton);
  DDX_Control(pDX, IDC_CAPTION, m_Caption);
  DDX_Control(pDX, IDC_REFRESH, m_RefreshButton);
}

BOOL COneClickManagerPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_List.SetFullRowDraw(TRUE);
  certmgr::SetUpToolButton(m_NewButton, 1033);
  certmgr::SetUpToolButton(m_ViewButton, 147);
  certmgr::SetUpToolButton(m_DeleteButton, 172);
  certmgr::SetUpToolButton(m_RefreshButton, 1068);
  return TRUE;
}

BOOL COneClickManagerPage::OnSetActive() {
  FillPresetList(m_List);
  return CPropertyPage::OnSetActive();
}

void COneClickManagerPage::OnRefresh() { OnSetActive(); }

void COneClickManagerPage::OnNewPreset() {
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("COneClickSheet", this, &made);
  std::unique_ptr<CBaseSheet> sheet(made);
  if (sheet) {
    sheet->m_bHosted = 0;
    sheet->SetTitle("OneClick Policy Wizard", 0);
    sheet->EnableHeader(TRUE);
    sheet->DoModal();
  }
  sheet.reset();
  ResetSheetRegistry();
  // Refilled also when the wizard was cancelled.
  FillPresetList(m_List);
}

void COneClickManagerPage::OnViewPreset() {
  if (m_nSelected < 0 || m_nSelected >= m_List.GetItemCount()) return;
  ViewSelectedPreset(GetDlgItem(IDC_VIEW), GetSafeHwnd());
}

void COneClickManagerPage::OnDeletePreset() {
  if (m_nSelected < 0 || m_nSelected >= m_List.GetItemCount()) return;
  if (AfxMessageBox(LoadResString(545), MB_YESNO) != IDYES) return;
  CString path;
  GetSelectedPresetPath(path);
  if (!path.IsEmpty() && DeleteFile(path)) FillPresetList(m_List);
}

void COneClickManagerPage::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (change->iItem >= 0 && (change->uNewState & LVIS_SELECTED)) m_nSelected = change->iItem;
  if (pResult) *pResult = 0;
}

void COneClickManagerPage::OnDoubleClick(NMHDR* pNMHDR, LRESULT* pResult) {
  if (pResult) *pResult = 0;
  // A double click on a preset shows it (its first click has selected it already).
  const int row = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  if (row < 0 || row >= m_List.GetItemCount()) return;
  m_nSelected = row;
  OnViewPreset();
}

LRESULT COneClickManagerPage::OnPresetDeleted(WPARAM, LPARAM) {
  // The viewer deleted a preset: the list follows.
  FillPresetList(m_List);
  return 0;
}
