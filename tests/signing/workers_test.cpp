// The Signer Wizard's workers run on a wizard sheet without windows: what they write is read back by the
// decrypt-and-verify worker and checked with the openssl command line.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>
#include <set>

#include "app/ResString.h"
#include "core/TvxFormatSettings.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/newfile.h"
#include "platform/win32/registry.h"
#include "certsel/online_ca.h"
#include "signing/signing_test.h"
#include "support/pki.h"

using namespace signtest;

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

// A file signed by Dave (revoked) opened when only signatures are checked: kept, and said so.
constexpr const char* kDaveRevoked =
    "The signature of Dave Revoked is intact, but its digital ID is not valid: The certificate or a certificate "
    "above it in the chain has been revoked.";

class Workers : public SigningTest {
 protected:
  // Encrypts the file for the recipients with the cipher into folder; the sheet after the run.
  std::unique_ptr<CSignSheet> Encrypt(const std::vector<std::string>& files, const std::string& folder,
                                      const std::vector<CCapicomCertificate>& recipients, int cipher, int keyLength) {
    auto sheet = NewSheet(0, files, folder);
    sheet->m_WizardData.m_arrRecipientCerts = recipients;
    sheet->m_WizardData.m_nCipher = cipher;
    sheet->m_WizardData.m_nKeyLength = keyLength;
    EXPECT_EQ(Run(*sheet, EncryptThreadProc), 0u);
    EXPECT_EQ(sheet->m_WizardData.m_bOperationDone.load(), 1);
    return sheet;
  }
  std::unique_ptr<CSignSheet> Sign(int mode, const std::vector<std::string>& files, const std::string& folder,
                                   const std::vector<CCapicomCertificate>& signers) {
    auto sheet = NewSheet(mode, files, folder);
    sheet->m_WizardData.m_arrSignerCerts = signers;
    UINT (*proc)(LPVOID) = mode == 3 ? CountersignThreadProc : SignThreadProc;
    EXPECT_EQ(Run(*sheet, proc), 0u);
    return sheet;
  }
  std::unique_ptr<CSignSheet> Decrypt(const std::vector<std::string>& files, const std::string& folder) {
    auto sheet = NewSheet(4, files, folder);
    EXPECT_EQ(Run(*sheet, DecryptVerifyThreadProc), 0u);
    EXPECT_EQ(sheet->m_WizardData.m_bOperationDone.load(), 1);
    return sheet;
  }
  // The content key inside the protected file, opened by openssl with the recipient's key.
  std::string OpenEnvelopeWithOpenssl(const std::string& envelope, const std::string& recipient, std::string* print) {
    std::string in = File("envelope.der", envelope), out = m_dir + "/key.bin";
    std::string text;
    EXPECT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(in) + " -recip " + Q(kxtest::pki::Pem(recipient)) +
                          " -inkey " + Q(kxtest::pki::Key(recipient)) + " -out " + Q(out),
                      &text),
              0)
        << text;
    if (print) Openssl("cms -cmsout -print -inform DER -in " + Q(in), print);
    return kxtest::ReadFile(out);
  }
  std::string Folder(const std::string& name) { return kxtest::MakeTempDir(name); }
};

TEST_F(Workers, ArgumentsThatAreNoSignerWizardAreRefused) {
  CBaseSheet other("Other", nullptr, 0);
  for (UINT (*proc)(LPVOID) : {EncryptThreadProc, SignThreadProc, SignAndEncryptThreadProc, CountersignThreadProc,
                               DecryptVerifyThreadProc}) {
    EXPECT_EQ(proc(nullptr), 1u);
    EXPECT_EQ(proc(static_cast<CObject*>(&other)), 1u);
  }
}

