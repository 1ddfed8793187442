// The mail sender over the platform's Simple MAPI entry.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/MapiMailer.h"
#include "platform/services/mapi.h"
#include "platform/win32/modules.h"
#include "support/testroot.h"

namespace {

// Restores the real module and the environment whatever a case did.
class Mail : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    kx::ClearMailRequests();
    d = kxtest::MakeTempDir("mail");
    kxtest::WriteFile(d + "/report.tvx", "report");
    kxtest::WriteFile(d + "/notes.txt", "notes");
    paths.Add(CString((d + "/report.tvx").c_str()));
    paths.Add(CString((d + "/notes.txt").c_str()));
  }
  void TearDown() override {
    kx::SetBuiltinModuleMissing("MAPI32.DLL", false);
    static const kx::BuiltinExport real[] = {{"MAPISendMail", 0, reinterpret_cast<void*>(&MAPISendMail)}};
    kx::RegisterBuiltinModule("MAPI32.DLL", real, 1);
    unsetenv("DISPLAY");
    unsetenv("KX_DESKTOP_MAILER");
  }
  std::string d;
  CStringArray paths;
};

TEST_F(Mail, RequestHoldsTheAttachments) {
  // No display: the request is recorded and reported as not sent.
  CMapiMailer mailer;
  EXPECT_FALSE(mailer.SendFiles(paths));
  auto requests = kx::MailRequests();
  ASSERT_EQ(requests.size(), 1u);
  const kx::MailRequest& r = requests[0];
  EXPECT_EQ(r.flags, static_cast<FLAGS>(MAPI_LOGON_UI | MAPI_DIALOG));
  EXPECT_TRUE(r.subject.empty());
  EXPECT_TRUE(r.recipients.empty());
  ASSERT_EQ(r.attachments.size(), 2u);
  EXPECT_EQ(r.attachments[0].path, d + "/report.tvx");
  EXPECT_EQ(r.attachments[0].name, "report.tvx");
  EXPECT_EQ(r.attachments[1].name, "notes.txt");
  EXPECT_FALSE(r.handedToMailer);
  EXPECT_EQ(r.result, static_cast<ULONG>(MAPI_E_FAILURE));

  // An empty array still asks for a compose window, without attachments.
  EXPECT_FALSE(mailer.SendFiles(CStringArray()));
  requests = kx::MailRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[1].attachments.empty());

  // A path that is not a readable file is refused before any mail program runs.
  CStringArray gone;
  gone.Add(CString((d + "/gone.txt").c_str()));
  EXPECT_FALSE(mailer.SendFiles(gone));
  EXPECT_EQ(kx::MailRequests().back().result, static_cast<ULONG>(MAPI_E_ATTACHMENT_NOT_FOUND));
}

TEST_F(Mail, HandsTheMessageToTheMailProgram) {
  const std::string log = d + "/mailer.args", script = d + "/mailer.sh";
  kxtest::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + log + ".part'\nmv '" + log +
                                ".part' '" + log + "'\n");
  chmod(script.c_str(), 0755);
  setenv("DISPLAY", ":kx-test", 1);
  setenv("KX_DESKTOP_MAILER", script.c_str(), 1);
  CMapiMailer mailer;
  EXPECT_TRUE(mailer.SendFiles(paths));
  EXPECT_TRUE(kx::MailRequests().back().handedToMailer);
  for (int i = 0; i < 200 && access(log.c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_EQ(kxtest::ReadFile(log), "--attach\n" + d + "/report.tvx\n--attach\n" + d + "/notes.txt\n");
}

TEST_F(Mail, MissingModuleAndOneLoadPerMailer) {
  CMapiMailer first;
  first.SendFiles(paths);
  kx::SetBuiltinModuleMissing("MAPI32.DLL", true);
  // The mailer that loaded the library keeps it; a new one finds no library and does nothing.
  first.SendFiles(paths);
  EXPECT_EQ(kx::MailRequests().size(), 2u);
  CMapiMailer second;
  EXPECT_FALSE(second.SendFiles(paths));
  EXPECT_EQ(kx::MailRequests().size(), 2u);
  // A library without the entry.
  kx::SetBuiltinModuleMissing("MAPI32.DLL", false);
  static const kx::BuiltinExport other[] = {{"MAPILogon", 0, reinterpret_cast<void*>(&MAPISendMail)}};
  kx::RegisterBuiltinModule("MAPI32.DLL", other, 1);
  CMapiMailer third;
  EXPECT_FALSE(third.SendFiles(paths));
  EXPECT_EQ(kx::MailRequests().size(), 2u);
}

ULONG g_answer = 0;
ULONG Answer(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG) { return g_answer; }

TEST_F(Mail, ResultsOfTheMailProgram) {
  static const kx::BuiltinExport fake[] = {{"MAPISendMail", 0, reinterpret_cast<void*>(&Answer)}};
  kx::RegisterBuiltinModule("MAPI32.DLL", fake, 1);
  // Sent and cancelled count as done; a failed log-on did not send the mail.
  const struct {
    ULONG answer;
    BOOL sent;
  } cases[] = {{SUCCESS_SUCCESS, TRUE}, {MAPI_USER_ABORT, TRUE}, {MAPI_E_FAILURE, FALSE},
               {MAPI_E_LOGON_FAILURE, FALSE}, {MAPI_E_ATTACHMENT_NOT_FOUND, FALSE}};
  for (const auto& c : cases) {
    g_answer = c.answer;
    CMapiMailer mailer;
    EXPECT_EQ(mailer.SendFiles(paths), c.sent) << c.answer;
  }
}

}  // namespace
