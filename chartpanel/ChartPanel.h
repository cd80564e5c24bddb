#pragma once
// TChartPanel: a bevelled panel that plots lines of data points over linear or logarithmic
// scales. Lines, markers and labels are drawn with exclusive-or raster operations, so drawing an
// element a second time with unchanged data removes it again (point dragging relies on this).
//
// The chart owns its lines, a line owns its points and its marker image. Property setters only
// store (some clamp); the owner calls Redraw once after a batch of changes. In design mode most
// setters repaint by themselves.

#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/Font.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Panel.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TChartPanel;
class TChartLine;
class TChartPoint;

enum TAxisType : uint8_t { xtNone = 0, xtCent0 = 1, xtQuad1 = 2, xtQuad2 = 3 };
enum TScaleType : uint8_t { stXY = 0, stlnXY = 1, stXlnY = 2, stlnXlnY = 3 };
enum TXYPosPlace : uint8_t { ppTopRight = 0, ppBottomLeft = 1 };
// Marker kinds and label modes are stored as bytes: a value outside the named ones draws nothing.
enum TMarkerKind : uint8_t {
    mkNone = 0,
    mkBitmap = 1,
    mkCircle = 2,
    mkSquare = 3,
    mkPolygon = 4,
    mkCrossHair = 5
};
enum TLabelMode : uint8_t { lmNone = 0, lmCoordinates = 1, lmText = 2 };

using TPointVec = std::vector<TPoint>;
using TChartLineVec = std::vector<std::unique_ptr<TChartLine>>;
using TChartPointVec = std::vector<std::unique_ptr<TChartPoint>>;

namespace ChartDefaults {
inline constexpr TColor PenColor = 0x000000;
inline constexpr TColor BrushColor = 0xFFFFFF;
inline constexpr TPenStyle PenStyle = psSolid;
inline constexpr int32_t PenWidth = 1;
} // namespace ChartDefaults

// Pen colour of the scales' grid lines, shared by every chart of the process; PrepareCanvas sets
// it.
inline TColor TickLineColor = 0x00EBE2E0;

// The colour that shows as Color when drawn with the not-xor pen onto a pixel of GridColor.
constexpr TColor CompensateColor(TColor Color, TColor GridColor) {
    return Color ^ GridColor ^ 0xFFFFFFu;
}

// Pixel coordinates are held within +-PixelLimit: a data value far outside the plot saturates
// there instead of wrapping round to a visible pixel, and the difference of two coordinates
// always fits 32 bits.
inline constexpr int32_t PixelLimit = 1 << 29;

// Mapping of one axis between data values, scale space (the value, or its base-10 logarithm)
// and canvas pixels. Built from the panel's fields on demand; a plain value, cheap to copy.
struct TAxisMap {
    bool Log = false;
    double ScaledMin = 0;
    double ScaledMax = 0;
    long double Factor = 0; // pixels per scale unit
    int32_t Origin = 0;     // pixel of ScaledMin
    int32_t Direction = 1;  // +1: pixels grow with the value (X); -1: they shrink (Y)

    // Data value to scale space; on a log axis a value <= 0 gives -2 (the logarithm of 0.01).
    double ToScale(double Value) const;
    double FromScale(double Scaled) const;
    // Pixel offset from Origin before saturation: the truncated product, exact in extended
    // precision; NaN or infinite when the inputs are.
    long double Offset(double Value) const;
    // Exact pixel (Origin + Direction * Offset), not saturated; used to clip far segments.
    long double ExactPixel(double Value) const;
    // Pixel of a data value, saturated to +-PixelLimit; NaN gives -PixelLimit.
    int32_t ToPixel(double Value) const;
    // Data value of a pixel; 0 when Factor is 0.
    double FromPixel(int32_t Pixel) const;
    // ScaledMin <= ToScale(Value) <= ScaledMax; false for NaN.
    bool Contains(double Value) const;
};

