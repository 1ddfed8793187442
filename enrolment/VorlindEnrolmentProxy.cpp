#include "enrolment/VorlindEnrolmentProxy.h"

#include <cstring>
#include <string>

#include "core/SafeArray.h"
#include "enrolment/ProxyAuthSettings.h"
#include "app/TransportSettings.h"
#include "enrolment/Utf8Codec.h"
#include "platform/com/bstr.h"
#include "platform/com/comutil.h"
#include "platform/services/soap.h"
#include "platform/win32/registry.h"

namespace {

// The connection test's probe: four non-zero bytes the service recognises, then a zero byte.
constexpr BYTE kProbe[] = {0x56, 0x43, 0x4E, 0x54, 0x00};

template <class T>
void ReleaseHeld(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// Created as the toolkit's components are: IUnknown first, put into its running state, then the interface.
template <class T>
bool CreateComponent(REFCLSID clsid, T** out) {
  *out = nullptr;
  IUnknown* unknown = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&unknown))))
    return false;
  HRESULT hr = OleRun(unknown);
  if (SUCCEEDED(hr)) hr = unknown->QueryInterface(KX_IIDOF(T), reinterpret_cast<void**>(out));
  unknown->Release();
  if (FAILED(hr)) *out = nullptr;
  return *out != nullptr;
}

// The thread's error description, "" when there is none.
CString ErrorDescription() {
  IErrorInfo* info = nullptr;
  CString text;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description)) && description) {
      std::string utf8;
      EncodeUtf8(description, SysStringLen(description), utf8);
      text = utf8.c_str();
    }
    SysFreeString(description);
    info->Release();
  }
  return text;
}

bool HasScheme(const CString& url) { return url.Find("://") > 0; }

CString Trimmed(CString s) {
  s.TrimLeft();
  s.TrimRight();
  return s;
}

}  // namespace

CVorlindEnrolmentProxy::CVorlindEnrolmentProxy() = default;

CVorlindEnrolmentProxy::~CVorlindEnrolmentProxy() { ReleaseComponents(); }

void CVorlindEnrolmentProxy::ReleaseComponents() {
  ReleaseHeld(m_pParameters);
  ReleaseHeld(m_pTransport);
  ReleaseHeld(m_pEnvelope);
}

CString CVorlindEnrolmentProxy::BuildDescriptionAddress(const CSystemProfile& profile) {
  CString host = Trimmed(profile.Transport_Address_IP);
  return (HasScheme(host) ? host : "http://" + host) + "/wsdl/" + profile.WSDL_File;
}

CString CVorlindEnrolmentProxy::BuildEndpoint(const CSystemProfile& profile) {
  CString base = Trimmed(profile.Transport_Address_Index == 0 ? profile.Transport_Address_URL
                                                               : profile.Transport_Address_IP);
  if (!HasScheme(base)) base = "http://" + base;
  while (base.GetLength() > 0 && base[base.GetLength() - 1] == '/') base = base.Left(base.GetLength() - 1);
  const int hostStart = base.Find("://") + 3;
  int pathStart = base.Find('/', hostStart);
  if (pathStart < 0) pathStart = base.GetLength();
  CString authority = base.Mid(hostStart, pathStart - hostStart);
  // The profile's port is the one that counts: a port written in the address gives way to it.
  const int colon = authority.ReverseFind(':');
  if (colon >= 0 && authority.Find(']') < colon) authority = authority.Left(colon);
  if (profile.Transport_Port != 80) {
    CString port;
    port.Format(":%d", profile.Transport_Port);
    authority += port;
  }
  return base.Left(hostStart) + authority + base.Mid(pathStart) + "/" + profile.WSDL_Service;
}

bool CVorlindEnrolmentProxy::Initialize() {
  m_profile.Load();
  CSoapClient::Initialize(BuildDescriptionAddress(m_profile), m_profile.WSDL_Service, m_profile.WSDL_Port, "",
                          "OfficeTolvex", "", false);
  ReleaseComponents();
  if (!CreateComponent(CLSID_SoapEnvelope, &m_pEnvelope)) return false;
  if (!CreateComponent(CLSID_SoapHttpTransport, &m_pTransport)) {
    ReleaseComponents();
    return false;
  }
  m_pEnvelope->get_Parameters(&m_pParameters);
  return true;
}

