#include "encryption/OneClickRunner.h"

#include <memory>
#include <vector>

#include "app/FailureReport.h"
#include "certificates/CertificateRows.h"
#include "core/FileSearch.h"
#include "core/Paths.h"
#include "core/RandomGenerator.h"
#include "core/TvxFormatSettings.h"
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
using kx::signing::MakeSignatureEntries;
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

HRESULT COneClickRunner::PrepareEncryption(Job& job, CByteBuffer& envelopedKey) {
  const PayloadNestedBlock& codes = job.preset->m_info.m_body.m_nested;
  const LONG cipher = codes.m_bCipherIndex, keyLength = codes.m_bKeyLengthIndex;
  if (cipher > CAPICOM_ENCRYPTION_ALGORITHM_AES || keyLength > CAPICOM_ENCRYPTION_KEY_LENGTH_256_BITS) return E_INVALIDARG;
  // The content goes in the format the protected file will declare.
  CTvxFormatSettings format;
  format.Load();
  if ((format.m_nFormatVersion > 1) != (m_encryptedData.GetFormatVersion() > 1)) m_encryptedData = CCapicomEncryptedData();
  m_encryptedData.SetCipherCodes(cipher, keyLength);
  CCapicomAlgorithm contentAlgorithm = m_encryptedData.GetAlgorithm();
  contentAlgorithm.PutName(cipher);
  contentAlgorithm.PutKeyLength(keyLength);
  kx::signing::SetEnvelopeCipher(m_envelopedData, cipher, keyLength);
  CCapicomRecipients recipients = m_envelopedData.GetRecipients();
  recipients.Clear();
  for (int i = 0; i < job.recipients.GetCount(); ++i) {
    HRESULT hr = recipients.Add(job.recipients.GetAt(i));
    if (FAILED(hr)) return hr;
  }
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
  const char* operation = sign ? (encrypt ? kSignEncryptOperation : kSignOperation) : kEncryptOperation;
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
  HRESULT result = S_OK;
  bool warning = false;
  CString warningText, signError;
  bool signFailed = false;
  try {
    if (!OpenJob(job, inputPath, presetPath)) return E_FAIL;
    if ((sign && !PresetCertificates(*job.preset, true, job.signers)) ||
        (encrypt && !PresetCertificates(*job.preset, false, job.recipients)))
      return E_FAIL;
    if (encrypt) {
      const CString refusal = FirstRecipientRefusal(CertificatesOf(job.recipients));
      if (!refusal.IsEmpty()) {
        LogError(operation, refusal);
        return E_FAIL;
      }
    }
    // An empty file makes no protected file: there would be no content for a reader to open.
    if (job.size == 0) {
      LogError(operation, "Failed because file size is 0 bytes");
      return E_FAIL;
    }
    PayloadInfo& info = job.object->m_info;
    TimeStampRecord stamp;
    if (sign) {
      stamp.m_bFlag = 1;
      char text[50] = {};
      CDateTime(stamp.m_time.m_time).Format(text, sizeof text, 0, 0x400);
      stamp.m_strDate = text;
      info.m_body.m_head = stamp;
      if (m_config.VerifyBeforeSign) warning = !SignersPassVerdict(CertificatesOf(job.signers), warningText);
    }

    const CString first = !outputPath.IsEmpty() ? outputPath : ProtectedFileName(inputPath, folder);
    if (!job.pending.Create(first)) return E_FAIL;
    job.output = job.pending.GetPath();
    job.out.reset(m_fileManager.CreateStream(job.pending.GetTemporaryPath()));
    if (!job.out || !job.out->IsOpen()) {
      result = E_FAIL;
    }

    CByteBuffer envelopedKey;
    if (SUCCEEDED(result) && encrypt) result = PrepareEncryption(job, envelopedKey);

    // Each preset signer signs with its own certificate of the user's "My" store, which holds its key.
    std::vector<CCapicomCertificate> mine;
    if (SUCCEEDED(result) && sign) signFailed = !FindSignerKeys(CertificatesOf(job.signers), mine);

    std::unique_ptr<SignerSet> signers;
    std::vector<PayloadEntry> entries;
    if (SUCCEEDED(result) && sign && !signFailed) {
      signers = std::make_unique<SignerSet>(mine, stamp.m_time.m_time, job.output, m_signedData);
      PayloadEntry record = job.preset->m_info.m_body.m_current;
      job.preset->m_info.m_body.GetEntry(0, record);
      entries = MakeSignatureEntries(record, signers->Count());
    }

    // Chunk by chunk: signed over the plain bytes, then encrypted, then written.
    if (SUCCEEDED(result) && !signFailed) {
      const kx::signing::ChunkedRun run =
          kx::signing::ProtectChunks(*job.in, *job.out, kx::signing::ProtectChunkSize(m_systemProfile.MemoryCache, job.size),
                                     sign ? signers.get() : nullptr, &entries, encrypt ? &m_encryptedData : nullptr);
      if (run.failure == kx::signing::ChunkedRun::kSign) {
        signFailed = true;
        signError = run.engineText;
        if (FAILED(run.hr)) result = run.hr;
      } else if (run.failure == kx::signing::ChunkedRun::kEncrypt) {
        result = E_FAIL;
        // Encrypting alone writes no entry here: the caller gets E_FAIL and logs the file's failure itself.
        if (sign) LogError(operation, CString("Sign and Encrypt Operation Failed for File (") + inputPath + "). ");
      } else if (run.failure == kx::signing::ChunkedRun::kWrite || run.processed != job.size) {
        // A read or write that stopped early leaves the output short of the input: that is no protected file.
        result = E_FAIL;
      }
    }

    if (signFailed) {
      const char* lead = encrypt ? "Sign and Encrypt Operation Failed for File (" : "Sign Operation Failed for File (";
      CString text = CString(lead) + inputPath + "). " + (signError.IsEmpty() ? CString(kNoPrivateKey) : signError);
      LogError(operation, text);
      SetMessage(text);
      if (SUCCEEDED(result)) result = E_FAIL;
    } else if (SUCCEEDED(result)) {
      // What the file holds: the parts this operation made, with the preset's texts.
      info.m_signing.m_bPresent = sign ? 1 : 0;
      info.m_encryption.m_bPresent = encrypt ? 1 : 0;
      info.m_body.m_entries.RemoveAll();
      if (sign) {
        info.m_signing.m_list.RemoveAll();
        for (const CCapicomCertificate& certificate : mine) AddCertificateTriple(info.m_signing.m_list, certificate);
        info.m_body.m_current = entries[0];
        if (entries[0].m_head.m_bFlag) info.m_body.m_head = entries[0].m_head;
        for (const PayloadEntry& entry : entries)
          if (!info.m_body.AddEntry(entry)) result = E_FAIL;
      }
      if (encrypt) {
        info.m_encryption.m_bThirdFlag = 1;
        info.m_encryption.m_buffer = envelopedKey;
        // The system's own cipher fills the last block: the reader cuts the content back to this length.
        if (m_encryptedData.GetFormatVersion() > 1)
          info.m_strText2.Format("%llu", static_cast<unsigned long long>(job.size));
      }
      StampHeader(*job.object, sign ? (encrypt ? 2 : 1) : 0);
      if (SUCCEEDED(result)) {
        job.written = job.out->WriteFileObject(job.object.get());
        if (!job.written) result = FAILED(job.object->GetLastResult()) ? job.object->GetLastResult() : E_FAIL;
      }
      // Whole: the output takes its name before anything calls it saved.
      if (job.written) {
        job.written = CommitStream(job.out, job.pending);
        if (job.written) job.output = job.pending.GetPath();
        else result = E_FAIL;
      }
      if (job.written) {
        CString text = CString("Operation Successful. File (") + job.output + ") saved.";
        if (warning) {
          text = CString("Operation completed with signer verification error. File (") + job.output + ") saved. " +
                 warningText;
          SetMessage(text);
        }
        LogInformation(sign ? (encrypt ? "Sign and Encrypt Operation" : kSignOperation) : kEncryptOperation, text);
      }
    }
  } catch (const _com_error& e) {
    result = FAILED(e.Error()) ? e.Error() : E_FAIL;
  } catch (...) {
    result = E_FAIL;
  }

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
      SetFileAttributes(inputPath, FILE_ATTRIBUTE_NORMAL);
      DeleteFile(inputPath);
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

    kx::signing::SetEnvelopeCipher(m_envelopedData, job.preset->m_info.m_body.m_nested.m_bCipherIndex,
                                   job.preset->m_info.m_body.m_nested.m_bKeyLengthIndex);
    CCapicomRecipients recipients = m_envelopedData.GetRecipients();
    recipients.Clear();
    for (int i = 0; i < job.recipients.GetCount(); ++i) {
      HRESULT hr = recipients.Add(job.recipients.GetAt(i));
      if (FAILED(hr)) return hr;
    }
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
