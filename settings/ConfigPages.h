// Settings pages of the configuration manager: general behaviour, the office add-in, disk protection, the
// shredder and the document-management integration. Each page loads its record when its dialog is made, shows
// the values in its check boxes and combo boxes, marks itself modified when the user changes one, and writes
// the record back when applied.
#pragma once

#include "controls/ColorLabel.h"
#include "platform/mfc/propsheet.h"

// Base of the pages: the handler bound to their controls takes the controls' values and marks the page
// modified.
class CSettingsPageBase : public CPropertyPage {
 public:
  explicit CSettingsPageBase(UINT templateId) : CPropertyPage(templateId) {}

 protected:
  afx_msg void OnSettingChanged();
  // The configuration manager's policy lock: with the policy key there and its switch off, the page's
  // controls are locked.
  void ApplyConfigurationLock();
};

// The third group of the configuration record (template 129).
class CGeneralSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CGeneralSettingsPage)
 public:
  enum { IDD = 129 };
  CGeneralSettingsPage();

  CColorLabel m_lblTitle;
  CColorLabel m_lblPolicy;
  CColorLabel m_lblNote;
  int m_nSigningPreferencesDialog = 0;
  int m_bOnlineCertificateValidation = 0;
  int m_bShowPolicySelection = 0;
  int m_bShowProfileSelection = 0;
  int m_bShowEncryptionPreferences = 0;
  int m_bShowExpiredCertificates = 0;
  int m_bShredTemporaryFiles = 0;
  int m_bLaunchMultipleInstance = 0;
  int m_bRegisterAddins = 0;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnShredTemporaryFiles();
  DECLARE_MESSAGE_MAP()
};

// The first group of the configuration record: the office add-in (template 160).
class COfficeSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(COfficeSettingsPage)
 public:
  enum { IDD = 160 };
  COfficeSettingsPage();

  CColorLabel m_lblPolicy;
  CColorLabel m_lblNote;
  int m_nPhrase = 0;
  int m_nOccurences = 0;
  int m_nInsert = 0;
  int m_bAutoVerification = 0;
  int m_bInsertSignatureBlock = 0;
  int m_nSignatureBlockPosition = 0;
  int m_bAllowBrastel = 0;
  int m_bAutoLoad = 0;
  int m_bCounterSign = 0;
  int m_bVerifyAllSigs = 0;
  int m_bConfirmContinueRevision = 0;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnPositionBelow();
  afx_msg void OnPositionAbove();
  // In the smart-card variant no signature block is inserted.
  void ApplySmartCardRule();
  void ShowPosition();
  DECLARE_MESSAGE_MAP()
};

// Disk protection (template 30050).
class CDiskTolvexSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CDiskTolvexSettingsPage)
 public:
  enum { IDD = 30050 };
  CDiskTolvexSettingsPage();

  int m_bMountStartup = 0;
  int m_bQuickFormat = 0;
  int m_bShredCache = 0;
  int m_bAutoDetectSmartCard = 0;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// The shredder, and the platform's page-file switch for administrators (template 30048).
class CShredSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CShredSettingsPage)
 public:
  enum { IDD = 30048 };
  CShredSettingsPage();

  int m_bDesktopAddinEnabled = 0;
  int m_bSlowPollEnabled = 0;
  int m_bResultsForUnusedSpace = 0;
  int m_bResultsOnlyWhenFailed = 0;
  int m_bResultsForFiles = 0;
  int m_bClearSwap = 0;
  int m_bResultsDesktopAddin = 0;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// The document-management integration (template 30067); no policy lock.
class CHummingbirdSettingsPage : public CSettingsPageBase {
  DECLARE_DYNCREATE(CHummingbirdSettingsPage)
 public:
  enum { IDD = 30067 };
  CHummingbirdSettingsPage();

  CColorLabel m_lblNote;
  int m_bOfficeIntegration = 0;
  int m_bExplorerIntegration = 0;
  int m_bAutoDetect = 0;
  int m_bRegister = 0;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  void OnOK() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void Store();
  DECLARE_MESSAGE_MAP()
};
