// kxhost: loads the library through the platform's LoadLibrary (its start-up runs), calls one export with the
// given arguments on this thread, optionally drives the user interface with a script meanwhile, prints the out
// values and exits with the export's result.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kxhost/script.h"
#include "platform/com/bstr.h"
#include "platform/mfc/cstring.h"
#include "platform/ui/display.h"
#include "platform/ui/driver.h"
#include "platform/win32/errors.h"
#include "platform/win32/win32.h"

namespace {

// kxhost's own failures have codes above any export's result.
constexpr int kLargestResult = 119;
constexpr int kTimeout = 120;
constexpr int kNoDisplay = 121;
constexpr int kUsage = 122;
constexpr int kScriptFailed = 125;
constexpr int kLoadFailed = 126;
constexpr int kNoExport = 127;

const char* kHelp =
    "usage: kxhost [options] EXPORT [ARGUMENT...]\n"
    "\n"
    "Loads the library (its start-up runs), calls EXPORT with the arguments and exits with its result.\n"
    "The windows go to the X server named by DISPLAY; without one, give a script to drive them headless.\n"
    "\n"
    "options:\n"
    "  --library NAME   the module to load (default Brinmoor.DLL)\n"
    "  --script FILE    drive the user interface with the actions of FILE while the export runs\n"
    "  --shots DIR      write a PNG of every window and page the script sees, and the script's screenshots\n"
    "  --timeout MS     time-out of every wait of the script (default 10000)\n"
    "  --headless       keep the windows off the screen even when DISPLAY is set (as KX_HEADLESS=1 does);\n"
    "                   only with a script, which is then the only one who can answer them\n"
    "\n"
    "arguments, in order:\n"
    "  s:TEXT           a string        i:NUMBER   an integer (decimal or 0x hexadecimal)\n"
    "  null             a null pointer  out:cstring, out:int, out:bstr   a value the export writes, printed after\n"
    "\n"
    "script actions (one a line, # starts a comment; REF is #ID or a control's text):\n"
    "  wait \"TITLE\"           wait for a window        page ID        wait for a page or dialog of a template\n"
    "  wait-dialog ID         wait for a dialog        click REF      double-click REF\n"
    "  type REF \"TEXT\"        set an edit's text      tick REF       untick REF\n"
    "  pick REF \"TEXT\"        choose a tab, a list box, combo box or list view entry, or a tree item\n"
    "                         (\"Parent/Child\")\n"
    "  key NAME               ENTER, ESCAPE, TAB, shift+TAB, ...\n"
    "  menu \"ITEM\"            choose in the popup menu shown (\"Submenu/Item\" through submenus)\n"
    "  answer BUTTON [\"TEXT\"] answer a message (Yes, No, OK, Cancel or a label), checking its text\n"
    "  expect REF \"TEXT\"      wait for a control's text    expect-title \"TITLE\"\n"
    "  enabled REF            disabled REF             screenshot NAME          gone\n"
    "  where REF NAME [\"ROW\"] write where the control is in its window to NAME.txt in the shots folder: lines\n"
    "                         \"left top right bottom what\" for the control, the window's client area and, of a\n"
    "                         list view, its headings and the row with that text\n"
    "\n"
    "exit codes:\n"
    "  0-119  the export's result (\"result: N\" is printed; a result outside 0-119 exits with 119)\n"
    "  120    a wait of the script timed out, or the export did not end after the script\n"
    "  121    no display: DISPLAY is not set and no script drives the windows, the windows are headless\n"
    "         without a script, or the X server cannot be opened\n"
    "  122    a wrong command line or script (unknown option or action, bad argument, unreadable file)\n"
    "  125    an action of the script failed (what it expected did not happen)\n"
    "  126    the library cannot be loaded, or its start-up failed (the reason is printed)\n"
    "  127    the library has no such export\n";

enum class Kind { String, Integer, Null, OutCString, OutInt, OutBstr };

struct Argument {
  Kind kind;
  std::string text;
  uintptr_t value = 0;
  CString cstring;
  int integer = 0;
  BSTR bstr = nullptr;
};

bool ParseArgument(const std::string& s, Argument* a) {
  if (s.rfind("s:", 0) == 0) {
    a->kind = Kind::String;
    a->text = s.substr(2);
    return true;
  }
  if (s.rfind("i:", 0) == 0) {
    char* end = nullptr;
    long long v = strtoll(s.c_str() + 2, &end, 0);
    if (s.size() == 2 || *end) return false;
    a->kind = Kind::Integer;
    a->value = static_cast<uintptr_t>(v);
    return true;
  }
  if (s == "null") a->kind = Kind::Null;
  else if (s == "out:cstring") a->kind = Kind::OutCString;
  else if (s == "out:int") a->kind = Kind::OutInt;
  else if (s == "out:bstr") a->kind = Kind::OutBstr;
  else return false;
  return true;
}

uintptr_t Slot(Argument& a) {
  switch (a.kind) {
    case Kind::String: return reinterpret_cast<uintptr_t>(a.text.c_str());
    case Kind::Integer: return a.value;
    case Kind::Null: return 0;
    case Kind::OutCString: return reinterpret_cast<uintptr_t>(&a.cstring);
    case Kind::OutInt: return reinterpret_cast<uintptr_t>(&a.integer);
    case Kind::OutBstr: return reinterpret_cast<uintptr_t>(&a.bstr);
  }
  return 0;
}

// Every argument takes one register or stack slot of the calling convention, integers and pointers alike.
// Unused slots are passed as zeros, which a callee with fewer parameters never reads.
int Call(FARPROC f, std::vector<uintptr_t> s) {
  using U = uintptr_t;
  s.resize(10, 0);
  return reinterpret_cast<int (*)(U, U, U, U, U, U, U, U, U, U)>(f)(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7],
                                                                     s[8], s[9]);
}

