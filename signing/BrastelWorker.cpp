// The one-step encryption of the recipients page: one input file enveloped for the chosen recipients into a
// protected file. The worker reports only through the operation data's flags; failures go to the audit log.
#include <memory>

#include "signing/SelectCertPage.h"
#include "app/FailureReport.h"
#include "app/ResString.h"
#include "core/OfficeTolvexConfig.h"
#include "core/OutputFile.h"
#include "core/RandomGenerator.h"
#include "core/SystemProfile.h"
#include "certificates/CertificateRows.h"
#include "engine/CapicomObjectSet.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/com/combase.h"
#include "platform/win32/files.h"
#include "platform/win32/sync.h"
#include "signing/SignSheet.h"
#include "signing/WorkerSupport.h"

namespace {

constexpr const char* kOperation = "Encrypt Operation";
constexpr HRESULT kEngineNotSupported = static_cast<HRESULT>(0x80880900);

void LogFailure(const char* message) {
  CAuditLog audit;
  audit.Load();
  audit.LogError(kOperation, message);
}

const char* TextOf(const CBstrString& s) { return s.GetAnsi() ? s.GetAnsi() : ""; }

// The file name and extension of a path.
CString NameOf(const CString& path) {
  int slash = path.ReverseFind('/');
  return slash < 0 ? path : path.Mid(slash + 1);
}

class Run {
 public:
  explicit Run(CProtectWizardData& data) : m_data(data) {}
  void Execute();

 private:
  // An engine failure: the run fails with the engine's text in the audit log (the page shows no failure), and
  // an engine that does not support the request says so.
  void EngineFailed(const _com_error& e) {
    m_bFailed = true;
    LogFailure(kx::EngineText(e));
    if (e.Error() == kEngineNotSupported) m_data.m_bEngineError = 1;
  }
  void Encrypt(CCapicomObjectSet& objects, DWORD64 inputSize);
  // Why the first recipient that cannot be used is refused; empty when all can.
  CString FirstRecipientRefusal() const { return ::FirstRecipientRefusal(m_data.m_arrRecipientCerts); }
  void WriteProtectedFile(const CByteBuffer& envelopedKey, uint64_t contentSize, LONG formatVersion);

  CProtectWizardData& m_data;
  CFileManager m_files;
  std::unique_ptr<CFileStream> m_input, m_output;
  // The protected file, written under a temporary name until it is whole.
  COutputFile m_pending;
  CString m_strInput, m_strOutput;
  bool m_bFailed = false;
  bool m_bWritten = false;
  int m_nMemoryCache = 2;
};

void Run::Execute() {
  COfficeTolvexConfig config("Software\\Kesmora\\OfficeTolvex");
  config.LoadGeneralOptions();
  const bool shred = config.ShredTemporaryFiles != 0;
  CSystemProfile profile;
  profile.Load();
  m_nMemoryCache = profile.MemoryCache;

  if (m_data.m_arrInputFiles.GetSize() > 0) m_strInput = m_data.m_arrInputFiles[0];
  try {
    if (!m_strInput.IsEmpty()) {
      m_input.reset(m_files.OpenStream(m_strInput));
      if (!m_input || !m_input->IsOpen() || !m_data.m_pEngineObjects) {
        m_bFailed = true;  // nothing was written, and the input stays as it is
      } else if (m_input->GetSize64() == 0) {
        m_bFailed = true;
        LogFailure("Failed because file size is 0 bytes");
      } else if (CString refusal = FirstRecipientRefusal(); !refusal.IsEmpty()) {
        // Nothing is written for a recipient who could not open it or whose digital ID is not valid.
        m_bFailed = true;
        LogFailure(refusal);
      } else {
        Encrypt(*m_data.m_pEngineObjects, m_input->GetSize64());
      }
    }
  } catch (const _com_error& e) {
    EngineFailed(e);
  } catch (...) {
    m_bFailed = true;
    LogFailure(LoadResString(357));
  }

  m_input.reset();
  m_output.reset();
  m_pending.Discard();
  // Only an input whose protected file was written is shredded.
  if (shred && !m_bFailed && m_bWritten) {
    SetFileAttributes(m_strInput, FILE_ATTRIBUTE_NORMAL);
    DeleteFile(m_strInput);
  }
}

void Run::Encrypt(CCapicomObjectSet& objects, DWORD64 inputSize) {
  const LONG cipher = m_data.m_nCipher, keyLength = m_data.m_nKeyLength;
  kx::signing::FollowFormatSetting(objects.m_EncryptedData);
  CCapicomEnvelopedData& envelope = objects.m_EnvelopedData;
  CCapicomEncryptedData& content = objects.m_EncryptedData;

  CCapicomAlgorithm contentAlgorithm = content.GetAlgorithm();
  content.SetCipherParameters(cipher, keyLength);
  try {
    kx::signing::SetEnvelopeCipher(envelope, cipher, keyLength);
  } catch (const _com_error& e) {
    EngineFailed(e);
  }
  try {
    contentAlgorithm.PutName(cipher);
    contentAlgorithm.PutKeyLength(keyLength);
  } catch (const _com_error& e) {
    EngineFailed(e);
  }

  CCapicomRecipients recipients = envelope.GetRecipients();
  recipients.Clear();
  for (const CCapicomCertificate& certificate : m_data.m_arrRecipientCerts) {
    if (const HRESULT hr = recipients.Add(certificate); FAILED(hr)) {
      m_bFailed = true;
      LogFailure(kx::EngineText(hr));
      break;
    }
  }

  // A cipher or recipient the engine refused: nothing is written.
  if (m_bFailed) return;
  // Without a folder of its own the output goes next to the input; the data keeps the folder it went to.
  m_data.m_strOutputFolder = OutputFolderOf(m_strInput, m_data.m_strOutputFolder);
  // Named input name + ".Tvx", or with the first free number before ".Tvx" (report.doc(1).Tvx, ...).
  if (m_pending.Create(ProtectedFileName(m_strInput, m_data.m_strOutputFolder))) {
    m_strOutput = m_pending.GetPath();
    m_output.reset(m_files.CreateStream(m_pending.GetTemporaryPath()));
  }

  DWORD64 chunk = m_nMemoryCache > 0 ? static_cast<DWORD64>(m_nMemoryCache) << 20 : 1u << 20;
  HRESULT status = S_OK;
  CRandomGenerator random(true);
  // A content key at least as long as the content cipher's key.
  random.SetSize(kx_max<DWORD>(24, content.GetSecretLength()));
  CByteBuffer key(random.Generate(), true);
  CByteBuffer engineOutput(0, true), envelopedKey;
  if (key.GetLength()) {
    envelope.PutContentFromBuffer(key);
    if (envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, engineOutput, true)) envelopedKey = engineOutput;
  }

