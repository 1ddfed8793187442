#include "certificates/CertDetailsDlg.h"

#include "app/BrinmoorApp.h"
#include "app/FailureReport.h"
#include "app/HtmlDialogBox.h"
#include "app/ResString.h"
#include "certificates/CertPageTools.h"
#include "certificates/CertificateRows.h"
#include "engine/CapicomEncryptedData.h"
#include "engine/CapicomErrors.h"
#include "engine/CapicomExtensions.h"
#include "engine/CapicomSignedData.h"
#include "engine/CapicomStore.h"
#include "engine/CertPolicy.h"
#include "platform/capicom/display.h"
#include "platform/mfc/afxwin.h"

using namespace certmgr;

namespace {

constexpr int kList = 1033, kTree = 1266;
constexpr DWORD_PTR kTitleData = 0xFFFF;
constexpr int kTitleImage = 2, kOkImage = 4, kProblemImage = 5;
constexpr const char* kVerifiedOk = "Certificate Verified Ok.";
constexpr const char* kRule = "=====================";  // 21

CString Text(const CBstrString& s) { return s.GetAnsi() ? CString(s.GetAnsi()) : CString(); }

struct StatusBit {
  LONG bit;
  const char* text;
};

// The chain status bits in the order they are tested (the revocation-unknown text depends on the chain).
constexpr StatusBit kStatusTexts[] = {
    {0x1, "Certificate in the chain has expired. Please check the time validity"},
    {0x2, "Certificate in the chain is not time nested"},
    {0x4, "At least one certificate in the chain has been revoked"},
    {0x8, "Certificate in the chain has invalid signature"},
    {0x10, "Certificate in the chain is not valid for usage"},
    {0x20, "Certificate in the chain has untrusted root"},
    {0x40, nullptr},
    {0x80, "At least one certificate in the chain has cyclic trust"},
    {0x100, "At least one certificate in the chain has invalid extension"},
    {0x200, "At least one certificate in the chain has invalid policy constraints"},
    {0x400, "At least one certificate in the chain has invalid basic constraints"},
    {0x800, "At least one certificate in the chain has invalid name constraints"},
    {0x1000, "At least one certificate in the chain does not support name constraint"},
    {0x2000, "At least one certificate in the chain has not defined name constraint"},
    {0x4000, "At least one certificate in the chain has not permitted name constraint"},
    {0x8000, "At least one certificate in the chain has excluded name constraint"},
    {0x1000000, "At least one certificate in the chain is using Offline Revocation. Please manually update the CRLs"},
    {0x2000000, "At least one certificate in the chain has no issuance chain policy"},
    {0x10000, "Certificate chain is partial"},
    {0x20000, "CTL associated with the certificate is not time valid"},
    {0x40000, "CTL associated with the certificate has invalid signature"},
    {0x80000, "CTL associated with the certificate is not valid for usage"},
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Tree item references
// ---------------------------------------------------------------------------------------------------------------

CTreeItemRef CTreeItemRef::InsertItem(LPCSTR text, int image, HTREEITEM insertAfter) {
  TVINSERTSTRUCT insert{};
  insert.hParent = m_hItem;
  insert.hInsertAfter = insertAfter;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<LPSTR>(text);
  if (image != -1) {
    insert.item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
  }
  return InsertStruct(insert);
}

CTreeItemRef CTreeItemRef::InsertStruct(TVINSERTSTRUCT& insert) {
  if (!m_pTree) return CTreeItemRef();
  return CTreeItemRef(m_pTree->InsertItem(&insert), m_pTree);
}

CTreeItemRef CTreeItemRef::GetNextItem() const {
  if (!m_pTree) return CTreeItemRef();
  return CTreeItemRef(m_pTree->GetNextItem(m_hItem, TVGN_CHILD), m_pTree);
}

void CTreeItemRef::SetData(DWORD_PTR value) {
  if (m_pTree) m_pTree->SetItemData(m_hItem, value);
}

DWORD_PTR CTreeItemRef::GetData() const { return m_pTree && m_hItem ? m_pTree->GetItemData(m_hItem) : 0; }

void CTreeItemRef::Expand(UINT code) {
  if (m_pTree) m_pTree->Expand(m_hItem, code);
}

void CTreeItemRef::Select() {
  if (m_pTree) m_pTree->Select(m_hItem, TVGN_CARET);
}

CTreeItemRef CTreeItemRef::GetSelectedItem() const {
  return m_pTree ? CTreeItemRef(m_pTree->GetSelectedItem(), m_pTree) : CTreeItemRef();
}

// ---------------------------------------------------------------------------------------------------------------
// The dialog
// ---------------------------------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CCertDetailsDlg, CDialog)
  ON_NOTIFY(LVN_ITEMCHANGED, kList, OnItemchangedSignerList)
  ON_NOTIFY(NM_DBLCLK, kList, OnDblclkSignerList)
  ON_BN_CLICKED(1057, OnViewCertificate)
  ON_BN_CLICKED(1007, OnVerifyCertificate)
  ON_BN_CLICKED(1073, OnExportCertificate)
  ON_BN_CLICKED(1050, OnAddToAddressBook)
  ON_BN_CLICKED(1129, OnTestimony)
  ON_NOTIFY(TVN_SELCHANGED, kTree, OnSelchangedChainTree)
  ON_NOTIFY(NM_DBLCLK, kTree, OnDblclkChainTree)
END_MESSAGE_MAP()

CCertDetailsDlg::CCertDetailsDlg(CWnd* pParentWnd) : CDialog(static_cast<UINT>(IDD), pParentWnd) {}

CCertDetailsDlg::~CCertDetailsDlg() = default;

void CCertDetailsDlg::SetCertificate(const CCapicomCertificate& certificate) {
  m_bSingleCertificate = true;
  m_SignerCertificates.assign(1, certificate);
  m_SignerChains.assign(1, CCapicomChain(kx::engine::kEmpty));
}

void CCertDetailsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, 216, m_lblSigners);
  DDX_Control(pDX, kTree, m_ChainTree);
  DDX_Control(pDX, 214, m_lblChain);
  DDX_Control(pDX, 1264, m_ReportEdit);
  DDX_Text(pDX, 1264, m_strReport);
  DDX_Control(pDX, kList, m_SignerList);
}

