// The file list dialog: adding through the file dialog, removing, opening, sizes and the rows' marks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "controls/FileListDlg.h"
#include "lists/lists_test.h"

namespace liststest {
namespace {

constexpr int kAdd = CFileListDlg::IDC_ADD, kRemove = CFileListDlg::IDC_REMOVE,
              kRemoveAll = CFileListDlg::IDC_REMOVE_ALL, kOpen = CFileListDlg::IDC_OPEN,
              kFiles = CFileListDlg::IDC_LIST;

class FileListTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    folder_ = kxtest::MakeTempDir("files");
    text_ = folder_ + "/report.txt";
    empty_ = folder_ + "/empty.tvx";
    missing_ = folder_ + "/gone.tvx";
    kxtest::WriteFile(text_, std::string(1234, 'r'));
    kxtest::WriteFile(empty_, "");
    // The desktop opener records what it was given.
    record_ = kxtest::Root() + "/opened.txt";
    std::string recorder = kxtest::Root() + "/recorder.sh";
    kxtest::WriteFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record_ + ".part'\nmv '" + record_ + ".part' '" +
                                    record_ + "'\n");
    chmod(recorder.c_str(), 0755);
    setenv("KX_DESKTOP_OPENER", recorder.c_str(), 1);
    setenv("DISPLAY", ":kxtest", 1);
  }
  void TearDown() override {
    unsetenv("KX_DESKTOP_OPENER");
    unsetenv("DISPLAY");
    ListsTest::TearDown();
  }
  std::string Opened() {
    for (int waited = 0; waited < 5000; waited += 20) {
      if (access(record_.c_str(), F_OK) == 0) return kxtest::ReadFile(record_);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
  }
  static UINT MarkOf(kx::UiDriver& d, HWND list, int row) {
    return static_cast<UINT>(d.Send(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK)) >> 12;
  }
  static std::vector<std::string> Files(const CFileListDlg& dialog) {
    std::vector<std::string> out;
    for (INT_PTR i = 0; i < dialog.m_astrFiles.GetSize(); ++i) out.emplace_back(dialog.m_astrFiles[i]);
    return out;
  }

  std::string folder_, text_, empty_, missing_, record_;
};

TEST_F(FileListTest, FilesAddedThroughTheFileDialogAreListedOnceWithSizeAndMark) {
  CFileListDlg dialog;
  INT_PTR result = Run(dialog, CFileListDlg::IDD, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kFiles);
    for (int id : {kRemove, kRemoveAll, static_cast<int>(IDOK)}) EXPECT_FALSE(d.IsEnabled(d.Control(box, id)));
    EXPECT_FALSE(d.IsVisible(d.Control(box, kOpen)));
    d.Click(d.Control(box, kAdd));
    c.FillFileDialog(folder_, {"empty.tvx", "report.txt"});
    d.WaitUntil([&] { return c.ListRowCount(list) == 2; }, "two rows");
    for (int id : {kRemove, kRemoveAll, static_cast<int>(IDOK)}) EXPECT_TRUE(d.IsEnabled(d.Control(box, id)));
    int empty = c.ListFind(list, empty_), text = c.ListFind(list, text_);
    ASSERT_GE(empty, 0);
    ASSERT_GE(text, 0);
    EXPECT_EQ(c.ListText(list, empty, 1), "0 Bytes");
    EXPECT_EQ(c.ListText(list, text, 1), "1234 Bytes");
    struct stat st{};
    stat(text_.c_str(), &st);
    std::string date;
    kxtest::Run("LC_ALL=C date -d @" + std::to_string(st.st_mtime) + " +'%d %B, %Y'", &date);
    EXPECT_EQ(c.ListText(list, text, 2) + "\n", date);
    // Files with content show the current mark, empty ones the normal mark.
    EXPECT_EQ(MarkOf(d, list, text), 2u);
    EXPECT_EQ(MarkOf(d, list, empty), 1u);
    // The same files again, or in other letter case, are not added twice.
    d.Click(d.Control(box, kAdd));
    c.FillFileDialog(folder_, {"report.txt"});
    d.Invoke(box, [&] {
      EXPECT_FALSE(dialog.AddPath(CString(text_.c_str()).MakeUpper()));
      // A path under the top folder that came back with a doubled separator is stored with one.
      EXPECT_TRUE(dialog.AddPath(("/" + empty_ + "x").c_str()));
    });
    EXPECT_EQ(Files(dialog).size(), 3u);
    EXPECT_EQ(Files(dialog)[2], empty_ + "x");
    EXPECT_EQ(c.ListRowCount(list), 2);
    d.SavePng(box, ctltest::PngPath("file-list.png"));
  });
  EXPECT_EQ(result, IDOK);
}

