#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/services/http.h"
#include "services/local_server.h"
#include "support/testroot.h"

namespace {

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(kxtest::SourceDir() + "/tests/services/http_server.py", {}, &error)) << error;
    direct_.proxy.mode = kx::HttpProxyMode::Direct;
  }
  kxtest::LocalServer server_;
  kx::HttpRequest direct_;
};

bool Has(const std::string& body, const std::string& part) { return body.find(part) != std::string::npos; }

TEST_F(HttpTest, GetSendsHeadersAndReturnsBody) {
  kx::HttpRequest r = direct_;
  r.headers = {{"X-Test", "value 1"}};
  kx::HttpResponse resp = kx::HttpGet(server_.Url("/echo"), r);
  ASSERT_EQ(resp.error, kx::HttpError::None) << resp.errorText;
  EXPECT_EQ(resp.status, 200);
  EXPECT_TRUE(resp.Ok());
  EXPECT_EQ(resp.contentType, "application/json");
  EXPECT_TRUE(Has(resp.body, "\"requestline\": \"GET /echo HTTP/1.1\"")) << resp.body;
  EXPECT_TRUE(Has(resp.body, "\"x-test\": \"value 1\"")) << resp.body;
  EXPECT_EQ(kx::HttpResultCode(resp), S_OK);
}

TEST_F(HttpTest, PostCarriesBinaryBodyAndContentType) {
  std::string body("a\0b\r\n\xff", 6);
  kx::HttpResponse resp = kx::HttpPost(server_.Url("/echo"), "application/timestamp-query", body, direct_);
  ASSERT_TRUE(resp.Ok()) << resp.errorText;
  EXPECT_TRUE(Has(resp.body, "\"method\": \"POST\""));
  EXPECT_TRUE(Has(resp.body, "\"content-type\": \"application/timestamp-query\"")) << resp.body;
  EXPECT_TRUE(Has(resp.body, "\"body\": \"6100620d0aff\"")) << resp.body;
  EXPECT_FALSE(Has(resp.body, "\"expect\"")) << resp.body;
}

TEST_F(HttpTest, StatusIsReportedNotAnError) {
  kx::HttpResponse resp = kx::HttpGet(server_.Url("/status/404"), direct_);
  EXPECT_EQ(resp.error, kx::HttpError::None);
  EXPECT_EQ(resp.status, 404);
  EXPECT_EQ(resp.body, "status 404");
  EXPECT_FALSE(resp.Ok());
  EXPECT_EQ(kx::HttpResultCode(resp), KX_HR(0x80190194));
}

TEST_F(HttpTest, FailuresAreClassified) {
  struct Case {
    const char* name;
    kx::HttpRequest request;
    kx::HttpError error;
    HRESULT code;
  };
  kx::HttpRequest slow = direct_;
  slow.url = server_.Url("/slow");
  slow.timeoutMs = 300;
  kx::HttpRequest big = direct_;
  big.url = server_.Url("/big");
  big.maxResponseBytes = 1000;
  kx::HttpRequest refused = direct_;
  refused.url = "http://127.0.0.1:" + std::to_string(kxtest::UnusedPort()) + "/";
  kx::HttpRequest method = direct_;
  method.url = server_.Url("/echo");
  method.method = "PUT";
  kx::HttpRequest scheme = direct_;
  scheme.url = "file:///etc/passwd";
  kx::HttpRequest injected = direct_;
  injected.url = server_.Url("/echo");
  injected.headers = {{"X-A", "1\r\nX-B: 2"}};
  kx::HttpRequest noProxy = direct_;
  noProxy.url = server_.Url("/echo");
  noProxy.proxy.mode = kx::HttpProxyMode::Explicit;

  const Case cases[] = {
      {"timeout", slow, kx::HttpError::Timeout, HRESULT_FROM_WIN32(12002)},
      {"too large", big, kx::HttpError::TooLarge, HRESULT_FROM_WIN32(223)},
      {"refused", refused, kx::HttpError::Connect, HRESULT_FROM_WIN32(12029)},
      {"method", method, kx::HttpError::BadRequest, HRESULT_FROM_WIN32(12005)},
      {"scheme", scheme, kx::HttpError::BadRequest, HRESULT_FROM_WIN32(12005)},
      {"header injection", injected, kx::HttpError::BadRequest, HRESULT_FROM_WIN32(12005)},
      {"explicit proxy without address", noProxy, kx::HttpError::BadRequest, HRESULT_FROM_WIN32(12005)},
  };
  for (const Case& c : cases) {
    auto start = std::chrono::steady_clock::now();
    kx::HttpResponse resp = kx::HttpSend(c.request);
    EXPECT_EQ(resp.error, c.error) << c.name << ": " << resp.errorText;
    EXPECT_FALSE(resp.errorText.empty()) << c.name;
    EXPECT_TRUE(resp.body.empty()) << c.name;
    EXPECT_EQ(kx::HttpResultCode(resp), c.code) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << c.name;
  }
}

TEST_F(HttpTest, ExplicitProxyGetsAbsoluteRequestWithCredentials) {
  // The echo server stands in for the proxy: a client talking to a proxy sends the full URL.
  kx::HttpRequest r;
  r.proxy.mode = kx::HttpProxyMode::Explicit;
  r.proxy.url = "127.0.0.1:" + std::to_string(server_.port());
  r.proxy.user = "alice";
  r.proxy.password = "s3cret";
  kx::HttpResponse resp = kx::HttpGet("http://tsa.example.invalid/stamp", r);
  ASSERT_TRUE(resp.Ok()) << resp.errorText;
  EXPECT_TRUE(Has(resp.body, "GET http://tsa.example.invalid/stamp HTTP/1.1")) << resp.body;
  EXPECT_TRUE(Has(resp.body, "\"proxy-authorization\": \"Basic YWxpY2U6czNjcmV0\"")) << resp.body;
}

TEST_F(HttpTest, ProxyModesFollowOrIgnoreTheEnvironment) {
  std::string dead = "http://127.0.0.1:" + std::to_string(kxtest::UnusedPort());
  setenv("http_proxy", dead.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  kx::HttpRequest system;
  kx::HttpResponse viaEnv = kx::HttpGet(server_.Url("/echo"), system);
  kx::HttpResponse direct = kx::HttpGet(server_.Url("/echo"), direct_);
  unsetenv("http_proxy");
  EXPECT_EQ(viaEnv.error, kx::HttpError::Connect) << viaEnv.errorText;
  EXPECT_TRUE(direct.Ok()) << direct.errorText;
}

}  // namespace
