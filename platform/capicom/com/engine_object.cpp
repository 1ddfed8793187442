#include "platform/capicom/com/engine_object.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/win32/textconv.h"

namespace kx::capi {

HRESULT Guard(const std::function<HRESULT()>& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const _com_error& e) {
    return e.Error();
  } catch (...) {
    return Fail(CAPICOM_E_INTERNAL, "internal error");
  }
}

HRESULT Fail(HRESULT hr, const std::string& detail) {
  std::string text = detail;
  if (text.empty()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "The operation failed (0x%08X).", static_cast<unsigned>(hr));
    text = buf;
  }
  std::u16string wide = kx::Utf8ToUtf16(text);
  kx::SetErrorDescription(wide.c_str(), u"CAPICOM");
  return hr;
}

std::string Utf8(BSTR s) { return s ? kx::Utf16ToUtf8(s, SysStringLen(s)) : std::string(); }

Bytes BstrBytes(BSTR s) {
  if (!s) return Bytes();
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s);
  return Bytes(p, p + SysStringByteLen(s));
}

BSTR TextBstr(const std::string& utf8) {
  std::u16string w = kx::Utf8ToUtf16(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

BSTR BytesBstr(const uint8_t* p, size_t n) {
  return SysAllocStringByteLen(reinterpret_cast<const char*>(p), static_cast<UINT>(n));
}

HRESULT EncodeOut(const Bytes& data, LONG encoding, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (encoding == CAPICOM_ENCODE_BINARY) {
    *out = BytesBstr(data);
  } else if (encoding == CAPICOM_ENCODE_BASE64) {
    *out = TextBstr(Base64Encode(data.data(), data.size()));
  } else {
    return Fail(CAPICOM_E_ENCODE_INVALID_TYPE, "invalid encoding type");
  }
  return *out ? S_OK : E_OUTOFMEMORY;
}

void DispatchVariant(IDispatch* p, VARIANT* out) {
  VariantInit(out);
  out->vt = VT_DISPATCH;
  out->pdispVal = p;
  if (p) p->AddRef();
}

long VariantIndex(const VARIANT& v) {
  VARIANT n;
  VariantInit(&n);
  long index = -1;
  if (v.vt != VT_BSTR && SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) index = n.lVal;
  VariantClear(&n);
  return index;
}

namespace {

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}

std::vector<std::pair<CLSID, ClassCreator>>& Table() {
  static auto* t = new std::vector<std::pair<CLSID, ClassCreator>>();
  return *t;
}

class Factory : public kx::ComObject<Factory, IClassFactory> {
 public:
  explicit Factory(ClassCreator create) : m_create(create) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Guard([&] { return m_create(riid, ppv); });
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  ClassCreator m_create;
};

}  // namespace

bool RegisterEngineClass(const CLSID& clsid, ClassCreator create) {
  std::lock_guard<std::mutex> lock(TableMutex());
  Table().emplace_back(clsid, create);
  return true;
}

}  // namespace kx::capi

// The module's entries for the class registry.
extern "C" KXAPI HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  kx::capi::ClassCreator create = nullptr;
  {
    std::lock_guard<std::mutex> lock(kx::capi::TableMutex());
    for (auto& [clsid, c] : kx::capi::Table())
      if (clsid == rclsid) create = c;
  }
  if (!create) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) kx::capi::Factory(create);
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

// The engine keeps no state that would make unloading safe while objects may live: stay loaded.
extern "C" KXAPI HRESULT DllCanUnloadNow() { return S_FALSE; }
