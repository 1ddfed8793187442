// CDialog and dialog data exchange.
#include "platform/mfc/dialog.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/mfc/afxstate.h"
#include "platform/mfc/exceptions.h"
#include "platform/mfc/resource.h"
#include "platform/ui/commctrl.h"

// ---------------------------------------------------------------------------------------------------------------
// Data exchange
// ---------------------------------------------------------------------------------------------------------------
CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND h = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
  if (!h) {
    fprintf(stderr, "dialog data exchange: no control %d\n", nIDC);
    AfxThrowNotSupportedException();
  }
  m_idLastControl = h;
  m_bEditLastControl = FALSE;
  return h;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND h = PrepareCtrl(nIDC);
  m_bEditLastControl = TRUE;
  return h;
}

void CDataExchange::Fail() {
  if (m_idLastControl && m_bSaveAndValidate) {
    ::SetFocus(m_idLastControl);
    if (m_bEditLastControl) ::SendMessage(m_idLastControl, EM_SETSEL, 0, -1);
  }
  AfxThrowUserException();
}

namespace {

CString WindowText(HWND h) {
  int n = ::GetWindowTextLength(h);
  std::string buf(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowText(h, buf.data(), n + 1);
  return CString(buf.data(), got > 0 ? got : 0);
}

// Sets the text only when it differs, so that an unchanged control is not repainted or notified.
void SetText(HWND h, const char* text) {
  if (WindowText(h) != text) ::SetWindowText(h, text);
}

void Refuse(CDataExchange* pDX, const char* message) {
  AfxMessageBox(message, MB_ICONEXCLAMATION);
  pDX->Fail();
}

// Whole numbers: optional blanks, a sign, digits, optional blanks; nothing else.
bool ParseInteger(const CString& text, long long* value) {
  std::string s = text.str();
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  if (a == std::string::npos) return false;
  s = s.substr(a, b - a + 1);
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(s.c_str(), &end, 10);
  if (*end || errno || end == s.c_str()) return false;
  *value = v;
  return true;
}

bool ParseNumber(const CString& text, double* value) {
  std::string s = text.str();
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  if (a == std::string::npos) return false;
  s = s.substr(a, b - a + 1);
  errno = 0;
  char* end = nullptr;
  double v = strtod(s.c_str(), &end);
  if (*end || errno || end == s.c_str() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

template <typename T>
void ExchangeInteger(CDataExchange* pDX, int nIDC, T& value, long long lo, long long hi, const char* message) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    long long v = 0;
    if (!ParseInteger(WindowText(h), &v) || v < lo || v > hi) Refuse(pDX, message);
    value = static_cast<T>(v);
  } else {
    SetText(h, std::to_string(static_cast<long long>(value)).c_str());
  }
}

template <typename T>
void CheckRange(CDataExchange* pDX, T value, T lo, T hi, const char* format) {
  if (!pDX->m_bSaveAndValidate || (value >= lo && value <= hi)) return;
  CString message;
  message.Format(format, lo, hi);
  Refuse(pDX, message);
}

bool IsRadio(HWND h) {
  if (::SendMessage(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) return true;
  DWORD type = static_cast<DWORD>(::GetWindowLongPtr(h, GWL_STYLE)) & BS_TYPEMASK;
  char cls[16] = {};
  ::GetClassName(h, cls, sizeof cls);
  return std::string(cls) == "Button" && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd) return;
  HWND h = pDX->PrepareCtrl(nIDC);
  if (!rControl.SubclassWindow(h)) AfxThrowNotSupportedException();
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) value = WindowText(h);
  else SetText(h, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, LPSTR value, int nMaxLen) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) ::GetWindowText(h, value, nMaxLen);
  else SetText(h, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  ExchangeInteger(pDX, nIDC, value, INT32_MIN, INT32_MAX, "Please enter an integer.");
}
void DDX_Text(CDataExchange* pDX, int nIDC, long& value) {
  ExchangeInteger(pDX, nIDC, value, INT32_MIN, INT32_MAX, "Please enter an integer.");
}
void DDX_Text(CDataExchange* pDX, int nIDC, short& value) {
  ExchangeInteger(pDX, nIDC, value, -32768, 32767, "Please enter an integer between -32768 and 32767.");
}
void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
  ExchangeInteger(pDX, nIDC, value, 0, UINT32_MAX, "Please enter a positive integer.");
}
void DDX_Text(CDataExchange* pDX, int nIDC, BYTE& value) {
  ExchangeInteger(pDX, nIDC, value, 0, 255, "Please enter an integer between 0 and 255.");
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value) {
  HWND h = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    double v = 0;
    if (!ParseNumber(WindowText(h), &v)) Refuse(pDX, "Please enter a number.");
    value = v;
  } else {
    CString text;
    text.Format("%.15g", value);
    SetText(h, text);
  }
}

