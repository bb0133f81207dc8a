#pragma once
// Decimal number text shared by the settings file and the coefficient text file. Always a
// period as decimal separator, whatever the process locale (a Qt application calls
// setlocale(LC_ALL, "") on Unix, so printf/strtod would follow the user's locale).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// An ASCII digit 0..9 (the settings and coefficient files are ASCII; no locale applies).
[[nodiscard]] constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// True when text is [+|-] digits [. [digits]] | [+|-] . digits, optionally followed by
// E or e, an optional sign and digits. No spaces, no "inf"/"nan", no hexadecimal.
[[nodiscard]] bool IsDecimalNumber(std::string_view text);

// The single nearest to text, or nullopt when text is not a decimal number or its
// magnitude exceeds the single range (about 3.4E+38). Values too small for a single
// become 0 or the nearest subnormal.
[[nodiscard]] std::optional<float> ParseSingle(std::string_view text);

// The integer nearest to text (halfway cases to the even neighbour), or nullopt when text
// is not a decimal number or the rounded value lies outside -32768..32767.
[[nodiscard]] std::optional<int16_t> ParseInt16(std::string_view text);

// The nearest value of at most 7 significant digits: trailing zeros dropped, whole values
// without a fraction ("1", "-40"), a leading zero before the period ("0.5"), and the
// exponent form with a sign and at least two digits ("1.5E-05", "1.234568E+07") when the
// decimal exponent is below -4 or above 6. Zero is "0" (also for -0). Infinities are
// written as the largest finite single of that sign and NaN as 0, so that a file never
// holds a value that cannot be read back.
[[nodiscard]] std::string FormatSingle(float value);

} // namespace korvane
