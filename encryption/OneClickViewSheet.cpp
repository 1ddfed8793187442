#include "encryption/OneClickViewSheet.h"

#include "app/ResString.h"
#include "controls/ZoomRect.h"
#include "encryption/OneClickPresets.h"
#include "formats/FileManager.h"
#include "formats/TolvexBinaryFile.h"

IMPLEMENT_DYNAMIC(COneClickViewSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(COneClickViewSheet, SHEET_CLASS(CBaseSheet), "One Click Information", 0, 0, 0)

BEGIN_MESSAGE_MAP(COneClickViewSheet, CBaseSheet)
  ON_WM_CREATE()
  ON_WM_DESTROY()
  ON_WM_ACTIVATE()
END_MESSAGE_MAP()

namespace {

constexpr const char* kEol = "\r\n";
// The rules of the report, each a line of its own.
const CString kLongRule = CString('=', 66) + "\r\n";
const CString kShortRule = CString('=', 41) + "\r\n";

CString Text(const CBstrString& s) { return s.GetAnsi() ? CString(s.GetAnsi()) : CString(); }

void AppendTriples(CString& text, const CStringTripleList& list, UINT second) {
  for (DWORD i = 0; i < list.GetCount(); ++i) {
    text += LoadResString(469) + ": " + Text(list.m_first.GetAt(i)) + kEol;
    text += LoadResString(second) + ": " + Text(list.m_second.GetAt(i)) + kEol;
    text += LoadResString(471) + ": " + Text(list.m_third.GetAt(i)) + kEol + kEol;
  }
}

}  // namespace

COneClickViewSheet::COneClickViewSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_bHosted = 0;
  EnableHeader(TRUE);
  AddPages();
}

COneClickViewSheet::~COneClickViewSheet() {
  delete m_pPreset;
  m_pPreset = nullptr;
}

BOOL COneClickViewSheet::AddPages() {
  if (GetPageCount() > 0) return TRUE;
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  struct {
    CPropertyPage* page;
    UINT caption, description, icon;
  } const pages[] = {{&m_pageSummary, 5291, 5294, 141}, {&m_pageSign, 5292, 5295, 1918}, {&m_pageGen, 5293, 5296, 143}};
  for (const auto& p : pages) {
    const CString caption = LoadResString(p.caption);
    AddPageWithIcon(p.page, p.icon, caption, LoadResString(p.description));
    m_astrTabTitles.Add(caption);
  }
  return TRUE;
}

CString COneClickViewSheet::GetPresetName() {
  if (!m_pPreset) {
    CFileManager files;
    m_pPreset = kx::oneclick::OpenPreset(files, m_strPresetPath);
  }
  return m_pPreset ? m_pPreset->m_info.m_strText3 : CString();
}

BOOL COneClickViewSheet::OnInitDialog() {
  BOOL result = CBaseSheet::OnInitDialog();
  if (m_pPreset) m_bSigns = m_pPreset->m_info.m_signing.m_bPresent;
  // A preset that does not sign has no signers to show: the summary page stays alone.
  if (m_bSigns == 0) {
    try {
      for (int i = 0; i < 2 && GetPageCount() > 1; ++i) RemovePage(1);
    } catch (...) {
    }
  }
  return result;
}

int COneClickViewSheet::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CBaseSheet::OnCreate(lpCreateStruct) == -1) return -1;
  ZoomOpen(m_rcOrigin, this, lpCreateStruct, m_bAnimate != 0);
  GetPresetName();
  return 0;
}

void COneClickViewSheet::OnDestroy() {
  CBaseSheet::OnDestroy();
  ZoomClose(m_rcOrigin, this, m_bAnimate != 0);
}

void COneClickViewSheet::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
  CBaseSheet::OnActivate(nState, pWndOther, bMinimized);
  if (m_pPreset) m_bSigns = m_pPreset->m_info.m_signing.m_bPresent;
}

CString COneClickViewSheet::BuildReportText() {
  if (!m_pPreset) return CString();
  const PayloadInfo& info = m_pPreset->m_info;
  CString text = kShortRule + LoadResString(537) + kEol + kShortRule;
  // Taken from the blocks the preset carries, not its flag bytes (a preset writes them with meanings of its own).
  const bool isSigned = info.m_signing.m_bPresent != 0, isEncrypted = info.m_encryption.m_bPresent != 0;
  text += CString(kEol) + LoadResString(458) + " " + LoadResString(isSigned ? 459 : 460) + kEol;
  static const char* const kCiphers[] = {"RC2", "RC4", "DES", "Triple DES", "AES"};
  const BYTE cipher = info.m_body.m_nested.m_bCipherIndex;
  if (cipher < 5) text += LoadResString(461) + ": " + kCiphers[cipher] + kEol;
  // The preset keeps the engine's key-length codes: 1 is 40 bits ... 5 is 256 bits, 0 (the maximum) no line.
  static const char* const kLengths[] = {nullptr, ": 40 ", ": 56 ", ": 128 ", ": 192 ", ": 256 "};
  const BYTE key = info.m_body.m_nested.m_bKeyLengthIndex;
  if (key >= 1 && key <= 5) text += LoadResString(462) + kLengths[key] + LoadResString(429) + kEol;
  text += LoadResString(463) + " = " + LoadResString(isSigned && isEncrypted ? 234 : 235) + kEol;
  text += LoadResString(518) + kEol;
  if (info.m_signing.m_bPresent) text += LoadResString(538) + kEol;
  if (info.m_encryption.m_bPresent) text += LoadResString(539) + kEol;
  if (info.m_signing.m_bPresent) {
    text += kLongRule + LoadResString(540) + ":" + kEol + kLongRule;
    AppendTriples(text, info.m_signing.m_list, 470);
  }
  if (info.m_encryption.m_bPresent) {
    text += kLongRule + LoadResString(541) + ":" + kEol + kLongRule;
    AppendTriples(text, info.m_encryption.m_list, 472);
  }
  return text + LoadResString(542);
}
