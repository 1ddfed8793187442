// The user set-up wizard's welcome and finish pages.
#include "settings/UsrSetupPages.h"

#include <algorithm>

#include "app/ResString.h"
#include "platform/mfc/afxwin.h"
#include "platform/win32/registry.h"
#include "settings/MailProfile.h"
#include "settings/ProfileListDlg.h"
#include "settings/UserProfileSetupWizard.h"

namespace {

constexpr const char kMakerAddress[] = "https://kesmora.example/";
constexpr const char kSupportAddress[] = "https://kesmora.example/support/";
constexpr const char kProfilesKey[] = "Software\\Kesmora\\MailTolvex\\Profiles";
constexpr UINT kRunOnPage = WM_APP + 0x1D1;
constexpr UINT_PTR kAnimationTimer = 1, kStartTimer = 2;
constexpr int kBarBase = 500;

CUserProfileSetupWizard* WizardOf(CPropertyPage* page) {
  return dynamic_cast<CUserProfileSetupWizard*>(page->GetParentSheet());
}

// The look of the pages' textured buttons.
void SetUpButton(CTextureButton& button, UINT iconId, BYTE pattern) {
  button.SetIcons(static_cast<WORD>(iconId));
  button.SetButtonCursor(135);
  button.SetTooltipText(LoadResString(593), TRUE);
  button.CreateTexture(pattern, 8, 10, 0, 0);
  button.SetColor(0, 0xFFFFFF);
  button.SetColor(1, 0xFF0000);
}

void BoldOnParent(CLabelCtrl& label) {
  label.UseParentBackground();
  label.SetFontBold(TRUE);
}

}  // namespace

// ---- welcome page ----

IMPLEMENT_DYNCREATE(CUsrSetupMainPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CUsrSetupMainPage, CPropertyPage)
  ON_BN_CLICKED(1156, OnProfiles)
END_MESSAGE_MAP()

CUsrSetupMainPage::CUsrSetupMainPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CUsrSetupMainPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Text(pDX, 1060, m_strFullName);
  DDX_Text(pDX, 1241, m_strEmailName);
  DDX_Control(pDX, 1156, m_btnProfiles);
  DDX_Control(pDX, 1037, m_lblTitle);
  DDX_Control(pDX, 1058, m_lblText);
  DDX_Control(pDX, 1059, m_lnkMaker);
  DDX_Control(pDX, 1275, m_lnkSupport);
}

BOOL CUsrSetupMainPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  SetUpButton(m_btnProfiles, 1077, 0);
  BoldOnParent(m_lblText);
  BoldOnParent(m_lblTitle);
  m_lnkMaker.UseParentBackground(TRUE);
  m_lnkMaker.SetUrl(kMakerAddress);
  m_lnkSupport.UseParentBackground(TRUE);
  m_lnkSupport.SetUrl(kSupportAddress);
  return TRUE;
}

