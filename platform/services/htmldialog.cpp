#include "platform/services/htmldialog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/com/comobject.h"
#include "platform/ui/dlgplace.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/win32/modules.h"
#include "platform/win32/textconv.h"

namespace {

// ---------------------------------------------------------------------------------------------------------------
// Monikers
// ---------------------------------------------------------------------------------------------------------------
class UrlMoniker final : public kx::ComObject<UrlMoniker, IMoniker> {
 public:
  explicit UrlMoniker(std::u16string url) : url_(std::move(url)) {}
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override {
    if (!name) return E_POINTER;
    size_t bytes = (url_.size() + 1) * sizeof(OLECHAR);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*name) return E_OUTOFMEMORY;
    std::memcpy(*name, url_.c_str(), bytes);
    return S_OK;
  }

 private:
  std::u16string url_;
};

// ---------------------------------------------------------------------------------------------------------------
// Pages
// ---------------------------------------------------------------------------------------------------------------
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string DecodeEntities(const std::string& s) {
  static const std::pair<const char*, unsigned long> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}, {"copy", 0xA9},
      {"reg", 0xAE}, {"trade", 0x2122}, {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '&') {
      size_t semi = s.find(';', i);
      if (semi != std::string::npos && semi - i <= 10) {
        std::string name = s.substr(i + 1, semi - i - 1);
        unsigned long cp = 0;
        bool ok = false;
        if (name.size() > 1 && name[0] == '#') {
          char* end = nullptr;
          bool hex = name[1] == 'x' || name[1] == 'X';
          cp = strtoul(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
          ok = end && !*end && name.size() > (hex ? 2u : 1u);
        } else {
          for (const auto& [n, v] : kNamed)
            if (name == n) {
              cp = v;
              ok = true;
            }
        }
        if (ok) {
          AppendUtf8(out, cp);
          i = semi + 1;
          continue;
        }
      }
    }
    out += s[i++];
  }
  return out;
}

// Whitespace runs become one space; kLine and kPara mark line and paragraph breaks made by tags.
constexpr char kLine = '\x01';
constexpr char kPara = '\x02';

std::string Collapse(const std::string& s) {
  std::string out;
  bool space = false;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      space = true;
      continue;
    }
    if (space && !out.empty() && c != kLine && c != kPara && out.back() != kLine && out.back() != kPara) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

