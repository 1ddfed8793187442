#include "signing/OfficeTolvexDoc.h"

IMPLEMENT_SERIAL(CStroke, CObject, 2)
IMPLEMENT_DYNCREATE(COfficeTolvexDoc, CDocument)

CStroke::CStroke(UINT penWidth) : m_nPenWidth(penWidth) { m_rectBounding.SetRectEmpty(); }

void CStroke::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << static_cast<LONG>(m_rectBounding.left) << static_cast<LONG>(m_rectBounding.top)
       << static_cast<LONG>(m_rectBounding.right) << static_cast<LONG>(m_rectBounding.bottom)
       << static_cast<WORD>(m_nPenWidth);
    ar.WriteCount(static_cast<DWORD_PTR>(m_pointArray.GetSize()));
    for (INT_PTR i = 0; i < m_pointArray.GetSize(); ++i)
      ar << static_cast<LONG>(m_pointArray[i].x) << static_cast<LONG>(m_pointArray[i].y);
    return;
  }
  LONG l = 0, t = 0, r = 0, b = 0;
  WORD width = 0;
  ar >> l >> t >> r >> b >> width;
  m_rectBounding.SetRect(l, t, r, b);
  m_nPenWidth = width;
  DWORD_PTR count = ar.ReadCount();
  m_pointArray.RemoveAll();
  for (DWORD_PTR i = 0; i < count; ++i) {
    LONG x = 0, y = 0;
    ar >> x >> y;
    m_pointArray.Add(CPoint(x, y));
  }
}

COfficeTolvexDoc::~COfficeTolvexDoc() { DeleteContents(); }

BOOL COfficeTolvexDoc::OnNewDocument() {
  if (!CDocument::OnNewDocument()) return FALSE;
  InitDocument();
  return TRUE;
}

void COfficeTolvexDoc::DeleteContents() {
  while (!m_strokeList.IsEmpty()) delete m_strokeList.RemoveHead();
  CDocument::DeleteContents();
}

void COfficeTolvexDoc::SetTitle(LPCSTR) { CDocument::SetTitle(nullptr); }

void COfficeTolvexDoc::Serialize(CArchive& ar) { ar.IsStoring(); }

void COfficeTolvexDoc::InitDocument() {
  m_bThickPen = FALSE;
  m_nThinWidth = 2;
  m_nThickWidth = 5;
  ReplacePen(m_crPenColour);
  m_sizeDoc = CSize(800, 900);
  SetTitle(nullptr);
}

CStroke* COfficeTolvexDoc::NewStroke() {
  auto* stroke = new CStroke(m_nPenWidth);
  m_strokeList.AddTail(stroke);
  SetModifiedFlag(TRUE);
  return stroke;
}

void COfficeTolvexDoc::ReplacePen(COLORREF colour) {
  m_crPenColour = colour;
  m_nPenWidth = m_bThickPen ? m_nThickWidth : m_nThinWidth;
  m_penCur.DeleteObject();
  m_penCur.CreatePen(PS_SOLID, static_cast<int>(m_nPenWidth), m_crPenColour);
}
