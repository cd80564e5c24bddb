// Painting of the chart: exclusive-or reversibility of every element kind, positions of axes,
// title, grid lines and labels, PrepareCanvas rescaling, rotated text, bad input. Also renders
// the main window's chart to PNG files in the build folder for a look by eye.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelScales.h"
#include "support/PixelSets.h"

#include <QImage>
#include <QString>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <utility>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Counter-flow effectiveness, enough for realistic curves without the relations library.
double CounterFlow(double Cr, double Ntu) {
    if (Cr >= 1)
        return Ntu / (1 + Ntu);
    const double E = std::exp(-Ntu * (1 - Cr));
    return (1 - E) / (1 - Cr * E);
}

TFont Tahoma() {
    TFont Font;
    Font.SetName("Tahoma");
    Font.SetHeight(-11);
    return Font;
}

// The chart as the main window sets it up, with a drawing area of Width x Height.
void SetUpLikeMainWindow(TChartPanel& Chart, int32_t Width, int32_t Height) {
    Chart.SetWidth(Width + Chart.BevelWidth());
    Chart.SetHeight(Height + Chart.BevelWidth());
    Chart.SetLeftMargin(55);
    Chart.SetRightMargin(20);
    Chart.SetTopMargin(25);
    Chart.SetBottomMargin(40);
    Chart.SetScaleXFont(Tahoma());
    Chart.SetScaleYFont(Tahoma());
    Chart.SetScaleYTicks(11);
    Chart.SetScaleXLabel("Ntu = UoAo / Cmin");
    Chart.SetScaleYLabel("Effectiveness");
    const TColor Colours[5] = {0x008000, 0x00A040, 0x0090C0, 0x0070F0, 0x0045FF};
    Chart.Clear();
    for (int i = 0; i <= 4; ++i) {
        TChartLine* Line = Chart.AddLine(Colours[i], 0, nullptr, 3, {});
        Line->SetPen(psSolid, 2);
        for (int j = 0; j <= 25; ++j)
            Line->AddPoint(j / 5.0, CounterFlow(i / 4.0, j / 5.0));
    }
    Chart.SetScaleXTicks(12);
    Chart.SetRanges(0, 5.5, 0, 1);
    Chart.Repaint();
}

// A plain chart whose plot is (40, 25, 345, 211): drawing area 365 x 251, default margins.
class ChartPaint : public testing::Test {
protected:
    void SetUp() override {
        Chart.SetWidth(366);
        Chart.SetHeight(252);
        Chart.Repaint();
        ASSERT_EQ(Chart.DrawWidth(), 365);
        ASSERT_EQ(Chart.PlotRect(), Rect(40, 25, 345, 211));
    }
    QImage Snapshot() { return Chart.Canvas().Image().copy(); }
    TColor Pixel(int32_t x, int32_t y) { return Chart.Canvas().Pixel(x, y); }
    // Draws an element twice: it must show once and vanish again bit for bit.
    template <typename Draw> void ExpectXorReversible(Draw&& DrawIt) {
        const QImage Before = Snapshot();
        DrawIt();
        Chart.Canvas().Flush();
        EXPECT_FALSE(Chart.Canvas().Image() == Before) << "the element drew nothing";
        DrawIt();
        Chart.Canvas().Flush();
        EXPECT_TRUE(Chart.Canvas().Image() == Before) << "the second drawing did not erase";
    }

    TChartPanel Chart;
};

TEST_F(ChartPaint, EveryElementKindErasesByDrawingAgain) {
    Chart.SetRanges(0, 10, 0, 10);
    Chart.Redraw();
    TBitmap Marker(7, 5);
    Marker.Canvas().Brush.Color = clWhite;
    Marker.Canvas().FillRect(Rect(0, 0, 7, 5));
    Marker.Canvas().SetPixel(3, 2, clRed);
    const TPointVec Triangle{{-6, 4}, {0, -6}, {6, 4}};
    for (uint8_t Kind : {mkNone, mkBitmap, mkCircle, mkSquare, mkPolygon, mkCrossHair}) {
        TChartLine* Line = Chart.AddLine(0x2060C0, Kind, &Marker, 9, Triangle);
        Line->SetPen(psSolid, 2);
        for (int i = 0; i < 5; ++i)
            Line->AddPoint(1 + 2 * i, 1 + i * 1.7);
        SCOPED_TRACE(int(Kind));
        ExpectXorReversible([&] { Line->Draw(); });
        if (Kind != mkNone) // an unmarked point without a label has nothing to draw
            ExpectXorReversible([&] { Line->Points[2]->Draw(); });
    }
    for (int32_t Width : {1, 2, 3, 5}) {
        for (TPenStyle Style : {psSolid, psDash, psDot}) {
            TChartLine* Line = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
            Line->SetPen(Style, Width);
            for (int i = 0; i < 6; ++i)
                Line->AddPoint(i * 1.9, 9 - i * i * 0.3);
            SCOPED_TRACE(Width);
            ExpectXorReversible([&] { Line->Draw(); });
        }
    }
}

TEST_F(ChartPaint, LabelsXorAndOpaque) {
    Chart.SetRanges(0, 10, 0, 10);
    Chart.Redraw();
    TChartLine* Line = Chart.AddLine(clBlue, mkCircle, nullptr, 5, {});
    TChartPoint* Coordinates = Line->AddPoint(3, 4);
    Coordinates->SetLabel(lmCoordinates, "", true);
    TChartPoint* Text = Line->AddPoint(6, 7);
    Text->SetLabel(lmText, "peak", true);
    ExpectXorReversible([&] { Coordinates->Draw(); });
    ExpectXorReversible([&] { Text->Draw(); });
    ExpectXorReversible([&] { Line->Draw(); });

    // An opaque label covers its rectangle with GridColor: drawing it again changes nothing.
    Text->SetLabel(lmText, "peak", false);
    Text->MarkerKind = mkNone;
    const QImage Before = Snapshot();
    Text->Draw();
    const QImage Once = Snapshot();
    EXPECT_FALSE(Once == Before);
    Text->Draw();
    EXPECT_TRUE(Chart.Canvas().Image() == Once);
    EXPECT_EQ(Chart.Canvas().CopyMode(), SRCINVERT);
}

TEST_F(ChartPaint, PointsOutsideTheBoundsDrawNothing) {
    Chart.SetRanges(0, 10, 0, 10);
    Chart.Redraw();
    TChartLine* Line = Chart.AddLine(clBlue, mkSquare, nullptr, 9, {});
    const QImage Before = Snapshot();
    for (TChartPoint* P : {Line->AddPoint(-1, 5), Line->AddPoint(5, 10.5), Line->AddPoint(NaN, 5),
                           Line->AddPoint(5, Inf)}) {
        P->SetLabel(lmText, "x", true);
        EXPECT_FALSE(P->Draw());
    }
    EXPECT_TRUE(Chart.Canvas().Image() == Before);
    EXPECT_TRUE(Line->AddPoint(10, 10)->Draw()); // both ends belong to the range
}

TEST_F(ChartPaint, UnmarkedLineShowsItsColourWithoutHolesAtJoints) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetAxisType(xtNone);
    Chart.SetRanges(0, 305, 0, 186); // one data unit per pixel
    Chart.Redraw();
    TChartLine* Line = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
    Line->AddPoint(10, 100); // pixel (50, 111)
    Line->AddPoint(60, 100); // (100, 111): a joint
    Line->AddPoint(60, 150); // (100, 61): a corner
    Line->AddPoint(120, 150);
    Line->Draw();
    for (int32_t x = 50; x < 100; ++x)
        EXPECT_EQ(Pixel(x, 111), clRed) << x;
    for (int32_t y = 62; y <= 111; ++y)
        EXPECT_EQ(Pixel(100, y), clRed) << y;
    EXPECT_EQ(Pixel(130, 61), clRed);
    EXPECT_EQ(Pixel(30, 111), clWhite);
}

TEST_F(ChartPaint, SegmentsNeedOneEndInThePlot) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetAxisType(xtNone);
    Chart.SetRanges(0, 305, 0, 186);
    Chart.Redraw();
    // Both ends outside (left of and below the plot): nothing at all.
    TChartLine* Outside = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
    Outside->AddPoint(-30, -10);
    Outside->AddPoint(-10, -30);
    const QImage Before = Snapshot();
    Outside->Draw();
    EXPECT_TRUE(Chart.Canvas().Image() == Before);
    // One end on the edge of the plot counts as inside; the segment is drawn whole.
    TChartLine* Edge = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
    Edge->AddPoint(0, 50);   // (40, 161): on the left edge
    Edge->AddPoint(-20, 50); // (20, 161): outside
    Edge->Draw();
    EXPECT_EQ(Pixel(30, 161), clRed);
}

TEST_F(ChartPaint, FarPointsDoNotWrapIntoView) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetAxisType(xtNone);
    Chart.SetRanges(0, 305, 0, 186);
    Chart.Redraw();
    for (double FarX : {4294967296.0 + 60, 1e30, Inf, NaN}) {
        TChartLine* Line = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
        Line->AddPoint(100, 100); // (140, 111)
        Line->AddPoint(FarX, 100);
        const QImage Before = Snapshot();
        Line->Draw();
        SCOPED_TRACE(FarX);
        // Wrapping to the low 32 bits would put the far end at x = 100: left of the start.
        EXPECT_EQ(Pixel(120, 111), clWhite);
        if (std::isfinite(FarX)) {
            EXPECT_EQ(Pixel(200, 111), clRed);
            EXPECT_EQ(Pixel(364, 111), clRed);
        } else {
            EXPECT_TRUE(Chart.Canvas().Image() == Before); // no direction: a gap
        }
        Line->Draw();
        EXPECT_TRUE(Chart.Canvas().Image() == Before);
    }
}

