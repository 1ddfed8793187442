#include "archives/ArchiveSheet.h"

#include <sys/stat.h>
#include <unistd.h>

#include "app/ResString.h"
#include "archives/ProtectedArchive.h"
#include "platform/mfc/afxwin.h"

IMPLEMENT_DYNAMIC(CArchiveSheet, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CArchiveSheet, SHEET_CLASS(CBaseSheet), "Archive Wizard", 1, 8258, 8255)

BEGIN_MESSAGE_MAP(CArchiveSheet, CBaseSheet)
  ON_WM_ACTIVATE()
END_MESSAGE_MAP()

namespace {

// Removes a regular file the wizard made for itself.
void RemoveTemporary(const CString& path) {
  struct stat st {};
  if (!path.IsEmpty() && ::lstat(path, &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path);
}

}  // namespace

CArchiveSheet::CArchiveSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {}

CArchiveSheet::~CArchiveSheet() {
  m_Worker.End();
  // The temporary zip archive is a plain copy of what the user wanted protected: a run consumes it, and
  // whatever ends the wizard otherwise must not leave it behind.
  try {
    if (!m_ZipPage.m_Zip.IsClosed()) m_ZipPage.m_Zip.Close();
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
    // The temporary copy is removed below all the same; the wizard is ending, so there is nothing to show.
  }
  RemoveTemporary(m_Data.m_strZipPath);
  kx::archives::RemoveProtectedCopy(m_strOpenedCopy);
}

BOOL CArchiveSheet::AddPages() {
  m_imlTabs.Create(16, 16, 0, 1, 1);
  m_imlPageIcons.Create(32, 32, ILC_COLOR24 | ILC_MASK, 0, 5);
  const CString title = LoadResString(5252);
  CPropertyPage* pages[] = {&m_MainPage, &m_SelPage, &m_ZipPage, &m_RunPage};
  for (CPropertyPage* page : pages) {
    page->m_psp.dwFlags |= PSP_HASHELP;
    AddTabPage(page);
    HICON icon = AfxGetApp() ? AfxGetApp()->LoadIcon(page == &m_MainPage ? 171 : 141) : nullptr;
    if (icon) m_imlTabs.Add(icon);
    m_astrTabTitles.Add(title);
  }
  return TRUE;
}

CArchiveSheet* CArchiveSheet::FromArgument(LPVOID argument) {
  auto* object = static_cast<CObject*>(argument);
  return object && object->IsKindOf(RUNTIME_CLASS(CArchiveSheet)) ? static_cast<CArchiveSheet*>(object) : nullptr;
}

bool CArchiveSheet::StartWorker(AFX_THREADPROC proc) {
  EnableCancel(FALSE);
  if (m_Worker.Start(proc, this)) return true;
  EnableCancel(TRUE);
  return false;
}

void CArchiveSheet::EnableCancel(BOOL enable) {
  if (!GetSafeHwnd()) return;
  if (CWnd* cancel = GetDlgItem(IDCANCEL)) cancel->EnableWindow(enable);
}

void CArchiveSheet::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
  CBaseSheet::OnActivate(nState, pWndOther, bMinimized);
}
