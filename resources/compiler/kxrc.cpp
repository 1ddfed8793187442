// kxrc: compiles resource scripts (*.kxr, described in resources/README.md) into a C++ source holding the
// resource table of a library (platform/mfc/resfile.h).
//
//   kxrc -o out.cpp [-d out.d] [-I folder]... script.kxr...
//
// A file a script names is looked for beside the script, then in each -I folder.
// Every error names the script, the line and what is wrong, and no output is written then.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/mfc/resfile.h"
#include "platform/ui/commctrl.h"

namespace {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Resource {
  uint32_t type = 0;
  uint32_t id = 0;
  std::string name;  // named resources only
  std::string data;
  std::string where;  // script:line, for duplicate reports
};

const std::map<std::string, uint32_t>& StyleNames() {
  static const std::map<std::string, uint32_t> names = {
#define KX_STYLE(name, value) {#name, static_cast<uint32_t>(value)},
#include "styles.inc"
#undef KX_STYLE
  };
  return names;
}

const std::map<std::string, int>& IdNames() {
  static const std::map<std::string, int> names = {
      {"IDOK", IDOK},       {"IDCANCEL", IDCANCEL}, {"IDABORT", IDABORT},     {"IDRETRY", IDRETRY},
      {"IDIGNORE", IDIGNORE}, {"IDYES", IDYES},     {"IDNO", IDNO},           {"IDCLOSE", IDCLOSE},
      {"IDHELP", IDHELP},   {"IDC_STATIC", -1},
  };
  return names;
}

// ---- lexing: one statement a line; a line ending in '\' goes on; "#" starts a comment ----
struct Token {
  std::string text;
  bool quoted = false;
};

struct Line {
  std::string file;
  int number = 0;
  std::vector<Token> tokens;
  std::string Where() const { return file + ":" + std::to_string(number); }
};

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += 1 + static_cast<size_t>(extra);
  }
  return true;
}

std::vector<Line> Lex(const std::string& file, const std::string& text) {
  std::vector<Line> lines;
  Line cur{file, 1, {}};
  int lineNo = 1;
  size_t i = 0;
  auto fail = [&](const std::string& what) { throw Error(file + ":" + std::to_string(lineNo) + ": " + what); };
  auto finish = [&] {
    if (!cur.tokens.empty()) lines.push_back(cur);
    cur = Line{file, lineNo + 1, {}};
  };
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') {
      finish();
      ++lineNo;
      ++i;
    } else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
      // continuation
      i += text[i + 1] == '\r' ? 3 : 2;
      ++lineNo;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i;
    } else if (c == '#' && (i + 1 >= text.size() || text[i + 1] == ' ' || text[i + 1] == '\n' ||
                            text[i + 1] == '#' || text[i + 1] == '\r')) {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '"') {
      std::string s;
      ++i;
      for (;;) {
        if (i >= text.size() || text[i] == '\n') fail("unterminated string");
        char d = text[i++];
        if (d == '"') break;
        if (d != '\\') {
          s += d;
          continue;
        }
        if (i >= text.size()) fail("unterminated string");
        char e = text[i++];
        switch (e) {
          case 'n': s += '\n'; break;
          case 't': s += '\t'; break;
          case 'r': s += '\r'; break;
          case '\\': s += '\\'; break;
          case '"': s += '"'; break;
          case 'x': {
            if (i + 2 > text.size() || !isxdigit(static_cast<unsigned char>(text[i])) ||
                !isxdigit(static_cast<unsigned char>(text[i + 1])))
              fail("\\x needs two hex digits");
            s += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
            i += 2;
            break;
          }
          default: fail(std::string("unknown escape \\") + e);
        }
      }
      if (!ValidUtf8(s)) fail("text is not UTF-8");
      cur.tokens.push_back(Token{s, true});
    } else {
      size_t start = i;
      while (i < text.size() && !strchr(" \t\r\n,\"", text[i])) ++i;
      cur.tokens.push_back(Token{text.substr(start, i - start), false});
    }
  }
  finish();
  return lines;
}

