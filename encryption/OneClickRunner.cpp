#include "encryption/OneClickRunner.h"

#include <memory>
#include <vector>

#include "app/FailureReport.h"
#include "certificates/CertificateRows.h"
#include "core/FileSearch.h"
#include "core/Paths.h"
#include "core/RandomGenerator.h"
#include "core/Win32File.h"
#include "encryption/OneClickPresets.h"
#include "engine/CapicomCertificates.h"
#include "engine/CapicomStore.h"
#include "engine/SignerCheck.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/capicom/capicom_defs.h"
#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/services/addres/addres.h"
#include "platform/ui/ui.h"
#include "platform/win32/files.h"
#include "platform/win32/textconv.h"
#include "signing/WorkerSupport.h"

using kx::signing::AddCertificateTriple;
using kx::signing::ChunkedRun;
using kx::signing::MakeSignatureEntries;
using kx::signing::ProtectChunks;
using kx::signing::ProtectChunkSize;
using kx::signing::SignerSet;
using kx::signing::StampHeader;

namespace {

constexpr const char* kEncryptOperation = "One Click Encrypt Operation";
constexpr const char* kSignOperation = "One Click Sign Operation";
constexpr const char* kSignEncryptOperation = "One Click Sign and Encrypt Operation";
constexpr const char* kNoPrivateKey = "failed during sign operation Make sure you have access to private key.";

CString NameAndExtension(const char* path) {
  CPathParts parts(path);
  return parts.GetFileName() + parts.GetExtension();
}

// The certificates of one of the preset's lists; false unless every stored certificate decodes and there is
// at least one: a preset must not silently protect for fewer people than it names.
bool PresetCertificates(const COneClickFile& preset, bool signers, CCertificateList& out) {
  const COneClickRecord& record = preset.m_oneClickRecord;
  const bool decoded = signers ? record.GetSignerCertificates(out) : record.GetRecipientCertificates(out);
  const DWORD stored = signers ? record.Signers().GetCount() : record.Recipients().GetCount();
  return decoded && out.GetCount() > 0 && static_cast<DWORD>(out.GetCount()) == stored;
}

}  // namespace

// One operation's working objects; the streams and objects go when it ends.
struct COneClickRunner::Job {
  bool sign = false;
  bool encrypt = false;
  const char* operation = nullptr;  // the audit operation of its failures
  CString input;
  std::unique_ptr<COneClickFile> preset;
  std::unique_ptr<CFileStream> in;
  std::unique_ptr<CFileStream> out;
  std::unique_ptr<CTolvexBinaryFile> object;
  CString output;
  COutputFile pending;
  bool written = false;
  uint64_t size = 0;
  CCertificateList signers;
  CCertificateList recipients;
  // Signing: the time stamp, the verdict's warning, each signer's own digital ID, their entries.
  TimeStampRecord stamp;
  bool warning = false;
  CString warningText;
  std::vector<CCapicomCertificate> keys;
  std::unique_ptr<SignerSet> signerSet;
  std::vector<PayloadEntry> entries;
  bool signFailed = false;
  CString signError;  // the engine's text of a failed signature
  // Encrypting: the content key enveloped for the recipients.
  CByteBuffer envelopedKey;
};

COneClickRunner::COneClickRunner() = default;

COneClickRunner::~COneClickRunner() {
  if (m_pMessageSink) m_pMessageSink->Release();
  m_pMessageSink = nullptr;
}

bool COneClickRunner::Initialize() { return LoadSettings(); }

bool COneClickRunner::LoadSettings() {
  if (!m_systemProfile.Load() || !m_auditLog.Load() || !m_certManagerSettings.Load()) return false;
  if (!m_config.LoadOperationOptions() || !m_config.LoadGeneralOptions() || !m_config.LoadOfficeOptions()) return false;
  return ScanPresetFolder();
}

bool COneClickRunner::ScanPresetFolder() { return kx::oneclick::ScanPresetFolder(m_fileManager) > 0; }

int COneClickRunner::GetOutputFolder(int, CString& folder) {
  if (m_systemProfile.OutputOption != 1) return 0;
  folder = m_systemProfile.OutputFolder;
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != '/') folder += "/";
  return 0;
}

