// The pages of the certificate selection sheet. Each shows the available certificates of one source (list 1033)
// above the certificates selected so far in the whole sheet (list 1034), with Add (1050), Remove (1051), Remove
// all (1052) and Refresh (1053). The selection is the sheet's; a certificate can be selected once.
//
// The sources: the user's digital IDs (the "My" store, certificates with a private key), the directory
// ("CN=*" in the engine's directory store, when the certificate manager allows it), the "AddressBook" store,
// and the smart card.
#pragma once

#include "certificates/CertificateArray.h"
#include "controls/ColorLabel.h"
#include "controls/ReportListCtrl.h"
#include "platform/mfc/propsheet.h"

class CCapicomObjectSet;
class CCertificateRows;
class CSelCertSheet;

// The design the pages share.
class CCertSelPage : public CPropertyPage {
  DECLARE_DYNAMIC(CCertSelPage)
 public:
  explicit CCertSelPage(UINT templateId);
  ~CCertSelPage() override;

  CColorLabel m_lblAvailable;  // 1064
  CColorLabel m_lblSelected;   // 1063
  CReportListCtrl m_AvailableList;
  CReportListCtrl m_SelectedList;
  int m_nAvailableRow = 0;
  int m_nSelectedRow = 0;
  int m_nSavedAvailableRow = 0;
  int m_nSavedSelectedRow = 0;
  // The available list is the one in use: Add is the action, Remove and Remove all are not.
  BYTE m_bAvailableListActive = 1;
  // The next focus of the available list goes back to the selected list (an action put the focus there).
  BYTE m_bReturnFocus = 0;
  CCapicomObjectSet* m_pObjects = nullptr;

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;

  // The sheet the page belongs to, or null.
  CSelCertSheet* GetSelSheet();
  void FillAvailableList();
  void FillSelectedList();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

  // The certificates the available list shows, in row order (the item data of a row is its place here).
  // An engine error raised in it leaves no rows.
  virtual void CollectAvailable(CCertificateArray& listed) = 0;
  // The certificate of a row's item data; false when there is none (countCheck: only within the source's count).
  virtual bool RowCertificate(DWORD_PTR itemData, bool countCheck, CCapicomCertificate& out) = 0;
  // A list that takes the focus switches the mode; the personal and smart-card form then refills the other
  // list, the others move the row highlight over.
  void ActivateAvailableList();
  void ActivateSelectedList();
  bool m_bRefillOnFocus = false;
  // The duplicate message of the personal and smart-card pages names the digital ID in a fixed text.
  bool m_bDigitalIdMessage = false;
  // After refilling the selected list, the focus follows the mode (not on the smart-card page).
  bool m_bFocusAfterFill = true;
  // Refills the available list under a wait cursor.
  bool m_bWaitWhileFilling = false;

  void SelectRow(CReportListCtrl& list, int row);
  void DeselectRow(CReportListCtrl& list, int row);
  void EnableControl(int id, BOOL enable);
  // Sets the engine's prompt switch and its directory search location from the certificate manager settings.
  void PrepareEngine(bool searchLocation);

  afx_msg void OnAdd();
  afx_msg void OnRemove();
  afx_msg void OnRemoveAll();
  afx_msg void OnRefresh();
  afx_msg void OnAvailableItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAvailableDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAvailableListFocus(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnSelectedItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnSelectedDblClk(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnSelectedListFocus(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnAvailableClick(NMHDR* pNMHDR, LRESULT* pResult);
  DECLARE_MESSAGE_MAP()

 private:
  // The available row's certificate becomes the engine set's working certificate; false when it has none.
  bool TakeRowCertificate(int row, bool countCheck);
};

// Certificates of the current user's "AddressBook" store.
class CABCertSelPage : public CCertSelPage {
  DECLARE_DYNCREATE(CABCertSelPage)
 public:
  enum { IDD = 4216 };
  CABCertSelPage() : CCertSelPage(IDD) {}

 protected:
  CABCertSelPage(UINT templateId) : CCertSelPage(templateId) {}
  void CollectAvailable(CCertificateArray& listed) override;
  bool RowCertificate(DWORD_PTR itemData, bool countCheck, CCapicomCertificate& out) override;
  // Opens the page's source store (read-only).
  virtual void OpenSource();
};

// User certificates found in the directory, when the certificate manager allows directory searches.
class CADCertSelPage : public CABCertSelPage {
  DECLARE_DYNCREATE(CADCertSelPage)
 public:
  enum { IDD = 4215 };
  CADCertSelPage() : CABCertSelPage(IDD) {}

 protected:
  void CollectAvailable(CCertificateArray& listed) override;
  void OpenSource() override;

 private:
  HRESULT m_hrOpen = S_OK;  // the last directory search's result, for the status line
};

// The user's own digital IDs: certificates of "My" that have a private key.
class CPersonalCertSelPage : public CCertSelPage {
  DECLARE_DYNCREATE(CPersonalCertSelPage)
 public:
  enum { IDD = 4205 };
  CPersonalCertSelPage();
  ~CPersonalCertSelPage() override;

  BOOL OnSetActive() override;

  // The listed digital IDs, in store order.
  CCertificateArray m_PersonalCertificates;
  // Certificates in "My" at the last fill, with or without a private key.
  int m_nPersonalStoreCount = 0;

 protected:
  void CollectAvailable(CCertificateArray& listed) override;
  bool RowCertificate(DWORD_PTR itemData, bool countCheck, CCapicomCertificate& out) override;
  DECLARE_MESSAGE_MAP()
};

// The certificates of the smart card (template 4217).
class CSmartcardSelPage : public CCertSelPage {
  DECLARE_DYNCREATE(CSmartcardSelPage)
 public:
  enum { IDD = 4217 };
  CSmartcardSelPage();
  ~CSmartcardSelPage() override;

  // The names of this page: the card list is the available list.
  CReportListCtrl& m_CardList = m_AvailableList;
  int& m_nCardRow = m_nAvailableRow;
  int& m_nSavedCardRow = m_nSavedAvailableRow;
  BYTE& m_bCardListActive = m_bAvailableListActive;
  // The certificates behind the card list; a row's item data is its place here.
  CCertificateArray m_CardCertificates;

 protected:
  void CollectAvailable(CCertificateArray& listed) override;
  bool RowCertificate(DWORD_PTR itemData, bool countCheck, CCapicomCertificate& out) override;
  DECLARE_MESSAGE_MAP()
};
