#pragma once
// What chart items draw with: one context per redraw (or per mouse action), built by the panel
// after its layout. Items draw through it alone and never reach into the panel.
//
// Positions are logical pixels of the drawing area; turning them into the canvas's device pixels is
// the canvas's business, so items stay the same whatever ratio the canvas has. Curves alone map
// data straight to device pixels (the device maps), so that their diagonals are as fine as the
// device allows.

#include "chartpanel/AxisMap.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/Graphics.h"

#include <cstdint>
#include <optional>

class TBitmap;
class TChartPoint;

// An axis map onto device pixels: the origin at its device pixel and the factor times the ratio.
// At ratio 1 it is the map itself.
TAxisMap DeviceMap(const TAxisMap& map, const TDeviceScale& scale);

struct TChartDrawContext {
    TCanvas& Canvas;
    TAxisMap XMap;
    TAxisMap YMap;
    TRect PlotRect;
    TColor GridColor;                 // background of the plot, reference of compensation
    const TChartPoint* SelectedPoint; // drawn in its selection colours
    TBitmap& LabelImage;              // where point labels are composed

    TAxisMap XDeviceMap() const { return DeviceMap(XMap, Canvas.Scale()); }
    TAxisMap YDeviceMap() const { return DeviceMap(YMap, Canvas.Scale()); }
    // The plot rectangle's edges as device pixels.
    TRect DevicePlotRect() const;

    TPoint DataToPixel(double x, double y) const { return {XMap.ToPixel(x), YMap.ToPixel(y)}; }
    // Both axis bounds included; false for NaN.
    bool IsInRange(double x, double y) const { return YMap.Contains(y) && XMap.Contains(x); }
    // All four edges belong to the plot area.
    bool InPlotArea(TPoint p) const {
        return PlotRect.Top <= p.Y && p.Y <= PlotRect.Bottom && PlotRect.Left <= p.X &&
               p.X <= PlotRect.Right;
    }
    // A line from a to b with the canvas's pen, cut to the coordinate limit first.
    void ClippedLine(TPoint a, TPoint b) const;
    // A line from r1/2 pixels after p1 to p2 (endAtP2) or to r2/2 pixels before p2; logical
    // pixels, or with DeviceSegment device pixels throughout.
    void Segment(TPoint p1, TPoint p2, int32_t r1, bool endAtP2, int32_t r2) const;
    void DeviceSegment(TPoint p1, TPoint p2, int32_t r1, bool endAtP2, int32_t r2) const;
    // A length of logical pixels as device pixels: round(length * ratio), the length itself at
    // ratio 1.
    int32_t DeviceLength(int32_t length) const;
};

// Ends of a segment drawn from r1/2 pixels after p1 to p2 (endAtP2) or to r2/2 pixels before p2.
struct TSegmentEnds {
    TPoint From;
    TPoint To;
};
TSegmentEnds SegmentEnds(TPoint p1, TPoint p2, int32_t r1, bool endAtP2, int32_t r2);

// A segment between exact pixels cut to the canvas coordinate limit, its ends as canvas pixels;
// none when nothing of it lies within the limit or an end is not finite.
struct TCanvasSegment {
    TPoint From;
    TPoint To;
    bool FromMoved; // cut back from a far end
    bool ToMoved;
};
std::optional<TCanvasSegment> ClipToCanvas(long double x1, long double y1, long double x2,
                                           long double y2);
