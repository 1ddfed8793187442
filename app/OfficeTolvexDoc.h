// The drawing document of a hand-drawn signature: its pen strokes, the current pen and, optionally, a picture
// loaded from a bitmap file over which the user draws. A drawing leaves the document only as a picture: the
// window that shows it is captured into an 8-bit device-independent bitmap file.
#pragma once

#include "controls/Dib.h"
#include "platform/mfc/carchive.h"
#include "platform/mfc/collections.h"
#include "platform/mfc/dialog.h"
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

  // Draws the stroke with a pen of its own width in the given colour (a stroke keeps no colour); FALSE when
  // the pen cannot be made.
  BOOL DrawStroke(CDC* pDC, COLORREF colour);
  // The bounding rectangle of the points, grown by the whole pen width on every side; empty without points.
  void FinishStroke();
  CRect GetBoundingRect() const { return m_rectBounding; }

  UINT m_nPenWidth = 0;
  CArray<CPoint, CPoint> m_pointArray;
  CRect m_rectBounding;
};

class COfficeTolvexDoc : public CDocument {
  DECLARE_DYNCREATE(COfficeTolvexDoc)
 public:
  // Command ids of the drawing commands (the framework's "clear all", "thick pen" and "pen widths").
  enum { ID_EDIT_CLEAR_ALL = 57633, ID_PEN_THICK_OR_THIN = 57608, ID_PEN_WIDTHS = 57610 };

  // The pens and size of a new drawing are ready at once, also when no one calls OnNewDocument.
  COfficeTolvexDoc();
  ~COfficeTolvexDoc() override;

  // The document itself stores nothing: strokes leave it only as a picture.
  void Serialize(CArchive& ar) override;
  // The title stays empty whatever is given.
  void SetTitle(LPCSTR) override;
  BOOL IsModified() override { return m_bModified; }
  // Deletes every stroke, then the base contents; the picture stays.
  void DeleteContents() override;
  // The pens and the size of a new drawing; FALSE only when the base preparation fails.
  BOOL OnNewDocument() override;
  BOOL OnOpenDocument(LPCSTR lpszPathName) override;
  BOOL OnSaveDocument(LPCSTR lpszPathName) override;
  void OnCloseDocument() override;

  void InitDocument();
  // A new stroke of the current pen width at the end of the list; the document is modified.
  CStroke* NewStroke();
  // The pen of the current width (thick or thin) in the colour.
  void ReplacePen(COLORREF colour);
  CPen* GetCurrentPen() { return &m_penCur; }

  BOOL HasImage() const { return m_dib.IsValid(); }
  LONG GetImageWidth() const { return m_dib.Width(); }
  LONG GetImageHeight() const { return m_dib.Height(); }
  BOOL PaintImage(HDC hdc, const RECT* dest, const RECT* source) { return m_dib.Paint(hdc, dest, source); }
  // Loads a bitmap file as the picture (clear: the strokes go too); FALSE, after telling the user why, when
  // the file cannot be read or holds no bitmap.
  BOOL OpenImage(LPCSTR path, bool clear);

  // The drawing commands.
  void ClearAll();
  void TogglePenThickness();
  // The pen widths dialog; the widths change only on OK.
  void EditPenWidths();
  void UpdateClearAllCommand(CCmdUI* pCmdUI);
  void UpdateThickPenCommand(CCmdUI* pCmdUI);

  CTypedPtrList<CObList, CStroke*> m_strokeList{10};
  UINT m_nPenWidth = 2;
  BOOL m_bThickPen = FALSE;
  UINT m_nThinWidth = 2;
  UINT m_nThickWidth = 5;
  CPen m_penCur;
  COLORREF m_crPenColour = 0;
  CSize m_sizeDoc{800, 900};
  CDib m_dib;

  DECLARE_MESSAGE_MAP()
};

// The thin and thick pen widths, each 1 to 20.
class PenWidthsDialog : public CDialog {
 public:
  enum { IDD = 4218, IDC_THIN = 1000, IDC_THICK = 1001, IDC_DEFAULTS = 1002 };
  explicit PenWidthsDialog(CWnd* pParent = nullptr);

  UINT m_nThinWidth = 0;
  UINT m_nThickWidth = 0;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnDefaultPenWidths();
  DECLARE_MESSAGE_MAP()
};

// The picture of a window (its whole rectangle) as an 8-bit DIB file at path; FALSE when no file was written.
BOOL WriteWindowToDib(LPCSTR path, CWnd* window);
// A movable global block holding the 40-byte info header, the 256-entry colour table and the rows of the bitmap
// at 8 bits per pixel under the palette (the default one when null); NULL on failure.
HGLOBAL ConvertBitmapToDib(HBITMAP bitmap, HPALETTE palette);
// The 14-byte file header and the block; the block is freed. FALSE (and no file left) when the write fails.
BOOL WriteDibFile(LPCSTR path, HGLOBAL dib);

// Dialog data exchange of a colour picker's colour.
void DDX_ColourButton(CDataExchange* pDX, int nIDC, COLORREF& colour);
