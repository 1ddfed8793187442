#include "settings/XQProfileWizard.h"

#include <memory>

#include "app/ResString.h"
#include "engine/CapicomCertificates.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxstate.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/registry.h"

IMPLEMENT_DYNAMIC(CXQProfileWizard, CSignSheet)
IMPLEMENT_SHEET_CLASS(CXQProfileWizard, SHEET_CLASS(CSignSheet), "MailTolvex Profile", 1, 1140, 1141)

CXQProfileWizard::CXQProfileWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CSignSheet(caption, pParentWnd, selectPage) {}

BOOL CXQProfileWizard::AddPages() {
  AddWizardTabPages({&m_ProfileMainPage, &m_InitialPage, &m_ProgressPage, &m_SelectCertPage, &m_DecryptPage,
                     &m_SelectSignerPage, &m_TimeStampPage, &m_SelSigImagePage, &m_LegalSignPage,
                     &m_CreateSigImagePage, &m_UserPage, &m_ConfigPage, &m_ProfileFinishPage, &m_FooterPage},
                    144, LoadResString(300));
  return TRUE;
}

BOOL CXQProfileWizard::OnCommand(WPARAM wParam, LPARAM lParam) {
  // Once signers, cipher and key length are chosen, the profile is complete: the cipher page leads to the
  // finish page, not to the recipients and the run of the Signer Wizard.
  if (LOWORD(wParam) == ID_WIZNEXT && GetActivePage() == &m_ProgressPage) {
    if (m_ProgressPage.OnWizardNext() != -1) SetActivePage(kProfileFinishPage);
    return TRUE;
  }
  return CSignSheet::OnCommand(wParam, lParam);
}

namespace {
const char kInvalidProfile[] = "This Profile is invalid and cannot be edited.";
}

int CXQProfileWizard::LoadProfile() {
  if (!IsProfileComplete(m_Profile)) return AfxMessageBox(kInvalidProfile, MB_OK);
  m_LoadedProfile = m_Profile;
  m_WizardData.m_nMode = 2;
  CFileManager& files = m_Profile.m_FileManager;
  files.ScanFolderEx(m_Profile.m_strDir, "*.clk", 4, 0, true);
  COneClickFile* preset = nullptr;
  const CFileObjectArray& objects = files.GetFileObjectList();
  for (DWORD i = 0; i < objects.GetCount() && !preset; ++i) {
    auto* candidate = dynamic_cast<COneClickFile*>(objects.GetAt(i));
    if (candidate && candidate->GetOptions() && candidate->GetOptions()[0] == 2) preset = candidate;
  }
  if (!preset) {
    // Without its sign-and-encrypt preset the profile cannot be edited: saving it as new would keep the old
    // one beside it.
    files.Reset();
    return AfxMessageBox(kInvalidProfile, MB_OK);
  }
  CCertificateList signers, recipients;
  preset->m_oneClickRecord.GetSignerCertificates(signers);
  for (int i = 0; i < signers.GetCount(); ++i) m_WizardData.AddSignerCertificate(signers.GetAt(i));
  preset->m_oneClickRecord.GetRecipientCertificates(recipients);
  for (int i = 0; i < recipients.GetCount(); ++i) m_WizardData.AddRecipientCertificate(recipients.GetAt(i));
  const PayloadInfo& info = preset->m_info;
  m_WizardData.m_nCipher = info.m_body.m_nested.m_bCipherIndex;
  m_WizardData.m_nKeyLength = info.m_body.m_nested.m_bKeyLengthIndex;
  PayloadEntry entry;
  m_WizardData.m_Payload = info.m_body.GetEntry(0, entry) ? entry : info.m_body.m_current;
  m_bProfileLoaded = 1;
  files.DeleteFileObjects();
  files.Reset();
  return 0;
}

int RunProfileWizard(CWnd* parent, int index) {
  CMailProfileSettings profile;
  if (index < 0) index = -1;
  if (index >= 0) {
    CMailProfileList list(HKEY_CURRENT_USER, kMailProfilesKey);
    list.Load();
    if (list.GetCount() > index) profile = list.GetAt(index);
    else index = -1;
  }
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("CXQProfileWizard", parent, &made);
  std::unique_ptr<CBaseSheet> sheet(made);
  auto* wizard = dynamic_cast<CXQProfileWizard*>(made);
  if (!wizard) return 0;
  wizard->m_bHosted = 0;
  wizard->SetTitle(LoadResString(300), 0);
  wizard->m_bSystemMenu = 0;
  if (index != -1) {
    wizard->m_Profile = profile;
    wizard->m_nProfileIndex = index;
    if (wizard->LoadProfile() != 0) return 0;
  }
  wizard->DoModal();
  return 1;
}
