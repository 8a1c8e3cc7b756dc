#pragma once

#include <optional>
#include <string_view>

namespace kestra {

// Reads a typed number: spaces around it, an optional sign, digits with at
// most one decimal separator, an optional exponent. Computed in extended
// precision and rounded to a double; empty when the text is not a number or
// its value does not fit a double.
[[nodiscard]] std::optional<double> TextToNumber(std::string_view text,
                                                 std::string_view decimalSeparator);

} // namespace kestra
