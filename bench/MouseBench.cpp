// Cost of one mouse movement over the main window's chart: from the move delivered to the chart
// to the status text set. The chart is built as the main window builds it (365 x 251, five
// curves of 26 points, scales and read-out box on), and the owner's mouse-move handler does what
// the main window's does: clamp, solve Cr, format the status text. The flow configuration is a
// parameter (its index in the list: 0 counter flow, 3 exact cross flow, ...). At device pixel
// ratio 2 the chart draws (and the read-out box is composed) at 730 x 502 device pixels, as on a
// screen at 200 %. Target: 50 us.
//
// Run: build/<dir>/bench/MouseBench (prints mean, median and spread over 10 repetitions).

#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "relations/FlowConfigurations.h"
#include "support/MainWindowChart.h"

#include <QApplication>
#include <QStatusBar>
#include <QString>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

void BuildMainWindowChart(TChartPanel& chart, const TFlowConfiguration& flow) {
    SetUpMainWindowChart(chart, 365, 251);
    AddRelationCurves(chart, 26, flow.Relation);
    // Shown (offscreen) so that the panel takes its size and paints as in the window.
    chart.show();
    QApplication::processEvents();
    chart.Redraw();
}

void BM_ChartMouseMove(benchmark::State& state) {
    const TFlowConfiguration& flow = FlowConfigurations()[state.range(2)];
    state.SetLabel(flow.Name);
    TChartPanel chart;
    BuildMainWindowChart(chart, flow);
    // At a ratio above 1 the chart draws into an image of that ratio (the offscreen screen has
    // ratio 1), which is what its own canvas is on such a screen.
    const double ratio = double(state.range(3)) / 100;
    TBitmap device;
    if (ratio != 1) {
        device.Canvas().SetDeviceRatio(ratio);
        device.SetSize(chart.DrawWidth(), chart.DrawHeight());
        chart.PrepareCanvas(device.Canvas(), chart.DrawWidth(), chart.DrawHeight(), false, false);
        chart.Redraw();
    }
    // Arguments: read-out box on, owner handler on (both as in the main window), for a
    // breakdown of the cost.
    chart.SetShowXYPos(state.range(0) != 0);
    QStatusBar statusBar;
    if (state.range(1) != 0)
        chart.OnMouseMove = [&](TShiftState, int32_t, int32_t) {
            const double ntu = std::clamp(chart.CursorX(), 0.0, 10.0);
            const double e = std::clamp(chart.CursorY(), 0.0, 1.0);
            std::string text;
            try {
                const double cr = flow.CrSolver(ntu, e);
                text = Format("  Ntu=%0.2f   e=%0.2f   Cr=%0.2f", {ntu, e, cr});
            } catch (const Exception&) {
                text = Format("  Ntu=%0.2f   e=%0.2f", {ntu, e});
            }
            statusBar.showMessage(QString::fromStdString(text));
        };

    // A sweep over the plot and its margins: every move changes the read-out text and solves Cr
    // at a different point.
    std::vector<std::pair<int32_t, int32_t>> path;
    for (int k = 0; k < 997; ++k)
        path.emplace_back(10 + (k * 37) % 340, 10 + (k * 53) % 230);
    // One sweep first: fonts and glyph caches are loaded at the first texts.
    for (const auto& [x, y] : path)
        chart.HandleMouseMove(0, x, y);
    size_t next = 0;
    for (auto _ : state) {
        const auto [x, y] = path[next];
        next = (next + 1) % path.size();
        chart.HandleMouseMove(0, x, y);
    }
    benchmark::DoNotOptimize(statusBar.currentMessage());
}
BENCHMARK(BM_ChartMouseMove)
    ->ArgNames({"readout", "owner", "flow", "ratio_percent"})
    ->Args({1, 1, 0, 100})
    ->Args({0, 1, 0, 100})
    ->Args({1, 0, 0, 100})
    ->Args({0, 0, 0, 100})
    ->Args({1, 1, 3, 100})
    ->Args({0, 1, 3, 100})
    ->Args({1, 1, 8, 100})
    ->Args({1, 1, 0, 200})
    ->Args({1, 0, 0, 200})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace
