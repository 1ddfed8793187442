#include "kxhost/script.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>

#include "platform/ui/commctrl.h"
#include "platform/ui/commonctrl.h"
#include "platform/ui/controldriver.h"

namespace kxhost {

namespace {

struct Verb {
  size_t minArgs, maxArgs;
};

const std::map<std::string, Verb>& Verbs() {
  static const std::map<std::string, Verb> verbs = {
      {"wait", {1, 1}},     {"wait-dialog", {1, 1}}, {"page", {1, 1}},       {"click", {1, 1}},
      {"double-click", {1, 1}}, {"type", {2, 2}},    {"tick", {1, 1}},       {"untick", {1, 1}},
      {"pick", {2, 2}},     {"key", {1, 1}},         {"answer", {1, 2}},     {"expect", {2, 2}},
      {"expect-title", {1, 1}}, {"enabled", {1, 1}}, {"disabled", {1, 1}},  {"screenshot", {1, 1}},
      {"gone", {0, 0}},     {"menu", {1, 1}},        {"where", {2, 3}},
  };
  return verbs;
}

std::string StripAmpersands(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out += s[++i];
      continue;
    }
    out += s[i];
  }
  return out;
}

bool Showing(HWND h) {
  for (HWND w = h; w; w = (GetWindowLongPtr(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (!IsWindowVisible(w)) return false;
  return true;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> TopLevels() {
  std::vector<HWND> all;
  EnumWindows(
      [](HWND h, LPARAM lp) {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

std::string ClassOf(HWND h) {
  char cls[64] = {};
  GetClassName(h, cls, sizeof cls);
  return cls;
}

std::string TextOf(HWND h) {
  char buf[1024] = {};
  InternalGetWindowText(h, buf, sizeof buf);
  return buf;
}

std::string FileName(const std::string& s) {
  std::string out;
  for (char c : s) out += isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(tolower(static_cast<unsigned char>(c))) : '-';
  while (out.find("--") != std::string::npos) out.erase(out.find("--"), 1);
  while (!out.empty() && out.back() == '-') out.pop_back();
  while (!out.empty() && out.front() == '-') out.erase(0, 1);
  return out.empty() ? "window" : out;
}

struct Key {
  const char* name;
  UINT vk;
};
const Key kKeys[] = {{"ENTER", VK_RETURN}, {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"ESC", VK_ESCAPE},
                     {"TAB", VK_TAB},      {"SPACE", VK_SPACE},   {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
                     {"UP", VK_UP},        {"DOWN", VK_DOWN},     {"HOME", VK_HOME},     {"END", VK_END},
                     {"PAGEUP", VK_PRIOR}, {"PAGEDOWN", VK_NEXT}, {"DELETE", VK_DELETE}, {"BACKSPACE", VK_BACK},
                     {"F1", VK_F1},        {"F2", VK_F2},         {"F3", VK_F3},         {"F4", VK_F4},
                     {"F5", VK_F5},        {"F10", VK_F10}};

// "Parent/Child/Item": the texts of a path through a tree or nested menus.
std::vector<std::string> SplitPath(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t slash = s.find('/', start);
    parts.push_back(s.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<Action> ParseScript(const std::string& text, const std::string& name) {
  std::vector<Action> actions;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() + 1 : end + 1;
    ++lineNo;
    Action a;
    a.line = lineNo;
    auto fail = [&](const std::string& what) { throw ScriptError(name + ":" + std::to_string(lineNo) + ": " + what); };
    size_t i = 0;
    std::vector<std::string> words;
    while (i < line.size()) {
      char c = line[i];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++i;
        continue;
      }
      if (words.empty() && (c == '#' && (i + 1 >= line.size() || line[i + 1] == ' ' || line[i + 1] == '#'))) break;
      if (c == '"') {
        std::string s;
        ++i;
        bool closed = false;
        while (i < line.size()) {
          char d = line[i++];
          if (d == '"') {
            closed = true;
            break;
          }
          if (d == '\\' && i < line.size()) {
            char e = line[i++];
            s += e == 'n' ? '\n' : e == 't' ? '\t' : e;
          } else {
            s += d;
          }
        }
        if (!closed) fail("unterminated text");
        words.push_back(s);
        continue;
      }
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
      words.push_back(line.substr(start, i - start));
    }
    if (words.empty()) continue;
    a.verb = words[0];
    a.args.assign(words.begin() + 1, words.end());
    auto v = Verbs().find(a.verb);
    if (v == Verbs().end()) fail("unknown action " + a.verb);
    if (a.args.size() < v->second.minArgs || a.args.size() > v->second.maxArgs)
      fail(a.verb + " takes " + std::to_string(v->second.minArgs) +
           (v->second.maxArgs != v->second.minArgs ? " or " + std::to_string(v->second.maxArgs) : std::string()) +
           " argument(s)");
    actions.push_back(a);
  }
  return actions;
}

void ScriptRunner::Run(kx::UiDriver& d, const std::vector<Action>& actions) {
  for (const Action& a : actions) {
    try {
      Do(d, a);
      Capture(d);
    } catch (const std::exception& e) {
      timedOut_ = dynamic_cast<const kx::UiDriverTimeout*>(&e) != nullptr;
      throw ScriptError(name_ + ":" + std::to_string(a.line) + ": " + a.verb + ": " + e.what());
    }
  }
}

HWND ScriptRunner::Window(kx::UiDriver& d) {
  if (!window_ || !IsWindow(window_)) d.Fail("no window to act on (a script starts with wait or page)");
  return window_;
}

// "#1001" is a control id, anything else a control's text (without '&' markers); the page found last is
// searched first, then its window.
HWND ScriptRunner::Find(kx::UiDriver& d, const std::string& ref) {
  HWND win = Window(d);
  bool byId = ref.size() > 1 && ref[0] == '#';
  int id = byId ? std::stoi(ref.substr(1), nullptr, 0) : 0;
  for (HWND scope : {page_ && IsWindow(page_) ? page_ : nullptr, win}) {
    if (!scope) continue;
    for (HWND h : Descendants(scope)) {
      // Pages carry their template's caption as text; they are not controls to act on.
      if (!Showing(h) || ClassOf(h) == "#32770") continue;
      if (byId ? GetDlgCtrlID(h) == id : StripAmpersands(TextOf(h)) == ref) return h;
    }
  }
  d.Fail("no visible control " + (byId ? ref : "\"" + ref + "\""));
}

void ScriptRunner::Pick(kx::UiDriver& d, HWND control, const std::string& text) {
  std::string cls = Upper(ClassOf(control));
  if (cls == Upper(WC_TABCONTROLA)) {
    int count = static_cast<int>(d.Send(control, TCM_GETITEMCOUNT));
    for (int i = 0; i < count; ++i) {
      char buf[256] = {};
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = buf;
      item.cchTextMax = sizeof buf;
      d.Send(control, TCM_GETITEM, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      if (StripAmpersands(buf) != text) continue;
      RECT r{};
      d.Send(control, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
      d.ClickAt(control, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
      return;
    }
    d.Fail("no tab \"" + text + "\"");
  }
  kx::ControlDriver controls(d);
  if (cls == Upper(WC_LISTBOXA)) return controls.ListBoxPick(control, text);
  if (cls == Upper(WC_COMBOBOXA)) return controls.ComboPick(control, text);
  if (cls == Upper(WC_LISTVIEWA)) return controls.ListPickRow(control, text);
  if (cls == Upper(WC_TREEVIEWA)) return controls.TreePick(control, SplitPath(text));
  d.Fail("pick works on tabs, list boxes, combo boxes, list views and tree views, not on " + ClassOf(control));
}

// A message box, or a page shown as a dialog, that has a button with this label; the expected text, when
// given, must be part of its text.
void ScriptRunner::Answer(kx::UiDriver& d, const std::string& button, const std::string* expected) {
  static const std::map<std::string, std::string> kLabels = {{"YES", "Yes"},       {"NO", "No"},
                                                             {"OK", "OK"},         {"CANCEL", "Cancel"},
                                                             {"RETRY", "Retry"},   {"ABORT", "Abort"},
                                                             {"IGNORE", "Ignore"}, {"CLOSE", "Close"}};
  auto known = kLabels.find(Upper(button));
  std::string label = known != kLabels.end() ? known->second : button;
  HWND box = nullptr, target = nullptr;
  d.WaitUntil(
      [&] {
        for (HWND top : TopLevels()) {
          if (!IsWindowVisible(top) || !IsWindowEnabled(top) || ClassOf(top) != "#32770") continue;
          for (HWND c : Descendants(top))
            if (Showing(c) && ClassOf(c) == "Button" && StripAmpersands(TextOf(c)) == label) {
              box = top;
              target = c;
              return true;
            }
        }
        return false;
      },
      "a message with a " + label + " button");
  if (expected) {
    std::string all;
    for (HWND c : Descendants(box))
      if (ClassOf(c) == "Static") all += TextOf(c) + "\n";
    if (all.find(*expected) == std::string::npos) d.Fail("the message reads \"" + all + "\", not \"" + *expected + "\"");
  }
  Capture(d);
  d.Click(target);
  d.WaitForGone(box);
}

void ScriptRunner::Do(kx::UiDriver& d, const Action& a) {
  const std::string& v = a.verb;
  const auto& args = a.args;
  if (v == "wait") {
    window_ = d.WaitForTitle(args[0]);
    page_ = nullptr;
  } else if (v == "wait-dialog") {
    window_ = d.WaitForDialog(static_cast<ULONG_PTR>(std::stoul(args[0], nullptr, 0)));
    page_ = nullptr;
  } else if (v == "page") {
    page_ = d.WaitForDialog(static_cast<ULONG_PTR>(std::stoul(args[0], nullptr, 0)));
    window_ = GetAncestor(page_, GA_ROOT);
  } else if (v == "click") {
    d.Click(Find(d, args[0]));
  } else if (v == "double-click") {
    d.DoubleClick(Find(d, args[0]));
  } else if (v == "type") {
    d.SetText(Find(d, args[0]), args[1]);
  } else if (v == "tick" || v == "untick") {
    d.SetCheck(Find(d, args[0]), v == "tick");
  } else if (v == "pick") {
    Pick(d, Find(d, args[0]), args[1]);
  } else if (v == "key") {
    std::string k = Upper(args[0]);
    bool shift = false, ctrl = false, alt = false;
    for (;;) {
      if (k.rfind("SHIFT+", 0) == 0) shift = true, k = k.substr(6);
      else if (k.rfind("CTRL+", 0) == 0) ctrl = true, k = k.substr(5);
      else if (k.rfind("ALT+", 0) == 0) alt = true, k = k.substr(4);
      else break;
    }
    UINT vk = 0;
    for (const Key& key : kKeys)
      if (k == key.name) vk = key.vk;
    if (!vk && k.size() == 1 && isalnum(static_cast<unsigned char>(k[0]))) vk = static_cast<UINT>(k[0]);
    if (!vk) d.Fail("unknown key " + args[0]);
    Window(d);
    d.PressKey(vk, shift, ctrl, alt);
  } else if (v == "answer") {
    Answer(d, args[0], args.size() > 1 ? &args[1] : nullptr);
  } else if (v == "expect") {
    d.WaitForText(Find(d, args[0]), args[1]);
  } else if (v == "expect-title") {
    HWND w = Window(d);
    d.WaitUntil([&] { return TextOf(w) == args[0]; }, "the title \"" + args[0] + "\"");
  } else if (v == "enabled" || v == "disabled") {
    d.WaitForEnabled(Find(d, args[0]), v == "enabled");
  } else if (v == "screenshot") {
    Shot(d, Window(d), args[0]);
  } else if (v == "where") {
    Where(d, Find(d, args[0]), args[1], args.size() > 2 ? &args[2] : nullptr);
  } else if (v == "menu") {
    kx::ControlDriver(d).ChooseMenuPath(SplitPath(args[0]));
  } else if (v == "gone") {
    if (window_ && IsWindow(window_)) d.WaitForGone(window_);
    else if (!window_) d.Fail("no window to wait for (a script starts with wait or page)");
    window_ = page_ = nullptr;
  }
}

// Where a control is, for a client that acts on it from outside through the window system: rectangles in the
// coordinates of its top-level window (the window the X server shows), one "left top right bottom what" a line:
// the control, the window's client area, and for a list view its column headings and the row with the given text
// (once the list shows it). Written whole under its name, so that a reader never sees half of it.
void ScriptRunner::Where(kx::UiDriver& d, HWND control, const std::string& name, const std::string* row) {
  HWND top = GetAncestor(control, GA_ROOT);
  RECT window{};
  GetWindowRect(top, &window);
  std::string lines;
  auto add = [&](HWND of, RECT r, const std::string& what) {  // r: of's client coordinates
    MapWindowPoints(of, nullptr, reinterpret_cast<POINT*>(&r), 2);
    lines += std::to_string(r.left - window.left) + " " + std::to_string(r.top - window.top) + " " +
             std::to_string(r.right - window.left) + " " + std::to_string(r.bottom - window.top) + " " + what + "\n";
  };
  RECT r{};
  GetClientRect(control, &r);
  add(control, r, "control");
  GetClientRect(top, &r);
  add(top, r, "client");
  const bool list = Upper(ClassOf(control)) == Upper(WC_LISTVIEWA);
  if (row && !list) d.Fail("where takes a row of list views only, not of " + ClassOf(control));
  if (list) {
    if (row) {
      const int i = kx::ControlDriver(d).WaitForListRow(control, *row);
      d.Send(control, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), FALSE);
      r = RECT{LVIR_LABEL, 0, 0, 0};
      if (!d.Send(control, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)))
        d.Fail("the row \"" + *row + "\" has no rectangle");
      add(control, r, "row");
    }
    HWND header = reinterpret_cast<HWND>(d.Send(control, LVM_GETHEADER));
    const int columns = header ? static_cast<int>(d.Send(header, HDM_GETITEMCOUNT)) : 0;
    for (int c = 0; c < columns; ++c)
      if (d.Send(header, HDM_GETITEMRECT, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&r)))
        add(header, r, "heading " + std::to_string(c));
  }
  const std::string path = shotDir_ + "/" + name + ".txt";
  {
    std::ofstream out(path + ".part", std::ios::binary | std::ios::trunc);
    out << lines;
    if (!out.flush()) d.Fail("cannot write " + path);
  }
  if (std::rename((path + ".part").c_str(), path.c_str()) != 0) d.Fail("cannot write " + path);
}

std::string ScriptRunner::Shot(kx::UiDriver& d, HWND window, const std::string& name) {
  std::string path = shotDir_ + "/" + name + ".png";
  d.SavePng(window, path);
  shots_.push_back(path);
  return path;
}

// With every page wanted, each window and each page it shows is written once, the first time it is seen.
void ScriptRunner::Capture(kx::UiDriver& d) {
  if (!everyPage_) return;
  for (HWND top : TopLevels()) {
    if (!IsWindowVisible(top)) continue;
    std::string title = TextOf(top);
    std::string pages;
    for (HWND c : Descendants(top))
      if (ULONG_PTR id = kx::GetDialogTemplateId(c); id && Showing(c)) pages += "-" + std::to_string(id);
    char handle[32];
    snprintf(handle, sizeof handle, "%p", static_cast<void*>(top));
    std::string key = std::string(handle) + "|" + title + "|" + pages;
    bool seen = false;
    for (const std::string& s : seen_) seen |= s == key;
    if (seen) continue;
    seen_.push_back(key);
    char number[8];
    snprintf(number, sizeof number, "%02zu", shots_.size() + 1);
    try {
      Shot(d, top, std::string(number) + "-" + FileName(title) + pages);
    } catch (const kx::UiDriverError&) {
      // A window that went away meanwhile is not shown any more.
    }
  }
}

}  // namespace kxhost
