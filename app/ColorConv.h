#pragma once
// Colour conversions between the 32-bit colour value (0x00BBGGRR), its three bytes and the HSL
// model (hue, saturation, lightness, each in [0, 1]; hue 0 red, 1/3 green, 2/3 blue), and the
// blend that spreads a family of curves along a gradient in HSL space.
//
// Precision: every expression is evaluated in long double and each named value (channel
// fractions, max, min, delta, dr, dg, db, m1, m2, hue arguments, t, H, S, L) is stored as a
// double. With the 64-bit mantissa of x86 the middle colour of the chart's curve family is
// 0x00BFA6; where long double is plain double it is 0x00C0A6.

#include <cstdint>

using TColorValue = uint32_t;

// Bytes in memory order of the colour value: blue, green, red.
struct TRGBBytes {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    bool operator==(const TRGBBytes&) const = default;
};

struct THSL {
    double H = 0;
    double S = 0;
    double L = 0;
};

// Only the low 24 bits are read: a system colour (top byte set) is not resolved.
TRGBBytes ColorToRGBBytes(TColorValue color);
THSL RGBBytesToHSL(TRGBBytes rgb);
THSL ColorToHSL(TColorValue color);

// One correction into [0, 1] at most: above 1 subtracts 1, below 0 adds 1. NaN stays NaN.
double WrapHue(double x);

// Channel value of hue h between the lightness bounds m1 and m2, times 255, rounded to the
// nearest integer with ties to even. The caller keeps the low 8 bits. Defined for every input:
// a NaN result gives 0, results beyond the 32-bit range saturate.
int32_t HueToChannel(double m1, double m2, double h);

TRGBBytes HSLToRGBBytes(THSL hsl);
TColorValue HSLToColor(THSL hsl);

// The colour at position between min and max on the way from color1 (at min) to color2 (at
// max), interpolated linearly in H, S and L (the hue along [0, 1], not the shorter arc).
// Positions outside the range, and a position that gives no number, take the nearer end
// colour (NaN: color1). Raises EZeroDivide when max equals min: the range has no length.
TColorValue BlendColors(TColorValue color1, TColorValue color2, double position, double min,
                        double max);
