// The self-extractor's work on an open package: reading its trailer and extracting every entry into a folder.
// Kept apart from the stub's main so that the package parser can be driven with any bytes.
#pragma once

#include <cstdint>
#include <string>

namespace kx::sfx {

// Extracts the package open as `package` (its length in bytes) into folder; the stub's exit status: 0 when
// every entry was extracted (or there are none), 1 when the bytes are no package or a damaged one, 2 when
// some entry was not extracted. Extracted names are printed on stdout, failures on stderr.
int ExtractPackage(int package, uint64_t length, const std::string& folder);

}  // namespace kx::sfx
