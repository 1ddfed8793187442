// The three workers that write protected files from plain inputs: encrypt, sign, and sign and encrypt. They
// share one sequence: each content chunk is signed by every signer (over the plain bytes), encrypted under the
// file's content key, and written as one length-prefixed block; the protected file object describing the
// blocks goes after them.
#include <memory>
#include <vector>

#include "app/ResString.h"
#include "certificates/CertificateRows.h"
#include "core/Paths.h"
#include "core/RandomGenerator.h"
#include "engine/CapicomObjectSet.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/win32/files.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"
#include "signing/WorkerSupport.h"

namespace kx::signing {
namespace {

constexpr const char* kEmptyInputBox = "Failed to read the file (check if Fle size is not 0)";
constexpr const char* kSignFailed = "Failed to write the data to the output file. Possible Reasons(Sign operation failed.)";
constexpr const char* kNotEncrypted = "Failed to read the encrypted data of the file. ";
constexpr const char* kInvalidFile = "Failed to read the data of the file. It is invalid Office Tolvex file. ";

class ProtectWorker : public SignerWorker {
 public:
  ProtectWorker(CSignSheet* sheet, bool sign, bool encrypt) : SignerWorker(sheet), m_bSign(sign), m_bEncrypt(encrypt) {}

 protected:
  const char* Operation() const override {
    if (m_bSign && m_bEncrypt) return "Sign and Encrypt Operation";
    return m_bSign ? "Sign Operation" : "Encrypt Operation";
  }
  void StartRun() override;
  void ProcessFile(FileOutcome& file) override;

 private:
  // Recipients, content key and its envelope; false (the file failed) when any of them cannot be had.
  bool PrepareEncryption(FileOutcome& file, CCapicomObjectSet& engine, CByteBuffer& envelopedKey);
  void FillProtectedFile(CTolvexBinaryFile& object, const FileOutcome& file, std::vector<PayloadEntry>& entries,
                         const CByteBuffer& envelopedKey, uint64_t size);
  // A signing failure: the engine's text when it has one.
  void SignFailed(FileOutcome& file, const CString& engineText, const char* operation);
  // The texts of a failure that is not the engine's: one per operation.
  CString WriteFailure() const { return m_bSign ? TwoStrings(375, 376) : CString(kNotEncrypted); }

