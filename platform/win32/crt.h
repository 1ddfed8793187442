// The platform C runtime's functions that have no Linux twin: its pseudo-random generator and the path
// splitting of _splitpath/_fullpath.
#pragma once

#include "platform/win32/types.h"

// The generator is for drawing code only (keys, salts and secrets come from the operating system's random
// source). It is named kx_rand/kx_srand rather than rand/srand: the C library's own rand is declared by
// <cstdlib>, which almost every file includes, and a macro or a second definition of that name would change what
// unrelated code (and libraries) get. Code that the platform's rand sequence matters to calls these by name.
#define KX_RAND_MAX 0x7FFF
// state = state * 214013 + 2531011; result (state >> 16) & 0x7FFF. Each thread has its own state, seeded 1.
KXAPI int kx_rand();
KXAPI void kx_srand(unsigned seed);

#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256
// Splits a path into drive (always empty: paths have no drive letters), folder (up to and with the last
// "/"), name and extension (from the last "." of the name, with the dot). Any out pointer may be null; each
// part is cut to its _MAX_* size.
KXAPI void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
// The absolute form of a path (see GetFullPathName); null when it does not fit in maxLength or the path is
// empty. A null buffer gets a malloc'd one (free with free()).
KXAPI char* _fullpath(char* absPath, const char* relPath, size_t maxLength);
