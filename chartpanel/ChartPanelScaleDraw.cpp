// Drawing of the two scales: grid lines, tick labels and captions. The tick values come from the
// widget-free tick engine (ChartPanelScales.h); this file only places and draws them.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelScales.h"
#include "platform/Rounding.h"

#include <algorithm>

namespace {

using TLabelSpans = std::vector<std::pair<int32_t, int32_t>>;

// Pixel positions of scale elements; the plot edges are within PixelLimit, so a text size added
// or subtracted fits, and clamping keeps the canvas's coordinates small.
constexpr int32_t TextLimit = 1 << 20;

int32_t ClampText(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, -TextLimit, TextLimit));
}

bool Overlaps(const TLabelSpans& Spans, int32_t Low, int32_t High) {
    return std::any_of(Spans.begin(), Spans.end(),
                       [&](const auto& Span) { return Span.first <= High && Low <= Span.second; });
}

} // namespace

void TChartPanel::GridLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Pen.Color = TickLineColor;
    Canvas.MoveTo(ClampText(x1), ClampText(y1));
    Canvas.LineTo(ClampText(x2), ClampText(y2));
}

// --- X scale ------------------------------------------------------------------------------

void TChartPanel::DrawXScale() {
    if (!(XMin() < XMax()))
        return; // equal, reversed or undefined bounds: no grid, labels or caption
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Brush.Color = Color();
    Canvas.SetFont(FScaleXFont);
    const int32_t h = Canvas.TextHeight("X") / 2;
    const int32_t LabelTop = ClampText(int64_t{FPlotRect.Bottom} + h);

    if (!XIsLog()) {
        const TLinearTicks Ticks =
            LinearTicks(FScaledXMin, FScaledXMax, FScaleXTicks, FPlotWidth, TTickAxis::X);
        if (!Ticks.Valid)
            return; // bounds beyond drawing or far too many ticks: no scale at all
        for (int64_t i = 0; i <= Ticks.Count; ++i) {
            const double Value = XFromScale(i * Ticks.Step + FScaledXMin);
            const std::string Text = TickLabelText(Value);
            const int32_t x =
                ClampText(int64_t{RoundHalfEvenToInt32(i * Ticks.PixelsPerStep)} + FPlotRect.Left);
            GridLine(x, FPlotRect.Bottom, x, FPlotRect.Top);
            Canvas.TextOut(ClampText(int64_t{x} - Canvas.TextWidth(Text) / 2), LabelTop, Text);
        }
    } else {
        const TLogTicks Ticks = LogTicks(XMin(), XMax());
        if (Ticks.Major.empty())
            return;
        TLabelSpans Spans;
        for (const double Value : Ticks.Major)
            DrawXTick(Value, true, LabelTop, Spans);
        for (const double Value : Ticks.Minor)
            DrawXTick(Value, false, LabelTop, Spans);
    }

    const int32_t CaptionWidth = Canvas.TextWidth(FScaleXLabel);
    Canvas.TextOut(ClampText((int64_t{FDrawWidth} - CaptionWidth) / 2),
                   ClampText(int64_t{FDrawHeight} - 2 * h - 3), FScaleXLabel);
}

void TChartPanel::DrawXTick(double Value, bool Forced, int32_t LabelTop, TLabelSpans& Spans) {
    TCanvas& Canvas = *FDrawCanvas;
    const int32_t x = ClampText(XMap().ToPixel(Value));
    GridLine(x, FPlotRect.Bottom, x, FPlotRect.Top);
    const std::string Text = TickLabelText(Value);
    const int32_t Width = Canvas.TextWidth(Text);
    const int32_t Left = x - Width / 2, Right = Left + Width;
    if (!Forced && Overlaps(Spans, Left, Right))
        return;
    Canvas.TextOut(Left, LabelTop, Text);
    Spans.emplace_back(Left - 1, Right + 1);
}

// --- Y scale ------------------------------------------------------------------------------

int32_t TChartPanel::YLabelX(int32_t TextWidth) const {
    switch (FAxisType) {
    case xtCent0:
        return ClampText((int64_t{FPlotWidth} - TextWidth) / 2 + FPlotRect.Left);
    case xtQuad1:
        return ClampText(int64_t{FPlotRect.Left} - TextWidth - 5);
    case xtQuad2:
        return ClampText(int64_t{FPlotRect.Right} + 5);
    default:
        return ClampText(int64_t{FPlotRect.Left} - FDrawCanvas->TextWidth("XX"));
    }
}

void TChartPanel::DrawYScale() {
    if (!(YMin() < YMax()))
        return;
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Brush.Color = Color();
    Canvas.SetFont(FScaleYFont);
    const int32_t h = Canvas.TextHeight("X") / 2;

    if (!YIsLog()) {
        const TLinearTicks Ticks =
            LinearTicks(FScaledYMin, FScaledYMax, FScaleYTicks, FPlotHeight, TTickAxis::Y);
        if (!Ticks.Valid)
            return;
        // Counted from the top so that the last tick lands exactly where the step count says.
        const double Base = FPlotHeight - Ticks.Count * Ticks.PixelsPerStep;
        for (int64_t i = 0; i <= Ticks.Count; ++i) {
            const double Value = YFromScale(i * Ticks.Step + FScaledYMin);
            const std::string Text = TickLabelText(Value);
            const int32_t y = ClampText(
                int64_t{RoundHalfEvenToInt32((Ticks.Count - i) * Ticks.PixelsPerStep + Base)} +
                FPlotRect.Top);
            GridLine(FPlotRect.Left, y, FPlotRect.Right, y);
            Canvas.TextOut(YLabelX(Canvas.TextWidth(Text)), y - h, Text);
        }
    } else {
        const TLogTicks Ticks = LogTicks(YMin(), YMax());
        if (Ticks.Major.empty())
            return;
        TLabelSpans Spans;
        for (const double Value : Ticks.Major)
            DrawYTick(Value, true, h, Spans);
        for (const double Value : Ticks.Minor)
            DrawYTick(Value, false, h, Spans);
    }

    // The caption reads upwards, centred 2 pixels below the middle of the drawing area.
    const int32_t x =
        FAxisType == xtQuad2 ? ClampText(int64_t{FDrawWidth} - 2 - Canvas.TextHeight("X")) : 1;
    const int32_t y = ClampText((int64_t{Canvas.TextWidth(FScaleYLabel)} + FDrawHeight) / 2 + 2);
    TextOutAngle(Canvas, FScaleYLabel, x, y, 90);
}

void TChartPanel::DrawYTick(double Value, bool Forced, int32_t HalfHeight, TLabelSpans& Spans) {
    TCanvas& Canvas = *FDrawCanvas;
    const int32_t y = ClampText(YMap().ToPixel(Value));
    GridLine(FPlotRect.Left, y, FPlotRect.Right, y);
    const std::string Text = TickLabelText(Value);
    const int32_t Top = y - HalfHeight, Bottom = y + HalfHeight;
    if (!Forced && Overlaps(Spans, Top, Bottom))
        return;
    Canvas.TextOut(YLabelX(Canvas.TextWidth(Text)), Top, Text);
    Spans.emplace_back(Top - 1, Bottom + 1);
}
