#include "platform/gui/Canvas.h"

#include "platform/Exceptions.h"
#include "platform/gui/Bitmap.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF;
constexpr uint32_t kOpaque = 0xFF000000;
// 96 dots per inch, so that point sizes never depend on the screen.
constexpr int kDotsPerMeter = 3780;
// Beyond this distance from the surface, line ends are clipped before Qt sees them: its
// fixed-point rasteriser is not made for coordinates near the 32-bit limits.
constexpr double kCoordinateLimit = 1 << 20;

__extension__ typedef __int128 Int128;

int64_t FloorDiv2(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

// The Qt pixel value a pen or brush paints with for a mode: the colour itself, or its inverse
// for not-xor, because NOT (c XOR pixel) = (NOT c) XOR pixel.
uint32_t ModeValue(TColor color, TPenMode mode) {
    const uint32_t rgb = ColorToQRgb(color) & kRgbMask;
    return (mode == pmNotXor ? ~rgb & kRgbMask : rgb) | kOpaque;
}

// Changes one span of a scan line: copy, or exclusive-or with a mode value.
void ApplySpan(uint32_t* line, int64_t from, int64_t to, uint32_t value, TPenMode mode) {
    if (mode == pmCopy) {
        std::fill(line + from, line + to, value);
        return;
    }
    const uint32_t bits = value & kRgbMask;
    for (int64_t x = from; x < to; ++x)
        line[x] ^= bits;
}

Qt::PenStyle QtStyle(TPenStyle style) {
    switch (style) {
    case psDash:
        return Qt::DashLine;
    case psDot:
        return Qt::DotLine;
    case psDashDot:
        return Qt::DashDotLine;
    case psDashDotDot:
        return Qt::DashDotDotLine;
    case psClear:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

bool IsCosmetic(const TPen& pen) {
    return pen.Width <= 1;
}
bool IsSolid(const TPen& pen) {
    return pen.Style == psSolid || pen.Style == psInsideFrame;
}

// A 1-pixel pen is Qt's cosmetic pen with flat ends (the end pixel of a line is left out); wider
// pens have square ends so that segments whose start lies up to half a pen width after the
// previous end still meet without a gap.
QPen QtPen(const TPen& pen, uint32_t value) {
    if (pen.Style == psClear)
        return QPen(Qt::NoPen);
    QPen result(QColor::fromRgb(value), IsCosmetic(pen) ? 0 : pen.Width, QtStyle(pen.Style),
                IsCosmetic(pen) ? Qt::FlatCap : Qt::SquareCap, Qt::MiterJoin);
    result.setCosmetic(IsCosmetic(pen));
    return result;
}

QPainter::CompositionMode QtMode(TPenMode mode) {
    switch (mode) {
    case pmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    default:
        return QPainter::CompositionMode_Source;
    }
}

// A half-open pixel interval on one scan line.
struct TSpan {
    int64_t From;
    int64_t To;
};

// A pixel rectangle with 64-bit edges, right and bottom excluded.
struct TBox {
    int64_t Left, Top, Right, Bottom;
};

// Liang–Barsky clipping of the segment a–b to the box; false when nothing of it is inside.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& box) {
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(),
                         box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + QPointF(dx * t0, dy * t0);
    b = start + QPointF(dx * t1, dy * t1);
    return true;
}

bool IsLarge(const TPoint& p) {
    return std::abs(double(p.X)) > kCoordinateLimit || std::abs(double(p.Y)) > kCoordinateLimit;
}

// The result of a ternary raster operation on one pixel (pattern, source, destination).
uint32_t Rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t result = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        if (((rop >> i) & 1) == 0)
            continue;
        result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return (result & kRgbMask) | kOpaque;
}

} // namespace

// Consecutive MoveTo/LineTo segments drawn with one pen: one element.
struct TCanvas::TLineRun {
    TPen Pen;
    std::vector<std::vector<TPoint>> Paths;
};

struct TCanvas::TFontCache {
    TFont Key;
    QFont Font;
    QFontMetrics Metrics;
};

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() {
    EndPainter();
}