void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
  double v = value;
  DDX_Text(pDX, nIDC, v);
  if (pDX->m_bSaveAndValidate) value = static_cast<float>(v);
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessage(h, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessage(h, BM_SETCHECK, static_cast<WPARAM>(value < 0 || value > 2 ? 0 : value), 0);
  }
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) value = -1;
  int index = 0;
  bool first = true;
  for (HWND c = h; c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if (!first && (::GetWindowLongPtr(c, GWL_STYLE) & WS_GROUP)) break;
    first = false;
    if (!IsRadio(c)) continue;
    if (pDX->m_bSaveAndValidate) {
      if (::SendMessage(c, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessage(c, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ++index;
  }
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) index = static_cast<int>(::SendMessage(h, CB_GETCURSEL, 0, 0));
  else ::SendMessage(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

namespace {
// The text of the selected entry of a list box or a combo box's list ("" with none), through the control's
// messages for the selection, an entry's length and an entry's text (CB_ERR and LB_ERR are both -1).
CString SelectedEntry(HWND h, UINT getSel, UINT getLen, UINT getText) {
  int sel = static_cast<int>(::SendMessage(h, getSel, 0, 0));
  if (sel < 0) return CString();
  int len = static_cast<int>(::SendMessage(h, getLen, static_cast<WPARAM>(sel), 0));
  if (len <= 0) return CString();
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  ::SendMessage(h, getText, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(buf.data()));
  return CString(buf.c_str());
}

void ComboString(CDataExchange* pDX, int nIDC, CString& value, UINT find) {
  HWND h = pDX->PrepareCtrl(nIDC);
  bool list = (::GetWindowLongPtr(h, GWL_STYLE) & 0x3) == CBS_DROPDOWNLIST;
  if (pDX->m_bSaveAndValidate) {
    if (!list) {
      value = WindowText(h);
      return;
    }
    value = SelectedEntry(h, CB_GETCURSEL, CB_GETLBTEXTLEN, CB_GETLBTEXT);
    return;
  }
  LRESULT at = ::SendMessage(h, find, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(value.GetString()));
  if (find == CB_FINDSTRINGEXACT && at != CB_ERR) ::SendMessage(h, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  if (at == CB_ERR && !list) SetText(h, value);
}

void ListString(CDataExchange* pDX, int nIDC, CString& value, UINT find) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    value = SelectedEntry(h, LB_GETCURSEL, LB_GETTEXTLEN, LB_GETTEXT);
    return;
  }
  LRESULT at = value.IsEmpty() ? LB_ERR
                               : ::SendMessage(h, find, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(value.GetString()));
  ::SendMessage(h, LB_SETCURSEL, at == LB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(at), 0);
}
}  // namespace

void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value) { ComboString(pDX, nIDC, value, CB_SELECTSTRING); }
void DDX_CBStringExact(CDataExchange* pDX, int nIDC, CString& value) {
  ComboString(pDX, nIDC, value, CB_FINDSTRINGEXACT);
}

void DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) index = static_cast<int>(::SendMessage(h, LB_GETCURSEL, 0, 0));
  else ::SendMessage(h, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
void DDX_LBString(CDataExchange* pDX, int nIDC, CString& value) { ListString(pDX, nIDC, value, LB_FINDSTRING); }
void DDX_LBStringExact(CDataExchange* pDX, int nIDC, CString& value) {
  ListString(pDX, nIDC, value, LB_FINDSTRINGEXACT);
}

void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, COleDateTime& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  SYSTEMTIME st{};
  if (pDX->m_bSaveAndValidate) {
    if (::SendMessage(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID) value = COleDateTime(st);
    else value.SetStatus(COleDateTime::null);
    return;
  }
  if (value.GetStatus() == COleDateTime::valid && value.GetAsSystemTime(st))
    ::SendMessage(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  else
    ::SendMessage(h, DTM_SETSYSTEMTIME, GDT_NONE, 0);
}

void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, CTime& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  SYSTEMTIME st{};
  if (pDX->m_bSaveAndValidate) {
    if (::SendMessage(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID) value = CTime(st);
    return;
  }
  if (value.GetAsSystemTime(st)) ::SendMessage(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars) {
  if (pDX->m_bSaveAndValidate) {
    if (value.GetLength() <= nChars) return;
    CString message;
    message.Format("Enter no more than %d characters.", nChars);
    Refuse(pDX, message);
  } else if (pDX->m_idLastControl && pDX->m_bEditLastControl) {
    ::SendMessage(pDX->m_idLastControl, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
  }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
  CheckRange(pDX, value, minVal, maxVal, "Please enter an integer between %d and %d.");
}
void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal) {
  CheckRange(pDX, value, minVal, maxVal, "Please enter an integer between %u and %u.");
}
void DDV_MinMaxLong(CDataExchange* pDX, long value, long minVal, long maxVal) {
  CheckRange(pDX, value, minVal, maxVal, "Please enter an integer between %ld and %ld.");
}
void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal) {
  CheckRange(pDX, value, minVal, maxVal, "Please enter an integer between %u and %u.");
}
void DDV_MinMaxByte(CDataExchange* pDX, BYTE value, BYTE minVal, BYTE maxVal) {
  CheckRange<int>(pDX, value, minVal, maxVal, "Please enter an integer between %d and %d.");
}
void DDV_MinMaxDouble(CDataExchange* pDX, double value, double minVal, double maxVal) {
  CheckRange(pDX, value, minVal, maxVal, "Please enter a number between %g and %g.");
}

// ---------------------------------------------------------------------------------------------------------------
// CDialog
// ---------------------------------------------------------------------------------------------------------------
INT_PTR AfxDlgProc(HWND hWnd, UINT nMsg, WPARAM, LPARAM) {
  if (nMsg != WM_INITDIALOG) return 0;
  CDialog* dlg = DYNAMIC_DOWNCAST(CDialog, CWnd::FromHandlePermanent(hWnd));
  return dlg ? dlg->OnInitDialog() : TRUE;
}

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
  ON_MESSAGE(WM_SETFONT, HandleSetFont)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd) : m_pParentWnd(pParentWnd) {
  if (IS_INTRESOURCE(lpszTemplateName)) {
    m_lpszTemplateName = lpszTemplateName;
  } else {
    m_strTemplateName = lpszTemplateName;
    m_lpszTemplateName = m_strTemplateName;
  }
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
}

BOOL CDialog::CreateDlg(HINSTANCE hInst, LPCSTR lpszTemplateName, LPCDLGTEMPLATE lpTemplate, CWnd* pParentWnd) {
  HWND parent = kx::afx::SafeHwnd(pParentWnd);
  AfxHookWindowCreate(this);
  HWND h = lpszTemplateName ? ::CreateDialogParam(hInst, lpszTemplateName, parent, &AfxDlgProc, 0)
                            : ::CreateDialogIndirectParam(hInst, lpTemplate, parent, &AfxDlgProc, 0);
  if (!AfxUnhookWindowCreate()) PostNcDestroy();
  if (!h && m_hWnd) DestroyWindow();
  return h != nullptr && m_hWnd != nullptr;
}

BOOL CDialog::Create(LPCSTR lpszTemplateName, CWnd* pParentWnd) {
  if (!IS_INTRESOURCE(lpszTemplateName)) {
    m_strTemplateName = lpszTemplateName;
    lpszTemplateName = m_strTemplateName;
  }
  m_lpszTemplateName = lpszTemplateName;
  if (!pParentWnd) pParentWnd = AfxGetMainWnd();
  m_pParentWnd = pParentWnd;
  return CreateDlg(AfxFindResourceHandle(lpszTemplateName, RT_DIALOG), lpszTemplateName, nullptr, pParentWnd);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  m_nIDHelp = nIDTemplate;
  return Create(MAKEINTRESOURCE(nIDTemplate), pParentWnd);
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
  m_pParentWnd = pParentWnd;
  return CreateDlg(AfxGetResourceHandle(), nullptr, lpDialogTemplate, pParentWnd);
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd) {
  m_lpDialogTemplate = lpDialogTemplate;
  m_lpszTemplateName = nullptr;
  m_pParentWnd = pParentWnd;
  return lpDialogTemplate != nullptr;
}

HWND CDialog::PreModal() {
  AfxUnhookWindowCreate();
  return CWnd::GetSafeOwner_(kx::afx::SafeHwnd(m_pParentWnd), &m_hWndTop);
}

void CDialog::PostModal() { m_hWndTop = nullptr; }

INT_PTR CDialog::DoModal() {
  HINSTANCE hInst = m_lpszTemplateName ? AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG) : AfxGetResourceHandle();
  if (m_lpszTemplateName ? !kx::FindDialogTemplate(hInst, m_lpszTemplateName) : !m_lpDialogTemplate) return -1;
  HWND parent = PreModal();
  bool enableParent = false;
  if (parent && parent != ::GetDesktopWindow() && ::IsWindowEnabled(parent)) {
    ::EnableWindow(parent, FALSE);
    enableParent = true;
  }
  m_nModalResult = -1;
  m_nFlags |= WF_CONTINUEMODAL;
  if (CreateDlg(hInst, m_lpszTemplateName, m_lpDialogTemplate, CWnd::FromHandle(parent))) {
    if (m_nFlags & WF_CONTINUEMODAL) {
      DWORD flags = MLF_SHOWONIDLE;
      if (GetStyle() & DS_NOIDLEMSG) flags |= MLF_NOIDLEMSG;
      RunModalLoop(flags);
    }
    if (m_hWnd)
      SetWindowPos(nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  m_nFlags &= ~WF_CONTINUEMODAL;
  if (enableParent && ::IsWindow(parent)) ::EnableWindow(parent, TRUE);
  if (parent && m_hWnd && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(parent);
  DestroyWindow();
  PostModal();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL)) EndModalLoop(nResult);
  ::EndDialog(m_hWnd, nResult);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
  PreInitDialog();
  return Default();
}

LRESULT CDialog::HandleSetFont(WPARAM wParam, LPARAM) {
  OnSetFont(CFont::FromHandle(reinterpret_cast<HFONT>(wParam)));
  return Default();
}

void CDialog::PreInitDialog() {}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnSetFont(CFont*) {}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (CWnd::PreTranslateMessage(pMsg)) return TRUE;
  bool input = (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) ||
               (pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST);
  if (!input) return FALSE;
  return ::IsDialogMessage(m_hWnd, pMsg);
}

void CDialog::NextDlgCtrl() const { ::SendMessage(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
void CDialog::PrevDlgCtrl() const { ::SendMessage(m_hWnd, WM_NEXTDLGCTL, 1, 0); }
void CDialog::GotoDlgCtrl(CWnd* pWndCtrl) {
  ::SendMessage(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(kx::afx::SafeHwnd(pWndCtrl)), 1);
}
void CDialog::SetDefID(UINT nID) { ::SendMessage(m_hWnd, DM_SETDEFID, nID, 0); }
DWORD CDialog::GetDefID() const { return static_cast<DWORD>(::SendMessage(m_hWnd, DM_GETDEFID, 0, 0)); }
void CDialog::MapDialogRect(LPRECT lpRect) const { ::MapDialogRect(m_hWnd, lpRect); }
