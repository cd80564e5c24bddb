#include "chartpanel/ChartPanelScales.h"

#include "platform/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct TStepRow {
    double Threshold;
    double Step;
};

// A raw step up to a row's threshold takes that row's step; rows are tried from the top.
constexpr std::array<TStepRow, 25> StepTable{{
    {0.00011, 0.0001}, {0.00021, 0.0002}, {0.00051, 0.0005}, {0.0011, 0.001}, {0.0021, 0.002},
    {0.0051, 0.005},   {0.011, 0.01},     {0.021, 0.02},     {0.051, 0.05},   {0.11, 0.1},
    {0.21, 0.2},       {0.51, 0.5},       {1.1, 1},          {2.1, 2},        {5.1, 5},
    {10.1, 10},        {20.1, 20},        {25.1, 25},        {50.1, 50},      {100.1, 100},
    {150.1, 150},      {200.1, 200},      {250.1, 250},      {300.1, 300},    {500.1, 500},
}};

// The decades a logarithmic axis marks as major ticks: 10^-3 ... 10^7.
constexpr std::array<double, 11> Decades{1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// How far beyond the upper bound a logarithmic walk may go, in data units.
constexpr double LogTolerance = -0.001;

// Linear ticks run on up to 2 % of the range beyond the upper bound.
constexpr double LinearOverrun = 1.02;

void AppendIfNew(TLogTicks& ticks, std::vector<double>& list, double value) {
    if (!ContainsValue(ticks.Major, value) && !ContainsValue(ticks.Minor, value))
        list.push_back(value);
}

} // namespace

std::string AutoFloatFormat(int32_t Limit, std::string_view LargeFormat, double Value) {
    if (Value > Limit)
        return std::string(LargeFormat);
    // The integer part stays in floating point: no conversion of NaN or huge values to integers.
    const double integerPart = std::trunc(std::fabs(Value));
    if (integerPart >= 75 || Value == 0)
        return "%0.0f";
    if (integerPart >= 1)
        return "%0.1f";
    if (Value >= 0.1)
        return "%0.2f";
    if (Value >= 0.01)
        return "%0.3f";
    return "%0.4f";
}

std::string TrimFloatText(std::string Text) {
    const char separator = FormatSettings().DecimalSeparator;
    const size_t point = Text.find(separator);
    const size_t exponentAt = Text.find('E');
    if (point != std::string::npos) {
        std::string mantissa = Text.substr(0, exponentAt);
        const std::string exponent =
            exponentAt == std::string::npos ? std::string() : Text.substr(exponentAt);
        // Positions are counted as in the text: the mantissa keeps at least up to the point.
        while (mantissa.size() > point + 1 && mantissa.back() == '0')
            mantissa.pop_back();
        if (mantissa.size() == point + 1)
            mantissa.pop_back();
        Text = mantissa + exponent;
    }
    const size_t e = Text.find('E');
    if (e != std::string::npos) {
        size_t end = e + 1;
        while (end < Text.size() && Text[end] == '0')
            ++end;
        Text.erase(e + 1, end - (e + 1));
    }
    return Text;
}

double NiceStep(double RawStep) {
    for (const TStepRow& row : StepTable) {
        if (RawStep <= row.Threshold)
            return row.Step;
    }
    if (std::isnan(RawStep))
        return RawStep;
    return RoundUpToMultiple(0, 500, RawStep);
}

double RoundUpToMultiple(double Tolerance, double Step, double Value) {
    double quotient = Value / Step;
    const double fraction = quotient - std::trunc(quotient);
    if (fraction >= 0 && std::fabs(fraction) > std::fabs(Tolerance))
        quotient += 1;
    return std::trunc(quotient) * Step;
}

double NextDecade(double& Last, bool& IsDecade, double Candidate) {
    IsDecade = false;
    for (const double decade : Decades) {
        if (Last < decade && Candidate - decade >= LogTolerance) {
            Last = decade;
            IsDecade = true;
            return decade;
        }
    }
    return Candidate;
}

bool ContainsValue(const std::vector<double>& List, double Value) {
    for (const double element : List) {
        if (element == Value)
            return true;
    }
    return false;
}

std::string TickLabelText(double Value) {
    return TrimFloatText(Format(AutoFloatFormat(ValueLimit, LargeValueFormat, Value), {Value}));
}

int64_t AxisTickLimit(int32_t axisPixels, int32_t longestAxis) {
    const int64_t length = axisPixels < 0 ? -int64_t{axisPixels} : int64_t{axisPixels};
    return std::max(std::min(length, int64_t{longestAxis}), MaxScaleTicks);
}

TLinearTicks LinearTicks(double Min, double Max, int32_t Ticks, int32_t PlotLength, TTickAxis Axis,
                         int64_t MaxTicks) {
    TLinearTicks result;
    if (!std::isfinite(Min) || !std::isfinite(Max) || !(Min < Max))
        return result;
    const double range = Max - Min;
    if (!std::isfinite(range))
        return result;
    const int32_t ticks = Ticks < 2 ? 2 : Ticks;
    const double step = NiceStep(range / (static_cast<double>(ticks) - 1));
    const double stepsInRange = range / step;
    const double pixelsPerStep = PlotLength / stepsInRange;
    // The two axes evaluate the overrun in a different order; keep each as it is drawn.
    const double last = Axis == TTickAxis::X ? std::trunc(range * LinearOverrun / step)
                                             : std::trunc(range / step * LinearOverrun);
    if (!std::isfinite(step) || !(step > 0) || !std::isfinite(pixelsPerStep) ||
        !(last >= 0 && last < static_cast<double>(MaxTicks)))
        return result;
    result.Valid = true;
    result.Step = step;
    result.PixelsPerStep = pixelsPerStep;
    result.Count = static_cast<int64_t>(last);
    return result;
}

TLogTicks LogTicks(double Min, double Max) {
    TLogTicks ticks;
    if (!std::isfinite(Min) || !std::isfinite(Max) || !(Min > 0) || !(Min < Max))
        return ticks;
    ticks.Major.push_back(Min);
    double value = Min;
    double last = Min;
    while (Max - value >= LogTolerance) {
        const double previous = value;
        bool isDecade = false;
        value = NextDecade(last, isDecade, 2 * value);
        if (Max - value < LogTolerance)
            break;
        if (isDecade) {
            ticks.Major.push_back(value);
        } else {
            ticks.Minor.push_back(value);
            ticks.Minor.push_back(previous + (value - previous) / 2);
        }
        // Doubling from a positive finite start ends after about 2,100 steps; this only guards
        // against an unexpected stall.
        if (ticks.Major.size() + ticks.Minor.size() > static_cast<size_t>(MaxScaleTicks))
            return {};
    }
    // Without minor ticks the quarter and half of the range stand in for them. A fallback that
    // coincides with a decade is skipped: a grid line drawn twice would cancel itself.
    if (ticks.Minor.empty()) {
        AppendIfNew(ticks, ticks.Minor, Min + (Max - Min) / 4);
        AppendIfNew(ticks, ticks.Minor, Min + (Max - Min) / 2);
    }
    AppendIfNew(ticks, ticks.Major, Max);
    if (ticks.Major.size() + ticks.Minor.size() > static_cast<size_t>(MaxScaleTicks))
        return {};
    return ticks;
}
