// The zip component's module: one class, served through DllGetClassObject, over the system's zip library.
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/comobject.h"
#include "platform/services/zipcomponent.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/textconv.h"
#include "zip/ZipArchive.h"

namespace {

std::string Text(BSTR s) { return s ? kx::Utf16ToUtf8(s, SysStringLen(s)) : std::string(); }

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A temporary name beside the target, so that the rename over it stays on one file system.
std::string TempBeside(const std::string& path) {
  char temp[MAX_PATH];
  return GetTempFileName(Folder(path).c_str(), "kxz", 0, temp) ? std::string(temp) : std::string();
}

class ZipComponent : public kx::ComObject<ZipComponent, IZipComponentArchive, IZipComponentAdd> {
 public:
  STDMETHODIMP put_ArchivePath(BSTR path) override {
    m_path = Text(path);
    return m_path.empty() ? E_INVALIDARG : S_OK;
  }

  STDMETHODIMP CreateArchive(BSTR path) override {
    std::string target = Text(path);
    if (target.empty()) return E_INVALIDARG;
    std::string temp = TempBeside(target);
    if (temp.empty()) return HRESULT_FROM_WIN32(GetLastError());
    CZipArchive zip;
    HRESULT hr = S_OK;
    try {
      zip.Open(temp.c_str(), CZipArchive::zipCreate);
      zip.Close();
    } catch (CException* e) {
      e->Delete();
      zip.Close(true);
      hr = E_FAIL;
    }
    if (SUCCEEDED(hr) && rename(temp.c_str(), target.c_str()) != 0) hr = E_FAIL;
    unlink(temp.c_str());
    if (SUCCEEDED(hr)) m_path = target;
    return hr;
  }

  STDMETHODIMP AddPath(BSTR path, SHORT option) override {
    if (m_path.empty()) return E_UNEXPECTED;
    if (option < 0 || option > 9) return E_INVALIDARG;
    std::string source = Text(path);
    struct stat st {};
    if (source.empty() || stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(source.c_str(), R_OK))
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // The entry is added to a copy that replaces the zip file once it closed cleanly.
    std::string temp = TempBeside(m_path);
    if (temp.empty()) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = CopyFile(m_path.c_str(), temp.c_str(), FALSE) ? S_OK : E_FAIL;
    if (SUCCEEDED(hr)) {
      CZipArchive zip;
      try {
        zip.Open(temp.c_str(), CZipArchive::zipOpen);
        if (!zip.AddNewFile(source.c_str(), option, false)) hr = E_FAIL;
        zip.Close();
      } catch (CException* e) {
        e->Delete();
        zip.Close(true);
        hr = E_FAIL;
      }
    }
    if (SUCCEEDED(hr) && rename(temp.c_str(), m_path.c_str()) != 0) hr = E_FAIL;
    unlink(temp.c_str());
    return hr;
  }

 private:
  std::string m_path;
};

class Factory : public kx::ComObject<Factory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) ZipComponent;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" KXAPI HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_ZipComponent) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) Factory;
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" KXAPI HRESULT DllCanUnloadNow() { return S_FALSE; }
