// The code-signing wizard's workers: sign (and time-stamp) copies of the input files in the output folder,
// or verify the input files in place.
#include <cstdint>
#include <memory>

#include "archives/CodeSignRun.h"
#include "archives/CodeSignWizard.h"
#include "core/OfficeTolvexConfig.h"
#include "core/Paths.h"
#include "core/SystemProfile.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomObjectSet.h"
#include "engine/CertPolicy.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "platform/com/combase.h"
#include "platform/win32/files.h"
#include "platform/win32/errors.h"
#include "platform/win32/sync.h"

namespace kx::codesign {

DWORD& PauseAfterRun() {
  static DWORD pause = 1200;
  return pause;
}

CString EngineText(HRESULT hr) {
  CString text;
  if (CCertPolicy().GetTrustErrorText(hr, text) && !text.IsEmpty()) return text;
  const auto code = static_cast<uint32_t>(hr);
  // Codes of the signed-code object that the engine's table has no words for: they would read as an
  // internal error.
  if (code == 0x80096010u || code == 0x80091007u)
    return "The file was changed after it was signed: its content no longer matches its signature.";
  if ((code & 0xFFFF0000u) == 0x80070000u) {
    const char* system = kx::SystemMessageText(code & 0xFFFFu);
    if (system && *system) return system;
  }
  if ((code & 0xFFFF0000u) == 0x80190000u) {
    text.Format("The time-stamping server answered with the HTTP status %u.", code & 0xFFFFu);
    return text;
  }
  const CBstrString engine = GetCapicomErrorMessage(hr);
  return CString(engine.GetAnsi() ? engine.GetAnsi() : "");
}

bool CopyToFreeName(const CString& input, const CString& folder, COutputFile& output) {
  CString base = folder;
  if (base.IsEmpty() || base[base.GetLength() - 1] != '/') base += '/';
  const CPathParts parts(input);
  if (!output.Create(base + parts.GetFileName() + parts.GetExtension())) return false;
  if (CopyFile(input, output.GetTemporaryPath(), FALSE)) return true;
  output.Discard();
  return false;
}

}  // namespace kx::codesign

namespace {

using kx::codesign::EngineText;

const char kReadFailedMessage[] = "Failed to read the file (check if Fle size is not 0)";
const char kReadFailedStatus[] = "Failed to read the data of the file. Check if the file is not empty. ";
const char kReadFailedLog[] = "Failed to read the data of the file. Check if the file is not empty.";
const char kSignFailed[] = "Failed to Sign the file. Please check if you have a Authenticode certificate";
const char kStampFailedStatus[] = "Failed to Timestamp the file. Please check if you have a access to TSP server ";
const char kStampFailedLog[] = "Failed to Timestamp the file. Please check if you have access to TSP server ";
const char kInvalidInputLog[] = "Failed to read the data of the file. It is invalid input file. ";
const char kModuleFailure[] = "Office Tolvex Security Module(s) failure. Contact Kesmora Technical Support";
// The engine's code for an operation it cannot carry out on this file; with the platform's code for a file
// that carries no signature, it marks the run's "not signed" flag.
constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x80880900);
constexpr HRESULT kNoSignature = static_cast<HRESULT>(0x800B0100);

// What one input file came to: one report, one entry in each list.
struct Outcome {
  bool failed = false;
  CString result;   // the result file, or "Error"
  CString status;   // "Success", or why not
  CString message;  // shown in a message box with the report
  bool hasMessage = false;

  void Fail(const CString& why, const char* shown = nullptr) {
    failed = true;
    result = "Error";
    status = why;
    hasMessage = shown != nullptr;
    if (shown) message = shown;
  }
};

class CodeSignRun {
 public:
  CodeSignRun(CCodeSignWizard* sheet, bool verify)
      : m_data(sheet->m_WizardData), m_page(&sheet->m_FinalPage), m_verify(verify) {}

  UINT Run() {
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    m_data.m_bOperationDone.store(0);
    m_profile.Load();
    m_config.LoadGeneralOptions();
    m_shred = !m_verify && m_config.ShredTemporaryFiles != 0;
    m_page->PrepareForRun();
    const int total = static_cast<int>(m_data.m_arrInputFiles.GetSize());
    int index = 0;
    try {
      for (; index < total; ++index) {
        Outcome outcome;
        ProcessFile(m_data.m_arrInputFiles[index], outcome);
        Finish(index, outcome, total);
      }
    } catch (const _com_error& e) {
      FailRest(index, total, m_page->ReportFatalError(e.Error()));
    } catch (...) {
      FailRest(index, total, kModuleFailure);
    }
    m_data.m_bOperationDone.store(1, std::memory_order_release);
    m_files.Reset();
    WorkerClosingPause(kx::codesign::PauseAfterRun());
    if (com) CoUninitialize();
    return 0;
  }

 private:
  void ProcessFile(const CString& input, Outcome& outcome) {
    if (!Readable(input)) {
      outcome.Fail(kReadFailedStatus, kReadFailedMessage);
      LogError("Sign Operation", kReadFailedLog);
      return;
    }
    if (m_verify) Verify(input, outcome);
    else Sign(input, outcome);
  }

  // The file opens and holds data, and the engine is there to work on it.
  bool Readable(const CString& input) {
    if (input.IsEmpty() || !m_data.m_pEngineObjects) return false;
    std::unique_ptr<CFileStream> stream(m_files.OpenStream(input));
    return stream && stream->IsOpen() && stream->GetSize64() > 0;
  }