// Encryption with every kind of cipher choice: the content key's envelope opens with openssl (with the
// user's cipher when it is triple DES or AES, else triple DES), and the decrypt-and-verify worker gives the
// input back, also with the system's own cipher, whose last block is filled up.
TEST_F(Workers, EncryptedFilesOpenWithOpensslAndDecryptToTheInput) {
  WithKey("encrypt");
  SetMemoryCache(1);
  struct Case {
    int version, cipher, keyLength;
    const char* envelopeCipher;
    size_t keyBytes;
  } cases[] = {{1, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "des-ede3-cbc", 24},
               {1, CAPICOM_ENCRYPTION_ALGORITHM_RC2, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS, "des-ede3-cbc", 24},
               {1, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "aes-256-cbc", 32},
               {2, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS, "aes-256-cbc", 32}};
  const std::string input = Content((5u << 19) + 1001);  // 2.5 MiB and an odd tail
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.envelopeCipher) + " version " + std::to_string(c.version));
    CTvxFormatSettings format;
    format.m_nFormatVersion = c.version;
    ASSERT_EQ(format.Save(), ERROR_SUCCESS);
    std::string in = File("report.doc", input), out = Folder("out" + std::to_string(c.cipher) + std::to_string(c.version));
    auto sheet = Encrypt({in}, out, {Cert("encrypt")}, c.cipher, c.keyLength);
    const std::string protectedPath = out + "/report.doc.Tvx";
    EXPECT_EQ(Outputs(*sheet), std::vector<std::string>{protectedPath});
    EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
    EXPECT_EQ(sheet->m_WizardData.m_strLastOutputFile.str(), protectedPath);
    EXPECT_EQ(sheet->m_WizardData.m_bOperationSucceeded, 1);

    ProtectedFile file = Read(protectedPath);
    ASSERT_TRUE(file.object);
    EXPECT_TRUE(file.ok);
    const BYTE options[8] = {0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(memcmp(file.object->GetOptions(), options, 8), 0);
    const PayloadInfo& info = file.object->m_info;
    EXPECT_STREQ(info.m_strText1, "report.doc");
    EXPECT_EQ(info.m_abFormat[3], c.version);
    EXPECT_EQ(info.m_signing.m_bPresent, 0);
    EXPECT_EQ(info.m_encryption.m_bPresent, 1);
    EXPECT_EQ(info.m_encryption.m_bThirdFlag, 1);
    EXPECT_EQ(info.m_body.m_nested.m_bCipherIndex, c.cipher);
    EXPECT_EQ(info.m_body.m_nested.m_bKeyLengthIndex, c.keyLength);
    ASSERT_EQ(info.m_encryption.m_list.GetCount(), 1u);
    EXPECT_STREQ(info.m_encryption.m_list.m_first.GetAt(0).GetAnsi(), Cert("encrypt").GetInfo(0).GetAnsi());
    // One block per megabyte of input, none of them plain.
    ASSERT_EQ(file.blocks.size(), 3u);
    EXPECT_EQ(file.blocks[0].find(input.substr(0, 64)), std::string::npos);

    std::string print;
    std::string key = OpenEnvelopeWithOpenssl(StringOf(info.m_encryption.m_buffer), "encrypt", &print);
    EXPECT_EQ(key.size(), c.keyBytes);
    EXPECT_NE(print.find(c.envelopeCipher), std::string::npos) << print;

    std::string plain = Folder("plain" + std::to_string(c.cipher) + std::to_string(c.version));
    auto back = Decrypt({protectedPath}, plain);
    EXPECT_EQ(Results(*back), std::vector<std::string>{"Success"});
    EXPECT_EQ(Outputs(*back), std::vector<std::string>{plain + "/report.doc"});
    EXPECT_TRUE(kxtest::ReadFile(plain + "/report.doc") == input);
  }
}

// Every signer signs every chunk: one entry per signer with one detached signature per block, each verified by
// openssl over its plain block and carrying the signing time and the document name; only the first entry has
// the drawn signature.
TEST_F(Workers, SignedFilesCarryOneSignaturePerSignerAndBlock) {
  CCapicomCertificate alice = WithKey("signer"), dave = WithKey("revoked");
  SetMemoryCache(1);
  const std::string input = Content(3u << 20);
  std::string in = File("report.doc", input), out = Folder("signed");
  auto sheet = NewSheet(1, {in}, out);
  sheet->m_WizardData.m_arrSignerCerts = {alice, dave};
  sheet->m_WizardData.m_Payload.m_strText1 = "Alice's signature";
  sheet->m_WizardData.m_Payload.m_buffer1 = BufferOf("KSGR picture");
  ASSERT_EQ(Run(*sheet, SignThreadProc), 0u);
  const std::string signedPath = out + "/report.doc.Tvx";
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
  EXPECT_TRUE(sheet->m_WizardData.m_strResultMessage.IsEmpty());

  ProtectedFile file = Read(signedPath);
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->GetOptions()[0], 1);
  const PayloadInfo& info = file.object->m_info;
  EXPECT_EQ(info.m_signing.m_bPresent, 1);
  EXPECT_EQ(info.m_encryption.m_bPresent, 0);
  EXPECT_EQ(info.m_signing.m_list.GetCount(), 2u);
  ASSERT_EQ(file.blocks.size(), 3u);
  EXPECT_TRUE(file.blocks[0] + file.blocks[1] + file.blocks[2] == input);
  ASSERT_EQ(info.m_body.GetEntryCount(), 2u);
  for (DWORD e = 0; e < 2; ++e) {
    PayloadEntry entry;
    ASSERT_TRUE(info.m_body.GetEntry(e, entry));
    EXPECT_EQ(entry.m_bFlag, e == 0 ? 1 : 0);
    EXPECT_EQ(StringOf(entry.m_buffer1), e == 0 ? "KSGR picture" : "");
    ASSERT_EQ(entry.m_buffers.GetCount(), 3u);
    for (DWORD k = 0; k < 3; ++k) {
      std::string print;
      VerifyWithOpenssl(StringOf(entry.m_buffers.GetAt(k)), file.blocks[k], k == 0 ? &print : nullptr);
      if (k == 0) {
        EXPECT_NE(print.find("signingTime"), std::string::npos) << print;
        EXPECT_NE(print.find("1.3.6.1.4.1.311.88.2.1"), std::string::npos) << print;
      }
    }
  }

  // Signatures only are checked (the default): the file is opened, and its row says Dave's ID is revoked.
  std::string plain = Folder("plain");
  auto back = Decrypt({signedPath}, plain);
  EXPECT_EQ(Results(*back), std::vector<std::string>{kDaveRevoked});
  EXPECT_TRUE(kxtest::ReadFile(plain + "/report.doc") == input);
}

