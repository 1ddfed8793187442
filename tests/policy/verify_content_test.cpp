// Opening, decrypting and verifying protected files under the strict trust policy: files made the way the
// signing and encrypting runs make them (content blocks in a stream file, the protected file behind them).
#include <memory>

#include "core/TvxFormatSettings.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomSigner.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "policy/policy_test.h"

using namespace kxtest;

namespace {

constexpr const char* kVerifyFailed = "Unable to verify signature. Generic Digital Signature verification Error";
constexpr const char* kContentFailed = "Unable to decrypt the content of the file";
constexpr const char* kSigneeFailed =
    "Unable to decrypt signee information. Digital ID/Private Key of the recipient not found";

struct FileRecipe {
  const char* what;
  bool encrypt = false;
  bool keyInExtraBlock = true;     // else in the encryption part
  const char* signer = "signer";
  const char* recipient = "signer";
  bool opensslSignatures = false;  // the record's signatures made by the openssl command line
  int signaturesKept = -1;         // -1: one per block
  int damagedBlock = -1;           // a stored block with one byte changed after signing
  bool records = true;
  bool ok = true;
  std::string text = {};           // expected error text when not ok
  const char* recordedLength = nullptr;  // the second text, where the writers keep the content's length
};

class ProtectedFiles : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    TrustFixture();
    SetStrictPolicy(1);
    m_dir = MakeTempDir("files");
    SetOneClickFolder(m_dir);
    WriteTrustPoints(m_dir, {"root"});
  }

  // A certificate of the fixture with its private key, kept in the user's "My" store.
  CCapicomCertificate WithKey(const char* name) {
    std::string pfx = pki::MakePfx(name, "pw", false, m_dir + "/" + name + ".pfx");
    CCapicomCertificate c;
    EXPECT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
    CCapicomStore my;
    EXPECT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    EXPECT_EQ(my.Add(c), S_OK);
    return c;
  }

  std::string Sign(const CCapicomCertificate& certificate, const std::string& chunk) {
    CCapicomSigner signer;
    signer.PutCertificate(certificate);
    CCapicomSignedData data;
    data.PutContentFromBuffer(BufferOf(chunk));
    CByteBuffer signature;
    HRESULT hr = S_OK;
    CBstrString error;
    EXPECT_TRUE(data.SignToBuffer(signer, true, CAPICOM_ENCODE_BINARY, signature, hr, error)) << std::hex << hr;
    return StringOf(signature);
  }

  std::string SignWithOpenssl(const char* name, const std::string& chunk) {
    WriteFile(m_dir + "/chunk", chunk);
    std::string command = "openssl cms -sign -binary -outform DER -in '" + m_dir + "/chunk' -signer '" +
                          pki::Pem(name) + "' -inkey '" + pki::Key(name) + "' -out '" + m_dir + "/chunk.p7s'";
    EXPECT_EQ(kxtest::Run(command), 0) << command;
    return ReadFile(m_dir + "/chunk.p7s");
  }

  // Writes the stream file the recipe describes: the blocks, then the protected file describing them.
  std::string Build(const FileRecipe& recipe, const std::vector<std::string>& chunks) {
    CCapicomCertificate signer = WithKey(recipe.signer);
    CCapicomCertificate recipient = std::string(recipe.recipient) == recipe.signer ? signer : Cert(recipe.recipient);
    const std::string secret = "0123456789abcdef0123456789ABCDEF";  // long enough for AES at 256 bits

    CFileManager manager;
    std::unique_ptr<CTolvexBinaryFile> file(dynamic_cast<CTolvexBinaryFile*>(manager.CreateFileObject("KXTV")));
    file->m_info.m_strText1 = "document.txt";
    if (recipe.recordedLength) file->m_info.m_strText2 = recipe.recordedLength;
    file->m_info.m_signing.m_bPresent = 1;
    file->m_info.m_signing.m_buffer = BufferOf("document.txt");

    CCapicomEncryptedData encryptor(kx::engine::kEmpty);
    if (recipe.encrypt) {
      file->m_info.m_encryption.m_bPresent = 1;
      file->m_info.m_body.m_nested.m_bCipherIndex = CAPICOM_ENCRYPTION_ALGORITHM_AES;
      file->m_info.m_body.m_nested.m_bKeyLengthIndex = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
      CCapicomEnvelopedData envelope;
      envelope.PutContentFromBuffer(BufferOf(secret));
      EXPECT_EQ(envelope.GetRecipients().Add(recipient), S_OK);
      CByteBuffer key;
      EXPECT_TRUE(envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, key, false));
      if (recipe.keyInExtraBlock) {
        file->SetExtraBlockFlag(1);
        file->m_extraBlock = key;
      } else {
        file->m_info.m_encryption.m_buffer = key;
      }
      encryptor = CCapicomEncryptedData();
      encryptor.SetCipher(CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
      encryptor.GetAlgorithm().PutName(CAPICOM_ENCRYPTION_ALGORITHM_AES);
      encryptor.GetAlgorithm().PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
      EXPECT_EQ(encryptor.SetSecretFromBuffer(BufferOf(secret), 0), S_OK);
    }

    PayloadEntry entry;
    std::vector<std::string> stored;
    for (size_t k = 0; k < chunks.size(); ++k) {
      std::string signature = recipe.opensslSignatures ? SignWithOpenssl(recipe.signer, chunks[k]) : Sign(signer, chunks[k]);
      if (recipe.signaturesKept < 0 || static_cast<int>(k) < recipe.signaturesKept) entry.m_buffers.Add(BufferOf(signature));
      std::string block = chunks[k];
      if (recipe.encrypt) {
        encryptor.PutContentFromBuffer(BufferOf(chunks[k]));
        CByteBuffer out;
        EXPECT_TRUE(encryptor.EncryptToBuffer(CAPICOM_ENCODE_BINARY, out));
        block = StringOf(out);
      }
      if (static_cast<int>(k) == recipe.damagedBlock) block[recipe.encrypt ? 0 : block.size() / 2] ^= 0x01;
      stored.push_back(block);
    }
    if (recipe.records) { EXPECT_TRUE(file->m_info.m_body.AddEntry(entry)); }

    std::string path = m_dir + "/document.tvx";
    std::unique_ptr<CFileStream> out(manager.CreateStream(path.c_str()));
    for (const std::string& b : stored) EXPECT_TRUE(out->WriteUInt32Block(BufferOf(b)));
    EXPECT_TRUE(out->WriteFileObject(file.get()));
    out->Close();
    return path;
  }

  struct Opened {
    std::unique_ptr<CFileStream> stream;
    std::unique_ptr<CTolvexBinaryFileBase> file;
  };
  Opened Open(CFileManager& manager, const std::string& path) {
    Opened o;
    o.stream.reset(manager.OpenStream(path.c_str()));
    EXPECT_TRUE(o.stream && o.stream->IsOpen());
    o.file.reset(dynamic_cast<CTolvexBinaryFileBase*>(o.stream->ReadFileObject()));
    EXPECT_TRUE(o.file);
    return o;
  }

  std::string m_dir;
};

