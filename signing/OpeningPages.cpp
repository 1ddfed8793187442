// The welcome page and the file page of the Signer Wizard.
#include <memory>

#include "app/ResString.h"
#include "core/OfficeTolvexConfig.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxwin.h"
#include "signing/SignSheet.h"
#include "signing/SignerPages.h"

namespace {

enum {
  IDC_TITLE = 1037,
  IDC_TEXT = 1058,
  IDC_LINK_FIRST = 1059,
  IDC_LINK_SECOND = 1275,
  IDC_FIRST_OPERATION = 1022
};

}  // namespace

// ---- page 0 ----

IMPLEMENT_DYNCREATE(CPWMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWMainPage, CPropertyPage)
END_MESSAGE_MAP()

CPWMainPage::CPWMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CPWMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TITLE, m_lblTitle);
  DDX_Control(pDX, IDC_TEXT, m_lblText);
  DDX_Control(pDX, IDC_LINK_FIRST, m_linkFirst);
  DDX_Control(pDX, IDC_LINK_SECOND, m_linkSecond);
  DDX_Radio(pDX, IDC_FIRST_OPERATION, m_nOperation);
}

BOOL CPWMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  m_nOperation = config.TargetFileDefaultOperation == 0 ? 4 : 1;
  kx::signing::SetUpWelcomePage(m_lblTitle, m_lblText, m_linkFirst, m_linkSecond);
  UpdateData(FALSE);
  return TRUE;
}

BOOL CPWMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

LRESULT CPWMainPage::OnWizardNext() {
  UpdateData(TRUE);
  if (auto* sheet = dynamic_cast<CSignSheet*>(GetParentSheet())) sheet->m_WizardData.m_nMode = m_nOperation;
  return CPropertyPage::OnWizardNext();
}

// ---- page 1 ----

IMPLEMENT_DYNCREATE(CPWInitialPage, CFileChoicePageBase)

CPWInitialPage::CPWInitialPage() : CFileChoicePageBase(IDD) {}

CSignSheet* CPWInitialPage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

CProtectWizardData* CPWInitialPage::WizardData() {
  CSignSheet* sheet = Sheet();
  return sheet ? &sheet->m_WizardData : nullptr;
}

CSystemProfile* CPWInitialPage::SystemProfile() {
  CSignSheet* sheet = Sheet();
  return sheet ? &sheet->m_SystemProfile : nullptr;
}

bool CPWInitialPage::PassesOn(CProtectWizardData& data) {
  CSignSheet* sheet = Sheet();
  if (!sheet->IsOneClick()) return false;
  // The preset wizard takes no files: on by the operation.
  const int mode = data.m_nMode;
  int place = -1;
  if (mode == 1 || mode == 2 || mode == 3) place = CSignSheet::kSignersPage;
  else if (mode == 4) place = CSignSheet::kProcessingPage;
  else place = CSignSheet::kCipherPage;
  CPropertyPage* target = sheet->GetWizardPage(place);
  sheet->PostMessage(PSM_SETCURSEL, static_cast<WPARAM>(sheet->GetPageIndex(target)), 0);
  return true;
}

LRESULT CPWInitialPage::NextPage(CProtectWizardData& data) {
  CSignSheet* sheet = Sheet();
  switch (data.m_nMode) {
    case 1:
    case 2:
    case 3: sheet->GoToPage(CSignSheet::kSignersPage); return -1;
    case 4: sheet->GoToPage(CSignSheet::kProcessingPage); return -1;
    default: sheet->GoToPage(CSignSheet::kCipherPage); return -1;
  }
}

CFileChoicePageBase::InputChoice CPWInitialPage::InputDialogs() {
  if (m_bProtectedInput) return {"*.tvx", 269, "Select File", true};
  return {"*.*", 268, "Select File", false};
}

void CPWInitialPage::OnInputChosen() {
  if (m_bCountersignInput) CheckCountersignInput();
}

CFileChoicePageBase::FolderChoice CPWInitialPage::OutputDialog() { return {"Select directory:", "/"}; }

void CPWInitialPage::CheckCountersignInput() {
  CFileManager files;
  std::unique_ptr<CFileStream> stream(files.OpenStream(m_strFilePath));
  std::unique_ptr<CBaseKesmoraFile> object(stream && stream->IsOpen() ? stream->ReadFileObject() : nullptr);
  auto* file = dynamic_cast<CTolvexBinaryFile*>(object.get());
  UINT refusal = 0;
  if (!file || !file->m_info.m_signing.m_bPresent) refusal = 420;
  else if (file->m_info.m_encryption.m_bPresent) refusal = 421;
  object.reset();
  stream.reset();
  files.Reset();
  if (!refusal) return;
  AfxMessageBox(LoadResString(refusal), MB_OK);
  m_strFilePath.Empty();
  UpdateData(FALSE);
}
