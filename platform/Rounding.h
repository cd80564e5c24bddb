#pragma once
// Conversions of reals to integers with a defined result for every input. A plain static_cast of
// a NaN or of a value outside the target range is undefined behaviour in C++; these helpers never
// do that: they decide in floating point first and convert only values that fit.

#include <cstdint>

// Nearest integer, an exact half going to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2),
// independent of the floating-point rounding mode. NaN gives 0; values beyond the int32 range
// (infinities included) saturate to INT32_MIN / INT32_MAX.
int32_t RoundHalfEvenToInt32(double value);

// As RoundHalfEvenToInt32 with the int64 range.
int64_t RoundHalfEvenToInt64(double value);

// Truncation toward zero (1.9 -> 1, -1.9 -> -1). NaN gives 0; values beyond the int64 range
// (infinities included) saturate to INT64_MIN / INT64_MAX.
int64_t TruncToInt64(long double value);

// The low 32 bits of TruncToInt64(value), read as a signed 32-bit value: the integer wraps modulo
// 2^32 as a 32-bit register would keep it (2^32 + 5 -> 5, 2^31 -> INT32_MIN). Since the
// truncation saturates first, NaN gives 0, +inf gives -1 (low bits of INT64_MAX) and -inf gives 0
// (low bits of INT64_MIN).
int32_t TruncLow32(long double value);

// Truncation toward zero into the int32 range. NaN gives 0; values beyond the range (infinities
// included) saturate to INT32_MIN / INT32_MAX.
int32_t TruncToInt32Saturated(double value);
