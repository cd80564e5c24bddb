// Canvas over a QImage: raster operations, geometry, bitmaps and text.
#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"
#include "support/PixelSets.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPalette>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <set>
#include <utility>

namespace {

constexpr uint32_t kRgb = 0x00FFFFFF;

// A background where every pixel differs from its neighbours.
void FillPattern(TCanvas& canvas) {
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            canvas.SetPixel(x, y, TColor((x * 2654435761u) ^ (y * 40503u) ^ 0x5A3C96) & kRgb);
}

QImage Snapshot(const TCanvas& canvas) {
    return canvas.Image().copy();
}

// Pixels that differ between two images.
std::set<std::pair<int, int>> Changed(const QImage& a, const QImage& b) {
    std::set<std::pair<int, int>> result;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & kRgb) != (b.pixel(x, y) & kRgb))
                result.insert({x, y});
    return result;
}

// Drawing operations as the chart issues them.
using TDrawing = std::function<void(TCanvas&)>;

std::vector<std::pair<std::string, TDrawing>> Elements() {
    std::vector<std::pair<std::string, TDrawing>> list;
    list.push_back({"diagonal run", [](TCanvas& c) {
                        c.MoveTo(3, 4);
                        c.LineTo(30, 21);
                        c.LineTo(52, 8);
                        c.LineTo(70, 40);
                    }});
    list.push_back({"horizontal", [](TCanvas& c) {
                        c.MoveTo(-5, 17);
                        c.LineTo(90, 17);
                    }});
    list.push_back({"vertical", [](TCanvas& c) {
                        c.MoveTo(41, 50);
                        c.LineTo(41, 2);
                    }});
    list.push_back({"axes corner", [](TCanvas& c) {
                        c.MoveTo(10, 5);
                        c.LineTo(10, 45);
                        c.LineTo(70, 45);
                    }});
    list.push_back({"crossing lines", [](TCanvas& c) {
                        c.MoveTo(30, 0);
                        c.LineTo(30, 50);
                        c.MoveTo(0, 25);
                        c.LineTo(80, 25);
                    }});
    list.push_back({"polyline", [](TCanvas& c) {
                        const TPoint p[] = {{2, 40}, {20, 3}, {40, 44}, {60, 3}, {60, 30}};
                        c.Polyline(p);
                    }});
    list.push_back({"ellipse", [](TCanvas& c) { c.Ellipse(20, 10, 33, 23); }});
    list.push_back({"rectangle", [](TCanvas& c) { c.Rectangle(44, 12, 57, 25); }});
    list.push_back({"polygon", [](TCanvas& c) {
                        const TPoint p[] = {{10, 30}, {25, 10}, {40, 30}, {18, 20}};
                        c.Polygon(p);
                    }});
    list.push_back({"clipped ellipse", [](TCanvas& c) { c.Ellipse(-10, -10, 12, 12); }});
    return list;
}

// Every element, with every pen mode, width and style, changes the image once and restores it
// bit for bit when drawn again.
void ExpectEachDrawnTwiceRestores(TCanvas& canvas,
                                  const std::vector<std::pair<std::string, TDrawing>>& elements,
                                  std::vector<int> widths, std::vector<TPenStyle> styles) {
    for (TPenMode mode : {pmNotXor, pmXor})
        for (int width : widths)
            for (TPenStyle style : styles)
                for (const auto& [name, draw] : elements) {
                    canvas.Pen.Mode = mode;
                    canvas.Pen.Width = width;
                    canvas.Pen.Style = style;
                    const QImage before = Snapshot(canvas);
                    draw(canvas);
                    canvas.Flush();
                    const QImage once = Snapshot(canvas);
                    draw(canvas);
                    canvas.Flush();
                    SCOPED_TRACE(name + " width " + std::to_string(width) + " style " +
                                 std::to_string(style) + " mode " + std::to_string(mode));
                    EXPECT_FALSE(Changed(before, once).empty());
                    EXPECT_EQ(Snapshot(canvas), before);
                }
}

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        Canvas.SetSize(80, 50);
        FillPattern(Canvas);
        Canvas.Pen.Mode = pmNotXor;
        Canvas.Pen.Color = 0x00336699;
        Canvas.Brush.Color = 0x00C08040;
    }
    TCanvas Canvas;
};

TEST_F(CanvasTest, EveryElementDrawnTwiceRestoresTheImage) {
    const std::vector<TPenStyle> styles = {psSolid,   psDash,       psDot,
                                           psDashDot, psDashDotDot, psInsideFrame};
    ExpectEachDrawnTwiceRestores(Canvas, Elements(), {1, 2, 3, 5, 8}, styles);
}

TEST_F(CanvasTest, RandomElementsDrawnTwiceRestoreTheImage) {
    std::mt19937 random(20261208);
    const auto coordinate = [&random] {
        return std::uniform_int_distribution<int>(0, 9)(random) == 0
                   ? std::uniform_int_distribution<int>(-5000, 5000)(random)
                   : std::uniform_int_distribution<int>(-10, 90)(random);
    };
    const QImage before = Snapshot(Canvas);
    for (int element = 0; element < 300; ++element) {
        Canvas.Pen.Width = std::uniform_int_distribution<int>(0, 9)(random);
        Canvas.Pen.Style = TPenStyle(std::uniform_int_distribution<int>(0, 6)(random));
        Canvas.Pen.Mode = element % 2 ? pmXor : pmNotXor;
        Canvas.Pen.Color = random() & kRgb;
        Canvas.Brush.Color = random() & kRgb;
        const int kind = std::uniform_int_distribution<int>(0, 3)(random);
        std::vector<TPoint> points(std::uniform_int_distribution<size_t>(2, 8)(random));
        for (TPoint& p : points)
            p = {coordinate(), coordinate()};
        const auto draw = [&] {
            if (kind == 0) {
                Canvas.MoveTo(points[0].X, points[0].Y);
                for (size_t i = 1; i < points.size(); ++i)
                    Canvas.LineTo(points[i].X, points[i].Y);
            } else if (kind == 1) {
                Canvas.Polygon(points);
            } else if (kind == 2) {
                Canvas.Ellipse(points[0].X, points[0].Y, points[1].X, points[1].Y);
            } else {
                Canvas.Rectangle(points[0].X, points[0].Y, points[1].X, points[1].Y);
            }
            Canvas.Flush();
        };
        draw();
        draw();
        ASSERT_EQ(Snapshot(Canvas), before) << "element " << element << " kind " << kind;
    }
}

