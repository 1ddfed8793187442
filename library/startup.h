// The library's start-up as the export calls see it.
#pragma once

// Starts the library for an export call when no loader has; false, with the reason on standard error, when it
// cannot start.
bool LibraryStartedFor(const char* exportName);
