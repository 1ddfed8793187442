// The compiled form of a resource library: the table a library built from resources/ exports, and the byte
// form of its dialog templates. The resource compiler writes it; the resource loader reads it.
//
// A module that carries resources exports the C function "KxResources" returning its table. Entries are
// sorted by type, then by id (numbered resources) or name (named ones, id 0), so a loader can search them.
//
// Dialog bytes (little-endian; a string is a 16-bit length and that many UTF-8 bytes):
//   "KXDL", u32 style, u32 exStyle, i16 x, y, cx, cy, u16 pointSize, u16 weight, u8 italic, u8 charSet,
//   str menu, str className, str title, str faceName, u16 item count, then per item:
//   u32 style, u32 exStyle, i16 x, y, cx, cy, i32 id, str className, str text, u16 length + creation bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/ui/dlgtemplate.h"

extern "C" {

struct KxResourceEntry {
  uint32_t type;  // RT_BITMAP, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_GROUP_CURSOR, ...
  uint32_t id;    // 0 for a named resource
  const char* name;  // null for a numbered resource
  const unsigned char* data;
  uint32_t size;
};

struct KxResourceTable {
  uint32_t magic;  // kKxResourceMagic
  uint32_t version;
  uint32_t count;
  const KxResourceEntry* entries;
};

using KxResourceTableFn = const KxResourceTable* (*)();
}

namespace kx::res {

constexpr uint32_t kMagic = 0x5358524B;  // "KRXS"
constexpr uint32_t kVersion = 1;
constexpr const char* kTableExport = "KxResources";

// ---- writing ----
inline void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
inline void PutStr(std::string& out, const std::string& s) {
  Put16(out, static_cast<uint16_t>(s.size()));
  out += s;
}

// Serialises a template; false when a string or the item list is too long for the format.
inline bool EncodeDialog(const DialogTemplate& t, std::string* out) {
  auto fits = [](const std::string& s) { return s.size() <= 0xFFFF; };
  if (!fits(t.menu) || !fits(t.className) || !fits(t.title) || !fits(t.faceName) || t.items.size() > 0xFFFF)
    return false;
  std::string b = "KXDL";
  Put32(b, t.style);
  Put32(b, t.exStyle);
  for (short v : {t.x, t.y, t.cx, t.cy}) Put16(b, static_cast<uint16_t>(v));
  Put16(b, t.pointSize);
  Put16(b, t.weight);
  b += static_cast<char>(t.italic);
  b += static_cast<char>(t.charSet);
  PutStr(b, t.menu);
  PutStr(b, t.className);
  PutStr(b, t.title);
  PutStr(b, t.faceName);
  Put16(b, static_cast<uint16_t>(t.items.size()));
  for (const DialogItemTemplate& i : t.items) {
    if (!fits(i.className) || !fits(i.text) || i.creationData.size() > 0xFFFF) return false;
    Put32(b, i.style);
    Put32(b, i.exStyle);
    for (short v : {i.x, i.y, i.cx, i.cy}) Put16(b, static_cast<uint16_t>(v));
    Put32(b, static_cast<uint32_t>(i.id));
    PutStr(b, i.className);
    PutStr(b, i.text);
    Put16(b, static_cast<uint16_t>(i.creationData.size()));
    b.append(reinterpret_cast<const char*>(i.creationData.data()), i.creationData.size());
  }
  *out = std::move(b);
  return true;
}

// ---- reading ----
class Reader {
 public:
  Reader(const unsigned char* p, size_t n) : p_(p), n_(n) {}
  bool Bytes(size_t count, const unsigned char** at) {
    if (count > n_ - pos_) return false;
    *at = p_ + pos_;
    pos_ += count;
    return true;
  }
  bool U8(uint8_t* v) {
    const unsigned char* a;
    if (!Bytes(1, &a)) return false;
    *v = a[0];
    return true;
  }
  bool U16(uint16_t* v) {
    const unsigned char* a;
    if (!Bytes(2, &a)) return false;
    *v = static_cast<uint16_t>(a[0] | (a[1] << 8));
    return true;
  }
  bool U32(uint32_t* v) {
    uint16_t lo, hi;
    if (!U16(&lo) || !U16(&hi)) return false;
    *v = lo | (static_cast<uint32_t>(hi) << 16);
    return true;
  }
  bool I16(short* v) {
    uint16_t u;
    if (!U16(&u)) return false;
    *v = static_cast<short>(u);
    return true;
  }
  bool Str(std::string* s) {
    uint16_t len;
    const unsigned char* a;
    if (!U16(&len) || !Bytes(len, &a)) return false;
    s->assign(reinterpret_cast<const char*>(a), len);
    return true;
  }
  bool AtEnd() const { return pos_ == n_; }

 private:
  const unsigned char* p_;
  size_t n_;
  size_t pos_ = 0;
};

// Reads a serialised template; false for bytes that are not one (nothing is trusted).
inline bool DecodeDialog(const unsigned char* data, size_t size, DialogTemplate* out) {
  Reader r(data, size);
  const unsigned char* magic;
  if (!r.Bytes(4, &magic) || std::memcmp(magic, "KXDL", 4) != 0) return false;
  DialogTemplate t;
  uint32_t style, ex;
  uint8_t italic, charSet;
  uint16_t count;
  if (!r.U32(&style) || !r.U32(&ex) || !r.I16(&t.x) || !r.I16(&t.y) || !r.I16(&t.cx) || !r.I16(&t.cy) ||
      !r.U16(&t.pointSize) || !r.U16(&t.weight) || !r.U8(&italic) || !r.U8(&charSet) || !r.Str(&t.menu) ||
      !r.Str(&t.className) || !r.Str(&t.title) || !r.Str(&t.faceName) || !r.U16(&count))
    return false;
  t.style = style;
  t.exStyle = ex;
  t.italic = italic;
  t.charSet = charSet;
  for (uint16_t k = 0; k < count; ++k) {
    DialogItemTemplate i;
    uint32_t is, ie, id;
    uint16_t extra;
    const unsigned char* bytes;
    if (!r.U32(&is) || !r.U32(&ie) || !r.I16(&i.x) || !r.I16(&i.y) || !r.I16(&i.cx) || !r.I16(&i.cy) ||
        !r.U32(&id) || !r.Str(&i.className) || !r.Str(&i.text) || !r.U16(&extra) || !r.Bytes(extra, &bytes))
      return false;
    i.style = is;
    i.exStyle = ie;
    i.id = static_cast<int>(id);
    i.creationData.assign(bytes, bytes + extra);
    t.items.push_back(std::move(i));
  }
  if (!r.AtEnd()) return false;
  *out = std::move(t);
  return true;
}

}  // namespace kx::res
