// The one-click presets of a mail profile: finding them in the profile's folder, and writing the three default
// ones (encrypt, sign, sign and encrypt) from a wizard's operation data.
#pragma once

#include "platform/mfc/cstring.h"

class CBaseKesmoraFile;
class CFileManager;
class CProtectWizardData;

namespace kx::usersetup {

// Preset kinds, as byte 0 of a preset's options block.
enum PresetKind : BYTE { kEncryptPreset = 0, kSignPreset = 1, kSignEncryptPreset = 2, kCountersignPreset = 3 };

// Initialises the manager and keeps every "*.clk" file of the folder in it; true when at least one was kept.
bool ScanPresets(CFileManager& files, const char* folder);
// The first kept preset whose options block says this kind; null when there is none of that kind.
CBaseKesmoraFile* FindPresetByKind(const CFileManager& files, BYTE kind);

// Writes a preset of the kind to the path from the operation data's certificates, cipher codes and payload
// entry; its name is address + "(" + kind word + ")" ("Encrypt", "Sign", "SignEncrypt"; a countersigning
// preset has no word). The operation data's mode and preset name are left as they were. False when it could not
// be written; nothing is left at the path then.
bool WritePreset(CProtectWizardData& data, BYTE kind, const CString& address, const CString& path);

}  // namespace kx::usersetup
