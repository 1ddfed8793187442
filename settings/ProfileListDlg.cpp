#include "settings/ProfileListDlg.h"

#include <climits>
#include <cstdlib>
#include <string>

#include "app/BrinmoorApp.h"
#include "app/ResString.h"
#include "controls/FolderBrowse.h"
#include "core/SecurityPolicy.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "app/SettingsPageTools.h"
#include "settings/XQProfileWizard.h"

namespace {

// Whether the folder lies inside the user's profiles folder (links resolved): only such a folder is the
// profile's own to delete.
bool IsInsideProfilesFolder(const CString& folder) {
  CMailProfileSettings profile;
  profile.InitDefaults(TRUE);
  char root[PATH_MAX], inner[PATH_MAX];
  if (profile.m_strProfilesFolder.IsEmpty() || !realpath(profile.m_strProfilesFolder, root) || !realpath(folder, inner))
    return false;
  const std::string base = std::string(root) + "/";
  return std::string(inner).compare(0, base.size(), base) == 0;
}

}  // namespace

BEGIN_MESSAGE_MAP(CProfileListDlg, CDialog)
  ON_BN_CLICKED(IDC_NEW, OnNew)
  ON_BN_CLICKED(IDC_DELETE, OnDelete)
  ON_BN_CLICKED(IDC_EDIT, OnEdit)
  ON_BN_CLICKED(IDC_SET_DEFAULT, OnSetDefault)
  ON_NOTIFY(LVN_ITEMCHANGED, IDC_LIST, OnItemChanged)
END_MESSAGE_MAP()

CProfileListDlg::CProfileListDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void CProfileListDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST, m_List);
  DDX_Control(pDX, IDC_SET_DEFAULT, m_btnSetDefault);
  DDX_Control(pDX, IDCANCEL, m_btnCancel);
  DDX_Control(pDX, IDC_EDIT, m_btnEdit);
  DDX_Control(pDX, IDC_DELETE, m_btnDelete);
  DDX_Control(pDX, IDC_NEW, m_btnNew);
  DDX_Control(pDX, IDOK, m_btnOK);
}

BOOL CProfileListDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const struct {
    CTextureButton& button;
    UINT icon;
  } looks[] = {{m_btnCancel, 172}, {m_btnOK, 1029},   {m_btnEdit, 147},
               {m_btnNew, 1077},   {m_btnDelete, 1033}, {m_btnSetDefault, 1106}};
  for (const auto& look : looks) SetUpTextureButton(look.button, look.icon);
  if (m_bSelectionMode) {
    for (CTextureButton* editing : {&m_btnNew, &m_btnDelete, &m_btnEdit, &m_btnSetDefault})
      editing->ShowWindow(SW_HIDE);
    m_btnOK.ShowWindow(SW_SHOW);
    SetWindowText(LoadResString(636));
  } else {
    m_btnOK.ShowWindow(SW_HIDE);
  }
  m_List.SetFullRowDraw(TRUE);
  Refresh();
  return TRUE;
}

