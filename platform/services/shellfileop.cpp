#include "platform/services/shellfileop.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/errors.h"
#include "platform/win32/files.h"

namespace {

std::vector<std::string> SplitList(LPCSTR list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (const char* p = list; *p; p += out.back().size() + 1) out.emplace_back(p);
  return out;
}

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool HasWildcard(const std::string& path) {
  return BaseName(path).find_first_of("*?") != std::string::npos;
}

bool Exists(const std::string& path, struct stat* st = nullptr) {
  struct stat s;
  return lstat(path.c_str(), st ? st : &s) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The absolute form with links resolved; a missing tail is kept as written below its existing folder.
std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer)) return buffer;
  std::string folder = DirName(path);
  if (folder == path) return path;
  return Join(Resolved(folder), BaseName(path));
}

bool IsInside(const std::string& path, const std::string& folder) {
  std::string p = Resolved(path), f = Resolved(folder);
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && (f == "/" || p[f.size()] == '/'));
}

DWORD Errno() { return kx::Win32ErrorFromErrno(errno); }

// Calls visit(name) for every entry of the folder but "." and ".."; stops at the first error it answers.
template <class Visit>
DWORD ForEachEntry(const std::string& folder, Visit visit) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return Errno();
  DWORD result = 0;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if ((result = visit(name))) break;
  }
  closedir(dir);
  return result;
}

struct Item {
  std::string source;
  bool folder = false;
  std::string target;
};

// Every source, its wildcards expanded; ERROR_FILE_NOT_FOUND when one is missing or matches nothing.
DWORD Expand(const std::vector<std::string>& from, FILEOP_FLAGS flags, std::vector<Item>& items, bool& wildcard) {
  wildcard = false;
  for (const std::string& source : from) {
    if (!HasWildcard(source)) {
      if (!Exists(source)) return ERROR_FILE_NOT_FOUND;
      items.push_back({source, IsFolder(source), ""});
      continue;
    }
    wildcard = true;
    std::string folder = DirName(source), pattern = BaseName(source);
    size_t before = items.size();
    if (ForEachEntry(folder, [&](const std::string& name) {
          if (!kx::MatchDosPattern(pattern.c_str(), name.c_str())) return DWORD{0};
          std::string path = source.find('/') == std::string::npos ? name : Join(folder, name);
          bool isFolder = IsFolder(path);
          if (!(isFolder && (flags & FOF_FILESONLY))) items.push_back({path, isFolder, ""});
          return DWORD{0};
        }))
      return ERROR_FILE_NOT_FOUND;
    if (items.size() == before) return ERROR_FILE_NOT_FOUND;
  }
  return items.empty() ? ERROR_INVALID_PARAMETER : 0;
}

DWORD MakeFolders(const std::string& folder) {
  if (folder.empty() || IsFolder(folder)) return 0;
  std::string parent = DirName(folder);
  if (parent != folder) {
    if (DWORD e = MakeFolders(parent)) return e;
  }
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return Errno();
  return IsFolder(folder) ? 0 : ERROR_ALREADY_EXISTS;
}

// The file is copied under a temporary name beside the target and renamed over it once complete.
DWORD CopyOneFile(const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char link[PATH_MAX];
    ssize_t n = readlink(from.c_str(), link, sizeof link - 1);
    if (n < 0) return Errno();
    link[n] = 0;
    unlink(to.c_str());
    return symlink(link, to.c_str()) == 0 ? 0 : Errno();
  }
  char temp[MAX_PATH];
  if (!GetTempFileName(DirName(to).c_str(), "kxc", 0, temp)) return GetLastError();
  if (!CopyFile(from.c_str(), temp, FALSE)) {
    DWORD e = GetLastError();
    unlink(temp);
    return e;
  }
  if (rename(temp, to.c_str()) != 0) {
    DWORD e = Errno();
    unlink(temp);
    return e;
  }
  return 0;
}

DWORD CopyTree(const std::string& from, const std::string& to) {
  if (!IsFolder(from)) return CopyOneFile(from, to);
  if (DWORD e = MakeFolders(to)) return e;
  return ForEachEntry(from, [&](const std::string& name) {
    struct stat st;
    std::string source = Join(from, name);
    if (lstat(source.c_str(), &st) != 0) return DWORD{0};
    return S_ISDIR(st.st_mode) ? CopyTree(source, Join(to, name)) : CopyOneFile(source, Join(to, name));
  });
}

// Removes a file, a link (not what it points to) or a folder with everything in it.
DWORD DeleteTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return Errno();
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0 ? 0 : Errno();
  if (DWORD e = ForEachEntry(path, [&](const std::string& name) { return DeleteTree(Join(path, name)); })) return e;
  return rmdir(path.c_str()) == 0 ? 0 : Errno();
}

DWORD MoveOne(const Item& item) {
  if (rename(item.source.c_str(), item.target.c_str()) == 0) return 0;
  // Another file system, or a folder merged into an existing one: copy, then remove the source.
  if (errno != EXDEV && errno != ENOTEMPTY && errno != EEXIST && errno != EISDIR) return Errno();
  if (DWORD e = CopyTree(item.source, item.target)) return e;
  return DeleteTree(item.source);
}

