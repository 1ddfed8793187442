// The two workers that read protected files: countersign (every content block verified, then signed by
// further signers into a new protected file) and decrypt and verify (the plain content written under the name
// the protected file records).
#include <memory>
#include <vector>

#include "app/ResString.h"
#include "core/Paths.h"
#include "engine/CapicomObjectSet.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/files.h"
#include "signing/ProcessingPage.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"
#include "signing/WorkerSupport.h"

using kx::engine::ToBinaryBstr;

namespace kx::signing {
namespace {

constexpr const char* kNotProtected =
    "The document has the same extension as Office Tolvex file, but it is not a valid office tolvex document";
constexpr const char* kModified =
    "The Office Tolvex has detected that this file has been modified. (SHA-1 Hash of the file doesnt match with "
    "generated one)";
constexpr const char* kNotDecrypted = "Failed to read the decrypted data of the file.";
constexpr const char* kNoDecryptedContent = "Failed to get the decrypted data of the file";
// Blocks cut off or missing: no wrong signature, a file that is not whole.
constexpr const char* kDamaged = "The file is damaged or incomplete: part of its content is missing.";
constexpr const char* kKeyNotFound = "Recipient digital ID / Private key cannot be found.";
constexpr const char* kSignFailed = "Failed to write the data to the output file. Possible Reasons(Sign operation failed.)";

// The verification level: signature and certificate unless only signatures are to be checked.
LONG VerificationLevel(const COfficeTolvexConfig& config) {
  return config.VerifySignatureOnly ? CAPICOM_VERIFY_SIGNATURE_ONLY : CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE;
}

class ReadingWorker : public SignerWorker {
 public:
  using SignerWorker::SignerWorker;

 protected:
  void StartRun() override {
    m_config.LoadOperationOptions();
    m_config.LoadGeneralOptions();
    m_config.LoadOfficeOptions();
    m_profile.Load();
    m_level = VerificationLevel(m_config);
  }
  // Opens the input as a protected file and checks the digest of its body; false (the file failed, the audit
  // entry written) otherwise.
  bool OpenProtectedFile(FileOutcome& file, std::unique_ptr<CTolvexBinaryFile>& object);
  // Where a file made from this input goes: the output folder (or the input's folder) and the name the
  // protected file records.
  CString OutputNameFor(const FileOutcome& file, const CTolvexBinaryFile& object, const char* extension);
  virtual void AuditFailure(const char* text, const CString& path) = 0;

  LONG m_level = CAPICOM_VERIFY_SIGNATURE_ONLY;
};

bool ReadingWorker::OpenProtectedFile(FileOutcome& file, std::unique_ptr<CTolvexBinaryFile>& object) {
  if (file.input.IsEmpty()) {
    file.Fail(LoadResString(418));
    return false;
  }
  file.in.reset(m_files.OpenStream(file.input));
  if (!file.in || !file.in->IsOpen()) {
    // Missing or unreadable, which says nothing about whether it is a protected file.
    file.Fail(OpenFailure(file.in.get()));
    AuditFailure(file.result, file.input);
    return false;
  }
  CBaseKesmoraFile* read = file.in->ReadFileObject();
  // Only a protected file: signature pictures, presets and logs lack the blocks read here.
  object.reset(dynamic_cast<CTolvexBinaryFile*>(read));
  if (!object) {
    delete read;
    file.Fail(kNotProtected);
    AuditFailure(kNotProtected, file.input);
    return false;
  }
  CByteBuffer digest;
  if (!object->ComputeDigest(digest, true, 0)) {
    file.Fail(kModified);
    AuditFailure(kModified, file.input);
    return false;
  }
  return true;
}

CString ReadingWorker::OutputNameFor(const FileOutcome& file, const CTolvexBinaryFile& object, const char* extension) {
  CPathParts parts(file.input);
  return OutputFolderFor(file.input) + SafeRecordedName(object.m_info.m_strText1, parts.GetFileName()) + extension;
}

// ---- countersign ----

class CountersignWorker : public ReadingWorker {
 public:
  using ReadingWorker::ReadingWorker;

 protected:
  const char* Operation() const override { return "Countersign Operation"; }
  void StartRun() override;
  void ProcessFile(FileOutcome& file) override;
  void AuditFailure(const char* text, const CString&) override { AuditError(text); }

