// The creation wizard's finish page and its generation worker.
#include <cstring>
#include <string>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "app/SheetRegistry.h"
#include "certificates/CWizard.h"
#include "certificates/CreateCertificate.h"
#include "core/Win32File.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "platform/capicom/core/keys.h"
#include "platform/capicom/core/ossl.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/mfc/afxwin.h"
#include "platform/pkcs11/pkcs11.h"
#include "platform/win32/errors.h"
#include "platform/win32/sync.h"
#include "platform/win32/textconv.h"

namespace {

constexpr const char kMakerAddress[] = "https://kesmora.example/";
constexpr UINT kRunOnPage = WM_APP + 0x1D0;
constexpr UINT_PTR kAnimationTimer = 1, kStartTimer = 2;
constexpr int kBarBase = 500;
constexpr UINT kRequestNotSaved = 5179, kRequestSaved = 5180;
constexpr UINT kCreatingTitle = 31540, kSavingRequestTitle = 31541;

}  // namespace

namespace kx::certcreate {

CString SubjectText(const CCertCreationInfo& info) {
  auto value = [](const CString& v) {
    std::string s = v.GetString();
    bool quote = s.empty() || s.front() == ' ' || s.back() == ' ' ||
                 s.find_first_of(",;+=\"<>#\r\n") != std::string::npos;
    if (!quote) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  };
  std::string text = "CN=" + value(info.m_strCommonName) + ",OU=" + value(info.m_strOrgUnit) +
                     ",O=" + value(info.m_strOrganisation) + ",L=" + value(info.m_strLocality) +
                     ",S=" + value(info.m_strState) + ",C=" + value(info.m_strCountry) + ",E=" + value(info.m_strEmail);
  return CString(text.c_str());
}

const char* SignatureAlgorithmFor(DWORD keyChoice) {
  switch (keyChoice) {
    case 0: return "1.2.840.113549.1.1.5";
    case 1: return "1.2.840.113549.1.1.4";
    default: return "1.2.840.10040.4.3";
  }
}

DWORD PurposeMaskFor(const CString& purpose) {
  static const struct {
    const char* oid;
    DWORD mask;
  } kMasks[] = {{"1.3.6.1.5.5.7.3.1", 1}, {"1.3.6.1.5.5.7.3.2", 2}, {"1.3.6.1.5.5.7.3.3", 4},
                {"1.3.6.1.5.5.7.3.4", 8}, {"1.3.6.1.5.5.7.3.8", 16}};
  for (const auto& m : kMasks)
    if (purpose.CompareNoCase(m.oid) == 0) return m.mask;
  return 0;
}

}  // namespace kx::certcreate

// ---- finish page ----

IMPLEMENT_DYNCREATE(CCWFinishPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CCWFinishPage, CPropertyPage)
  ON_WM_TIMER()
  ON_BN_CLICKED(1042, OnStores)
  ON_MESSAGE(kRunOnPage, OnRunOnPage)
END_MESSAGE_MAP()

CCWFinishPage::CCWFinishPage() : CPropertyPage(IDD) { m_psp.dwFlags |= PSP_HIDEHEADER; }

void CCWFinishPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, 1001, m_lblTitle);
  DDX_Control(pDX, 1002, m_lblResult);
  DDX_Control(pDX, 1003, m_lblSecond);
  DDX_Control(pDX, 1059, m_lnkMaker);
  DDX_Control(pDX, 1004, m_ctlProgress);
  DDX_Control(pDX, 1042, m_btnStores);
  DDX_Control(pDX, 1033, m_lstSteps);
}

BOOL CCWFinishPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  for (CLabelCtrl* label : {&m_lblTitle, &m_lblResult, &m_lblSecond}) {
    label->UseParentBackground();
    label->SetFontBold(TRUE);
  }
  m_lnkMaker.SetUrl(kMakerAddress);
  m_lblSecond.SetFontSize(20);
  m_lblSecond.ShowWindow(SW_HIDE);
  m_btnStores.SetIcons(1034);
  m_btnStores.SetButtonCursor(135);
  m_btnStores.SetTooltipText(LoadResString(5171));
  m_btnStores.CreateTexture(0, 8, 10, 0, 0);
  m_btnStores.SetColor(0, 0xFFFFFF);
  m_btnStores.SetColor(1, 0xFF0000);

  auto* sheet = dynamic_cast<CCWizard*>(GetParentSheet());
  if (sheet && sheet->m_Info.m_nMode == 1) {
    m_lstSteps.SetFullRowDraw(TRUE);
    CStringList headings, rows;
    headings.AddTail(LoadResString(592));
    UINT texts[] = {5172, sheet->m_Info.m_strRequestFile.IsEmpty() ? 5174u : 5173u, 5175, 5176, 5177, 5178};
    CUIntArray images;
    for (UINT t : texts) {
      rows.AddTail(LoadResString(t));
      images.Add(0);
    }
    m_lstSteps.SetHeadings(headings);
    m_lstSteps.SetColumnData(0, rows);
    m_lstSteps.SetItemImages(images);
    m_lstSteps.Populate();
    CRect client;
    m_lstSteps.GetClientRect(&client);
    m_lstSteps.SetColumnWidth(0, client.Width());
  } else {
    m_lstSteps.ShowWindow(SW_HIDE);
  }
  return TRUE;
}

