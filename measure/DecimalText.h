#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestra {

// A measured value as the results table shows it: fixed point with exactly two
// decimals and at most five significant digits, rounded half away from zero on
// its 18-significant-digit expansion; "0.00" for anything that rounds to zero;
// the exponent form (1.2346E05) from 99999.5 on. Throws Error "Floating point
// overflow" for a value that is not finite.
[[nodiscard]] std::string DecimalText(long double value, std::string_view decimalSeparator);

// A whole number in plain decimal, "-" for negative values.
[[nodiscard]] std::string IntegerText(std::int64_t value);

} // namespace kestra
