#include "encryption/OneClickPresetList.h"

#include "app/ResString.h"
#include "controls/ReportListCtrl.h"
#include "encryption/OneClickPresets.h"
#include "encryption/OneClickViewSheet.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/afxwin.h"
#include "platform/mfc/cfile.h"

struct COneClickPresetList::Row {
  CString path;
  CString name;
  int kind = -1;
  CFileStatus status{};
};

int COneClickPresetList::ScanPresetFolder() { return kx::oneclick::ScanPresetFolder(m_FileManager); }

void COneClickPresetList::SelectRows(const std::function<void(const Row&)>& take) {
  const int n = ScanPresetFolder();
  const CFileObjectArray& objects = m_FileManager.GetFileObjectList();
  for (DWORD i = 0; i < static_cast<DWORD>(n) && i < objects.GetCount(); ++i) {
    auto* preset = dynamic_cast<COneClickFile*>(objects.GetAt(i));
    if (!preset) continue;
    Row row;
    row.kind = preset->GetOptions()[0];
    // A signing preset is usable only with the user's own digital IDs.
    const bool eligible = row.kind == 0 || (row.kind >= 1 && row.kind <= 3 && preset->m_oneClickRecord.IsSignerInMyStore());
    row.path = preset->GetFilePath().GetAnsi() ? preset->GetFilePath().GetAnsi() : "";
    if (!eligible || !CFile::GetStatus(row.path, row.status)) continue;
    if (!m_bShowAll && (m_nOperation == -1 || m_nOperation != row.kind)) continue;
    row.name = preset->m_info.m_strText3;
    take(row);
  }
}

void COneClickPresetList::LoadPresetList() {
  m_PresetPaths.RemoveAll();
  m_PresetNames.RemoveAll();
  SelectRows([this](const Row& row) {
    m_PresetPaths.Add(row.path);
    if (m_bShowAll) m_PresetNames.Add(row.name);
  });
}

void COneClickPresetList::FillPresetList(CReportListCtrl& list) {
  m_PresetPaths.RemoveAll();
  list.DeleteAllItems();
  CStringList names, kinds, dates, sizes;
  CUIntArray images;
  std::vector<bool> marks;
  SelectRows([&](const Row& row) {
    m_PresetPaths.Add(row.path);
    names.AddTail(row.name);
    static const UINT kKinds[] = {502, 505, 506, 508};
    kinds.AddTail(row.kind >= 0 && row.kind <= 3 ? LoadResString(kKinds[row.kind]) : CString());
    dates.AddTail(row.status.m_mtime.Format("%d %B, %Y"));
    CString size;
    size.Format("%ld %s", static_cast<long>(row.status.m_size), static_cast<const char*>(LoadResString(511)));
    sizes.AddTail(size);
    images.Add(2);
    marks.push_back(row.status.m_size != 0);
  });
  CStringList headings;
  for (UINT id : {469u, 513u, 274u, 514u}) headings.AddTail(LoadResString(id));
  list.SetHeadings(headings);
  list.SetColumnData(0, names);
  list.SetColumnData(1, kinds);
  list.SetColumnData(2, dates);
  list.SetColumnData(3, sizes);
  list.SetItemImages(images);
  list.SetItemStates(images);
  list.Populate();
  const int widths[4] = {150, 120, 100, 100};
  for (int c = 0; c < 4; ++c) list.SetColumnWidth(c, widths[c]);
  for (size_t i = 0; i < marks.size(); ++i) list.SetRowMark(static_cast<int>(i), marks[i] ? 1 : 0, 0, 0);
  if (list.GetItemCount() > 0 && m_nSelected >= 0)
    list.SetItemState(m_nSelected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  list.SetFocus();
}

void COneClickPresetList::GetSelectedPresetPath(CString& out) const {
  if (m_nSelected >= 0 && m_nSelected < m_PresetPaths.GetSize()) out = m_PresetPaths[m_nSelected];
}

bool COneClickPresetList::FindPresetPath(const char* name, CString& out) const {
  for (INT_PTR i = 0; i < m_PresetNames.GetSize() && i < m_PresetPaths.GetSize(); ++i) {
    if (m_PresetNames[i].CompareNoCase(name ? name : "") == 0) {
      out = m_PresetPaths[i];
      return true;
    }
  }
  return false;
}

void COneClickPresetList::ViewSelectedPreset(CWnd* button, HWND notify) {
  if (m_nSelected < 0 || m_nSelected >= m_PresetPaths.GetSize()) return;
  // Owned by the window of the button, which stays disabled while the viewer is shown.
  CWnd* owner = button && button->GetSafeHwnd() ? button->GetTopLevelParent() : nullptr;
  COneClickViewSheet sheet(LoadResString(548), owner ? owner : AfxGetMainWnd(), 0);
  if (button && button->GetSafeHwnd() && button->IsWindowVisible()) {
    button->GetWindowRect(&sheet.m_rcOrigin);
    sheet.m_bAnimate = 1;
  }
  GetSelectedPresetPath(sheet.m_strPresetPath);
  sheet.m_hNotifyWnd = notify;
  sheet.DoModal();
}