void CProfileListDlg::Refresh() {
  m_List.DeleteAllItems();
  m_Profiles.clear();
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  CStringList headings, names, fullNames, addresses, forwarding;
  CUIntArray images;
  for (int i = 0; i < list.GetCount(); ++i) {
    const CMailProfileSettings& profile = list.GetAt(i);
    m_Profiles.push_back(profile);
    names.AddTail(profile.m_strDesc);
    fullNames.AddTail(profile.m_strFullName);
    addresses.AddTail(profile.m_strEmailName);
    forwarding.AddTail(LoadResString(profile.m_bBlockForward ? 234 : 235));
    images.Add(2);
  }
  for (UINT heading : {637u, 638u, 261u, 639u}) headings.AddTail(LoadResString(heading));
  m_List.SetHeadings(headings);
  m_List.SetColumnData(0, names);
  m_List.SetColumnData(1, fullNames);
  m_List.SetColumnData(2, addresses);
  m_List.SetColumnData(3, forwarding);
  m_List.SetItemImages(images);
  m_List.Populate();
  const int widths[] = {120, 120, 150, 100};
  for (int c = 0; c < 4; ++c) m_List.SetColumnWidth(c, widths[c]);
  for (int i = 0; i < static_cast<int>(m_Profiles.size()); ++i)
    m_List.SetRowMark(i, IsProfileComplete(m_Profiles[static_cast<size_t>(i)]) ? TRUE : FALSE, FALSE, FALSE);
  const int rows = m_List.GetItemCount();
  // The selection stays on a row that is there.
  if (m_nSelected >= rows) m_nSelected = rows - 1;
  if (rows > 0 && m_nSelected >= 0) m_List.SetItemState(m_nSelected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  m_btnDelete.EnableWindow(rows > 0);
  m_btnEdit.EnableWindow(rows > 0);
  m_List.SetFocus();
}

void CProfileListDlg::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (change->iItem >= 0 && change->iItem != m_nSelected && (change->uNewState & LVIS_SELECTED))
    m_nSelected = change->iItem;
  if (pResult) *pResult = 0;
}

bool CProfileListDlg::EditingAllowed(UINT messageId) {
  CSecurityPolicy policy;
  if (!policy.Load() || policy.m_bMailTolvexProfile) return true;
  AfxMessageBox(LoadResString(messageId) + " " + LoadResString(475), MB_OK);
  return false;
}

void CProfileListDlg::OnNew() {
  if (auto* app = dynamic_cast<CBrinmoorApp*>(AfxGetApp())) app->ShowSheet("CXQProfileWizard", 1, 1, 0, nullptr, 0);
  Refresh();
}

void CProfileListDlg::OnEdit() {
  if (!EditingAllowed(640)) return;
  RunProfileWizard(this, m_nSelected);
  // Saving moves the edited profile to the end of the list: the rows follow.
  Refresh();
}

void CProfileListDlg::OnDelete() {
  if (!EditingAllowed(632) || m_nSelected < 0) return;
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  if (m_nSelected >= list.GetCount()) return;
  const bool isDefault = static_cast<DWORD>(m_nSelected) == list.m_Default;
  CString question = isDefault ? LoadResString(634) + " " + LoadResString(635) : LoadResString(635);
  if (AfxMessageBox(question, MB_YESNO) != IDYES) return;
  const CMailProfileSettings profile = list.GetAt(m_nSelected);
  if (!profile.m_strDir.IsEmpty() && GetFileAttributes(profile.m_strDir) != INVALID_FILE_ATTRIBUTES &&
      IsInsideProfilesFolder(profile.m_strDir))
    CDirectoryCleaner().DeleteDirectory(profile.m_strDir);
  list.RemoveProfile(profile);
  if (isDefault) list.m_Default = CMailProfileList::kNoDefault;
  list.SaveList();
  Refresh();
}

void CProfileListDlg::OnSetDefault() {
  UpdateData(TRUE);
  if (m_List.GetItemCount() == 0 || m_nSelected < 0) return;
  if (AfxMessageBox(LoadResString(643) + " " + LoadResString(644), MB_YESNO) != IDYES) return;
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  list.m_Default = static_cast<DWORD>(m_nSelected);
  list.SaveList();
  AfxMessageBox(LoadResString(645), MB_OK);
}

void CProfileListDlg::OnOK() {
  UpdateData(TRUE);
  if (m_List.GetItemCount() > 0 && m_nSelected >= 0 && m_nSelected < static_cast<int>(m_Profiles.size())) {
    if (!IsProfileComplete(m_Profiles[static_cast<size_t>(m_nSelected)])) {
      AfxMessageBox(LoadResString(641) + " " + LoadResString(642), MB_OK);
      return;
    }
    m_nSelectedIndex = m_nSelected;
  }
  CDialog::OnOK();
}
