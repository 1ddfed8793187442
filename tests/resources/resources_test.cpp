// The resource compiler and loader: the tests' own library (testres.kxr) for every kind of resource, KXRes for
// the ids the frame names, and the compiler's refusals.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/mfc/resource.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/win32/win32.h"
#include "support/testroot.h"

namespace {

class TestResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibrary("kxtestres");
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  std::string String(UINT id, int size = 256) {
    std::string buf(static_cast<size_t>(size), '\x7f');
    int n = LoadString(module_, id, buf.data(), size);
    EXPECT_EQ(static_cast<size_t>(n), strlen(buf.c_str()));
    return buf.substr(0, static_cast<size_t>(n));
  }
  HMODULE module_ = nullptr;
};

TEST_F(TestResources, StringsWithEscapesContinuationsAndLimits) {
  EXPECT_EQ(String(1), "One");
  EXPECT_EQ(String(2), "Zwei \xc3\xa4 \"quoted\"\tand a tab");
  EXPECT_EQ(String(7), "joined over two lines");
  EXPECT_EQ(String(65535), "last id");
  // Missing ids give an empty, terminated text.
  char buf[8] = "xxxxxxx";
  EXPECT_EQ(LoadString(module_, 3, buf, sizeof buf), 0);
  EXPECT_EQ(buf[0], 0);
  // A cut never splits a character: "Zwei " plus the first byte of the two-byte letter is cut back.
  EXPECT_EQ(String(2, 7), "Zwei ");
  EXPECT_EQ(String(2, 8), "Zwei \xc3\xa4");
  // Size 0 hands out the read-only text and its whole length.
  const char* p = nullptr;
  EXPECT_EQ(LoadString(module_, 1, reinterpret_cast<LPSTR>(&p), 0), 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, 3), "One");
}