  if (envelopedKey.GetLength() && m_output && m_output->IsOpen()) {
    if (inputSize <= chunk) chunk = inputSize;
    content.SetSecretFromBuffer(key, 0);
    CByteBuffer plain(0, true);
    while (m_input->ReadChunk(static_cast<DWORD>(kx_min<DWORD64>(chunk, 0xFFFFFFFFu)), plain)) {
      engineOutput.Free(false);
      content.PutContentFromBuffer(plain);
      if (!content.EncryptToBuffer(CAPICOM_ENCODE_BINARY, engineOutput) || !m_output->WriteUInt32Block(engineOutput)) {
        status = E_FAIL;
        break;
      }
    }
  } else {
    status = E_FAIL;
  }

  if (FAILED(status)) {
    m_bFailed = true;
    LogFailure("Failed to read the encrypted data of the file. ");
    return;
  }
  WriteProtectedFile(envelopedKey, inputSize, content.GetFormatVersion());
}

void Run::WriteProtectedFile(const CByteBuffer& envelopedKey, uint64_t contentSize, LONG formatVersion) {
  std::unique_ptr<CBaseKesmoraFile> object(m_files.CreateFileObject("KXTV"));
  auto* file = dynamic_cast<CTolvexBinaryFile*>(object.get());
  if (!file) {
    m_bFailed = true;
    LogFailure("Failed to read the data of the file. It is invalid Office Tolvex file. ");
    return;
  }
  FillEncryptedFile(*file, NameOf(m_strInput), m_data, envelopedKey, contentSize, formatVersion);
  try {
    if (m_output->WriteTrailingObject(file) && CommitStream(m_output, m_pending)) {
      m_bWritten = true;
      m_strOutput = m_pending.GetPath();
      m_data.m_strLastOutputFile = m_strOutput;
    } else {
      m_bFailed = true;
      CString message;
      message.Format("Operation Failed. File (%s) couldnt be saved.", m_strOutput.GetString());
      LogFailure(message);
    }
  } catch (...) {
    m_bFailed = true;
    CString message;
    message.Format("Error has occured. Please contact Kesmora\nCould not save file:%s", m_strOutput.GetString());
    LogFailure(message);
  }
  if (!m_bFailed) m_data.m_bOperationSucceeded = 1;
}

}  // namespace

void FillEncryptedFile(CTolvexBinaryFileBase& file, const CString& documentName, const CProtectWizardData& data,
                       const CByteBuffer& envelopedKey, uint64_t contentSize, LONG formatVersion) {
  PayloadInfo& info = file.m_info;
  info.m_strText1 = documentName;
  const BYTE flags[5] = {1, 0, 1, 0, 0};
  for (int i = 0; i < 5; ++i) info.m_body.m_abFlags[i] = flags[i];
  info.m_signing.m_bPresent = 0;
  info.m_encryption.m_bPresent = 1;
  info.m_encryption.m_bSecondFlag = 1;
  info.m_encryption.m_bThirdFlag = 1;
  info.m_body.m_nested.m_bCipherIndex = static_cast<BYTE>(data.m_nCipher);
  info.m_body.m_nested.m_bKeyLengthIndex = static_cast<BYTE>(data.m_nKeyLength);
  for (const CCapicomCertificate& certificate : data.m_arrRecipientCerts) {
    char expiry[50] = {};
    certificate.GetValidToDate().Format(expiry, sizeof expiry, 0, 0x400);
    info.m_encryption.m_list.Add(TextOf(certificate.GetInfo(0)), TextOf(certificate.GetInfo(1)), expiry);
  }
  const BYTE options[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  file.SetOptions(options, 8);
  file.SetCreationDate();
  file.SetCreationTime();
  info.m_encryption.m_buffer = envelopedKey;
  // The own cipher fills the last block up: readers cut the content back to this length.
  if (formatVersion > 1) info.m_strText2.Format("%llu", static_cast<unsigned long long>(contentSize));
}

UINT BrastelThreadProc(LPVOID parameter) {
  auto* object = static_cast<CObject*>(parameter);
  if (!object || !object->IsKindOf(RUNTIME_CLASS(CSignSheet))) return 1;
  CProtectWizardData& data = static_cast<CSignSheet*>(object)->m_WizardData;
  CoInitialize(nullptr);
  data.m_bOperationDone = 0;
  data.m_bOperationSucceeded = 0;
  {
    Run run(data);
    run.Execute();
  }
  // Set last: the page reads the results once it sees it, and the worker no longer touches the sheet.
  data.m_bOperationDone = 1;
  Sleep(1200);
  CoUninitialize();
  return 0;
}
