#include "certificates/CertSelPages.h"

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "certificates/CertPageTools.h"
#include "certificates/CertificateRows.h"
#include "certificates/SelCertSheet.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/mfc/afxwin.h"

namespace {

constexpr int kAdd = 1050, kRemove = 1051, kRemoveAll = 1052, kRefresh = 1053;
constexpr int kAvailable = 1033, kSelected = 1034;

// A row that became selected: the notifications of other state changes (the row marks) move nothing.
int NewlySelected(NMHDR* header) {
  auto* n = reinterpret_cast<NMLISTVIEW*>(header);
  if (!(n->uChanged & LVIF_STATE)) return -1;
  if (!(n->uNewState & LVIS_SELECTED) || (n->uOldState & LVIS_SELECTED)) return -1;
  return n->iItem;
}

int ActivatedItem(NMHDR* header) { return reinterpret_cast<NMITEMACTIVATE*>(header)->iItem; }

CString SubjectOf(const CCapicomCertificate& certificate) {
  CBstrString subject = certificate.GetInfo(0);
  return subject.GetAnsi() ? CString(subject.GetAnsi()) : CString();
}

// Shows a certificate in the engine's certificate dialog; the dialog's failure is logged and its text shown.
void Display(const CCapicomCertificate& certificate) {
  try {
    CCapicomCertificate(certificate).Display();
  } catch (const _com_error& e) {
    kx::ReportFailure(AfxGetMainWnd(), "Certificate Display", kx::EngineText(e));
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// The shared design
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CCertSelPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCertSelPage, CPropertyPage)
  ON_BN_CLICKED(kAdd, OnAdd)
  ON_BN_CLICKED(kRemove, OnRemove)
  ON_BN_CLICKED(kRemoveAll, OnRemoveAll)
  ON_BN_CLICKED(kRefresh, OnRefresh)
  ON_NOTIFY(LVN_ITEMCHANGED, kAvailable, OnAvailableItemChanged)
  ON_NOTIFY(NM_DBLCLK, kAvailable, OnAvailableDblClk)
  ON_NOTIFY(NM_SETFOCUS, kAvailable, OnAvailableListFocus)
  ON_NOTIFY(LVN_ITEMCHANGED, kSelected, OnSelectedItemChanged)
  ON_NOTIFY(NM_DBLCLK, kSelected, OnSelectedDblClk)
  ON_NOTIFY(NM_SETFOCUS, kSelected, OnSelectedListFocus)
END_MESSAGE_MAP()

CCertSelPage::CCertSelPage(UINT templateId) : CPropertyPage(templateId) { m_AvailableList.m_bNoSort = FALSE; }

CCertSelPage::~CCertSelPage() { delete m_pObjects; }

void CCertSelPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1064, m_lblAvailable);
  DDX_Control(pDX, 1063, m_lblSelected);
  DDX_Control(pDX, kSelected, m_SelectedList);
  DDX_Control(pDX, kAvailable, m_AvailableList);
}

CSelCertSheet* CCertSelPage::GetSelSheet() { return DYNAMIC_DOWNCAST(CSelCertSheet, GetParent()); }

BOOL CCertSelPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (!m_pObjects) {
    try {
      m_pObjects = new CCapicomObjectSet();
    } catch (const _com_error&) {
      m_pObjects = nullptr;  // without the engine the page lists nothing and adds nothing
    }
  }
  m_AvailableList.SetFullRowDraw(TRUE);
  m_SelectedList.SetFullRowDraw(TRUE);
  return TRUE;
}

void CCertSelPage::PrepareEngine(bool searchLocation) { certmgr::PrepareEngine(m_pObjects, searchLocation); }

void CCertSelPage::FillAvailableList() {
  if (m_AvailableList.GetItemCount() > 0) return;
  kx::WaitCursor wait(this, m_bWaitWhileFilling);
  m_AvailableList.DeleteAllItems();
  CCertificateRows rows;
  try {
    PrepareEngine(false);
    CCertificateArray listed;
    CollectAvailable(listed);
    CSelCertSheet* sheet = GetSelSheet();
    const bool recipients = sheet && sheet->m_Use == CertificateUse::Recipient;
    for (INT_PTR i = 0; i < listed.GetSize(); ++i) {
      if (recipients && !OfferedAsRecipient(listed[i])) continue;
      rows.Add(listed[i]);
      rows.m_ItemData.Add(static_cast<DWORD>(i));
    }
  } catch (const _com_error&) {
    rows.RemoveAll();  // a source that fails shows only the headings
  }
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_AvailableList, headings, true);
  m_AvailableList.SortItems(0, TRUE);
  if (m_bAvailableListActive && m_AvailableList.GetItemCount() > 0 && m_nSavedAvailableRow >= 0)
    SelectRow(m_AvailableList, m_nSavedAvailableRow);
}

