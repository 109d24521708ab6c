// Bounded text for the host's buffers, and the fixed texts the value-to-text
// conversions of EffectBase write (those conversions live in value_text.cpp).
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr std::string_view kHugeText = " Huge!  ";        // a value that does not fit
inline constexpr std::string_view kMinusInfinityText = "  -oo   ";  // a level of 0 or below
inline constexpr std::string_view kNotANumberText = "  NaN   ";     // NaN

// Copies at most `width` characters of `text` into `dest` and terminates it:
// never more than width + 1 bytes are written.
void writeText(char* dest, std::string_view text, std::size_t width);
