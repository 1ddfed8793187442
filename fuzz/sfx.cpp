// Self-extracting packages: the package reader's trailer (as the package builder reads a package back) and
// the extractor stub's whole run, its files written into a folder emptied for each input.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "archives/SfxArchive.h"
#include "support.h"
#include "tools/extractor/extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = kxfuzz::CleanDir("sfx") + "/package.exe";
  if (!kxfuzz::WriteBytes(path, data, size)) return 0;
  CSfxArchive reader;
  if (reader.ReadTrailer(path.c_str()) == CSfxArchive::kDone)
    for (int i = 0; i < reader.GetCount(); ++i) reader.GetEntry(i);
  const std::string out = kxfuzz::CleanDir("sfx-out");
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  // The stub's messages are of no use here.
  FILE* savedOut = stdout;
  FILE* savedErr = stderr;
  static FILE* null = fopen("/dev/null", "w");
  stdout = stderr = null;
  kx::sfx::ExtractPackage(fd, size, out);
  stdout = savedOut;
  stderr = savedErr;
  close(fd);
  return 0;
}
