#pragma once
// Version texts and the configuration's plain numbers.

#include <cstdint>
#include <string>

namespace quillon {

// Reads a decimal integer: leading spaces are skipped, a "-" negates and one "+" after it (or
// alone) is skipped, then digits are read up to the first other character. No digits give 0.
// Overlong numbers wrap around in 32 bits, as the configuration has always read them.
int32_t TextToInt(const std::wstring& text);

}  // namespace quillon
