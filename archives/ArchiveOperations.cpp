#include "archives/ArchiveOperations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/FileSearch.h"
#include "archives/OperationReport.h"
#include "core/OutputFile.h"
#include "core/DateTime.h"
#include "core/RandomGenerator.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomEnvelopedData.h"
#include "engine/CapicomErrors.h"
#include "engine/SignerCheck.h"
#include "formats/FileStream.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/win32/files.h"

namespace {

enum Mode { kEncrypt = 0, kSign = 1, kSignAndEncrypt = 2 };

constexpr int kProgressRange = 50000;
constexpr uint64_t kDefaultChunk = 1u << 20;
constexpr uint64_t kLargestChunk = 1u << 30;
constexpr const char* kNoPrivateKey = "failed during sign operation Make sure you have access to private key.";

struct ModeTexts {
  const char* success;       // followed by the output path and ") saved."
  const char* failure;       // followed by the output path, ") " and the reason
  const char* auditSuccess;
  const char* auditFailure;
};
const ModeTexts kTexts[] = {
    {"Operation Successful. File (", "Archive Encrypt Operation Failed. File (", "Archive Encrypt Operation",
     "Archive Encrypt Operation"},
    {"Archive Sign Operation Successful. File (", "Archive Sign Operation Failed. File (", "Sign Operation",
     "Archive Sign Operation"},
    {"Archive Sign and Encrypt Operation Successful. File (", "Archive Sign and Encrypt Operation Failed. File (",
     " Archive Operation", "Archive Sign and Encrypt Operation"},
};

CString NameOf(const CString& path) { return path.Mid(path.ReverseFind('/') + 1); }

// The name a decrypted archive gets: that of the archive the user chose ("Archive.tvx" gives "Archive.zip"),
// never the wizard's temporary zip file ("Archive.tvx__KX__.zip").
CString RecordedName(const CString& zipPath) {
  CString name = NameOf(zipPath);
  const CString temporary = "__KX__.zip";
  if (name.GetLength() <= temporary.GetLength() || name.Right(temporary.GetLength()) != temporary) return name;
  name = name.Left(name.GetLength() - temporary.GetLength());
  const int dot = name.ReverseFind('.');
  if (dot > 0 && name.Mid(dot).CompareNoCase(".tvx") == 0) name = name.Left(dot);
  return name + ".zip";
}

CString DateText(const CDateTime& when) {
  char buffer[64] = {};
  when.Format(buffer, sizeof buffer, 0, 1024);
  return buffer;
}

CString Ansi(const CBstrString& s) { return s.GetAnsi() ? s.GetAnsi() : ""; }

// One run of an operation: its objects live in it, so that every way out passes the clean-up.
class ArchiveRun {
 public:
  ArchiveRun(CArchiveRunBase* page, const CArchiveWizardData* data, int mode)
      : m_page(page), m_data(data), m_mode(mode), m_texts(kTexts[mode]) {}

  HRESULT Run() {
    try {
      Protect();
    } catch (const _com_error& e) {
      Fail(e.Error() < 0 ? e.Error() : E_FAIL, Ansi(GetCapicomErrorMessage(e.Error())));
    } catch (...) {
      Fail(E_FAIL, "the operation stopped unexpectedly.");
    }
    CleanUp();
    return m_status;
  }

 private:
  bool Signing() const { return m_mode != kEncrypt; }
  bool Encrypting() const { return m_mode != kSign; }

  // The run ends with this reason; a later failure does not replace the first. False, for the steps to answer.
  bool Fail(HRESULT status, const CString& reason) {
    if (m_failed) return false;
    m_failed = true;
    m_status = status < 0 ? status : E_FAIL;
    m_page->m_strLastResult = m_texts.failure + m_output + ") " + reason;
    CAuditLog audit;
    audit.Load();
    audit.LogError(m_texts.auditFailure, m_page->m_strLastResult);
    return false;
  }

  // The run's steps in order; each answers false once the run failed, its reason given by Fail.
  void Protect() {
    if (!Open() || !ReadPreset() || !PrepareEncryption()) return;
    // The signers may be checked first; a failing one is named in the result but does not stop the run.
    m_verifyError = Signing() && m_page->m_Config.VerifyBeforeSign &&
                    !SignersPassVerdict(CertificatesOf(m_signers), m_verifyText);
    if (!OpenOutput() || !ProtectBlocks() || !DescribeBlocks()) return;
    Save();
  }

