// The list of one-click presets shared by the chooser dialog and the manager page: the presets of the preset
// folder that the user can run (an encrypting preset always; a signing one when its signers are the user's
// own digital IDs), filtered by operation kind unless every one is to be shown.
#pragma once

#include <functional>

#include "formats/FileManager.h"
#include "platform/mfc/collections.h"

class CReportListCtrl;
class CWnd;

class COneClickPresetList {
 public:
  COneClickPresetList() = default;
  virtual ~COneClickPresetList() = default;

  // The number of preset files of the preset folder (the user's value OneClickFolder), opened and kept in
  // m_FileManager.
  int ScanPresetFolder();
  // The rows a list would show, without a list: m_PresetPaths and, with m_bShowAll, m_PresetNames.
  void LoadPresetList();
  // The list filled with the rows (name, operation, date, size); the selected row selected.
  void FillPresetList(CReportListCtrl& list);
  // The path of the selected row; out is left as it was when no row is selected.
  void GetSelectedPresetPath(CString& out) const;
  // The path of the first preset of that name (compared without regard to case).
  bool FindPresetPath(const char* name, CString& out) const;
  // Shows the selected preset in the viewer, opened out of the button (when it is visible), with the
  // application's main window as parent; notify, when given, is told of a deletion.
  void ViewSelectedPreset(CWnd* button, HWND notify = nullptr);

  CFileManager m_FileManager;
  BYTE m_bShowAll = 1;
  // -1 none, else the kind (0 encrypt, 1 sign, 2 sign and encrypt, 3 countersign) listed when m_bShowAll is 0.
  int m_nOperation = -1;
  CStringArray m_PresetPaths;
  int m_nSelected = 0;
  CStringArray m_PresetNames;

 private:
  struct Row;
  // The rows chosen from the scanned presets, in folder order.
  void SelectRows(const std::function<void(const Row&)>& take);
};