// Truncation toward zero in extended precision. Done with additions rather than a conversion
// to an integer, which on x87 switches the rounding mode each time and dominated the drawing of
// long lines. NaN, infinities and magnitudes of 2^62 and more (whole already) come back as given.
inline long double TruncExtended(long double Value) {
    constexpr long double Shift = 0x1p63L; // sums near it have a unit in the last place of 1
    if (!(std::fabs(Value) < 0x1p62L))
        return Value;
    if (Value >= 0) {
        long double Whole = (Value + Shift) - Shift; // nearest whole number
        return Whole > Value ? Whole - 1 : Whole;
    }
    long double Whole = (Value - Shift) + Shift;
    return Whole < Value ? Whole + 1 : Whole;
}

// Truncation toward zero into +-PixelLimit; NaN gives -PixelLimit.
inline int32_t SaturatePixel(long double Value) {
    if (Value > -PixelLimit && Value < PixelLimit) // whole and within 2^29: exact as a double
        return static_cast<int32_t>(static_cast<double>(TruncExtended(Value)));
    return Value >= PixelLimit ? PixelLimit : -PixelLimit; // NaN: -PixelLimit
}

// Inline: every point of every line goes through these on each redraw.
inline double TAxisMap::ToScale(double Value) const {
    if (!Log)
        return Value;
    if (Value <= 0)
        return -2.0; // log10(0.01)
    return std::log10(Value);
}

inline long double TAxisMap::Offset(double Value) const {
    const long double Product =
        (static_cast<long double>(ToScale(Value)) - static_cast<long double>(ScaledMin)) * Factor;
    return TruncExtended(Product);
}

inline long double TAxisMap::ExactPixel(double Value) const {
    return static_cast<long double>(Origin) + Direction * Offset(Value);
}

// Ends of a segment drawn from R1/2 pixels after P1 to P2 (EndAtP2) or to R2/2 pixels before P2.
struct TSegmentEnds {
    TPoint From;
    TPoint To;
};
TSegmentEnds SegmentEnds(TPoint P1, TPoint P2, int32_t R1, bool EndAtP2, int32_t R2);

// Draws Text at (X, Y) turned counter-clockwise by Angle degrees; |Angle| <= 1 draws it as it is.
void TextOutAngle(TCanvas& Canvas, const std::string& Text, int32_t X, int32_t Y, double Angle);
// Compensated copy of a marker image, or none for none.
std::unique_ptr<TBitmap> MakeXorBitmap(const TBitmap* Bitmap, TColor GridColor);

class TChartPoint {
public:
    TChartPoint(TChartPanel* APanel, double AX, double AY) : Panel(APanel), X(AX), Y(AY) {}

    TChartPanel* Panel;
    double X;
    double Y;
    TColor PenColor = 0;
    TPenStyle PenStyle = psSolid;
    int32_t PenWidth = 1;
    TColor BrushColor = 0;
    TColor SelPenColor = 0;
    TColor SelBrushColor = 0;
    uint8_t MarkerKind = mkNone;
    const TBitmap* Bitmap = nullptr; // the owning line's MarkerBitmap, not owned
    int32_t Size = 0;
    TPointVec Shape;
    uint8_t LabelMode = lmNone;
    std::string LabelText;
    bool LabelXor = true;
    bool Draggable = false;

    // Colours are compensated with the panel's GridColor when Compensate is true, else taken as
    // already compensated. The selection colours follow the new colours.
    void SetStyle(TColor APenColor, TColor ABrushColor, bool Compensate, int32_t APenWidth,
                  TPenStyle APenStyle);
    void SetLabel(uint8_t Mode, std::string Text, bool XorDraw);
    // Draws marker and label; false when the point lies outside the axis bounds (nothing drawn).
    bool Draw();

private:
    void DrawMarker(TCanvas& Canvas, TPoint P);
    void DrawLabel(TCanvas& Canvas, TPoint P);
    std::string LabelString() const;
};

class TChartLine {
public:
    explicit TChartLine(TChartPanel* APanel) : Panel(APanel) {}

    TChartPanel* Panel;
    TChartPointVec Points;
    uint8_t MarkerKind = mkNone;
    std::unique_ptr<TBitmap> MarkerBitmap;
    int32_t MarkerSize = 0;
    TPointVec MarkerShape;
    TColor LineColor = 0; // compensated
    TPenStyle PenStyle = psSolid;
    int32_t PenWidth = 1;
    TColor MarkerPenColor = 0;   // compensated
    TColor MarkerBrushColor = 0; // compensated
    TPenStyle MarkerPenStyle = psSolid;
    int32_t MarkerPenWidth = 1;