std::string Lines(const std::string& marked) {
  std::string out;
  int pending = 0;  // 1: a line break, 2: a paragraph break
  for (char c : marked) {
    if (c == kLine || c == kPara) {
      pending = std::max(pending, c == kPara ? 2 : 1);
      continue;
    }
    if (pending && !out.empty()) out += pending == 2 ? "\n\n" : "\n";
    pending = 0;
    if (c == ' ' && (out.empty() || out.back() == '\n')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// The largest N of the "{argument:N}" references in a text (0 for none).
long LargestPart(const std::string& s) {
  long most = 0;
  for (size_t i = s.find("{argument:"); i != std::string::npos; i = s.find("{argument:", i + 1)) {
    char* end = nullptr;
    long n = strtol(s.c_str() + i + 10, &end, 10);
    if (end && *end == '}' && n > most) most = n;
  }
  return most;
}

// "{argument}" is the whole argument, "{argument:N}" its N-th part between ';' (from 1); the last part a page
// uses keeps any further ';', so that a message may hold one.
std::string PutArgument(const std::string& s, const std::string& argument, long parts) {
  std::vector<std::string> split;
  size_t start = 0;
  for (long k = 1; k < parts; ++k) {
    size_t semi = argument.find(';', start);
    if (semi == std::string::npos) break;
    split.push_back(argument.substr(start, semi - start));
    start = semi + 1;
  }
  split.push_back(argument.substr(std::min(start, argument.size())));
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 10, "{argument}") == 0) {
      out += argument;
      i += 10;
      continue;
    }
    if (s.compare(i, 10, "{argument:") == 0) {
      char* end = nullptr;
      long n = strtol(s.c_str() + i + 10, &end, 10);
      if (end && *end == '}' && n >= 1) {
        if (static_cast<size_t>(n) <= split.size()) out += split[static_cast<size_t>(n) - 1];
        i = static_cast<size_t>(end - s.c_str()) + 1;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

struct Tag {
  std::string name;
  bool closing = false;
  std::vector<std::pair<std::string, std::string>> attrs;
  bool Has(const char* n) const {
    for (const auto& a : attrs)
      if (a.first == n) return true;
    return false;
  }
  std::string Get(const char* n) const {
    for (const auto& a : attrs)
      if (a.first == n) return a.second;
    return {};
  }
};

// Reads the tag at html[i] == '<'; returns the index after it.
size_t ReadTag(const std::string& html, size_t i, Tag* tag) {
  size_t j = i + 1;
  if (j < html.size() && html[j] == '/') {
    tag->closing = true;
    ++j;
  }
  size_t start = j;
  while (j < html.size() && (isalnum(static_cast<unsigned char>(html[j])) || html[j] == '-')) ++j;
  tag->name = Lower(html.substr(start, j - start));
  while (j < html.size() && html[j] != '>') {
    if (isspace(static_cast<unsigned char>(html[j])) || html[j] == '/') {
      ++j;
      continue;
    }
    size_t ns = j;
    while (j < html.size() && !isspace(static_cast<unsigned char>(html[j])) && html[j] != '=' && html[j] != '>' &&
           html[j] != '/')
      ++j;
    std::string name = Lower(html.substr(ns, j - ns));
    std::string value;
    while (j < html.size() && isspace(static_cast<unsigned char>(html[j]))) ++j;
    if (j < html.size() && html[j] == '=') {
      ++j;
      while (j < html.size() && isspace(static_cast<unsigned char>(html[j]))) ++j;
      if (j < html.size() && (html[j] == '"' || html[j] == '\'')) {
        char q = html[j++];
        size_t vs = j;
        while (j < html.size() && html[j] != q) ++j;
        value = html.substr(vs, j - vs);
        if (j < html.size()) ++j;
      } else {
        size_t vs = j;
        while (j < html.size() && !isspace(static_cast<unsigned char>(html[j])) && html[j] != '>') ++j;
        value = html.substr(vs, j - vs);
      }
    }
    if (!name.empty()) tag->attrs.emplace_back(name, DecodeEntities(value));
  }
  return j < html.size() ? j + 1 : j;
}

bool Block(const std::string& n) {
  static const char* kBlocks[] = {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "table",
                                  "blockquote", "pre", "hr", "section", "header", "footer", "body"};
  for (const char* b : kBlocks)
    if (n == b) return true;
  return false;
}

bool LoadPage(const std::string& url, std::string* html) {
  std::string lower = Lower(url);
  std::string path = url;
  if (lower.rfind("file://", 0) == 0) {
    path = url.substr(7);
    std::string decoded;
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '%' && i + 2 < path.size() && isxdigit(static_cast<unsigned char>(path[i + 1])) &&
          isxdigit(static_cast<unsigned char>(path[i + 2]))) {
        decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        decoded += path[i];
      }
    }
    path = decoded;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *html = ss.str();
  return static_cast<bool>(in) || in.eof();
}

// ---------------------------------------------------------------------------------------------------------------
// The dialog
// ---------------------------------------------------------------------------------------------------------------
constexpr int kTextId = 100;
constexpr int kIconId = 101;
constexpr int kFirstButton = 1000;
constexpr int kIconSize = 32;

// The standard icon a page names, or nullptr.
LPCSTR PageIconId(const std::string& name) {
  return name == "exclamation" || name == "warning" ? IDI_EXCLAMATION
         : name == "question"                       ? IDI_QUESTION
         : name == "information"                    ? IDI_ASTERISK
         : name == "error"                          ? IDI_HAND
                                                    : nullptr;
}

struct Shown {
  kx::HtmlPage page;
  int chosen = -1;
};

void Layout(HWND dlg, Shown* s) {
  HWND text = GetDlgItem(dlg, kTextId);
  HDC hdc = GetDC(text);
  HGDIOBJ old = SelectObject(hdc, reinterpret_cast<HGDIOBJ>(SendMessage(dlg, WM_GETFONT, 0, 0)));
  RECT tr{0, 0, 360, 0};
  DrawText(hdc, s->page.text.c_str(), -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  std::vector<int> widths;
  int row = 0;
  for (const auto& b : s->page.buttons) {
    SIZE sz{0, 0};
    GetTextExtentPoint32(hdc, b.label.c_str(), static_cast<int>(b.label.size()), &sz);
    widths.push_back(std::max<int>(75, sz.cx + 24));
    row += widths.back() + 6;
  }
  SelectObject(hdc, old);
  ReleaseDC(text, hdc);
  const int m = 12, bh = 23;
  HWND icon = GetDlgItem(dlg, kIconId);
  int iconW = icon ? kIconSize + m : 0;
  int textW = std::max<int>(tr.right, 240), textH = std::max<int>(tr.bottom, 16);
  int contentH = std::max(textH, icon ? kIconSize : 0);
  int clientW = std::max(iconW + textW, row - 6) + 2 * m;
  int rowY = m + contentH + 16;
  int clientH = rowY + bh + m;
  if (icon) SetWindowPos(icon, nullptr, m, m, kIconSize, kIconSize, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(text, nullptr, m + iconW, m + (contentH - textH) / 2, textW, textH, SWP_NOZORDER | SWP_NOACTIVATE);
  int x = clientW - m;
  for (size_t i = s->page.buttons.size(); i-- > 0;) {
    x -= widths[i];
    SetWindowPos(GetDlgItem(dlg, kFirstButton + static_cast<int>(i)), nullptr, x, rowY, widths[i], bh,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    x -= 6;
  }
  kx::SizeAndCenterDialog(dlg, clientW, clientH);
}

INT_PTR PageProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<Shown*>(GetWindowLongPtr(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<Shown*>(lp);
      SetWindowLongPtr(dlg, DWLP_USER, lp);
      if (LPCSTR icon = PageIconId(s->page.icon))
        SendDlgItemMessage(dlg, kIconId, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, icon)), 0);
      Layout(dlg, s);
      for (size_t i = 0; i < s->page.buttons.size(); ++i)
        if (s->page.buttons[i].isDefault) {
          SetFocus(GetDlgItem(dlg, kFirstButton + static_cast<int>(i)));
          return FALSE;
        }
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wp);
      if (s && id >= kFirstButton && id < kFirstButton + static_cast<int>(s->page.buttons.size())) {
        s->chosen = id - kFirstButton;
        EndDialog(dlg, id);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

kx::DialogTemplate PageTemplate(const kx::HtmlPage& page) {
  kx::DialogTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  t.cx = 200;
  t.cy = 60;
  t.title = page.title;
  kx::DialogItemTemplate text;
  text.className = "Static";
  text.text = page.text;
  text.id = kTextId;
  text.style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  t.items.push_back(text);
  if (PageIconId(page.icon)) {
    kx::DialogItemTemplate icon;
    icon.className = "Static";
    icon.id = kIconId;
    icon.style = WS_CHILD | WS_VISIBLE | SS_ICON;
    t.items.push_back(icon);
  }
  bool anyDefault = false;
  for (const auto& b : page.buttons) anyDefault |= b.isDefault;
  for (size_t i = 0; i < page.buttons.size(); ++i) {
    kx::DialogItemTemplate b;
    b.className = "Button";
    b.text = page.buttons[i].label;
    b.id = kFirstButton + static_cast<int>(i);
    bool def = page.buttons[i].isDefault || (!anyDefault && i == 0);
    b.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    t.items.push_back(b);
  }
  return t;
}

std::string ArgumentText(const VARIANT* in) {
  if (!in || in->vt != VT_BSTR || !in->bstrVal) return {};
  return kx::Utf16ToUtf8(in->bstrVal, SysStringLen(in->bstrVal));
}

HRESULT CreateURLMonikerEntry(IMoniker* ctx, LPCWSTR url, IMoniker** out) { return CreateURLMoniker(ctx, url, out); }

const kx::BuiltinExport kMshtml[] = {{"ShowHTMLDialog", 0, reinterpret_cast<void*>(&ShowHTMLDialog)}};
const kx::BuiltinExport kUrlmon[] = {{"CreateURLMoniker", 0, reinterpret_cast<void*>(&CreateURLMonikerEntry)}};
const bool kRegistered = [] {
  kx::RegisterBuiltinModule("MSHTML.DLL", kMshtml, 1);
  kx::RegisterBuiltinModule("URLMON.DLL", kUrlmon, 1);
  return true;
}();

}  // namespace

kx::HtmlPage kx::ParseHtmlPage(const std::string& html, const std::string& argument) {
  HtmlPage page;
  std::string body, title, label;
  HtmlPage::Button current;
  bool inTitle = false, inButton = false;
  for (size_t i = 0; i < html.size();) {
    if (html[i] != '<') {
      size_t next = html.find('<', i);
      std::string run = DecodeEntities(html.substr(i, next == std::string::npos ? std::string::npos : next - i));
      if (inTitle) title += run;
      else if (inButton) label += run;
      else body += run;
      i = next == std::string::npos ? html.size() : next;
      continue;
    }
    if (html.compare(i, 4, "<!--") == 0) {
      size_t end = html.find("-->", i + 4);
      i = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    if (html.compare(i, 2, "<!") == 0 || html.compare(i, 2, "<?") == 0) {
      size_t end = html.find('>', i);
      i = end == std::string::npos ? html.size() : end + 1;
      continue;
    }
    Tag tag;
    i = ReadTag(html, i, &tag);
    const std::string& n = tag.name;
    if (!tag.closing && (n == "script" || n == "style")) {
      size_t end = Lower(html).find("</" + n, i);
      i = end == std::string::npos ? html.size() : html.find('>', end) + 1;
      if (i == 0) i = html.size();
      continue;
    }
    if (n == "title") {
      inTitle = !tag.closing;
    } else if (n == "button") {
      if (!tag.closing) {
        inButton = true;
        label.clear();
        current = HtmlPage::Button{};
        current.hasValue = tag.Has("value");
        current.value = tag.Get("value");
        current.isDefault = tag.Has("autofocus");
      } else if (inButton) {
        inButton = false;
        current.label = Trim(Collapse(label));
        page.buttons.push_back(current);
      }
    } else if (n == "img" && !tag.closing && page.icon.empty()) {
      std::string src = Lower(tag.Get("src"));
      if (src.compare(0, 5, "icon:") == 0) page.icon = src.substr(5);
    } else if (n == "input" && !tag.closing) {
      std::string type = Lower(tag.Get("type"));
      if (type == "button" || type == "submit" || type == "reset") {
        HtmlPage::Button b;
        b.label = tag.Get("value");
        b.value = b.label;
        b.hasValue = true;
        b.isDefault = tag.Has("autofocus");
        page.buttons.push_back(b);
      }
    } else if (!inTitle && !inButton) {
      if (n == "br") body += kLine;
      else if (n == "li" || n == "tr") body += kLine;
      else if (Block(n)) body += kPara;
    }
  }
  page.title = Trim(Collapse(title));
  page.text = Lines(Collapse(body));
  long parts = std::max(LargestPart(page.title), LargestPart(page.text));
  for (const auto& b : page.buttons) parts = std::max({parts, LargestPart(b.label), LargestPart(b.value)});
  page.title = PutArgument(page.title, argument, parts);
  page.text = PutArgument(page.text, argument, parts);
  for (auto& b : page.buttons) {
    b.label = PutArgument(b.label, argument, parts);
    b.value = PutArgument(b.value, argument, parts);
  }
  // A page without buttons can still be closed.
  if (page.buttons.empty()) page.buttons.push_back(HtmlPage::Button{"Close", "", false, true});
  return page;
}

HRESULT CreateURLMoniker(IMoniker*, LPCWSTR szURL, IMoniker** ppmk) {
  if (!ppmk) return E_POINTER;
  *ppmk = nullptr;
  if (!szURL || !*szURL) return MK_E_SYNTAX;
  *ppmk = new UrlMoniker(std::u16string(szURL));
  return S_OK;
}

HRESULT ShowHTMLDialog(HWND hwndParent, IMoniker* pMk, VARIANT* pvarArgIn, LPWSTR, VARIANT* pvarArgOut) {
  if (!pMk) return E_INVALIDARG;
  LPOLESTR name = nullptr;
  HRESULT hr = pMk->GetDisplayName(nullptr, nullptr, &name);
  if (FAILED(hr) || !name) return FAILED(hr) ? hr : E_FAIL;
  std::u16string wide(name);
  CoTaskMemFree(name);
  std::string url = kx::Utf16ToUtf8(wide.data(), wide.size());
  std::string html;
  if (!LoadPage(url, &html)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  Shown shown;
  shown.page = kx::ParseHtmlPage(html, ArgumentText(pvarArgIn));
  kx::DialogTemplate t = PageTemplate(shown.page);
  if (hwndParent && !IsWindow(hwndParent)) hwndParent = nullptr;
  INT_PTR r = DialogBoxIndirectParam(nullptr, &t, hwndParent, &PageProc, reinterpret_cast<LPARAM>(&shown));
  if (r == -1) return E_FAIL;
  if (shown.chosen >= 0 && pvarArgOut) {
    const auto& b = shown.page.buttons[static_cast<size_t>(shown.chosen)];
    if (b.hasValue) {
      std::u16string v = kx::Utf8ToUtf16(b.value.data(), b.value.size());
      VariantClear(pvarArgOut);
      pvarArgOut->vt = VT_BSTR;
      pvarArgOut->bstrVal = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
    }
  }
  return S_OK;
}