BOOL CCertDetailsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  WaitCursor wait(this);
  m_SignerList.SetFullRowDraw(TRUE);
  m_TreeImages.Create(8266, 16, 5, RGB(255, 0, 255));
  m_ChainTree.ModifyStyle(TVS_EDITLABELS, TVS_SHOWSELALWAYS);
  m_ChainTree.SetImageList(&m_TreeImages, TVSIL_NORMAL);
  FillSigners();
  return TRUE;
}

void CCertDetailsDlg::FillSigners() {
  m_SignerList.DeleteAllItems();
  if (!m_bSingleCertificate) {
    m_SignerCertificates.clear();
    m_SignerChains.clear();
  }
  if (!m_bSingleCertificate && m_pContent && !m_pContent->m_Signatures.empty()) {
    CCapicomSignedData signedData;
    for (const CByteBuffer& signature : m_pContent->m_Signatures) {
      try {
        CSignedContent& file = *m_pContent;
        if (file.m_bEncrypted && file.m_ContentKey.GetLength()) {
          CCapicomEncryptedData encrypted;
          BSTR body = kx::engine::ToBinaryBstr(file.m_Body);
          encrypted.SetCipherParameters(file.m_nAlgorithm, file.m_nKeyLength);
          encrypted.SetSecretFromBuffer(file.m_ContentKey, 0);
          HRESULT hr = encrypted.Decrypt(body, file.m_nFormatVersion);
          SysFreeString(body);
          if (SUCCEEDED(hr)) encrypted.GetContentToBuffer(file.m_Content);
        } else if (!file.m_bEncrypted) {
          file.m_Content = file.m_Body;
        }
        signedData.PutContentFromBuffer(file.m_Content);
        if (FAILED(signedData.Verify(signature, true, 0))) continue;
        CCapicomSigners signers = signedData.GetSigners();
        const LONG count = signers.GetCount();
        if (count == 0) {
          CCapicomCertificates certificates = signedData.GetCertificates();
          CCapicomCertificate last = certificates.GetItem(certificates.GetCount());
          m_SignerCertificates.push_back(last);
          m_SignerChains.push_back(CCapicomChain(kx::engine::kEmpty));
          continue;
        }
        for (LONG j = 1; j <= count; ++j) {
          // Each row keeps the chain of its own signer, built while its signature was checked.
          CCapicomChain chain = signers.GetItem(j).GetChain();
          CCapicomCertificates certificates = chain.GetCertificates();
          if (certificates.GetCount() == 0) continue;
          m_SignerCertificates.push_back(certificates.GetItem(1));
          m_SignerChains.push_back(chain);
        }
      } catch (const _com_error&) {
        // This record yields no row; the next one follows.
      }
    }
  }
  CCertificateRows rows;
  // Each row's mark is the policy's verdict.
  for (const CCapicomCertificate& certificate : m_SignerCertificates) rows.Add(certificate);
  CStringList headings;
  GetCertificateHeadings(headings);
  rows.Show(m_SignerList, headings, true);
  for (int column = 0; column < 4; ++column) m_SignerList.SetColumnWidth(column, column ? 150 : 110);
  m_nCurrentRow = 0;
  if (m_SignerList.GetItemCount() > 0) m_SignerList.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  BuildChain();
  m_SignerList.Invalidate();
  m_SignerList.SetFocus();
}

