#include "certificates/TrustPages.h"

#include <string>
#include <vector>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CertSheet.h"
#include "certificates/CertificateRows.h"
#include "certificates/SelTrustPointsSheet.h"
#include "certificates/TrustLists.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SecurityPolicy.h"
#include "engine/CapicomObjectSet.h"
#include "platform/capicom/core/encoded.h"
#include "platform/capicom/core/fsutil.h"
#include "platform/mfc/afxwin.h"

using namespace certmgr;

namespace {

constexpr int kList = 1033;
constexpr int kWide[4] = {110, 150, 150, 150};

bool StrictPolicyOn() {
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  return config.DoD_JICT == 1;
}

// The subject names of the file's certificates that an import makes trusted roots (self-signed authorities).
std::vector<std::string> RootsIn(const CString& path) {
  std::vector<std::string> names;
  kx::capi::Bytes bytes;
  std::vector<kx::capi::CertRef> certs;
  std::vector<kx::capi::CrlRef> crls;
  if (!kx::capi::ReadWholeFile(static_cast<const char*>(path), bytes) ||
      FAILED(kx::capi::ReadEncodedObjects(bytes.data(), bytes.size(), certs, crls)))
    return names;
  for (const kx::capi::CertRef& cert : certs)
    if (cert->basicConstraints().ca && cert->isSelfIssued())
      names.push_back(cert->nameInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME));
  return names;
}

// The four fixed headings of the trust pages.
void FixedHeadings(CStringList& headings) {
  headings.RemoveAll();
  for (const char* text : {"Issued To", "Issued By", "Valid To", "Valid From"}) headings.AddTail(text);
}

// The trust points sheet by its class name, unhosted, with its system menu and title, its page set built for
// the backup flag; null when it cannot be made.
std::unique_ptr<CSelTrustPointsSheet> MakeTrustPointsSheet(CWnd* parent, bool backup) {
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("CSelTrustPointsSheet", parent, &made);
  std::unique_ptr<CBaseSheet> owner(made);
  auto* sheet = dynamic_cast<CSelTrustPointsSheet*>(made);
  if (!sheet) return nullptr;
  owner.release();
  sheet->m_TrustPointsPage.m_bBackup = backup ? 1 : 0;
  sheet->m_bHosted = 0;
  sheet->m_bSystemMenu = 1;
  sheet->SetTitle("Trust Points");
  sheet->AddPages();
  sheet->OnPagesAdded();
  return std::unique_ptr<CSelTrustPointsSheet>(sheet);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Trusted roots
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CTrustedRootPage, CStoreCertPage)

BEGIN_MESSAGE_MAP(CTrustedRootPage, CStoreCertPage)
  ON_BN_CLICKED(1011, OnExport)
  ON_BN_CLICKED(1009, OnImportCertificate)
  ON_BN_CLICKED(1050, OnTrustPoints)
  ON_NOTIFY(NM_DBLCLK, kList, OnDblClkRoot)
END_MESSAGE_MAP()

CTrustedRootPage::CTrustedRootPage() : CStoreCertPage(IDD, {{1050, 1035}, {1012, 147}, {1011, 1920}, {1009, 1033}}) {}

BOOL CTrustedRootPage::OnInitDialog() {
  CStoreCertPage::OnInitDialog();
  CCertSheet* sheet = GetCertSheet();
  if (sheet && sheet->m_bSelectionSheet)
    for (int id : {1009, 1011, 1050}) EnableControl(id, FALSE);
  return TRUE;
}

void CTrustedRootPage::ListCertificates() {
  if (m_List.GetItemCount() > 0) return;
  m_List.DeleteAllItems();
  PrepareEngine(m_pObjects, false);
  EnableControl(1012, FALSE);
  EnableControl(1011, FALSE);
  CCertificateRows rows;
  if (m_pObjects &&
      SUCCEEDED(m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_ONLY))) {
    try {
      CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
      const LONG count = certificates.GetCount();
      for (LONG i = 1; i <= count; ++i) rows.Add(certificates.GetItem(i));
    } catch (const _com_error&) {
      // What was read so far is listed.
    }
  }
  if (rows.GetCount() > 0) {
    EnableControl(1012, TRUE);
    CCertSheet* sheet = GetCertSheet();
    EnableControl(1011, !(sheet && sheet->m_bSelectionSheet));
  }
  CStringList headings;
  FixedHeadings(headings);
  ShowRows(rows, kWide, &headings);
  if (m_List.GetItemCount() > 0 && m_nSelectedRow >= 0)
    m_List.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
  m_List.SetFocus();
}

