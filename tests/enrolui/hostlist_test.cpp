// The host list driven as a person does: echo runs against 127.0.0.1 and against a TEST-NET-1 address that
// never answers, failures of the socket layer and of name resolution, the recently used hosts in the
// application profile, completion in the host box, and the worker stopping when the dialog closes.
#include <dirent.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/frame_fixture.h"
#include "enrolment/HostListDlg.h"
#include "platform/mfc/winapp.h"
#include "platform/services/winsock.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/controldriver.h"
#include "platform/win32/sync.h"

namespace {

namespace ws = kx::ws;

using Rows = std::vector<std::pair<int, std::string>>;  // (image, text)

// An address of TEST-NET-1 that no host answers for.
constexpr char kSilentHost[] = "192.0.2.213";

class HostList : public frametest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    ws::SetSocketFailureForTests(0);
  }
  void TearDown() override {
    ws::SetSocketFailureForTests(0);
    FrameTest::TearDown();
  }

  static bool IcmpAvailable() {
    const ws::SOCKET s = ws::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (s == ws::INVALID_SOCKET) return false;
    ws::closesocket(s);
    return true;
  }

  static void SetRecentHosts(const std::vector<std::string>& hosts) {
    CWinApp* app = AfxGetApp();
    ASSERT_NE(app, nullptr);
    app->WriteProfileInt("MRU", "Entries", static_cast<int>(hosts.size()));
    for (size_t i = 0; i < hosts.size(); ++i)
      app->WriteProfileString("MRU", ("Host#" + std::to_string(i)).c_str(), hosts[i].c_str());
  }

  // The hosts the profile holds, or {"<none>"} when "Entries" was never written.
  static std::vector<std::string> RecentHosts() {
    CWinApp* app = AfxGetApp();
    const int entries = static_cast<int>(app->GetProfileInt("MRU", "Entries", -1));
    if (entries < 0) return {"<none>"};
    std::vector<std::string> hosts;
    for (int i = 0; i < entries; ++i)
      hosts.emplace_back(static_cast<const char*>(app->GetProfileString("MRU", ("Host#" + std::to_string(i)).c_str(), "")));
    return hosts;
  }

  // Runs the dialog (with a fixed host when given) and the script; the dialog's result.
  static INT_PTR Run(const std::string& fixedHost, const std::function<void(kx::UiDriver&, HWND)>& script) {
    return kx::RunWithUiHere(
        [&] {
          CHostListDlg dialog;
          dialog.m_strFixedHost = fixedHost.c_str();
          return dialog.DoModal();
        },
        [&](kx::UiDriver& d) {
          d.SetTimeout(20000);
          script(d, d.WaitForDialog(CHostListDlg::IDD));
        },
        60000);
  }

  static Rows StatusRows(kx::UiDriver& d, HWND dialog) {
    HWND list = d.Control(dialog, CHostListDlg::IDC_STATUS);
    kx::ControlDriver c(d);
    Rows rows;
    for (int i = 0; i < c.ListRowCount(list); ++i) {
      LVITEMA item{};
      item.mask = LVIF_IMAGE;
      item.iItem = i;
      d.Send(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      rows.emplace_back(item.iImage, c.ListText(list, i));
    }
    return rows;
  }

  // Starts a run of count requests to the host as a person does, and waits for its end.
  static void Ping(kx::UiDriver& d, HWND dialog, const std::string& host, int count,
                   const std::function<void()>& whileRunning = nullptr) {
    kx::ControlDriver c(d);
    c.ComboType(d.Control(dialog, CHostListDlg::IDC_HOST), host);
    d.SetText(d.Control(dialog, CHostListDlg::IDC_COUNT), std::to_string(count));
    HWND ping = d.Control(dialog, CHostListDlg::IDC_PING);
    d.Click(ping);
    if (whileRunning) whileRunning();
    d.WaitForEnabled(ping, true, 30000);
  }

  static void Close(kx::UiDriver& d, HWND dialog) {
    d.Click(d.Control(dialog, IDCANCEL));
    d.WaitForGone(dialog);
  }
};

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir)) count += e->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

