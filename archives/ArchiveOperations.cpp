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

  // The run ends with this reason; a later failure does not replace the first.
  void Fail(HRESULT status, const CString& reason) {
    if (m_failed) return;
    m_failed = true;
    m_status = status < 0 ? status : E_FAIL;
    m_page->m_strLastResult = m_texts.failure + m_output + ") " + reason;
    CAuditLog audit;
    audit.Load();
    audit.LogError(m_texts.auditFailure, m_page->m_strLastResult);
  }

  void Protect() {
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
    auto* preset = dynamic_cast<COneClickFile*>(m_preset.get());
    auto* output = dynamic_cast<CTolvexBinaryFileBase*>(m_object.get());
    if (!preset) return Fail(E_FAIL, "the one-click preset could not be read.");
    if (!m_input || !m_input->IsOpen()) return Fail(E_FAIL, "the archive could not be read.");
    if (!output) return Fail(E_FAIL, "the protected file could not be made.");

    const uint64_t inputSize = m_input->GetSize64();
    output->m_info = preset->m_info;
    TimeStampRecord stamp;
    if (Signing()) {
      stamp.m_bFlag = 1;
      stamp.m_strDate = DateText(CDateTime::GetCurrentTime());
    }
    CString report;
    m_page->SetReportText(WriteOperationReport(report, output));
    CCertificateList signers;
    if (Signing() && (!preset->m_oneClickRecord.GetSignerCertificates(signers) || signers.GetCount() == 0))
      return Fail(E_FAIL, "the one-click preset names no signer.");
    output->m_info.m_strText1 = RecordedName(zipPath);
    // An empty archive has nothing to protect (and no chunk size).
    if (inputSize == 0) return Fail(E_FAIL, "the archive is empty.");

    // The first free name: "(1)", "(2)"... before the extension; written beside it until whole.
    if (!m_pending.Create(m_output)) return Fail(E_FAIL, "the file could not be created.");
    m_output = m_pending.GetPath();
    m_page->m_strOutputPath = m_output;

    const int memoryCache = m_page->m_Profile.MemoryCache;
    uint64_t chunk = memoryCache > 0 ? static_cast<uint64_t>(memoryCache) << 20 : kDefaultChunk;
    chunk = std::min({chunk, kLargestChunk, inputSize});
    const uint64_t blocks = inputSize / chunk;
    const int perBlock = static_cast<int>(kProgressRange / blocks);

    // Content key and its envelope for the recipients.
    CCapicomEncryptedData encryptor(kx::engine::kEmpty);
    CByteBuffer key(0, true), envelopedKey;
    CCertificateList recipients;
    if (Encrypting()) {
      const BYTE cipher = output->m_info.m_body.m_nested.m_bCipherIndex;
      const BYTE keyLength = output->m_info.m_body.m_nested.m_bKeyLengthIndex;
      encryptor = CCapicomEncryptedData();
      encryptor.GetAlgorithm().PutName(cipher);
      encryptor.GetAlgorithm().PutKeyLength(keyLength);
      encryptor.SetCipher(cipher, keyLength);
      CRandomGenerator random(true);
      random.SetSize(std::max<DWORD>(24, encryptor.GetSecretLength()));
      key = random.Generate();
      if (key.GetLength() == 0) return Fail(E_FAIL, "no content key could be made.");

      // The key travels under the content's own cipher when that is triple DES or AES, else triple DES.
      CCapicomEnvelopedData envelope;
      const bool strong = cipher == 3 || cipher == 4;
      envelope.GetAlgorithm().PutName(strong ? cipher : 2);
      envelope.GetAlgorithm().PutKeyLength(strong ? keyLength : 2);
      preset->m_oneClickRecord.GetRecipientCertificates(recipients);
      if (recipients.GetCount() == 0) return Fail(E_FAIL, "the one-click preset names no recipient.");
      CCapicomRecipients list = envelope.GetRecipients();
      list.Clear();
      for (int i = 0; i < recipients.GetCount(); ++i) {
        const HRESULT hr = list.Add(recipients.GetAt(i));
        if (FAILED(hr)) return Fail(hr, Ansi(GetCapicomErrorMessage(hr)));
      }
      envelope.PutContentFromBuffer(key);
      if (!envelope.EncryptToBuffer(CAPICOM_ENCODE_BINARY, envelopedKey, true) || envelopedKey.GetLength() == 0)
        return Fail(E_FAIL, "the content key could not be protected for the recipients.");
    }

    // The signers may be checked first; a failing one is named in the result but does not stop the run.
    CString verifyText;
    const bool verifyError =
        Signing() && m_page->m_Config.VerifyBeforeSign && !SignersPassVerdict(CertificatesOf(signers), verifyText);

    m_stream.reset(files.CreateStream(m_pending.GetTemporaryPath()));
    if (!m_stream || !m_stream->IsOpen()) return Fail(E_FAIL, "the file could not be created.");
    if (Encrypting() && FAILED(encryptor.SetSecretFromBuffer(key, 0)))
      return Fail(E_FAIL, "the archive could not be encrypted.");

    // Each signer signs with its own digital ID; one without its key would leave its entry unsigned, which no
    // reader accepts.
    std::vector<CCapicomCertificate> keys;
    std::vector<CByteBufferList> signatures(signers.GetCount());
    if (Signing() && !FindSignerKeys(CertificatesOf(signers), keys)) return Fail(E_FAIL, kNoPrivateKey);

    CByteBuffer block;
    while (m_input->ReadChunk(static_cast<DWORD>(chunk), block) && block.GetLength() > 0) {
      if (Signing() && !SignChunk(block, keys, signatures, stamp, output)) return;
      if (Encrypting()) {
        CByteBuffer encrypted;
        encryptor.PutContentFromBuffer(block);
        if (!encryptor.EncryptToBuffer(CAPICOM_ENCODE_BINARY, encrypted) || encrypted.GetLength() == 0)
          return Fail(E_FAIL, "the archive could not be encrypted.");
        block = encrypted;
      }
      if (!m_stream->WriteUInt32Block(block)) return Fail(E_FAIL, "the file could not be written.");
      if (m_page->GetProgressPosition() < kProgressRange) m_page->OffsetProgress(perBlock);
    }

    // The object that describes the blocks.
    const BYTE options[8] = {static_cast<BYTE>(m_mode), 0, 0, 0, 0, 0, 0, 1};
    output->SetOptions(options, 8);
    output->SetCreationDate();
    output->SetCreationTime();
    PayloadInfo& info = output->m_info;
    info.m_signing.m_bPresent = Signing() ? 1 : 0;
    info.m_encryption.m_bPresent = Encrypting() ? 1 : 0;
    if (Encrypting()) {
      info.m_encryption.m_bSecondFlag = 1;
      info.m_encryption.m_bThirdFlag = 1;
      info.m_encryption.m_buffer = envelopedKey;
      info.m_encryption.m_list.RemoveAll();
      for (int i = 0; i < recipients.GetCount(); ++i) AddRow(info.m_encryption.m_list, recipients.GetAt(i));
    }
    if (Signing()) {
      info.m_body.m_head = stamp;
      info.m_body.m_entries.RemoveAll();
      for (int i = 0; i < signers.GetCount(); ++i) {
        PayloadEntry entry;
        preset->m_info.m_body.GetEntry(static_cast<DWORD>(i), entry);
        entry.m_head = stamp;
        entry.m_buffers.RemoveAll();
        for (DWORD k = 0; k < signatures[i].GetCount(); ++k) entry.m_buffers.Add(signatures[i].GetAt(k));
        if (!info.m_body.AddEntry(entry)) return Fail(E_FAIL, "the signatures could not be recorded.");
      }
      info.m_signing.m_list.RemoveAll();
      for (int i = 0; i < signers.GetCount(); ++i) AddRow(info.m_signing.m_list, signers.GetAt(i));
    }
    if (!m_stream->WriteFileObject(output)) {
      const HRESULT code = output->GetResultCode();
      return Fail(code < 0 ? code : E_FAIL, "the file could not be written.");
    }
    if (!CommitStream(m_stream, m_pending)) return Fail(E_FAIL, "the file could not be written.");
    m_output = m_pending.GetPath();
    m_page->m_strOutputPath = m_output;

    CString& message = m_page->m_strLastResult;
    if (Signing() && verifyError)
      message = "Operation completed with signer verification error. File (" + m_output + ") saved. " + verifyText;
    else
      message = m_texts.success + m_output + ") saved.";
    CAuditLog audit;
    audit.Load();
    audit.LogInformation(m_texts.auditSuccess, message);
  }

  // Every signer signs the chunk with its own digital ID (detached, binary). A signature that fails ends the run.
  bool SignChunk(const CByteBuffer& chunk, const std::vector<CCapicomCertificate>& keys,
                 std::vector<CByteBufferList>& signatures, TimeStampRecord& stamp, CTolvexBinaryFileBase* output) {
    CCapicomSignedData& signedData = m_page->m_SignedData;
    signedData.PutContentFromBuffer(chunk);
    for (size_t i = 0; i < keys.size(); ++i) {
      CCapicomSigner signer;
      signer.PutCertificate(keys[i]);
      CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
      stamp.m_time.Update();
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
          signature.GetLength() == 0) {
        Fail(hr, error.IsEmpty() ? CString(kNoPrivateKey) : Ansi(error));
        return false;
      }
      signatures[i].Add(signature);
      if (i != 1) output->m_info.m_bEncryptedContent = 1;
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
