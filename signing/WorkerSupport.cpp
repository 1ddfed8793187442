#include "signing/WorkerSupport.h"

#include <algorithm>

#include "app/FailureReport.h"
#include "app/ResString.h"
#include "certificates/CertificateRows.h"
#include "core/Paths.h"
#include "core/TvxFormatSettings.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomSignedData.h"
#include "engine/SignerCheck.h"
#include "platform/capicom/core/store.h"
#include "formats/AuditLog.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/com.h"
#include "platform/win32/errors.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"
#include "signing/SignSheet.h"
#include "signing/SignerWorkers.h"

namespace kx::signing {

WorkerPauses& Pauses() {
  static WorkerPauses pauses;
  return pauses;
}

void FileOutcome::Fail(const char* resultText, const char* messageText) {
  if (failed) return;
  failed = true;
  result = resultText ? resultText : "";
  message = messageText ? messageText : "";
}

bool FileOutcome::CreateOutput(CFileManager& files, const CString& first) {
  if (!pending.Create(first)) return false;
  output = pending.GetPath();
  out.reset(files.CreateStream(pending.GetTemporaryPath()));
  return out && out->IsOpen();
}

bool FileOutcome::CommitOutput() {
  if (pending.IsCommitted()) return true;
  if (!CommitStream(out, pending)) {
    Fail(WithPath("Operation Failed. File ", output, "(") + " couldnt be saved.");
    return false;
  }
  output = pending.GetPath();
  return true;
}

void FileOutcome::SettleOutput() {
  if (!failed && pending.IsCreated()) CommitOutput();
  out.reset();
  pending.Discard();
}

CSignSheet* SheetOf(LPVOID argument) {
  if (!argument) return nullptr;
  auto* object = static_cast<CObject*>(argument);
  if (!object->IsKindOf(RUNTIME_CLASS(CSignSheet))) return nullptr;
  return static_cast<CSignSheet*>(object);
}

FileWorker::FileWorker(CProtectWizardData& data, CResultsPageBase* page) : m_data(data), m_results(page) {}

FileWorker::~FileWorker() = default;

UINT FileWorker::Run() {
  CoInitialize(nullptr);
  m_data.m_bOperationDone.store(0);
  if (ClearsResultMessage()) m_data.m_strResultMessage.Empty();
  m_results->PrepareForRun();
  try {
    StartRun();
    for (int i = 0; i < m_data.m_arrInputFiles.GetSize(); ++i) {
      FileOutcome file;
      file.index = i;
      file.input = m_data.m_arrInputFiles[i];
      try {
        ProcessFile(file);
      } catch (const _com_error& e) {
        m_data.m_bOperationSucceeded = 0;
        CString text = EngineErrorText(e.Error());
        const char* description = e.Description();
        file.Fail(text, description && *description ? description : static_cast<const char*>(text));
      } catch (...) {
        file.Fail(UnexpectedFailureText());
      }
      FinishFile(file, static_cast<int>(m_data.m_arrInputFiles.GetSize()));
    }
  } catch (const _com_error& e) {
    // Before or between files: the run fails, with the engine's text in the log and in the result message.
    m_data.m_bOperationSucceeded = 0;
    const CString text = EngineErrorText(e.Error());
    if (m_data.m_strResultMessage.IsEmpty()) m_data.m_strResultMessage = text;
  } catch (...) {
    m_data.m_bOperationSucceeded = 0;
    const CString text = kx::LogFailure("Signer Wizard Fatal", UnexpectedFailureText());
    if (m_data.m_strResultMessage.IsEmpty()) m_data.m_strResultMessage = text;
  }
  m_files.Reset();
  // Last: the interface thread reads everything written above once it sees the flag.
  m_data.m_bOperationDone.store(1, std::memory_order_release);
  WorkerClosingPause(PauseAfterRun());
  CoUninitialize();
  return 0;
}

void FileWorker::FinishFile(FileOutcome& file, int count) {
  file.in.reset();
  file.SettleOutput();
  if (!file.failed && !file.output.IsEmpty()) m_data.m_strLastOutputFile = file.output;
  if (!file.failed) m_data.m_bOperationSucceeded = 1;
  m_results->ReportFileResult(file.index, file.failed ? 0 : 1,
                              file.message.IsEmpty() ? nullptr : static_cast<const char*>(file.message), count,
                              file.warning ? TRUE : FALSE);
  if (file.failed) {
    m_results->AddFileOutcome("Error", file.result);
  } else {
    m_results->AddFileOutcome(file.output, file.result.IsEmpty() ? "Success" : static_cast<const char*>(file.result));
  }
}

void FileWorker::AuditInformation(const char* text, const char* operation) {
  CAuditLog log;
  log.Load();
  log.LogInformation(operation ? operation : Operation(), text);
}

void FileWorker::AuditError(const char* text, const char* operation) {
  CAuditLog log;
  log.Load();
  log.LogError(operation ? operation : Operation(), text);
}

CString FileWorker::EngineErrorText(HRESULT hr) {
  if (static_cast<uint32_t>(hr) == 0x80880900u) m_data.m_bEngineError = 1;
  return m_results->LogEngineError(hr);
}

SignerWorker::SignerWorker(CSignSheet* sheet)
    : FileWorker(sheet->m_WizardData, &sheet->m_DecryptPage), m_sheet(sheet), m_page(&sheet->m_DecryptPage) {}

SignerWorker::~SignerWorker() = default;

DWORD SignerWorker::PauseAfterRun() const { return Pauses().afterRun; }

CString SignerWorker::UnexpectedFailureText() const { return LoadResString(357); }

bool SignerWorker::OpenInput(FileOutcome& file) {
  if (file.input.IsEmpty()) {
    file.Fail(LoadResString(418));
    return false;
  }
  file.in.reset(m_files.OpenStream(file.input));
  if (!file.in || !file.in->IsOpen()) {
    file.Fail(OpenFailure(file.in.get()));
    return false;
  }
  if (!m_data.m_pEngineObjects) {
    file.Fail(LoadResString(357));
    return false;
  }
  return true;
}

CString OpenFailure(const CFileStream* stream) {
  return CString(("Failed to open the file: " + (stream ? stream->GetLastOpenErrorText()
                                                       : std::string("Not enough memory is available."))).c_str());
}

CString SignerWorker::OutputFolderFor(const CString& input) {
  CString& folder = m_data.m_strOutputFolder;
  const CString chosen = OutputFolderOf(input, folder);
  if (!folder.IsEmpty()) folder = chosen;  // the operation data keeps it with its separator
  return chosen;
}

DWORD SignerWorker::ChunkSize(uint64_t inputSize) const { return ProtectChunkSize(m_profile.MemoryCache, inputSize); }

void SetEnvelopeCipher(CCapicomEnvelopedData& envelope, LONG cipher, LONG keyLength) {
  const bool strong = cipher == CAPICOM_ENCRYPTION_ALGORITHM_3DES || cipher == CAPICOM_ENCRYPTION_ALGORITHM_AES;
  CCapicomAlgorithm algorithm = envelope.GetAlgorithm();
  algorithm.PutName(strong ? cipher : CAPICOM_ENCRYPTION_ALGORITHM_3DES);
  algorithm.PutKeyLength(strong ? keyLength : CAPICOM_ENCRYPTION_KEY_LENGTH_MAXIMUM);
}

void FollowFormatSetting(CCapicomEncryptedData& content) {
  CTvxFormatSettings format;
  format.Load();
  if ((format.m_nFormatVersion > 1) != (content.GetFormatVersion() > 1)) content = CCapicomEncryptedData();
}

DWORD ProtectChunkSize(int memoryCache, uint64_t inputSize) {
  // At most 1 GiB at a time, whatever the setting says.
  uint64_t chunk = memoryCache > 0 ? static_cast<uint64_t>(std::min(memoryCache, 1024)) << 20 : 1048576u;
  if (inputSize > 0 && inputSize <= chunk) chunk = inputSize;
  return static_cast<DWORD>(chunk);
}

ChunkedRun ProtectChunks(CFileStream& in, CFileStream& out, DWORD chunk, SignerSet* signers,
                         std::vector<PayloadEntry>* entries, CCapicomEncryptedData* encryptor) {
  ChunkedRun run;
  CByteBuffer plain(0, true), encrypted, signature;
  while (in.ReadBlock(chunk, plain)) {
    run.processed += plain.GetLength();
    for (size_t i = 0; signers && i < signers->Count(); ++i) {
      if (!signers->Sign(i, plain, signature, run.hr, run.engineText)) {
        run.failure = ChunkedRun::kSign;
        return run;
      }
      (*entries)[i].m_buffers.Add(signature);
    }
    const CByteBuffer* block = &plain;
    if (encryptor) {
      encryptor->PutContentFromBuffer(plain);
      if (!encryptor->EncryptToBuffer(CAPICOM_ENCODE_BINARY, encrypted) || !encrypted.GetLength()) {
        run.failure = ChunkedRun::kEncrypt;
        return run;
      }
      block = &encrypted;
    }
    if (!out.WriteUInt32Block(*block)) {
      run.failure = ChunkedRun::kWrite;
      return run;
    }
  }
  return run;
}

std::unique_ptr<CTolvexBinaryFile> SignerWorker::NewProtectedFile() {
  CBaseKesmoraFile* object = m_files.CreateFileObject("KXTV");
  auto* file = dynamic_cast<CTolvexBinaryFile*>(object);
  if (!file) delete object;
  return std::unique_ptr<CTolvexBinaryFile>(file);
}

void SignerWorker::CheckSignersBeforeSigning() {
  if (m_config.VerifyBeforeSign) m_bWarning = !SignersPassVerdict(m_data.m_arrSignerCerts, m_strWarning);
}

bool SignerWorker::SavedProtectedFile(FileOutcome& file) {
  if (!file.CommitOutput()) {
    AuditError(file.result);
    return false;
  }
  m_data.m_strLastOutputFile = file.output;
  CString saved;
  saved.Format(365, static_cast<const char*>(file.output));
  CString text = LoadResString(m_bWarning ? 374 : 364) + " " + saved;
  if (m_bWarning) {
    text += " " + m_strWarning;
    file.result = text;
    file.warning = true;
    m_data.m_strResultMessage = text;
  }
  AuditInformation(text);
  return true;
}

CString SafeRecordedName(const CString& recorded, const CString& fallback) {
  std::string name(static_cast<const char*>(recorded));
  size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  // A drive prefix ("C:name") is no part of a file name either.
  cut = name.find_last_of(':');
  if (cut != std::string::npos) name = name.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return fallback;
  return CString(name.c_str());
}

CString WithPath(const char* text, const CString& path, const char* opening) {
  return CString(text) + opening + path + ")";
}

CString TwoStrings(UINT a, UINT b) { return LoadResString(a) + " " + LoadResString(b); }

void AddCertificateTriple(CStringTripleList& list, const CCapicomCertificate& certificate) {
  char validTo[50] = {};
  certificate.GetValidToDate().Format(validTo, sizeof validTo, 0, 0x400);
  list.Add(certificate.GetInfo(CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME).GetAnsi(),
           certificate.GetInfo(CAPICOM_CERT_INFO_ISSUER_SIMPLE_NAME).GetAnsi(), validTo);
}

void StampHeader(CBaseKesmoraFile& file, BYTE kind) {
  const BYTE options[8] = {kind, 0, 0, 0, 0, 0, 0, 1};
  const DWORD length = sizeof options;
  file.SetOptions(options, length);
  file.SetCreationDate();
  file.SetCreationTime();
}

SignerSet::SignerSet(const std::vector<CCapicomCertificate>& certificates, const SYSTEMTIME& signingTime,
                     const CString& documentName, CCapicomSignedData& firstSignedData)
    : m_first(firstSignedData) {
  for (size_t i = 0; i < certificates.size(); ++i) {
    CCapicomSigner signer;
    signer.PutCertificate(certificates[i]);
    CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
    // Two attribute objects: the collection may keep the object itself rather than a copy.
    CCapicomAttribute time;
    time.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
    time.PutValueDate(CDateTime(signingTime));
    attributes.Add(time);
    CCapicomAttribute name;
    name.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
    name.PutValueString(documentName);
    attributes.Add(name);
    m_signers.push_back(signer);
    if (i > 0) m_ownData.push_back(std::make_unique<CCapicomSignedData>());
  }
}

bool SignerSet::Sign(size_t i, const CByteBuffer& chunk, CByteBuffer& signature, HRESULT& hr, CString& errorText) {
  CCapicomSignedData& data = i == 0 ? m_first : *m_ownData[i - 1];
  data.PutContentFromBuffer(chunk);
  signature.Free(false);
  hr = S_OK;
  CBstrString error;
  bool ok = data.SignToBuffer(m_signers[i], true, CAPICOM_ENCODE_BINARY, signature, hr, error);
  errorText = error.GetAnsi() ? error.GetAnsi() : "";
  return ok && SUCCEEDED(hr) && signature.GetLength() > 0;
}

bool SignatureCheck::Load(const PayloadBody& body) {
  m_entries.clear();
  for (DWORD i = 0; i < body.GetEntryCount(); ++i) {
    PayloadEntry entry;
    if (!body.GetEntry(i, entry)) return false;
    m_entries.push_back(entry);
  }
  return !m_entries.empty();
}

HRESULT SignatureCheck::Verify(CCapicomSignedData& data, DWORD block, CByteBuffer& content, LONG level,
                               bool fillable) const {
  for (const PayloadEntry& entry : m_entries) {
    if (block >= entry.m_buffers.GetCount()) return static_cast<HRESULT>(0x800B0100);
    HRESULT hr = VerifyDetached(data, entry.m_buffers.GetAt(block), content, fillable, level);
    if (FAILED(hr)) return hr;
    if (block == 0) {
      CCapicomSigners signers = data.GetSigners();
      const LONG count = signers.GetCount();
      if (count > 0) m_signers.push_back(signers.GetItem(count).GetCertificate());
    }
  }
  return S_OK;
}

CString SignatureCheck::SignerProblem() const {
  kx::capi::ListingScope scope;
  for (size_t i = 0; i < m_signers.size(); ++i) {
    const bool signs = i < m_entries.size() && m_entries[i].m_buffers.GetCount() > 0;
    const CByteBuffer first = signs ? m_entries[i].m_buffers.GetAt(0) : CByteBuffer();
    const CString problem = ::SignerProblem(m_signers[i], signs ? &first : nullptr);
    if (!problem.IsEmpty()) return problem;
  }
  return CString();
}

bool SignatureCheck::CoversBlocks(DWORD blocks) const {
  for (const PayloadEntry& entry : m_entries)
    if (entry.m_buffers.GetCount() != blocks) return false;
  return true;
}

std::vector<PayloadEntry> MakeSignatureEntries(const PayloadEntry& record, size_t signers) {
  std::vector<PayloadEntry> entries(signers, record);
  for (size_t i = 0; i < entries.size(); ++i) {
    PayloadEntry& entry = entries[i];
    entry.m_buffers.RemoveAll();
    if (i == 0) {
      entry.m_bFlag = record.m_strText1.IsEmpty() ? 0 : 1;
    } else {
      // Only the first signer's entry carries the drawn signature.
      entry.m_bFlag = 0;
      entry.m_buffer1.Free(true);
      entry.m_strText1.Empty();
    }
  }
  return entries;
}

}  // namespace kx::signing
