// The enrolment service client against a stand-in service on 127.0.0.1: the calls on the wire (checked with
// xmllint), the answers and their failures, the proxy and its credentials, and the endpoint rules.
#include <string>

#include <gtest/gtest.h>

#include "core/SystemProfile.h"
#include "enrolment/ProxyAuthSettings.h"
#include "app/TransportSettings.h"
#include "enrolment/VorlindEnrolmentProxy.h"
#include "platform/com/combase.h"
#include "platform/services/soap.h"
#include "platform/win32/registry.h"
#include "platform/win32/stateroot.h"
#include "services/local_server.h"
#include "support/testroot.h"

namespace {

std::string Str(const CString& s) { return static_cast<const char*>(s); }

CByteBuffer Bytes(const std::string& s) { return CByteBuffer(static_cast<DWORD>(s.size()), s.data(), false); }

std::string Text(const CByteBuffer& b) { return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength()); }

// Reads the index-th logged request's field (a python expression over r).
std::string Logged(const std::string& log, int index, const std::string& expression) {
  std::string out;
  kxtest::Run("python3 -c \"import json,sys; r=[json.loads(l) for l in open(sys.argv[1])][int(sys.argv[2])]; "
              "sys.stdout.write(str(" + expression + "))\" '" + log + "' " + std::to_string(index),
              &out);
  return out;
}

int LoggedCount(const std::string& log) {
  std::string out;
  kxtest::Run("cat '" + log + "' 2>/dev/null | wc -l", &out);
  return std::stoi(out);
}

