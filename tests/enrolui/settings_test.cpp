// The enrolment service page in a sheet and its three settings dialogs, driven as a person does: the values
// they change and save (read back from the registry), the cipher lists, the address kinds, save-and-test
// against the stand-in service on 127.0.0.1, the hosts button, the policy lock and the Internet options.
#include <functional>
#include <string>
#include <vector>

#include "app/BaseSheet.h"
#include "app/ResString.h"
#include "app/frame_fixture.h"
#include "core/SecurityPolicy.h"
#include "core/SystemProfile.h"
#include "enrolment/HostListDlg.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "enrolment/VorlindPage.h"
#include "enrolment/VorlindSettingsDlgs.h"
#include "platform/com/combase.h"
#include "platform/services/winsock.h"
#include "platform/ui/controldriver.h"
#include "services/local_server.h"

namespace {

using frametest::Page;
using frametest::Shot;

std::string Res(UINT id) { return static_cast<const char*>(LoadResString(id)); }

// The caption of the address field: the string without any colon of its own, then ": ".
std::string LabelText(UINT id) {
  std::string text = Res(id);
  while (!text.empty() && (text.back() == ':' || text.back() == ' ')) text.pop_back();
  return text + ": ";
}

class TestSheet : public CBaseSheet {
 public:
  TestSheet() : CBaseSheet("System Profile", nullptr, 0) {
    m_bHosted = 0;
    AddPage(&m_page);
  }
  CVorlindPage m_page;
};

class EnrolmentPage : public frametest::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    FrameTest::TearDown();
  }

  // Runs the sheet with the enrolment page; the script gets the sheet and the page.
  static void RunPage(const std::function<void(kx::UiDriver&, HWND, HWND)>& script,
                      CVorlindEnrolmentProxy* proxy = nullptr) {
    kx::RunWithUiHere(
        [&] {
          TestSheet sheet;
          sheet.m_SystemProfile.Load();
          sheet.m_page.m_pEnrolmentProxy = proxy;
          return sheet.DoModal();
        },
        [&](kx::UiDriver& d) {
          d.SetTimeout(20000);
          HWND sheet = d.WaitForTitle("System Profile");
          script(d, sheet, Page(d, sheet, CVorlindPage::IDD));
        },
        60000);
  }

  // Opens a settings dialog with its page button.
  static HWND Open(kx::UiDriver& d, HWND page, int button, ULONG_PTR dialog) {
    d.Click(d.Control(page, button));
    return d.WaitForDialog(dialog);
  }

  static void Press(kx::UiDriver& d, HWND dialog, int id) {
    d.Click(d.Control(dialog, id));
    d.WaitForGone(dialog);
  }

  static void CloseSheet(kx::UiDriver& d, HWND sheet) {
    d.Click(d.Control(sheet, IDCANCEL));
    d.WaitForGone(sheet);
  }

  static int ComboSelection(kx::UiDriver& d, HWND combo) { return static_cast<int>(d.Send(combo, CB_GETCURSEL)); }
};

}  // namespace

TEST_F(EnrolmentPage, ExchangeDialogOffersTheKeyLengthsOfEachCipherAndSavesItsChoice) {
  const std::string bits = Res(429);
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    d.SavePng(sheet, Shot("enrolment-page"));
    HWND apply = d.Control(sheet, ID_APPLY_NOW);
    EXPECT_FALSE(d.IsEnabled(apply));
    HWND dialog = Open(d, page, CVorlindPage::IDC_EXCHANGE, CVorlindExchangeDlg::IDD);
    kx::ControlDriver c(d);
    HWND algorithms = d.Control(dialog, CVorlindExchangeDlg::IDC_ALGORITHM);
    HWND lengths = d.Control(dialog, CVorlindExchangeDlg::IDC_KEY_LENGTH);
    EXPECT_EQ(c.ComboItems(algorithms),
              (std::vector<std::string>{"DES", "Triple DES (2-Key)", "RC2", "RC4", "Triple DES (3-Key)"}));
    // The stored key-length position 2 does not exist for the stored RC2: its usual 128 bits are shown.
    EXPECT_EQ(c.ComboText(algorithms), "RC2");
    EXPECT_EQ(c.ComboText(lengths), "128 " + bits);
    d.SavePng(dialog, Shot("enrolment-exchange"));

    struct Case {
      const char* algorithm;
      std::vector<std::string> lengths;
      std::vector<LRESULT> data;
      int selected;
    } cases[] = {
        {"DES", {"56 " + bits, "40 " + bits}, {0, 2}, 0},
        {"Triple DES (2-Key)", {"128 " + bits}, {1}, 0},
        {"RC2", {"40 " + bits, "128 " + bits}, {2, 1}, 1},
        {"RC4", {"40 " + bits, "128 " + bits}, {2, 1}, 0},
        {"Triple DES (3-Key)", {"128 " + bits, "168 " + bits}, {1, 3}, 1},
    };
    for (const Case& k : cases) {
      c.ComboPick(algorithms, k.algorithm);
      EXPECT_EQ(c.ComboItems(lengths), k.lengths) << k.algorithm;
      EXPECT_EQ(ComboSelection(d, lengths), k.selected) << k.algorithm;
      for (size_t i = 0; i < k.data.size(); ++i)
        EXPECT_EQ(d.Send(lengths, CB_GETITEMDATA, i), k.data[i]) << k.algorithm << " " << i;
    }
    d.SetCheck(d.Control(dialog, CVorlindExchangeDlg::IDC_PKCS7), false);
    d.SetCheck(d.Control(dialog, CVorlindExchangeDlg::IDC_SSL), true);
    Press(d, dialog, IDOK);
    EXPECT_TRUE(d.IsEnabled(apply));
    CloseSheet(d, sheet);
  });
  CSystemProfile saved;
  saved.Load();
  EXPECT_EQ(saved.Exchange_Using_PKCS7, 0);
  EXPECT_EQ(saved.Exchange_Using_SSL, 1);
  EXPECT_EQ(saved.VI_AlgoIndex, 4);
  EXPECT_EQ(saved.VI_KeyLenIndex, 1);
}

