// The user's documents folder and the one-click preset folder below it.
#pragma once

#include "platform/mfc/cstring.h"

// The documents folder ("Personal" of the user's shell folders, the Windows folder when there is none).
CString GetDocumentsFolder();
// Records "<documents>/My OneClick Settings" as value OneClickFolder of "Software\Kesmora\OfficeTolvex\
// OneClickManager" and returns it; nothing is recorded (and an empty text returned) without a documents folder.
CString RecordOneClickFolder(const CString& documents);
