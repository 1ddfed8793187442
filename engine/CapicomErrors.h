// Texts of engine result codes, and a description of a VARIANT's type for diagnostic text.
#pragma once

#include "core/BstrString.h"
#include "platform/com/oleauto.h"

// The sentence for an engine result code; every code gets one.
CBstrString GetCapicomErrorMessage(HRESULT hr);
// A null pointer raises a COM error with E_POINTER.
CBstrString VariantTypeToString(const VARIANT* value);
