// An off-screen device context: drawing goes into a bitmap of the painted rectangle, in the target's own
// coordinates, and the destructor copies it to the target in one piece. On a printing target it draws straight
// to the target.
#pragma once

#include "platform/mfc/gdiobj.h"

class CMemoryDC : public CDC {
 public:
  explicit CMemoryDC(CDC* pDC);
  // rect null: the target's clip box. copyBackground: the target's pixels under the rectangle come first.
  CMemoryDC(CDC* pDC, const CRect* rect, BOOL copyBackground = FALSE);
  ~CMemoryDC() override;
  CMemoryDC(const CMemoryDC&) = delete;
  CMemoryDC& operator=(const CMemoryDC&) = delete;

  const CRect& GetRect() const { return m_rect; }
  BOOL IsOffScreen() const { return m_bMemDC; }

 private:
  void Build(const CRect* rect, BOOL copyBackground);

  CBitmap m_bitmap;
  CBitmap* m_oldBitmap = nullptr;
  CDC* m_pDC;
  CRect m_rect;
  BOOL m_bMemDC;
};
