// The archive wizard's shared choices: the pages write them on the user-interface thread, the archive
// operations read them on the run page's worker.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/win32/types.h"

class CArchiveWizardData {
 public:
  enum Mode { kEncrypt = 0, kSign = 1, kSignAndEncrypt = 2, kOpen = 4 };

  CString m_strPresetPath;       // the chosen one-click preset; empty when an archive is opened
  int m_nMode = kEncrypt;        // the selection page's operation, or kOpen
  CString m_strChosenPath;       // the selection page's second path as typed or chosen
  int m_nTask = 0;               // 0 create a new archive, 1 open an existing one
  BYTE m_bConfirmed = 0;         // the choices were confirmed at least once
  int m_nReloadPending = 0;      // the pages must reset themselves from these choices
  CString m_strDestinationPath;  // creating: the output file; opening: the archive to open
  CString m_strZipPath;          // the destination followed directly by "__KX__.zip": the zip the run protects
  BYTE m_bCompleted = 0;         // a run completed
};
