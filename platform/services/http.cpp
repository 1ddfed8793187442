#include "platform/services/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kx {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
  std::string* body;
  size_t limit;
  bool overflow = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  size_t n = size * count;
  if (sink->body->size() + n > sink->limit) {
    sink->overflow = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  sink->body->append(data, n);
  return n;
}

HttpError Classify(CURLcode rc) {
  switch (rc) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return HttpError::BadRequest;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpError::Resolve;
    case CURLE_COULDNT_CONNECT:
      return HttpError::Connect;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpError::Timeout;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpError::TooLarge;
    default:
      return HttpError::Transfer;
  }
}

HttpResponse Fail(HttpError e, std::string text) {
  HttpResponse r;
  r.error = e;
  r.errorText = std::move(text);
  return r;
}

}  // namespace

HttpResponse HttpSend(const HttpRequest& request) {
  bool post = request.method == "POST";
  if (!post && request.method != "GET") return Fail(HttpError::BadRequest, "unsupported method " + request.method);
  GlobalInit();

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return Fail(HttpError::Transfer, "cannot start a transfer");
  CURL* h = curl.get();

  HttpResponse response;
  Sink sink{&response.body, request.maxResponseBytes};
  char errbuf[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, request.timeoutMs);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxResponseBytes));
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Brinmoor");

  switch (request.proxy.mode) {
    case HttpProxyMode::System:
      break;  // libcurl reads the environment
    case HttpProxyMode::Direct:
      curl_easy_setopt(h, CURLOPT_PROXY, "");
      break;
    case HttpProxyMode::Explicit:
      if (request.proxy.url.empty()) return Fail(HttpError::BadRequest, "no proxy address");
      curl_easy_setopt(h, CURLOPT_PROXY, request.proxy.url.c_str());
      curl_easy_setopt(h, CURLOPT_NOPROXY, "");  // the caller asked for this proxy: no environment exceptions
      if (!request.proxy.user.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, request.proxy.user.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, request.proxy.password.c_str());
      }
      break;
  }

  struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
  } headerList;
  curl_slist*& headers = headerList.list;
  for (const auto& [name, value] : request.headers) {
    if (name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
      return Fail(HttpError::BadRequest, "malformed header " + name);
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  }
  if (post) {
    if (request.contentType.find_first_of("\r\n") != std::string::npos)
      return Fail(HttpError::BadRequest, "malformed content type");
    if (!request.contentType.empty()) headers = curl_slist_append(headers, ("Content-Type: " + request.contentType).c_str());
    headers = curl_slist_append(headers, "Expect:");  // no 100-continue round trip
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
  if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);

  CURLcode rc = curl_easy_perform(h);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
  if (rc != CURLE_OK) {
    HttpError e = sink.overflow ? HttpError::TooLarge : Classify(rc);
    std::string text = errbuf[0] ? errbuf : curl_easy_strerror(rc);
    long status = response.status;
    response = Fail(e, e == HttpError::TooLarge ? "answer larger than the limit" : text);
    response.status = status;
    return response;
  }
  char* type = nullptr;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) response.contentType = type;
  return response;
}

HttpResponse HttpGet(const std::string& url, const HttpRequest& options) {
  HttpRequest r = options;
  r.method = "GET";
  r.url = url;
  return HttpSend(r);
}

HttpResponse HttpPost(const std::string& url, const std::string& contentType, const std::string& body,
                      const HttpRequest& options) {
  HttpRequest r = options;
  r.method = "POST";
  r.url = url;
  r.contentType = contentType;
  r.body = body;
  return HttpSend(r);
}

HRESULT HttpResultCode(const HttpResponse& response) {
  // The platform's internet error codes (12000 range) and its HTTP status facility (25).
  switch (response.error) {
    case HttpError::None:
      if (response.status >= 200 && response.status < 300) return S_OK;
      return MAKE_HRESULT(1, 25, response.status & 0xFFFF);
    case HttpError::BadRequest:
      return HRESULT_FROM_WIN32(12005);  // invalid URL
    case HttpError::Resolve:
      return HRESULT_FROM_WIN32(12007);  // name not resolved
    case HttpError::Connect:
      return HRESULT_FROM_WIN32(12029);  // cannot connect
    case HttpError::Timeout:
      return HRESULT_FROM_WIN32(12002);  // timed out
    case HttpError::TooLarge:
      return HRESULT_FROM_WIN32(223);  // file too large
    case HttpError::Transfer:
      return HRESULT_FROM_WIN32(12030);  // connection aborted
  }
  return E_FAIL;
}

}  // namespace kx
