// The application settings page of the configuration manager: the seven operation options of the
// configuration record, among them the strict trust policy (DoD_JICT). Switching the policy swaps the trusted
// roots: on, the user's roots are kept in "TrustBackup.p7b" and the roots of "JITC.p7b" installed; off, the
// installed roots are kept in "JITC.p7b" and those of "TrustBackup.p7b" put back. The switch is saved only when
// the swap was made.
#pragma once

#include "controls/ColorLabel.h"
#include "platform/mfc/controls.h"
#include "platform/mfc/propsheet.h"

class CApplicationSettingsPage : public CPropertyPage {
  DECLARE_DYNCREATE(CApplicationSettingsPage)
 public:
  enum { IDD = 133 };
  CApplicationSettingsPage();

  CColorLabel m_lblOperation;  // 1005
  CColorLabel m_lblNote;       // 1059
  CComboBox m_cboOperation;    // 1010
  int m_nTargetOperation = 0;
  int m_bEnableDesktopAddin = 1;
  int m_bEnableShellAllMenu = 0;
  int m_bShowFinishPage = 1;
  int m_bVerifySignatureOnly = 1;
  int m_bStrictTrust = 0;
  int m_bVerifyBeforeSign = 0;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;
  BOOL OnKillActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // The configuration manager's smart-card variant.
  bool IsSmartCardVariant() const;
  // Swaps the trusted roots for the new switch value; false (reported) when they were left as they were.
  bool SwapTrustedRoots(bool strictOn);
  DECLARE_MESSAGE_MAP()
};
