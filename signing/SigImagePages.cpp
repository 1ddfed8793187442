// The signature picture pages of the Signer Wizard (the choice, page 7, and the drawing pad, page 9) and the
// drawing pad they share with the signature manager.
#include <memory>

#include "app/ResString.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Win32File.h"
#include "engine/CapicomEnvelopedData.h"
#include "formats/FileManager.h"
#include "formats/SignatureFile.h"
#include "platform/mfc/afxdlgs.h"
#include "platform/mfc/afxwin.h"
#include "app/OfficeTolvexDoc.h"
#include "signing/ScribbleView.h"
#include "signing/SignSheet.h"
#include "signing/SignatureImage.h"
#include "signing/SignaturePages.h"

using namespace kx::signing;

namespace {

enum {
  // page 7
  IDC_PATH = 1009,
  IDC_BROWSE = 1008,
  IDC_NO_PICTURE = 1036,
  IDC_STORED_PICTURE = 1037,
  IDC_DRAWN_PICTURE = 1038,
  IDC_CHOICE_LABEL = 1035,
  IDC_FILE_LABEL = 1039,
  // the drawing pad
  IDC_PAD = 1067,
  IDC_PICKER = 1068,
  IDC_CLEAR = 1074,
  IDC_PEN_WIDTHS = 1077,
  IDC_THICK_PEN = 1078,
  IDC_THIN_PEN = 1079,
  IDC_PAD_LABEL = 1073,
  IDC_PEN_LABEL = 1076
};


// Leaves the picture pages for the page that follows them; -1 (the page is changed here) unless the default
// Next of page 7 reaches the legal page.
LRESULT LeavePicturePages(CSignSheet* sheet, bool fromDrawing) {
  if (LegalPageWanted()) {
    if (!fromDrawing) return 0;
    sheet->GoToPage(CSignSheet::kLegalPage);
    return -1;
  }
  sheet->GoToPage(sheet->GetPlaceAfterSigningPages());
  return -1;
}

}  // namespace

bool LegalPageWanted() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadGeneralOptions();
  return config.SigningPreferencesDialog != 0;
}

// ---- page 7 ----

IMPLEMENT_DYNCREATE(CPWSelSigImagePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWSelSigImagePage, CPropertyPage)
  ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
  ON_BN_CLICKED(IDC_NO_PICTURE, OnChoice)
  ON_BN_CLICKED(IDC_STORED_PICTURE, OnChoice)
  ON_BN_CLICKED(IDC_DRAWN_PICTURE, OnChoice)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPWSelSigImagePage::CPWSelSigImagePage() : CSignerWizardPage(IDD, 0, 137, 138) {}

void CPWSelSigImagePage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CHOICE_LABEL, m_lblChoice);
  DDX_Control(pDX, IDC_FILE_LABEL, m_lblFile);
  DDX_Text(pDX, IDC_PATH, m_strPath);
  DDX_Radio(pDX, IDC_NO_PICTURE, m_nChoice);
}

void CPWSelSigImagePage::EnableFileControls(BOOL enable) {
  for (int id : {IDC_PATH, IDC_BROWSE, IDC_FILE_LABEL})
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(enable);
}

BOOL CPWSelSigImagePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (CProtectWizardData* data = Data()) {
    m_nChoice = data->m_nSignatureImageChoice;
    m_strPath = data->m_strSignatureFile;
  }
  UpdateData(FALSE);
  EnableFileControls(m_nChoice == 1);
  return TRUE;
}

BOOL CPWSelSigImagePage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

void CPWSelSigImagePage::OnChoice() {
  UpdateData(TRUE);
  EnableFileControls(m_nChoice == 1);
}

void CPWSelSigImagePage::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(TRUE, "*.sgr", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LoadResString(440), this);
  dialog.m_ofn.lpstrTitle = "Select Signature File";
  if (dialog.DoModal() != IDOK) return;
  m_strPath = dialog.GetPathName();
  CFileManager manager;
  std::unique_ptr<CSignatureFile> file(OpenSignatureFile(manager, m_strPath));
  if (!file) {
    AfxMessageBox(LoadResString(441), MB_OK);
    // The edit keeps the path it had.
    UpdateData(TRUE);
  } else {
    UpdateData(FALSE);
  }
  manager.Reset();
}

