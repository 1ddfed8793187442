// The common dialogs over the real file system, filled by the UI driver as a person fills them.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/ctltest.h"
#include "platform/ui/commdlg.h"
#include "platform/ui/shlobj.h"
#include "platform/win32/textconv.h"
#include "support/testroot.h"

using namespace ctltest;
using Strings = std::vector<std::string>;

namespace {

std::string MakeFiles() {
  std::string dir = kxtest::MakeTempDir("files");
  for (const char* n : {"a.txt", "b.txt", "c.txt", "d.log", "Report 2004.txt"}) kxtest::WriteFile(dir + "/" + n, n);
  ::mkdir((dir + "/sub").c_str(), 0755);
  kxtest::WriteFile(dir + "/sub/inner.txt", "x");
  return dir;
}

// The names a multiple-selection result holds: the folder, then each name.
Strings SplitResult(const char* buf) {
  Strings out;
  for (const char* p = buf; *p; p += std::strlen(p) + 1) out.push_back(p);
  return out;
}

struct OpenCall {
  char file[1024] = {0};
  OPENFILENAMEA ofn{};
  BOOL result = FALSE;
  DWORD error = 0;
};

INT_PTR RunOpen(OpenCall& call, bool save) {
  call.result = save ? GetSaveFileName(&call.ofn) : GetOpenFileName(&call.ofn);
  call.error = CommDlgExtendedError();
  return call.result;
}

void Prepare(OpenCall& call, DWORD flags, const char* filter) {
  call.ofn.lStructSize = sizeof call.ofn;
  call.ofn.lpstrFile = call.file;
  call.ofn.nMaxFile = sizeof call.file;
  call.ofn.lpstrFilter = filter;
  call.ofn.Flags = flags;
  call.ofn.lpstrInitialDir = "/";
}

}  // namespace

class CommonDialogTest : public ControlsTest {};