TEST_F(CanvasTest, NotXorGivesInverseOfPenXorPixel) {
    const QImage before = Snapshot(Canvas);
    Canvas.Pen.Width = 3;
    for (const auto& [name, draw] : Elements()) {
        Canvas.Brush.Color = Canvas.Pen.Color; // fill and outline give the same arithmetic
        draw(Canvas);
        Canvas.Flush();
        const QImage after = Snapshot(Canvas);
        const auto changed = Changed(before, after);
        ASSERT_FALSE(changed.empty()) << name;
        for (const auto& [x, y] : changed)
            ASSERT_EQ(after.pixel(x, y) & kRgb,
                      ~(ColorToQRgb(Canvas.Pen.Color) ^ before.pixel(x, y)) & kRgb)
                << name << " at " << x << "," << y;
        for (int y = 0; y < after.height(); ++y)
            ASSERT_EQ(after.pixel(0, y) >> 24, 0xFFu) << "image stays opaque";
        draw(Canvas);
        Canvas.Flush();
    }
}

// Reference: the pixels an element covers when painted plainly on a white surface.
std::set<std::pair<int, int>> Covered(const TDrawing& draw, int width) {
    TCanvas plain;
    plain.SetSize(80, 50);
    plain.Brush.Color = clWhite;
    plain.FillRect(Rect(0, 0, 80, 50));
    const QImage white = Snapshot(plain);
    plain.Pen.Mode = pmCopy;
    plain.Pen.Width = width;
    plain.Pen.Color = clBlack;
    plain.Brush.Color = clBlack;
    draw(plain);
    return Changed(white, Snapshot(plain));
}

TEST_F(CanvasTest, EachElementChangesEveryCoveredPixelOnce) {
    for (int width : {1, 2, 3, 6})
        for (const auto& [name, draw] : Elements()) {
            if (name == "crossing lines")
                continue; // two elements: their shared pixel is hit twice, as on the platform
            TCanvas canvas;
            canvas.SetSize(80, 50);
            canvas.Brush.Color = clWhite;
            canvas.FillRect(Rect(0, 0, 80, 50));
            const QImage white = Snapshot(canvas);
            canvas.Pen.Mode = pmNotXor;
            canvas.Pen.Width = width;
            canvas.Pen.Color = clWhite; // not-xor with white changes nothing ...
            canvas.Brush.Color = clWhite;
            draw(canvas);
            EXPECT_TRUE(Changed(white, Snapshot(canvas)).empty()) << name;
            canvas.Pen.Color = clBlack; // ... with black it inverts each covered pixel once
            canvas.Brush.Color = clBlack;
            draw(canvas);
            EXPECT_EQ(Changed(white, Snapshot(canvas)), Covered(draw, width))
                << name << " width " << width;
        }
}

// The chart's segment drawing: each segment after the first starts up to half a pen width
// after the previous end.
void DrawChartLine(TCanvas& canvas, const std::vector<TPoint>& points, int width,
                   bool devicePixels = false) {
    const auto moveTo = [&](int32_t x, int32_t y) {
        devicePixels ? canvas.DeviceMoveTo(x, y) : canvas.MoveTo(x, y);
    };
    const auto lineTo = [&](int32_t x, int32_t y) {
        devicePixels ? canvas.DeviceLineTo(x, y) : canvas.LineTo(x, y);
    };
    moveTo(points[0].X, points[0].Y);
    lineTo(points[1].X, points[1].Y);
    for (size_t i = 2; i < points.size(); ++i) {
        const TPoint p1 = points[i - 1], p2 = points[i];
        const int dx = p2.X - p1.X, dy = p2.Y - p1.Y;
        const double kx = dy == 0 ? 0 : std::abs(double(dx) / dy);
        const double ky = dx == 0 ? 0 : std::abs(double(dy) / dx);
        const int ax = int(std::sqrt(width * 0.25 * width / (ky * ky + 1)));
        const int ay = int(std::sqrt(width * 0.25 * width / (kx * kx + 1)));
        const int sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
        moveTo(p1.X + sx * ax, p1.Y + sy * ay);
        lineTo(p2.X, p2.Y);
    }
}

TEST_F(CanvasTest, ChartLineRunHasNoGapsAndNoCancelledJoints) {
    const std::vector<TPoint> points = {{2, 45},  {12, 30}, {22, 22}, {32, 17}, {42, 14},
                                        {52, 12}, {62, 11}, {72, 11}, {78, 2}};
    for (int width : {1, 2, 3, 4, 7}) {
        const TDrawing draw = [&](TCanvas& c) { DrawChartLine(c, points, width); };
        TCanvas canvas;
        canvas.SetSize(80, 50);
        canvas.Brush.Color = clWhite;
        canvas.FillRect(Rect(0, 0, 80, 50));
        const QImage white = Snapshot(canvas);
        canvas.Pen = {clBlack, psSolid, width, pmNotXor};
        draw(canvas);
        const auto drawn = Changed(white, Snapshot(canvas));
        EXPECT_EQ(drawn, Covered(draw, width)) << "width " << width;
        EXPECT_TRUE(Connected(drawn)) << "width " << width;
        for (size_t i = 1; width > 1 && i + 1 < points.size(); ++i)
            EXPECT_TRUE(drawn.count({points[i].X, points[i].Y}))
                << "joint " << i << " width " << width;
        draw(canvas);
        EXPECT_EQ(Snapshot(canvas), white);
    }
}

