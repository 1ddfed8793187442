// The certificate manager's store pages: the user's digital IDs (certificates of "My" with a private key), the
// smart-card certificates, the certificates found in the directory, and the "AddressBook" store. Each shows
// subject, issuer and validity dates with the mark of a certificate that passed its check, and keeps the
// certificate of its current row in its engine set, which the sheet returns in a selection role.
#pragma once

#include "certificates/CertPageTools.h"
#include "certificates/CertificateArray.h"
#include "certificates/AddressBook.h"
#include "engine/CapicomStore.h"

// The two pages of certificates with a private key (personal and smart card): the same controls, buttons and
// row handling; a double click in the selection role picks the row.
class CKeyCertPage : public CCertListPage {
  DECLARE_DYNAMIC(CKeyCertPage)
 public:
  explicit CKeyCertPage(UINT templateId);
  BOOL OnInitDialog() override;
  bool RowCertificate(int row, CCapicomCertificate& out) override;

 protected:
  // The listed certificate at a row's item data.
  virtual bool ListedCertificate(DWORD_PTR index, CCapicomCertificate& out) const = 0;
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

class CPersonalCertPage : public CKeyCertPage {
  DECLARE_DYNCREATE(CPersonalCertPage)
 public:
  enum { IDD = 102 };
  CPersonalCertPage() : CKeyCertPage(IDD) {}

  // The listed certificates, in listing order (a row's item data is its place here).
  CCertificateList m_Certificates;
  // Certificates in "My" at the last listing, with or without a private key.
  int m_nStoreCount = 0;

  BOOL OnSetActive() override;
  BOOL DestroyWindow() override;

 protected:
  // Lists the certificates once; again only after the list was emptied.
  void ListCertificates();
  bool ListedCertificate(DWORD_PTR index, CCapicomCertificate& out) const override;
};

class CSmartCertSorePage : public CKeyCertPage {
  DECLARE_DYNCREATE(CSmartCertSorePage)
 public:
  enum { IDD = 30051 };
  CSmartCertSorePage() : CKeyCertPage(IDD) {}

  int m_nCardCount = 0;
  CCertificateArray m_CardCertificates;

  BOOL OnSetActive() override;
  BOOL DestroyWindow() override;

 protected:
  void ListCertificates();
  bool ListedCertificate(DWORD_PTR index, CCapicomCertificate& out) const override;
};

// The certificates of the engine's store over a source that rows name by their place in its collection.
class CStoreCertPage : public CCertListPage {
  DECLARE_DYNAMIC(CStoreCertPage)
 public:
  CStoreCertPage(UINT templateId, std::initializer_list<certmgr::ToolButton> buttons)
      : CCertListPage(templateId, buttons) {}
  // Collection item (item data + 1) of the store, taken anew.
  bool RowCertificate(int row, CCapicomCertificate& out) override;

 protected:
  afx_msg void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  // The row becomes current; with the sheet's host-notification flag its certificate is shown.
  afx_msg void OnDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()
};

class CADirCertPage : public CStoreCertPage {
  DECLARE_DYNCREATE(CADirCertPage)
 public:
  enum { IDD = 4203 };
  CADirCertPage();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

 protected:
  void ListCertificates();
  afx_msg void OnExport();
  DECLARE_MESSAGE_MAP()
};

class CCAStoreCertPage : public CStoreCertPage {
  DECLARE_DYNCREATE(CCAStoreCertPage)
 public:
  enum { IDD = 4204 };
  CCAStoreCertPage();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  CAddressBook m_AddressBook;

 protected:
  void ListCertificates();
  afx_msg void OnImportCertificate();
  afx_msg void OnShowAddressBook();
  afx_msg void OnNewAddressBookEntry();
  afx_msg void OnConfirmButton();
  DECLARE_MESSAGE_MAP()
};
