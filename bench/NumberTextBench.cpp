// Cost of the number text behind every label and status-line update: a status line of three
// fixed values, one tick label, the tick lists of a logarithmic axis, and reading a real.

#include "chartpanel/ChartPanelScales.h"
#include "platform/NumberText.h"

#include <benchmark/benchmark.h>

namespace {

void BM_StatusLine(benchmark::State& state) {
    double ntu = 1.23456;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Format("  Ntu=%0.2f   e=%0.2f   Cr=%0.2f", {ntu, 0.625, 0.25}));
        ntu += 0.001;
    }
}
BENCHMARK(BM_StatusLine);

void BM_TickLabel(benchmark::State& state) {
    const double value = static_cast<double>(state.range(0)) / 1000;
    for (auto _ : state)
        benchmark::DoNotOptimize(TickLabelText(value));
}
// 0.3, 2.5, 80 and 12345 take the four format kinds.
BENCHMARK(BM_TickLabel)->Arg(300)->Arg(2500)->Arg(80000)->Arg(12345000);

void BM_FixedTinyValue(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Format("%0.4f", {1e-300}));
}
BENCHMARK(BM_FixedTinyValue);

void BM_LogTicks(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LogTicks(0.5, 50000));
}
BENCHMARK(BM_LogTicks);

void BM_StrToFloat(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(StrToFloat("  -1.2345678901234e-3"));
}
BENCHMARK(BM_StrToFloat);

} // namespace