TEST_F(CanvasTest, RunEndsWhenThePenChangesOrOnFlush) {
    const QImage before = Snapshot(Canvas);
    Canvas.Pen.Width = 2;
    // The same line drawn twice as two elements (erase, then draw) cancels completely ...
    Canvas.MoveTo(5, 5);
    Canvas.LineTo(60, 30);
    Canvas.Flush();
    Canvas.MoveTo(5, 5);
    Canvas.LineTo(60, 30);
    EXPECT_EQ(Snapshot(Canvas), before);
    // ... and a pen change between them ends the first element as well.
    Canvas.MoveTo(5, 5);
    Canvas.LineTo(60, 30);
    Canvas.Pen.Color = 0x00123456;
    Canvas.LineTo(70, 40);
    Canvas.Pen.Color = 0x00336699;
    Canvas.MoveTo(5, 5);
    Canvas.LineTo(60, 30);
    Canvas.Pen.Color = 0x00123456;
    Canvas.MoveTo(60, 30);
    Canvas.LineTo(70, 40);
    EXPECT_EQ(Snapshot(Canvas), before);
}

// Qt's own rendering of one raster-op segment, for comparison with the scan-line loop.
QImage QtSegment(const QImage& background, TPoint a, TPoint b, int width, uint32_t rgb) {
    QImage image = background.copy();
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    if (width <= 1) {
        QPen pen(QColor::fromRgb(rgb), 0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawLine(a.X, a.Y, b.X, b.Y);
    } else {
        QPainterPath path;
        path.moveTo(a.X, a.Y);
        path.lineTo(b.X, b.Y);
        const QPen pen(QColor::fromRgb(rgb), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgb(rgb));
        painter.drawPath(QPainterPathStroker(pen).createStroke(path));
    }
    return image;
}

TEST_F(CanvasTest, HorizontalAndVerticalLinesMatchQtBitForBit) {
    const QImage background = Snapshot(Canvas);
    const std::pair<TPoint, TPoint> segments[] = {
        {{3, 7}, {70, 7}},    {{70, 8}, {3, 8}},    {{9, 2}, {9, 47}},    {{10, 47}, {10, 2}},
        {{-20, 0}, {100, 0}}, {{79, -9}, {79, 60}}, {{40, 49}, {41, 49}}, {{5, 20}, {5, 21}}};
    for (int width = 2; width <= 12; ++width)
        for (const auto& [a, b] : segments) {
            Canvas.Pen = {0x00336699, psSolid, width, pmNotXor};
            Canvas.MoveTo(a.X, a.Y);
            Canvas.LineTo(b.X, b.Y);
            EXPECT_EQ(Snapshot(Canvas),
                      QtSegment(background, a, b, width, ColorToQRgb(Canvas.Pen.Color)))
                << "width " << width << " from " << a.X << "," << a.Y;
            Canvas.SetImage(background);
        }
}

TEST(CanvasGeometry, OnePixelLinesCoverTheirStartButNotTheirEnd) {
    TCanvas canvas;
    canvas.SetSize(40, 50);
    canvas.Pen.Mode = pmNotXor;
    const std::pair<TPoint, TPoint> segments[] = {
        {{3, 7}, {30, 7}},   {{30, 9}, {3, 9}},   {{1, 2}, {1, 40}},    {{2, 40}, {2, 2}},
        {{5, 10}, {35, 49}}, {{35, 40}, {5, 11}}, {{10, 10}, {20, 20}}, {{-10, 3}, {50, 33}}};
    for (const auto& [a, b] : segments) {
        canvas.Brush.Color = clWhite;
        canvas.FillRect(Rect(0, 0, 40, 50));
        const QImage white = Snapshot(canvas);
        canvas.Pen.Color = clBlack;
        canvas.MoveTo(a.X, a.Y);
        canvas.LineTo(b.X, b.Y);
        const auto drawn = Changed(white, Snapshot(canvas));
        const size_t steps = std::max(std::abs(b.X - a.X), std::abs(b.Y - a.Y));
        const bool clipped = a.X < 0 || b.X >= 40;
        SCOPED_TRACE(std::to_string(a.X) + "," + std::to_string(a.Y));
        EXPECT_TRUE(clipped || drawn.size() == steps);
        EXPECT_TRUE(clipped || drawn.count({a.X, a.Y}));
        EXPECT_FALSE(drawn.count({b.X, b.Y}));
        EXPECT_TRUE(Connected(drawn));
    }
}

TEST(CanvasGeometry, RectangleAndLinesExcludeRightAndBottomEdges) {
    TCanvas canvas;
    canvas.SetSize(20, 20);
    canvas.Brush.Color = clWhite;
    canvas.FillRect(Rect(0, 0, 20, 20));
    canvas.Pen.Color = clBlack;
    canvas.Brush.Color = clRed;
    canvas.Rectangle(2, 3, 10, 8);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x < 10 && y >= 3 && y < 8;
            const bool border = inside && (x == 2 || x == 9 || y == 3 || y == 7);
            EXPECT_EQ(canvas.Pixel(x, y), border   ? clBlack
                                          : inside ? clRed
                                                   : clWhite)
                << x << "," << y;
        }
    canvas.MoveTo(1, 15);
    canvas.LineTo(8, 15);
    EXPECT_EQ(canvas.Pixel(1, 15), clBlack);
    EXPECT_EQ(canvas.Pixel(7, 15), clBlack);
    EXPECT_EQ(canvas.Pixel(8, 15), clWhite);
    EXPECT_EQ(canvas.PenPos(), (TPoint{8, 15}));
}

