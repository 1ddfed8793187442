#include "platform/services/soap.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/comobject.h"
#include "platform/services/classfactory.h"
#include "platform/services/http.h"
#include "platform/win32/textconv.h"

namespace {

constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kWsdl = "http://schemas.xmlsoap.org/wsdl/";
constexpr const char* kWsdlSoap = "http://schemas.xmlsoap.org/wsdl/soap/";

std::string Text(BSTR s) { return s ? kx::Utf16ToUtf8(s, SysStringLen(s)) : std::string(); }

BSTR MakeBstr(const std::string& utf8) {
  std::u16string wide = kx::Utf8ToUtf16(utf8);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

HRESULT Fail(HRESULT hr, const std::string& description) {
  std::u16string text = kx::Utf8ToUtf16(description);
  kx::SetErrorDescription(text.c_str());
  return hr;
}

// ---- base64 (RFC 4648, no line breaks written; white space ignored when read)

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const unsigned char* p, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    uint32_t v = p[i] << 16 | (i + 1 < n ? p[i + 1] << 8 : 0) | (i + 2 < n ? p[i + 2] : 0);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < n ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < n ? kAlphabet[v & 63] : '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::vector<unsigned char>& out) {
  out.clear();
  uint32_t v = 0;
  int bits = 0, pad = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    const char* at = c ? strchr(kAlphabet, c) : nullptr;
    if (!at || pad) return false;
    v = v << 6 | static_cast<uint32_t>(at - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<unsigned char>(v >> bits));
    }
  }
  // Whole quanta only: the padding matches what is left over, and the left-over bits are zero.
  const size_t symbols = out.size() * 8 / 6 + (bits ? 1 : 0);
  return (symbols + pad) % 4 == 0 && pad <= 2 && (v & ((1u << bits) - 1)) == 0;
}

// ---- XML text

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

// An element name without a prefix: letters, digits, "_", "-" and ".", not starting with a digit, "-" or ".".
bool IsPlainName(const std::string& s) {
  if (s.empty() || strchr("0123456789-.", s[0])) return false;
  for (unsigned char c : s)
    if (!(isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80)) return false;
  return true;
}

bool Is(const xmlNode* n, const char* ns, const char* name) {
  return n && n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST name) &&
         (ns ? n->ns && xmlStrEqual(n->ns->href, BAD_CAST ns) : true);
}

const xmlNode* FirstElement(const xmlNode* parent) {
  for (const xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
    if (n->type == XML_ELEMENT_NODE) return n;
  return nullptr;
}

const xmlNode* Child(const xmlNode* parent, const char* ns, const char* name) {
  for (const xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
    if (Is(n, ns, name)) return n;
  return nullptr;
}

std::string Content(const xmlNode* n) {
  if (!n) return {};
  xmlChar* c = xmlNodeGetContent(n);
  std::string s = c ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return s;
}

std::string Attribute(const xmlNode* n, const char* name, const char* ns = nullptr) {
  xmlChar* v = ns ? xmlGetNsProp(n, BAD_CAST name, BAD_CAST ns) : xmlGetNoNsProp(n, BAD_CAST name);
  std::string s = v ? reinterpret_cast<const char*>(v) : "";
  xmlFree(v);
  return s;
}

std::string LocalPart(const std::string& qname) {
  size_t colon = qname.find(':');
  return colon == std::string::npos ? qname : qname.substr(colon + 1);
}

// A parsed document that frees itself; a DTD is refused (SOAP forbids it, and it could only cost).
class Document {
 public:
  bool Parse(const std::string& bytes, const std::string& encoding, std::string& error) {
    // The library's global state is set up once, before any thread parses.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
      error = "out of memory";
      return false;
    }
    m_doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), "answer.xml",
                              encoding.empty() ? nullptr : encoding.c_str(), XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                                                 XML_PARSE_NOWARNING);
    if (!m_doc) {
      const xmlError* e = xmlCtxtGetLastError(ctxt);
      error = e && e->message ? e->message : "not XML";
      while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    } else if (m_doc->intSubset || m_doc->extSubset) {
      error = "a document type declaration is not allowed";
      xmlFreeDoc(m_doc);
      m_doc = nullptr;
    }
    xmlFreeParserCtxt(ctxt);
    return m_doc != nullptr;
  }
  ~Document() {
    if (m_doc) xmlFreeDoc(m_doc);
  }
  const xmlNode* Root() const { return m_doc ? xmlDocGetRootElement(m_doc) : nullptr; }

 private:
  xmlDocPtr m_doc = nullptr;
};

