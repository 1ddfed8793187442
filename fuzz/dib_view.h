// Reads a bitmap file's bytes with the framework DIB class and paints it, as the drawing view shows a picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kxfuzz {

void ReadAndPaintDib(const uint8_t* data, size_t size);

}  // namespace kxfuzz
