// Property sheets and wizards. The sheet is a dialog made from a template of its own (tab control, buttons,
// etched lines), laid out when it initialises from the sizes of its pages' templates. Pages are dialogs made on
// demand from their templates and turned into child windows of the sheet; the sheet tells them what happens
// through PSN_* notifications and reads their answers from the notifications' results.
//
// Layout, in the sheet's dialog units (the pages' templates use the same font):
//   tabbed: 7 margin, the tab control around the largest page, a row of 50 x 14 buttons (OK, Cancel, Apply,
//           Help) at the bottom right;
//   wizard: the page area (the largest page; in the Wizard97 frame interior pages sit below a white header with
//           the page's title, subtitle and the header bitmap, exterior pages (PSP_HIDEHEADER) fill the area on
//           white with the watermark at the left), an etched line, then Back, Next/Finish, Cancel and Help.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi/internal.h"
#include "platform/mfc/resource.h"
#include "platform/ui/access.h"
#include "platform/ui/dlgplace.h"
#include "platform/ui/display.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/ui/prsht.h"

struct _PSP {
  PROPSHEETPAGEA psp{};
  std::string templateName, title, headerTitle, headerSubTitle;
};

namespace {

constexpr int kEtchedBottom = 0x3026;
constexpr int kEtchedHeader = 0x3027;
constexpr const char* kPageProcProp = "KxSheetPageProc";

std::mutex g_pagesLock;
std::set<_PSP*>& LivePages() {
  static auto* s = new std::set<_PSP*>();
  return *s;
}

bool ValidPage(HPROPSHEETPAGE p) {
  std::lock_guard<std::mutex> lock(g_pagesLock);
  return p && LivePages().count(p);
}

std::string ResourceText(HINSTANCE inst, LPCSTR text) {
  if (!text) return {};
  if (!IS_INTRESOURCE(text)) return text;
  char buf[1024] = {};
  LoadString(inst, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)), buf, sizeof buf);
  return buf;
}

struct SheetPage {
  HPROPSHEETPAGE page = nullptr;
  bool owned = false;  // destroyed with the sheet (every page it was given)
  HWND hwnd = nullptr;
  bool changed = false;
};

struct Sheet {
  PROPSHEETHEADERA header{};
  std::string caption;
  std::vector<SheetPage> pages;
  HWND hwnd = nullptr;
  HWND tab = nullptr;
  int cur = -1;
  bool wizard = false, wizard97 = false, modeless = false;
  DWORD wizButtons = PSWIZB_BACK | PSWIZB_NEXT;
  bool done = false;
  INT_PTR result = -1;  // IDOK, IDCANCEL or ID_WIZFINISH once closed
  bool restart = false, reboot = false;
  HBITMAP watermark = nullptr, headerBitmap = nullptr;
  // A sheet larger than the screen is laid out again with a smaller dialog font, its pages' too, so that every
  // control and its OK, Cancel, Apply and close box stay reachable: that font (the dialog's own, freed with it),
  // its point size (0: the templates' own), and the base units of the template's font and of it, measured alike.
  HFONT fitFont = nullptr;
  int fitPoints = 0;
  int unitsX = 1, unitsY = 1, fitUnitsX = 1, fitUnitsY = 1;
  bool ownWatermark = false, ownHeader = false;
  // Laid out in WM_INITDIALOG, in client pixels.
  RECT exterior{}, interior{}, headerRect{};
  RECT tabbedPage{};
  int baseX = 600, baseY = 1300;  // pixels of 400 and 800 dialog units
  std::string finishText;
};

Sheet* SheetOf(HWND hwnd) { return reinterpret_cast<Sheet*>(GetWindowLongPtr(hwnd, DWLP_USER)); }

// Sheets whose window may still hold them; the window's WM_NCDESTROY frees its sheet.
std::mutex g_sheetsLock;
std::set<Sheet*>& LiveSheets() {
  static auto* s = new std::set<Sheet*>();
  return *s;
}

INT_PTR Result(HWND hwnd, LRESULT value) {
  SetWindowLongPtr(hwnd, DWLP_MSGRESULT, value);
  return TRUE;
}

int Dlu(int v, int base, int div) { return (v * base + div / 2) / div; }

// A fitted sheet's base units: the dialog's own (its template font's) in the fitted font's proportion.
void FitUnits(Sheet* s) {
  if (!s->fitFont) return;
  s->baseX = std::max(1, s->baseX * s->fitUnitsX / std::max(1, s->unitsX));
  s->baseY = std::max(1, s->baseY * s->fitUnitsY / std::max(1, s->unitsY));
}

const kx::DialogTemplate* PageTemplate(const _PSP* p) {
  if (p->psp.dwFlags & PSP_DLGINDIRECT) return p->psp.pResource;
  return kx::FindDialogTemplate(p->psp.hInstance, p->psp.pszTemplate);
}

