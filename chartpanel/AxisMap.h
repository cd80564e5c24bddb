#pragma once
// The mapping of one chart axis between data values, scale space (the value itself, or its
// base-10 logarithm) and pixels. A plain value without Qt: the chart keeps one per axis, updates
// its pixel side at each layout and hands copies to everything that draws.

#include <cmath>
#include <cstdint>

// Pixel coordinates are held within +-PixelLimit: a data value far outside the plot saturates
// there instead of wrapping round to a visible pixel, and the difference of two coordinates
// always fits 32 bits.
inline constexpr int32_t PixelLimit = 1 << 29;

// Truncation toward zero in extended precision. Done with additions rather than a conversion
// to an integer, which on x87 switches the rounding mode each time and dominated the drawing of
// long lines. NaN, infinities and magnitudes of 2^62 and more (whole already) come back as given.
inline long double TruncExtended(long double value) {
    constexpr long double shift = 0x1p63L; // sums near it have a unit in the last place of 1
    if (!(std::fabs(value) < 0x1p62L))
        return value;
    if (value >= 0) {
        const long double whole = (value + shift) - shift; // nearest whole number
        return whole > value ? whole - 1 : whole;
    }
    const long double whole = (value - shift) + shift;
    return whole < value ? whole + 1 : whole;
}

// Truncation toward zero into +-PixelLimit; NaN gives -PixelLimit.
inline int32_t SaturatePixel(long double value) {
    if (value > -PixelLimit && value < PixelLimit) // whole and within 2^29: exact as a double
        return static_cast<int32_t>(static_cast<double>(TruncExtended(value)));
    return value >= PixelLimit ? PixelLimit : -PixelLimit; // NaN: -PixelLimit
}

struct TAxisMap {
    bool Log = false;
    double ScaledMin = 0;
    double ScaledMax = 0;
    long double Factor = 0; // pixels per scale unit
    int32_t Origin = 0;     // pixel of ScaledMin
    int32_t Direction = 1;  // +1: pixels grow with the value (X); -1: they shrink (Y)

    // Places the axis on `length` pixels from `origin`: Factor = length / (ScaledMax - ScaledMin),
    // with a span of 1 for equal bounds (no division by zero). Reversed bounds give a negative
    // factor, which mirrors the axis.
    void Fit(int32_t origin, int32_t length);
    // Data value to scale space; on a log axis a value <= 0 gives -2 (the logarithm of 0.01).
    double ToScale(double value) const;
    double FromScale(double scaled) const;
    // Pixel offset from Origin before saturation: the truncated product, exact in extended
    // precision; NaN or infinite when the inputs are.
    long double Offset(double value) const;
    // Exact pixel (Origin + Direction * Offset), not saturated; used to clip far segments.
    long double ExactPixel(double value) const;
    // Pixel of a data value, saturated to +-PixelLimit; NaN gives -PixelLimit.
    int32_t ToPixel(double value) const;
    // Data value of a pixel; 0 when Factor is 0 (before the first layout).
    double FromPixel(int32_t pixel) const;
    // ScaledMin <= ToScale(value) <= ScaledMax; false for NaN.
    bool Contains(double value) const;
};

// Inline: every point of every line goes through these on each redraw.
inline double TAxisMap::ToScale(double value) const {
    if (!Log)
        return value;
    if (value <= 0)
        return -2.0; // log10(0.01)
    return std::log10(value);
}

inline long double TAxisMap::Offset(double value) const {
    const long double product =
        (static_cast<long double>(ToScale(value)) - static_cast<long double>(ScaledMin)) * Factor;
    return TruncExtended(product);
}

inline long double TAxisMap::ExactPixel(double value) const {
    return static_cast<long double>(Origin) + Direction * Offset(value);
}

inline int32_t TAxisMap::ToPixel(double value) const {
    return SaturatePixel(ExactPixel(value));
}

// The pixel of a value as ToPixel gives it, in double arithmetic where that cannot differ, with
// `factor` the map's Factor as a double: the product truncated is the same whole number in double
// and in extended precision when it lies clear of every whole number by more than both can be off
// (a few units in the last place of a double). False when that is not certain, or the pixel is
// far out or not finite: then ToPixel decides. A line of many points maps most of them this way,
// several times faster.
inline bool QuickPixel(const TAxisMap& map, double factor, double value, int32_t& pixel) {
    const double product = (map.ToScale(value) - map.ScaledMin) * factor;
    if (!(std::fabs(product) < 0x1p40)) // also NaN
        return false;
    const int64_t whole = static_cast<int64_t>(product); // toward zero, exact in this range
    const double fraction = std::fabs(product - static_cast<double>(whole));
    const double margin = 0x1p-48 * (std::fabs(product) > 1 ? std::fabs(product) : 1.0);
    if (fraction < margin || fraction > 1 - margin)
        return false;
    const int64_t result = map.Origin + map.Direction * whole;
    if (result <= -PixelLimit || result >= PixelLimit)
        return false;
    pixel = static_cast<int32_t>(result);
    return true;
}
