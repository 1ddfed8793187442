// First-start registry defaults: every settings record of the suite is loaded (missing values take their
// defaults) and saved once, while the marker DWORD "RegisterDefault" of HKEY_CURRENT_USER
// "Software\Kesmora\OfficeTolvex" is missing or 1. Values already present stay as they are.
#pragma once

void RegisterDefault();
