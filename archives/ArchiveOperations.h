// The three archive protect operations the run page's worker calls by the wizard's mode: the zip archive
// built by the zip page is read in chunks (MemoryCache megabytes, 1 MiB by default), encrypted for the
// one-click preset's recipients, signed by its signers, or both, and written as a protected file (the chunks
// as length-prefixed blocks, then the "KXTV" object that describes them). The temporary zip archive is
// deleted whatever happens; a run that fails leaves no output, names the reason in the last result message
// and writes an audit error entry.
#pragma once

#include "archives/ArchiveWizardData.h"
#include "core/OfficeTolvexConfig.h"
#include "core/SystemProfile.h"
#include "engine/CapicomSignedData.h"
#include "engine/CertificateManagerSettings.h"
#include "formats/AuditLog.h"
#include "formats/FileManager.h"

// What the operations use of the run page: its settings and engine object, its progress bar and report box,
// and the two results it shows afterwards. The run page derives from it; the operations call it from the
// worker thread, so the page's overrides reach its controls by messages.
class CArchiveRunBase {
 public:
  CArchiveRunBase() = default;
  virtual ~CArchiveRunBase();

  // Loads the system profile, the audit settings, the certificate manager's settings and the three option
  // groups of the configuration, in this order; false at the first that fails.
  bool LoadSettings();
  // Kind 1 and OutputOption 1: the profile's OutputFolder, with a trailing "/" added when missing; otherwise
  // folder is left as it is.
  void GetOutputFolder(int kind, CString& folder) const;

  // Progress out of 50000: one step, or an offset; both answer the previous position.
  virtual int StepProgress() = 0;
  virtual int OffsetProgress(int delta) = 0;
  virtual int GetProgressPosition() = 0;
  // The report box (control 1145).
  virtual void SetReportText(const CString& text) = 0;

  CFileManager m_FileManager;
  CSystemProfile m_Profile;
  CAuditLog m_AuditLog;
  CCertificateManagerSettings m_CertificateSettings;
  COfficeTolvexConfig m_Config;
  CString m_strOutputPath;   // the protected file the last operation wrote (or meant to write)
  CString m_strLastResult;   // the last operation's result text
  CCapicomSignedData m_SignedData;  // signs every chunk of the signing operations
};

// (run page, wizard data) -> 0 on success, else the failure's HRESULT (or the protected-file object's code).
HRESULT MakeArchive(CArchiveRunBase* page, const CArchiveWizardData* data);
HRESULT SignArchive(CArchiveRunBase* page, const CArchiveWizardData* data);
HRESULT SignAndEncryptArchive(CArchiveRunBase* page, const CArchiveWizardData* data);
