// The package wizard's workers: the preset worker (the chosen one-click preset replayed on every input by the
// one-click runner) and the countersign worker (every signed protected input countersigned by the preset's
// signers). Both write into the wizard's output folder and report every input exactly once, in order.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "app/ResString.h"
#include "archives/PackageSheet.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "engine/CapicomCertificates.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "engine/SignerCheck.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"
#include "encryption/OneClickRunner.h"
#include "platform/win32/stateroot.h"
#include "signing/WorkerSupport.h"

namespace kx::archives {

DWORD& PackageWorkerPause() {
  static DWORD pause = 1200;
  return pause;
}

namespace {

constexpr const char* kEmptyFileMessage = "Failed to read the file (check if Fle size is not 0)";
constexpr const char* kEmptyFileStatus = "Failed to read the encrypted data of the file. Check if the file is not empty. ";
constexpr const char* kInvalidFile = "Failed to read the data of the file. It is invalid Office Tolvex file. ";
constexpr const char* kUnreadable = "Failed to read the data of the file. ";
constexpr const char* kModified =
    "The Office Tolvex has detected that this file has been modified. (SHA-1 Hash of the file doesnt match with "
    "generated one)";
constexpr const char* kNotProtected =
    "The document has the same extension as Office Tolvex file, but it is not a valid office tolvex document";
constexpr const char* kNoDecryptedData = "Failed to get the decrypted data of the file";
constexpr const char* kCannotCountersign = "Countersign operation cannot be performed on encrypted files. ";
constexpr const char* kNotVerified = "Failed to verify the signed data of the file. ";
constexpr const char* kNotVerifiedStatus = "Failed to verify the signed data of the file before countersigning. ";
constexpr const char* kSignFailed = "Failed to sign the data of input file. ";
constexpr const char* kWriteFailed = "Failed to write the data of the file. ";
constexpr const char* kFatal = "Office Tolvex Security Module(s) failure. Contact Kesmora Technical Support";

// One input's result: reported once, with one entry in each of the page's lists.
using InputResult = kx::signing::FileOutcome;

CPackageSheet* PackageSheetOf(LPVOID argument) {
  auto* object = static_cast<CObject*>(argument);
  return object && object->IsKindOf(RUNTIME_CLASS(CPackageSheet)) ? static_cast<CPackageSheet*>(object) : nullptr;
}

// The run skeleton shared by both workers: COM, the page's lists, one outcome per input, the done flag last.
class PackageWorker {
 public:
  explicit PackageWorker(CPackageSheet* sheet)
      : m_sheet(sheet), m_data(sheet->m_WizardData), m_page(&sheet->m_ProcessPage) {}
  virtual ~PackageWorker() = default;
  PackageWorker(const PackageWorker&) = delete;
  PackageWorker& operator=(const PackageWorker&) = delete;

  UINT Run() {
    CoInitialize(nullptr);
    m_data.m_bOperationDone.store(0);
    m_page->PrepareForRun();
    const int total = static_cast<int>(m_data.m_arrInputFiles.GetSize());
    int next = 0;
    try {
      StartRun();
      for (; next < total; ++next) {
        InputResult file;
        file.index = next;
        file.input = m_data.m_arrInputFiles[next];
        try {
          if (file.input.IsEmpty()) file.Fail(kUnreadable);
          else ProcessFile(file);
        } catch (const _com_error& e) {
          file.Fail(EngineError(e.Error()));
        }
        Finish(file, total);
      }
    } catch (const _com_error& e) {
      FailRest(next, total, EngineError(e.Error()));
    } catch (...) {
      FailRest(next, total, kFatal);
    }
    m_files.Reset();
    // Last: the page's thread reads everything written above once it sees the flag.
    m_data.m_bOperationDone.store(1, std::memory_order_release);
    WorkerClosingPause(PackageWorkerPause());
    CoUninitialize();
    return 0;
  }

 protected:
  virtual const char* Operation() const = 0;
  virtual void StartRun() {}
  virtual void ProcessFile(InputResult& file) = 0;

