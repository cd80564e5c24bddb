// What Qt draws on a TCanvas, in device pixels: dashed and dotted lines, figures (ellipse,
// rectangle, polygon) with fill and outline as one element, and plain painting.
#include "platform/Clip.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/CanvasPrivate.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <algorithm>
#include <limits>

namespace {

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

// A pen as Qt draws it in device pixels, and how far its outlines move so that a thin pen thicker
// than one device pixel covers the pixels right of and below its logical line, as the raster
// core's thin lines do. A 1-pixel pen is Qt's cosmetic pen with flat ends (the end pixel of a line
// is left out); wider pens have square ends so that segments whose start lies up to half a pen
// width after the previous end still meet without a gap.
struct TQtStroke {
    QPen Pen;
    double Offset = 0;
};

TQtStroke QtStroke(const TPen& pen, uint32_t value, const TDeviceScale& scale) {
    if (pen.Style == psClear)
        return {QPen(Qt::NoPen), 0};
    const int32_t width = scale.Width(pen.Width);
    if (IsThin(pen) && width == 1) {
        QPen result(QColor::fromRgb(value), 0, QtStyle(pen.Style), Qt::FlatCap, Qt::MiterJoin);
        result.setCosmetic(true);
        return {result, 0};
    }
    const Qt::PenCapStyle cap = IsThin(pen) ? Qt::FlatCap : Qt::SquareCap;
    return {QPen(QColor::fromRgb(value), width, QtStyle(pen.Style), cap, Qt::MiterJoin),
            IsThin(pen) ? width / 2.0 : 0.0};
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

bool IsLarge(const TDevicePoint& p) {
    return !WithinCoordinateLimit(p.X) || !WithinCoordinateLimit(p.Y);
}

} // namespace

void TCanvas::DrawRunWithQt(const TLineRun& run) const {
    const TQtStroke stroke = QtStroke(run.Pen, ColorToQRgb(run.Pen.Color), FScale);
    const double margin = std::max(FScale.Width(run.Pen.Width), 1) + 4.0;
    const TClipBox guard{-margin, -margin, FImage.width() + margin, FImage.height() + margin};
    QPainterPath path;
    for (const auto& points : run.Paths) {
        bool open = false;
        for (size_t i = 1; i < points.size(); ++i) {
            QPointF a(points[i - 1].X, points[i - 1].Y), b(points[i].X, points[i].Y);
            // Qt's fixed-point rasteriser is not made for coordinates near the 32-bit limits:
            // far ends are cut back to just outside the surface first.
            if (IsLarge(points[i - 1]) || IsLarge(points[i])) {
                const auto clipped = ClipSegment({a.x(), a.y()}, {b.x(), b.y()}, guard);
                if (!clipped)
                    continue;
                a = QPointF(double(clipped->From.X), double(clipped->From.Y));
                b = QPointF(double(clipped->To.X), double(clipped->To.Y));
                open = false;
            }
            if (!open)
                path.moveTo(a + QPointF(stroke.Offset, stroke.Offset));
            path.lineTo(b + QPointF(stroke.Offset, stroke.Offset));
            open = true;
        }
    }
    const QRect reach = path.boundingRect().toAlignedRect().adjusted(
        -int(margin) - 1, -int(margin) - 1, int(margin) + 1, int(margin) + 1);
    Surface().Settle(Box(reach.intersected(QRect(0, 0, FImage.width(), FImage.height()))));
    QPainter& painter = Painter();
    painter.setCompositionMode(QtMode(run.Pen.Mode));
    if (stroke.Pen.isCosmetic()) {
        painter.setPen(stroke.Pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    } else {
        // Qt strokes the sub-paths of a wide path one by one, so pixels where they overlap would
        // be hit twice; filling the stroke outline with the winding rule hits each pixel once.
        const QPainterPath outline = QPainterPathStroker(stroke.Pen).createStroke(path);
        painter.setPen(Qt::NoPen);
        painter.setBrush(stroke.Pen.color());
        painter.drawPath(outline);
    }
}

// --- Figures --------------------------------------------------------------------------------

// Fill and outline of one figure form one element: under a raster-op pen mode they are
// composed with plain painting in a scratch layer (in inverted colours for not-xor) and the
// layer is combined with the surface once.
void TCanvas::DrawShape(const QRect& bounds, const std::function<void(QPainter&)>& paint) {
    Flush();
    const QRect area = bounds.intersected(QRect(0, 0, FImage.width(), FImage.height()));
    if (area.isEmpty())
        return;
    TRasterSurface& surface = Surface();
    surface.Settle(Box(area));
    const TPenMode mode = Pen.Mode;
    const QPen pen = QtStroke(Pen, CanvasModeValue(Pen.Color, mode), FScale).Pen;
    const QBrush brush = Brush.Style == bsClear
                             ? QBrush(Qt::NoBrush)
                             : QBrush(QColor::fromRgb(CanvasModeValue(Brush.Color, mode)));
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
    const TPixelView& view = surface.View();
    for (int y = 0; y < area.height(); ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(layer.constScanLine(y));
        uint32_t* line = view.Row(area.top() + y) + area.left();
        for (int x = 0; x < area.width(); ++x)
            line[x] ^= source[x] & 0x00FFFFFF;
    }
    Changed();
}

namespace {

// The bounding box of a figure with room for the pen, clamped to the int range of QRect.
QRect FigureBounds(double left, double top, double right, double bottom, int32_t penWidth) {
    // Mitred corners reach up to twice the pen width (Qt's miter limit) from the outline.
    const double margin = 2.0 * std::max(penWidth, 1) + 2.0;
    const double limit = std::numeric_limits<int>::max() / 4.0;
    const auto clamp = [limit](double v) { return int(std::clamp(v, -limit, limit)); };
    return QRect(QPoint(clamp(left - margin), clamp(top - margin)),
                 QPoint(clamp(right + margin), clamp(bottom + margin)));
}

// A figure's box (left, top, right, bottom excluded) in device pixels: the filled area, and the
// rectangle the outline runs along (its last pixels at right - 1 and bottom - 1), moved for a
// thin pen wider than one device pixel.
struct TFigureBox {
    double Left, Top, Right, Bottom; // filled area
    QRectF Outline;
};

TFigureBox FigureBox(const TDeviceScale& scale, int32_t left, int32_t top, int32_t right,
                     int32_t bottom, double offset) {
    const int64_t l = std::min(left, right), r = std::max(left, right);
    const int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    const double dl = double(scale.ToDevice(l)), dt = double(scale.ToDevice(t));
    const double dr = double(scale.ToDevice(r)), db = double(scale.ToDevice(b));
    const double lastX = double(scale.ToDevice(r - 1)), lastY = double(scale.ToDevice(b - 1));
    return {dl, dt, dr, db, QRectF(dl + offset, dt + offset, lastX - dl, lastY - dt)};
}

} // namespace

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double offset = QtStroke(Pen, 0, FScale).Offset;
    const TFigureBox box = FigureBox(FScale, left, top, right, bottom, offset);
    DrawShape(FigureBounds(box.Left, box.Top, box.Right, box.Bottom, FScale.Width(Pen.Width)),
              [&](QPainter& painter) { painter.drawEllipse(box.Outline); });
}

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double offset = QtStroke(Pen, 0, FScale).Offset;
    const TFigureBox box = FigureBox(FScale, left, top, right, bottom, offset);
    DrawShape(FigureBounds(box.Left, box.Top, box.Right, box.Bottom, FScale.Width(Pen.Width)),
              [&](QPainter& painter) {
                  const QPen pen = painter.pen();
                  painter.setPen(Qt::NoPen);
                  painter.drawRect(
                      QRectF(box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top));
                  painter.setPen(pen);
                  painter.setBrush(Qt::NoBrush);
                  painter.drawRect(box.Outline);
              });
}

void TCanvas::Polygon(std::span<const TPoint> points) {
    if (points.size() < 2) {
        Flush();
        return;
    }
    const double offset = QtStroke(Pen, 0, FScale).Offset;
    QPolygonF polygon;
    double l = std::numeric_limits<double>::max(), r = -l, t = l, b = -l;
    for (const TPoint& p : points) {
        const double x = double(FScale.ToDevice(p.X)), y = double(FScale.ToDevice(p.Y));
        polygon << QPointF(x + offset, y + offset);
        l = std::min(l, x);
        r = std::max(r, x);
        t = std::min(t, y);
        b = std::max(b, y);
    }
    DrawShape(FigureBounds(l, t, r + offset, b + offset, FScale.Width(Pen.Width)),
              [&](QPainter& painter) { painter.drawPolygon(polygon, Qt::OddEvenFill); });
}

// --- Qt painting ----------------------------------------------------------------------------

void TCanvas::PaintWith(const std::function<void(QPainter&)>& paint) {
    Settle();
    if (FImage.isNull())
        return;
    QPainter& painter = Painter();
    painter.save();
    painter.scale(FScale.Ratio(), FScale.Ratio());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    paint(painter);
    painter.restore();
    Changed();
}
