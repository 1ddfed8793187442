#include "app/SettingsPageTools.h"

#include "app/BaseSheet.h"
#include "app/ResString.h"
#include "controls/TextureButton.h"
#include "core/SecurityPolicy.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/com/guid.h"
#include "platform/com/oleauto.h"
#include "platform/mfc/controls.h"
#include "platform/win32/system.h"

bool ApplyPolicySwitch(CWnd* page, int switchIndex, bool unlockWhenOn) {
  CSecurityPolicy policy;
  if (!policy.Load()) return false;
  if (!policy.GetSwitch(switchIndex)) {
    EnableChildControls(page, TRUE);
    return true;
  }
  if (unlockWhenOn) EnableChildControls(page, FALSE);
  return false;
}

void FillComboFromString(CWnd* combo, UINT stringId) {
  auto* box = static_cast<CComboBox*>(combo);
  if (!box || !box->GetSafeHwnd()) return;
  box->ResetContent();
  CString text = LoadResString(stringId);
  int start = 0;
  while (start < text.GetLength()) {
    int end = text.Find('\n', start);
    if (end < 0) end = text.GetLength();
    box->AddString(text.Mid(start, end - start));
    start = end + 1;
  }
}

bool IsNtPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void EnableDlgControl(CWnd* dialog, int id, BOOL enable) {
  if (!dialog) return;
  if (CWnd* control = dialog->GetDlgItem(id)) control->EnableWindow(enable);
}

void ShowInternetOptions(CWnd* owner) {
  CLSID shell{};
  IDispatch* dispatch = nullptr;
  HRESULT hr = CLSIDFromString(u"{13709620-C279-11CE-A49E-444553540000}", &shell);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(shell, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                          KX_IIDOF(IDispatch), reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr) || !dispatch) {
    if (owner) owner->MessageBox(LoadResString(495), nullptr, MB_OK | MB_ICONINFORMATION);
    return;
  }
  OLECHAR name[] = u"ControlPanelItem";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  if (SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 1024, &id))) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(u"inetcpl.cpl");
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    dispatch->Invoke(id, IID_NULL, 1024, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    VariantClear(&argument);
  }
  dispatch->Release();
}

void SetUpTextureButton(CTextureButton& button, UINT iconId) {
  constexpr WORD kHandCursor = 135;
  constexpr COLORREF kBlue = 0xFF0000;
  button.SetIcons(static_cast<WORD>(iconId));
  button.SetButtonCursor(kHandCursor);
  button.CreateTexture(0, 8, 10, 0, 0);
  button.SetColor(1, kBlue, TRUE);
  button.SetFlat(TRUE, FALSE);
}
