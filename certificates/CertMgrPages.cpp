#include "certificates/CertMgrPages.h"

#include "app/ResString.h"
#include "certificates/CertPageTools.h"
#include "certificates/CertSelPages.h"
#include "certificates/CertSheet.h"
#include "certificates/CertificateRows.h"
#include "certificates/SmartcardCertificates.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CapicomParts.h"
#include "engine/CertPolicy.h"
#include "engine/CertificateManagerSettings.h"
#include "platform/mfc/afxwin.h"

using namespace certmgr;

namespace {

constexpr int kList = 1033;
constexpr int kWide[4] = {110, 150, 150, 150};
constexpr int kNarrow[4] = {110, 150, 100, 100};

// The sheet's OK enabled exactly when the page listed something to choose.
void EnableSheetOk(CCertSheet* sheet, bool enable) {
  if (!sheet || !sheet->m_bSelectionMode) return;
  if (CWnd* ok = sheet->GetDlgItem(IDOK)) ok->EnableWindow(enable);
}

// A double click in a selection role picks the row: OK to the sheet, with its OK button as the control.
void PickWithOk(CCertSheet* sheet) {
  if (!sheet) return;
  CWnd* ok = sheet->GetDlgItem(IDOK);
  sheet->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok ? ok->GetSafeHwnd() : nullptr));
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Personal certificates
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CKeyCertPage, CCertListPage)

BEGIN_MESSAGE_MAP(CKeyCertPage, CCertListPage)
  ON_BN_CLICKED(1011, OnImportPfx)
  ON_NOTIFY(LVN_ITEMCHANGED, kList, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, kList, OnDblClk)
END_MESSAGE_MAP()

CKeyCertPage::CKeyCertPage(UINT templateId)
    : CCertListPage(templateId, {{1007, 1029}, {1012, 147}, {1011, 1920}, {1047, 1919}, {1009, 1033}, {1055, 1032},
                                 {1127, 1034}}) {}

BOOL CKeyCertPage::OnInitDialog() {
  CCertListPage::OnInitDialog();
  CCertSheet* sheet = GetCertSheet();
  if (sheet && sheet->m_bSelectionMode) {
    for (int id : {1009, 1011, 1055}) ShowControl(id, FALSE);
  } else if (sheet && sheet->m_bSelectionSheet) {
    for (int id : {1009, 1011, 1055, 1127, 1007, 1047}) EnableControl(id, FALSE);
  }
  return TRUE;
}

bool CKeyCertPage::RowCertificate(int row, CCapicomCertificate& out) {
  if (row < 0 || row >= m_List.GetItemCount()) return false;
  return ListedCertificate(m_List.GetItemData(row), out);
}

void CKeyCertPage::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = NewlySelected(pNMHDR);
  if (item >= 0) TakeRow(item);
  *pResult = 0;
}

void CKeyCertPage::OnDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = ActivatedItem(pNMHDR);
  if (item >= 0 && item != m_nSelectedRow) TakeRow(item);
  *pResult = 0;
  if (m_nSelectedRow < 0 || m_nSelectedRow >= m_List.GetItemCount()) return;
  CCertSheet* sheet = GetCertSheet();
  TakeRow(m_nSelectedRow);
  if (sheet && sheet->m_bSelectionMode) PickWithOk(sheet);
}

// ---------------------------------------------------------------------------------------------------------------
// Personal certificates
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CPersonalCertPage, CKeyCertPage)