    TChartPoint* AddPoint(double X, double Y);
    // Pen of the segments; also the pen of every point already in the line.
    void SetPen(TPenStyle Style, int32_t Width);
    // Marker colours and pen given to new points; applied to the points already in the line.
    void SetMarkerStyle(TColor APenColor, TColor ABrushColor, TPenStyle APenStyle,
                        int32_t APenWidth);
    // Draws the points (markers, labels) and the segments between them.
    void Draw();

private:
    void DrawRun(TCanvas& Canvas, const std::vector<TPoint>& Run);
};

class TChartPanel : public TPanel {
public:
    explicit TChartPanel(QWidget* AOwner = nullptr);
    ~TChartPanel() override;
    TChartPanel(const TChartPanel&) = delete;
    TChartPanel& operator=(const TChartPanel&) = delete;

    // --- Published properties -------------------------------------------------------------
    // Height and Width also record the design size (value minus bevel width) for PrepareCanvas.
    void SetHeight(int32_t Value) override;
    void SetWidth(int32_t Value) override;

    TColor AxesColor() const { return FAxesColor; }
    void SetAxesColor(TColor Value);
    TColor GridColor() const { return FGridColor; }
    void SetGridColor(TColor Value); // repaints at once, also at run time
    int32_t LeftMargin() const { return FLeftMargin; }
    void SetLeftMargin(int32_t Value);
    int32_t RightMargin() const { return FRightMargin; }
    void SetRightMargin(int32_t Value);
    int32_t TopMargin() const { return FTopMargin; }
    void SetTopMargin(int32_t Value);
    int32_t BottomMargin() const { return FBottomMargin; }
    void SetBottomMargin(int32_t Value);
    // Public bounds, stored in scale space (a bound <= 0 on a log axis reads back as 0.01).
    double XMin() const;
    void SetXMin(double Value);
    double XMax() const;
    void SetXMax(double Value);
    double YMin() const;
    void SetYMin(double Value);
    double YMax() const;
    void SetYMax(double Value);
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& Value);
    TAlignment TitleAlignment() const { return FTitleAlignment; }
    void SetTitleAlignment(TAlignment Value);
    bool ShowXYPos() const { return FShowXYPos; }
    void SetShowXYPos(bool Value) { FShowXYPos = Value; }
    TXYPosPlace ShowXYPosPlace() const { return FShowXYPosPlace; }
    void SetShowXYPosPlace(TXYPosPlace Value) { FShowXYPosPlace = Value; }
    const std::string& ShowXPosFmt() const { return FShowXPosFmt; }
    void SetShowXPosFmt(const std::string& Value) { FShowXPosFmt = Value; }
    const std::string& ShowYPosFmt() const { return FShowYPosFmt; }
    void SetShowYPosFmt(const std::string& Value) { FShowYPosFmt = Value; }
    bool ShowXScale() const { return FShowXScale; }
    void SetShowXScale(bool Value);
    bool ShowYScale() const { return FShowYScale; }
    void SetShowYScale(bool Value);
    // Font setters copy the attributes into the panel's own font object.
    const TFont& FontLabels() const { return FFontLabels; }
    void SetFontLabels(const TFont& Value);
    const TFont& FontXYPos() const { return FFontXYPos; }
    void SetFontXYPos(const TFont& Value);
    const TFont& ScaleXFont() const { return FScaleXFont; }
    void SetScaleXFont(const TFont& Value);
    const TFont& ScaleYFont() const { return FScaleYFont; }
    void SetScaleYFont(const TFont& Value);
    int32_t ScaleXTicks() const { return FScaleXTicks; }
    void SetScaleXTicks(int32_t Value); // below 2 is stored as 2
    int32_t ScaleYTicks() const { return FScaleYTicks; }
    void SetScaleYTicks(int32_t Value);
    const std::string& ScaleXLabel() const { return FScaleXLabel; }
    void SetScaleXLabel(const std::string& Value);
    const std::string& ScaleYLabel() const { return FScaleYLabel; }
    void SetScaleYLabel(const std::string& Value);
    TAxisType AxisType() const { return FAxisType; }
    void SetAxisType(TAxisType Value);
    // Changing the scale type keeps the public bounds (a bound <= 0 on a new log axis: 0.01).
    TScaleType ScaleType() const { return FScaleType; }
    void SetScaleType(TScaleType Value);

    // --- Operations -----------------------------------------------------------------------
    void Clear();
    TChartLine* AddLine(TColor Color, uint8_t MarkerKind, const TBitmap* Bitmap, int32_t MarkerSize,
                        const TPointVec& MarkerShape);
    // A point owned by the panel itself: drawn before the lines, hit-tested first, rescaled by
    // PrepareCanvas. Colours like a line's default markers: outline and fill in Color.
    TChartPoint* AddFreePoint(double X, double Y, TColor Color, uint8_t MarkerKind, int32_t Size);
    void SetXRange(double Min, double Max);
    void SetYRange(double Min, double Max);
    void SetRanges(double AXMin, double AXMax, double AYMin, double AYMax);
    // Draws the whole chart on the drawing canvas; inside BeginUpdate/EndUpdate it only notes
    // that a drawing is due.
    void Redraw();
    // A batch of changes: setters that redraw at once and explicit Redraw calls draw nothing until
    // the outermost EndUpdate, which then draws once. A hidden panel that draws on its own canvas
    // leaves that drawing to its first paint, which draws the whole chart anyway. Painting always
    // shows the current state, also inside a batch. An EndUpdate without BeginUpdate is ignored.
    // A resize, likewise, draws at once only on a visible panel or on a bound foreign canvas.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }
    double CursorX() const { return FCursorX; }
    double CursorY() const { return FCursorY; }
    // Binds drawing to Canvas with a drawing area of Width x Height; optionally rescales sizes
    // and fonts by the ratio to the design size (an axis whose sizes are not positive: ratio 1).
    void PrepareCanvas(TCanvas& Canvas, int32_t Width, int32_t Height, bool ScaleSizes,
                       bool ScaleFonts);
    TColor Compensate(TColor Color) const { return CompensateColor(Color, FGridColor); }

    // --- Mapping (valid after the layout of the last redraw) ------------------------------
    double XToScale(double X) const { return XMap().ToScale(X); }
    double YToScale(double Y) const { return YMap().ToScale(Y); }
    double XFromScale(double S) const { return XMap().FromScale(S); }
    double YFromScale(double S) const { return YMap().FromScale(S); }
    void UpdateLayout();
    TPoint DataToPixel(double X, double Y) const;
    std::pair<double, double> PixelToData(int32_t x, int32_t y) const;
    bool IsInRange(double X, double Y) const;
    bool InPlotArea(int32_t x, int32_t y) const;
    bool InPlotArea(TPoint P) const { return InPlotArea(P.X, P.Y); }
    TAxisMap XMap() const;
    TAxisMap YMap() const;

    // --- Read-only state ------------------------------------------------------------------
    TCanvas* DrawCanvas() const { return FDrawCanvas; }
    int32_t DrawWidth() const { return FDrawWidth; }
    int32_t DrawHeight() const { return FDrawHeight; }
    int32_t DesignWidth() const { return FDesignWidth; }
    int32_t DesignHeight() const { return FDesignHeight; }
    const TRect& PlotRect() const { return FPlotRect; }
    int32_t PlotWidth() const { return FPlotWidth; }
    int32_t PlotHeight() const { return FPlotHeight; }
    long double XFactor() const { return FXFactor; }
    long double YFactor() const { return FYFactor; }
    double ScaledXMin() const { return FScaledXMin; }
    double ScaledXMax() const { return FScaledXMax; }
    double ScaledYMin() const { return FScaledYMin; }
    double ScaledYMax() const { return FScaledYMax; }
    const TChartLineVec& Lines() const { return FLines; }
    const TChartPointVec& FreePoints() const { return FFreePoints; }
    TChartPoint* HoverPoint() const { return FHoverPoint; }
    TChartPoint* SelectedPoint() const { return FSelectedPoint; }
    TChartLine* HoverLine() const { return FHoverLine; }
    bool Dragging() const { return FDragging; }
    const std::string& XYText() const { return FXYText; }

    // --- Mouse interaction and position read-out ------------------------------------------
    void HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t x, int32_t y) override;
    void HandleMouseMove(TShiftState Shift, int32_t x, int32_t y) override;
    void HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t x, int32_t y) override;
    // Finds the first draggable point within 3 pixels; sets HoverPoint (and HoverLine on a hit).
    bool HitTest(int32_t x, int32_t y);
    std::string FormatCursorText(const std::string& XFormat, const std::string& YFormat) const;
    void UpdateXYReadout();
    void PaintXYBox(bool Blank);

