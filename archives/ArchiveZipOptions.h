// The companions of the archive wizard's contents page: its zip options (kept in the registry in their
// serialised form), the options dialog, the add button with its menu strip, and nothing else.
#pragma once

#include "platform/mfc/afxcmn.h"
#include "platform/mfc/afxwin.h"
#include "platform/mfc/carchive.h"
#include "platform/mfc/menu.h"

// Loads and saves an object's serialised form in one REG_BINARY value.
class CRegistrySerializer {
 public:
  // Binds the value name under a key of the current user; unbound, Load and Save do nothing and fail.
  void Bind(CObject* target, LPCSTR keyPath, LPCSTR valueName);
  bool Load();
  bool Save();

  CObject* m_pTarget = nullptr;
  CString m_strValueName;
  CString m_strKeyPath;
};

class CArchiveZipSettings : public CObject {
  DECLARE_SERIAL(CArchiveZipSettings)
 public:
  // Where the options are kept: the current user's wizard settings.
  static constexpr const char* kKeyPath = "Software\\Kesmora\\OfficeTolvex\\ArchiveWizard";
  static constexpr const char* kValueName = "ZipOptions";
  static constexpr int kDefaultVolumeSize = 1457500;

  CArchiveZipSettings();
  // The defaults.
  void Reset();
  // The options of the registry; false (and the defaults) when there are none or they cannot be read.
  bool Load();
  bool Save();
  // The password, then span mode, open spanned, volume size, include sub-folders and level, in that order.
  void Serialize(CArchive& ar) override;

  // -1 the library's default, 0 store, 1-9 deflate levels.
  int m_nLevel = -1;
  int m_bIncludeSubfolders = 1;
  // 0 no spanning, 1 removable disks, else numbered volume files of m_nVolumeSize bytes.
  int m_nSpanMode = 0;
  // Non-zero: an opened archive is expected to be a set of numbered volume files.
  int m_bOpenSpanned = 0;
  int m_nVolumeSize = kDefaultVolumeSize;
  CString m_strPassword;
  CRegistrySerializer m_Registry;
};

class CArchiveZipOptionsDlg : public CDialog {
 public:
  enum { IDD = 4247 };
  explicit CArchiveZipOptionsDlg(CArchiveZipSettings* settings, CWnd* pParent = nullptr);

  CArchiveZipSettings* m_pSettings;
  CStatic m_stcLevel;
  CSpinButtonCtrl m_spnLevel;
  int m_bCheck1141 = 1;
  int m_nLevel = 5;
  int m_bIncludeSubfolders = 1;

  BOOL OnInitDialog() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

// A push button with a strip on its right that opens a menu: a click on the button sends its command, a click
// on the strip shows the menu, whose commands go to the owner.
class CMenuButton : public CButton {
 public:
  static constexpr int kStripWidth = 13;

  CMenuButton() = default;
  ~CMenuButton() override;

  // Takes over the dialog's control (made owner-drawn); its clicks send id to owner.
  BOOL Attach(CWnd* owner, UINT controlId, UINT commandId);
  // A strip of square images as high as the bitmap, mask colour transparent.
  BOOL LoadImages(UINT bitmapId, COLORREF mask);
  BOOL AddMenuItem(UINT commandId, LPCSTR text, UINT flags = MF_STRING);

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

  CMenu m_menu;
  CImageList m_images;
  BOOL m_bMenuShown = FALSE;
  BOOL m_bPressed = FALSE;
  BOOL m_bImagesLoaded = FALSE;
  CWnd* m_pOwner = nullptr;
  UINT m_nCommandId = 0;

 protected:
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg void OnSysColorChange();
  DECLARE_MESSAGE_MAP()
};
