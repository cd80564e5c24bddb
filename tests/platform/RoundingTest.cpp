#include "platform/Rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t Int64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Int64Min = std::numeric_limits<int64_t>::min();

TEST(RoundingTest, HalfEvenRoundsTiesToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEvenToInt32(0.5), 0);
    EXPECT_EQ(RoundHalfEvenToInt32(1.5), 2);
    EXPECT_EQ(RoundHalfEvenToInt32(2.5), 2);
    EXPECT_EQ(RoundHalfEvenToInt32(3.5), 4);
    EXPECT_EQ(RoundHalfEvenToInt32(-0.5), 0);
    EXPECT_EQ(RoundHalfEvenToInt32(-1.5), -2);
    EXPECT_EQ(RoundHalfEvenToInt32(-2.5), -2);
    EXPECT_EQ(RoundHalfEvenToInt32(2.4999999999999996), 2);
    EXPECT_EQ(RoundHalfEvenToInt32(2.5000000000000004), 3);
    EXPECT_EQ(RoundHalfEvenToInt32(-2.6), -3);
    EXPECT_EQ(RoundHalfEvenToInt32(0.49999999999999994), 0);
    EXPECT_EQ(RoundHalfEvenToInt64(4503599627370497.0), 4503599627370497); // 2^52 + 1
    EXPECT_EQ(RoundHalfEvenToInt64(-4503599627370495.5), -4503599627370496);
}

TEST(RoundingTest, HalfEvenIgnoresTheRoundingMode) {
    const int previous = std::fegetround();
    std::fesetround(FE_UPWARD);
    const int32_t up = RoundHalfEvenToInt32(2.5);
    std::fesetround(FE_DOWNWARD);
    const int32_t down = RoundHalfEvenToInt32(3.5);
    std::fesetround(previous);
    EXPECT_EQ(up, 2);
    EXPECT_EQ(down, 4);
}

TEST(RoundingTest, HalfEvenSaturatesAndMapsNaNToZero) {
    EXPECT_EQ(RoundHalfEvenToInt32(NaN), 0);
    EXPECT_EQ(RoundHalfEvenToInt32(Inf), Int32Max);
    EXPECT_EQ(RoundHalfEvenToInt32(-Inf), Int32Min);
    EXPECT_EQ(RoundHalfEvenToInt32(2147483647.4), Int32Max);
    EXPECT_EQ(RoundHalfEvenToInt32(2147483647.5), Int32Max);
    EXPECT_EQ(RoundHalfEvenToInt32(1e300), Int32Max);
    EXPECT_EQ(RoundHalfEvenToInt32(-2147483648.5), Int32Min);
    EXPECT_EQ(RoundHalfEvenToInt32(-2147483649.0), Int32Min);
    EXPECT_EQ(RoundHalfEvenToInt32(-1e300), Int32Min);
    EXPECT_EQ(RoundHalfEvenToInt64(1e19), Int64Max);
    EXPECT_EQ(RoundHalfEvenToInt64(-9223372036854775808.0), Int64Min);
    EXPECT_EQ(RoundHalfEvenToInt64(NaN), 0);
}

TEST(RoundingTest, TruncationGoesTowardZero) {
    EXPECT_EQ(TruncToInt64(1.9L), 1);
    EXPECT_EQ(TruncToInt64(-1.9L), -1);
    EXPECT_EQ(TruncToInt64(-0.999L), 0);
    EXPECT_EQ(TruncToInt64(9223372036854775807.0L), Int64Max); // exact in 80-bit
    EXPECT_EQ(TruncToInt64(-9223372036854775807.0L), -9223372036854775807);
    EXPECT_EQ(TruncToInt64(-1234567890123.75L), -1234567890123);
    EXPECT_EQ(TruncToInt32Saturated(2147483647.9), Int32Max);
    EXPECT_EQ(TruncToInt32Saturated(-2147483648.9), Int32Min);
    EXPECT_EQ(TruncToInt32Saturated(-7.7), -7);
    EXPECT_EQ(TruncToInt32Saturated(123456.99), 123456);
}

TEST(RoundingTest, TruncationSaturatesAndMapsNaNToZero) {
    EXPECT_EQ(TruncToInt64(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(TruncToInt64(9223372036854775808.0L), Int64Max);
    EXPECT_EQ(TruncToInt64(1e4000L), Int64Max);
    EXPECT_EQ(TruncToInt64(-9223372036854775809.0L), Int64Min);
    EXPECT_EQ(TruncToInt64(-std::numeric_limits<long double>::infinity()), Int64Min);
    EXPECT_EQ(TruncToInt32Saturated(NaN), 0);
    EXPECT_EQ(TruncToInt32Saturated(3e9), Int32Max);
    EXPECT_EQ(TruncToInt32Saturated(-3e9), Int32Min);
    EXPECT_EQ(TruncToInt32Saturated(Inf), Int32Max);
}

TEST(RoundingTest, LowThirtyTwoBitsWrapLikeARegister) {
    EXPECT_EQ(TruncLow32(5.7L), 5);
    EXPECT_EQ(TruncLow32(-5.7L), -5);
    EXPECT_EQ(TruncLow32(4294967301.0L), 5);        // 2^32 + 5
    EXPECT_EQ(TruncLow32(2147483648.0L), Int32Min); // 2^31
    EXPECT_EQ(TruncLow32(4294967295.0L), -1);       // 2^32 - 1
    EXPECT_EQ(TruncLow32(-4294967297.0L), -1);      // -(2^32 + 1)
    EXPECT_EQ(TruncLow32(std::numeric_limits<long double>::quiet_NaN()), 0);
    EXPECT_EQ(TruncLow32(1e30L), -1); // saturates to INT64_MAX first
    EXPECT_EQ(TruncLow32(-1e30L), 0); // INT64_MIN has zero low bits
}

} // namespace
