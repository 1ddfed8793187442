// The one-click runner: a saved preset replayed on a file with no wizard, as the package wizard's worker does.
// Outputs are opened by the Signer Wizard's reader and their envelopes and signatures checked with openssl.
#include <signal.h>
#include <sys/wait.h>

#include <memory>

#include "core/SystemProfile.h"
#include "core/TvxFormatSettings.h"
#include "encryption/OneClickRunner.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/comobject.h"
#include "platform/services/addres/addres.h"
#include "platform/win32/files.h"
#include "platform/win32/textconv.h"
#include "oneclick/oneclick_test.h"

using namespace oneclicktest;
using kxtest::StringOf;

namespace {

std::string Q(const std::string& s) { return "'" + s + "'"; }

// The host's message component: keeps what it is asked to show.
class Messages : public kx::ComObject<Messages, IKxHostMessages> {
 public:
  explicit Messages(std::vector<std::string>* shown) : m_shown(shown) {}
  STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved2() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved14() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved15() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved16() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved17() override { return E_NOTIMPL; }
  STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
  STDMETHODIMP ShowMessage(LONG, BSTR message) override {
    m_shown->push_back(message ? kx::Utf16ToUtf8(message, SysStringLen(message)) : std::string());
    return S_OK;
  }

 private:
  std::vector<std::string>* m_shown;
};

class MessagesFactory : public kx::ComObject<MessagesFactory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
    Messages* m = new Messages(&shown);
    HRESULT hr = m->QueryInterface(riid, ppv);
    m->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
  std::vector<std::string> shown;
};

class Runner : public OneClickTest {
 protected:
  void SetUp() override {
    OneClickTest::SetUp();
    m_factory = new MessagesFactory;
    kx::RegisterClassFactory(CLSID_KxHostMessages, m_factory);
  }
  void TearDown() override {
    kx::UnregisterClass(CLSID_KxHostMessages);
    m_factory->Release();
    OneClickTest::TearDown();
  }
  // One run as the package worker makes it: a new runner, Initialize, Run.
  int RunPreset(const std::string& input, const std::string& preset, BYTE operation, CString& output) {
    COneClickRunner runner;
    runner.Initialize();
    int result = runner.Run(input.c_str(), preset.c_str(), operation, output);
    m_message = runner.m_bHasMessage ? runner.m_strMessage.str() : "";
    return result;
  }
  std::string OpenEnvelope(const std::string& envelope, const std::string& recipient) {
    std::string in = File("envelope.der", envelope), out = m_dir + "/opened.bin", text;
    EXPECT_EQ(Openssl("cms -decrypt -binary -inform DER -in " + Q(in) + " -recip " + Q(kxtest::pki::Pem(recipient)) +
                          " -inkey " + Q(kxtest::pki::Key(recipient)) + " -out " + Q(out),
                      &text),
              0)
        << text;
    return kxtest::ReadFile(out);
  }
  void VerifySignature(const std::string& signature, const std::string& block) {
    std::string sig = File("sig.der", signature), content = File("block.bin", block), text;
    EXPECT_EQ(Openssl("cms -verify -binary -inform DER -in " + Q(sig) + " -content " + Q(content) + " -CAfile " +
                          Q(kxtest::pki::ChainPem()) + " -purpose any -out /dev/null",
                      &text),
              0)
        << text;
  }
  MessagesFactory* m_factory = nullptr;
  std::string m_message;
};

