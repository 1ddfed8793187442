#include "framework/fwtest.h"

#include <cairo.h>

#include <cstdlib>

#include "support/testroot.h"

namespace fwtest {

namespace {
HMODULE g_pages = nullptr;
HMODULE g_kxres = nullptr;
}  // namespace

void FrameworkTest::SetUpTestSuite() {
  if (!g_pages) g_pages = LoadLibrary("kxtestpages");
  if (!g_kxres) g_kxres = LoadLibrary("KXRes.DLL");
}

void FrameworkTest::SetUp() {
  ASSERT_NE(g_pages, nullptr);
  ASSERT_NE(g_kxres, nullptr);
  AfxSetResourceHandle(g_pages);
}

HMODULE FrameworkTest::Pages() { return g_pages; }
HMODULE FrameworkTest::KxRes() { return g_kxres; }

std::string ShotPath(const std::string& name) {
  const char* dir = std::getenv("KX_SCREENSHOT_DIR");
  return std::string(dir && *dir ? dir : kxtest::Root().c_str()) + "/" + name + ".png";
}

COLORREF PngPixel(const std::string& path, int x, int y) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  COLORREF c = 0xFFFFFFFF;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && x >= 0 && y >= 0 && x < cairo_image_surface_get_width(s) &&
      y < cairo_image_surface_get_height(s)) {
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + static_cast<size_t>(y) * cairo_image_surface_get_stride(s);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    c = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  cairo_surface_destroy(s);
  return c;
}

bool PngSize(const std::string& path, int* w, int* h) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    *w = cairo_image_surface_get_width(s);
    *h = cairo_image_surface_get_height(s);
  }
  cairo_surface_destroy(s);
  return ok;
}

}  // namespace fwtest
