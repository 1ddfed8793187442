#include "platform/mfc/resource.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/mfc/resfile.h"
#include "platform/ui/dlgtemplate.h"
#include "platform/win32/errors.h"
#include "platform/win32/modules.h"

namespace {

const KxResourceTable* TableOf(HMODULE module) {
  auto fn = reinterpret_cast<KxResourceTableFn>(GetProcAddress(module, kx::res::kTableExport));
  if (!fn) return nullptr;
  const KxResourceTable* t = fn();
  if (!t || t->magic != kx::res::kMagic || t->version != kx::res::kVersion) return nullptr;
  return t;
}

// "#123" names a numbered resource, as MAKEINTRESOURCE(123) does.
bool NumberFromName(LPCSTR name, uint32_t* id) {
  if (IS_INTRESOURCE(name)) {
    *id = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (name[0] != '#' || !name[1]) return false;
  char* end = nullptr;
  unsigned long v = strtoul(name + 1, &end, 10);
  if (*end || v > 0xFFFF) return false;
  *id = static_cast<uint32_t>(v);
  return true;
}

int NameCompare(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = toupper(static_cast<unsigned char>(*a)), cb = toupper(static_cast<unsigned char>(*b));
    if (ca != cb || !ca) return ca - cb;
  }
}

// Numbered entries sort before named ones of the same type (id 0 is never a numbered resource).
const KxResourceEntry* FindEntry(const KxResourceTable* t, uint32_t type, LPCSTR name) {
  if (!t || !name) return nullptr;
  uint32_t id = 0;
  bool numbered = NumberFromName(name, &id);
  const KxResourceEntry* begin = t->entries;
  const KxResourceEntry* end = t->entries + t->count;
  auto less = [&](const KxResourceEntry& e) {
    if (e.type != type) return e.type < type;
    if (numbered) return e.name == nullptr && e.id < id;
    if (!e.name) return true;
    return NameCompare(e.name, name) < 0;
  };
  const KxResourceEntry* it = std::partition_point(begin, end, less);
  if (it == end || it->type != type) return nullptr;
  if (numbered ? (it->name || it->id != id) : (!it->name || NameCompare(it->name, name) != 0)) return nullptr;
  return it;
}

uint32_t TypeNumber(LPCSTR type) {
  return IS_INTRESOURCE(type) ? static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(type)) : 0;
}

// Decoded templates stay valid while their bytes do; they are keyed by the bytes' address and size and the id.
using DialogKey = std::tuple<const unsigned char*, uint32_t, uint32_t>;
std::mutex g_dialogLock;
std::map<DialogKey, std::unique_ptr<kx::DialogTemplate>>& Dialogs() {
  static auto* m = new std::map<DialogKey, std::unique_ptr<kx::DialogTemplate>>();
  return *m;
}

class ModuleResources final : public kx::ResourceSource {
 public:
  const kx::DialogTemplate* FindDialog(HINSTANCE module, LPCSTR name) override {
    const KxResourceEntry* e = FindEntry(TableOf(module), 5 /* RT_DIALOG */, name);
    if (!e) return nullptr;
    std::lock_guard<std::mutex> lock(g_dialogLock);
    uint32_t id = e->name ? 0 : e->id;
    DialogKey key{e->data, e->size, id};
    auto it = Dialogs().find(key);
    if (it != Dialogs().end()) return it->second.get();
    auto t = std::make_unique<kx::DialogTemplate>();
    if (!kx::res::DecodeDialog(e->data, e->size, t.get())) return nullptr;
    t->templateId = id;  // a numbered template carries its id
    return (Dialogs()[key] = std::move(t)).get();
  }

  bool LoadImageBytes(HINSTANCE module, LPCSTR name, UINT type, std::string* bytes) override {
    static const uint32_t kTypes[] = {2 /* RT_BITMAP */, 14 /* RT_GROUP_ICON */, 12 /* RT_GROUP_CURSOR */};
    if (type > 2) return false;
    const unsigned char* data;
    size_t size;
    if (!kx::FindResourceBytes(module, name, kTypes[type], &data, &size)) return false;
    bytes->assign(reinterpret_cast<const char*>(data), size);
    return true;
  }
};

ModuleResources g_source;
const bool g_installed = [] {
  kx::SetResourceSource(&g_source);
  return true;
}();

}  // namespace

bool kx::FindResourceBytes(HMODULE module, LPCSTR name, UINT type, const unsigned char** data, size_t* size) {
  const KxResourceEntry* e = FindEntry(TableOf(module), type, name);
  if (!e) return false;
  *data = e->data;
  *size = e->size;
  return true;
}

int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int size) {
  const unsigned char* data;
  size_t len;
  if (!buffer || id > 0xFFFF ||
      !kx::FindResourceBytes(module, MAKEINTRESOURCE(id), 6 /* RT_STRING */, &data, &len)) {
    if (buffer && size > 0) buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  if (size == 0) {
    *reinterpret_cast<const char**>(buffer) = reinterpret_cast<const char*>(data);
    return static_cast<int>(len);
  }
  size_t n = std::min(len, static_cast<size_t>(size > 0 ? size - 1 : 0));
  // A cut inside a UTF-8 sequence would leave half a character.
  if (n < len)
    while (n > 0 && (data[n] & 0xC0) == 0x80) --n;
  std::copy(data, data + n, buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type) {
  const KxResourceTable* t = TableOf(module);
  uint32_t tn = TypeNumber(type);
  const KxResourceEntry* e = tn ? FindEntry(t, tn, name) : nullptr;
  if (!e) {
    SetLastError(t ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<KxResourceEntry*>(e));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (!resource) return nullptr;
  return const_cast<unsigned char*>(reinterpret_cast<const KxResourceEntry*>(resource)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  return resource ? reinterpret_cast<const KxResourceEntry*>(resource)->size : 0;
}