  void AuditError(const char* text, const char* operation = nullptr) {
    CAuditLog log;
    log.Load();
    log.LogError(operation ? operation : Operation(), text);
  }
  void AuditInformation(const char* text, const char* operation = nullptr) {
    CAuditLog log;
    log.Load();
    log.LogInformation(operation ? operation : Operation(), text);
  }
  // The engine's text for a failed engine call, logged as the wizard's fatal error.
  CString EngineError(HRESULT hr) {
    const CString text = GetCapicomErrorMessage(hr).GetAnsi();
    AuditError(text, "Signer Wizard Fatal");
    return text;
  }

  // The input as a stream of the file manager; false (the input failed) when it cannot be read or is empty.
  bool OpenInput(InputResult& file, std::unique_ptr<CFileStream>& stream) {
    stream.reset(m_files.OpenStream(file.input));
    if (!stream || !stream->IsOpen()) {
      file.Fail(kUnreadable);
      AuditError(kUnreadable);
      return false;
    }
    if (!m_data.m_pEngineObjects) {
      file.Fail(kUnreadable);
      return false;
    }
    if (stream->GetSize64() == 0) {
      file.Fail(kEmptyFileStatus, kEmptyFileMessage);
      AuditError("Failed because file size is 0 bytes");
      return false;
    }
    return true;
  }

  // The output: the output folder, the input's name and extension and ".Tvx", or the first free name with
  // "(n)" before ".Tvx"; made at once, so that no other writer takes it meanwhile, and its stream opened.
  bool CreateOutput(InputResult& file) {
    return file.CreateOutput(m_files, ProtectedFileName(file.input, m_data.m_strOutputFolder));
  }

  CPackageSheet* m_sheet;
  CProtectWizardData& m_data;
  PkgProcessPage* m_page;
  CFileManager m_files;

 private:
  void Finish(InputResult& file, int total) {
    // Only what this input made goes: never an earlier input's output.
    file.out.reset();
    file.pending.Discard();
    m_page->ReportFileResult(file.index, file.failed ? 0 : 1,
                             file.message.IsEmpty() ? nullptr : static_cast<const char*>(file.message), total);
    if (file.failed) m_page->AddFileOutcome("Error", file.result);
    else m_page->AddFileOutcome(file.output, "Success");
  }
  // A failure that ended the run: the inputs not yet done fail with it, so that every input has its outcome.
  void FailRest(int from, int total, const char* status) {
    for (int i = from; i < total; ++i) {
      InputResult file;
      file.index = i;
      file.Fail(status);
      Finish(file, total);
    }
  }
};

// ---- preset worker ----

// A private copy of the input under its own name, for the one-click runner: a runner set to remove what it
// protects (ShredTemporaryFiles) removes the copy, never the user's file, and no setting is changed for it.
class InputCopy {
 public:
  bool Make(const CString& input) {
    CString base(kx::TempDir().c_str());
    std::string pattern(static_cast<const char*>(base + "kxpackage-XXXXXX"));
    if (!mkdtemp(pattern.data())) return false;
    m_folder = pattern.c_str();
    CPathParts parts(input);
    m_path = m_folder + "/" + parts.GetFileName() + parts.GetExtension();
    return CopyFile(input, m_path, TRUE) != FALSE;
  }
  const CString& Path() const { return m_path; }
  ~InputCopy() {
    if (!m_path.IsEmpty()) ::unlink(m_path);
    if (!m_folder.IsEmpty()) ::rmdir(m_folder);
  }

 private:
  CString m_folder;
  CString m_path;
};

class PresetWorker : public PackageWorker {
 public:
  using PackageWorker::PackageWorker;

 protected:
  const char* Operation() const override { return m_strOperation; }
  void StartRun() override {
    const UINT ids[] = {558, 559, 561, 560};
    const int mode = m_data.m_nMode;
    m_strOperation = LoadResString(mode >= 0 && mode <= 3 ? ids[mode] : 558);
  }