BOOL CPWSelSigImagePage::TakeStoredSignature(CProtectWizardData& data) {
  data.m_strSignatureFile = m_strPath;
  data.m_bUseStoredSignature = 1;
  CByteBuffer whole;
  const bool read = ReadWholeFile(m_strPath, whole);
  CFileManager manager;
  std::unique_ptr<CSignatureFile> file(read ? OpenSignatureFile(manager, m_strPath) : nullptr);
  // A file that is no signature file would be recorded as one without its picture.
  if (!file) {
    manager.Reset();
    AfxMessageBox(LoadResString(441), MB_OK);
    return FALSE;
  }
  if (!file->m_bFlag) {
    data.m_signatureFileImage = whole;
    manager.Reset();
    return TRUE;
  }

  // An encrypted signature: opened with the user's key, and used as a plain copy.
  CByteBuffer content;
  bool opened = false;
  if (file->m_image.GetLength()) {
    BeginWaitCursor();
    try {
      CCapicomEnvelopedData envelope;
      BSTR message = kx::engine::ToBinaryBstr(file->m_image);
      HRESULT hr = envelope.Decrypt(message);
      SysFreeString(message);
      opened = SUCCEEDED(hr) && envelope.GetContentToBuffer(content) && content.GetLength();
    } catch (...) {
      opened = false;
    }
    EndWaitCursor();
  }
  if (!opened) {
    manager.Reset();
    AfxMessageBox(LoadResString(439), MB_OK);
    return FALSE;
  }
  file->m_image = content;
  // The copy holds the picture itself, so it no longer says it is encrypted.
  file->m_bFlag = 0;
  CByteBuffer copy;
  if (!file->SaveToBuffer(copy) || !copy.GetLength()) {
    manager.Reset();
    AfxMessageBox(LoadResString(439), MB_OK);
    return FALSE;
  }
  const CString path = DrawingTempPath(kOpenedSignature);
  if (!path.IsEmpty() && file->Save(path)) {
    data.m_strSignatureImagePath = path;
    data.m_strSignatureFile = path;
  }
  data.m_signatureFileImage = copy;
  manager.Reset();
  return TRUE;
}

LRESULT CPWSelSigImagePage::OnWizardNext() {
  UpdateData(TRUE);
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardNext();
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_nSignatureImageChoice = m_nChoice;
  data.m_strSignatureFile.Empty();
  data.m_signatureFileImage.Free(true);
  if (m_nChoice == 1 && m_strPath.IsEmpty()) {
    AfxMessageBox(LoadResString(438), MB_OK);
    return -1;
  }
  if (m_nChoice == 2) {
    sheet->GoToPage(CSignSheet::kDrawingPage);
    return -1;
  }
  if (m_nChoice == 1 && !TakeStoredSignature(data)) return -1;
  return LeavePicturePages(sheet, false);
}

void CPWSelSigImagePage::OnDestroy() {
  // The opened copy of an encrypted signature is not left in the temporary folder.
  RemoveDrawingTempFile(kOpenedSignature);
  CPropertyPage::OnDestroy();
}

// ---- the drawing pad ----

BEGIN_MESSAGE_MAP(CDrawingPadPage, CPropertyPage)
  ON_BN_CLICKED(IDC_CLEAR, OnClear)
  ON_BN_CLICKED(IDC_PEN_WIDTHS, OnPenWidths)
  ON_BN_CLICKED(IDC_THICK_PEN, OnPenThickness)
  ON_BN_CLICKED(IDC_THIN_PEN, OnPenThickness)
  ON_MESSAGE(WM_CP_SELCHANGE, OnColourChanged)
  ON_MESSAGE(WM_CP_CLOSEUP, OnColourChanged)
  ON_MESSAGE(WM_CP_SELENDOK, OnColourChanged)
  ON_MESSAGE(WM_CP_DROPDOWN, OnColourIgnored)
  ON_MESSAGE(WM_CP_SELENDCANCEL, OnColourIgnored)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CDrawingPadPage::CDrawingPadPage(UINT idd, UINT headerTitle, UINT headerSubtitle)
    : CPropertyPage(idd, 0, headerTitle, headerSubtitle) {}