void COneClickRunner::ReportMessage(const char* text) {
  try {
    if (!m_pMessageSink)
      CoCreateInstance(CLSID_KxHostMessages, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                       IID_IKxHostMessages, reinterpret_cast<void**>(&m_pMessageSink));
    if (!m_pMessageSink) return;
    HWND parent = GetForegroundWindow();
    BSTR message = text ? SysAllocString(kx::Utf8ToUtf16(text).c_str()) : nullptr;
    m_pMessageSink->ShowMessage(static_cast<LONG>(reinterpret_cast<intptr_t>(parent)), message);
    SysFreeString(message);
  } catch (...) {
    // The host could not show it: the message goes to the audit log instead.
    kx::LogFailure("One Click Operation", text ? text : "");
  }
}

int COneClickRunner::Run(const char* inputPath, const char* presetPath, BYTE operation, CString& outputPath) {
  m_strMessage.Empty();
  m_bHasMessage = 0;
  try {
    m_settings.PutEnablePromptForCertificateUI(true);
  } catch (...) {
    // The engine keeps its prompt switch; a key it then cannot reach fails the signing, which is reported.
  }
  // Nothing is opened for an operation that does not exist.
  if (operation > kEnvelope) return E_INVALIDARG;
  std::unique_ptr<CFileStream> probe(inputPath ? m_fileManager.OpenStream(inputPath) : nullptr);
  if (!probe || !probe->IsOpen()) {
    const DWORD error = probe ? probe->GetLastOpenError() : 0;
    ReportMessage(kx::LoadAddResString(error == ERROR_SHARING_VIOLATION ? 2000 : 2001));
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  probe.reset();
  switch (operation) {
    case kEncrypt: return Encrypt(inputPath, presetPath, outputPath);
    case kSign: return Sign(inputPath, presetPath, outputPath);
    case kSignAndEncrypt: return SignAndEncrypt(inputPath, presetPath, outputPath);
    default: return EnvelopeFile(inputPath, presetPath, outputPath);
  }
}

int COneClickRunner::Encrypt(const char* inputPath, const char* presetPath, CString& outputPath) {
  return RunChunked(inputPath, presetPath, outputPath, false, true);
}

int COneClickRunner::Sign(const char* inputPath, const char* presetPath, CString& outputPath) {
  return RunChunked(inputPath, presetPath, outputPath, true, false);
}

int COneClickRunner::SignAndEncrypt(const char* inputPath, const char* presetPath, CString& outputPath) {
  return RunChunked(inputPath, presetPath, outputPath, true, true);
}

double COneClickRunner::GetFileLength(const char* path) { return ::GetFileLength(path); }

void COneClickRunner::SetMessage(const CString& text) {
  m_strMessage = text;
  m_bHasMessage = 1;
}

void COneClickRunner::LogInformation(const char* operation, const char* text) {
  CAuditLog log;
  log.Load();
  log.LogInformation(operation, text);
}

void COneClickRunner::LogError(const char* operation, const char* text) {
  CAuditLog log;
  log.Load();
  log.LogError(operation, text);
}

bool COneClickRunner::OpenJob(Job& job, const char* inputPath, const char* presetPath) {
  job.input = inputPath;
  job.preset.reset(kx::oneclick::OpenPreset(m_fileManager, presetPath));
  job.in.reset(m_fileManager.OpenStream(inputPath));
  CBaseKesmoraFile* object = m_fileManager.CreateFileObject("KXTV");
  job.object.reset(dynamic_cast<CTolvexBinaryFile*>(object));
  if (!job.object) delete object;
  if (!job.preset || !job.in || !job.in->IsOpen() || !job.object) return false;
  job.size = job.in->GetSize64();
  // The output describes this file, with what the preset recorded.
  job.object->m_info = job.preset->m_info;
  job.object->m_info.m_strText1 = NameAndExtension(inputPath);
  return true;
}

HRESULT COneClickRunner::AddressEnvelope(Job& job, LONG cipher, LONG keyLength) {
  kx::signing::SetEnvelopeCipher(m_envelopedData, cipher, keyLength);
  CCapicomRecipients recipients = m_envelopedData.GetRecipients();
  recipients.Clear();
  for (int i = 0; i < job.recipients.GetCount(); ++i) {
    const HRESULT hr = recipients.Add(job.recipients.GetAt(i));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT COneClickRunner::PrepareEncryption(Job& job, CByteBuffer& envelopedKey) {
  const PayloadNestedBlock& codes = job.preset->m_info.m_body.m_nested;
  const LONG cipher = codes.m_bCipherIndex, keyLength = codes.m_bKeyLengthIndex;
  if (cipher > CAPICOM_ENCRYPTION_ALGORITHM_AES || keyLength > CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS) return E_INVALIDARG;
  kx::signing::FollowFormatSetting(m_encryptedData);
  m_encryptedData.SetCipherCodes(cipher, keyLength);
  CCapicomAlgorithm contentAlgorithm = m_encryptedData.GetAlgorithm();
  contentAlgorithm.PutName(cipher);
  contentAlgorithm.PutKeyLength(keyLength);
  if (const HRESULT hr = AddressEnvelope(job, cipher, keyLength); FAILED(hr)) return hr;
  CRandomGenerator random(true);
  random.SetSize(m_encryptedData.GetSecretLength());
  CByteBuffer secret(random.Generate(), true);
  if (!secret.GetLength()) return E_FAIL;
  m_envelopedData.PutContentFromBuffer(secret);
  if (!m_envelopedData.EncryptToBuffer(CAPICOM_ENCODE_BINARY, envelopedKey, true) || !envelopedKey.GetLength())
    return E_FAIL;
  return m_encryptedData.SetSecretFromBuffer(secret, 0);
}

int COneClickRunner::RunChunked(const char* inputPath, const char* presetPath, CString& outputPath, bool sign,
                                bool encrypt) {
  if (sign) {
    m_strMessage.Empty();
    m_bHasMessage = 0;
  }
  Initialize();
  CString folder;
  GetOutputFolder(1, folder);
  m_systemProfile.Load();
  if (!presetPath || !*presetPath || !inputPath || !*inputPath) return E_INVALIDARG;

  Job job;
  job.sign = sign;
  job.encrypt = encrypt;
  job.operation = sign ? (encrypt ? kSignEncryptOperation : kSignOperation) : kEncryptOperation;
  HRESULT result = S_OK;
  try {
    result = CheckJob(job, inputPath, presetPath);
    if (SUCCEEDED(result))
      result = StartOutput(job, outputPath.IsEmpty() ? ProtectedFileName(inputPath, folder) : outputPath);
    if (SUCCEEDED(result) && encrypt) result = PrepareEncryption(job, job.envelopedKey);
    if (SUCCEEDED(result) && sign) PrepareSigners(job);
    if (SUCCEEDED(result) && !job.signFailed) result = ProtectContent(job);
    if (job.signFailed) result = ReportSignFailure(job, result);
    else if (SUCCEEDED(result)) result = SaveOutput(job);
  } catch (const _com_error& e) {
    result = FAILED(e.Error()) ? e.Error() : E_FAIL;
  } catch (...) {
    // An unexpected failure fails the file like any other: the caller reports it and nothing is left.
    result = E_FAIL;
  }
  return SettleJob(job, result, outputPath);
}

HRESULT COneClickRunner::CheckJob(Job& job, const char* inputPath, const char* presetPath) {
  if (!OpenJob(job, inputPath, presetPath)) return E_FAIL;
  if ((job.sign && !PresetCertificates(*job.preset, true, job.signers)) ||
      (job.encrypt && !PresetCertificates(*job.preset, false, job.recipients)))
    return E_FAIL;
  // A recipient revoked or expired since the preset was made, or whose key cannot decrypt, gets nothing.
  if (job.encrypt) {
    const CString refusal = FirstRecipientRefusal(CertificatesOf(job.recipients));
    if (!refusal.IsEmpty()) {
      LogError(job.operation, refusal);
      return E_FAIL;
    }
  }
  // An empty file makes no protected file: there would be no content for a reader to open.
  if (job.size == 0) {
    LogError(job.operation, "Failed because file size is 0 bytes");
    return E_FAIL;
  }
  if (!job.sign) return S_OK;
  job.stamp.m_bFlag = 1;
  char text[50] = {};
  CDateTime(job.stamp.m_time.m_time).Format(text, sizeof text, 0, 0x400);
  job.stamp.m_strDate = text;
  job.object->m_info.m_body.m_head = job.stamp;
  if (m_config.VerifyBeforeSign) job.warning = !SignersPassVerdict(CertificatesOf(job.signers), job.warningText);
  return S_OK;
}

HRESULT COneClickRunner::StartOutput(Job& job, const CString& first) {
  if (!job.pending.Create(first)) return E_FAIL;
  job.output = job.pending.GetPath();
  job.out.reset(m_fileManager.CreateStream(job.pending.GetTemporaryPath()));
  return job.out && job.out->IsOpen() ? S_OK : E_FAIL;
}

void COneClickRunner::PrepareSigners(Job& job) {
  // Each preset signer signs with its own certificate of the user's "My" store, which holds its key.
  job.signFailed = !FindSignerKeys(CertificatesOf(job.signers), job.keys);
  if (job.signFailed) return;
  job.signerSet = std::make_unique<SignerSet>(job.keys, job.stamp.m_time.m_time, job.output, m_signedData);
  PayloadEntry record = job.preset->m_info.m_body.m_current;
  job.preset->m_info.m_body.GetEntry(0, record);
  job.entries = MakeSignatureEntries(record, job.signerSet->Count());
}

HRESULT COneClickRunner::ProtectContent(Job& job) {
  // Chunk by chunk: signed over the plain bytes, then encrypted, then written.
  const ChunkedRun run = ProtectChunks(*job.in, *job.out, ProtectChunkSize(m_systemProfile.MemoryCache, job.size),
                                       job.signerSet.get(), &job.entries, job.encrypt ? &m_encryptedData : nullptr);
  if (run.failure == ChunkedRun::kSign) {
    job.signFailed = true;
    job.signError = run.engineText;
    return FAILED(run.hr) ? run.hr : S_OK;
  }
  if (run.failure == ChunkedRun::kEncrypt) {
    // Encrypting alone writes no entry here: the caller gets E_FAIL and logs the file's failure itself.
    if (job.sign) LogError(job.operation, CString("Sign and Encrypt Operation Failed for File (") + job.input + "). ");
    return E_FAIL;
  }
  // A read or write that stopped early leaves the output short of the input: that is no protected file.
  return run.failure == ChunkedRun::kWrite || run.processed != job.size ? E_FAIL : S_OK;
}

HRESULT COneClickRunner::ReportSignFailure(Job& job, HRESULT result) {
  const char* lead = job.encrypt ? "Sign and Encrypt Operation Failed for File (" : "Sign Operation Failed for File (";
  const CString text =
      CString(lead) + job.input + "). " + (job.signError.IsEmpty() ? CString(kNoPrivateKey) : job.signError);
  LogError(job.operation, text);
  SetMessage(text);
  return SUCCEEDED(result) ? E_FAIL : result;
}

HRESULT COneClickRunner::DescribeOutput(Job& job) {
  // What the file holds: the parts this operation made, with the preset's texts.
  PayloadInfo& info = job.object->m_info;
  HRESULT result = S_OK;
  info.m_signing.m_bPresent = job.sign ? 1 : 0;
  info.m_encryption.m_bPresent = job.encrypt ? 1 : 0;
  info.m_body.m_entries.RemoveAll();
  if (job.sign) {
    info.m_signing.m_list.RemoveAll();
    for (const CCapicomCertificate& certificate : job.keys) AddCertificateTriple(info.m_signing.m_list, certificate);
    info.m_body.m_current = job.entries[0];
    if (job.entries[0].m_head.m_bFlag) info.m_body.m_head = job.entries[0].m_head;
    for (const PayloadEntry& entry : job.entries)
      if (!info.m_body.AddEntry(entry)) result = E_FAIL;
  }
  if (job.encrypt) {
    info.m_encryption.m_bThirdFlag = 1;
    info.m_encryption.m_buffer = job.envelopedKey;
    // The system's own cipher fills the last block: the reader cuts the content back to this length.
    if (m_encryptedData.GetFormatVersion() > 1)
      info.m_strText2.Format("%llu", static_cast<unsigned long long>(job.size));
  }
  StampHeader(*job.object, job.sign ? (job.encrypt ? 2 : 1) : 0);
  return result;
}

HRESULT COneClickRunner::SaveOutput(Job& job) {
  HRESULT result = DescribeOutput(job);
  if (SUCCEEDED(result)) {
    job.written = job.out->WriteFileObject(job.object.get());
    if (!job.written) result = FAILED(job.object->GetLastResult()) ? job.object->GetLastResult() : E_FAIL;
  }
  // Whole: the output takes its name before anything calls it saved.
  if (job.written) {
    job.written = CommitStream(job.out, job.pending);
    if (!job.written) return E_FAIL;
    job.output = job.pending.GetPath();
  }
  if (!job.written) return result;
  CString text = CString("Operation Successful. File (") + job.output + ") saved.";
  if (job.warning) {
    text = CString("Operation completed with signer verification error. File (") + job.output + ") saved. " +
           job.warningText;
    SetMessage(text);
  }
  LogInformation(job.sign ? (job.encrypt ? "Sign and Encrypt Operation" : kSignOperation) : kEncryptOperation, text);
  return result;
}

int COneClickRunner::SettleJob(Job& job, HRESULT result, CString& outputPath) {
  job.in.reset();
  job.out.reset();
  if (!job.written || FAILED(result)) {
    // Nothing half-made stays behind.
    job.pending.Discard();
    return FAILED(result) ? result : E_FAIL;
  }
  outputPath = job.output;
  try {
    m_config.LoadGeneralOptions();
    if (m_config.ShredTemporaryFiles && GetFileAttributes(job.output) != INVALID_FILE_ATTRIBUTES) {
      SetFileAttributes(job.input, FILE_ATTRIBUTE_NORMAL);
      DeleteFile(job.input);
    }
  } catch (...) {
    // The protected file is written and reported; the input simply stays.
  }
  return S_OK;
}

int COneClickRunner::EnvelopeFile(const char* inputPath, const char* presetPath, CString& outputPath) {
  Initialize();
  CString folder;
  GetOutputFolder(1, folder);
  if (!presetPath || !*presetPath || !inputPath || !*inputPath) return E_INVALIDARG;
  Job job;
  CString chosen;
  HRESULT result = S_OK;
  try {
    job.preset.reset(kx::oneclick::OpenPreset(m_fileManager, presetPath));
    CBaseKesmoraFile* object = m_fileManager.CreateFileObject("KXTV");
    job.object.reset(dynamic_cast<CTolvexBinaryFile*>(object));
    if (!job.object) delete object;
    if (!job.preset || !job.object) return E_FAIL;
    job.object->m_info = job.preset->m_info;
    if (!PresetCertificates(*job.preset, false, job.recipients)) return E_FAIL;
    if (const CString refusal = FirstRecipientRefusal(CertificatesOf(job.recipients)); !refusal.IsEmpty()) {
      LogError(kEncryptOperation, refusal);
      return E_FAIL;
    }

    CWin32File input(inputPath);
    if (!input.IsOpen()) return E_FAIL;
    result = input.ReadAll(0);
    if (FAILED(result)) return result;

    const PayloadNestedBlock& codes = job.preset->m_info.m_body.m_nested;
    if (const HRESULT hr = AddressEnvelope(job, codes.m_bCipherIndex, codes.m_bKeyLengthIndex); FAILED(hr)) return hr;
    CByteBuffer enveloped;
    if (input.m_buffer.GetLength()) {
      m_envelopedData.PutContentFromBuffer(input.m_buffer);
      m_envelopedData.EncryptToBuffer(CAPICOM_ENCODE_BINARY, enveloped, true);
    }
    if (!enveloped.GetLength()) return E_FAIL;

    job.object->m_info.m_strText1 = NameAndExtension(inputPath);
    StampHeader(*job.object, kEnvelope);
    // The whole file enveloped in one piece goes in the extra block.
    job.object->m_extraBlock = enveloped;
    job.object->SetExtraBlockFlag(1);

    const CString first = !outputPath.IsEmpty() ? outputPath : ProtectedFileName(inputPath, folder);
    // Numbered like the other outputs: an existing file is never overwritten.
    if (!job.pending.Create(first)) return E_FAIL;
    if (!job.object->Save(job.pending.GetTemporaryPath()) || !job.pending.Commit()) result = E_FAIL;
    chosen = job.pending.GetPath();
  } catch (const _com_error& e) {
    result = FAILED(e.Error()) ? e.Error() : E_FAIL;
  } catch (...) {
    result = E_FAIL;
  }
  if (FAILED(result)) {
    job.pending.Discard();
    return result;
  }
  outputPath = chosen;
  return S_OK;
}
