// The axis map as a plain value: scale space, fitting to the plot, truncation, saturation,
// reversed and equal bounds, pixel to data and back.
#include "chartpanel/AxisMap.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TAxisMap LinearX(double min, double max, int32_t left, int32_t width) {
    return TAxisMap{false, min, max, width / (static_cast<long double>(max) - min), left, 1};
}
// Plot bottom at 211, 186 pixels for 0..1.
const TAxisMap Y01{false, 0, 1, 186, 211, -1};
// 1..100 over 200 pixels from 10: one decade per 100 pixels.
const TAxisMap LogX{true, 0, 2, 100, 10, 1};

TEST(AxisMap, ScaleSpaceOfLinearAndLogAxes) {
    const TAxisMap lin{false, 0, 1, 1, 0, 1};
    const TAxisMap log{true, 0, 2, 1, 0, 1};
    const struct {
        const TAxisMap& Map;
        double Value, Scaled;
    } toScale[] = {{lin, -5, -5}, {log, 100, 2}, {log, 0.01, -2},
                   {log, 0, -2},  {log, -5, -2}, {log, 1e-300, -300}};
    for (const auto& c : toScale)
        EXPECT_DOUBLE_EQ(c.Map.ToScale(c.Value), c.Scaled) << c.Value;
    EXPECT_TRUE(std::isnan(log.ToScale(NaN)));
    EXPECT_EQ(lin.FromScale(7), 7);
    EXPECT_DOUBLE_EQ(log.FromScale(-2), 0.01);
    EXPECT_DOUBLE_EQ(log.FromScale(3), 1000);
}

TEST(AxisMap, FitPlacesTheBoundsOnThePlot) {
    const struct {
        bool Log;
        double Min, Max;
        int32_t Origin, Length;
        long double Factor;
    } cases[] = {
        {false, 0, 30, 40, 300, 10},    {false, 3, 3, 40, 300, 300}, // equal bounds: span 1
        {false, 10, 0, 0, 300, -30},    {true, 0, 2, 10, 200, 100},  // reversed mirrors
        {false, 0, 10, 300, -280, -28}, {false, 0, 1, 0, 0, 0},      // plot inside out, empty
    };
    for (const auto& c : cases) {
        TAxisMap map{c.Log, c.Min, c.Max, 0, 0, 1};
        map.Fit(c.Origin, c.Length);
        EXPECT_EQ(map.Origin, c.Origin) << c.Min << " " << c.Max;
        EXPECT_EQ(map.Factor, c.Factor) << c.Min << " " << c.Max;
    }
    TAxisMap equal{false, 3, 3, 0, 0, 1};
    equal.Fit(40, 300);
    EXPECT_EQ(equal.ToPixel(3), 40); // the value of both bounds maps to the origin
}

TEST(AxisMap, PixelsTruncateTowardZeroAndSaturateOffTheCanvas) {
    // 300 pixels over 0..30 from 40: 10 pixels per unit.
    const TAxisMap x030 = LinearX(0, 30, 40, 300);
    const TAxisMap x01 = LinearX(0, 1, 40, 300);
    const TAxisMap reversed{false, 10, 0, 300 / (0.0L - 10), 0, 1};
    const struct {
        const TAxisMap& Map;
        double Value;
        int32_t Pixel;
    } cases[] = {
        {x030, 0, 40},
        {x030, 1.09, 50},  // offset 10.9 gives 10
        {x030, 0.39, 43},  // 3.9 gives 3
        {x030, -0.07, 40}, // -0.7 gives 0, not -1
        {x030, -0.15, 39}, // -1.5 gives -1
        {x030, 30, 340},
        {Y01, 0, 211}, // Y grows downwards
        {Y01, 1, 25},
        {Y01, 0.5, 118},
        {x01, 1e12, PixelLimit},
        {x01, -1e12, -PixelLimit},
        {x01, Inf, PixelLimit},
        {x01, -Inf, -PixelLimit},
        {x01, NaN, -PixelLimit},
        // Exactly 2^32 pixels away would wrap to the origin with the low 32 bits; it must not.
        {x01, 4294967296.0 / 300, PixelLimit},
        {Y01, 1e300, -PixelLimit},
        {Y01, -1e300, PixelLimit},
        {reversed, 10, 0},
        {reversed, 0, 300},
        {LogX, 1, 10},
        {LogX, 10, 110},
        {LogX, 100, 210},
        {LogX, 0, 10 - 200}, // 0.01
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Map.ToPixel(c.Value), c.Pixel) << c.Value;
        // The double-precision shortcut answers the same or leaves it to ToPixel.
        int32_t quick = 0;
        if (QuickPixel(c.Map, static_cast<double>(c.Map.Factor), c.Value, quick)) {
            EXPECT_EQ(quick, c.Pixel) << c.Value;
        }
    }
    EXPECT_NE(x01.ToPixel(4294967296.0 / 300), 40);
    EXPECT_LT(reversed.Factor, 0);
}