// ---- components

class Parameter : public kx::ComObject<Parameter, ISoapParameter> {
 public:
  Parameter(std::string name, const VARIANT& value) : m_name(std::move(name)) {
    VariantInit(&m_value);
    VariantCopy(&m_value, &value);
  }
  ~Parameter() override { VariantClear(&m_value); }
  STDMETHODIMP get_Name(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = MakeBstr(m_name);
    return S_OK;
  }
  STDMETHODIMP get_Value(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return VariantCopy(value, &m_value);
  }

 private:
  std::string m_name;
  VARIANT m_value;
};

struct Entry {
  std::string name;
  VARIANT value;
};

class ParameterList : public kx::ComObject<ParameterList, ISoapParameters> {
 public:
  ~ParameterList() override { Clear(); }
  STDMETHODIMP get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(m_entries.size());
    return S_OK;
  }
  STDMETHODIMP get_Item(LONG index, ISoapParameter** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) return DISP_E_BADINDEX;
    auto* p = new (std::nothrow) Parameter(m_entries[index].name, m_entries[index].value);
    if (!p) return E_OUTOFMEMORY;
    *item = p;
    return S_OK;
  }
  STDMETHODIMP Add(BSTR name, VARIANT value, VARIANT, VARIANT, VARIANT, VARIANT) override {
    std::string n = Text(name);
    if (!IsPlainName(n)) return Fail(E_INVALIDARG, "a parameter name must be a plain XML name");
    Entry e{n, {}};
    VariantInit(&e.value);
    HRESULT hr = VariantCopy(&e.value, &value);
    if (FAILED(hr)) return hr;
    m_entries.push_back(e);
    return S_OK;
  }
  void Clear() {
    for (Entry& e : m_entries) VariantClear(&e.value);
    m_entries.clear();
  }
  void Append(const std::string& name, VARIANT& value) {  // takes the value over
    m_entries.push_back({name, value});
    VariantInit(&value);
  }
  const std::vector<Entry>& Entries() const { return m_entries; }

 private:
  std::vector<Entry> m_entries;
};

// One parameter's element; DISP_E_TYPEMISMATCH for a type the call cannot carry.
HRESULT WriteParameter(const Entry& e, std::string& out) {
  const VARIANT& v = e.value;
  std::string type, text;
  if (v.vt == (VT_ARRAY | VT_UI1)) {
    SAFEARRAY* psa = v.parray;
    if (!psa || SafeArrayGetDim(psa) != 1) return DISP_E_TYPEMISMATCH;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(psa, 1, &lo);
    SafeArrayGetUBound(psa, 1, &hi);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) return DISP_E_TYPEMISMATCH;
    text = Base64Encode(static_cast<const unsigned char*>(data), hi >= lo ? static_cast<size_t>(hi - lo + 1) : 0);
    SafeArrayUnaccessData(psa);
    type = "SOAP-ENC:base64";
  } else if (v.vt == VT_BSTR) {
    type = "xsd:string";
    text = Escape(Text(v.bstrVal));
  } else if (v.vt == VT_I4 || v.vt == VT_I2 || v.vt == VT_UI2 || v.vt == VT_UI1) {
    VARIANT n;
    VariantInit(&n);
    VariantChangeType(&n, &v, 0, VT_I4);
    type = "xsd:int";
    text = std::to_string(n.lVal);
  } else if (v.vt == VT_BOOL) {
    type = "xsd:boolean";
    text = v.boolVal ? "true" : "false";
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  out += "   <" + e.name + " xsi:type=\"" + type + "\">" + text + "</" + e.name + ">\n";
  return S_OK;
}

