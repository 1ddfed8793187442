// The user's documents folder and the one-click preset folder below it.
#pragma once

#include "platform/mfc/cstring.h"

// The documents folder ("Personal" of the user's shell folders, the Windows folder when there is none).
CString GetDocumentsFolder();
// Records "<documents>/My OneClick Settings" as value OneClickFolder of the user's key
// "Software\Kesmora\OfficeTolvex\OneClickManager" and returns it; without a documents folder nothing is
// recorded and the text is empty.
CString RecordOneClickFolder(const CString& documents);
