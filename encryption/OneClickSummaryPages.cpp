#include "encryption/OneClickSummaryPages.h"

#include <algorithm>

#include "app/ResString.h"
#include "certificates/CertificateRows.h"
#include "core/SecurityPolicy.h"
#include "encryption/OneClickViewSheet.h"
#include "engine/CapicomCertificates.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/files.h"

namespace {

enum { IDC_DELETE = 1051, IDC_DESCRIPTION = 209, IDC_REPORT = 213 };

constexpr WORD kDeleteIcon = 172;
constexpr WORD kHandCursor = 135;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kRed = 255;

COneClickViewSheet* ViewSheetOf(CPropertyPage* page) { return dynamic_cast<COneClickViewSheet*>(page->GetParentSheet()); }

}  // namespace

// ---- summary page ----

IMPLEMENT_DYNCREATE(COneClickSummaryPage, CPropertyPage)

BEGIN_MESSAGE_MAP(COneClickSummaryPage, CPropertyPage)
  ON_BN_CLICKED(IDC_DELETE, OnDeletePreset)
END_MESSAGE_MAP()

COneClickSummaryPage::COneClickSummaryPage() : CPropertyPage(IDD) {}

COneClickViewSheet* COneClickSummaryPage::Sheet() { return ViewSheetOf(this); }

void COneClickSummaryPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DELETE, m_btnDelete);
  DDX_Control(pDX, 215, m_lblName);
  DDX_Control(pDX, 216, m_lblReport);
  DDX_Control(pDX, 1020, m_lblStatus);
  DDX_Control(pDX, 214, m_lblCaption);
  DDX_Text(pDX, IDC_DESCRIPTION, m_strDescription);
  DDX_Text(pDX, IDC_REPORT, m_strReport);
}

BOOL COneClickSummaryPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_btnDelete.SetIcons(kDeleteIcon);
  m_btnDelete.SetButtonCursor(kHandCursor);
  m_btnDelete.CreateTexture(6, 8, 10, 0, 0);
  m_btnDelete.SetColor(1, kBlue, TRUE);
  COneClickViewSheet* sheet = Sheet();
  if (sheet) {
    sheet->GetPresetName();
    if (COneClickFile* preset = sheet->GetPreset())
      if (!preset->m_info.m_strText3.IsEmpty()) m_strDescription = preset->m_info.m_strText3;
    const CString report = sheet->BuildReportText();
    if (!report.IsEmpty()) m_strReport = report;
    if (!sheet->m_strStatusText.IsEmpty()) {
      m_lblStatus.SetWindowText(sheet->m_strStatusText);
      m_lblStatus.SetTextColor(kRed);
    }
    UpdateData(FALSE);
  }
  if (!sheet || !sheet->m_bDeleteAllowed) m_btnDelete.EnableWindow(FALSE);
  return TRUE;
}

void COneClickSummaryPage::OnDeletePreset() {
  CSecurityPolicy policy;
  if (policy.Load() && !policy.m_bOneClickSettings) {
    AfxMessageBox(LoadResString(544) + " " + LoadResString(475), MB_OK);
    return;
  }
  COneClickViewSheet* sheet = Sheet();
  if (!sheet || !sheet->m_bDeleteAllowed) return;
  if (AfxMessageBox(LoadResString(545), MB_YESNO) != IDYES) return;
  if (COneClickFile* preset = sheet->GetPreset()) {
    const CString path = preset->GetFilePath().GetAnsi() ? preset->GetFilePath().GetAnsi() : "";
    if (!path.IsEmpty()) DeleteFile(path);
  }
  if (sheet->m_hNotifyWnd) ::PostMessage(sheet->m_hNotifyWnd, WM_USER + 1001, 0, 0);
  sheet->EndDialog(IDOK);
}

// ---- list pages ----

void FillPresetSigners(CSummaryListPage& page, COneClickViewSheet* sheet) {
  page.m_listSigners.DeleteAllItems();
  page.m_signers.clear();
  page.m_entries.clear();
  CCertificateRows rows;
  CCertificateList signers;
  if (sheet && sheet->GetPreset() && sheet->GetPreset()->m_oneClickRecord.GetSignerCertificates(signers)) {
    for (int i = 0; i < signers.GetCount(); ++i) {
      const CCapicomCertificate certificate = signers.GetAt(i);
      try {
        rows.Add(certificate);
      } catch (const _com_error&) {
        // A certificate whose names cannot be read gives no row.
        continue;
      }
      page.m_signers.push_back(certificate);
      page.m_entries.push_back(static_cast<DWORD>(i));
    }
  }
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(page.m_listSigners, headings, true);
  const int widths[4] = {110, 150, 150, 150};
  for (int column = 0; column < 4; ++column) page.m_listSigners.SetColumnWidth(column, widths[column]);
  if (!page.m_signers.empty() && page.m_nSelected >= 0) {
    if (page.m_nSelected >= static_cast<int>(page.m_signers.size())) page.m_nSelected = 0;
    page.m_listSigners.SetItemState(page.m_nSelected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  page.ShowSignerDetails();
}

bool PresetEntryOfRow(CSummaryListPage& page, COneClickViewSheet* sheet, PayloadEntry& entry) {
  COneClickFile* preset = sheet ? sheet->GetPreset() : nullptr;
  if (!preset || page.m_nSelected < 0 || page.m_nSelected >= static_cast<int>(page.m_entries.size())) return false;
  const DWORD count = preset->m_info.m_body.GetEntryCount();
  // The preset records one signature entry for all its signers.
  return count > 0 && preset->m_info.m_body.GetEntry(std::min(page.m_entries[page.m_nSelected], count - 1), entry);
}

IMPLEMENT_DYNCREATE(COneClickGenSumPage, CSummaryGenPage)

COneClickGenSumPage::COneClickGenSumPage() { Construct(IDD); }

COneClickViewSheet* COneClickGenSumPage::Sheet() { return ViewSheetOf(this); }

BOOL COneClickGenSumPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_listSigners.SetFullRowDraw(TRUE);
  FillPresetSigners(*this, Sheet());
  return TRUE;
}

void COneClickGenSumPage::ShowSignerDetails() {
  PayloadEntry entry;
  if (!PresetEntryOfRow(*this, Sheet(), entry)) return;
  m_strEntryA = entry.m_strText3;
  m_strEntryB = entry.m_strText4;
  m_strEntryC = entry.m_strText5;
  UpdateData(FALSE);
}

IMPLEMENT_DYNCREATE(COneClickSignSumPage, CSummarySignPage)

COneClickSignSumPage::COneClickSignSumPage() { Construct(IDD); }

COneClickViewSheet* COneClickSignSumPage::Sheet() { return ViewSheetOf(this); }

BOOL COneClickSignSumPage::OnInitDialog() {
  CSummarySignPage::OnInitDialog();
  FillPresetSigners(*this, Sheet());
  return TRUE;
}

void COneClickSignSumPage::ShowSignerDetails() {
  PayloadEntry entry;
  const bool readable = PresetEntryOfRow(*this, Sheet(), entry);
  const bool drawn = readable && ShowDrawnSignature(entry);
  if (!drawn) ShowView(false);
  const CString rule = CString('=', 40) + "\r\n";
  m_strHashInfo = rule + LoadResString(515) + "\r\n" + LoadResString(516) + ": SHA-1\r\n" + rule;
  m_strTimeStamp = readable && entry.m_head.m_bFlag ? entry.m_head.m_strDate : LoadResString(546);
  if (!drawn) m_strHashInfo += "No Hand Drawn Signature was specified\r\n";
  UpdateData(FALSE);
}
