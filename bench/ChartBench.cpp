// Cost of a full chart redraw as the main window fills the chart (five counter-flow curves of 26
// points, pen width 2, 12 X ticks, 11 Y ticks, captions, Tahoma 11 px scale fonts), at the
// window's design size 365 x 251 and at 3840 x 2160; a plain fill of the 3840 x 2160 canvas as
// the floor; and five lines of 100,000 points at 1920 x 1080.
//
// Run: build/<dir>/bench/ChartBench (offscreen; prints the time per redraw).

#include "app/ColorConv.h"
#include "chartpanel/ChartPanel.h"
#include "relations/Effectiveness.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

void SetUpChart(TChartPanel& Chart, int32_t Width, int32_t Height) {
    Chart.SetWidth(Width + Chart.BevelWidth());
    Chart.SetHeight(Height + Chart.BevelWidth());
    Chart.SetLeftMargin(55);
    Chart.SetRightMargin(20);
    Chart.SetTopMargin(25);
    Chart.SetBottomMargin(40);
    TFont ScaleFont;
    ScaleFont.SetName("Tahoma");
    ScaleFont.SetHeight(-11);
    Chart.SetScaleXFont(ScaleFont);
    Chart.SetScaleYFont(ScaleFont);
    Chart.SetScaleYTicks(11);
    Chart.SetScaleXLabel("Ntu = UoAo / Cmin");
    Chart.SetScaleYLabel("Effectiveness");
    Chart.SetScaleXTicks(12);
    Chart.SetRanges(0, 5.5, 0, 1);
    Chart.Repaint(); // size the canvas and the drawing area
}

void AddCurves(TChartPanel& Chart, int PointsPerLine) {
    Chart.Clear();
    if (PointsPerLine < 2)
        return;
    const double Last = PointsPerLine - 1;
    for (int i = 0; i <= 4; ++i) {
        TChartLine* Line =
            Chart.AddLine(BlendColors(0x008000, 0x0045FF, i, 0, 4), 0, nullptr, 3, {});
        Line->SetPen(psSolid, 2);
        for (int j = 0; j < PointsPerLine; ++j) {
            const double Ntu = 5.0 * j / Last;
            Line->AddPoint(Ntu, CounterFlowE(i / 4.0, Ntu));
        }
    }
}

void RedrawAt(benchmark::State& State, int32_t Width, int32_t Height, int PointsPerLine) {
    TChartPanel Chart;
    SetUpChart(Chart, Width, Height);
    AddCurves(Chart, PointsPerLine);
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

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
