// The colour dialog: a grid of basic colours and one of sixteen custom colours; "Define Custom Colours" shows the
// red, green and blue boxes, with which any colour can be typed and added to the custom colours.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/commdlg.h"
#include "platform/ui/ctlcommon.h"
#include "platform/ui/dlgbuild.h"

namespace {

// ----- the colour grid control -----
constexpr UINT kGridSetColors = WM_USER + 1;  // wParam count, lParam COLORREF*
constexpr UINT kGridGetSel = WM_USER + 2;
constexpr UINT kGridSetSel = WM_USER + 3;     // wParam index (-1 none)
constexpr UINT kGridGetColor = WM_USER + 4;   // wParam index
constexpr WORD kGridSelChange = 1;
constexpr char kGridClass[] = "KxColorGrid";

struct Grid {
  std::vector<COLORREF> colors;
  int cols = 8;
  int sel = -1;
  bool focus = false;
};

RECT Cell(HWND hwnd, Grid* g, int i) {
  RECT c;
  GetClientRect(hwnd, &c);
  int rows = std::max(1, static_cast<int>((g->colors.size() + static_cast<size_t>(g->cols) - 1) / static_cast<size_t>(g->cols)));
  int w = c.right / g->cols, h = c.bottom / rows;
  int col = i % g->cols, row = i / g->cols;
  return RECT{col * w + 2, row * h + 2, col * w + w - 2, row * h + h - 2};
}

void GridPick(HWND hwnd, Grid* g, int i) {
  if (i < 0 || i >= static_cast<int>(g->colors.size())) return;
  g->sel = i;
  InvalidateRect(hwnd, nullptr, TRUE);
  SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), kGridSelChange), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT CALLBACK GridProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT early = 0;
  Grid* g = kx::ctl::Lifetime<Grid>(hwnd, msg, wp, lp, &early);
  if (!g) return early;
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      kx::PaintControl(hwnd, msg, wp, [&](HDC hdc, const RECT& rc) {
        FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        for (size_t i = 0; i < g->colors.size(); ++i) {
          RECT r = Cell(hwnd, g, static_cast<int>(i));
          if (static_cast<int>(i) == g->sel) {
            RECT f = r;
            InflateRect(&f, 2, 2);
            FrameRect(hdc, &f, GetSysColorBrush(COLOR_WINDOWTEXT));
            if (g->focus) {
              InflateRect(&f, -1, -1);
              DrawFocusRect(hdc, &f);
            }
          }
          DrawEdge(hdc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
          HBRUSH b = CreateSolidBrush(g->colors[i]);
          FillRect(hdc, &r, b);
          DeleteObject(b);
        }
      });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      g->focus = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      for (size_t i = 0; i < g->colors.size(); ++i) {
        RECT r = Cell(hwnd, g, static_cast<int>(i));
        InflateRect(&r, 2, 2);
        if (PtInRect(&r, p)) GridPick(hwnd, g, static_cast<int>(i));
      }
      return 0;
    }
    case WM_KEYDOWN: {
      int n = static_cast<int>(g->colors.size()), i = std::max(g->sel, 0);
      switch (wp) {
        case VK_LEFT: i -= 1; break;
        case VK_RIGHT: i += 1; break;
        case VK_UP: i -= g->cols; break;
        case VK_DOWN: i += g->cols; break;
        default: return 0;
      }
      if (n) GridPick(hwnd, g, (i % n + n) % n);
      return 0;
    }
    case kGridSetColors: {
      auto* c = reinterpret_cast<const COLORREF*>(lp);
      g->colors.assign(c, c + wp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case kGridGetSel:
      return g->sel;
    case kGridSetSel:
      g->sel = static_cast<int>(static_cast<INT_PTR>(wp));
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case kGridGetColor:
      return wp < g->colors.size() ? static_cast<LRESULT>(g->colors[wp]) : 0;
    default:
      return DefWindowProc(hwnd, msg, wp, lp);
  }
}

