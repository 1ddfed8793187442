// Folder browsing: the folder dialog (a tree of folders filled as it is opened), item lists of paths, and the
// desktop folder's parsing of paths.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/commdlg.h"
#include "platform/ui/ctlcommon.h"
#include "platform/ui/dlgbuild.h"
#include "platform/ui/shlobj.h"
#include "platform/win32/stateroot.h"
#include "platform/win32/textconv.h"

namespace fs = std::filesystem;

namespace {

// An item list holds one item: a marker, a kind (0 the desktop, 1 a path) and the path.
constexpr char kMarker[4] = {'K', 'X', 'F', 'S'};

LPITEMIDLIST MakePidl(bool desktop, const std::string& path) {
  size_t cb = 2 + sizeof kMarker + 1 + path.size() + 1;
  auto* p = static_cast<BYTE*>(CoTaskMemAlloc(cb + 2));
  if (!p) return nullptr;
  USHORT c = static_cast<USHORT>(cb);
  std::memcpy(p, &c, 2);
  std::memcpy(p + 2, kMarker, sizeof kMarker);
  p[2 + sizeof kMarker] = desktop ? 0 : 1;
  std::memcpy(p + 3 + sizeof kMarker, path.c_str(), path.size() + 1);
  USHORT end = 0;
  std::memcpy(p + cb, &end, 2);
  return reinterpret_cast<LPITEMIDLIST>(p);
}

// The path of an item list of ours; false for the desktop, an empty list or a foreign one.
bool PidlPath(LPCITEMIDLIST pidl, std::string* path, bool* desktop = nullptr) {
  if (!pidl) return false;
  const auto* p = reinterpret_cast<const BYTE*>(pidl);
  USHORT cb;
  std::memcpy(&cb, p, 2);
  if (cb < 2 + sizeof kMarker + 2 || std::memcmp(p + 2, kMarker, sizeof kMarker) != 0) {
    if (desktop) *desktop = cb == 0;
    return false;
  }
  bool isDesktop = p[2 + sizeof kMarker] == 0;
  if (desktop) *desktop = isDesktop;
  if (isDesktop) return false;
  *path = std::string(reinterpret_cast<const char*>(p + 3 + sizeof kMarker),
                      strnlen(reinterpret_cast<const char*>(p + 3 + sizeof kMarker), cb - 3 - sizeof kMarker));
  return true;
}

std::string Clean(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsDir(const std::string& p) {
  std::error_code ec;
  return fs::is_directory(fs::path(p), ec);
}

bool HasSubfolder(const std::string& path, bool files) {
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(path), fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (!n.empty() && n[0] == '.') continue;
    std::error_code ec2;
    if (files || it->is_directory(ec2)) return true;
  }
  return false;
}

struct Node {
  std::string path;  // empty: the desktop
  std::string name;
  bool filled = false;
};

struct FolderDialog {
  BROWSEINFOA* bi = nullptr;
  std::vector<Node> nodes;
  bool ready = false;  // the callback hears of selections from BFFM_INITIALIZED on
  bool selChanged = false;
  HTREEITEM chosen = nullptr;
  int chosenNode = -1;
};

FolderDialog* StateOf(HWND dlg) { return reinterpret_cast<FolderDialog*>(GetWindowLongPtr(dlg, DWLP_USER)); }

HTREEITEM AddNode(HWND tree, FolderDialog* s, HTREEITEM parent, const std::string& path, const std::string& name, bool kids) {
  s->nodes.push_back(Node{path, name, false});
  TVINSERTSTRUCTA ins{};
  ins.hParent = parent ? parent : TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  ins.item.pszText = const_cast<char*>(name.c_str());
  ins.item.lParam = static_cast<LPARAM>(s->nodes.size() - 1);
  ins.item.cChildren = kids ? 1 : 0;
  return reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
}

int NodeIndex(HWND tree, HTREEITEM item) {
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!item || !SendMessage(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return -1;
  return static_cast<int>(it.lParam);
}

void Fill(HWND tree, FolderDialog* s, HTREEITEM item) {
  int k = NodeIndex(tree, item);
  if (k < 0 || s->nodes[static_cast<size_t>(k)].filled) return;
  s->nodes[static_cast<size_t>(k)].filled = true;
  std::string path = s->nodes[static_cast<size_t>(k)].path;
  if (path.empty()) return;
  bool files = s->bi->ulFlags & BIF_BROWSEINCLUDEFILES;
  std::vector<std::pair<std::string, bool>> found;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(path), fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (n.empty() || n[0] == '.') continue;
    std::error_code ec2;
    bool dir = it->is_directory(ec2);
    if (dir || files) found.emplace_back(n, dir);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    if (a.second != b.second) return a.second;
    int c = lstrcmpi(a.first.c_str(), b.first.c_str());
    return c != 0 ? c < 0 : a.first < b.first;
  });
  for (const auto& [n, dir] : found) {
    std::string child = path == "/" ? "/" + n : path + "/" + n;
    AddNode(tree, s, item, child, n, dir && HasSubfolder(child, files));
  }
}