// A result's value: base64 (or untyped) text becomes a byte array, other types stay text.
void ReadValue(const xmlNode* n, VARIANT& out) {
  VariantInit(&out);
  std::string type = LocalPart(Attribute(n, "type", kSchemaInstance));
  std::string text = Content(n);
  if (type.empty() || type == "base64" || type == "base64Binary") {
    std::vector<unsigned char> bytes;
    if (!Base64Decode(text, bytes)) return;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    if (!psa || FAILED(SafeArrayAccessData(psa, &data))) {
      if (psa) SafeArrayDestroy(psa);
      return;
    }
    if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(psa);
    out.vt = VT_ARRAY | VT_UI1;
    out.parray = psa;
  } else {
    out.vt = VT_BSTR;
    out.bstrVal = MakeBstr(text);
  }
}

class Envelope : public kx::ComObject<Envelope, ISoapEnvelope> {
 public:
  Envelope() : m_list(new ParameterList) {}
  ~Envelope() override { m_list->Release(); }

  STDMETHODIMP SetMethod(BSTR name, BSTR methodNamespace) override {
    std::string n = Text(name);
    if (!IsPlainName(n)) return Fail(E_INVALIDARG, "a method name must be a plain XML name");
    m_method = n;
    m_namespace = Text(methodNamespace);
    m_list->Clear();
    return S_OK;
  }

  STDMETHODIMP Serialize(BSTR* text) override {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (m_method.empty()) return Fail(E_UNEXPECTED, "no method was set");
    std::string body;
    for (const Entry& e : m_list->Entries()) {
      HRESULT hr = WriteParameter(e, body);
      if (FAILED(hr)) return Fail(hr, "parameter " + e.name + " has a type the call cannot carry");
    }
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
                      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + kSoapEnvelopeNamespace + "\" xmlns:SOAP-ENC=\"" +
                      kSoapEncodingNamespace + "\" xmlns:xsi=\"" + kSchemaInstance +
                      "\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" SOAP-ENV:encodingStyle=\"" +
                      kSoapEncodingNamespace + "\">\n <SOAP-ENV:Body>\n  <m:" + m_method + " xmlns:m=\"" +
                      Escape(m_namespace) + "\">\n" + body + "  </m:" + m_method + ">\n </SOAP-ENV:Body>\n" +
                      "</SOAP-ENV:Envelope>\n";
    *text = MakeBstr(xml);
    return *text ? S_OK : E_OUTOFMEMORY;
  }

  STDMETHODIMP Parse(VARIANT transport, BSTR encoding) override {
    ISoapHttpTransport* http = nullptr;
    IUnknown* unknown = transport.vt == VT_UNKNOWN || transport.vt == VT_DISPATCH ? transport.punkVal : nullptr;
    if (!unknown || FAILED(unknown->QueryInterface(KX_IIDOF(ISoapHttpTransport), reinterpret_cast<void**>(&http))))
      return Fail(E_INVALIDARG, "no transport to read the answer from");
    BSTR body = nullptr, type = nullptr, failure = nullptr;
    LONG status = 0;
    HRESULT hr = http->GetResponse(&body, &status, &type, &failure);
    http->Release();
    if (FAILED(hr)) return Fail(hr, "nothing was sent");
    std::string bytes(reinterpret_cast<const char*>(body), SysStringByteLen(body));
    std::string why = Text(failure);
    SysFreeString(body);
    SysFreeString(type);
    SysFreeString(failure);
    m_list->Clear();
    if (!why.empty()) return Fail(status ? HttpCode(status) : E_FAIL, why);
    return ReadAnswer(bytes, Text(encoding), status);
  }

  STDMETHODIMP get_Parameters(ISoapParameters** list) override {
    if (!list) return E_POINTER;
    m_list->AddRef();
    *list = m_list;
    return S_OK;
  }

 private:
  static HRESULT HttpCode(LONG status) { return MAKE_HRESULT(1, 25, status & 0xFFFF); }

