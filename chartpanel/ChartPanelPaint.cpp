// Painting of the chart: background, plot area, axes, title, points and lines, in screen order.
// Lines, markers and labels combine with the canvas by exclusive-or (pen mode not-xor, copy mode
// SRCINVERT), so drawing an element again with unchanged data restores the pixels under it.
#include "chartpanel/ChartPanel.h"

#include "platform/NumberText.h"
#include "platform/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// Coordinates handed to the canvas stay within +-ClipLimit: far enough outside any canvas to be
// invisible, small enough for the raster engine's fixed-point arithmetic.
constexpr int32_t ClipLimit = 1 << 20;

int32_t ClampToClip(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, -ClipLimit, ClipLimit));
}

bool InsideClip(long double Value) {
    return -ClipLimit <= Value && Value <= ClipLimit;
}

// A segment in exact (long double) pixels clipped to the square +-ClipLimit (Liang-Barsky).
struct TClipped {
    TPoint From;
    TPoint To;
    bool FromMoved;
    bool ToMoved;
};

std::optional<TClipped> ClipSegment(long double x1, long double y1, long double x2,
                                    long double y2) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return std::nullopt;
    long double t0 = 0, t1 = 1;
    const long double dx = x2 - x1, dy = y2 - y1;
    const long double P[4] = {-dx, dx, -dy, dy};
    const long double Q[4] = {x1 + ClipLimit, ClipLimit - x1, y1 + ClipLimit, ClipLimit - y1};
    for (int i = 0; i < 4; ++i) {
        if (P[i] == 0) {
            if (Q[i] < 0)
                return std::nullopt;
            continue;
        }
        const long double t = Q[i] / P[i];
        if (P[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    auto At = [&](long double t) {
        return TPoint{
            static_cast<int32_t>(std::clamp<long double>(x1 + t * dx, -ClipLimit, ClipLimit)),
            static_cast<int32_t>(std::clamp<long double>(y1 + t * dy, -ClipLimit, ClipLimit))};
    };
    return TClipped{At(t0), At(t1), t0 > 0, t1 < 1};
}

// A line between two pixels, clipped so that far coordinates never reach the canvas.
void ClippedLine(TCanvas& Canvas, TPoint A, TPoint B) {
    if (auto C = ClipSegment(A.X, A.Y, B.X, B.Y)) {
        Canvas.MoveTo(C->From.X, C->From.Y);
        Canvas.LineTo(C->To.X, C->To.Y);
    }
}

int32_t Sign(int64_t Value) {
    return (Value > 0) - (Value < 0);
}

int32_t SaturateInt32(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, INT32_MIN, INT32_MAX));
}

// trunc(sqrt(R * 0.25 * R / (k^2 + 1))): the shortening along one axis for a radius R/2.
int64_t Shortening(int32_t R, double k) {
    if (R == 0)
        return 0;
    // k is finite or +inf, so the value lies in [0, |R| / 2]: the conversion is exact and safe.
    const double Value = std::sqrt(static_cast<double>(R) * 0.25 * R / (k * k + 1));
    return static_cast<int64_t>(Value);
}

} // namespace

TSegmentEnds SegmentEnds(TPoint P1, TPoint P2, int32_t R1, bool EndAtP2, int32_t R2) {
    const int64_t dx = int64_t{P2.X} - P1.X, dy = int64_t{P2.Y} - P1.Y;
    const int32_t sx = Sign(dx), sy = Sign(dy);
    const double adx = std::fabs(static_cast<double>(dx)), ady = std::fabs(static_cast<double>(dy));
    const double kx = dy == 0 ? 0 : adx / ady;
    const double ky = dx == 0 ? 0 : ady / adx;
    TSegmentEnds Result;
    Result.From = {SaturateInt32(P1.X + sx * Shortening(R1, ky)),
                   SaturateInt32(P1.Y + sy * Shortening(R1, kx))};
    if (EndAtP2)
        Result.To = P2;
    else
        Result.To = {SaturateInt32(P2.X - sx * Shortening(R2, ky)),
                     SaturateInt32(P2.Y - sy * Shortening(R2, kx))};
    return Result;
}

// --- Canvas set-up ------------------------------------------------------------------------

