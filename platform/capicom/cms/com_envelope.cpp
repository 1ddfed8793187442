// The EnvelopedData and EncryptedData objects.
#include <openssl/crypto.h>

#include <mutex>

#include "platform/capicom/cms/com_internal.h"
#include "platform/pkcs11/pkcs11.h"

namespace kx::capi {
namespace {

// Content, algorithm and content handed out: what both objects hold.
class Sealed {
 protected:
  Sealed() : m_algorithm(Ref<IAlgorithm>::Adopt(NewAlgorithm())) {}

  HRESULT PutContent(BSTR v) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Into the storage the last content had: chunk after chunk of a file takes no new block.
    const auto* bytes = reinterpret_cast<const uint8_t*>(v);
    m_content.assign(bytes, bytes + SysStringByteLen(v));
    m_hasContent = !m_content.empty();
    return S_OK;
  }
  HRESULT GetContent(BSTR* out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return ContentOut(m_content, m_hasContent, out);
  }
  HRESULT ReadAlgorithm(LONG& name, LONG& keyLength) {
    HRESULT hr = m_algorithm->get_Name(&name);
    return SUCCEEDED(hr) ? m_algorithm->get_KeyLength(&keyLength) : hr;
  }
  // An opened message: its content, and its cipher on the algorithm object when the engine has names for it.
  void Opened(Bytes content, const kxcms::CipherInfo& cipher) {
    m_content = std::move(content);
    Opened(cipher);
  }
  // The same once the content is in m_content.
  void Opened(const kxcms::CipherInfo& cipher) {
    m_hasContent = true;
    if (cipher.algorithm >= 0) {
      m_algorithm->put_Name(cipher.algorithm);
      m_algorithm->put_KeyLength(cipher.keyLength);
    }
  }

  std::mutex m_mutex;
  Bytes m_content;
  bool m_hasContent = false;
  Ref<IAlgorithm> m_algorithm;
};

class EnvelopedData : public kx::ComObject<EnvelopedData, IEnvelopedData>, private Sealed {
  KX_ENGINE_DISPATCH(EnvelopedData, IEnvelopedData)

 public:
  EnvelopedData() : m_recipients(Ref<IRecipients>::Adopt(NewRecipients())) {}

  STDMETHODIMP put_Content(BSTR v) override { return Guard([&] { return PutContent(v); }); }
  STDMETHODIMP get_Content(BSTR* out) override { return GetContent(out); }
  STDMETHODIMP get_Algorithm(IAlgorithm** out) override { return PutInterface(out, m_algorithm.get()); }
  STDMETHODIMP get_Recipients(IRecipients** out) override { return PutInterface(out, m_recipients.get()); }

  STDMETHODIMP Encrypt(LONG encoding, BSTR* out) override {
    return Guard([&] {
      HRESULT start = OutputStart(encoding, out);
      if (FAILED(start)) return start;
      std::vector<StoreEntry> recipients;
      LONG count = 0;
      HRESULT hr = m_recipients->get_Count(&count);
      for (LONG i = 1; SUCCEEDED(hr) && i <= count; ++i) {
        _variant_t item;
        hr = m_recipients->get_Item(i, &item);
        StoreEntry e;
        if (SUCCEEDED(hr) && (item.vt != VT_DISPATCH || !EngineCertificate(item.pdispVal, e)))
          hr = Fail(CAPICOM_E_CERTIFICATE_NOT_INITIALIZED, "a recipient has no certificate");
        recipients.push_back(e);
      }
      LONG name = 0, keyLength = 0;
      if (SUCCEEDED(hr)) hr = ReadAlgorithm(name, keyLength);
      if (FAILED(hr)) return hr;
      std::vector<X509*> certs;
      for (const StoreEntry& e : recipients) certs.push_back(e.cert->x509());
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_hasContent) return Fail(CAPICOM_E_ENVELOP_NOT_INITIALIZED, "no content to envelope");
      Bytes message;
      std::string detail;
      hr = kxcms::Envelope(m_content, certs, name, keyLength, LibCtx(), &message, &detail);
      if (FAILED(hr)) return Fail(hr, detail);
      return EncodeOut(message, encoding, out);
    });
  }

