#include "settings/XQProfilePages.h"

#include <memory>

#include "app/ResString.h"
#include "encryption/OneClickPresets.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "settings/XQProfileWizard.h"

namespace {

enum {
  IDC_DISPLAY_NAME = 1060,
  IDC_UNSTORED_CHECK = 1238,
  IDC_EMAIL = 1241,
  IDC_FULL_NAME = 1024,
  IDC_USE_MY_CERTIFICATE = 1243,
  IDC_BLOCK_FORWARD = 1068,
  IDC_REMOVE_RECEIPTS = 1244,
  IDC_VERIFY_ALL = 1243,
  IDC_VERIFY_CERTS = 1067,
  IDC_SHRED = 1069,
  IDC_VALIDATE = 1070,
  IDC_ATTACHMENT = 1024,
  IDC_FOOTER = 1248,
  // Finish page.
  IDC_TITLE = 1001,
  IDC_RESULT = 1002,
  IDC_SECOND = 1003,
  IDC_PROGRESS = 1004,
  IDC_STEPS = 1033,
  IDC_LINK = 1059,
  IDC_BUTTON = 1060
};

constexpr UINT_PTR kStartTimer = 2;
constexpr DWORD kStepPause = 1000;
constexpr const char kMakerAddress[] = "https://kesmora.example/";

// An address that can be one: five characters at least, with an "@" and a ".".
bool LooksLikeAddress(const CString& address) {
  return address.GetLength() >= 5 && address.Find('@') >= 0 && address.Find('.') >= 0;
}

}  // namespace

CXQProfileWizard* CXQProfilePage::Wizard() { return dynamic_cast<CXQProfileWizard*>(GetParentSheet()); }

void CXQProfilePage::ShowBackAndNext() {
  if (CXQProfileWizard* wizard = Wizard()) {
    wizard->EnableButtonArrange(TRUE);
    wizard->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  }
}

// ---- main page ----

IMPLEMENT_DYNCREATE(CXQProfileMainPage, CPropertyPage)
BEGIN_MESSAGE_MAP(CXQProfileMainPage, CPropertyPage)
END_MESSAGE_MAP()

CXQProfileMainPage::CXQProfileMainPage() : CXQProfilePage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CXQProfileMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_DISPLAY_NAME, m_strDesc);
}

BOOL CXQProfileMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CXQProfileWizard* wizard = Wizard();
  if (!wizard) return TRUE;
  if (!wizard->HasLoadedProfile()) {
    UpdateData(TRUE);
    wizard->m_Profile.InitDefaults(FALSE);
    wizard->m_Profile.m_strDesc = m_strDesc;
  } else {
    m_strDesc = wizard->m_Profile.m_strDesc;
    UpdateData(FALSE);
  }
  return TRUE;
}

BOOL CXQProfileMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CXQProfileMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (m_strDesc.IsEmpty()) {
    AfxMessageBox(LoadResString(646), MB_OK);
    return -1;
  }
  CXQProfileWizard* wizard = Wizard();
  if (!wizard) return CPropertyPage::OnWizardNext();
  if (!wizard->HasLoadedProfile()) wizard->m_Profile.InitDefaults(FALSE);
  wizard->m_Profile.m_strDesc = m_strDesc;
  wizard->SetActivePage(CXQProfileWizard::kUserPage);
  return -1;
}

// ---- user page ----

IMPLEMENT_DYNCREATE(CXQUserPage, CPropertyPage)
BEGIN_MESSAGE_MAP(CXQUserPage, CPropertyPage)
END_MESSAGE_MAP()

CXQUserPage::CXQUserPage() : CXQProfilePage(IDD, 0, 180, 179) {}

void CXQUserPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_UNSTORED_CHECK, m_bCheck1238);
  DDX_Text(pDX, IDC_EMAIL, m_strEmailName);
  DDX_Text(pDX, IDC_FULL_NAME, m_strFullName);
  DDX_Check(pDX, IDC_USE_MY_CERTIFICATE, m_bUseMyCertificate);
}

BOOL CXQUserPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_bCheck1238 = FALSE;
  m_bUseMyCertificate = TRUE;
  if (CXQProfileWizard* wizard = Wizard()) {
    m_strEmailName = wizard->m_Profile.m_strEmailName;
    m_strFullName = wizard->m_Profile.m_strFullName;
  }
  UpdateData(FALSE);
  return TRUE;
}

BOOL CXQUserPage::OnSetActive() {
  ShowBackAndNext();
  return CPropertyPage::OnSetActive();
}