CDrawingPadPage::~CDrawingPadPage() { DeleteView(); }

void CDrawingPadPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PAD_LABEL, m_lblPad);
  DDX_Control(pDX, IDC_PEN_LABEL, m_lblPen);
  DDX_Radio(pDX, IDC_THICK_PEN, m_nPenChoice);
  DDX_ColourButton(pDX, IDC_PICKER, m_crColour);
}

void CDrawingPadPage::CreatePad() {
  DeleteView();
  m_pView = new CScribbleView;
  COfficeTolvexDoc* doc = Document();
  if (doc) {
    doc->DeleteContents();
    doc->m_crPenColour = 0;
    doc->InitDocument();
    if (m_pView->CreateInWindow(GetDlgItem(IDC_PAD), doc)) {
      m_pView->OnInitialUpdate();
    } else {
      delete m_pView;
      m_pView = nullptr;
    }
  }
  m_colourPicker.SetSelectionMode(m_bPickBackground ? 2 : 1);
  m_colourPicker.SetTrackSelection(m_bTrackSelection);
  m_colourPicker.SubclassDlgItem(IDC_PICKER, this);
  UpdateData(FALSE);
}

void CDrawingPadPage::ResetDrawing() {
  COfficeTolvexDoc* doc = Document();
  if (!doc) return;
  doc->DeleteContents();
  doc->m_crPenColour = 0;
  m_crColour = 0;
  doc->InitDocument();
  // The controls and the view follow the new drawing's black thin pen.
  m_nPenChoice = 1;
  if (m_pView) m_pView->SetPenColour(0);
  if (GetSafeHwnd()) UpdateData(FALSE);
}

void CDrawingPadPage::ShowChoice(int choice, const CString& picturePath) {
  const bool changed = m_nLastChoice == -1 || m_nLastChoice != choice ||
                       (choice == 1 && m_strImagePath.CompareNoCase(picturePath) != 0);
  COfficeTolvexDoc* doc = Document();
  if (changed && choice == 1) {
    m_strImagePath = picturePath;
    if (doc) {
      ResetDrawing();
      doc->OpenImage(picturePath, true);
    }
  } else if (changed && choice == 2) {
    ResetDrawing();
    OnClear();
  }
  if (m_pView) m_pView->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  m_nLastChoice = choice;
}

BOOL CDrawingPadPage::CapturePicture(const CString& path) {
  COfficeTolvexDoc* doc = Document();
  // The drawing as it is now, never a picture left from an earlier drawing; an empty pad is no signature.
  if (path.IsEmpty() || !doc || !m_pView || !m_pView->GetSafeHwnd() ||
      (doc->m_strokeList.IsEmpty() && !doc->HasImage()) || !WriteWindowToDib(path, m_pView)) {
    AfxMessageBox(LoadResString(327), MB_OK);
    return FALSE;
  }
  return TRUE;
}

void CDrawingPadPage::OnClear() {
  COfficeTolvexDoc* doc = Document();
  if (!GetParentSheet() || !doc || !m_pView) return;
  doc->ClearAll();
  m_pView->Invalidate(TRUE);
}

void CDrawingPadPage::OnPenWidths() {
  COfficeTolvexDoc* doc = Document();
  if (GetParentSheet() && doc) doc->EditPenWidths();
}

void CDrawingPadPage::OnPenThickness() {
  UpdateData(TRUE);
  COfficeTolvexDoc* doc = Document();
  if (!GetParentSheet() || !doc) return;
  // The pen follows the button chosen; choosing the pen in use again changes nothing.
  const bool thick = m_nPenChoice == 0;
  if (thick != (doc->m_bThickPen != FALSE)) doc->TogglePenThickness();
}

LRESULT CDrawingPadPage::OnColourChanged(WPARAM, LPARAM) {
  UpdateData(TRUE);
  if (m_pView) {
    m_pView->SetPenColour(m_crColour);
    m_pView->Invalidate(TRUE);
  }
  return 1;
}

LRESULT CDrawingPadPage::OnColourIgnored(WPARAM, LPARAM) { return 1; }

void CDrawingPadPage::DeleteView() {
  if (!m_pView) return;
  CScribbleView* view = m_pView;
  m_pView = nullptr;
  // A view with a window deletes itself when the window goes.
  if (view->GetSafeHwnd()) view->DestroyWindow();
  else delete view;
}