  HRESULT ReadAnswer(const std::string& bytes, const std::string& encoding, LONG status) {
    const bool ok = status >= 200 && status < 300;
    Document doc;
    std::string error;
    const bool parsed = !bytes.empty() && doc.Parse(bytes, encoding, error);
    const xmlNode* root = parsed ? doc.Root() : nullptr;
    const xmlNode* body = Is(root, kSoapEnvelopeNamespace, "Envelope") ? Child(root, kSoapEnvelopeNamespace, "Body")
                                                                       : nullptr;
    if (const xmlNode* fault = Child(body, kSoapEnvelopeNamespace, "Fault")) {
      std::string text = Content(Child(fault, nullptr, "faultstring"));
      std::string code = Content(Child(fault, nullptr, "faultcode"));
      if (text.empty()) text = "the service reported a fault";
      return Fail(E_FAIL, code.empty() ? text : text + " (" + code + ")");
    }
    if (!ok) return Fail(HttpCode(status), "HTTP status " + std::to_string(status));
    if (!parsed) return Fail(E_FAIL, error.empty() ? "the answer is empty" : error);
    if (!body) return Fail(E_FAIL, "the answer is not a SOAP envelope");
    const xmlNode* response = FirstElement(body);
    for (const xmlNode* n = response ? response->children : nullptr; n; n = n->next) {
      if (n->type != XML_ELEMENT_NODE) continue;
      VARIANT value;
      ReadValue(n, value);
      m_list->Append(reinterpret_cast<const char*>(n->name), value);
    }
    return S_OK;
  }

  ParameterList* m_list;
  std::string m_method;
  std::string m_namespace;
};

class HttpTransport : public kx::ComObject<HttpTransport, ISoapHttpTransport> {
 public:
  STDMETHODIMP Send(BSTR endpoint, BSTR text) override {
    kx::HttpRequest request;
    request.method = "POST";
    request.url = Text(endpoint);
    request.contentType = "text/xml; charset=\"UTF-8\"";
    request.body = Text(text);
    request.headers.emplace_back("SOAPAction", "\"" + m_action + "\"");
    request.connectTimeoutMs = 10000;
    request.timeoutMs = 60000;
    request.proxy.mode = m_proxy.empty() ? kx::HttpProxyMode::Direct : kx::HttpProxyMode::Explicit;
    request.proxy.url = m_proxy;
    request.proxy.user = m_user;
    request.proxy.password = m_password;
    m_response = kx::HttpSend(request);
    m_sent = true;
    return m_response.error == kx::HttpError::None ? S_OK : kx::HttpResultCode(m_response);
  }
  STDMETHODIMP put_SoapAction(BSTR uri) override {
    std::string action = Text(uri);
    if (action.find_first_of("\"\r\n") != std::string::npos) return Fail(E_INVALIDARG, "the action is not valid");
    m_action = action;
    return S_OK;
  }
  STDMETHODIMP SetProxy(BSTR server, USHORT port) override {
    std::string host = Text(server);
    if (host.empty()) {
      m_proxy.clear();
      return S_OK;
    }
    for (const char* scheme : {"http://", "HTTP://"})
      if (host.rfind(scheme, 0) == 0) host.erase(0, strlen(scheme));
    size_t end = host.find('/');
    if (end != std::string::npos) host.resize(end);
    if (host.empty() || port == 0 || host.find_first_of(" \t\r\n@:") != std::string::npos)
      return Fail(E_INVALIDARG, "the proxy server \"" + Text(server) + "\" is not valid");
    m_proxy = "http://" + host + ":" + std::to_string(port);
    return S_OK;
  }
  STDMETHODIMP SetProxyCredentials(BSTR user, BSTR password) override {
    m_user = Text(user);
    m_password = Text(password);
    return S_OK;
  }
  STDMETHODIMP GetResponse(BSTR* body, LONG* status, BSTR* contentType, BSTR* failure) override {
    if (!body || !status || !contentType || !failure) return E_POINTER;
    if (!m_sent) return E_UNEXPECTED;
    const std::string& b = m_response.body;
    *body = SysAllocStringByteLen(b.data(), static_cast<UINT>(b.size()));
    *status = m_response.status;
    *contentType = MakeBstr(m_response.contentType);
    *failure = MakeBstr(m_response.error == kx::HttpError::None ? std::string() : m_response.errorText);
    return S_OK;
  }

 private:
  std::string m_action;
  std::string m_proxy;
  std::string m_user;
  std::string m_password;
  kx::HttpResponse m_response;
  bool m_sent = false;
};

