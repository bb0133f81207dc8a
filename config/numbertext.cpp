#include "numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace korvane {

namespace {

// Drops a leading '+', which std::from_chars does not take.
std::string_view withoutPlus(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    return text;
}

// Power of ten of the most significant non-zero digit of a decimal number (0 for "5",
// -3 for "0.001", 4 for "1.5E+04"); used only to tell an overflow from an underflow, so
// the exponent saturates instead of overflowing.
long long leadingPowerOfTen(std::string_view t)
{
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    long long power = 0;
    bool seen = false;
    long long intDigits = 0;
    for (; i < t.size() && IsAsciiDigit(t[i]); ++i) {
        if (seen || t[i] != '0') {
            seen = true;
            ++intDigits;
        }
    }
    if (seen)
        power = intDigits - 1;
    if (i < t.size() && t[i] == '.') {
        ++i;
        long long position = 0;
        for (; i < t.size() && IsAsciiDigit(t[i]); ++i) {
            ++position;
            if (!seen && t[i] != '0') {
                seen = true;
                power = -position;
            }
        }
    }
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        bool negative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            negative = t[i++] == '-';
        long long e = 0;
        for (; i < t.size() && IsAsciiDigit(t[i]); ++i)
            e = std::min<long long>(e * 10 + (t[i] - '0'), 1000000000LL);
        power += negative ? -e : e;
    }
    return power;
}

// std::from_chars over all of t (no '+'): errc() only when it read every character.
template <typename T> std::errc readWhole(std::string_view t, T &value)
{
    const auto r = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::general);
    return r.ec == std::errc() && r.ptr != t.data() + t.size() ? std::errc::invalid_argument : r.ec;
}

} // namespace

bool IsDecimalNumber(std::string_view t)
{
    size_t i = 0;
    const size_t n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t intDigits = 0;
    while (i < n && IsAsciiDigit(t[i])) {
        ++i;
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && IsAsciiDigit(t[i])) {
            ++i;
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    if (i < n && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < n && IsAsciiDigit(t[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    return i == n;
}

std::optional<float> ParseSingle(std::string_view text)
{
    if (!IsDecimalNumber(text))
        return std::nullopt;
    const std::string_view t = withoutPlus(text);
    float f = 0.0f;
    if (readWhole(t, f) == std::errc() && std::isfinite(f))
        return f;
    // Out of range: tell overflow (not a single) from underflow (0 or a subnormal).
    double d = 0.0;
    const std::errc read = readWhole(t, d);
    if (read == std::errc() && std::isfinite(d) && std::fabs(d) <= std::numeric_limits<float>::max())
        return static_cast<float>(d);
    if (read == std::errc::result_out_of_range && leadingPowerOfTen(t) < 0)
        return t.front() == '-' ? -0.0f : 0.0f;
    return std::nullopt;
}

std::optional<int16_t> ParseInt16(std::string_view text)
{
    if (!IsDecimalNumber(text))
        return std::nullopt;
    const std::string_view t = withoutPlus(text);
    double d = 0.0;
    const std::errc read = readWhole(t, d);
    if (read == std::errc::result_out_of_range)
        return leadingPowerOfTen(t) < 0 ? std::optional<int16_t>(0) : std::nullopt;
    if (read != std::errc())
        return std::nullopt;
    const double rounded = std::nearbyint(d);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

std::string FormatSingle(float value)
{
    if (std::isnan(value) || value == 0.0f)
        return "0";
    if (std::isinf(value))
        value = std::copysign(std::numeric_limits<float>::max(), value);

    // Correctly rounded to 7 significant digits: "-d.dddddde+XX".
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 6);
    const std::string_view sci(buf, static_cast<size_t>(r.ptr - buf));
    const bool negative = sci.front() == '-';
    const std::string_view body = negative ? sci.substr(1) : sci;
    const size_t ePos = body.find('e');
    std::string digits;
    for (char c : body.substr(0, ePos))
        if (c != '.')
            digits += c;
    int exponent = 0;
    {
        std::string_view e = withoutPlus(body.substr(ePos + 1));
        std::from_chars(e.data(), e.data() + e.size(), exponent);
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent > 6) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const size_t intLen = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out += digits;
            out.append(intLen - digits.size(), '0');
        } else {
            out.append(digits, 0, intLen);
            out += '.';
            out.append(digits, intLen, std::string::npos);
        }
    } else {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

} // namespace korvane
