#include "chartpanel/ChartDrawContext.h"

#include "platform/Clip.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t Sign(int64_t value) {
    return (value > 0) - (value < 0);
}

int32_t SaturateInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// trunc(sqrt(r * 0.25 * r / (k^2 + 1))): the shortening along one axis for a radius r/2.
int64_t Shortening(int32_t r, double k) {
    if (r == 0)
        return 0;
    // k is finite or +inf, so the value lies in [0, |r| / 2]: the conversion is exact and safe.
    const double value = std::sqrt(static_cast<double>(r) * 0.25 * r / (k * k + 1));
    return static_cast<int64_t>(value);
}

TPoint ToCanvasPixel(const TClipPoint& p) {
    // Within the limit after clipping up to rounding; the clamp makes the conversion safe.
    auto coordinate = [](long double v) {
        return static_cast<int32_t>(std::clamp<long double>(v, -CoordinateLimit, CoordinateLimit));
    };
    return TPoint{coordinate(p.X), coordinate(p.Y)};
}

} // namespace

TSegmentEnds SegmentEnds(TPoint p1, TPoint p2, int32_t r1, bool endAtP2, int32_t r2) {
    const int64_t dx = int64_t{p2.X} - p1.X, dy = int64_t{p2.Y} - p1.Y;
    const int32_t sx = Sign(dx), sy = Sign(dy);
    const double adx = std::fabs(static_cast<double>(dx)), ady = std::fabs(static_cast<double>(dy));
    const double kx = dy == 0 ? 0 : adx / ady;
    const double ky = dx == 0 ? 0 : ady / adx;
    TSegmentEnds result;
    result.From = {SaturateInt32(p1.X + sx * Shortening(r1, ky)),
                   SaturateInt32(p1.Y + sy * Shortening(r1, kx))};
    if (endAtP2)
        result.To = p2;
    else
        result.To = {SaturateInt32(p2.X - sx * Shortening(r2, ky)),
                     SaturateInt32(p2.Y - sy * Shortening(r2, kx))};
    return result;
}

std::optional<TCanvasSegment> ClipToCanvas(long double x1, long double y1, long double x2,
                                           long double y2) {
    constexpr long double limit = CoordinateLimit;
    const auto clipped = ClipSegment({x1, y1}, {x2, y2}, TClipBox{-limit, -limit, limit, limit});
    if (!clipped)
        return std::nullopt;
    return TCanvasSegment{ToCanvasPixel(clipped->From), ToCanvasPixel(clipped->To),
                          clipped->FromMoved, clipped->ToMoved};
}

void TChartDrawContext::ClippedLine(TPoint a, TPoint b) const {
    if (const auto segment = ClipToCanvas(a.X, a.Y, b.X, b.Y)) {
        Canvas.MoveTo(segment->From.X, segment->From.Y);
        Canvas.LineTo(segment->To.X, segment->To.Y);
    }
}

void TChartDrawContext::Segment(TPoint p1, TPoint p2, int32_t r1, bool endAtP2, int32_t r2) const {
    const TSegmentEnds ends = SegmentEnds(p1, p2, r1, endAtP2, r2);
    Canvas.MoveTo(ends.From.X, ends.From.Y);
    Canvas.LineTo(ends.To.X, ends.To.Y);
}

void TChartDrawContext::DeviceSegment(TPoint p1, TPoint p2, int32_t r1, bool endAtP2,
                                      int32_t r2) const {
    const TSegmentEnds ends = SegmentEnds(p1, p2, r1, endAtP2, r2);
    Canvas.DeviceMoveTo(ends.From.X, ends.From.Y);
    Canvas.DeviceLineTo(ends.To.X, ends.To.Y);
}

int32_t TChartDrawContext::DeviceLength(int32_t length) const {
    const TDeviceScale& scale = Canvas.Scale();
    if (scale.IsUnit())
        return length;
    return static_cast<int32_t>(std::clamp(std::round(length * scale.Ratio()),
                                           static_cast<double>(INT32_MIN),
                                           static_cast<double>(INT32_MAX)));
}

TAxisMap DeviceMap(const TAxisMap& map, const TDeviceScale& scale) {
    if (scale.IsUnit())
        return map;
    TAxisMap device = map;
    device.Origin = static_cast<int32_t>(
        std::clamp<int64_t>(scale.ToDevice(map.Origin), -PixelLimit, PixelLimit));
    device.Factor = map.Factor * static_cast<long double>(scale.Ratio());
    return device;
}

TRect TChartDrawContext::DevicePlotRect() const {
    const TDeviceScale& scale = Canvas.Scale();
    const auto device = [&scale](int32_t v) {
        return static_cast<int32_t>(
            std::clamp<int64_t>(scale.ToDevice(v), -PixelLimit, PixelLimit));
    };
    return TRect{device(PlotRect.Left), device(PlotRect.Top), device(PlotRect.Right),
                 device(PlotRect.Bottom)};
}
