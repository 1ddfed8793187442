// The Signer Wizard's signing pages: signing time, signature picture, legal statement and drawing pad.
#include "signatures/signatures_test.h"
