// The work of the user set-up wizard, on the finish page's worker thread: the user's certificate (one the user
// picks when it exists, else a new one from the enrolment service or made locally), the mail profile, its three
// one-click presets and their copies in the user's one-click folder. The steps are marked on the finish page.
#pragma once

#include "platform/mfc/cstring.h"

class CUserProfileSetupWizard;
class CUsrSetupFinishPage;

// The finish page's worker; its argument is the wizard. Returns 0.
UINT UserSetupThread(LPVOID sheet);
// The set-up run; nothing happens without the sheet.
void RunUserSetup(CUsrSetupFinishPage* page, CUserProfileSetupWizard* sheet);
// Obtains a new certificate for the profile's user into the page's user certificate; false when none was made
// (the user has been told why).
bool CreateUserCertificate(CUsrSetupFinishPage& page, CUserProfileSetupWizard& sheet);

namespace kx::usersetup {

// The subject a new certificate gets: with the enrolment service the e-mail address and the name; without it a
// demonstration name of the same user. Values are quoted wherever they would change the name's structure.
CString ServiceSubject(const CString& fullName, const CString& address);
CString LocalSubject(const CString& fullName, const CString& address);
// Where a preset is copied in the one-click folder: full name + "_" + address, then the preset's file name
// without its extension, then ".CLK"; the dots and every character a file name cannot hold become "_".
CString PresetCopyPath(const CString& folder, const CString& fullName, const CString& address, const CString& preset);

}  // namespace kx::usersetup
