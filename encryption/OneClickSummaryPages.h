// The pages of the one-click preset viewer: the summary page (description, report, status and the delete
// button), and the twins of the file summary's list pages, which list the preset's signers with their legal
// entries, or with their drawn signature, time stamp and hash line.
#pragma once

#include "controls/ColorLabel.h"
#include "controls/TextureButton.h"
#include "platform/mfc/propsheet.h"
#include "signing/SummaryPages.h"

class COneClickViewSheet;
struct PayloadEntry;

// Page 0.
class COneClickSummaryPage : public CPropertyPage {
  DECLARE_DYNCREATE(COneClickSummaryPage)
 public:
  enum { IDD = 4243 };
  COneClickSummaryPage();

  CTextureButton m_btnDelete;  // 1051
  CColorLabel m_lblName;       // 215
  CColorLabel m_lblReport;     // 216
  CColorLabel m_lblStatus;     // 1020
  CColorLabel m_lblCaption;    // 214
  CString m_strDescription;    // edit 209
  CString m_strReport;         // edit 213

  BOOL OnInitDialog() override;
  afx_msg void OnDeletePreset();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  COneClickViewSheet* Sheet();
  DECLARE_MESSAGE_MAP()
};

// What the two list pages read of the preset: a preset carries no content, so no signature of it can be
// verified; its rows are the signer certificates its record keeps, each with the preset's signature entry.
void FillPresetSigners(CSummaryListPage& page, COneClickViewSheet* sheet);
bool PresetEntryOfRow(CSummaryListPage& page, COneClickViewSheet* sheet, PayloadEntry& entry);

class COneClickGenSumPage : public CSummaryGenPage {
  DECLARE_DYNCREATE(COneClickGenSumPage)
 public:
  enum { IDD = 4241 };
  COneClickGenSumPage();
  BOOL OnInitDialog() override;
  void ShowSignerDetails() override;

 protected:
  COneClickViewSheet* Sheet();
};

class COneClickSignSumPage : public CSummarySignPage {
  DECLARE_DYNCREATE(COneClickSignSumPage)
 public:
  enum { IDD = 4242 };
  COneClickSignSumPage();
  BOOL OnInitDialog() override;
  void ShowSignerDetails() override;

 protected:
  COneClickViewSheet* Sheet();
};
