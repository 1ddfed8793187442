#include "dib_view.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "controls/Dib.h"
#include "platform/mfc/cfile.h"
#include "platform/ui/ui.h"

namespace kxfuzz {

void ReadAndPaintDib(const uint8_t* data, size_t size) {
  std::vector<BYTE> copy(data, data + size);
  CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
  CDib dib;
  if (!dib.Read(&file)) return;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP canvas = CreateBitmap(32, 32, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, canvas);
  const LONG w = std::min<LONG>(dib.Width(), 64), h = std::min<LONG>(std::labs(dib.Height()), 64);
  const RECT source{0, 0, w, h}, same{0, 0, w, h}, stretched{0, 0, 32, 16};
  dib.Paint(dc, &same, &source);
  dib.Paint(dc, &stretched, &source);
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
}

}  // namespace kxfuzz
