// Painting of the chart: background, plot area, scales, axes, title, then free points and lines,
// in screen order. Each element draws inside a canvas state guard, so no element's pen, brush or
// copy mode reaches the next one (nor the next redraw).
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelState.h"
#include "platform/Clip.h"
#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>

// --- Canvas set-up -------------------------------------------------------------------------

void TChartPanel::PrepareCanvas(TCanvas& canvas, int32_t width, int32_t height, bool scaleSizes,
                                bool scaleFonts) {
    TState& s = *FState;
    s.FDrawCanvas = &canvas;
    TFont fixed;
    fixed.SetName("courier new");
    fixed.SetSize(8);
    fixed.SetColor(ChartDefaults::PenColor);
    fixed.SetStyle(0);
    canvas.SetFont(fixed);
    canvas.Pen.Color = ChartDefaults::PenColor;
    canvas.Pen.Style = ChartDefaults::PenStyle;
    canvas.Pen.Width = ChartDefaults::PenWidth;
    canvas.Brush.Color = ChartDefaults::BrushColor;
    canvas.Brush.Style = bsSolid;
    canvas.SetCopyMode(SRCINVERT);
    canvas.Pen.Mode = pmNotXor;
    TickLineColor = 0x00EBE2E0;

    // A panel sized down to its bevel has no design size to compare with: that axis keeps its
    // sizes (ratio 1) instead of dividing by zero.
    const double fx = s.FDesignWidth > 0 && width > 0 ? double(width) / s.FDesignWidth : 1.0;
    const double fy = s.FDesignHeight > 0 && height > 0 ? double(height) / s.FDesignHeight : 1.0;
    const double f = (fx + fy) / 2;
    s.FDrawWidth = width;
    s.FDrawHeight = height;

    auto scaleFont = [](TFont& font, double factor) {
        font.SetSize(TruncToInt32Saturated(font.Size() * factor));
    };
    if (scaleFonts) {
        scaleFont(canvas.Font(), f);
        scaleFont(s.FScaleXFont, f);
        scaleFont(s.FScaleYFont, f);
    }
    if (scaleSizes) {
        scaleFont(s.FFontLabels, fx);
        s.RescaleSizes(fx, fy, f);
    }
}

void TChartPanel::TState::RescaleSizes(double fx, double fy, double f) {
    auto scaled = [](int32_t value, double factor) {
        return TruncToInt32Saturated(value * factor);
    };
    auto atLeastOne = [&](int32_t value) { return std::max(1, scaled(value, f)); };
    FTopMargin = scaled(FTopMargin, fy);
    FLeftMargin = scaled(FLeftMargin, fx);
    FRightMargin = scaled(FRightMargin, fx);
    FBottomMargin = scaled(FBottomMargin, fy);
    FDrawCanvas->Pen.Width = atLeastOne(FDrawCanvas->Pen.Width);
    for (auto& line : FLines) {
        for (auto& point : line->Points) {
            point->PenWidth = atLeastOne(point->PenWidth);
            point->Size = atLeastOne(point->Size);
        }
        line->PenWidth = atLeastOne(line->PenWidth);
        line->MarkerPenWidth = atLeastOne(line->MarkerPenWidth);
        line->MarkerSize = atLeastOne(line->MarkerSize);
    }
    for (auto& point : FFreePoints) {
        point->PenWidth = atLeastOne(point->PenWidth);
        point->Size = atLeastOne(point->Size);
    }
}

std::unique_ptr<TBitmap> MakeXorBitmap(const TBitmap* bitmap, TColor gridColor) {
    if (!bitmap)
        return nullptr;
    auto result = std::make_unique<TBitmap>();
    TCanvas& canvas = result->Canvas();
    canvas.SetDeviceRatio(bitmap->Canvas().DeviceRatio()); // the same pixels, one for one
    result->SetSize(bitmap->Width(), bitmap->Height());
    canvas.Brush.Color = gridColor ^ bitmap->Canvas().Brush.Color ^ 0xFFFFFFu;
    canvas.FillRect(Rect(0, 0, bitmap->Width(), bitmap->Height()));
    canvas.SetCopyMode(SRCINVERT);
    canvas.Draw(0, 0, *bitmap);
    canvas.Flush();
    return result;
}

void TextOutAngle(TCanvas& canvas, const std::string& text, int32_t x, int32_t y, double angle) {
    if (std::fabs(angle) <= 1) {
        canvas.TextOut(x, y, text);
        return;
    }
    TFont kept;
    kept.Assign(canvas.Font());
    TLogFont log{};
    log.Height = canvas.TextHeight("X");
    log.Width = canvas.TextWidth("X");
    log.Escapement = TruncToInt32Saturated(angle * 10);
    log.Orientation = log.Escapement;
    log.Weight = 300;
    log.Italic = (kept.Style() & fsItalic) ? 1 : 0;
    log.Underline = (kept.Style() & fsUnderline) ? 1 : 0;
    log.StrikeOut = (kept.Style() & fsStrikeOut) ? 1 : 0;
    log.CharSet = 1;
    log.PitchAndFamily = 0x31;
    log.FaceName = kept.Name();
    TFont rotated = CreateFontIndirect(log);
    rotated.SetColor(kept.Color());
    canvas.SetFont(rotated);
    canvas.TextOut(x, y, text);
    canvas.SetFont(kept);
}