protected:
    void Paint() override;
    void Resize() override;

private:
    friend class TChartLine;
    friend class TChartPoint;

    void DesignRedraw();
    void DrawAll();
    // True while drawing now would be overwritten unseen by the first paint: the panel is hidden
    // and draws on its own canvas.
    bool DrawingLeftToPaint();
    bool XIsLog() const { return FScaleType == stlnXY || FScaleType == stlnXlnY; }
    bool YIsLog() const { return FScaleType == stXlnY || FScaleType == stlnXlnY; }
    void RefreshDrawSize();
    void RescaleSizes(double fx, double fy, double f);

    // Painting, in screen order.
    void DrawChart();
    void FillBackground();
    void DrawXScale();
    void DrawYScale();
    void DrawAxes();
    void DrawTitle();
    void DrawLines();
    void DrawSegment(TPoint P1, TPoint P2, int32_t R1, bool EndAtP2, int32_t R2);
    void DrawXTick(double Value, bool Forced, int32_t LabelTop,
                   std::vector<std::pair<int32_t, int32_t>>& LabelSpans);
    void DrawYTick(double Value, bool Forced, int32_t HalfHeight,
                   std::vector<std::pair<int32_t, int32_t>>& LabelSpans);
    int32_t YLabelX(int32_t TextWidth) const;
    void GridLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

    TCanvas* FDrawCanvas = nullptr;
    int32_t FUpdateCount = 0;
    bool FRedrawHeld = false;
    int32_t FDrawWidth = 0;
    int32_t FDrawHeight = 0;
    std::string FTitle;
    TAlignment FTitleAlignment = taCenter;
    TColor FGridColor = clWhite;
    TColor FAxesColor = clWindowText;
    int32_t FPlotWidth = 0;
    int32_t FPlotHeight = 0;
    TRect FPlotRect{0, 0, 0, 0};
    long double FXFactor = 0;
    long double FYFactor = 0;
    TFont FFontLabels;
    TFont FFontXYPos;
    bool FShowXScale = true;
    TFont FScaleXFont;
    int32_t FScaleXTicks = 6;
    bool FShowYScale = true;
    TFont FScaleYFont;
    int32_t FScaleYTicks = 6;
    TAxisType FAxisType = xtQuad1;
    TScaleType FScaleType = stXY;
    std::string FScaleYLabel;
    std::string FScaleXLabel;
    int32_t FTopMargin = 25;
    int32_t FLeftMargin = 40;
    int32_t FRightMargin = 20;
    int32_t FBottomMargin = 40;
    bool FDragging = false;
    std::unique_ptr<TBitmap> FLabelImage;
    std::unique_ptr<TBitmap> FXYBoxImage;
    double FCursorX = 0;
    double FCursorY = 0;
    bool FShowXYPos = true;
    TXYPosPlace FShowXYPosPlace = ppBottomLeft;
    std::string FShowXPosFmt;
    std::string FShowYPosFmt;
    std::string FXYText;
    int32_t FDesignHeight = 0;
    int32_t FDesignWidth = 0;
    double FScaledXMin = 1.0;
    double FScaledXMax = 10.0;
    double FScaledYMin = 1.0;
    double FScaledYMax = 10.0;
    TChartLineVec FLines;
    TChartPointVec FFreePoints;
    TChartPoint* FHoverPoint = nullptr;
    TChartPoint* FSelectedPoint = nullptr;
    TChartLine* FHoverLine = nullptr;
};