BOOL CDrawingPadPage::DestroyWindow() {
  DeleteView();
  return CPropertyPage::DestroyWindow();
}

void CDrawingPadPage::OnDestroy() {
  DeleteView();
  CPropertyPage::OnDestroy();
}

// ---- page 9 ----

IMPLEMENT_DYNCREATE(CPWCreateSigImagePage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPWCreateSigImagePage, CDrawingPadPage)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPWCreateSigImagePage::CPWCreateSigImagePage() : CDrawingPadPage(IDD, 115, 114), m_pDoc(new COfficeTolvexDoc) {}

CPWCreateSigImagePage::~CPWCreateSigImagePage() {
  DeleteView();
  m_pDoc->DeleteContents();
  delete m_pDoc;
}

CSignSheet* CPWCreateSigImagePage::Sheet() { return dynamic_cast<CSignSheet*>(GetParentSheet()); }

BOOL CPWCreateSigImagePage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  CreatePad();
  CSignSheet* sheet = Sheet();
  // A mail profile brings its signature along: its picture is drawn over.
  if (sheet && sheet->IsProfileLoaded() && !sheet->m_WizardData.m_strSignatureFile.IsEmpty()) {
    CProtectWizardData& data = sheet->m_WizardData;
    const CString picture = DrawingTempPath(kDrawnPicture);
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> stored(manager.OpenBuffer(data.m_signatureFileImage, true, nullptr));
    auto* signature = dynamic_cast<CSignatureFile*>(stored.get());
    if (!picture.IsEmpty() && signature && !signature->m_bFlag) {
      data.m_strSignatureImagePath = picture;
      CWin32File out(picture, signature->m_image);
      if (out.IsOpen() && SUCCEEDED(out.WriteAll())) {
        out.Close();
        m_pDoc->OpenImage(picture, true);
      }
    }
    stored.reset();
    manager.Reset();
  }
  return TRUE;
}

BOOL CPWCreateSigImagePage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  if (CSignSheet* sheet = Sheet())
    ShowChoice(sheet->m_WizardData.m_nSignatureImageChoice, sheet->m_WizardData.m_strSelectedImagePath);
  return CPropertyPage::OnSetActive();
}

LRESULT CPWCreateSigImagePage::OnWizardBack() {
  CSignSheet* sheet = Sheet();
  if (!sheet) return CPropertyPage::OnWizardBack();
  sheet->GoToPage(CSignSheet::kPictureChoicePage);
  return -1;
}

LRESULT CPWCreateSigImagePage::OnWizardNext() {
  CSignSheet* sheet = Sheet();
  if (!sheet || !m_pDoc) return CPropertyPage::OnWizardNext();
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_strSignatureName = LoadResString(326);
  data.m_bSignatureImageFlag = 0;

  CFileManager manager;
  std::unique_ptr<CSignatureFile> file(NewSignatureFile(manager, data.m_strSignatureName));
  const CString picture = DrawingTempPath(kDrawnPicture), signature = DrawingTempPath(kDrawnSignature);
  if (!picture.IsEmpty()) data.m_strSignatureImagePath = picture;
  if (!CapturePicture(picture)) {
    manager.Reset();
    return -1;
  }
  CByteBuffer bitmap;
  // A drawing that did not become a signature file would silently sign without it.
  bool packed = file && ReadWholeFile(picture, bitmap) && bitmap.GetLength();
  if (packed) {
    file->m_image = bitmap;
    packed = file->Save(signature);
  }
  CByteBuffer saved;
  if (packed) packed = ReadWholeFile(signature, saved) && saved.GetLength();
  file.reset();
  manager.Reset();
  if (!packed) {
    AfxMessageBox(LoadResString(327), MB_OK);
    return -1;
  }
  data.m_strSignatureImagePath = signature;
  data.m_strSignatureFile = signature;
  data.m_signatureFileImage = saved;
  return LeavePicturePages(sheet, true);
}

void CPWCreateSigImagePage::OnDestroy() {
  RemoveDrawingTempFile(kDrawnPicture);
  RemoveDrawingTempFile(kDrawnSignature);
  CDrawingPadPage::OnDestroy();
}