void TChartPanel::PrepareCanvas(TCanvas& Canvas, int32_t Width, int32_t Height, bool ScaleSizes,
                                bool ScaleFonts) {
    FDrawCanvas = &Canvas;
    TFont Fixed;
    Fixed.SetName("courier new");
    Fixed.SetSize(8);
    Fixed.SetColor(ChartDefaults::PenColor);
    Fixed.SetStyle(0);
    Canvas.SetFont(Fixed);
    Canvas.Pen.Color = ChartDefaults::PenColor;
    Canvas.Pen.Style = ChartDefaults::PenStyle;
    Canvas.Pen.Width = ChartDefaults::PenWidth;
    Canvas.Brush.Color = ChartDefaults::BrushColor;
    Canvas.Brush.Style = bsSolid;
    Canvas.SetCopyMode(SRCINVERT);
    Canvas.Pen.Mode = pmNotXor;
    TickLineColor = 0x00EBE2E0;

    // A panel sized down to its bevel has no design size to compare with: that axis keeps its
    // sizes (ratio 1) instead of dividing by zero.
    const double fx = FDesignWidth > 0 && Width > 0 ? double(Width) / FDesignWidth : 1.0;
    const double fy = FDesignHeight > 0 && Height > 0 ? double(Height) / FDesignHeight : 1.0;
    const double f = (fx + fy) / 2;
    FDrawWidth = Width;
    FDrawHeight = Height;

    auto ScaleFont = [](TFont& Font, double Factor) {
        Font.SetSize(TruncToInt32Saturated(Font.Size() * Factor));
    };
    if (ScaleFonts) {
        ScaleFont(Canvas.Font(), f);
        ScaleFont(FScaleXFont, f);
        ScaleFont(FScaleYFont, f);
    }
    if (ScaleSizes) {
        ScaleFont(FFontLabels, fx);
        RescaleSizes(fx, fy, f);
    }
}

void TChartPanel::RescaleSizes(double fx, double fy, double f) {
    auto Scaled = [](int32_t Value, double Factor) {
        return TruncToInt32Saturated(Value * Factor);
    };
    auto AtLeastOne = [&](int32_t Value) { return std::max(1, Scaled(Value, f)); };
    FTopMargin = Scaled(FTopMargin, fy);
    FLeftMargin = Scaled(FLeftMargin, fx);
    FRightMargin = Scaled(FRightMargin, fx);
    FBottomMargin = Scaled(FBottomMargin, fy);
    FDrawCanvas->Pen.Width = AtLeastOne(FDrawCanvas->Pen.Width);
    for (auto& Line : FLines) {
        for (auto& Point : Line->Points) {
            Point->PenWidth = AtLeastOne(Point->PenWidth);
            Point->Size = AtLeastOne(Point->Size);
        }
        Line->PenWidth = AtLeastOne(Line->PenWidth);
        Line->MarkerPenWidth = AtLeastOne(Line->MarkerPenWidth);
        Line->MarkerSize = AtLeastOne(Line->MarkerSize);
    }
    for (auto& Point : FFreePoints) {
        Point->PenWidth = AtLeastOne(Point->PenWidth);
        Point->Size = AtLeastOne(Point->Size);
    }
}

std::unique_ptr<TBitmap> MakeXorBitmap(const TBitmap* Bitmap, TColor GridColor) {
    if (!Bitmap)
        return nullptr;
    auto Result = std::make_unique<TBitmap>(Bitmap->Width(), Bitmap->Height());
    TCanvas& Canvas = Result->Canvas();
    Canvas.Brush.Color = GridColor ^ Bitmap->Canvas().Brush.Color ^ 0xFFFFFFu;
    Canvas.FillRect(Rect(0, 0, Bitmap->Width(), Bitmap->Height()));
    Canvas.SetCopyMode(SRCINVERT);
    Canvas.Draw(0, 0, *Bitmap);
    Canvas.Flush();
    return Result;
}

