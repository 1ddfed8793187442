#include "controls/FolderBrowse.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/textconv.h"

namespace {

// The item list of a root folder through the desktop folder; false when the shell cannot parse it.
bool ParseRoot(HWND owner, const CString& root, LPITEMIDLIST* pidl) {
  *pidl = nullptr;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return false;
  std::u16string wide = kx::Utf8ToUtf16(std::string(root));
  if (wide.size() >= MAX_PATH) wide.resize(MAX_PATH - 1);
  ULONG eaten = 0;
  HRESULT hr = desktop->ParseDisplayName(owner, nullptr, wide.data(), &eaten, pidl, nullptr);
  desktop->Release();
  return SUCCEEDED(hr) && *pidl;
}

// Runs the folder dialog under the root (empty: the desktop); path receives the chosen folder's path. FALSE on
// cancel, for a root the shell cannot parse and for an item without a file-system path.
BOOL RunFolderDialog(BROWSEINFO& bi, const CString& root, CString& path) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return FALSE;
  LPITEMIDLIST rootList = nullptr;
  if (!root.IsEmpty() && !ParseRoot(bi.hwndOwner, root, &rootList)) {
    allocator->Release();
    return FALSE;
  }
  bi.pidlRoot = rootList;
  BOOL chosenPath = FALSE;
  if (LPITEMIDLIST chosen = SHBrowseForFolder(&bi)) {
    char buffer[MAX_PATH] = {0};
    chosenPath = SHGetPathFromIDList(chosen, buffer);
    if (chosenPath) path = buffer;
    allocator->Free(chosen);
  }
  if (rootList) allocator->Free(rootList);
  allocator->Release();
  return chosenPath;
}

}  // namespace

// ----- folder chooser -----

BOOL CFolderBrowseDlg::DoModal(CWnd* pParent) { return Browse(pParent); }

BOOL CFolderBrowseDlg::OnSelectionChanged(LPCSTR, CString& statusText) {
  statusText.Empty();
  return TRUE;
}

BOOL CFolderBrowseDlg::Browse(CWnd* pParent) {
  // "/" stays: it is the folder, not a trailing separator.
  if (m_strInitialFolder.GetLength() > 1 && m_strInitialFolder[m_strInitialFolder.GetLength() - 1] == '/')
    m_strInitialFolder = m_strInitialFolder.Left(m_strInitialFolder.GetLength() - 1);
  char display[MAX_PATH] = {0};
  BROWSEINFO bi{};
  bi.hwndOwner = pParent ? pParent->GetSafeHwnd() : nullptr;
  bi.pszDisplayName = display;
  bi.lpszTitle = m_strTitle;
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | (m_bStatusText ? BIF_STATUSTEXT : 0);
  bi.lpfn = &CFolderBrowseDlg::BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(this);
  BOOL chosen = RunFolderDialog(bi, m_strRoot, m_strFolder);
  m_nImage = bi.iImage;
  return chosen;
}

int CALLBACK CFolderBrowseDlg::BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
  auto* self = reinterpret_cast<CFolderBrowseDlg*>(data);
  if (msg == BFFM_INITIALIZED) {
    if (!self->m_strInitialFolder.IsEmpty())
      ::SendMessage(hwnd, BFFM_SETSELECTION, TRUE, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(self->m_strInitialFolder)));
    if (!self->m_strCaption.IsEmpty()) ::SetWindowText(hwnd, self->m_strCaption);
  } else if (msg == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {0};
    if (!SHGetPathFromIDList(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) path[0] = 0;
    CString status;
    BOOL enable = self->OnSelectionChanged(path, status);
    if (self->m_bStatusText)
      ::SendMessage(hwnd, BFFM_SETSTATUSTEXT, 0, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(status)));
    ::SendMessage(hwnd, BFFM_ENABLEOK, 0, enable);
  }
  return 0;
}

// ----- lighter folder chooser -----

BOOL CFolderBrowser::Browse(CString& result) {
  result.Empty();
  char display[MAX_PATH] = {0};
  BROWSEINFO bi{};
  bi.hwndOwner = m_hWndOwner;
  bi.pszDisplayName = display;
  bi.lpszTitle = m_strTitle;
  bi.ulFlags = m_uFlags;
  bi.lpfn = &CFolderBrowser::BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&m_strInitialSelection);
  RunFolderDialog(bi, m_strRoot, result);
  m_nImage = bi.iImage;
  return !result.IsEmpty();
}

int CALLBACK CFolderBrowser::BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
  if (msg == BFFM_INITIALIZED) {
    auto* initial = reinterpret_cast<const CString*>(data);
    if (initial && !initial->IsEmpty())
      ::SendMessage(hwnd, BFFM_SETSELECTION, TRUE, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(*initial)));
  } else if (msg == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {0};
    if (SHGetPathFromIDList(reinterpret_cast<LPCITEMIDLIST>(lParam), path))
      ::SendMessage(hwnd, BFFM_SETSTATUSTEXT, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

// ----- folder deletion -----

void CDirectoryCleaner::DeleteDirectory(LPCSTR path) {
  if (!path || !*path) return;
  std::string folder(path);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Never the whole file system, however it is named ("/", "//", "/tmp/..").
  char resolved[PATH_MAX];
  if (folder == "/" || (realpath(folder.c_str(), resolved) && std::string(resolved) == "/")) return;
  struct stat st{};
  if (lstat(folder.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    // A link to a folder goes, not what it points to.
    if (S_ISLNK(st.st_mode)) unlink(folder.c_str());
    return;
  }
  std::vector<std::string> subfolders;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string full = folder + "/" + name;
      struct stat es{};
      if (lstat(full.c_str(), &es) != 0) continue;
      if (S_ISDIR(es.st_mode)) subfolders.push_back(full);
      else unlink(full.c_str());
    }
    closedir(dir);
  }
  for (const std::string& sub : subfolders) DeleteDirectory(sub.c_str());
  rmdir(folder.c_str());
}