LRESULT CXQUserPage::OnWizardBack() {
  if (CXQProfileWizard* wizard = Wizard()) {
    wizard->SetActivePage(CXQProfileWizard::kProfileMainPage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

LRESULT CXQUserPage::OnWizardNext() {
  UpdateData(TRUE);
  UINT refused = m_strEmailName.IsEmpty() ? 608 : m_strFullName.IsEmpty() ? 609 : !LooksLikeAddress(m_strEmailName) ? 610 : 0;
  if (refused) {
    AfxMessageBox(LoadResString(refused), MB_OK);
    return -1;
  }
  CXQProfileWizard* wizard = Wizard();
  if (!wizard) return CPropertyPage::OnWizardNext();
  // The profile being edited keeps its own address without a question.
  const bool own = wizard->HasLoadedProfile() && wizard->m_LoadedProfile.m_strEmailName.CompareNoCase(m_strEmailName) == 0;
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  if (!own && list.FindByName(m_strEmailName) &&
      AfxMessageBox(LoadResString(611) + " " + LoadResString(553), MB_YESNO) != IDYES)
    return -1;
  wizard->m_Profile.m_strEmailName = m_strEmailName;
  wizard->m_Profile.m_strFullName = m_strFullName;
  wizard->m_bUseMyCertificate = m_bUseMyCertificate;
  wizard->SetActivePage(CXQProfileWizard::kConfigPage);
  return -1;
}

// ---- configuration page ----

IMPLEMENT_DYNCREATE(CXQConfigPage, CPropertyPage)
BEGIN_MESSAGE_MAP(CXQConfigPage, CPropertyPage)
END_MESSAGE_MAP()

CXQConfigPage::CXQConfigPage() : CXQProfilePage(IDD, 0, 182, 181) {}

void CXQConfigPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_BLOCK_FORWARD, m_bBlockForward);
  DDX_Check(pDX, IDC_REMOVE_RECEIPTS, m_bRemoveReadReciepts);
  DDX_Check(pDX, IDC_VERIFY_ALL, m_bVerifyAll);
  DDX_Check(pDX, IDC_VERIFY_CERTS, m_bVerifyCertsAsSpecified);
  DDX_Check(pDX, IDC_SHRED, m_bShredTempFiles);
  DDX_Check(pDX, IDC_VALIDATE, m_bValidateProfile);
}

BOOL CXQConfigPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (CXQProfileWizard* wizard = Wizard()) {
    const CMailProfileSettings& p = wizard->m_Profile;
    m_bBlockForward = p.m_bBlockForward;
    m_bRemoveReadReciepts = p.m_bRemoveReadReciepts;
    m_bVerifyAll = p.m_bVerifyAll;
    m_bVerifyCertsAsSpecified = p.m_bVerifyCertsAsSpecified;
    m_bShredTempFiles = p.m_bShredTempFiles;
    m_bValidateProfile = p.m_bValidateProfile;
    wizard->m_WizardData.m_nMode = 2;
  }
  UpdateData(FALSE);
  return TRUE;
}

BOOL CXQConfigPage::OnSetActive() {
  ShowBackAndNext();
  return CPropertyPage::OnSetActive();
}

LRESULT CXQConfigPage::OnWizardNext() {
  UpdateData(TRUE);
  CXQProfileWizard* wizard = Wizard();
  if (!wizard) return CPropertyPage::OnWizardNext();
  CMailProfileSettings& p = wizard->m_Profile;
  p.m_bBlockForward = m_bBlockForward;
  p.m_bRemoveReadReciepts = m_bRemoveReadReciepts;
  p.m_bVerifyAll = m_bVerifyAll;
  p.m_bVerifyCertsAsSpecified = m_bVerifyCertsAsSpecified;
  p.m_bShredTempFiles = m_bShredTempFiles;
  p.m_bValidateProfile = m_bValidateProfile;
  wizard->SetActivePage(CXQProfileWizard::kFooterPage);
  return -1;
}

// ---- footer page ----

IMPLEMENT_DYNCREATE(CXQFooterPage, CPropertyPage)
BEGIN_MESSAGE_MAP(CXQFooterPage, CPropertyPage)
END_MESSAGE_MAP()

CXQFooterPage::CXQFooterPage() : CXQProfilePage(IDD, 0, 184, 183) {}

void CXQFooterPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_ATTACHMENT, m_bAttachment);
  DDX_Text(pDX, IDC_FOOTER, m_strFooter);
}

