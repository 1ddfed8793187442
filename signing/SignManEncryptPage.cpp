// The signature file page of the signature manager.
#include <memory>

#include "app/FinishPage.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CertSheet.h"
#include "core/OfficeTolvexConfig.h"
#include "engine/CapicomEnvelopedData.h"
#include "formats/FileManager.h"
#include "formats/SignatureFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "signing/EncryptionOptionsDialog.h"
#include "signing/SignManagerSheet.h"
#include "signing/SignatureImage.h"

using namespace kx::signing;

namespace {

enum {
  IDC_ENCRYPT = 1014,
  IDC_PLAIN = 1015,
  IDC_CERTIFICATE = 1017,
  IDC_OPTION = 1018,
  IDC_CERTIFICATE_LABEL = 1019,
  IDC_CHOOSE = 1008,
  IDC_PLACEMENT = 1043
};

constexpr int kFinishCode = 104;

void Enable(CWnd* page, int id, BOOL on) {
  if (CWnd* control = page->GetDlgItem(id)) control->EnableWindow(on);
}

}  // namespace

IMPLEMENT_DYNCREATE(CSignManEncryptPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CSignManEncryptPage, CPropertyPage)
  ON_BN_CLICKED(IDC_ENCRYPT, OnEncrypt)
  ON_BN_CLICKED(IDC_PLAIN, OnPlain)
  ON_BN_CLICKED(IDC_CHOOSE, OnChooseCertificate)
  ON_BN_CLICKED(IDC_OPTION, OnOption)
END_MESSAGE_MAP()

CSignManEncryptPage::CSignManEncryptPage() : CPropertyPage(IDD, 0, 129, 130) {}

CSignManagerSheet* CSignManEncryptPage::Sheet() { return dynamic_cast<CSignManagerSheet*>(GetParentSheet()); }

void CSignManEncryptPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CERTIFICATE_LABEL, m_lblCertificate);
  DDX_Text(pDX, IDC_CERTIFICATE, m_strCertificate);
  DDX_Radio(pDX, IDC_ENCRYPT, m_nProtection);
  DDX_Check(pDX, IDC_OPTION, m_bOption);
}

BOOL CSignManEncryptPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  OnPlain();
  CWnd* placement = GetDlgItem(IDC_PLACEMENT);
  if (placement && placement->IsWindowVisible()) placement->GetWindowRect(&m_rcPlacement);
  return TRUE;
}

BOOL CSignManEncryptPage::OnSetActive() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadOperationOptions();
  if (CPropertySheet* sheet = GetParentSheet())
    sheet->SetWizardButtons(config.ShowFinishPage ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK | PSWIZB_FINISH);
  return CPropertyPage::OnSetActive();
}

LRESULT CSignManEncryptPage::OnWizardBack() {
  CSignManagerSheet* sheet = Sheet();
  // The drawing page was passed over for a bitmap file taken as it is.
  if (sheet && sheet->m_nPictureChoice == 0) {
    sheet->SetActivePage(CSignManagerSheet::kSourcePage);
    return -1;
  }
  return CPropertyPage::OnWizardBack();
}

void CSignManEncryptPage::OnEncrypt() {
  UpdateData(TRUE);
  Enable(this, IDC_CHOOSE, TRUE);
  Enable(this, IDC_CERTIFICATE_LABEL, TRUE);
}

void CSignManEncryptPage::OnPlain() {
  UpdateData(TRUE);
  m_strCertificate.Empty();
  UpdateData(FALSE);
  Enable(this, IDC_CHOOSE, FALSE);
  Enable(this, IDC_CERTIFICATE_LABEL, FALSE);
}

