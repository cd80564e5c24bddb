// Batches of chart changes: BeginUpdate/EndUpdate hold drawing back and draw once at the end,
// hidden panels leave drawing to their first paint, and painting always shows the current state.
#include "chartpanel/ChartPanel.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

constexpr TColor Sentinel = 0x123456; // a colour the chart never draws

// A chart with a drawing area of 365 x 251 and one line, as a caller sets it up before drawing.
void SetUp(TChartPanel& Chart) {
    Chart.SetWidth(366);
    Chart.SetHeight(252);
    TChartLine* Line = Chart.AddLine(clRed, mkNone, nullptr, 3, {});
    Line->SetPen(psSolid, 2);
    for (int j = 0; j <= 10; ++j)
        Line->AddPoint(j / 2.0, j / 10.0);
    Chart.SetRanges(0, 5, 0, 1);
    Chart.Repaint(); // binds the drawing area to the panel's size
}

// Paints the whole canvas in the sentinel colour, so that any drawing shows.
void Smear(TCanvas& Canvas) {
    Canvas.Brush.Color = Sentinel;
    Canvas.Brush.Style = bsSolid;
    Canvas.FillRect(TRect{0, 0, Canvas.Width(), Canvas.Height()});
    Canvas.Flush();
}

bool Untouched(TCanvas& Canvas) {
    return Canvas.Pixel(0, 0) == Sentinel && Canvas.Pixel(180, 120) == Sentinel &&
           Canvas.Pixel(Canvas.Width() - 1, Canvas.Height() - 1) == Sentinel;
}

// The picture the chart draws with its current settings, drawn directly over a smeared canvas
// (the chart leaves the canvas pixels beyond its drawing area alone).
QImage Reference(TChartPanel& Chart) {
    Smear(Chart.Canvas());
    Chart.Redraw();
    return Chart.Canvas().Image().copy();
}

class ChartUpdate : public testing::Test {
protected:
    void SetUp() override { ::SetUp(Chart); }
    TChartPanel Chart;
};

TEST_F(ChartUpdate, ABatchOnAVisiblePanelDrawsOnceAtTheOutermostEnd) {
    Chart.show();
    ASSERT_TRUE(Chart.isVisible());
    Chart.SetGridColor(clYellow);
    const QImage Expected = [&] {
        Chart.SetScaleXTicks(11);
        return Reference(Chart);
    }();
    Chart.SetGridColor(clWhite);
    Chart.SetScaleXTicks(6);
    Chart.Redraw();
    Smear(Chart.Canvas());

    Chart.BeginUpdate();
    Chart.BeginUpdate();
    EXPECT_TRUE(Chart.Updating());
    Chart.SetGridColor(clYellow); // a setter that otherwise draws at once
    Chart.SetScaleXTicks(11);
    Chart.Redraw();
    EXPECT_TRUE(Untouched(Chart.Canvas()));
    Chart.EndUpdate();
    EXPECT_TRUE(Chart.Updating());
    EXPECT_TRUE(Untouched(Chart.Canvas())) << "an inner EndUpdate drew";
    Chart.EndUpdate();
    EXPECT_FALSE(Chart.Updating());
    EXPECT_TRUE(Chart.Canvas().Image() == Expected);

    // Nothing changed since: the next batch without a Redraw draws nothing.
    Smear(Chart.Canvas());
    Chart.BeginUpdate();
    Chart.EndUpdate();
    EXPECT_TRUE(Untouched(Chart.Canvas()));
}

TEST_F(ChartUpdate, AHiddenPanelLeavesTheDrawingToItsNextPaint) {
    ASSERT_FALSE(Chart.isVisible());
    Chart.SetGridColor(clYellow);
    Chart.Repaint();
    const QImage Painted = Chart.Canvas().Image().copy();
    const QImage Expected = Reference(Chart);
    Chart.SetGridColor(clWhite);
    Smear(Chart.Canvas());

    Chart.BeginUpdate();
    Chart.SetGridColor(clYellow);
    Chart.Redraw();
    Chart.EndUpdate();
    EXPECT_TRUE(Untouched(Chart.Canvas()));

    Chart.Repaint();
    EXPECT_TRUE(Chart.Canvas().Image() == Painted);

    // An explicit Redraw outside a batch still draws a hidden panel at once.
    Smear(Chart.Canvas());
    Chart.Redraw();
    EXPECT_TRUE(Chart.Canvas().Image() == Expected);
}

TEST_F(ChartUpdate, PaintingInsideABatchShowsTheCurrentState) {
    Chart.SetScaleXTicks(11);
    const QImage Expected = Reference(Chart);
    Chart.SetScaleXTicks(6);
    Chart.Redraw();

    Chart.BeginUpdate();
    Chart.SetScaleXTicks(11);
    Smear(Chart.Canvas());
    Chart.Repaint();
    // The panel's own paint fills the pixels beyond the drawing area too; compare the chart.
    const QRect Area(0, 0, Chart.DrawWidth(), Chart.DrawHeight());
    EXPECT_TRUE(Chart.Canvas().Image().copy(Area) == Expected.copy(Area));
    Chart.EndUpdate();
}

TEST_F(ChartUpdate, AForeignCanvasIsDrawnAtTheEndOfABatchEvenWhenHidden) {
    TBitmap Target(365, 251);
    Chart.PrepareCanvas(Target.Canvas(), 365, 251, false, false);
    Smear(Target.Canvas());
    Chart.BeginUpdate();
    Chart.Redraw();
    EXPECT_TRUE(Untouched(Target.Canvas()));
    Chart.EndUpdate();
    EXPECT_FALSE(Untouched(Target.Canvas()));
}

TEST_F(ChartUpdate, AnUnbalancedEndUpdateIsIgnored) {
    Chart.EndUpdate();
    EXPECT_FALSE(Chart.Updating());
    Smear(Chart.Canvas());
    Chart.Redraw(); // outside any batch: draws at once
    EXPECT_FALSE(Untouched(Chart.Canvas()));
    Chart.BeginUpdate();
    EXPECT_TRUE(Chart.Updating());
    Chart.EndUpdate();
    EXPECT_FALSE(Chart.Updating());
}

} // namespace
