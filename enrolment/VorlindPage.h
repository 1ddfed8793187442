// The enrolment service page of the system profile sheet (template 4253): four large buttons, three opening the
// settings dialogs of the enrolment service (message exchange, service description, transport) and one the
// platform's Internet options.
//
// How a sheet uses it: the page is a member of a CBaseSheet (the dialogs edit the sheet's m_SystemProfile);
// before the sheet runs, the sheet sets m_pEnrolmentProxy to the enrolment proxy it keeps for its pages (left
// null, the dialogs test with a proxy of their own) and adds the page. A dialog's OK stores its values into the
// sheet's profile and saves it; the page's Apply saves the sheet's profile as well. The machine's security
// policy switch SystemProfile, when off, locks the page's controls.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/TextureButton.h"
#include "platform/mfc/propsheet.h"

class CBaseSheet;
class CVorlindEnrolmentProxy;
class CVorlindSettingsDlg;

class CVorlindPage : public CPropertyPage {
  DECLARE_DYNCREATE(CVorlindPage)
 public:
  enum { IDD = 4253 };
  static constexpr int IDC_TITLE = 1187, IDC_INTERNET_OPTIONS = 1163, IDC_TRANSPORT = 1155, IDC_SERVICE = 1156,
                       IDC_EXCHANGE = 1157, IDC_LABEL_1 = 1160, IDC_LABEL_2 = 1162, IDC_LABEL_3 = 1161,
                       IDC_CHECK_1 = 1159, IDC_CHECK_2 = 1158;

  CVorlindPage();

  // The sheet's enrolment proxy (not owned); null: none.
  CVorlindEnrolmentProxy* m_pEnrolmentProxy = nullptr;

  CColorLabel m_lblTitle;
  CTextureButton m_btnInternetOptions;
  CTextureButton m_btnTransport;
  CTextureButton m_btnService;
  CTextureButton m_btnExchange;
  CColorLabel m_lblFirst;
  CColorLabel m_lblSecond;
  CColorLabel m_lblThird;
  // Only mark the page modified; nothing stores them.
  int m_bCheck1159 = 1;
  int m_bCheck1158 = 1;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnApply() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CBaseSheet* Sheet();
  void RunSettingsDialog(CVorlindSettingsDlg& dialog, CWnd& button);

  afx_msg void OnExchange();
  afx_msg void OnService();
  afx_msg void OnTransport();
  afx_msg void OnInternetOptions();
  afx_msg void OnCheckChanged();

  DECLARE_MESSAGE_MAP()
};
