// The dialog manager: templates, dialog creation, the dialog procedure's defaults, modal loops, keyboard
// navigation (IsDialogMessage), dialog item helpers.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/ui/display.h"
#include "platform/ui/dlgplace.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

kx::ResourceSource* g_source = nullptr;

struct TemplateKey {
  uintptr_t module;
  std::string name;
  bool operator<(const TemplateKey& o) const { return module != o.module ? module < o.module : name < o.name; }
};

std::map<TemplateKey, kx::DialogTemplate>& Templates() {
  static auto* t = new std::map<TemplateKey, kx::DialogTemplate>();
  return *t;
}

std::string NameKey(LPCSTR name) {
  if (!name) return std::string();
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int MulDivInt(int a, int b, int c) { return c ? static_cast<int>((static_cast<long long>(a) * b + (a >= 0 ? c / 2 : -c / 2)) / c) : 0; }

// A dialog's base units in 96ths of a pixel. Measured with the font as it is at 96 dots per inch, then scaled:
// every dialog unit grows by the same factor as the screen's resolution, whatever the rounding of the larger
// font's metrics, and each length is rounded once.
constexpr int kFine = 96;
void BaseUnits(HFONT font, int* x, int* y) {
  int dpi = kx::gdi::ScreenDpi();
  HFONT twin = nullptr;
  if (dpi != 96) {
    LOGFONTA lf{};
    if (GetObject(font, sizeof lf, &lf) == sizeof lf && lf.lfHeight != 0) {
      lf.lfHeight = MulDivInt(lf.lfHeight, 96, dpi);
      lf.lfWidth = MulDivInt(lf.lfWidth, 96, dpi);
      twin = CreateFontIndirect(&lf);
    }
  }
  kx::DialogFontUnits(twin ? twin : font, x, y);
  if (twin) DeleteObject(twin);
  *x *= dpi;
  *y *= dpi;
}

// Controls of a dialog in tab order, looking into child windows that hold controls of their own.
void FlatControls(HWND parent, std::vector<HWND>& out) {
  std::vector<HWND> kids;
  {
    Guard g(Lock());
    WindowPtr p = FindLocked(parent);
    if (!p) return;
    kids = p->children;
  }
  for (HWND c : kids) {
    DWORD ex = static_cast<DWORD>(GetWindowLongPtr(c, GWL_EXSTYLE));
    DWORD st = static_cast<DWORD>(GetWindowLongPtr(c, GWL_STYLE));
    if ((ex & WS_EX_CONTROLPARENT) && (st & WS_VISIBLE) && !(st & WS_DISABLED)) FlatControls(c, out);
    else out.push_back(c);
  }
}

bool Usable(HWND h) {
  DWORD st = static_cast<DWORD>(GetWindowLongPtr(h, GWL_STYLE));
  return (st & WS_VISIBLE) && !(st & WS_DISABLED);
}

// The dialog a control belongs to (the nearest ancestor that is a dialog).
HWND DialogFor(HWND ctl) {
  Guard g(Lock());
  WindowPtr w = FindLocked(ctl);
  while (w && w->parent) {
    WindowPtr p = FindLocked(w->parent);
    if (!p) break;
    if (p->dlg) return p->handle;
    w = p;
  }
  return nullptr;
}

void DlgSetFocus(HWND ctl) {
  if (!ctl) return;
  if (SendMessage(ctl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessage(ctl, EM_SETSEL, 0, -1);
  SetFocus(ctl);
}

HWND FindById(HWND dlg, int id) {
  std::vector<HWND> all;
  FlatControls(dlg, all);
  for (HWND h : all)
    if (GetDlgCtrlID(h) == id) return h;
  return nullptr;
}

bool IsPushButton(HWND h, LRESULT* code) {
  *code = SendMessage(h, WM_GETDLGCODE, 0, 0);
  return (*code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

// Keeps the default push button in step with the focus: a focused push button is the default; otherwise the
// dialog's default id.
void UpdateDefaultButton(HWND dlg, HWND focus) {
  int defId = 0;
  {
    Guard g(Lock());
    WindowPtr d = FindLocked(dlg);
    if (!d || !d->dlg) return;
    defId = d->dlg->defId;
  }
  std::vector<HWND> all;
  FlatControls(dlg, all);
  LRESULT focusCode = 0;
  bool focusIsButton = focus && IsPushButton(focus, &focusCode);
  for (HWND b : all) {
    LRESULT code;
    if (!IsPushButton(b, &code)) continue;
    bool wantDefault = focusIsButton ? b == focus : GetDlgCtrlID(b) == defId;
    bool isDefault = (code & DLGC_DEFPUSHBUTTON) != 0;
    if (wantDefault != isDefault) SendMessage(b, BM_SETSTYLE, wantDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

HWND CreateDialogCore(HINSTANCE inst, const kx::DialogTemplate* t, HWND owner, DLGPROC proc, LPARAM param,
                      ULONG_PTR templateId, bool modal) {
  if (!t) return nullptr;
  EnsureSystemClasses();
  HFONT font = DefaultDialogFont();
  bool ownFont = false;
  if (t->style & DS_SETFONT) {
    std::string face = t->faceName.empty() ? std::string("MS Shell Dlg") : t->faceName;
    font = CreateFont(-kx::gdi::Scaled(MulDivInt(t->pointSize ? t->pointSize : 8, 96, 72)), 0, 0, 0, t->weight ? t->weight : FW_NORMAL,
                      t->italic, 0, 0, t->charSet, 0, 0, 0, 0, face.c_str());
    ownFont = true;
  }
  int bx, by;
  BaseUnits(font, &bx, &by);
  DWORD style = t->style, ex = t->exStyle;
  if (style & DS_MODALFRAME) ex |= WS_EX_DLGMODALFRAME;
  if (style & DS_CONTROL) {
    style &= ~(WS_CAPTION | WS_SYSMENU);
    ex |= WS_EX_CONTROLPARENT;
  }
  RECT rc{0, 0, MulDivInt(t->cx, bx, 4 * kFine), MulDivInt(t->cy, by, 8 * kFine)};
  AdjustWindowRectEx(&rc, style & ~WS_VISIBLE, FALSE, ex);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = MulDivInt(t->x, bx, 4 * kFine), y = MulDivInt(t->y, by, 8 * kFine);
  if (style & WS_CHILD) {
    // Child dialogs sit in their parent's client area.
  } else if (style & (DS_CENTER | DS_CENTERMOUSE)) {
    x = (kx::ui::ScreenWidth() - w) / 2;
    y = (kx::ui::ScreenHeight() - h) / 2;
  } else {
    if (owner && !(style & DS_ABSALIGN)) {
      POINT p{0, 0};
      ClientToScreen(owner, &p);
      x += p.x;
      y += p.y;
    }
    x += rc.left;
    y += rc.top;
    x = std::clamp(x, 0, std::max(0, kx::ui::ScreenWidth() - w));
    y = std::clamp(y, 0, std::max(0, kx::ui::ScreenHeight() - h));
  }
  std::string cls = t->className.empty() ? std::string("#32770") : t->className;
  HWND dlg = CreateWindowEx(ex, cls.c_str(), t->title.c_str(), style & ~WS_VISIBLE, x, y, w, h, owner, nullptr, inst,
                            reinterpret_cast<LPVOID>(param));
  if (!dlg) {
    if (ownFont) DeleteObject(font);
    return nullptr;
  }
  {
    Guard g(Lock());
    WindowPtr d = FindLocked(dlg);
    DialogInfo* info = DialogOf(*d);
    info->font = font;
    info->ownFont = ownFont;
    info->baseX = bx;
    info->baseY = by;
    info->templateId = templateId;
    info->modal = modal;
  }
  SetWindowLongPtr(dlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  SendMessage(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  for (const kx::DialogItemTemplate& it : t->items) {
    if (!IsWindow(dlg)) return nullptr;
    DWORD cs = it.style | WS_CHILD;
    DWORD cex = it.exStyle | WS_EX_NOPARENTNOTIFY;
    bool button = EqualNoCase(it.className, "Button"), stat = EqualNoCase(it.className, "Static");
    // Bordered controls get the sunken edge of the three-dimensional look.
    if ((cs & WS_BORDER) && !button && !stat) {
      cs &= ~WS_BORDER;
      cex |= WS_EX_CLIENTEDGE;
    }
    int cx = MulDivInt(it.x, bx, 4 * kFine), cy = MulDivInt(it.y, by, 8 * kFine);
    int cw = MulDivInt(it.cx, bx, 4 * kFine), ch = MulDivInt(it.cy, by, 8 * kFine);
    LPVOID data = it.creationData.empty() ? nullptr : const_cast<BYTE*>(it.creationData.data());
    HWND c = CreateWindowEx(cex, it.className.c_str(), it.text.c_str(), cs, cx, cy, cw, ch, dlg,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(it.id)), inst, data);
    if (!c) {
      if (t->style & DS_NOFAILCREATE) continue;
      DestroyWindow(dlg);
      return nullptr;
    }
    SendMessage(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (button && (it.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      Guard g(Lock());
      WindowPtr d = FindLocked(dlg);
      if (d && d->dlg && !d->dlg->defId) d->dlg->defId = it.id;
    }
  }
  if (!IsWindow(dlg)) return nullptr;
  HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
  LRESULT r = SendMessage(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
  if (!IsWindow(dlg)) return nullptr;
  if (r && first && !(t->style & DS_CONTROL)) {
    HWND again = GetNextDlgTabItem(dlg, nullptr, FALSE);
    DlgSetFocus(again ? again : first);
  }
  if (t->style & WS_VISIBLE) {
    ShowWindow(dlg, SW_SHOWNORMAL);
    UpdateWindow(dlg);
  }
  return dlg;
}

}  // namespace

}  // namespace kx::ui

void kx::DialogFontUnits(HFONT font, int* x, int* y) {
  HDC hdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(hdc, font);
  SIZE sz{};
  static const char kAlpha[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32(hdc, kAlpha, 52, &sz);
  TEXTMETRICA tm{};
  GetTextMetrics(hdc, &tm);
  SelectObject(hdc, old);
  DeleteDC(hdc);
  *x = std::max(1, static_cast<int>((sz.cx / 26 + 1) / 2));
  *y = std::max(1, static_cast<int>(tm.tmHeight));
}

namespace kx::ui {

HFONT DefaultDialogFont() {
  // One for each resolution the screen has had, kept as long as the process.
  static std::mutex lock;
  static auto* fonts = new std::map<int, HFONT>();
  int dpi = kx::gdi::ScreenDpi();
  std::lock_guard<std::mutex> g(lock);
  HFONT& f = (*fonts)[dpi];
  if (!f)
    f = CreateFont(-kx::gdi::Scaled(11), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                   VARIABLE_PITCH | FF_SWISS, "MS Shell Dlg");
  return f;
}

DialogInfo* DialogOf(Window& w) {
  if (!w.dlg) w.dlg = std::make_unique<DialogInfo>();
  return w.dlg.get();
}

void DialogFocusChanged(HWND focus) {
  HWND dlg = DialogFor(focus);
  if (!dlg) return;
  {
    Guard g(Lock());
    for (WindowPtr w = FindLocked(focus); w && w->parent; w = FindLocked(w->parent))
      if (WindowPtr p = FindLocked(w->parent); p && p->dlg) p->dlg->focus = focus;
  }
  UpdateDefaultButton(dlg, focus);
}

void RegisterDialogClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_SAVEBITS;
  wc.lpfnWndProc = DefDlgProc;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "#32770";
  RegisterSystemClass(wc);
}

}  // namespace kx::ui

using namespace kx::ui;

// ----- templates and the resource source -----
void kx::SetResourceSource(kx::ResourceSource* source) {
  Guard g(Lock());
  g_source = source;
}

kx::ResourceSource* kx::GetResourceSource() {
  Guard g(Lock());
  return g_source;
}

void kx::RegisterDialogTemplate(HINSTANCE module, LPCSTR name, const kx::DialogTemplate& tmpl) {
  Guard g(Lock());
  kx::DialogTemplate& stored = Templates()[TemplateKey{reinterpret_cast<uintptr_t>(module), NameKey(name)}];
  stored = tmpl;
  if (!stored.templateId && IS_INTRESOURCE(name)) stored.templateId = reinterpret_cast<ULONG_PTR>(name);
}

void kx::UnregisterDialogTemplate(HINSTANCE module, LPCSTR name) {
  Guard g(Lock());
  Templates().erase(TemplateKey{reinterpret_cast<uintptr_t>(module), NameKey(name)});
}

const kx::DialogTemplate* kx::FindDialogTemplate(HINSTANCE module, LPCSTR name) {
  kx::ResourceSource* src;
  {
    Guard g(Lock());
    auto it = Templates().find(TemplateKey{reinterpret_cast<uintptr_t>(module), NameKey(name)});
    if (it != Templates().end()) return &it->second;
    src = g_source;
  }
  return src ? src->FindDialog(module, name) : nullptr;
}

ULONG_PTR kx::GetDialogTemplateId(HWND dialog) {
  Guard g(Lock());
  WindowPtr w = FindLocked(dialog);
  return w && w->dlg ? w->dlg->templateId : 0;
}

// ----- creation and modal loops -----
namespace {

// The id a dialog made from a template reports: the template's own, else the integer name it was found by.
ULONG_PTR TemplateIdOf(const kx::DialogTemplate* t, LPCSTR name = nullptr) {
  if (t && t->templateId) return t->templateId;
  return name && IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0;
}

}  // namespace

HWND CreateDialogIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE tmpl, HWND owner, DLGPROC proc, LPARAM param) {
  return CreateDialogCore(instance, tmpl, owner, proc, param, TemplateIdOf(tmpl), false);
}

HWND CreateDialogParam(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  const kx::DialogTemplate* t = kx::FindDialogTemplate(instance, name);
  if (!t) return nullptr;
  return CreateDialogCore(instance, t, owner, proc, param, TemplateIdOf(t, name), false);
}

namespace {

INT_PTR RunModal(HWND dlg, HWND owner) {
  if (!dlg) return -1;
  HWND ownerTop = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  bool disabled = false;
  if (ownerTop && IsWindowEnabled(ownerTop)) {
    EnableWindow(ownerTop, FALSE);
    disabled = true;
    Guard g(Lock());
    if (WindowPtr w = FindLocked(dlg); w && w->dlg) w->dlg->disabledOwner = ownerTop;
  }
  if (!IsWindowVisible(dlg) && IsWindow(dlg)) {
    bool ended;
    {
      Guard g(Lock());
      WindowPtr w = FindLocked(dlg);
      ended = w && w->dlg && w->dlg->ended;
    }
    if (!ended) ShowWindow(dlg, SW_SHOWNORMAL);
  }
  MSG msg;
  for (;;) {
    {
      Guard g(Lock());
      WindowPtr w = FindLocked(dlg);
      if (!w || w->destroyed || !w->dlg || w->dlg->ended) break;
    }
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (CallMsgFilter(&msg, MSGF_DIALOGBOX)) continue;
    if (!IsDialogMessage(dlg, &msg)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
  }
  INT_PTR result = -1;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(dlg);
    if (w && w->dlg && w->dlg->ended) result = w->dlg->result;
  }
  if (disabled && IsWindow(ownerTop)) EnableWindow(ownerTop, TRUE);
  if (IsWindow(dlg)) DestroyWindow(dlg);
  if (ownerTop && IsWindow(ownerTop) && IsWindowVisible(ownerTop) && OnThreadOf(ownerTop)) SetActiveWindow(ownerTop);
  return result;
}

}  // namespace

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, LPCDLGTEMPLATE tmpl, HWND owner, DLGPROC proc, LPARAM param) {
  return RunModal(CreateDialogCore(instance, tmpl, owner, proc, param, TemplateIdOf(tmpl), true), owner);
}

INT_PTR DialogBoxParam(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  const kx::DialogTemplate* t = kx::FindDialogTemplate(instance, name);
  if (!t) return -1;
  return RunModal(CreateDialogCore(instance, t, owner, proc, param, TemplateIdOf(t, name), true), owner);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (!IsWindow(dialog)) return FALSE;
  if (!OnThreadOf(dialog)) return static_cast<BOOL>(RunOn(dialog, [=] { return static_cast<LRESULT>(EndDialog(dialog, result)); }));
  HWND owner = nullptr;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(dialog);
    if (!w) return FALSE;
    DialogInfo* info = DialogOf(*w);
    info->ended = true;
    info->result = result;
    owner = info->disabledOwner;
    info->disabledOwner = nullptr;
  }
  if (owner && IsWindow(owner)) EnableWindow(owner, TRUE);
  ShowWindow(dialog, SW_HIDE);
  PostMessage(dialog, WM_NULL, 0, 0);
  return TRUE;
}

// ----- the dialog procedure's defaults -----
namespace {

// Gives the focus back to the control that had it, or to the first tab stop; false when there is none.
bool RestoreFocus(HWND dlg) {
  HWND focus;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(dlg);
    focus = w && w->dlg ? w->dlg->focus : nullptr;
  }
  if (!focus || !IsWindow(focus) || !IsChild(dlg, focus) || !Usable(focus)) focus = GetNextDlgTabItem(dlg, nullptr, FALSE);
  if (!focus) return false;
  DlgSetFocus(focus);
  return true;
}

LRESULT DefDlgDefaults(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      HDC hdc = reinterpret_cast<HDC>(wp);
      HBRUSH b = reinterpret_cast<HBRUSH>(SendMessage(hwnd, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(hwnd)));
      if (!b) b = GetSysColorBrush(COLOR_BTNFACE);
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(hdc, &rc, b);
      return 1;
    }
    case WM_SETFONT: {
      Guard g(Lock());
      WindowPtr w = FindLocked(hwnd);
      if (w) DialogOf(*w)->font = reinterpret_cast<HFONT>(wp);
      return 0;
    }
    case WM_GETFONT: {
      Guard g(Lock());
      WindowPtr w = FindLocked(hwnd);
      return w && w->dlg ? reinterpret_cast<LRESULT>(w->dlg->font) : 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && !RestoreFocus(hwnd)) SetFocus(hwnd);
      return 0;
    case WM_SETFOCUS:
      RestoreFocus(hwnd);
      return 0;
    case DM_GETDEFID: {
      Guard g(Lock());
      WindowPtr w = FindLocked(hwnd);
      if (!w || !w->dlg || w->dlg->ended || !w->dlg->defId) return 0;
      return MAKELONG(w->dlg->defId, DC_HASDEFID);
    }
    case DM_SETDEFID: {
      {
        Guard g(Lock());
        WindowPtr w = FindLocked(hwnd);
        if (!w) return FALSE;
        DialogOf(*w)->defId = static_cast<int>(wp);
      }
      UpdateDefaultButton(hwnd, GetFocus());
      return TRUE;
    }
    case DM_REPOSITION:
      return 0;
    case WM_NEXTDLGCTL: {
      HWND target;
      if (lp) target = reinterpret_cast<HWND>(wp);
      else target = GetNextDlgTabItem(hwnd, GetFocus(), wp != 0);
      if (target) DlgSetFocus(target);
      return 0;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hwnd, IDCANCEL);
      if (cancel && !IsWindowEnabled(cancel)) {
        MessageBeep(0);
        return 0;
      }
      PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case WM_NCDESTROY: {
      HFONT own = nullptr;
      {
        Guard g(Lock());
        WindowPtr w = FindLocked(hwnd);
        if (w && w->dlg && w->dlg->ownFont) own = w->dlg->font;
      }
      if (own) DeleteObject(own);
      return DefWindowProc(hwnd, msg, wp, lp);
    }
    case WM_SHOWWINDOW:
      if (!wp) {
        HWND focus = GetFocus();
        Guard g(Lock());
        WindowPtr w = FindLocked(hwnd);
        WindowPtr f = FindLocked(focus);
        if (w && w->dlg && f && IsChildOf(*w, *f)) w->dlg->focus = focus;
      }
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_INITDIALOG:
      return TRUE;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

bool ResultIsReturned(UINT msg) {
  return (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_COMPAREITEM || msg == WM_VKEYTOITEM ||
         msg == WM_CHARTOITEM || msg == WM_QUERYDRAGICON || msg == WM_INITDIALOG;
}

}  // namespace

LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DLGPROC proc = reinterpret_cast<DLGPROC>(GetWindowLongPtr(hwnd, DWLP_DLGPROC));
  if (proc) {
    SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 0);
    INT_PTR r = proc(hwnd, msg, wp, lp);
    if (!IsWindow(hwnd)) return r;
    if (r) return ResultIsReturned(msg) ? r : GetWindowLongPtr(hwnd, DWLP_MSGRESULT);
    if (msg == WM_INITDIALOG) return FALSE;
  }
  return DefDlgDefaults(hwnd, msg, wp, lp);
}

// ----- keyboard navigation -----
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  std::vector<HWND> all;
  FlatControls(dialog, all);
  if (all.empty()) return nullptr;
  auto isTab = [](HWND h) { return Usable(h) && (GetWindowLongPtr(h, GWL_STYLE) & WS_TABSTOP); };
  int n = static_cast<int>(all.size());
  int pos = -1;
  for (int i = 0; i < n; ++i)
    if (all[static_cast<size_t>(i)] == control) pos = i;
  if (pos < 0) {
    if (!previous) {
      for (HWND h : all)
        if (isTab(h)) return h;
    } else {
      for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (isTab(*it)) return *it;
    }
    return nullptr;
  }
  for (int k = 1; k <= n; ++k) {
    int i = previous ? (pos - k + n * 2) % n : (pos + k) % n;
    if (isTab(all[static_cast<size_t>(i)])) return all[static_cast<size_t>(i)];
  }
  return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
  std::vector<HWND> all;
  FlatControls(dialog, all);
  int n = static_cast<int>(all.size());
  int pos = -1;
  for (int i = 0; i < n; ++i)
    if (all[static_cast<size_t>(i)] == control) pos = i;
  if (pos < 0) return n ? all[0] : nullptr;
  auto group = [](HWND h) { return (GetWindowLongPtr(h, GWL_STYLE) & WS_GROUP) != 0; };
  int start = pos;
  while (start > 0 && !group(all[static_cast<size_t>(start)])) --start;
  int end = pos + 1;
  while (end < n && !group(all[static_cast<size_t>(end)])) ++end;
  int len = end - start;
  for (int k = 1; k <= len; ++k) {
    int off = previous ? (pos - start - k + len * 2) % len : (pos - start + k) % len;
    HWND h = all[static_cast<size_t>(start + off)];
    if (Usable(h)) return h;
  }
  return control;
}

namespace {

// The control whose text marks `ch` as its mnemonic, after the focus.
HWND FindMnemonic(HWND dlg, HWND focus, unsigned char ch) {
  std::vector<HWND> all;
  FlatControls(dlg, all);
  int n = static_cast<int>(all.size()), pos = -1;
  for (int i = 0; i < n; ++i)
    if (all[static_cast<size_t>(i)] == focus) pos = i;
  for (int k = 1; k <= n; ++k) {
    HWND h = all[static_cast<size_t>((pos + k + n) % n)];
    if (!Usable(h) && !(SendMessage(h, WM_GETDLGCODE, 0, 0) & DLGC_STATIC)) continue;
    char buf[256];
    InternalGetWindowText(h, buf, sizeof buf);
    for (char* p = buf; *p; ++p) {
      if (*p != '&') continue;
      if (p[1] == '&') { ++p; continue; }
      if (std::tolower(static_cast<unsigned char>(p[1])) == std::tolower(ch)) return h;
      break;
    }
  }
  return nullptr;
}

}  // namespace

BOOL IsDialogMessage(HWND dialog, LPMSG msg) {
  if (!msg || !dialog) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  switch (msg->message) {
    case WM_KEYDOWN: {
      LRESULT code = SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
      if (code & DLGC_WANTMESSAGE) break;
      switch (msg->wParam) {
        case VK_TAB:
          if (code & DLGC_WANTTAB) break;
          SendMessage(dialog, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
          return TRUE;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: {
          if (code & DLGC_WANTARROWS) break;
          bool prev = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
          HWND next = GetNextDlgGroupItem(dialog, GetFocus(), prev);
          if (next && next != GetFocus()) {
            DlgSetFocus(next);
            if (SendMessage(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) SendMessage(next, BM_CLICK, 0, 0);
          }
          return TRUE;
        }
        case VK_RETURN: {
          HWND focus = GetFocus();
          LRESULT fcode = focus ? SendMessage(focus, WM_GETDLGCODE, 0, 0) : 0;
          if (focus && (fcode & DLGC_DEFPUSHBUTTON) && Usable(focus)) {
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED), reinterpret_cast<LPARAM>(focus));
            return TRUE;
          }
          DWORD dw = static_cast<DWORD>(SendMessage(dialog, DM_GETDEFID, 0, 0));
          if (HIWORD(dw) == DC_HASDEFID) {
            HWND def = GetDlgItem(dialog, LOWORD(dw));
            if (!def) def = FindById(dialog, LOWORD(dw));
            if (def && !IsWindowEnabled(def)) {
              MessageBeep(0);
              return TRUE;
            }
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(dw), BN_CLICKED), reinterpret_cast<LPARAM>(def));
          } else {
            HWND ok = GetDlgItem(dialog, IDOK);
            if (ok && !IsWindowEnabled(ok)) {
              MessageBeep(0);
              return TRUE;
            }
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
          }
          return TRUE;
        }
        case VK_ESCAPE: {
          HWND cancel = GetDlgItem(dialog, IDCANCEL);
          if (cancel && !IsWindowEnabled(cancel)) {
            MessageBeep(0);
            return TRUE;
          }
          SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
          return TRUE;
        }
        default:
          break;
      }
      break;
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
      LRESULT code = SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
      if (msg->message == WM_CHAR && (code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE))) break;
      if (msg->wParam == '\t' || msg->wParam == '\r' || msg->wParam == 27) return TRUE;
      HWND target = FindMnemonic(dialog, GetFocus(), static_cast<unsigned char>(msg->wParam));
      if (!target) {
        if (msg->message == WM_SYSCHAR) break;
        return TRUE;
      }
      LRESULT tcode = SendMessage(target, WM_GETDLGCODE, 0, 0);
      if (tcode & DLGC_STATIC) {
        // A label's mnemonic moves to the control that follows it.
        HWND next = GetNextDlgTabItem(dialog, target, FALSE);
        if (next) DlgSetFocus(next);
      } else if (tcode & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON | DLGC_BUTTON | DLGC_RADIOBUTTON)) {
        DlgSetFocus(target);
        SendMessage(target, BM_CLICK, 0, 0);
      } else {
        DlgSetFocus(target);
      }
      return TRUE;
    }
    default:
      break;
  }
  TranslateMessage(msg);
  DispatchMessage(msg);
  return TRUE;
}