QPainter& TCanvas::Painter() const {
    if (!FPainter) {
        FPainter = std::make_unique<QPainter>(&FImage);
        FPainter->setRenderHint(QPainter::Antialiasing, false);
        FPainter->setRenderHint(QPainter::TextAntialiasing, true);
    }
    return *FPainter;
}

void TCanvas::EndPainter() const {
    if (FPainter) {
        FPainter->end();
        FPainter.reset();
    }
}

uint32_t* TCanvas::ScanLine(int32_t y) const {
    // Writing to a shared image would detach it under an active painter.
    if (FPainter && !FImage.isDetached())
        EndPainter();
    return reinterpret_cast<uint32_t*>(FImage.scanLine(y));
}

void TCanvas::Changed() const {
    if (FChangeReported)
        return;
    FChangeReported = true;
    if (OnChange)
        OnChange();
}

void TCanvas::SetSize(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == FImage.width() && height == FImage.height() && !FImage.isNull())
        return;
    Flush();
    EndPainter();
    QImage image(width, height, QImage::Format_RGB32);
    if (width > 0 && height > 0 && image.isNull())
        throw std::bad_alloc();
    image.fill(0xFFFFFFFFu);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    const int rows = std::min(height, FImage.height());
    const int columns = std::min(width, FImage.width());
    for (int y = 0; y < rows; ++y)
        std::memcpy(image.scanLine(y), FImage.constScanLine(y), size_t(columns) * 4);
    FImage = std::move(image);
    Changed();
}

const QImage& TCanvas::Image() const {
    Flush();
    EndPainter();
    FChangeReported = false;
    return FImage;
}

void TCanvas::SetImage(const QImage& image) {
    Flush();
    EndPainter();
    FImage = image.convertToFormat(QImage::Format_RGB32);
    FImage.setDotsPerMeterX(kDotsPerMeter);
    FImage.setDotsPerMeterY(kDotsPerMeter);
    Changed();
}

void TCanvas::Flush() const {
    if (!FRun)
        return;
    const std::unique_ptr<TLineRun> run = std::move(FRun);
    DrawRun(*run);
}

TColor TCanvas::Pixel(int32_t x, int32_t y) const {
    Flush();
    if (!FImage.valid(x, y))
        return clBlack;
    return QRgbToColor(reinterpret_cast<const uint32_t*>(FImage.constScanLine(y))[x]);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    Flush();
    if (!FImage.valid(x, y))
        return;
    ScanLine(y)[x] = ColorToQRgb(color);
    Changed();
}

void TCanvas::FillRect(const TRect& rect) {
    Flush();
    if (Brush.Style == bsClear)
        return;
    const int64_t left = std::max<int64_t>(rect.Left, 0);
    const int64_t right = std::min<int64_t>(rect.Right, FImage.width());
    const int64_t top = std::max<int64_t>(rect.Top, 0);
    const int64_t bottom = std::min<int64_t>(rect.Bottom, FImage.height());
    if (left >= right || top >= bottom)
        return;
    const uint32_t value = ColorToQRgb(Brush.Color);
    for (int64_t y = top; y < bottom; ++y)
        ApplySpan(ScanLine(int32_t(y)), left, right, value, pmCopy);
    Changed();
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    if (FRun && (TPoint{x, y} != FPenPos)) {
        // A jump ends the element, except the short step of a segment that starts up to half a
        // pen width after the previous end (wide pens only).
        const int64_t step =
            std::max(std::abs(int64_t(x) - FPenPos.X), std::abs(int64_t(y) - FPenPos.Y));
        if (IsCosmetic(FRun->Pen) || step > FRun->Pen.Width)
            Flush();
    }
    FPenPos = {x, y};
}

void TCanvas::LineTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    const TPoint from = FPenPos;
    FPenPos = {x, y};
    if (from == FPenPos || Pen.Style == psClear || FImage.isNull())
        return;
    if (!FRun) {
        FRun = std::make_unique<TLineRun>();
        FRun->Pen = Pen;
        Changed();
    }
    auto& paths = FRun->Paths;
    if (paths.empty() || paths.back().back() != from)
        paths.push_back({from});
    paths.back().push_back(FPenPos);
}

