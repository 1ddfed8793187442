// MessageBox: the platform's message box as a dialog of its own, with the return ids of the platform.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/dlgtemplate.h"
#include "platform/ui/internal.h"

namespace kx::ui {

namespace {

constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;

struct BoxInfo {
  UINT type = 0;
  std::vector<int> buttons;
  HWND owner = nullptr;
};

bool Has(const BoxInfo& b, int id) { return std::find(b.buttons.begin(), b.buttons.end(), id) != b.buttons.end(); }

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* info = reinterpret_cast<BoxInfo*>(GetWindowLongPtr(hwnd, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      info = reinterpret_cast<BoxInfo*>(lp);
      SetWindowLongPtr(hwnd, DWLP_USER, lp);
      SetProp(hwnd, "KxMessageBox", reinterpret_cast<HANDLE>(1));
      UINT icon = info->type & MB_ICONMASK;
      LPCSTR id = icon == MB_ICONHAND ? IDI_HAND : icon == MB_ICONQUESTION ? IDI_QUESTION
                  : icon == MB_ICONEXCLAMATION ? IDI_EXCLAMATION : icon == MB_ICONASTERISK ? IDI_ASTERISK : nullptr;
      if (id) SendDlgItemMessage(hwnd, kIconId, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, id)), 0);
      MessageBeep(icon);
      size_t def = std::min<size_t>((info->type & MB_DEFMASK) >> 8, info->buttons.size() - 1);
      HWND b = GetDlgItem(hwnd, info->buttons[def]);
      SendMessage(hwnd, DM_SETDEFID, static_cast<WPARAM>(info->buttons[def]), 0);
      SetFocus(b);
      return FALSE;
    }
    case WM_COMMAND: {
      if (!info) return FALSE;
      int cmd = LOWORD(wp);
      if (cmd == IDCANCEL && !Has(*info, IDCANCEL)) {
        // Escape and the close box answer OK in a box with only OK; otherwise they do nothing.
        if (info->buttons.size() == 1 && info->buttons[0] == IDOK) EndDialog(hwnd, IDOK);
        return TRUE;
      }
      if (cmd == IDHELP) {
        HELPINFO hi{sizeof hi, 1, 0, hwnd, 0, POINT{0, 0}};
        if (info->owner) SendMessage(info->owner, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
        return TRUE;
      }
      if (Has(*info, cmd)) EndDialog(hwnd, cmd);
      return TRUE;
    }
    case WM_DESTROY:
      RemoveProp(hwnd, "KxMessageBox");
      return FALSE;
    default:
      return FALSE;
  }
}

int Ceil(int a, int b) { return (a + b - 1) / b; }

int RunBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  BoxInfo info;
  info.type = type;
  info.owner = owner;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: info.buttons = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: info.buttons = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: info.buttons = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: info.buttons = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: info.buttons = {IDRETRY, IDCANCEL}; break;
    case MB_CANCELTRYCONTINUE: info.buttons = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
    default: info.buttons = {IDOK}; break;
  }
  if (type & MB_HELP) info.buttons.push_back(IDHELP);
  auto label = [](int id) -> const char* {
    switch (id) {
      case IDOK: return "OK";
      case IDCANCEL: return "Cancel";
      case IDABORT: return "&Abort";
      case IDRETRY: return "&Retry";
      case IDIGNORE: return "&Ignore";
      case IDYES: return "&Yes";
      case IDNO: return "&No";
      case IDTRYAGAIN: return "&Try Again";
      case IDCONTINUE: return "&Continue";
      default: return "Help";
    }
  };
  // Layout in pixels, then in dialog units of the dialog font.
  HFONT font = DefaultDialogFont();
  HDC hdc = CreateCompatibleDC(nullptr);
  HGDIOBJ of = SelectObject(hdc, font);
  RECT tr{0, 0, 460, 0};
  DrawText(hdc, text.c_str(), -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SIZE capSize{};
  GetTextExtentPoint32(hdc, caption.c_str(), static_cast<int>(caption.size()), &capSize);
  SelectObject(hdc, of);
  DeleteDC(hdc);
  LONG units = GetDialogBaseUnits();
  int bx = LOWORD(units), by = HIWORD(units);
  bool icon = (type & MB_ICONMASK) != 0;
  const int margin = 12, bw = 75, bh = 23, gap = 6, iconSize = 32;
  int textW = std::max<int>(tr.right - tr.left, 1), textH = std::max<int>(tr.bottom - tr.top, 13);
  int contentW = (icon ? iconSize + margin : 0) + textW;
  int contentH = std::max(icon ? iconSize : 0, textH);
  int buttonsW = static_cast<int>(info.buttons.size()) * bw + (static_cast<int>(info.buttons.size()) - 1) * gap;
  int clientW = std::max({contentW, buttonsW, static_cast<int>(capSize.cx) + 40}) + 2 * margin;
  int clientH = margin + contentH + margin + bh + margin;
  auto dx = [&](int px) { return static_cast<short>(Ceil(px * 4, bx)); };
  auto dy = [&](int px) { return static_cast<short>(Ceil(px * 8, by)); };
  kx::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_NOIDLEMSG;
  t.exStyle = ((type & (MB_TOPMOST | MB_SYSTEMMODAL)) ? WS_EX_TOPMOST : 0);
  t.cx = dx(clientW);
  t.cy = dy(clientH);
  t.title = caption;
  if (icon) {
    kx::DialogItemTemplate it;
    it.className = "Static";
    it.style = WS_CHILD | WS_VISIBLE | SS_ICON;
    it.x = dx(margin);
    it.y = dy(margin);
    it.cx = dx(iconSize);
    it.cy = dy(iconSize);
    it.id = kIconId;
    t.items.push_back(it);
  }
  kx::DialogItemTemplate txt;
  txt.className = "Static";
  txt.style = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX;
  txt.x = dx(margin + (icon ? iconSize + margin : 0));
  txt.y = dy(margin + (contentH - textH) / 2);
  txt.cx = static_cast<short>(dx(textW) + 1);
  txt.cy = dy(textH);
  txt.id = kTextId;
  txt.text = text;
  t.items.push_back(txt);
  int x = (clientW - buttonsW) / 2;
  size_t def = std::min<size_t>((type & MB_DEFMASK) >> 8, info.buttons.size() - 1);
  for (size_t i = 0; i < info.buttons.size(); ++i) {
    kx::DialogItemTemplate b;
    b.className = "Button";
    b.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | (i == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    b.x = dx(x);
    b.y = dy(margin + contentH + margin);
    b.cx = dx(bw);
    b.cy = dy(bh);
    b.id = info.buttons[i];
    b.text = label(info.buttons[i]);
    t.items.push_back(b);
    x += bw + gap;
  }
  // A box without an owner in task-modal mode holds every window of the thread.
  std::vector<HWND> disabled;
  if (!owner && (type & MB_TASKMODAL)) {
    std::vector<HWND> tops;
    {
      Guard g(Lock());
      for (HWND h : TopLevels())
        if (WindowPtr w = FindLocked(h); w && w->threadId == ThreadId() && !(w->style & WS_DISABLED)) tops.push_back(h);
    }
    for (HWND h : tops) {
      EnableWindow(h, FALSE);
      disabled.push_back(h);
    }
  }
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, owner, BoxProc, reinterpret_cast<LPARAM>(&info));
  for (HWND h : disabled)
    if (IsWindow(h)) EnableWindow(h, TRUE);
  return r < 0 ? 0 : static_cast<int>(r);
}

}  // namespace

}  // namespace kx::ui

using namespace kx::ui;

int MessageBoxEx(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD) {
  std::string t = text ? text : "", c = caption ? caption : "Error";
  if (owner && !IsWindow(owner)) owner = nullptr;
  // A box asked for by another thread appears on the owner's thread, as everything touching its windows does.
  if (owner && !OnThreadOf(owner)) return static_cast<int>(RunOn(owner, [=] { return static_cast<LRESULT>(RunBox(owner, t, c, type)); }));
  return RunBox(owner, t, c, type);
}

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) { return MessageBoxEx(owner, text, caption, type, 0); }
