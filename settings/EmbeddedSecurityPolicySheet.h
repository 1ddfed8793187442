// The machine-wide security policy sheet: an administrator switches which settings sheets and features
// ordinary users may open. The eight switches are read when the sheet is made and written on Apply and OK. A
// user who is not an administrator is told so and the sheet closes itself; its pages stay locked meanwhile.
#pragma once

#include "settings/SettingsSheet.h"
#include "core/SecurityPolicy.h"
#include "platform/mfc/propsheet.h"

// A page of check buttons, one per policy switch (checked = allowed).
class CPolicyPageBase : public CPropertyPage {
 public:
  CPolicyPageBase(UINT templateId, const int* buttons, BYTE* const* switches, int count);

  BOOL OnInitDialog() override;

 protected:
  afx_msg void OnSwitchClicked(UINT id);
  // Reads the buttons into the switches.
  virtual void ReadSwitches();
  DECLARE_MESSAGE_MAP()

  const int* m_pButtons;
  BYTE* const* m_pSwitches;
  int m_nCount;
};

// The office switches (template 30052): configuration manager, certificate creation wizard, system profile,
// one-click settings.
class COfficeTolvexPolicyPage : public CPolicyPageBase {
  DECLARE_DYNCREATE(COfficeTolvexPolicyPage)
 public:
  enum { IDD = 30052 };
  COfficeTolvexPolicyPage();

  BYTE m_bConfigurationManager = 1;
  BYTE m_bCertificateCreationWizard = 1;
  BYTE m_bSystemProfile = 1;
  BYTE m_bOneClickSettings = 1;

 private:
  BYTE* m_switches[4];
};

// Disk protection (template 1144): the disk and shredder switches, and the smart-card switch in a check box of
// its own.
class CDiskTolvexPolicyPage : public CPolicyPageBase {
  DECLARE_DYNCREATE(CDiskTolvexPolicyPage)
 public:
  enum { IDD = 1144 };
  CDiskTolvexPolicyPage();

  BYTE m_bDiskTolvexProfile = 1;
  BYTE m_bShredderProfile = 1;
  int m_nSmartcardProfile = 1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void ReadSwitches() override;

 private:
  BYTE* m_switches[2];
};

// Mail protection (template 1143): the mail profile switch.
class CMailTolvexPolicyPage : public CPolicyPageBase {
  DECLARE_DYNCREATE(CMailTolvexPolicyPage)
 public:
  enum { IDD = 1143 };
  CMailTolvexPolicyPage();

  BYTE m_bMailTolvexProfile = 1;

 private:
  BYTE* m_switches[1];
};

class CEmbeddedSecurityPolicySheet : public CSettingsSheet {
  DECLARE_DYNAMIC(CEmbeddedSecurityPolicySheet)
  DECLARE_SHEET_CLASS(CEmbeddedSecurityPolicySheet)
 public:
  CEmbeddedSecurityPolicySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  // The pages' switches into the record, then the record into the registry; false when it cannot be written.
  bool SavePolicy();
  // The record's switches into the pages, or back.
  void ExchangeSwitches(bool toPages);

  COfficeTolvexPolicyPage m_OfficePage;
  CDiskTolvexPolicyPage m_DiskPage;
  CMailTolvexPolicyPage m_MailPage;
  CSecurityPolicy m_Policy;
};