  // The settings, the output's first name, the preset, the archive and the protected file object.
  bool Open() {
    m_page->LoadSettings();
    m_page->m_Profile.Load();
    CString folder;
    m_page->GetOutputFolder(1, folder);
    const CString& zipPath = m_data->m_strZipPath;
    m_output = m_data->m_strDestinationPath;
    if (m_output.IsEmpty()) m_output = ProtectedFileName(zipPath, folder);
    m_page->m_strOutputPath = m_output;
    m_page->StepProgress();
    if (m_data->m_strPresetPath.IsEmpty() || zipPath.IsEmpty())
      return Fail(E_INVALIDARG, "no one-click preset or no archive was given.");
    CFileManager& files = m_page->m_FileManager;
    m_preset.reset(files.OpenFile(m_data->m_strPresetPath));
    m_input.reset(files.OpenStream(zipPath));
    m_object.reset(files.CreateFileObject("KXTV"));
    m_presetFile = dynamic_cast<COneClickFile*>(m_preset.get());
    m_protected = dynamic_cast<CTolvexBinaryFileBase*>(m_object.get());
    if (!m_presetFile) return Fail(E_FAIL, "the one-click preset could not be read.");
    if (!m_input || !m_input->IsOpen()) return Fail(E_FAIL, "the archive could not be read.");
    if (!m_protected) return Fail(E_FAIL, "the protected file could not be made.");
    return true;
  }

  // The preset's texts and signers taken over; the output made under its first free name ("(1)", "(2)"...
  // before the extension), written beside it until whole.
  bool ReadPreset() {
    m_inputSize = m_input->GetSize64();
    m_protected->m_info = m_presetFile->m_info;
    if (Signing()) {
      m_stamp.m_bFlag = 1;
      m_stamp.m_strDate = DateText(CDateTime::GetCurrentTime());
    }
    CString report;
    m_page->SetReportText(WriteOperationReport(report, m_protected));
    if (Signing() && (!m_presetFile->m_oneClickRecord.GetSignerCertificates(m_signers) || m_signers.GetCount() == 0))
      return Fail(E_FAIL, "the one-click preset names no signer.");
    m_protected->m_info.m_strText1 = RecordedName(m_data->m_strZipPath);
    // An empty archive has nothing to protect (and no chunk size).
    if (m_inputSize == 0) return Fail(E_FAIL, "the archive is empty.");
    if (!m_pending.Create(m_output)) return Fail(E_FAIL, "the file could not be created.");
    m_output = m_pending.GetPath();
    m_page->m_strOutputPath = m_output;
    return true;
  }

  // The content key and its envelope for the preset's recipients.
  bool PrepareEncryption() {
    if (!Encrypting()) return true;
    const BYTE cipher = m_protected->m_info.m_body.m_nested.m_bCipherIndex;
    const BYTE keyLength = m_protected->m_info.m_body.m_nested.m_bKeyLengthIndex;
    m_encryptor = CCapicomEncryptedData();
    m_encryptor.GetAlgorithm().PutName(cipher);
    m_encryptor.GetAlgorithm().PutKeyLength(keyLength);
    m_encryptor.SetCipher(cipher, keyLength);
    CRandomGenerator random(true);
    random.SetSize(std::max<DWORD>(24, m_encryptor.GetSecretLength()));
    m_key = random.Generate();
    if (m_key.GetLength() == 0) return Fail(E_FAIL, "no content key could be made.");

    // The key travels under the content's own cipher when that is triple DES or AES, else triple DES.
    CCapicomEnvelopedData envelope;
    const bool strong = cipher == 3 || cipher == 4;
    envelope.GetAlgorithm().PutName(strong ? cipher : 2);
    envelope.GetAlgorithm().PutKeyLength(strong ? keyLength : 2);
    m_presetFile->m_oneClickRecord.GetRecipientCertificates(m_recipients);
    if (m_recipients.GetCount() == 0) return Fail(E_FAIL, "the one-click preset names no recipient.");
    CCapicomRecipients list = envelope.GetRecipients();
    list.Clear();
    for (int i = 0; i < m_recipients.GetCount(); ++i) {
      const HRESULT hr = list.Add(m_recipients.GetAt(i));
      if (FAILED(hr)) return Fail(hr, Ansi(GetCapicomErrorMessage(hr)));
    }
    envelope.PutContentFromBuffer(m_key);
    if (!envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, m_envelopedKey, true) || m_envelopedKey.GetLength() == 0)
      return Fail(E_FAIL, "the content key could not be protected for the recipients.");
    return true;
  }