// Opens the tree along a path and selects the folder; false when the tree cannot reach it.
bool SelectPath(HWND dlg, FolderDialog* s, std::string path) {
  HWND tree = GetDlgItem(dlg, KX_BF_TREE);
  path = Clean(path);
  if (!IsDir(path)) {
    std::error_code ec;
    if (!fs::exists(fs::path(path), ec) || !(s->bi->ulFlags & BIF_BROWSEINCLUDEFILES)) return false;
  }
  // Start from the deepest top item whose folder holds the path.
  HTREEITEM best = nullptr;
  size_t bestLen = 0;
  std::vector<HTREEITEM> queue{reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0))};
  while (!queue.empty()) {
    HTREEITEM it = queue.back();
    queue.pop_back();
    for (; it; it = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(it)))) {
      int k = NodeIndex(tree, it);
      if (k < 0) continue;
      const std::string& np = s->nodes[static_cast<size_t>(k)].path;
      if (np.empty()) {
        Fill(tree, s, it);
        queue.push_back(reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(it))));
        continue;
      }
      bool under = path == np || (np == "/" ? path[0] == '/' : path.rfind(np + "/", 0) == 0);
      if (under && np.size() >= bestLen) {
        best = it;
        bestLen = np.size();
      }
    }
  }
  if (!best) return false;
  HTREEITEM cur = best;
  for (;;) {
    int k = NodeIndex(tree, cur);
    std::string np = s->nodes[static_cast<size_t>(k)].path;
    if (np == path) break;
    Fill(tree, s, cur);
    std::string rest = path.substr(np == "/" ? 1 : np.size() + 1);
    std::string next = rest.substr(0, rest.find('/'));
    HTREEITEM child = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(cur)));
    while (child && s->nodes[static_cast<size_t>(NodeIndex(tree, child))].name != next)
      child = reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
    if (!child) return false;
    cur = child;
  }
  SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(cur));
  SendMessage(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(cur));
  return true;
}

void Callback(HWND dlg, FolderDialog* s, UINT msg, LPARAM lp) {
  if (s->bi->lpfn) s->bi->lpfn(dlg, msg, lp, s->bi->lParam);
}

void SelectionChanged(HWND dlg, FolderDialog* s, HTREEITEM item) {
  HWND tree = GetDlgItem(dlg, KX_BF_TREE);
  int k = NodeIndex(tree, item);
  const Node* n = k >= 0 ? &s->nodes[static_cast<size_t>(k)] : nullptr;
  bool fs = n && !n->path.empty();
  if (s->bi->ulFlags & (BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS)) EnableWindow(GetDlgItem(dlg, IDOK), fs);
  else EnableWindow(GetDlgItem(dlg, IDOK), n != nullptr);
  if (HWND edit = GetDlgItem(dlg, KX_BF_EDIT)) SetWindowText(edit, n ? n->name.c_str() : "");
  if (!s->ready) return;
  s->selChanged = true;
  LPITEMIDLIST pidl = n ? MakePidl(!fs, n ? n->path : std::string()) : nullptr;
  Callback(dlg, s, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl));
  CoTaskMemFree(pidl);
}

std::string Wide(LPARAM lp) {
  auto* w = reinterpret_cast<const char16_t*>(lp);
  if (!w) return std::string();
  size_t n = 0;
  while (w[n]) ++n;
  return kx::Utf16ToUtf8(w, n);
}