TEST_F(FileListTest, RemoveAndOpenActOnTheFileOfTheRowWhenAnEarlierFileIsUnreadable) {
  CFileListDlg dialog;
  for (const std::string& f : {missing_, text_, empty_}) dialog.m_astrFiles.Add(f.c_str());
  dialog.m_nSelection = 2;
  Run(dialog, CFileListDlg::IDD, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kFiles);
    ASSERT_EQ(c.ListRowCount(list), 2);
    // The selection names the third file, which the second row shows.
    EXPECT_EQ(c.ListSelection(list), std::vector<int>{1});
    c.ListClickRow(list, 0);
    d.Click(d.Control(box, kRemove));
    EXPECT_EQ(Files(dialog), (std::vector<std::string>{missing_, empty_}));
    ASSERT_EQ(c.ListRowCount(list), 1);
    EXPECT_EQ(c.ListText(list, 0), empty_);
    // The selection now names the unreadable file, which no row shows: nothing is removed.
    d.Invoke(box, [&] { dialog.m_nSelection = 0; });
    d.Click(d.Control(box, kRemove));
    EXPECT_EQ(Files(dialog).size(), 2u);
  });

  CFileListDlg viewer;
  for (const std::string& f : {missing_, text_, empty_}) viewer.m_astrFiles.Add(f.c_str());
  viewer.m_bViewOnly = true;
  viewer.m_nSelection = -1;
  Run(viewer, CFileListDlg::IDD, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    EXPECT_EQ(d.Text(box), "Selected Files");
    for (int id : {kAdd, kRemove, kRemoveAll}) EXPECT_FALSE(d.IsVisible(d.Control(box, id)));
    EXPECT_TRUE(d.IsVisible(d.Control(box, kOpen)));
    HWND list = d.Control(box, kFiles);
    c.ListDoubleClickRow(list, 1);
    EXPECT_EQ(Opened(), empty_ + "\n");
    unlink(record_.c_str());
    c.ListClickRow(list, 0);
    d.Click(d.Control(box, kOpen));
    EXPECT_EQ(Opened(), text_ + "\n");
  });
}

TEST_F(FileListTest, SizesFrom2GiBAndRemoveAllAfterAYes) {
  EXPECT_EQ(CFileListDlg::SizeText(5368709120ull), "5368709120 Bytes");
  const std::string big = folder_ + "/big.bin";
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  // A sparse file takes no room.
  ASSERT_EQ(ftruncate(fd, 2684354560LL), 0);
  close(fd);
  CFileListDlg dialog;
  for (const std::string& f : {big, text_}) dialog.m_astrFiles.Add(f.c_str());
  // It zooms out of a button's rectangle and back into it.
  dialog.m_rcZoom = CRect(10, 10, 60, 30);
  Run(dialog, CFileListDlg::IDD, [&](kx::UiDriver& d, kx::ControlDriver& c, HWND box) {
    HWND list = d.Control(box, kFiles);
    EXPECT_EQ(c.ListText(list, 0, 1), "2684354560 Bytes");
    d.Click(d.Control(box, kRemoveAll));
    EXPECT_EQ(frametest::AnswerPage(d, "No"), "Do you want to remove all files from the list?");
    EXPECT_EQ(c.ListRowCount(list), 2);
    d.Click(d.Control(box, kRemoveAll));
    frametest::AnswerPage(d, "Yes");
    EXPECT_EQ(c.ListRowCount(list), 0);
    EXPECT_FALSE(d.IsEnabled(d.Control(box, IDOK)));
    d.Click(d.Control(box, IDCANCEL));
  }, false);
  EXPECT_EQ(dialog.m_astrFiles.GetSize(), 0);
}

}  // namespace
}  // namespace liststest