// The template id of a page: the integer name it is made from, else the id its template carries.
ULONG_PTR PageTemplateId(const _PSP* p) {
  if (!(p->psp.dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(p->psp.pszTemplate))
    return reinterpret_cast<ULONG_PTR>(p->psp.pszTemplate);
  const kx::DialogTemplate* t = PageTemplate(p);
  return t ? t->templateId : 0;
}

bool Exterior(const Sheet* s, int index) {
  return s->wizard97 && (s->pages[static_cast<size_t>(index)].page->psp.dwFlags & PSP_HIDEHEADER);
}

LRESULT Notify(Sheet* s, HWND page, UINT code, LPARAM param = 0) {
  if (!page) return 0;
  PSHNOTIFY n{};
  n.hdr.hwndFrom = s->hwnd;
  n.hdr.idFrom = 0;
  n.hdr.code = code;
  n.lParam = param;
  return SendMessage(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

std::string PageTitle(const _PSP* p) {
  if ((p->psp.dwFlags & PSP_USETITLE) && p->psp.pszTitle) return ResourceText(p->psp.hInstance, p->psp.pszTitle);
  const kx::DialogTemplate* t = PageTemplate(p);
  return t ? t->title : std::string();
}

// ---- exterior pages of the Wizard97 frame: white, with the watermark at the left ----
LRESULT ExteriorPageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto prev = reinterpret_cast<WNDPROC>(GetProp(hwnd, kPageProcProp));
  if (!prev) return DefWindowProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_ERASEBKGND: {
      HDC hdc = reinterpret_cast<HDC>(wp);
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW));
      Sheet* s = SheetOf(GetParent(hwnd));
      if (s && s->watermark) {
        BITMAP bm{};
        GetObject(s->watermark, sizeof bm, &bm);
        int w = kx::gdi::Scaled(bm.bmWidth), h = kx::gdi::Scaled(bm.bmHeight);
        if ((s->header.dwFlags & PSH_STRETCHWATERMARK) && bm.bmHeight > 0) {
          HDC mem = CreateCompatibleDC(hdc);
          HGDIOBJ old = SelectObject(mem, s->watermark);
          StretchBlt(hdc, 0, 0, w, rc.bottom, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
          SelectObject(mem, old);
          DeleteDC(mem);
        } else {
          kx::gdi::DrawBitmapSmooth(hdc, 0, 0, w, h, s->watermark);
        }
      }
      return 1;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      LRESULT r = CallWindowProc(prev, hwnd, msg, wp, lp);
      // Controls that keep the dialog's colour take the page's white instead.
      if (!r || reinterpret_cast<HBRUSH>(r) == GetSysColorBrush(COLOR_BTNFACE)) {
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      return r;
    }
    case WM_NCDESTROY:
      RemoveProp(hwnd, kPageProcProp);
      SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
      return CallWindowProc(prev, hwnd, msg, wp, lp);
    default:
      return CallWindowProc(prev, hwnd, msg, wp, lp);
  }
}

RECT PageRect(const Sheet* s, int index) {
  if (!s->wizard) {
    // The sheet's owner may have moved the tab control (a banner above it): pages follow it.
    if (!s->tab || !IsWindow(s->tab)) return s->tabbedPage;
    RECT r{};
    GetWindowRect(s->tab, &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ScreenToClient(s->hwnd, &tl);
    ScreenToClient(s->hwnd, &br);
    r = RECT{tl.x, tl.y, br.x, br.y};
    SendMessage(s->tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  if (!s->wizard97) return s->exterior;
  return Exterior(s, index) ? s->exterior : s->interior;
}

// Makes the page's window from a copy of its template styled as a page: a child dialog of the sheet without a
// frame of its own, hidden until it is activated. The copy keeps the template's id, which the page reports.
HWND CreatePage(Sheet* s, int index) {
  SheetPage& sp = s->pages[static_cast<size_t>(index)];
  if (sp.hwnd) return sp.hwnd;
  _PSP* p = sp.page;
  if ((p->psp.dwFlags & PSP_USECALLBACK) && p->psp.pfnCallback && !p->psp.pfnCallback(nullptr, PSPCB_CREATE, &p->psp))
    return nullptr;
  const kx::DialogTemplate* t = PageTemplate(p);
  if (!t) return nullptr;
  kx::DialogTemplate page = *t;
  page.style &= ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_DISABLED | WS_VISIBLE |
                                    DS_MODALFRAME | WS_BORDER);
  page.style |= WS_CHILD | DS_CONTROL;
  page.exStyle &= ~static_cast<DWORD>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
  page.templateId = PageTemplateId(p);
  if (s->fitPoints) {
    if (!(page.style & DS_SETFONT)) page.faceName = "MS Shell Dlg";
    page.style |= DS_SETFONT;
    page.pointSize = static_cast<WORD>(std::max(1, (page.pointSize ? page.pointSize : 8) * s->fitPoints / 8));
  }
  HWND h = CreateDialogIndirectParam(p->psp.hInstance, &page, s->hwnd, p->psp.pfnDlgProc,
                                     reinterpret_cast<LPARAM>(&p->psp));
  if (!h) return nullptr;
  RECT r = PageRect(s, index);
  // Above the tab control, which clips itself (WS_CLIPSIBLINGS) so as not to paint over the page.
  SetWindowPos(h, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
  if (Exterior(s, index)) {
    SetProp(h, kPageProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtr(h, GWLP_WNDPROC)));
    SetWindowLongPtr(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ExteriorPageProc));
  }
  sp.hwnd = h;
  return h;
}

void UpdateHelp(Sheet* s) {
  HWND help = GetDlgItem(s->hwnd, IDHELP);
  if (!help || s->cur < 0) return;
  EnableWindow(help, (s->pages[static_cast<size_t>(s->cur)].page->psp.dwFlags & PSP_HASHELP) != 0);
}

void ApplyWizButtons(Sheet* s) {
  if (!s->wizard) return;
  DWORD f = s->wizButtons;
  HWND back = GetDlgItem(s->hwnd, ID_WIZBACK), next = GetDlgItem(s->hwnd, ID_WIZNEXT);
  HWND finish = GetDlgItem(s->hwnd, ID_WIZFINISH);
  bool hasFinish = (s->header.dwFlags & PSH_WIZARDHASFINISH) != 0;
  bool finishShown = hasFinish || (f & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) || !s->finishText.empty();
  bool finishEnabled = (f & PSWIZB_FINISH) || !s->finishText.empty();
  EnableWindow(back, (f & PSWIZB_BACK) != 0 && s->finishText.empty());
  ShowWindow(next, (finishShown && !hasFinish) ? SW_HIDE : SW_SHOWNA);
  EnableWindow(next, (f & PSWIZB_NEXT) != 0);
  ShowWindow(finish, finishShown ? SW_SHOWNA : SW_HIDE);
  EnableWindow(finish, finishEnabled);
  if (!s->finishText.empty()) {
    SetWindowText(finish, s->finishText.c_str());
    ShowWindow(back, SW_HIDE);
    ShowWindow(next, SW_HIDE);
  }
  int def = finishShown && finishEnabled ? ID_WIZFINISH : (f & PSWIZB_NEXT) ? ID_WIZNEXT : 0;
  if (def) SendMessage(s->hwnd, DM_SETDEFID, static_cast<WPARAM>(def), 0);
  // The focus does not stay on a button that was just disabled or hidden.
  HWND focus = GetFocus();
  if ((focus == back || focus == next || focus == finish) && !(IsWindowVisible(focus) && IsWindowEnabled(focus))) {
    HWND to = def ? GetDlgItem(s->hwnd, def) : GetDlgItem(s->hwnd, IDCANCEL);
    if (to) SetFocus(to);
  }
}

int IndexOfPage(Sheet* s, HPROPSHEETPAGE page) {
  for (size_t i = 0; i < s->pages.size(); ++i)
    if (s->pages[i].page == page) return static_cast<int>(i);
  return -1;
}

int IndexOfHwnd(Sheet* s, HWND page) {
  for (size_t i = 0; i < s->pages.size(); ++i)
    if (s->pages[i].hwnd == page && page) return static_cast<int>(i);
  return -1;
}

int IndexOfId(Sheet* s, LRESULT id) {
  for (size_t i = 0; i < s->pages.size(); ++i)
    if (id && PageTemplateId(s->pages[i].page) == static_cast<ULONG_PTR>(id)) return static_cast<int>(i);
  return -1;
}

// Activates a page: the current one may refuse to be left (PSN_KILLACTIVE), the new one may refuse to be shown
// (PSN_SETACTIVE -1: the next one in the direction is tried) or send the sheet to another page (its template id).
bool SetPage(Sheet* s, int index, int direction, bool askCurrent = true) {
  int count = static_cast<int>(s->pages.size());
  if (index < 0 || index >= count) return false;
  if (index == s->cur) return true;
  if (askCurrent && s->cur >= 0 && Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_KILLACTIVE)) return false;
  int step = direction < 0 ? -1 : 1;
  int target = index;
  for (int guard = 0; guard <= count && target >= 0 && target < count; ++guard) {
    HWND page = CreatePage(s, target);
    if (!page) {
      target += step;
      continue;
    }
    LRESULT r = Notify(s, page, PSN_SETACTIVE);
    if (r == 0) {
      int old = s->cur;
      s->cur = target;
      RECT pr = PageRect(s, target);
      SetWindowPos(page, nullptr, pr.left, pr.top, pr.right - pr.left, pr.bottom - pr.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      if (old >= 0 && old != target && s->pages[static_cast<size_t>(old)].hwnd)
        ShowWindow(s->pages[static_cast<size_t>(old)].hwnd, SW_HIDE);
      if (s->tab) SendMessage(s->tab, TCM_SETCURSEL, static_cast<WPARAM>(target), 0);
      UpdateHelp(s);
      if (s->wizard) ApplyWizButtons(s);
      HWND focus = GetFocus();
      bool lost = !focus || !IsWindowVisible(focus) || (old >= 0 && IsChild(s->pages[static_cast<size_t>(old)].hwnd, focus));
      if (lost) {
        HWND first = GetNextDlgTabItem(page, nullptr, FALSE);
        if (first) {
          SetFocus(first);
        } else if (s->wizard) {
          // A page without controls leaves the focus on the sheet's default button.
          HWND def = GetDlgItem(s->hwnd, LOWORD(SendMessage(s->hwnd, DM_GETDEFID, 0, 0)));
          // (The sheet itself may not be shown yet: the button's own style decides.)
          bool usable = def && (GetWindowLong(def, GWL_STYLE) & WS_VISIBLE) && IsWindowEnabled(def);
          SetFocus(usable ? def : GetDlgItem(s->hwnd, IDCANCEL));
        }
      }
      InvalidateRect(s->hwnd, nullptr, TRUE);
      kx::ui::Announce(s->hwnd, kx::ui::Access::Page);
      return true;
    }
    if (r == -1) {
      target += step;
      continue;
    }
    int jump = IndexOfId(s, r);
    if (jump < 0 || jump == target) target += step;
    else target = jump;
  }
  // Nobody would be shown: the current page stays, told that it is active again.
  if (s->cur >= 0) Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_SETACTIVE);
  return false;
}

void Close(Sheet* s, INT_PTR result) {
  s->done = true;
  s->result = result;
  PostMessage(s->hwnd, WM_NULL, 0, 0);
}

// OK and Apply: the current page checks its data, then every page that exists applies it.
bool Apply(Sheet* s, bool ok) {
  if (s->cur >= 0 && Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_KILLACTIVE)) return false;
  for (size_t i = 0; i < s->pages.size(); ++i) {
    HWND page = s->pages[i].hwnd;
    if (!page) continue;
    LRESULT r = Notify(s, page, PSN_APPLY, ok ? TRUE : FALSE);
    if (r == PSNRET_INVALID || r == PSNRET_INVALID_NOCHANGEPAGE) {
      if (r == PSNRET_INVALID_NOCHANGEPAGE && static_cast<int>(i) != s->cur) SetPage(s, static_cast<int>(i), 1, false);
      return false;
    }
  }
  for (SheetPage& sp : s->pages) sp.changed = false;
  if (HWND apply = GetDlgItem(s->hwnd, ID_APPLY_NOW)) EnableWindow(apply, FALSE);
  return true;
}

