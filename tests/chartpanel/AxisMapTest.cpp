// The axis mapping as a plain value: scale space, truncation, saturation, reversed and equal
// bounds, pixel to data and back.
#include "chartpanel/ChartPanel.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TAxisMap LinearX(double Min, double Max, int32_t Left, int32_t Width) {
    return TAxisMap{false, Min, Max, Width / (static_cast<long double>(Max) - Min), Left, 1};
}

TEST(AxisMap, ScaleSpaceOfLinearAndLogAxes) {
    TAxisMap Lin{false, 0, 1, 1, 0, 1};
    EXPECT_EQ(Lin.ToScale(-5), -5);
    EXPECT_EQ(Lin.FromScale(7), 7);

    TAxisMap Log{true, 0, 2, 1, 0, 1};
    EXPECT_DOUBLE_EQ(Log.ToScale(100), 2);
    EXPECT_DOUBLE_EQ(Log.ToScale(0.01), -2);
    EXPECT_EQ(Log.ToScale(0), -2);
    EXPECT_EQ(Log.ToScale(-5), -2);
    EXPECT_DOUBLE_EQ(Log.FromScale(-2), 0.01);
    EXPECT_DOUBLE_EQ(Log.FromScale(3), 1000);
    EXPECT_TRUE(std::isnan(Log.ToScale(NaN)));
}

TEST(AxisMap, TruncatesTowardZero) {
    // 300 pixels over 0..30: 10 pixels per unit.
    TAxisMap X = LinearX(0, 30, 40, 300);
    EXPECT_EQ(X.ToPixel(0), 40);
    EXPECT_EQ(X.ToPixel(1.09), 50);  // offset 10.9 gives 10
    EXPECT_EQ(X.ToPixel(0.39), 43);  // 3.9 gives 3
    EXPECT_EQ(X.ToPixel(-0.07), 40); // -0.7 gives 0, not -1
    EXPECT_EQ(X.ToPixel(-0.15), 39); // -1.5 gives -1
    EXPECT_EQ(X.ToPixel(30), 340);
}

TEST(AxisMap, YAxisGrowsDownwards) {
    // Plot bottom at 211, 186 pixels for 0..1.
    TAxisMap Y{false, 0, 1, 186, 211, -1};
    EXPECT_EQ(Y.ToPixel(0), 211);
    EXPECT_EQ(Y.ToPixel(1), 25);
    EXPECT_EQ(Y.ToPixel(0.5), 118);
    EXPECT_DOUBLE_EQ(Y.FromPixel(211), 0);
    EXPECT_DOUBLE_EQ(Y.FromPixel(25), 1);
}

TEST(AxisMap, FarAndNonFiniteValuesSaturateOffTheCanvas) {
    TAxisMap X = LinearX(0, 1, 40, 300);
    EXPECT_EQ(X.ToPixel(1e12), PixelLimit);
    EXPECT_EQ(X.ToPixel(-1e12), -PixelLimit);
    EXPECT_EQ(X.ToPixel(Inf), PixelLimit);
    EXPECT_EQ(X.ToPixel(-Inf), -PixelLimit);
    EXPECT_EQ(X.ToPixel(NaN), -PixelLimit);
    // Exactly 2^32 pixels away would wrap to the origin with the low 32 bits; it must not.
    EXPECT_EQ(X.ToPixel(4294967296.0 / 300), PixelLimit);
    EXPECT_NE(X.ToPixel(4294967296.0 / 300), 40);

    TAxisMap Y{false, 0, 1, 186, 211, -1};
    EXPECT_EQ(Y.ToPixel(1e300), -PixelLimit);
    EXPECT_EQ(Y.ToPixel(-1e300), PixelLimit);
}

TEST(AxisMap, ReversedBoundsMirrorTheAxis) {
    TAxisMap X{false, 10, 0, 300 / (0.0L - 10), 0, 1};
    EXPECT_LT(X.Factor, 0);
    EXPECT_EQ(X.ToPixel(10), 0);
    EXPECT_EQ(X.ToPixel(0), 300);
    EXPECT_FALSE(X.Contains(5));
    EXPECT_FALSE(X.Contains(10));
}

TEST(AxisMap, ContainsIncludesBothEndsAndRejectsNaN) {
    TAxisMap X = LinearX(1, 5, 0, 100);
    EXPECT_TRUE(X.Contains(1));
    EXPECT_TRUE(X.Contains(5));
    EXPECT_FALSE(X.Contains(5.0000001));
    EXPECT_FALSE(X.Contains(NaN));
    EXPECT_FALSE(X.Contains(Inf));
}

TEST(AxisMap, FromPixelWithZeroFactorIsZero) {
    TAxisMap X{true, 0, 2, 0, 40, 1};
    EXPECT_EQ(X.FromPixel(100), 0); // not 10^0: the zero is returned unconverted
    TAxisMap Y{false, 0, 1, 0, 211, -1};
    EXPECT_EQ(Y.FromPixel(-5), 0);
}

