// The SignedData object: content, signing, co-signing and verification, and the signers and certificates
// of the last message signed or verified.
#include <map>
#include <mutex>

#include "platform/capicom/cms/com_internal.h"

namespace kx::capi {
namespace {

class SignedData : public kx::ComObject<SignedData, ISignedData> {
  KX_ENGINE_DISPATCH(SignedData, ISignedData)

 public:
  STDMETHODIMP put_Content(BSTR v) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_content = BstrBytes(v);
      m_hasContent = !m_content.empty();
      return S_OK;
    });
  }
  STDMETHODIMP get_Content(BSTR* out) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return ContentOut(m_content, m_hasContent, out);
  }
  STDMETHODIMP get_Signers(ISigners** out) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!out) return Fail(E_POINTER);
      *out = NewSigners(m_signers);
      return S_OK;
    });
  }
  STDMETHODIMP get_Certificates(ICertificates** out) override {
    return Guard([&] {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!out) return Fail(E_POINTER);
      *out = NewCertificates(m_certificates);
      return S_OK;
    });
  }

  STDMETHODIMP Sign(ISigner* signer, VARIANT_BOOL detached, LONG encoding, BSTR* out) override {
    return SignWith(signer, encoding, out, [&](const kxcms::SignerParams& params, Bytes& message, std::string& detail) {
      if (!m_hasContent) return Fail(CAPICOM_E_SIGNED_DATA_NOT_INITIALIZED, "no content to sign");
      return kxcms::Sign(m_content, params, detached != VARIANT_FALSE, LibCtx(), &message, &detail);
    });
  }

  STDMETHODIMP CoSign(ISigner* signer, LONG encoding, BSTR* out) override {
    return SignWith(signer, encoding, out, [&](const kxcms::SignerParams& params, Bytes& message, std::string& detail) {
      if (m_message.empty()) return Fail(CAPICOM_E_SIGNED_DATA_NOT_SIGNED, "no message has been signed or verified");
      return kxcms::CoSign(m_message, m_hasContent ? &m_content : nullptr, params, LibCtx(), &message, &detail);
    });
  }

  STDMETHODIMP Verify(BSTR signedMessage, VARIANT_BOOL detached, LONG verifyFlag) override {
    return Guard([&] {
      Bytes message = MessageIn(signedMessage);
      std::map<X509*, ChainResult> chains;
      kxcms::VerifyParams params;
      params.libctx = LibCtx();
      params.chainCheck = EngineChainCheck([&chains](X509* cert, const ChainResult& r) { chains[cert] = r; });
      std::lock_guard<std::mutex> lock(m_mutex);
      const bool useContent = detached != VARIANT_FALSE && m_hasContent;
      kxcms::MessageInfo info;
      std::string detail;
      HRESULT hr = kxcms::Verify(message, useContent ? &m_content : nullptr, verifyFlag, params, &info, &detail);
      // A message that could be read shows its signers, also when a check failed.
      if (!info.signers.empty()) {
        Keep(message, info, &chains);
        if (!info.detached) {
          m_content = info.content;
          m_hasContent = true;
        }
      }
      return FAILED(hr) ? Fail(hr, detail) : S_OK;
    });
  }

 private:
  // Sign and CoSign: the signer read, the new message made under the lock, kept and handed out.
  template <class Make>
  HRESULT SignWith(ISigner* signer, LONG encoding, BSTR* out, Make make) {
    return Guard([&] {
      HRESULT hr = OutputStart(encoding, out);
      SignerMaterial material;
      if (SUCCEEDED(hr)) hr = ReadSigner(signer, material);
      if (FAILED(hr)) return hr;
      TrustSources pool = UserTrustSources();
      std::lock_guard<std::mutex> lock(m_mutex);
      Bytes message;
      std::string detail;
      hr = make(SignerParamsOf(material, pool), message, detail);
      if (FAILED(hr)) return detail.empty() ? hr : Fail(hr, detail);
      kxcms::MessageInfo info;
      Keep(message, info);
      return EncodeOut(message, encoding, out);
    });
  }

  // The message becomes the object's last one: its signers (with the chains just built) and certificates.
  void Keep(const Bytes& message, kxcms::MessageInfo& info, const std::map<X509*, ChainResult>* chains = nullptr) {
    if (info.signers.empty()) kxcms::Decode(message, &info, LibCtx());
    m_message = message;
    std::vector<CertRef> carried;
    m_certificates.clear();
    for (const X509Ref& c : info.certificates) {
      StoreEntry e;
      e.cert = CertData::FromX509(c.get());
      carried.push_back(e.cert);
      m_certificates.push_back(e);
    }
    m_signers.clear();
    for (const kxcms::SignerInfo& s : info.signers) {
      StoreEntry e;
      if (s.certificate) e.cert = CertData::FromX509(s.certificate.get());
      const ChainResult* chain = nullptr;
      if (chains) {
        auto it = chains->find(s.certificate.get());
        if (it != chains->end()) chain = &it->second;
      }
      m_signers.push_back(Ref<ISigner2>::Adopt(NewMessageSigner(e, s.attributes, chain, carried)));
    }
  }

  std::mutex m_mutex;
  Bytes m_content;
  bool m_hasContent = false;
  Bytes m_message;
  std::vector<Ref<ISigner2>> m_signers;
  std::vector<StoreEntry> m_certificates;
};

}  // namespace

KX_ENGINE_CLASS(CLSID_SignedData, SignedData);

}  // namespace kx::capi
