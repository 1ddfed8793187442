// The pad on which a signature is drawn with the mouse: a child window over a placeholder control of a page,
// showing its drawing document's picture with the strokes over it, scaled so that its logical area fits it.
// Read-only, it only shows a stored signature.
#pragma once

#include "platform/mfc/docview.h"
#include "platform/mfc/geometry.h"

class COfficeTolvexDoc;
class CStroke;

class CScribbleView : public CScrollView {
  DECLARE_DYNCREATE(CScribbleView)
 public:
  CScribbleView();

  // Creates the view as a visible child covering the placeholder's client area, drawing the document (which
  // the view does not own); FALSE when the window cannot be made.
  BOOL CreateInWindow(CWnd* placeholder, COfficeTolvexDoc* doc);
  COfficeTolvexDoc* GetDocument() const { return m_pDoc; }
  // Strokes are drawn and redrawn in this colour.
  void SetPenColour(COLORREF colour);

  void OnDraw(CDC* pDC) override;
  void OnInitialUpdate() override;
  void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint) override;

  BYTE m_bReadOnly = 0;
  CStroke* m_pStrokeCur = nullptr;
  CPoint m_ptPrev;
  COfficeTolvexDoc* m_pDoc = nullptr;
  COLORREF m_crColour = 0;

 protected:
  // The mouse point in logical coordinates, with dc prepared for drawing.
  CPoint ToLogical(CDC& dc, CPoint point);
  void LineToPoint(CDC& dc, CPoint point);

  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);
  DECLARE_MESSAGE_MAP()
};
