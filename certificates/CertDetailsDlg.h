// The certificate details dialog: who signed a protected file and whether their certificates can be trusted.
// Every signature record is verified against the file's content (decrypted first when the file is encrypted
// and its content key is known); the list shows each signer's certificate with its validity, the tree the
// chain of the chosen one (signer down to the root), and the report edit the verification text of the chosen
// chain certificate with its basic constraints.
//
// The same dialog, given one certificate instead of a file, is the engine's certificate dialog
// (Certificate.Display).
#pragma once

#include <vector>

#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "engine/CapicomChain.h"
#include "engine/CapicomSigner.h"
#include "platform/mfc/afxcmn.h"
#include "platform/mfc/dialog.h"

// A reference to one item of one tree control, held by value.
class CTreeItemRef {
 public:
  CTreeItemRef() = default;
  CTreeItemRef(HTREEITEM item, CTreeCtrl* tree) : m_hItem(item), m_pTree(tree) {}
  CTreeItemRef(const CTreeItemRef&) = default;
  CTreeItemRef& operator=(const CTreeItemRef& other) {
    if (this != &other) {
      m_hItem = other.m_hItem;
      m_pTree = other.m_pTree;
    }
    return *this;
  }

  // Under this item (a null item: at the root); image -1 leaves the item without one.
  CTreeItemRef InsertItem(LPCSTR text, int image, HTREEITEM insertAfter);
  CTreeItemRef InsertStruct(TVINSERTSTRUCT& insert);
  CTreeItemRef AddChild(LPCSTR text, int image) { return InsertItem(text, image, TVI_LAST); }
  // The first child; a null item when there is none.
  CTreeItemRef GetNextItem() const;
  void SetData(DWORD_PTR value);
  DWORD_PTR GetData() const;
  void Expand(UINT code);
  void Select();
  CTreeItemRef GetSelectedItem() const;

  HTREEITEM m_hItem = nullptr;
  CTreeCtrl* m_pTree = nullptr;
};

class CChainTreeCtrl : public CTreeCtrl {
 public:
  CTreeItemRef GetRootItemRef() { return CTreeItemRef(GetRootItem(), this); }
  CTreeItemRef GetSelectedItemRef() { return CTreeItemRef(GetSelectedItem(), this); }
};

// What the dialog checks: the signature records of a protected file and the content they sign.
struct CSignedContent {
  // One detached PKCS#7 signature per record.
  std::vector<CByteBuffer> m_Signatures;
  // The file's body bytes: the content, or for an encrypted file its encrypted content.
  CByteBuffer m_Body;
  // Both encryption flags of the file set.
  bool m_bEncrypted = false;
  // The content key, empty unless the summary decrypted the file's envelope.
  CByteBuffer m_ContentKey;
  // The engine's cipher values and the file's format version.
  LONG m_nAlgorithm = 0;
  LONG m_nKeyLength = 0;
  LONG m_nFormatVersion = 1;
  // The content the signatures are checked against (what the file object already holds for an encrypted
  // file whose key is not known); filled by the dialog.
  CByteBuffer m_Content;
};

class CCertDetailsDlg : public CDialog {
 public:
  enum { IDD = 30055 };
  explicit CCertDetailsDlg(CWnd* pParentWnd);
  ~CCertDetailsDlg() override;

  // The file to show (not owned; null: no file); set before DoModal.
  CSignedContent* m_pContent = nullptr;
  // Shows one certificate instead of a file's signers.
  void SetCertificate(const CCapicomCertificate& certificate);

  CColorLabel m_lblSigners;  // 216
  CChainTreeCtrl m_ChainTree;
  CColorLabel m_lblChain;    // 214
  CEdit m_ReportEdit;
  CString m_strReport;
  CReportListCtrl m_SignerList;
  CStringArray m_astrChainReports;
  std::vector<CCapicomCertificate> m_SignerCertificates;
  // The chain the engine built for each row's signer while checking its signature (empty: none).
  std::vector<CCapicomChain> m_SignerChains;
  CCapicomChain m_ShownChain;
  CString m_strChainTitle;
  CImageList m_TreeImages;
  int m_nCurrentRow = -1;

  BOOL OnInitDialog() override;
  void FillSigners();
  void BuildChain();
  void FillChainTree();
  // The verification text of a chain status without a check failure: the first listed trust bit's text, or
  // the engine's extended error text (image 4).
  static CString StatusText(LONG status, bool caOfLongChain, int& image);

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  bool CurrentCertificate(CCapicomCertificate& out) const;

  afx_msg void OnItemchangedSignerList(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDblclkSignerList(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnViewCertificate();
  afx_msg void OnVerifyCertificate();
  afx_msg void OnExportCertificate();
  afx_msg void OnAddToAddressBook();
  afx_msg void OnTestimony();
  afx_msg void OnSelchangedChainTree(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDblclkChainTree(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()

 private:
  bool m_bSingleCertificate = false;
  // The verification text of certificate i (1 = the signer's) of the shown chain and its image.
  CString VerifyChainCertificate(LONG i, LONG n, const CCapicomCertificates& certificates, int& image);
};

// Makes the dialog the engine's certificate dialog (done once when the library loads).
void RegisterCertificateDisplay();
// Takes the dialog back from the engine (the library is being unloaded).
void UnregisterCertificateDisplay();
