// The certificate manager's settings pages: the verification options with the revocation list download and the
// clearing of caches, and the LDAP options. Both edit the sheet's certificate manager settings and save them
// on Apply.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/TextureButton.h"
#include "platform/mfc/propsheet.h"

class CCertSheet;

namespace certmgr {

// What a download of a revocation list gave.
enum class CrlDownload { Registered, Exists, NotRetrieved, NotAdded };
// Fetches the revocation list at the URL (http or https, 2500 ms) and registers it in the current user's "MY"
// store, replacing the list of the same issuer.
CrlDownload DownloadCrl(const CString& url);

}  // namespace certmgr

// The settings pages' shared part: the tool buttons that import, open the address book, find people and start
// the certificate stores, and the page kept in its sheet's tabs.
class CCertSettingsPage : public CPropertyPage {
  DECLARE_DYNAMIC(CCertSettingsPage)
 public:
  explicit CCertSettingsPage(UINT templateId) : CPropertyPage(templateId) {}

 protected:
  CCertSheet* GetCertSheet() const;
  afx_msg void OnImportPfx();
  afx_msg void OnAddressBook();
  afx_msg void OnFindPeople();
  afx_msg void OnCertificateStores();
  afx_msg void OnWindowPosChanging(WINDOWPOS* pos);
  DECLARE_MESSAGE_MAP()
};

class CCertMgrOptionsPage : public CCertSettingsPage {
  DECLARE_DYNCREATE(CCertMgrOptionsPage)
 public:
  enum { IDD = 4236 };
  CCertMgrOptionsPage();

  int m_bOfflineCrl = 0;
  int m_bOnlineCrl = 0;
  int m_bSignature = 0;
  int m_bTime = 0;
  int m_bTrustedRoot = 0;
  CString m_strCrlUrl;
  int m_nOnlineOption = 0;
  int m_bActiveDirectory = 0;
  // The URL as it was when the page started or was last downloaded from.
  CString m_strLastDownloadedUrl;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // Downloads from the CRL URL; the URL counts as downloaded only when the list was registered.
  certmgr::CrlDownload Download();
  void OnCrlFile(int method);

  afx_msg void OnDownloadNow();
  afx_msg void OnClearCaches();
  afx_msg void OnViewCrlFile();
  afx_msg void OnInstallCrlFile();
  DECLARE_MESSAGE_MAP()

  CTextureButton m_Buttons[6];
  CColorLabel m_lblCrl;
};

class CCertLdapPage : public CCertSettingsPage {
  DECLARE_DYNCREATE(CCertLdapPage)
 public:
  enum { IDD = 4237 };
  CCertLdapPage();

  int m_bLdapSearch = 0;
  int m_bAuthorise = 0;
  CString m_strLdapUrl;

  BOOL OnInitDialog() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void EnableLdapControls();

  afx_msg void OnLdapSwitch();
  afx_msg void OnOpenUrl();
  DECLARE_MESSAGE_MAP()

  CTextureButton m_Buttons[4];
  CColorLabel m_lblUrl;
};
