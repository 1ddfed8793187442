// The certificate dialog that the engine's Certificate.Display shows. The engine has no window of its own: the
// user interface that loads it registers its dialog here, and Display answers E_NOTIMPL while none is.
#pragma once

#include <cstddef>

#include "platform/win32/types.h"

namespace kx::capi {

// Shows the DER-encoded certificate modally; the dialog's own result code.
using CertificateDisplayFn = HRESULT (*)(const BYTE* der, std::size_t length);

// Registers the dialog (null: none); returns the one registered before.
KXAPI CertificateDisplayFn SetCertificateDisplay(CertificateDisplayFn fn);
KXAPI CertificateDisplayFn GetCertificateDisplay();

}  // namespace kx::capi