void RegisterGrid() { kx::RegisterControlClass(kGridClass, GridProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

const bool kRegistered = kx::AddSystemClass(&RegisterGrid);

// Forty-eight basic colours: eight hues and greys in six shades, light to dark.
std::vector<COLORREF> BasicColors() {
  static const int hues[8][3] = {{255, 0, 0},   {255, 128, 0}, {255, 255, 0}, {0, 192, 0},
                                 {0, 192, 192}, {0, 0, 255},   {160, 0, 192}, {128, 128, 128}};
  static const int shades[6] = {60, 30, 0, -25, -50, -75};  // percent towards white (+) or black (-)
  std::vector<COLORREF> out;
  for (int s : shades)
    for (const auto& h : hues) {
      auto ch = [&](int v) { return s >= 0 ? v + (255 - v) * s / 100 : v * (100 + s) / 100; };
      out.push_back(RGB(ch(h[0]), ch(h[1]), ch(h[2])));
    }
  out[47] = RGB(255, 255, 255);
  out[40] = RGB(0, 0, 0);
  return out;
}

// ----- the dialog -----
struct ColorDialog {
  CHOOSECOLORA* cc = nullptr;
  COLORREF current = 0;
  COLORREF custom[16] = {};
  int nextCustom = 0;
  HBRUSH preview = nullptr;
  bool updating = false;
};

ColorDialog* StateOf(HWND dlg) { return reinterpret_cast<ColorDialog*>(GetWindowLongPtr(dlg, DWLP_USER)); }

const int kFullIds[] = {KX_CC_CURRENT, KX_CC_RED, KX_CC_GREEN, KX_CC_BLUE, KX_CC_ADD, 730, 731, 732};

void ShowFull(HWND dlg, bool show) {
  for (int id : kFullIds)
    if (HWND c = GetDlgItem(dlg, id)) ShowWindow(c, show ? SW_SHOW : SW_HIDE);
  EnableWindow(GetDlgItem(dlg, KX_CC_DEFINE), !show && !(StateOf(dlg)->cc->Flags & CC_PREVENTFULLOPEN));
}

void SetCurrent(HWND dlg, ColorDialog* s, COLORREF c, bool edits) {
  s->current = c;
  if (s->preview) DeleteObject(s->preview);
  s->preview = CreateSolidBrush(c);
  InvalidateRect(GetDlgItem(dlg, KX_CC_CURRENT), nullptr, TRUE);
  if (edits) {
    s->updating = true;
    SetDlgItemInt(dlg, KX_CC_RED, GetRValue(c), FALSE);
    SetDlgItemInt(dlg, KX_CC_GREEN, GetGValue(c), FALSE);
    SetDlgItemInt(dlg, KX_CC_BLUE, GetBValue(c), FALSE);
    s->updating = false;
  }
}

// The value of a red, green or blue box, or -1 when it holds no number from 0 to 255.
int Channel(HWND dlg, int id) {
  char buf[16] = {0};
  GetDlgItemText(dlg, id, buf, sizeof buf);
  if (!buf[0]) return -1;
  char* end = nullptr;
  long v = std::strtol(buf, &end, 10);
  return (end && !*end && v >= 0 && v <= 255) ? static_cast<int>(v) : -1;
}

INT_PTR CALLBACK ColorDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* s = reinterpret_cast<ColorDialog*>(lp);
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      SetProp(dlg, KX_COLORDIALOG_PROP, reinterpret_cast<HANDLE>(1));
      std::vector<COLORREF> basic = BasicColors();
      SendDlgItemMessage(dlg, KX_CC_BASIC, kGridSetColors, basic.size(), reinterpret_cast<LPARAM>(basic.data()));
      SendDlgItemMessage(dlg, KX_CC_CUSTOM, kGridSetColors, 16, reinterpret_cast<LPARAM>(s->custom));
      for (int id : {KX_CC_RED, KX_CC_GREEN, KX_CC_BLUE}) SendDlgItemMessage(dlg, id, EM_LIMITTEXT, 3, 0);
      SetCurrent(dlg, s, s->current, true);
      auto found = std::find(basic.begin(), basic.end(), s->current);
      if (found != basic.end()) SendDlgItemMessage(dlg, KX_CC_BASIC, kGridSetSel, static_cast<WPARAM>(found - basic.begin()), 0);
      ShowFull(dlg, (s->cc->Flags & CC_FULLOPEN) && !(s->cc->Flags & CC_PREVENTFULLOPEN));
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      ColorDialog* s = StateOf(dlg);
      if (s && reinterpret_cast<HWND>(lp) == GetDlgItem(dlg, KX_CC_CURRENT)) return reinterpret_cast<INT_PTR>(s->preview);
      return FALSE;
    }
    case WM_COMMAND: {
      ColorDialog* s = StateOf(dlg);
      if (!s) return FALSE;
      switch (LOWORD(wp)) {
        case KX_CC_BASIC:
        case KX_CC_CUSTOM:
          if (HIWORD(wp) == kGridSelChange) {
            HWND grid = reinterpret_cast<HWND>(lp);
            int i = static_cast<int>(SendMessage(grid, kGridGetSel, 0, 0));
            SendDlgItemMessage(dlg, LOWORD(wp) == KX_CC_BASIC ? KX_CC_CUSTOM : KX_CC_BASIC, kGridSetSel,
                               static_cast<WPARAM>(-1), 0);
            if (LOWORD(wp) == KX_CC_CUSTOM) s->nextCustom = i;
            SetCurrent(dlg, s, static_cast<COLORREF>(SendMessage(grid, kGridGetColor, static_cast<WPARAM>(i), 0)), true);
          }
          return TRUE;
        case KX_CC_RED:
        case KX_CC_GREEN:
        case KX_CC_BLUE:
          if (HIWORD(wp) == EN_CHANGE && !s->updating) {
            int r = Channel(dlg, KX_CC_RED), g = Channel(dlg, KX_CC_GREEN), b = Channel(dlg, KX_CC_BLUE);
            if (r >= 0 && g >= 0 && b >= 0) SetCurrent(dlg, s, RGB(r, g, b), false);
          }
          return TRUE;
        case KX_CC_DEFINE:
          if (HIWORD(wp) == BN_CLICKED) {
            ShowFull(dlg, true);
            SetFocus(GetDlgItem(dlg, KX_CC_RED));
          }
          return TRUE;
        case KX_CC_ADD:
          if (HIWORD(wp) == BN_CLICKED) {
            s->custom[s->nextCustom] = s->current;
            SendDlgItemMessage(dlg, KX_CC_CUSTOM, kGridSetColors, 16, reinterpret_cast<LPARAM>(s->custom));
            s->nextCustom = (s->nextCustom + 1) % 16;
          }
          return TRUE;
        case IDOK: {
          if (IsWindowVisible(GetDlgItem(dlg, KX_CC_RED))) {
            for (int id : {KX_CC_RED, KX_CC_GREEN, KX_CC_BLUE})
              if (Channel(dlg, id) < 0) {
                MessageBox(dlg, "Enter a value from 0 to 255.", "Color", MB_OK | MB_ICONEXCLAMATION);
                SetFocus(GetDlgItem(dlg, id));
                SendDlgItemMessage(dlg, id, EM_SETSEL, 0, -1);
                return TRUE;
              }
            s->current = RGB(Channel(dlg, KX_CC_RED), Channel(dlg, KX_CC_GREEN), Channel(dlg, KX_CC_BLUE));
          }
          EndDialog(dlg, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dlg, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    }
    case WM_DESTROY: {
      ColorDialog* s = StateOf(dlg);
      if (s && s->preview) {
        DeleteObject(s->preview);
        s->preview = nullptr;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

BOOL ChooseColor(LPCHOOSECOLOR cc) {
  kx::dlg::SetCommonDialogError(0);
  if (!cc || cc->lStructSize < sizeof(CHOOSECOLORA)) {
    kx::dlg::SetCommonDialogError(CDERR_STRUCTSIZE);
    return FALSE;
  }
  if (!cc->lpCustColors) {
    kx::dlg::SetCommonDialogError(CDERR_INITIALIZATION);
    return FALSE;
  }
  ColorDialog s;
  s.cc = cc;
  s.current = (cc->Flags & CC_RGBINIT) ? (cc->rgbResult & 0xFFFFFF) : RGB(0, 0, 0);
  std::copy(cc->lpCustColors, cc->lpCustColors + 16, s.custom);
  using kx::dlg::Item;
  kx::DialogTemplate t = kx::dlg::Dialog("Color", 300, 186);
  t.items.push_back(Item(WC_STATICA, "&Basic colors:", -1, 7, 6, 130, 8, SS_LEFT));
  t.items.push_back(Item("KxColorGrid", "", KX_CC_BASIC, 7, 16, 136, 84, WS_TABSTOP));
  t.items.push_back(Item(WC_STATICA, "&Custom colors:", -1, 7, 104, 130, 8, SS_LEFT));
  t.items.push_back(Item("KxColorGrid", "", KX_CC_CUSTOM, 7, 114, 136, 28, WS_TABSTOP));
  t.items.push_back(Item(WC_BUTTONA, "&Define Custom Colors >>", KX_CC_DEFINE, 7, 146, 136, 14, WS_TABSTOP));
  t.items.push_back(Item(WC_BUTTONA, "OK", IDOK, 7, 166, 44, 14, WS_TABSTOP | BS_DEFPUSHBUTTON));
  t.items.push_back(Item(WC_BUTTONA, "Cancel", IDCANCEL, 55, 166, 44, 14, WS_TABSTOP));
  t.items.push_back(Item(WC_STATICA, "", KX_CC_CURRENT, 152, 16, 140, 40, SS_SUNKEN));
  t.items.push_back(Item(WC_STATICA, "&Red:", 730, 152, 66, 40, 8, SS_LEFT));
  t.items.push_back(Item(WC_EDITA, "", KX_CC_RED, 200, 64, 40, 12, WS_BORDER | WS_TABSTOP | ES_NUMBER));
  t.items.push_back(Item(WC_STATICA, "&Green:", 731, 152, 84, 40, 8, SS_LEFT));
  t.items.push_back(Item(WC_EDITA, "", KX_CC_GREEN, 200, 82, 40, 12, WS_BORDER | WS_TABSTOP | ES_NUMBER));
  t.items.push_back(Item(WC_STATICA, "Bl&ue:", 732, 152, 102, 40, 8, SS_LEFT));
  t.items.push_back(Item(WC_EDITA, "", KX_CC_BLUE, 200, 100, 40, 12, WS_BORDER | WS_TABSTOP | ES_NUMBER));
  t.items.push_back(Item(WC_BUTTONA, "&Add to Custom Colors", KX_CC_ADD, 152, 146, 140, 14, WS_TABSTOP));
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, cc->hwndOwner, ColorDlgProc, reinterpret_cast<LPARAM>(&s));
  if (r == -1) {
    kx::dlg::SetCommonDialogError(CDERR_DIALOGFAILURE);
    return FALSE;
  }
  if (r != IDOK) return FALSE;
  cc->rgbResult = s.current;
  std::copy(s.custom, s.custom + 16, cc->lpCustColors);
  return TRUE;
}
