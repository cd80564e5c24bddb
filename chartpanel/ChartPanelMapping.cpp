// Coordinate mapping: data values <-> scale space <-> canvas pixels, and the plot layout.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelState.h"

#include <algorithm>

namespace {

int32_t ClampToPixelRange(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, -PixelLimit, PixelLimit));
}

} // namespace

const TAxisMap& TChartPanel::XMap() const {
    return FState->FXMap;
}

const TAxisMap& TChartPanel::YMap() const {
    return FState->FYMap;
}

double TChartPanel::XMin() const {
    return FState->FXMap.FromScale(FState->FXMap.ScaledMin);
}
double TChartPanel::XMax() const {
    return FState->FXMap.FromScale(FState->FXMap.ScaledMax);
}
double TChartPanel::YMin() const {
    return FState->FYMap.FromScale(FState->FYMap.ScaledMin);
}
double TChartPanel::YMax() const {
    return FState->FYMap.FromScale(FState->FYMap.ScaledMax);
}

void TChartPanel::SetXMin(double value) {
    FState->FXMap.ScaledMin = FState->FXMap.ToScale(value);
    DesignRedraw();
}

void TChartPanel::SetXMax(double value) {
    FState->FXMap.ScaledMax = FState->FXMap.ToScale(value);
    DesignRedraw();
}

void TChartPanel::SetYMin(double value) {
    FState->FYMap.ScaledMin = FState->FYMap.ToScale(value);
    DesignRedraw();
}

void TChartPanel::SetYMax(double value) {
    FState->FYMap.ScaledMax = FState->FYMap.ToScale(value);
    DesignRedraw();
}

TScaleType TChartPanel::ScaleType() const {
    return FState->FScaleType;
}

void TChartPanel::SetScaleType(TScaleType value) {
    const double x0 = XMin(), x1 = XMax(), y0 = YMin(), y1 = YMax();
    TState& s = *FState;
    s.SetScaleType(value);
    // The bound setters would each repaint in design mode; store first, repaint once.
    s.FXMap.ScaledMin = s.FXMap.ToScale(x0);
    s.FXMap.ScaledMax = s.FXMap.ToScale(x1);
    s.FYMap.ScaledMin = s.FYMap.ToScale(y0);
    s.FYMap.ScaledMax = s.FYMap.ToScale(y1);
    DesignRedraw();
}

void TChartPanel::UpdateLayout() {
    TState& s = *FState;
    // Margins are stored unchecked; the edges are held within PixelLimit so that no sum or
    // difference below overflows, whatever the margins.
    s.FPlotRect.Left = ClampToPixelRange(s.FLeftMargin);
    s.FPlotRect.Top = ClampToPixelRange(s.FTopMargin);
    s.FPlotRect.Right = ClampToPixelRange(int64_t{s.FDrawWidth} - s.FRightMargin);
    s.FPlotRect.Bottom = ClampToPixelRange(int64_t{s.FDrawHeight} - s.FBottomMargin);
    s.FPlotWidth = s.FPlotRect.Right - s.FPlotRect.Left;
    s.FPlotHeight = s.FPlotRect.Bottom - s.FPlotRect.Top;
    s.FXMap.Fit(s.FPlotRect.Left, s.FPlotWidth);
    s.FYMap.Fit(s.FPlotRect.Bottom, s.FPlotHeight);
}

const TRect& TChartPanel::PlotRect() const {
    return FState->FPlotRect;
}
int32_t TChartPanel::PlotWidth() const {
    return FState->FPlotWidth;
}
int32_t TChartPanel::PlotHeight() const {
    return FState->FPlotHeight;
}

TChartDrawContext TChartPanel::DrawContext() const {
    const TState& s = *FState;
    return TChartDrawContext{*s.FDrawCanvas, s.FXMap,          s.FYMap,       s.FPlotRect,
                             s.FGridColor,   s.FSelectedPoint, *s.FLabelImage};
}

TPoint TChartPanel::DataToPixel(double x, double y) const {
    return TPoint{FState->FXMap.ToPixel(x), FState->FYMap.ToPixel(y)};
}

std::pair<double, double> TChartPanel::PixelToData(int32_t x, int32_t y) const {
    return {FState->FXMap.FromPixel(x), FState->FYMap.FromPixel(y)};
}

bool TChartPanel::IsInRange(double x, double y) const {
    return FState->FYMap.Contains(y) && FState->FXMap.Contains(x);
}

bool TChartPanel::InPlotArea(int32_t x, int32_t y) const {
    const TRect& plot = FState->FPlotRect;
    return plot.Top <= y && y <= plot.Bottom && plot.Left <= x && x <= plot.Right;
}
