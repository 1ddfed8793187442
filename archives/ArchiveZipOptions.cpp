#include "archives/ArchiveZipOptions.h"

#include <vector>

#include "platform/mfc/cfile.h"
#include "platform/mfc/exceptions.h"
#include "platform/win32/registry.h"

namespace {

enum { IDC_LEVEL_TEXT = 1142, IDC_LEVEL_SPIN = 1019, IDC_CHECK_1141 = 1141, IDC_LEVEL = 1018, IDC_SUBFOLDERS = 1014 };

}  // namespace

// ---- registry binding ----

void CRegistrySerializer::Bind(CObject* target, LPCSTR keyPath, LPCSTR valueName) {
  m_pTarget = target;
  m_strKeyPath = keyPath ? keyPath : "";
  m_strValueName = valueName ? valueName : "";
}

bool CRegistrySerializer::Load() {
  if (!m_pTarget || m_strKeyPath.IsEmpty()) return false;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, m_strKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueEx(key, m_strValueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            type == REG_BINARY && size > 0;
  std::vector<BYTE> bytes(ok ? size : 0);
  ok = ok && RegQueryValueEx(key, m_strValueName, nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  try {
    CMemFile file(bytes.data(), size);
    CArchive ar(&file, CArchive::load, 4096);
    m_pTarget->Serialize(ar);
    return true;
  } catch (CException* e) {
    // A value that is not what this version writes: the caller keeps its defaults.
    e->Delete();
    return false;
  } catch (...) {
    return false;
  }
}

bool CRegistrySerializer::Save() {
  if (!m_pTarget || m_strKeyPath.IsEmpty()) return false;
  std::vector<BYTE> bytes;
  try {
    CMemFile file;
    {
      CArchive ar(&file, CArchive::store, 4096);
      m_pTarget->Serialize(ar);
      ar.Close();
    }
    const auto length = static_cast<UINT>(file.GetLength());
    bytes.resize(length);
    file.SeekToBegin();
    if (length && file.Read(bytes.data(), length) != length) return false;
  } catch (CException* e) {
    e->Delete();
    return false;
  } catch (...) {
    return false;
  }
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, m_strKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok = RegSetValueEx(key, m_strValueName, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())) ==
                  ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// ---- options ----

IMPLEMENT_SERIAL(CArchiveZipSettings, CObject, 1)

CArchiveZipSettings::CArchiveZipSettings() { m_Registry.Bind(this, kKeyPath, kValueName); }

void CArchiveZipSettings::Reset() {
  m_nLevel = -1;
  m_bIncludeSubfolders = 1;
  m_nSpanMode = 0;
  m_bOpenSpanned = 0;
  m_nVolumeSize = kDefaultVolumeSize;
  m_strPassword.Empty();
}

bool CArchiveZipSettings::Load() {
  if (m_Registry.Load()) {
    // Values no dialog would write: the defaults stand in for them.
    if (m_nLevel < -1 || m_nLevel > 9) m_nLevel = -1;
    if (m_nVolumeSize <= 0) m_nVolumeSize = kDefaultVolumeSize;
    return true;
  }
  Reset();
  return false;
}

bool CArchiveZipSettings::Save() { return m_Registry.Save(); }

void CArchiveZipSettings::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << m_strPassword;
    ar << static_cast<LONG>(m_nSpanMode) << static_cast<LONG>(m_bOpenSpanned) << static_cast<LONG>(m_nVolumeSize)
       << static_cast<LONG>(m_bIncludeSubfolders) << static_cast<LONG>(m_nLevel);
    return;
  }
  // Read whole before anything changes: a short value leaves the options as they were.
  CString password;
  LONG values[5] = {};
  ar >> password;
  for (LONG& v : values) ar >> v;
  m_strPassword = password;
  m_nSpanMode = values[0];
  m_bOpenSpanned = values[1];
  m_nVolumeSize = values[2];
  m_bIncludeSubfolders = values[3];
  m_nLevel = values[4];
}