  // The output's stream, the content key set, and each signer's own digital ID: one without its key would
  // leave its entry unsigned, which no reader accepts.
  bool OpenOutput() {
    m_stream.reset(m_page->m_FileManager.CreateStream(m_pending.GetTemporaryPath()));
    if (!m_stream || !m_stream->IsOpen()) return Fail(E_FAIL, "the file could not be created.");
    if (Encrypting() && FAILED(m_encryptor.SetSecretFromBuffer(m_key, 0)))
      return Fail(E_FAIL, "the archive could not be encrypted.");
    m_signatures.resize(m_signers.GetCount());
    if (Signing() && !FindSignerKeys(CertificatesOf(m_signers), m_keys)) return Fail(E_FAIL, kNoPrivateKey);
    return true;
  }

  // The archive chunk by chunk (MemoryCache megabytes, at most 1 GiB): signed, encrypted, written as a block.
  bool ProtectBlocks() {
    const int memoryCache = m_page->m_Profile.MemoryCache;
    uint64_t chunk = memoryCache > 0 ? static_cast<uint64_t>(memoryCache) << 20 : kDefaultChunk;
    chunk = std::min({chunk, kLargestChunk, m_inputSize});
    const int perBlock = static_cast<int>(kProgressRange / (m_inputSize / chunk));
    CByteBuffer block;
    while (m_input->ReadChunk(static_cast<DWORD>(chunk), block) && block.GetLength() > 0) {
      if (Signing() && !SignChunk(block)) return false;
      if (Encrypting()) {
        CByteBuffer encrypted;
        m_encryptor.PutContentFromBuffer(block);
        if (!m_encryptor.EncryptToBuffer(CAPICOM_ENCODE_BINARY, encrypted) || encrypted.GetLength() == 0)
          return Fail(E_FAIL, "the archive could not be encrypted.");
        block = encrypted;
      }
      if (!m_stream->WriteUInt32Block(block)) return Fail(E_FAIL, "the file could not be written.");
      if (m_page->GetProgressPosition() < kProgressRange) m_page->OffsetProgress(perBlock);
    }
    return true;
  }

  // The object that describes the blocks: the operation, the recipients' envelope, the signers' entries.
  bool DescribeBlocks() {
    const BYTE options[8] = {static_cast<BYTE>(m_mode), 0, 0, 0, 0, 0, 0, 1};
    m_protected->SetOptions(options, 8);
    m_protected->SetCreationDate();
    m_protected->SetCreationTime();
    PayloadInfo& info = m_protected->m_info;
    info.m_signing.m_bPresent = Signing() ? 1 : 0;
    info.m_encryption.m_bPresent = Encrypting() ? 1 : 0;
    if (Encrypting()) {
      info.m_encryption.m_bSecondFlag = 1;
      info.m_encryption.m_bThirdFlag = 1;
      info.m_encryption.m_buffer = m_envelopedKey;
      info.m_encryption.m_list.RemoveAll();
      for (int i = 0; i < m_recipients.GetCount(); ++i) AddRow(info.m_encryption.m_list, m_recipients.GetAt(i));
    }
    if (!Signing()) return true;
    info.m_body.m_head = m_stamp;
    info.m_body.m_entries.RemoveAll();
    for (int i = 0; i < m_signers.GetCount(); ++i) {
      PayloadEntry entry;
      m_presetFile->m_info.m_body.GetEntry(static_cast<DWORD>(i), entry);
      entry.m_head = m_stamp;
      entry.m_buffers.RemoveAll();
      for (DWORD k = 0; k < m_signatures[i].GetCount(); ++k) entry.m_buffers.Add(m_signatures[i].GetAt(k));
      if (!info.m_body.AddEntry(entry)) return Fail(E_FAIL, "the signatures could not be recorded.");
    }
    info.m_signing.m_list.RemoveAll();
    for (int i = 0; i < m_signers.GetCount(); ++i) AddRow(info.m_signing.m_list, m_signers.GetAt(i));
    return true;
  }

  // The object written after the blocks, the output named, the result said and logged.
  void Save() {
    if (!m_stream->WriteFileObject(m_protected)) {
      const HRESULT code = m_protected->GetResultCode();
      Fail(code < 0 ? code : E_FAIL, "the file could not be written.");
      return;
    }
    if (!CommitStream(m_stream, m_pending)) {
      Fail(E_FAIL, "the file could not be written.");
      return;
    }
    m_output = m_pending.GetPath();
    m_page->m_strOutputPath = m_output;
    CString& message = m_page->m_strLastResult;
    if (Signing() && m_verifyError)
      message = "Operation completed with signer verification error. File (" + m_output + ") saved. " + m_verifyText;
    else
      message = m_texts.success + m_output + ") saved.";
    CAuditLog audit;
    audit.Load();
    audit.LogInformation(m_texts.auditSuccess, message);
  }

