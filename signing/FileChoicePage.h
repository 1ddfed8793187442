// What the opening pages of the signer, encryption and code-signing wizards have in common: the welcome page's
// captions and links, and the file page (one file or a list of files, the output folder or the system
// profile's, and whether the outputs are mailed at the end). Each wizard's file page derives from
// CFileChoicePageBase and gives its sheet's operation data and profile, its file dialogs and its way on.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/HyperlinkCtrl.h"
#include "controls/LabelCtrl.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/propsheet.h"

class CProtectWizardData;
class CSystemProfile;

namespace kx::signing {
// The captions and links of a welcome page: captions bold on the page's background, links to the maker's
// product page and support page.
void SetUpWelcomePage(CLabelCtrl& title, CLabelCtrl& text, CHyperlinkCtrl& first, CHyperlinkCtrl& second,
                      const char* productAddress = "https://kesmora.example/office-tolvex/");
}  // namespace kx::signing

// The output-folder part of a file page (check box 1035 "use the profile's folder", button 1009, caption
// 1037, edit 1032): reloads the profile and enables the controls by the check box and by whether the profile
// names a usable folder.
void UpdateOutputFolderControls(CWnd* page, CSystemProfile& profile, const BOOL& useProfileFolder);

class CFileChoicePageBase : public CPropertyPage {
  DECLARE_DYNAMIC(CFileChoicePageBase)
 public:
  CColorLabel m_lblInput;
  CColorLabel m_lblOutput;
  BOOL m_bUseProfileFolder = FALSE;
  BOOL m_bMailResults = FALSE;
  BOOL m_bMultipleFiles = FALSE;
  CString m_strOutputFolder;
  CString m_strFilePath;
  // Next has succeeded once: coming back keeps the page's controls as the user left them.
  BYTE m_bVisited = 0;
  // Set on each arrival from the operation: countersigning (mode 3) sets the page up again every time; it and
  // decrypting (mode 4) read protected files.
  BYTE m_bCountersignInput = 0;
  BYTE m_bProtectedInput = 0;
  CStringArray m_arrFiles;

  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  afx_msg void OnBrowseInput();
  afx_msg void OnBrowseOutput();
  afx_msg virtual void OnSeveralFiles();
  afx_msg void OnUseProfileFolder();

 protected:
  explicit CFileChoicePageBase(UINT idd);
  void DoDataExchange(CDataExchange* pDX) override;

  // The sheet's operation data and system profile; null when the page is not in its wizard.
  virtual CProtectWizardData* WizardData() = 0;
  virtual CSystemProfile* SystemProfile() = 0;

  // Arrival, before files handed over by a host are shown: by default the output-folder and several-files
  // controls on the first visit and on each countersigning one.
  virtual void PrepareControls(CProtectWizardData& data);
  // Arrival: true when the page sends the wizard elsewhere and shows nothing more.
  virtual bool PassesOn(CProtectWizardData&) { return false; }
  // The path field's text for several files handed over by a host.
  virtual CString SeveralFilesText();

  struct InputChoice {
    const char* extension;
    UINT filter;
    CString title;
    // The list dialog offers protected files only.
    bool protectedOnly;
  };
  // The single-file dialog and the list dialog of the input browse button.
  virtual InputChoice InputDialogs();
  // A single file was chosen.
  virtual void OnInputChosen() {}

  struct FolderChoice {
    CString title;
    CString start;
  };
  virtual FolderChoice OutputDialog();

  // Next: true when several files handed over by a host stand whatever the page shows.
  virtual bool KeepsHostFiles() { return false; }
  // Next, once the choice is stored: where the wizard goes.
  virtual LRESULT NextPage(CProtectWizardData&) { return CPropertyPage::OnWizardNext(); }

  void EnableControl(int id, BOOL on);
  void UpdateOutputFolderControls();
  // The browse button's text and the path field for single-file or list mode.
  void ShowListMode();
  // Copies the chosen files (unless withFiles is false), the mail box and the output folder to the operation
  // data; the page counts as visited.
  void StoreChoice(CProtectWizardData& data, bool withFiles = true);
  DECLARE_MESSAGE_MAP()
};
