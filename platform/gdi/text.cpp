// Fonts and text: face mapping to DejaVu, metrics, TextOut/ExtTextOut, DrawText with its formats. Runs are
// shaped and drawn by Pango, so that scripts are shaped, bidirectional text is ordered and characters the mapped
// face lacks come from a fallback font.
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <tuple>
#include <unordered_map>

#include "platform/gdi/internal.h"

namespace kx::gdi {

namespace {

bool FaceIs(const char* face, const char* name) { return strcasecmp(face, name) == 0; }
bool FaceHas(const char* face, const char* part) { return strcasestr(face, part) != nullptr; }

// Maps the platform's face names to the fonts installed here.
const char* MapFace(const LOGFONTA& lf, bool* symbol) {
  const char* face = lf.lfFaceName;
  *symbol = FaceIs(face, "Marlett");
  if (FaceHas(face, "Courier") || FaceHas(face, "Fixedsys") || FaceIs(face, "Terminal") ||
      FaceHas(face, "Lucida Console") || FaceHas(face, "Consolas") || FaceHas(face, "Mono") ||
      (face[0] == 0 && (lf.lfPitchAndFamily & 3) == FIXED_PITCH))
    return "DejaVu Sans Mono";
  if (FaceHas(face, "Times") || FaceHas(face, "Georgia") || FaceHas(face, "Serif") ||
      (face[0] == 0 && (lf.lfPitchAndFamily & 0xF0) == FF_ROMAN))
    if (!FaceHas(face, "Sans")) return "DejaVu Serif";
  return "DejaVu Sans";
}

struct Realized {
  cairo_scaled_font_t* font = nullptr;
  PangoContext* ctx = nullptr;
  PangoFontDescription* desc = nullptr;
  FontMetrics m;
  double em = 0;
};

using Key = std::tuple<std::string, int, bool, long, long>;

// Pango's font map and contexts are not thread-safe: every use of them, and the font cache, is under this lock.
std::recursive_mutex g_fontMutex;

PangoFontMap* FontMap() {
  static PangoFontMap* map = pango_cairo_font_map_new();
  return map;
}

struct EmRatios {
  double ascent = 0.928, descent = 0.236;
};

// Ascent and descent per em of a family, from its unhinted outlines.
EmRatios Ratios(const char* family) {
  static std::map<std::string, EmRatios> cache;
  auto it = cache.find(family);
  if (it != cache.end()) return it->second;
  cairo_font_face_t* face = cairo_toy_font_face_create(family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_matrix_t fm, ctm;
  cairo_matrix_init_scale(&fm, 1000, 1000);
  cairo_matrix_init_identity(&ctm);
  cairo_font_options_t* opt = cairo_font_options_create();
  cairo_scaled_font_t* sf = cairo_scaled_font_create(face, &fm, &ctm, opt);
  cairo_font_extents_t fe;
  cairo_scaled_font_extents(sf, &fe);
  EmRatios r;
  if (fe.ascent > 0 && fe.descent > 0) {
    r.ascent = fe.ascent / 1000.0;
    r.descent = fe.descent / 1000.0;
  }
  cairo_scaled_font_destroy(sf);
  cairo_font_options_destroy(opt);
  cairo_font_face_destroy(face);
  cache[family] = r;
  return r;
}

double CellPerEm(const char* family) {
  EmRatios r = Ratios(family);
  return r.ascent + r.descent;
}

const Realized& Realize(const LOGFONTA& lf, double scale) {
  bool symbol = false;
  const char* family = MapFace(lf, &symbol);
  std::lock_guard<std::recursive_mutex> lock(g_fontMutex);
  double em;
  if (lf.lfHeight < 0)
    em = -lf.lfHeight * scale;
  else if (lf.lfHeight > 0)
    em = symbol ? lf.lfHeight * scale : lf.lfHeight * scale / CellPerEm(family);
  else
    em = 11;
  em = std::max(em, 1.0);
  bool bold = lf.lfWeight >= FW_SEMIBOLD;
  long emKey = std::lround(em * 64);
  long widthKey = lf.lfWidth > 0 ? std::lround(lf.lfWidth * scale * 64) : 0;
  Key key{std::string(family) + (symbol ? "#sym" : ""), bold ? 1 : 0, lf.lfItalic != 0, emKey, widthKey};
  static std::map<Key, Realized>* cache = new std::map<Key, Realized>();
  auto it = cache->find(key);
  if (it != cache->end()) return it->second;
  Realized r;
  r.em = em;
  cairo_font_face_t* face = cairo_toy_font_face_create(
      family, lf.lfItalic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
      bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_matrix_t fm, ctm;
  cairo_matrix_init_scale(&fm, em, em);
  cairo_matrix_init_identity(&ctm);
  cairo_font_options_t* opt = cairo_font_options_create();
  cairo_font_options_set_antialias(opt, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_ON);
  r.font = cairo_scaled_font_create(face, &fm, &ctm, opt);
  cairo_font_extents_t fe;
  cairo_scaled_font_extents(r.font, &fe);
  cairo_text_extents_t xe;
  cairo_scaled_font_text_extents(r.font, "x", &xe);
  double stretch = 1.0;
  if (widthKey > 0 && xe.x_advance > 0) {
    // A requested average width stretches the font horizontally.
    stretch = (lf.lfWidth * scale) / xe.x_advance;
    cairo_scaled_font_destroy(r.font);
    cairo_matrix_init_scale(&fm, em * stretch, em);
    r.font = cairo_scaled_font_create(face, &fm, &ctm, opt);
    cairo_scaled_font_extents(r.font, &fe);
    cairo_scaled_font_text_extents(r.font, "x", &xe);
  }
  // The Pango side: the same family, size and rendering options; fontconfig supplies fallbacks.
  r.ctx = pango_font_map_create_context(FontMap());
  pango_cairo_context_set_font_options(r.ctx, opt);
  pango_cairo_context_set_resolution(r.ctx, 96);
  if (stretch != 1.0) {
    PangoMatrix pm = PANGO_MATRIX_INIT;
    pango_matrix_scale(&pm, stretch, 1.0);
    pango_context_set_matrix(r.ctx, &pm);
  }
  r.desc = pango_font_description_new();
  pango_font_description_set_family(r.desc, family);
  pango_font_description_set_absolute_size(r.desc, em * PANGO_SCALE);
  pango_font_description_set_weight(r.desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(r.desc, lf.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  cairo_font_options_destroy(opt);
  cairo_font_face_destroy(face);
  FontMetrics& m = r.m;
  if (symbol) {
    m.ascent = static_cast<int>(std::lround(em));
    m.descent = 0;
    m.aveCharWidth = m.maxCharWidth = m.ascent;
  } else {
    // Cell metrics from the outlines, rounded as the platform rounds them (8 points: 13 pixels).
    EmRatios er = Ratios(family);
    m.ascent = static_cast<int>(std::lround(er.ascent * em));
    m.descent = static_cast<int>(std::lround(er.descent * em));
    m.aveCharWidth = static_cast<int>(std::lround(xe.x_advance));
    m.maxCharWidth = static_cast<int>(std::lround(fe.max_x_advance));
  }
  m.height = m.ascent + m.descent;
  m.internalLeading = std::max(0, m.height - static_cast<int>(std::lround(em)));
  m.externalLeading = 0;
  m.weight = lf.lfWeight ? static_cast<int>(lf.lfWeight) : FW_NORMAL;
  m.italic = lf.lfItalic;
  m.underline = lf.lfUnderline;
  m.strikeOut = lf.lfStrikeOut;
  m.symbol = symbol;
  return (*cache)[key] = r;
}

// Decodes one UTF-8 code point; invalid bytes count as one character.
size_t NextChar(const char* s, size_t len, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (i + n > len) n = 1;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return i + 1;
  return i + n;
}

// Pango wants valid UTF-8: invalid bytes become U+FFFD. `map`, when given, gets the output offset of every input
// byte (and of the end).
std::string ValidUtf8(const char* s, size_t len, std::vector<size_t>* map = nullptr) {
  std::string out;
  out.reserve(len);
  if (map) map->assign(len + 1, 0);
  for (size_t i = 0; i < len;) {
    size_t j = NextChar(s, len, i);
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (map)
      for (size_t k = i; k < j; ++k) (*map)[k] = out.size();
    if (c == 0) out += ' ';  // Pango ends its text at a NUL
    else if (j - i == 1 && c >= 0x80) out += "\xEF\xBF\xBD";
    else out.append(s + i, j - i);
    i = j;
  }
  if (map) (*map)[len] = out.size();
  return out;
}

// A one-line layout of valid UTF-8 text in a realized font (call with g_fontMutex held).
PangoLayout* NewLayout(const Realized& r, const std::string& valid) {
  PangoLayout* layout = pango_layout_new(r.ctx);
  pango_layout_set_font_description(layout, r.desc);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_text(layout, valid.data(), static_cast<int>(valid.size()));
  return layout;
}

int LayoutWidth(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return static_cast<int>(std::lround(logical.width / static_cast<double>(PANGO_SCALE)));
}

// Shaped widths, kept per font: controls measure the same strings over and over.
std::unordered_map<const Realized*, std::unordered_map<std::string, int>>& WidthCache() {
  static auto* cache = new std::unordered_map<const Realized*, std::unordered_map<std::string, int>>();
  return *cache;
}

int RealWidth(const Realized& r, const char* s, size_t len, int extra) {
  if (len == 0) return 0;
  if (r.m.symbol) {
    size_t n = 0;
    for (size_t i = 0; i < len; i = NextChar(s, len, i)) ++n;
    return static_cast<int>(n) * (r.m.aveCharWidth + extra);
  }
  std::string text = ValidUtf8(s, len);
  int width;
  {
    std::lock_guard<std::recursive_mutex> lock(g_fontMutex);
    auto& cache = WidthCache()[&r];
    auto it = cache.find(text);
    if (it != cache.end()) {
      width = it->second;
    } else {
      PangoLayout* layout = NewLayout(r, text);
      width = LayoutWidth(layout);
      g_object_unref(layout);
      if (cache.size() > 4096) cache.clear();
      cache.emplace(text, width);
    }
  }
  size_t n = 0;
  if (extra)
    for (size_t i = 0; i < len; i = NextChar(s, len, i)) ++n;
  return width + static_cast<int>(n) * extra;
}

double FontScale(const Dc& dc) { return dc.st.mapMode == MM_TEXT ? 1.0 : std::fabs(dc.ScaleY()); }

}  // namespace

FontMetrics MetricsOf(const LOGFONTA& lf, double scale) { return Realize(lf, scale).m; }

int TextWidth(const LOGFONTA& lf, const char* text, size_t len, double scale) {
  return RealWidth(Realize(lf, scale), text, len, 0);
}

int UnknownGlyphs(const LOGFONTA& lf, const char* text, size_t len) {
  const Realized& r = Realize(lf, 1.0);
  if (r.m.symbol || len == 0) return 0;
  std::lock_guard<std::recursive_mutex> lock(g_fontMutex);
  PangoLayout* layout = NewLayout(r, ValidUtf8(text, len));
  int n = pango_layout_get_unknown_glyphs_count(layout);
  g_object_unref(layout);
  return n;
}

int RightToLeftCaretX(const LOGFONTA& lf, const char* text, size_t len, size_t index) {
  if (len == 0) return -1;
  std::vector<size_t> map;
  std::string valid = ValidUtf8(text, len, &map);
  const Realized& r = Realize(lf, 1.0);
  std::lock_guard<std::recursive_mutex> lock(g_fontMutex);
  PangoLayout* layout = NewLayout(r, valid);
  bool rtl = false;
  for (GSList* run = pango_layout_get_line_readonly(layout, 0)->runs; run && !rtl; run = run->next)
    rtl = (static_cast<PangoGlyphItem*>(run->data)->item->analysis.level & 1) != 0;
  int x = -1;
  if (rtl) {
    PangoRectangle strong;
    pango_layout_get_cursor_pos(layout, static_cast<int>(map[std::min(index, len)]), &strong, nullptr);
    x = static_cast<int>(std::lround(strong.x / static_cast<double>(PANGO_SCALE)));
  }
  g_object_unref(layout);
  return x;
}

std::vector<size_t> CursorStops(const char* text, size_t len) {
  std::vector<size_t> stops;
  if (!g_utf8_validate(text, static_cast<gssize>(len), nullptr)) {
    for (size_t i = 0; i < len; i = NextChar(text, len, i)) stops.push_back(i);
    stops.push_back(len);
    return stops;
  }
  std::vector<size_t> offsets;  // byte offset of each character, and of the end
  for (size_t i = 0; i < len; i = NextChar(text, len, i)) offsets.push_back(i);
  offsets.push_back(len);
  std::vector<PangoLogAttr> attrs(offsets.size());
  pango_get_log_attrs(text, static_cast<int>(len), -1, pango_language_get_default(), attrs.data(),
                      static_cast<int>(attrs.size()));
  for (size_t k = 0; k < offsets.size(); ++k)
    if (attrs[k].is_cursor_position || k == 0 || k + 1 == offsets.size()) stops.push_back(offsets[k]);
  return stops;
}

size_t NextCursorPos(const char* text, size_t len, size_t i) {
  if (i >= len) return len;
  for (size_t stop : CursorStops(text, len))
    if (stop > i) return stop;
  return len;
}

size_t PrevCursorPos(const char* text, size_t len, size_t i) {
  if (i == 0) return 0;
  std::vector<size_t> stops = CursorStops(text, len);
  for (size_t k = stops.size(); k-- > 0;)
    if (stops[k] < i) return stops[k];
  return 0;
}

LOGFONTA FontOf(const FontObj& font) {
  LOGFONTA lf = font.lf;
  if (font.stock) {
    lf.lfHeight = Scaled(lf.lfHeight);
    lf.lfWidth = Scaled(lf.lfWidth);
  }
  return lf;
}

LOGFONTA CurrentFont(const Dc& dc) {
  if (dc.st.font) return FontOf(*dc.st.font);
  LOGFONTA lf{};
  GetObject(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
  return lf;
}

namespace {

struct TextRun {
  const char* text;
  size_t len;
};

// Draws text with its reference point at device-surface (sx, sy) following the alignment flags; returns the
// advance. Underlined character ranges [a, b) are byte offsets.
int DrawTextRun(Dc& dc, double sx, double sy, const char* text, size_t len, UINT align, const INT* dx,
                const RECT* opaqueRect, const RECT* clipRect,
                const std::vector<std::pair<size_t, size_t>>* underlines = nullptr) {
  const LOGFONTA& lf = CurrentFont(dc);
  const Realized& rf = Realize(lf, FontScale(dc));
  const FontMetrics& m = rf.m;
  int extra = static_cast<int>(std::lround(dc.st.charExtra * std::fabs(dc.ScaleX())));
  std::lock_guard<std::recursive_mutex> lock(g_fontMutex);
  std::vector<std::pair<size_t, size_t>> chars;
  for (size_t i = 0; i < len; i = NextChar(text, len, i)) chars.push_back({i, NextChar(text, len, i)});
  // Given advances, extra spacing and symbols place each character on its own; otherwise the run is shaped whole.
  bool perChar = dx || extra || m.symbol;
  std::vector<double> pos;
  PangoLayout* layout = nullptr;
  std::vector<size_t> map;
  double width;
  if (perChar) {
    pos.assign(chars.size() + 1, 0);
    for (size_t k = 0; k < chars.size(); ++k) {
      double adv;
      if (dx) {
        adv = 0;
        for (size_t b = chars[k].first; b < chars[k].second; ++b) adv += dx[b] * dc.ScaleX();
      } else {
        adv = RealWidth(rf, text + chars[k].first, chars[k].second - chars[k].first, 0) + extra;
      }
      pos[k + 1] = pos[k] + adv;
    }
    if (!dx && !chars.empty() && !m.symbol) {
      // Use the whole-run width (kerning) for the total, keeping relative positions.
      double whole = RealWidth(rf, text, len, extra);
      double scale = pos.back() > 0 ? whole / pos.back() : 1.0;
      for (double& p : pos) p *= scale;
    }
    width = pos.back();
  } else {
    layout = NewLayout(rf, ValidUtf8(text, len, &map));
    width = LayoutWidth(layout);
  }
  double angle = lf.lfEscapement / 10.0 * M_PI / 180.0;
  double ox = 0;
  if ((align & TA_CENTER) == TA_CENTER) ox = -width / 2;
  else if (align & TA_RIGHT) ox = -width;
  double baseline;
  if ((align & TA_BASELINE) == TA_BASELINE) baseline = 0;
  else if (align & TA_BOTTOM) baseline = -m.descent;
  else baseline = m.ascent;
  PixelAccess pa(dc, true);
  {
    CairoCtx c(dc);
    cairo_t* cr = c.cr;
    if (clipRect) {
      cairo_rectangle(cr, clipRect->left, clipRect->top, clipRect->right - clipRect->left,
                      clipRect->bottom - clipRect->top);
      cairo_clip(cr);
    }
    if (opaqueRect) {
      SetSourcePixel(cr, ToPixel(dc.st.bkColor));
      cairo_rectangle(cr, opaqueRect->left, opaqueRect->top, opaqueRect->right - opaqueRect->left,
                      opaqueRect->bottom - opaqueRect->top);
      cairo_fill(cr);
    }
    cairo_translate(cr, sx, sy);
    if (angle != 0) cairo_rotate(cr, -angle);
    if (dc.st.bkMode == OPAQUE && !opaqueRect && width > 0) {
      cairo_save(cr);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
      SetSourcePixel(cr, ToPixel(dc.st.bkColor));
      cairo_rectangle(cr, ox, baseline - m.ascent, width, m.height);
      cairo_fill(cr);
      cairo_restore(cr);
    }
    SetSourcePixel(cr, ToPixel(dc.st.textColor));
    if (m.symbol) {
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
      for (size_t k = 0; k < chars.size(); ++k)
        MarlettPath(cr, static_cast<unsigned char>(text[chars[k].first]), ox + pos[k], baseline - m.ascent,
                    rf.em);
    } else if (perChar) {
      for (size_t k = 0; k < chars.size(); ++k) {
        PangoLayout* one = NewLayout(rf, ValidUtf8(text + chars[k].first, chars[k].second - chars[k].first));
        cairo_move_to(cr, std::round(ox + pos[k]), baseline);
        pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(one, 0));
        g_object_unref(one);
      }
    } else if (len > 0) {
      cairo_move_to(cr, std::round(ox), baseline);
      pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(layout, 0));
    }
    double thick = std::max(1.0, std::round(rf.em / 14));
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    if (m.underline && width > 0) {
      cairo_rectangle(cr, std::round(ox), baseline + std::max(1.0, std::round(m.descent / 2.0)), width, thick);
      cairo_fill(cr);
    }
    if (m.strikeOut && width > 0) {
      cairo_rectangle(cr, std::round(ox), std::round(baseline - m.ascent / 3.0), width, thick);
      cairo_fill(cr);
    }
    if (underlines) {
      for (auto [a, b] : *underlines) {
        double left = 0, right = 0;
        bool any = false;
        for (size_t k = 0; k < chars.size(); ++k) {
          if (chars[k].first < a || chars[k].first >= b) continue;
          double x0, x1;
          if (perChar) {
            x0 = pos[k];
            x1 = pos[k + 1];
          } else {
            // Where the character was placed: with right-to-left runs it need not follow the one before.
            PangoRectangle at;
            pango_layout_index_to_pos(layout, static_cast<int>(map[chars[k].first]), &at);
            x0 = std::min(at.x, at.x + at.width) / static_cast<double>(PANGO_SCALE);
            x1 = std::max(at.x, at.x + at.width) / static_cast<double>(PANGO_SCALE);
          }
          left = any ? std::min(left, x0) : x0;
          right = any ? std::max(right, x1) : x1;
          any = true;
        }
        if (any && right > left) {
          cairo_rectangle(cr, std::round(ox + left), baseline + 1, std::round(right - left), 1);
          cairo_fill(cr);
        }
      }
    }
  }
  if (layout) g_object_unref(layout);
  RECT dmg{static_cast<LONG>(sx - width - m.height - 2), static_cast<LONG>(sy - width - m.height - 2),
           static_cast<LONG>(sx + width + m.height + 2), static_cast<LONG>(sy + width + m.height + 2)};
  pa.Damage(dmg);
  return static_cast<int>(std::lround(width));
}

}  // namespace

}  // namespace kx::gdi

using namespace kx::gdi;

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR text, UINT count, const INT* dx) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return FALSE;
  if (!text) count = 0;
  RECT srect{};
  if (rc) srect = dc->ToSurfaceRect(*rc);
  UINT align = dc->st.textAlign;
  POINT ref = (align & TA_UPDATECP) ? dc->st.curPos : POINT{x, y};
  POINT s = dc->ToSurface(ref.x, ref.y);
  int adv = DrawTextRun(*dc, s.x, s.y, text ? text : "", count, align, dx,
                        (rc && (options & ETO_OPAQUE)) ? &srect : nullptr,
                        (rc && (options & ETO_CLIPPED)) ? &srect : nullptr);
  if (align & TA_UPDATECP) {
    double sxl = dc->ScaleX();
    int ladv = static_cast<int>(std::lround(adv / (sxl ? sxl : 1)));
    if ((align & TA_CENTER) != TA_CENTER) dc->st.curPos.x += (align & TA_RIGHT) ? -ladv : ladv;
  }
  return TRUE;
}

BOOL TextOut(HDC hdc, int x, int y, LPCSTR text, int count) {
  if (count < 0) return FALSE;
  return ExtTextOut(hdc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

BOOL GetTextExtentPoint32(HDC hdc, LPCSTR text, int count, LPSIZE size) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !size || count < 0 || (!text && count > 0)) return FALSE;
  const Realized& rf = Realize(CurrentFont(*dc), FontScale(*dc));
  int extra = static_cast<int>(std::lround(dc->st.charExtra * std::fabs(dc->ScaleX())));
  int w = RealWidth(rf, text ? text : "", static_cast<size_t>(count), extra);
  double sx = std::fabs(dc->ScaleX()), sy = std::fabs(dc->ScaleY());
  size->cx = static_cast<LONG>(std::lround(w / (sx ? sx : 1)));
  size->cy = static_cast<LONG>(std::lround(rf.m.height / (sy ? sy : 1)));
  return TRUE;
}

BOOL GetTextExtentExPoint(HDC hdc, LPCSTR text, int count, int maxExtent, LPINT fit, LPINT dx, LPSIZE size) {
  DcPtr dc = GetDc(hdc);
  if (!dc || count < 0 || (!text && count > 0)) return FALSE;
  const Realized& rf = Realize(CurrentFont(*dc), FontScale(*dc));
  int extra = dc->st.charExtra;
  int n = 0;
  size_t len = static_cast<size_t>(count);
  for (size_t i = 0; i < len;) {
    size_t j = NextChar(text, len, i);
    int w = RealWidth(rf, text, j, extra);
    if (fit && maxExtent >= 0 && w > maxExtent) break;
    for (size_t b = i; b < j; ++b)
      if (dx) dx[b] = w;
    n = static_cast<int>(j);
    i = j;
  }
  if (fit) *fit = n;
  if (size) {
    size->cx = RealWidth(rf, text ? text : "", len, extra);
    size->cy = rf.m.height;
  }
  return TRUE;
}

BOOL GetTextMetrics(HDC hdc, LPTEXTMETRICA tm) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !tm) return FALSE;
  const LOGFONTA& lf = CurrentFont(*dc);
  const FontMetrics& m = Realize(lf, FontScale(*dc)).m;
  *tm = TEXTMETRICA{};
  tm->tmHeight = m.height;
  tm->tmAscent = m.ascent;
  tm->tmDescent = m.descent;
  tm->tmInternalLeading = m.internalLeading;
  tm->tmExternalLeading = m.externalLeading;
  tm->tmAveCharWidth = m.aveCharWidth;
  tm->tmMaxCharWidth = m.maxCharWidth;
  tm->tmWeight = m.weight;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = m.italic;
  tm->tmUnderlined = m.underline;
  tm->tmStruckOut = m.strikeOut;
  tm->tmPitchAndFamily = 0x06 | 0x20;  // variable pitch, TrueType, swiss
  tm->tmCharSet = m.symbol ? SYMBOL_CHARSET : lf.lfCharSet;
  return TRUE;
}