void CPersonalCertPage::ListCertificates() {
  if (m_List.GetItemCount() > 0) return;
  WaitCursor wait(this);
  m_List.DeleteAllItems();
  m_Certificates.RemoveAll();
  EnableControl(1012, FALSE);
  if (IsControlVisible(1011)) EnableControl(1011, FALSE);
  CCertSheet* sheet = GetCertSheet();
  const bool filtered = sheet && sheet->m_bMailFilter;
  CCertificateRows rows;
  if (m_pObjects) {
    try {
      PrepareEngine(m_pObjects, true);
      m_nStoreCount = 0;
      m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY);
      CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
      m_nStoreCount = certificates.GetCount();
      for (LONG i = 1; i <= m_nStoreCount; ++i) {
        CCapicomCertificate certificate = certificates.GetItem(i);
        if (!certificate.HasPrivateKey()) continue;
        if (filtered && !CCertPolicy::MailMatches(certificate, sheet->m_strMailFilter)) continue;
        m_Certificates.Add(certificate);
        rows.Add(certificate);
        if (filtered) {
          rows.m_ValidFrom.RemoveTail();
          rows.m_ValidFrom.AddTail(InfoText(certificate, CAPICOM_CERT_INFO_SUBJECT_EMAIL_NAME));
        }
      }
    } catch (const _com_error&) {
      // The store or its collection failed: what was read so far stays.
    }
  }
  EnableControl(1012, TRUE);
  if (IsControlVisible(1011)) EnableControl(1011, TRUE);
  CStringList headings;
  GetCertificateHeadings(headings);
  if (filtered) {
    headings.RemoveTail();
    headings.AddTail(LoadResString(261));
  }
  m_nSelectedRow = 0;
  ShowRows(rows, kWide, &headings);
  if (m_List.GetItemCount() > 0) m_List.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  m_List.SetFocus();
}

BOOL CPersonalCertPage::OnSetActive() {
  ListCertificates();
  // Only a listed certificate can be chosen (the store may hold certificates without a key).
  EnableSheetOk(GetCertSheet(), m_List.GetItemCount() > 0);
  return CKeyCertPage::OnSetActive();
}

BOOL CPersonalCertPage::DestroyWindow() {
  m_Certificates.RemoveAll();
  return CKeyCertPage::DestroyWindow();
}

bool CPersonalCertPage::ListedCertificate(DWORD_PTR index, CCapicomCertificate& out) const {
  if (index >= static_cast<DWORD_PTR>(m_Certificates.GetCount())) return false;
  out = m_Certificates.GetAt(static_cast<int>(index));
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Smart-card certificates
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CSmartCertSorePage, CKeyCertPage)

void CSmartCertSorePage::ListCertificates() {
  if (m_List.GetItemCount() > 0) return;
  WaitCursor wait(this);
  m_List.DeleteAllItems();
  m_CardCertificates.RemoveAll();
  EnableControl(1012, FALSE);
  if (IsControlVisible(1011)) EnableControl(1011, FALSE);
  m_nCardCount = 0;
  CCertificateRows rows;
  if (m_pObjects) {
    try {
      PrepareEngine(m_pObjects, true);
      // The card's store holds the certificates whose personal copy (with its key) is listed; the
      // removable-key path reads "My" itself.
      const CCertSheet* sheet = GetCertSheet();
      CCertificateArray personal;
      if (sheet && smartcard::ChooseSource() != smartcard::Source::RemovableKeys) {
        const CCertificateList& listed = sheet->m_PersonalPage.m_Certificates;
        for (int p = 0; p < listed.GetCount(); ++p) personal.Add(listed.GetAt(p));
      }
      smartcard::CollectCardCertificates(*m_pObjects, sheet && personal.GetSize() ? &personal : nullptr,
                                         m_CardCertificates);
      for (INT_PTR i = 0; i < m_CardCertificates.GetSize(); ++i) rows.Add(m_CardCertificates[i]);
      m_nCardCount = static_cast<int>(m_CardCertificates.GetSize());
    } catch (const _com_error&) {
      m_nCardCount = static_cast<int>(rows.GetCount());
    }
  }
  ShowRows(rows, kNarrow);
  EnableControl(1012, TRUE);
  if (IsControlVisible(1011)) EnableControl(1011, TRUE);
}

BOOL CSmartCertSorePage::OnSetActive() {
  ListCertificates();
  EnableSheetOk(GetCertSheet(), m_nCardCount != 0);
  return CKeyCertPage::OnSetActive();
}

BOOL CSmartCertSorePage::DestroyWindow() {
  m_CardCertificates.RemoveAll();
  return CKeyCertPage::DestroyWindow();
}

