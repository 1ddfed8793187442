#include "engine/CapicomEncryptedData.h"

#include <algorithm>
#include <cstring>

#include "core/CipherEcb.h"
#include "core/SymmetricCipher.h"
#include "engine/CapicomMessage.h"
#include "core/TvxFormatSettings.h"
#include "platform/win32/registry.h"

using namespace kx::engine;

namespace {

// The layer's cipher index and key-size index for the engine's algorithm and key length; false outside the
// two tables (the maximum key length included).
bool CipherIndexes(LONG algorithm, LONG keyLength, int& cipherIndex, int& keySizeIndex) {
  static const int kCipher[] = {2, 3, 0, 1, 5};       // RC2, RC4, DES, triple DES, AES
  static const int kKeySize[] = {-1, 2, 0, 1, 4, 5};  // maximum, 40, 56, 128, 192, 256 bits
  if (algorithm < CAPICOM_ENCRYPTION_ALGORITHM_RC2 || algorithm > CAPICOM_ENCRYPTION_ALGORITHM_AES ||
      keyLength < CAPICOM_ENCRYPTION_KEY_LENGTH_40_BITS || keyLength > CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS)
    return false;
  cipherIndex = kCipher[algorithm];
  keySizeIndex = kKeySize[keyLength];
  // Triple DES at 128 bits is the two-key form.
  if (algorithm == CAPICOM_ENCRYPTION_ALGORITHM_3DES && keyLength == CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS)
    cipherIndex = 4;
  return true;
}

constexpr DWORD kContentKeyBytes = 24;

}  // namespace

CCapicomEncryptedData::CCapicomEncryptedData() {
  Rethrow([&] { Create(); });
  // Loading and saving at once leaves both values in the registry after the first wrapper.
  CTvxFormatSettings settings;
  settings.Load();
  settings.Save();
  m_FormatVersion = settings.m_nFormatVersion;
  m_bOwnContent = OwnPath();
}

CCapicomEncryptedData::CCapicomEncryptedData(kx::engine::EmptyTag) {}

CCapicomEncryptedData::CCapicomEncryptedData(const CCapicomEncryptedData& other) : CCapicomObject() { *this = other; }

BSTR kx::engine::ReusedBstr::Hold(const BYTE* bytes, DWORD length) {
  if (length == 0) return nullptr;
  if (m_bstr && SysStringByteLen(m_bstr) == length) {
    std::memcpy(m_bstr, bytes, length);
    return m_bstr;
  }
  SysFreeString(m_bstr);
  m_bstr = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes), length);
  return m_bstr;
}

CCapicomEncryptedData& CCapicomEncryptedData::operator=(const CCapicomEncryptedData& other) {
  if (this == &other) return *this;
  m_p = other.m_p;
  m_Secret = other.m_Secret;
  m_Content = other.m_Content;
  m_Algorithm = other.m_Algorithm;
  m_KeyLength = other.m_KeyLength;
  m_FormatVersion = other.m_FormatVersion;
  m_bOwnContent = other.m_bOwnContent;
  return *this;
}

CCapicomEncryptedData::~CCapicomEncryptedData() { ReleaseHeld(); }

HRESULT CCapicomEncryptedData::Create() { return CreateHeld<IEncryptedData>(CLSID_EncryptedData, m_p); }

void CCapicomEncryptedData::SetCipherParameters(LONG algorithm, LONG keyLength) {
  m_Algorithm = algorithm;
  m_KeyLength = keyLength;
}

void CCapicomEncryptedData::PutContent(BSTR content) {
  if (IEncryptedData* p = GetInterfacePtr()) Rethrow([&] { Check(p->put_Content(content)); });
}

void CCapicomEncryptedData::PutContentFromBuffer(const CByteBuffer& content) {
  if (content.GetLength() == 0) return;
  if (OwnPath()) {
    m_Content = content;
    m_bOwnContent = true;
    return;
  }
  IEncryptedData* p = GetInterfacePtr();
  if (!p) return;
  // The chunks of a file go in through one BSTR kept from chunk to chunk.
  BSTR bytes = m_message.Hold(content.GetData(), content.GetLength());
  if (!bytes) Raise(E_OUTOFMEMORY);
  Rethrow([&] { Check(p->put_Content(bytes)); });
  m_bOwnContent = false;
}

bool CCapicomEncryptedData::GetContentToBuffer(CByteBuffer& out) const {
  if (!m_bOwnContent) return GetBinaryContent(GetInterfacePtr(), out);
  out = m_Content;  // into out's own block when it has the length (chunk after chunk)
  return true;
}

CBstrString CCapicomEncryptedData::GetContent() const {
  return ReadString(GetInterfacePtr(), &IEncryptedData::get_Content);
}

CCapicomAlgorithm CCapicomEncryptedData::GetAlgorithm() const {
  CCapicomAlgorithm out;
  return ReadInto(out, GetInterfacePtr(), &IEncryptedData::get_Algorithm);
}

HRESULT CCapicomEncryptedData::SetSecret(const char* secret, LONG secretType) {
  return CallResult(GetInterfacePtr(), [&](IEncryptedData* p) { return p->SetSecret(ToBstr(secret), secretType); });
}