const std::regex kReply(R"(Reply\[(\d+)\] from: 127\.0\.0\.1: bytes=32 time=\d+ms TTL=\d+)");

}  // namespace

TEST_F(HostList, PingsLoopbackAndKeepsTheHostsInOrder) {
  if (!IcmpAvailable()) GTEST_SKIP() << "no ICMP socket for this user";
  SetRecentHosts({"alpha.example", "beta.example"});
  Run("", [&](kx::UiDriver& d, HWND dialog) {
    kx::ControlDriver c(d);
    HWND combo = d.Control(dialog, CHostListDlg::IDC_HOST);
    EXPECT_EQ(c.ComboItems(combo), (std::vector<std::string>{"alpha.example", "beta.example"}));
    EXPECT_EQ(d.Text(d.Control(dialog, CHostListDlg::IDC_COUNT)), "5");

    Ping(d, dialog, "127.0.0.1", 2);
    Rows rows = StatusRows(d, dialog);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::pair<int, std::string>{CHostListDlg::kImageHeader,
                                                     "Pinging 127.0.0.1 [127.0.0.1] with 32 bytes of data:"}));
    for (int i = 1; i <= 2; ++i) {
      std::smatch m;
      EXPECT_TRUE(std::regex_match(rows[i].second, m, kReply)) << rows[i].second;
      EXPECT_EQ(m.size() > 1 ? m[1].str() : "", std::to_string(i));
      EXPECT_EQ(rows[i].first, CHostListDlg::kImageReply);
    }
    // The host was found: it joins the list, at its end.
    EXPECT_EQ(c.ComboItems(combo), (std::vector<std::string>{"alpha.example", "beta.example", "127.0.0.1"}));
    d.SavePng(dialog, frametest::Shot("host-list"));

    // A second run is set off from the first by a blank row, and the host is not listed twice.
    Ping(d, dialog, "127.0.0.1", 1);
    rows = StatusRows(d, dialog);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[3], (std::pair<int, std::string>{CHostListDlg::kImageBlank, ""}));
    EXPECT_EQ(rows[4].first, CHostListDlg::kImageHeader);
    EXPECT_TRUE(std::regex_match(rows[5].second, kReply)) << rows[5].second;
    EXPECT_EQ(c.ComboItems(combo).size(), 3u);
    Close(d, dialog);
  });
  EXPECT_EQ(RecentHosts(), (std::vector<std::string>{"alpha.example", "beta.example", "127.0.0.1"}));
}

TEST_F(HostList, AHostThatNeverAnswersTimesOutAndIsStillRemembered) {
  if (!IcmpAvailable()) GTEST_SKIP() << "no ICMP socket for this user";
  Run("", [&](kx::UiDriver& d, HWND dialog) {
    const auto start = std::chrono::steady_clock::now();
    Ping(d, dialog, kSilentHost, 2, [&] {
      // The controls rest while the requests wait for their second each.
      for (int id : {CHostListDlg::IDC_PING, CHostListDlg::IDC_HOST, CHostListDlg::IDC_COUNT})
        EXPECT_FALSE(d.IsEnabled(d.Control(dialog, id))) << id;
      Sleep(300);
      d.SavePng(dialog, frametest::Shot("host-list-running"));
    });
    // One second of waiting per request, no pause after a time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    const Rows rows = StatusRows(d, dialog);
    Rows timeouts;
    for (const auto& row : rows)
      if (row.first == CHostListDlg::kImageTimeout) timeouts.push_back(row);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0].second, std::string("Pinging ") + kSilentHost + " [" + kSilentHost + "] with 32 bytes of data:");
    EXPECT_EQ(timeouts, (Rows{{CHostListDlg::kImageTimeout, "Request Timed Out"},
                              {CHostListDlg::kImageTimeout, "Request Timed Out"}}));
    EXPECT_EQ(kx::ControlDriver(d).ComboItems(d.Control(dialog, CHostListDlg::IDC_HOST)),
              std::vector<std::string>{kSilentHost});
    Close(d, dialog);
  });
  EXPECT_EQ(RecentHosts(), std::vector<std::string>{kSilentHost});
}