bool ReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributes(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Targets of a copy or move, each checked before anything changes.
DWORD PlanTargets(const SHFILEOPSTRUCTA& op, std::vector<Item>& items, bool wildcard, size_t listed,
                  std::string& createFolder) {
  std::vector<std::string> to = SplitList(op.pTo);
  if (to.empty()) return ERROR_INVALID_PARAMETER;
  if (op.fFlags & FOF_MULTIDESTFILES) {
    if (wildcard || to.size() != listed || to.size() != items.size()) return DE_MANYDEST;
    for (size_t i = 0; i < items.size(); ++i)
      items[i].target = IsFolder(to[i]) ? Join(to[i], BaseName(items[i].source)) : to[i];
  } else {
    if (to.size() != 1) return DE_MANYDEST;
    const std::string& dest = to[0];
    if (items.size() > 1 || wildcard) {
      if (Exists(dest) && !IsFolder(dest)) return DE_FLDDESTISFILE;
      if (!Exists(dest)) createFolder = dest;
      for (Item& item : items) item.target = Join(dest, BaseName(item.source));
    } else {
      items[0].target = IsFolder(dest) ? Join(dest, BaseName(items[0].source)) : dest;
    }
  }
  const bool replace = op.fFlags & FOF_NOCONFIRMATION;
  for (const Item& item : items) {
    if (Resolved(item.source) == Resolved(item.target)) return DE_SAMEFILE;
    if (item.folder && IsInside(item.target, item.source)) return DE_DESTSUBTREE;
    struct stat st;
    if (!Exists(item.target, &st)) continue;
    if (item.folder && !S_ISDIR(st.st_mode)) return DE_FLDDESTISFILE;
    if (!item.folder && S_ISDIR(st.st_mode)) return DE_FILEDESTISFLD;
    if (!replace) return ERROR_ALREADY_EXISTS;
  }
  return 0;
}

int CopyOrMove(SHFILEOPSTRUCTA& op, std::vector<Item>& items, bool wildcard, size_t listed) {
  std::string createFolder;
  if (DWORD e = PlanTargets(op, items, wildcard, listed, createFolder)) return static_cast<int>(e);
  if (DWORD e = MakeFolders(createFolder)) return static_cast<int>(e);
  bool started = false;
  for (const Item& item : items) {
    // A read-only file being replaced gives way: the user agreed to every replacement.
    if (!item.folder && Exists(item.target) && ReadOnly(item.target))
      SetFileAttributes(item.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD e = op.wFunc == FO_COPY ? CopyTree(item.source, item.target) : MoveOne(item);
    if (e) {
      op.fAnyOperationsAborted = started;
      return static_cast<int>(e);
    }
    started = true;
  }
  return 0;
}

int Delete(SHFILEOPSTRUCTA& op, const std::vector<Item>& items) {
  if (op.fFlags & FOF_ALLOWUNDO) return ERROR_NOT_SUPPORTED;
  const bool confirmed = op.fFlags & FOF_NOCONFIRMATION;
  for (const Item& item : items)
    if (!item.folder && ReadOnly(item.source) && !confirmed) return ERROR_ACCESS_DENIED;
  bool started = false;
  for (const Item& item : items) {
    if (DWORD e = DeleteTree(item.source)) {
      op.fAnyOperationsAborted = started;
      return static_cast<int>(e);
    }
    started = true;
  }
  return 0;
}

int Rename(const std::vector<std::string>& from, const SHFILEOPSTRUCTA& op) {
  std::vector<std::string> to = SplitList(op.pTo);
  if (from.size() != 1) return DE_MANYSRC1DEST;
  if (to.size() != 1) return to.empty() ? ERROR_INVALID_PARAMETER : DE_MANYDEST;
  if (HasWildcard(from[0]) || HasWildcard(to[0])) return ERROR_INVALID_PARAMETER;
  if (!Exists(from[0])) return ERROR_FILE_NOT_FOUND;
  std::string target = to[0].find('/') == std::string::npos ? Join(DirName(from[0]), to[0]) : to[0];
  if (Resolved(DirName(target)) != Resolved(DirName(from[0]))) return DE_DIFFDIR;
  if (Resolved(target) == Resolved(from[0])) return DE_SAMEFILE;
  if (Exists(target)) return ERROR_ALREADY_EXISTS;
  return rename(from[0].c_str(), target.c_str()) == 0 ? 0 : static_cast<int>(Errno());
}

}  // namespace

int SHFileOperationA(LPSHFILEOPSTRUCTA op) {
  if (!op) return ERROR_INVALID_PARAMETER;
  op->fAnyOperationsAborted = FALSE;
  op->hNameMappings = nullptr;
  std::vector<std::string> from = SplitList(op->pFrom);
  if (from.empty()) return ERROR_INVALID_PARAMETER;
  if (op->wFunc == FO_RENAME) return Rename(from, *op);
  if (op->wFunc != FO_COPY && op->wFunc != FO_MOVE && op->wFunc != FO_DELETE) return ERROR_INVALID_PARAMETER;
  std::vector<Item> items;
  bool wildcard = false;
  if (DWORD e = Expand(from, op->fFlags, items, wildcard)) return static_cast<int>(e);
  if (op->wFunc == FO_DELETE) return Delete(*op, items);
  return CopyOrMove(*op, items, wildcard, from.size());
}