TEST_F(EnrolmentPage, ServiceDescriptionDialogSavesOnOkAndDropsItsEditsOnCancel) {
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    HWND dialog = Open(d, page, CVorlindPage::IDC_SERVICE, CVorlindServiceDlg::IDD);
    EXPECT_EQ(d.Text(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_FILE)), "VorlindEnrolment.WSDL");
    EXPECT_EQ(d.Text(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_PORT)), "VorlindEnrolSoapPort");
    EXPECT_EQ(d.Text(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_SERVICE)), "VorlindEnrolment");
    EXPECT_TRUE(d.IsChecked(d.Control(dialog, CVorlindServiceDlg::IDC_ACCEPT_PKCS10)));
    d.SavePng(dialog, Shot("enrolment-service"));
    d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_FILE), "Other.WSDL");
    d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_PORT), "OtherPort");
    d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_SERVICE), "OtherService");
    d.SetCheck(d.Control(dialog, CVorlindServiceDlg::IDC_ACCEPT_PKCS10), false);
    Press(d, dialog, IDOK);

    dialog = Open(d, page, CVorlindPage::IDC_SERVICE, CVorlindServiceDlg::IDD);
    EXPECT_EQ(d.Text(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_FILE)), "Other.WSDL");
    d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_SERVICE), "Dropped");
    Press(d, dialog, IDCANCEL);
    CloseSheet(d, sheet);
  });
  CSystemProfile saved;
  saved.Load();
  EXPECT_EQ(std::string(saved.WSDL_File), "Other.WSDL");
  EXPECT_EQ(std::string(saved.WSDL_Port), "OtherPort");
  EXPECT_EQ(std::string(saved.WSDL_Service), "OtherService");
  EXPECT_EQ(saved.Accept_PKCS10, 0);
  EXPECT_EQ(saved.Full_Chain_PKCS7_Format, 1);
}

