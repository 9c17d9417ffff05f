#pragma once
// Text forms of values, independent of the user's locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Float as the register list shows it: fixed, six decimals, after rounding to
// ten significant digits; ten significant digits in general form from 1e10
// on; "NAN", "INF", "-INF".
std::string FormatListFloat(float value);

// 32-bit integer conversion: leading blanks, optional sign, decimal digits or
// hexadecimal after "$", "x" or "0x"; nothing may follow the digits; the value
// must lie in the signed 32-bit range.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Float conversion with "." only: blanks around, optional sign, digits with an
// optional fraction, optional exponent. Texts outside the range of a 32-bit
// float do not convert. The result is the nearest single.
std::optional<float> ParseFloat(std::string_view text);
