// What the archive and package wizards need for their worker threads: the sheet keeps its worker and waits for
// it before its pages go, and a page that a worker reaches runs the worker's calls on its own thread, so that
// no window, list or member of the page is touched from two threads.
#pragma once

#include <functional>

#include "app/SheetWorker.h"
#include "app/WaitCursor.h"
#include "platform/mfc/propsheet.h"
#include "platform/mfc/winapp.h"

// A wizard page whose worker calls reach it from another thread: the archive wizard's pages and every results
// page (CResultsPageBase).
class CWorkerPage : public CPropertyPage {
  DECLARE_DYNAMIC(CWorkerPage)
 public:
  using CPropertyPage::CPropertyPage;

  // Runs fn on the page's thread and waits for it (at once when this is that thread or the page has no window).
  void RunOnPageThread(const std::function<void()>& fn);
  // The same with a result.
  template <class T>
  T CallOnPageThread(const std::function<T()>& fn) {
    T result{};
    RunOnPageThread([&] { result = fn(); });
    return result;
  }

 protected:
  afx_msg LRESULT OnRunOnPage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};

namespace kx::archives {

using kx::WaitCursor;

// Shows a message box for a worker: on the page's thread, owned by the page's window. The pressed button.
int WorkerMessageBox(CWorkerPage* page, LPCSTR text, UINT type);
// Sets a label's text and repaints what lies under it, so that a shorter text leaves nothing of a longer one.
void SetLabelText(CWnd& label, LPCSTR text);
// The same file, whatever the spelling of its path (compared without regard to case, as the platform's names).
bool SameFile(const CString& a, const CString& b);
// A sheet opened from a page's control zooms out of it and back into it: the control's screen rectangle and
// the animation flag, when the control is shown.
void AnchorAtControl(CWnd& page, int id, CRect& origin, BYTE& animate);
// The percentage of a position on a range as the progress labels show it: "%d%%", a value other than 100
// taken modulo 100.
CString PercentText(int position, int lower, int upper);

}  // namespace kx::archives
