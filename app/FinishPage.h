// The last page shared by the wizards: it tells the user that the operation is complete, with a text chosen by
// the owning wizard's finish code, and, when the wizard is hosted, tells the library's main window that the
// wizard finished (WM_USER+1000 with the finish code).
#pragma once

#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "platform/mfc/propsheet.h"

#define WM_WIZARD_FINISHED (WM_USER + 1000)

class CFinishPage : public CPropertyPage {
  DECLARE_DYNCREATE(CFinishPage)
 public:
  enum { IDD = 4250 };
  CFinishPage();

  // Set by the owning wizard after constructing the page.
  int m_nFinishCode = 0;
  CStatic m_stcMessage;
  CHyperlinkCtrl m_lnkWebAddress;
  CLabelCtrl m_lblHeading;

  // The completion text for a finish code; empty when the page keeps its template's text.
  static CString MessageFor(int finishCode);

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnWizardFinish() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};