int GetTextFace(HDC hdc, int count, LPSTR face) {
  DcPtr dc = GetDc(hdc);
  if (!dc) return 0;
  LOGFONTA lf = CurrentFont(*dc);
  const char* name = lf.lfFaceName;
  if (!face) return static_cast<int>(std::strlen(name)) + 1;
  return CopyText(name, face, count);
}

BOOL GetCharWidth32(HDC hdc, UINT first, UINT last, LPINT widths) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !widths || last < first) return FALSE;
  const Realized& rf = Realize(CurrentFont(*dc), FontScale(*dc));
  for (UINT c = first; c <= last; ++c) {
    char buf[4];
    size_t n;
    if (c < 0x80) { buf[0] = static_cast<char>(c); n = 1; }
    else if (c < 0x800) { buf[0] = static_cast<char>(0xC0 | (c >> 6)); buf[1] = static_cast<char>(0x80 | (c & 0x3F)); n = 2; }
    else { buf[0] = static_cast<char>(0xE0 | (c >> 12)); buf[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F)); buf[2] = static_cast<char>(0x80 | (c & 0x3F)); n = 3; }
    widths[c - first] = RealWidth(rf, buf, n, 0);
  }
  return TRUE;
}

// ----- DrawText -----
namespace {

struct Fmt {
  const Realized* rf;
  int extra;
  int tabWidth;
  bool expandTabs;
  int Width(const std::string& s) const {
    if (!expandTabs || s.find('\t') == std::string::npos) return RealWidth(*rf, s.data(), s.size(), extra);
    int x = 0;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i == s.size() || s[i] == '\t') {
        x += RealWidth(*rf, s.data() + start, i - start, extra);
        if (i < s.size()) x = tabWidth > 0 ? (x / tabWidth + 1) * tabWidth : x;
        start = i + 1;
      }
    }
    return x;
  }
};

