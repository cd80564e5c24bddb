// Cost of a full chart redraw as the main window fills the chart (five counter-flow curves of 26
// points, pen width 2, 12 X ticks, 11 Y ticks, captions, Tahoma 11 px scale fonts), at the
// window's design size 365 x 251 and at 3840 x 2160; a plain fill of the 3840 x 2160 canvas as
// the floor; five lines of 100,000 points at 1920 x 1080; and the densest scale an axis gets.
//
// Run: build/<dir>/bench/ChartBench (offscreen; prints the time per redraw).

#include "support/MainWindowChart.h"

#include <benchmark/benchmark.h>

namespace {

void RedrawAt(benchmark::State& State, int32_t Width, int32_t Height, int PointsPerLine) {
    TChartPanel Chart;
    SetUpMainWindowChart(Chart, Width, Height);
    Chart.Repaint(); // size the canvas and the drawing area
    AddCounterFlowCurves(Chart, PointsPerLine);
    for (auto _ : State) {
        Chart.Redraw();
        Chart.Canvas().Flush();
        benchmark::DoNotOptimize(Chart.Canvas().Image().constBits());
    }
}

void BM_RedrawMainWindowChart_365x251(benchmark::State& State) {
    RedrawAt(State, 365, 251, 26);
}
void BM_RedrawMainWindowChart_3840x2160(benchmark::State& State) {
    RedrawAt(State, 3840, 2160, 26);
}
void BM_Redraw5x100000Points_1920x1080(benchmark::State& State) {
    RedrawAt(State, 1920, 1080, 100000);
}

// The same chart without curves: background, scales, axes and title alone.
void BM_RedrawEmptyChart_365x251(benchmark::State& State) {
    RedrawAt(State, 365, 251, 0);
}
void BM_RedrawEmptyChart_3840x2160(benchmark::State& State) {
    RedrawAt(State, 3840, 2160, 0);
}

// The densest scale any axis gets: one tick per pixel along a canvas side of 32,767 pixels
// (32,641 grid lines and labels), with the Y scale off.
void BM_RedrawOneTickAPixel_32767x200(benchmark::State& State) {
    TChartPanel Chart;
    TBitmap Target(MaxCanvasSide, 200);
    Chart.PrepareCanvas(Target.Canvas(), MaxCanvasSide, 200, false, false);
    Chart.SetShowYScale(false);
    Chart.SetScaleXLabel("Ntu");
    Chart.SetRanges(0, 3.2, 0, 1);
    Chart.SetScaleXTicks(INT32_MAX / 2); // step 0.0001
    for (auto _ : State) {
        Chart.Redraw();
        benchmark::DoNotOptimize(Target.Image().constBits());
    }
}

void BM_PlainFill_3840x2160(benchmark::State& State) {
    TBitmap Image(3840, 2160);
    TCanvas& Canvas = Image.Canvas();
    TColor Colour = clWhite;
    for (auto _ : State) {
        Canvas.Brush.Color = Colour;
        Colour ^= 0x000101;
        Canvas.FillRect(Rect(0, 0, 3840, 2160));
        benchmark::DoNotOptimize(Canvas.Image().constBits());
    }
}

BENCHMARK(BM_RedrawMainWindowChart_365x251)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawMainWindowChart_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawEmptyChart_365x251)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedrawEmptyChart_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFill_3840x2160)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Redraw5x100000Points_1920x1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawOneTickAPixel_32767x200)->Unit(benchmark::kMillisecond);

} // namespace
