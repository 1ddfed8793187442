// Emptying the caches from which stale certificates and revocation lists could be served: the URL cache, a
// shell special folder's path, and the contents of a folder tree.
#pragma once

#include "platform/mfc/afxwin.h"

// The file-system path of a shell special folder (CSIDL value) into path (at least MAX_PATH characters).
BOOL GetSpecialFolderPath(HWND owner, LPSTR path, int folderId);
// Deletes the entries of the user's URL cache (the files below the Internet cache folder), keeping cookies
// (the entries of its "Cookies" folder); FALSE when the cache holds no entry.
BOOL ClearUrlCache();
// Deletes everything below the folder and keeps the folder; "desktop.ini" files (any letter case) are kept
// unless deleteDesktopIni. Links are removed, never followed. FALSE when the folder cannot be read.
BOOL DeleteFolderContents(LPCSTR folder, BOOL deleteDesktopIni);
// What Clear caches does: the URL cache, the Internet cache folder (keeping "desktop.ini"), and the
// library's own temporary folder under the temporary path (not the shared temporary path itself).
void ClearCertificateCaches();

// The library's own folder under the temporary path.
inline constexpr const char* kLibraryTempFolder = "KXCESRA23592";