TEST(CanvasGeometry, FillRectUsesTheBrushOnlyAndClips) {
    TCanvas canvas;
    canvas.SetSize(10, 10);
    canvas.Pen.Mode = pmNotXor;
    canvas.SetCopyMode(SRCINVERT);
    canvas.Brush.Color = clBlue;
    canvas.FillRect(Rect(-5, -5, 100, 100));
    canvas.Brush.Color = clLime;
    canvas.FillRect(Rect(2, 2, 4, 3));
    EXPECT_EQ(canvas.Pixel(2, 2), clLime);
    EXPECT_EQ(canvas.Pixel(3, 2), clLime);
    EXPECT_EQ(canvas.Pixel(4, 2), clBlue);
    EXPECT_EQ(canvas.Pixel(2, 3), clBlue);
    EXPECT_EQ(canvas.Pixel(9, 9), clBlue);
}

TEST(CanvasGeometry, ExtremeCoordinatesNeitherCrashNorHang) {
    TCanvas canvas;
    canvas.SetSize(30, 30);
    canvas.Pen.Mode = pmNotXor;
    const int32_t big = std::numeric_limits<int32_t>::max();
    const int32_t small = std::numeric_limits<int32_t>::min();
    for (int width : {1, 4}) {
        canvas.Pen.Width = width;
        canvas.MoveTo(small, small);
        canvas.LineTo(big, big);
        canvas.LineTo(small, 15);
        canvas.MoveTo(big, 3);
        canvas.LineTo(small, 3);
        canvas.Ellipse(small, small, big, big);
        canvas.Rectangle(small, 5, big, 9);
        const TPoint polygon[] = {{small, small}, {big, 0}, {0, big}};
        canvas.Polygon(polygon);
    }
    canvas.TextOut(big, big, "far");
    canvas.TextOut(small, small, "far");
    canvas.Font().SetEscapement(900);
    canvas.TextOut(big, small, "far");
    canvas.Font().SetEscapement(0);
    TBitmap bitmap(4, 4);
    canvas.Draw(big - 1, big - 1, bitmap);
    canvas.CopyRect(Rect(small, small, big, big), bitmap.Canvas(), Rect(0, 0, 4, 4));
    canvas.CopyRect(Rect(0, 0, 30, 30), bitmap.Canvas(), Rect(small, small, big, big));
    canvas.CopyRect(Rect(small, small, big, big), canvas, Rect(small, small, big, big));
    canvas.MoveTo(0, 10);
    canvas.LineTo(30, 10);
    EXPECT_NE(canvas.Image().pixel(5, 10), 0u); // still a working canvas
}

TEST(CanvasGeometry, ResizeKeepsOverlapAndFillsNewPixelsWhite) {
    TBitmap bitmap(4, 3);
    bitmap.Canvas().Brush.Color = clRed;
    bitmap.Canvas().FillRect(Rect(0, 0, 4, 3));
    bitmap.SetSize(6, 2);
    EXPECT_EQ(bitmap.Width(), 6);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.Canvas().Pixel(3, 1), clRed);
    EXPECT_EQ(bitmap.Canvas().Pixel(4, 1), clWhite);
    bitmap.SetSize(-3, 5);
    EXPECT_EQ(bitmap.Width(), 0);
    bitmap.Canvas().Rectangle(0, 0, 3, 3); // drawing on an empty bitmap is harmless
    bitmap.Canvas().TextOut(0, 0, "x");
    bitmap.SetSize(2, 2);
    EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
}

TEST(CanvasGeometry, SizesAreFittedToTheCanvasLimits) {
    const struct {
        int32_t Width, Height, FittedWidth, FittedHeight;
    } cases[] = {
        {80, 50, 80, 50},
        {-3, 5, 0, 5},
        {16384, 4096, 16384, 4096}, // exactly MaxCanvasPixels
        {32767, 100, 32767, 100},
        {100000, 10, 32767, 10},
        {10, INT32_MAX, 10, 32767},
        {32767, 32767, 8192, 8192}, // shrunk alike on both sides
        {32767, 4096, 23170, 2896},
        {INT32_MAX, INT32_MAX, 8192, 8192},
        {INT32_MIN, INT32_MAX, 0, 32767},
    };
    for (const auto& c : cases) {
        const TCanvasSize size = FittedCanvasSize(c.Width, c.Height);
        EXPECT_EQ(size.Width, c.FittedWidth) << c.Width << " x " << c.Height;
        EXPECT_EQ(size.Height, c.FittedHeight) << c.Width << " x " << c.Height;
        EXPECT_LE(int64_t{size.Width} * size.Height, MaxCanvasPixels);
    }
    TBitmap huge;
    huge.SetSize(32767, 32767);
    EXPECT_EQ(huge.Width(), 8192);
    EXPECT_EQ(huge.Height(), 8192);
    EXPECT_EQ(huge.Canvas().Pixel(8191, 8191), clWhite);
}

TEST(CanvasGeometry, AFailedAllocationKeepsTheOldImage) {
    TBitmap bitmap(20, 10);
    bitmap.Canvas().Brush.Color = clRed;
    bitmap.Canvas().FillRect(Rect(0, 0, 20, 10));
    SimulateCanvasAllocationFailureAbove(1000);
    EXPECT_THROW(bitmap.SetSize(100, 100), std::bad_alloc);
    bitmap.SetSize(30, 30); // 900 pixels: allowed
    SimulateCanvasAllocationFailureAbove(-1);
    EXPECT_EQ(bitmap.Width(), 30);
    EXPECT_EQ(bitmap.Canvas().Pixel(19, 9), clRed);
    EXPECT_EQ(bitmap.Canvas().Pixel(20, 9), clWhite);
    SimulateCanvasAllocationFailureAbove(0);
    EXPECT_THROW(bitmap.SetSize(40, 40), std::bad_alloc);
    SimulateCanvasAllocationFailureAbove(-1);
    EXPECT_EQ(bitmap.Height(), 30);
    EXPECT_EQ(bitmap.Canvas().Pixel(0, 0), clRed);
}