void TextOutAngle(TCanvas& Canvas, const std::string& Text, int32_t X, int32_t Y, double Angle) {
    if (std::fabs(Angle) <= 1) {
        Canvas.TextOut(X, Y, Text);
        return;
    }
    TFont Kept;
    Kept.Assign(Canvas.Font());
    TLogFont Log{};
    Log.Height = Canvas.TextHeight("X");
    Log.Width = Canvas.TextWidth("X");
    Log.Escapement = TruncToInt32Saturated(Angle * 10);
    Log.Orientation = Log.Escapement;
    Log.Weight = 300;
    Log.Italic = (Kept.Style() & fsItalic) ? 1 : 0;
    Log.Underline = (Kept.Style() & fsUnderline) ? 1 : 0;
    Log.StrikeOut = (Kept.Style() & fsStrikeOut) ? 1 : 0;
    Log.CharSet = 1;
    Log.PitchAndFamily = 0x31;
    Log.FaceName = Kept.Name();
    TFont Rotated = CreateFontIndirect(Log);
    Rotated.SetColor(Kept.Color());
    Canvas.SetFont(Rotated);
    Canvas.TextOut(X, Y, Text);
    Canvas.SetFont(Kept);
}

// --- Whole chart --------------------------------------------------------------------------

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
    if (FUpdateCount > 0) {
        FRedrawHeld = true;
        return;
    }
    DrawAll();
}

void TChartPanel::BeginUpdate() {
    if (FUpdateCount < std::numeric_limits<int32_t>::max())
        ++FUpdateCount;
}

void TChartPanel::EndUpdate() {
    if (FUpdateCount == 0 || --FUpdateCount > 0 || !FRedrawHeld)
        return;
    FRedrawHeld = false;
    if (!DrawingLeftToPaint())
        DrawAll();
}

bool TChartPanel::DrawingLeftToPaint() {
    return FDrawCanvas == &Canvas() && !isVisible();
}

void TChartPanel::DrawAll() {
    DrawChart();
    FLabelImage->Canvas().SetFont(FFontLabels);
    FXYBoxImage->Canvas().SetFont(FFontXYPos);
    for (auto& Point : FFreePoints)
        Point->Draw();
    DrawLines();
    FDrawCanvas->Flush();
}

void TChartPanel::DrawChart() {
    TCanvas& Canvas = *FDrawCanvas;
    UpdateLayout();
    FillBackground();
    Canvas.Brush.Color = FGridColor;
    Canvas.FillRect(FPlotRect);
    if (FShowXScale)
        DrawXScale();
    if (FShowYScale)
        DrawYScale();
    DrawAxes();
    DrawTitle();
    FXYText.clear();
}

// The drawing area in the panel's colour. Where the plot lies inside it, only the frame around
// the plot is filled: the plot is filled next, and filling each pixel once halves the cost of
// a large chart. The result is the same as filling the whole area first.
void TChartPanel::FillBackground() {
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Brush.Color = Color();
    const int32_t W = FDrawWidth, H = FDrawHeight;
    const TRect& P = FPlotRect;
    if (!(0 <= P.Left && P.Left < P.Right && P.Right <= W && 0 <= P.Top && P.Top < P.Bottom &&
          P.Bottom <= H)) {
        Canvas.FillRect(Rect(0, 0, W, H));
        return;
    }
    Canvas.FillRect(Rect(0, 0, W, P.Top));
    Canvas.FillRect(Rect(0, P.Top, P.Left, P.Bottom));
    Canvas.FillRect(Rect(P.Right, P.Top, W, P.Bottom));
    Canvas.FillRect(Rect(0, P.Bottom, W, H));
}

void TChartPanel::DrawAxes() {
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Pen.Color = FAxesColor;
    const int32_t L = FPlotRect.Left, T = FPlotRect.Top, R = FPlotRect.Right, B = FPlotRect.Bottom;
    switch (FAxisType) {
    case xtCent0: {
        const int32_t MidX = L + FPlotWidth / 2, MidY = T + FPlotHeight / 2;
        ClippedLine(Canvas, {MidX, T}, {MidX, B});
        ClippedLine(Canvas, {L, MidY}, {R, MidY});
        break;
    }
    case xtQuad1:
        ClippedLine(Canvas, {L, T}, {L, B});
        ClippedLine(Canvas, {L, B}, {R, B});
        break;
    case xtQuad2:
        ClippedLine(Canvas, {R, T}, {R, B});
        ClippedLine(Canvas, {L, B}, {R, B});
        break;
    case xtNone:
        break;
    }
    Canvas.Flush();
}

