// TChartPoint and TChartLine: their data and their drawing through a TChartDrawContext.
// Lines, markers and labels combine with the canvas by exclusive-or (pen mode not-xor, copy mode
// SRCINVERT), so drawing an item again with unchanged data restores the pixels under it.
#include "chartpanel/ChartItems.h"

#include "chartpanel/ChartPanel.h"
#include "platform/Clip.h"
#include "platform/Intrinsics.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

int32_t MarkerSizeOf(const TBitmap& bitmap) {
    return RoundHalfEvenToInt32((static_cast<double>(bitmap.Width()) + bitmap.Height()) * 0.5);
}

// --- TChartPoint ---------------------------------------------------------------------------

void TChartPoint::SetStyle(TColor penColor, TColor brushColor, bool compensate, int32_t penWidth,
                           TPenStyle penStyle) {
    PenColor = compensate ? Panel->Compensate(penColor) : penColor;
    BrushColor = compensate ? Panel->Compensate(brushColor) : brushColor;
    SelPenColor = PenColor;
    SelBrushColor = BrushColor;
    PenStyle = penStyle;
    PenWidth = penWidth;
}

void TChartPoint::SetLabel(uint8_t mode, std::string text, bool xorDraw) {
    LabelMode = mode;
    LabelText = std::move(text);
    LabelXor = xorDraw;
}

// --- TChartLine ----------------------------------------------------------------------------

TChartPoint* TChartLine::AddPoint(double x, double y) {
    auto point = std::make_unique<TChartPoint>(Panel, x, y);
    point->MarkerKind = MarkerKind;
    point->Draggable = MarkerKind != mkNone;
    point->Size = MarkerSize;
    point->Shape = MarkerShape;
    point->Bitmap = MarkerBitmap.get();
    if (MarkerBitmap)
        point->Size = MarkerSizeOf(*MarkerBitmap);
    TChartPoint* result = Points.emplace_back(std::move(point)).get();
    result->SetLabel(lmNone, std::string(), true);
    result->SetStyle(MarkerPenColor, MarkerBrushColor, false, MarkerPenWidth, MarkerPenStyle);
    return result;
}

void TChartLine::SetPen(TPenStyle style, int32_t width) {
    PenStyle = style;
    PenWidth = width;
    for (auto& point : Points) {
        point->PenStyle = style;
        point->PenWidth = width;
    }
}

void TChartLine::SetMarkerStyle(TColor penColor, TColor brushColor, TPenStyle penStyle,
                                int32_t penWidth) {
    MarkerPenColor = Panel->Compensate(penColor);
    MarkerBrushColor = Panel->Compensate(brushColor);
    MarkerPenStyle = penStyle;
    MarkerPenWidth = penWidth;
    for (auto& point : Points)
        point->SetStyle(penColor, brushColor, true, penWidth, penStyle);
}

// --- Drawing a line -------------------------------------------------------------------------

