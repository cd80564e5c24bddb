// Coordinate mapping: data values <-> scale space <-> canvas pixels, and the plot layout.
#include "chartpanel/ChartPanel.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t ClampToPixelRange(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, -PixelLimit, PixelLimit));
}

} // namespace

double TAxisMap::FromScale(double Scaled) const {
    return Log ? std::pow(10.0, Scaled) : Scaled;
}

int32_t TAxisMap::ToPixel(double Value) const {
    return SaturatePixel(ExactPixel(Value));
}

double TAxisMap::FromPixel(int32_t Pixel) const {
    if (Factor == 0)
        return 0;
    const int64_t Distance = (static_cast<int64_t>(Pixel) - Origin) * Direction;
    const double Scaled =
        static_cast<double>(static_cast<long double>(Distance) / Factor + ScaledMin);
    return FromScale(Scaled);
}

bool TAxisMap::Contains(double Value) const {
    const double Scaled = ToScale(Value);
    return ScaledMin <= Scaled && Scaled <= ScaledMax;
}

TAxisMap TChartPanel::XMap() const {
    return TAxisMap{XIsLog(), FScaledXMin, FScaledXMax, FXFactor, FPlotRect.Left, 1};
}

TAxisMap TChartPanel::YMap() const {
    return TAxisMap{YIsLog(), FScaledYMin, FScaledYMax, FYFactor, FPlotRect.Bottom, -1};
}

double TChartPanel::XMin() const {
    return XFromScale(FScaledXMin);
}
double TChartPanel::XMax() const {
    return XFromScale(FScaledXMax);
}
double TChartPanel::YMin() const {
    return YFromScale(FScaledYMin);
}
double TChartPanel::YMax() const {
    return YFromScale(FScaledYMax);
}

void TChartPanel::SetXMin(double Value) {
    FScaledXMin = XToScale(Value);
    DesignRedraw();
}

void TChartPanel::SetXMax(double Value) {
    FScaledXMax = XToScale(Value);
    DesignRedraw();
}

void TChartPanel::SetYMin(double Value) {
    FScaledYMin = YToScale(Value);
    DesignRedraw();
}

void TChartPanel::SetYMax(double Value) {
    FScaledYMax = YToScale(Value);
    DesignRedraw();
}

void TChartPanel::SetScaleType(TScaleType Value) {
    const double X0 = XMin(), X1 = XMax(), Y0 = YMin(), Y1 = YMax();
    FScaleType = Value;
    // The bound setters would each repaint in design mode; store first, repaint once.
    FScaledXMin = XToScale(X0);
    FScaledXMax = XToScale(X1);
    FScaledYMin = YToScale(Y0);
    FScaledYMax = YToScale(Y1);
    DesignRedraw();
}

void TChartPanel::UpdateLayout() {
    // Margins are stored unchecked; the edges are held within PixelLimit so that no sum or
    // difference below overflows, whatever the margins.
    FPlotRect.Left = ClampToPixelRange(FLeftMargin);
    FPlotRect.Top = ClampToPixelRange(FTopMargin);
    FPlotRect.Right = ClampToPixelRange(int64_t{FDrawWidth} - FRightMargin);
    FPlotRect.Bottom = ClampToPixelRange(int64_t{FDrawHeight} - FBottomMargin);
    FPlotWidth = FPlotRect.Right - FPlotRect.Left;
    FPlotHeight = FPlotRect.Bottom - FPlotRect.Top;

    long double dx = static_cast<long double>(FScaledXMax) - FScaledXMin;
    if (FScaledXMax == FScaledXMin)
        dx = 1.0L;
    FXFactor = FPlotWidth / dx;
    long double dy = static_cast<long double>(FScaledYMax) - FScaledYMin;
    if (FScaledYMax == FScaledYMin)
        dy = 1.0L;
    FYFactor = FPlotHeight / dy;
}

TPoint TChartPanel::DataToPixel(double X, double Y) const {
    return TPoint{XMap().ToPixel(X), YMap().ToPixel(Y)};
}

std::pair<double, double> TChartPanel::PixelToData(int32_t x, int32_t y) const {
    return {XMap().FromPixel(x), YMap().FromPixel(y)};
}

bool TChartPanel::IsInRange(double X, double Y) const {
    return YMap().Contains(Y) && XMap().Contains(X);
}

bool TChartPanel::InPlotArea(int32_t x, int32_t y) const {
    return FPlotRect.Top <= y && y <= FPlotRect.Bottom && FPlotRect.Left <= x &&
           x <= FPlotRect.Right;
}
