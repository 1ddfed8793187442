// What the harnesses share: a private state root (registry hive, stores, temporary files) for the process,
// removed at exit, and the fuzzer's entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace kxfuzz {

// The process's own folder under a fresh KESMORA_ROOT (made on the first call); every platform state lands
// under it.
const std::string& Root();
// An empty folder of the root for one input's files (emptied again on each call with the same name).
std::string CleanDir(const std::string& name);
// Writes bytes to path (replacing it); false when it cannot.
bool WriteBytes(const std::string& path, const uint8_t* data, size_t size);

}  // namespace kxfuzz