// ---- reading statements ----
class Cursor {
 public:
  explicit Cursor(const Line& line) : line_(line) {}
  bool AtEnd() const { return pos_ >= line_.tokens.size(); }
  const Token& Peek() const {
    if (AtEnd()) Fail("more expected");
    return line_.tokens[pos_];
  }
  Token Next() {
    const Token& t = Peek();
    ++pos_;
    return t;
  }
  bool NextIs(const char* word) const { return !AtEnd() && !Peek().quoted && Peek().text == word; }
  std::string Text() {
    Token t = Next();
    if (!t.quoted) Fail("a quoted text expected, not " + t.text);
    // Quoted pieces in a row make one text.
    std::string s = t.text;
    while (!AtEnd() && Peek().quoted) s += Next().text;
    return s;
  }
  long Number() {
    Token t = Next();
    return ParseNumber(t);
  }
  long ParseNumber(const Token& t) const {
    if (t.quoted) Fail("a number expected, not \"" + t.text + "\"");
    const std::string& s = t.text;
    char* end = nullptr;
    errno = 0;
    long v = strtol(s.c_str(), &end, 0);
    if (s.empty() || *end || errno) Fail("a number expected, not " + s);
    return v;
  }
  int Id() {
    Token t = Next();
    auto it = IdNames().find(t.text);
    if (!t.quoted && it != IdNames().end()) return it->second;
    long v = ParseNumber(t);
    if (v < -1 || v > 0xFFFF) Fail("id out of range: " + t.text);
    return static_cast<int>(v);
  }
  short Coord() {
    long v = Number();
    if (v < -32768 || v > 32767) Fail("coordinate out of range");
    return static_cast<short>(v);
  }
  // name | number, joined by '|'; "NOT name" takes bits away. Stops before a token that cannot start a term.
  void Style(uint32_t* style) {
    bool first = true;
    while (!AtEnd()) {
      if (!first) {
        if (!NextIs("|")) return;
        Next();
      }
      first = false;
      bool negate = false;
      if (NextIs("NOT")) {
        Next();
        negate = true;
      }
      Token t = Next();
      uint32_t bits;
      auto it = StyleNames().find(t.text);
      if (!t.quoted && it != StyleNames().end()) bits = it->second;
      else if (!t.quoted && !t.text.empty() && isdigit(static_cast<unsigned char>(t.text[0])))
        bits = static_cast<uint32_t>(strtoul(t.text.c_str(), nullptr, 0));
      else Fail("unknown style " + t.text);
      if (negate) *style &= ~bits;
      else *style |= bits;
    }
  }
  void End() const {
    if (!AtEnd()) Fail("unexpected " + line_.tokens[pos_].text);
  }
  [[noreturn]] void Fail(const std::string& what) const { throw Error(line_.Where() + ": " + what); }

 private:
  const Line& line_;
  size_t pos_ = 0;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void CheckBmp(const std::string& b, const Cursor& c, const std::string& path) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') c.Fail(path + " is not a BMP file");
  uint32_t offBits = Le32(b, 10), headerSize = Le32(b, 14);
  if (headerSize < 40 || offBits < 14 + headerSize || offBits > b.size()) c.Fail(path + ": damaged BMP header");
}

void CheckIco(const std::string& b, const Cursor& c, const std::string& path, int kind) {
  if (b.size() < 22 || b[0] != 0 || b[1] != 0 || b[2] != kind || b[3] != 0 || (b[4] == 0 && b[5] == 0))
    c.Fail(path + (kind == 1 ? " is not an ICO file" : " is not a CUR file"));
}

// A PNG becomes an icon or cursor file with one 32-bit image (colour with alpha, and its AND mask).
std::string PngToIco(const std::string& path, const Cursor& c, int kind, int hotX, int hotY) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    c.Fail("cannot read " + path + " as PNG");
  }
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  if (w < 1 || h < 1 || w > 256 || h > 256) {
    cairo_surface_destroy(s);
    c.Fail(path + ": icons are 1 to 256 pixels a side");
  }
  cairo_surface_flush(s);
  const unsigned char* px = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  int maskStride = ((w + 31) / 32) * 4;
  std::string dib;
  kx::res::Put32(dib, 40);
  kx::res::Put32(dib, static_cast<uint32_t>(w));
  kx::res::Put32(dib, static_cast<uint32_t>(h * 2));
  kx::res::Put16(dib, 1);
  kx::res::Put16(dib, 32);
  for (int k = 0; k < 6; ++k) kx::res::Put32(dib, 0);
  std::string mask(static_cast<size_t>(maskStride) * h, '\0');
  for (int y = h - 1; y >= 0; --y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(px + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x];  // premultiplied ARGB
      uint32_t a = p >> 24;
      auto un = [a](uint32_t v) { return a ? std::min<uint32_t>(255, (v * 255 + a / 2) / a) : 0u; };
      uint32_t r = un((p >> 16) & 0xFF), g = un((p >> 8) & 0xFF), b = un(p & 0xFF);
      dib += static_cast<char>(b);
      dib += static_cast<char>(g);
      dib += static_cast<char>(r);
      dib += static_cast<char>(a);
      if (a == 0) mask[static_cast<size_t>(h - 1 - y) * maskStride + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
  }
  cairo_surface_destroy(s);
  dib += mask;
  std::string ico;
  kx::res::Put16(ico, 0);
  kx::res::Put16(ico, static_cast<uint16_t>(kind));
  kx::res::Put16(ico, 1);
  ico += static_cast<char>(w == 256 ? 0 : w);
  ico += static_cast<char>(h == 256 ? 0 : h);
  ico += '\0';
  ico += '\0';
  kx::res::Put16(ico, static_cast<uint16_t>(kind == 2 ? hotX : 1));
  kx::res::Put16(ico, static_cast<uint16_t>(kind == 2 ? hotY : 32));
  kx::res::Put32(ico, static_cast<uint32_t>(dib.size()));
  kx::res::Put32(ico, 22);
  return ico + dib;
}