bool CCertDetailsDlg::CurrentCertificate(CCapicomCertificate& out) const {
  if (m_nCurrentRow < 0 || m_nCurrentRow >= static_cast<int>(m_SignerCertificates.size())) return false;
  out = m_SignerCertificates[m_nCurrentRow];
  return true;
}

void CCertDetailsDlg::BuildChain() {
  if ((!m_pContent && !m_bSingleCertificate) || m_nCurrentRow < 0 || m_nCurrentRow >= m_SignerList.GetItemCount())
    return;
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (!CurrentCertificate(certificate)) return;
  try {
    const CCapicomChain& signerChain = m_SignerChains[m_nCurrentRow];
    if (!signerChain.IsEmpty()) {
      m_ShownChain = signerChain;
    } else {
      CCapicomChain built;
      built.Build(certificate);  // its verdict is read per certificate below
      m_ShownChain = built;
    }
  } catch (const _com_error&) {
    // The chain stays as it was.
  }
  m_strChainTitle = "Chain for " + InfoText(certificate, CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME);
  FillChainTree();
}

CString CCertDetailsDlg::StatusText(LONG status, bool caOfLongChain, int& image) {
  image = kProblemImage;
  for (const StatusBit& entry : kStatusTexts) {
    if (!(status & entry.bit)) continue;
    if (entry.text) return entry.text;
    return caOfLongChain
               ? "Certificate in the chain has unknown revocation status and/or one of Intermediate certficate has "
                 "been revoked"
               : "Certificate in the chain has unknown revocation status (Possible Reasons: critical IDP, "
                 "inconsistent delta/base CRLs, CRL expired)";
  }
  image = kOkImage;
  return CString();
}

CString CCertDetailsDlg::VerifyChainCertificate(LONG i, LONG n, const CCapicomCertificates& certificates, int& image) {
  CCertPolicy policy;
  CBstrString message;
  image = kProblemImage;
  CCapicomCertificate certificate = certificates.GetItem(i);
  CCapicomBasicConstraints constraints = certificate.BasicConstraints();
  const bool present = constraints.GetIsPresent();
  const bool authority = constraints.GetIsCertificateAuthority();
  const bool pathLength = constraints.GetIsPathLenConstraintPresent();
  const bool top = i == n;

  if (top && !policy.IsTrustPoint(certificate, message)) return Text(message);
  {
    CCapicomChain own;
    try {
      own.Build(certificate);
    } catch (const _com_error&) {
      return Text(message);
    }
    if (!policy.CheckChainNames(own, message)) return Text(message);
  }
  if (authority && present && !top && !policy.CheckCaKeyUsage(certificate, message)) return Text(message);
  if ((present || i != 1) && !top && !policy.CheckBasicConstraints(certificate, message)) return Text(message);
  if (authority && present && !top && !policy.CheckChainPolicy(certificate, n - 1, message)) return Text(message);
  if (present && pathLength && !top && !policy.CheckPathLength(certificate, n - 1, i, m_ShownChain, message))
    return Text(message);
  const LONG status = m_ShownChain.GetStatus(i);
  if (status == 0 && present && pathLength && !top &&
      !policy.CheckRootCrl(certificate, n - 1, i, m_ShownChain, message))
    return Text(message);

  if (status == 0) {
    bool ok = true;
    policy.ValidateCertificate(certificate, message, ok);
    if (!ok) return Text(message);
    image = kOkImage;
    return kVerifiedOk;
  }
  CString text = StatusText(status, n > 2 && authority, image);
  if (!text.IsEmpty()) return text;
  image = kOkImage;
  try {
    CString extended = Text(m_ShownChain.ExtendedErrorInfo(i));
    return extended.IsEmpty() ? CString(kVerifiedOk) : extended;
  } catch (const _com_error&) {
    return "Certificate chain could not extract the cause of verification failure.";
  }
}

