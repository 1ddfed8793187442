// The signature manager: a wizard in which the user names a signature, takes a bitmap file as its picture or
// draws one (over a picture or anew), and saves it as a signature file, plain or encrypted for a certificate.
// The drawing page draws into the sheet's drawing document (m_pDocument), which the opener owns and sets.
#pragma once

#include <vector>

#include "app/BaseSheet.h"
#include "app/FinishPage.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "engine/CapicomCertificate.h"
#include "signing/SignaturePages.h"

class CSignManagerSheet;

// Page 0: the name of the signature.
class CSignManPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSignManPage)
 public:
  enum { IDD = 4219 };
  CSignManPage();

  CString m_strName;
  CLabelCtrl m_lblTitle;
  CLabelCtrl m_lblText;
  CHyperlinkCtrl m_linkFirst;
  CHyperlinkCtrl m_linkSecond;

  BOOL OnInitDialog() override;
  LRESULT OnWizardNext() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

// Page 1: where the picture comes from.
class CSignManOptionPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSignManOptionPage)
 public:
  enum { IDD = 4220 };
  CSignManOptionPage();

  CString m_strBitmapFile;
  CString m_strPictureFile;
  // 0 a bitmap file as it is, 1 a picture to draw over, 2 a new drawing (radio group from 1007).
  int m_nChoice = 2;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnBitmapChoice();
  afx_msg void OnPictureChoice();
  afx_msg void OnNewDrawingChoice();
  afx_msg void OnBrowseBitmap();
  afx_msg void OnBrowsePicture();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // A bitmap file chosen in the open dialog; empty when cancelled.
  CString BrowseBitmap();
  void EnableButtons(BOOL bitmap, BOOL picture);
  DECLARE_MESSAGE_MAP()
};

// Page 2: the drawing pad over the sheet's document.
class CSignDrawPage : public CDrawingPadPage {
  DECLARE_DYNCREATE(CSignDrawPage)
 public:
  enum { IDD = 4211 };
  CSignDrawPage();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

 protected:
  COfficeTolvexDoc* Document() override;
  CSignManagerSheet* Sheet();
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

// Page 3: the signature file, plain or encrypted for a chosen certificate, saved where the user says.
class CSignManEncryptPage : public CPropertyPage {
  DECLARE_DYNCREATE(CSignManEncryptPage)
 public:
  enum { IDD = 4221 };
  CSignManEncryptPage();

  CString m_strCertificate;
  // 0 encrypt for the chosen certificate (1014), 1 no encryption (1015).
  int m_nProtection = 1;
  BOOL m_bOption = TRUE;
  CString m_strCertText2;
  CString m_strCertText3;
  int m_nAlgorithm = 2;
  int m_nKeyLength = 2;
  CRect m_rcPlacement;
  CColorLabel m_lblCertificate;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;
  BOOL OnWizardFinish() override;

  afx_msg void OnEncrypt();
  afx_msg void OnPlain();
  afx_msg void OnChooseCertificate();
  afx_msg void OnOption() {}

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  CSignManagerSheet* Sheet();
  // Builds the signature file and saves it where the user says; the saved path in *savedPath (empty when the
  // user went on without saving). FALSE when the page has to stay.
  BOOL SaveSignatureFile(CString* savedPath);
  DECLARE_MESSAGE_MAP()
};

class CSignManagerSheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSignManagerSheet)
  DECLARE_SHEET_CLASS(CSignManagerSheet)
 public:
  enum { kWelcomePage = 0, kSourcePage = 1, kDrawingPage = 2, kFilePage = 3, kFinishPage = 4 };

  CSignManagerSheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  BOOL AddPages() override;

  CString m_strSignatureName;
  CString m_strBitmapPath;
  CString m_strPicturePath;
  int m_nPictureChoice = 2;
  int m_nReserved = 0;
  // The recipient chosen on the signature file page: one certificate at most.
  std::vector<CCapicomCertificate> m_certificates;

  CSignManPage m_WelcomePage;
  CSignManOptionPage m_OptionPage;
  CSignDrawPage m_DrawPage;
  CSignManEncryptPage m_EncryptPage;
  CFinishPage m_FinishPage;
};
