// The progress bar ("msctls_progress32"): a 32-bit range, position, step and colours; drawn as blocks, or as one
// smooth bar with PBS_SMOOTH, growing upwards with PBS_VERTICAL.
#include <algorithm>

#include "platform/ui/access.h"
#include "platform/ui/ctlcommon.h"

namespace {

struct PbData {
  int low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_DEFAULT, bk = CLR_DEFAULT;
};


void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

int SetPos(HWND hwnd, PbData* d, long long pos) {
  int old = d->pos;
  int now = static_cast<int>(std::clamp<long long>(pos, d->low, d->high));
  if (now != old) {
    d->pos = now;
    Redraw(hwnd);
    kx::ui::Announce(hwnd, kx::ui::Access::Value);
  }
  return old;
}

LRESULT SetRange(HWND hwnd, PbData* d, int low, int high) {
  LRESULT old = MAKELONG(static_cast<WORD>(d->low), static_cast<WORD>(d->high));
  d->low = std::min(low, high);
  d->high = std::max(low, high);
  d->pos = std::clamp(d->pos, d->low, d->high);
  Redraw(hwnd);
  return old;
}

void Paint(HWND hwnd, PbData* d, HDC hdc, const RECT& client) {
  RECT r = client;
  HBRUSH bk = CreateSolidBrush(d->bk == CLR_DEFAULT ? GetSysColor(COLOR_BTNFACE) : d->bk);
  FillRect(hdc, &r, bk);
  DeleteObject(bk);
  DrawEdge(hdc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  InflateRect(&r, -1, -1);
  if (d->high <= d->low || r.right <= r.left || r.bottom <= r.top) return;
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
  bool vertical = style & PBS_VERTICAL;
  int extent = vertical ? r.bottom - r.top : r.right - r.left;
  int filled = static_cast<int>(static_cast<long long>(d->pos - d->low) * extent / (static_cast<long long>(d->high) - d->low));
  HBRUSH bar = CreateSolidBrush(d->bar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : d->bar);
  if (style & PBS_SMOOTH) {
    RECT f = r;
    if (vertical) f.top = r.bottom - filled;
    else f.right = r.left + filled;
    FillRect(hdc, &f, bar);
  } else {
    // Blocks two thirds as long as the bar is thick, two pixels apart.
    int thick = vertical ? r.right - r.left : r.bottom - r.top;
    int block = std::max(2, thick * 2 / 3), gap = 2;
    for (int at = 0; at < filled; at += block + gap) {
      int len = std::min(block, extent - at);
      RECT f = vertical ? RECT{r.left, r.bottom - at - len, r.right, r.bottom - at}
                        : RECT{r.left + at, r.top, r.left + at + len, r.bottom};
      FillRect(hdc, &f, bar);
    }
  }
  DeleteObject(bar);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  PbData* d = kx::ctl::Lifetime<PbData>(hwnd, msg, wp, lp, &early);
  if (!d) return early;
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) { Paint(hwnd, d, hdc, rc); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_STYLECHANGED:
      Redraw(hwnd);
      return 0;
    case PBM_SETRANGE:
      return SetRange(hwnd, d, static_cast<WORD>(LOWORD(lp)), static_cast<WORD>(HIWORD(lp)));
    case PBM_SETRANGE32:
      return SetRange(hwnd, d, static_cast<int>(wp), static_cast<int>(lp));
    case PBM_GETRANGE: {
      if (auto* r = reinterpret_cast<PBRANGE*>(lp)) {
        r->iLow = d->low;
        r->iHigh = d->high;
      }
      return wp ? d->low : d->high;
    }
    case PBM_SETPOS:
      return SetPos(hwnd, d, static_cast<int>(wp));
    case PBM_DELTAPOS:
      return SetPos(hwnd, d, static_cast<long long>(d->pos) + static_cast<int>(wp));
    case PBM_SETSTEP: {
      int old = d->step;
      d->step = static_cast<int>(wp);
      return old;
    }
    case PBM_STEPIT: {
      // Past the end the bar starts over from the beginning.
      int old = d->pos;
      long long next = static_cast<long long>(d->pos) + d->step;
      long long span = static_cast<long long>(d->high) - d->low;
      if (span > 0 && next > d->high) next = d->low + (next - d->low) % span;
      if (span > 0 && next < d->low) next = d->high - (d->low - next) % span;
      SetPos(hwnd, d, next);
      return old;
    }
    case PBM_GETPOS:
      return d->pos;
    case PBM_SETBARCOLOR: {
      COLORREF old = d->bar;
      d->bar = static_cast<COLORREF>(lp);
      Redraw(hwnd);
      return old;
    }
    case CCM_SETBKCOLOR: {
      COLORREF old = d->bk;
      d->bk = static_cast<COLORREF>(lp);
      Redraw(hwnd);
      return old;
    }
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterProgress() { kx::RegisterControlClass(PROGRESS_CLASSA, ProgressProc, CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterProgress);

}  // namespace