 private:
  void Failed(FileOutcome& file, HRESULT hr, const CString& engineText);
};

void CountersignWorker::StartRun() {
  ReadingWorker::StartRun();
  CheckSignersBeforeSigning();
}

void CountersignWorker::Failed(FileOutcome& file, HRESULT hr, const CString& engineText) {
  CString text = engineText;
  if (text.IsEmpty() && !GetTrustErrorText(hr, text)) text = TwoStrings(375, 376);
  file.Fail(text);
  AuditError(WithPath("Sign Operation Failed for file (", file.input, "(") + " ", "CoSign Operation");
}

void CountersignWorker::ProcessFile(FileOutcome& file) {
  std::unique_ptr<CTolvexBinaryFile> object;
  if (!OpenProtectedFile(file, object)) return;
  const BYTE kind = object->GetOptions()[0];
  if (!m_data.m_pEngineObjects) {
    file.Fail(LoadResString(355), LoadResString(355));
    AuditError("Failed to read the encrypted data of the file. Check if the file is not empty. ");
    return;
  }
  const PayloadInfo& info = object->m_info;
  if (!info.m_signing.m_bPresent || info.m_encryption.m_bPresent || (kind != 1 && kind != 3)) {
    file.Fail(LoadResString(381), LoadResString(350));
    AuditError("Countersign operation cannot be performed on encrypted files. ");
    return;
  }
  if (m_data.m_arrSignerCerts.empty()) {
    file.Fail("No signer certificate was chosen.");
    return;
  }
  // What the file already carries must verify whole before anything is added to it.
  SignatureCheck existing;
  if (!existing.Load(info.m_body)) {
    Failed(file, static_cast<HRESULT>(0x800B0100), CString());
    return;
  }

  if (!file.CreateOutput(m_files, OutputNameFor(file, *object, ".Tvx"))) {
    file.Fail(LoadResString(380), kNoDecryptedContent);
    AuditError("Failed to verify the signed data of the file before countersigning. ");
    return;
  }
  CCapicomObjectSet& engine = *m_data.m_pEngineObjects;
  SignerSet signers(m_data.m_arrSignerCerts, m_data.m_Payload.m_head.m_time.m_time, file.output, engine.m_SignedData);
  std::vector<PayloadEntry> entries = MakeSignatureEntries(m_data.m_Payload, signers.Count());

  DWORD blocks = 0;
  CByteBuffer block, signature;
  while (file.in->ReadUInt32Block(block)) {
    // The engine checks the signatures; the signers are judged below by the one validity verdict.
    HRESULT hr = existing.Verify(engine.m_SignedData, blocks, block, CAPICOM_VERIFY_SIGNATURE_ONLY);
    if (FAILED(hr)) {
      Failed(file, hr, CString());
      return;
    }
    for (size_t i = 0; i < signers.Count(); ++i) {
      CString engineText;
      if (!signers.Sign(i, block, signature, hr, engineText)) {
        file.Fail(engineText.IsEmpty() ? CString(kSignFailed) : engineText);
        AuditError(WithPath("CoSign Operation Failed for file (", file.input, "(") + " ", "Sign Operation");
        return;
      }
      entries[i].m_buffers.Add(signature);
    }
    if (!file.out->WriteUInt32Block(block)) {
      Failed(file, E_FAIL, CString());
      return;
    }
    ++blocks;
  }
  // A damaged block list, or blocks some signer did not sign: the content is not what was signed.
  if (file.in->GetPosition() != file.in->GetTrailingOffset() || !existing.CoversBlocks(blocks)) {
    Failed(file, E_FAIL, kDamaged);
    return;
  }
  // Judged as decrypting and verifying judges them: full checking adds nothing to a file whose signer the
  // verdict refuses or whose algorithms are weak; checking signatures only countersigns and says so on the row.
  const CString problem = existing.SignerProblem();
  if (!problem.IsEmpty() && m_level == CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE) {
    Failed(file, E_FAIL, problem);
    return;
  }

  PayloadInfo& out = object->m_info;
  out.m_body.m_current = entries[0];
  for (const CCapicomCertificate& certificate : m_data.m_arrSignerCerts)
    AddCertificateTriple(out.m_signing.m_list, certificate);
  bool added = true;
  for (const PayloadEntry& entry : entries) added = added && out.m_body.AddEntry(entry);
  StampHeader(*object, 3);
  bool written = false;
  try {
    written = added && file.out->WriteFileObject(object.get());
  } catch (...) {
    written = false;
  }
  if (!written) {
    Failed(file, E_FAIL, CString());
    return;
  }
  if (!SavedProtectedFile(file) || problem.IsEmpty()) return;
  file.warning = true;
  file.result = file.result.IsEmpty() ? problem : file.result + " " + problem;
}

// ---- decrypt and verify ----

class DecryptVerifyWorker : public ReadingWorker {
 public:
  using ReadingWorker::ReadingWorker;