bool EndsWithNoCase(const std::string& s, const char* tail) {
  size_t n = strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

bool Exists(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

class Compiler {
 public:
  explicit Compiler(std::vector<std::string> includes) : includes_(std::move(includes)) {}

  void Script(const std::string& path) {
    deps_.push_back(path);
    std::vector<Line> lines = Lex(path, ReadWhole(path));
    for (size_t i = 0; i < lines.size(); ++i) {
      Cursor c(lines[i]);
      std::string word = c.Next().text;
      if (word == "STRINGTABLE") {
        c.End();
        i = Strings(lines, i + 1);
      } else if (word == "DIALOG") {
        i = Dialog(lines, i, c);
      } else if (word == "BITMAP" || word == "ICON" || word == "CURSOR") {
        Image(word, c, DirOf(path), lines[i]);
      } else {
        c.Fail("unknown statement " + word);
      }
    }
  }

  std::string Output() const {
    std::vector<const Resource*> sorted;
    for (const auto& r : resources_) sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
      if (a->type != b->type) return a->type < b->type;
      bool an = !a->name.empty(), bn = !b->name.empty();
      if (an != bn) return !an;
      if (!an) return a->id < b->id;
      return Upper(a->name) < Upper(b->name);
    });
    std::ostringstream out;
    out << "// Generated by kxrc from the resource scripts; edit those instead.\n"
           "#include <cstdint>\n\n"
           "extern \"C\" {\n"
           "struct KxResourceEntry { uint32_t type; uint32_t id; const char* name; const unsigned char* data; "
           "uint32_t size; };\n"
           "struct KxResourceTable { uint32_t magic; uint32_t version; uint32_t count; const KxResourceEntry* "
           "entries; };\n"
           "}\n\nnamespace {\n";
    // Equal contents are stored once.
    std::map<std::string, std::string> arrays;
    std::vector<std::string> names;
    for (const Resource* r : sorted) {
      auto it = arrays.find(r->data);
      if (it == arrays.end()) {
        std::string name = "kData" + std::to_string(arrays.size());
        arrays.emplace(r->data, name);
        out << "const unsigned char " << name << "[] = {";
        for (size_t k = 0; k < r->data.size(); ++k) {
          if (k % 24 == 0) out << "\n ";
          out << static_cast<unsigned>(static_cast<unsigned char>(r->data[k])) << ',';
        }
        if (r->data.empty()) out << "0";
        out << "};\n";
        names.push_back(name);
      } else {
        names.push_back(it->second);
      }
    }
    out << "const KxResourceEntry kEntries[] = {\n";
    for (size_t k = 0; k < sorted.size(); ++k) {
      const Resource* r = sorted[k];
      out << "  {" << r->type << "u, " << r->id << "u, ";
      if (r->name.empty()) out << "nullptr";
      else out << '"' << r->name << '"';
      out << ", " << names[k] << ", " << r->data.size() << "u},\n";
    }
    if (sorted.empty()) out << "  {0u, 0u, nullptr, nullptr, 0u},\n";
    out << "};\n"
        << "const KxResourceTable kTable = {0x" << std::hex << kx::res::kMagic << std::dec << "u, "
        << kx::res::kVersion << "u, " << sorted.size() << "u, kEntries};\n"
        << "}  // namespace\n\n"
        << "extern \"C\" __attribute__((visibility(\"default\"))) const KxResourceTable* " << kx::res::kTableExport
        << "() { return &kTable; }\n";
    return out.str();
  }

  const std::vector<std::string>& Deps() const { return deps_; }

 private:
  static std::string Upper(std::string s) {
    for (auto& ch : s) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    return s;
  }

  void Add(Resource r, const Line& line) {
    r.where = line.Where();
    for (const auto& o : resources_) {
      bool same = o.type == r.type && (r.name.empty() ? o.name.empty() && o.id == r.id : Upper(o.name) == Upper(r.name));
      if (same)
        throw Error(line.Where() + ": resource " + (r.name.empty() ? std::to_string(r.id) : r.name) +
                    " already defined at " + o.where);
    }
    resources_.push_back(std::move(r));
  }

  // The resource's name: a number, or a quoted name.
  static void NameOf(Cursor& c, Resource* r) {
    Token t = c.Next();
    if (t.quoted) {
      if (t.text.empty() || t.text[0] == '#') c.Fail("a resource name may not be empty or start with #");
      r->name = t.text;
      return;
    }
    long v = c.ParseNumber(t);
    if (v < 1 || v > 0xFFFF) c.Fail("resource ids are 1 to 65535");
    r->id = static_cast<uint32_t>(v);
  }

  size_t Strings(const std::vector<Line>& lines, size_t i) {
    for (; i < lines.size(); ++i) {
      Cursor c(lines[i]);
      if (c.NextIs("END")) {
        c.Next();
        c.End();
        return i;
      }
      Resource r;
      r.type = 6;  // RT_STRING
      long id = c.Number();
      if (id < 0 || id > 0xFFFF) c.Fail("string ids are 0 to 65535");
      r.id = static_cast<uint32_t>(id);
      r.data = c.Text();
      c.End();
      Add(std::move(r), lines[i]);
    }
    throw Error(lines.back().Where() + ": STRINGTABLE without END");
  }

  // Defaults of the short control forms: class, style added to WS_CHILD | WS_VISIBLE, and whether the text
  // comes first.
  struct Form {
    const char* cls;
    uint32_t style;
    bool hasText;
  };
  static const std::map<std::string, Form>& Forms() {
    static const std::map<std::string, Form> forms = {
        {"LTEXT", {"Static", SS_LEFT | WS_GROUP, true}},
        {"RTEXT", {"Static", SS_RIGHT | WS_GROUP, true}},
        {"CTEXT", {"Static", SS_CENTER | WS_GROUP, true}},
        {"PUSHBUTTON", {"Button", BS_PUSHBUTTON | WS_TABSTOP, true}},
        {"DEFPUSHBUTTON", {"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true}},
        {"CHECKBOX", {"Button", BS_AUTOCHECKBOX | WS_TABSTOP, true}},
        {"RADIOBUTTON", {"Button", BS_AUTORADIOBUTTON, true}},
        {"GROUPBOX", {"Button", BS_GROUPBOX, true}},
        {"EDITTEXT", {"Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false}},
        {"COMBOBOX", {"ComboBox", WS_TABSTOP, false}},
        {"LISTBOX", {"ListBox", LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, false}},
    };
    return forms;
  }

  size_t Dialog(const std::vector<Line>& lines, size_t i, Cursor& head) {
    Resource r;
    r.type = 5;  // RT_DIALOG
    NameOf(head, &r);
    kx::DialogTemplate t;
    t.style = DS_SETFONT;
    t.x = head.Coord();
    t.y = head.Coord();
    t.cx = head.Coord();
    t.cy = head.Coord();
    head.End();
    const Line& start = lines[i];
    for (++i; i < lines.size(); ++i) {
      Cursor c(lines[i]);
      std::string word = c.Next().text;
      if (word == "END") {
        c.End();
        if (!kx::res::EncodeDialog(t, &r.data)) c.Fail("dialog too large");
        Add(std::move(r), start);
        return i;
      }
      if (word == "STYLE") {
        t.style = 0;
        c.Style(&t.style);
      } else if (word == "EXSTYLE") {
        t.exStyle = 0;
        c.Style(&t.exStyle);
      } else if (word == "CAPTION") {
        t.title = c.Text();
      } else if (word == "CLASS") {
        t.className = c.Text();
      } else if (word == "MENU") {
        t.menu = c.Next().text;
      } else if (word == "FONT") {
        long size = c.Number();
        if (size < 1 || size > 72) c.Fail("font size 1 to 72");
        t.pointSize = static_cast<WORD>(size);
        t.faceName = c.Text();
        if (!c.AtEnd()) t.weight = static_cast<WORD>(c.Number());
        if (!c.AtEnd()) t.italic = static_cast<BYTE>(c.Number() != 0);
        t.style |= DS_SETFONT;
      } else if (word == "CONTROL") {
        // CONTROL "text" id "class" style x y cx cy [exstyle]
        kx::DialogItemTemplate item;
        item.text = c.Text();
        item.id = c.Id();
        item.className = c.Text();
        item.style = WS_CHILD | WS_VISIBLE;
        c.Style(&item.style);
        item.x = c.Coord();
        item.y = c.Coord();
        item.cx = c.Coord();
        item.cy = c.Coord();
        if (!c.AtEnd()) c.Style(&item.exStyle);
        c.End();
        t.items.push_back(std::move(item));
      } else if (auto f = Forms().find(word); f != Forms().end()) {
        // FORM ["text"] id x y cx cy [style] [exstyle]
        kx::DialogItemTemplate item;
        item.className = f->second.cls;
        if (f->second.hasText) item.text = c.Text();
        item.id = c.Id();
        item.x = c.Coord();
        item.y = c.Coord();
        item.cx = c.Coord();
        item.cy = c.Coord();
        item.style = WS_CHILD | WS_VISIBLE | f->second.style;
        if (!c.AtEnd()) c.Style(&item.style);
        if (!c.AtEnd()) c.Style(&item.exStyle);
        c.End();
        t.items.push_back(std::move(item));
      } else {
        c.Fail("unknown dialog statement " + word);
      }
    }
    throw Error(start.Where() + ": DIALOG without END");
  }

  void Image(const std::string& word, Cursor& c, const std::string& dir, const Line& line) {
    Resource r;
    NameOf(c, &r);
    std::string file = c.Text();
    std::string path = file.empty() || file[0] == '/' ? file : dir + "/" + file;
    if (!file.empty() && file[0] != '/' && !Exists(path))
      for (const auto& inc : includes_)
        if (Exists(inc + "/" + file)) {
          path = inc + "/" + file;
          break;
        }
    int hotX = 0, hotY = 0;
    if (word == "CURSOR" && c.NextIs("HOTSPOT")) {
      c.Next();
      hotX = static_cast<int>(c.Number());
      hotY = static_cast<int>(c.Number());
    }
    c.End();
    deps_.push_back(path);
    if (word == "BITMAP") {
      r.type = 2;  // RT_BITMAP
      r.data = ReadWhole(path);
      CheckBmp(r.data, c, path);
    } else {
      int kind = word == "ICON" ? 1 : 2;
      r.type = kind == 1 ? 14u : 12u;  // RT_GROUP_ICON, RT_GROUP_CURSOR
      if (EndsWithNoCase(path, ".png")) {
        r.data = PngToIco(path, c, kind, hotX, hotY);
      } else {
        r.data = ReadWhole(path);
        CheckIco(r.data, c, path, kind);
      }
    }
    Add(std::move(r), line);
  }

  std::vector<std::string> includes_;
  std::vector<Resource> resources_;
  std::vector<std::string> deps_;
};

bool WriteIfChanged(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (in) {
    std::ostringstream ss;
    ss << in.rdbuf();
    if (ss.str() == text) return true;
  }
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out || !(out << text) || !out.flush()) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output, depfile;
  std::vector<std::string> scripts, includes;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) output = argv[++i];
    else if (a == "-d" && i + 1 < argc) depfile = argv[++i];
    else if (a == "-I" && i + 1 < argc) includes.push_back(argv[++i]);
    else if (!a.empty() && a[0] == '-') {
      fprintf(stderr, "kxrc: unknown option %s\n", a.c_str());
      return 2;
    } else scripts.push_back(a);
  }
  if (output.empty() || scripts.empty()) {
    fprintf(stderr, "usage: kxrc -o out.cpp [-d out.d] [-I folder]... script.kxr...\n");
    return 2;
  }
  Compiler compiler(includes);
  try {
    for (const auto& s : scripts) compiler.Script(s);
  } catch (const Error& e) {
    fprintf(stderr, "kxrc: %s\n", e.what());
    return 1;
  }
  if (!WriteIfChanged(output, compiler.Output())) {
    fprintf(stderr, "kxrc: cannot write %s\n", output.c_str());
    return 1;
  }
  if (!depfile.empty()) {
    std::string d = output + ":";
    for (const auto& p : compiler.Deps()) {
      d += " ";
      for (char ch : p) {
        if (ch == ' ') d += '\\';
        d += ch;
      }
    }
    d += "\n";
    if (!WriteIfChanged(depfile, d)) {
      fprintf(stderr, "kxrc: cannot write %s\n", depfile.c_str());
      return 1;
    }
  }
  return 0;
}