void CCertDetailsDlg::FillChainTree() {
  m_ChainTree.DeleteAllItems();
  m_astrChainReports.RemoveAll();
  CTreeItemRef title = CTreeItemRef(nullptr, &m_ChainTree).InsertItem(m_strChainTitle, kTitleImage, TVI_LAST);
  title.SetData(kTitleData);
  CTreeItemRef parent = title;
  try {
    CCapicomCertificates certificates = m_ShownChain.GetCertificates();
    const LONG n = certificates.GetCount();
    for (LONG i = 1; i <= n; ++i) {
      int image = kProblemImage;
      CString text;
      try {
        text = VerifyChainCertificate(i, n, certificates, image);
      } catch (const _com_error& e) {
        // An engine failure is this certificate's verdict.
        text = Text(GetCapicomErrorMessage(e.Error()));
        image = kProblemImage;
      }
      m_astrChainReports.Add(text);
      CTreeItemRef item = parent.AddChild(InfoText(certificates.GetItem(i), CAPICOM_CERT_INFO_SUBJECT_SIMPLE_NAME), image);
      item.SetData(static_cast<DWORD_PTR>(i));
      item.Expand(TVE_EXPAND);
      parent = item;
    }
  } catch (const _com_error&) {
    // The chain stops where the engine failed; each certificate listed carries its own verdict.
  }
  for (CTreeItemRef item = m_ChainTree.GetRootItemRef(); item.m_hItem; item = item.GetNextItem()) item.Expand(TVE_EXPAND);
  CTreeItemRef first = m_ChainTree.GetRootItemRef().GetNextItem();
  if (first.m_hItem) first.Select();
}

void CCertDetailsDlg::OnSelchangedChainTree(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  const DWORD_PTR value = m_ChainTree.GetSelectedItemRef().GetData();
  LONG count = 0;
  CCapicomCertificates certificates(kx::engine::kEmpty);
  try {
    certificates = m_ShownChain.GetCertificates();
    count = certificates.GetCount();
  } catch (const _com_error&) {
    // No chain to read: the report shows the blank text below.
  }
  if (value == kTitleData || value == 0 || value > static_cast<DWORD_PTR>(count) ||
      value > static_cast<DWORD_PTR>(m_astrChainReports.GetSize())) {
    m_strReport = ' ';
  } else {
    const CString rule = CString("\r\n") + kRule + "\r\n";
    m_strReport = LoadResString(230) + rule + m_astrChainReports[static_cast<INT_PTR>(value) - 1] + rule;
    try {
      CCapicomBasicConstraints constraints = certificates.GetItem(static_cast<LONG>(value)).BasicConstraints();
      if (!constraints.IsEmpty()) {
        auto answer = [](bool yes) { return LoadResString(yes ? 234 : 235); };
        m_strReport += LoadResString(231) + rule;
        m_strReport += LoadResString(232) + ": " + answer(constraints.GetIsPresent()) + "\r\n";
        m_strReport += LoadResString(233) + ": " + answer(constraints.GetIsCritical()) + "\r\n";
        m_strReport += LoadResString(236) + ": " + answer(constraints.GetIsCertificateAuthority()) + "\r\n";
        m_strReport += LoadResString(237) + ": " + answer(constraints.GetIsPathLenConstraintPresent()) + "\r\n";
      }
    } catch (const _com_error&) {
      // No basic constraints to show: the report keeps the verdict alone.
    }
  }
  UpdateData(FALSE);
}