void TCanvas::Polyline(std::span<const TPoint> points) {
    Flush();
    if (Pen.Style == psClear || FImage.isNull())
        return;
    TLineRun run;
    run.Pen = Pen;
    std::vector<TPoint> path;
    for (const TPoint& p : points)
        if (path.empty() || path.back() != p)
            path.push_back(p);
    if (path.size() < 2)
        return;
    run.Paths.push_back(std::move(path));
    DrawRun(run);
    Changed();
}

// Solid runs that need no stroking are combined in our own loop over the scan lines, so that
// long grid lines and axes stay off Qt's slow raster-op path, and each pixel of the union of the
// segments changes once:
//  - 1-pixel pens follow the platform's rule: a segment covers its start pixel and every pixel up
//    to, not including, its end pixel in the direction of drawing (diagonal ones by Bresenham).
//  - A single horizontal or vertical wide segment covers the pixels whose centres lie inside its
//    square-ended stroke, left/top edge excluded and right/bottom edge included, bit-identical to
//    Qt's stroker.
// Returns false when the run needs Qt's path stroking.
bool TCanvas::DrawRunFast(const TLineRun& run) const {
    if (!IsSolid(run.Pen))
        return false;
    const bool cosmetic = IsCosmetic(run.Pen);
    size_t segments = 0;
    bool axisAligned = true;
    for (const auto& path : run.Paths)
        for (size_t i = 1; i < path.size(); ++i) {
            ++segments;
            axisAligned = axisAligned && (path[i - 1].X == path[i].X || path[i - 1].Y == path[i].Y);
        }
    const uint32_t value = ModeValue(run.Pen.Color, run.Pen.Mode);
    const TPenMode mode = run.Pen.Mode == pmCopy ? pmCopy : pmXor;
    if (cosmetic && !axisAligned) {
        DrawPixels(run, value, mode);
        return true;
    }
    if (!axisAligned || (!cosmetic && segments != 1))
        return false;
    std::vector<TBox> boxes;
    for (const auto& path : run.Paths) {
        for (size_t i = 1; i < path.size(); ++i) {
            const TPoint a = path[i - 1], b = path[i];
            if (cosmetic) {
                TBox box{a.X, a.Y, int64_t(a.X) + 1, int64_t(a.Y) + 1};
                if (b.X > a.X)
                    box.Right = b.X;
                else if (b.X < a.X)
                    box.Left = int64_t(b.X) + 1;
                else if (b.Y > a.Y)
                    box.Bottom = b.Y;
                else
                    box.Top = int64_t(b.Y) + 1;
                boxes.push_back(box);
            } else {
                const int64_t w = run.Pen.Width;
                const auto first = [w](int64_t lo) { return FloorDiv2(2 * lo - w - 1) + 1; };
                const auto last = [w](int64_t hi) { return FloorDiv2(2 * hi + w - 1) + 1; };
                boxes.push_back({first(std::min(a.X, b.X)), first(std::min(a.Y, b.Y)),
                                 last(std::max(a.X, b.X)), last(std::max(a.Y, b.Y))});
            }
        }
    }
    int64_t top = std::numeric_limits<int64_t>::max(), bottom = std::numeric_limits<int64_t>::min();
    for (const TBox& box : boxes) {
        top = std::min(top, box.Top);
        bottom = std::max(bottom, box.Bottom);
    }
    top = std::max<int64_t>(top, 0);
    bottom = std::min<int64_t>(bottom, FImage.height());
    const int64_t width = FImage.width();
    std::vector<TSpan> spans;
    for (int64_t y = top; y < bottom; ++y) {
        spans.clear();
        for (const TBox& box : boxes)
            if (box.Top <= y && y < box.Bottom)
                spans.push_back({std::max<int64_t>(box.Left, 0), std::min(box.Right, width)});
        std::sort(spans.begin(), spans.end(),
                  [](const TSpan& l, const TSpan& r) { return l.From < r.From; });
        uint32_t* line = nullptr;
        int64_t done = 0;
        for (const TSpan& span : spans) {
            const int64_t from = std::max(span.From, done);
            if (from >= span.To)
                continue;
            if (!line)
                line = ScanLine(int32_t(y));
            ApplySpan(line, from, span.To, value, mode);
            done = span.To;
        }
    }
    return true;
}