  void ProcessFile(InputResult& file) override {
    std::unique_ptr<CFileStream> stream;
    if (!OpenInput(file, stream)) return;
    stream.reset();
    InputCopy copy;
    if (!copy.Make(file.input)) {
      file.Fail(kUnreadable);
      AuditError(kUnreadable);
      return;
    }
    // The runner takes the first name, numbers it when it is taken, and writes exactly there.
    m_data.m_strLastOutputFile = ProtectedFileName(file.input, m_data.m_strOutputFolder);
    COneClickRunner runner;
    // Its folder of presets plays no part here: the preset is given by its path.
    runner.Initialize();
    const int result = runner.Run(copy.Path(), m_data.m_strPackageSetting, static_cast<BYTE>(m_data.m_nMode),
                                  m_data.m_strLastOutputFile);
    if (result < 0) {
      // The runner leaves nothing behind of a failed run.
      file.Fail(kInvalidFile);
      AuditError(kInvalidFile);
      return;
    }
    file.output = m_data.m_strLastOutputFile;
  }

 private:
  CString m_strOperation;
};

// ---- countersign worker ----

// A protected file's signature entries: each block is accepted only when every entry's signature of it
// verifies, and the content only when every entry signs exactly its blocks.
class BlockSignatures {
 public:
  bool Load(const PayloadBody& body) {
    m_entries.clear();
    for (DWORD i = 0; i < body.GetEntryCount(); ++i) {
      PayloadEntry entry;
      if (!body.GetEntry(i, entry)) return false;
      m_entries.push_back(entry);
    }
    return !m_entries.empty();
  }
  bool Verify(CCapicomSignedData& data, DWORD block, const CByteBuffer& content) const {
    for (const PayloadEntry& entry : m_entries) {
      if (block >= entry.m_buffers.GetCount()) return false;
      data.PutContentFromBuffer(content);
      if (FAILED(data.Verify(entry.m_buffers.GetAt(block), true, CAPICOM_VERIFY_SIGNATURE_ONLY))) return false;
    }
    return true;
  }
  bool CoversBlocks(DWORD blocks) const {
    for (const PayloadEntry& entry : m_entries)
      if (entry.m_buffers.GetCount() != blocks) return false;
    return true;
  }

 private:
  std::vector<PayloadEntry> m_entries;
};

class CountersignWorker : public PackageWorker {
 public:
  using PackageWorker::PackageWorker;

 protected:
  const char* Operation() const override { return "Countersign Operation"; }

  // The preset's signers, each as the certificate of the user's own store that holds its private key.
  void StartRun() override {
    m_signers.clear();
    std::unique_ptr<CBaseKesmoraFile> object(m_files.OpenFile(m_data.m_strPackageSetting));
    const auto* preset = dynamic_cast<const COneClickFile*>(object.get());
    CCertificateList listed;
    if (!preset || !preset->m_oneClickRecord.GetSignerCertificates(listed)) return;
    if (preset->m_info.m_body.GetEntryCount() > 0) preset->m_info.m_body.GetEntry(0, m_record);
    // A signer without its key here does not countersign; those with theirs do.
    FindSignerKeys(CertificatesOf(listed), m_signers);
  }

