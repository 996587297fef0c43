// The number texts of the value file: decimal integers and 15-digit floats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Returns the decimal separator of the C library's current LC_NUMERIC locale ("." when the
// locale names none).
std::string DecimalSeparator();

// Returns the value with at most 15 significant digits, trailing zeros and an unneeded
// separator dropped: fixed notation when it has at most 15 digits before the separator and is
// 0 or at least 0.00001 in magnitude, else E notation ("1E20", "1.5E-7"). Infinities and NaN
// are "INF", "-INF" and "NAN".
std::string FormatFloat(double value, std::string_view separator);

// Parses [+-]digits[separator digits][E[+-]digits] (at least one digit before the exponent), or
// INF, -INF or NAN in any case. Returns nothing for any other text or a value out of range.
std::optional<double> ParseFloat(std::string_view text, std::string_view separator);

// Parses an optional sign and decimal digits that fit 32 bits; nothing otherwise.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace vantrel