TEST_F(CommonDialogTest, OpenReturnsThreeFilesPickedInTheList) {
  std::string dir = MakeFiles();
  OpenCall call;
  Prepare(call, OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
          "Text files (*.txt)\0*.txt\0All files\0*.*\0");
  kx::RunWithUi([&] { return RunOpen(call, false); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND dlg = d.WaitForTitle("Open");
    c.FillFileDialog(dir, {});  // only go there first, to look at the list
    HWND list = d.Control(dlg, KX_FD_LIST);
    // Folders first; files that pass the filter.
    EXPECT_EQ(c.ListText(list, 0), "sub");
    EXPECT_EQ(c.ListFind(list, "d.log"), -1);
    EXPECT_EQ(c.ListRowCount(list), 5);
    d.SavePng(dlg, PngPath("file-dialog.png"));
    c.FillFileDialog(dir, {"a.txt", "b.txt", "c.txt"});
  });
  ASSERT_TRUE(call.result) << call.error;
  EXPECT_EQ(SplitResult(call.file), (Strings{dir, "a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(call.ofn.nFileOffset, dir.size() + 1);
  EXPECT_EQ(call.ofn.nFilterIndex, 1u);
}

TEST_F(CommonDialogTest, OpenTakesATypedNameWithSpacesAndRefusesAMissingOne) {
  std::string dir = MakeFiles();
  OpenCall call;
  Prepare(call, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, "All files\0*.*\0");
  call.ofn.lpstrInitialDir = dir.c_str();
  kx::RunWithUi([&] { return RunOpen(call, false); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    c.FillFileDialog(dir, {"missing.txt"});
    EXPECT_NE(d.AnswerMessageBox(IDOK).find("File not found"), std::string::npos);
    c.FillFileDialog(dir, {"Report 2004.txt"});
  });
  ASSERT_TRUE(call.result);
  std::string path = dir + "/Report 2004.txt";
  EXPECT_EQ(std::string(call.file), path);
  EXPECT_EQ(call.ofn.nFileOffset, dir.size() + 1);
  EXPECT_EQ(std::string(call.file + call.ofn.nFileExtension), "txt");
}

TEST_F(CommonDialogTest, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
  std::string dir = MakeFiles();
  kxtest::WriteFile(dir + "/cert.cer", "old");
  OpenCall call;
  Prepare(call, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, "Certificates\0*.cer\0");
  // Callers hand the default extension over as a pattern; only "cer" is appended.
  call.ofn.lpstrDefExt = "*.cer";
  kx::RunWithUi([&] { return RunOpen(call, true); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND dlg = d.WaitForTitle("Save As");
    c.FillFileDialog(dir, {"cert"});
    EXPECT_NE(d.AnswerMessageBox(IDNO).find("cert.cer already exists"), std::string::npos);
    EXPECT_TRUE(IsWindowVisible(dlg));
    d.Click(d.Control(dlg, IDOK));
    d.AnswerMessageBox(IDYES);
  });
  ASSERT_TRUE(call.result);
  EXPECT_EQ(std::string(call.file), dir + "/cert.cer");
}

TEST_F(CommonDialogTest, CancelAndATooSmallBufferFail) {
  std::string dir = MakeFiles();
  OpenCall call;
  Prepare(call, OFN_HIDEREADONLY, nullptr);
  kx::RunWithUi([&] { return RunOpen(call, false); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    c.CancelCommonDialog();
  });
  EXPECT_FALSE(call.result);
  EXPECT_EQ(call.error, 0u);
  OpenCall small;
  Prepare(small, OFN_HIDEREADONLY, nullptr);
  small.ofn.nMaxFile = 8;
  kx::RunWithUi([&] { return RunOpen(small, false); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    c.FillFileDialog(dir, {"a.txt"});
  });
  EXPECT_FALSE(small.result);
  EXPECT_EQ(small.error, static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  WORD need;
  std::memcpy(&need, small.file, 2);
  EXPECT_EQ(need, dir.size() + std::strlen("/a.txt") + 1);
}

namespace {

struct Browse {
  std::string initial;
  std::string caption;
  Strings events;
};

int CALLBACK BrowseCallback(HWND dlg, UINT msg, LPARAM lp, LPARAM data) {
  auto* b = reinterpret_cast<Browse*>(data);
  if (msg == BFFM_INITIALIZED) {
    b->events.push_back("initialized");
    if (!b->initial.empty()) SendMessage(dlg, BFFM_SETSELECTION, TRUE, reinterpret_cast<LPARAM>(b->initial.c_str()));
    if (!b->caption.empty()) SetWindowText(dlg, b->caption.c_str());
  } else if (msg == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {0};
    BOOL fs = SHGetPathFromIDList(reinterpret_cast<LPCITEMIDLIST>(lp), path);
    b->events.push_back(std::string("selected ") + (fs ? path : "(no path)"));
    SendMessage(dlg, BFFM_SETSTATUSTEXT, 0, reinterpret_cast<LPARAM>(path));
    SendMessage(dlg, BFFM_ENABLEOK, 0, TRUE);
  }
  return 0;
}

}  // namespace

TEST_F(CommonDialogTest, FolderBrowsingWithTheCallbackMessages) {
  std::string dir = MakeFiles();
  Browse b;
  b.initial = dir + "/";  // a trailing separator names the same folder
  b.caption = "Output folder";
  char display[MAX_PATH] = {0};
  BROWSEINFOA bi{};
  bi.pszDisplayName = display;
  bi.lpszTitle = "Choose the folder for the signed files.";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_STATUSTEXT;
  bi.lpfn = BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&b);
  LPITEMIDLIST pidl = nullptr;
  kx::RunWithUi([&] {
    pidl = SHBrowseForFolder(&bi);
    return 0;
  }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND dlg = d.WaitForTitle("Output folder");
    EXPECT_EQ(d.Text(d.Control(dlg, KX_BF_STATUS)), dir);
    d.SavePng(dlg, PngPath("folder-dialog.png"));
    c.ChooseFolder(dir + "/sub");
  });
  ASSERT_NE(pidl, nullptr);
  char path[MAX_PATH];
  EXPECT_TRUE(SHGetPathFromIDList(pidl, path));
  EXPECT_EQ(std::string(path), dir + "/sub");
  EXPECT_EQ(std::string(display), "sub");
  IMalloc* alloc = nullptr;
  ASSERT_EQ(SHGetMalloc(&alloc), S_OK);
  alloc->Free(pidl);
  alloc->Release();
  ASSERT_GE(b.events.size(), 3u);
  EXPECT_EQ(b.events[0], "initialized");
  EXPECT_EQ(b.events[1], "selected " + dir);
  EXPECT_EQ(b.events.back(), "selected " + dir + "/sub");
}

TEST_F(CommonDialogTest, TheDesktopItemHasNoPathAndCancelGivesNothing) {
  Browse b;
  BROWSEINFOA bi{};
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(&b);
  LPITEMIDLIST pidl = nullptr;
  kx::RunWithUi([&] {
    pidl = SHBrowseForFolder(&bi);
    return 0;
  }, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Browse for Folder");
    // The callback enabled OK although the desktop item has no file-system path.
    d.WaitForEnabled(d.Control(dlg, IDOK));
    d.Click(d.Control(dlg, IDOK));
  });
  ASSERT_NE(pidl, nullptr);
  char path[MAX_PATH] = "x";
  EXPECT_FALSE(SHGetPathFromIDList(pidl, path));
  EXPECT_STREQ(path, "");
  ILFree(pidl);
  EXPECT_EQ(b.events.front(), "initialized");
  EXPECT_EQ(b.events.back(), "selected (no path)");
  kx::RunWithUi([&] {
    pidl = SHBrowseForFolder(&bi);
    return 0;
  }, [&](kx::UiDriver& d) { kx::ControlDriver(d).CancelCommonDialog(); });
  EXPECT_EQ(pidl, nullptr);
}

TEST_F(CommonDialogTest, TheDesktopFolderParsesPaths) {
  std::string dir = MakeFiles();
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  std::u16string wide = kx::Utf8ToUtf16(dir + "/sub");
  LPITEMIDLIST pidl = nullptr;
  ULONG eaten = 0, attrs = SFGAO_FOLDER | SFGAO_FILESYSTEM;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, &pidl, &attrs), S_OK);
  EXPECT_EQ(attrs, static_cast<ULONG>(SFGAO_FOLDER | SFGAO_FILESYSTEM));
  char path[MAX_PATH];
  EXPECT_TRUE(SHGetPathFromIDList(pidl, path));
  EXPECT_EQ(std::string(path), dir + "/sub");
  LPITEMIDLIST copy = ILClone(pidl);
  EXPECT_EQ(ILGetSize(copy), ILGetSize(pidl));
  ILFree(copy);
  ILFree(pidl);
  std::u16string missing = kx::Utf8ToUtf16(dir + "/none");
  EXPECT_NE(desktop->ParseDisplayName(nullptr, nullptr, missing.data(), &eaten, &pidl, nullptr), S_OK);
  EXPECT_EQ(pidl, nullptr);
  desktop->Release();
}

