// The platform C runtime's pseudo-random generator, for drawing code only (keys, salts and secrets come from
// the operating system's random source).
//
// It is named kx_rand/kx_srand rather than rand/srand: the C library's own rand is declared by <cstdlib>,
// which almost every file includes, and a macro or a second definition of that name would change what unrelated
// code (and libraries) get. Code that the platform's rand sequence matters to calls these by name.
#pragma once

#include "platform/win32/types.h"

#define KX_RAND_MAX 0x7FFF

// state = state * 214013 + 2531011; result (state >> 16) & 0x7FFF. Each thread has its own state, seeded 1.
KXAPI int kx_rand();
KXAPI void kx_srand(unsigned seed);
