#include "app/MapiMailer.h"

#include <cstring>
#include <vector>

#include "platform/mfc/afxwin.h"
#include "platform/services/mapi.h"
#include "platform/win32/modules.h"

CMapiMailer::~CMapiMailer() {
  if (m_hMapi) FreeLibrary(m_hMapi);
}

void CMapiMailer::ActivateOwner(CWnd* owner) {
  if (owner && owner->GetSafeHwnd()) owner->SetActiveWindow();
}

BOOL CMapiMailer::SendFiles(const CStringArray& paths) {
  HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  struct CursorBack {
    HCURSOR cursor;
    ~CursorBack() { SetCursor(cursor); }
  } cursorBack{previous};

  if (!m_hMapi) m_hMapi = LoadLibraryA("MAPI32.DLL");
  if (!m_hMapi) return FALSE;
  auto send = reinterpret_cast<LPMAPISENDMAIL>(GetProcAddress(m_hMapi, "MAPISendMail"));
  if (!send) return FALSE;

  const int count = static_cast<int>(paths.GetSize());
  std::vector<CString> names(count);
  std::vector<MapiFileDesc> files(count);
  for (int i = 0; i < count; ++i) {
    const CString& path = paths.GetAt(i);
    const int slash = path.ReverseFind('/');
    names[i] = slash >= 0 ? path.Mid(slash + 1) : path;
    MapiFileDesc& f = files[i];
    memset(&f, 0, sizeof f);
    f.nPosition = static_cast<ULONG>(-1);
    f.lpszPathName = const_cast<LPSTR>(static_cast<LPCSTR>(path));
    f.lpszFileName = const_cast<LPSTR>(static_cast<LPCSTR>(names[i]));
  }
  MapiMessage message;
  memset(&message, 0, sizeof message);
  message.nFileCount = static_cast<ULONG>(count);
  message.lpFiles = count ? files.data() : nullptr;

  // The owner stays disabled while the mail program's dialog runs, as under any modal dialog.
  HWND top = nullptr;
  CWnd* owner = CWnd::GetSafeOwner(nullptr, &top);
  if (top && ::IsWindowEnabled(top)) ::EnableWindow(top, FALSE);
  else top = nullptr;
  if (owner) {
    owner->EnableWindow(FALSE);
    owner->SetCapture();
  }
  ::SetFocus(nullptr);

  const ULONG result = send(0, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
  ::ReleaseCapture();

  if (owner) {
    owner->EnableWindow(TRUE);
    ::SetActiveWindow(nullptr);
    ActivateOwner(owner);
    owner->SetFocus();
  }
  if (top) ::EnableWindow(top, TRUE);
  // A cancelled compose window is the user's choice; a failed log-on means the mail was not sent.
  return result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT;
}