  bool m_bSign;
  bool m_bEncrypt;
  bool m_bShred = false;
  CString m_strRecipientRefusal;  // why a recipient cannot be used, judged once for the run
};

void ProtectWorker::StartRun() {
  m_profile.Load();
  m_config.LoadGeneralOptions();
  m_bShred = m_config.ShredTemporaryFiles != 0;
  if (m_bEncrypt) m_strRecipientRefusal = FirstRecipientRefusal(m_data.m_arrRecipientCerts);
  if (!m_bSign) return;
  m_config.LoadOperationOptions();
  CheckSignersBeforeSigning();
}

void ProtectWorker::SignFailed(FileOutcome& file, const CString& engineText, const char* operation) {
  file.Fail(engineText.IsEmpty() ? CString(kSignFailed) : engineText);
  AuditError(WithPath("Sign Operation Failed for file (", file.input, "(") + " " + engineText, operation);
}

bool ProtectWorker::PrepareEncryption(FileOutcome& file, CCapicomObjectSet& engine, CByteBuffer& envelopedKey) {
  const LONG cipher = m_data.m_nCipher, keyLength = m_data.m_nKeyLength;
  FollowFormatSetting(engine.m_EncryptedData);
  CCapicomEnvelopedData& envelope = engine.m_EnvelopedData;
  CCapicomEncryptedData& content = engine.m_EncryptedData;
  content.SetCipherCodes(cipher, keyLength);
  SetEnvelopeCipher(envelope, cipher, keyLength);
  CCapicomAlgorithm contentAlgorithm = content.GetAlgorithm();
  contentAlgorithm.PutName(cipher);
  contentAlgorithm.PutKeyLength(keyLength);

  CCapicomRecipients recipients = envelope.GetRecipients();
  recipients.Clear();
  for (const CCapicomCertificate& certificate : m_data.m_arrRecipientCerts) {
    if (FAILED(recipients.Add(certificate))) {
      file.Fail(LoadResString(363));
      return false;
    }
  }
  // As long as the content cipher's key needs, and never shorter than 24 bytes.
  CRandomGenerator random(true);
  random.SetSize(content.GetSecretLength());
  CByteBuffer secret(random.Generate(), true);
  CByteBuffer engineOutput(0, true);
  if (secret.GetLength()) {
    envelope.PutContentFromBuffer(secret);
    if (envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, engineOutput, true)) envelopedKey = engineOutput;
  }
  if (!envelopedKey.GetLength() || FAILED(content.SetSecretFromBuffer(secret, 0))) {
    file.Fail(kNotEncrypted);
    AuditError(kNotEncrypted);
    return false;
  }
  return true;
}

void ProtectWorker::ProcessFile(FileOutcome& file) {
  if (!OpenInput(file)) return;
  if (m_bEncrypt && (m_data.m_nCipher < 0 || m_data.m_nKeyLength < 0)) {
    file.Fail(LoadResString(m_data.m_nCipher < 0 ? 427 : 428));
    return;
  }
  if (m_bEncrypt && m_data.m_arrRecipientCerts.empty()) {
    file.Fail(LoadResString(363));
    return;
  }
  // Nothing is written for a recipient who could not open it or whose digital ID is not valid.
  if (m_bEncrypt && !m_strRecipientRefusal.IsEmpty()) {
    file.Fail(m_strRecipientRefusal);
    AuditError(m_strRecipientRefusal);
    return;
  }
  if (m_bSign && m_data.m_arrSignerCerts.empty()) {
    file.Fail("No signer certificate was chosen.");
    return;
  }
  const uint64_t size = file.in->GetSize64();
  if (size == 0) {
    if (m_bSign && !m_bEncrypt) {
      file.Fail(LoadResString(355), LoadResString(355));
      AuditError("Failed to read the data of the file. Check if the file is not empty.");
    } else {
      file.Fail(TwoStrings(370, 371), kEmptyInputBox);
      AuditError(m_bSign ? "Failed to read the encrypted data of the file. Check if the file is not empty. "
                         : "Failed because file size is 0 bytes");
    }
    return;
  }

  const CString first = ProtectedFileName(file.input, OutputFolderFor(file.input));
  const bool created = file.CreateOutput(m_files, first);
  std::unique_ptr<CTolvexBinaryFile> object = created ? NewProtectedFile() : nullptr;
  if (!object) {
    if (!m_bSign) {
      CString notSaved = WithPath("Operation Failed. File ", file.output.IsEmpty() ? first : file.output, "(") +
                         " couldnt be saved.";
      file.Fail(created ? CString(kInvalidFile) : notSaved);
      AuditError(file.result);
    } else {
      file.Fail(LoadResString(m_bEncrypt ? 369 : 377));
      AuditError(m_bEncrypt ? kInvalidFile : "Failed to read the data of the file. It is invalid input file. ");
    }
    return;
  }

  CCapicomObjectSet& engine = *m_data.m_pEngineObjects;
  CByteBuffer envelopedKey;
  if (m_bEncrypt && !PrepareEncryption(file, engine, envelopedKey)) return;
  std::unique_ptr<SignerSet> signers;
  std::vector<PayloadEntry> entries;
  if (m_bSign) {
    signers = std::make_unique<SignerSet>(m_data.m_arrSignerCerts, m_data.m_Payload.m_head.m_time.m_time, file.output,
                                          engine.m_SignedData);
    entries = MakeSignatureEntries(m_data.m_Payload, signers->Count());
  }

  // Chunk by chunk: signed over the plain bytes, then encrypted, then written.
  const ChunkedRun run = ProtectChunks(*file.in, *file.out, ChunkSize(size), m_bSign ? signers.get() : nullptr,
                                       &entries, m_bEncrypt ? &engine.m_EncryptedData : nullptr);
  if (run.failure == ChunkedRun::kSign) {
    SignFailed(file, run.engineText, m_bEncrypt ? "Sign and Enc Operation" : nullptr);
    return;
  }
  if (run.failure == ChunkedRun::kEncrypt) {
    file.Fail(kNotEncrypted);
    AuditError(kNotEncrypted);
    return;
  }
  // A read or write that stopped early leaves the output short of the input: that is no protected file.
  if (run.failure == ChunkedRun::kWrite || run.processed != size) {
    file.Fail(WriteFailure());
    AuditError(m_bSign ? WithPath("Sign Operation Failed for file (", file.input, "(") + " " : CString(kNotEncrypted),
               m_bSign ? "Sign Operation" : nullptr);
    return;
  }

  FillProtectedFile(*object, file, entries, envelopedKey, size);
  bool written = false;
  if (!m_bSign || static_cast<int>(object->m_info.m_body.GetEntryCount()) == static_cast<int>(entries.size())) {
    try {
      written = file.out->WriteFileObject(object.get());
    } catch (...) {
      written = false;
    }
  }
  if (!written) {
    if (m_bSign) {
      file.Fail(TwoStrings(375, 376));
      AuditError(WithPath("Sign Operation Failed for file (", file.input, "(") + " ", "Sign Operation");
    } else {
      file.Fail(WithPath("Operation Failed. File ", file.output, "(") + " couldnt be saved.");
      AuditError(file.result);
    }
    return;
  }

  if (!SavedProtectedFile(file)) return;
  if (m_bShred) {
    // The input goes only after its protected file was written whole.
    file.in.reset();
    SetFileAttributes(file.input, FILE_ATTRIBUTE_NORMAL);
    DeleteFile(file.input);
  }
}

void ProtectWorker::FillProtectedFile(CTolvexBinaryFile& object, const FileOutcome& file,
                                      std::vector<PayloadEntry>& entries, const CByteBuffer& envelopedKey,
                                      uint64_t size) {
  PayloadInfo& info = object.m_info;
  CPathParts parts(file.input);
  info.m_strText1 = parts.GetFileName() + parts.GetExtension();
  const BYTE encryptFlags[5] = {1, 0, 1, 0, 0}, signFlags[5] = {0, 1, 1, 0, 0}, bothFlags[5] = {0, 1, 1, 1, 0};
  const BYTE* flags = m_bSign ? (m_bEncrypt ? bothFlags : signFlags) : encryptFlags;
  for (int i = 0; i < 5; ++i) info.m_body.m_abFlags[i] = flags[i];
  if (m_bSign) info.m_body.m_abFlags[5] = 0;
  info.m_signing.m_bPresent = m_bSign ? 1 : 0;
  info.m_encryption.m_bPresent = m_bEncrypt ? 1 : 0;
  info.m_encryption.m_bSecondFlag = 1;
  if (m_bSign) {
    for (const CCapicomCertificate& certificate : m_data.m_arrSignerCerts)
      AddCertificateTriple(info.m_signing.m_list, certificate);
    info.m_body.m_current = entries[0];
    for (const PayloadEntry& entry : entries)
      if (!info.m_body.AddEntry(entry)) break;
  }
  if (m_bEncrypt) {
    info.m_body.m_nested.m_bCipherIndex = static_cast<BYTE>(m_data.m_nCipher);
    info.m_body.m_nested.m_bKeyLengthIndex = static_cast<BYTE>(m_data.m_nKeyLength);
    info.m_encryption.m_bThirdFlag = 1;
    for (const CCapicomCertificate& certificate : m_data.m_arrRecipientCerts)
      AddCertificateTriple(info.m_encryption.m_list, certificate);
    info.m_encryption.m_buffer = envelopedKey;
    // The system's own cipher fills the last block with zero bytes: the reader cuts the content back to its
    // length, kept where other readers do not look.
    if (m_data.m_pEngineObjects->m_EncryptedData.GetFormatVersion() > 1)
      info.m_strText2.Format("%llu", static_cast<unsigned long long>(size));
  }
  StampHeader(object, m_bSign ? (m_bEncrypt ? 2 : 1) : 0);
}

UINT RunProtectWorker(LPVOID argument, bool sign, bool encrypt) {
  CSignSheet* sheet = SheetOf(argument);
  if (!sheet) return 1;
  ProtectWorker worker(sheet, sign, encrypt);
  return worker.Run();
}

}  // namespace
}  // namespace kx::signing

UINT EncryptThreadProc(LPVOID sheet) { return kx::signing::RunProtectWorker(sheet, false, true); }
UINT SignThreadProc(LPVOID sheet) { return kx::signing::RunProtectWorker(sheet, true, false); }
UINT SignAndEncryptThreadProc(LPVOID sheet) { return kx::signing::RunProtectWorker(sheet, true, true); }
