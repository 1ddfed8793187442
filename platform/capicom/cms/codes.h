// Result codes of the message objects beyond the engine's own table, with the platform's documented values.
#pragma once

#include "platform/capicom/capicom_defs.h"

namespace kxcms {

constexpr HRESULT NTE_BAD_DATA = KX_HR(0x80090005);       // wrong key or secret, or damaged encrypted content
constexpr HRESULT NTE_BAD_SIGNATURE = KX_HR(0x80090006);  // a signature does not match its signed attributes
constexpr HRESULT CRYPT_E_HASH_VALUE = KX_HR(0x80091007); // the content is not the content that was signed
constexpr HRESULT CRYPT_E_UNKNOWN_ALGO = KX_HR(0x80091002);  // the message names an algorithm not known here

}  // namespace kxcms
