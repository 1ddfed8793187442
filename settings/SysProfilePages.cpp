#include "settings/SysProfilePages.h"

#include <memory>

#include "app/ResString.h"
#include "controls/FolderBrowse.h"
#include "core/SecurityPolicy.h"
#include "core/TvxFormatSettings.h"
#include "encryption/OneClickSelectDialog.h"
#include "encryption/OneClickViewSheet.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/cfile.h"
#include "app/SettingsPageTools.h"
#include "settings/SysProfileSheet.h"

namespace {

// Item lists of the pages' combo boxes (one item a line).
constexpr UINT kVerificationItems = 31505;
constexpr UINT kMemoryCacheItems = 31506;

// Per operation kind: its name, the message when a preset of the kind is already assigned, and the profile
// value that holds its preset.
struct KindInfo {
  UINT name;
  UINT alreadyAssigned;
  CString CSystemProfile::*value;
};
const KindInfo kKindInfo[CSysProfileMainPage::kKinds] = {
    {502, 503, &CSystemProfile::EncryptSettings},
    {505, 504, &CSystemProfile::SignSettings},
    {506, 507, &CSystemProfile::SignEncSettings},
    {508, 509, &CSystemProfile::CountersignSettings},
};
// The order in which the profile's presets are checked and listed.
const int kListOrder[] = {CSysProfileMainPage::kEncrypt, CSysProfileMainPage::kSign, CSysProfileMainPage::kCountersign,
                          CSysProfileMainPage::kSignEncrypt};
constexpr UINT kNoKind = 512;

CSystemProfile* SheetProfile(CPropertyPage* page) {
  CPropertySheet* sheet = page->GetParentSheet();
  auto* base = dynamic_cast<CBaseSheet*>(sheet);
  return base ? &base->m_SystemProfile : nullptr;
}

// Opens a preset through a file manager of its own; null when it does not open as one.
std::unique_ptr<CTolvexBinaryFileBase> OpenPreset(CFileManager& manager, const CString& path) {
  std::unique_ptr<CBaseKesmoraFile> file(manager.OpenFile(path));
  if (!dynamic_cast<CTolvexBinaryFileBase*>(file.get())) return nullptr;
  return std::unique_ptr<CTolvexBinaryFileBase>(static_cast<CTolvexBinaryFileBase*>(file.release()));
}

}  // namespace

// ---- main page ----

IMPLEMENT_DYNCREATE(CSysProfileMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSysProfileMainPage, CPropertyPage)
  ON_BN_CLICKED(1050, OnAdd)
  ON_BN_CLICKED(1051, OnRemove)
  ON_BN_CLICKED(1012, OnView)
  ON_NOTIFY(NM_DBLCLK, 1033, OnListDblClk)
  ON_NOTIFY(LVN_ITEMCHANGED, 1033, OnListItemChanged)
END_MESSAGE_MAP()

CSysProfileMainPage::CSysProfileMainPage() : CPropertyPage(IDD) {}

CSystemProfile* CSysProfileMainPage::Profile() { return SheetProfile(this); }

BYTE& CSysProfileMainPage::Assigned(int kind) {
  switch (kind) {
    case kEncrypt: return m_bEncryptAssigned;
    case kSign: return m_bSignAssigned;
    case kSignEncrypt: return m_bSignEncryptAssigned;
    default: return m_bCountersignAssigned;
  }
}

BOOL CSysProfileMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_label.SubclassDlgItem(1095, this);
  m_list.SubclassDlgItem(1033, this);
  m_list.SetFullRowDraw(TRUE);
  Refresh();
  return TRUE;
}

BOOL CSysProfileMainPage::OnSetActive() {
  Refresh();
  // Unlocked, the buttons follow the list again.
  if (!ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, true)) UpdateButtons();
  return CPropertyPage::OnSetActive();
}

void CSysProfileMainPage::OnOK() { CPropertyPage::OnOK(); }

