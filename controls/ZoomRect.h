// The zoom of the small dialogs that open out of the control that opened them and close back into it.
#pragma once

#include "platform/mfc/afxwin.h"

// From the source rectangle to the window being created (nothing for an empty source).
void ZoomOpen(const CRect& source, const CWnd* window, const CREATESTRUCT* cs, bool byOutline);
// From the window back to the source rectangle (nothing for an empty source).
void ZoomClose(const CRect& source, const CWnd* window, bool byOutline);
// A zoom outline from one rectangle to another, drawn on the screen and erased again (R2_NOT).
void AnimateRect(const RECT* from, const RECT* to, DWORD delay);
