#include "app/FailureReport.h"

#include "engine/CapicomErrors.h"
#include "formats/AuditLog.h"
#include "platform/mfc/afxwin.h"

namespace kx {

CString EngineText(HRESULT hr) {
  CBstrString text = GetCapicomErrorMessage(hr);
  return text.GetAnsi() ? CString(text.GetAnsi()) : CString();
}

CString EngineText(const _com_error& error) {
  const _bstr_t description = error.Description();
  const char* own = static_cast<const char*>(description);
  return own && *own ? CString(own) : EngineText(error.Error());
}

CString LogFailure(const char* operation, const CString& text) {
  CAuditLog log;
  log.Load();
  log.LogError(operation, text);
  return text;
}

void ReportFailure(CWnd* owner, const char* operation, const CString& text) {
  LogFailure(operation, text);
  if (owner) AfxMessageBox(text, MB_OK | MB_ICONSTOP);
}

}  // namespace kx
