#pragma once
// The chart as the main window sets it up, for the benchmarks that measure it.

#include "app/ColorConv.h"
#include "app/Main.h"
#include "chartpanel/ChartPanel.h"
#include "relations/Effectiveness.h"

// The main window's chart after its curves are plotted (properties, 12 X ticks, ranges), with a
// drawing area of width x height pixels.
inline void SetUpMainWindowChart(TChartPanel& chart, int32_t width, int32_t height) {
    chart.SetWidth(width + chart.BevelWidth());
    chart.SetHeight(height + chart.BevelWidth());
    SetMainChartProperties(chart);
    chart.SetScaleXTicks(12);
    chart.SetRanges(0, 5.5, 0, 1);
}

// The five curves of a relation, Cr = 0 to 1, with pointsPerLine points each over Ntu 0 to 5
// (26 points give the main window's Ntu steps of 0.2).
inline void AddRelationCurves(TChartPanel& chart, int pointsPerLine, TRelationFunc relation) {
    chart.Clear();
    if (pointsPerLine < 2)
        return;
    const double last = pointsPerLine - 1;
    for (int i = 0; i <= 4; ++i) {
        TChartLine* line =
            chart.AddLine(BlendColors(0x008000, 0x0045FF, i, 0, 4), mkNone, nullptr, 3, {});
        line->SetPen(psSolid, 2);
        for (int j = 0; j < pointsPerLine; ++j) {
            const double ntu = 5.0 * j / last;
            line->AddPoint(ntu, relation(i / 4.0, ntu));
        }
    }
}

// The five counter-flow curves.
inline void AddCounterFlowCurves(TChartPanel& chart, int pointsPerLine) {
    AddRelationCurves(chart, pointsPerLine, CounterFlowE);
}