// Signed and encrypted: the blocks are ciphertext, the signatures cover the plain chunks, the recipient is
// listed, and the file decrypts and verifies whole.
TEST_F(Workers, SignedAndEncryptedFilesDecryptAndVerify) {
  CCapicomCertificate alice = WithKey("signer");
  WithKey("encrypt");
  SetMemoryCache(1);
  const std::string input = Content((5u << 19) + 3);
  std::string in = File("report.doc", input), out = Folder("both");
  auto sheet = NewSheet(2, {in}, out);
  CProtectWizardData& data = sheet->m_WizardData;
  data.m_arrSignerCerts = {alice};
  // Alice's key may only sign: she cannot be a recipient.
  data.m_arrRecipientCerts = {Cert("encrypt")};
  data.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  data.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
  ASSERT_EQ(Run(*sheet, SignAndEncryptThreadProc), 0u);
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});

  ProtectedFile file = Read(out + "/report.doc.Tvx");
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->GetOptions()[0], 2);
  const PayloadInfo& info = file.object->m_info;
  const BYTE flags[5] = {0, 1, 1, 1, 0};
  EXPECT_EQ(memcmp(info.m_body.m_abFlags, flags, 5), 0);
  EXPECT_EQ(info.m_encryption.m_list.GetCount(), 1u);
  ASSERT_EQ(file.blocks.size(), 3u);
  PayloadEntry entry;
  ASSERT_TRUE(info.m_body.GetEntry(0, entry));
  ASSERT_EQ(entry.m_buffers.GetCount(), 3u);
  VerifyWithOpenssl(StringOf(entry.m_buffers.GetAt(2)), input.substr(2u << 20));

  std::string plain = Folder("plain");
  auto back = Decrypt({out + "/report.doc.Tvx"}, plain);
  EXPECT_EQ(Results(*back), std::vector<std::string>{"Success"});
  EXPECT_TRUE(kxtest::ReadFile(plain + "/report.doc") == input);

  // Format version 2 fills the last cipher block with zeros; a file written before the content's length was
  // kept gives the content as the signatures cover it, without the filler.
  CTvxFormatSettings format;
  format.m_nFormatVersion = 2;
  ASSERT_EQ(format.Save(), ERROR_SUCCESS);
  const std::string out2 = Folder("both2"), plain2 = Folder("plain2");
  ASSERT_EQ(Run(*sheet, SignAndEncryptThreadProc), 0u);
  ASSERT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
  kxtest::WriteFile(out2 + "/report.doc.Tvx", kxtest::ReadFile(out + "/report.doc(1).Tvx"));
  Rewrite(out2 + "/report.doc.Tvx", [](CTolvexBinaryFile& f) {
    EXPECT_EQ(f.m_info.m_abFormat[3], 2);
    f.m_info.m_strText2.Empty();
  });
  auto old = Decrypt({out2 + "/report.doc.Tvx"}, plain2);
  EXPECT_EQ(Results(*old), std::vector<std::string>{"Success"});
  EXPECT_TRUE(kxtest::ReadFile(plain2 + "/report.doc") == input);
}

