// The drawing document of a hand-drawn signature: its pen strokes and the current pen.
#pragma once

#include "platform/mfc/carchive.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/docview.h"
#include "platform/mfc/gdiobj.h"
#include "platform/mfc/geometry.h"

class CStroke : public CObject {
  DECLARE_SERIAL(CStroke)
 public:
  CStroke() = default;
  explicit CStroke(UINT penWidth);
  // Bounding rectangle, 16-bit pen width, point count (the archive's count form), points.
  void Serialize(CArchive& ar) override;

  UINT m_nPenWidth = 0;
  CArray<CPoint, CPoint> m_pointArray;
  CRect m_rectBounding;
};

class COfficeTolvexDoc : public CDocument {
  DECLARE_DYNCREATE(COfficeTolvexDoc)
 public:
  COfficeTolvexDoc() = default;
  ~COfficeTolvexDoc() override;

  // The pens and the size of a new drawing; FALSE only when the base preparation fails.
  BOOL OnNewDocument() override;
  // Deletes every stroke, then the base contents.
  void DeleteContents() override;
  // The title stays empty whatever is given.
  void SetTitle(LPCSTR) override;
  BOOL IsModified() override { return m_bModified; }
  // The document itself stores nothing: strokes leave it only as a picture.
  void Serialize(CArchive& ar) override;

  void InitDocument();
  // A new stroke of the current pen width at the end of the list.
  CStroke* NewStroke();
  void ReplacePen(COLORREF colour);
  CPen* GetCurrentPen() { return &m_penCur; }

  CTypedPtrList<CObList, CStroke*> m_strokeList{10};
  UINT m_nPenWidth = 2;
  BOOL m_bThickPen = FALSE;
  UINT m_nThinWidth = 2;
  UINT m_nThickWidth = 5;
  CPen m_penCur;
  COLORREF m_crPenColour = 0;
  CSize m_sizeDoc{800, 900};
};