void CCertSelPage::FillSelectedList() {
  CSelCertSheet* sheet = GetSelSheet();
  m_SelectedList.DeleteAllItems();
  CCertificateRows rows;
  try {
    PrepareEngine(true);
    if (sheet)
      for (INT_PTR i = 0; i < sheet->m_Selected.GetSize(); ++i) rows.Add(sheet->m_Selected[i]);
  } catch (const _com_error&) {
    // A selection the engine cannot read shows the headings only; Add shows why when tried again.
  }
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_SelectedList, headings, false);
  // A selection can always be confirmed, whichever page disabled OK before.
  if (sheet && sheet->m_Selected.GetSize() > 0)
    if (CWnd* ok = sheet->GetDlgItem(IDOK)) ok->EnableWindow(TRUE);
  if (!m_bFocusAfterFill) return;
  if (m_bAvailableListActive) {
    m_AvailableList.SetFocus();
  } else if (m_SelectedList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
    SelectRow(m_SelectedList, m_nSelectedRow);
  }
}

BOOL CCertSelPage::OnSetActive() {
  FillAvailableList();
  FillSelectedList();
  m_nAvailableRow = m_nSavedAvailableRow;
  m_nSelectedRow = m_nSavedSelectedRow;
  if (!m_bAvailableListActive && m_SelectedList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
    m_SelectedList.SetFocus();
    m_bReturnFocus = 1;
  }
  if (m_bAvailableListActive && m_AvailableList.GetItemCount() > 0 && m_nAvailableRow >= 0) m_AvailableList.SetFocus();
  return CPropertyPage::OnSetActive();
}

BOOL CCertSelPage::OnKillActive() {
  m_nSavedAvailableRow = m_nAvailableRow;
  m_nSavedSelectedRow = m_nSelectedRow;
  return CPropertyPage::OnKillActive();
}

void CCertSelPage::SelectRow(CReportListCtrl& list, int row) {
  if (row < 0 || row >= list.GetItemCount()) return;
  list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  list.EnsureVisible(row, FALSE);
}

void CCertSelPage::DeselectRow(CReportListCtrl& list, int row) {
  if (row < 0 || row >= list.GetItemCount()) return;
  list.SetItemState(row, 0, LVIS_SELECTED);
}

void CCertSelPage::EnableControl(int id, BOOL enable) {
  if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
}


bool CCertSelPage::TakeRowCertificate(int row, bool countCheck) {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (!RowCertificate(m_AvailableList.GetItemData(row), countCheck, certificate)) return false;
  m_pObjects->m_Certificate = certificate;
  return true;
}

void CCertSelPage::OnAdd() {
  CSelCertSheet* sheet = GetSelSheet();
  if (m_nAvailableRow < 0 || !m_pObjects || !sheet) return;
  // An empty list (a source that is turned off or failed to open) has no row to add.
  if (m_nAvailableRow >= m_AvailableList.GetItemCount()) return;
  try {
    if (!TakeRowCertificate(m_nAvailableRow, false)) return;
    const CCapicomCertificate& current = m_pObjects->m_Certificate;
    if (sheet->m_Selected.Find(current) >= 0) {
      const CString subject = SubjectOf(current);
      AfxMessageBox(m_bDigitalIdMessage
                        ? "Digital ID of " + subject + " has already been added to the selected list."
                        : LoadResString(195) + subject + " " + LoadResString(196),
                    MB_ICONINFORMATION);
      return;
    }
    if (sheet->m_Use != CertificateUse::Any) {
      // A recipient must pass the verdict too; a signer's verdict is the signing run's own check.
      const CString problem = UseProblem(current, sheet->m_Use, sheet->m_Use == CertificateUse::Recipient);
      if (!problem.IsEmpty()) {
        AfxMessageBox("The digital ID of " + SubjectOf(current) + " cannot be used here.\n\n" + problem, MB_ICONSTOP);
        return;
      }
    }
    sheet->m_Selected.Add(current);
    m_nSavedAvailableRow = m_nAvailableRow;
    m_nSavedSelectedRow = m_nSelectedRow;
    FillSelectedList();
    m_nAvailableRow = m_nSavedAvailableRow;
    m_nSelectedRow = m_nSavedSelectedRow;
    if (!m_bAvailableListActive) {
      if (m_SelectedList.GetItemCount() > 0 && m_nSelectedRow >= 0) {
        m_SelectedList.SetFocus();
        m_bReturnFocus = 1;
      }
    } else if (m_AvailableList.GetItemCount() > 0 && m_nSavedAvailableRow >= 0) {
      m_AvailableList.SetFocus();
    }
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Selection", kx::EngineText(e));
  }
}

