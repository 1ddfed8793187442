#include "enrolment/SoapClient.h"

#include <cstring>

#include "enrolment/Utf8Codec.h"
#include "platform/com/bstr.h"
#include "platform/com/comutil.h"
#include "platform/services/soap.h"

namespace {

std::u16string Wide(LPCSTR text) {
  std::u16string out;
  if (text) DecodeUtf8(text, strlen(text), out);
  return out;
}

std::string Narrow(BSTR s) {
  std::string out;
  if (s) EncodeUtf8(s, SysStringLen(s), out);
  return out;
}

template <class T>
void ReleaseHeld(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

constexpr DWORD kServers = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

}  // namespace

CSoapClient::~CSoapClient() {
  ReleaseHeld(m_pReader);
  ReleaseHeld(m_pDescription);
}

bool CSoapClient::Initialize(LPCSTR address, LPCSTR service, LPCSTR port, LPCSTR portNamespace, LPCSTR product,
                             LPCSTR headerNames, bool headers) {
  m_strService = Wide(service);
  m_strPort = Wide(port);
  m_strPortNamespace = Wide(portNamespace);
  m_strAddress = Wide(address);
  m_strProduct = product ? product : "";

  ISoapServiceDescription* description = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SoapServiceDescription, nullptr, kServers, KX_IIDOF(ISoapServiceDescription),
                              reinterpret_cast<void**>(&description))))
    return false;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  {
    _bstr_t s(m_strService.c_str()), p(m_strPort.c_str()), a(m_strAddress.c_str());
    description->Load(s, p, a, &loaded);
  }
  if (!loaded) {
    description->Release();
    return false;
  }
  ReleaseHeld(m_pDescription);
  m_pDescription = description;

  IDispatch* dispatch = nullptr;
  if (FAILED(m_pDescription->QueryInterface(KX_IIDOF(IDispatch), reinterpret_cast<void**>(&dispatch)))) return false;
  ISoapMessageReader* reader = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SoapMessageReader, nullptr, kServers, KX_IIDOF(ISoapMessageReader),
                              reinterpret_cast<void**>(&reader)))) {
    dispatch->Release();
    return false;
  }
  VARIANT mapping;
  VariantInit(&mapping);
  mapping.vt = VT_ARRAY | VT_UI1;
  mapping.parray = SafeArrayCreateVector(VT_UI1, 0, 0);
  VARIANT_BOOL bound = VARIANT_FALSE;
  {
    _bstr_t s(m_strService.c_str()), p(m_strPort.c_str()), n(m_strPortNamespace.c_str()), empty1(u""), empty2(u"");
    reader->Init(mapping, s, p, n, empty1, empty2, headers ? VARIANT_TRUE : VARIANT_FALSE, dispatch, &bound);
  }
  VariantClear(&mapping);
  dispatch->Release();
  if (!bound) {
    reader->Release();
    return false;
  }
  ReleaseHeld(m_pReader);
  m_pReader = reader;

  BSTR location = nullptr, ns = nullptr;
  VARIANT_BOOL ok = VARIANT_FALSE;
  m_pDescription->GetInfo(&location, &ns, &m_nOperations, &ok);
  m_strLocation = Narrow(location);
  m_strNamespace = Narrow(ns);
  SysFreeString(location);
  SysFreeString(ns);

  // Each piece before a comma is a name, and the rest when it is not empty.
  m_headerNames.clear();
  CString rest = headerNames ? headerNames : "";
  for (int comma; (comma = rest.Find(',')) >= 0; rest = rest.Mid(comma + 1)) m_headerNames.push_back(rest.Left(comma));
  if (!rest.IsEmpty()) m_headerNames.push_back(rest);
  m_bHasHeaderNames = !m_headerNames.empty();
  m_bHeaders = headers;
  return true;
}
