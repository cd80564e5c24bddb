// Mouse interaction of TChartPanel: hit testing and dragging of marked points, the hand pointer
// over them, and the small read-out box with the data position under the mouse.
//
// Dragging relies on the exclusive-or painting of lines and points: drawing an element a second
// time in the same state removes it, so a drag step draws the element once (erase), moves the
// point and draws it again, and never repaints the whole chart.

#include "chartpanel/ChartPanel.h"
#include "chartpanel/ChartPanelScales.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"

#include <cstdlib>
#include <tuple>
#include <utility>

namespace {

// Half the side of the square around a point's pixel in which the mouse hits it.
constexpr int64_t HitTolerance = 3;

bool WithinReach(TPoint P, int32_t x, int32_t y) {
    // 64-bit differences: a point far outside the plot maps to an extreme pixel.
    return std::llabs(int64_t(P.X) - x) <= HitTolerance &&
           std::llabs(int64_t(P.Y) - y) <= HitTolerance;
}

// One read-out value. The owner's format must consume exactly this one value; a format that
// consumes none or several, or that is malformed, gives way to the automatic format, so a bad
// setting can neither crash the panel nor show a number under the other axis's format.
std::string FormatValue(const std::string& OwnerFormat, double Value) {
    if (!OwnerFormat.empty()) {
        try {
            return Format(OwnerFormat, {Value});
        } catch (const Exception&) {
            // Fall through to the automatic format.
        }
    }
    return Format(AutoFloatFormat(ValueLimit, LargeValueFormat, Value), {Value});
}

// Keeps the pen and brush of a canvas across the drawing of single points. A point leaves its own
// pen on the canvas, and the next complete redraw would draw the grid and the axes with it.
class TPenBrushKeeper {
public:
    explicit TPenBrushKeeper(TCanvas& Canvas)
        : FCanvas(Canvas), FPen(Canvas.Pen), FBrush(Canvas.Brush) {}
    ~TPenBrushKeeper() {
        FCanvas.Flush();
        FCanvas.Pen = FPen;
        FCanvas.Brush = FBrush;
    }
    TPenBrushKeeper(const TPenBrushKeeper&) = delete;
    TPenBrushKeeper& operator=(const TPenBrushKeeper&) = delete;

private:
    TCanvas& FCanvas;
    TPen FPen;
    TBrush FBrush;
};

} // namespace

bool TChartPanel::HitTest(int32_t x, int32_t y) {
    FHoverPoint = nullptr;
    for (const auto& Point : FFreePoints) {
        if (Point->Draggable && WithinReach(DataToPixel(Point->X, Point->Y), x, y)) {
            FHoverPoint = Point.get();
            FHoverLine = nullptr;
            return true;
        }
    }
    for (const auto& Line : FLines) {
        for (const auto& Point : Line->Points) {
            if (Point->Draggable && WithinReach(DataToPixel(Point->X, Point->Y), x, y)) {
                FHoverPoint = Point.get();
                FHoverLine = Line.get();
                return true;
            }
        }
    }
    return false;
}

void TChartPanel::HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t x, int32_t y) {
    // The owner's handler runs first and so still sees the cursor of the previous event.
    TPanel::HandleMouseDown(Button, Shift, x, y);
    std::tie(FCursorX, FCursorY) = PixelToData(x, y);
    if (!HitTest(x, y)) {
        // A press beside every point (e.g. a second button during a drag) leaves no point to
        // drag: HoverPoint is none now.
        FDragging = false;
        return;
    }
    TCanvas& Canvas = *FDrawCanvas;
    const TPenBrushKeeper Keeper(Canvas);
    if (TChartPoint* Previous = FSelectedPoint;
        Previous != nullptr && (Previous->PenColor != Previous->SelPenColor ||
                                Previous->BrushColor != Previous->SelBrushColor)) {
        Previous->Draw(); // removes its selected image
        Canvas.Flush();
        FSelectedPoint = nullptr;
        Previous->Draw(); // its normal image
        Canvas.Flush();
    }
    FHoverPoint->Draw();
    Canvas.Flush();
    FSelectedPoint = FHoverPoint;
    FHoverPoint->Draw();
    FDragging = true;
}