// ---- options dialog ----

CArchiveZipOptionsDlg::CArchiveZipOptionsDlg(CArchiveZipSettings* settings, CWnd* pParent)
    : CDialog(IDD, pParent), m_pSettings(settings) {}

void CArchiveZipOptionsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LEVEL_TEXT, m_stcLevel);
  DDX_Control(pDX, IDC_LEVEL_SPIN, m_spnLevel);
  DDX_Check(pDX, IDC_CHECK_1141, m_bCheck1141);
  DDX_Text(pDX, IDC_LEVEL, m_nLevel);
  DDV_MinMaxInt(pDX, m_nLevel, -1, 9);
  DDX_Check(pDX, IDC_SUBFOLDERS, m_bIncludeSubfolders);
}

BOOL CArchiveZipOptionsDlg::OnInitDialog() {
  if (m_pSettings) {
    m_bIncludeSubfolders = m_pSettings->m_bIncludeSubfolders ? 1 : 0;
    m_nLevel = m_pSettings->m_nLevel;
  }
  CDialog::OnInitDialog();
  m_spnLevel.SetRange32(-1, 9);
  m_spnLevel.SetPos32(m_nLevel);
  UpdateData(FALSE);
  return TRUE;
}

void CArchiveZipOptionsDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (m_pSettings) {
    m_pSettings->m_bIncludeSubfolders = m_bIncludeSubfolders;
    m_pSettings->m_nLevel = m_nLevel;
  }
  EndDialog(IDOK);
}

// ---- add button ----

BEGIN_MESSAGE_MAP(CMenuButton, CButton)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONUP()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_MOUSEMOVE()
  ON_WM_SETFOCUS()
  ON_WM_KILLFOCUS()
  ON_WM_SYSCOLORCHANGE()
END_MESSAGE_MAP()

CMenuButton::~CMenuButton() = default;

BOOL CMenuButton::Attach(CWnd* owner, UINT controlId, UINT commandId) {
  m_pOwner = owner;
  m_nCommandId = commandId;
  if (!owner || !SubclassDlgItem(controlId, owner)) return FALSE;
  ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
  Invalidate();
  return TRUE;
}

BOOL CMenuButton::LoadImages(UINT bitmapId, COLORREF mask) {
  CBitmap bitmap;
  BITMAP info{};
  if (!bitmap.LoadBitmap(bitmapId) || !bitmap.GetBitmap(&info) || info.bmHeight <= 0) return FALSE;
  m_images.DeleteImageList();
  m_bImagesLoaded = m_images.Create(info.bmHeight, info.bmHeight, ILC_COLOR24 | ILC_MASK, 0, 1) &&
                    m_images.Add(&bitmap, mask) >= 0;
  return m_bImagesLoaded;
}

BOOL CMenuButton::AddMenuItem(UINT commandId, LPCSTR text, UINT flags) {
  if (!m_menu.GetSafeHmenu() && !m_menu.CreatePopupMenu()) return FALSE;
  return m_menu.AppendMenu(flags, commandId, text);
}

void CMenuButton::OnLButtonDown(UINT, CPoint point) {
  CRect client;
  GetClientRect(&client);
  if (point.x >= client.right - kStripWidth && m_menu.GetSafeHmenu()) {
    CRect window;
    GetWindowRect(&window);
    m_bMenuShown = TRUE;
    Invalidate();
    m_menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, window.left, window.bottom, m_pOwner ? m_pOwner : GetParent());
    m_bMenuShown = FALSE;
    Invalidate();
    return;
  }
  m_bPressed = TRUE;
  SetFocus();
  SetCapture();
  Invalidate();
}

void CMenuButton::OnLButtonDblClk(UINT nFlags, CPoint point) { OnLButtonDown(nFlags, point); }