// --- At device ratios ---------------------------------------------------------------------

// A canvas of 80 x 50 logical pixels at the ratio under test, every device pixel different.
class CanvasRatioTest : public testing::TestWithParam<double> {
protected:
    void SetUp() override {
        Canvas.SetDeviceRatio(GetParam());
        Canvas.SetSize(80, 50);
        QImage pattern(int(D(80)), int(D(50)), QImage::Format_RGB32);
        for (int y = 0; y < pattern.height(); ++y)
            for (int x = 0; x < pattern.width(); ++x)
                pattern.setPixel(x, y, (x * 2654435761u) ^ (y * 40503u) ^ 0x5A3C96);
        pattern.setDevicePixelRatio(GetParam());
        Canvas.SetImage(pattern);
        Canvas.Pen = {0x00336699, psSolid, 1, pmNotXor};
        Canvas.Brush.Color = 0x00C08040;
        Canvas.SetCopyMode(SRCINVERT);
    }
    int64_t D(int64_t x) const { return Canvas.Scale().ToDevice(x); }
    // A white canvas of the same size and ratio.
    void Whiten() {
        Canvas.Brush = {clWhite, bsSolid};
        Canvas.FillRect(Rect(0, 0, 80, 50));
    }
    TCanvas Canvas;
};

TEST_P(CanvasRatioTest, EveryElementDrawnTwiceRestoresTheImage) {
    auto elements = Elements();
    // Labels and markers as the chart draws them: composed in a bitmap and combined by
    // exclusive-or, at the canvas's ratio (pixel for pixel) or at ratio 1 (stretched).
    for (double bitmapRatio : {GetParam(), 1.0})
        elements.push_back(
            {"bitmap at ratio " + std::to_string(bitmapRatio), [bitmapRatio](TCanvas& c) {
                 TBitmap label;
                 label.Canvas().SetDeviceRatio(bitmapRatio);
                 label.Canvas().Font().SetName("Tahoma");
                 label.SetSize(label.Canvas().TextWidth("0.25") + 2, 15);
                 label.Canvas().Brush.Color = clBlack;
                 label.Canvas().FillRect(Rect(0, 0, label.Width(), 15));
                 label.Canvas().Font().SetColor(0x00A0B0C0);
                 label.Canvas().TextOut(1, 1, "0.25");
                 c.Draw(37, 21, label);
             }});
    ExpectEachDrawnTwiceRestores(Canvas, elements, {1, 2, 3}, {psSolid, psDash, psDot});
}

TEST_P(CanvasRatioTest, SegmentsMeetWithoutHolesOrDoubleHits) {
    // A chart's run of segments in device pixels: each segment after the first starts up to half
    // a pen width after the previous end.
    const double ratio = GetParam();
    std::vector<TPoint> points = {{2, 45},  {12, 30}, {22, 22}, {32, 17}, {42, 14},
                                  {52, 12}, {62, 11}, {72, 11}, {78, 2}};
    for (TPoint& p : points)
        p = {int32_t(p.X * ratio), int32_t(p.Y * ratio)};
    for (int width : {1, 2, 3}) {
        // Joints shortened by half the device pen width, none for a 1-pixel pen.
        const int deviceWidth = width <= 1 ? 1 : Canvas.Scale().Width(width);
        const auto draw = [&](TCanvas& c) {
            DrawChartLine(c, points, deviceWidth, true);
            c.Flush();
        };
        Whiten();
        const QImage white = Snapshot(Canvas);
        Canvas.Pen = {clBlack, psSolid, width, pmNotXor};
        draw(Canvas);
        const auto drawn = Changed(white, Snapshot(Canvas));
        Canvas.Pen.Mode = pmCopy; // the same pixels painted plainly: none was cancelled
        draw(Canvas);
        EXPECT_EQ(Changed(white, Snapshot(Canvas)), drawn) << "width " << width;
        EXPECT_TRUE(Connected(drawn)) << "width " << width;
        Whiten();
        Canvas.Pen.Mode = pmNotXor;
        draw(Canvas);
        draw(Canvas);
        EXPECT_EQ(Snapshot(Canvas), white) << "width " << width;
    }
}

// One rule for every element: coordinate x on device pixel floor(x * ratio), widths rounded.
TEST_P(CanvasRatioTest, EveryElementLandsOnTheDevicePixelsOfItsLogicalOnes) {
    const int64_t pen = Canvas.Scale().Width(1);
    const QImage& image = Canvas.Image();
    EXPECT_EQ(image.devicePixelRatio(), GetParam());
    EXPECT_EQ(image.width(), D(80));
    EXPECT_EQ(Canvas.Width(), 80);
    Whiten();
    Canvas.Pen = {clBlack, psSolid, 1, pmNotXor};
    Canvas.Brush.Color = clRed;
    Canvas.FillRect(Rect(3, 4, 10, 9));
    Canvas.MoveTo(5, 20); // flat, rightwards
    Canvas.LineTo(30, 20);
    Canvas.MoveTo(40, 30); // steep, upwards
    Canvas.LineTo(40, 2);
    Canvas.Pen.Width = 3;
    Canvas.MoveTo(50, 40); // wide, square ends
    Canvas.LineTo(70, 40);
    Canvas.Flush();
    const int64_t wide = Canvas.Scale().Width(3);
    const struct {
        TBox Box;
        TColor Colour;
    } expected[] = {
        {{D(3), D(4), D(10), D(9)}, clRed},
        {{D(5), D(20), D(30), D(20) + pen}, clBlack},
        {{D(40), D(2) + 1, D(40) + pen, D(30) + 1}, clBlack},
        {{D(50) - wide / 2, D(40) - wide / 2, D(70) + (wide + 1) / 2, D(40) + (wide + 1) / 2},
         clBlack},
    };
    const QImage& result = Canvas.Image();
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x) {
            TColor colour = clWhite;
            for (const auto& e : expected)
                if (e.Box.Left <= x && x < e.Box.Right && e.Box.Top <= y && y < e.Box.Bottom)
                    colour = e.Colour;
            ASSERT_EQ(QRgbToColor(result.pixel(x, y)), colour) << x << "," << y;
        }
    // A logical pixel is the block of device pixels it covers.
    Canvas.SetPixel(60, 10, clBlue);
    EXPECT_EQ(Canvas.Pixel(60, 10), clBlue);
    EXPECT_EQ(QRgbToColor(Canvas.Image().pixel(int(D(61) - 1), int(D(11) - 1))), clBlue);
    EXPECT_EQ(QRgbToColor(Canvas.Image().pixel(int(D(61)), int(D(11)))), clWhite);
}

