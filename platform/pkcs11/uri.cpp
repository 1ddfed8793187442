// PKCS#11 URIs (RFC 7512): "pkcs11:" then path attributes separated by ';', values percent-encoded.
#include <cstdio>

#include "platform/pkcs11/pkcs11.h"

namespace kx::p11 {
namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string Encode(const uint8_t* p, size_t n, bool all) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < n; ++i) {
    if (!all && Unreserved(p[i])) {
      out += static_cast<char>(p[i]);
    } else {
      std::snprintf(hex, sizeof hex, "%%%02x", p[i]);
      out += hex;
    }
  }
  return out;
}

std::string Encode(const std::string& s) { return Encode(reinterpret_cast<const uint8_t*>(s.data()), s.size(), false); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Decode(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      *out += in[i];
      continue;
    }
    if (i + 2 >= in.size()) return false;
    int hi = HexValue(in[i + 1]), lo = HexValue(in[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

}  // namespace

std::string FormatUri(const Uri& u) {
  std::string out = "pkcs11:";
  bool first = true;
  auto add = [&](const char* name, const std::string& value) {
    if (value.empty()) return;
    if (!first) out += ';';
    first = false;
    out += name;
    out += '=';
    out += value;
  };
  add("token", Encode(u.token));
  add("manufacturer", Encode(u.manufacturer));
  add("serial", Encode(u.serial));
  add("model", Encode(u.model));
  add("object", Encode(u.object));
  add("id", Encode(u.id.data(), u.id.size(), true));
  add("type", Encode(u.type));
  return out;
}

bool ParseUri(const std::string& text, Uri* out) {
  *out = Uri();
  if (text.compare(0, 7, "pkcs11:") != 0) return false;
  std::string path = text.substr(7);
  size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  size_t at = 0;
  while (at <= path.size() && !path.empty()) {
    size_t end = path.find(';', at);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(at, end - at);
    size_t eq = part.find('=');
    if (eq == std::string::npos) return false;
    std::string name = part.substr(0, eq), value;
    if (!Decode(part.substr(eq + 1), &value)) return false;
    if (name == "token") out->token = value;
    else if (name == "manufacturer") out->manufacturer = value;
    else if (name == "serial") out->serial = value;
    else if (name == "model") out->model = value;
    else if (name == "object") out->object = value;
    else if (name == "id") out->id.assign(value.begin(), value.end());
    else if (name == "type") out->type = value;
    at = end + 1;
    if (end == path.size()) break;
  }
  return true;
}

}  // namespace kx::p11