class ServiceDescription : public kx::ComObject<ServiceDescription, ISoapServiceDescription, IDispatch> {
 public:
  STDMETHODIMP Load(BSTR service, BSTR port, BSTR address, VARIANT_BOOL* loaded) override {
    if (!loaded) return E_POINTER;
    *loaded = VARIANT_FALSE;
    m_portFound = m_bindingFound = false;
    m_location.clear();
    m_namespace.clear();
    m_operations = 0;
    kx::HttpRequest options;
    options.proxy.mode = kx::HttpProxyMode::Direct;
    options.connectTimeoutMs = 5000;
    options.timeoutMs = 10000;
    kx::HttpResponse r = kx::HttpGet(Text(address), options);
    if (!r.Ok()) return S_OK;
    Document doc;
    std::string error;
    if (!doc.Parse(r.body, "", error)) return S_OK;
    const xmlNode* root = doc.Root();
    if (!Is(root, kWsdl, "definitions")) return S_OK;
    m_namespace = Attribute(root, "targetNamespace");
    const std::string serviceName = Text(service), portName = Text(port);
    std::string binding;
    for (const xmlNode* s = root->children; s && !m_portFound; s = s->next) {
      if (!Is(s, kWsdl, "service") || Attribute(s, "name") != serviceName) continue;
      for (const xmlNode* p = s->children; p; p = p->next) {
        if (!Is(p, kWsdl, "port") || Attribute(p, "name") != portName) continue;
        m_portFound = true;
        binding = LocalPart(Attribute(p, "binding"));
        m_location = Attribute(Child(p, kWsdlSoap, "address"), "location");
        break;
      }
    }
    for (const xmlNode* b = root->children; b && m_portFound; b = b->next) {
      if (!Is(b, kWsdl, "binding") || Attribute(b, "name") != binding) continue;
      m_bindingFound = true;
      for (const xmlNode* o = b->children; o; o = o->next) m_operations += Is(o, kWsdl, "operation") ? 1 : 0;
      break;
    }
    *loaded = m_portFound ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  STDMETHODIMP GetInfo(BSTR* location, BSTR* targetNamespace, LONG* operations, VARIANT_BOOL* ok) override {
    if (!location || !targetNamespace || !operations || !ok) return E_POINTER;
    *location = MakeBstr(m_location);
    *targetNamespace = MakeBstr(m_namespace);
    *operations = m_operations;
    *ok = m_portFound && m_bindingFound ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  // The description is reached through IDispatch by the reader only; it offers no members by name.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  bool m_portFound = false;
  bool m_bindingFound = false;
  std::string m_location;
  std::string m_namespace;
  LONG m_operations = 0;
};

class MessageReader : public kx::ComObject<MessageReader, ISoapMessageReader> {
 public:
  STDMETHODIMP Init(VARIANT, BSTR, BSTR, BSTR, BSTR, BSTR, VARIANT_BOOL, IDispatch* description,
                    VARIANT_BOOL* ok) override {
    if (!ok) return E_POINTER;
    *ok = VARIANT_FALSE;
    ISoapServiceDescription* loader = nullptr;
    if (!description || FAILED(description->QueryInterface(KX_IIDOF(ISoapServiceDescription),
                                                            reinterpret_cast<void**>(&loader))))
      return S_OK;
    BSTR location = nullptr, ns = nullptr;
    LONG operations = 0;
    loader->GetInfo(&location, &ns, &operations, ok);
    SysFreeString(location);
    SysFreeString(ns);
    loader->Release();
    return S_OK;
  }
};

template <class T>
void Register(REFCLSID clsid) {
  auto* factory = new kx::ClassFactoryOf<T>;
  kx::RegisterClassFactory(clsid, factory);
  factory->Release();
}

const bool kRegistered = [] {
  Register<Envelope>(CLSID_SoapEnvelope);
  Register<HttpTransport>(CLSID_SoapHttpTransport);
  Register<ServiceDescription>(CLSID_SoapServiceDescription);
  Register<MessageReader>(CLSID_SoapMessageReader);
  return true;
}();

}  // namespace