void CSysProfileMainPage::Refresh() {
  m_Paths.RemoveAll();
  m_RowKinds.RemoveAll();
  for (int kind = 0; kind < kKinds; ++kind) Assigned(kind) = 0;
  CStringList columns[4];
  CUIntArray images, states;
  if (CSystemProfile* profile = Profile()) {
    // A preset that is gone or damaged is dropped from the profile.
    CFileManager manager;
    bool changed = false;
    for (int kind : kListOrder) {
      CString& value = profile->*kKindInfo[kind].value;
      if (value.IsEmpty()) continue;
      if (OpenPreset(manager, value)) {
        Assigned(kind) = 1;
        continue;
      }
      value = "";
      changed = true;
    }
    if (changed) profile->Save();
    manager.Reset();

    for (int kind : kListOrder) {
      const CString path = profile->*kKindInfo[kind].value;
      if (path.IsEmpty()) continue;
      CFileManager reader;
      std::unique_ptr<CTolvexBinaryFileBase> preset = OpenPreset(reader, path);
      CFileStatus status;
      // A row and its path are listed together or not at all.
      if (!preset || !CFile::GetStatus(path, status)) continue;
      const BYTE* options = preset->GetOptions();
      const int fileKind = options ? options[0] : -1;
      columns[0].AddTail(preset->m_info.m_strText3);
      columns[1].AddTail(LoadResString(fileKind >= 0 && fileKind < kKinds ? kKindInfo[fileKind].name : kNoKind));
      columns[2].AddTail(status.m_mtime.Format("%d %B, %Y"));
      CString size;
      size.Format("%u ", static_cast<unsigned>(status.m_size & 0xFFFFFFFFu));
      columns[3].AddTail(size + LoadResString(511));
      images.Add(1);
      states.Add(1);
      m_Paths.Add(path);
      m_RowKinds.Add(static_cast<UINT>(kind));
      preset.reset();
      reader.Reset();
    }
  }
  if (!m_list.GetSafeHwnd()) return;
  m_list.DeleteAllItems();
  CStringList headings;
  for (UINT id : {469u, 513u, 274u, 514u}) headings.AddTail(LoadResString(id));
  m_list.SetHeadings(headings);
  for (int c = 0; c < 4; ++c) m_list.SetColumnData(c, columns[c]);
  m_list.SetItemImages(images);
  m_list.SetItemStates(states);
  m_list.Populate();
  const int widths[] = {110, 150, 150, 300};
  for (int c = 0; c < 4; ++c) m_list.SetColumnWidth(c, widths[c]);
  const int rows = m_list.GetItemCount();
  for (int row = 0; row < rows; ++row) m_list.SetRowMark(row, TRUE, FALSE, FALSE);
  if (rows > 0 && m_nSelected >= 0 && m_nSelected < rows) m_list.SetItemState(m_nSelected, LVIS_SELECTED, LVIS_SELECTED);
  UpdateButtons();
  m_list.SetFocus();
}

void CSysProfileMainPage::UpdateButtons() {
  const BOOL rows = m_list.GetSafeHwnd() && m_list.GetItemCount() > 0;
  EnableDlgControl(this, 1012, rows);
  EnableDlgControl(this, 1050, TRUE);
  EnableDlgControl(this, 1051, rows);
}

void CSysProfileMainPage::OnAdd() {
  COneClickSelectDialog chooser(nullptr);
  if (chooser.DoModal() != IDOK) return;
  CString path;
  chooser.GetSelectedPresetPath(path);
  CSystemProfile* profile = Profile();
  if (path.IsEmpty() || !profile) return;
  // The chosen preset is read from its file, whatever the chooser keeps.
  CFileManager manager;
  std::unique_ptr<CTolvexBinaryFileBase> preset = OpenPreset(manager, path);
  const BYTE* options = preset ? preset->GetOptions() : nullptr;
  if (!options) return;
  const int kind = options[0];
  preset.reset();
  manager.Reset();
  if (kind >= kKinds) return;
  if (Assigned(kind)) {
    MessageBox(LoadResString(kKindInfo[kind].alreadyAssigned), nullptr, MB_OK | MB_ICONINFORMATION);
    return;
  }
  profile->*kKindInfo[kind].value = path;
  Assigned(kind) = 1;
  profile->Save();
  Refresh();
}

