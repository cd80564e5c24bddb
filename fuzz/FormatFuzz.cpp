// Feeds arbitrary format strings, number texts and values into the number-text routines and the
// scale engine. Anything may be rejected with EFormatError; nothing may crash, hang or read out
// of bounds, and what is accepted must read back.
//
// Input layout: byte 0 chooses how many doubles follow (0 to 3, 8 bytes each, native order); the
// rest is the text, used as a format and as a number text.

#include "chartpanel/ChartPanelScales.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Fixed text of a finite value reads back within half a unit of its last digit.
void CheckFixedReadsBack(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15)
        return;
    double back = 0;
    Check(TryStrToFloat(Format("%0.4f", {value}), back));
    Check(std::fabs(back - value) <= 0.00005 + std::fabs(value) * 1e-15);
}

// FloatToStr keeps 15 significant digits.
void CheckGeneralReadsBack(double value) {
    const std::string text = FloatToStr(value);
    double back = 0;
    if (!std::isfinite(value)) {
        Check(!TryStrToFloat(text, back));
        return;
    }
    Check(TryStrToFloat(text, back));
    Check(std::fabs(back - value) <= std::fabs(value) * 1e-14 ||
          std::fabs(value) < std::numeric_limits<double>::min());
}

void FuzzValue(double value) {
    CheckFixedReadsBack(value);
    CheckGeneralReadsBack(value);
    const std::string label = TickLabelText(value);
    Check(!label.empty());
    (void)Format("%4.2g", {value});
}

void FuzzScales(const std::vector<double>& values) {
    if (values.size() < 2)
        return;
    const TLinearTicks linear = LinearTicks(values[0], values[1], 6, 400);
    if (linear.Valid) {
        Check(linear.Count >= 0 && linear.Count < MaxScaleTicks);
        Check(std::isfinite(linear.Step) && linear.Step > 0);
    }
    const TLogTicks log = LogTicks(values[0], values[1]);
    Check(log.Major.size() + log.Minor.size() <= static_cast<size_t>(MaxScaleTicks));
    (void)NiceStep(values[0]);
    (void)RoundUpToMultiple(values[0], values[1], values[0]);
}

void FuzzText(std::string_view text, const std::vector<double>& values) {
    try {
        const std::string formatted = Format(text, values);
        // Every accepted format writes at least its literal characters; none grows unboundedly.
        Check(formatted.size() <= text.size() * 2000 + 4000);
    } catch (const EFormatError&) {
    }
    double real = 0;
    if (TryStrToFloat(text, real)) {
        Check(std::isfinite(real));
        CheckGeneralReadsBack(real);
    }
    int32_t integer = 0;
    if (TryStrToInt(text, integer)) {
        Check(FloatToStr(integer).size() <= 11);
    }
    (void)TrimFloatText(std::string(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    FormatSettings() = {'.', ','};
    const size_t count = data[0] % 4;
    size_t pos = 1;
    std::vector<double> values;
    for (size_t i = 0; i < count && pos + sizeof(double) <= size; ++i) {
        double value = 0;
        std::memcpy(&value, data + pos, sizeof value);
        values.push_back(value);
        pos += sizeof value;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + pos), size - pos);
    for (const double value : values)
        FuzzValue(value);
    FuzzScales(values);
    FuzzText(text, values);
    return 0;
}