bool CVorlindEnrolmentProxy::Call(const char* operation, const char* parameter, const CByteBuffer& argument,
                                  CByteBuffer& answer, CString& error) {
  answer.Free(false);
  if (!m_pEnvelope || !m_pTransport || !m_pParameters) {
    error = "The enrolment service client is not initialised.";
    return false;
  }
  CSafeArray value(argument);
  if (!value.HasArray()) value.CreateOneDim(VT_UI1, 0);
  m_profile.Load();
  const CString endpoint = BuildEndpoint(m_profile);

  m_pEnvelope->SetMethod(_bstr_t(operation), _bstr_t(endpoint));
  VARIANT none;
  VariantInit(&none);
  m_pParameters->Add(_bstr_t(parameter), *value.GetVariant(), none, none, none, none);
  m_pTransport->put_SoapAction(_bstr_t(kServiceNamespace));
  BSTR text = nullptr;
  m_pEnvelope->Serialize(&text);

  // The proxy settings as they are now; no proxy (and no credentials) unless they ask for one.
  CTransportSettings transport(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport");
  transport.Load();
  CString server, user, password;
  if (transport.m_bProxy) {
    server = transport.m_TxAddressIndex == 0 ? transport.m_strURL : transport.m_strIP;
    CProxyAuthSettings auth(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\ProxyAuth");
    auth.Load();
    if (transport.m_bSmartProxy && !auth.m_strPassword.IsEmpty() && !auth.m_strUser.IsEmpty()) {
      user = auth.m_strUser;
      password = auth.m_strPassword;
    }
    if (transport.m_Port == 0 || transport.m_Port > 0xFFFF) {
      SysFreeString(text);
      error.Format("The proxy port %u is not valid.", static_cast<unsigned>(transport.m_Port));
      return false;
    }
  }
  HRESULT hr = m_pTransport->SetProxy(_bstr_t(server), static_cast<USHORT>(server.IsEmpty() ? 0 : transport.m_Port));
  if (SUCCEEDED(hr)) hr = m_pTransport->SetProxyCredentials(_bstr_t(user), _bstr_t(password));
  if (FAILED(hr)) {
    SysFreeString(text);
    error = ErrorDescription();
    return false;
  }

  m_pTransport->Send(_bstr_t(endpoint), text);
  SysFreeString(text);
  VARIANT channel;
  VariantInit(&channel);
  channel.vt = VT_UNKNOWN;
  channel.punkVal = m_pTransport;
  if (FAILED(m_pEnvelope->Parse(channel, _bstr_t("")))) {
    error = ErrorDescription();
    return false;
  }

  ReleaseHeld(m_pParameters);
  m_pEnvelope->get_Parameters(&m_pParameters);
  ISoapParameter* first = nullptr;
  if (!m_pParameters || FAILED(m_pParameters->get_Item(0, &first)) || !first) {
    error = "The enrolment service answered without data.";
    return false;
  }
  VARIANT result;
  VariantInit(&result);
  first->get_Value(&result);
  first->Release();
  // Only a byte array is an answer.
  if (result.vt != (VT_ARRAY | VT_UI1) || !result.parray) {
    VariantClear(&result);
    error = "The enrolment service answered without data.";
    return false;
  }
  CSafeArray bytes(result);
  VariantClear(&result);
  answer = bytes.GetByteBuffer();
  if (answer.GetLength() == 0) error = "The enrolment service answered without data.";
  return answer.GetLength() > 0;
}

bool CVorlindEnrolmentProxy::VerifyConnect(CString& result) {
  CByteBuffer probe(sizeof kProbe, kProbe, false);
  CByteBuffer answer;
  CString error;
  if (Call("VerifyConnect", "bstrSource", probe, answer, error)) return true;
  result = error;
  return false;
}

bool CVorlindEnrolmentProxy::Generate(const CByteBuffer& request, CByteBuffer& result, CString& error) {
  CByteBuffer answer;
  if (!Call("Generate", "varPKCS10", request, answer, error)) return false;
  result = answer;
  return result.GetLength() > 0;
}
