// The fixed colour theme of the system colours: the platform's classic grey look.
#include <array>

#include "platform/gdi/internal.h"

namespace kx::gdi {

namespace {

// COLOR_SCROLLBAR .. COLOR_MENUBAR.
std::array<COLORREF, 31> g_colors = {
    RGB(212, 208, 200),  // scroll bar
    RGB(58, 110, 165),   // desktop
    RGB(10, 36, 106),    // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(212, 208, 200),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(212, 208, 200),  // active border
    RGB(212, 208, 200),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(10, 36, 106),    // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(212, 208, 200),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // gray text
    RGB(0, 0, 0),        // button text
    RGB(212, 208, 200),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(64, 64, 64),     // 3-D dark shadow
    RGB(212, 208, 200),  // 3-D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
    RGB(181, 181, 181),  // (unused index 25)
    RGB(0, 0, 128),      // hot-tracked item
    RGB(166, 202, 240),  // active caption gradient
    RGB(192, 192, 192),  // inactive caption gradient
    RGB(10, 36, 106),    // menu highlight
    RGB(212, 208, 200),  // menu bar
};

std::mutex g_brushMutex;
std::array<HBRUSH, 31> g_brushes{};

}  // namespace

uint32_t SysPixel(int index) { return ToPixel(GetSysColor(index)); }

}  // namespace kx::gdi

using namespace kx::gdi;

DWORD GetSysColor(int index) {
  if (index < 0 || index >= static_cast<int>(g_colors.size())) return 0;
  return g_colors[static_cast<size_t>(index)];
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= static_cast<int>(g_colors.size())) return nullptr;
  std::lock_guard<std::mutex> lock(g_brushMutex);
  HBRUSH& b = g_brushes[static_cast<size_t>(index)];
  if (!b) {
    auto obj = std::make_shared<BrushObj>();
    obj->color = g_colors[static_cast<size_t>(index)];
    obj->stock = true;  // system colour brushes are never deleted
    b = static_cast<HBRUSH>(AddObject(obj));
  }
  return b;
}

BOOL SetSysColors(int count, const INT* indexes, const COLORREF* colors) {
  if (count < 0 || (count && (!indexes || !colors))) return FALSE;
  std::lock_guard<std::mutex> lock(g_brushMutex);
  for (int i = 0; i < count; ++i) {
    int idx = indexes[i];
    if (idx < 0 || idx >= static_cast<int>(g_colors.size())) continue;
    g_colors[static_cast<size_t>(idx)] = colors[i] & 0xFFFFFF;
    if (auto b = Get<BrushObj>(g_brushes[static_cast<size_t>(idx)], ObjKind::Brush)) b->color = colors[i] & 0xFFFFFF;
  }
  return TRUE;
}