TEST_F(Runner, EncryptsForThePresetsRecipients) {
  WithKey("encrypt");
  for (int version : {1, 2}) {
    SCOPED_TRACE("format version " + std::to_string(version));
    CTvxFormatSettings format;
    format.m_nFormatVersion = version;
    ASSERT_EQ(format.Save(), ERROR_SUCCESS);
    PresetSpec spec;
    spec.recipients = {"encrypt"};
    spec.cipher = version > 1 ? CAPICOM_ENCRYPTION_ALGORITHM_AES : CAPICOM_ENCRYPTION_ALGORITHM_3DES;
    spec.keyLength = version > 1 ? CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS : CAPICOM_ENCRYPTION_KEY_LENGTH_192_BITS;
    const std::string preset = SavePreset(spec, "KX_ONECLICK_" + std::to_string(version) + ".clk");
    const std::string input = Content(70001);
    const std::string in = File("report" + std::to_string(version) + ".doc", input);
    CString output;
    ASSERT_EQ(RunPreset(in, preset, 0, output), 0);
    EXPECT_EQ(output.str(), in + ".Tvx");
    ProtectedFile file = Read(output.str());
    ASSERT_TRUE(file.object);
    EXPECT_EQ(file.object->GetOptions()[0], 0);
    EXPECT_EQ(file.object->m_info.m_strText1.str(), "report" + std::to_string(version) + ".doc");
    EXPECT_EQ(file.object->m_info.m_strText3.str(), "Preset");
    ASSERT_EQ(file.blocks.size(), 1u);
    // The content key opens with the recipient's key (openssl), and the reader gives the input back.
    std::string key = OpenEnvelope(StringOf(file.object->m_info.m_encryption.m_buffer), "encrypt");
    EXPECT_GE(key.size(), version > 1 ? 32u : 24u);
    if (version > 1) {
      // The system's own cipher: AES-256 under the content key, read by openssl.
      const std::string plain = OpensslEcbDecrypt("aes-256-ecb", Hex(key.substr(0, 32)), file.blocks[0]);
      EXPECT_TRUE(plain.substr(0, input.size()) == input);
    }
    bool ok = false;
    EXPECT_TRUE(DecryptThroughReader(output.str(), &ok) == input);
    EXPECT_TRUE(ok);
    // The same name again is numbered; a name given by the caller is used.
    CString second;
    ASSERT_EQ(RunPreset(in, preset, 0, second), 0);
    EXPECT_EQ(second.str(), m_dir + "/report" + std::to_string(version) + ".doc(1).Tvx");
    CString given((m_dir + "/given" + std::to_string(version) + ".Tvx").c_str());
    ASSERT_EQ(RunPreset(in, preset, 0, given), 0);
    EXPECT_EQ(given.str(), m_dir + "/given" + std::to_string(version) + ".Tvx");
  }
  EXPECT_TRUE(m_factory->shown.empty());
}

TEST_F(Runner, SignsEveryChunkWithThePresetsSigners) {
  WithKey("signer");
  SetMemoryCache(1);
  PresetSpec spec;
  spec.kind = 1;
  spec.signers = {"signer"};
  const std::string preset = SavePreset(spec, "KX_ONECLICK_1.clk");
  const std::string input = Content((2u << 20) + 5000);
  const std::string in = File("report.doc", input);
  CString output;
  ASSERT_EQ(RunPreset(in, preset, 1, output), 0);
  ProtectedFile file = Read(output.str());
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->GetOptions()[0], 1);
  ASSERT_EQ(file.blocks.size(), 3u);
  EXPECT_TRUE(file.blocks[2] == input.substr(2u << 20));
  const PayloadInfo& info = file.object->m_info;
  ASSERT_EQ(info.m_body.GetEntryCount(), 1u);
  ASSERT_EQ(info.m_signing.m_list.GetCount(), 1u);
  PayloadEntry entry;
  ASSERT_TRUE(info.m_body.GetEntry(0, entry));
  ASSERT_EQ(entry.m_buffers.GetCount(), 3u);
  VerifySignature(StringOf(entry.m_buffers.GetAt(2)), file.blocks[2]);
  // Each signature carries the signing time and the document's name.
  std::string printed;
  EXPECT_EQ(Openssl("cms -cmsout -print -inform DER -in " + Q(File("sig.der", StringOf(entry.m_buffers.GetAt(0)))), &printed), 0);
  EXPECT_NE(printed.find("signingTime"), std::string::npos) << printed;
  EXPECT_NE(printed.find("1.3.6.1.4.1.311.88.2.1"), std::string::npos) << printed;
  bool ok = false;
  EXPECT_TRUE(DecryptThroughReader(output.str(), &ok) == input);
  EXPECT_TRUE(ok);

  // Signed and encrypted in one pass: ciphertext blocks, signatures over the plain chunks.
  WithKey("encrypt");
  spec.kind = 2;
  spec.recipients = {"encrypt"};
  const std::string both = SavePreset(spec, "KX_ONECLICK_2.clk");
  CString sealed;
  ASSERT_EQ(RunPreset(in, both, 2, sealed), 0);
  file = Read(sealed.str());
  ASSERT_TRUE(file.object);
  EXPECT_EQ(file.object->GetOptions()[0], 2);
  EXPECT_EQ(file.blocks.size(), 3u);
  EXPECT_FALSE(file.blocks[0] == input.substr(0, 1u << 20));
  ASSERT_TRUE(file.object->m_info.m_body.GetEntry(0, entry));
  VerifySignature(StringOf(entry.m_buffers.GetAt(0)), input.substr(0, 1u << 20));
  EXPECT_TRUE(DecryptThroughReader(sealed.str(), &ok) == input);
  EXPECT_TRUE(ok);
}

