#include "platform/services/htmlhelp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>

#include "platform/services/desktop.h"
#include "platform/win32/files.h"
#include "platform/win32/modules.h"

namespace {

std::mutex g_lock;
std::vector<kx::HelpRequest>& Requests() {
  static auto* r = new std::vector<kx::HelpRequest>();
  return *r;
}

bool LooksLikeHtml(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[64] = {};
  size_t n = fread(head, 1, sizeof head - 1, f);
  fclose(f);
  std::string s(head, n);
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  size_t at = s.find_first_not_of(" \t\r\n");
  return at != std::string::npos && (s.compare(at, 9, "<!doctype") == 0 || s.compare(at, 5, "<html") == 0);
}

bool HasHtmlExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext == ".htm" || ext == ".html";
}

// Openers choose the program by the file's name; a help file that is an HTML document under another name is
// offered to them through a link that ends in ".htm".
std::string OpenableName(const std::string& path) {
  if (HasHtmlExtension(path) || !LooksLikeHtml(path)) return path;
  char tmp[MAX_PATH + 1] = {};
  DWORD n = GetTempPath(sizeof tmp, tmp);
  std::string dir = std::string(tmp, n);
  if (dir.empty() || dir.back() != '/') dir += '/';
  dir += "kx-help-" + std::to_string(getuid());
  mkdir(dir.c_str(), 0700);
  size_t slash = path.rfind('/');
  std::string link = dir + "/" + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".htm";
  unlink(link.c_str());
  if (symlink(path.c_str(), link.c_str()) != 0) return path;
  return link;
}

void* const kEntry = reinterpret_cast<void*>(&HtmlHelpA);
const kx::BuiltinExport kExports[] = {{"HtmlHelpA", 14, kEntry}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule("hhctrl.ocx", kExports, 1);
  return true;
}();

}  // namespace

HWND HtmlHelpA(HWND, LPCSTR file, UINT command, DWORD_PTR data) {
  kx::HelpRequest r;
  r.file = file ? file : "";
  size_t cut = r.file.find("::");
  if (cut != std::string::npos) r.file.resize(cut);
  cut = r.file.find('>');
  if (cut != std::string::npos) r.file.resize(cut);
  r.command = command;
  r.data = data;
  struct stat st {};
  bool exists = !r.file.empty() && stat(r.file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (command != HH_CLOSE_ALL && exists && kx::HaveDisplay()) r.opened = kx::OpenWithDesktop(OpenableName(r.file));
  std::lock_guard<std::mutex> lock(g_lock);
  Requests().push_back(r);
  return nullptr;
}

std::vector<kx::HelpRequest> kx::HelpRequests() {
  std::lock_guard<std::mutex> lock(g_lock);
  return Requests();
}

void kx::ClearHelpRequests() {
  std::lock_guard<std::mutex> lock(g_lock);
  Requests().clear();
}
