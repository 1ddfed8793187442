// Where the platform keeps its state. KESMORA_ROOT relocates all of it (every test case has its own).
#pragma once

#include <functional>
#include <string>

#include "platform/win32/types.h"

namespace kx {

// The state root when KESMORA_ROOT is set, else empty.
KXAPI std::string StateRootOverride();
// Folder of the per-user state (registry hive, certificate stores, keys); created on demand.
KXAPI std::string UserStateDir();
// Folder of the machine state (machine hive, machine stores); created on demand when writable.
KXAPI std::string MachineStateDir();
// The user's documents folder ("Personal").
KXAPI std::string DocumentsDir();
// The temporary folder, with a trailing separator.
KXAPI std::string TempDir();
// The platform's "Windows folder" (GetWindowsDirectory): a folder of ours in the user state.
KXAPI std::string WindowsDir();
// Per-user cache folder (the URL cache lives here).
KXAPI std::string CacheDir();

// Caches that depend on the state root (open registry databases, store indexes) register here and are
// dropped when a test moves the root.
KXAPI void OnStateRootChanged(const std::function<void()>& callback);
KXAPI void NotifyStateRootChanged();

}  // namespace kx
