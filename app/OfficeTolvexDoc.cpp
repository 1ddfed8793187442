#include "app/OfficeTolvexDoc.h"

#include <cstring>

#include "app/ResString.h"
#include "controls/ColourPicker.h"
#include "platform/mfc/afxwin.h"
#include "platform/mfc/cfile.h"
#include "platform/win32/files.h"
#include "platform/win32/heap.h"

IMPLEMENT_SERIAL(CStroke, CObject, 2)
IMPLEMENT_DYNCREATE(COfficeTolvexDoc, CDocument)

// ---- strokes ----

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

BOOL CStroke::DrawStroke(CDC* pDC, COLORREF colour) {
  CPen pen;
  if (!pDC || !pen.CreatePen(PS_SOLID, static_cast<int>(m_nPenWidth), colour)) return FALSE;
  CPen* old = pDC->SelectObject(&pen);
  if (m_pointArray.GetSize() > 0) {
    pDC->MoveTo(m_pointArray[0]);
    for (INT_PTR i = 1; i < m_pointArray.GetSize(); ++i) pDC->LineTo(m_pointArray[i]);
  }
  pDC->SelectObject(old);
  return TRUE;
}

void CStroke::FinishStroke() {
  if (m_pointArray.GetSize() == 0) {
    m_rectBounding.SetRectEmpty();
    return;
  }
  CPoint first = m_pointArray[0];
  m_rectBounding.SetRect(first.x, first.y, first.x, first.y);
  for (INT_PTR i = 1; i < m_pointArray.GetSize(); ++i) {
    const CPoint& p = m_pointArray[i];
    m_rectBounding.left = std::min(m_rectBounding.left, p.x);
    m_rectBounding.right = std::max(m_rectBounding.right, p.x);
    m_rectBounding.top = std::min(m_rectBounding.top, p.y);
    m_rectBounding.bottom = std::max(m_rectBounding.bottom, p.y);
  }
  const int width = static_cast<int>(m_nPenWidth);
  m_rectBounding.InflateRect(width, width);
}

// ---- the document ----

BEGIN_MESSAGE_MAP(COfficeTolvexDoc, CDocument)
  ON_COMMAND(ID_EDIT_CLEAR_ALL, ClearAll)
  ON_COMMAND(ID_PEN_THICK_OR_THIN, TogglePenThickness)
  ON_COMMAND(ID_PEN_WIDTHS, EditPenWidths)
  ON_UPDATE_COMMAND_UI(ID_EDIT_CLEAR_ALL, UpdateClearAllCommand)
  ON_UPDATE_COMMAND_UI(ID_PEN_THICK_OR_THIN, UpdateThickPenCommand)
END_MESSAGE_MAP()

COfficeTolvexDoc::COfficeTolvexDoc() { ReplacePen(m_crPenColour); }

COfficeTolvexDoc::~COfficeTolvexDoc() { DeleteContents(); }

void COfficeTolvexDoc::Serialize(CArchive& ar) { ar.IsStoring(); }

void COfficeTolvexDoc::SetTitle(LPCSTR) { CDocument::SetTitle(nullptr); }

void COfficeTolvexDoc::DeleteContents() {
  while (!m_strokeList.IsEmpty()) delete m_strokeList.RemoveHead();
  CDocument::DeleteContents();
}

BOOL COfficeTolvexDoc::OnNewDocument() {
  if (!CDocument::OnNewDocument()) return FALSE;
  InitDocument();
  return TRUE;
}

BOOL COfficeTolvexDoc::OnOpenDocument(LPCSTR lpszPathName) { return CDocument::OnOpenDocument(lpszPathName) ? TRUE : FALSE; }

BOOL COfficeTolvexDoc::OnSaveDocument(LPCSTR lpszPathName) { return CDocument::OnSaveDocument(lpszPathName); }

void COfficeTolvexDoc::OnCloseDocument() {
  SetModifiedFlag(FALSE);
  CDocument::OnCloseDocument();
}

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

