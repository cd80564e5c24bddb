#pragma once
// The items a chart draws: TChartLine, a polyline through its points, and TChartPoint, a data
// point with an optional marker and label. Plain objects: the panel owns its lines and free
// points, a line owns its points. Each item draws itself through a TChartDrawContext with
// exclusive-or raster operations, so drawing it a second time with unchanged data removes it.

#include "chartpanel/ChartDrawContext.h"
#include "platform/gui/Bitmap.h"
#include "platform/gui/Graphics.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TChartPanel;
class TChartLine;
class TChartPoint;

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

// The colour that shows as `color` when drawn with the not-xor pen onto a pixel of gridColor.
constexpr TColor CompensateColor(TColor color, TColor gridColor) {
    return color ^ gridColor ^ 0xFFFFFFu;
}

// Marker size of a line drawn with a marker image: the mean of its width and height, rounded to
// nearest with ties to even.
int32_t MarkerSizeOf(const TBitmap& bitmap);

class TChartPoint {
public:
    TChartPoint(TChartPanel* panel, double x, double y) : X(x), Y(y), Panel(panel) {}

    // First what drawing a line reads of every point, so that it shares one cache line: a line
    // of many points is read from memory at each redraw.
    double X;
    double Y;
    int32_t Size = 0;
    uint8_t MarkerKind = mkNone;
    uint8_t LabelMode = lmNone;
    TChartPanel* Panel;
    TColor PenColor = 0;
    TPenStyle PenStyle = psSolid;
    int32_t PenWidth = 1;
    TColor BrushColor = 0;
    TColor SelPenColor = 0;
    TColor SelBrushColor = 0;
    const TBitmap* Bitmap = nullptr; // the owning line's MarkerBitmap, not owned
    TPointVec Shape;
    std::string LabelText;
    bool LabelXor = true;
    bool Draggable = false;

    // Colours are compensated with the panel's GridColor when `compensate` is true, else taken
    // as already compensated. The selection colours follow the new colours.
    void SetStyle(TColor penColor, TColor brushColor, bool compensate, int32_t penWidth,
                  TPenStyle penStyle);
    void SetLabel(uint8_t mode, std::string text, bool xorDraw);
    // Draws marker and label; false when the point lies outside the axis bounds (nothing drawn).
    // The canvas's pen, brush and copy mode are as before afterwards. Without a context: the
    // panel's context of its last layout.
    bool Draw();
    bool Draw(const TChartDrawContext& context) const;
};

class TChartLine {
public:
    explicit TChartLine(TChartPanel* panel) : Panel(panel) {}

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

    TChartPoint* AddPoint(double x, double y);
    // Pen of the segments; also the pen of every point already in the line.
    void SetPen(TPenStyle style, int32_t width);
    // Marker colours and pen given to new points; applied to the points already in the line.
    void SetMarkerStyle(TColor penColor, TColor brushColor, TPenStyle penStyle, int32_t penWidth);
    // Draws the points (markers, labels) and the segments between them; the canvas's pen, brush
    // and copy mode are as before afterwards. Without a context: as TChartPoint::Draw.
    void Draw();
    void Draw(const TChartDrawContext& context) const;
};