struct DLine {
  std::string text;
  std::vector<std::pair<size_t, size_t>> underlines;  // byte ranges in text
};

// Removes '&' markers: "&&" becomes "&", "&x" marks x. Returns the shown text and marked ranges.
DLine StripPrefix(const std::string& in, UINT format) {
  DLine out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '&' && i + 1 < in.size()) {
      if (in[i + 1] == '&') {
        out.text += '&';
        ++i;
        continue;
      }
      size_t j = NextChar(in.data(), in.size(), i + 1);
      if (!(format & DT_HIDEPREFIX)) out.underlines.push_back({out.text.size(), out.text.size() + (j - i - 1)});
      out.text.append(in, i + 1, j - i - 1);
      i = j - 1;
      continue;
    }
    if (in[i] == '&') continue;  // a lone marker at the end
    out.text += in[i];
  }
  return out;
}

// Shortens a line to fit `width`, ending it with "..." (end or word ellipsis).
std::string EndEllipsis(const Fmt& f, const std::string& s, int width, bool wordBoundary) {
  if (f.Width(s) <= width) return s;
  const std::string dots = "...";
  std::string best;
  size_t lastSpace = std::string::npos;
  for (size_t i = 0; i < s.size(); i = NextChar(s.data(), s.size(), i)) {
    std::string cand = s.substr(0, i);
    if (f.Width(cand + dots) > width) break;
    best = cand;
    if (i > 0 && s[i - 1] == ' ') lastSpace = i - 1;
  }
  if (wordBoundary && lastSpace != std::string::npos && lastSpace <= best.size()) best = s.substr(0, lastSpace);
  return best + dots;
}

