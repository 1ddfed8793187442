#include "controls/MemoryDC.h"

CMemoryDC::CMemoryDC(CDC* pDC) : m_pDC(pDC), m_bMemDC(pDC && !pDC->IsPrinting()) { Build(nullptr, FALSE); }

CMemoryDC::CMemoryDC(CDC* pDC, const CRect* rect, BOOL copyBackground)
    : m_pDC(pDC), m_bMemDC(pDC && !pDC->IsPrinting()) {
  Build(rect, copyBackground);
}

void CMemoryDC::Build(const CRect* rect, BOOL copyBackground) {
  if (!m_pDC) return;
  if (rect) m_rect = *rect;
  else m_pDC->GetClipBox(&m_rect);
  if (m_bMemDC) {
    CreateCompatibleDC(m_pDC);
    m_bitmap.CreateCompatibleBitmap(m_pDC, m_rect.Width(), m_rect.Height());
    m_oldBitmap = SelectObject(&m_bitmap);
    SetWindowOrg(m_rect.left, m_rect.top);
    if (copyBackground)
      BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_pDC, m_rect.left, m_rect.top, SRCCOPY);
  } else {
    m_bPrinting = m_pDC->m_bPrinting;
    m_hDC = m_pDC->m_hDC;
    m_hAttribDC = m_pDC->m_hAttribDC;
  }
}

CMemoryDC::~CMemoryDC() {
  if (!m_pDC) return;
  if (m_bMemDC) {
    m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top, SRCCOPY);
    SelectObject(m_oldBitmap);
  } else {
    // The handles are the target's: the target releases them.
    m_hDC = nullptr;
    m_hAttribDC = nullptr;
  }
}