void TChartPanel::DrawTitle() {
    TCanvas& Canvas = *FDrawCanvas;
    Canvas.Pen.Color = FAxesColor;
    Canvas.Brush.Color = Color();
    const int64_t TextW = Canvas.TextWidth(FTitle);
    int64_t x = 5;
    if (FTitleAlignment == taRightJustify)
        x = FDrawWidth - TextW - 5;
    else if (FTitleAlignment == taCenter)
        x = (FDrawWidth - TextW) / 2;
    Canvas.TextOut(ClampToClip(x), 5, FTitle);
}

void TChartPanel::DrawLines() {
    for (auto& Line : FLines)
        Line->Draw();
}

void TChartPanel::DrawSegment(TPoint P1, TPoint P2, int32_t R1, bool EndAtP2, int32_t R2) {
    const TSegmentEnds Ends = SegmentEnds(P1, P2, R1, EndAtP2, R2);
    FDrawCanvas->MoveTo(Ends.From.X, Ends.From.Y);
    FDrawCanvas->LineTo(Ends.To.X, Ends.To.Y);
}

// --- Lines --------------------------------------------------------------------------------

void TChartLine::Draw() {
    if (Points.empty())
        return;
    TCanvas& Canvas = *Panel->FDrawCanvas;
    const int32_t KeptWidth = Canvas.Pen.Width;
    const TAxisMap XMap = Panel->XMap(), YMap = Panel->YMap();
    TPoint Prev{};
    long double PrevX = 0, PrevY = 0;
    int32_t PrevSize = 0;
    bool First = true;
    for (size_t i = 0; i < Points.size(); ++i) {
        TChartPoint& Point = *Points[i];
        if (Point.MarkerKind != mkNone || Point.LabelMode != lmNone)
            Point.Draw(); // a point without marker and label draws nothing
        const long double CurX = XMap.ExactPixel(Point.X), CurY = YMap.ExactPixel(Point.Y);
        const TPoint Cur{SaturatePixel(CurX), SaturatePixel(CurY)};
        const int32_t Size = Point.Size;
        // Two points on the same pixel have no segment between them.
        if (i > 0 && !(Cur == Prev && CurX == PrevX && CurY == PrevY) &&
            (Panel->InPlotArea(Cur) || Panel->InPlotArea(Prev))) {
            Canvas.Pen.Color = LineColor;
            Canvas.Pen.Style = PenStyle;
            Canvas.Pen.Width = PenWidth;
            if (InsideClip(PrevX) && InsideClip(PrevY) && InsideClip(CurX) && InsideClip(CurY)) {
                if (MarkerKind != mkNone) {
                    Panel->DrawSegment(Prev, Cur, PrevSize, false, Size);
                } else if (First) {
                    Canvas.MoveTo(Prev.X, Prev.Y);
                    Canvas.LineTo(Cur.X, Cur.Y);
                    First = false;
                } else {
                    Panel->DrawSegment(Prev, Cur, PrevSize, true, PenWidth);
                }
            } else if (auto C = ClipSegment(PrevX, PrevY, CurX, CurY)) {
                // A far end (or a non-finite one, which draws nothing) would overflow the
                // canvas's coordinates: draw the visible part; a cut end is not shortened.
                const bool Whole = C->FromMoved || (MarkerKind == mkNone && First);
                const int32_t R1 = Whole ? 0 : PrevSize;
                const int32_t R2 = C->ToMoved ? 0 : Size;
                Panel->DrawSegment(C->From, C->To, R1, MarkerKind == mkNone, R2);
                First = false;
            }
        }
        Prev = Cur;
        PrevX = CurX;
        PrevY = CurY;
        PrevSize = MarkerKind != mkNone ? Size : PenWidth;
    }
    Canvas.Flush();
    Canvas.Pen.Color = ChartDefaults::PenColor;
    Canvas.Brush.Color = ChartDefaults::BrushColor;
    Canvas.Pen.Style = ChartDefaults::PenStyle;
    Canvas.Pen.Width = KeptWidth;
}

// --- Points -------------------------------------------------------------------------------

