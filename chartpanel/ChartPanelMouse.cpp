// Mouse interaction of TChartPanel: hit testing and dragging of marked points, the hand pointer
// over them, and the small read-out box with the data position under the mouse.
//
// Dragging relies on the exclusive-or painting of lines and points: drawing an element a second
// time in the same state removes it, so a drag step draws the element once (erase), moves the
// point and draws it again, and never repaints the whole chart.

#include "chartpanel/ChartPanel.h"
#include "chartpanel/ChartPanelScales.h"
#include "chartpanel/ChartPanelState.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"

#include <cstdlib>
#include <tuple>
#include <utility>

namespace {

// Half the side of the square around a point's pixel in which the mouse hits it.
constexpr int64_t HitTolerance = 3;

bool WithinReach(TPoint p, int32_t x, int32_t y) {
    // 64-bit differences: a point far outside the plot maps to an extreme pixel.
    return std::llabs(int64_t(p.X) - x) <= HitTolerance &&
           std::llabs(int64_t(p.Y) - y) <= HitTolerance;
}

// One read-out value. The owner's format must consume exactly this one value; a format that
// consumes none or several, or that is malformed, gives way to the automatic format, so a bad
// setting can neither crash the panel nor show a number under the other axis's format.
std::string FormatValue(const std::string& ownerFormat, double value) {
    if (!ownerFormat.empty()) {
        try {
            return Format(ownerFormat, {value});
        } catch (const Exception&) {
            // Fall through to the automatic format.
        }
    }
    return Format(AutoFloatFormat(ValueLimit, LargeValueFormat, value), {value});
}

} // namespace

bool TChartPanel::HitTest(int32_t x, int32_t y) {
    TState& s = *FState;
    s.FHoverPoint = nullptr;
    for (const auto& point : s.FFreePoints) {
        if (point->Draggable && WithinReach(DataToPixel(point->X, point->Y), x, y)) {
            s.FHoverPoint = point.get();
            s.FHoverLine = nullptr;
            return true;
        }
    }
    for (const auto& line : s.FLines) {
        for (const auto& point : line->Points) {
            if (point->Draggable && WithinReach(DataToPixel(point->X, point->Y), x, y)) {
                s.FHoverPoint = point.get();
                s.FHoverLine = line.get();
                return true;
            }
        }
    }
    return false;
}

void TChartPanel::HandleMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
    TState& s = *FState;
    // The owner's handler runs first and so still sees the cursor of the previous event.
    TPanel::HandleMouseDown(button, shift, x, y);
    std::tie(s.FCursorX, s.FCursorY) = PixelToData(x, y);
    if (!HitTest(x, y)) {
        // A press beside every point (e.g. a second button during a drag) leaves no point to
        // drag: HoverPoint is none now.
        s.FDragging = false;
        return;
    }
    // Each item keeps the canvas state around its own drawing; the flushes separate the two
    // drawings of one item (erase, draw again), which would otherwise merge into one run.
    TCanvas& canvas = *s.FDrawCanvas;
    if (TChartPoint* previous = s.FSelectedPoint;
        previous != nullptr && (previous->PenColor != previous->SelPenColor ||
                                previous->BrushColor != previous->SelBrushColor)) {
        previous->Draw(DrawContext()); // removes its selected image
        canvas.Flush();
        s.FSelectedPoint = nullptr;
        previous->Draw(DrawContext()); // its normal image
        canvas.Flush();
    }
    s.FHoverPoint->Draw(DrawContext());
    canvas.Flush();
    s.FSelectedPoint = s.FHoverPoint;
    s.FHoverPoint->Draw(DrawContext());
    s.FDragging = true;
}

