// The suite's self-extractor stub. A package is this program followed by one zlib stream per file and the
// trailer that indexes them; run, the package extracts its files into a folder:
//     <package> [folder]        (the current folder by default)
// A file that already exists there is kept, and the entry is reported as not extracted. Each file reaches
// its name only once it is complete and its size checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/extractor/extract.h"

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  int package = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (package < 0) package = open(argv[0], O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (package < 0 || fstat(package, &st) != 0) {
    fprintf(stderr, "cannot read this package\n");
    return 1;
  }
  const int status = kx::sfx::ExtractPackage(package, static_cast<uint64_t>(st.st_size), folder);
  close(package);
  return status;
}
