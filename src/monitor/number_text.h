#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel {

// Reads the leading decimal integer of a typed text (after full-width folding and white space):
// optional sign, digits, 32-bit two's-complement wrap on overflow; no digits give 0.
[[nodiscard]] std::int32_t TextToInt(std::string_view text);

// Reads the leading decimal floating-point number of a typed text, independent of the locale:
// "." is the decimal point, e/E/d/D introduce the exponent. No number gives 0.
[[nodiscard]] double TextToNumber(std::string_view text);

}  // namespace quorvel