TEST_F(ChartPaint, AxesOfEveryAxisType) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetAxesColor(clRed); // not-xor on the white plot shows the colour itself
    Chart.SetAxisType(xtCent0);
    Chart.Redraw();
    EXPECT_EQ(Pixel(192, 100), clRed); // 40 + 305 div 2
    EXPECT_EQ(Pixel(100, 118), clRed); // 25 + 186 div 2
    EXPECT_EQ(Pixel(191, 100), clWhite);
    EXPECT_EQ(Pixel(100, 117), clWhite);

    Chart.SetAxisType(xtQuad1);
    Chart.Redraw();
    EXPECT_EQ(Pixel(40, 100), clRed);
    EXPECT_EQ(Pixel(100, 211), clRed);
    EXPECT_NE(Pixel(345, 100), clRed);

    Chart.SetAxisType(xtQuad2);
    Chart.Redraw();
    EXPECT_EQ(Pixel(345, 100), clRed);
    EXPECT_EQ(Pixel(100, 211), clRed);
    EXPECT_EQ(Pixel(40, 100), clWhite);

    Chart.SetAxisType(xtNone);
    Chart.Redraw();
    EXPECT_EQ(Pixel(40, 100), clWhite);
    EXPECT_EQ(Pixel(100, 211), Chart.Canvas().Pixel(100, 211));
    EXPECT_NE(Pixel(100, 210), clRed);
}

// Columns of the canvas whose pixels in row y differ from the background colour.
std::vector<int32_t> InkColumns(const TCanvas& Canvas, int32_t y0, int32_t y1, TColor Background) {
    std::vector<int32_t> Columns;
    for (int32_t x = 0; x < Canvas.Width(); ++x)
        for (int32_t y = y0; y < y1; ++y)
            if (Canvas.Pixel(x, y) != Background) {
                Columns.push_back(x);
                break;
            }
    return Columns;
}

TEST_F(ChartPaint, TitlePlacement) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetTitle("Heat exchanger");
    const TColor Background = ColorToRGB(Chart.Color());
    const int32_t TextW = Chart.Canvas().TextWidth("Heat exchanger");

    Chart.SetTitleAlignment(taRightJustify);
    Chart.Redraw();
    auto Ink = InkColumns(Chart.Canvas(), 5, 20, Background);
    ASSERT_FALSE(Ink.empty());
    EXPECT_GE(Ink.front(), 365 - TextW - 5);
    EXPECT_LE(Ink.back(), 365 - 5);

    Chart.SetTitleAlignment(taLeftJustify);
    Chart.Redraw();
    Ink = InkColumns(Chart.Canvas(), 5, 20, Background);
    ASSERT_FALSE(Ink.empty());
    EXPECT_GE(Ink.front(), 5);
    EXPECT_LE(Ink.front(), 7);

    Chart.SetTitleAlignment(taCenter);
    Chart.Redraw();
    Ink = InkColumns(Chart.Canvas(), 5, 20, Background);
    ASSERT_FALSE(Ink.empty());
    EXPECT_GE(Ink.front(), (365 - TextW) / 2);
    EXPECT_LE(Ink.back(), (365 - TextW) / 2 + TextW);

    // Title rows above y = 5 stay background.
    for (int32_t x = 0; x < 365; ++x)
        EXPECT_EQ(Pixel(x, 3), Background);
}

TEST_F(ChartPaint, LinearGridLinesStandAtTheTickPixels) {
    Chart.SetAxisType(xtNone);
    Chart.SetRanges(0, 1, 0, 1);
    Chart.SetScaleXTicks(6);
    Chart.SetScaleYTicks(11);
    Chart.Redraw();
    const TColor Tick = TickLineColor; // not-xor on white shows the tick colour itself
    // X: step 0.2, 5 steps over 305 pixels: 61 pixels apart.
    for (int32_t x : {40, 101, 162, 223, 284, 345}) {
        EXPECT_EQ(Pixel(x, 30), Tick) << x;
        EXPECT_EQ(Pixel(x + 1, 30), clWhite) << x;
    }
    // Y: step 0.1, 10 steps over 186 pixels, counted from the top.
    for (int32_t i = 0; i <= 10; ++i) {
        const int32_t y = 25 + static_cast<int32_t>(std::nearbyint((10 - i) * 18.6));
        EXPECT_EQ(Pixel(60, y), Tick) << y;
        EXPECT_NE(Pixel(60, y + 1), Tick) << y;
    }
    // A crossing of two grid lines inverts twice: back to the grid colour.
    EXPECT_EQ(Pixel(101, 25 + 186 - 93), clWhite);
}

TEST_F(ChartPaint, LogGridLinesAndDroppedLabels) {
    Chart.SetAxisType(xtNone);
    Chart.SetShowYScale(false);
    Chart.SetScaleType(stlnXY);
    Chart.SetRanges(1, 100, 0, 1);
    Chart.Redraw();
    const TLogTicks Ticks = LogTicks(1, 100);
    ASSERT_EQ(Ticks.Major, (std::vector<double>{1, 10, 100}));
    for (const auto* List : {&Ticks.Major, &Ticks.Minor})
        for (double Value : *List) {
            const int32_t x = 40 + static_cast<int32_t>(std::trunc(std::log10(Value) * 152.5L));
            EXPECT_EQ(Pixel(x, 100), TickLineColor) << Value;
        }
    EXPECT_EQ(Chart.DataToPixel(10, 0).X, 192); // the decade halfway
}

