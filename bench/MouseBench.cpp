// Cost of one mouse movement over the main window's chart: from the move delivered to the chart
// to the status text set. The chart is built as the main window builds it (365 x 251, five
// curves of 26 points, scales and read-out box on), and the owner's mouse-move handler does what
// the main window's does: clamp, solve Cr, format the status text. The flow configuration is a
// parameter (its index in the list: 0 counter flow, 3 exact cross flow, ...). Target: 50 us.
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

void BuildMainWindowChart(TChartPanel& Chart, const TFlowConfiguration& Flow) {
    SetUpMainWindowChart(Chart, 365, 251);
    AddRelationCurves(Chart, 26, Flow.Relation);
    // Shown (offscreen) so that the panel takes its size and paints as in the window.
    Chart.show();
    QApplication::processEvents();
    Chart.Redraw();
}

void BM_ChartMouseMove(benchmark::State& State) {
    const TFlowConfiguration& Flow = FlowConfigurations()[State.range(2)];
    State.SetLabel(Flow.Name);
    TChartPanel Chart;
    BuildMainWindowChart(Chart, Flow);
    // Arguments: read-out box on, owner handler on (both as in the main window), for a
    // breakdown of the cost.
    Chart.SetShowXYPos(State.range(0) != 0);
    QStatusBar StatusBar;
    if (State.range(1) != 0)
        Chart.OnMouseMove = [&](TShiftState, int32_t, int32_t) {
            const double Ntu = std::clamp(Chart.CursorX(), 0.0, 10.0);
            const double E = std::clamp(Chart.CursorY(), 0.0, 1.0);
            std::string Text;
            try {
                const double Cr = Flow.CrSolver(Ntu, E);
                Text = Format("  Ntu=%0.2f   e=%0.2f   Cr=%0.2f", {Ntu, E, Cr});
            } catch (const Exception&) {
                Text = Format("  Ntu=%0.2f   e=%0.2f", {Ntu, E});
            }
            StatusBar.showMessage(QString::fromStdString(Text));
        };

    // A sweep over the plot and its margins: every move changes the read-out text and solves Cr
    // at a different point.
    std::vector<std::pair<int32_t, int32_t>> Path;
    for (int k = 0; k < 997; ++k)
        Path.emplace_back(10 + (k * 37) % 340, 10 + (k * 53) % 230);
    // One sweep first: fonts and glyph caches are loaded at the first texts.
    for (const auto& [x, y] : Path)
        Chart.HandleMouseMove(0, x, y);
    size_t Next = 0;
    for (auto _ : State) {
        const auto [x, y] = Path[Next];
        Next = (Next + 1) % Path.size();
        Chart.HandleMouseMove(0, x, y);
    }
    benchmark::DoNotOptimize(StatusBar.currentMessage());
}
BENCHMARK(BM_ChartMouseMove)
    ->ArgNames({"readout", "owner", "flow"})
    ->Args({1, 1, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({0, 0, 0})
    ->Args({1, 1, 3})
    ->Args({0, 1, 3})
    ->Args({1, 1, 8})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace
