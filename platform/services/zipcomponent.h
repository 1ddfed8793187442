// The zip component: a COM class that makes a zip file by name and adds files to it, served by the module
// "KXZipCom.DLL" (over the system's zip library) and registered with the class registry under
// CLSID_ZipComponent. Every change reaches the zip file whole: a failed add leaves it as it was.
#pragma once

#include "platform/com/combase.h"
#include "platform/com/oleauto.h"

KX_DEFINE_GUID(CLSID_ZipComponent, "{BC8FD387-D470-4653-A708-09EE386DE5C3}");

// The archive: names the zip file, and creates it (empty, replacing a file of that name).
struct IZipComponentArchive : IUnknown {
  STDMETHOD(put_ArchivePath)(BSTR path) = 0;
  STDMETHOD(CreateArchive)(BSTR path) = 0;
};
KX_DEFINE_IID(IZipComponentArchive, "8CA3820A-8B68-40DE-BF97-FE02CC35394F");

// Adds one file under its own name (no folder) to the named zip file; option is the compression level,
// 0 (stored) to 9 (smallest). E_UNEXPECTED before a zip file was named, E_INVALIDARG for another option,
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a path that is not a readable file, E_FAIL when the zip file
// cannot be read or written.
struct IZipComponentAdd : IUnknown {
  STDMETHOD(AddPath)(BSTR path, SHORT option) = 0;
};
KX_DEFINE_IID(IZipComponentAdd, "73EA2149-12CD-4237-B56F-EACBB267B677");

// A third interface of the component that callers may hold; this component does not offer it.
KX_DEFINE_GUID(IID_IZipComponentInfo, "{A2CC08AE-ABAC-4B40-97F2-A0043BDE23AA}");

inline constexpr const char* kZipComponentModule = "KXZipCom.DLL";