bool CSmartCertSorePage::ListedCertificate(DWORD_PTR index, CCapicomCertificate& out) const {
  if (index >= static_cast<DWORD_PTR>(m_CardCertificates.GetSize())) return false;
  out = m_CardCertificates[static_cast<INT_PTR>(index)];
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Pages over an engine store
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CStoreCertPage, CCertListPage)

BEGIN_MESSAGE_MAP(CStoreCertPage, CCertListPage)
  ON_NOTIFY(LVN_ITEMCHANGED, kList, OnItemChanged)
  ON_NOTIFY(NM_DBLCLK, kList, OnDblClk)
END_MESSAGE_MAP()

bool CStoreCertPage::RowCertificate(int row, CCapicomCertificate& out) {
  if (!m_pObjects || row < 0 || row >= m_List.GetItemCount()) return false;
  const DWORD_PTR data = m_List.GetItemData(row);
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  if (data == static_cast<DWORD_PTR>(-1) || data >= static_cast<DWORD_PTR>(certificates.GetCount())) return false;
  out = certificates.GetItem(static_cast<LONG>(data) + 1);
  return true;
}

void CStoreCertPage::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = NewlySelected(pNMHDR);
  if (item >= 0 && item != m_nSelectedRow && m_pObjects) TakeRow(item);
  *pResult = 0;
}

void CStoreCertPage::OnDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  const int item = ActivatedItem(pNMHDR);
  if (item >= 0 && item != m_nSelectedRow && m_pObjects) TakeRow(item);
  *pResult = 0;
  CCertSheet* sheet = GetCertSheet();
  if (m_nSelectedRow == -1 || !sheet || !sheet->m_bHosted || !m_pObjects) return;
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (RowCertificate(m_nSelectedRow, certificate)) DisplayCertificate(certificate);
  } catch (const _com_error&) {
    // DisplayCertificate reports its own failure; a row the engine cannot read shows nothing.
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Directory certificates
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CADirCertPage, CStoreCertPage)

BEGIN_MESSAGE_MAP(CADirCertPage, CStoreCertPage)
  ON_BN_CLICKED(1011, OnExport)
END_MESSAGE_MAP()

CADirCertPage::CADirCertPage()
    : CStoreCertPage(IDD, {{1012, 147}, {1011, 1920}, {1007, 1029}, {1009, 1033}, {1055, 1032}, {1047, 1919},
                           {1127, 1034}}) {}

BOOL CADirCertPage::OnInitDialog() {
  CStoreCertPage::OnInitDialog();
  CCertSheet* sheet = GetCertSheet();
  if (sheet && sheet->m_bSelectionSheet)
    for (int id : {1009, 1011, 1055, 1127, 1007, 1047}) EnableControl(id, FALSE);
  return TRUE;
}

void CADirCertPage::ListCertificates() {
  if (m_List.GetItemCount() > 0) return;
  m_List.DeleteAllItems();
  PrepareEngine(m_pObjects, false);
  CCertificateManagerSettings settings;
  settings.Load();
  CCertificateRows rows;
  if (settings.ENABLE_ACTIVE_DIRECTORY && m_pObjects) {
    m_pObjects->m_Settings.PutActiveDirectorySearchLocation(
        settings.SEARCH_GLOBAL_CATALOG ? CAPICOM_SEARCH_GLOBAL_CATALOG : CAPICOM_SEARCH_DEFAULT_DOMAIN);
    EnableControl(1012, FALSE);
    EnableControl(1011, FALSE);
    // The engine's directory search: every user object with a common name.
    const HRESULT opened = OpenDirectoryStore(this, m_pObjects->m_Store, "CN=*");
    if (SUCCEEDED(opened)) {
      try {
        CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
        const LONG count = certificates.GetCount();
        for (LONG i = 1; i <= count; ++i) rows.Add(certificates.GetItem(i));
        if (count > 0) {
          EnableControl(1012, TRUE);
          CCertSheet* sheet = GetCertSheet();
          EnableControl(1011, !(sheet && sheet->m_bSelectionSheet));
        }
      } catch (const _com_error&) {
        rows.RemoveAll();
        EnableControl(1012, FALSE);
        EnableControl(1011, FALSE);
      }
    }
    ShowDirectoryStatus(this, opened, rows.GetCount());
  } else {
    ShowDirectoryStatus(this, S_OK, -1);
  }
  ShowRows(rows, kWide);
  if (m_List.GetItemCount() > 0 && m_nSelectedRow >= 0)
    m_List.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
  m_List.SetFocus();
}