// 1-pixel segments by Bresenham (start included, end excluded), only the pixels on the surface
// visited, each pixel of the run changed once.
void TCanvas::DrawPixels(const TLineRun& run, uint32_t value, TPenMode mode) const {
    const int64_t width = FImage.width(), height = FImage.height();
    std::vector<uint64_t> pixels; // y << 32 | x
    for (const auto& path : run.Paths)
        for (size_t k = 1; k < path.size(); ++k) {
            const TPoint a = path[k - 1], b = path[k];
            const bool xMajor = std::abs(int64_t(b.X) - a.X) >= std::abs(int64_t(b.Y) - a.Y);
            // Work along the major axis u with the minor axis v.
            const int64_t u0 = xMajor ? a.X : a.Y, v0 = xMajor ? a.Y : a.X;
            const int64_t du = (xMajor ? b.X : b.Y) - u0, dv = (xMajor ? b.Y : b.X) - v0;
            const int64_t su = du < 0 ? -1 : 1, sv = dv < 0 ? -1 : 1;
            const int64_t n = std::abs(du), m = std::abs(dv);
            const int64_t uSize = xMajor ? width : height;
            // Steps i in [0, n) whose u lies on the surface.
            int64_t from = su > 0 ? -u0 : u0 - (uSize - 1);
            int64_t to = su > 0 ? uSize - u0 : u0 + 1;
            from = std::max<int64_t>(from, 0);
            to = std::min(to, n);
            for (int64_t i = from; i < to; ++i) {
                // Nearest minor coordinate, halves rounded away from the start.
                const Int128 offset = (Int128(2) * i * m + n) / (Int128(2) * n);
                const int64_t u = u0 + su * i, v = v0 + sv * int64_t(offset);
                const int64_t x = xMajor ? u : v, y = xMajor ? v : u;
                if (x >= 0 && x < width && y >= 0 && y < height)
                    pixels.push_back(uint64_t(y) << 32 | uint64_t(x));
            }
        }
    std::sort(pixels.begin(), pixels.end());
    pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
    for (const uint64_t p : pixels) {
        uint32_t* line = ScanLine(int32_t(p >> 32));
        ApplySpan(line, int64_t(p & 0xFFFFFFFF), int64_t(p & 0xFFFFFFFF) + 1, value, mode);
    }
}

void TCanvas::DrawRun(const TLineRun& run) const {
    if (FImage.isNull() || DrawRunFast(run))
        return;
    const double margin = std::max(run.Pen.Width, 1) + 4.0;
    const QRectF guard(-margin, -margin, FImage.width() + 2 * margin, FImage.height() + 2 * margin);
    QPainterPath path;
    for (const auto& points : run.Paths) {
        bool open = false;
        for (size_t i = 1; i < points.size(); ++i) {
            QPointF a(points[i - 1].X, points[i - 1].Y), b(points[i].X, points[i].Y);
            if (IsLarge(points[i - 1]) || IsLarge(points[i])) {
                if (!ClipSegment(a, b, guard))
                    continue;
                open = false;
            }
            if (!open)
                path.moveTo(a);
            path.lineTo(b);
            open = true;
        }
    }
    const uint32_t value = ColorToQRgb(run.Pen.Color);
    QPainter& painter = Painter();
    painter.setCompositionMode(QtMode(run.Pen.Mode));
    const QPen pen = QtPen(run.Pen, value);
    if (IsCosmetic(run.Pen)) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    } else {
        // Qt strokes the sub-paths of a wide path one by one, so pixels where they overlap would
        // be hit twice; filling the stroke outline with the winding rule hits each pixel once.
        const QPainterPath outline = QPainterPathStroker(pen).createStroke(path);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgb(value));
        painter.drawPath(outline);
    }
}