// Grid lines that a log scale draws on one axis: the tick pixels it should mark, and how many of
// them show no line in a row (column) of the plot that nothing else crosses.
struct TLostGridLines {
    size_t Ticks = 0;
    size_t Lost = 0;
};
TLostGridLines LostLogGridLines(TChartPanel& chart, bool xAxis, const QImage& plain) {
    const TAxisMap& map = xAxis ? chart.XMap() : chart.YMap();
    const TLogTicks ticks = LogTicks(map.FromScale(map.ScaledMin), map.FromScale(map.ScaledMax));
    std::set<int32_t> pixels;
    for (const auto* list : {&ticks.Major, &ticks.Minor})
        for (double value : *list)
            pixels.insert(map.ToPixel(value));
    const QImage& image = chart.Canvas().Image();
    TLostGridLines result;
    for (int32_t pixel : pixels) {
        const QPoint at = xAxis ? QPoint(pixel, 100) : QPoint(100, pixel);
        ++result.Ticks;
        if (image.pixel(at) == plain.pixel(at))
            ++result.Lost;
    }
    return result;
}

TEST_F(ChartPaint, LogGridLinesThatShareAPixelDoNotCancel) {
    Chart.SetAxisType(xtNone);
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetScaleType(stlnXlnY);
    Chart.Redraw();
    const QImage plain = Snapshot(); // no grid at all
    for (const bool xAxis : {true, false}) {
        Chart.SetShowXScale(xAxis);
        Chart.SetShowYScale(!xAxis);
        // The right (top) end of 1..8 and the decade 10 of 5..15 and 9..11 come out of log10 a
        // last digit away from a tick of the same pixel.
        for (const auto& [min, max] : {std::pair{1.0, 8.0}, {5.0, 15.0}, {9.0, 11.0}}) {
            Chart.SetRanges(min, max, min, max);
            Chart.Redraw();
            EXPECT_EQ(LostLogGridLines(Chart, xAxis, plain).Lost, 0u)
                << (xAxis ? "X " : "Y ") << min << ".." << max;
        }
        // Every axis with whole-number bounds up to 64.
        size_t axes = 0, ticks = 0, lost = 0;
        for (int min = 1; min < 64; ++min)
            for (int max = min + 1; max <= 64; ++max) {
                Chart.SetRanges(min, max, min, max);
                Chart.Redraw();
                const TLostGridLines lines = LostLogGridLines(Chart, xAxis, plain);
                ++axes;
                ticks += lines.Ticks;
                lost += lines.Lost;
            }
        EXPECT_EQ(lost, 0u) << axes << (xAxis ? " X" : " Y") << " axes with " << ticks
                            << " grid lines";
    }
}

TEST_F(ChartPaint, NoScaleForEqualReversedOrUndefinedBounds) {
    Chart.SetAxisType(xtNone);
    Chart.SetScaleXLabel("caption");
    Chart.SetShowYScale(false);
    const TColor Background = ColorToRGB(Chart.Color());
    struct {
        double Min, Max;
    } const Cases[] = {{3, 3}, {5, 1}, {NaN, 1}, {0, Inf}, {-Inf, Inf}};
    for (const auto& C : Cases) {
        Chart.SetXMin(C.Min);
        Chart.SetXMax(C.Max);
        Chart.Redraw();
        SCOPED_TRACE(C.Min);
        for (int32_t x = 41; x < 345; ++x)
            ASSERT_EQ(Pixel(x, 100), clWhite) << x;
        for (int32_t x = 0; x < 365; ++x)
            ASSERT_EQ(Pixel(x, 240), Background) << x; // no labels, no caption
    }
}

TEST_F(ChartPaint, HugeTickCountsDrawNoScale) {
    Chart.SetAxisType(xtNone);
    Chart.SetShowYScale(false);
    Chart.SetRanges(0, 1e9, 0, 1);
    Chart.SetScaleXTicks(INT32_MAX); // billions of ticks: the scale is left out
    Chart.Redraw();
    for (int32_t x = 41; x < 345; ++x)
        ASSERT_EQ(Pixel(x, 100), clWhite) << x;
    Chart.SetScaleXTicks(2000000);
    Chart.SetRanges(0, 1, 0, 1); // step 0.0001: 10,200 ticks, drawn or left out, never hangs
    Chart.Redraw();
}

TEST_F(ChartPaint, TooManyTicksLeaveTheCaptionAndLongAxesTakeOneTickAPixel) {
    Chart.SetAxisType(xtNone);
    Chart.SetScaleXLabel("caption");
    Chart.SetScaleYLabel("caption");
    Chart.SetRanges(0, 1, 0, 1);
    Chart.SetScaleXTicks(2000000); // step 0.0001: 10,200 ticks on 305 pixels
    Chart.SetScaleYTicks(2000000);
    Chart.Redraw();
    const TColor background = ColorToRGB(Chart.Color());
    EXPECT_EQ(Pixel(120, 100), clWhite); // no grid
    // The captions: X centred below the plot, Y turned along the left edge.
    const int32_t h = Chart.Canvas().TextHeight("X") / 2;
    EXPECT_FALSE(InkColumns(Chart.Canvas(), 251 - 2 * h - 3, 251, background).empty());
    bool yCaption = false;
    for (int32_t y = 60; y < 200 && !yCaption; ++y)
        for (int32_t x = 1; x < 1 + 2 * h && !yCaption; ++x)
            yCaption = Pixel(x, y) != background;
    EXPECT_TRUE(yCaption);

    // On an axis of more pixels than MaxScaleTicks, the same ticks are drawn, one per pixel.
    TBitmap wide(20100, 120);
    Chart.PrepareCanvas(wide.Canvas(), 20100, 120, false, false);
    Chart.SetShowYScale(false);
    Chart.Redraw();
    const TLinearTicks ticks = LinearTicks(0, 1, 2000000, Chart.PlotWidth(), TTickAxis::X,
                                           AxisTickLimit(Chart.PlotWidth(), wide.Width()));
    ASSERT_TRUE(ticks.Valid);
    EXPECT_EQ(ticks.Count, 10200);
    int32_t onCanvas = 0, gridLines = 0;
    for (int64_t i = 0; i <= ticks.Count; ++i)
        onCanvas += 40 + std::nearbyint(i * ticks.PixelsPerStep) < wide.Width();
    for (int32_t x = 0; x < wide.Width(); ++x)
        gridLines += wide.Canvas().Pixel(x, 50) == TickLineColor;
    EXPECT_GT(onCanvas, MaxScaleTicks);
    EXPECT_EQ(gridLines, onCanvas);
}