TEST_F(CommonDialogTest, ColourChosenByTypingTheRedGreenAndBlueValues) {
  COLORREF custom[16] = {};
  custom[3] = RGB(1, 2, 3);
  CHOOSECOLORA cc{};
  cc.lStructSize = sizeof cc;
  cc.rgbResult = RGB(255, 0, 0);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_ANYCOLOR;
  BOOL ok = FALSE;
  kx::RunWithUi([&] { return ok = ChooseColor(&cc); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND dlg = d.WaitForTitle("Color");
    // Not fully open: the red, green and blue boxes show after "Define Custom Colors".
    EXPECT_FALSE(d.IsVisible(d.Control(dlg, KX_CC_RED)));
    c.ChooseColorValue(RGB(12, 34, 56));
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(cc.rgbResult, RGB(12, 34, 56));
  EXPECT_EQ(custom[3], RGB(1, 2, 3));
  // A value out of range is refused before the dialog closes.
  cc.Flags = CC_FULLOPEN;
  kx::RunWithUi([&] { return ok = ChooseColor(&cc); }, [&](kx::UiDriver& d) {
    HWND dlg = d.WaitForTitle("Color");
    EXPECT_EQ(d.Text(d.Control(dlg, KX_CC_RED)), "0");
    d.SetText(d.Control(dlg, KX_CC_GREEN), "300");
    d.Click(d.Control(dlg, IDOK));
    EXPECT_NE(d.AnswerMessageBox(IDOK).find("0 to 255"), std::string::npos);
    d.Click(d.Control(dlg, IDCANCEL));
  });
  EXPECT_FALSE(ok);
}