// A signer that the certificate policy refuses: the file is signed and saved all the same, and the run says so.
TEST_F(Runner, AnInvalidSignerIsReportedWhenSignersAreCheckedFirst) {
  WithKey("expired");
  SetSetting("Config", "VerifyBeforeSign", 1);
  PresetSpec spec;
  spec.kind = 1;
  spec.signers = {"expired"};
  const std::string preset = SavePreset(spec, "KX_ONECLICK_1.clk");
  CString output;
  ASSERT_EQ(RunPreset(File("report.doc", "text"), preset, 1, output), 0);
  EXPECT_NE(m_message.find("Operation completed with signer verification error. File (" + output.str() + ") saved. "),
            std::string::npos)
      << m_message;
  EXPECT_NE(GetFileAttributes(output), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Runner, EnvelopesTheWholeFile) {
  PresetSpec spec;
  spec.recipients = {"encrypt"};
  const std::string preset = SavePreset(spec, "KX_ONECLICK_1.clk");
  const std::string input = Content(5000);
  const std::string in = File("report.doc", input);
  kxtest::WriteFile(in + ".Tvx", "someone else's file");
  CString output;
  ASSERT_EQ(RunPreset(in, preset, 3, output), 0);
  // An existing file of that name stays.
  EXPECT_EQ(kxtest::ReadFile(in + ".Tvx"), "someone else's file");
  EXPECT_EQ(output.str(), m_dir + "/report.doc(1).Tvx");
  CFileManager files;
  std::unique_ptr<CBaseKesmoraFile> object(files.OpenFile(output));
  auto* file = dynamic_cast<CTolvexBinaryFile*>(object.get());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->GetOptions()[0], 3);
  EXPECT_TRUE(OpenEnvelope(StringOf(file->m_extraBlock), "encrypt") == input);
}

