// Zip archives: opened read-only from a file, every entry's header read and every entry tested (decompressed
// and checked, encrypted ones with a password), nothing written.
#include "platform/mfc/exceptions.h"
#include "support.h"
#include "zip/ZipArchive.h"
#include "zip/ZipException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = kxfuzz::CleanDir("zip") + "/input.zip";
  if (!kxfuzz::WriteBytes(path, data, size)) return 0;
  CZipArchive zip;
  bool failed = false;
  try {
    zip.Open(path.c_str(), CZipArchive::zipOpenReadOnly);
    zip.SetPassword("secret");
    for (int i = 0; i < zip.GetCount(); ++i) {
      CZipFileHeader h;
      zip.GetFileInfo(h, static_cast<WORD>(i));
      h.GetSystemAttr();
      zip.TestFile(static_cast<WORD>(i));
    }
  } catch (CException* e) {
    e->Delete();
    failed = true;
  }
  try {
    zip.Close(failed);
  } catch (CException* e) {
    e->Delete();
    try {
      zip.Close(true);
    } catch (CException* again) {
      again->Delete();
    }
  }
  return 0;
}