HRESULT CCapicomEncryptedData::SetSecretFromBuffer(const CByteBuffer& secret, LONG secretType) {
  m_Secret = secret;
  if (secret.GetLength() == 0) return E_FAIL;
  return CallResult(GetInterfacePtr(), [&](IEncryptedData* p) {
    BSTR bytes = ToBinaryBstr(secret);
    HRESULT hr = p->SetSecret(bytes, secretType);
    SysFreeString(bytes);
    return hr;
  });
}

CBstrString CCapicomEncryptedData::Encrypt(LONG encoding) {
  IEncryptedData* p = GetInterfacePtr();
  if (!p) return CBstrString();
  return Rethrow([&] { return CBstrString(ProducedBstr([&](BSTR* m) { return p->Encrypt(encoding, m); }), false); });
}

// out keeps its block when the message has its length (the chunks of a file); it is empty after a failure.
bool CCapicomEncryptedData::EncryptToBuffer(LONG encoding, CByteBuffer& out) {
  if (OwnPath()) return EncryptWithCipher(out);
  IEncryptedData* p = GetInterfacePtr();
  BSTR message = nullptr;
  try {
    if (p) message = Rethrow([&] { return ProducedBstr([&](BSTR* m) { return p->Encrypt(encoding, m); }); });
  } catch (...) {
    out.Free(out.IsWiped());
    throw;
  }
  return TakeBinary(message, out);
}

HRESULT CCapicomEncryptedData::Decrypt(BSTR message, LONG formatVersion) {
  if (formatVersion >= 2) return DecryptWithCipher(message);
  IEncryptedData* p = GetInterfacePtr();
  if (!p) return E_FAIL;
  m_bOwnContent = false;
  return p->Decrypt(message);
}

HRESULT CCapicomEncryptedData::Decrypt(const CByteBuffer& message, LONG formatVersion) {
  if (formatVersion >= 2) return DecryptWithCipher(message.GetData(), message.GetLength());
  IEncryptedData* p = GetInterfacePtr();
  if (!p) return E_FAIL;
  BSTR bytes = m_message.Hold(message.GetData(), message.GetLength());
  if (!bytes && message.GetLength()) return E_OUTOFMEMORY;
  m_bOwnContent = false;
  return p->Decrypt(bytes);
}

bool CCapicomEncryptedData::EncryptWithCipher(CByteBuffer& out) {
  int cipherIndex = -1, keySizeIndex = -1;
  const DWORD keyBytes = CipherIndexes(m_Algorithm, m_KeyLength, cipherIndex, keySizeIndex)
                             ? kxcore::KeySizeBytes(keySizeIndex)
                             : 0;
  if (keyBytes == 0 || m_Secret.GetLength() < keyBytes) {
    out.Free(out.IsWiped());
    return false;
  }
  try {
    CSymmetricCipher cipher;
    cipher.SetAlgorithm(cipherIndex, keySizeIndex);
    cipher.SetKey(m_Secret);
    cipher.SetData(m_Content);
    return cipher.Encrypt(out);
  } catch (...) {
    out.Free(out.IsWiped());
    return false;
  }
}

HRESULT CCapicomEncryptedData::DecryptWithCipher(BSTR message) {
  return DecryptWithCipher(reinterpret_cast<const BYTE*>(message), message ? SysStringByteLen(message) : 0);
}

HRESULT CCapicomEncryptedData::DecryptWithCipher(const BYTE* message, DWORD length) {
  m_bOwnContent = true;
  int cipherIndex = -1, keySizeIndex = -1;
  const DWORD keyBytes = CipherIndexes(m_Algorithm, m_KeyLength, cipherIndex, keySizeIndex)
                             ? kxcore::KeySizeBytes(keySizeIndex)
                             : 0;
  if (keyBytes == 0 || m_Secret.GetLength() < keyBytes) {
    m_Content.Free(true);
    return E_FAIL;
  }
  try {
    CSymmetricCipher cipher;
    cipher.SetAlgorithm(cipherIndex, keySizeIndex);
    cipher.SetKey(m_Secret);
    // Straight from the message's bytes, into the previous chunk's block when the lengths agree (the layer
    // empties the content when it fails).
    return cipher.Decrypt(message, length, m_Content) ? S_OK : E_FAIL;
  } catch (...) {
    m_Content.Free(true);
    return E_FAIL;
  }
}

DWORD CCapicomEncryptedData::GetSecretLength() const {
  int cipherIndex = -1, keySizeIndex = -1;
  DWORD keyBytes = CipherIndexes(m_Algorithm, m_KeyLength, cipherIndex, keySizeIndex) ? kxcore::KeySizeBytes(keySizeIndex) : 0;
  return std::max(kContentKeyBytes, keyBytes);
}

bool CCapicomEncryptedData::DeriveKeyFromBlock(const CByteBuffer& input, CByteBuffer& out) {
  out.Free(out.IsWiped());
  if (input.GetLength() < 30) return false;
  CByteBuffer salt(20, input.GetData(), true);
  CByteBuffer password(10, input.GetData() + 20, true);
  return CSymmetricCipher::DeriveKeyPbkdf2(password, salt, 1000, false, out);
}