void CMenuButton::OnLButtonUp(UINT, CPoint point) {
  if (!m_bPressed) return;
  m_bPressed = FALSE;
  ReleaseCapture();
  Invalidate();
  CRect client;
  GetClientRect(&client);
  CWnd* owner = m_pOwner ? m_pOwner : GetParent();
  if (client.PtInRect(point) && owner) owner->PostMessage(WM_COMMAND, MAKEWPARAM(m_nCommandId, BN_CLICKED),
                                                          reinterpret_cast<LPARAM>(GetSafeHwnd()));
}

void CMenuButton::OnMouseMove(UINT, CPoint point) {
  if (!m_bPressed) return;
  CRect client;
  GetClientRect(&client);
  if (!client.PtInRect(point)) {
    m_bPressed = FALSE;
    ReleaseCapture();
    Invalidate();
  }
}

void CMenuButton::OnSetFocus(CWnd* pOldWnd) {
  CButton::OnSetFocus(pOldWnd);
  Invalidate();
}

void CMenuButton::OnKillFocus(CWnd* pNewWnd) {
  CButton::OnKillFocus(pNewWnd);
  Invalidate();
}

void CMenuButton::OnSysColorChange() { Invalidate(); }

void CMenuButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
  CDC* pDC = CDC::FromHandle(lpDIS->hDC);
  CRect item(lpDIS->rcItem);
  const bool disabled = (lpDIS->itemState & ODS_DISABLED) != 0;
  const bool focused = (lpDIS->itemState & ODS_FOCUS) != 0;
  const bool down = m_bPressed || m_bMenuShown;

  CBrush face(GetSysColor(COLOR_BTNFACE));
  pDC->FillRect(&item, &face);
  if (down) {
    CBrush shadow(GetSysColor(COLOR_BTNSHADOW));
    pDC->FrameRect(&item, &shadow);
  } else {
    pDC->DrawEdge(&item, EDGE_RAISED, BF_RECT);
  }

  CRect body(item);
  body.right -= kStripWidth;
  body.DeflateRect(3, 3);
  if (down) body.OffsetRect(1, 1);
  if (m_bImagesLoaded) {
    IMAGEINFO info{};
    m_images.GetImageInfo(0, &info);
    const int size = info.rcImage.bottom - info.rcImage.top;
    CPoint at(body.left + 1, body.top + (body.Height() - size) / 2);
    m_images.Draw(pDC, 0, at, ILD_TRANSPARENT);
    body.left += size + 4;
  }
  CString text;
  GetWindowText(text);
  pDC->SetBkMode(TRANSPARENT);
  pDC->SetTextColor(GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  pDC->DrawText(text, &body, DT_SINGLELINE | DT_VCENTER | DT_LEFT);

  // The separator before the strip and its small down arrow.
  const int stripLeft = item.right - kStripWidth;
  CPen shadowPen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)), lightPen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  CPen arrowPen(PS_SOLID, 1, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  CPen* old = pDC->SelectObject(&shadowPen);
  pDC->MoveTo(stripLeft, item.top + 3);
  pDC->LineTo(stripLeft, item.bottom - 3);
  pDC->SelectObject(&lightPen);
  pDC->MoveTo(stripLeft + 1, item.top + 3);
  pDC->LineTo(stripLeft + 1, item.bottom - 3);
  pDC->SelectObject(&arrowPen);
  const int cx = stripLeft + (kStripWidth + 1) / 2, cy = item.top + item.Height() / 2 - 1;
  for (int row = 0; row < 3; ++row) {
    pDC->MoveTo(cx - 2 + row, cy + row);
    pDC->LineTo(cx + 3 - row, cy + row);
  }
  pDC->SelectObject(old);
  if (focused && !disabled) {
    CRect focus(item);
    focus.right = stripLeft;
    focus.DeflateRect(3, 3);
    pDC->DrawFocusRect(&focus);
  }
}