TEST_F(ChartPaint, BadInputRedrawsWithoutFailing) {
    TChartLine* Line = Chart.AddLine(clRed, mkCircle, nullptr, INT32_MAX, {{INT32_MIN, 0}});
    for (double V : {NaN, Inf, -Inf, 1e300, -1e300, 0.0, 5.0})
        Line->AddPoint(V, 5)->SetLabel(lmCoordinates, "", true);
    TChartLine* Poly = Chart.AddLine(clRed, mkPolygon, nullptr, 3,
                                     {{INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {0, 0}});
    Poly->AddPoint(5, 5);
    Chart.AddLine(clRed, 200, nullptr, 3, {})->AddPoint(5, 5); // unknown marker kind
    Chart.AddLine(clRed, mkCrossHair, nullptr, 3, {})->AddPoint(5, 5);
    Chart.AddLine(clRed, mkBitmap, nullptr, 3, {})->AddPoint(5, 5); // bitmap kind without one
    Chart.AddFreePoint(NaN, NaN, clBlue, mkSquare, -7);
    const double Bounds[] = {NaN, Inf, -Inf, 0, 1, -1e308, 1e308, 5e-324};
    for (TScaleType Type : {stXY, stlnXY, stXlnY, stlnXlnY})
        for (double A : Bounds)
            for (double B : Bounds) {
                Chart.SetScaleType(Type);
                Chart.SetRanges(A, B, B, A);
                Chart.Redraw();
            }
    for (int32_t Margin : {INT32_MIN, -1000, 0, 400, INT32_MAX}) {
        Chart.SetRanges(0, 10, 0, 10);
        Chart.SetLeftMargin(Margin);
        Chart.SetBottomMargin(~Margin); // the mirror margin, defined for INT32_MIN too
        Chart.Redraw();
    }
    for (int32_t Size : {0, 1, -5}) {
        Chart.PrepareCanvas(Chart.Canvas(), Size, Size, false, false);
        Chart.Redraw();
    }
    SUCCEED(); // reaching here under the sanitizers is the check
}

TEST_F(ChartPaint, PrepareCanvasRescalesFromTheDesignSize) {
    TChartLine* Line = Chart.AddLine(clRed, mkCircle, nullptr, 5, {});
    Line->SetPen(psSolid, 2);
    Line->AddPoint(2, 2);
    TFont Font = Tahoma();
    Font.SetSize(10);
    Chart.SetScaleXFont(Font);
    Chart.SetFontLabels(Font);
    ASSERT_EQ(Chart.DesignWidth(), 365);
    ASSERT_EQ(Chart.DesignHeight(), 251);

    // The design size with both flags changes nothing but the canvas state.
    TBitmap Same(365, 251);
    Chart.PrepareCanvas(Same.Canvas(), 365, 251, true, true);
    EXPECT_EQ(Chart.DrawCanvas(), &Same.Canvas());
    EXPECT_EQ(Chart.LeftMargin(), 40);
    EXPECT_EQ(Chart.BottomMargin(), 40);
    EXPECT_EQ(Line->PenWidth, 2);
    EXPECT_EQ(Chart.ScaleXFont().Size(), 10);
    EXPECT_EQ(Same.Canvas().Pen.Mode, pmNotXor);
    EXPECT_EQ(Same.Canvas().CopyMode(), SRCINVERT);
    EXPECT_EQ(Same.Canvas().Font().Name(), "courier new");

    // Three times as wide, twice as high: f = 2.5.
    TBitmap Big(1095, 502);
    Chart.PrepareCanvas(Big.Canvas(), 1095, 502, true, true);
    EXPECT_EQ(Chart.DrawWidth(), 1095);
    EXPECT_EQ(Chart.LeftMargin(), 120);
    EXPECT_EQ(Chart.RightMargin(), 60);
    EXPECT_EQ(Chart.TopMargin(), 50);
    EXPECT_EQ(Chart.BottomMargin(), 80);
    EXPECT_EQ(Line->PenWidth, 5);
    EXPECT_EQ(Line->MarkerSize, 12);
    EXPECT_EQ(Line->MarkerPenWidth, 5);
    EXPECT_EQ(Line->Points[0]->Size, 12);
    EXPECT_EQ(Chart.ScaleXFont().Size(), 25);
    EXPECT_EQ(Chart.FontLabels().Size(), 30); // labels follow the width alone
    EXPECT_EQ(Big.Canvas().Font().Size(), 20);
    Chart.Redraw();
    EXPECT_EQ(Chart.PlotRect(), Rect(120, 50, 1035, 422));

    // Shrinking keeps widths and sizes at least 1; fonts may reach 0.
    TBitmap Tiny(36, 25);
    Chart.PrepareCanvas(Tiny.Canvas(), 36, 25, true, true);
    EXPECT_EQ(Line->PenWidth, 1);
    EXPECT_GE(Line->Points[0]->Size, 1);
    Chart.Redraw();
}

TEST_F(ChartPaint, NoElementLeavesItsPenToTheNextRedraw) {
    Chart.SetAxisType(xtNone);
    Chart.SetShowYScale(false);
    TChartPoint* freePoint = Chart.AddFreePoint(5, 5, clRed, mkCircle, 5); // at (175, 129)
    freePoint->PenWidth = 3;
    TChartLine* line = Chart.AddLine(clBlue, mkSquare, nullptr, 5, {});
    line->SetPen(psSolid, 4);
    line->AddPoint(2, 2);
    line->AddPoint(3, 2.5);
    Chart.Redraw();
    Chart.Redraw();
    // X grid lines of 1..10 at 40 + nearest(i * 67.8): 1 pixel wide, as the first time.
    for (int32_t x : {108, 176, 243}) {
        EXPECT_EQ(Pixel(x, 60), TickLineColor) << x;
        EXPECT_EQ(Pixel(x - 1, 60), clWhite) << x;
        EXPECT_EQ(Pixel(x + 1, 60), clWhite) << x;
    }
    const TCanvas& canvas = Chart.Canvas();
    EXPECT_EQ(canvas.Pen.Width, 1);
    EXPECT_EQ(canvas.Pen.Mode, pmNotXor);
    EXPECT_EQ(canvas.CopyMode(), SRCINVERT);
}

// --- At device ratios ---------------------------------------------------------------------

// The chart of ChartPaint drawn into a bitmap of 365 x 251 logical pixels at a device ratio, as a
// window on a high-resolution screen (or an export) draws it.
class ChartAtRatio : public testing::TestWithParam<double> {
protected:
    void SetUp() override {
        Chart.SetWidth(366);
        Chart.SetHeight(252);
        Target.Canvas().SetDeviceRatio(GetParam());
        Target.SetSize(365, 251);
        Chart.PrepareCanvas(Target.Canvas(), 365, 251, false, false);
        Chart.SetRanges(0, 10, 0, 10);
        Chart.Redraw();
    }
    QImage Snapshot() { return Target.Image().copy(); }

    TChartPanel Chart;
    TBitmap Target;
};

TEST_P(ChartAtRatio, EveryElementKindErasesByDrawingAgain) {
    TBitmap marker(7, 5);
    marker.Canvas().Brush.Color = clWhite;
    marker.Canvas().FillRect(Rect(0, 0, 7, 5));
    marker.Canvas().SetPixel(3, 2, clRed);
    const TPointVec triangle{{-6, 4}, {0, -6}, {6, 4}};
    const auto reversible = [this](const std::function<void()>& draw) {
        const QImage before = Snapshot();
        draw();
        Target.Canvas().Flush();
        EXPECT_FALSE(Target.Image() == before) << "the element drew nothing";
        draw();
        Target.Canvas().Flush();
        EXPECT_TRUE(Target.Image() == before) << "the second drawing did not erase";
    };
    for (uint8_t kind : {mkNone, mkBitmap, mkCircle, mkSquare, mkPolygon, mkCrossHair})
        for (int32_t width : {1, 2, 3}) {
            TChartLine* line = Chart.AddLine(0x2060C0, kind, &marker, 9, triangle);
            line->SetPen(width == 3 ? psDash : psSolid, width);
            for (int i = 0; i < 5; ++i)
                line->AddPoint(1 + 2 * i, 1 + i * 1.7);
            line->Points[1]->SetLabel(lmCoordinates, "", true);
            SCOPED_TRACE(std::to_string(kind) + " width " + std::to_string(width));
            reversible([&] { line->Draw(); });
            reversible([&] { line->Points[1]->Draw(); });
        }
}

TEST_P(ChartAtRatio, AnUnmarkedCurveIsOnePieceAcrossItsJoints) {
    Chart.SetShowXScale(false);
    Chart.SetShowYScale(false);
    Chart.SetAxisType(xtNone);
    Chart.Redraw();
    const QImage plain = Snapshot();
    for (int32_t width : {1, 2, 4}) {
        TChartLine* line = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
        line->SetPen(psSolid, width);
        for (int i = 0; i <= 25; ++i)
            line->AddPoint(i * 0.4, 10 * CounterFlow(0.5, i * 0.2));
        line->Draw();
        std::set<std::pair<int, int>> pixels;
        const QImage drawn = Snapshot();
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (drawn.pixel(x, y) != plain.pixel(x, y)) {
                    EXPECT_EQ(QRgbToColor(drawn.pixel(x, y)), clRed) << x << "," << y;
                    pixels.insert({x, y});
                }
        EXPECT_TRUE(Connected(pixels)) << "a hole in the curve, width " << width;
        line->Draw();
        EXPECT_TRUE(Target.Image() == plain) << width;
        Chart.Clear();
    }
}

INSTANTIATE_TEST_SUITE_P(Ratios, ChartAtRatio, testing::Values(1.0, 1.5, 2.0),
                         [](const auto& info) {
                             return "Percent" + std::to_string(int(info.param * 100));
                         });

TEST(ChartAtRatio2, LabelsAndCaptionsAreRasterisedAtDeviceSize) {
    // The main window's chart at ratio 1 and at ratio 2. Were the ratio-2 picture the ratio-1 one
    // scaled up, every aligned 2 x 2 block of it would be one colour; the text in the margin left
    // of the plot (labels and the turned caption) must have finer detail.
    TChartPanel chart;
    SetUpLikeMainWindow(chart, 365, 251);
    TBitmap fine, coarse;
    fine.Canvas().SetDeviceRatio(2);
    fine.SetSize(365, 251);
    coarse.SetSize(365, 251);
    size_t detailed = 0, blocks = 0;
    for (TBitmap* target : {&coarse, &fine}) {
        chart.PrepareCanvas(target->Canvas(), 365, 251, false, false);
        chart.Redraw();
    }
    const QImage& image = fine.Image();
    ASSERT_EQ(image.width(), 730);
    for (int y = 0; y + 1 < 2 * 211; y += 2)
        for (int x = 0; x + 1 < 2 * 50; x += 2) {
            const QRgb p = image.pixel(x, y);
            ++blocks;
            detailed += image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p ||
                        image.pixel(x + 1, y + 1) != p;
        }
    EXPECT_GT(detailed, 100u) << "of " << blocks << " blocks";
    // The labels' glyphs are twice as tall: rows with ink between the caption and the plot.
    const auto inkRows = [&chart](const QImage& picture, int scale) {
        int rows = 0;
        const QRgb background = ColorToQRgb(chart.Color());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 20 * scale; x < 50 * scale; ++x)
                if ((picture.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) {
                    ++rows;
                    break;
                }
        return rows;
    };
    EXPECT_NEAR(inkRows(image, 2), 2 * inkRows(coarse.Image(), 1), 12);
    // The layout is the same: the plot's corners land on the doubled logical corners.
    EXPECT_EQ(QRgbToColor(image.pixel(2 * 55, 2 * 120)),
              QRgbToColor(coarse.Image().pixel(55, 120)));
    EXPECT_EQ(QRgbToColor(image.pixel(2 * 55 - 1, 2 * 120)), ColorToRGB(chart.Color()));
}

TEST(SegmentEnds, ShortenedAlongTheSegment) {
    const struct {
        TPoint P1, P2;
        int32_t R1;
        bool EndAtP2;
        int32_t R2;
        TPoint From, To;
    } cases[] = {
        {{0, 0}, {30, 40}, 10, false, 10, {3, 4}, {27, 36}},
        {{0, 0}, {30, 40}, 10, true, 99, {3, 4}, {30, 40}},
        {{100, 50}, {0, 50}, 4, false, 6, {98, 50}, {3, 50}},
        {{5, 100}, {5, 0}, -4, false, 4, {5, 98}, {5, 2}}, // the sign of R is irrelevant
        {{7, 7}, {7, 7}, 10, false, 10, {7, 7}, {7, 7}},
        {{INT32_MIN, INT32_MAX},
         {INT32_MAX, INT32_MIN},
         2,
         true,
         2,
         {INT32_MIN, INT32_MAX},
         {INT32_MAX, INT32_MIN}},
    };
    for (const auto& c : cases) {
        const TSegmentEnds s = SegmentEnds(c.P1, c.P2, c.R1, c.EndAtP2, c.R2);
        EXPECT_EQ(s.From, c.From) << c.P1.X << "," << c.P1.Y << " R1 " << c.R1;
        EXPECT_EQ(s.To, c.To) << c.P2.X << "," << c.P2.Y << " R2 " << c.R2;
    }
    const TSegmentEnds extreme = SegmentEnds({-PixelLimit, -PixelLimit}, {PixelLimit, PixelLimit},
                                             INT32_MIN, false, INT32_MAX);
    EXPECT_GE(extreme.From.X, -PixelLimit);
    EXPECT_LE(extreme.To.X, PixelLimit);
}

TEST(ChartPrepareCanvas, ZeroDesignSizeKeepsTheSizes) {
    TChartPanel Chart;
    Chart.SetWidth(Chart.BevelWidth());      // design width 0
    Chart.SetHeight(Chart.BevelWidth() - 5); // negative design height
    ASSERT_EQ(Chart.DesignWidth(), 0);
    TBitmap Target(400, 300);
    Chart.PrepareCanvas(Target.Canvas(), 400, 300, true, true);
    EXPECT_EQ(Chart.LeftMargin(), 40);
    EXPECT_EQ(Chart.TopMargin(), 25);
    EXPECT_EQ(Chart.ScaleXFont().Size(), 8);
    Chart.Redraw();
}

TEST(ChartText, TextOutAngleTurnsOnlyBeyondOneDegree) {
    auto InkBox = [](double Angle) {
        TBitmap Image(200, 200);
        TCanvas& Canvas = Image.Canvas();
        Canvas.Brush.Color = clWhite;
        Canvas.FillRect(Rect(0, 0, 200, 200));
        Canvas.Font().SetName("DejaVu Sans");
        Canvas.Font().SetHeight(-14);
        TextOutAngle(Canvas, "Effectiveness", 100, 100, Angle);
        TRect Box{200, 200, -1, -1};
        for (int32_t y = 0; y < 200; ++y)
            for (int32_t x = 0; x < 200; ++x)
                if (Canvas.Pixel(x, y) != clWhite) {
                    Box.Left = std::min(Box.Left, x);
                    Box.Top = std::min(Box.Top, y);
                    Box.Right = std::max(Box.Right, x);
                    Box.Bottom = std::max(Box.Bottom, y);
                }
        EXPECT_EQ(Canvas.Font().Escapement(), 0); // the previous font is back
        return Box;
    };
    const TRect Flat = InkBox(0.5);
    EXPECT_GT(Flat.Width(), 3 * Flat.Height());
    EXPECT_GE(Flat.Left, 100);
    EXPECT_GE(Flat.Top, 100);
    const TRect Up = InkBox(90); // reads upwards from (100, 100)
    EXPECT_GT(Up.Height(), 3 * Up.Width());
    EXPECT_LE(Up.Bottom, 100);
    EXPECT_GE(Up.Left, 100);
    const TRect Down = InkBox(-90); // clockwise: reads downwards
    EXPECT_GT(Down.Height(), 3 * Down.Width());
    EXPECT_GE(Down.Top, 100);
    EXPECT_LE(Down.Right, 100);
}

TEST(ChartRender, MainWindowChartToPng) {
    for (auto [Width, Height] : {std::pair{365, 251}, std::pair{1200, 800}}) {
        TChartPanel Chart;
        SetUpLikeMainWindow(Chart, Width, Height);
        const QImage& Image = Chart.Canvas().Image();
        const QString Name =
            QString("%1/chart-%2x%3.png").arg(CALVENOR_BINARY_DIR).arg(Width).arg(Height);
        EXPECT_TRUE(Image.copy(0, 0, Width, Height).save(Name));
        // Five curves in their colours: the end of each curve shows its own colour.
        const TColor Colours[5] = {0x008000, 0x00A040, 0x0090C0, 0x0070F0, 0x0045FF};
        for (int i = 0; i <= 4; ++i) {
            const TPoint P =
                Chart.DataToPixel(4.2, CounterFlow(i / 4.0, 4.2)); // not on a grid line
            bool Found = false;
            for (int32_t dy = -2; dy <= 2 && !Found; ++dy)
                Found = Chart.Canvas().Pixel(P.X, P.Y + dy) == Colours[i];
            EXPECT_TRUE(Found) << i << " at " << Width;
        }
    }
}

} // namespace