BOOL CTrustedRootPage::OnSetActive() {
  {
    WaitCursor wait(this);
    ListCertificates();
  }
  CCertSheet* sheet = GetCertSheet();
  const bool allowed = StrictPolicyOn() && IsUserInAdminGroup() && !(sheet && sheet->m_bSelectionSheet);
  EnableControl(1050, allowed);
  return CStoreCertPage::OnSetActive();
}

void CTrustedRootPage::OnDblClkRoot(NMHDR* pNMHDR, LRESULT* pResult) {
  // A double click selects, as a single click does.
  const int item = ActivatedItem(pNMHDR);
  if (item >= 0 && item != m_nSelectedRow && m_pObjects) TakeRow(item);
  *pResult = 0;
}

void CTrustedRootPage::OnExport() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  try {
    if (m_nSelectedRow < 0 || !RowCertificate(m_nSelectedRow, certificate)) return;
  } catch (const _com_error&) {
    return;
  }
  ExportCertificateToFile(this, certificate);
}

void CTrustedRootPage::OnImportCertificate() {
  CString path;
  if (!ChooseCertificateFile(this, 210, path)) return;
  CCertSheet* sheet = GetCertSheet();
  if (!sheet || !sheet->m_pFileComponent) return;
  // Trusting a root is asked once, No the default, as removing one is.
  const std::vector<std::string> roots = RootsIn(path);
  if (!roots.empty()) {
    const CString question =
        roots.size() == 1
            ? CString(("Everything issued under \"" + roots[0] +
                       "\" will be trusted: signatures, encrypted mail and servers that show it. Do you want to add "
                       "this root certificate?").c_str())
            : CString(("Everything issued under any of the " + std::to_string(roots.size()) +
                       " root certificates of this file will be trusted: signatures, encrypted mail and servers that "
                       "show them. Do you want to add these root certificates?").c_str());
    if (MessageBox(question, nullptr, MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) != IDYES) return;
  }
  sheet->PassFileToComponent(7, path);
  m_List.DeleteAllItems();
  OnSetActive();
}

void CTrustedRootPage::OnTrustPoints() {
  if (!StrictPolicyOn()) return;
  std::unique_ptr<CSelTrustPointsSheet> sheet = MakeTrustPointsSheet(this, true);
  if (!sheet) return;

  CCapicomStore roots;
  if (FAILED(roots.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED))) {
    MessageBox(LoadResString(276), nullptr, MB_OK);
    return;
  }
  for (const CCapicomCertificate& c : StoreCertificates(roots)) sheet->m_Certificates.Add(c);
  if (sheet->DoModal() != IDOK) return;

  std::vector<CCapicomCertificate> chosen;
  for (INT_PTR i = 0; i < sheet->m_Certificates.GetSize(); ++i) chosen.push_back(sheet->m_Certificates[i]);
  RootSwap result;
  {
    WaitCursor wait(this);
    result = ReplaceTrustedRoots(chosen);
  }
  switch (result) {
    case RootSwap::Done: break;
    case RootSwap::NotOpened: MessageBox(LoadResString(276), nullptr, MB_OK); break;
    // Nothing has changed: either nothing was removed, or everything was put back.
    default: MessageBox(LoadResString(275), nullptr, MB_OK); break;
  }
  m_List.DeleteAllItems();
  ListCertificates();
}

// ---------------------------------------------------------------------------------------------------------------
// Restricted trust
// ---------------------------------------------------------------------------------------------------------------

IMPLEMENT_DYNCREATE(CRestrictedTrustPage, CStoreCertPage)

BEGIN_MESSAGE_MAP(CRestrictedTrustPage, CStoreCertPage)
  ON_BN_CLICKED(1011, OnRemoveTrustPoint)
  ON_BN_CLICKED(1009, OnAddTrustPoints)
END_MESSAGE_MAP()

CRestrictedTrustPage::CRestrictedTrustPage() : CStoreCertPage(IDD, {{1012, 147}, {1011, 1920}, {1009, 1033}}) {}

BOOL CRestrictedTrustPage::OnSetActive() {
  {
    WaitCursor wait(this);
    RefreshTrustPoints();
  }
  return CStoreCertPage::OnSetActive();
}

