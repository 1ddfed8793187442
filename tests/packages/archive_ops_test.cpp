// The archive protect operations: protected archives written by ours, opened by the openssl command line (the
// content key's envelope, the chunk signatures) and by the system's own reader under the strict policy.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archives/ArchiveOperations.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomStore.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "packages/packagetest.h"
#include "policy/policy_test.h"

using namespace kxtest;

namespace {

using packagetest::Exists;

// The run page of a test: progress and report kept in members.
class TestRunPage : public CArchiveRunBase {
 public:
  int StepProgress() override { return position++; }
  int OffsetProgress(int delta) override {
    int previous = position;
    position += delta;
    return previous;
  }
  int GetProgressPosition() override { return position; }
  void SetReportText(const CString& text) override { report = text; }
  int position = 0;
  CString report;
};

std::string Str(const CString& s) { return static_cast<const char*>(s); }

class ArchiveOperations : public PolicyTest {
 protected:
  void SetUp() override {
    PolicyTest::SetUp();
    d = MakeTempDir("archive");
    signer = WithKey("signer");
    // 2.5 MiB of varied bytes: three chunks of the default 1 MiB.
    std::string bytes;
    for (int i = 0; bytes.size() < (5u << 19); ++i) bytes += "chunk line " + std::to_string(i * 7919) + "\n";
    content = bytes.substr(0, 5u << 19);
    data.m_strDestinationPath = (d + "/backup.tvx").c_str();
    data.m_strZipPath = data.m_strDestinationPath + "__KX__.zip";
    WriteFile(Str(data.m_strZipPath), content);
  }

  CCapicomCertificate WithKey(const char* name) {
    std::string pfx = pki::MakePfx(name, "pw", false, d + "/" + name + ".pfx");
    CCapicomCertificate c;
    EXPECT_EQ(c.Load(pfx.c_str(), "pw", CAPICOM_KEY_STORAGE_EXPORTABLE, CAPICOM_CURRENT_USER_KEY), S_OK);
    CCapicomStore my;
    EXPECT_EQ(my.Open(CAPICOM_CURRENT_USER_STORE, "My", CAPICOM_STORE_OPEN_READ_WRITE), S_OK);
    EXPECT_EQ(my.Add(c), S_OK);
    return c;
  }

  // A one-click preset: AES at 256 bits, recipient "encrypt", the given signers.
  void WritePreset(std::vector<CCapicomCertificate> signers, bool withRecipient = true) {
    CFileManager manager;
    std::unique_ptr<COneClickFile> preset(dynamic_cast<COneClickFile*>(manager.CreateFileObject("KCLK")));
    ASSERT_TRUE(preset);
    preset->m_info.m_strText3 = "Archive preset";
    preset->m_info.m_body.m_nested.m_bCipherIndex = CAPICOM_ENCRYPTION_ALGORITHM_AES;
    preset->m_info.m_body.m_nested.m_bKeyLengthIndex = CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS;
    CCertificateList recipients, signerList;
    if (withRecipient) recipients.Add(Cert("encrypt"));
    for (const CCapicomCertificate& c : signers) signerList.Add(c);
    ASSERT_TRUE(preset->m_oneClickRecord.SetRecipientCertificates(recipients));
    ASSERT_TRUE(preset->m_oneClickRecord.SetSignerCertificates(signerList));
    data.m_strPresetPath = (d + "/archive.clk").c_str();
    ASSERT_TRUE(preset->Save(data.m_strPresetPath));
  }

  struct Output {
    std::unique_ptr<CFileStream> stream;
    std::unique_ptr<CTolvexBinaryFileBase> file;
    std::vector<std::string> blocks;
  };
  Output Open(CFileManager& manager, const std::string& path) {
    Output o;
    o.stream.reset(manager.OpenStream(path.c_str()));
    EXPECT_TRUE(o.stream && o.stream->IsOpen()) << path;
    if (!o.stream) return o;
    o.file.reset(dynamic_cast<CTolvexBinaryFileBase*>(o.stream->ReadFileObject()));
    EXPECT_TRUE(o.file) << path;
    CByteBuffer block;
    while (o.stream->ReadUInt32Block(block)) o.blocks.push_back(StringOf(block));
    return o;
  }

  // The content key, opened by openssl with the recipient's key; the envelope's cipher in *cipher.
  std::string OpenKey(const CByteBuffer& envelope, std::string* cipher) {
    WriteFile(d + "/key.der", StringOf(envelope));
    std::string out;
    EXPECT_EQ(kxtest::Run("openssl cms -decrypt -binary -inform DER -in '" + d + "/key.der' -recip '" + pki::Pem("encrypt") +
                  "' -inkey '" + pki::Key("encrypt") + "' -out '" + d + "/key.bin'", &out),
              0)
        << out;
    kxtest::Run("openssl cms -cmsout -print -inform DER -in '" + d + "/key.der'", cipher);
    return ReadFile(d + "/key.bin");
  }