BOOL CXQFooterPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CXQProfileWizard* wizard = Wizard();
  if (wizard && wizard->HasLoadedProfile()) {
    m_bAttachment = wizard->m_Profile.m_bAttachment;
    m_strFooter = wizard->m_Profile.m_strFooter;
  } else {
    m_strFooter = LoadResString(647);
  }
  UpdateData(FALSE);
  return TRUE;
}

LRESULT CXQFooterPage::OnWizardBack() {
  if (CXQProfileWizard* wizard = Wizard()) {
    wizard->SetActivePage(CXQProfileWizard::kConfigPage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

LRESULT CXQFooterPage::OnWizardNext() {
  UpdateData(TRUE);
  CXQProfileWizard* wizard = Wizard();
  if (!wizard) return CPropertyPage::OnWizardNext();
  wizard->m_Profile.m_strFooter = m_strFooter;
  wizard->m_Profile.m_bAttachment = m_bAttachment;
  wizard->GoToPage(CSignSheet::kSignersPage);
  return -1;
}

// ---- finish page ----

IMPLEMENT_DYNCREATE(CMPFinishPage, CCWFinishPage)
BEGIN_MESSAGE_MAP(CMPFinishPage, CCWFinishPage)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CMPFinishPage::CMPFinishPage() {
  Construct(IDD);
  m_psp.dwFlags |= PSP_HIDEHEADER;
}

void CMPFinishPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_RESULT, m_lblResult);
  DDX_Control(pDX, IDC_SECOND, m_lblSecond);
  DDX_Control(pDX, IDC_LINK, m_lnkMaker);
  DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(pDX, IDC_BUTTON, m_btnStores);
  DDX_Control(pDX, IDC_STEPS, m_lstSteps);
}

BOOL CMPFinishPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblResult, &m_lblSecond}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  m_lnkMaker.SetUrl(kMakerAddress);
  m_btnStores.SetIcons(141);
  m_btnStores.SetButtonCursor(135);
  m_btnStores.SetTooltipText(LoadResString(593));
  m_btnStores.CreateTexture(6, 8, 10, 0, 0);
  m_btnStores.SetColor(0, 0xFFFFFF);
  m_btnStores.SetColor(1, 0xFF0000);
  return TRUE;
}

BOOL CMPFinishPage::OnSetActive() {
  if (!GetParentSheet()) return 0;
  m_lstSteps.DeleteAllItems();
  m_lstSteps.SetFullRowDraw(TRUE);
  CStringList headings, rows;
  CUIntArray images;
  headings.AddTail(LoadResString(592));
  for (UINT text : {628u, 629u, 589u, 630u, 631u}) {
    rows.AddTail(LoadResString(text));
    images.Add(2);
  }
  m_lstSteps.SetHeadings(headings);
  m_lstSteps.SetColumnData(0, rows);
  m_lstSteps.SetItemImages(images);
  m_lstSteps.Populate();
  m_lstSteps.SetColumnWidth(0, 280);
  m_ctlProgress.ShowWindow(SW_SHOW);
  // The bar's settings, Finish disabled and the start timer: as the creation wizard's finish page.
  return CCWFinishPage::OnSetActive();
}

void CMPFinishPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kStartTimer) {
    KillTimer(kStartTimer);
    if (auto* wizard = dynamic_cast<CXQProfileWizard*>(GetParentSheet())) wizard->StartWorker(SaveMailProfileThread);
  } else {
    AnimationStep();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

void CMPFinishPage::EndRun() {
  SetAnimation(FALSE);
  m_ctlProgress.ShowWindow(SW_HIDE);
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_FINISH);
}

// ---- saving ----

bool WriteProfilePreset(CXQProfileWizard& wizard, int kind, const CString& path) {
  const CProtectWizardData& from = wizard.m_WizardData;
  CProtectWizardData data;
  data.m_nMode = kind;
  data.m_strPresetName = wizard.m_Profile.m_strDesc;
  data.m_Payload = from.m_Payload;
  data.m_arrSignerCerts = from.m_arrSignerCerts;
  data.m_arrRecipientCerts = from.m_arrRecipientCerts;
  data.m_nCipher = from.m_nCipher;
  data.m_nKeyLength = from.m_nKeyLength;
  CFileManager files;
  std::unique_ptr<CBaseKesmoraFile> made(files.CreateFileObject("KCLK"));
  auto* preset = dynamic_cast<COneClickFile*>(made.get());
  bool saved = preset && kx::oneclick::FillPreset(*preset, data) && preset->Save(path);
  // Nothing half-written stays behind.
  if (!saved && preset) DeleteFile(path);
  made.reset();
  files.Reset();
  return saved;
}