  // Every signer signs the chunk with its own digital ID (detached, binary). A signature that fails ends the run.
  bool SignChunk(const CByteBuffer& chunk) {
    CCapicomSignedData& signedData = m_page->m_SignedData;
    signedData.PutContentFromBuffer(chunk);
    for (size_t i = 0; i < m_keys.size(); ++i) {
      CCapicomSigner signer;
      signer.PutCertificate(m_keys[i]);
      CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
      m_stamp.m_time.Update();
      CCapicomAttribute signingTime;
      signingTime.PutName(0);
      signingTime.PutValueDate(CDateTime::GetCurrentTime());
      attributes.Add(signingTime);
      CCapicomAttribute documentName;
      documentName.PutName(1);
      documentName.PutValueString(m_output);
      attributes.Add(documentName);
      CByteBuffer signature;
      HRESULT hr = S_OK;
      CBstrString error;
      if (!signedData.SignToBuffer(signer, true, CAPICOM_ENCODE_BINARY, signature, hr, error) ||
          signature.GetLength() == 0)
        return Fail(hr, error.IsEmpty() ? CString(kNoPrivateKey) : Ansi(error));
      m_signatures[i].Add(signature);
      if (i != 1) m_protected->m_info.m_bEncryptedContent = 1;
    }
    return true;
  }

  static void AddRow(CStringTripleList& list, const CCapicomCertificate& certificate) {
    list.Add(Ansi(certificate.GetInfo(0)), Ansi(certificate.GetInfo(1)), DateText(certificate.GetValidToDate()));
  }

  void CleanUp() {
    m_stream.reset();
    m_input.reset();
    m_object.reset();
    m_preset.reset();
    // The plaintext zip archive never stays behind.
    const CString& zipPath = m_data->m_strZipPath;
    if (!zipPath.IsEmpty()) {
      SetFileAttributes(zipPath, FILE_ATTRIBUTE_NORMAL);
      DeleteFile(zipPath);
    }
    m_pending.Discard();
  }

  CArchiveRunBase* m_page;
  const CArchiveWizardData* m_data;
  const int m_mode;
  const ModeTexts& m_texts;
  CString m_output;
  HRESULT m_status = S_OK;
  bool m_failed = false;
  COutputFile m_pending;
  std::unique_ptr<CBaseKesmoraFile> m_preset;
  std::unique_ptr<CBaseKesmoraFile> m_object;
  std::unique_ptr<CFileStream> m_input;
  std::unique_ptr<CFileStream> m_stream;
  // What the steps hand on: the preset and protected file objects above as what they are, the archive's size.
  COneClickFile* m_presetFile = nullptr;
  CTolvexBinaryFileBase* m_protected = nullptr;
  uint64_t m_inputSize = 0;
  TimeStampRecord m_stamp;
  // Encrypting: the content cipher, its key and the key enveloped for the recipients.
  CCapicomEncryptedData m_encryptor{kx::engine::kEmpty};
  CByteBuffer m_key{0, true};
  CByteBuffer m_envelopedKey;
  CCertificateList m_recipients;
  // Signing: the preset's signers, each one's own digital ID, its signatures of the blocks, the verdict.
  CCertificateList m_signers;
  std::vector<CCapicomCertificate> m_keys;
  std::vector<CByteBufferList> m_signatures;
  bool m_verifyError = false;
  CString m_verifyText;
};

HRESULT RunOperation(CArchiveRunBase* page, const CArchiveWizardData* data, int mode) {
  if (!page || !data) return E_POINTER;
  return ArchiveRun(page, data, mode).Run();
}

}  // namespace

CArchiveRunBase::~CArchiveRunBase() {
  m_FileManager.DeleteFileObjects();
  m_FileManager.Reset();
}

bool CArchiveRunBase::LoadSettings() {
  return m_Profile.Load() && m_AuditLog.Load() && m_CertificateSettings.Load() && m_Config.LoadOfficeOptions() &&
         m_Config.LoadGeneralOptions() && m_Config.LoadOperationOptions();
}

void CArchiveRunBase::GetOutputFolder(int kind, CString& folder) const {
  if (kind != 1 || m_Profile.OutputOption != 1) return;
  folder = m_Profile.OutputFolder;
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != '/') folder += "/";
}

HRESULT MakeArchive(CArchiveRunBase* page, const CArchiveWizardData* data) { return RunOperation(page, data, kEncrypt); }

HRESULT SignArchive(CArchiveRunBase* page, const CArchiveWizardData* data) { return RunOperation(page, data, kSign); }

HRESULT SignAndEncryptArchive(CArchiveRunBase* page, const CArchiveWizardData* data) {
  return RunOperation(page, data, kSignAndEncrypt);
}