TEST(AxisMap, QuickPixelAgreesWithToPixelWheneverItAnswers) {
    std::mt19937_64 random(1208);
    std::uniform_real_distribution<double> unit(0, 1);
    size_t asked = 0, answered = 0;
    for (int m = 0; m < 400; ++m) {
        // Bounds and plots of every kind, at device ratios as the curves use them.
        const bool log = m % 5 == 0;
        const double min = log ? unit(random) * 2 - 1 : (unit(random) - 0.5) * std::pow(10, m % 9);
        const double max = min + (log ? 1 + unit(random) * 3 : unit(random) * std::pow(10, m % 7));
        const int32_t length = 50 + int32_t(unit(random) * 8000);
        TAxisMap map{log, min, max, 0, int32_t(unit(random) * 300), m % 2 ? 1 : -1};
        map.Fit(map.Origin, length);
        map.Factor *= std::array{1.0L, 1.25L, 1.5L, 2.0L, 3.0L}[m % 5];
        const double factor = static_cast<double>(map.Factor);
        for (int k = 0; k < 500; ++k) {
            // Values anywhere on the plot, and values whose product lands on or next to a
            // whole pixel, where double and extended precision could truncate differently.
            double scaled = min + unit(random) * (max - min);
            if (k % 2 == 0)
                scaled = min + (std::floor(unit(random) * length) +
                                (k % 4 == 0 ? 0.0 : (unit(random) - 0.5) * 1e-13)) /
                                   static_cast<double>(map.Factor);
            const double value = log ? std::pow(10, scaled) : scaled;
            int32_t quick = 0;
            ++asked;
            if (!QuickPixel(map, factor, value, quick))
                continue;
            ++answered;
            ASSERT_EQ(quick, map.ToPixel(value)) << "value " << value << " map " << m;
        }
    }
    EXPECT_GT(answered, asked / 2) << "the shortcut should answer for most values";
}

TEST(AxisMap, ContainsIncludesBothEndsAndRejectsNaN) {
    const TAxisMap x15 = LinearX(1, 5, 0, 100);
    const TAxisMap reversed{false, 10, 0, 300 / (0.0L - 10), 0, 1};
    const struct {
        const TAxisMap& Map;
        double Value;
        bool In;
    } cases[] = {{x15, 1, true},        {x15, 5, true},    {x15, 5.0000001, false},
                 {x15, NaN, false},     {x15, Inf, false}, {reversed, 5, false},
                 {reversed, 10, false}, {LogX, 100, true}, {LogX, 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.Map.Contains(c.Value), c.In) << c.Value;
}

TEST(AxisMap, FromPixel) {
    EXPECT_DOUBLE_EQ(Y01.FromPixel(211), 0);
    EXPECT_DOUBLE_EQ(Y01.FromPixel(25), 1);
    EXPECT_DOUBLE_EQ(LogX.FromPixel(110), 10);
    // Before the first layout the factor is 0: the zero comes back unconverted, also on a log
    // axis (not 10^0).
    EXPECT_EQ((TAxisMap{true, 0, 2, 0, 40, 1}.FromPixel(100)), 0);
    EXPECT_EQ((TAxisMap{false, 0, 1, 0, 211, -1}.FromPixel(-5)), 0);

    const TAxisMap x = LinearX(0, 5.5, 55, 290);
    EXPECT_LT(x.FromPixel(50), 0); // no clamping
    // Back to pixels the truncation may land one pixel short where the value rounds down.
    for (int32_t pixel = 55; pixel <= 345; ++pixel) {
        const int32_t back = x.ToPixel(x.FromPixel(pixel));
        EXPECT_TRUE(back == pixel || back == pixel - 1) << pixel;
    }
    // Extreme pixels give finite values, no overflow in the difference.
    EXPECT_TRUE(std::isfinite(x.FromPixel(INT32_MIN)));
    EXPECT_TRUE(std::isfinite(x.FromPixel(INT32_MAX)));
}

TEST(Saturation, TruncExtendedTowardZero) {
    struct {
        long double In, Out;
    } const cases[] = {{0.0L, 0.0L},
                       {3.9L, 3.0L},
                       {-3.9L, -3.0L},
                       {10.9L, 10.0L},
                       {-0.7L, 0.0L},
                       {0.5L, 0.0L},
                       {2.5L, 2.0L},
                       {-2.5L, -2.0L},
                       {7.0L, 7.0L},
                       {-7.0L, -7.0L},
                       {0x1p61L + 0.5L, 0x1p61L},
                       {0x1p62L, 0x1p62L},
                       {1e30L, 1e30L},
                       {-1e30L, -1e30L},
                       // Just below a whole number: the extended value must not be rounded up.
                       {11.0L - 0x1p-58L, 10.0L},
                       {-(11.0L - 0x1p-58L), -10.0L}};
    for (const auto& c : cases)
        EXPECT_EQ(TruncExtended(c.In), c.Out) << static_cast<double>(c.In);
    EXPECT_TRUE(std::isnan(TruncExtended(static_cast<long double>(NaN))));
    EXPECT_TRUE(std::isinf(TruncExtended(static_cast<long double>(Inf))));
}

TEST(Saturation, SaturatePixelTruncatesAndClamps) {
    struct {
        long double In;
        int32_t Out;
    } const cases[] = {{12.7L, 12},
                       {-12.7L, -12},
                       {13.0L - 0x1p-59L, 12},
                       {static_cast<long double>(NaN), -PixelLimit},
                       {PixelLimit + 0.5L, PixelLimit},
                       {-1e4000L, -PixelLimit}};
    for (const auto& c : cases)
        EXPECT_EQ(SaturatePixel(c.In), c.Out) << static_cast<double>(c.In);
}

} // namespace
