#pragma once
// Widget-free part of the chart's scales: the number text of every value the chart shows, the
// step table, and the tick lists of linear and logarithmic axes. The widget only draws them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Upper bound of the values formatted in fixed point, and the format of larger ones.
inline constexpr int32_t ValueLimit = 9999;
inline constexpr std::string_view LargeValueFormat = "%4.2g";

// Most ticks an axis gets whatever its length. An axis whose bounds or tick count would give more
// than its limit gets no ticks (LinearTicks: Valid false; LogTicks: empty lists), so that no input
// makes a redraw hang; its caption still stands.
inline constexpr int64_t MaxScaleTicks = 10000;
// The limit of an axis `axisPixels` long: one tick per pixel (more could not be told apart), at
// least MaxScaleTicks, at most `longestAxis` (the pixels the canvas has along the axis).
int64_t AxisTickLimit(int32_t axisPixels, int32_t longestAxis);

// Format for Value: LargeFormat above Limit, else "%0.0f" ... "%0.4f" by the size of the value.
// NaN gets "%0.4f" (written "NAN"); -inf "%0.0f".
std::string AutoFloatFormat(int32_t Limit, std::string_view LargeFormat, double Value);
// Drops trailing zeros (and a bare decimal separator) of the mantissa and leading zeros of the
// exponent: "0.5000" -> "0.5", "12.0" -> "12", "1.2E004" -> "1.2E4". The separator is the
// process's decimal separator.
std::string TrimFloatText(std::string Text);
// The step table's step for RawStep; above 500.1 the next multiple of 500. Zero, negative and
// -inf give the first row's 0.0001; NaN gives NaN and +inf gives +inf (LinearTicks rejects both).
double NiceStep(double RawStep);
// Value / Step rounded up (when its positive fraction exceeds |Tolerance|) or truncated toward
// zero, times Step; all in floating point, so any input has a result (NaN or inf when Step is 0
// or Value is not finite).
double RoundUpToMultiple(double Tolerance, double Step, double Value);
// The smallest of 10^-3 ... 10^7 above Last and at most 0.001 above Candidate (Last becomes it,
// IsDecade true), else Candidate.
double NextDecade(double& Last, bool& IsDecade, double Candidate);
bool ContainsValue(const std::vector<double>& List, double Value);

// Label text of a tick value: TrimFloatText(Format(AutoFloatFormat(9999, "%4.2g", v), v)).
std::string TickLabelText(double Value);

// Ticks of a linear axis between the scaled bounds Min < Max, asked for Ticks >= 2 ticks over a
// plot of PlotLength pixels: tick i (0 <= i <= Count) lies at scale value i * Step + Min and at
// pixel offset nearest(i * PixelsPerStep). Valid is false when the axis gets no ticks at all
// (bounds not finite or not increasing, or MaxTicks ticks or more).
struct TLinearTicks {
    bool Valid = false;
    double Step = 0;
    double PixelsPerStep = 0;
    int64_t Count = 0; // index of the last tick; Count + 1 ticks
};
// The X axis counts its last tick as trunc(range * 1.02 / Step), the Y axis as
// trunc(range / Step * 1.02); the two can differ by one where the quotient is nearly whole.
enum class TTickAxis { X, Y };
TLinearTicks LinearTicks(double Min, double Max, int32_t Ticks, int32_t PlotLength,
                         TTickAxis Axis = TTickAxis::X, int64_t MaxTicks = MaxScaleTicks);

// Ticks of a logarithmic axis between the public bounds Min < Max: major ticks at Min, at the
// decades and at Max (unless already a tick), minor ticks at the doubling steps and their
// midpoints, or at the quarter and half of the range when the walk produced none. Every value
// appears once: a quarter or half point that coincides with a decade is left out. Empty lists
// when the bounds are not usable (not finite, Min <= 0, Min >= Max) or give more than
// MaxScaleTicks ticks. Both axes use it.
struct TLogTicks {
    std::vector<double> Major;
    std::vector<double> Minor;
};
TLogTicks LogTicks(double Min, double Max);
