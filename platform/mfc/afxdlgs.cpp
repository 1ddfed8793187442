// The framework's common dialogs.
#include "platform/mfc/afxdlgs.h"

#include <algorithm>
#include <cstring>
#include <mutex>

IMPLEMENT_DYNAMIC(CCommonDialog, CDialog)
IMPLEMENT_DYNAMIC(CFileDialog, CCommonDialog)
IMPLEMENT_DYNAMIC(CColorDialog, CCommonDialog)

CCommonDialog::CCommonDialog(CWnd* pParentWnd) { m_pParentWnd = pParentWnd; }

HWND CCommonDialog::OwnerWindow() const { return CWnd::GetSafeOwner_(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, nullptr); }

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt, LPCSTR lpszFileName, DWORD dwFlags,
                         LPCSTR lpszFilter, CWnd* pParentWnd, DWORD)
    : CCommonDialog(pParentWnd), m_bOpenFileDialog(bOpenFileDialog) {
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof m_szFileName;
  m_ofn.lpstrFileTitle = m_szFileTitle;
  m_ofn.nMaxFileTitle = sizeof m_szFileTitle;
  m_ofn.Flags = dwFlags | OFN_EXPLORER;
  if (lpszDefExt) {
    m_defExt = lpszDefExt;
    m_ofn.lpstrDefExt = m_defExt.c_str();
  }
  if (lpszFileName) {
    size_t n = std::min(std::strlen(lpszFileName), sizeof m_szFileName - 1);
    std::memcpy(m_szFileName, lpszFileName, n);
  }
  if (lpszFilter) {
    // "|" separates the pieces; the list ends with an empty piece.
    m_filter = lpszFilter;
    std::replace(m_filter.begin(), m_filter.end(), '|', '\0');
    m_filter.push_back('\0');
    m_filter.push_back('\0');
    m_ofn.lpstrFilter = m_filter.data();
  }
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = OwnerWindow();
  BOOL ok = m_bOpenFileDialog ? ::GetOpenFileName(&m_ofn) : ::GetSaveFileName(&m_ofn);
  if (!ok && ::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
    // The choice did not fit the caller's buffer: it is kept whole in a buffer of this object.
    WORD offset = 0, extension = 0;
    if (!kx::LastFileDialogResult(&m_overflow, &offset, &extension)) return IDCANCEL;
    m_ofn.lpstrFile = m_overflow.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_overflow.size());
    m_ofn.nFileOffset = offset;
    m_ofn.nFileExtension = extension;
    ok = TRUE;
  }
  return ok ? IDOK : IDCANCEL;
}

POSITION CFileDialog::GetStartPosition() const {
  return m_ofn.lpstrFile && m_ofn.lpstrFile[0] ? reinterpret_cast<POSITION>(m_ofn.lpstrFile) : nullptr;
}

CString CFileDialog::GetNextPathName(POSITION& pos) const {
  auto* at = reinterpret_cast<LPSTR>(pos);
  if (!at) return CString();
  if (at == m_ofn.lpstrFile) {
    // One full path, or the folder followed by the names.
    size_t len = std::strlen(at);
    if (!(m_ofn.Flags & OFN_ALLOWMULTISELECT) || at[len + 1] == '\0') {
      pos = nullptr;
      return CString(at);
    }
    at += len + 1;
  }
  CString folder(m_ofn.lpstrFile);
  CString name(at);
  at += std::strlen(at) + 1;
  pos = *at ? reinterpret_cast<POSITION>(at) : nullptr;
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == '/') return folder + name;
  return folder + "/" + name;
}

CString CFileDialog::GetPathName() const {
  POSITION pos = GetStartPosition();
  return GetNextPathName(pos);
}

CString CFileDialog::GetFileName() const {
  CString path = GetPathName();
  int slash = path.ReverseFind('/');
  return slash >= 0 ? path.Mid(slash + 1) : path;
}

CString CFileDialog::GetFileExt() const {
  CString name = GetFileName();
  int dot = name.ReverseFind('.');
  return dot >= 0 ? name.Mid(dot + 1) : CString();
}

CString CFileDialog::GetFileTitle() const {
  CString name = GetFileName();
  int dot = name.ReverseFind('.');
  return dot >= 0 ? name.Left(dot) : name;
}

CString CFileDialog::GetFolderPath() const {
  CString path = GetPathName();
  int slash = path.ReverseFind('/');
  if (slash < 0) return CString();
  return slash == 0 ? CString("/") : path.Left(slash);
}

COLORREF* CColorDialog::GetSavedCustomColors() {
  static COLORREF colors[16];
  static std::once_flag once;
  std::call_once(once, [] { std::fill(std::begin(colors), std::end(colors), RGB(255, 255, 255)); });
  return colors;
}

CColorDialog::CColorDialog(COLORREF clrInit, DWORD dwFlags, CWnd* pParentWnd) : CCommonDialog(pParentWnd) {
  m_cc.lStructSize = sizeof m_cc;
  m_cc.lpCustColors = GetSavedCustomColors();
  m_cc.Flags = dwFlags;
  m_cc.rgbResult = clrInit;
  if (clrInit) m_cc.Flags |= CC_RGBINIT;
}

INT_PTR CColorDialog::DoModal() {
  m_cc.hwndOwner = OwnerWindow();
  return ::ChooseColor(&m_cc) ? IDOK : IDCANCEL;
}