void TChartPanel::HandleMouseMove(TShiftState shift, int32_t x, int32_t y) {
    TState& s = *FState;
    std::tie(s.FCursorX, s.FCursorY) = PixelToData(x, y);
    // HitTest is public: a miss from outside during a drag leaves nothing to drag.
    if (s.FDragging && s.FHoverPoint == nullptr)
        s.FDragging = false;
    if (s.FDragging) {
        // Outside the plot area the point stays, and neither the read-out nor the owner follows.
        if (!InPlotArea(x, y))
            return;
        const TChartDrawContext context = DrawContext();
        if (s.FHoverLine != nullptr)
            s.FHoverLine->Draw(context);
        else
            s.FHoverPoint->Draw(context);
        context.Canvas.Flush();
        s.FHoverPoint->X = s.FCursorX;
        s.FHoverPoint->Y = s.FCursorY;
        if (s.FHoverLine != nullptr)
            s.FHoverLine->Draw(context);
        else
            s.FHoverPoint->Draw(context);
    } else if (HitTest(x, y)) {
        SetApplicationCursor(Qt::PointingHandCursor);
    } else {
        ClearApplicationCursor();
    }
    if (s.FShowXYPos)
        UpdateXYReadout();
    // Last, so that the owner sees the cursor, the dragged point and the read-out up to date.
    TPanel::HandleMouseMove(shift, x, y);
}

void TChartPanel::HandleMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
    // The owner's handler runs while Dragging still tells whether this release ends a drag.
    TPanel::HandleMouseUp(button, shift, x, y);
    FState->FDragging = false;
    ClearApplicationCursor();
}

std::string TChartPanel::FormatCursorText(const std::string& xFormat,
                                          const std::string& yFormat) const {
    const double cursorX = FState->FCursorX, cursorY = FState->FCursorY;
    // Comparisons written so that a NaN cursor counts as outside.
    if (!(cursorX >= XMin() && cursorX <= XMax() && cursorY >= YMin() && cursorY <= YMax()))
        return {};
    // Formatting each value with its own format gives the same text as the joined format
    // "xFormat, yFormat" with both values whenever each format takes exactly one value.
    return FormatValue(xFormat, cursorX) + ", " + FormatValue(yFormat, cursorY);
}

void TChartPanel::UpdateXYReadout() {
    TState& s = *FState;
    PaintXYBox(true);
    // Appended piece by piece: GCC 12 reports a false -Wrestrict on "[" + std::string.
    std::string text = "[";
    text += FormatCursorText(s.FShowXPosFmt, s.FShowYPosFmt);
    text += ']';
    s.FXYText = std::move(text);
    PaintXYBox(false);
}

void TChartPanel::PaintXYBox(bool blank) {
    TState& s = *FState;
    if (s.FXYText.empty())
        return;
    TCanvas& canvas = *s.FDrawCanvas;
    TCanvas& box = s.FXYBoxImage->Canvas();
    // Composed at the drawing canvas's ratio: copied pixel for pixel, rasterised at device size.
    box.SetDeviceRatio(canvas.DeviceRatio());
    const int32_t textWidth = box.TextWidth(s.FXYText);
    const int32_t textHeight = box.TextHeight(s.FXYText);
    // The corner is placed with the box's own text size, so the whole box stays inside the
    // drawing area whatever font the chart canvas holds at the moment. 64-bit, then saturated:
    // an embedding program may bind a drawing area of any size.
    const TPoint corner = s.FShowXYPosPlace == ppTopRight
                              ? TPoint{SaturatePixel(int64_t(s.FDrawWidth) - 3 - textWidth), 3}
                              : TPoint{2, SaturatePixel(int64_t(s.FDrawHeight) - 2 - textHeight)};
    const TCanvasStateGuard guard(canvas);

    if (blank) {
        // A blank box is the panel colour over the box's area; fill that directly instead of
        // composing an empty image and copying it (the same pixels, a third of the time).
        canvas.Brush = TBrush{Color(), bsSolid};
        canvas.FillRect(Rect(corner.X, corner.Y, SaturatePixel(int64_t(corner.X) + textWidth + 2),
                             SaturatePixel(int64_t(corner.Y) + textHeight)));
        return;
    }

    s.FXYBoxImage->SetSize(textWidth + 2, textHeight);
    box.Brush = TBrush{Color(), bsSolid};
    box.FillRect(Rect(0, 0, s.FXYBoxImage->Width(), s.FXYBoxImage->Height()));
    box.TextOut(0, 0, s.FXYText);
    canvas.SetCopyMode(SRCCOPY);
    canvas.Draw(corner.X, corner.Y, *s.FXYBoxImage);
}