void CCertSelPage::OnRemove() {
  CSelCertSheet* sheet = GetSelSheet();
  if (!sheet || m_nSelectedRow < 0 || sheet->m_Selected.GetSize() == 0) return;
  // The row must still name a selected certificate.
  if (m_nSelectedRow >= sheet->m_Selected.GetSize()) return;
  if (AfxMessageBox(LoadResString(197), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  try {
    m_bReturnFocus = 0;
    if (sheet->m_Selected.GetSize() == 1) {
      sheet->m_Selected.RemoveAll();
      OnRefresh();
      m_nAvailableRow = 0;
      if (m_AvailableList.GetItemCount() > 0) SelectRow(m_AvailableList, 0);
      m_AvailableList.SetFocus();
    } else {
      sheet->m_Selected.RemoveAt(m_nSelectedRow);
      OnRefresh();
      m_nSelectedRow = 0;
      if (m_SelectedList.GetItemCount() > 0) SelectRow(m_SelectedList, 0);
      m_SelectedList.SetFocus();
    }
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Selection", kx::EngineText(e));
  }
}

void CCertSelPage::OnRemoveAll() {
  CSelCertSheet* sheet = GetSelSheet();
  if (!sheet || m_nSelectedRow < 0 || sheet->m_Selected.GetSize() == 0) return;
  if (AfxMessageBox(LoadResString(198), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  try {
    sheet->m_Selected.RemoveAll();
    m_bReturnFocus = 0;
    OnRefresh();
    m_nAvailableRow = 0;
    if (m_AvailableList.GetItemCount() > 0) SelectRow(m_AvailableList, 0);
    m_AvailableList.SetFocus();
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Selection", kx::EngineText(e));
  }
}

void CCertSelPage::OnRefresh() {
  m_nSavedAvailableRow = m_nAvailableRow;
  m_nSavedSelectedRow = m_nSelectedRow;
  m_AvailableList.DeleteAllItems();
  OnSetActive();
}

void CCertSelPage::OnAvailableItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = NewlySelected(pNMHDR);
  if (item >= 0 && item != m_nAvailableRow && m_pObjects) {
    m_nAvailableRow = item;
    try {
      TakeRowCertificate(item, true);
    } catch (const _com_error&) {
      return;
    }
  }
  *pResult = 0;
}

void CCertSelPage::OnAvailableDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = ActivatedItem(pNMHDR);
  try {
    if (item >= 0 && item != m_nAvailableRow && m_pObjects) {
      m_nAvailableRow = item;
      TakeRowCertificate(item, false);
    }
    if (m_nAvailableRow != -1 && m_pObjects) {
      CCapicomCertificate certificate(kx::engine::kEmpty);
      if (RowCertificate(m_AvailableList.GetItemData(m_nAvailableRow), true, certificate)) Display(certificate);
    }
  } catch (const _com_error&) {
    return;
  }
  *pResult = 0;
}

void CCertSelPage::OnAvailableListFocus(NMHDR*, LRESULT* pResult) {
  if (m_bReturnFocus) {
    m_bReturnFocus = 0;
    m_SelectedList.SetFocus();
    return;
  }
  ActivateAvailableList();
  *pResult = 0;
}

void CCertSelPage::ActivateAvailableList() {
  EnableControl(kRemove, FALSE);
  EnableControl(kRemoveAll, FALSE);
  EnableControl(kAdd, TRUE);
  m_bAvailableListActive = 1;
  if (m_bRefillOnFocus) {
    FillSelectedList();
    return;
  }
  if (m_SelectedList.GetItemCount() > 0 && m_nSelectedRow >= 0) DeselectRow(m_SelectedList, m_nSelectedRow);
  if (m_AvailableList.GetItemCount() > 0 && m_nAvailableRow >= 0) SelectRow(m_AvailableList, m_nAvailableRow);
}

void CCertSelPage::OnSelectedItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = NewlySelected(pNMHDR);
  if (item >= 0) m_nSelectedRow = item;
  *pResult = 0;
}

void CCertSelPage::OnSelectedDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  m_nSelectedRow = ActivatedItem(pNMHDR);
  CSelCertSheet* sheet = GetSelSheet();
  if (sheet && m_nSelectedRow != -1 && m_nSelectedRow < sheet->m_Selected.GetSize())
    Display(sheet->m_Selected[m_nSelectedRow]);
  *pResult = 0;
}

void CCertSelPage::OnSelectedListFocus(NMHDR*, LRESULT* pResult) {
  ActivateSelectedList();
  *pResult = 0;
}

void CCertSelPage::ActivateSelectedList() {
  EnableControl(kRemove, TRUE);
  EnableControl(kRemoveAll, TRUE);
  EnableControl(kAdd, FALSE);
  m_bAvailableListActive = 0;
  if (m_bRefillOnFocus) {
    FillAvailableList();
    return;
  }
  if (m_AvailableList.GetItemCount() > 0 && m_nAvailableRow >= 0) DeselectRow(m_AvailableList, m_nAvailableRow);
  if (m_SelectedList.GetItemCount() > 0 && m_nSelectedRow >= 0) SelectRow(m_SelectedList, m_nSelectedRow);
}