void CSysProfileMainPage::OnRemove() {
  if (m_nSelected < 0 || m_nSelected >= m_list.GetItemCount() || m_nSelected >= m_RowKinds.GetSize()) return;
  if (MessageBox(LoadResString(510), nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // The row's own preset goes, whatever names the kinds have.
  const int kind = static_cast<int>(m_RowKinds[m_nSelected]);
  Assigned(kind) = 0;
  if (CSystemProfile* profile = Profile()) {
    profile->*kKindInfo[kind].value = "";
    profile->Save();
  }
  Refresh();
}

void CSysProfileMainPage::OnView() {
  if (m_nSelected < 0 || m_nSelected >= m_list.GetItemCount() || m_nSelected >= m_Paths.GetSize()) return;
  COneClickViewSheet viewer("One Click Settings", GetTopLevelParent(), 0);
  // The viewer zooms out of the View button.
  if (CWnd* button = GetDlgItem(1012); button && button->GetSafeHwnd()) button->GetWindowRect(&viewer.m_rcOrigin);
  viewer.m_bAnimate = 1;
  viewer.m_strPresetPath = m_Paths[m_nSelected];
  viewer.DoModal();
}

void CSysProfileMainPage::OnListDblClk(NMHDR* pNMHDR, LRESULT* pResult) {
  m_nSelected = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  OnView();
  *pResult = 0;
}

void CSysProfileMainPage::OnListItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
  auto* change = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED)) m_nSelected = change->iItem;
  *pResult = 0;
}

// ---- verification options ----

IMPLEMENT_DYNCREATE(CSysMiscPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSysMiscPage, CSettingsPageBase)
  ON_BN_CLICKED(1088, OnSettingChanged)
  ON_BN_CLICKED(1090, OnSettingChanged)
  ON_BN_CLICKED(1084, OnSettingChanged)
  ON_BN_CLICKED(1089, OnSettingChanged)
  ON_BN_CLICKED(1086, OnSettingChanged)
  ON_BN_CLICKED(1085, OnSettingChanged)
END_MESSAGE_MAP()

CSysMiscPage::CSysMiscPage() : CSettingsPageBase(IDD) {}

void CSysMiscPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, 1088, m_bVerifyBeforeCosign);
  DDX_Check(pDX, 1090, m_bEnableDirOperation);
  DDX_Check(pDX, 1084, m_bBrastel);
  DDX_Check(pDX, 1089, m_bVerifyHash);
  DDX_Check(pDX, 1086, m_bVerifyAllSig);
  DDX_Check(pDX, 1085, m_bVerifyCert);
  DDX_CBIndex(pDX, 1087, m_nVerifyIndex);
}

BOOL CSysMiscPage::OnInitDialog() {
  FillComboFromString(GetDlgItem(1087), kVerificationItems);
  if (const CSystemProfile* profile = SheetProfile(this)) {
    m_bVerifyBeforeCosign = profile->VerifyBeforeCosign;
    m_bEnableDirOperation = profile->EnableDirOperation;
    m_bBrastel = profile->Brastel;
    m_bVerifyHash = profile->VerifyHash;
    m_bVerifyAllSig = profile->VerifyAllSig;
    m_bVerifyCert = profile->VerifyCert;
    m_nVerifyIndex = profile->VerifyIndex;
  }
  CPropertyPage::OnInitDialog();
  EnableDlgControl(this, 1087, FALSE);
  return TRUE;
}

BOOL CSysMiscPage::OnSetActive() {
  ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, true);
  // The verification index is not for the user to change.
  EnableDlgControl(this, 1087, FALSE);
  return CPropertyPage::OnSetActive();
}

BOOL CSysMiscPage::OnApply() {
  if (GetSafeHwnd()) UpdateData(TRUE);
  if (CSystemProfile* profile = SheetProfile(this)) {
    profile->VerifyBeforeCosign = m_bVerifyBeforeCosign;
    profile->EnableDirOperation = m_bEnableDirOperation;
    profile->Brastel = m_bBrastel;
    profile->VerifyHash = m_bVerifyHash;
    profile->VerifyAllSig = m_bVerifyAllSig;
    profile->VerifyCert = m_bVerifyCert;
    profile->VerifyIndex = m_nVerifyIndex;
    profile->Save();
  }
  return CPropertyPage::OnApply();
}

