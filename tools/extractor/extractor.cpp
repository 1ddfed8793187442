// The suite's self-extractor stub. A package is this program followed by one zlib stream per file and the
// trailer that indexes them; run, the package extracts its files into a folder:
//     <package> [--] [folder]   (the current folder by default; -h or --help prints the use)
// A file that already exists there is kept, and the entry is reported as not extracted. Each file reaches
// its name only once it is complete and its size checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/extractor/extract.h"

namespace {

void PrintUse(FILE* to, const char* self) {
  fprintf(to,
          "Use: %s [folder]\n"
          "Extracts the files of this package into the folder (the current folder by default).\n"
          "A file that already exists there is kept.\n"
          "  -h, --help   show this text\n"
          "  --           the next argument is the folder, even if it starts with '-'\n",
          self);
}

}  // namespace

int main(int argc, char** argv) {
  const char* self = argc > 0 && argv[0] ? argv[0] : "package";
  std::string folder = ".";
  bool named = false, options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && (arg == "-h" || arg == "--help")) {
      PrintUse(stdout, self);
      return 0;
    }
    if (options && arg == "--") {
      options = false;
      continue;
    }
    // An unknown option is never taken for a folder to write into.
    if ((options && arg.size() > 1 && arg[0] == '-') || named) {
      fprintf(stderr, named ? "%s: only one folder may be given: %s\n" : "%s: unknown option: %s\n", self,
              arg.c_str());
      PrintUse(stderr, self);
      return 2;
    }
    folder = arg;
    named = true;
  }
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