// Fill and outline of one figure form one element: under a raster-op pen mode they are
// composed with plain painting in a scratch layer (in inverted colours for not-xor) and the
// layer is combined with the surface once.
void TCanvas::DrawShape(const QRect& bounds, const std::function<void(QPainter&)>& paint) {
    Flush();
    const QRect area = bounds.intersected(FImage.rect());
    if (area.isEmpty())
        return;
    const TPenMode mode = Pen.Mode;
    const QPen pen = QtPen(Pen, ModeValue(Pen.Color, mode));
    const QBrush brush = Brush.Style == bsClear
                             ? QBrush(Qt::NoBrush)
                             : QBrush(QColor::fromRgb(ModeValue(Brush.Color, mode)));
    const auto prepare = [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setPen(pen);
        painter.setBrush(brush);
    };
    if (mode == pmCopy) {
        QPainter& painter = Painter();
        painter.save();
        prepare(painter);
        paint(painter);
        painter.restore();
        Changed();
        return;
    }
    QImage layer(area.size(), QImage::Format_RGB32);
    layer.fill(0u);
    {
        QPainter painter(&layer);
        prepare(painter);
        painter.translate(-area.topLeft());
        paint(painter);
    }
    for (int y = 0; y < area.height(); ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(layer.constScanLine(y));
        uint32_t* line = ScanLine(area.top() + y) + area.left();
        for (int x = 0; x < area.width(); ++x)
            line[x] ^= source[x] & kRgbMask;
    }
    Changed();
}

namespace {

// The bounding box of a figure with room for the pen, clamped to the int range of QRect.
QRect FigureBounds(double left, double top, double right, double bottom, int32_t penWidth) {
    // Mitred corners reach up to twice the pen width (Qt's miter limit) from the outline.
    const double margin = 2.0 * std::max(penWidth, 1) + 2.0;
    const double limit = std::numeric_limits<int>::max() / 2.0;
    const auto clamp = [limit](double v) { return int(std::clamp(v, -limit, limit)); };
    return QRect(QPoint(clamp(left - margin), clamp(top - margin)),
                 QPoint(clamp(right + margin), clamp(bottom + margin)));
}

} // namespace

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double l = std::min(left, right), r = std::max(left, right);
    const double t = std::min(top, bottom), b = std::max(top, bottom);
    DrawShape(FigureBounds(l, t, r, b, Pen.Width),
              [&](QPainter& painter) { painter.drawEllipse(QRectF(l, t, r - l - 1, b - t - 1)); });
}

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double l = std::min(left, right), r = std::max(left, right);
    const double t = std::min(top, bottom), b = std::max(top, bottom);
    DrawShape(FigureBounds(l, t, r, b, Pen.Width), [&](QPainter& painter) {
        const QPen pen = painter.pen();
        painter.setPen(Qt::NoPen);
        painter.drawRect(QRectF(l, t, r - l, b - t));
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(l, t, r - l - 1, b - t - 1));
    });
}

void TCanvas::Polygon(std::span<const TPoint> points) {
    if (points.size() < 2) {
        Flush();
        return;
    }
    QPolygonF polygon;
    double l = points[0].X, r = l, t = points[0].Y, b = t;
    for (const TPoint& p : points) {
        polygon << QPointF(p.X, p.Y);
        l = std::min<double>(l, p.X);
        r = std::max<double>(r, p.X);
        t = std::min<double>(t, p.Y);
        b = std::max<double>(b, p.Y);
    }
    DrawShape(FigureBounds(l, t, r, b, Pen.Width),
              [&](QPainter& painter) { painter.drawPolygon(polygon, Qt::OddEvenFill); });
}