void CSignManEncryptPage::OnChooseCertificate() {
  CFormsObjectProvider provider;
  CBaseSheet* made = nullptr;
  provider.CreateSheetByName("CCertSheet", this, &made);
  std::unique_ptr<CBaseSheet> owner(made);
  auto* picker = dynamic_cast<CCertSheet*>(made);
  if (!picker) return;
  picker->SetTitle(LoadResString(298), 0);
  picker->m_bHosted = 0;
  picker->m_bSelectionMode = 1;
  picker->m_rcOrigin = m_rcPlacement;
  for (int i = 0; i < 2 && picker->GetPageCount() > 2; ++i) picker->RemovePage(2);
  if (picker->DoModal() != IDOK || picker->m_ResultCertificate.IsEmpty()) return;
  CEncryptionOptionsDialog options(this);
  if (options.DoModal() != IDOK) {
    AfxMessageBox(LoadResString(5043), MB_OK);
    return;
  }
  m_nAlgorithm = options.m_nEngineAlgorithm;
  m_nKeyLength = options.m_nEngineKeyLength;
  // The certificate shown is the one the file is encrypted for: a new choice replaces the last.
  if (CSignManagerSheet* sheet = Sheet()) sheet->m_certificates = {picker->m_ResultCertificate};
  m_strCertificate = picker->m_strSubjectName;
  m_strCertText2 = picker->m_strIssuerName;
  m_strCertText3 = picker->m_strValidTo;
  UpdateData(FALSE);
}

BOOL CSignManEncryptPage::SaveSignatureFile(CString* savedPath) {
  savedPath->Empty();
  UpdateData(TRUE);
  CSignManagerSheet* sheet = Sheet();
  if (!sheet) return TRUE;
  CFileManager manager;
  std::unique_ptr<CSignatureFile> file(NewSignatureFile(manager, sheet->m_strSignatureName));
  auto stay = [&](const CString& text) {
    AfxMessageBox(text, MB_OK);
    file.reset();
    manager.Reset();
    return FALSE;
  };
  CByteBuffer picture;
  if (!file || !ReadWholeFile(sheet->m_strBitmapPath, picture)) return stay(LoadResString(327));
  file->m_image = picture;

  if (m_nProtection == 0 && !sheet->m_strBitmapPath.IsEmpty()) {
    if (m_strCertificate.IsEmpty() || sheet->m_certificates.empty()) return stay(LoadResString(298));
    file->m_bFlag = 1;
    file->SetTextC(m_strCertificate);
    file->SetTextD(m_strCertText2);
    file->SetTextE(m_strCertText3);
    // A file marked encrypted holds the enveloped picture and nothing else.
    bool encrypted = false;
    if (file->m_image.GetLength()) {
      try {
        CCapicomEnvelopedData envelope;
        CCapicomAlgorithm algorithm = envelope.GetAlgorithm();
        algorithm.PutName(m_nAlgorithm);
        algorithm.PutKeyLength(m_nKeyLength);
        CCapicomRecipients recipients = envelope.GetRecipients();
        if (SUCCEEDED(recipients.Add(sheet->m_certificates.front()))) {
          envelope.PutContentFromBuffer(file->m_image);
          CByteBuffer message;
          encrypted = envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, message, false) && message.GetLength();
          if (encrypted) file->m_image = message;
        }
      } catch (...) {
        encrypted = false;
      }
    }
    if (!encrypted) return stay(LoadResString(5044) + " " + LoadResString(5045));
  }

  CFileDialog dialog(FALSE, "*.sgr", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(440), this);
  const CString title = LoadResString(5046);
  dialog.m_ofn.lpstrTitle = title;
  if (dialog.DoModal() == IDOK && !dialog.GetPathName().IsEmpty()) {
    const CString path = dialog.GetPathName();
    if (!file->Save(path)) {
      CString text;
      text.Format(366u, static_cast<const char*>(path));
      return stay(text);
    }
    *savedPath = path;
  } else if (AfxMessageBox(LoadResString(5048), MB_YESNO) != IDYES) {
    file.reset();
    manager.Reset();
    return FALSE;
  }
  file.reset();
  manager.Reset();
  return TRUE;
}

LRESULT CSignManEncryptPage::OnWizardNext() {
  CString path;
  if (!SaveSignatureFile(&path)) return -1;
  if (!path.IsEmpty()) {
    CString text;
    text.Format(5047u, static_cast<const char*>(path));
    AfxMessageBox(text, MB_OK);
  }
  return CPropertyPage::OnWizardNext();
}

BOOL CSignManEncryptPage::OnWizardFinish() {
  CString path;
  if (!SaveSignatureFile(&path)) return FALSE;
  if (!path.IsEmpty()) AfxMessageBox("Signature file '" + path + "' saved.", MB_OK);
  if (CWnd* main = AfxGetMainWnd()) main->PostMessage(WM_WIZARD_FINISHED, kFinishCode, 0);
  return CPropertyPage::OnWizardFinish();
}