// ----- helpers -----
BOOL MapDialogRect(HWND dialog, LPRECT rc) {
  if (!rc) return FALSE;
  int bx = 0, by = 0;
  {
    Guard g(Lock());
    WindowPtr w = FindLocked(dialog);
    if (!w || !w->dlg) return FALSE;
    bx = w->dlg->baseX;
    by = w->dlg->baseY;
  }
  rc->left = MulDivInt(rc->left, bx, 4 * kFine);
  rc->right = MulDivInt(rc->right, bx, 4 * kFine);
  rc->top = MulDivInt(rc->top, by, 8 * kFine);
  rc->bottom = MulDivInt(rc->bottom, by, 8 * kFine);
  return TRUE;
}

LONG GetDialogBaseUnits() {
  int bx, by;
  BaseUnits(DefaultDialogFont(), &bx, &by);
  return MAKELONG(MulDivInt(bx, 1, kFine), MulDivInt(by, 1, kFine));
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND h = GetDlgItem(dialog, id);
  return h ? SendMessage(h, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, LPCSTR text) {
  HWND h = GetDlgItem(dialog, id);
  return h ? SetWindowText(h, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPSTR buffer, int size) {
  HWND h = GetDlgItem(dialog, id);
  if (!h) {
    if (buffer && size > 0) buffer[0] = 0;
    return 0;
  }
  return static_cast<UINT>(GetWindowText(h, buffer, size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char buf[32];
  if (isSigned) std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value));
  else std::snprintf(buf, sizeof buf, "%u", value);
  return SetDlgItemText(dialog, id, buf);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  char buf[64];
  if (translated) *translated = FALSE;
  if (!GetDlgItemText(dialog, id, buf, sizeof buf)) return 0;
  char* p = buf;
  while (*p == ' ') ++p;
  char* end = nullptr;
  long long v = std::strtoll(p, &end, 10);
  if (end == p) return 0;
  while (*end == ' ') ++end;
  if (*end) return 0;
  if (isSigned ? (v < INT32_MIN || v > INT32_MAX) : (v < 0 || v > UINT32_MAX)) return 0;
  if (translated) *translated = TRUE;
  return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND h = GetDlgItem(dialog, id);
  if (!h) return FALSE;
  SendMessage(h, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND h = GetDlgItem(dialog, id);
  return h ? static_cast<UINT>(SendMessage(h, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  for (int id = first; id <= last; ++id)
    if (HWND h = GetDlgItem(dialog, id)) SendMessage(h, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  return TRUE;
}
