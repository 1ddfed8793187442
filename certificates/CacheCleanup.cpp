#include "certificates/CacheCleanup.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32/files.h"

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// Deletes the files below the folder (links as files); returns how many entries there were. Folders named
// "Cookies" are passed over.
int DeleteCacheEntries(const std::string& folder) {
  int entries = 0;
  for (const std::string& name : Names(folder)) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (strcasecmp(name.c_str(), "Cookies") != 0) entries += DeleteCacheEntries(path);
      continue;
    }
    ++entries;
    unlink(path.c_str());
  }
  return entries;
}

}  // namespace

BOOL GetSpecialFolderPath(HWND owner, LPSTR path, int folderId) {
  return SHGetSpecialFolderPath(owner, path, folderId, FALSE);
}

BOOL ClearUrlCache() {
  char cache[MAX_PATH] = {};
  if (!GetSpecialFolderPath(nullptr, cache, CSIDL_INTERNET_CACHE)) return FALSE;
  return DeleteCacheEntries(cache) > 0;
}

BOOL DeleteFolderContents(LPCSTR folder, BOOL deleteDesktopIni) {
  if (!folder || !*folder) return FALSE;
  std::string base(folder);
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  DIR* probe = opendir(base.c_str());
  if (!probe) return FALSE;
  closedir(probe);
  for (const std::string& name : Names(base)) {
    if (!deleteDesktopIni && strcasecmp(name.c_str(), "desktop.ini") == 0) continue;
    const std::string path = base + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    // A read-only entry is made writable first.
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) chmod(path.c_str(), st.st_mode | S_IWUSR);
    if (S_ISDIR(st.st_mode)) {
      DeleteFolderContents(path.c_str(), deleteDesktopIni);
      rmdir(path.c_str());  // a folder that kept a "desktop.ini" stays
    } else {
      unlink(path.c_str());
    }
  }
  return TRUE;
}

void ClearCertificateCaches() {
  ClearUrlCache();
  char cache[MAX_PATH] = {};
  if (GetSpecialFolderPath(nullptr, cache, CSIDL_INTERNET_CACHE)) DeleteFolderContents(cache, FALSE);
  char temp[260] = {};
  if (GetTempPathA(sizeof temp, temp)) {
    std::string own = std::string(temp) + kLibraryTempFolder;
    DeleteFolderContents(own.c_str(), TRUE);
  }
}