TEST_F(EnrolmentPage, TransportDialogShowsTheAddressByItsKindAndSavesIt) {
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    HWND dialog = Open(d, page, CVorlindPage::IDC_TRANSPORT, CVorlindTransportDlg::IDD);
    kx::ControlDriver c(d);
    HWND url = d.Control(dialog, CVorlindTransportDlg::IDC_URL);
    HWND ip = d.Control(dialog, CVorlindTransportDlg::IDC_IP);
    HWND label = d.Control(dialog, CVorlindTransportDlg::IDC_ADDRESS_LABEL);
    EXPECT_TRUE(d.IsVisible(url));
    EXPECT_FALSE(d.IsVisible(ip));
    EXPECT_EQ(d.Text(d.Control(dialog, CVorlindTransportDlg::IDC_PORT)), "8081");
    EXPECT_EQ(d.Text(label), LabelText(496));
    d.SavePng(dialog, Shot("enrolment-transport"));

    c.ComboPick(d.Control(dialog, CVorlindTransportDlg::IDC_ADDRESS_KIND), "IP address");
    EXPECT_FALSE(d.IsVisible(url));
    EXPECT_TRUE(d.IsVisible(ip));
    EXPECT_EQ(d.Text(label), LabelText(497));
    d.SetText(ip, "10.20.30.40");
    c.ComboPick(d.Control(dialog, CVorlindTransportDlg::IDC_TRANSPORT), "SOAP over HTTPS");
    d.SetCheck(d.Control(dialog, CVorlindTransportDlg::IDC_VALIDATE), true);
    d.SetCheck(d.Control(dialog, CVorlindTransportDlg::IDC_SOAP_AUTH), false);

    // A port outside 1..65535 is refused and nothing is stored.
    HWND port = d.Control(dialog, CVorlindTransportDlg::IDC_PORT);
    d.SetText(port, "70000");
    d.Click(d.Control(dialog, IDOK));
    EXPECT_NE(kxtest::AnswerPage(d, "OK").find("65535"), std::string::npos);
    EXPECT_TRUE(IsWindow(dialog));
    CSystemProfile unchanged;
    unchanged.Load();
    EXPECT_EQ(unchanged.Transport_Address_Index, 0);

    d.SetText(port, "8443");
    Press(d, dialog, IDOK);
    CloseSheet(d, sheet);
  });
  CSystemProfile saved;
  saved.Load();
  EXPECT_EQ(saved.Transport_Address_Index, 1);
  EXPECT_EQ(std::string(saved.Transport_Address_IP), "10.20.30.40");
  EXPECT_EQ(saved.Transport_Port, 8443);
  EXPECT_EQ(saved.Transport_Index, 1);
  EXPECT_EQ(saved.Validate_Headers, 1);
  EXPECT_EQ(saved.SOAP_Authentication, 0);
}

TEST_F(EnrolmentPage, SaveAndTestAsksThenSavesAndTellsWhetherTheServiceAnswers) {
  kxtest::LocalServer service;
  const std::string log = kxtest::MakeTempDir("service") + "/requests.log";
  std::string error;
  ASSERT_TRUE(service.Start(kxtest::SourceDir() + "/tests/enrolment/enrolment_server.py", {log}, &error)) << error;
  {
    CSystemProfile profile;
    profile.Load();
    profile.Transport_Address_Index = 0;
    profile.Transport_Address_URL = "http://127.0.0.1";
    // The description is fetched from the address, which the address control cannot show: it is kept.
    profile.Transport_Address_IP = ("127.0.0.1:" + std::to_string(service.port())).c_str();
    profile.Transport_Port = 1;
    profile.Save();
  }
  const std::string question = Res(552) + " " + Res(553);
  CVorlindEnrolmentProxy sheetProxy;
  for (CVorlindEnrolmentProxy* proxy : {&sheetProxy, static_cast<CVorlindEnrolmentProxy*>(nullptr)}) {
    RunPage(
        [&](kx::UiDriver& d, HWND sheet, HWND page) {
          HWND dialog = Open(d, page, CVorlindPage::IDC_TRANSPORT, CVorlindTransportDlg::IDD);
          HWND port = d.Control(dialog, CVorlindTransportDlg::IDC_PORT);
          d.SetText(port, std::to_string(service.port()));
          // No: nothing is saved.
          d.Click(d.Control(dialog, CVorlindTransportDlg::IDC_TEST));
          EXPECT_EQ(d.AnswerMessageBox(IDNO), question);
          CSystemProfile before;
          before.Load();
          EXPECT_EQ(before.Transport_Port, proxy ? 1 : service.port());
          // Yes: saved, and the service answers.
          d.Click(d.Control(dialog, CVorlindTransportDlg::IDC_TEST));
          EXPECT_EQ(d.AnswerMessageBox(IDYES), question);
          EXPECT_EQ(d.AnswerMessageBox(IDOK), Res(501));
          Press(d, dialog, IDCANCEL);

          // A service name the server does not know: the test fails with the reason.
          dialog = Open(d, page, CVorlindPage::IDC_SERVICE, CVorlindServiceDlg::IDD);
          d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_SERVICE), "NoSuchService");
          d.Click(d.Control(dialog, CVorlindServiceDlg::IDC_TEST));
          d.AnswerMessageBox(IDYES);
          const std::string failure = d.AnswerMessageBox(IDOK);
          const std::string prefix = Res(500) + " (" + Res(216) + ": ";
          EXPECT_EQ(failure.substr(0, prefix.size()), prefix);
          EXPECT_NE(failure.find("404"), std::string::npos) << failure;
          EXPECT_EQ(failure.back(), ')');
          d.SetText(d.Control(dialog, CVorlindServiceDlg::IDC_WSDL_SERVICE), "VorlindEnrolment");
          Press(d, dialog, IDOK);
          CloseSheet(d, sheet);
        },
        proxy);
    CSystemProfile saved;
    saved.Load();
    EXPECT_EQ(saved.Transport_Port, service.port());
    EXPECT_EQ(std::string(saved.Transport_Address_IP), "127.0.0.1:" + std::to_string(service.port()));
  }
  // Both runs called the service: VerifyConnect to the endpoint of the saved settings, then to an unknown one.
  const std::string requests = kxtest::ReadFile(log);
  EXPECT_NE(requests.find("POST /VorlindEnrolment HTTP/1.1"), std::string::npos);
  EXPECT_NE(requests.find("POST /NoSuchService HTTP/1.1"), std::string::npos);
}

