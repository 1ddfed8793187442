// The signing pages of the Signer Wizard between the signer page and the processing page: the signing time
// (page 6), the choice of a signature picture (page 7), the legal statement (page 8) and the drawing pad
// (page 9). What they collect goes into the signing record of the operation data, which the signing workers
// embed in every signed file. The drawing pad's controls and commands are shared with the signature
// manager's drawing page (CDrawingPadPage).
#pragma once

#include "controls/ColorLabel.h"
#include "controls/ColourPicker.h"
#include "controls/LabelCtrl.h"
#include "core/DateTime.h"
#include "platform/mfc/propsheet.h"

class COfficeTolvexDoc;
class CProtectWizardData;
class CScribbleView;
class CSignSheet;

// A page of the Signer Wizard with the wizard's operation data.
class CSignerWizardPage : public CPropertyPage {
 public:
  using CPropertyPage::CPropertyPage;

 protected:
  CSignSheet* Sheet();
  // Null outside a Signer Wizard.
  CProtectWizardData* Data();
  // The page runs in the one-click preset wizard or the mail profile wizard, which have no files of their own
  // and no time server settings.
  bool InPresetOrProfileWizard();
};

// Page 6: no signing time, the current time, a picked time, or (announced only) a time server.
class CPWTimeStampPage : public CSignerWizardPage {
  DECLARE_DYNCREATE(CPWTimeStampPage)
 public:
  enum { IDD = 4224 };
  CPWTimeStampPage();

  // 0 none, 1 current time, 2 picked time, 3 time server (radio group from 1027).
  int m_nChoice = 0;
  CString m_strTime;
  CDateTime m_dateTime;
  CColorLabel m_lblChoice;
  CColorLabel m_lblTime;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnNoTime();
  afx_msg void OnCurrentTime();
  afx_msg void OnPickTime();
  afx_msg void OnTimeServer();
  afx_msg void OnTimeServerSettings();

  // The time as the user's display text.
  static CString TimeText(const CDateTime& time);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  // Back to the current time, after a choice that cannot be had.
  void FallBackToCurrentTime();
  DECLARE_MESSAGE_MAP()
};

// Page 7: no picture, a stored signature file, or a picture drawn now (on page 9).
class CPWSelSigImagePage : public CSignerWizardPage {
  DECLARE_DYNCREATE(CPWSelSigImagePage)
 public:
  enum { IDD = 4226 };
  CPWSelSigImagePage();

  CString m_strPath;
  // 0 no picture, 1 a stored signature file, 2 draw one (radio group from 1036).
  int m_nChoice = 0;
  CColorLabel m_lblChoice;
  CColorLabel m_lblFile;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnBrowse();
  afx_msg void OnChoice();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void EnableFileControls(BOOL enable);
  // Takes the stored signature file into the operation data (an encrypted one opened with the user's key);
  // FALSE when the page has to stay.
  BOOL TakeStoredSignature(CProtectWizardData& data);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

// Page 8: the legal statement and three entries that go with the signature, confirmed explicitly.
class CPWLegalSignPage : public CSignerWizardPage {
  DECLARE_DYNCREATE(CPWLegalSignPage)
 public:
  enum { IDD = 4227 };
  CPWLegalSignPage();

  CString m_strStatement;
  CString m_strEntryA;
  CString m_strEntryB;
  CString m_strEntryC;
  CLabelCtrl m_lblWarning;
  CLabelCtrl m_lblHeading;
  CLabelCtrl m_lblText;
  CLabelCtrl m_lblEntryA;
  CLabelCtrl m_lblEntryB;
  CLabelCtrl m_lblEntryC;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnShowTestimony();
  afx_msg void OnShowFiles();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  DECLARE_MESSAGE_MAP()
};

// A page with the drawing pad: the view over placeholder 1067, the colour picker 1068, the clear button 1074,
// the pen widths button 1077 and the thick (1078) and thin (1079) pen choice.
class CDrawingPadPage : public CPropertyPage {
 public:
  CDrawingPadPage(UINT idd, UINT headerTitle, UINT headerSubtitle);
  ~CDrawingPadPage() override;

  CScribbleView* m_pView = nullptr;
  int m_nLastChoice = -1;
  CString m_strImagePath;
  // 0 thick pen (1078), 1 thin pen (1079).
  int m_nPenChoice = 1;
  CColourPicker m_colourPicker;
  BOOL m_bPickBackground = TRUE;
  BOOL m_bTrackSelection = FALSE;
  COLORREF m_crColour = 0;
  CColorLabel m_lblPad;
  CColorLabel m_lblPen;

  // The view goes before the page's window.
  BOOL DestroyWindow() override;

  afx_msg void OnClear();
  afx_msg void OnPenWidths();
  afx_msg void OnPenThickness();
  afx_msg LRESULT OnColourChanged(WPARAM, LPARAM);
  afx_msg LRESULT OnColourIgnored(WPARAM, LPARAM);

 protected:
  // The drawing the page works on; null when there is none.
  virtual COfficeTolvexDoc* Document() = 0;
  void DoDataExchange(CDataExchange* pDX) override;
  // A fresh drawing in the view over the placeholder, and the colour picker.
  void CreatePad();
  // On activation: a changed picture choice starts the drawing anew (choice 1 over the picture at path,
  // choice 2 empty); the view is redrawn.
  void ShowChoice(int choice, const CString& picturePath);
  // A new drawing with the black thin pen.
  void ResetDrawing();
  // The drawing as it is shown, into an 8-bit bitmap file at path. FALSE, after telling the user, when there is
  // nothing drawn or the file cannot be written.
  BOOL CapturePicture(const CString& path);
  void DeleteView();
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

// Page 9: the drawing pad of the Signer Wizard; Next packs the drawing into a signature file.
class CPWCreateSigImagePage : public CDrawingPadPage {
  DECLARE_DYNCREATE(CPWCreateSigImagePage)
 public:
  enum { IDD = 4228 };
  CPWCreateSigImagePage();
  ~CPWCreateSigImagePage() override;

  COfficeTolvexDoc* m_pDoc = nullptr;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;
  LRESULT OnWizardNext() override;

 protected:
  COfficeTolvexDoc* Document() override { return m_pDoc; }
  CSignSheet* Sheet();
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()
};

// Where the signing pages lead next: the legal page when the configuration asks for it (answered by the
// default Next of page 7, by going to page 8 from page 9), else the cipher page when signing and encrypting,
// the preset's finish page in the one-click wizard, or the processing page.
bool LegalPageWanted();
