// The bitmap file: hostile headers leave it empty; 1-, 4-, 8- and 24-bit files made by ImageMagick and Pillow come
// back the same after a read and a save; painting picks the right rows.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "controls/Dib.h"
#include "drawctl.h"
#include "support/testroot.h"

namespace {

constexpr char kConvert[] = "/usr/bin/convert";
constexpr char kCompare[] = "/usr/bin/compare";
constexpr char kPython[] = "/usr/bin/python3";  // the one with Pillow

template <typename T>
void Put(std::string& s, size_t at, T v) {
  memcpy(&s[at], &v, sizeof v);
}

// A sound 2 x 2, 24-bit file: 14 + 40 bytes of headers, two rows of 8 bytes.
std::string SmallBitmap() {
  std::string s(70, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put<DWORD>(s, 2, 70);
  Put<DWORD>(s, 10, 54);
  Put<DWORD>(s, 14, 40);
  Put<LONG>(s, 18, 2);
  Put<LONG>(s, 22, 2);
  Put<WORD>(s, 26, 1);
  Put<WORD>(s, 28, 24);
  for (int i = 54; i < 70; ++i) s[static_cast<size_t>(i)] = static_cast<char>(i);
  return s;
}

DWORD ReadFile(CDib& dib, const std::string& path) {
  CFile file(path.c_str(), CFile::modeRead | CFile::typeBinary);
  return dib.Read(&file);
}

DWORD SaveFile(CDib& dib, const std::string& path) {
  CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
  return dib.Save(&file);
}

TEST(Dib, HostileHeadersLeaveTheBitmapEmpty) {
  const std::string dir = kxtest::MakeTempDir("dib");
  {
    CDib dib;
    kxtest::WriteFile(dir + "/good.bmp", SmallBitmap());
    EXPECT_EQ(ReadFile(dib, dir + "/good.bmp"), 70u);
    EXPECT_TRUE(dib.IsValid());
    EXPECT_TRUE(dib.CreatePalette()) << "a 24-bit bitmap has no table and needs no palette";
    EXPECT_EQ(dib.GetPalette(), nullptr);
  }
  struct Case {
    const char* what;
    void (*spoil)(std::string&);
  } cases[] = {
      {"not BM", [](std::string& s) { s[1] = 'X'; }},
      {"bits inside the file header", [](std::string& s) { Put<DWORD>(s, 10, 10); }},
      {"bits inside the info header", [](std::string& s) { Put<DWORD>(s, 10, 40); }},
      {"bits beyond the file", [](std::string& s) { Put<DWORD>(s, 10, 1000); }},
      {"core header", [](std::string& s) { Put<DWORD>(s, 14, 12); }},
      {"header larger than its room", [](std::string& s) { Put<DWORD>(s, 14, 60); }},
      {"300 colours", [](std::string& s) { Put<WORD>(s, 28, 8); Put<DWORD>(s, 46, 300); }},
      {"table outside the headers", [](std::string& s) { Put<WORD>(s, 28, 8); Put<DWORD>(s, 46, 4); }},
      {"rows wider than the bits", [](std::string& s) { Put<LONG>(s, 18, 1000); }},
      {"more rows than the bits", [](std::string& s) { Put<LONG>(s, 22, -3); }},
      {"width overflows the row size", [](std::string& s) { Put<LONG>(s, 18, INT_MAX); Put<WORD>(s, 28, 32); }},
      {"lowest height", [](std::string& s) { Put<LONG>(s, 22, INT_MIN); }},
      {"7 bits a pixel", [](std::string& s) { Put<WORD>(s, 28, 7); }},
      {"no width", [](std::string& s) { Put<LONG>(s, 18, 0); }},
      {"cut short", [](std::string& s) { s.resize(60); }},
      {"only a file header", [](std::string& s) { s.resize(14); }},
  };
  for (const Case& c : cases) {
    std::string bytes = SmallBitmap();
    c.spoil(bytes);
    kxtest::WriteFile(dir + "/bad.bmp", bytes);
    CDib dib;
    kxtest::WriteFile(dir + "/good.bmp", SmallBitmap());
    ASSERT_NE(ReadFile(dib, dir + "/good.bmp"), 0u);
    EXPECT_EQ(ReadFile(dib, dir + "/bad.bmp"), 0u) << c.what;
    EXPECT_FALSE(dib.IsValid()) << c.what;
    EXPECT_EQ(dib.Width(), 0) << c.what;
    EXPECT_EQ(SaveFile(dib, dir + "/out.bmp"), 0u) << c.what;
  }
}

TEST(Dib, TopDownBitmapSavesWithPositiveSizes) {
  const std::string dir = kxtest::MakeTempDir("dib");
  std::string bytes = SmallBitmap();
  Put<LONG>(bytes, 22, -2);
  kxtest::WriteFile(dir + "/topdown.bmp", bytes);
  CDib dib;
  ASSERT_EQ(ReadFile(dib, dir + "/topdown.bmp"), 70u);
  EXPECT_EQ(dib.Height(), -2);
  ASSERT_EQ(SaveFile(dib, dir + "/saved.bmp"), 70u);
  const std::string saved = kxtest::ReadFile(dir + "/saved.bmp");
  DWORD size = 0, image = 0;
  memcpy(&size, &saved[2], 4);
  memcpy(&image, &saved[34], 4);
  EXPECT_EQ(size, 70u);
  EXPECT_EQ(image, 16u) << "stride x height, also where the header had 0";
  std::string out;
  ASSERT_EQ(kxtest::Run(std::string(kPython) + " -c \"from PIL import Image; i=Image.open('" + dir +
                            "/saved.bmp'); print(i.size, i.getpixel((0,0)), i.getpixel((1,1)))\"",
                        &out),
            0)
      << out;
  // Row 0 of a top-down bitmap is its top row: bytes 54.. are blue, green, red of pixel (0, 0); pixel (1, 1) is
  // bytes 65..67.
  EXPECT_EQ(out, "(2, 2) (56, 55, 54) (67, 66, 65)\n");
}

TEST(Dib, RoundTripsBitmapsMadeByOtherTools) {
  const std::string dir = kxtest::MakeTempDir("dib");
  struct Case {
    const char* name;
    std::string make;
    WORD bits;
  } cases[] = {
      {"one", std::string(kConvert) + " -size 37x21 xc:white -fill black -draw 'rectangle 3,4 20,15' -type bilevel BMP3:", 1},
      {"four", std::string(kConvert) + " -size 33x19 plasma:fractal -seed 7 -colors 12 -type palette BMP3:", 4},
      {"eight", std::string(kConvert) + " -size 41x23 gradient:red-blue -colors 200 -type palette BMP3:", 8},
      {"true", std::string(kConvert) + " -size 29x17 gradient:yellow-navy -type truecolor BMP3:", 24},
      {"pillow", std::string(kPython) + " -c \"from PIL import Image; i=Image.new('P',(19,7)); i.putpalette([v for c in range(256) for v in (c,255-c,c//2)]); [i.putpixel((x,y),(x*13+y*5)%256) for x in range(19) for y in range(7)]; i.save('" + dir + "/pillow.bmp')\" && true ", 8},
  };
  for (const Case& c : cases) {
    const std::string in = dir + "/" + c.name + ".bmp", out = dir + "/" + c.name + "-saved.bmp";
    const std::string make = std::string(c.name) == "pillow" ? c.make : c.make + in;
    std::string log;
    ASSERT_EQ(kxtest::Run(make + " 2>&1", &log), 0) << log;
    CDib dib;
    const DWORD read = ReadFile(dib, in);
    ASSERT_NE(read, 0u) << c.name;
    const std::string original = kxtest::ReadFile(in);
    EXPECT_EQ(read, original.size()) << c.name;
    WORD bits = 0;
    memcpy(&bits, &original[28], 2);
    EXPECT_EQ(bits, c.bits) << c.name << ": the tool made another depth";
    if (bits <= 8) { EXPECT_NE(dib.GetPalette(), nullptr) << c.name; }
    ASSERT_NE(SaveFile(dib, out), 0u) << c.name;
    std::string metric;
    kxtest::Run(std::string(kCompare) + " -metric AE " + in + " " + out + " null: 2>&1", &metric);
    EXPECT_EQ(metric, "0") << c.name << ": pixels differ after the round trip";
    std::string pillow;
    EXPECT_EQ(kxtest::Run(std::string(kPython) + " -c \"from PIL import Image; print(list(Image.open('" + in +
                              "').convert('RGB').getdata()) == list(Image.open('" + out +
                              "').convert('RGB').getdata()))\"",
                          &pillow),
              0);
    EXPECT_EQ(pillow, "True\n") << c.name;
  }
}

TEST(Dib, PaintsTheSourceRowsAskedFor) {
  const std::string dir = kxtest::MakeTempDir("dib");
  // 100 x 50, each row a grey of its own index (top row 0).
  ASSERT_EQ(kxtest::Run(std::string(kPython) + " -c \"from PIL import Image; i=Image.new('RGB',(100,50)); "
                                               "[i.putpixel((x,y),(y*5,y*5,y*5)) for x in range(100) for y in range(50)]; "
                                               "i.save('" + dir + "/rows.bmp')\""),
            0);
  CDib dib;
  ASSERT_NE(ReadFile(dib, dir + "/rows.bmp"), 0u);
  drawtest::MemoryCanvas canvas(100, 50);
  const RECT all{0, 0, 100, 50};
  EXPECT_TRUE(dib.Paint(canvas.dc()->GetSafeHdc(), &all, &all));
  EXPECT_EQ(canvas.Pixel(5, 0), RGB(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(5, 49), RGB(245, 245, 245));
  drawtest::MemoryCanvas part(100, 20);
  const RECT dest{0, 0, 100, 20}, source{0, 10, 100, 30};
  EXPECT_TRUE(dib.Paint(part.dc()->GetSafeHdc(), &dest, &source));
  EXPECT_EQ(part.Pixel(5, 0), RGB(50, 50, 50)) << "the source's top row is image row 10";
  EXPECT_EQ(part.Pixel(5, 19), RGB(145, 145, 145));
  CDib empty;
  EXPECT_FALSE(empty.Paint(part.dc()->GetSafeHdc(), &dest, &source));
}

}  // namespace
