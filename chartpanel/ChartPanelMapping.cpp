// Coordinate mapping: data values <-> scale space <-> canvas pixels, and the plot layout.
#include "chartpanel/ChartPanel.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double LogOfNonPositive = -2.0; // log10(0.01)

int32_t ClampToPixelRange(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, -PixelLimit, PixelLimit));
}

} // namespace

int32_t SaturatePixel(long double Value) {
    if (Value > -PixelLimit && Value < PixelLimit)
        return static_cast<int32_t>(Value);
    return Value >= PixelLimit ? PixelLimit : -PixelLimit; // NaN: -PixelLimit
}

double TAxisMap::ToScale(double Value) const {
    if (!Log)
        return Value;
    if (Value <= 0)
        return LogOfNonPositive;
    return std::log10(Value);
}

double TAxisMap::FromScale(double Scaled) const {
    return Log ? std::pow(10.0, Scaled) : Scaled;
}

long double TAxisMap::Offset(double Value) const {
    const long double Product =
        (static_cast<long double>(ToScale(Value)) - static_cast<long double>(ScaledMin)) * Factor;
    // Truncation through int64 is exact below 2^63 and much faster than truncl; larger
    // magnitudes are whole numbers already in the 64-bit mantissa, NaN stays NaN.
    if (std::fabs(Product) < 0x1p63L)
        return static_cast<long double>(static_cast<int64_t>(Product));
    return Product;
}

long double TAxisMap::ExactPixel(double Value) const {
    return static_cast<long double>(Origin) + Direction * Offset(Value);
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