TEST_P(CanvasRatioTest, TextIsLaidOutLogicallyAndRasterisedAtDeviceSize) {
    TCanvas plain;
    plain.SetSize(80, 50);
    for (TCanvas* c : {&plain, &Canvas}) {
        c->Font().SetName("Tahoma");
        c->Font().SetHeight(-11);
        c->Brush = {clWhite, bsSolid};
        c->FillRect(Rect(0, 0, 80, 50));
        c->Font().SetColor(clBlack);
        c->TextOut(5, 5, "0.5 Ntu");
    }
    EXPECT_EQ(Canvas.TextWidth("0.5 Ntu"), plain.TextWidth("0.5 Ntu"));
    EXPECT_EQ(Canvas.TextHeight("X"), plain.TextHeight("X"));
    // Rows of ink: as many device rows as the ratio asks for (the font's pixel size scaled), not
    // the logical rows stretched.
    const auto inkRows = [](const QImage& image) {
        int rows = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (QRgbToColor(image.pixel(x, y)) == clBlack) {
                    ++rows;
                    break;
                }
        return rows;
    };
    const int logical = inkRows(plain.Image()), device = inkRows(Canvas.Image());
    EXPECT_NEAR(device, logical * GetParam(), 1.0 + GetParam());
}

INSTANTIATE_TEST_SUITE_P(Ratios, CanvasRatioTest, testing::Values(1.0, 1.5, 2.0),
                         [](const auto& info) {
                             return "Percent" + std::to_string(int(info.param * 100));
                         });

class CopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        Canvas.SetSize(20, 20);
        FillPattern(Canvas);
        Source.SetSize(3, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                Source.Canvas().SetPixel(x, y, TColor(0x102030 * (x + 1) + 0x0F0000 * y));
    }
    TCanvas Canvas;
    TBitmap Source;
};

TEST_F(CopyTest, DrawCombinesByCopyMode) {
    const QImage before = Snapshot(Canvas);
    Canvas.SetCopyMode(SRCINVERT);
    Canvas.Draw(5, 6, Source);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Canvas.Pixel(5 + x, 6 + y),
                      (QRgbToColor(before.pixel(5 + x, 6 + y)) ^ Source.Canvas().Pixel(x, y)));
    EXPECT_EQ(Changed(before, Snapshot(Canvas)).size(), 6u);
    Canvas.Draw(5, 6, Source);
    EXPECT_EQ(Snapshot(Canvas), before);
    Canvas.SetCopyMode(SRCCOPY);
    Canvas.Draw(-1, 18, Source);
    EXPECT_EQ(Canvas.Pixel(0, 18), Source.Canvas().Pixel(1, 0));
    EXPECT_EQ(Canvas.Pixel(1, 19), Source.Canvas().Pixel(2, 1));
    EXPECT_EQ(Changed(before, Snapshot(Canvas)).size(), 4u);
}

TEST_F(CopyTest, CopyRectCombinesByCopyModeAndStretches) {
    const QImage before = Snapshot(Canvas);
    Canvas.SetCopyMode(SRCINVERT);
    Canvas.CopyRect(Rect(2, 2, 4, 4), Source.Canvas(), Rect(1, 0, 3, 2));
    EXPECT_EQ(Canvas.Pixel(3, 3), QRgbToColor(before.pixel(3, 3)) ^ Source.Canvas().Pixel(2, 1));
    Canvas.CopyRect(Rect(2, 2, 4, 4), Source.Canvas(), Rect(1, 0, 3, 2));
    EXPECT_EQ(Snapshot(Canvas), before);
    Canvas.SetCopyMode(SRCCOPY);
    Canvas.CopyRect(Rect(10, 10, 16, 14), Source.Canvas(), Rect(0, 0, 3, 2));
    EXPECT_EQ(Canvas.Pixel(10, 10), Source.Canvas().Pixel(0, 0));
    EXPECT_EQ(Canvas.Pixel(11, 11), Source.Canvas().Pixel(0, 0));
    EXPECT_EQ(Canvas.Pixel(15, 13), Source.Canvas().Pixel(2, 1));
    // Within one canvas the source is read before it is overwritten.
    const TColor origin = Canvas.Pixel(10, 10);
    Canvas.CopyRect(Rect(11, 10, 17, 14), Canvas, Rect(10, 10, 16, 14));
    EXPECT_EQ(Canvas.Pixel(11, 10), origin);
    EXPECT_EQ(Canvas.Pixel(12, 10), origin);
}

TEST_F(CopyTest, OtherRasterOperations) {
    Canvas.Brush.Color = 0x00F0F0F0;
    Canvas.FillRect(Rect(0, 0, 20, 20));
    Canvas.SetCopyMode(SRCAND);
    Canvas.Draw(0, 0, Source);
    EXPECT_EQ(Canvas.Pixel(1, 1), 0x00F0F0F0 & Source.Canvas().Pixel(1, 1));
    Canvas.SetCopyMode(NOTSRCCOPY);
    Canvas.Draw(0, 0, Source);
    EXPECT_EQ(Canvas.Pixel(2, 0), ~Source.Canvas().Pixel(2, 0) & kRgb);
    Canvas.SetCopyMode(PATCOPY);
    Canvas.Draw(0, 0, Source);
    EXPECT_EQ(Canvas.Pixel(0, 0), 0x00F0F0F0u);
}

