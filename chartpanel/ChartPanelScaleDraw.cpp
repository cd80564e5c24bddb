// Drawing of the two scales: grid lines, tick labels and captions. The tick values come from the
// widget-free tick engine (ChartPanelScales.h); this file only places and draws them.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelScales.h"
#include "chartpanel/ChartPanelState.h"
#include "platform/Clip.h"
#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>

namespace {

// A scale is drawn (ticks as far as drawable, and its caption) between finite increasing bounds.
bool UsableBounds(double min, double max) {
    return std::isfinite(min) && std::isfinite(max) && min < max;
}

bool Overlaps(const TLabelSpans& spans, int32_t low, int32_t high) {
    return std::any_of(spans.begin(), spans.end(),
                       [&](const auto& span) { return span.first <= high && low <= span.second; });
}

} // namespace

void TChartPanel::TState::GridLine(TCanvas& canvas, int32_t x1, int32_t y1, int32_t x2,
                                   int32_t y2) const {
    canvas.Pen.Color = TickLineColor;
    canvas.MoveTo(ClampCoordinate(x1), ClampCoordinate(y1));
    canvas.LineTo(ClampCoordinate(x2), ClampCoordinate(y2));
}

// --- X scale -------------------------------------------------------------------------------

void TChartPanel::TState::DrawXScale(const TChartDrawContext& context, TColor background) const {
    const TAxisMap& map = context.XMap;
    const double min = map.FromScale(map.ScaledMin), max = map.FromScale(map.ScaledMax);
    if (!UsableBounds(min, max))
        return; // equal, reversed or undefined bounds: no grid, labels or caption
    TCanvas& canvas = context.Canvas;
    canvas.Brush.Color = background;
    canvas.SetFont(FScaleXFont);
    const int32_t h = canvas.TextHeight("X") / 2;
    const int32_t labelTop = ClampCoordinate(int64_t{FPlotRect.Bottom} + h);
    TGridPixels grid;

    if (!map.Log) {
        // Too many ticks (more than one a pixel of the canvas, and 10,000), or a range beyond
        // double: no ticks, but the caption below.
        const TLinearTicks ticks =
            LinearTicks(map.ScaledMin, map.ScaledMax, FScaleXTicks, FPlotWidth, TTickAxis::X,
                        AxisTickLimit(FPlotWidth, context.Canvas.Width()));
        for (int64_t i = 0; ticks.Valid && i <= ticks.Count; ++i) {
            const double value = map.FromScale(i * ticks.Step + map.ScaledMin);
            const std::string text = TickLabelText(value);
            const int32_t x = ClampCoordinate(
                int64_t{RoundHalfEvenToInt32(i * ticks.PixelsPerStep)} + FPlotRect.Left);
            if (grid.Claim(x))
                GridLine(canvas, x, FPlotRect.Bottom, x, FPlotRect.Top);
            canvas.TextOut(ClampCoordinate(int64_t{x} - canvas.TextWidth(text) / 2), labelTop,
                           text);
        }
    } else {
        const TLogTicks ticks = LogTicks(min, max);
        TLabelSpans spans;
        for (const double value : ticks.Major)
            DrawXTick(context, value, true, labelTop, spans, grid);
        for (const double value : ticks.Minor)
            DrawXTick(context, value, false, labelTop, spans, grid);
    }

    const int32_t captionWidth = canvas.TextWidth(FScaleXLabel);
    canvas.TextOut(ClampCoordinate((int64_t{FDrawWidth} - captionWidth) / 2),
                   ClampCoordinate(int64_t{FDrawHeight} - 2 * h - 3), FScaleXLabel);
}

void TChartPanel::TState::DrawXTick(const TChartDrawContext& context, double value, bool forced,
                                    int32_t labelTop, TLabelSpans& spans, TGridPixels& grid) const {
    TCanvas& canvas = context.Canvas;
    const int32_t x = ClampCoordinate(context.XMap.ToPixel(value));
    if (grid.Claim(x))
        GridLine(canvas, x, FPlotRect.Bottom, x, FPlotRect.Top);
    const std::string text = TickLabelText(value);
    const int32_t width = canvas.TextWidth(text);
    const int32_t left = x - width / 2, right = left + width;
    if (!forced && Overlaps(spans, left, right))
        return;
    canvas.TextOut(left, labelTop, text);
    spans.emplace_back(left - 1, right + 1);
}