TEST_F(HostList, FailuresEndTheRunWithoutRememberingTheHost) {
  struct Case {
    const char* host;
    int socketFailure;
    const char* line;
  } cases[] = {
      {"127.0.0.1", ws::WSAEACCES, "socket() - WSAError: 10013"},
      {"bad..host", 0, "Host not found: bad..host"},
  };
  for (const Case& c : cases) {
    ws::SetSocketFailureForTests(c.socketFailure);
    if (!c.socketFailure && !IcmpAvailable()) continue;
    Run("", [&](kx::UiDriver& d, HWND dialog) {
      Ping(d, dialog, c.host, 3);
      EXPECT_EQ(StatusRows(d, dialog), (Rows{{CHostListDlg::kImageError, c.line}})) << c.host;
      EXPECT_TRUE(kx::ControlDriver(d).ComboItems(d.Control(dialog, CHostListDlg::IDC_HOST)).empty());
      EXPECT_TRUE(d.IsEnabled(d.Control(dialog, CHostListDlg::IDC_HOST)));
      EXPECT_TRUE(d.IsEnabled(d.Control(dialog, CHostListDlg::IDC_COUNT)));
      Close(d, dialog);
    });
    // Closing writes the list even when it is empty.
    EXPECT_EQ(RecentHosts(), std::vector<std::string>{}) << c.host;
    ws::SetSocketFailureForTests(0);
  }
}

TEST_F(HostList, AFixedHostIsPingedAtOnceAndTheWorkerStopsWhenTheDialogCloses) {
  if (!IcmpAvailable()) GTEST_SKIP() << "no ICMP socket for this user";
  // The fixed host is already a recent one: it is chosen, not listed twice.
  SetRecentHosts({"other.example", kSilentHost});
  const int threadsBefore = ThreadCount();
  std::chrono::steady_clock::time_point closed;
  const INT_PTR result = Run(kSilentHost, [&](kx::UiDriver& d, HWND dialog) {
    HWND combo = d.Control(dialog, CHostListDlg::IDC_HOST);
    EXPECT_FALSE(d.IsEnabled(combo));
    EXPECT_EQ(kx::ControlDriver(d).ComboText(combo), kSilentHost);
    d.WaitUntil([&] { return !StatusRows(d, dialog).empty(); }, "the header row");
    EXPECT_EQ(StatusRows(d, dialog)[0].first, CHostListDlg::kImageHeader);
    // Five requests would take five seconds; closing ends the run at once.
    closed = std::chrono::steady_clock::now();
    d.Click(d.Control(dialog, IDCANCEL));
    d.WaitForGone(dialog);
  });
  EXPECT_EQ(result, IDCANCEL);
  // Sooner than the five requests' five seconds: the run did not go on to its end.
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::milliseconds(5000));
  // A joined thread can stay listed in /proc for a moment while the kernel finishes its exit.
  int threadsAfter = ThreadCount();
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       threadsAfter != threadsBefore && std::chrono::steady_clock::now() < until; threadsAfter = ThreadCount())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(threadsAfter, threadsBefore);
  EXPECT_EQ(RecentHosts(), (std::vector<std::string>{"other.example", kSilentHost}));
}

TEST_F(HostList, TheHostBoxCompletesFromTheList) {
  SetRecentHosts({"alpha.example", "beta.example"});
  Run("", [&](kx::UiDriver& d, HWND dialog) {
    HWND combo = d.Control(dialog, CHostListDlg::IDC_HOST);
    d.Focus(combo);
    d.Type("al");
    EXPECT_EQ(d.Text(combo), "alpha.example");
    const DWORD selection = static_cast<DWORD>(d.Send(combo, CB_GETEDITSEL));
    EXPECT_EQ(LOWORD(selection), 2);
    EXPECT_EQ(HIWORD(selection), 13);
    // Backspace takes the completed part away and does not complete again.
    d.PressKey(VK_BACK);
    EXPECT_EQ(d.Text(combo), "al");
    d.Type("p");
    EXPECT_EQ(d.Text(combo), "alpha.example");
    Close(d, dialog);
  });
}