void CRestrictedTrustPage::RefreshTrustPoints() {
  if (m_List.GetItemCount() > 0) return;
  m_List.DeleteAllItems();
  PrepareEngine(m_pObjects, false);
  const CString folder = GetOneClickFolder();
  CStringList headings;
  FixedHeadings(headings);
  CCertificateRows rows;
  if (folder.IsEmpty()) {
    MessageBox(LoadResString(264), nullptr, MB_YESNO);
    ShowRows(rows, kWide, &headings);
    return;
  }
  CByteBuffer bytes;
  if (m_pObjects && ReadWholeFile(TrustFilePath(folder, kTrustPointsFile), bytes) &&
      SUCCEEDED(m_pObjects->m_Store.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary", CAPICOM_STORE_OPEN_MAXIMUM_ALLOWED)) &&
      SUCCEEDED(m_pObjects->m_Store.ImportFromBuffer(bytes))) {
    EnableControl(1012, FALSE);
    EnableControl(1011, FALSE);
    try {
      for (const CCapicomCertificate& c : StoreCertificates(m_pObjects->m_Store)) rows.Add(c);
    } catch (const _com_error&) {
      rows.RemoveAll();
    }
    if (rows.GetCount() > 0) {
      EnableControl(1012, TRUE);
      EnableControl(1011, TRUE);
    }
  }
  ShowRows(rows, kWide, &headings);
  if (m_List.GetItemCount() > 0 && m_nSelectedRow >= 0) {
    m_List.SetItemState(m_nSelectedRow, LVIS_SELECTED, LVIS_SELECTED);
    m_List.SetFocus();
  }
}

bool CRestrictedTrustPage::SaveTrustPoints(const CCapicomStore& store, bool tellExportFailure) {
  const CString folder = GetOneClickFolder();
  if (folder.IsEmpty()) {
    MessageBox(LoadResString(264), nullptr, MB_OK);
    return false;
  }
  CByteBuffer bundle;
  if (!ExportBundle(store, bundle)) {
    if (tellExportFailure) MessageBox(LoadResString(266), nullptr, MB_OK);
    return false;
  }
  // The folder is recorded at start-up but made only here, when something goes into it; a list the user chose
  // and that could not be kept is never dropped without a word.
  if (!MakeFolder(folder) || !WriteWholeFile(TrustFilePath(folder, kTrustPointsFile), bundle)) {
    MessageBox(LoadResString(266), nullptr, MB_OK);
    return false;
  }
  m_List.DeleteAllItems();
  m_nSelectedRow = -1;
  RefreshTrustPoints();
  return true;
}

void CRestrictedTrustPage::OnRemoveTrustPoint() {
  if (!m_pObjects || m_List.GetItemCount() == 0 || m_nSelectedRow < 0) return;
  if (MessageBox(LoadResString(265), nullptr, MB_YESNO) != IDYES) return;
  try {
    CCapicomCertificate certificate(kx::engine::kEmpty);
    if (!RowCertificate(m_nSelectedRow, certificate)) return;
    if (FAILED(m_pObjects->m_Store.Remove(certificate))) return;
    SaveTrustPoints(m_pObjects->m_Store, true);
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Trust Points", kx::EngineText(e));
  }
}

void CRestrictedTrustPage::OnAddTrustPoints() {
  std::unique_ptr<CSelTrustPointsSheet> sheet = MakeTrustPointsSheet(this, false);
  if (!sheet) return;
  if (m_pObjects) {
    try {
      for (const CCapicomCertificate& c : StoreCertificates(m_pObjects->m_Store)) sheet->m_Certificates.Add(c);
    } catch (const _com_error&) {
      // The sheet starts with the trust points read so far; the user sees the list as it could be read.
    }
  }
  if (sheet->DoModal() != IDOK) return;
  WaitCursor wait(this);
  if (GetOneClickFolder().IsEmpty()) {
    MessageBox(LoadResString(264), nullptr, MB_YESNO);
    return;
  }
  try {
    CCapicomStore chosen;
    if (FAILED(chosen.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary002", CAPICOM_STORE_OPEN_READ_WRITE))) return;
    for (INT_PTR i = 0; i < sheet->m_Certificates.GetSize(); ++i) {
      try {
        chosen.Add(sheet->m_Certificates[i]);
      } catch (const _com_error&) {
        // One the store cannot take (a duplicate) is left out; the list after saving shows what was kept.
      }
    }
    SaveTrustPoints(chosen, false);
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Trust Points", kx::EngineText(e));
  }
}

// ---------------------------------------------------------------------------------------------------------------
// The trust points sheet's page
// ---------------------------------------------------------------------------------------------------------------

namespace {
constexpr int kAvailable = 1033, kTrustPoints = 1034;
constexpr int kAdd = 1050, kRemove = 1051, kRemoveAll = 1052, kRefresh = 1053, kImport = 1268;

int NewlySelectedRow(NMHDR* header) {
  auto* n = reinterpret_cast<NMLISTVIEW*>(header);
  if (!(n->uChanged & LVIF_STATE)) return -1;
  if (!(n->uNewState & LVIS_SELECTED) || (n->uOldState & LVIS_SELECTED)) return -1;
  return n->iItem;
}
}  // namespace

IMPLEMENT_DYNCREATE(AddTrustPointsPage, CPropertyPage)

BEGIN_MESSAGE_MAP(AddTrustPointsPage, CPropertyPage)
  ON_BN_CLICKED(kAdd, OnAdd)
  ON_BN_CLICKED(kRemove, OnRemove)
  ON_BN_CLICKED(kRemoveAll, OnRemoveAll)
  ON_BN_CLICKED(kRefresh, OnRefresh)
  ON_BN_CLICKED(kImport, OnImportFile)
  ON_NOTIFY(LVN_ITEMCHANGED, kAvailable, OnAvailableItemChanged)
  ON_NOTIFY(NM_DBLCLK, kAvailable, OnAvailableDblClk)
  ON_NOTIFY(NM_SETFOCUS, kAvailable, OnAvailableFocus)
  ON_NOTIFY(LVN_ITEMCHANGED, kTrustPoints, OnTrustPointItemChanged)
  ON_NOTIFY(NM_DBLCLK, kTrustPoints, OnTrustPointDblClk)
  ON_NOTIFY(NM_SETFOCUS, kTrustPoints, OnTrustPointFocus)
END_MESSAGE_MAP()

AddTrustPointsPage::AddTrustPointsPage() : CPropertyPage(IDD) { m_AvailableList.m_bNoSort = FALSE; }

AddTrustPointsPage::~AddTrustPointsPage() { delete m_pObjects; }

void AddTrustPointsPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1064, m_lblTrustPoints);
  DDX_Control(pDX, 1063, m_lblAvailable);
  DDX_Control(pDX, kTrustPoints, m_TrustPointList);
  DDX_Control(pDX, kAvailable, m_AvailableList);
}

CSelTrustPointsSheet* AddTrustPointsPage::GetTrustSheet() const {
  return dynamic_cast<CSelTrustPointsSheet*>(GetParent());
}

BOOL AddTrustPointsPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (!m_pObjects) {
    try {
      m_pObjects = new CCapicomObjectSet();
    } catch (const _com_error&) {
      m_pObjects = nullptr;
    }
  }
  m_AvailableList.SetFullRowDraw(TRUE);
  m_TrustPointList.SetFullRowDraw(TRUE);
  return TRUE;
}

