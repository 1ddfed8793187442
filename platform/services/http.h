// The platform's one HTTP client (time stamps, CRL download, the enrolment service), over libcurl.
// Plain http and https only; one blocking transfer per call, safe to call from several threads.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/types.h"

namespace kx {

enum class HttpProxyMode {
  System,    // what the environment says (http_proxy, https_proxy, no_proxy)
  Direct,    // never a proxy
  Explicit,  // the proxy in HttpProxy::url
};

struct HttpProxy {
  HttpProxyMode mode = HttpProxyMode::System;
  std::string url;  // "host:port" or "http://host:port" for Explicit
  std::string user;
  std::string password;
};

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;  // extra request headers, name and value
  std::string contentType;                                     // POST only; sent as Content-Type
  std::string body;                                            // POST body, bytes
  long connectTimeoutMs = 10000;
  long timeoutMs = 30000;  // whole transfer
  HttpProxy proxy;
  size_t maxResponseBytes = 32u << 20;  // larger answers fail with HttpError::TooLarge
};

enum class HttpError {
  None,
  BadRequest,   // unsupported method or scheme, malformed URL
  Resolve,      // host (or proxy) name not found
  Connect,      // connection refused or unreachable
  Timeout,
  TooLarge,
  Transfer,     // the transfer broke off, TLS or protocol failure
};

struct HttpResponse {
  HttpError error = HttpError::None;
  std::string errorText;  // why, when error != None
  long status = 0;        // HTTP status of the (last) answer; 0 when none came
  std::string contentType;
  std::string body;
  bool Ok() const { return error == HttpError::None && status >= 200 && status < 300; }
};

// Runs one request. A non-2xx status is not an error of the transfer: check status (or Ok()).
KXAPI HttpResponse HttpSend(const HttpRequest& request);

// The same for the two common shapes.
KXAPI HttpResponse HttpGet(const std::string& url, const HttpRequest& options = HttpRequest());
KXAPI HttpResponse HttpPost(const std::string& url, const std::string& contentType, const std::string& body,
                            const HttpRequest& options = HttpRequest());

// The HRESULT a caller reports for a failed transfer or a non-2xx status (S_OK when Ok()).
KXAPI HRESULT HttpResultCode(const HttpResponse& response);

}  // namespace kx
