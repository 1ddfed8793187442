// The drawing document, its strokes and the window capture into an 8-bit bitmap file.
#include "signatures/signatures_test.h"