std::string PathEllipsis(const Fmt& f, const std::string& s, int width) {
  if (f.Width(s) <= width) return s;
  size_t sep = s.find_last_of("\\/");
  if (sep == std::string::npos) return EndEllipsis(f, s, width, false);
  std::string tail = s.substr(sep);
  std::string best;
  bool found = false;
  for (size_t i = 0; i <= sep; i = NextChar(s.data(), s.size(), i)) {
    std::string cand = s.substr(0, i) + "..." + tail;
    if (f.Width(cand) > width) break;
    best = cand;
    found = true;
    if (i == sep) break;
  }
  if (found) return best;
  return EndEllipsis(f, "..." + tail, width, false);
}

// Splits a paragraph into lines no wider than `width` (words kept whole when they fit on a line).
std::vector<std::string> Wrap(const Fmt& f, const std::string& para, int width) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < para.size()) {
    // Next token: a word with the spaces that follow it.
    size_t j = i;
    while (j < para.size() && para[j] != ' ') ++j;
    size_t k = j;
    while (k < para.size() && para[k] == ' ') ++k;
    std::string word = para.substr(i, j - i);
    std::string spaces = para.substr(j, k - j);
    if (f.Width(line + word) <= width || line.empty()) {
      if (line.empty() && f.Width(word) > width && width > 0) {
        // A word longer than the line is broken between characters.
        std::string part;
        for (size_t c = 0; c < word.size();) {
          size_t n = NextChar(word.data(), word.size(), c);
          std::string next = part + word.substr(c, n - c);
          if (!part.empty() && f.Width(next) > width) {
            lines.push_back(part);
            part = word.substr(c, n - c);
          } else {
            part = next;
          }
          c = n;
        }
        line = part + spaces;
      } else {
        line += word + spaces;
      }
      i = k;
      continue;
    }
    // Wrap before this word; trailing blanks of the line are dropped.
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
    line.clear();
  }
  while (!line.empty() && line.back() == ' ' && !lines.empty()) line.pop_back();
  if (!line.empty() || lines.empty()) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int DrawTextEx(HDC hdc, LPSTR text, int count, LPRECT rc, UINT format, LPDRAWTEXTPARAMS params) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !rc) return 0;
  if (!text) count = 0;
  if (count < 0) count = static_cast<int>(std::strlen(text));
  const Realized& rf = Realize(CurrentFont(*dc), FontScale(*dc));
  Fmt f{&rf, dc->st.charExtra, 0, (format & DT_EXPANDTABS) != 0};
  int tabChars = (format & DT_TABSTOP) ? static_cast<int>((format >> 8) & 0xFF) : 8;
  if (params && params->iTabLength > 0) tabChars = params->iTabLength;
  f.tabWidth = std::max(tabChars, 1) * std::max(rf.m.aveCharWidth, 1);
  if (format & DT_TABSTOP) format &= ~0xFF00u;
  int lineH = rf.m.height + ((format & DT_EXTERNALLEADING) ? rf.m.externalLeading : 0);
  double sy = std::fabs(dc->ScaleY()), sx = std::fabs(dc->ScaleX());
  int lineHL = static_cast<int>(std::lround(lineH / (sy ? sy : 1)));
  RECT r = *rc;
  int leftMargin = params ? params->iLeftMargin : 0, rightMargin = params ? params->iRightMargin : 0;
  r.left += leftMargin;
  r.right -= rightMargin;
  int widthDev = static_cast<int>(std::lround((r.right - r.left) * sx));
  if (count == 0) {
    if (format & DT_CALCRECT) {
      rc->right = rc->left;
      rc->bottom = (format & DT_SINGLELINE) ? rc->top + lineHL : rc->top;
    }
    if (params) params->uiLengthDrawn = 0;
    return (format & DT_SINGLELINE) ? lineHL : 0;
  }
  std::string src(text, static_cast<size_t>(count));
  // Paragraphs.
  std::vector<std::string> paras;
  if (format & DT_SINGLELINE) {
    std::string one;
    for (char c : src)
      if (c != '\r' && c != '\n') one += c;
    paras.push_back(one);
  } else {
    std::string cur;
    for (size_t i = 0; i < src.size(); ++i) {
      if (src[i] == '\r' || src[i] == '\n') {
        paras.push_back(cur);
        cur.clear();
        if (src[i] == '\r' && i + 1 < src.size() && src[i + 1] == '\n') ++i;
      } else {
        cur += src[i];
      }
    }
    paras.push_back(cur);
  }
  // Lines: prefixes are resolved first, so that widths are those of the shown text.
  std::vector<DLine> lines;
  bool prefix = !(format & DT_NOPREFIX);
  for (const std::string& p : paras) {
    DLine shown = prefix ? StripPrefix(p, format) : DLine{p, {}};
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
      size_t offset = 0;
      for (const std::string& l : Wrap(f, shown.text, widthDev)) {
        DLine dl{l, {}};
        size_t at = shown.text.find(l, offset);
        if (at == std::string::npos) at = offset;
        for (auto [a, b] : shown.underlines)
          if (a >= at && b <= at + l.size()) dl.underlines.push_back({a - at, b - at});
        offset = at + l.size();
        lines.push_back(dl);
      }
    } else {
      lines.push_back(shown);
    }
  }
  if (format & DT_PREFIXONLY)
    for (DLine& l : lines) {
      std::string blanks;
      for (char c : l.text) blanks += (c == '\t' ? '\t' : ' ');
      l.text = blanks;
    }
  int heightDev = static_cast<int>(std::lround((rc->bottom - rc->top) * sy));
  size_t shown = lines.size();
  if (!(format & DT_CALCRECT) && (format & DT_EDITCONTROL) && !(format & DT_SINGLELINE) && lineH > 0) {
    size_t fit = static_cast<size_t>(std::max(heightDev / lineH, 0));
    shown = std::min(shown, std::max<size_t>(fit, 1));
  }
  bool truncatedLines = shown < lines.size();
  if (!(format & DT_CALCRECT) || (format & DT_MODIFYSTRING)) {
    for (size_t i = 0; i < shown; ++i) {
      DLine& l = lines[i];
      bool last = i + 1 == shown;
      std::string before = l.text;
      if (format & DT_PATH_ELLIPSIS) {
        l.text = PathEllipsis(f, l.text, widthDev);
      } else if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS)) {
        if (last && truncatedLines && (format & DT_WORDBREAK)) {
          // The last line that fits stands for the rest of the text.
          std::string rest = l.text;
          for (size_t k = i + 1; k < lines.size(); ++k) rest += " " + lines[k].text;
          l.text = EndEllipsis(f, rest, widthDev, (format & DT_WORD_ELLIPSIS) != 0);
          if (f.Width(rest) <= widthDev) l.text = rest;
        } else {
          l.text = EndEllipsis(f, l.text, widthDev, (format & DT_WORD_ELLIPSIS) != 0);
        }
      }
      if (l.text != before) l.underlines.clear();
    }
    if ((format & DT_MODIFYSTRING) && text && lines.size() == 1 &&
        (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS))) {
      size_t n = std::min(lines[0].text.size(), static_cast<size_t>(count));
      std::memcpy(text, lines[0].text.data(), n);
      if (n < static_cast<size_t>(count)) text[n] = 0;
    }
  }
  int total = static_cast<int>(shown) * lineH;
  if (format & DT_CALCRECT) {
    int maxW = 0;
    for (const DLine& l : lines) maxW = std::max(maxW, f.Width(l.text));
    total = static_cast<int>(lines.size()) * lineH;
    rc->right = rc->left + leftMargin + static_cast<LONG>(std::lround(maxW / (sx ? sx : 1))) + rightMargin;
    rc->bottom = rc->top + static_cast<LONG>(std::lround(total / (sy ? sy : 1)));
    if (params) params->uiLengthDrawn = static_cast<UINT>(count);
    return static_cast<int>(std::lround(total / (sy ? sy : 1)));
  }
  // Draw.
  RECT srect = dc->ToSurfaceRect(r);
  RECT full = dc->ToSurfaceRect(*rc);
  int y = srect.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = srect.top + (srect.bottom - srect.top - lineH) / 2;
    else if (format & DT_BOTTOM) y = srect.bottom - lineH;
  }
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : &full;
  UINT saveAlign = dc->st.textAlign;
  dc->st.textAlign = TA_LEFT | TA_TOP;
  for (size_t i = 0; i < shown; ++i) {
    const DLine& l = lines[i];
    int w = f.Width(l.text);
    int x = srect.left;
    if (format & DT_CENTER) x = srect.left + (srect.right - srect.left - w) / 2;
    else if (format & DT_RIGHT) x = srect.right - w;
    if (f.expandTabs && l.text.find('\t') != std::string::npos) {
      int cx = 0;
      size_t start = 0;
      for (size_t k = 0; k <= l.text.size(); ++k) {
        if (k == l.text.size() || l.text[k] == '\t') {
          std::string seg = l.text.substr(start, k - start);
          DrawTextRun(*dc, x + cx, y, seg.data(), seg.size(), TA_LEFT | TA_TOP, nullptr, nullptr, clip);
          cx += RealWidth(rf, seg.data(), seg.size(), f.extra);
          if (k < l.text.size()) cx = f.tabWidth > 0 ? (cx / f.tabWidth + 1) * f.tabWidth : cx;
          start = k + 1;
        }
      }
    } else {
      DrawTextRun(*dc, x, y, l.text.data(), l.text.size(), TA_LEFT | TA_TOP, nullptr, nullptr, clip,
                  l.underlines.empty() ? nullptr : &l.underlines);
    }
    y += lineH;
  }
  dc->st.textAlign = saveAlign;
  if (params) params->uiLengthDrawn = static_cast<UINT>(count);
  int height = static_cast<int>(std::lround(total / (sy ? sy : 1)));
  if ((format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))) {
    int bottomDev = y - srect.top;
    return static_cast<int>(std::lround(bottomDev / (sy ? sy : 1)));
  }
  return height;
}

int DrawText(HDC hdc, LPCSTR text, int count, LPRECT rc, UINT format) {
  // DT_MODIFYSTRING writes into the caller's buffer, as on the platform.
  return DrawTextEx(hdc, const_cast<LPSTR>(text), count, rc, format, nullptr);
}

DWORD GetTabbedTextExtent(HDC hdc, LPCSTR text, int count, int tabPositions, const INT* tabStops) {
  DcPtr dc = GetDc(hdc);
  if (!dc || !text || count < 0) return 0;
  const Realized& rf = Realize(CurrentFont(*dc), FontScale(*dc));
  int tab = (tabPositions > 0 && tabStops) ? tabStops[0] : 8 * std::max(rf.m.aveCharWidth, 1);
  Fmt f{&rf, dc->st.charExtra, tab, true};
  int w = f.Width(std::string(text, static_cast<size_t>(count)));
  return MAKELONG(w, rf.m.height);
}