  void ProcessFile(InputResult& file) override {
    std::unique_ptr<CFileStream> stream;
    if (!OpenInput(file, stream)) return;
    std::unique_ptr<CBaseKesmoraFile> read(stream->ReadFileObject());
    auto* object = dynamic_cast<CTolvexBinaryFile*>(read.get());
    if (!object) {
      file.Fail(kNotProtected);
      AuditError(kNotProtected);
      return;
    }
    CByteBuffer digest;
    if (!object->ComputeDigest(digest, true, 0)) {
      file.Fail(kModified);
      AuditError(kModified);
      return;
    }
    const PayloadInfo& info = object->m_info;
    BlockSignatures existing;
    if (!info.m_signing.m_bPresent || info.m_encryption.m_bPresent || !existing.Load(info.m_body)) {
      file.Fail(kCannotCountersign, kNoDecryptedData);
      AuditError(kCannotCountersign);
      return;
    }
    if (m_signers.empty()) {
      file.Fail(kSignFailed);
      AuditError(kSignFailed);
      return;
    }
    if (!CreateOutput(file)) {
      file.Fail(kWriteFailed, kWriteFailed);
      AuditError(kWriteFailed);
      return;
    }
    std::unique_ptr<CFileStream>& out = file.out;

    CCapicomObjectSet& engine = *m_data.m_pEngineObjects;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    kx::signing::SignerSet signers(m_signers, now, file.output, engine.m_SignedData);
    PayloadEntry record = m_record;
    record.m_head.m_time.m_time = now;
    std::vector<PayloadEntry> entries = kx::signing::MakeSignatureEntries(record, signers.Count());

    DWORD blocks = 0;
    CByteBuffer block, signature;
    while (stream->ReadUInt32Block(block)) {
      if (!existing.Verify(engine.m_SignedData, blocks, block)) {
        file.Fail(kNotVerifiedStatus, kNotVerified);
        AuditError(kNotVerifiedStatus);
        return;
      }
      for (size_t i = 0; i < signers.Count(); ++i) {
        HRESULT hr = S_OK;
        CString engineText;
        if (!signers.Sign(i, block, signature, hr, engineText)) {
          file.Fail(kSignFailed, kSignFailed);
          AuditError(kSignFailed);
          return;
        }
        entries[i].m_buffers.Add(signature);
      }
      if (!out->WriteUInt32Block(block)) {
        file.Fail(kWriteFailed, kWriteFailed);
        AuditError(kWriteFailed);
        return;
      }
      ++blocks;
    }
    // A damaged block list, or blocks a signer did not sign: the content is not what was signed.
    if (stream->GetPosition() != stream->GetTrailingOffset() || !existing.CoversBlocks(blocks)) {
      file.Fail(kNotVerifiedStatus, kNotVerified);
      AuditError(kNotVerifiedStatus);
      return;
    }

    PayloadInfo& updated = object->m_info;
    updated.m_body.m_current = entries[0];
    bool added = true;
    for (const PayloadEntry& entry : entries) added = added && updated.m_body.AddEntry(entry);
    for (const CCapicomCertificate& certificate : m_signers)
      kx::signing::AddCertificateTriple(updated.m_signing.m_list, certificate);
    if (!added) {
      file.Fail(kInvalidFile);
      AuditError(kInvalidFile);
      return;
    }
    kx::signing::StampHeader(*object, 3);
    bool written = false;
    CString why;
    try {
      written = out->WriteFileObject(object);
    } catch (...) {
      why = "Could not save file:";
    }
    if (written) written = CommitStream(out, file.pending);
    out.reset();
    if (written) file.output = file.pending.GetPath();
    if (!written) {
      file.Fail(why.IsEmpty() ? CString(kWriteFailed) : CString("Error has occured. Please contact Kesmora\n") + why,
                kWriteFailed);
      AuditError(file.result);
      return;
    }
    AuditInformation("Operation Successful. File (" + file.output + ") saved.");
  }

 private:
  std::vector<CCapicomCertificate> m_signers;
  PayloadEntry m_record;
};

template <class Worker>
UINT RunPackageWorker(LPVOID argument) {
  CPackageSheet* sheet = PackageSheetOf(argument);
  if (!sheet) return 1;
  Worker worker(sheet);
  return worker.Run();
}

}  // namespace
}  // namespace kx::archives

UINT PackagePresetThreadProc(LPVOID sheet) {
  return kx::archives::RunPackageWorker<kx::archives::PresetWorker>(sheet);
}

UINT PackageCountersignThreadProc(LPVOID sheet) {
  return kx::archives::RunPackageWorker<kx::archives::CountersignWorker>(sheet);
}
