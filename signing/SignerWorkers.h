// The worker threads of the Signer Wizard, one per operation. Each takes the wizard sheet (a CSignSheet or a
// sheet derived from it) as its only argument, works through the operation data's file list, reports every
// file to the processing page and sets the operation data's done flag last. They return 1 at once for any
// other argument.
#pragma once

#include "platform/win32/types.h"

UINT EncryptThreadProc(LPVOID sheet);
UINT SignThreadProc(LPVOID sheet);
UINT SignAndEncryptThreadProc(LPVOID sheet);
UINT CountersignThreadProc(LPVOID sheet);
UINT DecryptVerifyThreadProc(LPVOID sheet);

namespace kx::signing {

// Waits of the runs: the pause of a worker after its done flag (1200 ms; 200 ms after decrypting), and how
// long the wizard stays hidden while a host's single decrypted file is open (61 s). Tests shorten them.
struct WorkerPauses {
  DWORD afterRun = 1200;
  DWORD afterDecrypt = 200;
  DWORD autoFinish = 61000;
};
WorkerPauses& Pauses();

}  // namespace kx::signing
