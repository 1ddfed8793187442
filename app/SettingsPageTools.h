// Small helpers that the settings, enrolment and certificate pages share.
#pragma once

#include "platform/mfc/afxwin.h"

// Loads the machine's security policy and, when it loaded, locks the page's controls (static texts aside)
// while the switch is off; with unlockWhenOn it also unlocks them while the switch is on. Whether the page is
// locked now.
bool ApplyPolicySwitch(CWnd* page, int switchIndex, bool unlockWhenOn);
// Fills the combo box with the lines of a resource string (one item a line), after emptying it.
void FillComboFromString(CWnd* combo, UINT stringId);
// Whether the platform is of the NT family (the page file and the administrators group exist there).
bool IsNtPlatform();
// Enables or disables a control of the dialog by id.
void EnableDlgControl(CWnd* dialog, int id, BOOL enable);
// Opens the platform's Internet options through the shell's automation object; tells resource string 495
// when the shell does not offer them.
void ShowInternetOptions(CWnd* owner);
// The look of the pages' tool buttons: its icon, the hand cursor, the texture, blue text, flat.
class CTextureButton;
void SetUpTextureButton(CTextureButton& button, UINT iconId);