 protected:
  const char* Operation() const override { return "Decrypt and Verify Operation"; }
  bool ClearsResultMessage() const override { return false; }
  DWORD PauseAfterRun() const override { return Pauses().afterDecrypt; }
  void ProcessFile(FileOutcome& file) override;
  void AuditFailure(const char* text, const CString& path) override { AuditError(WithPath(text, path)); }

 private:
  // The stored content key could not be opened (or a block not decrypted): the engine's trust text when it
  // has one, else the key-not-found texts.
  void KeyNotFound(FileOutcome& file, HRESULT hr, const char* auditText);
  // A block whose signatures do not verify.
  void NotVerified(FileOutcome& file, HRESULT hr);
  void Decrypt(FileOutcome& file, CTolvexBinaryFile& object);
};

void DecryptVerifyWorker::KeyNotFound(FileOutcome& file, HRESULT hr, const char* auditText) {
  CString text;
  if (GetTrustErrorText(hr, text)) {
    file.Fail(text, text);
    AuditError(WithPath(text, file.input));
  } else {
    file.Fail(auditText == kKeyNotFound ? LoadResString(353) : CString(kKeyNotFound));
    AuditError(WithPath(auditText, file.input));
  }
}

void DecryptVerifyWorker::NotVerified(FileOutcome& file, HRESULT hr) {
  CString text;
  if (!GetTrustErrorText(hr, text)) text = LoadResString(354);
  file.Fail(text, text);
  AuditError(WithPath(kNotDecrypted, file.input));
}

void DecryptVerifyWorker::ProcessFile(FileOutcome& file) {
  std::unique_ptr<CTolvexBinaryFile> object;
  if (!OpenProtectedFile(file, object)) return;
  const BYTE kind = object->GetOptions()[0];
  if (m_level == CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE && kind != 0) {
    CString reason;
    if (!object->VerifyContent(file.in.get(), reason)) {
      CString text = CString("The OfficeTolvex has failed to verify one of the Signers. ") + reason;
      file.Fail(text);
      AuditError(WithPath(text, file.input));
      return;
    }
  }
  if (!m_data.m_pEngineObjects) {
    file.Fail(LoadResString(357));
    return;
  }
  const PayloadInfo& info = object->m_info;
  const bool signedFile = info.m_signing.m_bPresent != 0, encrypted = info.m_encryption.m_bPresent != 0;
  const bool known = (kind == 0 && !signedFile && encrypted) || ((kind == 1 || kind == 3) && signedFile && !encrypted) ||
                     (kind == 2 && signedFile && encrypted);
  if (!known) {
    file.Fail(LoadResString(356), LoadResString(355));
    return;
  }
  Decrypt(file, *object);
}

void DecryptVerifyWorker::Decrypt(FileOutcome& file, CTolvexBinaryFile& object) {
  const PayloadInfo& info = object.m_info;
  const bool signedFile = info.m_signing.m_bPresent != 0, encrypted = info.m_encryption.m_bPresent != 0;
  CCapicomObjectSet& engine = *m_data.m_pEngineObjects;
  // The content key the writers store: in the extra block when the header says so, else in the encryption
  // part. Without one, each block is an enveloped message of its own.
  const CByteBuffer* storedKey = nullptr;
  if (object.GetExtraBlockFlag() && object.m_extraBlock.GetLength()) storedKey = &object.m_extraBlock;
  else if (encrypted && info.m_encryption.m_buffer.GetLength()) storedKey = &info.m_encryption.m_buffer;

  CByteBuffer key(0, true);
  if (storedKey) {
    BSTR message = ToBinaryBstr(*storedKey);
    HRESULT hr = engine.m_EnvelopedData.Decrypt(message);
    SysFreeString(message);
    if (FAILED(hr)) {
      KeyNotFound(file, hr, "(E7) Recipient digital ID / Private key cannot be found.");
      return;
    }
    if (!engine.m_EnvelopedData.GetContentToBuffer(key) || !key.GetLength()) {
      file.Fail(WithPath("(E3) Failed to read the decrypted data of the file.", file.input), kNoDecryptedContent);
      AuditError(file.result);
      return;
    }
    CCapicomEncryptedData& content = engine.m_EncryptedData;
    const LONG cipher = info.m_body.m_nested.m_bCipherIndex, keyLength = info.m_body.m_nested.m_bKeyLengthIndex;
    CCapicomAlgorithm algorithm = content.GetAlgorithm();
    algorithm.PutName(cipher);
    algorithm.PutKeyLength(keyLength);
    content.SetCipherCodes(cipher, keyLength);
    content.SetSecretFromBuffer(key, 0);
  }
  SignatureCheck signatures;
  if (signedFile && !signatures.Load(info.m_body)) {
    NotVerified(file, static_cast<HRESULT>(0x800B0100));
    return;
  }

  if (!file.CreateOutput(m_files, OutputNameFor(file, object, ""))) {
    file.Fail(LoadResString(350), kNoDecryptedContent);
    AuditError(WithPath(kNotDecrypted, file.input));
    return;
  }
  // The own cipher of format version 2 fills the last block: the writer kept the content's length (files
  // written before it did lose the filler where the signatures say so).
  const LONG formatVersion = info.m_abFormat[3];
  uint64_t remaining = info.RecordedContentLength();
  const bool fillable = encrypted && storedKey && formatVersion >= 2;

  // One block for the chunks read and one for their plaintext, kept from chunk to chunk (each layer below
  // writes into the block it is given when the length matches); the plaintext's is wiped when it goes.
  DWORD blocks = 0;
  CByteBuffer block, plain(0, true);
  while (file.in->ReadUInt32Block(block)) {
    CByteBuffer* content = &block;
    if (encrypted) {
      HRESULT hr;
      if (storedKey) {
        hr = engine.m_EncryptedData.Decrypt(block, formatVersion);
      } else {
        BSTR message = ToBinaryBstr(block);
        hr = engine.m_EnvelopedData.Decrypt(message);
        SysFreeString(message);
      }
      if (FAILED(hr)) {
        if (storedKey) {
          file.Fail(WithPath("(E3) Failed to read the decrypted data of the file.", file.input), LoadResString(350));
          AuditError(file.result);
        } else {
          KeyNotFound(file, hr, kKeyNotFound);
        }
        return;
      }
      bool read = storedKey ? engine.m_EncryptedData.GetContentToBuffer(plain) : engine.m_EnvelopedData.GetContentToBuffer(plain);
      if (!read) {
        file.Fail(storedKey ? "(E2) Failed to read the decrypted data of the file. " : static_cast<const char*>(LoadResString(350)),
                  "Failed to read the decrypted data of the file. ");
        AuditError(WithPath(kNotDecrypted, file.input));
        return;
      }
      if (plain.GetLength() > remaining) {
        CByteBuffer cut(static_cast<DWORD>(remaining), plain.GetData(), true);
        plain = cut;
      }
      content = &plain;
    }
    if (signedFile) {
      // The engine checks the signatures; the signers are judged below by the one validity verdict.
      HRESULT hr = signatures.Verify(engine.m_SignedData, blocks, *content, CAPICOM_VERIFY_SIGNATURE_ONLY, fillable);
      if (FAILED(hr)) {
        NotVerified(file, hr);
        return;
      }
    }
    if (remaining != UINT64_MAX) remaining -= content->GetLength();
    if (content->GetLength() && !file.out->WriteRaw(*content)) {
      file.Fail(WithPath("(E3) Failed to read the decrypted data of the file.", file.input), kNoDecryptedContent);
      AuditError(file.result);
      return;
    }
    ++blocks;
  }
  // Every block read to the protected file, each signed by every signer (and the content whole).
  if (file.in->GetPosition() != file.in->GetTrailingOffset() || blocks == 0 ||
      (signedFile && !signatures.CoversBlocks(blocks)) || (remaining != UINT64_MAX && remaining != 0)) {
    file.Fail(kDamaged, kDamaged);
    AuditError(WithPath(kNotDecrypted, file.input));
    return;
  }
  // Full checking refuses a signer the verdict refuses or a weak algorithm; checking signatures only says so
  // on the row, which then claims no more than an intact signature.
  if (signedFile) {
    const CString problem = signatures.SignerProblem();
    if (!problem.IsEmpty() && m_level == CAPICOM_VERIFY_SIGNATURE_AND_CERTIFICATE) {
      file.Fail(problem, problem);
      AuditError(WithPath(problem, file.input));
      return;
    }
    if (!problem.IsEmpty()) {
      file.warning = true;
      file.result = problem;
    }
  }
  // The output takes its name before the log calls the file decrypted.
  if (!file.CommitOutput()) {
    AuditError(file.result);
    return;
  }
  AuditInformation(WithPath(LoadResString(351), file.input, storedKey ? " (" : "("));
}

template <class Worker>
UINT RunReadingWorker(LPVOID argument) {
  CSignSheet* sheet = SheetOf(argument);
  if (!sheet) return 1;
  Worker worker(sheet);
  return worker.Run();
}

}  // namespace
}  // namespace kx::signing

UINT CountersignThreadProc(LPVOID sheet) { return kx::signing::RunReadingWorker<kx::signing::CountersignWorker>(sheet); }
UINT DecryptVerifyThreadProc(LPVOID sheet) {
  return kx::signing::RunReadingWorker<kx::signing::DecryptVerifyWorker>(sheet);
}