TEST_F(TestResources, DialogTemplatesByNumberAndName) {
  const kx::DialogTemplate* t = kx::FindDialogTemplate(module_, "named");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t, kx::FindDialogTemplate(module_, "NAMED"));  // decoded once, names ignore case
  EXPECT_EQ(t->style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t->exStyle, static_cast<DWORD>(WS_EX_CONTROLPARENT));
  EXPECT_EQ(t->x, 10);
  EXPECT_EQ(t->cy, 100);
  EXPECT_EQ(t->title, "Named dialog");
  EXPECT_EQ(t->faceName, "Tahoma");
  EXPECT_EQ(t->pointSize, 9);
  EXPECT_EQ(t->weight, 700);
  EXPECT_EQ(t->italic, 1);
  ASSERT_EQ(t->items.size(), 4u);
  EXPECT_EQ(t->items[0].className, "SysListView32");
  EXPECT_EQ(t->items[0].id, 300);
  EXPECT_EQ(t->items[0].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | 0x0001 /* LVS_REPORT */));
  EXPECT_EQ(t->items[0].exStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(t->items[1].className, "Edit");
  EXPECT_EQ(t->items[1].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | ES_LEFT | WS_BORDER | ES_PASSWORD));
  EXPECT_EQ(t->items[2].style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(t->items[2].id, IDOK);
  EXPECT_EQ(t->items[3].id, -1);
  const kx::DialogTemplate* n = kx::FindDialogTemplate(module_, MAKEINTRESOURCE(42));
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n, kx::FindDialogTemplate(module_, "#42"));
  EXPECT_EQ(n->style, static_cast<DWORD>(WS_CHILD));
  EXPECT_EQ(kx::FindDialogTemplate(module_, MAKEINTRESOURCE(43)), nullptr);
  HRSRC r = FindResource(module_, MAKEINTRESOURCE(42), RT_DIALOG);
  ASSERT_NE(r, nullptr);
  EXPECT_GT(SizeofResource(module_, r), 4u);
  EXPECT_EQ(memcmp(LockResource(LoadResource(module_, r)), "KXDL", 4), 0);
  EXPECT_EQ(FindResource(module_, MAKEINTRESOURCE(42), RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST_F(TestResources, BitmapsIconsAndCursors) {
  HBITMAP bm = LoadBitmap(module_, MAKEINTRESOURCE(5));
  ASSERT_NE(bm, nullptr);
  BITMAP info{};
  GetObject(bm, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 32);
  EXPECT_EQ(info.bmHeight, 8);
  // Cut into an image list with magenta as the mask colour: four images, the last one transparent.
  HIMAGELIST il = ImageList_Create(8, 8, ILC_MASK | ILC_COLOR24, 4, 1);
  EXPECT_EQ(ImageList_AddMasked(il, bm, RGB(255, 0, 255)), 0);
  EXPECT_EQ(ImageList_GetImageCount(il), 4);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP canvas = CreateBitmap(40, 8, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  RECT all{0, 0, 40, 8};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  for (int i = 0; i < 4; ++i) ImageList_Draw(il, i, dc, i * 10, 0, ILD_TRANSPARENT);
  EXPECT_EQ(GetPixel(dc, 4, 4), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 14, 4), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 24, 4), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 34, 4), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
  ImageList_Destroy(il);
  DeleteObject(bm);

  // The PNG became a 16 x 16 icon with its transparency; the cursor keeps its hot spot.
  HICON icon = static_cast<HICON>(LoadImage(module_, MAKEINTRESOURCE(9), IMAGE_ICON, 16, 16, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO ii{};
  ASSERT_TRUE(GetIconInfo(icon, &ii));
  GetObject(ii.hbmColor, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 16);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ prev = SelectObject(mdc, ii.hbmMask);
  EXPECT_EQ(GetPixel(mdc, 2, 2) & 0xFFFFFF, 0u);           // opaque
  EXPECT_EQ(GetPixel(mdc, 12, 2) & 0xFFFFFF, 0xFFFFFFu);   // transparent
  SelectObject(mdc, prev);
  DeleteDC(mdc);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  DestroyIcon(icon);
  HCURSOR cursor = static_cast<HCURSOR>(LoadImage(module_, MAKEINTRESOURCE(11), IMAGE_CURSOR, 0, 0, 0));
  ASSERT_NE(cursor, nullptr);
  ASSERT_TRUE(GetIconInfo(cursor, &ii));
  EXPECT_FALSE(ii.fIcon);
  EXPECT_EQ(ii.xHotspot, 3u);
  EXPECT_EQ(ii.yHotspot, 4u);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  DestroyCursor(cursor);
  EXPECT_EQ(LoadBitmap(module_, MAKEINTRESOURCE(6)), nullptr);
  EXPECT_EQ(LoadImage(module_, MAKEINTRESOURCE(5), IMAGE_ICON, 0, 0, 0), nullptr);
}

TEST(KxRes, TheFrameResources) {
  HMODULE res = LoadLibrary("KXRes.DLL");
  ASSERT_NE(res, nullptr);
  char buf[1048];
  for (UINT id : {178u, 234u, 238u, 239u, 240u, 241u, 242u, 243u, 244u, 245u, 246u, 247u, 248u, 249u, 250u, 251u,
                  252u, 253u, 254u, 255u, 256u, 257u, 258u, 262u, 263u, 267u, 268u, 269u, 270u, 271u, 272u, 273u,
                  274u, 282u, 283u, 285u, 286u, 290u, 291u, 292u, 293u, 294u, 295u, 296u, 297u, 298u, 299u, 300u,
                  301u, 307u, 5001u, 5002u})
    EXPECT_GT(LoadString(res, id, buf, sizeof buf), 0) << "string " << id;
  EXPECT_EQ(LoadString(res, 234, buf, sizeof buf), 3);
  EXPECT_STREQ(buf, "Yes");
  struct Tmpl {
    int id;
    std::vector<int> controls;
  };
  for (const Tmpl& t : std::vector<Tmpl>{{4250, {1118, 1058, 1059}},
                                         {1025, {1070, IDOK}},
                                         {172, {1093, 1033, 1050, 1051, 1052, 1057, IDOK}},
                                         {1009, {1050, 1051, 1052, 1053, IDOK}},
                                         {135, {1070, IDOK}}}) {
    const kx::DialogTemplate* d = kx::FindDialogTemplate(res, MAKEINTRESOURCE(t.id));
    ASSERT_NE(d, nullptr) << "template " << t.id;
    for (int id : t.controls) {
      bool found = false;
      for (const auto& item : d->items) found |= item.id == id;
      EXPECT_TRUE(found) << "template " << t.id << " control " << id;
    }
  }
  // Wizard watermarks and headers, and the list strips.
  for (int id : {8258, 8259, 1010, 166, 129, 1133, 1127, 1129, 1131, 1140, 1150}) {
    HBITMAP bm = LoadBitmap(res, MAKEINTRESOURCE(id));
    ASSERT_NE(bm, nullptr) << "watermark " << id;
    BITMAP info{};
    GetObject(bm, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 164);
    EXPECT_EQ(info.bmHeight, 314);
    DeleteObject(bm);
  }
  for (int id : {8255, 8260, 8256, 1132, 1128, 1130, 1141}) {
    HBITMAP bm = LoadBitmap(res, MAKEINTRESOURCE(id));
    ASSERT_NE(bm, nullptr) << "header " << id;
    DeleteObject(bm);
  }
  HIMAGELIST marks = ImageList_LoadBitmap(res, MAKEINTRESOURCE(148), 16, 1, RGB(0, 0, 0));
  ASSERT_NE(marks, nullptr);
  EXPECT_GE(ImageList_GetImageCount(marks), 4);
  ImageList_Destroy(marks);
  HBITMAP icons = LoadBitmap(res, MAKEINTRESOURCE(149));
  ASSERT_NE(icons, nullptr);
  DeleteObject(icons);
  FreeLibrary(res);
  // The HELP pages and the help file sit beside the library.
  std::string dir = kx::PlatformLibraryDir();
  for (const char* page : {"/HELP/mbox.htm", "/HELP/mboxyesno.htm", "/HELP/aboutkx.htm", "/HELP/testimony.htm",
                           "/Zelvane.chm"})
    EXPECT_FALSE(kxtest::ReadFile(dir + page).empty()) << page;
}

// The compiler names the script, the line and the fault, and writes nothing.
TEST(Kxrc, RefusesFaultyScripts) {
  std::string dir = kxtest::MakeTempDir("kxrc");
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"STRINGTABLE\n 1 \"a\"\n 1 \"b\"\nEND\n", "bad.kxr:3: resource 1 already defined at bad.kxr:2"},
      {"STRINGTABLE\n 1 \"a\n", "bad.kxr:2: unterminated string"},
      {"STRINGTABLE\n 1 \"a\"\n", "STRINGTABLE without END"},
      {"DIALOG 5 0 0 10 10\n STYLE WS_CHILD | WS_NONSENSE\nEND\n", "bad.kxr:2: unknown style WS_NONSENSE"},
      {"DIALOG 5 0 0 10 10\n FROB 1\nEND\n", "bad.kxr:2: unknown dialog statement FROB"},
      {"DIALOG 0 0 0 10 10\nEND\n", "bad.kxr:1: resource ids are 1 to 65535"},
      {"BITMAP 3 \"not-a-bitmap.bmp\"\n", "not-a-bitmap.bmp is not a BMP file"},
      {"BITMAP 3 \"missing.bmp\"\n", "cannot read"},
      {"ICON 3 \"not-a-bitmap.bmp\"\n", "is not an ICO file"},
      {"STRINGTABLE\n 1 \"\\xff\"\nEND\n", "text is not UTF-8"},
      {"FROB\n", "bad.kxr:1: unknown statement FROB"},
  };
  kxtest::WriteFile(dir + "/not-a-bitmap.bmp", "hello, this is text and not a picture at all............");
  std::string kxrc = kxtest::BuildDir() + "/bin/kxrc";
  for (const Case& c : cases) {
    kxtest::WriteFile(dir + "/bad.kxr", c.script);
    std::string out;
    int rc = kxtest::Run("cd '" + dir + "' && '" + kxrc + "' -o out.cpp bad.kxr 2>&1", &out);
    EXPECT_NE(rc, 0) << c.script;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.script << "\n" << out;
    EXPECT_TRUE(kxtest::ReadFile(dir + "/out.cpp").empty()) << c.script;
  }
}

}  // namespace
