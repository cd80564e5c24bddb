#include "app/ColorConv.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr TColorValue Green = 0x008000;
constexpr TColorValue OrangeRed = 0x0045FF;
const double NaN = std::numeric_limits<double>::quiet_NaN();

// The middle curve colour depends on whether long double carries 64 mantissa bits.
constexpr TColorValue MiddleCurveColor =
    std::numeric_limits<long double>::digits >= 64 ? 0x00BFA6 : 0x00C0A6;

void ExpectHSL(TColorValue color, double h, double s, double l) {
    const THSL hsl = ColorToHSL(color);
    EXPECT_NEAR(hsl.H, h, 1e-12) << std::hex << color;
    EXPECT_NEAR(hsl.S, s, 1e-12) << std::hex << color;
    EXPECT_NEAR(hsl.L, l, 1e-12) << std::hex << color;
}

} // namespace

TEST(ColorConv, SplitsTheColourValueIntoBlueGreenRedAndIgnoresTheTopByte) {
    EXPECT_EQ(ColorToRGBBytes(0x00123456), (TRGBBytes{0x12, 0x34, 0x56}));
    EXPECT_EQ(ColorToRGBBytes(0xFF000005), (TRGBBytes{0x00, 0x00, 0x05}));
}

TEST(ColorConv, FiveCurveColoursFromGreenToOrangeRed) {
    const TColorValue expected[5] = {0x008000, 0x00A045, MiddleCurveColor, 0x009DDF, 0x0045FF};
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(BlendColors(Green, OrangeRed, i, 0, 4), expected[i]) << "curve " << i;
}

TEST(ColorConv, HSLOfReferenceColours) {
    ExpectHSL(Green, 1.0 / 3, 1, 128.0 / 510);
    ExpectHSL(OrangeRed, 0.045098039215686, 1, 0.5);
    EXPECT_NEAR(ColorToHSL(OrangeRed).H, 69.0 / 255 / 6, 1e-15);
    ExpectHSL(0x0000FF, 0, 1, 0.5);         // red
    ExpectHSL(0xFF0000, 2.0 / 3, 1, 0.5);   // blue
    ExpectHSL(0x00FFFF, 1.0 / 6, 1, 0.5);   // yellow
    ExpectHSL(0xFFFFFF, 0, 0, 1);           // white
    ExpectHSL(0x000000, 0, 0, 0);           // black
    ExpectHSL(0x808080, 0, 0, 128.0 / 255); // grey
    ExpectHSL(0xFF00FF, 5.0 / 6, 1, 0.5);   // magenta: hue wraps below 0
    ExpectHSL(0x00FF00, 1.0 / 3, 1, 0.5);   // lime
}

TEST(ColorConv, SharedMaximumPrefersRedThenGreen) {
    // Yellow (red = green) takes the red branch, cyan (green = blue) the green branch; both
    // branches agree on the hue, which shows the tests run in the stated order without a gap.
    EXPECT_NEAR(ColorToHSL(0x00FFFF).H, 1.0 / 6, 1e-15);
    EXPECT_NEAR(ColorToHSL(0xFFFF00).H, 0.5, 1e-15);
}

TEST(ColorConv, ReferenceColoursConvertBackToThemselves) {
    for (TColorValue color : {Green, OrangeRed, TColorValue{0x0000FF}, TColorValue{0xFF0000},
                              TColorValue{0x00FFFF}, TColorValue{0xFFFFFF}, TColorValue{0},
                              TColorValue{0x808080}, TColorValue{0x00A045}, TColorValue{0x009DDF}})
        EXPECT_EQ(HSLToColor(ColorToHSL(color)), color) << std::hex << color;
}

TEST(ColorConv, EveryGreyAndEveryPrimaryRampRoundTrips) {
    for (TColorValue v = 0; v <= 255; ++v) {
        EXPECT_EQ(HSLToColor(ColorToHSL(v * 0x010101)), v * 0x010101);
        EXPECT_EQ(HSLToColor(ColorToHSL(v)), v);
        EXPECT_EQ(HSLToColor(ColorToHSL(v << 8)), v << 8);
        EXPECT_EQ(HSLToColor(ColorToHSL(v << 16)), v << 16);
    }
}

