#include "platform/Rounding.h"

#include <cmath>
#include <limits>

namespace {

// Nearest integral value in floating point, ties to even, without touching the rounding mode.
double RoundHalfEven(double value) {
    const double below = std::floor(value);
    // Exact: value and its floor lie within one unit of each other.
    const double fraction = value - below;
    if (fraction > 0.5)
        return below + 1;
    if (fraction < 0.5)
        return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

// Converts an integral floating-point value to Int, saturating at the range ends. The bounds are
// powers of two, exact in every floating-point type.
template <typename Int, typename Real> Int SaturatedIntegral(Real integral) {
    constexpr Real lowest = static_cast<Real>(std::numeric_limits<Int>::min());
    // -lowest is 2^(bits-1), one above the largest Int.
    if (integral >= -lowest)
        return std::numeric_limits<Int>::max();
    if (integral < lowest)
        return std::numeric_limits<Int>::min();
    return static_cast<Int>(integral);
}

} // namespace

int32_t RoundHalfEvenToInt32(double value) {
    if (std::isnan(value))
        return 0;
    return SaturatedIntegral<int32_t>(RoundHalfEven(value));
}

int64_t RoundHalfEvenToInt64(double value) {
    if (std::isnan(value))
        return 0;
    return SaturatedIntegral<int64_t>(RoundHalfEven(value));
}

int64_t TruncToInt64(long double value) {
    if (std::isnan(value))
        return 0;
    return SaturatedIntegral<int64_t>(std::trunc(value));
}

int32_t TruncLow32(long double value) {
    const uint64_t bits = static_cast<uint64_t>(TruncToInt64(value));
    return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

int32_t TruncToInt32Saturated(double value) {
    if (std::isnan(value))
        return 0;
    return SaturatedIntegral<int32_t>(std::trunc(value));
}
