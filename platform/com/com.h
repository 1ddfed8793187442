// The platform's object model in one include: GUIDs, IUnknown, IDispatch, BSTR, VARIANT, SAFEARRAY, OLE
// dates, error information, the class registry and the compiler-style support classes.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/combase.h"
#include "platform/com/comutil.h"
#include "platform/com/guid.h"
#include "platform/com/oleauto.h"
#include "platform/com/unknwn.h"
