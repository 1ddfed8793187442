#include "signatures/signatures_test.h"

#include "app/ResString.h"
#include "formats/FileManager.h"

namespace sigtest {

using kxtest::BufferOf;

std::string Text(UINT id) { return std::string(LoadResString(id)); }

HWND PadOf(kx::UiDriver& d, HWND page) {
  HWND placeholder = d.Control(page, 1067);
  HWND pad = GetWindow(placeholder, GW_CHILD);
  if (!pad) d.Fail("the drawing pad has no view");
  return pad;
}

void Draw(kx::UiDriver& d, HWND pad, const std::vector<POINT>& points) {
  if (points.empty()) return;
  auto at = [](const POINT& p) { return MAKELPARAM(p.x, p.y); };
  d.Post(pad, WM_LBUTTONDOWN, MK_LBUTTON, at(points.front()));
  for (size_t i = 1; i + 1 < points.size(); ++i) d.Post(pad, WM_MOUSEMOVE, MK_LBUTTON, at(points[i]));
  d.Post(pad, WM_LBUTTONUP, 0, at(points.back()));
  d.Sync(pad);
}

void Scribble(kx::UiDriver& d, HWND pad) {
  Draw(d, pad, {{20, 60}, {40, 30}, {60, 80}, {80, 35}, {100, 85}, {120, 40}, {140, 70}});
  Draw(d, pad, {{30, 100}, {90, 105}, {160, 98}});
}

BitmapFacts InspectBitmap(const std::string& bytes) {
  BitmapFacts facts;
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) return facts;
  auto u32 = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3])) << 24;
  };
  facts.fileSize = u32(2);
  facts.offBits = u32(10);
  facts.bitCount = static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
  const std::string path = kxtest::MakeTempDir("bitmaps") + "/inspect.bmp";
  kxtest::WriteFile(path, bytes);
  std::string out;
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "rgb = im.convert('RGB')\n"
      "px = list(rgb.getdata())\n"
      "dark = sum(1 for r, g, b in px if r + g + b < 384)\n"
      "red = sum(1 for r, g, b in px if r > 150 and g < 100 and b < 100)\n"
      "print(im.format, im.mode, im.size[0], im.size[1], dark, red)\n";
  kxtest::WriteFile(path + ".py", script);
  if (kxtest::Run("/usr/bin/python3 " + path + ".py " + path + " 2>&1", &out) != 0) return facts;
  char format[32] = "", mode[32] = "";
  if (sscanf(out.c_str(), "%31s %31s %d %d %ld %ld", format, mode, &facts.width, &facts.height, &facts.dark,
             &facts.coloured) != 6)
    return facts;
  facts.format = format;
  facts.mode = mode;
  facts.ok = true;
  return facts;
}

std::unique_ptr<CSignatureFile> LoadSignature(const std::string& path) {
  CFileManager files;
  return std::unique_ptr<CSignatureFile>(dynamic_cast<CSignatureFile*>(files.OpenFile(path.c_str())));
}

std::unique_ptr<CSignatureFile> SignatureFromBytes(const std::string& bytes) {
  CFileManager files;
  CBaseKesmoraFile* made = files.OpenBuffer(BufferOf(bytes), true, nullptr);
  auto* signature = dynamic_cast<CSignatureFile*>(made);
  if (!signature) delete made;
  return std::unique_ptr<CSignatureFile>(signature);
}

}  // namespace sigtest