BOOL CCWFinishPage::OnSetActive() {
  CPropertySheet* sheet = GetParentSheet();
  if (!sheet) return 0;
  // Only a request is made when it goes to a file: the title says so.
  auto* wizard = dynamic_cast<CCWizard*>(sheet);
  m_lblTitle.SetWindowText(LoadResString(wizard && wizard->m_Info.m_nMode == 2 ? kSavingRequestTitle : kCreatingTitle));
  // A full bar without text, a snake running along it.
  m_ctlProgress.SetColours(3, RGB(0, 0, 0x80), RGB(0xA6, 0xCA, 0xF0), RGB(0, 0, 0x80));
  SetAnimation(FALSE);
  m_nMaximum = 100;
  m_nPosition = 100;
  m_bCustomColours = m_nRectValue = m_nTooltipText = m_nBarMode = 0;
  m_nSnakeStep = 1;
  m_bSnake = 1;
  ApplyProgressRange();
  ApplyTextColours();
  ApplyDefaultBarFont();
  ApplyRectValue();
  ApplyTextFormat();
  ApplySegmentStyle();
  ApplySnakeSpeed();
  ApplyRainbowColours();
  sheet->PostMessage(PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
  SetTimer(kStartTimer, 1200, nullptr);
  return CPropertyPage::OnSetActive();
}

void CCWFinishPage::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kStartTimer) {
    KillTimer(kStartTimer);
    if (auto* sheet = dynamic_cast<CCWizard*>(GetParentSheet())) sheet->StartWorker();
  } else {
    AnimationStep();
  }
  CPropertyPage::OnTimer(nIDEvent);
}

void CCWFinishPage::OnStores() {
  CFormsObjectProvider provider;
  CBaseSheet* stores = nullptr;
  provider.CreateSheetByName("CCertSheet", this, &stores);
  if (!stores) return;
  stores->m_bHosted = 0;
  stores->m_bSystemMenu = 1;  // opened as the exports open the manager
  stores->SetTitle(LoadResString(311));
  stores->DoModal();
  delete stores;
}