// Countersigning adds one entry per new signer next to the input, named from the stored document name; the
// existing signatures must verify first, and an encrypted file is refused.
TEST_F(Workers, CountersigningAddsSignersAndKeepsTheExistingOnes) {
  CCapicomCertificate alice = WithKey("signer"), dave = WithKey("revoked");
  WithKey("encrypt");
  SetMemoryCache(1);
  const std::string input = Content((3u << 19) + 77);
  std::string in = File("report.doc", input);
  Sign(1, {in}, m_dir, {alice});
  const std::string signedPath = m_dir + "/report.doc.Tvx";
  ASSERT_TRUE(Exists(signedPath));

  for (int run = 1; run <= 2; ++run) {
    auto sheet = Sign(3, {signedPath}, "", {dave});
    const std::string expected = m_dir + "/report.doc(" + std::to_string(run) + ").Tvx";
    EXPECT_EQ(Outputs(*sheet), std::vector<std::string>{expected});
    EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Success"});
  }
  ProtectedFile file = Read(m_dir + "/report.doc(1).Tvx");
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->GetOptions()[0], 3);
  EXPECT_EQ(file.object->m_info.m_signing.m_list.GetCount(), 2u);
  ASSERT_EQ(file.object->m_info.m_body.GetEntryCount(), 2u);
  PayloadEntry added;
  ASSERT_TRUE(file.object->m_info.m_body.GetEntry(1, added));
  ASSERT_EQ(added.m_buffers.GetCount(), file.blocks.size());
  VerifyWithOpenssl(StringOf(added.m_buffers.GetAt(1)), file.blocks[1]);

  std::string plain = Folder("plain");
  auto back = Decrypt({m_dir + "/report.doc(1).Tvx"}, plain);
  EXPECT_EQ(Results(*back), std::vector<std::string>{kDaveRevoked});
  EXPECT_TRUE(kxtest::ReadFile(plain + "/report.doc") == input);

  // Encrypted files are not countersigned.
  std::string out = Folder("encrypted");
  Encrypt({in}, out, {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  auto refused = Sign(3, {out + "/report.doc.Tvx"}, out, {dave});
  EXPECT_EQ(Outputs(*refused), std::vector<std::string>{"Error"});
  EXPECT_EQ(Results(*refused), std::vector<std::string>{std::string(LoadResString(381))});
  EXPECT_FALSE(Exists(out + "/report.doc(1).Tvx"));
}

// A failed file leaves no output and takes no other file's output with it; the run goes on, one entry per file
// in each list, and numbered names never replace an existing file.
TEST_F(Workers, FailedFilesLeaveNoOutputAndTheRunGoesOn) {
  WithKey("encrypt");
  StartAuditLog();
  std::string good = File("report.doc", Content(5000)), empty = File("empty.doc", "");
  std::string out = Folder("out");
  kxtest::WriteFile(out + "/report.doc(1).Tvx", "someone else's file");
  auto sheet = Encrypt({good, empty, m_dir + "/missing.doc", "", good}, out, {Cert("encrypt")},
                       CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  EXPECT_EQ(Outputs(*sheet), (std::vector<std::string>{out + "/report.doc.Tvx", "Error", "Error", "Error",
                                                        out + "/report.doc(2).Tvx"}));
  std::vector<std::string> results = Results(*sheet);
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[0], "Success");
  EXPECT_EQ(results[1], std::string(LoadResString(370)) + " " + std::string(LoadResString(371)));
  EXPECT_EQ(results[4], "Success");
  EXPECT_TRUE(Exists(out + "/report.doc.Tvx"));
  EXPECT_FALSE(Exists(out + "/empty.doc.Tvx"));
  EXPECT_EQ(kxtest::ReadFile(out + "/report.doc(1).Tvx"), "someone else's file");
  // The audit log: the saved files and the empty one.
  std::vector<std::string> audit = AuditEntries();
  ASSERT_EQ(audit.size(), 3u);
  EXPECT_EQ(audit[0].rfind("Encrypt Operation|Information|" + std::string(LoadResString(364)) + " ", 0), 0u) << audit[0];
  EXPECT_EQ(audit[1], "Encrypt Operation|Fatal Error|Failed because file size is 0 bytes");
  EXPECT_EQ(audit[2].rfind("Encrypt Operation|Information|", 0), 0u) << audit[2];

  // A signer whose key is not here: the output made for the file goes again.
  auto unsigned_ = NewSheet(1, {good}, Folder("unsigned"));
  unsigned_->m_WizardData.m_arrSignerCerts = {Cert("expired")};
  Run(*unsigned_, SignThreadProc);
  EXPECT_EQ(Outputs(*unsigned_), std::vector<std::string>{"Error"});
  EXPECT_FALSE(Exists(kxtest::Root() + "/unsigned/report.doc.Tvx"));
}

// A run stopped while it writes (killed by the file-size limit, as a crash or a full disk stops it) leaves
// nothing in the output folder: no output under its name, no hidden temporary.
TEST_F(Workers, ARunKilledWhileWritingLeavesNothingInTheFolder) {
  WithKey("encrypt");
  SetMemoryCache(1);
  const std::string input = File("big.doc", Content(3u << 20));
  const std::string out = Folder("killed");
  const int status = kxtest::RunKilledWhileWriting(1u << 20, [&] {
    Encrypt({input}, out, {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(kxtest::FolderNames(out), std::set<std::string>{});
}

// Killed at several points while it writes (as its output appears, a third and two thirds of the way), an
// encryption or a decryption leaves nothing in its output folder, named or hidden, and the next run there leaves
// only its own output. Where the file system has no unnamed files the killed run's hidden temporary stays until
// the next run there sweeps it.
TEST_F(Workers, KilledRunsLeaveNothingAndTheNextRunOnlyItsOwnOutput) {
  WithKey("encrypt");
  SetMemoryCache(1);
  const std::string input = Content(6u << 20);
  const std::string in = File("big.doc", input);
  const std::string src = Folder("src");
  Encrypt({in}, src, {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  const std::string encrypted = src + "/big.doc.Tvx";
  ASSERT_TRUE(Exists(encrypted));
  auto encrypt = [&](const std::string& out) {
    Encrypt({in}, out, {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_AES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  };
  auto decrypt = [&](const std::string& out) { Decrypt({encrypted}, out); };
  const struct {
    const char* kind;
    bool unnamed;
    std::function<void(const std::string&)> run;
    const char* output;
  } rows[] = {
      {"encrypt", true, encrypt, "big.doc.Tvx"},
      {"decrypt", true, decrypt, "big.doc"},
      {"encrypt-named", false, encrypt, "big.doc.Tvx"},
  };
  int killed = 0;
  for (const auto& row : rows) {
    for (int third = 0; third < 3; ++third) {
      SCOPED_TRACE(std::string(row.kind) + " at " + std::to_string(third) + "/3");
      const std::string out = Folder(std::string(row.kind) + std::to_string(third));
      const int status = kxtest::RunKilledWhenWritten(out, static_cast<long long>(input.size()) * third / 3, [&] {
        kx::SetUnnamedFilesForTests(row.unnamed);
        row.run(out);
      });
      if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        ++killed;
        for (const std::string& name : kxtest::FolderNames(out)) {
          EXPECT_TRUE(!row.unnamed && kx::IsNewFileTemporary(name)) << name;
        }
      } else {
        // A machine so busy that the run ended before the kill: then its output is whole.
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(kxtest::FolderNames(out), std::set<std::string>{row.output});
        kxtest::Run("rm -f '" + out + "/" + row.output + "'");
      }
      row.run(out);
      EXPECT_EQ(kxtest::FolderNames(out), std::set<std::string>{row.output});
    }
  }
  EXPECT_GT(killed, 0);
  EXPECT_TRUE(kxtest::ReadFile(Folder("decrypt2") + "/big.doc") == input);
}

// What decrypt and verify refuses: a changed body, a file of another kind, a block whose signature does not
// verify (its partial output goes, the next file is done), a dropped block, and a recorded name that leaves the
// folder. Outputs are numbered when the recorded name is taken.
TEST_F(Workers, DecryptAndVerifyRefusesWhatWasChanged) {
  CCapicomCertificate alice = WithKey("signer");
  SetMemoryCache(1);
  const std::string input = Content((5u << 19) + 9);
  std::string in = File("report.doc", input);
  std::string src = Folder("src");
  Sign(1, {in}, src, {alice});
  const std::string original = src + "/report.doc.Tvx";
  auto copy = [&](const std::string& name) {
    std::string path = src + "/" + name;
    kxtest::WriteFile(path, kxtest::ReadFile(original));
    return path;
  };
  std::string changedBody = copy("body.Tvx"), changedBlock = copy("block.Tvx"), dropped = copy("dropped.Tvx"),
              escaping = copy("escape.Tvx"), plainFile = File("plain.Tvx", "not protected at all");
  // One byte of the object's body: the digest no longer matches.
  std::string bytes = kxtest::ReadFile(changedBody);
  bytes[bytes.size() - 64 - 30] ^= 1;
  kxtest::WriteFile(changedBody, bytes);
  ProtectedFile file = Read(original);
  std::vector<std::string> blocks = file.blocks;
  blocks[1][10] ^= 1;
  Rewrite(changedBlock, [](CTolvexBinaryFile&) {}, &blocks);
  std::vector<std::string> two(file.blocks.begin(), file.blocks.begin() + 2);
  Rewrite(dropped, [](CTolvexBinaryFile&) {}, &two);
  Rewrite(escaping, [](CTolvexBinaryFile& f) { f.m_info.m_strText1 = "../../escaped.doc"; });

  std::string out = Folder("plain");
  // The recorded name is taken twice: the number goes before its extension.
  kxtest::WriteFile(out + "/report.doc", "kept");
  kxtest::WriteFile(out + "/report(1).doc", "kept too");
  auto sheet = Decrypt({changedBody, plainFile, changedBlock, original, dropped, escaping}, out);
  std::vector<std::string> outputs = Outputs(*sheet), results = Results(*sheet);
  ASSERT_EQ(outputs.size(), 6u);
  EXPECT_EQ(outputs[0], "Error");
  EXPECT_EQ(results[0], "The Office Tolvex has detected that this file has been modified. (SHA-1 Hash of the file "
                        "doesnt match with generated one)");
  EXPECT_EQ(outputs[1], "Error");
  EXPECT_EQ(results[1],
            "The document has the same extension as Office Tolvex file, but it is not a valid office tolvex document");
  EXPECT_EQ(outputs[2], "Error");
  EXPECT_EQ(results[2], std::string(LoadResString(354)));
  EXPECT_EQ(outputs[3], out + "/report(2).doc");
  EXPECT_EQ(results[3], "Success");
  EXPECT_TRUE(kxtest::ReadFile(out + "/report(2).doc") == input);
  EXPECT_EQ(outputs[4], "Error");
  EXPECT_EQ(results[4], "The file is damaged or incomplete: part of its content is missing.");
  EXPECT_EQ(outputs[5], out + "/escaped.doc");
  EXPECT_FALSE(Exists(kxtest::Root() + "/escaped.doc"));
  // Only the good files' outputs are there, and what was in the folder before is untouched.
  EXPECT_EQ(kxtest::ReadFile(out + "/report.doc"), "kept");
  EXPECT_EQ(kxtest::ReadFile(out + "/report(1).doc"), "kept too");
  EXPECT_FALSE(Exists(out + "/report(3).doc"));
  // A run whose only file fails names no output to its host.
  auto failed = Decrypt({changedBlock}, Folder("none"));
  EXPECT_EQ(Outputs(*failed), std::vector<std::string>{"Error"});
  EXPECT_EQ(failed->m_WizardData.m_strLastOutputFile.str(), "");
}

// A file that cannot be opened is reported with the cause, whether it was to be protected or read back.
TEST_F(Workers, AFileThatCannotBeOpenedIsReportedWithItsCause) {
  const std::string missing = m_dir + "/missing.doc", notFound = "The system cannot find the file specified.";
  auto protect = Encrypt({missing}, Folder("out"), {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_AES,
                         CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  EXPECT_EQ(Results(*protect), std::vector<std::string>{"Failed to open the file: " + notFound});
  auto read = Decrypt({missing + ".Tvx", Folder("a-folder")}, Folder("plain"));
  EXPECT_EQ(Results(*read), (std::vector<std::string>{"Failed to open the file: " + notFound,
                                                      "Failed to open the file: Access is denied."}));
}

// Without the recipient's key the file is not opened, and the engine's words or the key-not-found text say so.
TEST_F(Workers, DecryptingWithoutTheKeyNamesTheMissingKey) {
  std::string in = File("report.doc", Content(4000)), out = Folder("out");
  Encrypt({in}, out, {Cert("encrypt")}, CAPICOM_ENCRYPTION_ALGORITHM_3DES, CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS);
  auto sheet = Decrypt({out + "/report.doc.Tvx"}, Folder("plain"));
  EXPECT_EQ(Outputs(*sheet), std::vector<std::string>{"Error"});
  EXPECT_EQ(Results(*sheet), std::vector<std::string>{"Recipient digital ID / Private key cannot be found."});
  EXPECT_EQ(sheet->m_WizardData.m_bOperationSucceeded, 0);
}

// A signer that fails its check before signing: the files are signed all the same, and the success says so in
// the file's result and in the run's result message for the host.
TEST_F(Workers, ASignerThatFailsItsCheckSignsWithAWarning) {
  CCapicomCertificate alice = WithKey("signer"), carol = WithKey("expired");
  SetSetting("Config", "VerifyBeforeSign", 1);
  std::string in = File("report.doc", Content(2000)), out = Folder("out");
  auto sheet = Sign(1, {in}, out, {alice, carol});
  std::vector<std::string> results = Results(*sheet);
  ASSERT_EQ(results.size(), 1u);
  const std::string saved = std::string(LoadResString(374)) + " ";
  EXPECT_EQ(results[0].rfind(saved, 0), 0u) << results[0];
  EXPECT_GT(results[0].size(), saved.size() + out.size());
  EXPECT_EQ(sheet->m_WizardData.m_strResultMessage.str(), results[0]);
  EXPECT_EQ(Outputs(*sheet), std::vector<std::string>{out + "/report.doc.Tvx"});
}

// A wizard that goes while its worker still runs waits for it: the worker never outlives the pages it reports
// to, and its file is written whole.
TEST_F(Workers, AWizardWaitsForItsWorkerBeforeItGoes) {
  WithKey("encrypt");
  kx::signing::Pauses().afterRun = 300;
  std::string in = File("report.doc", Content(3u << 20)), out = Folder("out");
  auto sheet = NewSheet(0, {in}, out);
  sheet->m_WizardData.m_arrRecipientCerts = {Cert("encrypt")};
  sheet->m_WizardData.m_nCipher = CAPICOM_ENCRYPTION_ALGORITHM_AES;
  sheet->m_WizardData.m_nKeyLength = CAPICOM_ENCRYPTION_KEY_LENGTH_128_BITS;
  sheet->StartWorker(EncryptThreadProc);
  sheet.reset();
  ProtectedFile file = Read(out + "/report.doc.Tvx");
  ASSERT_TRUE(file.object);
  EXPECT_TRUE(file.ok);
}


// Signatures judged by the one validity verdict. Files signed by digital IDs of the fixture and made with
// openssl, decrypted and verified at both levels: checking signatures only keeps the file but says on the row
// what is wrong with its signer (no plain "Success"); full checking refuses the file with the same reason.
// Signatures judged by the one validity verdict, alike in each place that reads a signed file: decrypting and
// verifying, and countersigning (by Alice, whose own ID is good). Checking signatures only keeps the file but
// says on its row what is wrong with its signer (no plain "Success"); full checking refuses it with the same
// reason.
class SignatureTable : public Workers {
 protected:
  void SetUp() override {
    Workers::SetUp();
    m_alice = WithKey("signer");
  }
  // A file with the content signed by the signer alone; its path.
  std::string SignedBy(const CCapicomCertificate& signer) {
    const std::string name = "report" + std::to_string(++m_files) + ".doc";
    const std::string folder = Folder("signed" + std::to_string(m_files));
    auto run = Sign(1, {File(name, Content(3000))}, folder, {signer});
    EXPECT_EQ(Outputs(*run).size(), 1u);
    return folder + "/" + name + ".Tvx";
  }
  // A file signed by Alice whose signatures openssl made again with an MD5 digest.
  std::string SignedWithMd5() {
    const std::string path = SignedBy(m_alice);
    ProtectedFile file = Read(path);
    PayloadEntry entry;
    EXPECT_TRUE(file.object && file.object->m_info.m_body.GetEntry(0, entry));
    entry.m_buffers.RemoveAll();
    for (const std::string& block : file.blocks) {
      const std::string in = File("block.bin", block), out = m_dir + "/block.sig";
      std::string said;
      EXPECT_EQ(Openssl("cms -sign -binary -md md5 -signer " + Q(kxtest::pki::Pem("signer")) + " -inkey " +
                            Q(kxtest::pki::Key("signer")) + " -outform DER -in " + Q(in) + " -out " + Q(out),
                        &said),
                0)
          << said;
      entry.m_buffers.Add(BufferOf(kxtest::ReadFile(out)));
    }
    Rewrite(path, [&](CTolvexBinaryFile& f) {
      f.m_info.m_body.m_entries.RemoveAll();
      f.m_info.m_body.AddEntry(entry);
      f.m_info.m_body.m_current = entry;
    });
    return path;
  }
  // The row a place gives the signed file at one level: its text, and whether the file was written.
  struct Shown {
    std::string text;
    bool written = false;
  };
  Shown Judge(const std::string& signedPath, bool countersign, bool signatureOnly) {
    SetSetting("Config", "VerifySignatureOnly", signatureOnly ? 1 : 0);
    const std::string out = Folder("judged" + std::to_string(++m_runs));
    auto sheet = countersign ? Sign(3, {signedPath}, out, {m_alice}) : Decrypt({signedPath}, out);
    const std::vector<std::string> results = Results(*sheet), outputs = Outputs(*sheet);
    EXPECT_EQ(results.size(), 1u);
    if (results.empty()) return {};
    return {results[0], outputs[0] != "Error"};
  }
  // Every place at both levels: "Success" when there is no reason; else the reason on the row, the file kept
  // when only signatures are checked and refused at full checking.
  void ExpectEverywhere(const std::string& signedPath, const char* reason) {
    for (bool countersign : {false, true}) {
      for (bool signatureOnly : {true, false}) {
        SCOPED_TRACE(std::string(countersign ? "countersign, " : "decrypt and verify, ") +
                     (signatureOnly ? "signatures only" : "full checking"));
        const Shown row = Judge(signedPath, countersign, signatureOnly);
        if (!reason) {
          EXPECT_EQ(row.text, "Success");
          EXPECT_TRUE(row.written);
        } else {
          EXPECT_NE(row.text.find(reason), std::string::npos) << row.text;
          EXPECT_EQ(row.written, signatureOnly);
        }
      }
    }
  }

  CCapicomCertificate m_alice{kx::engine::kEmpty};
  int m_files = 0, m_runs = 0;
};

TEST_F(SignatureTable, EachSignerIsJudgedAlikeInEveryPlaceAtBothLevels) {
  struct Row {
    const char* what;
    CCapicomCertificate signer;
    const char* reason;  // part of the text given; null: nothing wrong
  } rows[] = {
      {"good", m_alice, nullptr},
      {"revoked", WithKey("revoked"), "has been revoked"},
      {"expired", WithKey("expired"), "outside its validity period"},
      {"untrusted self-signed", MakeId("self", "Una Untrusted", "self"), "root certificate that is not trusted"},
      {"unknown CA", MakeId("unknown", "Uma Unknown", "other"), "an issuer certificate could not be found"},
      {"RSA-1024", MakeId("short", "Rob Short", "inter", "rsa:1024"), "RSA key of 1024 bits"},
      {"MD5-signed certificate", MakeId("md5", "Mo Digest", "inter", "rsa:2048", "md5"), "signed with MD5"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ExpectEverywhere(SignedBy(r.signer), r.reason);
  }
  SCOPED_TRACE("MD5 digest");
  ExpectEverywhere(SignedWithMd5(), "The signature is made with MD5, a weak algorithm.");
}

// Revocation learnt online: signers issued by an authority whose list is only served on 127.0.0.1. With online
// checking off the list is not asked for and whether a signer was revoked is not known, so neither signer's
// signature passes as good; on, the list is fetched and names the revoked signer while the good one passes.
// openssl verify -crl_check over the same list agrees.
TEST_F(SignatureTable, RevocationIsFetchedOnlineOnlyWhenOnlineCheckingIsOn) {
  certsel::OnlineCa ca;
  std::string error;
  ASSERT_TRUE(ca.Start(Folder("online-ca"), {"71"}, &error)) << error;
  const std::string usage = "keyUsage=critical,digitalSignature";
  const std::string olga = ca.Issue("olga", "Olga Online", usage, "70"), otto = ca.Issue("otto", "Otto Revoked", usage, "71");
  for (const auto& [base, verdict] : {std::pair{olga, std::string(": OK")}, std::pair{otto, std::string("revoked")}}) {
    std::string out;
    Openssl("verify -crl_check -CAfile " + Q(ca.CaPem()) + " -CRLfile " + Q(ca.CrlPem()) + " " + Q(base + ".pem"), &out);
    EXPECT_NE(out.find(verdict), std::string::npos) << out;
  }
  const std::string good = SignedBy(AddPfx(olga + ".pfx")), revoked = SignedBy(AddPfx(otto + ".pfx"));

  certsel::OnlineCa::SetOnlineChecking(false);
  for (const std::string& path : {good, revoked}) {
    for (bool countersign : {false, true}) {
      SCOPED_TRACE(path + (countersign ? ", countersign" : ", decrypt and verify") + ", offline");
      const Shown row = Judge(path, countersign, true);
      EXPECT_NE(row.text.find("is intact, but its digital ID is not valid: Whether the certificate has been revoked"),
                std::string::npos)
          << row.text;
      EXPECT_TRUE(row.written);
    }
  }
  EXPECT_EQ(ca.Requests(), "");

  certsel::OnlineCa::SetOnlineChecking(true);
  ExpectEverywhere(good, nullptr);
  ExpectEverywhere(revoked, "Otto Revoked is intact, but its digital ID is not valid: The certificate or a "
                            "certificate above it in the chain has been revoked.");
  EXPECT_NE(ca.Requests().find("/online-ca.crl"), std::string::npos);
}

}  // namespace