void AddTrustPointsPage::SelectRow(CReportListCtrl& list, int row) {
  if (row < 0 || row >= list.GetItemCount()) return;
  list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void AddTrustPointsPage::DeselectRow(CReportListCtrl& list, int row) {
  if (row < 0 || row >= list.GetItemCount()) return;
  list.SetItemState(row, 0, LVIS_SELECTED);
}

void AddTrustPointsPage::EnableControl(int id, BOOL enable) {
  if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
}

BOOL AddTrustPointsPage::OnSetActive() {
  if (m_bBackup) {
    m_lblAvailable.SetWindowText(LoadResString(203));
    m_lblTrustPoints.SetWindowText(LoadResString(204));
  }
  ListAvailable();
  ListTrustPoints();
  m_nAvailableRow = m_nSavedAvailableRow;
  m_nTrustPointRow = m_nSavedTrustPointRow;
  if (m_bAvailableActive) {
    if (m_AvailableList.GetItemCount() > 0 && m_nAvailableRow >= 0) m_AvailableList.SetFocus();
  } else if (m_TrustPointList.GetItemCount() > 0 && m_nTrustPointRow >= 0) {
    m_TrustPointList.SetFocus();
    m_bReturnFocus = 1;
  }
  return CPropertyPage::OnSetActive();
}

BOOL AddTrustPointsPage::OnKillActive() {
  m_nSavedAvailableRow = m_nAvailableRow;
  m_nSavedTrustPointRow = m_nTrustPointRow;
  return CPropertyPage::OnKillActive();
}

void AddTrustPointsPage::ListAvailable() {
  m_AvailableList.DeleteAllItems();
  CCertificateRows rows;
  if (m_pObjects) {
    try {
      PrepareEngine(m_pObjects, false);
      bool fromBackup = false;
      if (m_bBackup && StrictPolicyOn()) {
        const CString folder = GetOneClickFolder();
        CByteBuffer bytes;
        if (!folder.IsEmpty() && ReadWholeFile(TrustFilePath(folder, kTrustBackupFile), bytes)) {
          fromBackup = true;
          if (SUCCEEDED(m_pObjects->m_Store.Open(CAPICOM_MEMORY_STORE, "KXCE_Temporary001",
                                                 CAPICOM_STORE_OPEN_READ_WRITE)))
            m_pObjects->m_Store.ImportFromBuffer(bytes);
        }
      }
      if (!fromBackup) m_pObjects->m_Store.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_ONLY);
      for (const CCapicomCertificate& c : StoreCertificates(m_pObjects->m_Store)) rows.Add(c);
    } catch (const _com_error&) {
      rows.RemoveAll();
    }
  }
  // No validity check here: every row carries the mark.
  for (INT_PTR i = 0; i < rows.GetCount(); ++i) rows.m_Valid[i] = 1;
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_AvailableList, headings, true);
  m_AvailableList.SortItems(0, TRUE);
  if (m_bAvailableActive) SelectRow(m_AvailableList, m_nSavedAvailableRow);
}