TEST(CanvasText, TextOutFillsItsCellWithTheBrush) {
    TCanvas canvas;
    canvas.SetSize(120, 40);
    canvas.Brush.Color = clWhite;
    canvas.FillRect(Rect(0, 0, 120, 40));
    canvas.Font().SetName("courier new");
    canvas.Font().SetSize(8);
    canvas.Font().SetColor(clBlack);
    canvas.Brush.Color = clRed;
    canvas.Pen.Mode = pmNotXor; // pen mode and copy mode do not apply to text
    canvas.SetCopyMode(SRCINVERT);
    const int w = canvas.TextWidth("A1.5");
    const int h = canvas.TextHeight("A1.5");
    EXPECT_GT(w, 10);
    EXPECT_GE(h, 11);
    canvas.TextOut(10, 5, "A1.5");
    int text = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool cell = x >= 10 && x < 10 + w && y >= 5 && y < 5 + h;
            const TColor c = canvas.Pixel(x, y);
            if (!cell)
                ASSERT_EQ(c, clWhite) << x << "," << y;
            else if (c != clRed)
                ++text;
        }
    EXPECT_GT(text, 10);
    EXPECT_EQ(canvas.Pixel(10, 5), clRed);
    EXPECT_EQ(canvas.TextWidth(""), 0);
}

TEST(CanvasText, MeasuresAndDrawsWithTheCurrentFont) {
    TCanvas canvas;
    canvas.SetSize(100, 30);
    canvas.Font().SetName("courier new");
    canvas.Font().SetSize(8);
    const int small = canvas.TextWidth("0.25");
    canvas.Font().SetSize(16);
    const int large = canvas.TextWidth("0.25");
    EXPECT_GT(large, small + 10);
    canvas.Font().SetSize(8);
    EXPECT_EQ(canvas.TextWidth("0.25"), small);
    for (TColor color : {clRed, clBlue}) {
        canvas.Brush.Color = clWhite;
        canvas.Font().SetColor(color);
        canvas.TextOut(0, 0, "####");
        int exact = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 100; ++x)
                exact += canvas.Pixel(x, y) == color;
        EXPECT_GT(exact, 10) << "text pixels in the font colour " << color;
    }
}

TEST(CanvasChanges, ReportedOncePerReadOfTheImage) {
    TCanvas canvas;
    canvas.SetSize(10, 10);
    int reports = 0;
    canvas.OnChange = [&reports] { ++reports; };
    canvas.Image();
    canvas.FillRect(Rect(0, 0, 5, 5));
    canvas.MoveTo(0, 0);
    canvas.LineTo(9, 9);
    EXPECT_EQ(reports, 1);
    canvas.Image();
    canvas.SetPixel(1, 1, clRed);
    EXPECT_EQ(reports, 2);
    canvas.TextWidth("measuring changes nothing");
    canvas.Image();
    canvas.TextWidth("measuring changes nothing");
    EXPECT_EQ(reports, 2);
}

TEST(CanvasText, RotatedFontCoversTheTurnedCell) {
    TCanvas canvas;
    canvas.SetSize(60, 120);
    canvas.Brush.Color = clWhite;
    canvas.FillRect(Rect(0, 0, 60, 120));
    canvas.Font().SetName("courier new");
    canvas.Font().SetSize(8);
    const int h = canvas.TextHeight("X");
    TLogFont lf{};
    lf.Height = canvas.TextHeight("X");
    lf.Width = canvas.TextWidth("X");
    lf.Escapement = lf.Orientation = 900;
    lf.Weight = 300;
    lf.PitchAndFamily = 0x31;
    lf.FaceName = canvas.Font().Name();
    const TFont kept = canvas.Font();
    canvas.Font().Assign(CreateFontIndirect(lf));
    EXPECT_EQ(canvas.TextHeight("X"), h);
    const int w = canvas.TextWidth("Effectiveness");
    canvas.Brush.Color = clYellow;
    canvas.TextOut(20, 100, "Effectiveness");
    canvas.Font().Assign(kept);
    EXPECT_EQ(canvas.Font(), kept);
    // Turned counter-clockwise: reads upwards from (20, 100), cell x in [20, 20 + h).
    int left = 1000, right = -1, top = 1000, bottom = -1;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 60; ++x)
            if (canvas.Pixel(x, y) != clWhite) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_EQ(left, 20);
    EXPECT_EQ(right, 20 + h - 1);
    EXPECT_EQ(bottom, 99);
    EXPECT_EQ(top, 100 - w);
}

TEST(Fonts, SizesArePixelsAt96Dpi) {
    TFont font;
    font.SetSize(8);
    EXPECT_EQ(font.Height(), -11);
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.ToQFont().pixelSize(), 11);
    font.SetSize(10);
    EXPECT_EQ(font.Height(), -13);
    font.SetHeight(-16);
    EXPECT_EQ(font.Size(), 12);
    font.SetSize(0);
    EXPECT_GT(font.ToQFont().pixelSize(), 0);
    font.SetSize(std::numeric_limits<int32_t>::max());
    EXPECT_LE(font.ToQFont().pixelSize(), 4096);
    font.SetStyle(fsBold | fsItalic | fsUnderline);
    const QFont qfont = font.ToQFont();
    EXPECT_EQ(qfont.weight(), QFont::Bold);
    EXPECT_TRUE(qfont.italic());
    EXPECT_TRUE(qfont.underline());
    EXPECT_FALSE(qfont.strikeOut());
}

