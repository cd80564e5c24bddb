#pragma once
// Line clipping and the coordinate limit of everything handed to the raster engine. Qt-free:
// the canvas clips its far line ends with it, the chart its far segments.

#include <cstdint>
#include <optional>

// Coordinates handed to the canvas stay within +-CoordinateLimit: far enough outside any canvas
// to be invisible, small enough for the raster engine's fixed-point arithmetic and for sums of a
// coordinate and a text size or pen width to fit 32 bits.
inline constexpr int32_t CoordinateLimit = 1 << 20;

// Value clamped into [-CoordinateLimit, CoordinateLimit].
inline int32_t ClampCoordinate(int64_t value) {
    return value < -CoordinateLimit  ? -CoordinateLimit
           : value > CoordinateLimit ? CoordinateLimit
                                     : static_cast<int32_t>(value);
}

// True for a value within [-CoordinateLimit, CoordinateLimit]; false for NaN.
inline bool WithinCoordinateLimit(long double value) {
    return -CoordinateLimit <= value && value <= CoordinateLimit;
}

struct TClipPoint {
    long double X = 0;
    long double Y = 0;
};

// A closed box: points on its edges are inside.
struct TClipBox {
    long double Left = 0;
    long double Top = 0;
    long double Right = 0;
    long double Bottom = 0;
};

struct TClippedSegment {
    TClipPoint From;
    TClipPoint To;
    bool FromMoved = false; // From was cut back to the box's edge
    bool ToMoved = false;
};

// The part of the segment a-b inside the box (Liang-Barsky), or none when no part of it is
// inside or an end is not finite. A segment of length zero is kept when its point is inside.
std::optional<TClippedSegment> ClipSegment(TClipPoint a, TClipPoint b, const TClipBox& box);
