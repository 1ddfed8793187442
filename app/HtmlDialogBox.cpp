#include "app/HtmlDialogBox.h"

#include "platform/mfc/afxstate.h"
#include "platform/services/htmldialog.h"
#include "platform/win32/modules.h"

CHtmlDialogBox::CHtmlDialogBox(LPCSTR page, BOOL fromResource, CWnd* owner)
    : m_hwndOwner(owner ? owner->GetSafeHwnd() : nullptr) {
  if (!fromResource) m_strUrl = page;
  else SetResourceUrl(page);
  LoadEngine();
}

CHtmlDialogBox::~CHtmlDialogBox() {
  if (m_hEngine) FreeLibrary(m_hEngine);
  m_varInput.Clear();
  m_varOutput.Clear();
}

void CHtmlDialogBox::SetResourceUrl(LPCSTR page) {
  char module[4096];
  DWORD n = GetModuleFileName(AfxGetResourceHandle(), module, sizeof module);
  if (n > 0 && n < sizeof module) m_strUrl.Format("res://%s/%s", module, page ? page : "");
}

void CHtmlDialogBox::LoadEngine() { m_hEngine = LoadLibrary("MSHTML.DLL"); }

void CHtmlDialogBox::SetArgument(LPCSTR text) { m_varInput.SetString(text ? text : "", VT_BSTR); }

INT_PTR CHtmlDialogBox::DoModal() {
  if (!m_hEngine) return -1;
  auto show = reinterpret_cast<SHOWHTMLDIALOGFN>(GetProcAddress(m_hEngine, "ShowHTMLDialog"));
  if (!show) return -1;
  BSTR url = m_strUrl.AllocSysString();
  IMoniker* moniker = nullptr;
  CreateURLMoniker(nullptr, url, &moniker);
  SysFreeString(url);
  if (!moniker) return -1;
  HRESULT hr = show(m_hwndOwner, moniker, &m_varInput, nullptr, &m_varOutput);
  moniker->Release();
  return FAILED(hr) ? -1 : 0;
}

CString CHtmlDialogBox::GetResult() const {
  if (m_varOutput.vt != VT_BSTR || !m_varOutput.bstrVal) return CString();
  return CString(m_varOutput.bstrVal);
}

CTextReportDlg::CTextReportDlg(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

void CTextReportDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  if (m_pText) DDX_Text(pDX, 1070, *m_pText);
}