const std::vector<std::string> kChunks = {"The first chunk of the document, thirty-two bytes!",
                                          std::string(1000, 'b') + "the second chunk"};

}  // namespace

TEST_F(ProtectedFiles, RoundTrips) {
  FileRecipe recipes[] = {
      {"signed, two blocks"},
      {"signed by openssl", false, true, "signer", "signer", true},
      {"signed, second block changed", false, true, "signer", "signer", false, -1, 1, true, false, kVerifyFailed},
      {"signed, one signature for two blocks", false, true, "signer", "signer", false, 1, -1, true, false,
       kVerifyFailed},
      {"signed, no records", false, true, "signer", "signer", false, -1, 1, false},
      {"signed and encrypted, key in the extra block", true},
      {"signed and encrypted, key in the encryption part", true, false},
      {"signed and encrypted, second block damaged", true, true, "signer", "signer", false, -1, 1, true, false,
       kContentFailed},
      {"signed and encrypted for someone else", true, true, "signer", "encrypt", false, -1, -1, true, false,
       kSigneeFailed},
  };
  for (const FileRecipe& recipe : recipes) {
    SCOPED_TRACE(recipe.what);
    std::string path = Build(recipe, kChunks);
    CFileManager manager;
    Opened o = Open(manager, path);
    ASSERT_TRUE(o.file);
    CString text("untouched");
    EXPECT_EQ(o.file->VerifyContent(o.stream.get(), text), recipe.ok);
    EXPECT_EQ(std::string(text), recipe.ok ? "untouched" : recipe.text);
    // The caller reads the blocks on from where it was.
    CByteBuffer block;
    EXPECT_TRUE(o.stream->ReadUInt32Block(block));
    if (recipe.ok && recipe.records) { EXPECT_EQ(StringOf(o.file->m_info.m_signing.m_buffer), kChunks[0]); }
  }
}

