#include "platform/services/mapi.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/services/desktop.h"
#include "platform/win32/modules.h"

extern char** environ;

namespace {

std::mutex g_lock;
std::vector<kx::MailRequest>& Requests() {
  static auto* r = new std::vector<kx::MailRequest>();
  return *r;
}

void Record(const kx::MailRequest& request) {
  std::lock_guard<std::mutex> lock(g_lock);
  Requests().push_back(request);
}

bool ReadableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

// The mail program's command line: subject, text and attachments as options, then the addresses. No shell.
bool StartMailer(const kx::MailRequest& r) {
  const char* own = getenv("KX_DESKTOP_MAILER");
  std::vector<std::string> args{own && *own ? own : "xdg-email"};
  if (!r.subject.empty()) args.insert(args.end(), {"--subject", r.subject});
  if (!r.text.empty()) args.insert(args.end(), {"--body", r.text});
  for (const kx::MailAttachment& a : r.attachments) args.insert(args.end(), {"--attach", a.path});
  for (const std::string& to : r.recipients) args.push_back(to);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

void* const kEntry = reinterpret_cast<void*>(&MAPISendMail);
const kx::BuiltinExport kExports[] = {{"MAPISendMail", 0, kEntry}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule("MAPI32.DLL", kExports, 1);
  return true;
}();

}  // namespace

ULONG MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG) {
  kx::MailRequest r;
  r.flags = flags;
  if (!message) {
    r.result = MAPI_E_INVALID_MESSAGE;
    Record(r);
    return r.result;
  }
  r.subject = message->lpszSubject ? message->lpszSubject : "";
  r.text = message->lpszNoteText ? message->lpszNoteText : "";
  for (ULONG i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
    const MapiRecipDesc& to = message->lpRecips[i];
    const char* address = to.lpszAddress && *to.lpszAddress ? to.lpszAddress : to.lpszName;
    if (!address) continue;
    std::string text = address;
    if (text.rfind("SMTP:", 0) == 0 || text.rfind("smtp:", 0) == 0) text.erase(0, 5);
    r.recipients.push_back(text);
  }
  bool missingPath = message->nFileCount > 0 && !message->lpFiles;
  for (ULONG i = 0; message->lpFiles && i < message->nFileCount; ++i) {
    const MapiFileDesc& f = message->lpFiles[i];
    if (!f.lpszPathName) {
      missingPath = true;
      continue;
    }
    r.attachments.push_back({f.lpszPathName, f.lpszFileName ? f.lpszFileName : ""});
  }
  if (missingPath) {
    r.result = MAPI_E_INVALID_MESSAGE;
  } else {
    r.result = SUCCESS_SUCCESS;
    for (const kx::MailAttachment& a : r.attachments)
      if (!ReadableFile(a.path)) r.result = MAPI_E_ATTACHMENT_NOT_FOUND;
  }
  if (r.result == SUCCESS_SUCCESS) {
    r.handedToMailer = kx::HaveDisplay() && StartMailer(r);
    if (!r.handedToMailer) r.result = MAPI_E_FAILURE;
  }
  Record(r);
  return r.result;
}

std::vector<kx::MailRequest> kx::MailRequests() {
  std::lock_guard<std::mutex> lock(g_lock);
  return Requests();
}

void kx::ClearMailRequests() {
  std::lock_guard<std::mutex> lock(g_lock);
  Requests().clear();
}
