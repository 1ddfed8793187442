// The SignedCode object: Authenticode signatures on the program file it is given, made with a Signer object's
// certificate and key, time-stamped through a service, and checked over the user's stores.
#include <mutex>
#include <optional>
#include <utility>

#include "platform/capicom/cms/com_internal.h"
#include "platform/capicom/signedcode.h"
#include "platform/capicom/signedcode/signedcode.h"

namespace kx::capi {
namespace {

// The engine's text attributes travel as an OCTET STRING of UTF-16 text, little endian, as in signed data.
Bytes TextAttributeValue(const std::u16string& text) {
  return kxsc::der::Tlv(kxsc::der::kOctetString, kxsc::der::Utf16Le(text));
}

// The signer's attributes in the signature: the signing time dates it; the document name and description
// are signed with it under the engine's own identifiers. Each name at most once.
HRESULT MapAttributes(const std::vector<kxcms::Attribute>& attributes, kxsc::SignParams& p) {
  bool seen[3] = {};
  for (const kxcms::Attribute& a : attributes) {
    if (a.name < CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME || a.name > CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_DESCRIPTION)
      return Fail(CAPICOM_E_ATTRIBUTE_INVALID_NAME, "unknown attribute name " + std::to_string(a.name));
    if (seen[a.name]) return Fail(CAPICOM_E_ATTRIBUTE_INVALID_NAME, "an attribute is given twice");
    seen[a.name] = true;
    if (a.name == CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME) {
      p.signingTime = a.time;
    } else {
      const char* oid = a.name == CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME ? kxcms::kDocumentNameOid
                                                                               : kxcms::kDocumentDescriptionOid;
      p.extraAttributes.push_back({oid, TextAttributeValue(a.text)});
    }
  }
  return S_OK;
}

// What a signature showed: the decoded signature and, after a Verify, the chains built for its certificates.
struct Seen {
  kxsc::SignatureInfo info;
  std::vector<std::pair<CertRef, ChainResult>> chains;

  const ChainResult* ChainOf(const CertRef& cert) const {
    for (const auto& [c, r] : chains)
      if (c->thumbprint() == cert->thumbprint()) return &r;
    return nullptr;
  }
};

CertRef CertOf(const kxsc::X509Ref& x) { return x ? CertData::FromX509(x.get()) : nullptr; }

class SignedCode : public kx::ComObject<SignedCode, ISignedCode> {
  KX_ENGINE_DISPATCH(SignedCode, ISignedCode)