// Decides where the windows go before anything is loaded: an X server, or headless under a script. False, with
// the reason printed, when there is nowhere a person or a script could answer them.
bool ChooseDisplay(bool scripted) {
  const char* headless = getenv("KX_HEADLESS");
  const char* display = getenv("DISPLAY");
  if (headless && strcmp(headless, "1") == 0) {
    if (scripted) return true;
    fprintf(stderr, "kxhost: the windows are headless (--headless or KX_HEADLESS=1) and no --script answers "
                    "them\n");
    return false;
  }
  if (!display || !*display) {
    if (scripted) {
      // Nobody sees them, the script drives them.
      setenv("KX_HEADLESS", "1", 1);
      return true;
    }
    fprintf(stderr, "kxhost: there is no X display: DISPLAY is not set (run it in a desktop session, or give "
                    "--script to drive the windows without a screen)\n");
    return false;
  }
  std::string why;
  if (kx::ui::DisplayOpened(&why)) return true;
  fprintf(stderr, "kxhost: %s\n", why.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // A write to an X server that went away must fail with EPIPE and reach the display's lost-connection report,
  // not end the host silently.
  std::signal(SIGPIPE, SIG_IGN);
  std::string library = "Brinmoor.DLL", scriptPath, shotDir;
  int timeout = 10000;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      fputs(kHelp, stdout);
      return 0;
    }
    if (a.rfind("--", 0) != 0) break;
    if (a == "--headless") {
      // Decided before the library starts: the display is chosen at the first window.
      setenv("KX_HEADLESS", "1", 1);
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "kxhost: %s needs a value\n", a.c_str());
      return kUsage;
    }
    std::string v = argv[++i];
    if (a == "--library") library = v;
    else if (a == "--script") scriptPath = v;
    else if (a == "--shots") shotDir = v;
    else if (a == "--timeout") timeout = atoi(v.c_str());
    else {
      fprintf(stderr, "kxhost: unknown option %s\n", a.c_str());
      return kUsage;
    }
  }
  if (i >= argc) {
    fputs(kHelp, stderr);
    return kUsage;
  }
  std::string exportName = argv[i++];
  std::vector<Argument> args;
  for (; i < argc; ++i) {
    Argument a{};
    if (!ParseArgument(argv[i], &a)) {
      fprintf(stderr, "kxhost: cannot read the argument \"%s\" (s:TEXT, i:NUMBER, null, out:cstring, out:int, "
                      "out:bstr)\n",
              argv[i]);
      return kUsage;
    }
    args.push_back(a);
  }
  if (args.size() > 10) {
    fprintf(stderr, "kxhost: at most 10 arguments\n");
    return kUsage;
  }

  std::vector<kxhost::Action> actions;
  if (!scriptPath.empty()) {
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in) {
      fprintf(stderr, "kxhost: cannot read the script %s\n", scriptPath.c_str());
      return kUsage;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    try {
      actions = kxhost::ParseScript(ss.str(), scriptPath);
    } catch (const kxhost::ScriptError& e) {
      fprintf(stderr, "kxhost: %s\n", e.what());
      return kUsage;
    }
  }
  if (!shotDir.empty() && shotDir.back() == '/') shotDir.pop_back();
  if (!shotDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(shotDir, ec);
    if (ec) {
      fprintf(stderr, "kxhost: cannot make the folder %s for screenshots (%s)\n", shotDir.c_str(), ec.message().c_str());
      return kUsage;
    }
  }

  if (!ChooseDisplay(!scriptPath.empty())) return kNoDisplay;

  HMODULE module = LoadLibrary(library.c_str());
  if (!module) {
    DWORD error = GetLastError();
    fprintf(stderr, "kxhost: cannot load %s (%s, error %u)%s\n", library.c_str(),
            kx::ModuleFileForName(library).c_str(), error,
            error == ERROR_DLL_INIT_FAILED ? ": its start-up failed" : "");
    return kLoadFailed;
  }
  FARPROC entry = GetProcAddress(module, exportName.c_str());
  if (!entry) {
    fprintf(stderr, "kxhost: %s has no export %s\n", library.c_str(), exportName.c_str());
    FreeLibrary(module);
    return kNoExport;
  }
  std::vector<uintptr_t> slots;
  for (Argument& a : args) slots.push_back(Slot(a));

  int result = 0;
  int code = 0;
  kxhost::ScriptRunner runner(scriptPath, shotDir.empty() ? "." : shotDir, !shotDir.empty());
  if (actions.empty()) {
    result = Call(entry, slots);
  } else {
    try {
      result = static_cast<int>(kx::RunWithUiHere([&] { return static_cast<INT_PTR>(Call(entry, slots)); },
                                                  [&](kx::UiDriver& d) { runner.Run(d, actions); }, timeout));
    } catch (const kx::UiDriverTimeout& e) {
      fprintf(stderr, "kxhost: %s\n", e.what());
      code = kTimeout;
    } catch (const std::exception& e) {
      fprintf(stderr, "kxhost: %s\n", e.what());
      code = runner.TimedOut() ? kTimeout : kScriptFailed;
    }
  }
  printf("result: %d\n", result);
  for (size_t k = 0; k < args.size(); ++k) {
    Argument& a = args[k];
    if (a.kind == Kind::OutCString) printf("out %zu: %s\n", k + 1, a.cstring.GetString());
    else if (a.kind == Kind::OutInt) printf("out %zu: %d\n", k + 1, a.integer);
    else if (a.kind == Kind::OutBstr) {
      std::string s = a.bstr ? kx::Utf16ToUtf8(a.bstr, SysStringLen(a.bstr)) : std::string();
      printf("out %zu: %s\n", k + 1, a.bstr ? s.c_str() : "(none)");
      SysFreeString(a.bstr);
    }
  }
  for (const std::string& shot : runner.Shots()) printf("screenshot: %s\n", shot.c_str());
  fflush(stdout);
  FreeLibrary(module);
  if (code) return code;
  // The result becomes the exit code, below the codes kxhost keeps for itself.
  return result < 0 || result > kLargestResult ? kLargestResult : result;
}
