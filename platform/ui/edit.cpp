// The edit control: single and multi-line, password, read-only, number-only, limits, selection, undo, the
// text clipboard (the display's), EM_* messages and EN_* notifications.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ui/display.h"
#include "platform/ui/access.h"
#include "platform/ui/internal.h"
#include "platform/win32/heap.h"

namespace kx::ui {

namespace {

struct EditData {
  std::string text;
  size_t anchor = 0;
  size_t caret = 0;
  size_t limit = 30000;  // characters
  bool modified = false;
  char password = 0;
  HFONT font = nullptr;
  int scrollX = 0;
  int firstLine = 0;
  bool focus = false;
  bool tracking = false;
  bool canUndo = false;
  std::string undoText;
  size_t undoAnchor = 0, undoCaret = 0;
  std::string pending;  // bytes of a character that arrive one WM_CHAR at a time
  size_t pendingNeed = 0;
  int leftMargin = 2;
  int rightMargin = 2;
  bool customRect = false;
  RECT rect{0, 0, 0, 0};
  bool caretShown = true;  // the blink's phase; the caret is drawn only while focused
};

// The edit's own timer for the caret's blink.
constexpr UINT_PTR kBlinkTimer = 0x4B43;

struct VLine {
  size_t start, end;  // end excludes the line break
};

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)); }
bool Multi(HWND hwnd) { return (Style(hwnd) & ES_MULTILINE) != 0; }

size_t NextPos(const std::string& s, size_t i) {
  if (i >= s.size()) return s.size();
  if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') return i + 2;
  ++i;
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return i;
}

size_t PrevPos(const std::string& s, size_t i) {
  if (i == 0) return 0;
  if (i >= 2 && s[i - 1] == '\n' && s[i - 2] == '\r') return i - 2;
  --i;
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  return i;
}

// The caret steps over whole graphemes: a letter and its combining marks, an emoji sequence.
size_t NextCaret(const std::string& s, size_t i) { return kx::gdi::NextCursorPos(s.data(), s.size(), i); }
size_t PrevCaret(const std::string& s, size_t i) { return kx::gdi::PrevCursorPos(s.data(), s.size(), i); }

size_t CharCount(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i = NextPos(s, i)) ++n;
  return n;
}

// A DC for measuring with the control's font.
struct Measure {
  HDC hdc;
  HGDIOBJ old;
  explicit Measure(HFONT font) {
    hdc = CreateCompatibleDC(nullptr);
    old = SelectObject(hdc, kx::ControlFont(font));
  }
  ~Measure() {
    SelectObject(hdc, old);
    DeleteDC(hdc);
  }
  int Width(const char* s, size_t n) const {
    if (n == 0) return 0;
    return LOWORD(GetTabbedTextExtent(hdc, s, static_cast<int>(n), 0, nullptr));
  }
  int Height() const {
    TEXTMETRICA tm{};
    GetTextMetrics(hdc, &tm);
    return tm.tmHeight;
  }
};

std::string Shown(const EditData& d, size_t from, size_t to) {
  if (!d.password) return d.text.substr(from, to - from);
  std::string s;
  for (size_t i = from; i < to; i = NextPos(d.text, i)) s += d.password;
  return s;
}

RECT FormatRect(HWND hwnd, EditData* d) {
  if (d->customRect) return d->rect;
  RECT rc;
  GetClientRect(hwnd, &rc);
  rc.left += d->leftMargin;
  rc.right -= d->rightMargin;
  if (Multi(hwnd)) rc.top += 1;
  return rc;
}

bool Wraps(HWND hwnd) {
  DWORD st = Style(hwnd);
  return (st & ES_MULTILINE) && !(st & ES_AUTOHSCROLL) && !(st & WS_HSCROLL);
}