// --- Y scale -------------------------------------------------------------------------------

int32_t TChartPanel::TState::YLabelX(TCanvas& canvas, int32_t textWidth) const {
    switch (FAxisType) {
    case xtCent0:
        return ClampCoordinate((int64_t{FPlotWidth} - textWidth) / 2 + FPlotRect.Left);
    case xtQuad1:
        return ClampCoordinate(int64_t{FPlotRect.Left} - textWidth - 5);
    case xtQuad2:
        return ClampCoordinate(int64_t{FPlotRect.Right} + 5);
    default:
        return ClampCoordinate(int64_t{FPlotRect.Left} - canvas.TextWidth("XX"));
    }
}

void TChartPanel::TState::DrawYScale(const TChartDrawContext& context, TColor background) const {
    const TAxisMap& map = context.YMap;
    const double min = map.FromScale(map.ScaledMin), max = map.FromScale(map.ScaledMax);
    if (!UsableBounds(min, max))
        return;
    TCanvas& canvas = context.Canvas;
    canvas.Brush.Color = background;
    canvas.SetFont(FScaleYFont);
    const int32_t h = canvas.TextHeight("X") / 2;
    TGridPixels grid;

    if (!map.Log) {
        const TLinearTicks ticks =
            LinearTicks(map.ScaledMin, map.ScaledMax, FScaleYTicks, FPlotHeight, TTickAxis::Y,
                        AxisTickLimit(FPlotHeight, context.Canvas.Height()));
        // Counted from the top so that the last tick lands exactly where the step count says.
        const double base = FPlotHeight - ticks.Count * ticks.PixelsPerStep;
        for (int64_t i = 0; ticks.Valid && i <= ticks.Count; ++i) {
            const double value = map.FromScale(i * ticks.Step + map.ScaledMin);
            const std::string text = TickLabelText(value);
            const int32_t y = ClampCoordinate(
                int64_t{RoundHalfEvenToInt32((ticks.Count - i) * ticks.PixelsPerStep + base)} +
                FPlotRect.Top);
            if (grid.Claim(y))
                GridLine(canvas, FPlotRect.Left, y, FPlotRect.Right, y);
            canvas.TextOut(YLabelX(canvas, canvas.TextWidth(text)), y - h, text);
        }
    } else {
        const TLogTicks ticks = LogTicks(min, max);
        TLabelSpans spans;
        for (const double value : ticks.Major)
            DrawYTick(context, value, true, h, spans, grid);
        for (const double value : ticks.Minor)
            DrawYTick(context, value, false, h, spans, grid);
    }

    // The caption reads upwards, centred 2 pixels below the middle of the drawing area.
    const int32_t x = FAxisType == xtQuad2
                          ? ClampCoordinate(int64_t{FDrawWidth} - 2 - canvas.TextHeight("X"))
                          : 1;
    const int32_t y =
        ClampCoordinate((int64_t{canvas.TextWidth(FScaleYLabel)} + FDrawHeight) / 2 + 2);
    TextOutAngle(canvas, FScaleYLabel, x, y, 90);
}

void TChartPanel::TState::DrawYTick(const TChartDrawContext& context, double value, bool forced,
                                    int32_t halfHeight, TLabelSpans& spans,
                                    TGridPixels& grid) const {
    TCanvas& canvas = context.Canvas;
    const int32_t y = ClampCoordinate(context.YMap.ToPixel(value));
    if (grid.Claim(y))
        GridLine(canvas, FPlotRect.Left, y, FPlotRect.Right, y);
    const std::string text = TickLabelText(value);
    const int32_t top = y - halfHeight, bottom = y + halfHeight;
    if (!forced && Overlaps(spans, top, bottom))
        return;
    canvas.TextOut(YLabelX(canvas, canvas.TextWidth(text)), top, text);
    spans.emplace_back(top - 1, bottom + 1);
}