namespace {

// The position of a profile whose stored values are those of the given one; -1 when none.
int FindStored(const CMailProfileList& list, const CMailProfileSettings& profile) {
  for (int i = 0; i < list.GetCount(); ++i) {
    CMailProfileSettings candidate = list.GetAt(i);
    candidate.m_strBasketFolder = profile.m_strBasketFolder;
    if (candidate == profile) return i;
  }
  return -1;
}

// Stores the wizard's profile in the list and writes its presets, marking the checklist as it goes; on a
// failure the list is left as it was before.
void SaveProfile(CXQProfileWizard& wizard, CMPFinishPage& page) {
  CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
  list.Load();
  const bool editing = wizard.HasLoadedProfile() != 0;
  const int loadedAt = editing ? FindStored(list, wizard.m_LoadedProfile) : -1;
  const bool wasDefault = loadedAt >= 0 && static_cast<DWORD>(loadedAt) == list.m_Default;
  if (loadedAt >= 0) {
    const CMailProfileSettings loaded = list.GetAt(loadedAt);
    list.RemoveProfile(loaded);
    list.SaveList();
  }
  list.AddProfile(wizard.m_Profile);
  list.SaveList();
  if (list.GetCount() > 0) wizard.m_Profile = list.GetAt(list.GetCount() - 1);

  const CMailProfileSettings& saved = wizard.m_Profile;
  // Each preset is written after the row before it is marked; a failure clears the rows after that one.
  struct Step {
    int row;
    int kind;
    const CString& path;
  } steps[] = {{CMPFinishPage::kRowProfile, 0, saved.m_strEncOneClick},
               {CMPFinishPage::kRowEncrypt, 1, saved.m_strSignOneClick},
               {CMPFinishPage::kRowSign, 2, saved.m_strSignEncOneClick}};
  bool ok = true;
  for (const Step& step : steps) {
    page.MarkStep(step.row, true);
    Sleep(kStepPause);
    if (!WriteProfilePreset(wizard, step.kind, step.path)) {
      for (int row = step.row + 1; row < CMPFinishPage::kRowCount; ++row) page.MarkStep(row, false);
      ok = false;
      break;
    }
  }
  if (ok) {
    page.MarkStep(CMPFinishPage::kRowSignEncrypt, true);
    Sleep(kStepPause);
  }

  list.Load();
  if (ok) {
    // Editing the default profile keeps it the default where it now stands.
    if (wasDefault) {
      list.m_Default = static_cast<DWORD>(list.GetCount() - 1);
      list.SaveList();
    }
    return;
  }
  // A profile without its presets is not kept; the profile that was edited comes back where it was.
  const int added = FindStored(list, saved);
  if (added >= 0) {
    CMailProfileSettings gone = list.GetAt(added);
    if (!editing)
      for (const CString* preset : {&gone.m_strEncOneClick, &gone.m_strSignOneClick, &gone.m_strSignEncOneClick})
        DeleteFile(*preset);
    list.RemoveProfile(gone);
  }
  if (loadedAt >= 0) {
    const int at = loadedAt < list.GetCount() ? loadedAt : list.GetCount();
    list.m_Profiles.insert(list.m_Profiles.begin() + at, wizard.m_LoadedProfile);
    if (wasDefault) list.m_Default = static_cast<DWORD>(at);
    else if (list.m_Default != CMailProfileList::kNoDefault && static_cast<DWORD>(at) <= list.m_Default)
      ++list.m_Default;
  }
  list.SaveList();
}

}  // namespace

UINT SaveMailProfileThread(LPVOID argument) {
  auto* object = static_cast<CObject*>(argument);
  if (!object || !object->IsKindOf(RUNTIME_CLASS(CXQProfileWizard))) return 0;
  auto& wizard = *static_cast<CXQProfileWizard*>(object);
  CMPFinishPage& page = wizard.m_ProfileFinishPage;
  CoInitialize(nullptr);
  page.MarkStep(CMPFinishPage::kRowStart, true);
  Sleep(kStepPause);
  for (int row = CMPFinishPage::kRowProfile; row < CMPFinishPage::kRowCount; ++row) page.MarkStep(row, false);
  SaveProfile(wizard, page);
  page.RunOnPage([&] { page.EndRun(); });
  CoUninitialize();
  return 0;
}