BOOL COfficeTolvexDoc::OpenImage(LPCSTR path, bool clear) {
  if (!OnOpenDocument(path)) return FALSE;
  CFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error)) {
    ReportSaveLoadException(path, &error, FALSE, AFX_IDP_FAILED_TO_OPEN_DOC);
    return FALSE;
  }
  if (clear) DeleteContents();
  BeginWaitCursor();
  try {
    m_dib.Read(&file);
  } catch (CFileException* e) {
    file.Abort();
    EndWaitCursor();
    ReportSaveLoadException(path, e, FALSE, AFX_IDP_FAILED_TO_OPEN_DOC);
    e->Delete();
    return FALSE;
  }
  EndWaitCursor();
  if (!m_dib.IsValid()) {
    AfxMessageBox(LoadResString(131), MB_OK);
    return FALSE;
  }
  SetPathName(path, TRUE);
  SetModifiedFlag(FALSE);
  return TRUE;
}

void COfficeTolvexDoc::ClearAll() {
  DeleteContents();
  SetModifiedFlag(TRUE);
  m_dib.Free();
}

void COfficeTolvexDoc::TogglePenThickness() {
  m_bThickPen = !m_bThickPen;
  ReplacePen(m_crPenColour);
}

void COfficeTolvexDoc::EditPenWidths() {
  PenWidthsDialog dialog;
  dialog.m_nThinWidth = m_nThinWidth;
  dialog.m_nThickWidth = m_nThickWidth;
  if (dialog.DoModal() != IDOK) return;
  m_nThinWidth = dialog.m_nThinWidth;
  m_nThickWidth = dialog.m_nThickWidth;
  ReplacePen(m_crPenColour);
}

void COfficeTolvexDoc::UpdateClearAllCommand(CCmdUI* pCmdUI) { pCmdUI->Enable(!m_strokeList.IsEmpty()); }

void COfficeTolvexDoc::UpdateThickPenCommand(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bThickPen ? 1 : 0); }

// ---- the pen widths dialog ----

BEGIN_MESSAGE_MAP(PenWidthsDialog, CDialog)
  ON_BN_CLICKED(IDC_DEFAULTS, OnDefaultPenWidths)
END_MESSAGE_MAP()

PenWidthsDialog::PenWidthsDialog(CWnd* pParent) : CDialog(IDD, pParent) {}

void PenWidthsDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_THIN, m_nThinWidth);
  DDV_MinMaxUInt(pDX, m_nThinWidth, 1, 20);
  DDX_Text(pDX, IDC_THICK, m_nThickWidth);
  DDV_MinMaxUInt(pDX, m_nThickWidth, 1, 20);
}

void PenWidthsDialog::OnDefaultPenWidths() {
  m_nThinWidth = 2;
  m_nThickWidth = 5;
  UpdateData(FALSE);
}

// ---- window capture ----

namespace {

constexpr DWORD kInfoSize = sizeof(BITMAPINFOHEADER);
constexpr DWORD kTableSize = 256 * sizeof(RGBQUAD);

}  // namespace

