// The signed-code wrapper over the engine module, in the code-signing workers' sequences: a store
// certificate with its key signs a program, a time-stamping service countersigns it, and verification gives
// the trust codes; checked with osslsigncode. Also the wrapper's own rules (empty wrapper, flag, copies).
#include <cstdlib>

#include "core/SettingsStore.h"
#include "engine/CapicomSignedCode.h"
#include "engine/CapicomStore.h"
#include "fixture.h"
#include "platform/com/comobject.h"
#include "platform/win32/registry.h"
#include "services/local_server.h"

namespace {

using kxtest::pki::Key;
using kxtest::pki::Pem;
using sctest::Quote;

CByteBuffer Buf(const std::string& s) { return CByteBuffer(static_cast<DWORD>(s.size()), s.data(), false); }

CCapicomCertificate Plain(const std::string& name) {
  CCapicomCertificate c;
  EXPECT_EQ(c.ImportFromBuffer(Buf(kxtest::pki::DerBytes(name))), S_OK) << name;
  return c;
}

// The result code of the COM error a call raises (S_OK when none), and that it carries nothing else.
HRESULT Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Description().length(), 0u) << "the engine's description travelled with the error";
    return e.Error();
  }
  return S_OK;
}

std::string Simple(const CCapicomCertificate& c) { return c.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi(); }

class SignedCodeWrapperTest : public sctest::SignedCodeTest {
 protected:
  void SetUp() override {
    SignedCodeTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    for (auto [store, name] : {std::pair{"Root", "root"}, std::pair{"CA", "inter"}}) {
      CCapicomStore s;
      ASSERT_EQ(s.Open(CAPICOM_CURRENT_USER_STORE, store, CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
      ASSERT_EQ(s.Add(Plain(name)), S_OK);
    }
  }
  void TearDown() override { CoUninitialize(); }

  // The certificate as a picker hands it over: read back from the user's "My" store, its key linked there.
  CCapicomCertificate FromMy(const std::string& name) {
    std::string pfx = kxtest::pki::MakePfx(name, "pw", false, dir_ + "/" + name + ".pfx");
    CCapicomStore my;
    EXPECT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    EXPECT_EQ(my.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE), S_OK);
    CCapicomCertificates all = my.GetCertificates();
    CCapicomCertificate want = Plain(name);
    for (LONG i = 1; i <= all.GetCount(); ++i) {
      CCapicomCertificate c = all.GetItem(i);
      if (c.IsEqual(want)) return c;
    }
    ADD_FAILURE() << name << " is not in My";
    return want;
  }

  // The signing worker's signer: the certificate, then a signing time and the output path as document name.
  static CCapicomSigner Signer(const CCapicomCertificate& cert, const std::string& documentName,
                               time_t when = 1700000000) {
    CCapicomSigner signer;
    signer.PutCertificate(cert);
    CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
    CCapicomAttribute attribute;
    attribute.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
    attribute.PutValueDate(CDateTime(when));
    EXPECT_EQ(attributes.Add(attribute), S_OK);
    attribute.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
    attribute.PutValueString(documentName.c_str());
    EXPECT_EQ(attributes.Add(attribute), S_OK);
    return signer;
  }

  // Signs a copy of the fixture program through the wrapper.
  std::string SignedCopy(const std::string& fixture, const std::string& as = "") {
    std::string path = Copy(fixture, as);
    CCapicomSignedCode code;
    code.PutFileName(path.c_str());
    EXPECT_EQ(code.Sign(Signer(FromMy("codesign"), path)), S_OK);
    return path;
  }

  static HRESULT VerifyCode(const std::string& path) {
    CCapicomSignedCode code;
    code.PutFileName(path.c_str());
    return Raised([&] { EXPECT_EQ(code.Verify(false), S_OK); });
  }
};

TEST_F(SignedCodeWrapperTest, SignedProgramsPassOsslsigncodeAndShowTheirSignature) {
  for (const char* file : {"hello32.exe", "hello64.dll"}) {
    SCOPED_TRACE(file);
    const std::string path = Copy(file);
    CCapicomSignedCode code;
    code.PutFileName(path.c_str());
    code.PutDescription("Brinmoor test program");
    code.PutDescriptionURL("http://example.com/about");
    EXPECT_EQ(code.GetFileName().GetAnsi(), path);
    EXPECT_EQ(std::string(code.GetDescription().GetAnsi()), "Brinmoor test program");
    EXPECT_EQ(std::string(code.GetDescriptionURL().GetAnsi()), "http://example.com/about");
    ASSERT_EQ(Raised([&] { EXPECT_EQ(code.Sign(Signer(FromMy("codesign"), path)), S_OK); }), S_OK);

    std::string out;
    EXPECT_TRUE(OsslVerify(path, &out)) << out;
    EXPECT_NE(out.find("Brinmoor test program"), std::string::npos) << out;
    EXPECT_NE(out.find("http://example.com/about"), std::string::npos) << out;
    EXPECT_NE(out.find("Nov 14 22:13:20 2023"), std::string::npos) << out;  // the signing-time attribute
    // The document name is signed with it, under the engine's own identifier.
    const std::string sig = dir_ + "/sig.der";
    std::remove(sig.c_str());
    ASSERT_EQ(kxtest::Run("osslsigncode extract-signature -in " + Quote(path) + " -out " + Quote(sig) + " 2>&1", &out), 0)
        << out;
    ASSERT_EQ(kxtest::Run("openssl asn1parse -inform DER -in " + Quote(sig) + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("1.3.6.1.4.1.311.88.2.1"), std::string::npos) << out;

    ASSERT_EQ(Raised([&] { EXPECT_EQ(code.Verify(false), S_OK); }), S_OK);
    CCapicomSigner signer = code.GetSigner();
    ASSERT_FALSE(signer.IsEmpty());
    EXPECT_TRUE(signer.GetCertificate().IsEqual(Plain("codesign")));
    EXPECT_EQ(signer.GetChain().GetCertificates().GetCount(), 3);  // the chain the verification built
    EXPECT_TRUE(code.GetTimeStamper().IsEmpty());
    CCapicomCertificates carried = code.GetCertificates();
    ASSERT_EQ(carried.GetCount(), 2);  // the chain without its root
    EXPECT_TRUE(carried.GetItem(1).IsEqual(Plain("codesign")) || carried.GetItem(2).IsEqual(Plain("codesign")));
  }
}

TEST_F(SignedCodeWrapperTest, VerificationResults) {
  const std::string good = SignedCopy("hello64.exe", "good.exe");
  const std::string tampered = SignedCopy("hello32.exe", "tampered.exe");
  std::string bytes = kxtest::ReadFile(tampered);
  kxsc::PeLayout layout;
  kxsc::Bytes image(bytes.begin(), bytes.end());
  ASSERT_EQ(kxsc::ParsePe(image, &layout, nullptr), S_OK);
  bytes[layout.headersEnd + 100] ^= 0x01;
  kxtest::WriteFile(tampered, bytes);
  const std::string theirs = dir_ + "/theirs.exe";
  std::string text;
  ASSERT_EQ(kxtest::Run("osslsigncode sign -certs " + Quote(Pem("codesign")) + " -ac " + Quote(Pem("inter")) +
                            " -key " + Quote(Key("codesign")) + " -in " + Quote(Copy("hello32.dll")) + " -out " +
                            Quote(theirs) + " 2>&1",
                        &text),
            0)
      << text;
  const std::string notProgram = dir_ + "/readme.txt";
  kxtest::WriteFile(notProgram, std::string(4096, 'x'));

  struct Row {
    const char* what;
    std::string path;
    HRESULT expected;
  };
  const Row rows[] = {
      {"signed here", good, S_OK},
      {"signed by osslsigncode", theirs, S_OK},
      {"changed after signing", tampered, kxsc::TRUST_E_BAD_DIGEST},
      {"never signed", Copy("hello64.dll"), kxsc::TRUST_E_NOSIGNATURE},
      {"not a program", notProgram, kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN},
      {"missing", dir_ + "/nothing.exe", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
  };
  for (const Row& r : rows) {
    const std::string before = kxtest::ReadFile(r.path);
    EXPECT_EQ(VerifyCode(r.path), r.expected) << r.what;
    EXPECT_EQ(kxtest::ReadFile(r.path), before) << r.what << ": verification changed the file";
  }

  // The signature of an unsigned file cannot be read either.
  CCapicomSignedCode code;
  code.PutFileName(rows[3].path.c_str());
  EXPECT_EQ(Raised([&] { code.GetSigner(); }), kxsc::TRUST_E_NOSIGNATURE);
  EXPECT_EQ(Raised([&] { code.GetCertificates(); }), kxsc::TRUST_E_NOSIGNATURE);
}

TEST_F(SignedCodeWrapperTest, StrictPolicyCarriesTheWholeChainAndAnUntrustedRootIsRefused) {
  CSettingsStore(HKEY_CURRENT_USER, "Software\\Kesmora\\OfficeTolvex").WriteInt("Config", "DoD_JICT", 1);
  const std::string path = SignedCopy("hello32.exe");
  CCapicomSignedCode code;
  code.PutFileName(path.c_str());
  EXPECT_EQ(code.GetCertificates().GetCount(), 3);
  std::string out;
  EXPECT_TRUE(OsslVerify(path, &out)) << out;

  CCapicomStore root;
  ASSERT_EQ(root.Open(CAPICOM_CURRENT_USER_STORE, "Root", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
  ASSERT_EQ(root.Remove(Plain("root")), S_OK);
  EXPECT_EQ(VerifyCode(path), CERT_E_UNTRUSTEDROOT);
}

TEST_F(SignedCodeWrapperTest, RefusedSignaturesRaiseAndLeaveTheFile) {
  const std::string program = Copy("hello64.exe");
  const std::string notProgram = dir_ + "/notes.txt";
  kxtest::WriteFile(notProgram, std::string(2048, 'n'));
  CCapicomSigner twice = Signer(FromMy("codesign"), program);
  CCapicomAttribute again;
  again.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
  again.PutValueString("second name");
  ASSERT_EQ(twice.GetAuthenticatedAttributes().Add(again), S_OK);
  struct Row {
    const char* what;
    std::string path;
    CCapicomSigner signer;
    HRESULT expected;
  };
  const Row rows[] = {
      {"certificate without its key", program, Signer(Plain("codesign"), program),
       CAPICOM_E_CERTIFICATE_NO_PRIVATE_KEY},
      {"e-mail certificate", program, Signer(FromMy("signer"), program), CERT_E_WRONG_USAGE},
      {"signer without certificate", program, CCapicomSigner(), CAPICOM_E_SIGNER_NOT_INITIALIZED},
      {"empty signer wrapper", program, CCapicomSigner(kx::engine::kEmpty), CAPICOM_E_SIGNER_NOT_INITIALIZED},
      {"document name twice", program, twice, CAPICOM_E_ATTRIBUTE_INVALID_NAME},
      {"not a program", notProgram, Signer(FromMy("codesign"), notProgram), kxsc::TRUST_E_SUBJECT_FORM_UNKNOWN},
      {"no file name", "", Signer(FromMy("codesign"), program), E_INVALIDARG},
  };
  for (const Row& r : rows) {
    const std::string before = r.path.empty() ? "" : kxtest::ReadFile(r.path);
    CCapicomSignedCode code;
    code.PutFileName(r.path.c_str());
    EXPECT_EQ(Raised([&] { code.Sign(r.signer); }), r.expected) << r.what;
    if (!r.path.empty()) { EXPECT_EQ(kxtest::ReadFile(r.path), before) << r.what; }
  }
}

class SignedCodeStampTest : public SignedCodeWrapperTest {
 protected:
  void SetUp() override {
    SignedCodeWrapperTest::SetUp();
    // The service is on this machine whatever proxy the environment names.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    std::string error;
    ASSERT_TRUE(tsa_.Start(kxtest::SourceDir() + "/tests/signedcode/tsa_server.py",
                           {dir_, Pem("tsa"), Key("tsa"), kxtest::pki::ChainPem()}, &error))
        << error;
  }
  kxtest::LocalServer tsa_;
};

TEST_F(SignedCodeStampTest, TimeStampedSignaturesVerifyHereAndWithOsslsigncode) {
  const std::string path = SignedCopy("hello64.dll");
  CCapicomSignedCode code;
  code.PutFileName(path.c_str());
  const time_t before = time(nullptr);
  ASSERT_EQ(Raised([&] { EXPECT_EQ(code.Timestamp(tsa_.Url("/legacy").c_str()), S_OK); }), S_OK);
  EXPECT_NE(kxtest::ReadFile(dir_ + "/requests.log").find("/legacy"), std::string::npos);

  std::string out;
  EXPECT_TRUE(OsslVerify(path, &out, "-TSA-CAfile " + Quote(Pem("root")))) << out;
  EXPECT_NE(out.find("Timestamp verified using"), std::string::npos) << out;

  ASSERT_EQ(Raised([&] { EXPECT_EQ(code.Verify(true), S_OK); }), S_OK);
  CCapicomSigner stamper = code.GetTimeStamper();
  ASSERT_FALSE(stamper.IsEmpty());
  EXPECT_EQ(Simple(stamper.GetCertificate()), "Test Time Stamping");
  EXPECT_EQ(stamper.GetChain().GetCertificates().GetCount(), 3);
  CCapicomAttributes attributes = stamper.GetAuthenticatedAttributes();
  ASSERT_EQ(attributes.GetCount(), 1);
  CDateTime when;
  ASSERT_TRUE(attributes.GetItem(1).GetValueDate(when));
  EXPECT_GE(static_cast<DATE>(when), static_cast<DATE>(CDateTime(before - 2)));
  EXPECT_LE(static_cast<DATE>(when), static_cast<DATE>(CDateTime(time(nullptr) + 2)));
  EXPECT_EQ(Simple(code.GetSigner().GetCertificate()), Simple(Plain("codesign")));
}

TEST_F(SignedCodeStampTest, RefusedStampsRaiseAndLeaveTheFile) {
  const std::string path = SignedCopy("hello32.exe");
  const std::string signedBytes = kxtest::ReadFile(path);
  struct Row {
    const char* what;
    std::string path, url;
    HRESULT expected;
  };
  const Row rows[] = {
      {"server error", path, tsa_.Url("/status500"), KX_HR(0x801901F4)},
      {"no time stamp in the answer", path, tsa_.Url("/garbage"), kxsc::TRUST_E_TIME_STAMP},
      {"no address", path, "", E_INVALIDARG},
      {"unsigned program", Copy("hello64.exe"), tsa_.Url("/legacy"), kxsc::TRUST_E_NOSIGNATURE},
  };
  for (const Row& r : rows) {
    const std::string before = kxtest::ReadFile(r.path);
    CCapicomSignedCode code;
    code.PutFileName(r.path.c_str());
    EXPECT_EQ(Raised([&] { code.Timestamp(r.url.c_str()); }), r.expected) << r.what;
    EXPECT_EQ(kxtest::ReadFile(r.path), before) << r.what;
  }
  EXPECT_EQ(kxtest::ReadFile(path), signedBytes);
  EXPECT_EQ(VerifyCode(path), S_OK);
}

// An engine object that records the flag its Verify receives.
struct RecordingCode : kx::ComObject<RecordingCode, ISignedCode> {
  bool QueryBase(REFIID riid, void** ppv) {
    if (riid != IID_IDispatch) return false;
    *ppv = static_cast<IDispatch*>(this);
    return true;
  }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP get_FileName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_FileName(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_Description(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_Description(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_DescriptionURL(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_DescriptionURL(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_Signer(ISigner2**) override { return E_NOTIMPL; }
  STDMETHODIMP get_TimeStamper(ISigner2**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Certificates(ICertificates2**) override { return E_NOTIMPL; }
  STDMETHODIMP Sign(ISigner2*) override { return E_NOTIMPL; }
  STDMETHODIMP Timestamp(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP Verify(VARIANT_BOOL allow) override {
    flags.push_back(allow);
    return S_OK;
  }
  std::vector<VARIANT_BOOL> flags;
};

TEST_F(SignedCodeWrapperTest, WrapperRules) {
  // An empty wrapper calls nothing and touches no file.
  const std::string path = Copy("hello32.exe");
  const std::string before = kxtest::ReadFile(path);
  CCapicomSignedCode empty(kx::engine::kEmpty);
  empty.PutFileName(path.c_str());
  empty.PutDescription("x");
  EXPECT_EQ(empty.Sign(Signer(FromMy("codesign"), path)), E_FAIL);
  EXPECT_EQ(empty.Timestamp("http://127.0.0.1/"), E_FAIL);
  EXPECT_EQ(empty.Verify(true), E_FAIL);
  EXPECT_TRUE(empty.GetFileName().IsEmpty());
  EXPECT_TRUE(empty.GetDescription().IsEmpty());
  EXPECT_TRUE(empty.GetDescriptionURL().IsEmpty());
  EXPECT_TRUE(empty.GetSigner().IsEmpty());
  EXPECT_TRUE(empty.GetTimeStamper().IsEmpty());
  EXPECT_TRUE(empty.GetCertificates().IsEmpty());
  EXPECT_EQ(kxtest::ReadFile(path), before);

  // The user-interface flag reaches the engine as -1 or 0.
  auto* recorder = new RecordingCode();
  CCapicomSignedCode recorded(kx::engine::kEmpty);
  recorded.SetInterface(static_cast<ISignedCode*>(recorder));
  EXPECT_EQ(recorded.Verify(false), S_OK);
  EXPECT_EQ(recorded.Verify(true), S_OK);
  EXPECT_EQ(recorder->flags, (std::vector<VARIANT_BOOL>{0, -1}));
  recorder->Release();

  // Copies share the engine object; assigning an empty wrapper empties.
  CCapicomSignedCode one;
  CCapicomSignedCode two = one;
  two.PutFileName(path.c_str());
  EXPECT_EQ(one.GetFileName().GetAnsi(), path);
  two = empty;
  EXPECT_TRUE(two.IsEmpty());
  EXPECT_EQ(two.Verify(false), E_FAIL);

  // Without the engine the creating constructor raises the class error.
  ASSERT_TRUE(kx::UnregisterClass(CLSID_SignedCode));
  EXPECT_EQ(Raised([] { CCapicomSignedCode code; }), REGDB_E_CLASSNOTREG);
  kx::RegisterClassModule(CLSID_SignedCode, CAPICOM_MODULE_NAME);
  EXPECT_EQ(Raised([] { CCapicomSignedCode code; }), S_OK);
}

}  // namespace
