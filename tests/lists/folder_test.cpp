// The folder choosers driven through the folder dialog, and the deletion of a folder with its contents.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "controls/FolderBrowse.h"
#include "lists/lists_test.h"

namespace liststest {
namespace {

bool Exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

std::string Canonical(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// The tree path of a folder in the folder dialog.
std::vector<std::string> TreePath(const std::string& folder) {
  std::vector<std::string> path = {"Desktop", "File System"};
  std::string rest = Canonical(folder);
  for (size_t start = 1; start < rest.size();) {
    size_t slash = rest.find('/', start);
    path.push_back(rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return path;
}

// A folder with two files and a sub-folder with one.
std::string MakeTree(const std::string& name) {
  std::string top = kxtest::MakeTempDir(name);
  kxtest::WriteFile(top + "/a.txt", "a");
  kxtest::WriteFile(top + "/b.tvx", "b");
  mkdir((top + "/sub").c_str(), 0755);
  kxtest::WriteFile(top + "/sub/c.txt", "c");
  return top;
}

TEST(DirectoryCleaner, DeletesFilesAndSubFoldersWithOrWithoutATrailingSeparator) {
  CDirectoryCleaner cleaner;
  for (const char* ending : {"", "/", "//"}) {
    std::string top = MakeTree("clean");
    cleaner.DeleteDirectory((top + ending).c_str());
    EXPECT_FALSE(Exists(top)) << ending;
  }
  cleaner.DeleteDirectory("");
  cleaner.DeleteDirectory(nullptr);
}

TEST(DirectoryCleaner, RemovesLinksWithoutFollowingThem) {
  std::string outside = MakeTree("outside");
  std::string top = MakeTree("linked");
  ASSERT_EQ(symlink(outside.c_str(), (top + "/sub/to-folder").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/a.txt").c_str(), (top + "/to-file").c_str()), 0);
  CDirectoryCleaner().DeleteDirectory(top.c_str());
  EXPECT_FALSE(Exists(top));
  for (const char* f : {"/a.txt", "/b.tvx", "/sub/c.txt"}) EXPECT_TRUE(Exists(outside + f)) << f;
  // A folder named by a link: the link goes, the folder stays whole.
  std::string link = kxtest::Root() + "/link-to-outside";
  ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
  CDirectoryCleaner().DeleteDirectory((link + "/").c_str());
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(outside + "/sub/c.txt"));
}

TEST(DirectoryCleanerDeathTest, RefusesTheRootFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to shut a child process into a folder of its own";
  // The child sees a folder of the test as its root: a cleaner that does not refuse empties that folder. The
  // child runs the test again from the start and finds the folder through the environment.
  const char* given = std::getenv("KX_LISTS_JAIL");
  std::string jail = given ? given : MakeTree("jail");
  setenv("KX_LISTS_JAIL", jail.c_str(), 1);
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  EXPECT_EXIT(
      {
        if (chroot(jail.c_str()) != 0 || chdir("/") != 0) _exit(2);
        CDirectoryCleaner cleaner;
        for (const char* root : {"/", "//", "/sub/..", "/."}) cleaner.DeleteDirectory(root);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  unsetenv("KX_LISTS_JAIL");
  for (const char* f : {"/a.txt", "/b.tvx", "/sub/c.txt"}) EXPECT_TRUE(Exists(jail + f)) << f;
}

class StatusBrowseDlg : public CFolderBrowseDlg {
 public:
  BOOL OnSelectionChanged(LPCSTR path, CString& statusText) override {
    statusText = CString("In ") + path;
    // Only folders named "sub" may be chosen.
    std::string p(path);
    return p.size() >= 4 && p.compare(p.size() - 4, 4, "/sub") == 0;
  }
};

class FolderBrowseTest : public ListsTest {};

TEST_F(FolderBrowseTest, OpensOnTheInitialFolderWithItsCaptionAndFollowsTheSelectionInTheStatusLine) {
  std::string top = MakeTree("browse");
  StatusBrowseDlg dialog;
  dialog.m_strCaption = "Output Folder";
  dialog.m_strTitle = "Choose the folder for the protected files.";
  dialog.m_strInitialFolder = (Canonical(top) + "/sub/").c_str();
  dialog.m_bStatusText = TRUE;
  INT_PTR chosen = kx::RunWithUiHere([&] { return INT_PTR(dialog.DoModal(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    HWND box = d.WaitForTitle("Output Folder");
    HWND tree = d.Control(box, KX_BF_TREE), status = d.Control(box, KX_BF_STATUS);
    EXPECT_EQ(c.TreeText(tree, c.TreeSelection(tree)), "sub");
    d.WaitForText(status, "In " + Canonical(top) + "/sub");
    EXPECT_TRUE(d.IsEnabled(d.Control(box, IDOK)));
    c.TreePick(tree, TreePath(top));
    d.WaitForText(status, "In " + Canonical(top));
    EXPECT_FALSE(d.IsEnabled(d.Control(box, IDOK)));
    c.TreePick(tree, TreePath(top + "/sub"));
    d.WaitForEnabled(d.Control(box, IDOK));
    d.Click(d.Control(box, IDOK));
  });
  EXPECT_TRUE(chosen);
  EXPECT_EQ(std::string(dialog.m_strFolder), Canonical(top) + "/sub");
  EXPECT_EQ(std::string(dialog.m_strInitialFolder), Canonical(top) + "/sub");
}

TEST_F(FolderBrowseTest, CancelAndAnUnknownRootAnswerFalse) {
  CFolderBrowseDlg dialog;
  EXPECT_FALSE(kx::RunWithUiHere([&] { return INT_PTR(dialog.DoModal(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver(d).CancelCommonDialog();
  }));
  // The desktop item has no path of its own.
  EXPECT_FALSE(kx::RunWithUiHere([&] { return INT_PTR(dialog.DoModal(nullptr)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver c(d);
    kx::WindowQuery dialogQuery;
    dialogQuery.className = "#32770";
    HWND box = d.WaitForWindow(dialogQuery);
    c.TreePick(d.Control(box, KX_BF_TREE), {"Desktop"});
    d.Click(d.Control(box, IDOK));
  }));
  dialog.m_strRoot = (kxtest::Root() + "/no such folder").c_str();
  EXPECT_FALSE(dialog.Browse(nullptr));
}

TEST_F(FolderBrowseTest, TheLighterChooserStartsUnderItsRootAndGivesThePath) {
  std::string top = MakeTree("lighter");
  CFolderBrowser browser;
  browser.m_strRoot = Canonical(top).c_str();
  browser.m_strInitialSelection = (Canonical(top) + "/sub").c_str();
  browser.m_strTitle = "Archive folder";
  CString result;
  EXPECT_TRUE(kx::RunWithUiHere([&] { return INT_PTR(browser.Browse(result)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver(d).ChooseFolder(top + "/sub");
  }));
  EXPECT_EQ(std::string(result), Canonical(top) + "/sub");
  EXPECT_FALSE(kx::RunWithUiHere([&] { return INT_PTR(browser.Browse(result)); }, [&](kx::UiDriver& d) {
    kx::ControlDriver(d).CancelCommonDialog();
  }));
  EXPECT_TRUE(result.IsEmpty());
}

}  // namespace
}  // namespace liststest