void Cancel(Sheet* s) {
  HWND cancel = GetDlgItem(s->hwnd, IDCANCEL);
  if (cancel && !IsWindowEnabled(cancel)) return;
  if (s->cur >= 0 && Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_QUERYCANCEL)) return;
  for (SheetPage& sp : s->pages)
    if (sp.hwnd) Notify(s, sp.hwnd, PSN_RESET, FALSE);
  Close(s, IDCANCEL);
}

void WizardStep(Sheet* s, int direction) {
  if (s->cur < 0) return;
  HWND page = s->pages[static_cast<size_t>(s->cur)].hwnd;
  LRESULT r = Notify(s, page, direction > 0 ? PSN_WIZNEXT : PSN_WIZBACK);
  if (r == -1) return;
  int target = r == 0 ? s->cur + direction : IndexOfId(s, r);
  if (target < 0 || target >= static_cast<int>(s->pages.size())) return;
  SetPage(s, target, direction);
}

void Finish(Sheet* s) {
  if (s->cur >= 0 && Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_WIZFINISH)) return;
  Close(s, ID_WIZFINISH);
}

void InsertTab(Sheet* s, int index) {
  if (!s->tab) return;
  std::string title = PageTitle(s->pages[static_cast<size_t>(index)].page);
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = title.data();
  SendMessage(s->tab, TCM_INSERTITEM, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void RemovePage(Sheet* s, int index) {
  if (index < 0 || index >= static_cast<int>(s->pages.size())) return;
  SheetPage sp = s->pages[static_cast<size_t>(index)];
  bool wasCurrent = index == s->cur;
  if (sp.hwnd) DestroyWindow(sp.hwnd);
  s->pages.erase(s->pages.begin() + index);
  if (s->tab) SendMessage(s->tab, TCM_DELETEITEM, static_cast<WPARAM>(index), 0);
  if (sp.owned) DestroyPropertySheetPage(sp.page);
  if (wasCurrent) {
    s->cur = -1;
    if (!s->pages.empty()) SetPage(s, std::min(index, static_cast<int>(s->pages.size()) - 1), 1, false);
  } else if (s->cur > index) {
    --s->cur;
  }
}

void LoadBitmaps(Sheet* s) {
  const PROPSHEETHEADERA& h = s->header;
  if (h.dwFlags & PSH_WATERMARK) {
    if (h.dwFlags & PSH_USEHBMWATERMARK) {
      s->watermark = h.hbmWatermark;
    } else if (h.pszbmWatermark) {
      s->watermark = LoadBitmap(h.hInstance, h.pszbmWatermark);
      s->ownWatermark = s->watermark != nullptr;
    }
  }
  if (h.dwFlags & PSH_HEADER) {
    if (h.dwFlags & PSH_USEHBMHEADER) {
      s->headerBitmap = h.hbmHeader;
    } else if (h.pszbmHeader) {
      s->headerBitmap = LoadBitmap(h.hInstance, h.pszbmHeader);
      s->ownHeader = s->headerBitmap != nullptr;
    }
  }
}

void Layout(Sheet* s) {
  HWND hwnd = s->hwnd;
  // Pixels of 400 by 800 dialog units: base units to a hundredth, so that a scaled screen's lengths are rounded
  // once.
  RECT unit{0, 0, 400, 800};
  MapDialogRect(hwnd, &unit);
  s->baseX = std::max<int>(1, unit.right);
  s->baseY = std::max<int>(1, unit.bottom);
  auto dx = [&](int v) { return Dlu(v, s->baseX, 400); };
  auto dy = [&](int v) { return Dlu(v, s->baseY, 800); };
  int extW = 0, extH = 0, intW = 0, intH = 0;
  FitUnits(s);
  for (size_t i = 0; i < s->pages.size(); ++i) {
    const kx::DialogTemplate* t = PageTemplate(s->pages[i].page);
    int w = t ? dx(t->cx) : dx(212), h = t ? dy(t->cy) : dy(114);
    if (s->wizard97 && !Exterior(s, static_cast<int>(i))) {
      intW = std::max(intW, w);
      intH = std::max(intH, h);
    } else {
      extW = std::max(extW, w);
      extH = std::max(extH, h);
    }
  }
  int bw = dx(50), bh = dy(14), gap = dx(4), m = dx(7), my = dy(7);
  std::vector<int> ids;
  int clientW, clientH, rowY;
  if (!s->wizard) {
    int pw = std::max(extW, dx(100)), ph = std::max(extH, dy(50));
    RECT tr{0, 0, pw, ph};
    SendMessage(s->tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tr));
    int tw = tr.right - tr.left, th = tr.bottom - tr.top;
    SetWindowPos(s->tab, nullptr, m, my, tw, th, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT dr{0, 0, tw, th};
    SendMessage(s->tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&dr));
    s->tabbedPage = RECT{m + dr.left, my + dr.top, m + dr.right, my + dr.bottom};
    rowY = my + th + my;
    clientW = m + tw + m;
    clientH = rowY + bh + my;
    ids = {IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP};
  } else {
    int w = std::max({extW, intW, dx(150)});
    int headerH = s->wizard97 ? dy(37) : 0;
    if (s->wizard97 && s->headerBitmap) {
      BITMAP bm{};
      GetObject(s->headerBitmap, sizeof bm, &bm);
      headerH = std::max<int>(headerH, kx::gdi::Scaled(bm.bmHeight) + dy(6));
    }
    int areaH = std::max(s->wizard97 ? extH : std::max(extH, intH), s->wizard97 ? headerH + dy(6) + intH + dy(6) : 0);
    areaH = std::max(areaH, dy(60));
    if (s->wizard97) {
      s->exterior = RECT{0, 0, w, areaH};
      s->headerRect = RECT{0, 0, w, headerH};
      int ix = (w - intW) / 2;
      s->interior = RECT{ix, headerH + dy(6), ix + intW, areaH - dy(6)};
      if (HWND line = GetDlgItem(hwnd, kEtchedHeader))
        SetWindowPos(line, nullptr, 0, headerH, w, 2, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      s->exterior = RECT{m, my, m + w, my + areaH};
      areaH += 2 * my;
      w += 2 * m;
    }
    if (HWND line = GetDlgItem(hwnd, kEtchedBottom))
      SetWindowPos(line, nullptr, 0, areaH, w, 2, SWP_NOZORDER | SWP_NOACTIVATE);
    rowY = areaH + my;
    clientW = w;
    clientH = rowY + bh + my;
    ids = {ID_WIZBACK, ID_WIZNEXT, IDCANCEL, IDHELP};
  }
  // Buttons from the right: Help, then Cancel (wizards) or Apply, Cancel, OK; Back and Next touch.
  int x = clientW - m;
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    HWND b = GetDlgItem(hwnd, *it);
    if (!b) continue;
    x -= bw;
    SetWindowPos(b, nullptr, x, rowY, bw, bh, SWP_NOZORDER | SWP_NOACTIVATE);
    if (*it == ID_WIZNEXT) {
      if (HWND f = GetDlgItem(hwnd, ID_WIZFINISH)) {
        bool both = (s->header.dwFlags & PSH_WIZARDHASFINISH) != 0;
        SetWindowPos(f, nullptr, both ? x + bw + gap : x, rowY, bw, bh, SWP_NOZORDER | SWP_NOACTIVATE);
      }
    }
    x -= (*it == ID_WIZNEXT) ? 0 : gap;
    if (*it == IDCANCEL && s->wizard) x -= dx(3);
  }
  kx::SizeAndCenterDialog(hwnd, clientW, clientH);
}

void PaintHeader(Sheet* s, HDC hdc) {
  if (!s->wizard97 || s->cur < 0 || Exterior(s, s->cur)) return;
  RECT hr = s->headerRect;
  FillRect(hdc, &hr, GetSysColorBrush(COLOR_WINDOW));
  const PROPSHEETPAGEA& p = s->pages[static_cast<size_t>(s->cur)].page->psp;
  std::string title = (p.dwFlags & PSP_USEHEADERTITLE) ? ResourceText(p.hInstance, p.pszHeaderTitle) : std::string();
  std::string sub = (p.dwFlags & PSP_USEHEADERSUBTITLE) ? ResourceText(p.hInstance, p.pszHeaderSubTitle) : std::string();
  int right = hr.right - 8;
  if (s->headerBitmap) {
    BITMAP bm{};
    GetObject(s->headerBitmap, sizeof bm, &bm);
    int bw = kx::gdi::Scaled(bm.bmWidth), bh = kx::gdi::Scaled(bm.bmHeight);
    int bx = hr.right - bw - Dlu(4, s->baseX, 400);
    int by = (hr.bottom - bh) / 2;
    kx::gdi::DrawBitmapSmooth(hdc, bx, by, bw, bh, s->headerBitmap);
    right = bx - kx::gdi::Scaled(6);
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessage(s->hwnd, WM_GETFONT, 0, 0));
  LOGFONTA lf{};
  if (font) GetObject(font, sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirect(&lf);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ oldFont = SelectObject(hdc, bold);
  RECT tr{Dlu(14, s->baseX, 400), Dlu(5, s->baseY, 800), right, hr.bottom};
  int th = DrawText(hdc, title.c_str(), -1, &tr, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(hdc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  RECT sr{Dlu(22, s->baseX, 400), tr.top + th + 2, right, hr.bottom - 2};
  DrawText(hdc, sub.c_str(), -1, &sr, DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(hdc, oldFont);
  DeleteObject(bold);
}

// Before its pages exist: a sheet larger than the screen takes a smaller dialog font (down to 5 of the template's
// 8 points) until it fits; its pages are made with the same one.
void FitToScreen(Sheet* s) {
  for (int points = 7; points >= 5; --points) {
    RECT wr;
    GetWindowRect(s->hwnd, &wr);
    if (wr.right - wr.left <= kx::ui::ScreenWidth() && wr.bottom - wr.top <= kx::ui::ScreenHeight()) return;
    // The dialog's own font (its template's), freed when replaced here; the last one is freed with the dialog.
    auto old = reinterpret_cast<HFONT>(SendMessage(s->hwnd, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    if (!old || !GetObject(old, sizeof lf, &lf)) return;
    if (!s->fitFont) kx::DialogFontUnits(old, &s->unitsX, &s->unitsY);
    int height = s->fitPoints ? lf.lfHeight * points / s->fitPoints : lf.lfHeight * points / 8;
    lf.lfHeight = height ? height : -1;
    HFONT font = CreateFontIndirect(&lf);
    if (!font) return;
    for (HWND c = GetWindow(s->hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      SendMessage(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessage(s->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (old != font) DeleteObject(old);
    s->fitFont = font;
    s->fitPoints = points;
    kx::DialogFontUnits(font, &s->fitUnitsX, &s->fitUnitsY);
    Layout(s);
  }
}

INT_PTR SheetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Sheet* s = SheetOf(hwnd);
  if (msg == WM_INITDIALOG) {
    s = reinterpret_cast<Sheet*>(lp);
    s->hwnd = hwnd;
    SetWindowLongPtr(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    s->tab = GetDlgItem(hwnd, KX_ID_TABCONTROL);
    LoadBitmaps(s);
    Layout(s);
    FitToScreen(s);
    for (size_t i = 0; i < s->pages.size(); ++i) InsertTab(s, static_cast<int>(i));
    int start = 0;
    if (s->header.dwFlags & PSH_USEPSTARTPAGE) {
      for (size_t i = 0; i < s->pages.size(); ++i)
        if (PageTitle(s->pages[i].page) == ResourceText(s->header.hInstance, s->header.pStartPage)) start = static_cast<int>(i);
    } else {
      start = static_cast<int>(s->header.nStartPage);
    }
    if (start < 0 || start >= static_cast<int>(s->pages.size())) start = 0;
    ApplyWizButtons(s);
    if (!SetPage(s, start, 1, false)) {
      for (size_t i = 0; i < s->pages.size() && s->cur < 0; ++i) SetPage(s, static_cast<int>(i), 1, false);
    }
    return s->cur < 0;
  }
  if (!s) return FALSE;
  switch (msg) {
    case WM_COMMAND: {
      if (lp && reinterpret_cast<HWND>(lp) != GetDlgItem(hwnd, LOWORD(wp))) return FALSE;
      switch (LOWORD(wp)) {
        case IDOK:
          if (!s->wizard && Apply(s, true)) Close(s, IDOK);
          return TRUE;
        case IDCANCEL: Cancel(s); return TRUE;
        case ID_APPLY_NOW: Apply(s, false); return TRUE;
        case IDHELP:
          if (s->cur >= 0) Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_HELP);
          return TRUE;
        case ID_WIZBACK: WizardStep(s, -1); return TRUE;
        case ID_WIZNEXT: WizardStep(s, 1); return TRUE;
        case ID_WIZFINISH: Finish(s); return TRUE;
        default: return FALSE;
      }
    }
    case WM_NOTIFY: {
      auto* h = reinterpret_cast<NMHDR*>(lp);
      if (!h || h->hwndFrom != s->tab) return FALSE;
      if (h->code == TCN_SELCHANGING) {
        LRESULT refuse = s->cur >= 0 ? Notify(s, s->pages[static_cast<size_t>(s->cur)].hwnd, PSN_KILLACTIVE) : 0;
        return Result(hwnd, refuse ? TRUE : FALSE);
      }
      if (h->code == TCN_SELCHANGE) {
        int sel = static_cast<int>(SendMessage(s->tab, TCM_GETCURSEL, 0, 0));
        if (!SetPage(s, sel, 1, false) && s->cur >= 0) SendMessage(s->tab, TCM_SETCURSEL, static_cast<WPARAM>(s->cur), 0);
        return Result(hwnd, 0);
      }
      return FALSE;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (hdc) PaintHeader(s, hdc);
      EndPaint(hwnd, &ps);
      return TRUE;
    }
    case PSM_SETCURSEL: {
      int index = lp ? IndexOfPage(s, reinterpret_cast<HPROPSHEETPAGE>(lp)) : static_cast<int>(wp);
      return Result(hwnd, SetPage(s, index, index < s->cur ? -1 : 1) ? TRUE : FALSE);
    }
    case PSM_SETCURSELID:
      return Result(hwnd, SetPage(s, IndexOfId(s, lp), 1) ? TRUE : FALSE);
    case PSM_REMOVEPAGE:
      RemovePage(s, lp ? IndexOfPage(s, reinterpret_cast<HPROPSHEETPAGE>(lp)) : static_cast<int>(wp));
      return Result(hwnd, 0);
    case PSM_ADDPAGE:
    case PSM_INSERTPAGE: {
      auto page = reinterpret_cast<HPROPSHEETPAGE>(lp);
      if (!ValidPage(page)) return Result(hwnd, FALSE);
      int at = static_cast<int>(s->pages.size());
      if (msg == PSM_INSERTPAGE) {
        if (IS_INTRESOURCE(reinterpret_cast<LPCSTR>(wp))) at = std::min<int>(static_cast<int>(wp), at);
        else at = IndexOfPage(s, reinterpret_cast<HPROPSHEETPAGE>(wp)) + 1;
      }
      SheetPage sp;
      sp.page = page;
      sp.owned = true;  // the sheet destroys the pages it was given
      s->pages.insert(s->pages.begin() + at, sp);
      if (s->cur >= at) ++s->cur;
      InsertTab(s, at);
      if (s->cur < 0) SetPage(s, at, 1, false);
      return Result(hwnd, TRUE);
    }
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
      int i = IndexOfHwnd(s, reinterpret_cast<HWND>(wp));
      if (i >= 0) s->pages[static_cast<size_t>(i)].changed = msg == PSM_CHANGED;
      bool any = false;
      for (const SheetPage& sp : s->pages) any |= sp.changed;
      if (HWND apply = GetDlgItem(hwnd, ID_APPLY_NOW)) EnableWindow(apply, any);
      return Result(hwnd, 0);
    }
    case PSM_CANCELTOCLOSE:
      if (HWND ok = GetDlgItem(hwnd, IDOK)) SetWindowText(ok, "Close");
      if (HWND cancel = GetDlgItem(hwnd, IDCANCEL)) EnableWindow(cancel, FALSE);
      return Result(hwnd, 0);
    case PSM_RESTARTWINDOWS: s->restart = true; return Result(hwnd, 0);
    case PSM_REBOOTSYSTEM: s->reboot = true; return Result(hwnd, 0);
    case PSM_QUERYSIBLINGS:
      for (const SheetPage& sp : s->pages) {
        if (!sp.hwnd) continue;
        LRESULT r = SendMessage(sp.hwnd, PSM_QUERYSIBLINGS, wp, lp);
        if (r) return Result(hwnd, r);
      }
      return Result(hwnd, 0);
    case PSM_APPLY:
      return Result(hwnd, Apply(s, false) ? TRUE : FALSE);
    case PSM_SETTITLE: {
      std::string t = ResourceText(s->header.hInstance, reinterpret_cast<LPCSTR>(lp));
      if (wp & PSH_PROPTITLE) t = "Properties for " + t;
      SetWindowText(hwnd, t.c_str());
      return Result(hwnd, 0);
    }
    case PSM_SETWIZBUTTONS:
      s->wizButtons = static_cast<DWORD>(lp);
      ApplyWizButtons(s);
      return Result(hwnd, 0);
    case PSM_SETFINISHTEXT:
      s->finishText = lp ? reinterpret_cast<LPCSTR>(lp) : "";
      ApplyWizButtons(s);
      return Result(hwnd, 0);
    case PSM_PRESSBUTTON: {
      static const int ids[] = {ID_WIZBACK, ID_WIZNEXT, ID_WIZFINISH, IDOK, ID_APPLY_NOW, IDCANCEL, IDHELP};
      if (wp > PSBTN_MAX) return Result(hwnd, FALSE);
      HWND b = GetDlgItem(hwnd, ids[wp]);
      if (b && IsWindowEnabled(b)) PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(ids[wp], BN_CLICKED), reinterpret_cast<LPARAM>(b));
      return Result(hwnd, TRUE);
    }
    case PSM_GETTABCONTROL:
      return Result(hwnd, reinterpret_cast<LRESULT>(s->tab));
    case PSM_GETCURRENTPAGEHWND:
      return Result(hwnd, s->done || s->cur < 0 ? 0 : reinterpret_cast<LRESULT>(s->pages[static_cast<size_t>(s->cur)].hwnd));
    case PSM_ISDIALOGMESSAGE: {
      auto* m = reinterpret_cast<MSG*>(lp);
      if (!m) return Result(hwnd, FALSE);
      // Ctrl+Tab and Ctrl+PageDown turn the tabs forward, with Shift or PageUp backwards.
      if (!s->wizard && m->message == WM_KEYDOWN && (GetKeyState(VK_CONTROL) & 0x8000) &&
          (m->wParam == VK_TAB || m->wParam == VK_NEXT || m->wParam == VK_PRIOR) && !s->pages.empty()) {
        int count = static_cast<int>(s->pages.size());
        bool back = m->wParam == VK_PRIOR || (m->wParam == VK_TAB && (GetKeyState(VK_SHIFT) & 0x8000));
        SetPage(s, (s->cur + (back ? count - 1 : 1)) % count, back ? -1 : 1);
        return Result(hwnd, TRUE);
      }
      return Result(hwnd, IsDialogMessage(hwnd, m));
    }
    case PSM_HWNDTOINDEX: return Result(hwnd, IndexOfHwnd(s, reinterpret_cast<HWND>(wp)));
    case PSM_INDEXTOHWND:
      return Result(hwnd, wp < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wp].hwnd) : 0);
    case PSM_PAGETOINDEX: return Result(hwnd, IndexOfPage(s, reinterpret_cast<HPROPSHEETPAGE>(lp)));
    case PSM_INDEXTOPAGE:
      return Result(hwnd, wp < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wp].page) : 0);
    case PSM_IDTOINDEX: return Result(hwnd, IndexOfId(s, lp));
    case PSM_INDEXTOID:
      return Result(hwnd, wp < s->pages.size() ? reinterpret_cast<LRESULT>(s->pages[wp].page->psp.pszTemplate) : 0);
    case PSM_GETRESULT:
      return Result(hwnd, s->done ? s->result : -1);
    case PSM_RECALCPAGESIZES:
      return Result(hwnd, TRUE);
    case PSM_SETHEADERTITLE:
    case PSM_SETHEADERSUBTITLE: {
      if (wp >= s->pages.size()) return Result(hwnd, 0);
      _PSP* p = s->pages[wp].page;
      std::string text = lp ? reinterpret_cast<LPCSTR>(lp) : "";
      if (msg == PSM_SETHEADERTITLE) {
        p->headerTitle = text;
        p->psp.pszHeaderTitle = p->headerTitle.c_str();
        p->psp.dwFlags |= PSP_USEHEADERTITLE;
      } else {
        p->headerSubTitle = text;
        p->psp.pszHeaderSubTitle = p->headerSubTitle.c_str();
        p->psp.dwFlags |= PSP_USEHEADERSUBTITLE;
      }
      InvalidateRect(hwnd, &s->headerRect, TRUE);
      return Result(hwnd, 0);
    }
    case WM_NCDESTROY: {
      SetWindowLongPtr(hwnd, DWLP_USER, 0);
      for (SheetPage& sp : s->pages)
        if (sp.owned) DestroyPropertySheetPage(sp.page);
      if (s->ownWatermark) DeleteObject(s->watermark);
      if (s->ownHeader) DeleteObject(s->headerBitmap);
      // A modal sheet's owner reads the result before the window goes; a modeless one's state goes with it.
      {
        std::lock_guard<std::mutex> lock(g_sheetsLock);
        LiveSheets().erase(s);
      }
      delete s;
      return FALSE;
    }
    default:
      return FALSE;
  }
}

kx::DialogTemplate SheetTemplate(const Sheet& s) {
  kx::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK | WS_CLIPCHILDREN;
  t.exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  t.cx = 100;
  t.cy = 60;
  t.title = s.caption;
  auto add = [&](const char* cls, const char* text, int id, DWORD style) {
    kx::DialogItemTemplate i;
    i.className = cls;
    i.text = text;
    i.id = id;
    i.style = WS_CHILD | style;
    i.cx = 50;
    i.cy = 14;
    t.items.push_back(i);
  };
  add(WC_TABCONTROLA, "", KX_ID_TABCONTROL, (s.wizard ? 0 : WS_VISIBLE) | WS_TABSTOP | WS_CLIPSIBLINGS);
  bool help = (s.header.dwFlags & PSH_HASHELP) != 0;
  if (s.wizard) {
    if (s.wizard97) add("Static", "", kEtchedHeader, WS_VISIBLE | SS_ETCHEDHORZ);
    add("Static", "", kEtchedBottom, WS_VISIBLE | SS_ETCHEDHORZ);
    add("Button", "< &Back", ID_WIZBACK, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
    add("Button", "&Next >", ID_WIZNEXT, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
    add("Button", "Finish", ID_WIZFINISH, WS_TABSTOP | BS_PUSHBUTTON);
    add("Button", "Cancel", IDCANCEL, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
  } else {
    add("Button", "OK", IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
    add("Button", "Cancel", IDCANCEL, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
    if (!(s.header.dwFlags & PSH_NOAPPLYNOW))
      add("Button", "&Apply", ID_APPLY_NOW, WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON);
  }
  if (help) add("Button", "&Help", IDHELP, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
  return t;
}

}  // namespace

HPROPSHEETPAGE CreatePropertySheetPage(LPCPROPSHEETPAGE page) {
  if (!page || page->dwSize < offsetof(PROPSHEETPAGEA, pfnCallback)) return nullptr;
  auto* p = new _PSP;
  memcpy(&p->psp, page, std::min<size_t>(page->dwSize, sizeof(PROPSHEETPAGEA)));
  p->psp.dwSize = sizeof(PROPSHEETPAGEA);
  if (page->dwSize < sizeof(PROPSHEETPAGEA)) {
    p->psp.pszHeaderTitle = nullptr;
    p->psp.pszHeaderSubTitle = nullptr;
  }
  auto keep = [](LPCSTR& field, std::string& store) {
    if (field && !IS_INTRESOURCE(field)) {
      store = field;
      field = store.c_str();
    }
  };
  if (!(p->psp.dwFlags & PSP_DLGINDIRECT)) keep(p->psp.pszTemplate, p->templateName);
  keep(p->psp.pszTitle, p->title);
  keep(p->psp.pszHeaderTitle, p->headerTitle);
  keep(p->psp.pszHeaderSubTitle, p->headerSubTitle);
  if ((p->psp.dwFlags & PSP_USECALLBACK) && p->psp.pfnCallback) p->psp.pfnCallback(nullptr, PSPCB_ADDREF, &p->psp);
  std::lock_guard<std::mutex> lock(g_pagesLock);
  LivePages().insert(p);
  return p;
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page) {
  {
    std::lock_guard<std::mutex> lock(g_pagesLock);
    if (!page || !LivePages().erase(page)) return FALSE;
  }
  if ((page->psp.dwFlags & PSP_USECALLBACK) && page->psp.pfnCallback)
    page->psp.pfnCallback(nullptr, PSPCB_RELEASE, &page->psp);
  delete page;
  return TRUE;
}

INT_PTR PropertySheet(LPCPROPSHEETHEADER header) {
  if (!header || header->dwSize < offsetof(PROPSHEETHEADERA, hbmWatermark)) return -1;
  auto s = std::make_unique<Sheet>();
  memcpy(&s->header, header, std::min<size_t>(header->dwSize, sizeof(PROPSHEETHEADERA)));
  s->wizard = (header->dwFlags & (PSH_WIZARD | PSH_WIZARD97 | PSH_WIZARD_LITE)) != 0;
  s->wizard97 = s->wizard && (header->dwFlags & (PSH_WIZARD97 | PSH_WIZARD_LITE)) != 0;
  s->modeless = (header->dwFlags & PSH_MODELESS) != 0;
  s->caption = ResourceText(header->hInstance, header->pszCaption);
  if ((header->dwFlags & PSH_PROPTITLE) && !s->wizard) s->caption = "Properties for " + s->caption;
  for (UINT i = 0; i < header->nPages; ++i) {
    SheetPage sp;
    if (header->dwFlags & PSH_PROPSHEETPAGE) {
      const auto* base = reinterpret_cast<const BYTE*>(header->ppsp);
      auto* psp = reinterpret_cast<LPCPROPSHEETPAGE>(base + static_cast<size_t>(i) * header->ppsp->dwSize);
      sp.page = CreatePropertySheetPage(psp);
      sp.owned = true;
    } else {
      sp.page = ValidPage(header->phpage[i]) ? header->phpage[i] : nullptr;
      sp.owned = sp.page != nullptr;
    }
    if (!sp.page) {
      for (SheetPage& made : s->pages)
        if (made.owned) DestroyPropertySheetPage(made.page);
      return -1;
    }
    s->pages.push_back(sp);
  }
  kx::DialogTemplate t = SheetTemplate(*s);
  if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback)
    header->pfnCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(&t));
  Sheet* raw = s.release();
  {
    std::lock_guard<std::mutex> lock(g_sheetsLock);
    LiveSheets().insert(raw);
  }
  HWND owner = header->hwndParent;
  HWND hwnd = CreateDialogIndirectParam(header->hInstance, &t, owner, &SheetProc, reinterpret_cast<LPARAM>(raw));
  if (!hwnd) {
    // A window that was made and destroyed took its sheet along; one that never was leaves it here.
    std::lock_guard<std::mutex> lock(g_sheetsLock);
    if (LiveSheets().erase(raw)) {
      for (SheetPage& made : raw->pages)
        if (made.owned) DestroyPropertySheetPage(made.page);
      delete raw;
    }
    return -1;
  }
  if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback) header->pfnCallback(hwnd, PSCB_INITIALIZED, 0);
  if (raw->cur < 0) {
    DestroyWindow(hwnd);
    return -1;
  }
  if (raw->modeless) {
    ShowWindow(hwnd, SW_SHOW);
    return reinterpret_cast<INT_PTR>(hwnd);
  }
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  bool enable = top && IsWindowEnabled(top);
  if (enable) EnableWindow(top, FALSE);
  ShowWindow(hwnd, SW_SHOW);
  MSG msg;
  INT_PTR result = 0;
  for (;;) {
    Sheet* s2 = SheetOf(hwnd);
    if (!IsWindow(hwnd) || !s2 || s2->done) break;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!SendMessage(hwnd, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&msg))) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
  }
  if (Sheet* s3 = IsWindow(hwnd) ? SheetOf(hwnd) : nullptr) {
    result = (s3->result == IDOK || s3->result == ID_WIZFINISH) ? 1 : 0;
    if (s3->reboot) result = ID_PSREBOOTSYSTEM;
    else if (s3->restart) result = ID_PSRESTARTWINDOWS;
  }
  if (enable && IsWindow(top)) EnableWindow(top, TRUE);
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  return result;
}
