// The library's one application object; the loader's attach entry starts it.
#include "app/BrinmoorApp.h"

namespace {
CBrinmoorApp theApp;
}