void TChartPanel::HandleMouseMove(TShiftState Shift, int32_t x, int32_t y) {
    std::tie(FCursorX, FCursorY) = PixelToData(x, y);
    // HitTest is public: a miss from outside during a drag leaves nothing to drag.
    if (FDragging && FHoverPoint == nullptr)
        FDragging = false;
    if (FDragging) {
        // Outside the plot area the point stays, and neither the read-out nor the owner follows.
        if (!InPlotArea(x, y))
            return;
        TCanvas& Canvas = *FDrawCanvas;
        const TPenBrushKeeper Keeper(Canvas);
        if (FHoverLine != nullptr)
            FHoverLine->Draw();
        else
            FHoverPoint->Draw();
        Canvas.Flush();
        FHoverPoint->X = FCursorX;
        FHoverPoint->Y = FCursorY;
        if (FHoverLine != nullptr)
            FHoverLine->Draw();
        else
            FHoverPoint->Draw();
    } else if (HitTest(x, y)) {
        SetApplicationCursor(Qt::PointingHandCursor);
    } else {
        ClearApplicationCursor();
    }
    if (FShowXYPos)
        UpdateXYReadout();
    // Last, so that the owner sees the cursor, the dragged point and the read-out up to date.
    TPanel::HandleMouseMove(Shift, x, y);
}

void TChartPanel::HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t x, int32_t y) {
    // The owner's handler runs while Dragging still tells whether this release ends a drag.
    TPanel::HandleMouseUp(Button, Shift, x, y);
    FDragging = false;
    ClearApplicationCursor();
}

std::string TChartPanel::FormatCursorText(const std::string& XFormat,
                                          const std::string& YFormat) const {
    // Comparisons written so that a NaN cursor counts as outside.
    if (!(FCursorX >= XMin() && FCursorX <= XMax() && FCursorY >= YMin() && FCursorY <= YMax()))
        return {};
    // Formatting each value with its own format gives the same text as the joined format
    // "XFormat, YFormat" with both values whenever each format takes exactly one value.
    return FormatValue(XFormat, FCursorX) + ", " + FormatValue(YFormat, FCursorY);
}

void TChartPanel::UpdateXYReadout() {
    PaintXYBox(true);
    // Appended piece by piece: GCC 12 reports a false -Wrestrict on "[" + std::string.
    std::string Text = "[";
    Text += FormatCursorText(FShowXPosFmt, FShowYPosFmt);
    Text += ']';
    FXYText = std::move(Text);
    PaintXYBox(false);
}

void TChartPanel::PaintXYBox(bool Blank) {
    if (FXYText.empty())
        return;
    TCanvas& Canvas = *FDrawCanvas;
    TCanvas& Box = FXYBoxImage->Canvas();
    const int32_t TextWidth = Box.TextWidth(FXYText);
    const int32_t TextHeight = Box.TextHeight(FXYText);
    // The corner is placed with the box's own text size, so the whole box stays inside the
    // drawing area whatever font the chart canvas holds at the moment. 64-bit, then saturated:
    // an embedding program may bind a drawing area of any size.
    const TPoint Corner = FShowXYPosPlace == ppTopRight
                              ? TPoint{SaturatePixel(int64_t(FDrawWidth) - 3 - TextWidth), 3}
                              : TPoint{2, SaturatePixel(int64_t(FDrawHeight) - 2 - TextHeight)};

    if (Blank) {
        // A blank box is the panel colour over the box's area; fill that directly instead of
        // composing an empty image and copying it (the same pixels, a third of the time).
        const TBrush SavedBrush = Canvas.Brush;
        Canvas.Brush = TBrush{Color(), bsSolid};
        Canvas.FillRect(Rect(Corner.X, Corner.Y, SaturatePixel(int64_t(Corner.X) + TextWidth + 2),
                             SaturatePixel(int64_t(Corner.Y) + TextHeight)));
        Canvas.Brush = SavedBrush;
        return;
    }

    FXYBoxImage->SetSize(TextWidth + 2, TextHeight);
    Box.Brush = TBrush{Color(), bsSolid};
    Box.FillRect(Rect(0, 0, FXYBoxImage->Width(), FXYBoxImage->Height()));
    Box.TextOut(0, 0, FXYText);
    const TCopyMode SavedCopyMode = Canvas.CopyMode();
    Canvas.SetCopyMode(SRCCOPY);
    Canvas.Draw(Corner.X, Corner.Y, *FXYBoxImage);
    Canvas.SetCopyMode(SavedCopyMode);
}
