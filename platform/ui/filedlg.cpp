// The open and save file dialogs over the real file system.
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/commdlg.h"
#include "platform/ui/ctlcommon.h"
#include "platform/ui/dlgbuild.h"
#include "platform/win32/textconv.h"

namespace fs = std::filesystem;

namespace {

thread_local DWORD g_error = 0;
struct LastResult {
  bool valid = false;
  std::string text;
  WORD offset = 0, extension = 0;
};
thread_local LastResult g_last;

struct Entry {
  std::string name;
  bool dir = false;
  uintmax_t size = 0;
  time_t mtime = 0;
};

struct Filter {
  std::string label;
  std::vector<std::string> patterns;
};

struct FileDialog {
  OPENFILENAMEA* ofn = nullptr;
  bool save = false;
  bool multi = false;
  std::string folder;
  std::vector<Filter> filters;
  int filter = 0;
  std::string typedPattern;  // a pattern typed into the name box replaces the filter's
  std::vector<Entry> entries;
  std::vector<std::string> chosen;  // names in `folder`
  bool settingName = false;
};

FileDialog* StateOf(HWND dlg) { return reinterpret_cast<FileDialog*>(GetWindowLongPtr(dlg, DWLP_USER)); }

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string DlgText(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  int n = GetWindowTextLength(c);
  std::string s(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
  GetWindowText(c, s.data(), static_cast<int>(s.size()));
  s.resize(static_cast<size_t>(std::max(n, 0)));
  return s;
}

std::vector<Filter> ParseFilters(LPCSTR spec) {
  std::vector<Filter> out;
  if (spec) {
    const char* p = spec;
    while (*p) {
      std::string label = p;
      p += label.size() + 1;
      if (!*p) break;
      std::string pats = p;
      p += pats.size() + 1;
      Filter f;
      f.label = label;
      size_t start = 0;
      while (start <= pats.size()) {
        size_t semi = pats.find(';', start);
        std::string one = Trim(pats.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (!one.empty()) f.patterns.push_back(one);
        if (semi == std::string::npos) break;
        start = semi + 1;
      }
      out.push_back(f);
    }
  }
  if (out.empty()) out.push_back(Filter{"All Files", {"*"}});
  return out;
}

bool Matches(const std::string& name, const std::vector<std::string>& patterns) {
  for (std::string p : patterns) {
    // "*.*" means every file, with or without an extension.
    if (p == "*.*") p = "*";
    if (fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0) return true;
  }
  return false;
}

// The default extension without the "*." or "." some callers put in front of it.
std::string DefaultExtension(LPCSTR def) {
  std::string e = def ? def : "";
  while (!e.empty() && (e[0] == '*' || e[0] == '.')) e.erase(0, 1);
  return e.find_first_of("*?/") == std::string::npos ? e : std::string();
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string Normalize(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(path), ec);
  std::string s = ec ? path : p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool IsDir(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs::path(path), ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

HIMAGELIST MakeIcons() {
  // A yellow folder and a white page, drawn once.
  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 2);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 32, 16);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT all{0, 0, 32, 16};
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(dc, &all, magenta);
  DeleteObject(magenta);
  HBRUSH yellow = CreateSolidBrush(RGB(240, 200, 80));
  HGDIOBJ ob = SelectObject(dc, yellow);
  HGDIOBJ op = SelectObject(dc, GetStockObject(BLACK_PEN));
  POINT tab[] = {{1, 3}, {6, 3}, {7, 4}, {14, 4}, {14, 13}, {1, 13}};
  Polygon(dc, tab, 6);
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  POINT page[] = {{19, 1}, {27, 1}, {30, 4}, {30, 14}, {19, 14}};
  Polygon(dc, page, 5);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(yellow);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  ImageList_AddMasked(il, bm, RGB(255, 0, 255));
  DeleteObject(bm);
  return il;
}

const std::vector<std::string>& ActivePatterns(FileDialog* s) {
  static const std::vector<std::string> none;
  static thread_local std::vector<std::string> typed;
  if (!s->typedPattern.empty()) {
    typed = {s->typedPattern};
    return typed;
  }
  if (s->filter >= 0 && s->filter < static_cast<int>(s->filters.size())) return s->filters[static_cast<size_t>(s->filter)].patterns;
  return none;
}

void FillList(HWND dlg, FileDialog* s) {
  s->entries.clear();
  std::error_code ec;
  bool showHidden = s->ofn->Flags & OFN_FORCESHOWHIDDEN;
  for (fs::directory_iterator it(fs::path(s->folder), fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    Entry e;
    e.name = it->path().filename().string();
    if (!showHidden && !e.name.empty() && e.name[0] == '.') continue;
    std::error_code ec2;
    e.dir = it->is_directory(ec2);
    if (!e.dir) {
      if (!Matches(e.name, ActivePatterns(s))) continue;
      e.size = it->is_regular_file(ec2) ? it->file_size(ec2) : 0;
    }
    struct stat st{};
    if (::stat(it->path().c_str(), &st) == 0) e.mtime = st.st_mtime;
    s->entries.push_back(e);
  }
  std::sort(s->entries.begin(), s->entries.end(), [](const Entry& a, const Entry& b) {
    if (a.dir != b.dir) return a.dir;
    int c = lstrcmpi(a.name.c_str(), b.name.c_str());
    return c != 0 ? c < 0 : a.name < b.name;
  });
  HWND list = GetDlgItem(dlg, KX_FD_LIST);
  SendMessage(list, WM_SETREDRAW, FALSE, 0);
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < s->entries.size(); ++i) {
    const Entry& e = s->entries[i];
    LVITEMA it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    it.iItem = static_cast<int>(i);
    it.pszText = const_cast<char*>(e.name.c_str());
    it.iImage = e.dir ? 0 : 1;
    it.lParam = static_cast<LPARAM>(i);
    SendMessage(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    char size[32] = "", when[32] = "";
    if (!e.dir) std::snprintf(size, sizeof size, "%llu KB", static_cast<unsigned long long>((e.size + 1023) / 1024));
    struct tm tmv{};
    if (e.mtime && localtime_r(&e.mtime, &tmv)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tmv);
    LVITEMA sub{};
    sub.iSubItem = 1;
    sub.pszText = size;
    SendMessage(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&sub));
    sub.iSubItem = 2;
    sub.pszText = when;
    SendMessage(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&sub));
  }
  SendMessage(list, WM_SETREDRAW, TRUE, 0);
  SetDlgItemText(dlg, KX_FD_LOOKIN, s->folder.c_str());
  EnableWindow(GetDlgItem(dlg, KX_FD_UP), s->folder != "/");
}

bool Navigate(HWND dlg, FileDialog* s, const std::string& target) {
  std::string path = Normalize(target);
  if (!IsDir(path) || ::access(path.c_str(), R_OK | X_OK) != 0) {
    std::string msg = path + "\nThe folder cannot be opened.";
    MessageBox(dlg, msg.c_str(), s->save ? "Save As" : "Open", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  s->folder = path;
  FillList(dlg, s);
  return true;
}

std::vector<int> SelectedRows(HWND dlg) {
  HWND list = GetDlgItem(dlg, KX_FD_LIST);
  std::vector<int> rows;
  int i = -1;
  while ((i = static_cast<int>(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0)
    rows.push_back(i);
  return rows;
}

const Entry* EntryOfRow(HWND dlg, FileDialog* s, int row) {
  LVITEMA it{};
  it.mask = LVIF_PARAM;
  it.iItem = row;
  if (!SendMessage(GetDlgItem(dlg, KX_FD_LIST), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  size_t k = static_cast<size_t>(it.lParam);
  return k < s->entries.size() ? &s->entries[k] : nullptr;
}

// The selected files show in the name box: one name as it is, several in quotes.
void SelectionToName(HWND dlg, FileDialog* s) {
  std::vector<std::string> names;
  for (int row : SelectedRows(dlg))
    if (const Entry* e = EntryOfRow(dlg, s, row); e && !e->dir) names.push_back(e->name);
  if (names.empty()) return;
  std::string text;
  if (names.size() == 1) {
    text = names[0];
  } else {
    for (const std::string& n : names) text += (text.empty() ? "\"" : " \"") + n + "\"";
  }
  s->settingName = true;
  SetDlgItemText(dlg, KX_FD_NAME, text.c_str());
  s->settingName = false;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> out;
  if (text.empty() || text[0] != '"') {
    out.push_back(text);
    return out;
  }
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find('"', i);
    if (open == std::string::npos) break;
    size_t close = text.find('"', open + 1);
    if (close == std::string::npos) close = text.size();
    std::string n = text.substr(open + 1, close - open - 1);
    if (!n.empty()) out.push_back(n);
    i = close + 1;
  }
  return out;
}

void Say(HWND dlg, FileDialog* s, const std::string& text, UINT type = MB_OK | MB_ICONEXCLAMATION) {
  MessageBox(dlg, text.c_str(), s->ofn->lpstrTitle ? s->ofn->lpstrTitle : (s->save ? "Save As" : "Open"), type);
}

// The OK button: go into a folder, take a typed pattern as the filter, or check and take the files.
void OnOk(HWND dlg, FileDialog* s) {
  std::string text = Trim(DlgText(dlg, KX_FD_NAME));
  if (text.empty()) {
    std::vector<int> rows = SelectedRows(dlg);
    if (rows.size() == 1)
      if (const Entry* e = EntryOfRow(dlg, s, rows[0]); e && e->dir) Navigate(dlg, s, Join(s->folder, e->name));
    return;
  }
  std::vector<std::string> names = SplitNames(text);
  if (names.size() == 1) {
    std::string name = names[0];
    if (name == "~" || name.rfind("~/", 0) == 0) {
      const char* home = getenv("HOME");
      name = std::string(home ? home : "/") + name.substr(1);
    }
    std::string path = Join(s->folder, name);
    if (IsDir(path)) {
      if (Navigate(dlg, s, path)) SetDlgItemText(dlg, KX_FD_NAME, "");
      return;
    }
    if (name.find_first_of("*?") != std::string::npos) {
      s->typedPattern = name;
      FillList(dlg, s);
      return;
    }
    names[0] = name;
  }
  if (names.size() > 1 && !s->multi) {
    Say(dlg, s, text + "\nThe file name is not valid.");
    return;
  }
  std::string ext = DefaultExtension(s->ofn->lpstrDefExt);
  std::vector<std::string> paths;
  for (std::string n : names) {
    std::string path = Join(s->folder, n);
    std::string base = fs::path(path).filename().string();
    if (s->save && !ext.empty() && base.find('.') == std::string::npos && !Exists(path)) path += "." + ext;
    std::string dir = fs::path(path).parent_path().string();
    if (!IsDir(dir.empty() ? "/" : dir)) {
      Say(dlg, s, path + "\nThe path does not exist.\nCheck the path and try again.");
      return;
    }
    if (IsDir(path)) {
      Say(dlg, s, path + "\nThe name is a folder.");
      return;
    }
    if (!s->save && (s->ofn->Flags & OFN_FILEMUSTEXIST) && !Exists(path)) {
      Say(dlg, s, path + "\nFile not found.\nCheck the file name and try again.");
      return;
    }
    paths.push_back(Normalize(path));
  }
  if (s->save && (s->ofn->Flags & OFN_OVERWRITEPROMPT) && Exists(paths[0])) {
    std::string q = paths[0] + " already exists.\nDo you want to replace it?";
    if (MessageBox(dlg, q.c_str(), s->ofn->lpstrTitle ? s->ofn->lpstrTitle : "Save As", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
      return;
  }
  // Several files come from one folder.
  std::string folder = fs::path(paths[0]).parent_path().string();
  if (folder.empty()) folder = "/";
  for (const std::string& p : paths) {
    std::string f = fs::path(p).parent_path().string();
    if ((f.empty() ? "/" : f) != folder) {
      Say(dlg, s, p + "\nSeveral files must come from one folder.");
      return;
    }
  }
  s->folder = folder;
  s->chosen.clear();
  for (const std::string& p : paths) s->chosen.push_back(fs::path(p).filename().string());
  if (HWND ro = GetDlgItem(dlg, KX_FD_READONLY); ro && IsDlgButtonChecked(dlg, KX_FD_READONLY)) s->ofn->Flags |= OFN_READONLY;
  EndDialog(dlg, IDOK);
}

void Activate(HWND dlg, FileDialog* s, int row) {
  const Entry* e = EntryOfRow(dlg, s, row);
  if (!e) return;
  if (e->dir) {
    if (Navigate(dlg, s, Join(s->folder, e->name))) SetDlgItemText(dlg, KX_FD_NAME, "");
    return;
  }
  s->settingName = true;
  SetDlgItemText(dlg, KX_FD_NAME, e->name.c_str());
  s->settingName = false;
  OnOk(dlg, s);
}

INT_PTR CALLBACK FileDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* s = reinterpret_cast<FileDialog*>(lp);
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      SetProp(dlg, KX_FILEDIALOG_PROP, reinterpret_cast<HANDLE>(1));
      HWND list = GetDlgItem(dlg, KX_FD_LIST);
      SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(MakeIcons()));
      const char* heads[] = {"Name", "Size", "Modified"};
      const int widths[] = {220, 70, 135};
      for (int c = 0; c < 3; ++c) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = c == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.cx = widths[c];
        col.pszText = const_cast<char*>(heads[c]);
        SendMessage(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
      }
      HWND type = GetDlgItem(dlg, KX_FD_TYPE);
      for (const Filter& f : s->filters) SendMessage(type, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.label.c_str()));
      SendMessage(type, CB_SETCURSEL, static_cast<WPARAM>(s->filter), 0);
      FillList(dlg, s);
      std::string initial = s->ofn->lpstrFile ? std::string(s->ofn->lpstrFile) : std::string();
      if (!initial.empty() && initial.find('/') != std::string::npos) initial = fs::path(initial).filename().string();
      SetDlgItemText(dlg, KX_FD_NAME, initial.c_str());
      SetFocus(GetDlgItem(dlg, KX_FD_NAME));
      SendDlgItemMessage(dlg, KX_FD_NAME, EM_SETSEL, 0, -1);
      return FALSE;
    }
    case WM_COMMAND: {
      FileDialog* s = StateOf(dlg);
      if (!s) return FALSE;
      switch (LOWORD(wp)) {
        case IDOK:
          OnOk(dlg, s);
          return TRUE;
        case IDCANCEL:
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        case KX_FD_UP:
          if (HIWORD(wp) == BN_CLICKED) Navigate(dlg, s, fs::path(s->folder).parent_path().string());
          return TRUE;
        case KX_FD_TYPE:
          if (HIWORD(wp) == CBN_SELCHANGE) {
            s->filter = static_cast<int>(SendDlgItemMessage(dlg, KX_FD_TYPE, CB_GETCURSEL, 0, 0));
            s->typedPattern.clear();
            FillList(dlg, s);
          }
          return TRUE;
        default:
          return FALSE;
      }
    }
    case WM_NOTIFY: {
      FileDialog* s = StateOf(dlg);
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (!s || !hdr || hdr->idFrom != KX_FD_LIST || hdr->hwndFrom != GetDlgItem(dlg, KX_FD_LIST)) return FALSE;
      if (hdr->code == LVN_ITEMCHANGED) {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((nm->uChanged & LVIF_STATE) && ((nm->uNewState ^ nm->uOldState) & LVIS_SELECTED)) SelectionToName(dlg, s);
      } else if (hdr->code == NM_DBLCLK || hdr->code == LVN_ITEMACTIVATE) {
        auto* nm = reinterpret_cast<NMITEMACTIVATE*>(lp);
        if (nm->iItem >= 0 && hdr->code == NM_DBLCLK) Activate(dlg, s, nm->iItem);
      } else if (hdr->code == NM_RETURN) {
        std::vector<int> rows = SelectedRows(dlg);
        if (rows.size() == 1) Activate(dlg, s, rows[0]);
        else OnOk(dlg, s);
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

BOOL RunFileDialog(LPOPENFILENAME ofn, bool save) {
  g_error = 0;
  g_last = LastResult{};
  if (!ofn || ofn->lStructSize < offsetof(OPENFILENAMEA, pvReserved)) {
    g_error = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
    g_error = CDERR_INITIALIZATION;
    return FALSE;
  }
  FileDialog s;
  s.ofn = ofn;
  s.save = save;
  s.multi = !save && (ofn->Flags & OFN_ALLOWMULTISELECT);
  s.filters = ParseFilters(ofn->lpstrFilter);
  s.filter = ofn->nFilterIndex >= 1 ? static_cast<int>(ofn->nFilterIndex) - 1 : 0;
  if (s.filter >= static_cast<int>(s.filters.size())) s.filter = 0;
  // The folder: the one of an initial name with a path, else the initial folder, else the current one.
  std::string initial(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
  std::string start;
  if (initial.find('/') != std::string::npos) {
    std::string dir = fs::path(initial).parent_path().string();
    if (IsDir(dir.empty() ? "/" : dir)) start = dir.empty() ? "/" : dir;
  }
  if (start.empty() && ofn->lpstrInitialDir && IsDir(ofn->lpstrInitialDir)) start = ofn->lpstrInitialDir;
  if (start.empty()) {
    char cwd[4096];
    start = getcwd(cwd, sizeof cwd) ? cwd : "/";
  }
  s.folder = Normalize(start);

  kx::DialogTemplate t = kx::dlg::Dialog(ofn->lpstrTitle ? ofn->lpstrTitle : (save ? "Save As" : "Open"), 300,
                                         (ofn->Flags & OFN_HIDEREADONLY) ? 180 : 192);
  using kx::dlg::Item;
  t.items.push_back(Item(WC_STATICA, "Look &in:", -1, 7, 8, 40, 8, SS_LEFT));
  t.items.push_back(Item(WC_EDITA, "", KX_FD_LOOKIN, 50, 6, 198, 12, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL));
  t.items.push_back(Item(WC_BUTTONA, "&Up", KX_FD_UP, 253, 5, 40, 14, WS_TABSTOP));
  t.items.push_back(Item(WC_LISTVIEWA, "", KX_FD_LIST, 7, 24, 286, 108,
                         WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | (s.multi ? 0 : LVS_SINGLESEL)));
  t.items.push_back(Item(WC_STATICA, "File &name:", KX_FD_NAMELABEL, 7, 142, 50, 8, SS_LEFT));
  t.items.push_back(Item(WC_EDITA, "", KX_FD_NAME, 60, 140, 172, 12, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL));
  t.items.push_back(Item(WC_STATICA, "Files of &type:", KX_FD_TYPELABEL, 7, 160, 50, 8, SS_LEFT));
  t.items.push_back(Item(WC_COMBOBOXA, "", KX_FD_TYPE, 60, 158, 172, 100, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST));
  t.items.push_back(Item(WC_BUTTONA, save ? "&Save" : "&Open", IDOK, 240, 139, 53, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  t.items.push_back(Item(WC_BUTTONA, "Cancel", IDCANCEL, 240, 157, 53, 14, WS_TABSTOP));
  if (!(ofn->Flags & OFN_HIDEREADONLY))
    t.items.push_back(Item(WC_BUTTONA, "Open as &read-only", KX_FD_READONLY, 60, 176, 120, 10, WS_TABSTOP | BS_AUTOCHECKBOX));
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, ofn->hwndOwner, FileDlgProc, reinterpret_cast<LPARAM>(&s));
  if (r == -1) {
    g_error = CDERR_DIALOGFAILURE;
    return FALSE;
  }
  if (r != IDOK || s.chosen.empty()) return FALSE;
  ofn->nFilterIndex = static_cast<DWORD>(s.filter + 1);
  // The result: one full path, or the folder and the names.
  std::string out;
  WORD offset = 0, extension = 0;
  std::string first = Join(s.folder, s.chosen[0]);
  if (s.multi && s.chosen.size() > 1) {
    out = s.folder;
    out.push_back('\0');
    offset = static_cast<WORD>(out.size());
    for (const std::string& n : s.chosen) {
      out += n;
      out.push_back('\0');
    }
  } else {
    out = first;
    out.push_back('\0');
    size_t slash = first.rfind('/');
    offset = static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = first.rfind('.');
    extension = static_cast<WORD>(dot != std::string::npos && dot > offset ? dot + 1 : 0);
  }
  if (s.multi) out.push_back('\0');
  g_last = LastResult{true, out, offset, extension};
  if (out.size() > ofn->nMaxFile) {
    g_error = FNERR_BUFFERTOOSMALL;
    if (ofn->nMaxFile >= 2) {
      WORD need = static_cast<WORD>(std::min<size_t>(out.size(), 0xFFFF));
      std::memcpy(ofn->lpstrFile, &need, sizeof need);
    }
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, out.data(), out.size());
  ofn->nFileOffset = offset;
  ofn->nFileExtension = extension;
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
    std::string title = s.chosen[0];
    size_t n = std::min<size_t>(title.size(), ofn->nMaxFileTitle - 1);
    std::memcpy(ofn->lpstrFileTitle, title.data(), n);
    ofn->lpstrFileTitle[n] = '\0';
  }
  std::string ext = DefaultExtension(ofn->lpstrDefExt);
  if (!ext.empty() && extension && !kx::EqualNoCase(first.substr(extension), ext)) ofn->Flags |= OFN_EXTENSIONDIFFERENT;
  return TRUE;
}

}  // namespace

void kx::dlg::SetCommonDialogError(DWORD code) { g_error = code; }

DWORD CommDlgExtendedError() { return g_error; }

bool kx::LastFileDialogResult(std::string* result, WORD* fileOffset, WORD* fileExtension) {
  if (!g_last.valid) return false;
  if (result) *result = g_last.text;
  if (fileOffset) *fileOffset = g_last.offset;
  if (fileExtension) *fileExtension = g_last.extension;
  return true;
}

BOOL GetOpenFileName(LPOPENFILENAME ofn) { return RunFileDialog(ofn, false); }
BOOL GetSaveFileName(LPOPENFILENAME ofn) { return RunFileDialog(ofn, true); }

short GetFileTitle(LPCSTR file, LPSTR title, WORD size) {
  if (!file) return -1;
  std::string name = fs::path(file).filename().string();
  if (name.empty()) return -1;
  if (!title || size < name.size() + 1) return static_cast<short>(name.size() + 1);
  std::memcpy(title, name.c_str(), name.size() + 1);
  return 0;
}
