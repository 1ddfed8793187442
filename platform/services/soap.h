// SOAP 1.1 over HTTP, as four components registered with the class registry (classes of the platform): an
// envelope that builds a call and reads its answer, an HTTP transport that carries it, a service-description
// loader and a message reader bound to it.
//
// The call is RPC-style: the body holds one element named after the method, in the namespace given with it,
// whose children are the parameters: byte arrays as base64 (xsi:type "SOAP-ENC:base64"), strings, integers
// and booleans with their XML Schema types. The answer's first body element holds the results; a result typed
// base64 or base64Binary, or untyped, is decoded into a byte array (VT_EMPTY when it is not base64), any other
// is a string. A SOAP fault, an HTTP status other than 2xx, a transport failure or a body that is not a SOAP
// envelope makes Parse fail, with the reason as the thread's error description. Documents with a DTD are
// refused; nothing is fetched while parsing.
#pragma once

#include "platform/com/combase.h"
#include "platform/com/oleauto.h"

KX_DEFINE_GUID(CLSID_SoapEnvelope, "{E2E0FB24-E58F-458F-84E0-6E09D2D51511}");
KX_DEFINE_GUID(CLSID_SoapHttpTransport, "{D76BA06F-ABF3-4C1F-BDC9-1848D4E3CF2B}");
KX_DEFINE_GUID(CLSID_SoapServiceDescription, "{79849F15-112A-499F-B5C9-F2A484BD407B}");
KX_DEFINE_GUID(CLSID_SoapMessageReader, "{B250DE29-7BF1-4B0E-AEEC-3B2FA3583087}");

inline constexpr const char* kSoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kSoapEncodingNamespace = "http://schemas.xmlsoap.org/soap/encoding/";

struct ISoapParameter : IUnknown {
  STDMETHOD(get_Name)(BSTR* name) = 0;
  STDMETHOD(get_Value)(VARIANT* value) = 0;
};
KX_DEFINE_IID(ISoapParameter, "A180EE28-CC12-4CCD-B2A1-D56297DC730A");

struct ISoapParameters : IUnknown {
  STDMETHOD(get_Count)(LONG* count) = 0;
  // Items from 0; DISP_E_BADINDEX past the end.
  STDMETHOD(get_Item)(LONG index, ISoapParameter** item) = 0;
  // The value is copied; the four further arguments are reserved (VT_EMPTY or VT_ERROR).
  STDMETHOD(Add)(BSTR name, VARIANT value, VARIANT reserved1, VARIANT reserved2, VARIANT reserved3,
                 VARIANT reserved4) = 0;
};
KX_DEFINE_IID(ISoapParameters, "F9345493-C91E-4DA1-96AB-6FFA99BD81D9");

struct ISoapEnvelope : IUnknown {
  // Starts a new call: the method and its namespace; the parameter list is emptied.
  STDMETHOD(SetMethod)(BSTR name, BSTR methodNamespace) = 0;
  // The call as UTF-8 XML (in a BSTR of 16-bit characters).
  STDMETHOD(Serialize)(BSTR* text) = 0;
  // Reads the answer the transport (VT_UNKNOWN) received; encoding "" takes it from the document. On success
  // the parameter list holds the results.
  STDMETHOD(Parse)(VARIANT transport, BSTR encoding) = 0;
  // The envelope's one parameter list: the call's parameters, then the answer's results.
  STDMETHOD(get_Parameters)(ISoapParameters** list) = 0;
};
KX_DEFINE_IID(ISoapEnvelope, "8B2091B1-DCF9-44A7-A50B-F02971A01BF1");

struct ISoapHttpTransport : IUnknown {
  // POSTs the text (UTF-8) to the endpoint and keeps the answer for Parse; a failure of the transfer is also
  // kept, to be reported by Parse.
  STDMETHOD(Send)(BSTR endpoint, BSTR text) = 0;
  // The SOAPAction header's value (sent quoted).
  STDMETHOD(put_SoapAction)(BSTR uri) = 0;
  // Sends through this proxy: a name, an address or an "http://" URL, and its port. E_INVALIDARG (with an
  // error description) for a server text that names no host or a port of 0. An empty server, or no call at
  // all: no proxy, whatever the environment says.
  STDMETHOD(SetProxy)(BSTR server, USHORT port) = 0;
  // Basic credentials for the proxy.
  STDMETHOD(SetProxyCredentials)(BSTR user, BSTR password) = 0;
  // The last answer: body bytes (a BSTR of that byte length), HTTP status, content type, and the failure of
  // the transfer ("" when it completed). E_UNEXPECTED before Send.
  STDMETHOD(GetResponse)(BSTR* body, LONG* status, BSTR* contentType, BSTR* failure) = 0;
};
KX_DEFINE_IID(ISoapHttpTransport, "326EBA3F-7120-4528-AF62-03EABD4E00AA");

// Loads a WSDL 1.1 service description (over HTTP, no proxy, ten seconds at most). Also answers IDispatch.
struct ISoapServiceDescription : IUnknown {
  // *loaded: the description names the service with that port.
  STDMETHOD(Load)(BSTR service, BSTR port, BSTR address, VARIANT_BOOL* loaded) = 0;
  // The port's address, the description's target namespace, the number of operations of the port's binding;
  // *ok when a port and its binding were found.
  STDMETHOD(GetInfo)(BSTR* location, BSTR* targetNamespace, LONG* operations, VARIANT_BOOL* ok) = 0;
};
KX_DEFINE_IID(ISoapServiceDescription, "CE9255D1-F842-4141-9A18-1ECE6F8C442B");

struct ISoapMessageReader : IUnknown {
  // Binds to a loaded description (given as its IDispatch); *ok when its port and binding were found.
  STDMETHOD(Init)(VARIANT mapping, BSTR service, BSTR port, BSTR portNamespace, BSTR headerHandler, BSTR reserved,
                  VARIANT_BOOL headers, IDispatch* description, VARIANT_BOOL* ok) = 0;
};
KX_DEFINE_IID(ISoapMessageReader, "83E7BA12-757C-4C25-BDD3-8DF7AB7355AF");