BOOL CUsrSetupMainPage::OnSetActive() {
  if (CPropertySheet* sheet = GetParentSheet()) sheet->SetWizardButtons(PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

bool CUsrSetupMainPage::IsPlausibleAddress(const CString& address) {
  return address.Find('.') >= 0 && address.Find('@') >= 0 && address.GetLength() >= 5;
}

LRESULT CUsrSetupMainPage::OnWizardNext() {
  UpdateData(TRUE);
  UINT refusal = 0;
  if (m_strEmailName.IsEmpty()) refusal = 608;
  else if (m_strFullName.IsEmpty()) refusal = 609;
  else if (!IsPlausibleAddress(m_strEmailName)) refusal = 610;
  if (refusal) {
    AfxMessageBox(LoadResString(refusal), MB_OK);
    return -1;
  }
  CMailProfileList profiles(HKEY_CURRENT_USER, kProfilesKey);
  profiles.Load();
  if (profiles.FindByName(m_strEmailName)) {
    AfxMessageBox(LoadResString(611) + " " + LoadResString(612), MB_OK);
    return -1;
  }
  if (CUserProfileSetupWizard* wizard = WizardOf(this)) {
    wizard->m_Profile.InitDefaults(FALSE);
    wizard->m_Profile.m_strEmailName = m_strEmailName;
    wizard->m_Profile.m_strFullName = m_strFullName;
    // The profile's display name, which the profile lists show first: the name the user gave here.
    if (wizard->m_Profile.m_strDesc.IsEmpty()) wizard->m_Profile.m_strDesc = m_strFullName;
  }
  return CPropertyPage::OnWizardNext();
}

void CUsrSetupMainPage::OnProfiles() {
  CProfileListDlg profiles(this);
  profiles.DoModal();
}

// ---- finish page ----

IMPLEMENT_DYNCREATE(CUsrSetupFinishPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CUsrSetupFinishPage, CPropertyPage)
  ON_WM_TIMER()
  ON_MESSAGE(kRunOnPage, OnRunOnPage)
END_MESSAGE_MAP()

CUsrSetupFinishPage::CUsrSetupFinishPage() : CPropertyPage(IDD) {
  m_psp.dwFlags |= PSP_HIDEHEADER;
  HDC screen = ::GetDC(nullptr);
  m_bPalette = m_bPaletteText = screen && (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
  if (screen) ::ReleaseDC(nullptr, screen);
}

void CUsrSetupFinishPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1037, m_lblTitle);
  DDX_Control(pDX, 1060, m_lblText);
  DDX_Control(pDX, 1059, m_lnkMaker);
  DDX_Control(pDX, 1087, m_ctlProgress);
  DDX_Control(pDX, 1042, m_btnInfo);
  DDX_Control(pDX, 1191, m_lstSteps);
}

BOOL CUsrSetupFinishPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  BoldOnParent(m_lblText);
  m_lnkMaker.UseParentBackground(TRUE);
  m_lnkMaker.SetUrl(kMakerAddress);
  BoldOnParent(m_lblTitle);
  SetUpButton(m_btnInfo, 141, 6);
  return TRUE;
}

BOOL CUsrSetupFinishPage::OnSetActive() {
  CPropertySheet* sheet = GetParentSheet();
  if (!sheet) return CPropertyPage::OnSetActive();
  ResetBar();
  ApplyRainbow();
  sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);

  m_lstSteps.DeleteAllItems();
  m_lstSteps.SetFullRowDraw(TRUE);
  CStringList headings, rows;
  headings.AddTail(LoadResString(592));
  CUIntArray images, states;
  for (UINT text : {430u, 588u, 589u, 590u, 591u}) {
    rows.AddTail(LoadResString(text));
    images.Add(2);
    states.Add(2);
  }
  m_lstSteps.SetHeadings(headings);
  m_lstSteps.SetColumnData(0, rows);
  m_lstSteps.SetItemImages(images);
  m_lstSteps.SetItemStates(states);
  m_lstSteps.Populate();
  // The one column takes the list's whole width: at its first width the last step's text was cut while an
  // empty strip of header filled the rest.
  CRect client;
  m_lstSteps.GetClientRect(&client);
  m_lstSteps.SetColumnWidth(0, std::max(280, static_cast<int>(client.Width())));

  SetTimer(kStartTimer, 1200, nullptr);
  return CPropertyPage::OnSetActive();
}

LRESULT CUsrSetupFinishPage::OnWizardBack() {
  // One run at a time: the worker uses the wizard's records until it ends.
  CUserProfileSetupWizard* wizard = WizardOf(this);
  if (wizard && wizard->IsWorkerRunning()) return -1;
  return CPropertyPage::OnWizardBack();
}

void CUsrSetupFinishPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kStartTimer) {
    KillTimer(kStartTimer);
    if (CUserProfileSetupWizard* wizard = WizardOf(this)) wizard->StartWorker();
  } else {
    AnimationStep();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

LRESULT CUsrSetupFinishPage::OnRunOnPage(WPARAM, LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

void CUsrSetupFinishPage::RunOnPage(const std::function<void()>& fn) {
  HWND page = GetSafeHwnd();
  if (page && ::IsWindow(page)) ::SendMessage(page, kRunOnPage, 0, reinterpret_cast<LPARAM>(&fn));
}

void CUsrSetupFinishPage::MarkStep(int row, bool done) {
  if (row < 0 || row >= kStepCount) return;
  RunOnPage([&] { m_lstSteps.SetRowMark(row, done ? TRUE : FALSE, FALSE, FALSE); });
}

void CUsrSetupFinishPage::Tell(const CString& text) {
  RunOnPage([&] { AfxMessageBox(text, MB_OK); });
}

// ---- the bar ----

void CUsrSetupFinishPage::ResetBar() {
  m_ctlProgress.SetColours(3, 0x800000, 0xF0CAA6, 0x800000);
  SetAnimationTimer(false);
  m_nRange = 100;
  m_nPosition = 100;
  m_bCustomColours = FALSE;
  m_nBorder = 0;
  m_nTextFormat = 0;
  m_bMarquee = FALSE;
  m_nSnakePeriod = 1;
  m_bSnake = TRUE;
  ApplyRange();
  ApplyTextColours();
  ApplyDefaultFont();
  ApplyBorder();
  ApplyTextFormat();
  ApplyMarquee();
  RestartSnake();
}

void CUsrSetupFinishPage::ApplyRange() {
  m_ctlProgress.SetRange32(kBarBase, kBarBase + m_nRange);
  m_ctlProgress.SetPos(kBarBase + m_nPosition);
  m_ctlProgress.Invalidate();
}

void CUsrSetupFinishPage::ApplyTextColours() {
  m_ctlProgress.SetTextColour(m_bCustomColours ? m_crText : GetSysColor(COLOR_BTNTEXT));
  m_ctlProgress.SetBarTextColour(m_bCustomColours ? m_crBackgroundText : GetSysColor(COLOR_CAPTIONTEXT));
  m_ctlProgress.Invalidate();
}

void CUsrSetupFinishPage::ApplyDefaultFont() {
  m_ctlProgress.SetFontHandle(nullptr);
  m_ctlProgress.ModifyStyleEx(0, WS_EX_STATICEDGE);
  m_ctlProgress.Invalidate();
  Invalidate();
}

void CUsrSetupFinishPage::ApplyBorder() {
  const int sides[4] = {m_nBorder, m_nBorder, m_nBorder, m_nBorder};
  m_ctlProgress.SetRectValues(sides);
  m_ctlProgress.Invalidate();
}

void CUsrSetupFinishPage::ApplyTextFormat() {
  // Choice -> (format, style); 3 and 4 differ only in the style that goes with the format.
  auto formatOf = [](int choice, UINT textId, CString& format) -> DWORD {
    switch (choice) {
      case 1: format = "%d%%"; return 256;
      case 2: format = "%d"; return 512;
      case 3: format = LoadResString(594) + " : %d%%"; return 256;
      case 4: format = LoadResString(594) + " : %d%%"; return 512;
      case 5: format = LoadResString(textId); return 768;
      default: return 0;
    }
  };
  CString bar, tooltip;
  if (DWORD style = formatOf(m_nTextFormat, 595, bar)) m_ctlProgress.SetTextFormat(bar, style);
  else m_ctlProgress.ClearBarText();
  if (DWORD style = formatOf(m_nTooltipFormat, 596, tooltip)) m_ctlProgress.SetTooltipFormat(tooltip, style);
  else m_ctlProgress.ClearTooltipText();
}

void CUsrSetupFinishPage::ApplyMarquee() {
  const DWORD bits = PBS_SEGMENT | PBS_RAMP_ON_BAR;
  m_ctlProgress.ModifyStyle(m_bMarquee ? 0 : bits, m_bMarquee ? bits : 0);
  m_bMarquee = m_ctlProgress.GetSegmentStyle();
}

void CUsrSetupFinishPage::RestartSnake() {
  if (!m_bSnake) return;
  m_ctlProgress.StopAnimation();
  m_ctlProgress.StartAnimation(2, m_nSnakePeriod);
}

void CUsrSetupFinishPage::ApplyRainbow() {
  m_ctlProgress.SetColours(7, 0x0000FF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFF00FF, 0x0000FF);
  m_bCustomColours = FALSE;
  ApplyTextColours();
}

void CUsrSetupFinishPage::SetAnimationTimer(bool run) {
  if (run == m_bAnimating) return;
  if (run) SetTimer(kAnimationTimer, 2, nullptr);
  else KillTimer(kAnimationTimer);
  m_bAnimating = run;
}

void CUsrSetupFinishPage::AnimationStep() {
  if (m_bMarquee) {
    m_ctlProgress.StepIt();
    return;
  }
  m_nPosition = m_nPosition < 0 ? 0 : m_nPosition > m_nRange ? m_nRange : m_nPosition;
  if (m_nPosition == m_nRange) m_nDirection = 0;
  else if (m_nPosition == 0) m_nDirection = 1;
  m_nPosition += m_nDirection ? m_nStep : -m_nStep;
  m_ctlProgress.SetPos(kBarBase + m_nPosition);
}