HGLOBAL ConvertBitmapToDib(HBITMAP bitmap, HPALETTE palette) {
  BITMAP bm{};
  if (!bitmap || !GetObject(bitmap, sizeof bm, &bm)) return nullptr;
  BITMAPINFOHEADER header{};
  header.biSize = kInfoSize;
  header.biWidth = bm.bmWidth;
  header.biHeight = bm.bmHeight;
  header.biPlanes = 1;
  header.biBitCount = 8;
  header.biCompression = BI_RGB;
  if (!palette) palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));

  HDC screen = GetDC(nullptr);
  HPALETTE oldPalette = SelectPalette(screen, palette, FALSE);
  RealizePalette(screen);
  auto release = [&] {
    SelectPalette(screen, oldPalette, FALSE);
    ReleaseDC(nullptr, screen);
  };

  HGLOBAL block = GlobalAlloc(GMEM_FIXED, kInfoSize + kTableSize);
  if (!block) {
    release();
    return nullptr;
  }
  auto* info = static_cast<BITMAPINFO*>(GlobalLock(block));
  std::memcpy(&info->bmiHeader, &header, kInfoSize);
  // First call: the header and colour table only.
  GetDIBits(screen, bitmap, 0, static_cast<UINT>(header.biHeight), nullptr, info, DIB_RGB_COLORS);
  header = info->bmiHeader;
  if (header.biSizeImage == 0)
    header.biSizeImage = ((static_cast<DWORD>(header.biWidth) * 8 + 31) & ~31u) / 8 * static_cast<DWORD>(header.biHeight);
  GlobalUnlock(block);

  HGLOBAL grown = GlobalReAlloc(block, kInfoSize + kTableSize + header.biSizeImage, GMEM_MOVEABLE);
  if (!grown) {
    GlobalFree(block);
    release();
    return nullptr;
  }
  block = grown;
  info = static_cast<BITMAPINFO*>(GlobalLock(block));
  BYTE* bits = reinterpret_cast<BYTE*>(info) + kInfoSize + kTableSize;
  int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(header.biHeight), bits, info, DIB_RGB_COLORS);
  GlobalUnlock(block);
  release();
  if (rows == 0) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

BOOL WriteDibFile(LPCSTR path, HGLOBAL dib) {
  if (!dib) return FALSE;
  const auto* info = static_cast<const BITMAPINFOHEADER*>(GlobalLock(dib));
  const DWORD blockSize = kInfoSize + kTableSize + info->biSizeImage;
  BITMAPFILEHEADER fileHeader{};
  fileHeader.bfType = 0x4D42;  // "BM"
  fileHeader.bfSize = sizeof(BITMAPFILEHEADER) + blockSize;
  fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + kInfoSize + kTableSize;
  BOOL written = FALSE;
  CFile file;
  if (path && file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) {
    try {
      file.Write(&fileHeader, sizeof fileHeader);
      file.Write(info, blockSize);
      file.Close();
      written = TRUE;
    } catch (CFileException* e) {
      e->Delete();
      file.Abort();
    }
    // A file that could not be written whole is no picture: nothing is left behind.
    if (!written) DeleteFile(path);
  }
  GlobalUnlock(dib);
  GlobalFree(dib);
  return written;
}

BOOL WriteWindowToDib(LPCSTR path, CWnd* window) {
  if (!window || !window->GetSafeHwnd()) return FALSE;
  CRect rect;
  window->GetWindowRect(&rect);
  CWindowDC windowDC(window);
  CDC memoryDC;
  CBitmap bitmap;
  if (!memoryDC.CreateCompatibleDC(&windowDC) ||
      !bitmap.CreateCompatibleBitmap(&windowDC, rect.Width(), rect.Height()))
    return FALSE;
  CBitmap* old = memoryDC.SelectObject(&bitmap);
  memoryDC.BitBlt(0, 0, rect.Width(), rect.Height(), &windowDC, 0, 0, SRCCOPY);
  memoryDC.SelectObject(old);

  CPalette palette;
  if (windowDC.GetDeviceCaps(RASTERCAPS) & RC_PALETTE) {
    // The first 255 entries of the system palette.
    const UINT size = sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY);
    std::vector<BYTE> storage(size, 0);
    auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(GetSystemPaletteEntries(windowDC, 0, 255, logical->palPalEntry));
    palette.CreatePalette(logical);
  }
  HGLOBAL dib = ConvertBitmapToDib(bitmap, static_cast<HPALETTE>(palette.GetSafeHandle()));
  return dib ? WriteDibFile(path, dib) : FALSE;
}

void DDX_ColourButton(CDataExchange* pDX, int nIDC, COLORREF& colour) { DDX_ColourPicker(pDX, nIDC, colour); }
