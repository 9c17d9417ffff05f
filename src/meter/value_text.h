#pragma once
// Text forms of values, independent of the user's locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Float as the register list shows it: fixed, six decimals. The exact value
// of the single is rounded once, to nearest with ties to even (as printf
// rounds), at the coarser of two places: the tenth significant digit and the
// sixth decimal. Below 1e4 in magnitude that is the sixth decimal, so the
// text is exactly printf's "%.6f", as in the parameter file; from 1e4 on,
// the decimals after the tenth digit print as 0. A value that rounds to zero
// prints "0.000000" without sign. From 1e10 on in magnitude: ten significant
// digits in the shortest general form, trailing zeros dropped, exponent
// "e+NN" (e.g. "1.234567885e+10", "1e+10"). "NAN", "INF", "-INF".
std::string FormatListFloat(float value);

// 32-bit integer conversion: leading blanks, optional sign, decimal digits or
// hexadecimal after "$", "x" or "0x"; nothing may follow the digits; the value
// must lie in the signed 32-bit range.
// The sign may also stand before a hexadecimal prefix ("-$10" is -16), and
// hexadecimal values obey the same signed range: 0x7FFFFFFF converts,
// 0x80000000 does not, -0x80000000 does. Blanks are space and TAB.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Plain decimal conversion of the parameter file: optional sign and ASCII
// digits only, nothing else; signed 32-bit range.
std::optional<std::int32_t> ParseDecimalInt32(std::string_view text);

// Float conversion with "." only: blanks around, optional sign, digits with an
// optional fraction, optional exponent ("1.", ".5" and "1e5" convert; "inf",
// "nan", hexadecimal forms, "," and digit grouping do not). Texts whose value
// lies beyond the largest finite single do not convert; values too small for
// the smallest subnormal become a zero of their sign. The result is the
// nearest single. Blanks are space and TAB.
std::optional<float> ParseFloat(std::string_view text);
