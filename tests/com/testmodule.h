// The interface of the test module's class.
#pragma once

#include "platform/com/unknwn.h"

struct ICounter : IUnknown {
  STDMETHOD(Next)(LONG* value) = 0;
};
KX_DEFINE_IID(ICounter, "6C5D8A10-2E41-4B7A-9C3F-0D1E2F3A4B5C");
KX_DEFINE_GUID(CLSID_ModuleCounter, "6C5D8A11-2E41-4B7A-9C3F-0D1E2F3A4B5C");