// A password the user does not want remembered is used in this session and stored nowhere: a stored one goes.
TEST(ProxyPassword, NotToBeRememberedItIsUsedInThisSessionAndStoredNowhere) {
  CProxyAuthSettings typed(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\ProxyAuth");
  typed.m_strUser = "alice";
  typed.m_strPassword = "s3cret";
  ASSERT_EQ(typed.Save(), 0);
  typed.m_strPassword = "n0t-kept";
  typed.m_bRemember = FALSE;
  ASSERT_EQ(typed.Save(), 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\ProxyAuth", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(key, "m_strPassword", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  std::string dump;
  const std::string db = "'" + kx::UserStateDir() + "/registry.db'";
  ASSERT_EQ(kxtest::Run("sqlite3 " + db + " .dump && sqlite3 " + db + " 'select hex(data) from vals'", &dump), 0)
      << dump;
  EXPECT_EQ(dump.find("6E30742D6B657074"), std::string::npos);
  EXPECT_EQ(dump.find("n0t-kept"), std::string::npos);
  EXPECT_EQ(dump.find("s3cret"), std::string::npos);
  CProxyAuthSettings session(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\ProxyAuth");
  session.Load();
  EXPECT_EQ(std::string(session.m_strPassword), "n0t-kept");
}

struct Probe : CVorlindEnrolmentProxy {
  using CSoapClient::m_nOperations;
  using CSoapClient::m_strLocation;
};

class Enrolment : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    log = kxtest::MakeTempDir("service") + "/requests.log";
    std::string error;
    ASSERT_TRUE(service.Start(kxtest::SourceDir() + "/tests/enrolment/enrolment_server.py", {log}, &error)) << error;
    // The calls go to the URL and port; the description is fetched from the address (which may carry a port).
    CSystemProfile profile;
    profile.Load();
    profile.Transport_Address_Index = 0;
    profile.Transport_Address_URL = "http://127.0.0.1";
    profile.Transport_Address_IP = ("127.0.0.1:" + std::to_string(service.port())).c_str();
    profile.Transport_Port = service.port();
    profile.Save();
  }
  void TearDown() override { CoUninitialize(); }

  void SetProxy(DWORD on, const std::string& server, DWORD port, DWORD smart, const std::string& user,
                const std::string& password) {
    CTransportSettings t(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\2.0\\VorlindTransport");
    t.m_bProxy = on;
    t.m_strURL = server.c_str();
    t.m_Port = port;
    t.m_bSmartProxy = smart;
    ASSERT_EQ(t.Save(), 0);
    CProxyAuthSettings a(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex\\ProxyAuth");
    a.m_strUser = user.c_str();
    a.m_strPassword = password.c_str();
    ASSERT_EQ(a.Save(), 0);
  }

  kxtest::LocalServer service;
  std::string log;
};

TEST_F(Enrolment, CallsOnTheWire) {
  Probe proxy;
  ASSERT_TRUE(proxy.Initialize());
  // The description was bound: its port's address and its binding's two operations.
  EXPECT_EQ(proxy.m_nOperations, 2);
  EXPECT_EQ(proxy.m_strLocation, "http://127.0.0.1:" + std::to_string(service.port()) + "/VorlindEnrolment");
  EXPECT_EQ(Logged(log, 0, "r['requestline']"), "GET /wsdl/VorlindEnrolment.WSDL HTTP/1.1");

  CString text = "untouched";
  ASSERT_TRUE(proxy.VerifyConnect(text));
  EXPECT_EQ(Str(text), "untouched");
  EXPECT_EQ(Logged(log, 1, "r['requestline']"), "POST /VorlindEnrolment HTTP/1.1");
  EXPECT_EQ(Logged(log, 1, "r['headers']['soapaction']"), "\"http://www.kesmora.com/\"");
  EXPECT_EQ(Logged(log, 1, "r['headers']['content-type']"), "text/xml; charset=\"UTF-8\"");
  EXPECT_EQ(Logged(log, 1, "r['headers'].get('expect')"), "None");

  // The request is well-formed XML: one call element in the endpoint's namespace holding the probe.
  const std::string xml = kxtest::MakeTempDir("wire") + "/call.xml";
  kxtest::WriteFile(xml, Logged(log, 1, "r['body']"));
  std::string out;
  ASSERT_EQ(kxtest::Run("xmllint --noout '" + xml + "'", &out), 0) << out;
  auto xpath = [&](const std::string& expression) {
    std::string value;
    kxtest::Run("xmllint --xpath \"" + expression + "\" '" + xml + "'", &value);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  };
  const std::string body = "/*[local-name()='Envelope']/*[local-name()='Body']";
  EXPECT_EQ(xpath("namespace-uri(/*)"), "http://schemas.xmlsoap.org/soap/envelope/");
  EXPECT_EQ(xpath("local-name(" + body + "/*)"), "VerifyConnect");
  EXPECT_EQ(xpath("namespace-uri(" + body + "/*)"),
            "http://127.0.0.1:" + std::to_string(service.port()) + "/VorlindEnrolment");
  EXPECT_EQ(xpath("count(" + body + "/*/*)"), "1");
  EXPECT_EQ(xpath("string(" + body + "/*/*[local-name()='bstrSource'])"), "VkNOVAA=");  // 'V' 'C' 'N' 'T' 0
  EXPECT_EQ(xpath("string(" + body + "/*/*/@*[local-name()='type'])"), "SOAP-ENC:base64");

  // Two calls on one proxy: each carries its own parameter only, and brings back its own answer.
  CByteBuffer result;
  CString error;
  ASSERT_TRUE(proxy.Generate(Bytes("request-one"), result, error)) << Str(error);
  EXPECT_EQ(Text(result), "eno-tseuqer");
  ASSERT_TRUE(proxy.Generate(Bytes(std::string("\x30\x82\0\x01", 4)), result, error)) << Str(error);
  EXPECT_EQ(Text(result), std::string("\x01\0\x82\x30", 4));
  kxtest::WriteFile(xml, Logged(log, 3, "r['body']"));
  EXPECT_EQ(xpath("local-name(" + body + "/*)"), "Generate");
  EXPECT_EQ(xpath("count(" + body + "/*/*)"), "1");
  EXPECT_EQ(xpath("local-name(" + body + "/*/*)"), "varPKCS10");
}

TEST_F(Enrolment, AnswersThatAreNotResults) {
  CVorlindEnrolmentProxy proxy;
  ASSERT_TRUE(proxy.Initialize());
  struct {
    const char* request;
    const char* error;  // a part of the error text
  } cases[] = {
      {"FAULT", "Request refused (SOAP-ENV:Client)"},
      {"EMPTY", "without data"},
      {"NOPARAM", "without data"},
      {"STRING", "without data"},
      {"GARBAGE", ""},
      {"MISSING", "HTTP status 404"},
  };
  for (const auto& c : cases) {
    CByteBuffer result = Bytes("stale");
    CString error;
    EXPECT_FALSE(proxy.Generate(Bytes(c.request), result, error)) << c.request;
    EXPECT_NE(Str(error).find(c.error), std::string::npos) << c.request << ": " << Str(error);
    EXPECT_FALSE(Str(error).empty()) << c.request;
  }
  // The proxy still works after all of them.
  CString text;
  EXPECT_TRUE(proxy.VerifyConnect(text));

  // Nothing listens: the transport's reason comes back.
  CSystemProfile profile;
  profile.Load();
  profile.Transport_Port = kxtest::UnusedPort();
  profile.Save();
  EXPECT_FALSE(proxy.VerifyConnect(text));
  EXPECT_FALSE(Str(text).empty());
}

TEST_F(Enrolment, ThroughAnAuthenticatingProxy) {
  kxtest::LocalServer proxyServer;
  const std::string proxyLog = kxtest::MakeTempDir("proxy") + "/requests.log";
  std::string error;
  ASSERT_TRUE(proxyServer.Start(kxtest::SourceDir() + "/tests/enrolment/enrolment_server.py",
                                {proxyLog, "--proxy-auth", "alice:s3cret"}, &error))
      << error;
  // A service name that does not resolve: only a proxy can reach it.
  CSystemProfile profile;
  profile.Load();
  profile.Transport_Address_URL = "http://enrolment.invalid";
  profile.Transport_Port = 8081;
  profile.Save();
  const std::string target = "http://enrolment.invalid:8081/VorlindEnrolment";
  const std::string basic = "Basic YWxpY2U6czNjcmV0";  // alice:s3cret

  CVorlindEnrolmentProxy proxy;
  ASSERT_TRUE(proxy.Initialize());
  CString text;
  CByteBuffer result;
  struct {
    const char* what;
    DWORD on, smart;
    const char* user;
    const char* password;
    bool connected;
    const char* authorization;  // as the proxy saw it
  } cases[] = {
      {"no credentials", 1, 0, "alice", "s3cret", false, "None"},
      {"smart proxy without a password", 1, 1, "alice", "", false, "None"},
      {"smart proxy with both", 1, 1, "alice", "s3cret", true, basic.c_str()},
  };
  int seen = 0;
  for (const auto& c : cases) {
    SetProxy(c.on, "127.0.0.1", proxyServer.port(), c.smart, c.user, c.password);
    EXPECT_EQ(proxy.VerifyConnect(text), c.connected) << c.what << ": " << Str(text);
    ASSERT_EQ(LoggedCount(proxyLog), seen + 1) << c.what;
    EXPECT_EQ(Logged(proxyLog, seen, "r['requestline']"), "POST " + target + " HTTP/1.1") << c.what;
    EXPECT_EQ(Logged(proxyLog, seen, "r['headers'].get('proxy-authorization')"), c.authorization) << c.what;
    ++seen;
  }
  EXPECT_NE(Str(text).find("407"), std::string::npos) << "the last refusal names the proxy's status";

  // Generate passes the same credentials.
  CString generateError;
  ASSERT_TRUE(proxy.Generate(Bytes("csr"), result, generateError)) << Str(generateError);
  EXPECT_EQ(Text(result), "rsc");
  EXPECT_EQ(Logged(proxyLog, seen, "r['headers'].get('proxy-authorization')"), basic);
  ++seen;

  // Proxy off: the call goes straight to the service, whatever else is stored.
  profile.Transport_Address_URL = "http://127.0.0.1";
  profile.Transport_Port = service.port();
  profile.Save();
  SetProxy(0, "127.0.0.1", proxyServer.port(), 1, "alice", "s3cret");
  const int direct = LoggedCount(log);
  EXPECT_TRUE(proxy.VerifyConnect(text)) << Str(text);
  EXPECT_EQ(LoggedCount(proxyLog), seen);
  EXPECT_EQ(LoggedCount(log), direct + 1);

  // Settings that name no proxy, or a port beyond 16 bits, are refused with a reason.
  SetProxy(1, "bad host", proxyServer.port(), 0, "", "");
  EXPECT_FALSE(proxy.VerifyConnect(text));
  EXPECT_NE(Str(text).find("not valid"), std::string::npos) << Str(text);
  SetProxy(1, "127.0.0.1", 70000, 0, "", "");
  EXPECT_FALSE(proxy.VerifyConnect(text));
  EXPECT_NE(Str(text).find("70000"), std::string::npos) << Str(text);
  EXPECT_EQ(LoggedCount(proxyLog), seen);
}

TEST(EnrolmentProxy, NotInitialisedOrComponentsMissing) {
  CoInitialize(nullptr);
  CVorlindEnrolmentProxy idle;
  CString text;
  CByteBuffer result;
  EXPECT_FALSE(idle.VerifyConnect(text));
  EXPECT_FALSE(Str(text).empty());
  CString error;
  EXPECT_FALSE(idle.Generate(Bytes("x"), result, error));
  EXPECT_FALSE(Str(error).empty());

  // A component that is not registered: Initialize says so, and the operations fail without raising.
  for (const CLSID* clsid : {&CLSID_SoapEnvelope, &CLSID_SoapHttpTransport}) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(*clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    kx::UnregisterClass(*clsid);
    CVorlindEnrolmentProxy proxy;
    EXPECT_FALSE(proxy.Initialize());
    EXPECT_FALSE(proxy.VerifyConnect(text));
    kx::RegisterClassFactory(*clsid, factory);
    factory->Release();
  }
  CoUninitialize();
}

TEST(EnrolmentProxy, EndpointAndDescriptionAddress) {
  CSystemProfile p;
  struct {
    int index;
    const char* url;
    const char* ip;
    int port;
    const char* endpoint;
  } cases[] = {
      {0, "http://host", "10.1.2.3", 8081, "http://host:8081/VorlindEnrolment"},
      {0, "http://host", "10.1.2.3", 80, "http://host/VorlindEnrolment"},
      {1, "http://host", "10.1.2.3", 8081, "http://10.1.2.3:8081/VorlindEnrolment"},
      {1, "http://host", "http://10.1.2.3", 80, "http://10.1.2.3/VorlindEnrolment"},
      {0, "http://host/", "", 8081, "http://host:8081/VorlindEnrolment"},
      {0, "http://host/base/", "", 8081, "http://host:8081/base/VorlindEnrolment"},
      {0, "host", "", 8081, "http://host:8081/VorlindEnrolment"},
      {0, "https://host:9000", "", 8081, "https://host:8081/VorlindEnrolment"},
  };
  for (const auto& c : cases) {
    p.Transport_Address_Index = c.index;
    p.Transport_Address_URL = c.url;
    p.Transport_Address_IP = c.ip;
    p.Transport_Port = c.port;
    EXPECT_EQ(Str(CVorlindEnrolmentProxy::BuildEndpoint(p)), c.endpoint) << c.url << " " << c.ip;
  }
  // The description always comes from the address, whichever the calls use, and never with two schemes.
  p.Transport_Address_Index = 0;
  p.Transport_Address_IP = "10.1.2.3";
  EXPECT_EQ(Str(CVorlindEnrolmentProxy::BuildDescriptionAddress(p)), "http://10.1.2.3/wsdl/VorlindEnrolment.WSDL");
  p.Transport_Address_IP = "http://10.1.2.3";
  EXPECT_EQ(Str(CVorlindEnrolmentProxy::BuildDescriptionAddress(p)), "http://10.1.2.3/wsdl/VorlindEnrolment.WSDL");
}

}  // namespace