TEST(Fonts, LogFontCarriesItsAttributes) {
    TLogFont lf{};
    lf.Height = 14;
    lf.Escapement = 900;
    lf.Weight = 300;
    lf.Italic = 1;
    lf.StrikeOut = 1;
    lf.PitchAndFamily = 0x31;
    lf.FaceName = "courier new";
    const TFont font = CreateFontIndirect(lf);
    EXPECT_EQ(font.Name(), "courier new");
    EXPECT_EQ(font.Height(), 14);
    EXPECT_EQ(font.Escapement(), 900);
    EXPECT_EQ(font.Style(), fsItalic | fsStrikeOut);
    EXPECT_EQ(font.Pitch(), fpFixed);
    EXPECT_EQ(font.ToQFont().weight(), QFont::Light);
    // A positive height is the cell height.
    TCanvas canvas;
    canvas.SetFont(font);
    EXPECT_NEAR(canvas.TextHeight("X"), 14, 1);
}

// A cell height gives the largest em size whose cell is not taller: compared with every size up
// to twice the cell, for fixed-pitch and proportional faces, at ratios 1 and 1.5 (device cells).
TEST(Fonts, ACellHeightGivesTheLargestSizeWhoseCellFits) {
    const std::pair<const char*, TFontPitch> faces[] = {
        {"Tahoma", fpFixed}, {"courier new", fpDefault}, {"DejaVu Serif", fpVariable}};
    for (const auto& [name, pitch] : faces)
        for (const int cell : {1, 2, 3, 8, 9, 13, 14, 21, 40, 97})
            for (const double ratio : {1.0, 1.5}) {
                SCOPED_TRACE(std::string(name) + " cell " + std::to_string(cell) + " ratio " +
                             std::to_string(ratio));
                TFont font;
                font.SetName(name);
                font.SetPitch(pitch);
                font.SetWeight(300);
                font.SetHeight(cell);
                QFont probe = font.ToQFont(ratio);
                const int deviceCell = int(std::lround(cell * ratio));
                int expected = 1;
                for (int size = 1; size <= 2 * deviceCell + 2; ++size) {
                    probe.setPixelSize(size);
                    if (QFontMetrics(probe).height() <= deviceCell)
                        expected = size;
                }
                EXPECT_EQ(font.ToQFont(ratio).pixelSize(), expected);
            }
}

// The family handed to Qt for a name draws what the name itself draws: the same face, the same
// pixels, upright and italic, proportional and fixed pitch. A name that is not installed becomes
// an installed family; an installed one, and names Qt reads on its own, stay as they are.
TEST(FontFamilies, TheResolvedFamilyDrawsWhatTheNameDraws) {
    enum TExpect { Resolved, Kept, Either };
    const std::pair<TFontFamilyRequest, TExpect> table[] = {
        {{"No Such Family 7"}, Resolved},
        {{"No Such Family 7", true, true}, Resolved},
        {{"MS Sans Serif"}, Either},
        {{"Tahoma"}, Either},
        {{"Tahoma", true}, Either},
        {{"Tahoma", false, true}, Either},
        {{"courier new"}, Either},
        {{"courier new", true}, Either},
        {{"helvetica", true}, Either},
        {{"Sans Serif", true}, Either},
        {{"Serif"}, Either},
        {{"Monospace"}, Either},
        {{"DejaVuSans"}, Either},
        {{"DejaVu Sans"}, Kept},
        {{"dejavu sans", true}, Kept},
        {{"DejaVu Sans Mono", false, true}, Kept},
        {{""}, Kept},
        {{"Tahoma [Wine]"}, Kept},
        {{"Tahoma,Arial"}, Kept},
        {{"Ta\xC3\xA4homa"}, Kept},
    };
    const auto drawn = [](const QString& family, const TFontFamilyRequest& request) {
        QFont font(family);
        font.setPixelSize(13);
        font.setItalic(request.Italic);
        if (request.FixedPitch) {
            font.setFixedPitch(true);
            font.setStyleHint(QFont::TypeWriter);
        }
        QImage image(220, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(2, 18, QStringLiteral("Ntu 0.5 Effectiveness"));
        return std::pair(QFontInfo(font).family(), image);
    };
    for (const auto& [request, expect] : table) {
        SCOPED_TRACE(request.Name + (request.FixedPitch ? " fixed" : "") +
                     (request.Italic ? " italic" : ""));
        const std::string resolved = ResolvedFontFamily(request);
        const QString family = FontFamilyForQt(request);
        EXPECT_EQ(family.toStdString(), resolved);
        const auto byName = drawn(QString::fromStdString(request.Name), request);
        const auto byFamily = drawn(family, request);
        EXPECT_EQ(byFamily.first.toStdString(), byName.first.toStdString());
        EXPECT_TRUE(byFamily.second == byName.second);
        if (expect == Kept) {
            EXPECT_EQ(resolved, request.Name);
        } else if (expect == Resolved) {
            EXPECT_NE(resolved, request.Name);
            EXPECT_TRUE(QFontDatabase::hasFamily(family));
        }
    }
}

TEST(Colors, SystemColoursFollowThePaletteAndPlainColoursPassThrough) {
    const QPalette palette = QGuiApplication::palette();
    EXPECT_EQ(ColorToQRgb(clWindow), palette.color(QPalette::Active, QPalette::Base).rgb());
    EXPECT_EQ(ColorToQRgb(clWindowText), palette.color(QPalette::Active, QPalette::Text).rgb());
    EXPECT_EQ(ColorToQRgb(clBtnFace), palette.color(QPalette::Active, QPalette::Button).rgb());
    EXPECT_EQ(ColorToQRgb(clRed), qRgb(255, 0, 0));
    EXPECT_EQ(ColorToQRgb(0x00EBE2E0), qRgb(0xE0, 0xE2, 0xEB));
    EXPECT_EQ(ColorToRGB(0x12345678), 0x00345678u);
    EXPECT_EQ(ColorToRGB(clSystemColor | 200), clBlack);
    EXPECT_EQ(QRgbToColor(qRgb(1, 2, 3)), 0x00030201u);
}

} // namespace