std::vector<VLine> Lines(HWND hwnd, EditData* d, const Measure& m) {
  std::vector<VLine> out;
  const std::string& t = d->text;
  if (!Multi(hwnd)) {
    out.push_back({0, t.size()});
    return out;
  }
  RECT fr = FormatRect(hwnd, d);
  int width = std::max<int>(fr.right - fr.left, 1);
  bool wrap = Wraps(hwnd);
  size_t start = 0;
  for (;;) {
    size_t nl = t.find('\n', start);
    size_t paraEnd = nl == std::string::npos ? t.size() : (nl > start && t[nl - 1] == '\r' ? nl - 1 : nl);
    size_t ls = start;
    if (wrap) {
      while (ls < paraEnd) {
        // Longest piece that fits, broken after a blank when there is one.
        size_t fit = ls, lastBreak = std::string::npos;
        for (size_t i = ls; i < paraEnd;) {
          size_t n = NextPos(t, i);
          if (m.Width(t.data() + ls, n - ls) > width && i > ls) break;
          fit = n;
          if (t[i] == ' ') lastBreak = n;
          i = n;
        }
        if (fit >= paraEnd) break;
        size_t cut = lastBreak != std::string::npos && lastBreak > ls ? lastBreak : fit;
        out.push_back({ls, cut});
        ls = cut;
      }
    }
    out.push_back({ls, paraEnd});
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

int LineOf(const std::vector<VLine>& lines, size_t pos) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (pos <= lines[i].end && (i + 1 == lines.size() || pos < lines[i + 1].start)) return static_cast<int>(i);
  return static_cast<int>(lines.size()) - 1;
}

// `caret`: where a caret before the character stands, which in right-to-left text is not after the widths of
// what comes before it.
POINT PosFromChar(HWND hwnd, EditData* d, const Measure& m, const std::vector<VLine>& lines, size_t pos,
                  bool caret = false) {
  RECT fr = FormatRect(hwnd, d);
  int li = LineOf(lines, pos);
  const VLine& l = lines[static_cast<size_t>(li)];
  int x = m.Width(Shown(*d, l.start, std::min(pos, l.end)).c_str(), Shown(*d, l.start, std::min(pos, l.end)).size());
  if (caret && !d->password) {
    LOGFONTA lf{};
    GetObject(kx::ControlFont(d->font), sizeof lf, &lf);
    int rtl = kx::gdi::RightToLeftCaretX(lf, d->text.data() + l.start, l.end - l.start, std::min(pos, l.end) - l.start);
    if (rtl >= 0) x = rtl;
  }
  int lh = m.Height();
  if (Multi(hwnd)) return POINT{fr.left + x, fr.top + (li - d->firstLine) * lh};
  DWORD st = Style(hwnd);
  int total = m.Width(Shown(*d, 0, d->text.size()).c_str(), Shown(*d, 0, d->text.size()).size());
  int width = fr.right - fr.left;
  int base = fr.left - d->scrollX;
  if ((st & ES_CENTER) && total < width) base = fr.left + (width - total) / 2;
  else if ((st & ES_RIGHT) && total < width) base = fr.right - total;
  int top = fr.top + std::max(0, static_cast<int>((fr.bottom - fr.top - lh) / 2));
  return POINT{base + x, top};
}

size_t CharFromPos(HWND hwnd, EditData* d, const Measure& m, const std::vector<VLine>& lines, POINT p) {
  RECT fr = FormatRect(hwnd, d);
  int lh = std::max(m.Height(), 1);
  int li = Multi(hwnd) ? std::clamp(d->firstLine + (p.y - fr.top) / lh, 0, static_cast<int>(lines.size()) - 1) : 0;
  const VLine& l = lines[static_cast<size_t>(li)];
  POINT origin = PosFromChar(hwnd, d, m, lines, l.start);
  size_t best = l.start;
  std::vector<size_t> stops = kx::gdi::CursorStops(d->text.data() + l.start, l.end - l.start);
  for (size_t k = 0; k + 1 < stops.size(); ++k) {
    size_t i = l.start + stops[k], n = l.start + stops[k + 1];
    std::string a = Shown(*d, l.start, i), b = Shown(*d, l.start, n);
    int mid = origin.x + (m.Width(a.c_str(), a.size()) + m.Width(b.c_str(), b.size())) / 2;
    if (p.x < mid) return i;
    best = n;
  }
  return best;
}

RECT CaretRect(HWND hwnd, EditData* d, const Measure& m, const std::vector<VLine>& lines) {
  POINT c = PosFromChar(hwnd, d, m, lines, d->caret, true);
  return RECT{c.x, c.y, c.x + 1, c.y + m.Height()};
}

// The caret blinks only on a screen people watch; the headless desktop keeps it steady, so what tests and
// screenshots see does not depend on when they look.
void RestartBlink(HWND hwnd, EditData* d) {
  if (!d->caretShown) {
    d->caretShown = true;
    Measure m(d->font);
    RECT cr = CaretRect(hwnd, d, m, Lines(hwnd, d, m));
    InvalidateRect(hwnd, &cr, TRUE);
  }
  if (d->focus && CurrentDisplay().Live()) SetTimer(hwnd, kBlinkTimer, GetCaretBlinkTime(), nullptr);
}

void StopBlink(HWND hwnd, EditData* d) {
  KillTimer(hwnd, kBlinkTimer);
  d->caretShown = true;
}

void Blink(HWND hwnd, EditData* d) {
  if (!d->focus) {
    StopBlink(hwnd, d);
    return;
  }
  d->caretShown = !d->caretShown;
  if (!IsWindowEnabled(hwnd)) return;
  // Only the caret's pixels change: the rest of the edit is neither painted nor sent again.
  Measure m(d->font);
  RECT cr = CaretRect(hwnd, d, m, Lines(hwnd, d, m));
  InvalidateRect(hwnd, &cr, TRUE);
}

void ScrollToCaret(HWND hwnd, EditData* d) {
  Measure m(d->font);
  auto lines = Lines(hwnd, d, m);
  RECT fr = FormatRect(hwnd, d);
  if (Multi(hwnd)) {
    int lh = std::max(m.Height(), 1);
    int visible = std::max(1, static_cast<int>((fr.bottom - fr.top) / lh));
    int li = LineOf(lines, d->caret);
    if (li < d->firstLine) d->firstLine = li;
    if (li >= d->firstLine + visible) d->firstLine = li - visible + 1;
    return;
  }
  std::string before = Shown(*d, 0, d->caret);
  int x = m.Width(before.c_str(), before.size());
  int width = fr.right - fr.left;
  if (x - d->scrollX > width - 1) d->scrollX = x - width + std::max(width / 4, 1);
  if (x < d->scrollX) d->scrollX = std::max(0, x - width / 4);
  if (d->scrollX < 0) d->scrollX = 0;
}

void Changed(HWND hwnd, EditData* d, bool notify) {
  {
    // The window system's copy of the text follows the edit's (window lists, InternalGetWindowText).
    // A password is kept out of it.
    std::string mirror = Shown(*d, 0, d->text.size());
    Guard g(Lock());
    if (WindowPtr w = FindLocked(hwnd)) w->text = mirror;
  }
  ScrollToCaret(hwnd, d);
  RestartBlink(hwnd, d);
  if (notify) kx::NotifyParent(hwnd, EN_UPDATE);
  InvalidateRect(hwnd, nullptr, TRUE);
  kx::ui::Announce(hwnd, kx::ui::Access::Text);
  if (notify) kx::NotifyParent(hwnd, EN_CHANGE);
}

// Room enough that typing a password never moves it (a moved string leaves its old bytes behind).
constexpr size_t kPasswordRoom = 256;

void SaveUndo(EditData* d) {
  if (d->password) {
    // A password is not kept a second time for Undo.
    d->canUndo = false;
    return;
  }
  d->undoText = d->text;
  d->undoAnchor = d->anchor;
  d->undoCaret = d->caret;
  d->canUndo = true;
}

size_t SelMin(const EditData* d) { return std::min(d->anchor, d->caret); }
size_t SelMax(const EditData* d) { return std::max(d->anchor, d->caret); }

// Replaces the selection; returns false when nothing could be inserted for the limit.
bool Replace(HWND hwnd, EditData* d, std::string s, bool undo, bool notify) {
  DWORD st = Style(hwnd);
  if (!Multi(hwnd)) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    std::replace(s.begin(), s.end(), '\n', ' ');
  } else {
    // Line breaks are kept as CR LF, as the platform's edit control does.
    std::string fixed;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) fixed += '\r';
      fixed += s[i];
    }
    s = fixed;
  }
  if (st & ES_UPPERCASE) for (char& c : s) if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (st & ES_LOWERCASE) for (char& c : s) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  size_t a = SelMin(d), b = SelMax(d);
  size_t keep = CharCount(d->text) - CharCount(d->text.substr(a, b - a));
  bool truncated = false;
  if (keep + CharCount(s) > d->limit) {
    size_t room = d->limit > keep ? d->limit - keep : 0;
    size_t cut = 0;
    for (size_t n = 0; n < room && cut < s.size(); ++n) cut = NextPos(s, cut);
    s.resize(cut);
    truncated = true;
  }
  if (s.empty() && a == b) {
    if (truncated) kx::NotifyParent(hwnd, EN_MAXTEXT);
    return false;
  }
  if (undo) SaveUndo(d);
  d->text.replace(a, b - a, s);
  d->anchor = d->caret = a + s.size();
  d->modified = true;
  Changed(hwnd, d, notify);
  if (truncated) kx::NotifyParent(hwnd, EN_MAXTEXT);
  return true;
}