void TCanvas::Draw(int32_t x, int32_t y, const TBitmap& bitmap) {
    const int64_t right = int64_t(x) + bitmap.Width(), bottom = int64_t(y) + bitmap.Height();
    if (right > std::numeric_limits<int32_t>::max() ||
        bottom > std::numeric_limits<int32_t>::max()) {
        Flush();
        return; // entirely beyond the surface
    }
    CopyRect(Rect(x, y, int32_t(right), int32_t(bottom)), bitmap.Canvas(),
             Rect(0, 0, bitmap.Width(), bitmap.Height()));
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect) {
    Flush();
    source.Flush();
    if (dest.IsEmpty() || sourceRect.IsEmpty() || FImage.isNull())
        return;
    // A copy within this canvas reads from a snapshot; the first write detaches the surface.
    QImage snapshot;
    if (&source == this) {
        EndPainter();
        snapshot = FImage;
    }
    const QImage& from = &source == this ? snapshot : source.FImage;
    const int64_t dw = dest.Width(), dh = dest.Height();
    const int64_t sw = sourceRect.Width(), sh = sourceRect.Height();
    const int64_t left = std::max<int64_t>(dest.Left, 0);
    const int64_t right = std::min<int64_t>(dest.Right, FImage.width());
    const int64_t top = std::max<int64_t>(dest.Top, 0);
    const int64_t bottom = std::min<int64_t>(dest.Bottom, FImage.height());
    if (left >= right || top >= bottom)
        return;
    // Nearest source pixel of each destination column; -1 outside the source image.
    std::vector<int32_t> columns(size_t(right - left));
    for (int64_t x = left; x < right; ++x) {
        const int64_t sx = sourceRect.Left + (x - dest.Left) * sw / dw;
        columns[size_t(x - left)] = (sx >= 0 && sx < from.width()) ? int32_t(sx) : -1;
    }
    const uint32_t rop = (FCopyMode >> 16) & 0xFF;
    const uint32_t pattern = ColorToQRgb(Brush.Color);
    for (int64_t y = top; y < bottom; ++y) {
        const int64_t sy = sourceRect.Top + (y - dest.Top) * sh / dh;
        if (sy < 0 || sy >= from.height())
            continue;
        const auto* src = reinterpret_cast<const uint32_t*>(from.constScanLine(int(sy)));
        uint32_t* line = ScanLine(int32_t(y));
        for (int64_t x = left; x < right; ++x) {
            const int32_t sx = columns[size_t(x - left)];
            if (sx < 0)
                continue;
            uint32_t& d = line[x];
            if (rop == 0xCC)
                d = src[sx] | kOpaque;
            else if (rop == 0x66)
                d ^= src[sx] & kRgbMask;
            else
                d = Rop3(rop, pattern, src[sx], d);
        }
    }
    Changed();
}

void TCanvas::PaintWith(const std::function<void(QPainter&)>& paint) {
    Flush();
    if (FImage.isNull())
        return;
    QPainter& painter = Painter();
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    paint(painter);
    painter.restore();
    Changed();
}

const TCanvas::TFontCache& TCanvas::Fonts() const {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Exception("Text cannot be measured or drawn without a running GUI application");
    if (!FFontCache || !(FFontCache->Key == FFont)) {
        const QFont font = FFont.ToQFont();
        FFontCache = std::make_unique<TFontCache>(TFontCache{FFont, font, QFontMetrics(font)});
    }
    return *FFontCache;
}

int32_t TCanvas::TextWidth(std::string_view text) const {
    return Fonts().Metrics.horizontalAdvance(
        QString::fromUtf8(text.data(), qsizetype(text.size())));
}

int32_t TCanvas::TextHeight(std::string_view) const {
    return Fonts().Metrics.height();
}

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
    Flush();
    const TFontCache& fonts = Fonts();
    if (FImage.isNull())
        return;
    const QString string = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const int width = fonts.Metrics.horizontalAdvance(string);
    const int height = fonts.Metrics.height();
    QPainter& painter = Painter();
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.translate(double(x), double(y));
    if (FFont.Escapement() != 0)
        painter.rotate(-FFont.Escapement() / 10.0);
    if (Brush.Style == bsSolid)
        painter.fillRect(QRect(0, 0, width, height), QColor::fromRgb(ColorToQRgb(Brush.Color)));
    painter.setFont(fonts.Font);
    painter.setPen(QColor::fromRgb(ColorToQRgb(FFont.Color())));
    painter.drawText(QPointF(0, fonts.Metrics.ascent()), string);
    painter.restore();
    Changed();
}