TEST(ColorConv, WrapHueCorrectsOnceAtMost) {
    EXPECT_DOUBLE_EQ(WrapHue(1.25), 0.25);
    EXPECT_DOUBLE_EQ(WrapHue(-0.25), 0.75);
    EXPECT_DOUBLE_EQ(WrapHue(1), 1);
    EXPECT_DOUBLE_EQ(WrapHue(0), 0);
    EXPECT_DOUBLE_EQ(WrapHue(2.5), 1.5);
    EXPECT_DOUBLE_EQ(WrapHue(-1.5), -0.5);
    EXPECT_TRUE(std::isnan(WrapHue(NaN)));
}

TEST(ColorConv, HueToChannelBranchesAndTiesToEven) {
    EXPECT_EQ(HueToChannel(0, 1, 0.1), 153);  // rising edge: 0.6 * 255
    EXPECT_EQ(HueToChannel(0, 1, 0.4), 255);  // plateau at m2
    EXPECT_EQ(HueToChannel(0, 1, 0.6), 102);  // falling edge
    EXPECT_EQ(HueToChannel(0.2, 1, 0.9), 51); // floor at m1
    EXPECT_EQ(HueToChannel(0, 1, 1.1), 153);  // wrapped
    // Exact ties: v * 255 is a half only for v = k + 0.5.
    EXPECT_EQ(HueToChannel(0, 0.5, 0.4), 128);   // 127.5 up to the even 128
    EXPECT_EQ(HueToChannel(0, 1.5, 0.4), 382);   // 382.5 down to the even 382
    EXPECT_EQ(HueToChannel(0, -0.5, 0.4), -128); // -127.5 to the even -128
}

TEST(ColorConv, HueToChannelIsDefinedForAnyInput) {
    EXPECT_EQ(HueToChannel(NaN, NaN, 0.3), 0);
    EXPECT_EQ(HueToChannel(0, 1, NaN), 0); // NaN hue falls to m1
    EXPECT_EQ(HueToChannel(1e300, 1e300, 0.3), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(HueToChannel(-1e300, -1e300, 0.3), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(HueToChannel(0, 2, 0.4), 510); // out of range bytes are the caller's concern
}

TEST(ColorConv, HSLOutsideTheUnitRangeGivesDefinedColours) {
    EXPECT_EQ(HSLToColor({0, 0, NaN}), 0u);
    EXPECT_EQ(HSLToColor({NaN, NaN, NaN}), 0u);
    EXPECT_EQ(HSLToColor({0, 0, 2}), (510u & 0xFF) * 0x010101); // low 8 bits kept
    EXPECT_EQ(HSLToColor({0.5, 1, -1e300}), HSLToColor({0.5, 1, -1e300}));
}

TEST(ColorConv, BlendPositionsOutsideTheRangeTakeTheNearerEnd) {
    EXPECT_EQ(BlendColors(Green, OrangeRed, -3, 0, 4), Green);
    EXPECT_EQ(BlendColors(Green, OrangeRed, 9, 0, 4), OrangeRed);
    EXPECT_EQ(BlendColors(Green, OrangeRed, NaN, 0, 4), Green);
    EXPECT_EQ(BlendColors(Green, OrangeRed, std::numeric_limits<double>::infinity(), 0, 4),
              OrangeRed);
    // A reversed range runs from colour 1 at min to colour 2 at max all the same.
    EXPECT_EQ(BlendColors(Green, OrangeRed, 4, 4, 0), Green);
    EXPECT_EQ(BlendColors(Green, OrangeRed, 0, 4, 0), OrangeRed);
}

TEST(ColorConv, BlendInterpolatesHueAlongTheUnitRangeNotTheShortArc) {
    // Red (H 0) to magenta (H 5/6): halfway is H 5/12, a green-cyan, not a pink.
    const THSL mid = ColorToHSL(BlendColors(0x0000FF, 0xFF00FF, 1, 0, 2));
    EXPECT_NEAR(mid.H, 5.0 / 12, 0.005);
}

TEST(ColorConv, BlendOverAnEmptyRangeRaisesZeroDivide) {
    EXPECT_THROW(BlendColors(Green, OrangeRed, 1, 2, 2), EZeroDivide);
    EXPECT_THROW(BlendColors(Green, OrangeRed, 2, 2, 2), EZeroDivide);
}