void CSysMiscPage::OnOK() { CPropertyPage::OnOK(); }

// ---- cipher, output folder and memory cache ----

namespace {

struct AlgorithmEntry {
  const char* name;
  DWORD_PTR item;
};
const AlgorithmEntry kAlgorithms[] = {
    {"DES", 0}, {"Triple DES (2-Key)", 1}, {"RC2", 2}, {"RC4", 3}, {"Triple DES (3-Key)", 1}, {"AES", 5},
};

struct KeyLengthEntry {
  int bits;
  DWORD_PTR item;
};
struct KeyLengthList {
  KeyLengthEntry entries[2];
  int count;
  int preselected;
};
// By the algorithm's position in its combo box.
const KeyLengthList kKeyLengths[] = {
    {{{56, 0}, {40, 2}}, 2, 0},   {{{128, 1}, {0, 0}}, 1, 0},  {{{40, 2}, {128, 1}}, 2, 1},
    {{{40, 2}, {128, 1}}, 2, 0},  {{{128, 1}, {192, 4}}, 2, 1}, {{{128, 1}, {256, 5}}, 2, 1},
};

}  // namespace

int CSysSettingPage::AlgorithmForItem(DWORD_PTR item) {
  // The engine's numbers: 0 RC2, 1 RC4, 2 DES, 3 triple DES, 4 AES.
  static const int kAlgorithm[] = {2, 3, 0, 1, 3, 4};
  return item < 6 ? kAlgorithm[item] : -1;
}

int CSysSettingPage::KeyLengthForItem(DWORD_PTR item) {
  // The engine's numbers: 1 40 bits, 2 56 bits, 3 128 bits, 4 192 bits, 5 256 bits.
  static const int kKeyLength[] = {2, 3, 1, -1, 4, 5};
  return item < 6 ? kKeyLength[item] : -1;
}

IMPLEMENT_DYNCREATE(CSysSettingPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSysSettingPage, CPropertyPage)
  ON_BN_CLICKED(1009, OnBrowse)
  ON_CBN_SELCHANGE(1038, OnAlgorithmChanged)
  ON_BN_CLICKED(1082, OnOutputOptionChanged)
  ON_BN_CLICKED(1083, OnOutputOptionChanged)
  ON_CBN_SELCHANGE(1039, OnSelectionChanged)
  ON_CBN_SELCHANGE(1143, OnSelectionChanged)
END_MESSAGE_MAP()

CSysSettingPage::CSysSettingPage() : CPropertyPage(IDD) {}

void CSysSettingPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1144, m_lblCipher);
  DDX_Control(pDX, 1037, m_lblFolder);
  DDX_Control(pDX, 1062, m_lblAlgorithm);
  DDX_Control(pDX, 1061, m_lblKeyLength);
  DDX_Radio(pDX, 1082, m_nOutputOption);
  DDX_CBIndex(pDX, 1038, m_nAlgoIndex);
  DDX_CBIndex(pDX, 1039, m_nKeyLenIndex);
  DDX_CBIndex(pDX, 1143, m_nMemoryIndex);
  DDX_Text(pDX, 1032, m_strOutputFolder);
}

BOOL CSysSettingPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(1038));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(1039));
  if (!algorithms || !lengths) return TRUE;
  algorithms->ResetContent();
  lengths->ResetContent();
  CTvxFormatSettings format;
  format.Load();
  // AES only where protected files are written in the newer format.
  const int count = format.m_nFormatVersion > 1 ? 6 : 5;
  for (int i = 0; i < count; ++i) {
    int at = algorithms->AddString(kAlgorithms[i].name);
    algorithms->SetItemData(at, kAlgorithms[i].item);
  }
  FillComboFromString(GetDlgItem(1143), kMemoryCacheItems);
  algorithms->SetCurSel(1);
  OnAlgorithmChanged();
  if (const CSystemProfile* profile = SheetProfile(this)) {
    m_strOutputFolder = profile->OutputFolder;
    m_nAlgoIndex = profile->AlgoIndex;
    m_nKeyLenIndex = profile->KeyLenIndex;
    m_nOutputOption = profile->OutputOption;
    m_nMemoryIndex = profile->MemoryCache - 1 < 0 ? 0 : profile->MemoryCache - 1;
    const int keyLength = m_nKeyLenIndex;
    UpdateData(FALSE);
    FillKeyLengths(false);
    m_nKeyLenIndex = keyLength;
    UpdateData(FALSE);
  }
  UpdateFolderControls();
  return TRUE;
}