void AddTrustPointsPage::ListTrustPoints() {
  m_TrustPointList.DeleteAllItems();
  CCertificateRows rows;
  if (CSelTrustPointsSheet* sheet = GetTrustSheet()) {
    try {
      for (INT_PTR i = 0; i < sheet->m_Certificates.GetSize(); ++i) rows.Add(sheet->m_Certificates[i]);
    } catch (const _com_error&) {
      // The rows read so far are listed.
    }
  }
  for (INT_PTR i = 0; i < rows.GetCount(); ++i) rows.m_Valid[i] = 1;
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_TrustPointList, headings, false);
  if (!m_bAvailableActive) SelectRow(m_TrustPointList, m_nTrustPointRow);
}

bool AddTrustPointsPage::AvailableCertificate(int row, CCapicomCertificate& out) {
  if (!m_pObjects || row < 0 || row >= m_AvailableList.GetItemCount()) return false;
  const DWORD_PTR data = m_AvailableList.GetItemData(row);
  CCapicomCertificates certificates = m_pObjects->m_Store.GetCertificates();
  if (data >= static_cast<DWORD_PTR>(certificates.GetCount())) return false;
  out = certificates.GetItem(static_cast<LONG>(data) + 1);
  return true;
}

void AddTrustPointsPage::OnAdd() {
  CSelTrustPointsSheet* sheet = GetTrustSheet();
  if (!sheet || !m_pObjects || m_nAvailableRow < 0) return;
  try {
    CCapicomCertificate certificate(kx::engine::kEmpty);
    if (!AvailableCertificate(m_nAvailableRow, certificate)) return;
    m_pObjects->m_Certificate = certificate;
    if (sheet->m_Certificates.Find(certificate) >= 0) {
      MessageBox(LoadResString(195) + InfoText(certificate, 0) + " " + LoadResString(196), nullptr, MB_ICONINFORMATION);
      return;
    }
    sheet->m_Certificates.Add(certificate);
    m_nSavedAvailableRow = m_nAvailableRow;
    m_nSavedTrustPointRow = m_nTrustPointRow;
    ListTrustPoints();
    m_nAvailableRow = m_nSavedAvailableRow;
    m_nTrustPointRow = m_nSavedTrustPointRow;
    if (m_bAvailableActive) {
      m_AvailableList.SetFocus();
    } else {
      m_TrustPointList.SetFocus();
      m_bReturnFocus = 1;
    }
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Trust Points", kx::EngineText(e));
  }
}

