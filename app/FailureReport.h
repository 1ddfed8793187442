// How pages and workers report a failure: one error entry in the audit log, and, where a person waits for the
// answer, the engine's text in a message box. The platform below returns codes with their detail; the pages
// and workers make the sentences.
#pragma once

#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

class CWnd;

namespace kx {

// The engine's text for a failed call: the failing object's own description when it gave one, else the
// engine's sentence for the code.
CString EngineText(HRESULT hr);
CString EngineText(const _com_error& error);
// Writes an error entry (operation, text) to the audit log; the text.
CString LogFailure(const char* operation, const CString& text);
// Logs the failure and shows the text over the owner (a worker thread passes none: it logs only).
void ReportFailure(CWnd* owner, const char* operation, const CString& text);

}  // namespace kx
