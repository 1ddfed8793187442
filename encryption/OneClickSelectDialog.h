// Lists the one-click preset files of the preset folder so that the user can pick one, or so that a caller can
// look a preset up by name without showing anything.
#pragma once

#include "formats/FileManager.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/dialog.h"

class COneClickSelectDialog : public CDialog {
 public:
  enum { IDD = 1020 };
  explicit COneClickSelectDialog(CWnd* pParentWnd = nullptr);

  // Reads the preset folder (value OneClickFolder of "Software\Kesmora\OfficeTolvex\OneClickManager") and
  // opens its "*.clk" files; the number of preset files found.
  int ScanPresetFolder();
  // The presets a list would show, without a list: m_PresetPaths and, with m_bShowAll, m_PresetNames.
  void LoadPresetList();
  // The path of the selected row; out is left as it was when no row is selected.
  void GetSelectedPresetPath(CString& out) const;
  // The path of the first preset of that name (compared without regard to case).
  bool FindPresetPath(const char* name, CString& out) const;

  CFileManager m_FileManager;
  BYTE m_bShowAll = 1;
  // -1 none, else the preset kind to list when m_bShowAll is 0.
  int m_nOperation = -1;
  CStringArray m_PresetPaths;
  int m_nSelected = 0;
  CStringArray m_PresetNames;
};