BOOL CADirCertPage::OnSetActive() {
  WaitCursor wait(this);
  ListCertificates();
  return CStoreCertPage::OnSetActive();
}

void CADirCertPage::OnExport() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (m_nSelectedRow == -1 || !RowCertificate(m_nSelectedRow, certificate)) return;
  } catch (const _com_error&) {
    return;
  }
  ExportCertificateToFile(this, certificate);
}

// ---------------------------------------------------------------------------------------------------------------
// The address book store
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CCAStoreCertPage, CStoreCertPage)

BEGIN_MESSAGE_MAP(CCAStoreCertPage, CStoreCertPage)
  ON_BN_CLICKED(1009, OnImportCertificate)
  ON_BN_CLICKED(1047, OnShowAddressBook)
  ON_BN_CLICKED(1048, OnNewAddressBookEntry)
  ON_BN_CLICKED(1051, OnConfirmButton)
END_MESSAGE_MAP()

CCAStoreCertPage::CCAStoreCertPage()
    : CStoreCertPage(IDD, {{1007, 1029}, {1012, 147}, {1047, 1919}, {1048, 1035}, {1009, 1033}, {1055, 1032},
                           {1127, 1034}, {1051, 1921}}) {}

BOOL CCAStoreCertPage::OnInitDialog() {
  CStoreCertPage::OnInitDialog();
  CCertSheet* sheet = GetCertSheet();
  if (sheet && sheet->m_bSelectionSheet)
    for (int id : {1007, 1047, 1048, 1009, 1055, 1127, 1051}) EnableControl(id, FALSE);
  return TRUE;
}

void CCAStoreCertPage::ListCertificates() {
  if (m_List.GetItemCount() > 0) return;
  m_List.DeleteAllItems();
  PrepareEngine(m_pObjects, false);
  CCertificateRows rows;
  if (m_pObjects) {
    try {
      m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_ONLY);
      // One reading of the store for the whole listing.
      CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
      const LONG count = certificates.GetCount();
      for (LONG k = 1; k <= count; ++k) rows.Add(certificates.GetItem(k));
    } catch (const _com_error&) {
      // An address book the engine cannot read lists no rows; its certificates stay where they are.
    }
  }
  // Sorting selects the first row, which becomes current through the item change.
  ShowRows(rows, kWide);
  if (m_List.GetItemCount() > 0 && m_nSelectedRow >= 0)
    m_List.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
  m_List.Invalidate();
  m_List.SetFocus();
}

BOOL CCAStoreCertPage::OnSetActive() {
  {
    WaitCursor wait(this);
    ListCertificates();
  }
  return CStoreCertPage::OnSetActive();
}

void CCAStoreCertPage::OnImportCertificate() {
  CString path;
  if (!ChooseCertificateFile(this, 210, path)) return;
  UpdateData(FALSE);
  if (CCertSheet* sheet = GetCertSheet()) sheet->PassFileToComponent(7, path);
  m_List.DeleteAllItems();
  m_nSelectedRow = -1;
  OnSetActive();
}

void CCAStoreCertPage::OnShowAddressBook() {
  if (m_AddressBook.LoadAddressBook(nullptr)) m_AddressBook.ShowAddressBook(GetSafeHwnd(), 1);
}

void CCAStoreCertPage::OnNewAddressBookEntry() {
  if (m_AddressBook.LoadAddressBook(nullptr)) m_AddressBook.CreateEntry(GetSafeHwnd());
}

void CCAStoreCertPage::OnConfirmButton() {
  // The question is asked; neither answer changes anything.
  if (m_nSelectedRow >= 0) MessageBox(LoadResString(284), nullptr, MB_YESNO);
}
