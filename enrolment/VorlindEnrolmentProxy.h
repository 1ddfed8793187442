// The client of the certificate enrolment web service: "VerifyConnect" (a connection test) and "Generate"
// (a PKCS#10 request in, the issued certificate data out), as SOAP 1.1 calls over HTTP. Where the service is
// comes from the system profile's enrolment values; the proxy to go through from CTransportSettings and
// CProxyAuthSettings. All three are read anew at every call.
//
// Callers build one, call Initialize (on a thread with COM initialised), then an operation. No operation
// raises: a proxy that is not initialised, settings that cannot be used, a failed transfer, a SOAP fault or an
// answer without a non-empty byte array give false with a description of what went wrong.
#pragma once

#include "core/ByteBuffer.h"
#include "core/SystemProfile.h"
#include "enrolment/SoapClient.h"

struct ISoapEnvelope;
struct ISoapHttpTransport;
struct ISoapParameters;

class CVorlindEnrolmentProxy : public CSoapClient {
 public:
  // The SOAPAction of every call: the service's namespace.
  static constexpr const char* kServiceNamespace = "http://www.kesmora.com/";

  CVorlindEnrolmentProxy();
  ~CVorlindEnrolmentProxy() override;

  // Binds the service description (its outcome does not count) and creates the envelope and transport
  // components; true when both were made. A second call starts over with new components.
  bool Initialize();
  // True when the service answered the probe with a non-empty result; otherwise result holds the reason.
  bool VerifyConnect(CString& result);
  // True when the service returned a non-empty result, which is then in result; otherwise error holds the
  // reason.
  bool Generate(const CByteBuffer& request, CByteBuffer& result, CString& error);

  // The calls' endpoint: the service's URL (Transport_Address_Index 0) or "http://" and its address, the port
  // unless it is 80, and "/" + WSDL_Service. A scheme is added only when missing, a trailing "/" is dropped and
  // the port goes after the host, before any path.
  static CString BuildEndpoint(const CSystemProfile& profile);
  // Where the service description is: "http://" + Transport_Address_IP + "/wsdl/" + WSDL_File (no second
  // scheme when the address already has one).
  static CString BuildDescriptionAddress(const CSystemProfile& profile);

 private:
  bool Call(const char* operation, const char* parameter, const CByteBuffer& argument, CByteBuffer& answer,
            CString& error);
  void ReleaseComponents();

  ISoapEnvelope* m_pEnvelope = nullptr;
  ISoapHttpTransport* m_pTransport = nullptr;
  ISoapParameters* m_pParameters = nullptr;
  CSystemProfile m_profile;
};