bool TChartPoint::Draw() {
    if (!Panel->IsInRange(X, Y))
        return false;
    TCanvas& Canvas = *Panel->FDrawCanvas;
    Canvas.Pen.Style = PenStyle;
    Canvas.Pen.Width = PenWidth;
    const bool Selected = Panel->FSelectedPoint == this;
    Canvas.Pen.Color = Selected ? SelPenColor : PenColor;
    Canvas.Brush.Color = Selected ? SelBrushColor : BrushColor;
    if (MarkerKind == mkNone && LabelMode == lmNone)
        return true; // nothing to draw (a plain curve point)
    const TPoint P = Panel->DataToPixel(X, Y);
    DrawMarker(Canvas, P);
    DrawLabel(Canvas, P);
    return true;
}

void TChartPoint::DrawMarker(TCanvas& Canvas, TPoint P) {
    // A point in range lies on the plot, but its marker may be any size: keep the box drawable.
    const int32_t r = std::clamp(RoundHalfEvenToInt32(Size / 2.0), 1, ClipLimit);
    const int32_t Left = ClampToClip(int64_t{P.X} - r), Top = ClampToClip(int64_t{P.Y} - r);
    const int32_t Right = ClampToClip(int64_t{P.X} + r), Bottom = ClampToClip(int64_t{P.Y} + r);
    switch (MarkerKind) {
    case mkBitmap:
        if (Bitmap)
            Canvas.Draw(ClampToClip(int64_t{P.X} - Bitmap->Width() / 2),
                        ClampToClip(int64_t{P.Y} - Bitmap->Height() / 2), *Bitmap);
        break;
    case mkCircle:
        Canvas.Ellipse(Left, Top, Right, Bottom);
        break;
    case mkSquare:
        Canvas.Rectangle(Left, Top, Right, Bottom);
        break;
    case mkPolygon:
        if (!Shape.empty()) {
            TPointVec Vertices;
            Vertices.reserve(Shape.size());
            for (const TPoint& V : Shape)
                Vertices.push_back(
                    {ClampToClip(int64_t{P.X} + V.X), ClampToClip(int64_t{P.Y} + V.Y)});
            Canvas.Polygon(Vertices);
        }
        break;
    case mkCrossHair: {
        const TPoint Min = Panel->DataToPixel(Panel->XMin(), Panel->YMin());
        const TPoint Max = Panel->DataToPixel(Panel->XMax(), Panel->YMax());
        ClippedLine(Canvas, {P.X, Min.Y}, {P.X, Max.Y});
        ClippedLine(Canvas, {Min.X, P.Y}, {Max.X, P.Y});
        Canvas.Flush();
        break;
    }
    default:
        break;
    }
}

std::string TChartPoint::LabelString() const {
    if (LabelMode == lmCoordinates)
        return Format("%0.1f %0.1f", {X, Y});
    if (LabelMode == lmText)
        return LabelText;
    return std::string();
}

void TChartPoint::DrawLabel(TCanvas& Canvas, TPoint P) {
    const std::string Text = LabelString();
    if (Text.empty())
        return;
    TColor GridColor = Panel->FGridColor;
    TBitmap& Image = *Panel->FLabelImage;
    TCanvas& ImageCanvas = Image.Canvas();
    if (LabelXor) {
        Canvas.SetCopyMode(SRCINVERT);
        ImageCanvas.Brush.Color = clBlack;
        ImageCanvas.Font().SetColor(GridColor ^ PenColor);
    } else {
        Canvas.SetCopyMode(SRCCOPY);
        ImageCanvas.Brush.Color = GridColor;
        ImageCanvas.Font().SetColor(PenColor);
    }
    const int32_t W = Canvas.TextWidth(Text) + 2, H = Canvas.TextHeight(Text) + 2;
    Image.SetSize(W, H);
    ImageCanvas.FillRect(Rect(0, 0, W, H));
    ImageCanvas.TextOut(0, 0, Text);
    const int32_t Left = ClampToClip(int64_t{P.X} - W / 2), Top = ClampToClip(int64_t{P.Y} - H);
    Canvas.CopyRect(Rect(Left, Top, Left + W, Top + H), ImageCanvas, Rect(0, 0, W, H));
    Canvas.SetCopyMode(SRCINVERT);
}