TEST(AxisMap, FromPixelDoesNotClampAndRoundTrips) {
    TAxisMap X = LinearX(0, 5.5, 55, 290);
    EXPECT_LT(X.FromPixel(50), 0);
    // Back to pixels the truncation may land one pixel short where the value rounds down.
    for (int32_t Pixel = 55; Pixel <= 345; ++Pixel) {
        const int32_t Back = X.ToPixel(X.FromPixel(Pixel));
        EXPECT_TRUE(Back == Pixel || Back == Pixel - 1) << Pixel;
    }
    // Extreme pixels give finite values, no overflow in the difference.
    EXPECT_TRUE(std::isfinite(X.FromPixel(INT32_MIN)));
    EXPECT_TRUE(std::isfinite(X.FromPixel(INT32_MAX)));
}

TEST(AxisMap, LogAxisPixels) {
    // 1..100 over 200 pixels: one decade per 100 pixels.
    TAxisMap X{true, 0, 2, 100, 10, 1};
    EXPECT_EQ(X.ToPixel(1), 10);
    EXPECT_EQ(X.ToPixel(10), 110);
    EXPECT_EQ(X.ToPixel(100), 210);
    EXPECT_EQ(X.ToPixel(0), 10 - 200); // 0.01
    EXPECT_DOUBLE_EQ(X.FromPixel(110), 10);
}

TEST(Saturation, TruncExtendedTowardZero) {
    struct {
        long double In, Out;
    } const Cases[] = {{0.0L, 0.0L},
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
                       {-1e30L, -1e30L}};
    for (const auto& C : Cases)
        EXPECT_EQ(TruncExtended(C.In), C.Out) << static_cast<double>(C.In);
    // Just below a whole number: the extended value must not be rounded up first.
    EXPECT_EQ(TruncExtended(11.0L - 0x1p-58L), 10.0L);
    EXPECT_EQ(TruncExtended(-(11.0L - 0x1p-58L)), -10.0L);
    EXPECT_TRUE(std::isnan(TruncExtended(static_cast<long double>(NaN))));
    EXPECT_TRUE(std::isinf(TruncExtended(static_cast<long double>(Inf))));
}

TEST(Saturation, SaturatePixelTruncatesAndClamps) {
    EXPECT_EQ(SaturatePixel(12.7L), 12);
    EXPECT_EQ(SaturatePixel(-12.7L), -12);
    EXPECT_EQ(SaturatePixel(13.0L - 0x1p-59L), 12);
    EXPECT_EQ(SaturatePixel(static_cast<long double>(NaN)), -PixelLimit);
}

TEST(SegmentEnds, ShortensAlongTheSegment) {
    TSegmentEnds S = SegmentEnds({0, 0}, {30, 40}, 10, false, 10);
    EXPECT_EQ(S.From.X, 3);
    EXPECT_EQ(S.From.Y, 4);
    EXPECT_EQ(S.To.X, 27);
    EXPECT_EQ(S.To.Y, 36);
    TSegmentEnds E = SegmentEnds({0, 0}, {30, 40}, 10, true, 99);
    EXPECT_EQ(E.To.X, 30);
    EXPECT_EQ(E.To.Y, 40);
}

TEST(SegmentEnds, DirectionsAndDegenerateSegments) {
    TSegmentEnds Left = SegmentEnds({100, 50}, {0, 50}, 4, false, 6);
    EXPECT_EQ(Left.From.X, 98);
    EXPECT_EQ(Left.From.Y, 50);
    EXPECT_EQ(Left.To.X, 3);
    EXPECT_EQ(Left.To.Y, 50);
    TSegmentEnds Up = SegmentEnds({5, 100}, {5, 0}, -4, false, 4); // the sign of R is irrelevant
    EXPECT_EQ(Up.From.Y, 98);
    EXPECT_EQ(Up.To.Y, 2);
    TSegmentEnds Same = SegmentEnds({7, 7}, {7, 7}, 10, false, 10);
    EXPECT_EQ(Same.From.X, 7);
    EXPECT_EQ(Same.To.Y, 7);
}

TEST(SegmentEnds, ExtremeInputsStayDefined) {
    TSegmentEnds S = SegmentEnds({-PixelLimit, -PixelLimit}, {PixelLimit, PixelLimit}, INT32_MIN,
                                 false, INT32_MAX);
    EXPECT_GE(S.From.X, -PixelLimit);
    EXPECT_LE(S.To.X, PixelLimit);
    TSegmentEnds T = SegmentEnds({INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, 2, true, 2);
    EXPECT_EQ(T.To.X, INT32_MAX);
    EXPECT_EQ(T.To.Y, INT32_MIN);
}

} // namespace
