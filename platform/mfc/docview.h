// Documents and views as far as the library uses them: a document with its views, modified flag, path and
// file load and save through its Serialize; views that draw their document (a plain view and a scroll view with
// a scale-to-fit mode), usable as child windows of a dialog; a frame window with a message bar; command update
// objects for documents' update handlers.
#pragma once

#include "platform/mfc/collections.h"
#include "platform/mfc/exceptions.h"
#include "platform/mfc/wnd.h"

class CView;
class CArchive;
class CFile;

// The state a command update handler sets (enabled, checked, text).
class KXAPI CCmdUI {
 public:
  virtual ~CCmdUI() = default;
  UINT m_nID = 0;
  BOOL m_bEnabled = TRUE;
  int m_nCheck = 0;
  CString m_strText;
  BOOL m_bEnableChanged = FALSE;
  virtual void Enable(BOOL bOn = TRUE) {
    m_bEnabled = bOn;
    m_bEnableChanged = TRUE;
  }
  virtual void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }
  virtual void SetRadio(BOOL bOn = TRUE) { m_nCheck = bOn ? 1 : 0; }
  virtual void SetText(LPCSTR lpszText) { m_strText = lpszText; }
  // Asks the target's update handler of m_nID; FALSE when it has none.
  BOOL DoUpdate(CCmdTarget* pTarget);
};

// Update handlers are entered under the command's id with this code.
#define CN_UPDATE_COMMAND_UI 0xFFFFu
#define ON_UPDATE_COMMAND_UI(id, memberFxn) \
  KX_MSG_ENTRY(WM_COMMAND, CN_UPDATE_COMMAND_UI, id, id, self->memberFxn(reinterpret_cast<CCmdUI*>(kxMsg.lParam)); return 0;)

// Frame-window ids of the framework.
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDP_FAILED_TO_OPEN_DOC 0xF101
#define AFX_IDP_FAILED_TO_SAVE_DOC 0xF102

class KXAPI CDocument : public CCmdTarget {
  DECLARE_DYNAMIC(CDocument)
 public:
  CDocument();
  ~CDocument() override;

  const CString& GetTitle() const { return m_strTitle; }
  virtual void SetTitle(LPCSTR lpszTitle);
  const CString& GetPathName() const { return m_strPathName; }
  virtual void SetPathName(LPCSTR lpszPathName, BOOL bAddToMRU = TRUE);
  virtual BOOL IsModified();
  virtual void SetModifiedFlag(BOOL bModified = TRUE);

  void AddView(CView* pView);
  void RemoveView(CView* pView);
  POSITION GetFirstViewPosition() const;
  CView* GetNextView(POSITION& rPosition) const;
  // Calls OnUpdate of every view but the sender.
  void UpdateAllViews(CView* pSender, LPARAM lHint = 0, CObject* pHint = nullptr);

  virtual void DeleteContents();
  virtual BOOL OnNewDocument();
  // Reads the file through Serialize (after DeleteContents); a failure is reported and answers FALSE.
  virtual BOOL OnOpenDocument(LPCSTR lpszPathName);
  // Writes the file through Serialize into a new file that replaces the old one only when complete.
  virtual BOOL OnSaveDocument(LPCSTR lpszPathName);
  // Deletes the contents and, with m_bAutoDelete, the document itself.
  virtual void OnCloseDocument();
  virtual void ReportSaveLoadException(LPCSTR lpszPathName, CException* e, BOOL bSaving, UINT nIDPDefault);
  virtual void OnChangedViewList();

  BOOL m_bAutoDelete = TRUE;

 protected:
  // Runs Serialize over an open file in the archive mode (load or store) under a wait cursor and closes the
  // file; the archive's and the file's exceptions go to the caller.
  void SerializeWith(CFile& file, UINT mode);

  CString m_strTitle;
  CString m_strPathName;
  BOOL m_bModified = FALSE;
  CPtrList m_viewList;
};

class KXAPI CView : public CWnd {
  DECLARE_DYNAMIC(CView)
 public:
  CView();
  ~CView() override;
  CDocument* GetDocument() const { return m_pDocument; }

  virtual void OnDraw(CDC* pDC) = 0;
  virtual void OnInitialUpdate();
  virtual void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint);
  virtual void OnPrepareDC(CDC* pDC, void* pInfo = nullptr);
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void PostNcDestroy() override;

  CDocument* m_pDocument = nullptr;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT lpcs);
  afx_msg void OnPaint();
  afx_msg int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);
  DECLARE_MESSAGE_MAP()
  friend class CDocument;
};

class KXAPI CScrollView : public CView {
  DECLARE_DYNAMIC(CScrollView)
 public:
  CScrollView();
  static const SIZE sizeDefault;
  // Logical size of the view, its mapping mode and the amounts a page and a line scroll.
  void SetScrollSizes(int nMapMode, SIZE sizeTotal, const SIZE& sizePage = sizeDefault,
                      const SIZE& sizeLine = sizeDefault);
  // The logical size is stretched over the window, without scroll bars.
  void SetScaleToFitSize(SIZE sizeTotal);
  CPoint GetScrollPosition() const;
  void ScrollToPosition(POINT pt);
  CSize GetTotalSize() const { return m_totalLog; }
  void OnPrepareDC(CDC* pDC, void* pInfo = nullptr) override;

 protected:
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  void UpdateBars();
  void ScrollBy(int bar, UINT code, UINT pos);
  DECLARE_MESSAGE_MAP()

  int m_nMapMode = MM_TEXT;
  CSize m_totalLog, m_totalDev, m_pageDev, m_lineDev;
  BOOL m_bScaleToFit = FALSE;
};

class KXAPI CFrameWnd : public CWnd {
  DECLARE_DYNCREATE(CFrameWnd)
 public:
  // The status bar the frame shows messages in (its child with id AFX_IDW_STATUS_BAR), or NULL.
  virtual CWnd* GetMessageBar();
  CView* GetActiveView() const { return m_pViewActive; }
  void SetActiveView(CView* pViewNew, BOOL bNotify = TRUE);
  virtual CDocument* GetActiveDocument();
  BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle = WS_OVERLAPPEDWINDOW,
              const RECT& rect = RECT{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0}, CWnd* pParentWnd = nullptr);
  void PostNcDestroy() override;

 protected:
  CView* m_pViewActive = nullptr;
};