namespace {

// A pixel within the coordinate limit. Pixels are saturated well beyond it (PixelLimit), so for
// them this is the same as the exact pixel lying within the limit.
bool Near(TPoint p) {
    return -CoordinateLimit <= p.X && p.X <= CoordinateLimit && -CoordinateLimit <= p.Y &&
           p.Y <= CoordinateLimit;
}

// The points and segments of a line. Out of line: sharing a frame with the caller's state guard
// (and its clean-up on unwinding) makes the x87 code of this loop about a third slower.
[[gnu::noinline]] void DrawLine(const TChartLine& line, const TChartDrawContext& context) {
    const TChartPointVec& points = line.Points;
    const uint8_t markerKind = line.MarkerKind;
    const int32_t penWidth = line.PenWidth;
    TCanvas& canvas = context.Canvas;
    // Data map straight to device pixels. Local copies: the canvas calls below cannot change them,
    // so they stay in registers.
    const TAxisMap xMap = context.XDeviceMap(), yMap = context.YDeviceMap();
    const double xFactor = static_cast<double>(xMap.Factor);
    const double yFactor = static_cast<double>(yMap.Factor);
    const TRect plot = context.DevicePlotRect();
    const auto inPlot = [&plot](TPoint p) {
        return plot.Top <= p.Y && p.Y <= plot.Bottom && plot.Left <= p.X && p.X <= plot.Right;
    };
    // Joints of an unmarked line are shortened by half the pen width; a 1-pixel pen (thicker than
    // one device pixel above ratio 1) joins without shortening.
    const int32_t joint = penWidth <= 1 ? penWidth : context.DeviceLength(penWidth);
    TPoint prev{};
    // Exact pixels, needed only beyond the coordinate limit; a point mapped quickly has its pixel.
    long double prevX = 0, prevY = 0;
    int32_t prevSize = 0;
    bool first = true;
    // Points live apart on the heap: ask for those a little ahead early.
    constexpr size_t pointsAhead = 16;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i + pointsAhead < points.size())
            PrefetchForRead(points[i + pointsAhead].get());
        const TChartPoint& point = *points[i];
        if (point.MarkerKind != mkNone || point.LabelMode != lmNone)
            point.Draw(context); // a point without marker and label draws nothing
        TPoint cur;
        long double curX, curY;
        if (QuickPixel(xMap, xFactor, point.X, cur.X) &&
            QuickPixel(yMap, yFactor, point.Y, cur.Y)) {
            curX = cur.X;
            curY = cur.Y;
        } else {
            curX = xMap.ExactPixel(point.X);
            curY = yMap.ExactPixel(point.Y);
            cur = {SaturatePixel(curX), SaturatePixel(curY)};
        }
        const int32_t size = markerKind != mkNone ? context.DeviceLength(point.Size) : joint;
        // Two points on the same pixel have no segment between them.
        // Saturated pixels are equal for different far points: compare those exactly.
        const bool samePixel = cur == prev && (Near(cur) || (curX == prevX && curY == prevY));
        if (i > 0 && !samePixel && (inPlot(cur) || inPlot(prev))) {
            canvas.Pen.Color = line.LineColor;
            canvas.Pen.Style = line.PenStyle;
            canvas.Pen.Width = penWidth;
            if (Near(prev) && Near(cur)) {
                if (markerKind != mkNone) {
                    context.DeviceSegment(prev, cur, prevSize, false, size);
                } else if (first) {
                    canvas.DeviceMoveTo(prev.X, prev.Y);
                    canvas.DeviceLineTo(cur.X, cur.Y);
                    first = false;
                } else {
                    context.DeviceSegment(prev, cur, prevSize, true, joint);
                }
            } else if (const auto cut = ClipToCanvas(prevX, prevY, curX, curY)) {
                // A far end (or a non-finite one, which draws nothing) would overflow the
                // canvas's coordinates: draw the visible part; a cut end is not shortened.
                const bool whole = cut->FromMoved || (markerKind == mkNone && first);
                const int32_t r1 = whole ? 0 : prevSize;
                const int32_t r2 = cut->ToMoved ? 0 : size;
                context.DeviceSegment(cut->From, cut->To, r1, markerKind == mkNone, r2);
                first = false;
            }
        }
        prev = cur;
        prevX = curX;
        prevY = curY;
        prevSize = size;
    }
    canvas.Flush(); // the run of segments is one element: it ends here
}

} // namespace

void TChartLine::Draw() {
    Draw(Panel->DrawContext());
}

void TChartLine::Draw(const TChartDrawContext& context) const {
    if (Points.empty())
        return;
    const TCanvasStateGuard guard(context.Canvas);
    DrawLine(*this, context);
}

// --- Drawing a point ------------------------------------------------------------------------

