#include "encryption/EncryptionWizard.h"

#include "platform/mfc/afxwin.h"
#include "platform/win32/sync.h"
#include "platform/win32/wintime.h"

IMPLEMENT_DYNAMIC(CEncryptionWizard, CBaseSheet)
IMPLEMENT_SHEET_CLASS(CEncryptionWizard, SHEET_CLASS(CBaseSheet), "Certificate Importer", 1, 1127, 8260)

CEncryptionWizard::CEncryptionWizard(LPCSTR caption, CWnd* pParentWnd, UINT selectPage)
    : CBaseSheet(caption, pParentWnd, selectPage) {
  m_FinishPage.m_nFinishCode = 108;
}

CEncryptionWizard::~CEncryptionWizard() { m_Worker.End(); }

BOOL CEncryptionWizard::AddPages() {
  AddWizardTabPages({&m_MainPage, &m_FilePage, &m_InfoPage, &m_FinalPage, &m_FinishPage, &m_OneClickPage}, 128,
                    "Encryption Wizard");
  return TRUE;
}

void CEncryptionWizard::StartWorker(UINT (*proc)(LPVOID)) { m_Worker.Start(proc, static_cast<CObject*>(this)); }

bool CEncryptionWizard::WaitForWorker(DWORD milliseconds) { return m_Worker.Wait(milliseconds); }
