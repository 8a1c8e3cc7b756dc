#include "measure/DecimalText.h"

#include "measure/Error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kestra {
namespace {

constexpr int ExpansionDigits = 18;
constexpr int MaxSignificantDigits = 5;
constexpr int Decimals = 2;

std::int64_t powerOfTen(int exponent)
{
    std::int64_t power = 1;
    for (int i = 0; i < exponent; ++i)
        power *= 10;
    return power;
}

// The magnitude rounded to at most five significant digits and two decimals:
// value = kept x 10^(exponent - keptDigits), where exponent counts the integer
// digits (0.d1d2... x 10^exponent).
struct RoundedDecimal {
    std::int64_t kept = 0;
    int keptDigits = 0;
    int exponent = 0;
};

RoundedDecimal roundMagnitude(long double magnitude)
{
    // "%.17Le" gives 18 significant digits, correctly rounded by the C library.
    char text[64];
    std::snprintf(text, sizeof text, "%.*Le", ExpansionDigits - 1, magnitude);
    char digits[ExpansionDigits];
    int count = 0;
    const char* p = text;
    for (; *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            digits[count++] = *p;
    }
    RoundedDecimal rounded;
    rounded.exponent = std::atoi(p + 1) + 1;
    rounded.keptDigits = std::min(rounded.exponent + Decimals, MaxSignificantDigits);
    if (rounded.keptDigits < 0) {
        rounded.keptDigits = 0;
        return rounded;
    }
    for (int i = 0; i < rounded.keptDigits; ++i)
        rounded.kept = rounded.kept * 10 + (digits[i] - '0');
    if (digits[rounded.keptDigits] >= '5') {
        ++rounded.kept;
        if (rounded.kept == powerOfTen(rounded.keptDigits)) {
            // The carry ran out of the kept digits (99.995 -> 100.00): one more
            // integer digit, which may also allow one more kept digit.
            ++rounded.exponent;
            rounded.keptDigits = std::min(rounded.exponent + Decimals, MaxSignificantDigits);
            rounded.kept = powerOfTen(rounded.keptDigits - 1);
        }
    }
    return rounded;
}

std::string exponentForm(const RoundedDecimal& rounded, std::string_view separator)
{
    std::string digits = std::to_string(rounded.kept);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string text(1, digits[0]);
    if (digits.size() > 1) {
        text += separator;
        text.append(digits, 1);
    }
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "E%02d", rounded.exponent - 1);
    return text + exponent;
}

std::string fixedForm(const RoundedDecimal& rounded, std::string_view separator)
{
    const std::int64_t hundredths =
        rounded.kept * powerOfTen(rounded.exponent - rounded.keptDigits + Decimals);
    char decimals[8];
    std::snprintf(decimals, sizeof decimals, "%02d", static_cast<int>(hundredths % 100));
    return std::to_string(hundredths / 100) + std::string(separator) + decimals;
}

} // namespace

std::string DecimalText(long double value, std::string_view decimalSeparator)
{
    if (!std::isfinite(value))
        throw Error("Floating point overflow");
    const RoundedDecimal rounded = roundMagnitude(std::fabs(value));
    std::string text;
    if (rounded.kept == 0)
        return text.append("0").append(decimalSeparator).append("00");
    if (value < 0)
        text = "-";
    if (rounded.exponent > MaxSignificantDigits)
        return text.append(exponentForm(rounded, decimalSeparator));
    return text.append(fixedForm(rounded, decimalSeparator));
}

std::string IntegerText(std::int64_t value)
{
    return std::to_string(value);
}

} // namespace kestra
