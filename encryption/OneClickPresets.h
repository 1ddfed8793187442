// What the one-click runner, chooser and manager page share about the preset folder: where it is, how its
// presets are found, and how a preset file is named.
#pragma once

#include "platform/mfc/cstring.h"

class CFileManager;
class COneClickFile;
class CProtectWizardData;

namespace kx::oneclick {

// The folder of the user's value OneClickFolder ("Software\Kesmora\OfficeTolvex\OneClickManager"); empty when
// it is not set.
CString PresetFolder();
// Lists the preset folder and keeps every "*.clk" file of it, opened whole, in the manager (reset first); the
// number of presets kept (0 when the folder is not set or cannot be listed).
int ScanPresetFolder(CFileManager& files);
// "KX_ONECLICK_" + number + ".clk" in the folder.
CString PresetPath(const CString& folder, DWORD number);
// The preset file at the path, or null when it cannot be read or is no preset.
COneClickFile* OpenPreset(CFileManager& files, const char* path);
// Records the set-up of a wizard's operation data (modes 0 to 3) in a new preset: the operation kind, the
// description, the cipher codes, the signature record and the signer and recipient certificates with their
// texts. False when the mode is no preset operation or the certificates cannot be recorded.
bool FillPreset(COneClickFile& preset, const CProtectWizardData& data);

}  // namespace kx::oneclick