// --- Whole chart ---------------------------------------------------------------------------

void TChartPanel::Paint() {
    TPanel::Paint();
    RefreshDrawSize();
    DrawAll();
}

void TChartPanel::Resize() {
    TPanel::Resize();
    RefreshDrawSize();
    if (!DrawingLeftToPaint())
        Redraw();
}

void TChartPanel::Redraw() {
    if (FState->FUpdateCount > 0) {
        FState->FRedrawHeld = true;
        return;
    }
    DrawAll();
}

void TChartPanel::BeginUpdate() {
    if (FState->FUpdateCount < std::numeric_limits<int32_t>::max())
        ++FState->FUpdateCount;
}

void TChartPanel::EndUpdate() {
    TState& s = *FState;
    if (s.FUpdateCount == 0 || --s.FUpdateCount > 0 || !s.FRedrawHeld)
        return;
    s.FRedrawHeld = false;
    if (!DrawingLeftToPaint())
        DrawAll();
}

bool TChartPanel::DrawingLeftToPaint() {
    return FState->FDrawCanvas == &Canvas() && !isVisible();
}

void TChartPanel::DrawAll() {
    TState& s = *FState;
    UpdateLayout();
    const TChartDrawContext context = DrawContext();
    s.DrawChart(context, Color());
    s.FLabelImage->Canvas().SetFont(s.FFontLabels);
    s.FXYBoxImage->Canvas().SetFont(s.FFontXYPos);
    for (const auto& point : s.FFreePoints)
        point->Draw(context);
    for (const auto& line : s.FLines)
        line->Draw(context);
    context.Canvas.Flush();
}

void TChartPanel::TState::DrawChart(const TChartDrawContext& context, TColor background) {
    TCanvas& canvas = context.Canvas;
    {
        const TCanvasStateGuard guard(canvas);
        FillBackground(canvas, background);
        canvas.Brush.Color = FGridColor;
        canvas.FillRect(FPlotRect);
    }
    if (FShowXScale) {
        const TCanvasStateGuard guard(canvas);
        DrawXScale(context, background);
    }
    if (FShowYScale) {
        const TCanvasStateGuard guard(canvas);
        DrawYScale(context, background);
    }
    {
        const TCanvasStateGuard guard(canvas);
        DrawAxes(context);
    }
    {
        const TCanvasStateGuard guard(canvas);
        DrawTitle(canvas, background);
    }
    FXYText.clear();
}

// The drawing area in the panel's colour. The plot is filled next; the canvas holds a large fill
// back and writes each pixel once, with everything drawn over it, when the picture is needed.
void TChartPanel::TState::FillBackground(TCanvas& canvas, TColor background) const {
    canvas.Brush.Color = background;
    canvas.FillRect(Rect(0, 0, FDrawWidth, FDrawHeight));
}

void TChartPanel::TState::DrawAxes(const TChartDrawContext& context) const {
    TCanvas& canvas = context.Canvas;
    canvas.Pen.Color = FAxesColor;
    const int32_t l = FPlotRect.Left, t = FPlotRect.Top, r = FPlotRect.Right, b = FPlotRect.Bottom;
    switch (FAxisType) {
    case xtCent0: {
        const int32_t midX = l + FPlotWidth / 2, midY = t + FPlotHeight / 2;
        context.ClippedLine({midX, t}, {midX, b});
        context.ClippedLine({l, midY}, {r, midY});
        break;
    }
    case xtQuad1:
        context.ClippedLine({l, t}, {l, b});
        context.ClippedLine({l, b}, {r, b});
        break;
    case xtQuad2:
        context.ClippedLine({r, t}, {r, b});
        context.ClippedLine({l, b}, {r, b});
        break;
    case xtNone:
        break;
    }
    canvas.Flush();
}

void TChartPanel::TState::DrawTitle(TCanvas& canvas, TColor background) const {
    canvas.Pen.Color = FAxesColor;
    canvas.Brush.Color = background;
    const int64_t textWidth = canvas.TextWidth(FTitle);
    int64_t x = 5;
    if (FTitleAlignment == taRightJustify)
        x = FDrawWidth - textWidth - 5;
    else if (FTitleAlignment == taCenter)
        x = (FDrawWidth - textWidth) / 2;
    canvas.TextOut(ClampCoordinate(x), 5, FTitle);
}