// The own cipher of version 2 fills each block's last cipher block with zeros: the signatures cover the
// content as it was, whether the writer kept its length or not, and whatever the blocks' sizes.
TEST_F(ProtectedFiles, OwnCipherPathOfFormatVersion2) {
  CTvxFormatSettings settings;
  settings.Load();
  settings.m_nFormatVersion = 2;
  ASSERT_EQ(settings.Save(), ERROR_SUCCESS);
  const std::string fifty = std::string(45, 'a') + std::string(5, '\0');  // content's own zeros before the filler
  const std::vector<std::string> whole = {std::string(32, 'a'), std::string(48, 'c')};
  const std::vector<std::string> partial = {fifty, std::string(1016, 'b')};
  const struct {
    const char* what;
    std::vector<std::string> chunks;
    const char* recordedLength;
    bool ok;
  } cases[] = {
      {"whole cipher blocks", whole, "80", true},
      {"whole cipher blocks, no length kept", whole, nullptr, true},
      {"50 and 1016 bytes", partial, "1066", true},
      {"50 and 1016 bytes, no length kept", partial, nullptr, true},
      {"1016 bytes alone", {std::string(1016, 'b')}, "1016", true},
      {"a length that cuts the content short", partial, "1060", false},
      {"a length past the content", partial, "1070", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FileRecipe recipe{"signed and encrypted, version 2", true};
    recipe.recordedLength = c.recordedLength;
    std::string path = Build(recipe, c.chunks);
    CFileManager manager;
    Opened o = Open(manager, path);
    ASSERT_TRUE(o.file);
    EXPECT_EQ(o.file->m_info.m_abFormat[3], 2);
    CString text;
    EXPECT_EQ(o.file->VerifyContent(o.stream.get(), text), c.ok) << static_cast<const char*>(text);
    if (c.ok) EXPECT_EQ(StringOf(o.file->m_info.m_signing.m_buffer), c.chunks[0]);
    else EXPECT_EQ(std::string(text), kVerifyFailed);
  }
}

TEST_F(ProtectedFiles, SignerRejectedByThePolicy) {
  FileRecipe recipe{"signed by an expired certificate"};
  recipe.signer = "expired";
  recipe.recipient = "expired";
  std::string path = Build(recipe, kChunks);
  CFileManager manager;
  Opened o = Open(manager, path);
  ASSERT_TRUE(o.file);
  CString text;
  EXPECT_FALSE(o.file->VerifyContent(o.stream.get(), text));
  EXPECT_EQ(std::string(text), Texts({6101, 6102}));
  EXPECT_EQ(TextOf(o.file->m_strPolicyText), Texts({6101, 6102}));
  EXPECT_TRUE(o.file->m_failedCertificate.IsEqual(Cert("expired")));
}

TEST_F(ProtectedFiles, PolicyOffOrNoStreamChecksNothing) {
  FileRecipe recipe{"signed, second block changed"};
  recipe.damagedBlock = 1;
  std::string path = Build(recipe, kChunks);
  CFileManager manager;
  Opened o = Open(manager, path);
  ASSERT_TRUE(o.file);
  CString text("untouched");
  EXPECT_TRUE(o.file->VerifyContent(nullptr, text));
  SetStrictPolicy(0);
  const uint64_t position = o.stream->GetPosition();
  EXPECT_TRUE(o.file->VerifyContent(o.stream.get(), text));
  EXPECT_EQ(std::string(text), "untouched");
  EXPECT_EQ(o.stream->GetBlocksRead(), 0u);
  EXPECT_EQ(o.stream->GetPosition(), position);
}