namespace {

void DrawMarker(const TChartPoint& point, const TChartDrawContext& context, TPoint p) {
    TCanvas& canvas = context.Canvas;
    // A point in range lies on the plot, but its marker may be any size: keep the box drawable.
    const int32_t r = std::clamp(RoundHalfEvenToInt32(point.Size / 2.0), 1, CoordinateLimit);
    const int32_t left = ClampCoordinate(int64_t{p.X} - r), top = ClampCoordinate(int64_t{p.Y} - r);
    const int32_t right = ClampCoordinate(int64_t{p.X} + r);
    const int32_t bottom = ClampCoordinate(int64_t{p.Y} + r);
    switch (point.MarkerKind) {
    case mkBitmap:
        if (point.Bitmap)
            canvas.Draw(ClampCoordinate(int64_t{p.X} - point.Bitmap->Width() / 2),
                        ClampCoordinate(int64_t{p.Y} - point.Bitmap->Height() / 2), *point.Bitmap);
        break;
    case mkCircle:
        canvas.Ellipse(left, top, right, bottom);
        break;
    case mkSquare:
        canvas.Rectangle(left, top, right, bottom);
        break;
    case mkPolygon:
        if (!point.Shape.empty()) {
            TPointVec vertices;
            vertices.reserve(point.Shape.size());
            for (const TPoint& v : point.Shape)
                vertices.push_back(
                    {ClampCoordinate(int64_t{p.X} + v.X), ClampCoordinate(int64_t{p.Y} + v.Y)});
            canvas.Polygon(vertices);
        }
        break;
    case mkCrossHair: {
        // Across the plot between the public bounds.
        const TAxisMap& x = context.XMap;
        const TAxisMap& y = context.YMap;
        const TPoint min{x.ToPixel(x.FromScale(x.ScaledMin)), y.ToPixel(y.FromScale(y.ScaledMin))};
        const TPoint max{x.ToPixel(x.FromScale(x.ScaledMax)), y.ToPixel(y.FromScale(y.ScaledMax))};
        context.ClippedLine({p.X, min.Y}, {p.X, max.Y});
        context.ClippedLine({min.X, p.Y}, {max.X, p.Y});
        canvas.Flush();
        break;
    }
    default:
        break;
    }
}

std::string LabelString(const TChartPoint& point) {
    if (point.LabelMode == lmCoordinates)
        return Format("%0.1f %0.1f", {point.X, point.Y});
    if (point.LabelMode == lmText)
        return point.LabelText;
    return std::string();
}

// The label is composed in the context's label image and copied centred above the point.
void DrawLabel(const TChartPoint& point, const TChartDrawContext& context, TPoint p) {
    const std::string text = LabelString(point);
    if (text.empty())
        return;
    TCanvas& canvas = context.Canvas;
    TBitmap& image = context.LabelImage;
    TCanvas& imageCanvas = image.Canvas();
    if (point.LabelXor) {
        canvas.SetCopyMode(SRCINVERT);
        imageCanvas.Brush.Color = clBlack;
        imageCanvas.Font().SetColor(context.GridColor ^ point.PenColor);
    } else {
        canvas.SetCopyMode(SRCCOPY);
        imageCanvas.Brush.Color = context.GridColor;
        imageCanvas.Font().SetColor(point.PenColor);
    }
    const int32_t w = canvas.TextWidth(text) + 2, h = canvas.TextHeight(text) + 2;
    // Composed at the drawing canvas's ratio: copied pixel for pixel, rasterised at device size.
    imageCanvas.SetDeviceRatio(canvas.DeviceRatio());
    image.SetSize(w, h);
    imageCanvas.FillRect(Rect(0, 0, w, h));
    imageCanvas.TextOut(0, 0, text);
    const int32_t left = ClampCoordinate(int64_t{p.X} - w / 2);
    const int32_t top = ClampCoordinate(int64_t{p.Y} - h);
    canvas.CopyRect(Rect(left, top, left + w, top + h), imageCanvas, Rect(0, 0, w, h));
    canvas.SetCopyMode(SRCINVERT);
}

} // namespace

bool TChartPoint::Draw() {
    return Draw(Panel->DrawContext());
}

bool TChartPoint::Draw(const TChartDrawContext& context) const {
    if (!context.IsInRange(X, Y))
        return false;
    if (MarkerKind == mkNone && LabelMode == lmNone)
        return true; // nothing to draw (a plain curve point)
    TCanvas& canvas = context.Canvas;
    const TCanvasStateGuard guard(canvas);
    canvas.Pen.Style = PenStyle;
    canvas.Pen.Width = PenWidth;
    const bool selected = context.SelectedPoint == this;
    canvas.Pen.Color = selected ? SelPenColor : PenColor;
    canvas.Brush.Color = selected ? SelBrushColor : BrushColor;
    const TPoint p = context.DataToPixel(X, Y);
    DrawMarker(*this, context, p);
    DrawLabel(*this, context, p);
    return true;
}