bool ReadOnly(HWND hwnd) { return (Style(hwnd) & ES_READONLY) != 0; }

void Copy(EditData* d) {
  if (d->password || SelMin(d) == SelMax(d)) return;
  CurrentDisplay().SetClipboardText(d->text.substr(SelMin(d), SelMax(d) - SelMin(d)));
}

void MoveCaret(HWND hwnd, EditData* d, size_t pos, bool extend) {
  d->caret = std::min(pos, d->text.size());
  if (!extend) d->anchor = d->caret;
  ScrollToCaret(hwnd, d);
  RestartBlink(hwnd, d);
  InvalidateRect(hwnd, nullptr, TRUE);
}

size_t WordLeft(const std::string& s, size_t i) {
  while (i > 0 && s[i - 1] == ' ') --i;
  while (i > 0 && s[i - 1] != ' ' && s[i - 1] != '\n') i = PrevPos(s, i);
  return i;
}

size_t WordRight(const std::string& s, size_t i) {
  while (i < s.size() && s[i] != ' ' && s[i] != '\r' && s[i] != '\n') i = NextPos(s, i);
  while (i < s.size() && s[i] == ' ') ++i;
  return i;
}

void KeyDown(HWND hwnd, EditData* d, WPARAM vk) {
  bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
  Measure m(d->font);
  auto lines = Lines(hwnd, d, m);
  switch (vk) {
    case VK_LEFT:
      if (!shift && SelMin(d) != SelMax(d)) MoveCaret(hwnd, d, SelMin(d), false);
      else MoveCaret(hwnd, d, ctrl ? WordLeft(d->text, d->caret) : PrevCaret(d->text, d->caret), shift);
      break;
    case VK_RIGHT:
      if (!shift && SelMin(d) != SelMax(d)) MoveCaret(hwnd, d, SelMax(d), false);
      else MoveCaret(hwnd, d, ctrl ? WordRight(d->text, d->caret) : NextCaret(d->text, d->caret), shift);
      break;
    case VK_HOME:
      MoveCaret(hwnd, d, ctrl ? 0 : lines[static_cast<size_t>(LineOf(lines, d->caret))].start, shift);
      break;
    case VK_END:
      MoveCaret(hwnd, d, ctrl ? d->text.size() : lines[static_cast<size_t>(LineOf(lines, d->caret))].end, shift);
      break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
      if (!Multi(hwnd)) {
        if (vk == VK_UP) MoveCaret(hwnd, d, PrevCaret(d->text, d->caret), shift);
        if (vk == VK_DOWN) MoveCaret(hwnd, d, NextCaret(d->text, d->caret), shift);
        break;
      }
      RECT fr = FormatRect(hwnd, d);
      int page = std::max(1, static_cast<int>((fr.bottom - fr.top) / std::max(m.Height(), 1)));
      int step = vk == VK_UP ? -1 : vk == VK_DOWN ? 1 : vk == VK_PRIOR ? -page : page;
      int li = std::clamp(LineOf(lines, d->caret) + step, 0, static_cast<int>(lines.size()) - 1);
      POINT p = PosFromChar(hwnd, d, m, lines, d->caret);
      const VLine& target = lines[static_cast<size_t>(li)];
      POINT t0 = PosFromChar(hwnd, d, m, lines, target.start);
      MoveCaret(hwnd, d, CharFromPos(hwnd, d, m, lines, POINT{p.x, t0.y}), shift);
      break;
    }
    case VK_DELETE:
      if (ReadOnly(hwnd)) break;
      if (shift) {
        Copy(d);
        if (SelMin(d) != SelMax(d)) Replace(hwnd, d, "", true, true);
        break;
      }
      if (SelMin(d) == SelMax(d)) {
        if (d->caret >= d->text.size()) break;
        d->anchor = NextCaret(d->text, d->caret);
      }
      Replace(hwnd, d, "", true, true);
      break;
    case VK_INSERT:
      if (ctrl) Copy(d);
      else if (shift && !ReadOnly(hwnd)) Replace(hwnd, d, CurrentDisplay().ClipboardText(), true, true);
      break;
    default:
      break;
  }
}

