// What the Signer Wizard's workers share: the run skeleton (COM, page preparation, one outcome per file,
// the done flag set last; the encryption wizard's workers share it too), output naming, audit entries and the
// protected-file fields they all fill.
#pragma once

#include <memory>
#include <vector>

#include "core/OfficeTolvexConfig.h"
#include "core/OutputFile.h"
#include "core/SystemProfile.h"
#include "engine/CapicomCertificate.h"
#include "engine/CapicomSigner.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/mfc/cstring.h"

class CSignSheet;
class CPWDecryptPage;
class CResultsPageBase;
class CProtectWizardData;
class CCapicomSignedData;
class CCapicomEncryptedData;
class CCapicomEnvelopedData;

namespace kx::signing {

// The result of one input file: reported once, with one entry in each of the page's lists.
struct FileOutcome {
  int index = 0;
  CString input;
  bool failed = false;
  // The output's name; it is written under a temporary name beside it until it is whole.
  CString output;
  COutputFile pending;
  // The failure text, or a success text that replaces "Success" (a certificate warning).
  CString result;
  // Shown in a message box with the report.
  CString message;
  bool warning = false;
  std::unique_ptr<CFileStream> in;
  std::unique_ptr<CFileStream> out;

  // The first failure's texts stay.
  void Fail(const char* resultText, const char* messageText = nullptr);
  // Makes the output (see COutputFile) and opens its stream; false when nothing can be made there.
  bool CreateOutput(CFileManager& files, const CString& first);
  // The written output takes its name (its stream closed first); false, and the file failed, when it cannot.
  // Done before anything reports the output saved or removes the input.
  bool CommitOutput();
  // At the end of the file: the output of a failed file goes, that of a good one takes its name.
  void SettleOutput();
};

// The run of a wizard's file worker: COM, the results page prepared, one outcome per input file reported once
// (an engine failure fails the file with the engine's text), the done flag set last, then the closing pause.
// The signer workers and the encryption wizard's password workers run on it.
class FileWorker {
 public:
  FileWorker(CProtectWizardData& data, CResultsPageBase* page);
  virtual ~FileWorker();
  FileWorker(const FileWorker&) = delete;
  FileWorker& operator=(const FileWorker&) = delete;

  // The whole run; 0.
  UINT Run();

 protected:
  // Audit operation of the run's entries.
  virtual const char* Operation() const = 0;
  // Settings and checks before the first file.
  virtual void StartRun() {}
  virtual void ProcessFile(FileOutcome& file) = 0;
  virtual DWORD PauseAfterRun() const = 0;
  // Encrypting and signing runs start with an empty result message.
  virtual bool ClearsResultMessage() const { return true; }
  // A file's or the run's result when something other than the engine failed.
  virtual CString UnexpectedFailureText() const = 0;

  void AuditInformation(const char* text, const char* operation = nullptr);
  void AuditError(const char* text, const char* operation = nullptr);
  // The engine's text for a failed engine call, logged as the wizard's fatal error.
  CString EngineErrorText(HRESULT hr);

  CProtectWizardData& m_data;
  CFileManager m_files;

 private:
  void FinishFile(FileOutcome& file, int count);

  CResultsPageBase* m_results;
};

class SignerWorker : public FileWorker {
 public:
  explicit SignerWorker(CSignSheet* sheet);
  ~SignerWorker() override;

 protected:
  DWORD PauseAfterRun() const override;
  CString UnexpectedFailureText() const override;

  // Opens the input; false (and the file failed) when it cannot be read or the engine objects are missing.
  bool OpenInput(FileOutcome& file);
  // The output folder with its separator (the operation data keeps it so); the input's own folder when none
  // is given.
  CString OutputFolderFor(const CString& input);
  // The chunk size from MemoryCache (megabytes; 1 MiB when not above 0), never above the input size.
  DWORD ChunkSize(uint64_t inputSize) const;
  // A new protected file object.
  std::unique_ptr<CTolvexBinaryFile> NewProtectedFile();
  // With VerifyBeforeSign: the signer certificates are checked before the first file; the first that fails
  // makes every success of the run carry a warning with the check's text (the files are signed all the same).
  void CheckSignersBeforeSigning();
  // A protected file written whole: it takes its name, then the saved text goes to the audit log, and with the
  // warning also to the file's result and the run's result message. False (the file failed) when it could
  // not take its name.
  bool SavedProtectedFile(FileOutcome& file);

