// Shared set-up of the Signer Wizard tests: that of the certificate choice tests (the frame's application with
// its resources, COM, the test PKI in the user's stores), short worker pauses, and helpers that run a worker on
// a wizard sheet and read the protected files it writes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "certsel/certsel_fixture.h"
#include "core/SettingsStore.h"
#include "engine/CapicomObjectSet.h"
#include "engine/engine_test.h"
#include "formats/TolvexBinaryFile.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"

namespace signtest {

using kxtest::BufferOf;
using kxtest::StringOf;

// A protected file as a reader sees it: its object and its content blocks.
struct ProtectedFile {
  std::unique_ptr<CTolvexBinaryFile> object;
  std::vector<std::string> blocks;
  bool ok = false;
};

class SigningTest : public certsel::CertSelTest {
 protected:
  // Short pauses for the test; the process's own come back after it, whatever the test changed.
  void SetUp() override;
  void TearDown() override;

  // A certificate of the test PKI with its private key, kept in the user's "My" store.
  CCapicomCertificate WithKey(const std::string& name) { return AddWithKey(name); }
  // A digital ID made with openssl: a key and certificate issued by the fixture's intermediate ("inter"), by a
  // CA of its own ("other") or self-signed ("self"), with the key and digest given; loaded into "My".
  CCapicomCertificate MakeId(const std::string& name, const std::string& cn, const std::string& issuer,
                             const std::string& key = "rsa:2048", const std::string& digest = "sha256");
  // A certificate of the test PKI alone.
  static CCapicomCertificate Cert(const std::string& name) { return kxtest::Cert(name); }

  // A wizard sheet (not shown) whose operation data holds the files, the folder and the mode, with its engine
  // objects made, as the processing page makes them.
  std::unique_ptr<CSignSheet> NewSheet(int mode, const std::vector<std::string>& files, const std::string& folder);
  // Runs the worker on the sheet on this thread; its result.
  static UINT Run(CSignSheet& sheet, UINT (*proc)(LPVOID));
  // The two result lists of the processing page.
  static std::vector<std::string> Outputs(CSignSheet& sheet);
  static std::vector<std::string> Results(CSignSheet& sheet);

  static ProtectedFile Read(const std::string& path);
  // Writes the protected file again with the object changed by edit (the blocks as they were, or replaced).
  static void Rewrite(const std::string& path, const std::function<void(CTolvexBinaryFile&)>& edit,
                      const std::vector<std::string>* blocks = nullptr);

  static void SetSetting(const char* section, const char* name, DWORD value);
  // The audit log's entries as "operation|severity|message", in order; the log goes to the test's own folder.
  void StartAuditLog();
  static std::vector<std::string> AuditEntries();
  static void SetMemoryCache(int megabytes);
  // Bytes that are no text: every value, in a pattern that does not repeat at the chunk size.
  static std::string Content(size_t size);
  std::string File(const std::string& name, const std::string& bytes);
  // Runs openssl; its exit status, with what it printed in *out.
  static int Openssl(const std::string& args, std::string* out = nullptr);
  // A detached signature over a block, verified by openssl against the test PKI; its printed structure.
  void VerifyWithOpenssl(const std::string& signature, const std::string& block, std::string* print = nullptr);

 private:
  // Taken when the test is made, before its SetUp shortens them.
  kx::signing::WorkerPauses m_savedPauses = kx::signing::Pauses();
};

}  // namespace signtest
