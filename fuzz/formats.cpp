// Protected files and the rest of the marker-keyed family: any image opened from memory, its entries read,
// a drawn signature inside an entry opened and painted as the summary page shows it, and the bytes read as a
// stream file (blocks and trailing object).
#include <memory>

#include "core/ByteBuffer.h"
#include "dib_view.h"
#include "formats/FileManager.h"
#include "formats/FileStream.h"
#include "formats/KesmoraFile.h"
#include "formats/SignatureFile.h"
#include "formats/TolvexBinaryFile.h"
#include "platform/com/combase.h"
#include "support.h"

namespace {

void ShowSignature(CBaseKesmoraFile* file) {
  auto* signature = dynamic_cast<CSignatureFile*>(file);
  if (signature && signature->m_image.GetLength())
    kxfuzz::ReadAndPaintDib(signature->m_image.GetData(), signature->m_image.GetLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    kxfuzz::Root();
    return SUCCEEDED(CoInitialize(nullptr));
  }();
  if (!started || size == 0) return 0;
  CFileManager manager;
  CByteBuffer buffer(static_cast<DWORD>(size), data, false);
  std::unique_ptr<CBaseKesmoraFile> file(manager.OpenBuffer(buffer, true, nullptr));
  ShowSignature(file.get());
  if (auto* p = dynamic_cast<CTolvexBinaryFileBase*>(file.get())) {
    PayloadEntry entry;
    for (DWORD e = 0; e < p->m_info.m_body.GetEntryCount(); ++e) {
      if (!p->m_info.m_body.GetEntry(e, entry) || entry.m_bFlag != 1 || !entry.m_buffer1.GetLength()) continue;
      CFileManager files;
      std::unique_ptr<CBaseKesmoraFile> drawn(files.OpenBuffer(entry.m_buffer1, true, nullptr));
      ShowSignature(drawn.get());
    }
  }
  // The same bytes as a stream file: its trailing object and its blocks.
  static const std::string path = kxfuzz::CleanDir("formats") + "/input.tvx";
  if (!kxfuzz::WriteBytes(path, data, size)) return 0;
  std::unique_ptr<CFileStream> stream(manager.OpenStream(path.c_str()));
  if (stream) {
    std::unique_ptr<CBaseKesmoraFile> object(stream->ReadTrailingObject());
    CByteBuffer block;
    for (int n = 0; n < 64 && stream->ReadUInt32Block(block); ++n) {
    }
  }
  return 0;
}