void CSysSettingPage::FillKeyLengths(bool selectDefault) {
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(1039));
  if (!lengths) return;
  lengths->ResetContent();
  if (m_nAlgoIndex < 0 || m_nAlgoIndex >= static_cast<int>(sizeof kKeyLengths / sizeof kKeyLengths[0])) return;
  const KeyLengthList& list = kKeyLengths[m_nAlgoIndex];
  const CString bits = LoadResString(429);
  for (int i = 0; i < list.count; ++i) {
    CString text;
    text.Format("%d ", list.entries[i].bits);
    int at = lengths->AddString(text + bits);
    lengths->SetItemData(at, list.entries[i].item);
  }
  if (selectDefault) lengths->SetCurSel(list.preselected);
}

void CSysSettingPage::OnAlgorithmChanged() {
  UpdateData(TRUE);
  FillKeyLengths(true);
  SetModified(TRUE);
  UpdateData(TRUE);
}

void CSysSettingPage::UpdateFolderControls() {
  const BOOL folder = m_nOutputOption == 1;
  for (int id : {1009, 1037, 1032}) EnableDlgControl(this, id, folder);
}

void CSysSettingPage::OnOutputOptionChanged() {
  SetModified(TRUE);
  UpdateData(TRUE);
  UpdateFolderControls();
}

void CSysSettingPage::OnSelectionChanged() {
  SetModified(TRUE);
  UpdateData(TRUE);
}

void CSysSettingPage::OnBrowse() {
  CFolderBrowseDlg browse;
  browse.m_strInitialFolder = "/";
  browse.m_strCaption = LoadResString(422);
  browse.m_strTitle = LoadResString(454) + ":";
  if (!browse.DoModal(this) || browse.m_strFolder.IsEmpty()) return;
  UpdateData(TRUE);
  m_strOutputFolder = browse.m_strFolder;
  UpdateData(FALSE);
  SetModified(TRUE);
}

BOOL CSysSettingPage::OnSetActive() {
  // Unlocked, the folder controls follow the output choice again.
  if (!ApplyPolicySwitch(this, CSecurityPolicy::SystemProfile, true)) UpdateFolderControls();
  return CPropertyPage::OnSetActive();
}

BOOL CSysSettingPage::OnApply() {
  if (!GetSafeHwnd()) return CPropertyPage::OnApply();
  UpdateData(TRUE);
  auto* algorithms = static_cast<CComboBox*>(GetDlgItem(1038));
  auto* lengths = static_cast<CComboBox*>(GetDlgItem(1039));
  const int algorithm = algorithms ? algorithms->GetCurSel() : -1;
  const int length = lengths ? lengths->GetCurSel() : -1;
  // A refused value keeps the sheet open, so that the user can put it right.
  if (algorithm < 0) {
    MessageBox(LoadResString(427), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  if (length < 0) {
    MessageBox(LoadResString(428), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  if (m_nOutputOption == 1 && m_strOutputFolder.IsEmpty()) {
    MessageBox(LoadResString(493), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  if (CSystemProfile* profile = SheetProfile(this)) {
    profile->Algorithm = AlgorithmForItem(algorithms->GetItemData(algorithm));
    profile->KeyLength = KeyLengthForItem(lengths->GetItemData(length));
    profile->OutputFolder = m_strOutputFolder;
    profile->AlgoIndex = m_nAlgoIndex;
    profile->KeyLenIndex = m_nKeyLenIndex;
    profile->OutputOption = m_nOutputOption;
    // Without a choice the stored size stays.
    if (m_nMemoryIndex >= 0) profile->MemoryCache = m_nMemoryIndex + 1;
    profile->Save();
  }
  return CPropertyPage::OnApply();
}

void CSysSettingPage::OnOK() { CPropertyPage::OnOK(); }
