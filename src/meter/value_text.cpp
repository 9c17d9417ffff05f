#include "value_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Takes an optional '+' or '-' at `i`; true for '-'.
bool TakeSign(std::string_view text, std::size_t& i)
{
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

// All of `digits` in the base, with the sign, as a signed 32-bit value;
// nothing else may stand in `digits`.
std::optional<std::int32_t> SignedDigits(std::string_view digits, int base, bool negative)
{
    if (digits.empty())
        return std::nullopt;
    // Magnitude limit: 2^31 for negative values, 2^31 - 1 otherwise.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        const int d = base == 10 ? (IsDigit(c) ? c - '0' : -1) : HexDigit(c);
        if (d < 0)
            return std::nullopt;
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// The value rounded to ten significant digits, once, from its exact value:
// mantissa digits (exactly ten) and the decimal exponent of the first one.
void TenDigits(double magnitude, std::int64_t& mantissa, int& exponent)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 9);
    // "d.ddddddddde[+-]XX"
    mantissa = 0;
    const char* p = buf;
    for (; p != r.ptr && *p != 'e'; ++p)
        if (IsDigit(*p))
            mantissa = mantissa * 10 + (*p - '0');
    exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exponent);
}

} // namespace

std::string FormatListFloat(float value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    const double magnitude = std::fabs(static_cast<double>(value));
    char buf[64];
    if (magnitude >= 1e10) {
        // General form with ten significant digits: trailing zeros of the
        // mantissa dropped, exponent with sign and at least two digits,
        // e.g. "1.234567885e+10".
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                     std::chars_format::general, 10);
        return std::string(buf, r.ptr);
    }
    std::string text;
    if (magnitude < 1e4) {
        // The tenth significant digit lies at or beyond the sixth decimal.
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 6);
        text.assign(buf, r.ptr);
    } else {
        // The tenth significant digit lies before the sixth decimal: round
        // there and fill the remaining decimals with zeros.
        std::int64_t mantissa = 0;
        int exponent = 0;
        TenDigits(magnitude, mantissa, exponent);
        std::int64_t units = mantissa; // millionths: mantissa * 10^(exponent - 9 + 6)
        for (int i = 3; i < exponent; ++i)
            units *= 10;
        const std::int64_t whole = units / 1000000;
        const auto fraction = static_cast<int>(units % 1000000);
        if (std::signbit(value))
            text += '-';
        text.append(buf, std::to_chars(buf, buf + sizeof buf, whole).ptr);
        text += '.';
        char frac[7] = "000000";
        int f = fraction;
        for (int i = 5; i >= 0; --i, f /= 10)
            frac[i] = static_cast<char>('0' + f % 10);
        text.append(frac, 6);
    }
    if (text == "-0.000000")
        return "0.000000"; // no sign for values that round to zero
    return text;
}

std::optional<std::int32_t> ParseInt32(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    const bool negative = TakeSign(text, i);
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    return SignedDigits(text.substr(i), base, negative);
}

std::optional<std::int32_t> ParseDecimalInt32(std::string_view text)
{
    std::size_t i = 0;
    const bool negative = TakeSign(text, i);
    return SignedDigits(text.substr(i), 10, negative);
}

std::optional<float> ParseFloat(std::string_view text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    text = text.substr(begin, end - begin);

    // Check the syntax ourselves: from_chars would also take "inf", "nan"
    // and hexadecimal forms.
    std::size_t i = 0;
    const bool negative = TakeSign(text, i);
    const std::size_t numberStart = i;
    std::size_t intDigits = 0, fracDigits = 0;
    // Decimal position of the first non-zero digit relative to the point:
    // >= 0 inside the integer part, < 0 in the fraction.
    long leadPosition = 0;
    bool nonZero = false;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++intDigits)
        if (!nonZero && text[i] != '0') {
            nonZero = true;
            leadPosition = 0;
        } else if (nonZero) {
            ++leadPosition;
        }
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && IsDigit(text[i]); ++i, ++fracDigits)
            if (!nonZero && text[i] != '0') {
                nonZero = true;
                leadPosition = -static_cast<long>(fracDigits) - 1;
            }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool expNegative = TakeSign(text, i);
        if (i == text.size() || !IsDigit(text[i]))
            return std::nullopt;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i] - '0');
        if (expNegative)
            exponent = -exponent;
    }
    if (i != text.size())
        return std::nullopt;
    const float zero = negative ? -0.0f : 0.0f;
    if (!nonZero)
        return zero;
    const long magnitudeExponent = leadPosition + exponent;
    if (magnitudeExponent > 39)
        return std::nullopt;
    if (magnitudeExponent < -50)
        return zero;

    float value = 0;
    const auto r = std::from_chars(text.data() + numberStart, text.data() + text.size(), value,
                                   std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        if (magnitudeExponent > 0)
            return std::nullopt;
        return zero; // below the smallest subnormal: rounds to zero
    }
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || std::isinf(value))
        return std::nullopt;
    return negative ? -value : value;
}
