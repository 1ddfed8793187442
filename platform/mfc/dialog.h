// CDialog and dialog data exchange (DDX/DDV).
//
// DoModal finds the template in the resources of the module that serves them, creates the dialog under its
// owner (disabled while the dialog runs) and runs the framework's modal loop, so that PreTranslateMessage of the
// dialog and its controls sees every message. OnInitDialog exchanges the data into the controls; OnOK takes it
// back (and validates) before ending the dialog with IDOK.
#pragma once

#include "platform/mfc/datetime.h"
#include "platform/mfc/wnd.h"
#include "platform/ui/dlgtemplate.h"

class KXAPI CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  HWND m_idLastControl = nullptr;
  BOOL m_bEditLastControl = FALSE;

  // The control with this id (a failure later goes back to it); throws when the dialog has none.
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Gives the focus back to the last control (selecting an edit's text) and throws CUserException.
  [[noreturn]] void Fail();
};

// Attaches the control object to the dialog's control (once).
KXAPI void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, long& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, short& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, BYTE& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, double& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, float& value);
KXAPI void DDX_Text(CDataExchange* pDX, int nIDC, LPSTR value, int nMaxLen);
KXAPI void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// nIDC is the first button of a group; value is the index of the checked one, -1 for none.
KXAPI void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
KXAPI void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
KXAPI void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value);
KXAPI void DDX_CBStringExact(CDataExchange* pDX, int nIDC, CString& value);
KXAPI void DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index);
KXAPI void DDX_LBString(CDataExchange* pDX, int nIDC, CString& value);
KXAPI void DDX_LBStringExact(CDataExchange* pDX, int nIDC, CString& value);
// Through the date-and-time control's DTM_GETSYSTEMTIME / DTM_SETSYSTEMTIME.
KXAPI void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, COleDateTime& value);
KXAPI void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, CTime& value);

KXAPI void DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);
KXAPI void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
KXAPI void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal);
KXAPI void DDV_MinMaxLong(CDataExchange* pDX, long value, long minVal, long maxVal);
KXAPI void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal);
KXAPI void DDV_MinMaxByte(CDataExchange* pDX, BYTE value, BYTE minVal, BYTE maxVal);
KXAPI void DDV_MinMaxDouble(CDataExchange* pDX, double value, double minVal, double maxVal);

class KXAPI CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
 public:
  CDialog();
  explicit CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Modeless.
  virtual BOOL Create(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  virtual BOOL CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr);
  BOOL InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = nullptr);

  // Modal: the id of the button that ended the dialog (IDOK, IDCANCEL, ...), or -1 when the template is missing
  // or the dialog cannot be made.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  virtual BOOL OnInitDialog();
  virtual void OnSetFont(CFont* pFont);
  virtual void OnOK();
  virtual void OnCancel();

  void NextDlgCtrl() const;
  void PrevDlgCtrl() const;
  void GotoDlgCtrl(CWnd* pWndCtrl);
  void SetDefID(UINT nID);
  DWORD GetDefID() const;
  void MapDialogRect(LPRECT lpRect) const;

  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL CheckAutoCenter() { return TRUE; }

  LPCSTR m_lpszTemplateName = nullptr;
  UINT m_nIDHelp = 0;
  LPCDLGTEMPLATE m_lpDialogTemplate = nullptr;
  CWnd* m_pParentWnd = nullptr;
  HWND m_hWndTop = nullptr;

 protected:
  virtual void PreInitDialog();
  HWND PreModal();
  void PostModal();
  BOOL CreateDlg(HINSTANCE hInst, LPCSTR lpszTemplateName, LPCDLGTEMPLATE lpTemplate, CWnd* pParentWnd);
  afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT HandleSetFont(WPARAM wParam, LPARAM lParam);

  CString m_strTemplateName;  // keeps a named template's name

  DECLARE_MESSAGE_MAP()
};