void CCertDetailsDlg::OnDblclkChainTree(NMHDR*, LRESULT* pResult) {
  *pResult = 0;
  const DWORD_PTR value = m_ChainTree.GetSelectedItemRef().GetData();
  try {
    CCapicomCertificates certificates = m_ShownChain.GetCertificates();
    if (value >= 1 && value <= static_cast<DWORD_PTR>(certificates.GetCount()) && value != kTitleData)
      DisplayCertificate(certificates.GetItem(static_cast<LONG>(value)));
  } catch (const _com_error&) {
    // DisplayCertificate reports its own failure; a chain the engine cannot read shows nothing.
  }
}

void CCertDetailsDlg::OnItemchangedSignerList(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  auto* n = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
  if (!(n->uChanged & LVIF_STATE) || !(n->uNewState & LVIS_SELECTED)) return;
  const int row = static_cast<int>(m_SignerList.GetItemData(n->iItem));
  if (row < 0 || row == m_nCurrentRow) return;
  m_nCurrentRow = row;
  BuildChain();
}

void CCertDetailsDlg::OnDblclkSignerList(NMHDR* pNMHDR, LRESULT* pResult) {
  *pResult = 0;
  const int item = reinterpret_cast<NMITEMACTIVATE*>(pNMHDR)->iItem;
  if (item < 0) return;
  const int row = static_cast<int>(m_SignerList.GetItemData(item));
  if (row != m_nCurrentRow) {
    m_nCurrentRow = row;
    BuildChain();
  }
  // The first click already made the row current: the double click shows its certificate either way.
  OnViewCertificate();
}

void CCertDetailsDlg::OnViewCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (m_SignerList.GetItemCount() > 0 && CurrentCertificate(certificate)) DisplayCertificate(certificate);
}

void CCertDetailsDlg::OnVerifyCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (CurrentCertificate(certificate)) ValidateAndTell(this, certificate);
}

void CCertDetailsDlg::OnExportCertificate() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (CurrentCertificate(certificate)) ExportCertificateToFile(this, certificate);
}

void CCertDetailsDlg::OnAddToAddressBook() {
  CCapicomCertificate certificate(kx::engine::kEmpty);
  if (m_SignerList.GetItemCount() == 0 || !CurrentCertificate(certificate)) return;
  try {
    CCapicomStore store;
    if (store.Open(CAPICOM_CURRENT_USER_STORE, "AddressBook", CAPICOM_STORE_OPEN_READ_WRITE) == S_OK) store.Add(certificate);
  } catch (const _com_error& e) {
    kx::ReportFailure(this, "Address Book", kx::EngineText(e));
  }
}

void CCertDetailsDlg::OnTestimony() {
  CBrinmoorApp* app = CBrinmoorApp::GetInstance();
  const CString page = (app ? app->m_strModuleFolder : CString()) + "HELP/testimony.htm";
  CHtmlDialogBox box(page, FALSE, AfxGetMainWnd());
  box.DoModal();
}

// ---------------------------------------------------------------------------------------------------------------
// The engine's certificate dialog
// ---------------------------------------------------------------------------------------------------------------

namespace {

HRESULT ShowCertificateDialog(const BYTE* der, std::size_t length) {
  try {
    CByteBuffer bytes(static_cast<DWORD>(length), der, false);
    CCapicomCertificate certificate;
    HRESULT hr = certificate.ImportFromBuffer(bytes);
    if (FAILED(hr)) return hr;
    CCertDetailsDlg dialog(CWnd::GetActiveWindow());
    dialog.SetCertificate(certificate);
    return dialog.DoModal() == -1 ? E_FAIL : S_OK;
  } catch (const _com_error& e) {
    return e.Error();
  }
}

}  // namespace

void RegisterCertificateDisplay() { kx::capi::SetCertificateDisplay(&ShowCertificateDialog); }

void UnregisterCertificateDisplay() {
  if (kx::capi::GetCertificateDisplay() == &ShowCertificateDialog) kx::capi::SetCertificateDisplay(nullptr);
}
