// The zip component's module: one class, served through DllGetClassObject, over the system's zip library.
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/comobject.h"
#include "platform/services/classfactory.h"
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
    HRESULT hr = Rewrite(target, CZipArchive::zipCreate, [](CZipArchive&) { return true; });
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
    return Rewrite(m_path, CZipArchive::zipOpen,
                   [&](CZipArchive& zip) { return zip.AddNewFile(source.c_str(), option, false); });
  }

 private:
  // The change is made to a copy beside the zip file (a new archive for zipCreate), which replaces the zip
  // file once it closed cleanly.
  template <class Change>
  static HRESULT Rewrite(const std::string& target, int mode, Change change) {
    std::string temp = TempBeside(target);
    if (temp.empty()) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = mode == CZipArchive::zipCreate || CopyFile(target.c_str(), temp.c_str(), FALSE) ? S_OK : E_FAIL;
    if (SUCCEEDED(hr)) {
      CZipArchive zip;
      try {
        zip.Open(temp.c_str(), mode);
        if (!change(zip)) hr = E_FAIL;
        zip.Close();
      } catch (CException* e) {
        e->Delete();
        zip.Close(true);
        hr = E_FAIL;
      }
    }
    if (SUCCEEDED(hr) && rename(temp.c_str(), target.c_str()) != 0) hr = E_FAIL;
    unlink(temp.c_str());
    return hr;
  }

 private:
  std::string m_path;
};

}  // namespace

extern "C" KXAPI HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_ZipComponent) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) kx::ClassFactoryOf<ZipComponent>;
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" KXAPI HRESULT DllCanUnloadNow() { return S_FALSE; }
