// Small pieces the drawing controls share.
#pragma once

#include <algorithm>
#include <cstring>

#include "platform/mfc/cstring.h"

// Copies at most size - 1 characters and a terminator into the buffer; returns the characters copied.
inline LRESULT CopyControlText(const CString& text, WPARAM size, LPARAM buffer) {
  auto* out = reinterpret_cast<char*>(buffer);
  if (!out || size == 0) return 0;
  const size_t n = std::min(static_cast<size_t>(size) - 1, static_cast<size_t>(text.GetLength()));
  memcpy(out, text.GetString(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

// Pixels of [lower, value) on a bar of the extent for the range [lower, upper]; 0 for an empty range. Worked out
// in 64 bits, so that any 32-bit range works.
inline int RangePixels(long long value, int lower, int upper, int extent) {
  if (upper <= lower) return 0;
  const long long pixels = (value - lower) * extent / (static_cast<long long>(upper) - lower);
  return static_cast<int>(std::clamp<long long>(pixels, -0x7FFFFFFFLL, 0x7FFFFFFFLL));
}