// What cannot be done leaves nothing behind and gives a negative result, so that a caller counting 0 or more
// as success does not count it.
TEST_F(Runner, FailuresWriteNothingAndAreNotSuccess) {
  PresetSpec encrypt;
  encrypt.recipients = {"encrypt"};
  const std::string preset = SavePreset(encrypt, "KX_ONECLICK_1.clk");
  PresetSpec sign;
  sign.kind = 1;
  sign.signers = {"signer"};  // its key is not in the user's store
  const std::string signPreset = SavePreset(sign, "KX_ONECLICK_2.clk");
  const std::string in = File("report.doc", "text"), empty = File("empty.doc", "");
  struct Case {
    const char* what;
    std::string input, preset;
    BYTE operation;
  } cases[] = {
      {"unknown operation", in, preset, 4},
      {"missing input", m_dir + "/missing.doc", preset, 0},
      {"missing preset", in, m_dir + "/missing.clk", 0},
      {"a preset that is no preset", in, in, 0},
      {"empty input", empty, preset, 0},
      {"encrypt without recipients", in, signPreset, 0},
      {"signer without its key", in, signPreset, 1},
      {"sign and encrypt without a usable signer", in, preset, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CString output;
    EXPECT_LT(RunPreset(c.input, c.preset, c.operation, output), 0);
    EXPECT_EQ(output.str(), "");
    EXPECT_EQ(GetFileAttributes((c.input + ".Tvx").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_EQ(kxtest::ReadFile(in), "text");

  // The input's troubles go to the host's message component: held by another program, or missing.
  m_factory->shown.clear();
  HANDLE held = CreateFile(in.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CString output;
  EXPECT_LT(RunPreset(in, preset, 0, output), 0);
  CloseHandle(held);
  EXPECT_LT(RunPreset(m_dir + "/missing.doc", preset, 0, output), 0);
  EXPECT_EQ(m_factory->shown,
            (std::vector<std::string>{kx::LoadAddResString(2000).str(), kx::LoadAddResString(2001).str()}));
}

// A preset keeps its recipients' certificates; one that has expired since (or was revoked) is refused before
// anything is written, encrypting in chunks or enveloping the whole file, and the audit log says why.
TEST_F(Runner, ARecipientNoLongerValidIsRefusedBeforeAnythingIsWritten) {
  PresetSpec spec;
  spec.recipients = {"encrypt", "expired"};
  const std::string preset = SavePreset(spec, "KX_ONECLICK_1.clk");
  const std::string in = File("report.doc", "text");
  for (BYTE operation : {0, 3}) {
    SCOPED_TRACE(operation);
    CString output;
    EXPECT_LT(RunPreset(in, preset, operation, output), 0);
    EXPECT_EQ(output.str(), "");
    EXPECT_EQ(GetFileAttributes((in + ".Tvx").c_str()), INVALID_FILE_ATTRIBUTES);
    const std::vector<std::string> entries = AuditEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_NE(entries.back().find("Files cannot be encrypted for Carol Expired."), std::string::npos)
        << entries.back();
  }
}

// A run stopped half-way through its output (killed by the file-size limit) leaves nothing in the folder: no
// output under its name, no hidden temporary.
TEST_F(Runner, ARunKilledWhileWritingLeavesNothingInTheFolder) {
  PresetSpec encrypt;
  encrypt.recipients = {"encrypt"};
  const std::string preset = SavePreset(encrypt, "KX_ONECLICK_1.clk");
  const std::string folder = kxtest::MakeTempDir("killed");
  const std::string in = folder + "/big.doc";
  kxtest::WriteFile(in, Content(3u << 20));
  const int status = kxtest::RunKilledWhileWriting(1u << 20, [&] {
    CString output;
    RunPreset(in, preset, 0, output);
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(GetFileAttributes((in + ".Tvx").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(kxtest::FolderNames(folder), std::set<std::string>{"big.doc"});
}

TEST_F(Runner, SettingsAndTheOutputFolder) {
  COneClickRunner runner;
  EXPECT_FALSE(runner.Initialize());  // no preset yet
  SavePreset(PresetSpec{}, "KX_ONECLICK_1.clk");
  kxtest::WriteFile(m_presets + "/notes.txt", "x");
  EXPECT_TRUE(runner.Initialize());
  EXPECT_EQ(runner.m_fileManager.GetPathList().GetCount(), 1u);

  struct Case {
    int option;
    const char* folder;
    const char* expected;
  } cases[] = {{1, "/out", "/out/"}, {1, "/out/", "/out/"}, {0, "/out", ""}, {1, "", ""}};
  for (const Case& c : cases) {
    runner.m_systemProfile.OutputOption = c.option;
    runner.m_systemProfile.OutputFolder = c.folder;
    CString folder;
    EXPECT_EQ(runner.GetOutputFolder(1, folder), 0);
    EXPECT_EQ(folder.str(), c.expected);
  }
}

}  // namespace
