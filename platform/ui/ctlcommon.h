// Small helpers shared by the list-like controls (list view, header, tree view, list box, combo box).
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/commonctrl.h"
#include "platform/ui/control.h"

namespace kx::ctl {

// What a combo box's drop-down list tells its combo box: the drop-down ends without a choice (lParam: the screen
// point of the click), or with the item in wParam chosen.
constexpr UINT kComboDropCancel = WM_USER + 0x300;
constexpr UINT kComboDropChoose = WM_USER + 0x301;
// Asks a date-time picker for the kinds of its editable fields in display order, one letter each ('y' year,
// 'M' month, 'd' day, 'h' hour of 12, 'H' hour of 24, 'm' minute, 's' second, 't' AM/PM) into the buffer in
// lParam of wParam bytes (for the UI driver, which types into the fields as a person does).
constexpr UINT kDtpGetFields = WM_USER + 0x310;
// A status bar keeps the command id of each part for the framework's status bar (wParam: the part; lParam: the
// id to set). Getting answers the id, or -1 for a part that does not exist.
constexpr UINT kSbSetPaneId = WM_USER + 0x320;
constexpr UINT kSbGetPaneId = WM_USER + 0x321;

// The control's own data: made at WM_NCCREATE, deleted at WM_NCDESTROY. Returns nullptr for those two messages
// and for a window without data; *result then holds the answer to give.
template <typename T>
T* Lifetime(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_NCCREATE) {
    kx::SetControlData(hwnd, new T());
    *result = DefWindowProc(hwnd, msg, wp, lp);
    return nullptr;
  }
  T* d = kx::ControlData<T>(hwnd);
  if (msg == WM_NCDESTROY) {
    delete d;
    kx::SetControlData<T>(hwnd, nullptr);
    *result = DefWindowProc(hwnd, msg, wp, lp);
    return nullptr;
  }
  if (!d) *result = DefWindowProc(hwnd, msg, wp, lp);
  return d;
}

// True when the values are 0 .. n-1, each once (a column order).
inline bool IsPermutation(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] != static_cast<int>(i)) return false;
  return true;
}

// A menu or button text without its '&' markers ("&&" stays one '&'), cut at a tab.
inline std::string StripMnemonics(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size() && s[i] != '\t'; ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += s[i];
  }
  return out;
}

// Stable merge sort of `order` by a three-way comparison. It never reads out of bounds, whatever the comparison
// answers (callers' comparisons are not always consistent).
inline void MergeSort(std::vector<int>& order, const std::function<int(int, int)>& cmp) {
  std::vector<int> tmp(order.size());
  for (size_t width = 1; width < order.size(); width *= 2) {
    for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
      size_t mid = std::min(lo + width, order.size()), hi = std::min(lo + 2 * width, order.size());
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) tmp[k++] = cmp(order[j], order[i]) < 0 ? order[j++] : order[i++];
      while (i < mid) tmp[k++] = order[i++];
      while (j < hi) tmp[k++] = order[j++];
    }
    order.swap(tmp);
  }
}

// Copies text into a caller's buffer of `size` bytes, cut to fit and terminated; returns the bytes copied.
inline int CopyOut(const std::string& text, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  int n = std::min(static_cast<int>(text.size()), size - 1);
  std::memcpy(buffer, text.data(), static_cast<size_t>(n));
  buffer[n] = '\0';
  return n;
}

inline std::string TextOf(LPCSTR s) { return s ? std::string(s) : std::string(); }

// The width of a text in a window's control font.
inline int TextWidth(HWND hwnd, HFONT font, const std::string& text) {
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(font));
  SIZE s{0, 0};
  GetTextExtentPoint32(hdc, text.c_str(), static_cast<int>(text.size()), &s);
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  return s.cx;
}

inline int FontHeight(HWND hwnd, HFONT font) {
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(hdc, kx::ControlFont(font));
  TEXTMETRICA tm{};
  GetTextMetrics(hdc, &tm);
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  return tm.tmHeight;
}

// Case-insensitive prefix test of the list controls' type-ahead and string searches.
inline bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}


// Shows or hides the vertical scroll bar of a list and sets its range: `count` rows, `page` of them visible.
inline void UpdateVScroll(HWND hwnd, int count, int page, int top) {
  bool need = count > page && page > 0;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = need ? count - 1 : 0;
  si.nPage = static_cast<UINT>(need ? page : 0);
  si.nPos = need ? top : 0;
  ShowScrollBar(hwnd, SB_VERT, need);
  SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
}

// The new top row for a WM_VSCROLL request.
inline int ScrollTarget(int code, int thumb, int top, int count, int page);

// The new top row for the WM_VSCROLL a list received (the thumb's track position read from its scroll bar).
inline int VScrollTop(HWND hwnd, WPARAM wp, int top, int count, int page) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_TRACKPOS;
  GetScrollInfo(hwnd, SB_VERT, &si);
  return ScrollTarget(LOWORD(wp), si.nTrackPos ? si.nTrackPos : HIWORD(wp), top, count, page);
}

inline int ScrollTarget(int code, int thumb, int top, int count, int page) {
  int maxTop = std::max(0, count - std::max(page, 1));
  switch (code) {
    case SB_LINEUP: top -= 1; break;
    case SB_LINEDOWN: top += 1; break;
    case SB_PAGEUP: top -= std::max(page, 1); break;
    case SB_PAGEDOWN: top += std::max(page, 1); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: top = thumb; break;
    case SB_TOP: top = 0; break;
    case SB_BOTTOM: top = maxTop; break;
    default: break;
  }
  return std::clamp(top, 0, maxTop);
}

}  // namespace kx::ctl