  STDMETHODIMP Decrypt(BSTR envelopedMessage) override {
    return Guard([&] {
      Bytes message = MessageIn(envelopedMessage);
      // The keys are those of the user's personal certificates.
      std::shared_ptr<CertStore> my;
      std::vector<StoreEntry> mine;
      if (SUCCEEDED(CertStore::Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_ONLY, my)))
        mine = my->Entries();
      std::string tokenError;  // why a token's key could not be used
      kxcms::KeyLookup lookup = [&mine, &tokenError](const kxcms::Recipient& who, X509Ref* cert,
                                                     kxcms::PKeyRef* key) {
        for (const StoreEntry& e : mine) {
          if (!e.key || !who.Matches(e.cert->x509())) continue;
          PKeyPtr k = LoadKey(*e.key);
          if (!k && !e.key->uri.empty()) tokenError = kx::p11::LastError();
          if (!k) continue;
          *cert = kxcms::Ref(e.cert->x509());
          key->reset(k.release());
          return true;
        }
        return false;
      };
      Bytes content;
      kxcms::CipherInfo cipher;
      std::string detail;
      HRESULT hr = kxcms::OpenEnvelope(message, lookup, LibCtx(), &content, &cipher, &detail);
      if (FAILED(hr) && !tokenError.empty()) return Fail(hr, tokenError);
      if (FAILED(hr)) return Fail(hr, detail);
      std::lock_guard<std::mutex> lock(m_mutex);
      Opened(std::move(content), cipher);
      return S_OK;
    });
  }

 private:
  Ref<IRecipients> m_recipients;
};

class EncryptedData : public kx::ComObject<EncryptedData, IEncryptedData>, private Sealed {
  KX_ENGINE_DISPATCH(EncryptedData, IEncryptedData)

 public:
  ~EncryptedData() override {
    OPENSSL_cleanse(m_secret.data(), m_secret.size());
    OPENSSL_cleanse(m_content.data(), m_content.size());
  }

  STDMETHODIMP put_Content(BSTR v) override { return Guard([&] { return PutContent(v); }); }
  STDMETHODIMP get_Content(BSTR* out) override { return GetContent(out); }
  STDMETHODIMP get_Algorithm(IAlgorithm** out) override { return PutInterface(out, m_algorithm.get()); }

  STDMETHODIMP SetSecret(BSTR secret, LONG secretType) override {
    return Guard([&] {
      if (secretType != CAPICOM_SECRET_PASSWORD) return Fail(E_INVALIDARG, "unknown secret type");
      std::lock_guard<std::mutex> lock(m_mutex);
      OPENSSL_cleanse(m_secret.data(), m_secret.size());
      m_secret = BstrBytes(secret);
      return S_OK;
    });
  }

  STDMETHODIMP Encrypt(LONG encoding, BSTR* out) override {
    return Guard([&] {
      HRESULT start = OutputStart(encoding, out);
      if (FAILED(start)) return start;
      LONG name = 0, keyLength = 0;
      HRESULT hr = ReadAlgorithm(name, keyLength);
      if (FAILED(hr)) return hr;
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_hasContent) return Fail(CAPICOM_E_ENCRYPT_NOT_INITIALIZED, "no content to encrypt");
      // Into the block the last message took: the chunks of a file come one after another, of one length.
      std::string detail;
      hr = kxcms::EncryptWithSecret(m_content, m_secret, name, keyLength, LibCtx(), &m_message, &detail);
      if (FAILED(hr)) return Fail(hr, detail);
      return EncodeOut(m_message, encoding, out);
    });
  }

  STDMETHODIMP Decrypt(BSTR encryptedMessage) override {
    return Guard([&] {
      // A binary message is read where it is; base64 text is decoded first.
      size_t size = 0;
      const uint8_t* bytes = DerBytes(encryptedMessage, &size);
      Bytes decoded;
      if (!bytes) {
        decoded = MessageIn(encryptedMessage);
        bytes = decoded.data();
        size = decoded.size();
      }
      std::lock_guard<std::mutex> lock(m_mutex);
      // The content before last lends its storage to this one: the chunks of a file come one after another
      // and each would otherwise take (and fault in) a block of its own. A failure keeps the last content.
      kxcms::CipherInfo cipher;
      std::string detail;
      HRESULT hr = kxcms::DecryptWithSecret(bytes, size, m_secret, LibCtx(), &m_spare, &cipher, &detail);
      if (SUCCEEDED(hr)) {
        std::swap(m_spare, m_content);
        Opened(cipher);
      }
      OPENSSL_cleanse(m_spare.data(), m_spare.size());
      m_spare.clear();
      return FAILED(hr) ? Fail(hr, detail) : S_OK;
    });
  }

 private:
  Bytes m_secret;
  Bytes m_spare;  // storage for the next decrypted content; holds nothing between calls
  Bytes m_message;  // storage for the next encrypted message
};

}  // namespace

KX_ENGINE_CLASS(CLSID_EnvelopedData, EnvelopedData);
KX_ENGINE_CLASS(CLSID_EncryptedData, EncryptedData);

}  // namespace kx::capi
