#include "app/UserFolders.h"

#include "core/SettingsStore.h"
#include "platform/win32/files.h"

CString GetDocumentsFolder() {
  char windows[260] = "";
  GetWindowsDirectory(windows, sizeof windows);
  CHiveSettings explorer("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
  explorer.UseCurrentUser();
  CString documents;
  explorer.GetString("Shell Folders", "Personal", documents, windows);
  return documents;
}

CString RecordOneClickFolder(const CString& documents) {
  if (documents.IsEmpty()) return CString();
  CString folder = documents + (documents.Right(1) == "/" ? "" : "/") + "My OneClick Settings";
  CHiveSettings suite("Software\\Kesmora\\OfficeTolvex");
  suite.UseCurrentUser();
  suite.SetString("OneClickManager", "OneClickFolder", folder);
  return folder;
}
