#include "measure/DecimalText.h"

#include "measure/Error.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace kestra;

TEST(DecimalText, FixedFormRoundsHalfAwayFromZeroOnEighteenDigits)
{
    const std::pair<long double, const char*> cases[] = {
        {123.456L, "123.46"}, {1234.567L, "1234.60"}, {12345.678L, "12346.00"},
        {8.466666L, "8.47"},  {0.004L, "0.00"},       {0.125L, "0.13"},
        {2.675, "2.67"}, // the double nearest 2.675 lies below it
        {99.995L, "100.00"},  {9.995L, "10.00"},      {0.0095L, "0.01"},
        {0.5L, "0.50"},       {0.05L, "0.05"},        {0.0L, "0.00"},
        {25.4L, "25.40"},     {99999.4L, "99999.00"}, {1.0L, "1.00"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(DecimalText(value, "."), text) << static_cast<double>(value);
    // Values that reach the cell as doubles.
    EXPECT_EQ(DecimalText(0.005, "."), "0.01");
    EXPECT_EQ(DecimalText(-0.005, "."), "-0.01");
}

TEST(DecimalText, ZeroHasNoSign)
{
    EXPECT_EQ(DecimalText(-0.004L, "."), "0.00");
    EXPECT_EQ(DecimalText(-0.0L, "."), "0.00");
    EXPECT_EQ(DecimalText(-1e-30L, ","), "0,00");
}

TEST(DecimalText, ExponentFormFromSixIntegerDigits)
{
    const std::pair<long double, const char*> cases[] = {
        {123456.789L, "1.2346E05"}, {120000.0L, "1.2E05"},      {100000.0L, "1E05"},
        {99999.5L, "1E05"},         {-123456.0L, "-1.2346E05"}, {999995.0L, "1E06"},
        {1.5e300L, "1.5E300"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(DecimalText(value, "."), text) << static_cast<double>(value);
}

TEST(DecimalText, UsesTheGivenSeparatorAndRefusesNonFiniteValues)
{
    EXPECT_EQ(DecimalText(12.345L, ","), "12,35");
    EXPECT_EQ(DecimalText(123.456L, ","), "123,46");
    EXPECT_EQ(DecimalText(123456.789L, ","), "1,2346E05");
    EXPECT_THROW((void)DecimalText(std::numeric_limits<long double>::infinity(), "."), Error);
    EXPECT_THROW((void)DecimalText(std::nanl(""), "."), Error);
}

TEST(IntegerText, PlainDecimal)
{
    EXPECT_EQ(IntegerText(0), "0");
    EXPECT_EQ(IntegerText(-10), "-10");
    EXPECT_EQ(IntegerText(4294967295), "4294967295");
}
