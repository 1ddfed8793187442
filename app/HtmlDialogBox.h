// The library's HTML pages (message boxes, About box, testimony page) in a modal window of the platform's HTML
// engine, with one argument string passed in and one result string read back; and a plain dialog that shows
// a caller's multi-line text.
#pragma once

#include "platform/mfc/dialog.h"
#include "platform/mfc/olevariant.h"

class CHtmlDialogBox {
 public:
  // page: a file path, or with fromResource the name of a page of the module that serves resources.
  CHtmlDialogBox(LPCSTR page, BOOL fromResource, CWnd* owner);
  virtual ~CHtmlDialogBox();
  CHtmlDialogBox(const CHtmlDialogBox&) = delete;
  CHtmlDialogBox& operator=(const CHtmlDialogBox&) = delete;

  // 0 when the page was shown and closed, -1 when it cannot be shown.
  virtual INT_PTR DoModal();
  // The page receives the text as a string, also when it is empty.
  void SetArgument(LPCSTR text);
  // The string the page returned; empty when it returned none or something else.
  CString GetResult() const;
  const CString& GetUrl() const { return m_strUrl; }

 private:
  void SetResourceUrl(LPCSTR page);
  void LoadEngine();

  HWND m_hwndOwner;
  COleVariant m_varInput;
  COleVariant m_varOutput;
  CString m_strUrl;
  HMODULE m_hEngine = nullptr;
};

class CTextReportDlg : public CDialog {
 public:
  enum { IDD = 1025 };
  explicit CTextReportDlg(CWnd* pParentWnd = nullptr);

  // The caller's text: shown on opening, written back on OK.
  CString* m_pText = nullptr;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};