  CSignSheet* m_sheet;
  CPWDecryptPage* m_page;
  COfficeTolvexConfig m_config;
  CSystemProfile m_profile;
  bool m_bWarning = false;
  CString m_strWarning;
};

// Resolves the argument of a thread procedure: the sheet, or null when it is none (or no signer wizard).
CSignSheet* SheetOf(LPVOID argument);

// The name a protected file records, made safe to write: its last path component, or the fallback when that
// is empty, "." or "..".
CString SafeRecordedName(const CString& recorded, const CString& fallback);
// "%s (%s)" pieces of the audit texts: text + "(" + path + ")".
CString WithPath(const char* text, const CString& path, const char* opening = "(");
// Resource string a, a blank, resource string b.
CString TwoStrings(UINT a, UINT b);
// A file's result when its input cannot be opened, with the cause (a null stream: there was no memory for it).
CString OpenFailure(const CFileStream* stream);

// The text triple of a certificate for the protected file's signer and recipient lists.
void AddCertificateTriple(CStringTripleList& list, const CCapicomCertificate& certificate);
// The header of a new protected file: the operation kind in option byte 0 and 1 in byte 7, the date and time.
void StampHeader(CBaseKesmoraFile& file, BYTE kind);

// One signer with its two signed attributes: the signing time and the document name.
class SignerSet {
 public:
  // The signing time is the time of the signing record; the document name is the output path.
  SignerSet(const std::vector<CCapicomCertificate>& certificates, const SYSTEMTIME& signingTime,
            const CString& documentName, CCapicomSignedData& firstSignedData);
  size_t Count() const { return m_signers.size(); }
  // Signs the chunk with signer i (detached, binary); false with the engine's result and text on failure.
  bool Sign(size_t i, const CByteBuffer& chunk, CByteBuffer& signature, HRESULT& hr, CString& errorText);

 private:
  std::vector<CCapicomSigner> m_signers;
  std::vector<std::unique_ptr<CCapicomSignedData>> m_ownData;
  CCapicomSignedData& m_first;
};

// The cipher that envelopes a protected file's content key: the chosen one when it is triple DES or AES, else
// triple DES at its full key length. Every worker that envelopes a key chooses with this.
void SetEnvelopeCipher(CCapicomEnvelopedData& envelope, LONG cipher, LONG keyLength);

// An encrypted-data object made before the format setting changed is made again, so that the content goes in the
// format the protected file will declare.
void FollowFormatSetting(CCapicomEncryptedData& content);

// The chunk size of a protecting run: memoryCache megabytes (at most 1 GiB; 1 MiB when not above 0), never above
// the input size.
DWORD ProtectChunkSize(int memoryCache, uint64_t inputSize);

// How a chunked protection ended.
struct ChunkedRun {
  enum Failure { kNone, kSign, kEncrypt, kWrite } failure = kNone;
  // A sign failure's engine result and text.
  HRESULT hr = S_OK;
  CString engineText;
  // Bytes read from the input; short of its size when a read stopped early.
  uint64_t processed = 0;
};
// The content of a protected file, chunk by chunk: each chunk signed by every signer (over the plain bytes, the
// signatures added to the signer's entry), then encrypted when an encryptor is given, then written as a block.
// Stops at the first failure.
ChunkedRun ProtectChunks(CFileStream& in, CFileStream& out, DWORD chunk, SignerSet* signers,
                         std::vector<PayloadEntry>* entries, CCapicomEncryptedData* encryptor);

// The signatures a protected file carries: one entry per signer, one detached signature per content block. A
// block is accepted only when every entry's signature of it verifies, and the content only when every entry
// signs exactly its blocks (a file without entries is not signed at all).
class SignatureCheck {
 public:
  // False when the file carries no readable signature entry.
  bool Load(const PayloadBody& body);
  // Block number block (from 0) with its plain content against every entry; the first failure's result code
  // (TRUST_E_NOSIGNATURE for an entry without a signature of the block). With fillable, content may lose the
  // zero filler of the version-2 own cipher (see VerifyDetached) and is left as the signatures cover it.
  HRESULT Verify(CCapicomSignedData& data, DWORD block, CByteBuffer& content, LONG level, bool fillable = false) const;
  // Every entry signs exactly that many blocks.
  bool CoversBlocks(DWORD blocks) const;
  // After the first block: each entry's signer certificate, in entry order.
  const std::vector<CCapicomCertificate>& Signers() const { return m_signers; }
  // Why the signers cannot be taken for what they claim, judged by the validity verdict and the algorithm
  // checks; empty when nothing is wrong.
  CString SignerProblem() const;

 private:
  std::vector<PayloadEntry> m_entries;
  mutable std::vector<CCapicomCertificate> m_signers;
};

// The signature entries of a signing run: the first carries the signing record (and its drawn signature),
// the others a copy without the drawn signature.
std::vector<PayloadEntry> MakeSignatureEntries(const PayloadEntry& record, size_t signers);

}  // namespace kx::signing