INT_PTR CALLBACK FolderDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* s = reinterpret_cast<FolderDialog*>(lp);
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      SetProp(dlg, KX_FOLDERDIALOG_PROP, reinterpret_cast<HANDLE>(1));
      HWND tree = GetDlgItem(dlg, KX_BF_TREE);
      bool files = s->bi->ulFlags & BIF_BROWSEINCLUDEFILES;
      std::string root;
      HTREEITEM top;
      if (PidlPath(s->bi->pidlRoot, &root) && IsDir(root)) {
        root = Clean(root);
        std::string name = fs::path(root).filename().string();
        top = AddNode(tree, s, nullptr, root, name.empty() ? root : name, HasSubfolder(root, files));
      } else {
        top = AddNode(tree, s, nullptr, std::string(), "Desktop", true);
        s->nodes[0].filled = true;
        const char* home = getenv("HOME");
        if (home && IsDir(home)) AddNode(tree, s, top, Clean(home), "Home", HasSubfolder(home, files));
        std::string docs = kx::DocumentsDir();
        if (!docs.empty() && IsDir(docs) && (!home || Clean(docs) != Clean(home)))
          AddNode(tree, s, top, Clean(docs), "Documents", HasSubfolder(docs, files));
        AddNode(tree, s, top, "/", "File System", true);
      }
      SendMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
      SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(top));
      s->ready = true;
      s->selChanged = false;
      Callback(dlg, s, BFFM_INITIALIZED, 0);
      if (!s->selChanged && IsWindow(dlg))
        SelectionChanged(dlg, s, reinterpret_cast<HTREEITEM>(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)));
      SetFocus(tree);
      return FALSE;
    }
    case WM_NOTIFY: {
      FolderDialog* s = StateOf(dlg);
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (!s || !hdr || hdr->idFrom != KX_BF_TREE) return FALSE;
      auto* nm = reinterpret_cast<NMTREEVIEWA*>(lp);
      if (hdr->code == TVN_ITEMEXPANDINGA && (nm->action & TVE_EXPAND)) Fill(hdr->hwndFrom, s, nm->itemNew.hItem);
      else if (hdr->code == TVN_SELCHANGEDA) SelectionChanged(dlg, s, nm->itemNew.hItem);
      return FALSE;
    }
    case WM_COMMAND: {
      FolderDialog* s = StateOf(dlg);
      if (!s) return FALSE;
      if (LOWORD(wp) == IDOK) {
        s->chosen = reinterpret_cast<HTREEITEM>(SendDlgItemMessage(dlg, KX_BF_TREE, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (HWND edit = GetDlgItem(dlg, KX_BF_EDIT)) {
          // A name typed into the edit box is looked for under the selected folder.
          char buf[1024] = {0};
          GetWindowText(edit, buf, sizeof buf);
          int k = NodeIndex(GetDlgItem(dlg, KX_BF_TREE), s->chosen);
          std::string base = k >= 0 ? s->nodes[static_cast<size_t>(k)].path : std::string();
          std::string typed = buf;
          if (!typed.empty() && (k < 0 || typed != s->nodes[static_cast<size_t>(k)].name)) {
            std::string target = typed[0] == '/' ? typed : (base.empty() ? typed : base + "/" + typed);
            if (!SelectPath(dlg, s, target)) {
              if (s->bi->ulFlags & BIF_VALIDATE) {
                if (s->bi->lpfn && s->bi->lpfn(dlg, BFFM_VALIDATEFAILEDA, reinterpret_cast<LPARAM>(buf), s->bi->lParam))
                  return TRUE;
                EndDialog(dlg, IDCANCEL);
              }
              return TRUE;
            }
            s->chosen = reinterpret_cast<HTREEITEM>(SendDlgItemMessage(dlg, KX_BF_TREE, TVM_GETNEXTITEM, TVGN_CARET, 0));
          }
        }
        s->chosenNode = NodeIndex(GetDlgItem(dlg, KX_BF_TREE), s->chosen);
        if (s->chosenNode >= 0) EndDialog(dlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    case BFFM_SETSTATUSTEXTA:
      SetDlgItemText(dlg, KX_BF_STATUS, reinterpret_cast<LPCSTR>(lp));
      return TRUE;
    case BFFM_ENABLEOK:
      EnableWindow(GetDlgItem(dlg, IDOK), lp != 0);
      return TRUE;
    case BFFM_SETSELECTIONA:
    case BFFM_SETSELECTIONW: {
      FolderDialog* s = StateOf(dlg);
      std::string path;
      if (wp) path = msg == BFFM_SETSELECTIONW ? Wide(lp) : std::string(reinterpret_cast<LPCSTR>(lp) ? reinterpret_cast<LPCSTR>(lp) : "");
      else PidlPath(reinterpret_cast<LPCITEMIDLIST>(lp), &path);
      SetWindowLongPtr(dlg, DWLP_MSGRESULT, s && !path.empty() && SelectPath(dlg, s, path));
      return TRUE;
    }
    case BFFM_SETOKTEXT:
      SetDlgItemText(dlg, IDOK, Wide(lp).c_str());
      return TRUE;
    case BFFM_SETEXPANDED: {
      FolderDialog* s = StateOf(dlg);
      std::string path = wp ? Wide(lp) : std::string();
      if (!wp) PidlPath(reinterpret_cast<LPCITEMIDLIST>(lp), &path);
      if (s && !path.empty() && SelectPath(dlg, s, path)) {
        HWND tree = GetDlgItem(dlg, KX_BF_TREE);
        SendMessage(tree, TVM_EXPAND, TVE_EXPAND, SendMessage(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// ----- the desktop folder -----
class DesktopFolder final : public IShellFolder {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IShellFolder) {
      *out = static_cast<IShellFolder*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
  STDMETHOD_(ULONG, Release)() override {
    ULONG n = --refs_;
    if (!n) delete this;
    return n;
  }
  STDMETHOD(ParseDisplayName)(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, LPITEMIDLIST* pidl, ULONG* attributes) override {
    if (!name || !pidl) return E_INVALIDARG;
    *pidl = nullptr;
    size_t n = 0;
    while (name[n]) ++n;
    std::string path = Clean(kx::Utf16ToUtf8(name, n));
    std::error_code ec;
    if (path.empty() || !fs::exists(fs::path(path), ec)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *pidl = MakePidl(false, path);
    if (!*pidl) return E_OUTOFMEMORY;
    if (eaten) *eaten = static_cast<ULONG>(n);
    if (attributes) {
      ULONG have = SFGAO_FILESYSTEM | (IsDir(path) ? SFGAO_FOLDER : 0);
      *attributes &= have;
    }
    return S_OK;
  }
  STDMETHOD(EnumObjects)(HWND, DWORD, void**) override { return E_NOTIMPL; }
  STDMETHOD(BindToObject)(LPCITEMIDLIST, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHOD(BindToStorage)(LPCITEMIDLIST, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHOD(CompareIDs)(LPARAM, LPCITEMIDLIST a, LPCITEMIDLIST b) override {
    std::string pa, pb;
    PidlPath(a, &pa);
    PidlPath(b, &pb);
    int c = pa.compare(pb);
    return static_cast<HRESULT>(static_cast<USHORT>(c < 0 ? -1 : c > 0 ? 1 : 0));
  }
  STDMETHOD(CreateViewObject)(HWND, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHOD(GetAttributesOf)(UINT count, LPCITEMIDLIST* pidls, ULONG* inOut) override {
    if (!inOut) return E_INVALIDARG;
    ULONG have = ~0u;
    for (UINT i = 0; i < count; ++i) {
      std::string p;
      ULONG a = PidlPath(pidls[i], &p) ? (SFGAO_FILESYSTEM | (IsDir(p) ? SFGAO_FOLDER : 0)) : SFGAO_FOLDER;
      have &= a;
    }
    *inOut &= have;
    return S_OK;
  }
  STDMETHOD(GetUIObjectOf)(HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*, void**) override { return E_NOTIMPL; }
  STDMETHOD(GetDisplayNameOf)(LPCITEMIDLIST pidl, DWORD flags, STRRET* name) override {
    if (!name) return E_INVALIDARG;
    std::string p, shown;
    bool desktop = false;
    if (PidlPath(pidl, &p, &desktop)) shown = (flags & SHGDN_FORPARSING) ? p : fs::path(p).filename().string();
    else shown = "Desktop";
    if (shown.empty()) shown = p;
    name->uType = STRRET_CSTR;
    kx::ctl::CopyOut(shown, name->cStr, sizeof name->cStr);
    return S_OK;
  }
  STDMETHOD(SetNameOf)(HWND, LPCITEMIDLIST, LPCWSTR, DWORD, LPITEMIDLIST*) override { return E_NOTIMPL; }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace

LPITEMIDLIST SHBrowseForFolder(LPBROWSEINFO bi) {
  if (!bi) return nullptr;
  FolderDialog s;
  s.bi = bi;
  using kx::dlg::Item;
  bool status = bi->ulFlags & BIF_STATUSTEXT, edit = bi->ulFlags & BIF_EDITBOX;
  short treeTop = 36 + (status ? 12 : 0);
  short h = static_cast<short>(treeTop + 140 + (edit ? 18 : 0) + 26);
  kx::DialogTemplate t = kx::dlg::Dialog("Browse for Folder", 220, h);
  t.items.push_back(Item(WC_STATICA, bi->lpszTitle ? bi->lpszTitle : "", KX_BF_TITLE, 7, 6, 206, 24, SS_LEFT | SS_NOPREFIX));
  if (status) t.items.push_back(Item(WC_STATICA, "", KX_BF_STATUS, 7, 34, 206, 10, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS));
  t.items.push_back(Item(WC_TREEVIEWA, "", KX_BF_TREE, 7, treeTop, 206, 140,
                         WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS));
  short y = static_cast<short>(treeTop + 144);
  if (edit) {
    t.items.push_back(Item(WC_EDITA, "", KX_BF_EDIT, 7, y, 206, 12, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL));
    y = static_cast<short>(y + 18);
  }
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 106, y, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  t.items.push_back(Item(WC_BUTTONA, "Cancel", IDCANCEL, 163, y, 50, 14, WS_TABSTOP));
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, bi->hwndOwner, FolderDlgProc, reinterpret_cast<LPARAM>(&s));
  if (r != IDOK || s.chosenNode < 0 || s.chosenNode >= static_cast<int>(s.nodes.size())) return nullptr;
  const Node& n = s.nodes[static_cast<size_t>(s.chosenNode)];
  if (bi->pszDisplayName) kx::ctl::CopyOut(n.name, bi->pszDisplayName, MAX_PATH);
  bi->iImage = n.path.empty() ? 0 : 1;
  return MakePidl(n.path.empty(), n.path);
}

BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, LPSTR path) {
  if (!path) return FALSE;
  path[0] = '\0';
  std::string p;
  if (!PidlPath(pidl, &p) || p.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, p.c_str(), p.size() + 1);
  return TRUE;
}

HRESULT SHGetMalloc(IMalloc** malloc) { return CoGetMalloc(MEMCTX_TASK, malloc); }

void ILFree(LPITEMIDLIST pidl) { CoTaskMemFree(pidl); }

UINT ILGetSize(LPCITEMIDLIST pidl) {
  if (!pidl) return 0;
  const auto* p = reinterpret_cast<const BYTE*>(pidl);
  UINT total = 0;
  for (;;) {
    USHORT cb;
    std::memcpy(&cb, p + total, 2);
    if (!cb) return total + 2;
    total += cb;
  }
}

LPITEMIDLIST ILClone(LPCITEMIDLIST pidl) {
  if (!pidl) return nullptr;
  UINT n = ILGetSize(pidl);
  auto* copy = static_cast<BYTE*>(CoTaskMemAlloc(n));
  if (copy) std::memcpy(copy, pidl, n);
  return reinterpret_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST ILCreateFromPath(LPCSTR path) {
  if (!path) return nullptr;
  std::string p = Clean(path);
  std::error_code ec;
  if (p.empty() || !fs::exists(fs::path(p), ec)) return nullptr;
  return MakePidl(false, p);
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
  if (!folder) return E_INVALIDARG;
  *folder = new DesktopFolder();
  return S_OK;
}