  std::string Decrypt(const std::string& key, const std::string& block) {
    CCapicomEncryptedData decryptor;
    decryptor.SetCipher(CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
    decryptor.GetAlgorithm().PutName(CAPICOM_ENCRYPTION_ALGORITHM_AES);
    decryptor.GetAlgorithm().PutKeyLength(CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS);
    EXPECT_EQ(decryptor.SetSecretFromBuffer(BufferOf(key), 0), S_OK);
    BSTR bytes = kx::engine::ToBinaryBstr(BufferOf(block));
    HRESULT hr = decryptor.Decrypt(bytes, 1);
    SysFreeString(bytes);
    CByteBuffer plain;
    EXPECT_TRUE(SUCCEEDED(hr) && decryptor.GetContentToBuffer(plain));
    return StringOf(plain);
  }

  // openssl verifies a detached signature over the content (the chain is not its business here).
  void ExpectSignature(const std::string& signature, const std::string& content) {
    WriteFile(d + "/sig.der", signature);
    WriteFile(d + "/content.bin", content);
    std::string out;
    EXPECT_EQ(kxtest::Run("openssl cms -verify -binary -noverify -inform DER -in '" + d + "/sig.der' -content '" + d +
                  "/content.bin' -out /dev/null", &out),
              0)
        << out;
  }

  std::string d, content;
  CCapicomCertificate signer{kx::engine::kEmpty};
  CArchiveWizardData data;
};

TEST_F(ArchiveOperations, EncryptForTheRecipients) {
  CSystemProfile profile;
  profile.Load();
  profile.MemoryCache = 0;  // 1 MiB chunks
  profile.Save();
  WritePreset({signer});
  TestRunPage page;
  ASSERT_EQ(MakeArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
  const std::string output = d + "/backup.tvx";
  EXPECT_EQ(Str(page.m_strOutputPath), output);
  EXPECT_EQ(Str(page.m_strLastResult), "Operation Successful. File (" + output + ") saved.");
  EXPECT_FALSE(Exists(Str(data.m_strZipPath)));
  EXPECT_FALSE(page.report.IsEmpty());
  EXPECT_EQ(page.position, 1 + 2 * 25000);  // one step, then 50000 / 2 per block while below 50000

  CFileManager manager;
  Output o = Open(manager, output);
  ASSERT_TRUE(o.file);
  EXPECT_EQ(o.file->GetOptions()[0], 0);
  EXPECT_EQ(o.file->GetOptions()[7], 1);
  // The name it decrypts to: the archive's, not the temporary zip file's.
  EXPECT_EQ(Str(o.file->m_info.m_strText1), "backup.zip");
  EXPECT_EQ(Str(o.file->m_info.m_strText3), "Archive preset");
  EXPECT_TRUE(o.file->m_info.m_encryption.m_bPresent);
  EXPECT_FALSE(o.file->m_info.m_signing.m_bPresent);
  ASSERT_EQ(o.blocks.size(), 3u);

  // The key opens with the recipient's own key, under the content's cipher; the blocks give the archive back.
  std::string cipher;
  const std::string key = OpenKey(o.file->m_info.m_encryption.m_buffer, &cipher);
  EXPECT_EQ(key.size(), 32u);
  EXPECT_NE(cipher.find("aes-256-cbc"), std::string::npos) << cipher;
  std::string plain;
  for (const std::string& b : o.blocks) plain += Decrypt(key, b);
  EXPECT_TRUE(plain == content);
}

TEST_F(ArchiveOperations, SignEveryChunkUnderANumberedName) {
  WritePreset({signer});
  WriteFile(d + "/backup.tvx", "someone else's file");
  CSystemProfile profile;
  profile.Load();
  profile.MemoryCache = 2;  // 2 MiB chunks: two blocks
  profile.Save();
  TestRunPage page;
  ASSERT_EQ(SignArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
  const std::string output = d + "/backup(1).tvx";
  EXPECT_EQ(Str(page.m_strOutputPath), output);
  EXPECT_EQ(Str(page.m_strLastResult), "Archive Sign Operation Successful. File (" + output + ") saved.");
  EXPECT_EQ(ReadFile(d + "/backup.tvx"), "someone else's file");

  CFileManager manager;
  Output o = Open(manager, output);
  ASSERT_TRUE(o.file);
  EXPECT_EQ(o.file->GetOptions()[0], 1);
  ASSERT_EQ(o.blocks.size(), 2u);
  EXPECT_TRUE(o.blocks[0] + o.blocks[1] == content);  // signed only: the blocks are the archive
  ASSERT_EQ(o.file->m_info.m_body.GetEntryCount(), 1u);
  PayloadEntry entry;
  ASSERT_TRUE(o.file->m_info.m_body.GetEntry(0, entry));
  ASSERT_EQ(entry.m_buffers.GetCount(), 2u);
  for (DWORD k = 0; k < 2; ++k) ExpectSignature(StringOf(entry.m_buffers.GetAt(k)), o.blocks[k]);
  ASSERT_EQ(o.file->m_info.m_signing.m_list.GetCount(), 1u);
  EXPECT_EQ(TextOf(o.file->m_info.m_signing.m_list.m_first.GetAt(0)), TextOf(signer.GetInfo(0)));
}

TEST_F(ArchiveOperations, SignAndEncryptReadsBackUnderTheStrictPolicy) {
  TrustFixture();
  SetStrictPolicy(1);
  SetOneClickFolder(d);
  WriteTrustPoints(d, {"root"});
  WithKey("encrypt");  // the recipient opens what the reader reads
  WritePreset({signer});
  data.m_strDestinationPath.Empty();  // the output goes beside the zip archive
  TestRunPage page;
  ASSERT_EQ(SignAndEncryptArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
  const std::string output = Str(data.m_strZipPath) + ".Tvx";
  EXPECT_EQ(Str(page.m_strLastResult), "Archive Sign and Encrypt Operation Successful. File (" + output + ") saved.");

  CFileManager manager;
  Output o = Open(manager, output);
  ASSERT_TRUE(o.file);
  EXPECT_EQ(o.file->GetOptions()[0], 2);
  // The system's own reader opens the key, decrypts every block and checks its signature.
  std::unique_ptr<CFileStream> stream(manager.OpenStream(output.c_str()));
  std::unique_ptr<CTolvexBinaryFileBase> file(dynamic_cast<CTolvexBinaryFileBase*>(stream->ReadFileObject()));
  ASSERT_TRUE(file);
  CString text;
  EXPECT_TRUE(file->VerifyContent(stream.get(), text)) << Str(text);
  // And openssl agrees on the first block.
  std::string cipher;
  const std::string key = OpenKey(o.file->m_info.m_encryption.m_buffer, &cipher);
  PayloadEntry entry;
  ASSERT_TRUE(o.file->m_info.m_body.GetEntry(0, entry));
  ASSERT_EQ(entry.m_buffers.GetCount(), o.blocks.size());
  ExpectSignature(StringOf(entry.m_buffers.GetAt(0)), Decrypt(key, o.blocks[0]));
}

// Killed at several points while it writes its package (as the output appears, a third and two thirds of the
// way), a run leaves nothing new in the folder, named or hidden; the next run leaves only its own output.
TEST_F(ArchiveOperations, AKilledRunLeavesNothing) {
  CSystemProfile profile;
  profile.Load();
  profile.MemoryCache = 0;  // 1 MiB chunks
  profile.Save();
  WritePreset({signer});
  const std::string output = d + "/backup.tvx";
  int killed = 0;
  for (int third = 0; third < 3; ++third) {
    SCOPED_TRACE(std::to_string(third) + "/3");
    WriteFile(Str(data.m_strZipPath), content);
    const std::set<std::string> before = FolderNames(d);
    const int status = RunKilledWhenWritten(d, static_cast<long long>(content.size()) * third / 3, [&] {
      TestRunPage page;
      MakeArchive(&page, &data);
    });
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
      ++killed;
      EXPECT_EQ(FolderNames(d), before);
    } else {
      // A machine so busy that the run ended before the kill: then its output is whole.
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      ::unlink(output.c_str());
      WriteFile(Str(data.m_strZipPath), content);
    }
    TestRunPage page;
    ASSERT_EQ(MakeArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
    std::set<std::string> after = before;
    after.erase("backup.tvx__KX__.zip");
    after.insert("backup.tvx");
    EXPECT_EQ(FolderNames(d), after);
    ::unlink(output.c_str());
  }
  EXPECT_GT(killed, 0);
}

TEST_F(ArchiveOperations, FailuresLeaveNoOutput) {
  struct Case {
    const char* what;
    HRESULT (*operation)(CArchiveRunBase*, const CArchiveWizardData*);
    bool keyInStore, recipient, emptyZip, noPreset;
    const char* reason;
    bool secondSignerWithoutKey = false;
  } cases[] = {
      {"signer without a private key", &SignArchive, false, true, false, false,
       "failed during sign operation Make sure you have access to private key."},
      {"signed and encrypted, signer without a private key", &SignAndEncryptArchive, false, true, false, false,
       "failed during sign operation Make sure you have access to private key."},
      // The signer with a key would sign alone and leave the other's entry without signatures, which no reader
      // accepts.
      {"second signer without a private key", &SignArchive, true, true, false, false,
       "failed during sign operation Make sure you have access to private key.", true},
      {"no recipient", &MakeArchive, true, false, false, false, "names no recipient"},
      {"empty archive", &MakeArchive, true, true, true, false, "the archive is empty"},
      {"no preset", &SignArchive, true, true, false, true, "no one-click preset"},
  };
  const char* prefixes[] = {"Archive Encrypt Operation Failed. File (", "Archive Sign Operation Failed. File (",
                            "Archive Sign and Encrypt Operation Failed. File ("};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(Str(data.m_strZipPath), c.emptyZip ? std::string() : content);
    std::vector<CCapicomCertificate> signers{c.keyInStore ? signer : Cert("encrypt")};
    if (c.secondSignerWithoutKey) signers.push_back(Cert("encrypt"));
    WritePreset(signers, c.recipient);
    if (c.noPreset) data.m_strPresetPath.Empty();
    TestRunPage page;
    EXPECT_LT(c.operation(&page, &data), 0);
    const std::string output = d + "/backup.tvx";
    EXPECT_FALSE(Exists(output));
    EXPECT_FALSE(Exists(Str(data.m_strZipPath)));
    const std::string message = Str(page.m_strLastResult);
    const int mode = c.operation == &MakeArchive ? 0 : c.operation == &SignArchive ? 1 : 2;
    EXPECT_EQ(message.rfind(std::string(prefixes[mode]) + output + ") ", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
}

TEST_F(ArchiveOperations, EngineRefusalEndsTheRunWithItsText) {
  // A preset that names no cipher: the engine refuses the algorithm, and its text is the reason.
  WritePreset({signer});
  {
    CFileManager manager;
    std::unique_ptr<CBaseKesmoraFile> object(manager.OpenFile(data.m_strPresetPath));
    auto* preset = dynamic_cast<COneClickFile*>(object.get());
    ASSERT_TRUE(preset);
    preset->m_info.m_body.m_nested.m_bCipherIndex = 0xFF;
    ASSERT_TRUE(preset->Save(data.m_strPresetPath));
  }
  TestRunPage page;
  const HRESULT hr = MakeArchive(&page, &data);
  EXPECT_LT(hr, 0);
  EXPECT_EQ(Str(page.m_strLastResult), "Archive Encrypt Operation Failed. File (" + d + "/backup.tvx) " +
                                           TextOf(GetCapicomErrorMessage(hr)));
  EXPECT_FALSE(Exists(d + "/backup.tvx"));
  EXPECT_FALSE(Exists(Str(data.m_strZipPath)));
}

TEST_F(ArchiveOperations, SignerCheckedBeforeSigning) {
  // Nothing of the fixture's chain is trusted: the check fails, the archive is still signed and written.
  COfficeTolvexConfig config;
  config.LoadOperationOptions();
  config.VerifyBeforeSign = 1;
  ASSERT_TRUE(config.SaveOperationOptions());
  WritePreset({signer});
  TestRunPage page;
  ASSERT_EQ(SignArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
  const std::string message = Str(page.m_strLastResult);
  EXPECT_EQ(message.rfind("Operation completed with signer verification error. File (" + d + "/backup.tvx) saved. ", 0),
            0u)
      << message;
  EXPECT_GT(message.size(), std::string("Operation completed with signer verification error. File (" + d +
                                        "/backup.tvx) saved. ").size());
  EXPECT_TRUE(Exists(d + "/backup.tvx"));
}

TEST_F(ArchiveOperations, OutputFolderOfTheProfile) {
  const std::string folder = MakeTempDir("outputs");
  CSystemProfile profile;
  profile.Load();
  profile.OutputOption = 1;
  profile.OutputFolder = folder.c_str();  // no trailing separator: one is added
  profile.Save();
  WritePreset({signer});
  data.m_strDestinationPath.Empty();
  TestRunPage page;
  ASSERT_EQ(MakeArchive(&page, &data), S_OK) << Str(page.m_strLastResult);
  EXPECT_EQ(Str(page.m_strOutputPath), folder + "/backup.tvx__KX__.zip.Tvx");
  EXPECT_TRUE(Exists(folder + "/backup.tvx__KX__.zip.Tvx"));
  CString same = (folder + "/").c_str();
  page.m_Profile.OutputFolder = same;
  CString out;
  page.GetOutputFolder(1, out);
  EXPECT_EQ(Str(out), folder + "/");
  page.m_Profile.OutputOption = 0;
  out = "kept";
  page.GetOutputFolder(1, out);
  EXPECT_EQ(Str(out), "kept");
}

}  // namespace