  void Sign(const CString& input, Outcome& outcome) {
    CCapicomSignedCode& code = m_data.m_pEngineObjects->m_SignedCode;
    // The copy is signed under a temporary name and takes its own once signed and stamped.
    COutputFile pending;
    if (!kx::codesign::CopyToFreeName(input, m_data.m_strOutputFolder, pending)) {
      const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
      FailFile(outcome, kSignFailed, hr, kSignFailed);
      return;
    }
    CString output = pending.GetPath();
    // The copy is this run's own file: signed in place, so it must be writable whatever the input was.
    SetFileAttributes(pending.GetTemporaryPath(), FILE_ATTRIBUTE_NORMAL);
    try {
      CCapicomSigner signer;
      signer.PutCertificate(m_data.m_arrSignerCerts.at(0));
      CCapicomAttributes attributes = signer.GetAuthenticatedAttributes();
      CCapicomAttribute signingTime;
      signingTime.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_SIGNING_TIME);
      signingTime.PutValueDate(CDateTime::GetCurrentTime());
      attributes.Add(signingTime);
      CCapicomAttribute documentName;
      documentName.PutName(CAPICOM_AUTHENTICATED_ATTRIBUTE_DOCUMENT_NAME);
      documentName.PutValueString(output);
      attributes.Add(documentName);
      code.PutFileName(pending.GetTemporaryPath());
      const HRESULT hr = code.Sign(signer);
      if (FAILED(hr)) {
        FailFile(outcome, kSignFailed, hr, kSignFailed);
        return;
      }
    } catch (const _com_error& e) {
      FailFile(outcome, kSignFailed, e.Error(), kSignFailed);
      return;
    } catch (const std::out_of_range&) {
      FailFile(outcome, kSignFailed, CAPICOM_E_SIGNER_NOT_INITIALIZED, kSignFailed);
      return;
    }
    if (!m_data.m_strCodeSignSetting.IsEmpty()) {
      HRESULT hr = S_OK;
      try {
        hr = code.Timestamp(m_data.m_strCodeSignSetting);
      } catch (const _com_error& e) {
        hr = e.Error();
      }
      if (FAILED(hr)) {
        FailFile(outcome, kStampFailedStatus, hr, kStampFailedLog);
        return;
      }
    }
    if (!pending.Commit()) {
      FailFile(outcome, kSignFailed, HRESULT_FROM_WIN32(GetLastError()), kSignFailed);
      return;
    }
    output = pending.GetPath();
    m_data.m_strLastOutputFile = output;
    m_data.m_bOperationSucceeded = 1;
    outcome.result = output;
    outcome.status = "Success";
  }

  void Verify(const CString& input, Outcome& outcome) {
    CCapicomSignedCode& code = m_data.m_pEngineObjects->m_SignedCode;
    m_data.m_strLastOutputFile = input;
    HRESULT hr = S_OK;
    try {
      code.PutFileName(input);
      hr = code.Verify(true);
    } catch (const _com_error& e) {
      hr = e.Error();
    }
    if (SUCCEEDED(hr)) {
      m_data.m_bOperationSucceeded = 1;
      outcome.result = input;
      outcome.status = "Success";
      return;
    }
    if (hr == kNotSupported || hr == kNoSignature) m_data.m_bEngineError = 1;
    // The reason the file did not verify is its status, and is shown with the report.
    const CString text = EngineText(hr);
    outcome.Fail(text, text);
    LogError("CodeSign Operation", kInvalidInputLog);
    m_page->ReportFatalError(hr);
  }

  // A file the engine refused: no output stays, the reason follows the fixed text.
  void FailFile(Outcome& outcome, const char* status, HRESULT hr, const char* logText) {
    outcome.Fail(status);
    const CString reason = EngineText(hr);
    if (!reason.IsEmpty()) {
      if (outcome.status.Right(1) != " ") outcome.status += " ";
      outcome.status += "(" + reason + ")";
    }
    LogError("CodeSign Operation", logText);
    m_page->ReportFatalError(hr);
  }

  void Finish(int index, const Outcome& outcome, int total) {
    m_page->AddFileOutcome(outcome.result, outcome.status);
    m_page->ReportFileResult(index, !outcome.failed, outcome.hasMessage ? static_cast<const char*>(outcome.message) : nullptr,
                             total);
    if (m_shred && !outcome.failed) {
      const CString& input = m_data.m_arrInputFiles[index];
      SetFileAttributes(input, FILE_ATTRIBUTE_NORMAL);
      DeleteFile(input);
    }
  }

  // A run that cannot go on: the files not done yet fail with the reason.
  void FailRest(int from, int total, const CString& reason) {
    for (int index = from; index < total; ++index) {
      Outcome outcome;
      outcome.Fail(reason);
      Finish(index, outcome, total);
    }
  }

  void LogError(const char* operation, const char* text) {
    CAuditLog log;
    log.Load();
    log.LogError(operation, text);
  }

  CProtectWizardData& m_data;
  CCodeFinalPage* m_page;
  bool m_verify;
  bool m_shred = false;
  CFileManager m_files;
  CSystemProfile m_profile;
  COfficeTolvexConfig m_config{"Software\\Kesmora\\OfficeTolvex"};
};

CCodeSignWizard* WizardOf(LPVOID argument) {
  auto* object = static_cast<CObject*>(argument);
  if (!object || !object->IsKindOf(RUNTIME_CLASS(CCodeSignWizard))) return nullptr;
  return static_cast<CCodeSignWizard*>(object);
}

}  // namespace

UINT CodeSignThreadProc(LPVOID argument) {
  CCodeSignWizard* sheet = WizardOf(argument);
  if (!sheet) return 1;
  return CodeSignRun(sheet, false).Run();
}

UINT CodeVerifyThreadProc(LPVOID argument) {
  CCodeSignWizard* sheet = WizardOf(argument);
  if (!sheet) return 1;
  return CodeSignRun(sheet, true).Run();
}
