// Bitmap files: the platform's BMP loader, and the framework DIB class reading a file and painting it, the
// same size and stretched.
#include "dib_view.h"
#include "platform/ui/ui.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (HBITMAP b = kx::CreateBitmapFromBmpFile(data, size)) {
    BITMAP bm{};
    GetObject(b, sizeof bm, &bm);
    DeleteObject(b);
  }
  kxfuzz::ReadAndPaintDib(data, size);
  return 0;
}
