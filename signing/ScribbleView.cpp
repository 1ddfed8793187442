#include "signing/ScribbleView.h"

#include "platform/mfc/afxwin.h"
#include "app/OfficeTolvexDoc.h"

IMPLEMENT_DYNCREATE(CScribbleView, CScrollView)

BEGIN_MESSAGE_MAP(CScribbleView, CScrollView)
  ON_WM_LBUTTONDOWN()
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONUP()
  ON_WM_SETCURSOR()
  ON_WM_MOUSEACTIVATE()
END_MESSAGE_MAP()

CScribbleView::CScribbleView() = default;

BOOL CScribbleView::CreateInWindow(CWnd* placeholder, COfficeTolvexDoc* doc) {
  m_pDoc = doc;
  if (!placeholder || !placeholder->GetSafeHwnd()) return FALSE;
  CRect client;
  placeholder->GetClientRect(&client);
  return Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, client, placeholder, 0);
}

void CScribbleView::SetPenColour(COLORREF colour) {
  m_crColour = colour;
  if (m_pDoc) m_pDoc->ReplacePen(colour);
}

void CScribbleView::OnInitialUpdate() {
  CRect window;
  GetWindowRect(&window);
  SetScaleToFitSize(CSize(window.Width(), window.Height()));
  CScrollView::OnInitialUpdate();
}

void CScribbleView::OnUpdate(CView* /*pSender*/, LPARAM /*lHint*/, CObject* pHint) {
  if (auto* stroke = dynamic_cast<CStroke*>(pHint)) {
    CClientDC dc(this);
    OnPrepareDC(&dc);
    CRect rect = stroke->GetBoundingRect();
    dc.LPtoDP(&rect);
    InvalidateRect(&rect, TRUE);
    return;
  }
  Invalidate(TRUE);
}

void CScribbleView::OnDraw(CDC* pDC) {
  if (!m_pDoc) return;
  if (m_pDoc->HasImage()) {
    // The picture sits unscaled at the logical origin.
    CRect picture(0, 0, m_pDoc->GetImageWidth(), m_pDoc->GetImageHeight());
    m_pDoc->PaintImage(pDC->GetSafeHdc(), &picture, &picture);
  }
  CRect clip;
  pDC->GetClipBox(&clip);
  POSITION pos = m_pDoc->m_strokeList.GetHeadPosition();
  while (pos) {
    CStroke* stroke = m_pDoc->m_strokeList.GetNext(pos);
    CRect overlap;
    if (!overlap.IntersectRect(stroke->GetBoundingRect(), &clip)) continue;
    stroke->DrawStroke(pDC, m_crColour);
  }
}

CPoint CScribbleView::ToLogical(CDC& dc, CPoint point) {
  OnPrepareDC(&dc);
  dc.DPtoLP(&point);
  return point;
}

void CScribbleView::LineToPoint(CDC& dc, CPoint point) {
  CPen* old = dc.SelectObject(m_pDoc->GetCurrentPen());
  dc.MoveTo(m_ptPrev);
  dc.LineTo(point);
  dc.SelectObject(old);
}

void CScribbleView::OnLButtonDown(UINT /*nFlags*/, CPoint point) {
  if (m_bReadOnly || !m_pDoc) return;
  CClientDC dc(this);
  point = ToLogical(dc, point);
  m_pStrokeCur = m_pDoc->NewStroke();
  m_pStrokeCur->m_pointArray.Add(point);
  SetCapture();
  m_ptPrev = point;
}

void CScribbleView::OnMouseMove(UINT /*nFlags*/, CPoint point) {
  if (m_bReadOnly || !m_pDoc || !m_pStrokeCur || GetCapture() != this) return;
  CClientDC dc(this);
  point = ToLogical(dc, point);
  m_pStrokeCur->m_pointArray.Add(point);
  LineToPoint(dc, point);
  m_ptPrev = point;
}

void CScribbleView::OnLButtonUp(UINT /*nFlags*/, CPoint point) {
  if (m_bReadOnly || !m_pDoc || !m_pStrokeCur || GetCapture() != this) return;
  CClientDC dc(this);
  point = ToLogical(dc, point);
  LineToPoint(dc, point);
  m_pStrokeCur->m_pointArray.Add(point);
  m_pStrokeCur->FinishStroke();
  m_pStrokeCur = nullptr;
  ReleaseCapture();
}

BOOL CScribbleView::OnSetCursor(CWnd* /*pWnd*/, UINT /*nHitTest*/, UINT /*message*/) {
  HCURSOR pen = AfxGetApp() ? AfxGetApp()->LoadCursor(135) : nullptr;
  ::SetCursor(pen ? pen : ::LoadCursor(nullptr, IDC_ARROW));
  return TRUE;
}

int CScribbleView::OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message) {
  // A view inside a dialog has no frame to activate.
  return CWnd::OnMouseActivate(pDesktopWnd, nHitTest, message);
}
