// Cost of a full chart redraw as the main window fills the chart (five counter-flow curves of 26
// points, pen width 2, 12 X ticks, 11 Y ticks, captions, Tahoma 11 px scale fonts), at the
// window's design size 365 x 251 and at 3840 x 2160; a plain fill of the 3840 x 2160 canvas as
// the floor; five lines of 100,000 points at 1920 x 1080; the densest scale an axis gets; and the
// same chart at device pixel ratios 1.5 and 2, drawn into an image of that ratio as a window on a
// high-resolution screen (or an export) draws it; and at 3840 x 2160 with curves that change at
// every redraw.
//
// Run: build/<dir>/bench/ChartBench (offscreen; prints the time per redraw).

#include "support/MainWindowChart.h"

#include <benchmark/benchmark.h>

namespace {

void RedrawAt(benchmark::State& state, int32_t width, int32_t height, int pointsPerLine) {
    TChartPanel chart;
    SetUpMainWindowChart(chart, width, height);
    chart.Repaint(); // size the canvas and the drawing area
    AddCounterFlowCurves(chart, pointsPerLine);
    for (auto _ : state) {
        chart.Redraw();
        chart.Canvas().Flush();
        benchmark::DoNotOptimize(chart.Canvas().Image().constBits());
    }
}

// The chart of width x height logical pixels drawn into an image at a device ratio.
void RedrawAtRatio(benchmark::State& state, int32_t width, int32_t height, double ratio) {
    TChartPanel chart;
    SetUpMainWindowChart(chart, width, height);
    TBitmap target;
    target.Canvas().SetDeviceRatio(ratio);
    target.SetSize(width, height);
    chart.PrepareCanvas(target.Canvas(), width, height, false, false);
    AddCounterFlowCurves(chart, 26);
    for (auto _ : state) {
        chart.Redraw();
        benchmark::DoNotOptimize(target.Image().constBits());
    }
    state.counters["device_pixels"] = double(target.Image().width()) * target.Image().height();
}

void BM_RedrawMainWindowChart_365x251(benchmark::State& state) {
    RedrawAt(state, 365, 251, 26);
}
void BM_RedrawMainWindowChart_3840x2160(benchmark::State& state) {
    RedrawAt(state, 3840, 2160, 26);
}
void BM_Redraw5x100000Points_1920x1080(benchmark::State& state) {
    RedrawAt(state, 1920, 1080, 100000);
}

// Ratio 1 in an image, for a like-for-like comparison with the ratios above 1.
void BM_RedrawMainWindowChart_365x251_Ratio1(benchmark::State& state) {
    RedrawAtRatio(state, 365, 251, 1);
}
void BM_RedrawMainWindowChart_365x251_Ratio1_5(benchmark::State& state) {
    RedrawAtRatio(state, 365, 251, 1.5);
}
void BM_RedrawMainWindowChart_365x251_Ratio2(benchmark::State& state) {
    RedrawAtRatio(state, 365, 251, 2);
}
// A full-screen window on a 3840 x 2160 screen at 150 % and at 200 %.
void BM_RedrawMainWindowChart_2560x1440_Ratio1_5(benchmark::State& state) {
    RedrawAtRatio(state, 2560, 1440, 1.5);
}
void BM_RedrawMainWindowChart_1920x1080_Ratio2(benchmark::State& state) {
    RedrawAtRatio(state, 1920, 1080, 2);
}

// The chart at 3840 x 2160 with curves that change at every redraw (the data scaled a little
// each time), so that none of their rasterised spans is reused from an earlier drawing.
void BM_RedrawChangingCurves_3840x2160(benchmark::State& state) {
    TChartPanel chart;
    SetUpMainWindowChart(chart, 3840, 2160);
    chart.Repaint();
    AddCounterFlowCurves(chart, 26);
    double scale = 1;
    for (auto _ : state) {
        scale = scale > 0.9 ? scale - 0.001 : 1;
        for (size_t i = 0; i < chart.Lines().size(); ++i)
            for (const auto& point : chart.Lines()[i]->Points)
                point->Y = CounterFlowE(double(i) / 4, point->X) * scale;
        chart.Redraw();
        benchmark::DoNotOptimize(chart.Canvas().Image().constBits());
    }
}

// The same chart without curves: background, scales, axes and title alone.
void BM_RedrawEmptyChart_365x251(benchmark::State& state) {
    RedrawAt(state, 365, 251, 0);
}
void BM_RedrawEmptyChart_3840x2160(benchmark::State& state) {
    RedrawAt(state, 3840, 2160, 0);
}

// The densest scale any axis gets: one tick per pixel along a canvas side of 32,767 pixels
// (32,641 grid lines and labels), with the Y scale off.
void BM_RedrawOneTickAPixel_32767x200(benchmark::State& state) {
    TChartPanel chart;
    TBitmap target(MaxCanvasSide, 200);
    chart.PrepareCanvas(target.Canvas(), MaxCanvasSide, 200, false, false);
    chart.SetShowYScale(false);
    chart.SetScaleXLabel("Ntu");
    chart.SetRanges(0, 3.2, 0, 1);
    chart.SetScaleXTicks(INT32_MAX / 2); // step 0.0001
    for (auto _ : state) {
        chart.Redraw();
        benchmark::DoNotOptimize(target.Image().constBits());
    }
}

void BM_PlainFill_3840x2160(benchmark::State& state) {
    TBitmap image(3840, 2160);
    TCanvas& canvas = image.Canvas();
    TColor colour = clWhite;
    for (auto _ : state) {
        canvas.Brush.Color = colour;
        colour ^= 0x000101;
        canvas.FillRect(Rect(0, 0, 3840, 2160));
        benchmark::DoNotOptimize(canvas.Image().constBits());
    }
}

BENCHMARK(BM_RedrawMainWindowChart_365x251)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_365x251_Ratio1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_365x251_Ratio1_5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_365x251_Ratio2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_2560x1440_Ratio1_5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_1920x1080_Ratio2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawChangingCurves_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawEmptyChart_365x251)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawEmptyChart_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFill_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Redraw5x100000Points_1920x1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawOneTickAPixel_32767x200)->Unit(benchmark::kMillisecond);

} // namespace
