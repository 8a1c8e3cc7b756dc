#include "measure/NumberText.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace kestra;

TEST(TextToNumber, AcceptsWhatTheDpiFieldTakes)
{
    const std::pair<const char*, double> cases[] = {
        {"300", 300.0}, {" 300 ", 300.0},   {"3e2", 300.0},   {"3E+2", 300.0},
        {"3e", 3.0},    {"+300", 300.0},    {"-300", -300.0}, {"0", 0.0},
        {".", 0.0},     {"300.5", 300.5},   {".5", 0.5},      {"5.", 5.0},
        {"1e-2", 0.01}, {"1e-310", 1e-310}, {"1e-500", 0.0},  {"0.1", 0.1},
    };
    for (const auto& [text, value] : cases) {
        const std::optional<double> number = TextToNumber(text, ".");
        ASSERT_TRUE(number.has_value()) << text;
        EXPECT_EQ(*number, value) << text;
    }
}

TEST(TextToNumber, RefusesWhatIsNotANumber)
{
    for (const char* text : {"", "   ", "+", "-", "300 dpi", "300x", "300,5", "3 00", "\t300",
                             "300\t", "1.2.3", "e5", "1e400", "-1e400", "1e5000", "0x10", "++3"})
        EXPECT_FALSE(TextToNumber(text, ".").has_value()) << '"' << text << '"';
}

TEST(TextToNumber, FollowsTheLocaleSeparator)
{
    EXPECT_EQ(TextToNumber("300,5", ","), 300.5);
    EXPECT_FALSE(TextToNumber("300.5", ",").has_value());
    EXPECT_EQ(TextToNumber(",", ","), 0.0);
    EXPECT_EQ(TextToNumber("1\u066b5", "\u066b"), 1.5); // a separator of more than one byte
}

TEST(TextToNumber, ExtremeExponentsAndDigits)
{
    // Exponent digits stop at 500, so a fourth digit is left over and refused.
    EXPECT_FALSE(TextToNumber("1e-5000", ".").has_value());
    EXPECT_EQ(TextToNumber("1e-0500", "."), 0.0);
    EXPECT_EQ(TextToNumber("0." + std::string(5000, '0') + "1", "."), 0.0);
    EXPECT_FALSE(TextToNumber(std::string(400, '9'), ".").has_value());
    EXPECT_EQ(TextToNumber("1" + std::string(300, '0') + "e-300", "."), 1.0);
    EXPECT_EQ(TextToNumber("1.7976931348623157e308", "."), 1.7976931348623157e308);
}
