// A C++ host that loads the library at run time: for each question on its command line it loads the library,
// asks with ShowMessageYesNo, unloads it again, and prints the answer and whether the library left the process.
#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <brinmoor/brinmoor.h>

namespace {

bool Mapped(const std::string& name) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(name) != std::string::npos) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file = std::string(BRINMOOR_LIBDIR) + "/" + BRINMOOR_LIBRARY;
  for (int i = 1; i < argc; ++i) {
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      fprintf(stderr, "cannot load %s: %s\n", file.c_str(), dlerror());
      return 3;
    }
    auto ask = reinterpret_cast<decltype(&ShowMessageYesNo)>(dlsym(library, "ShowMessageYesNo"));
    if (!ask) {
      fprintf(stderr, "no ShowMessageYesNo in %s\n", file.c_str());
      return 3;
    }
    int answer = 0;
    int result = ask(nullptr, argv[i], &answer);
    printf("result: %d answer: %d\n", result, answer);
    dlclose(library);
    printf("unloaded: %s\n", Mapped("libbrinmoor.so") ? "no" : "yes");
    fflush(stdout);
    if (result != 1) return result == BRINMOOR_NOT_STARTED ? 3 : 1;
  }
  return 0;
}