void Char(HWND hwnd, EditData* d, unsigned char c) {
  DWORD st = Style(hwnd);
  switch (c) {
    case 1:  // Ctrl+A
      d->anchor = 0;
      d->caret = d->text.size();
      InvalidateRect(hwnd, nullptr, TRUE);
      return;
    case 3:
      Copy(d);
      return;
    case 22:
      if (!ReadOnly(hwnd)) Replace(hwnd, d, CurrentDisplay().ClipboardText(), true, true);
      return;
    case 24:
      if (ReadOnly(hwnd)) return;
      Copy(d);
      if (SelMin(d) != SelMax(d)) Replace(hwnd, d, "", true, true);
      return;
    case 26:
      SendMessage(hwnd, EM_UNDO, 0, 0);
      return;
    case '\b':
      if (ReadOnly(hwnd)) return;
      if (SelMin(d) == SelMax(d)) {
        if (d->caret == 0) return;
        d->anchor = PrevPos(d->text, d->caret);
      }
      Replace(hwnd, d, "", true, true);
      return;
    case '\r':
      if (!Multi(hwnd) || ReadOnly(hwnd)) return;
      Replace(hwnd, d, "\r\n", true, true);
      return;
    case '\t':
      if (!Multi(hwnd) || ReadOnly(hwnd)) return;
      Replace(hwnd, d, "\t", true, true);
      return;
    default:
      break;
  }
  if (c < 0x20 || c == 0x7F || ReadOnly(hwnd)) return;
  // Bytes of a character beyond ASCII arrive one by one, lead byte first.
  if (c >= 0x80) {
    if (c >= 0xC0) {
      d->pending.assign(1, static_cast<char>(c));
      d->pendingNeed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      return;
    }
    if (d->pending.empty()) return;
    d->pending += static_cast<char>(c);
    if (d->pending.size() < d->pendingNeed) return;
  } else {
    d->pending.assign(1, static_cast<char>(c));
  }
  std::string ch = d->pending;
  d->pending.clear();
  if ((st & ES_NUMBER) && !(ch.size() == 1 && ch[0] >= '0' && ch[0] <= '9')) {
    MessageBeep(0);
    return;
  }
  Replace(hwnd, d, ch, true, true);
}

