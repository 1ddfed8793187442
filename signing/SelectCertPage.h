// The recipients page of the signer wizard (template 4209): the user collects recipient certificates through the
// selection sheet, views them, and hands them to the sheet's operation data. With exactly one input file the page
// offers the one-step encryption: Finish then encrypts that file for the recipients on a worker thread into a
// protected file and closes the wizard itself.
//
// Use from a sheet derived from CSignSheet: make the page a member and add it as page 3. The page reads from the
// sheet's m_WizardData the input files (their count decides the one-step offer, the worker encrypts entry 0), the
// output folder (a trailing separator is added; empty: the input's folder), m_nMode (2 withdraws the offer),
// m_nCipher and m_nKeyLength (the content cipher) and m_pEngineObjects (made when missing); it writes
// m_arrRecipientCerts (replaced each time the picker closes with OK), m_bRecipientPageOption (the one-step
// switch, on Next), m_strLastOutputFile, m_bOperationDone, m_bOperationSucceeded and m_bEngineError (the worker).
// Next goes to page 4 (the processing page), or to page 10 in a one-click preset sheet.
#pragma once

#include <cstdint>

#include "certificates/CertificateArray.h"
#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/propsheet.h"

class CProgressPopupWnd;
class CProtectWizardData;
class CSignSheet;
class CTolvexBinaryFileBase;
class CWinThread;

class CSelectCertPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSelectCertPage)
 public:
  enum { IDD = 4209 };
  CSelectCertPage();
  ~CSelectCertPage() override;

  CColorLabel m_label;
  CReportListCtrl m_list;
  int m_bBrastelSwitch = 0;
  // The row last selected or double-clicked; -1 none.
  int m_nSelected = 0;
  CProgressPopupWnd* m_pProgress = nullptr;
  CCertificateArray m_Recipients;

  void RefreshRecipientList();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnAddRecipients();
  afx_msg void OnViewCertificate();
  afx_msg void OnRecipientChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnRecipientDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnBrastelClicked();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  DECLARE_MESSAGE_MAP()

 private:
  CSignSheet* GetSignSheet();
  bool InOneClickSheet();
  // Every recipient can decrypt and passes the validity verdict; else the user is told why and stays.
  bool RecipientsAccepted();
  void SetButtons(DWORD flags);
  void SetSwitch(BOOL enable, int on);
  void WaitForWorker();

  CWinThread* m_pWorker = nullptr;
};

// The one-step worker; its argument is the sheet (a CSignSheet or a sheet derived from it). 1 for any other
// argument, else 0.
UINT BrastelThreadProc(LPVOID sheet);

// The fields of a protected file that holds content encrypted for the operation data's recipients: document
// name, flags, content cipher codes, one recipient entry per certificate, header options and date, the
// enveloped content key, and for the own cipher path (format version 2) the content's length.
void FillEncryptedFile(CTolvexBinaryFileBase& file, const CString& documentName, const CProtectWizardData& data,
                       const CByteBuffer& envelopedKey, uint64_t contentSize, LONG formatVersion);
