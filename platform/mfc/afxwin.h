// The framework's window classes in one include (beside the value classes of mfc.h): module state and the
// application, command targets and message maps, CWnd, drawing, dialogs and data exchange, the control classes,
// menus, property sheets, documents and views, and the resource functions.
#pragma once

#include "platform/mfc/cmdtarget.h"
#include "platform/mfc/controls.h"
#include "platform/mfc/dialog.h"
#include "platform/mfc/docview.h"
#include "platform/mfc/gdiobj.h"
#include "platform/mfc/menu.h"
#include "platform/mfc/mfc.h"
#include "platform/mfc/propsheet.h"
#include "platform/mfc/resource.h"
#include "platform/mfc/winapp.h"
#include "platform/mfc/wnd.h"
