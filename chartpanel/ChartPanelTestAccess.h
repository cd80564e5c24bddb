#pragma once
// Test access to internal operations of TChartPanel. For the project's tests alone: an embedding
// program has no use for these and must not rely on them.

#include "chartpanel/ChartPanel.h"

struct TChartPanel::TTestAccess {
    // The layout a redraw computes first (plot rectangle, axis maps), without drawing.
    static void UpdateLayout(TChartPanel& chart) { chart.UpdateLayout(); }
};