LRESULT CCWFinishPage::OnRunOnPage(WPARAM, LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

void CCWFinishPage::RunOnPage(const std::function<void()>& fn) {
  HWND page = GetSafeHwnd();
  if (!page || !::IsWindow(page)) return;
  ::SendMessage(page, kRunOnPage, 0, reinterpret_cast<LPARAM>(&fn));
}

void CCWFinishPage::MarkStep(int row, bool done) {
  RunOnPage([&] { m_lstSteps.SetRowMark(row, done ? TRUE : FALSE, FALSE, FALSE); });
}

// ---- progress routines ----

void CCWFinishPage::ApplyProgressRange() {
  m_ctlProgress.SetRange32(kBarBase, kBarBase + m_nMaximum);
  m_ctlProgress.SetPos(kBarBase + m_nPosition);
  m_ctlProgress.Invalidate();
}

void CCWFinishPage::ApplyRectValue() {
  int values[4] = {m_nRectValue, m_nRectValue, m_nRectValue, m_nRectValue};
  m_ctlProgress.SetRectValues(values);
  m_ctlProgress.Invalidate();
}

void CCWFinishPage::ApplyTextFormat() {
  auto format = [](int choice, CString& text) -> DWORD {
    switch (choice) {
      case 1: text = "%d%%"; return PBS_SHOW_PERCENT;
      case 2: text = "%d"; return PBS_SHOW_POSITION;
      case 3: text = LoadResString(594) + ": %d%%"; return PBS_SHOW_PERCENT;
      case 4: text = LoadResString(594) + ": %d"; return PBS_SHOW_POSITION;
      case 5: text = LoadResString(595); return PBS_SHOW_PERCENT;
      default: text.Empty(); return 0;
    }
  };
  CString bar, tip;
  DWORD barMode = format(m_nBarText, bar), tipMode = format(m_nTooltipText, tip);
  if (barMode) m_ctlProgress.SetTextFormat(bar, barMode);
  else m_ctlProgress.ClearBarText();
  if (tipMode) m_ctlProgress.SetTooltipFormat(tip, tipMode);
  else m_ctlProgress.ClearTooltipText();
  m_ctlProgress.Invalidate();
}

void CCWFinishPage::ApplySegmentStyle() {
  DWORD bits = PBS_RAMP_ON_BAR | 0x8000;
  m_ctlProgress.ModifyStyle(m_nBarMode == 1 ? 0 : bits, m_nBarMode == 1 ? bits : 0);
  m_bSegmentStyle = m_ctlProgress.GetSegmentStyle();
}

void CCWFinishPage::ToggleAnimationTimer() {
  if (m_bAnimating) KillTimer(kAnimationTimer);
  else SetTimer(kAnimationTimer, 2, nullptr);
  m_bAnimating = !m_bAnimating;
}

void CCWFinishPage::SetAnimation(BOOL run) {
  if ((run != FALSE) != m_bAnimating) ToggleAnimationTimer();
}

void CCWFinishPage::ApplyRainbowColours() {
  m_ctlProgress.SetColours(7, RGB(255, 0, 0), RGB(255, 255, 0), RGB(0, 255, 0), RGB(0, 255, 255), RGB(0, 0, 255),
                           RGB(255, 0, 255), RGB(255, 0, 0));
  ApplyTextColours();
  m_ctlProgress.Invalidate();
}

void CCWFinishPage::ApplyTextColours() {
  m_ctlProgress.SetBarTextColour(m_bCustomColours ? m_crBarText : GetSysColor(COLOR_CAPTIONTEXT));
  m_ctlProgress.SetTextColour(m_bCustomColours ? m_crText : GetSysColor(COLOR_BTNTEXT));
}

void CCWFinishPage::ApplySnakeSpeed() {
  if (!m_bSnake) return;
  m_ctlProgress.StopAnimation();
  m_ctlProgress.StartAnimation(2, m_nSnakeStep);
}

void CCWFinishPage::ApplyDefaultBarFont() {
  m_ctlProgress.SetFontHandle(nullptr);
  m_ctlProgress.ModifyStyleEx(0, WS_EX_STATICEDGE);
  m_ctlProgress.Invalidate();
}

void CCWFinishPage::AnimationStep() {
  if (m_nBarMode != 0) {
    m_ctlProgress.StepIt();
    return;
  }
  m_nPosition += m_bUp ? m_nBounceStep : -m_nBounceStep;
  if (m_nPosition >= m_nMaximum) {
    m_nPosition = m_nMaximum;
    m_bUp = false;
  } else if (m_nPosition <= 0) {
    m_nPosition = 0;
    m_bUp = true;
  }
  m_ctlProgress.SetPos(kBarBase + m_nPosition);
}

// ---- the generation worker ----

namespace {

CString Joined(UINT a, const char* between, UINT b) { return LoadResString(a) + between + LoadResString(b); }

// The request as text lines of a PEM block.
CByteBuffer PemRequest(const CByteBuffer& base64) {
  std::string body(reinterpret_cast<const char*>(base64.GetData()), base64.GetLength());
  std::string pem = "-----BEGIN CERTIFICATE REQUEST-----\r\n" + body;
  if (!body.empty() && body.back() != '\n') pem += "\r\n";
  pem += "-----END CERTIFICATE REQUEST-----\r\n";
  return CByteBuffer(static_cast<DWORD>(pem.size()), pem.data(), false);
}

}  // namespace

UINT CreateCertificateThread(LPVOID argument) {
  auto* sheet = static_cast<CCWizard*>(argument);
  if (!sheet) return 0;
  CCWFinishPage& page = sheet->m_FinishPage;
  const CCertCreationInfo& info = sheet->m_Info;
  CoInitialize(nullptr);
  {
    CVorlindEnrolmentProxy proxy;
    auto tell = [&](const CString& text) { page.RunOnPage([&] { AfxMessageBox(text, MB_OK); }); };

    // Connection test (service requests only).
    bool connectionFailed = false;
    if (info.m_nMode == 1) {
      CString answer;
      if (proxy.Initialize() && proxy.VerifyConnect(answer)) {
        page.MarkStep(0, true);
      } else {
        for (int row : {0, 2, 3, 4, 5}) page.MarkStep(row, false);
        connectionFailed = true;
      }
    }

    // The enrolment control; a system without one fails the request paths, not the thread.
    CCertEnroll enroll(kx::engine::kEmpty);
    try {
      enroll = CCertEnroll();
    } catch (const _com_error&) {
      // No enrolment control: the request paths below fail with their own messages.
    }
    ICEnroll3* control = enroll.GetInterfacePtr();
    CString subject = kx::certcreate::SubjectText(info);
    const char* algorithm = kx::certcreate::SignatureAlgorithmFor(info.m_nKeyChoice);
    if (control) {
      control->put_HashAlgorithm(_bstr_t(algorithm));
      control->put_ProviderType(static_cast<LONG>(info.m_nProviderType));
      control->put_KeySpec(static_cast<LONG>(info.m_nKeySpec));
      control->put_EnableSMIMECapabilities(TRUE);
      control->put_ProviderName(_bstr_t(info.m_strProviderName.GetString()));
      control->put_WriteCertToCSP(TRUE);
      control->put_GenKeyFlags(static_cast<LONG>(kx::certcreate::KeyLengthFlags(info.m_nKeyLength) | CRYPT_EXPORTABLE));
    }

    bool succeeded = false;
    if (info.m_nMode == 0) {
      succeeded = CreateCertificate(subject, info.m_nKeySpec, info.m_nKeyLength, algorithm, 24,
                                    kx::certcreate::PurposeMaskFor(info.m_strPurpose), FALSE, TRUE,
                                    info.m_strProviderName, info.m_nProviderType, "MY", TRUE, TRUE, "", "MY", TRUE,
                                    FALSE, "", "", "") != FALSE;
      if (!succeeded) {
        // The page's labels say only that it failed: the reason goes to the audit log. A key the token could not
        // make says why in the token's words (a cancelled PIN, the token taken out, a locked PIN).
        const DWORD error = GetLastError();
        const HRESULT hr = error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        const std::string token = info.m_strProviderName == kx::capi::kTokenProviderName ? kx::p11::LastError() : "";
        kx::LogFailure("Certificate Creation", token.empty() ? kx::EngineText(hr) : CString(token.c_str()));
      }
    } else if (!connectionFailed) {
      CByteBuffer request;
      bool haveRequest = false;
      if (info.m_nMode == 1 && !info.m_strRequestFile.IsEmpty()) {
        CWin32File file(info.m_strRequestFile);
        if (file.IsOpen() && file.ReadAll() == S_OK && file.m_buffer.GetLength()) {
          request = file.m_buffer;
          haveRequest = true;
        }
      } else if (control) {
        BSTR text = nullptr;
        HRESULT hr = control->createPKCS10(_bstr_t(subject.GetString()), _bstr_t(info.m_strPurpose.GetString()), &text);
        if (SUCCEEDED(hr) && text) {
          std::string ascii = kx::Utf16ToUtf8(text, SysStringLen(text));
          request = CByteBuffer(static_cast<DWORD>(ascii.size()), ascii.data(), false);
          haveRequest = true;
        }
        SysFreeString(text);
      }
      if (info.m_nMode == 2) {
        // The request counts only once it is in its file.
        if (haveRequest && !info.m_strRequestFile.IsEmpty()) {
          CWin32File out(info.m_strRequestFile, PemRequest(request));
          if (out.IsOpen() && out.WriteAll() == S_OK) {
            succeeded = true;
            CString text;
            text.Format(LoadResString(601), info.m_strRequestFile.GetString());
            tell(text);
          }
        }
      } else if (haveRequest) {
        page.MarkStep(1, true);
        if (!proxy.Initialize()) {
          for (int row : {2, 3, 4, 5}) page.MarkStep(row, false);
          tell(Joined(498, " ", 499));
        } else {
          page.MarkStep(2, true);
          CByteBuffer answer;
          CString fault;
          if (!proxy.Generate(request, answer, fault)) {
            for (int row : {3, 4, 5}) page.MarkStep(row, false);
            CString text;
            text.Format(LoadResString(602), fault.GetString());
            tell(text);
          } else {
            Sleep(750);
            page.MarkStep(3, true);
            Sleep(750);
            page.MarkStep(4, true);
            Sleep(750);
            BSTR message = SysAllocStringByteLen(reinterpret_cast<const char*>(answer.GetData()), answer.GetLength());
            bool installed = control && message && SUCCEEDED(control->acceptPKCS7(message));
            SysFreeString(message);
            page.MarkStep(5, installed);
          }
        }
      }
    }
    if (info.m_nMode != 0 && connectionFailed) tell(Joined(603, "\n", 604));

    // The result labels, then Finish: nothing of the page is touched once Finish can end the wizard.
    DWORD mode = info.m_nMode;
    page.RunOnPage([&] {
      if (mode == 0 || mode == 2) {
        // A request saved to its file is no certificate: that run has texts of its own.
        if (succeeded) {
          page.m_lblResult.SetWindowText(LoadResString(mode == 2 ? kRequestSaved : 5181));
        } else {
          page.m_lblResult.SetWindowText(Joined(mode == 2 ? kRequestNotSaved : 605, " ", 606));
          page.m_lblSecond.SetWindowText(LoadResString(362));
        }
        page.m_lblSecond.ShowWindow(SW_SHOW);
      }
      page.m_ctlProgress.StopAnimation();
      page.m_ctlProgress.ShowWindow(SW_HIDE);
    });
    if (HWND hwnd = sheet->GetSafeHwnd()) ::PostMessage(hwnd, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
  }
  CoUninitialize();
  return 0;
}