TEST(TransportHost, TheHostPartOfTheServiceUrl) {
  const struct {
    const char* url;
    const char* host;
  } cases[] = {
      {"http://enrol.example", "enrol.example"},
      {"http://enrol.example:8081/VorlindEnrolment", "enrol.example"},
      {"https://user@enrol.example/x?y#z", "enrol.example"},
      {"enrol.example:8081", "enrol.example"},
      {"  10.1.2.3/path ", "10.1.2.3"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(CVorlindTransportDlg::HostOfUrl(c.url)), c.host) << c.url;
}

TEST_F(EnrolmentPage, HostsButtonPingsTheServicesHost) {
  {
    CSystemProfile profile;
    profile.Load();
    profile.Transport_Address_URL = "HTTP://127.0.0.1:8081/VorlindEnrolment";
    profile.Save();
  }
  const kx::ws::SOCKET probe = kx::ws::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  const bool icmp = probe != kx::ws::INVALID_SOCKET;
  if (icmp) kx::ws::closesocket(probe);
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    HWND dialog = Open(d, page, CVorlindPage::IDC_TRANSPORT, CVorlindTransportDlg::IDD);
    kx::ControlDriver c(d);
    auto pingFromHere = [&] {
      d.Click(d.Control(dialog, CVorlindTransportDlg::IDC_HOSTS));
      HWND hosts = d.WaitForDialog(CHostListDlg::IDD);
      HWND combo = d.Control(hosts, CHostListDlg::IDC_HOST);
      EXPECT_FALSE(d.IsEnabled(combo));
      EXPECT_EQ(c.ComboText(combo), "127.0.0.1");
      HWND list = d.Control(hosts, CHostListDlg::IDC_STATUS);
      d.WaitUntil([&] { return c.ListRowCount(list) > 0; }, "a status row");
      EXPECT_EQ(c.ListText(list, 0),
                icmp ? "Pinging 127.0.0.1 [127.0.0.1] with 32 bytes of data:" : c.ListText(list, 0));
      d.Click(d.Control(hosts, IDCANCEL));
      d.WaitForGone(hosts);
    };
    pingFromHere();
    c.ComboPick(d.Control(dialog, CVorlindTransportDlg::IDC_ADDRESS_KIND), "IP address");
    d.SetText(d.Control(dialog, CVorlindTransportDlg::IDC_IP), "127.0.0.1");
    pingFromHere();
    Press(d, dialog, IDCANCEL);
    CloseSheet(d, sheet);
  });
}

TEST_F(EnrolmentPage, PolicyLocksThePageAndInternetOptionsAreNotAvailable) {
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    // Without the shell's dispatch object the Internet options cannot be shown.
    d.Click(d.Control(page, CVorlindPage::IDC_INTERNET_OPTIONS));
    EXPECT_EQ(d.AnswerMessageBox(IDOK), Res(495));
    // The check boxes only mark the page modified.
    d.SetCheck(d.Control(page, CVorlindPage::IDC_CHECK_1), false);
    EXPECT_TRUE(d.IsEnabled(d.Control(sheet, ID_APPLY_NOW)));
    EXPECT_TRUE(d.IsEnabled(d.Control(page, CVorlindPage::IDC_EXCHANGE)));
    CloseSheet(d, sheet);
  });
  CSecurityPolicy policy;
  policy.m_bSystemProfile = 0;
  ASSERT_TRUE(policy.CreateKey());
  RunPage([&](kx::UiDriver& d, HWND sheet, HWND page) {
    for (int id : {CVorlindPage::IDC_EXCHANGE, CVorlindPage::IDC_SERVICE, CVorlindPage::IDC_TRANSPORT,
                   CVorlindPage::IDC_INTERNET_OPTIONS, CVorlindPage::IDC_CHECK_1, CVorlindPage::IDC_CHECK_2})
      EXPECT_FALSE(d.IsEnabled(d.Control(page, id))) << id;
    EXPECT_TRUE(d.IsEnabled(d.Control(page, CVorlindPage::IDC_TITLE)));
    CloseSheet(d, sheet);
  });
}
