// The SOAP client base of the enrolment service client: binds a service description (loaded from its address)
// and a message reader to the service and port it names. What it keeps is not needed by the calls, which take
// their endpoint from the system profile.
#pragma once

#include <string>
#include <vector>

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

struct ISoapServiceDescription;
struct ISoapMessageReader;

class CSoapClient {
 public:
  CSoapClient() = default;
  virtual ~CSoapClient();
  CSoapClient(const CSoapClient&) = delete;
  CSoapClient& operator=(const CSoapClient&) = delete;

  // Loads the description from address and binds the reader to (service, port); headerNames is a
  // comma-separated list. False when a component cannot be made or the description does not name the port.
  bool Initialize(LPCSTR address, LPCSTR service, LPCSTR port, LPCSTR portNamespace, LPCSTR product,
                  LPCSTR headerNames, bool headers);

 protected:
  std::u16string m_strService;
  std::u16string m_strPort;
  std::u16string m_strPortNamespace;
  std::u16string m_strAddress;
  ISoapServiceDescription* m_pDescription = nullptr;
  ISoapMessageReader* m_pReader = nullptr;
  std::string m_strLocation;   // UTF-8, as the description gave them
  std::string m_strNamespace;
  LONG m_nOperations = 0;
  CString m_strProduct;
  std::vector<CString> m_headerNames;
  bool m_bHasHeaderNames = false;
  bool m_bHeaders = false;
};
