#include "app/WizardWorker.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

namespace {

// A function for the page's own thread, sent by a worker.
constexpr UINT WM_RUN_ON_PAGE = WM_APP + 0x152;

}  // namespace

IMPLEMENT_DYNAMIC(CWorkerPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CWorkerPage, CPropertyPage)
  ON_MESSAGE(WM_RUN_ON_PAGE, OnRunOnPage)
END_MESSAGE_MAP()

void CWorkerPage::RunOnPageThread(const std::function<void()>& fn) {
  HWND page = GetSafeHwnd();
  if (page && ::IsWindow(page) && GetWindowThreadProcessId(page, nullptr) != GetCurrentThreadId()) {
    ::SendMessage(page, WM_RUN_ON_PAGE, 0, reinterpret_cast<LPARAM>(&fn));
    return;
  }
  fn();
}

LRESULT CWorkerPage::OnRunOnPage(WPARAM, LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

namespace kx::archives {

int WorkerMessageBox(CWorkerPage* page, LPCSTR text, UINT type) {
  const CString message(text ? text : "");
  int answer = 0;
  page->RunOnPageThread([&] { answer = AfxMessageBox(message, type); });
  return answer;
}

void SetLabelText(CWnd& label, LPCSTR text) {
  if (!label.GetSafeHwnd()) return;
  label.SetWindowText(text);
  if (CWnd* parent = label.GetParent()) {
    CRect area;
    label.GetWindowRect(&area);
    parent->ScreenToClient(&area);
    parent->InvalidateRect(&area, TRUE);
  }
  label.Invalidate();
}

bool SameFile(const CString& a, const CString& b) {
  if (a.CompareNoCase(b) == 0) return true;
  char ra[PATH_MAX] = {}, rb[PATH_MAX] = {};
  return realpath(a, ra) && realpath(b, rb) && strcmp(ra, rb) == 0;
}

void AnchorAtControl(CWnd& page, int id, CRect& origin, BYTE& animate) {
  CWnd* control = page.GetSafeHwnd() ? page.GetDlgItem(id) : nullptr;
  if (!control || !control->IsWindowVisible()) return;
  control->GetWindowRect(&origin);
  animate = 1;
}

CString PercentText(int position, int lower, int upper) {
  int percent = 0;
  if (upper != lower)
    percent = static_cast<int>((static_cast<long long>(position) - lower) * 100 / (static_cast<long long>(upper) - lower));
  if (percent != 100) percent %= 100;
  CString text;
  text.Format("%d%c", percent, '%');
  return text;
}

}  // namespace kx::archives