void AddTrustPointsPage::OnRemove() {
  CSelTrustPointsSheet* sheet = GetTrustSheet();
  if (!sheet || m_nTrustPointRow < 0 || sheet->m_Certificates.GetSize() == 0) return;
  if (m_nTrustPointRow >= sheet->m_Certificates.GetSize()) return;
  if (MessageBox(LoadResString(197), nullptr, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  try {
    m_bReturnFocus = 0;
    if (sheet->m_Certificates.GetSize() == 1) {
      sheet->m_Certificates.RemoveAll();
      OnRefresh();
      m_nAvailableRow = 0;
      SelectRow(m_AvailableList, 0);
      m_AvailableList.SetFocus();
    } else {
      sheet->m_Certificates.RemoveAt(m_nTrustPointRow);
      ListTrustPoints();
      m_nTrustPointRow = 0;
      SelectRow(m_TrustPointList, 0);
      m_TrustPointList.SetFocus();
    }
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Trust Points", kx::EngineText(e));
  }
}

void AddTrustPointsPage::OnRemoveAll() {
  CSelTrustPointsSheet* sheet = GetTrustSheet();
  if (!sheet || m_nTrustPointRow < 0 || sheet->m_Certificates.GetSize() == 0) return;
  if (MessageBox(LoadResString(198), nullptr, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
  sheet->m_Certificates.RemoveAll();
  m_bReturnFocus = 0;
  ListTrustPoints();
  m_nAvailableRow = 0;
  SelectRow(m_AvailableList, 0);
  m_AvailableList.SetFocus();
}

void AddTrustPointsPage::OnRefresh() {
  m_nSavedAvailableRow = m_nAvailableRow;
  m_nSavedTrustPointRow = m_nTrustPointRow;
  OnSetActive();
}

void AddTrustPointsPage::OnImportFile() {
  CString path;
  if (!ChooseCertificateFile(this, 206, path)) return;
  CByteBuffer bytes;
  if (!ReadWholeFile(path, bytes)) {
    MessageBox(LoadResString(209) + " " + LoadResString(208), nullptr, MB_OK);
    return;
  }
  try {
    CCapicomCertificate certificate;
    if (FAILED(certificate.ImportFromBuffer(bytes))) {
      MessageBox(LoadResString(208), nullptr, MB_OK);
      return;
    }
    if (CSelTrustPointsSheet* sheet = GetTrustSheet()) sheet->m_Certificates.Add(certificate);
    m_nSavedAvailableRow = m_nAvailableRow;
    m_nSavedTrustPointRow = m_nTrustPointRow;
    ListTrustPoints();
    MessageBox(LoadResString(207), nullptr, MB_OK);
  } catch (const _com_error&) {
    MessageBox(LoadResString(208), nullptr, MB_OK);
  }
}

void AddTrustPointsPage::OnAvailableItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  const int item = NewlySelectedRow(pNMHDR);
  if (item < 0) return;
  m_nAvailableRow = item;
  try {
    CCapicomCertificate certificate(kx::engine::kEmpty);
    if (AvailableCertificate(item, certificate)) m_pObjects->m_Certificate = certificate;
  } catch (const _com_error&) {
    // A row that cannot be read selects nothing: View and Add act on the certificate chosen before.
  }
}

void AddTrustPointsPage::OnAvailableDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  const int item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  if (item < 0) return;
  m_nAvailableRow = item;
  try {
    CCapicomCertificate certificate(kx::engine::kEmpty);
    if (!AvailableCertificate(item, certificate)) return;
    m_pObjects->m_Certificate = certificate;
    DisplayCertificate(certificate);
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Certificate Display", kx::EngineText(e));
  }
}

void AddTrustPointsPage::OnAvailableFocus(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  if (m_bReturnFocus) {
    m_bReturnFocus = 0;
    m_TrustPointList.SetFocus();
    return;
  }
  EnableControl(kRemove, FALSE);
  EnableControl(kRemoveAll, FALSE);
  EnableControl(kAdd, TRUE);
  m_bAvailableActive = 1;
  DeselectRow(m_TrustPointList, m_nTrustPointRow);
  SelectRow(m_AvailableList, m_nAvailableRow);
}

void AddTrustPointsPage::OnTrustPointItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  const int item = NewlySelectedRow(pNMHDR);
  if (item >= 0) m_nTrustPointRow = item;
}

void AddTrustPointsPage::OnTrustPointDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  m_nTrustPointRow = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  CSelTrustPointsSheet* sheet = GetTrustSheet();
  if (sheet && m_nTrustPointRow >= 0 && m_nTrustPointRow < sheet->m_Certificates.GetSize())
    DisplayCertificate(sheet->m_Certificates[m_nTrustPointRow]);
}

void AddTrustPointsPage::OnTrustPointFocus(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  EnableControl(kRemove, TRUE);
  EnableControl(kRemoveAll, TRUE);
  EnableControl(kAdd, FALSE);
  m_bAvailableActive = 0;
  DeselectRow(m_AvailableList, m_nAvailableRow);
  SelectRow(m_TrustPointList, m_nTrustPointRow);
}
