// System metrics and parameters of the desktop: the platform's classic look at 96 dots per inch, sized by the
// screen's resolution.
#include <atomic>
#include <cstring>

#include "platform/ui/display.h"
#include "platform/ui/internal.h"

namespace {

std::atomic<BOOL> g_dropShadow{TRUE};
std::atomic<BOOL> g_flatMenu{FALSE};

LOGFONTA GuiFont(LONG weight) {
  LOGFONTA lf{};
  lf.lfHeight = -kx::gdi::Scaled(11);
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  std::strcpy(lf.lfFaceName, "Tahoma");
  return lf;
}

template <typename T>
BOOL Put(PVOID data, T value) {
  if (!data) return FALSE;
  std::memcpy(data, &value, sizeof value);
  return TRUE;
}

}  // namespace

int GetSystemMetrics(int index) {
  const int w = kx::ui::ScreenWidth(), h = kx::ui::ScreenHeight();
  auto S = kx::gdi::Scaled;
  switch (index) {
    case SM_CXSCREEN: case SM_CXVIRTUALSCREEN: return w;
    case SM_CYSCREEN: case SM_CYVIRTUALSCREEN: return h;
    case SM_XVIRTUALSCREEN: case SM_YVIRTUALSCREEN: return 0;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL: return S(16);
    case SM_CYVTHUMB: case SM_CXHTHUMB: return S(16);
    case SM_CYCAPTION: return S(19);
    case SM_CXBORDER: case SM_CYBORDER: return S(1);
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return S(3);
    case SM_CXFRAME: case SM_CYFRAME: return S(4);
    case SM_CXEDGE: case SM_CYEDGE: return S(2);
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return S(32);
    case SM_CXSMICON: case SM_CYSMICON: return S(16);
    case SM_CYMENU: return S(19);
    case SM_CXFULLSCREEN: return w;
    case SM_CYFULLSCREEN: return h - S(19);
    case SM_MOUSEPRESENT: case SM_MOUSEWHEELPRESENT: case SM_CMONITORS: case SM_SAMEDISPLAYFORMAT: return 1;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_CXMIN: case SM_CXMINTRACK: return S(112);
    case SM_CYMIN: case SM_CYMINTRACK: return S(27);
    case SM_CXSIZE: case SM_CYSIZE: case SM_CXMENUSIZE: case SM_CYMENUSIZE: return S(18);
    case SM_CXSMSIZE: return S(12);
    case SM_CYSMSIZE: return S(15);
    case SM_CYSMCAPTION: return S(15);
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: case SM_CXDRAG: case SM_CYDRAG: return 4;
    case SM_CXICONSPACING: case SM_CYICONSPACING: return S(75);
    case SM_CXMINSPACING: case SM_CXMINIMIZED: return S(160);
    case SM_CYMINSPACING: case SM_CYMINIMIZED: return S(24);
    case SM_CXMAXTRACK: return w + S(12);
    case SM_CYMAXTRACK: return h + S(12);
    case SM_CXMAXIMIZED: return w + S(8);
    case SM_CYMAXIMIZED: return h + S(8);
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return S(13);
    default: return 0;
  }
}

UINT GetCaretBlinkTime() { return 530; }

BOOL SystemParametersInfo(UINT action, UINT param, PVOID data, UINT) {
  switch (action) {
    case SPI_GETNONCLIENTMETRICS: {
      auto* ncm = static_cast<NONCLIENTMETRICSA*>(data);
      if (!ncm || ncm->cbSize < sizeof(NONCLIENTMETRICSA)) return FALSE;
      ncm->iBorderWidth = kx::gdi::Scaled(1);
      ncm->iScrollWidth = kx::gdi::Scaled(16);
      ncm->iScrollHeight = kx::gdi::Scaled(16);
      ncm->iCaptionWidth = kx::gdi::Scaled(18);
      ncm->iCaptionHeight = kx::gdi::Scaled(18);
      ncm->lfCaptionFont = GuiFont(FW_BOLD);
      ncm->iSmCaptionWidth = kx::gdi::Scaled(12);
      ncm->iSmCaptionHeight = kx::gdi::Scaled(14);
      ncm->lfSmCaptionFont = GuiFont(FW_BOLD);
      ncm->iMenuWidth = kx::gdi::Scaled(18);
      ncm->iMenuHeight = kx::gdi::Scaled(18);
      ncm->lfMenuFont = GuiFont(FW_NORMAL);
      ncm->lfStatusFont = GuiFont(FW_NORMAL);
      ncm->lfMessageFont = GuiFont(FW_NORMAL);
      return TRUE;
    }
    case SPI_GETICONTITLELOGFONT:
      return Put(data, GuiFont(FW_NORMAL));
    case SPI_GETWORKAREA:
      return Put(data, RECT{0, 0, kx::ui::ScreenWidth(), kx::ui::ScreenHeight()});
    case SPI_GETDROPSHADOW: return Put(data, g_dropShadow.load());
    case SPI_SETDROPSHADOW: g_dropShadow = data != nullptr; return TRUE;
    case SPI_GETFLATMENU: return Put(data, g_flatMenu.load());
    case SPI_SETFLATMENU: g_flatMenu = data != nullptr; return TRUE;
    case SPI_GETGRADIENTCAPTIONS: case SPI_GETKEYBOARDCUES: case SPI_GETHOTTRACKING: case SPI_GETDRAGFULLWINDOWS:
    case SPI_GETFONTSMOOTHING: case SPI_GETBEEP: case SPI_GETICONTITLEWRAP: case SPI_GETUIEFFECTS:
      return Put<BOOL>(data, TRUE);
    case SPI_GETMENUANIMATION: case SPI_GETCOMBOBOXANIMATION: case SPI_GETTOOLTIPANIMATION: case SPI_GETMENUFADE:
    case SPI_GETSELECTIONFADE: case SPI_GETTOOLTIPFADE: case SPI_GETCURSORSHADOW: case SPI_GETSCREENREADER:
    case SPI_GETSHOWSOUNDS: case SPI_GETACTIVEWINDOWTRACKING: case SPI_GETSCREENSAVERRUNNING:
    case SPI_GETLISTBOXSMOOTHSCROLLING: case SPI_GETMENUDROPALIGNMENT: case SPI_GETHIGHCONTRAST:
      return Put<BOOL>(data, FALSE);
    case SPI_GETMOUSEHOVERTIME: case SPI_GETMENUSHOWDELAY: return Put<UINT>(data, 400);
    case SPI_GETMOUSEHOVERWIDTH: case SPI_GETMOUSEHOVERHEIGHT: return Put<UINT>(data, 4);
    case SPI_GETWHEELSCROLLLINES: return Put<UINT>(data, 3);
    case SPI_GETKEYBOARDDELAY: return Put<int>(data, 1);
    case SPI_GETKEYBOARDSPEED: return Put<DWORD>(data, 31);
    case SPI_GETFOCUSBORDERWIDTH: case SPI_GETFOCUSBORDERHEIGHT: case SPI_GETBORDER: return Put<UINT>(data, 1);
    case SPI_ICONHORIZONTALSPACING: case SPI_ICONVERTICALSPACING: return Put<int>(data, 75);
    case SPI_GETFONTSMOOTHINGTYPE: return Put<UINT>(data, 1);
    default:
      (void)param;
      return FALSE;
  }
}
