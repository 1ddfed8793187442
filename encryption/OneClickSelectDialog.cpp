#include "encryption/OneClickSelectDialog.h"

#include "core/SettingsStore.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/cfile.h"
#include "platform/win32/files.h"
#include "platform/win32/registry.h"

COneClickSelectDialog::COneClickSelectDialog(CWnd* pParentWnd) : CDialog(IDD, pParentWnd) {}

int COneClickSelectDialog::ScanPresetFolder() {
  CHiveSettings settings("Software\\Kesmora\\OfficeTolvex");
  settings.UseCurrentUser();
  CString folder;
  settings.GetString("OneClickManager", "OneClickFolder", folder, "");
  m_FileManager.Reset();
  CString pattern = folder + (folder.Right(1) == "/" ? "*.*" : "/*.*");
  WIN32_FIND_DATA data;
  HANDLE find = FindFirstFile(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  FindClose(find);
  m_FileManager.ScanFolderEx(folder, "*.clk", 4, 0, true);
  return static_cast<int>(m_FileManager.GetPathList().GetCount());
}

void COneClickSelectDialog::LoadPresetList() {
  m_PresetPaths.RemoveAll();
  m_PresetNames.RemoveAll();
  int n = ScanPresetFolder();
  const CFileObjectArray& objects = m_FileManager.GetFileObjectList();
  for (DWORD i = 0; i < static_cast<DWORD>(n) && i < objects.GetCount(); ++i) {
    auto* preset = dynamic_cast<COneClickFile*>(objects.GetAt(i));
    if (!preset) continue;
    int kind = preset->GetOptions()[0];
    bool eligible = kind == 0 || ((kind >= 1 && kind <= 3) && preset->m_oneClickRecord.IsSignerInMyStore());
    CFileStatus status;
    CString path = preset->GetFilePath().GetAnsi();
    if (!eligible || !CFile::GetStatus(path, status)) continue;
    if (!m_bShowAll && (m_nOperation == -1 || m_nOperation != kind)) continue;
    m_PresetPaths.Add(path);
    if (m_bShowAll) m_PresetNames.Add(preset->m_info.m_strText3);
  }
}

void COneClickSelectDialog::GetSelectedPresetPath(CString& out) const {
  if (m_nSelected >= 0 && m_nSelected < m_PresetPaths.GetSize()) out = m_PresetPaths[m_nSelected];
}

bool COneClickSelectDialog::FindPresetPath(const char* name, CString& out) const {
  for (INT_PTR i = 0; i < m_PresetNames.GetSize() && i < m_PresetPaths.GetSize(); ++i) {
    if (m_PresetNames[i].CompareNoCase(name ? name : "") == 0) {
      out = m_PresetPaths[i];
      return true;
    }
  }
  return false;
}