namespace {

// Log-log scales, every marker kind and both label kinds, for a look by eye.
TEST(ChartRender, MarkersAndLogScalesToPng) {
    TChartPanel Chart;
    Chart.SetWidth(501);
    Chart.SetHeight(351);
    Chart.SetLeftMargin(55);
    Chart.SetScaleType(stlnXlnY);
    Chart.SetRanges(0.5, 50, 1, 1000);
    Chart.SetTitle("Markers");
    Chart.SetScaleXLabel("x");
    Chart.SetScaleYLabel("y");
    TBitmap Marker(9, 9);
    Marker.Canvas().Brush.Color = clWhite;
    Marker.Canvas().FillRect(Rect(0, 0, 9, 9));
    Marker.Canvas().Brush.Color = clPurple;
    Marker.Canvas().FillRect(Rect(2, 2, 7, 7));
    const TPointVec Diamond{{0, -6}, {6, 0}, {0, 6}, {-6, 0}};
    const TColor Colours[5] = {clRed, clBlue, clGreen, clPurple, clTeal};
    for (uint8_t Kind = mkBitmap; Kind <= mkPolygon; ++Kind) {
        TChartLine* Line = Chart.AddLine(Colours[Kind - 1], Kind, &Marker, 9, Diamond);
        for (int i = 0; i < 6; ++i) {
            TChartPoint* P = Line->AddPoint(0.7 * std::pow(2.0, i), 1.5 * std::pow(3.0, i) * Kind);
            if (i == 3)
                P->SetLabel(Kind % 2 ? lmCoordinates : lmText, "label", Kind != mkPolygon);
        }
    }
    Chart.AddLine(clGray, mkCrossHair, nullptr, 3, {})->AddPoint(3, 30);
    Chart.Repaint();
    const QString Name = QString("%1/chart-markers.png").arg(CALVENOR_BINARY_DIR);
    EXPECT_TRUE(Chart.Canvas().Image().copy(0, 0, 500, 350).save(Name));
    // The square marker of the second point of the square line shows its own colour.
    const TPoint P = Chart.DataToPixel(1.4, 1.5 * 3 * 3);
    EXPECT_EQ(Chart.Canvas().Pixel(P.X, P.Y), clGreen);
}

} // namespace
