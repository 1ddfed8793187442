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

SignatureLayout ReadSignatureLayout(const std::string& path) {
  SignatureLayout layout;
  const std::string dir = kxtest::MakeTempDir("layout");
  const std::string script =
      "import hashlib, struct, sys\n"
      "b = open(sys.argv[1], 'rb').read()\n"
      "out = sys.argv[2]\n"
      "def text(n):\n"
      "    global at\n"
      "    t = b[at:at + n]; at += n\n"
      "    return t.split(b'\\0')[0]\n"
      "marker, options = b[0:4], b[6:14]\n"
      "at = 21\n"
      "a, bb = text(50), text(50)\n"
      "flag = b[at]; at += 1\n"
      "c, d, e = text(255), text(255), text(255)\n"
      "(n,) = struct.unpack('>I', b[at:at + 4]); at += 4\n"
      "image = b[at:at + n]; at += n\n"
      "digest_ok = len(b) == at + 20 and hashlib.sha1(b[21:at]).digest() == b[at:]\n"
      "open(out + '.image', 'wb').write(image)\n"
      "open(out, 'w').write('\\n'.join([marker.decode(), options.hex(), a.decode(), bb.decode(), c.decode(),\n"
      "                                  d.decode(), e.decode(), str(flag), str(int(digest_ok))]) + '\\n')\n";
  kxtest::WriteFile(dir + "/layout.py", script);
  const std::string out = dir + "/layout.txt";
  if (kxtest::Run("/usr/bin/python3 " + dir + "/layout.py " + path + " " + out) != 0) return layout;
  std::vector<std::string> lines;
  std::string all = kxtest::ReadFile(out), line;
  for (char ch : all) {
    if (ch == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += ch;
    }
  }
  if (lines.size() != 9) return layout;
  layout.marker = lines[0];
  layout.options = lines[1];
  layout.textA = lines[2];
  layout.textB = lines[3];
  layout.textC = lines[4];
  layout.textD = lines[5];
  layout.textE = lines[6];
  layout.flag = std::stoi(lines[7]);
  layout.digestOk = lines[8] == "1";
  layout.image = kxtest::ReadFile(out + ".image");
  layout.ok = true;
  return layout;
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
