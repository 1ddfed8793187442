// The file summary sheet of one protected file, and its mail form. Made by the registry or constructed
// directly with (caption, parent, start page); the constructor adds the pages. The sheet opens the file itself
// when its window is made, keeps the loaded object for its pages and builds the plain-text report.
#pragma once

#include <functional>
#include <vector>

#include "app/BaseSheet.h"
#include "core/ByteBuffer.h"
#include "engine/CapicomCertificate.h"
#include "signing/SummaryPages.h"

class CTolvexBinaryFile;
struct CSignedContent;
struct PayloadEntry;

// A signer of the loaded file whose signatures verify over every content block.
struct CSummarySigner {
  // Its signature entry in the file.
  DWORD m_nEntry = 0;
  CCapicomCertificate m_certificate{kx::engine::kEmpty};
  // Its signature of the first block.
  CByteBuffer m_firstSignature;
  // Why it cannot be taken for what it claims (the verdict on its digital ID, weak algorithms); empty: nothing.
  CString m_problem;
};

class CSummarySheet : public CBaseSheet {
  DECLARE_DYNAMIC(CSummarySheet)
  DECLARE_SHEET_CLASS(CSummarySheet)
 public:
  CSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CSummarySheet() override;

  // The three pages with their icons, captions and descriptions.
  BOOL AddPages() override;

  // Loads the file on first use; its recorded file name (empty when nothing could be loaded).
  CString LoadProtectedFile();
  // The plain-text report of the loaded file (lines end in CR LF); empty when no file is loaded.
  CString BuildReportText();
  CTolvexBinaryFile* GetFile() const { return m_pFile; }
  // Entry i of the loaded file's signature entries; false when there is none.
  bool GetEntry(DWORD i, PayloadEntry& entry) const;
  // The signers whose signatures verify over every content block, in entry order, each judged as decrypting
  // and verifying judges it: at signature only (level 0) all of them with what is wrong with each, with their
  // certificates (level 1) only those with nothing wrong. The content is read once per sheet.
  const std::vector<CSummarySigner>& GetVerifiedSigners(LONG level);
  // The level the configuration asks for: signature and certificate unless VerifySignatureOnly is set.
  static LONG GetConfiguredLevel();
  // What the certificate details dialog checks: the verified signers' first signatures over the opened first
  // block.
  void GetSignedContent(CSignedContent& content);
  // The certificate details dialog of the signers, modal over the sheet.
  void ShowCertificateDetails();

  // The summary describes a mail item (the main page and the report use the mail wording).
  BYTE m_bMailMode = 0;
  // Opened from a wizard's result list: the sheet zooms out of and back into m_rcOrigin by outline.
  BYTE m_bOwnAnimation = 0;
  // Screen rectangle the sheet opens out of and closes into; empty: no animation.
  CRect m_rcOrigin;
  CSummaryMainPage m_pageMain;
  CSummarySignPage m_pageSign;
  CSummaryGenPage m_pageGen;
  // The loaded file's signature block flag, taken at activation.
  int m_bSigned = 0;
  // The first content block of the file, as stored.
  CByteBuffer m_body;
  // The file to summarise; the sheet opens it itself.
  CString m_strFilePath;
  // A result or error text shown in red on the main page; empty: none.
  CString m_strStatusText;
  // The loaded file (owned); null until loaded or when loading failed.
  CTolvexBinaryFile* m_pFile = nullptr;
  // The file's content key, when the current user could open it.
  CByteBuffer m_sessionKey{0, true};

 protected:
  // Adds the pages of a table row by row (icon, caption and description ids) after the image lists.
  struct PageEntry {
    CPropertyPage* page;
    UINT icon, caption, description;
  };
  void AddSummaryPages(const PageEntry (&entries)[3]);
  // Reads the file's content blocks in order and gives each one opened (decrypted with the content key when
  // the file is signed and encrypted, its fill cut off); false when the blocks cannot all be read and opened
  // up to the file object, or when visit says stop. blocks: how many were given.
  bool ReadContent(const std::function<bool(DWORD, const CByteBuffer&)>& visit, DWORD& blocks);

  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  afx_msg LRESULT OnPageShown(WPARAM, LPARAM);
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  DECLARE_MESSAGE_MAP()

 private:
  void CheckSigners();

  bool m_bPagesRemoved = false;
  bool m_bChecked = false;
  // Every signer whose signatures verify, and those of them with nothing wrong.
  std::vector<CSummarySigner> m_verified, m_sound;
  // The first block opened, as the verified signatures sign it.
  CByteBuffer m_firstContent{0, true};
};

class CMailSummarySheet : public CSummarySheet {
  DECLARE_DYNAMIC(CMailSummarySheet)
  DECLARE_SHEET_CLASS(CMailSummarySheet)
 public:
  CMailSummarySheet(LPCSTR caption, CWnd* pParentWnd, UINT selectPage);
  ~CMailSummarySheet() override;

  // Its own first page in place of the base's, with the mail captions.
  BOOL AddPages() override;

  CMailSummaryMainPage m_pageMailMain;
};
