#include "controls/ctltest.h"
