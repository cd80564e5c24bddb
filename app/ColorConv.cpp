#include "app/ColorConv.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Wide = long double;

// Nearest integer with ties to even, independent of the current rounding mode. NaN gives 0 and
// values beyond the 32-bit range saturate, so the conversion is always defined.
int32_t RoundHalfEvenToInt32(Wide x) {
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<Wide>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (x <= static_cast<Wide>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    Wide whole = std::floor(x);
    const Wide fraction = x - whole; // exact for |x| below 2^31
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0))
        whole += 1;
    return static_cast<int32_t>(whole);
}

// A channel value kept as its low 8 bits, as the colour value stores it.
uint8_t LowByte(int32_t value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
}

} // namespace

TRGBBytes ColorToRGBBytes(TColorValue color) {
    return {static_cast<uint8_t>((color >> 16) & 0xFF), static_cast<uint8_t>((color >> 8) & 0xFF),
            static_cast<uint8_t>(color & 0xFF)};
}

double WrapHue(double x) {
    if (x > 1)
        return static_cast<double>(static_cast<Wide>(x) - 1);
    if (x < 0)
        return static_cast<double>(static_cast<Wide>(x) + 1);
    return x;
}

THSL RGBBytesToHSL(TRGBBytes rgb) {
    const double r = static_cast<double>(static_cast<Wide>(rgb.Red) / 255);
    const double g = static_cast<double>(static_cast<Wide>(rgb.Green) / 255);
    const double b = static_cast<double>(static_cast<Wide>(rgb.Blue) / 255);
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double delta = static_cast<double>(static_cast<Wide>(max) - min);
    THSL hsl;
    hsl.L = static_cast<double>((static_cast<Wide>(max) + min) / 2);
    if (delta == 0)
        return hsl; // a grey: no hue, no saturation
    hsl.S = hsl.L < 0.5 ? static_cast<double>(delta / (static_cast<Wide>(max) + min))
                        : static_cast<double>(delta / (2 - static_cast<Wide>(max) - min));
    const auto distance = [&](double channel) {
        return static_cast<double>(((static_cast<Wide>(max) - channel) / 6 + Wide{delta} / 2) /
                                   delta);
    };
    const double dr = distance(r);
    const double dg = distance(g);
    const double db = distance(b);
    // Tested in this order, so red wins a shared maximum over green, green over blue.
    if (r == max)
        hsl.H = WrapHue(static_cast<double>(static_cast<Wide>(db) - dg));
    else if (g == max)
        hsl.H = WrapHue(static_cast<double>(1.0L / 3 + dr - db));
    else
        hsl.H = WrapHue(static_cast<double>(2.0L / 3 + dg - dr));
    return hsl;
}

THSL ColorToHSL(TColorValue color) {
    return RGBBytesToHSL(ColorToRGBBytes(color));
}

int32_t HueToChannel(double m1, double m2, double h) {
    h = WrapHue(h);
    const Wide low = m1;
    const Wide high = m2;
    Wide v;
    if (6 * Wide{h} < 1)
        v = low + (high - low) * 6 * h;
    else if (2 * Wide{h} < 1)
        v = high;
    else if (3 * Wide{h} < 2)
        v = low + (high - low) * (2.0L / 3 - h) * 6;
    else
        v = low;
    return RoundHalfEvenToInt32(v * 255);
}

TRGBBytes HSLToRGBBytes(THSL hsl) {
    if (hsl.S == 0) {
        const uint8_t grey = LowByte(RoundHalfEvenToInt32(Wide{hsl.L} * 255));
        return {grey, grey, grey};
    }
    const Wide l = hsl.L;
    const Wide s = hsl.S;
    const double m2 =
        hsl.L < 0.5 ? static_cast<double>(l * (1 + s)) : static_cast<double>((l + s) - s * l);
    const double m1 = static_cast<double>(2 * l - m2);
    TRGBBytes rgb;
    rgb.Red = LowByte(HueToChannel(m1, m2, static_cast<double>(Wide{hsl.H} + 1.0L / 3)));
    rgb.Green = LowByte(HueToChannel(m1, m2, hsl.H));
    rgb.Blue = LowByte(HueToChannel(m1, m2, static_cast<double>(Wide{hsl.H} - 1.0L / 3)));
    return rgb;
}

TColorValue HSLToColor(THSL hsl) {
    const TRGBBytes rgb = HSLToRGBBytes(hsl);
    return TColorValue{rgb.Red} + TColorValue{rgb.Green} * 256 + TColorValue{rgb.Blue} * 65536;
}

TColorValue BlendColors(TColorValue color1, TColorValue color2, double position, double min,
                        double max) {
    const THSL hsl1 = ColorToHSL(color1);
    const THSL hsl2 = ColorToHSL(color2);
    if (max == min)
        throw EZeroDivide();
    double t = static_cast<double>((Wide{position} - min) / (Wide{max} - min));
    if (!(t >= 0))
        t = 0; // negative or not a number
    else if (t > 1)
        t = 1;
    const auto mix = [t](double a, double b) {
        return static_cast<double>((1 - Wide{t}) * a + Wide{t} * b);
    };
    return HSLToColor({mix(hsl1.H, hsl2.H), mix(hsl1.S, hsl2.S), mix(hsl1.L, hsl2.L)});
}
