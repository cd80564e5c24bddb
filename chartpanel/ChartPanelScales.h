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

std::string AutoFloatFormat(int32_t Limit, std::string_view LargeFormat, double Value);
std::string TrimFloatText(std::string Text);
double NiceStep(double RawStep);
double RoundUpToMultiple(double Tolerance, double Step, double Value);
double NextDecade(double& Last, bool& IsDecade, double Candidate);
bool ContainsValue(const std::vector<double>& List, double Value);

// Label text of a tick value: TrimFloatText(Format(AutoFloatFormat(9999, "%4.2g", v), v)).
std::string TickLabelText(double Value);

// Ticks of a linear axis between the scaled bounds Min < Max, asked for Ticks >= 2 ticks over a
// plot of PlotLength pixels: tick i (0 <= i <= Count) lies at scale value i * Step + Min and at
// pixel offset nearest(i * PixelsPerStep). Valid is false when the axis gets no ticks at all
// (bounds not finite or not increasing, or a tick count far beyond anything drawable).
struct TLinearTicks {
    bool Valid = false;
    double Step = 0;
    double PixelsPerStep = 0;
    int64_t Count = 0; // index of the last tick; Count + 1 ticks
};
TLinearTicks LinearTicks(double Min, double Max, int32_t Ticks, int32_t PlotLength);

// Ticks of a logarithmic axis between the public bounds Min < Max: major ticks at Min, at the
// decades and at Max (unless already a tick), minor ticks at the doubling steps and their
// midpoints, or at the quarter and half of the range when the walk produced none. Every value
// appears once. Empty lists when the bounds are not usable or the walk would be unbounded.
struct TLogTicks {
    std::vector<double> Major;
    std::vector<double> Minor;
};
TLogTicks LogTicks(double Min, double Max);
