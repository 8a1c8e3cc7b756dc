#include "measure/NumberText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kestra {
namespace {

constexpr int ExponentLimit = 500;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return position_ == text_.size(); }
    bool take(char c)
    {
        if (atEnd() || text_[position_] != c)
            return false;
        ++position_;
        return true;
    }
    bool take(std::string_view prefix)
    {
        if (prefix.empty() || text_.substr(position_).substr(0, prefix.size()) != prefix)
            return false;
        position_ += prefix.size();
        return true;
    }
    std::string_view digits()
    {
        const std::size_t start = position_;
        while (!atEnd() && isDigit(text_[position_]))
            ++position_;
        return text_.substr(start, position_ - start);
    }
    void skipSpaces()
    {
        while (take(' ')) {
        }
    }
    // Digits of the exponent, taken only while its value is below the limit.
    int exponentValue()
    {
        int value = 0;
        while (value < ExponentLimit && !atEnd() && isDigit(text_[position_]))
            value = value * 10 + (text_[position_++] - '0');
        return value;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

// The decimal exponent of the leading non-zero digit, or nothing for zero.
std::optional<long> leadingExponent(std::string_view integer, std::string_view fraction,
                                    long exponent)
{
    const std::size_t first = integer.find_first_not_of('0');
    if (first != std::string_view::npos)
        return exponent + static_cast<long>(integer.size() - first) - 1;
    const std::size_t firstFraction = fraction.find_first_not_of('0');
    if (firstFraction != std::string_view::npos)
        return exponent - static_cast<long>(firstFraction) - 1;
    return std::nullopt;
}

} // namespace

std::optional<double> TextToNumber(std::string_view text, std::string_view decimalSeparator)
{
    Scanner scanner(text);
    scanner.skipSpaces();
    bool negative = false;
    if (!scanner.take('+'))
        negative = scanner.take('-');
    const std::string_view integer = scanner.digits();
    std::string_view fraction;
    const bool hasSeparator = scanner.take(decimalSeparator);
    if (hasSeparator)
        fraction = scanner.digits();
    if (integer.empty() && !hasSeparator)
        return std::nullopt;

    long exponent = 0;
    if (scanner.take('E') || scanner.take('e')) {
        bool negativeExponent = false;
        if (!scanner.take('+'))
            negativeExponent = scanner.take('-');
        exponent = scanner.exponentValue();
        if (negativeExponent)
            exponent = -exponent;
    }
    scanner.skipSpaces();
    if (!scanner.atEnd())
        return std::nullopt;

    // Extended precision: the long double of this platform has a 64-bit mantissa.
    std::string normalized = "0";
    normalized.append(integer);
    normalized += '.';
    normalized.append(fraction);
    normalized += 'e' + std::to_string(exponent);
    long double value = 0.0L;
    const auto [end, error] =
        std::from_chars(normalized.data(), normalized.data() + normalized.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small even for extended precision reads as zero; too large is not a number.
        const std::optional<long> magnitude = leadingExponent(integer, fraction, exponent);
        if (magnitude && *magnitude >= 0)
            return std::nullopt;
        value = 0.0L;
    } else if (error != std::errc() || end != normalized.data() + normalized.size()) {
        return std::nullopt;
    }
    const double rounded = static_cast<double>(negative ? -value : value);
    if (!std::isfinite(rounded))
        return std::nullopt;
    return rounded;
}

} // namespace kestra
