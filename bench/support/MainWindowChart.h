#pragma once
// The chart as the main window sets it up, for the benchmarks that measure it.

#include "app/ColorConv.h"
#include "app/Main.h"
#include "chartpanel/ChartPanel.h"
#include "relations/Effectiveness.h"

// The main window's chart after its curves are plotted (properties, 12 X ticks, ranges), with a
// drawing area of Width x Height pixels.
inline void SetUpMainWindowChart(TChartPanel& Chart, int32_t Width, int32_t Height) {
    Chart.SetWidth(Width + Chart.BevelWidth());
    Chart.SetHeight(Height + Chart.BevelWidth());
    SetMainChartProperties(Chart);
    Chart.SetScaleXTicks(12);
    Chart.SetRanges(0, 5.5, 0, 1);
}

// The five curves of a relation, Cr = 0 to 1, with PointsPerLine points each over Ntu 0 to 5
// (26 points give the main window's Ntu steps of 0.2).
inline void AddRelationCurves(TChartPanel& Chart, int PointsPerLine, TRelationFunc Relation) {
    Chart.Clear();
    if (PointsPerLine < 2)
        return;
    const double Last = PointsPerLine - 1;
    for (int i = 0; i <= 4; ++i) {
        TChartLine* Line =
            Chart.AddLine(BlendColors(0x008000, 0x0045FF, i, 0, 4), mkNone, nullptr, 3, {});
        Line->SetPen(psSolid, 2);
        for (int j = 0; j < PointsPerLine; ++j) {
            const double Ntu = 5.0 * j / Last;
            Line->AddPoint(Ntu, Relation(i / 4.0, Ntu));
        }
    }
}

// The five counter-flow curves.
inline void AddCounterFlowCurves(TChartPanel& Chart, int PointsPerLine) {
    AddRelationCurves(Chart, PointsPerLine, CounterFlowE);
}