 public:
  STDMETHODIMP get_FileName(BSTR* out) override { return TextOut(m_fileName, out); }
  STDMETHODIMP put_FileName(BSTR v) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_fileName = Utf8(v);
      m_verified.reset();
      return S_OK;
    });
  }
  STDMETHODIMP get_Description(BSTR* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(m_description.data(), static_cast<UINT>(m_description.size()));
    return S_OK;
  }
  STDMETHODIMP put_Description(BSTR v) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_description = v ? std::u16string(v, SysStringLen(v)) : std::u16string();
      return S_OK;
    });
  }
  STDMETHODIMP get_DescriptionURL(BSTR* out) override { return TextOut(m_descriptionUrl, out); }
  STDMETHODIMP put_DescriptionURL(BSTR v) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_descriptionUrl = Utf8(v);
      return S_OK;
    });
  }

  STDMETHODIMP get_Signer(ISigner2** out) override {
    return FromSignature(out, [](const Seen& seen, ISigner2** signer) {
      return NewSigner(seen, seen.info.signer, {}, signer);
    });
  }
  STDMETHODIMP get_TimeStamper(ISigner2** out) override {
    return FromSignature(out, [](const Seen& seen, ISigner2** stamper) {
      if (seen.info.timestamp == kxsc::TimestampKind::None || !seen.info.timestamper) return S_OK;
      // The stamper's signing time is the time it vouches for.
      kxcms::Attribute when;
      when.name = CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME;
      when.time = seen.info.timestampTime;
      return NewSigner(seen, seen.info.timestamper, {when}, stamper);
    });
  }
  STDMETHODIMP get_Certificates(ICertificates2** out) override {
    return FromSignature(out, [](const Seen& seen, ICertificates2** list) {
      std::vector<StoreEntry> entries;
      for (const kxsc::X509Ref& x : seen.info.certificates) {
        StoreEntry e;
        e.cert = CertOf(x);
        entries.push_back(std::move(e));
      }
      *list = NewCertificates(entries);
      return S_OK;
    });
  }

  STDMETHODIMP Sign(ISigner2* signer) override {
    return Guard([&] {
      SignerMaterial material;
      HRESULT hr = ReadSigner(signer, material);
      if (FAILED(hr)) return hr;
      kxsc::SignParams p;
      std::string path;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        path = m_fileName;
        p.description = m_description;
        p.descriptionUrl = m_descriptionUrl;
      }
      hr = MapAttributes(material.attributes, p);
      if (FAILED(hr)) return hr;
      const TrustSources pool = UserTrustSources();
      const kxcms::SignerParams from = SignerParamsOf(material, pool);
      p.certificate = from.certificate;
      p.privateKey = from.privateKey;
      p.chainCandidates = from.chainCandidates;
      p.includeOption = from.includeOption;
      p.libctx = LibCtx();
      std::string detail;
      hr = kxsc::SignFile(path, p, &detail);
      Forget(path);
      return FAILED(hr) ? Fail(hr, detail) : S_OK;
    });
  }

  STDMETHODIMP Timestamp(BSTR url) override {
    return Guard([&] {
      kxsc::TimestampParams t;
      t.url = Utf8(url);
      t.protocol = kxsc::TimestampProtocol::Authenticode;
      const std::string path = FileName();
      std::string detail;
      HRESULT hr = kxsc::TimestampFile(path, t, &detail);
      Forget(path);
      return FAILED(hr) ? Fail(hr, detail) : S_OK;
    });
  }

  STDMETHODIMP Verify(VARIANT_BOOL) override {
    return Guard([&] {
      const std::string path = FileName();
      Seen seen;
      kxsc::VerifyParams v;
      v.libctx = LibCtx();
      v.chainCheck = EngineChainCheck([&seen](X509* cert, const ChainResult& r) {
        seen.chains.emplace_back(CertData::FromX509(cert), r);
      });
      std::string detail;
      HRESULT hr = kxsc::VerifyFile(path, v, &seen.info, &detail);
      {
        // A signature that could be read shows its signers, also when a check failed.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (path == m_fileName) {
          if (seen.info.signer) m_verified.emplace(std::move(seen));
          else m_verified.reset();
        }
      }
      return FAILED(hr) ? Fail(hr, detail) : S_OK;
    });
  }

 private:
  HRESULT TextOut(const std::string& text, BSTR* out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!out) return E_POINTER;
    *out = TextBstr(text);
    return S_OK;
  }
  std::string FileName() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileName;
  }
  // The file changed: what the last Verify showed of it no longer holds.
  void Forget(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (path == m_fileName) m_verified.reset();
  }

  // An object made from the file's signature.
  template <class I, class Make>
  HRESULT FromSignature(I** out, Make make) {
    return Guard([&] {
      if (!out) return Fail(E_POINTER);
      *out = nullptr;
      Seen seen;
      HRESULT hr = Read(seen);
      return FAILED(hr) ? hr : make(seen, out);
    });
  }

  // The last Verify's view of the file, else the file's signature as it is now.
  HRESULT Read(Seen& out) {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_verified) {
        out.chains = m_verified->chains;
        out.info.signer = kxcms::Ref(m_verified->info.signer.get());
        out.info.timestamper = kxcms::Ref(m_verified->info.timestamper.get());
        for (const kxsc::X509Ref& x : m_verified->info.certificates) out.info.certificates.push_back(kxcms::Ref(x.get()));
        out.info.timestamp = m_verified->info.timestamp;
        out.info.timestampTime = m_verified->info.timestampTime;
        return S_OK;
      }
      path = m_fileName;
    }
    std::string detail;
    HRESULT hr = kxsc::ReadSignature(path, &out.info, &detail);
    return FAILED(hr) ? Fail(hr, detail) : S_OK;
  }

  // A Signer object for one certificate of the signature, with the chain Verify built for it if any.
  static HRESULT NewSigner(const Seen& seen, const kxsc::X509Ref& x, const std::vector<kxcms::Attribute>& attributes,
                           ISigner2** out) {
    if (!x) return Fail(CAPICOM_E_SIGNER_NOT_FOUND, "the signer's certificate is not in the signature");
    StoreEntry e;
    e.cert = CertOf(x);
    std::vector<CertRef> carried;
    for (const kxsc::X509Ref& c : seen.info.certificates) carried.push_back(CertOf(c));
    *out = NewMessageSigner(e, attributes, seen.ChainOf(e.cert), carried);
    return S_OK;
  }

  std::mutex m_mutex;
  std::string m_fileName;
  std::u16string m_description;
  std::string m_descriptionUrl;
  std::optional<Seen> m_verified;  // of m_fileName
};

}  // namespace

KX_ENGINE_CLASS(CLSID_SignedCode, SignedCode);

}  // namespace kx::capi