void Paint(HWND hwnd, HDC hdc, const RECT& rc, EditData* d) {
  bool enabled = IsWindowEnabled(hwnd);
  HBRUSH bg = kx::ControlColors(hwnd, hdc, (enabled && !ReadOnly(hwnd)) ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
  FillRect(hdc, &rc, bg);
  HGDIOBJ of = SelectObject(hdc, kx::ControlFont(d->font));
  if (!enabled) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  COLORREF textColor = GetTextColor(hdc);
  SetBkMode(hdc, TRANSPARENT);
  Measure m(d->font);
  auto lines = Lines(hwnd, d, m);
  RECT fr = FormatRect(hwnd, d);
  int lh = m.Height();
  int save = SaveDC(hdc);
  IntersectClipRect(hdc, fr.left, rc.top, fr.right, rc.bottom);
  bool showSel = (d->focus || (Style(hwnd) & ES_NOHIDESEL)) && SelMin(d) != SelMax(d);
  size_t s0 = SelMin(d), s1 = SelMax(d);
  int first = Multi(hwnd) ? d->firstLine : 0;
  for (size_t li = static_cast<size_t>(first); li < lines.size(); ++li) {
    const VLine& l = lines[li];
    POINT p = PosFromChar(hwnd, d, m, lines, l.start);
    if (p.y > rc.bottom) break;
    std::string all = Shown(*d, l.start, l.end);
    RECT lr{p.x, p.y, fr.right + d->scrollX + 10000, p.y + lh};
    DrawText(hdc, all.c_str(), static_cast<int>(all.size()), &lr, DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP);
    if (showSel && s0 < l.end + (li + 1 < lines.size() ? 1 : 0) && s1 > l.start) {
      size_t a = std::max(s0, l.start), b = std::min(s1, l.end);
      POINT pa = PosFromChar(hwnd, d, m, lines, a);
      std::string seg = Shown(*d, a, b);
      int w = m.Width(seg.c_str(), seg.size());
      if (b < s1 && b == l.end && Multi(hwnd)) w += m.Width(" ", 1);
      RECT sr{pa.x, p.y, pa.x + w, p.y + lh};
      FillRect(hdc, &sr, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      DrawText(hdc, seg.c_str(), static_cast<int>(seg.size()), &sr, DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP);
      SetTextColor(hdc, textColor);
    }
  }
  if (d->focus && enabled && d->caretShown) {
    RECT cr = CaretRect(hwnd, d, m, lines);
    HBRUSH caret = CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT));
    FillRect(hdc, &cr, caret);
    DeleteObject(caret);
  }
  RestoreDC(hdc, save);
  SelectObject(hdc, of);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  EditData* d = kx::ControlData<EditData>(hwnd);
  switch (msg) {
    case WM_NCCREATE: {
      auto* nd = new EditData();
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
      if (cs->style & ES_PASSWORD) {
        nd->password = '*';
        nd->text.reserve(kPasswordRoom);
      }
      if (cs->style & ES_MULTILINE) nd->limit = 0x7FFFFFFE;
      if (cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) nd->text = cs->lpszName;
      if (!(cs->style & ES_MULTILINE)) {
        nd->text.erase(std::remove(nd->text.begin(), nd->text.end(), '\r'), nd->text.end());
        std::replace(nd->text.begin(), nd->text.end(), '\n', ' ');
      }
      kx::SetControlData(hwnd, nd);
      CREATESTRUCTA copy = *cs;
      std::string shown = Shown(*nd, 0, nd->text.size());
      copy.lpszName = shown.c_str();
      return DefWindowProc(hwnd, msg, wp, reinterpret_cast<LPARAM>(&copy));
    }
    case WM_NCDESTROY:
      if (d && d->password) {
        // A password edit's text is overwritten before its memory is given back.
        kx::WipeString(d->text);
        kx::WipeString(d->undoText);
      }
      delete d;
      kx::SetControlData<EditData>(hwnd, nullptr);
      return DefWindowProc(hwnd, msg, wp, lp);
  }
  if (!d) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, hdc, rc, d); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT: {
      const char* t = reinterpret_cast<const char*>(lp);
      if (d->password) kx::WipeString(d->text);
      d->text = t ? t : "";
      if (!Multi(hwnd)) {
        d->text.erase(std::remove(d->text.begin(), d->text.end(), '\r'), d->text.end());
        std::replace(d->text.begin(), d->text.end(), '\n', ' ');
      }
      d->anchor = d->caret = 0;
      d->scrollX = 0;
      d->firstLine = 0;
      d->modified = false;
      d->canUndo = false;
      // A multi-line edit does not report text set by the program.
      Changed(hwnd, d, !Multi(hwnd));
      return TRUE;
    }
    case WM_GETTEXT: {
      return kx::gdi::CopyText(d->text, reinterpret_cast<char*>(lp), static_cast<int>(std::min<WPARAM>(wp, INT32_MAX)));
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(d->text.size());
    case WM_SETFONT:
      d->font = reinterpret_cast<HFONT>(wp);
      ScrollToCaret(hwnd, d);
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(d->font);
    case WM_ENABLE:
    case WM_SIZE:
      ScrollToCaret(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (Multi(hwnd)) {
        code |= DLGC_WANTALLKEYS;
        if (auto* m = reinterpret_cast<MSG*>(lp); m && m->message == WM_KEYDOWN) {
          if ((m->wParam == VK_RETURN && !(Style(hwnd) & ES_WANTRETURN)) || m->wParam == VK_ESCAPE ||
              m->wParam == VK_TAB)
            code &= ~DLGC_WANTALLKEYS;
        }
      }
      return code;
    }
    case WM_SETFOCUS:
      d->focus = true;
      RestartBlink(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      kx::NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      d->focus = false;
      d->tracking = false;
      StopBlink(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      kx::NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_KEYDOWN:
      RestartBlink(hwnd, d);
      KeyDown(hwnd, d, wp);
      return 0;
    case WM_CHAR:
      RestartBlink(hwnd, d);
      Char(hwnd, d, static_cast<unsigned char>(wp));
      return 0;
    case WM_TIMER:
      if (wp != kBlinkTimer) return DefWindowProc(hwnd, msg, wp, lp);
      Blink(hwnd, d);
      return 0;
    case WM_DESTROY:
      StopBlink(hwnd, d);
      return DefWindowProc(hwnd, msg, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      size_t pos = CharFromPos(hwnd, d, m, lines, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      if (msg == WM_LBUTTONDBLCLK) {
        d->anchor = WordLeft(d->text, pos);
        size_t e = pos;
        while (e < d->text.size() && d->text[e] != ' ' && d->text[e] != '\r' && d->text[e] != '\n') e = NextPos(d->text, e);
        MoveCaret(hwnd, d, e, true);
        return 0;
      }
      MoveCaret(hwnd, d, pos, (wp & MK_SHIFT) != 0);
      d->tracking = true;
      SetCapture(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (d->tracking && GetCapture() == hwnd) {
        Measure m(d->font);
        auto lines = Lines(hwnd, d, m);
        MoveCaret(hwnd, d, CharFromPos(hwnd, d, m, lines, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}), true);
      }
      return 0;
    case WM_LBUTTONUP:
      if (d->tracking) {
        d->tracking = false;
        if (GetCapture() == hwnd) ReleaseCapture();
      }
      return 0;
    case WM_CAPTURECHANGED:
      d->tracking = false;
      return 0;
    case EM_GETSEL: {
      if (wp) *reinterpret_cast<DWORD*>(wp) = static_cast<DWORD>(SelMin(d));
      if (lp) *reinterpret_cast<DWORD*>(lp) = static_cast<DWORD>(SelMax(d));
      if (SelMax(d) > 0xFFFF) return -1;
      return MAKELONG(SelMin(d), SelMax(d));
    }
    case EM_SETSEL: {
      long s = static_cast<long>(static_cast<int>(wp)), e = static_cast<long>(static_cast<int>(lp));
      size_t len = d->text.size();
      if (s < 0) {
        d->anchor = d->caret;  // removes the selection
      } else {
        size_t a = std::min<size_t>(static_cast<size_t>(s), len);
        size_t b = e < 0 ? len : std::min<size_t>(static_cast<size_t>(e), len);
        d->anchor = a;
        d->caret = b;
      }
      ScrollToCaret(hwnd, d);
      RestartBlink(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case EM_REPLACESEL: {
      const char* t = reinterpret_cast<const char*>(lp);
      Replace(hwnd, d, t ? t : "", wp != 0, true);
      return 0;
    }
    case EM_GETMODIFY:
      return d->modified;
    case EM_SETMODIFY:
      d->modified = wp != 0;
      return 0;
    case EM_LIMITTEXT:
      d->limit = wp ? static_cast<size_t>(wp) : 0x7FFFFFFE;
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(d->limit);
    case EM_SETREADONLY: {
      LONG_PTR st = GetWindowLongPtr(hwnd, GWL_STYLE);
      SetWindowLongPtr(hwnd, GWL_STYLE, wp ? (st | ES_READONLY) : (st & ~static_cast<LONG_PTR>(ES_READONLY)));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case EM_SETPASSWORDCHAR: {
      d->password = static_cast<char>(wp);
      if (d->password) {
        d->text.reserve(kPasswordRoom);
        kx::WipeString(d->undoText);
        d->canUndo = false;
      }
      LONG_PTR st = GetWindowLongPtr(hwnd, GWL_STYLE);
      SetWindowLongPtr(hwnd, GWL_STYLE, wp ? (st | ES_PASSWORD) : (st & ~static_cast<LONG_PTR>(ES_PASSWORD)));
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case EM_GETPASSWORDCHAR:
      return static_cast<unsigned char>(d->password);
    case EM_GETLINECOUNT: {
      Measure m(d->font);
      return static_cast<LRESULT>(Lines(hwnd, d, m).size());
    }
    case EM_LINEINDEX: {
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      int li = static_cast<int>(wp);
      if (li < 0) li = LineOf(lines, d->caret);
      if (li >= static_cast<int>(lines.size())) return -1;
      return static_cast<LRESULT>(lines[static_cast<size_t>(li)].start);
    }
    case EM_LINELENGTH: {
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      int idx = static_cast<int>(wp);
      if (idx < 0) {
        // Without a selection: the caret line; with one: the unselected parts of the lines it touches.
        if (SelMin(d) == SelMax(d)) {
          const VLine& l = lines[static_cast<size_t>(LineOf(lines, d->caret))];
          return static_cast<LRESULT>(l.end - l.start);
        }
        const VLine& a = lines[static_cast<size_t>(LineOf(lines, SelMin(d)))];
        const VLine& b = lines[static_cast<size_t>(LineOf(lines, SelMax(d)))];
        return static_cast<LRESULT>((SelMin(d) - a.start) + (b.end - SelMax(d)));
      }
      const VLine& l = lines[static_cast<size_t>(LineOf(lines, std::min<size_t>(static_cast<size_t>(idx), d->text.size())))];
      return static_cast<LRESULT>(l.end - l.start);
    }
    case EM_GETLINE: {
      char* buf = reinterpret_cast<char*>(lp);
      if (!buf) return 0;
      WORD size;
      std::memcpy(&size, buf, 2);
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      if (wp >= lines.size()) return 0;
      const VLine& l = lines[wp];
      size_t n = std::min<size_t>(l.end - l.start, size);
      std::memcpy(buf, d->text.data() + l.start, n);
      return static_cast<LRESULT>(n);  // not terminated, as on the platform
    }
    case EM_LINEFROMCHAR: {
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      size_t pos = static_cast<int>(wp) < 0 ? d->caret : std::min<size_t>(static_cast<size_t>(wp), d->text.size());
      return LineOf(lines, pos);
    }
    case EM_CANUNDO:
      return d->canUndo;
    case EM_UNDO:
    case WM_UNDO: {
      if (!d->canUndo) return FALSE;
      std::swap(d->text, d->undoText);
      std::swap(d->anchor, d->undoAnchor);
      std::swap(d->caret, d->undoCaret);
      d->anchor = std::min(d->anchor, d->text.size());
      d->caret = std::min(d->caret, d->text.size());
      d->modified = true;
      Changed(hwnd, d, true);
      return TRUE;
    }
    case EM_EMPTYUNDOBUFFER:
      d->canUndo = false;
      d->undoText.clear();
      return 0;
    case EM_GETFIRSTVISIBLELINE:
      return Multi(hwnd) ? d->firstLine : 0;
    case EM_SCROLLCARET:
      ScrollToCaret(hwnd, d);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case EM_LINESCROLL: {
      if (!Multi(hwnd)) return FALSE;
      Measure m(d->font);
      int n = static_cast<int>(Lines(hwnd, d, m).size());
      d->firstLine = std::clamp(d->firstLine + static_cast<int>(lp), 0, std::max(0, n - 1));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case EM_SCROLL: {
      if (!Multi(hwnd)) return 0;
      Measure m(d->font);
      int n = static_cast<int>(Lines(hwnd, d, m).size());
      RECT fr = FormatRect(hwnd, d);
      int page = std::max(1, static_cast<int>((fr.bottom - fr.top) / std::max(m.Height(), 1)));
      int step = wp == SB_LINEUP ? -1 : wp == SB_LINEDOWN ? 1 : wp == SB_PAGEUP ? -page : wp == SB_PAGEDOWN ? page : 0;
      int old = d->firstLine;
      d->firstLine = std::clamp(d->firstLine + step, 0, std::max(0, n - 1));
      InvalidateRect(hwnd, nullptr, TRUE);
      return MAKELRESULT(d->firstLine - old, TRUE);
    }
    case WM_VSCROLL:
      SendMessage(hwnd, EM_SCROLL, LOWORD(wp), 0);
      return 0;
    case EM_GETRECT:
      if (lp) *reinterpret_cast<RECT*>(lp) = FormatRect(hwnd, d);
      return 0;
    case EM_SETRECT:
    case EM_SETRECTNP:
      if (lp) {
        d->rect = *reinterpret_cast<const RECT*>(lp);
        d->customRect = true;
      } else {
        d->customRect = false;
      }
      if (msg == EM_SETRECT) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case EM_SETMARGINS:
      if (wp & EC_LEFTMARGIN) d->leftMargin = LOWORD(lp) == EC_USEFONTINFO ? 2 : static_cast<short>(LOWORD(lp));
      if (wp & EC_RIGHTMARGIN) d->rightMargin = HIWORD(lp) == EC_USEFONTINFO ? 2 : static_cast<short>(HIWORD(lp));
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case EM_GETMARGINS:
      return MAKELONG(d->leftMargin, d->rightMargin);
    case EM_POSFROMCHAR: {
      if (wp > d->text.size()) return -1;
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      POINT p = PosFromChar(hwnd, d, m, lines, wp, true);
      return MAKELONG(p.x, p.y);
    }
    case EM_CHARFROMPOS: {
      Measure m(d->font);
      auto lines = Lines(hwnd, d, m);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      size_t pos = CharFromPos(hwnd, d, m, lines, p);
      return MAKELONG(pos, LineOf(lines, pos));
    }
    case EM_SETTABSTOPS:
    case EM_FMTLINES:
      return TRUE;
    case WM_CUT:
      if (!ReadOnly(hwnd)) {
        Copy(d);
        if (SelMin(d) != SelMax(d)) Replace(hwnd, d, "", true, true);
      }
      return 0;
    case WM_COPY:
      Copy(d);
      return 0;
    case WM_PASTE:
      if (!ReadOnly(hwnd)) Replace(hwnd, d, CurrentDisplay().ClipboardText(), true, true);
      return 0;
    case WM_CLEAR:
      if (!ReadOnly(hwnd) && SelMin(d) != SelMax(d)) Replace(hwnd, d, "", true, true);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_IBEAM));
        return TRUE;
      }
      return DefWindowProc(hwnd, msg, wp, lp);
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterEditClass() { kx::RegisterControlClass("Edit", EditProc, CS_DBLCLKS | CS_PARENTDC, IDC_IBEAM); }

}  // namespace kx::ui