void CCertSelPage::OnAvailableClick(NMHDR*, LRESULT* pResult) { *pResult = 0; }

// ---------------------------------------------------------------------------------------------------------------
// Address book and directory
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CABCertSelPage, CCertSelPage)

void CABCertSelPage::OpenSource() {
  m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY);
}

void CABCertSelPage::CollectAvailable(CCertificateArray& listed) {
  if (!m_pObjects) return;
  OpenSource();
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  const LONG count = certificates.GetCount();
  for (LONG i = 1; i <= count; ++i) listed.Add(certificates.GetItem(i));
}

bool CABCertSelPage::RowCertificate(DWORD_PTR itemData, bool countCheck, CCapicomCertificate& out) {
  if (!m_pObjects) return false;
  // The store's collection is taken again at each use; engine positions count from 1.
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  const LONG index = static_cast<LONG>(itemData) + 1;
  if (countCheck && index > certificates.GetCount()) return false;
  out = certificates.GetItem(index);
  return true;
}

IMPLEMENT_DYNCREATE(CADCertSelPage, CABCertSelPage)

void CADCertSelPage::OpenSource() { m_hrOpen = certmgr::OpenDirectoryStore(this, m_pObjects->m_Store, "CN=*"); }

void CADCertSelPage::CollectAvailable(CCertificateArray& listed) {
  CCertificateManagerSettings settings;
  settings.Load();
  if (!settings.ENABLE_ACTIVE_DIRECTORY || !m_pObjects) {
    certmgr::ShowDirectoryStatus(this, S_OK, -1);
    return;
  }
  m_pObjects->m_Settings.PutActiveDirectorySearchLocation(
      settings.SEARCH_GLOBAL_CATALOG ? CAPICOM_SEARCH_GLOBAL_CATALOG : CAPICOM_SEARCH_DEFAULT_DOMAIN);
  m_hrOpen = S_OK;
  // The user is told why the list stays empty, also when taking the collection fails.
  try {
    CABCertSelPage::CollectAvailable(listed);
  } catch (const _com_error&) {
    certmgr::ShowDirectoryStatus(this, FAILED(m_hrOpen) ? m_hrOpen : E_FAIL, 0);
    throw;
  }
  certmgr::ShowDirectoryStatus(this, m_hrOpen, listed.GetSize());
}

// ---------------------------------------------------------------------------------------------------------------
// Personal digital IDs
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CPersonalCertSelPage, CCertSelPage)

BEGIN_MESSAGE_MAP(CPersonalCertSelPage, CCertSelPage)
  ON_NOTIFY(NM_CLICK, kAvailable, OnAvailableClick)
END_MESSAGE_MAP()

CPersonalCertSelPage::CPersonalCertSelPage() : CCertSelPage(IDD) {
  m_bRefillOnFocus = true;
  m_bDigitalIdMessage = true;
}

CPersonalCertSelPage::~CPersonalCertSelPage() { m_PersonalCertificates.RemoveAll(); }

void CPersonalCertSelPage::CollectAvailable(CCertificateArray& listed) {
  m_PersonalCertificates.RemoveAll();
  m_nPersonalStoreCount = 0;
  if (!m_pObjects) return;
  m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY);
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  const LONG count = certificates.GetCount();
  if (count) m_nPersonalStoreCount = count;
  for (LONG i = 1; i <= count; ++i) {
    CCapicomCertificate certificate = certificates.GetItem(i);
    if (certificate.HasPrivateKey()) m_PersonalCertificates.Add(certificate);
  }
  listed.Copy(m_PersonalCertificates);
}

bool CPersonalCertSelPage::RowCertificate(DWORD_PTR itemData, bool, CCapicomCertificate& out) {
  // The list's own array: a row outside it names nothing.
  if (itemData >= static_cast<DWORD_PTR>(m_PersonalCertificates.GetSize())) return false;
  out = m_PersonalCertificates[static_cast<INT_PTR>(itemData)];
  return true;
}

BOOL CPersonalCertSelPage::OnSetActive() {
  BOOL result = CCertSelPage::OnSetActive();
  // A signing choice needs a digital ID: without any in "My", OK waits until something is selected.
  CSelCertSheet* sheet = GetSelSheet();
  if (sheet && m_nPersonalStoreCount == 0 && sheet->m_bRestricted && sheet->m_Selected.GetSize() == 0)
    if (CWnd* ok = sheet->GetDlgItem(IDOK)) ok->EnableWindow(FALSE);
  return result;
}
