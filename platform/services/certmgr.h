// The platform's certificate manager: the "cryptui" module's CryptUIStartCertMgr shows the "Certificates"
// dialog, a tab per logical store of the current user (platform/capicom/core/logicalstores.h) with the store's
// certificates, and Import, Export, Remove, View and Close.
#pragma once

#include "platform/win32/types.h"

// The parameter block of CryptUIStartCertMgr; a null block is a block of zeros.
struct CRYPTUI_CERT_MGR_STRUCT {
  DWORD dwSize;
  HWND hwndParent;
  DWORD dwFlags;
  const char16_t* pwszTitle;
  LPCSTR pszInitUsageOID;  // only certificates good for this purpose are listed
};

// Control ids of the dialog (for the UI driver).
enum : int {
  kCertMgrTabs = 0x0300,
  kCertMgrList = 0x0301,
  kCertMgrImport = 0x0302,
  kCertMgrExport = 0x0303,
  kCertMgrRemove = 0x0304,
  kCertMgrView = 0x0305,
  kCertMgrPurpose = 0x0306,
  kCertMgrPassword = 0x0310,
  kCertMgrConfirm = 0x0311,
};

KXAPI BOOL CryptUIStartCertMgr(CRYPTUI_CERT_MGR_STRUCT* parameters);
