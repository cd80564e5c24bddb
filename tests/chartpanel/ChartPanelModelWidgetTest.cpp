// The chart's data model: construction defaults, property setters, ranges, scale types, lines
// and points, colour compensation, ownership and Clear, and the layout of the plot area.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelTestAccess.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChartModel, ConstructionDefaults) {
    TChartPanel Chart;
    EXPECT_EQ(Chart.Width(), 250);
    EXPECT_EQ(Chart.Height(), 200);
    EXPECT_EQ(Chart.DesignWidth(), 250 - Chart.BevelWidth());
    EXPECT_EQ(Chart.DesignHeight(), 200 - Chart.BevelWidth());
    EXPECT_EQ(Chart.DrawWidth(), 250 - Chart.BevelWidth());
    EXPECT_EQ(Chart.DrawHeight(), 200 - Chart.BevelWidth());
    EXPECT_EQ(Chart.DrawCanvas(), &Chart.Canvas());
    EXPECT_EQ(Chart.Color(), clWindow);
    EXPECT_EQ(Chart.GridColor(), clWhite);
    EXPECT_EQ(Chart.AxesColor(), clWindowText);
    EXPECT_EQ(Chart.LeftMargin(), 40);
    EXPECT_EQ(Chart.TopMargin(), 25);
    EXPECT_EQ(Chart.RightMargin(), 20);
    EXPECT_EQ(Chart.BottomMargin(), 40);
    EXPECT_EQ(Chart.XMin(), 1.0);
    EXPECT_EQ(Chart.XMax(), 10.0);
    EXPECT_EQ(Chart.YMin(), 1.0);
    EXPECT_EQ(Chart.YMax(), 10.0);
    EXPECT_EQ(Chart.Title(), "");
    EXPECT_EQ(Chart.TitleAlignment(), taCenter);
    EXPECT_TRUE(Chart.ShowXYPos());
    EXPECT_EQ(Chart.ShowXYPosPlace(), ppBottomLeft);
    EXPECT_EQ(Chart.ShowXPosFmt(), "");
    EXPECT_TRUE(Chart.ShowXScale());
    EXPECT_TRUE(Chart.ShowYScale());
    EXPECT_EQ(Chart.ScaleXTicks(), 6);
    EXPECT_EQ(Chart.ScaleYTicks(), 6);
    EXPECT_EQ(Chart.AxisType(), xtQuad1);
    EXPECT_EQ(Chart.ScaleType(), stXY);
    EXPECT_EQ(Chart.BevelInner(), bvNone);
    EXPECT_EQ(Chart.BevelOuter(), bvLowered);
    EXPECT_FALSE(Chart.Dragging());
    EXPECT_EQ(Chart.CursorX(), 0);
    EXPECT_EQ(Chart.CursorY(), 0);
    EXPECT_TRUE(Chart.Lines().empty());
    EXPECT_TRUE(Chart.FreePoints().empty());
    EXPECT_EQ(Chart.HoverPoint(), nullptr);
    EXPECT_EQ(Chart.SelectedPoint(), nullptr);
    EXPECT_EQ(Chart.HoverLine(), nullptr);
    EXPECT_EQ(Chart.XYText(), "");
    for (const TFont* Font :
         {&Chart.FontLabels(), &Chart.FontXYPos(), &Chart.ScaleXFont(), &Chart.ScaleYFont()}) {
        EXPECT_EQ(Font->Name(), "courier new");
        EXPECT_EQ(Font->Size(), 8);
        EXPECT_EQ(Font->Color(), clBlack);
        EXPECT_EQ(Font->Style(), 0);
    }
    EXPECT_EQ(TickLineColor, 0x00EBE2E0u);
    // No layout before the first redraw: every data value maps to (0, 0) and back to (0, 0).
    EXPECT_EQ(Chart.DataToPixel(3, 4), (TPoint{0, 0}));
    EXPECT_EQ(Chart.PixelToData(100, 100), (std::pair<double, double>{0, 0}));
}

TEST(ChartModel, SizeSettersRecordTheDesignSize) {
    TChartPanel Chart;
    Chart.SetWidth(366);
    Chart.SetHeight(252);
    EXPECT_EQ(Chart.DesignWidth(), 365);
    EXPECT_EQ(Chart.DesignHeight(), 251);
}

TEST(ChartModel, RangesWidenOnlyEqualBounds) {
    TChartPanel Chart;
    Chart.SetRanges(0, 5.5, 0, 1);
    EXPECT_EQ(Chart.XMin(), 0);
    EXPECT_EQ(Chart.XMax(), 5.5);
    EXPECT_EQ(Chart.YMin(), 0);
    EXPECT_EQ(Chart.YMax(), 1);

    struct {
        double Min, Max, WantMin, WantMax;
    } const Cases[] = {{0, 0, 0, 1}, {4, 4, 2, 6}, {-2, -2, -1, -3}, {5, 1, 5, 1}};
    for (const auto& C : Cases) {
        Chart.SetXRange(C.Min, C.Max);
        EXPECT_EQ(Chart.XMin(), C.WantMin) << C.Min;
        EXPECT_EQ(Chart.XMax(), C.WantMax) << C.Max;
        Chart.SetYRange(C.Min, C.Max);
        EXPECT_EQ(Chart.YMin(), C.WantMin) << C.Min;
        EXPECT_EQ(Chart.YMax(), C.WantMax) << C.Max;
    }
}

TEST(ChartModel, TickCountsAreAtLeastTwo) {
    TChartPanel Chart;
    for (int32_t Value : {1, 0, -5, INT32_MIN}) {
        Chart.SetScaleXTicks(Value);
        Chart.SetScaleYTicks(Value);
        EXPECT_EQ(Chart.ScaleXTicks(), 2);
        EXPECT_EQ(Chart.ScaleYTicks(), 2);
    }
    Chart.SetScaleXTicks(12);
    EXPECT_EQ(Chart.ScaleXTicks(), 12);
}

TEST(ChartModel, ScaleTypeKeepsPublicBounds) {
    TChartPanel Chart;
    Chart.SetXRange(1, 100);
    Chart.SetScaleType(stlnXY);
    EXPECT_DOUBLE_EQ(Chart.XMin(), 1);
    EXPECT_DOUBLE_EQ(Chart.XMax(), 100);
    EXPECT_DOUBLE_EQ(Chart.XMap().ScaledMin, 0);
    EXPECT_DOUBLE_EQ(Chart.XMap().ScaledMax, 2);
    EXPECT_EQ(Chart.YMap().ScaledMin, 1); // Y stays linear
    Chart.SetScaleType(stXY);
    EXPECT_DOUBLE_EQ(Chart.XMap().ScaledMin, 1);
    EXPECT_DOUBLE_EQ(Chart.XMap().ScaledMax, 100);

    Chart.SetScaleType(stlnXlnY);
    Chart.SetXMin(0);
    EXPECT_DOUBLE_EQ(Chart.XMin(), 0.01);
    Chart.SetXMin(-5);
    EXPECT_DOUBLE_EQ(Chart.XMin(), 0.01);
    Chart.SetScaleType(stXY);
    Chart.SetYRange(-3, 4);
    Chart.SetScaleType(stXlnY);
    EXPECT_DOUBLE_EQ(Chart.YMin(), 0.01); // a non-positive bound becomes 0.01
    EXPECT_DOUBLE_EQ(Chart.YMax(), 4);
}

TEST(ChartModel, RunTimeSettersOnlyStoreButGridColorRepaints) {
    TChartPanel Chart;
    Chart.Redraw();
    const QImage Before = Chart.Canvas().Image().copy();
    Chart.SetLeftMargin(80);
    Chart.SetTitle("Title");
    Chart.SetXRange(0, 3);
    Chart.SetScaleXTicks(3);
    Chart.SetAxisType(xtCent0);
    EXPECT_EQ(Chart.LeftMargin(), 80);
    EXPECT_TRUE(Chart.Canvas().Image() == Before);

    Chart.SetGridColor(clYellow);
    EXPECT_FALSE(Chart.Canvas().Image() == Before);
    const int32_t x = Chart.PlotRect().Left + 3, y = Chart.PlotRect().Top + 3;
    EXPECT_EQ(Chart.Canvas().Pixel(x, y), clYellow);
}

TEST(ChartModel, DesignModeSettersRepaint) {
    TChartPanel Chart;
    Chart.SetDesignMode(true);
    Chart.Redraw();
    QImage Before = Chart.Canvas().Image().copy();
    Chart.SetLeftMargin(80);
    EXPECT_FALSE(Chart.Canvas().Image() == Before);
    Before = Chart.Canvas().Image().copy();
    Chart.SetScaleType(stlnXlnY);
    EXPECT_FALSE(Chart.Canvas().Image() == Before);
    // The read-out settings never repaint.
    Before = Chart.Canvas().Image().copy();
    Chart.SetShowXYPosPlace(ppTopRight);
    Chart.SetShowXPosFmt("%0.2f");
    EXPECT_TRUE(Chart.Canvas().Image() == Before);
}

TEST(ChartModel, FontSettersCopyIntoTheOwnObject) {
    TChartPanel Chart;
    const TFont* Own = &Chart.ScaleXFont();
    TFont Tahoma;
    Tahoma.SetName("Tahoma");
    Tahoma.SetHeight(-11);
    Chart.SetScaleXFont(Tahoma);
    Tahoma.SetName("Other");
    EXPECT_EQ(&Chart.ScaleXFont(), Own);
    EXPECT_EQ(Chart.ScaleXFont().Name(), "Tahoma");
    EXPECT_EQ(Chart.ScaleXFont().Height(), -11);
}

TEST(ChartModel, ColourCompensation) {
    EXPECT_EQ(CompensateColor(0x123456, clWhite), 0x123456u);
    EXPECT_EQ(CompensateColor(clRed, clWhite), clRed);
    EXPECT_EQ(CompensateColor(0x123456, clBlack), 0x123456u ^ 0xFFFFFFu);
    EXPECT_EQ(CompensateColor(clWindowText, clWhite), clWindowText); // top byte kept as it stands

    TChartPanel Chart;
    Chart.SetGridColor(clBlack);
    TChartLine* Line = Chart.AddLine(0x102030, mkCircle, nullptr, 5, {});
    EXPECT_EQ(Line->LineColor, 0x102030u ^ 0xFFFFFFu);
    EXPECT_EQ(Line->MarkerPenColor, 0x102030u ^ 0xFFFFFFu);
    // Stored colours keep the GridColor of the moment they were stored.
    Chart.SetGridColor(clWhite);
    EXPECT_EQ(Line->LineColor, 0x102030u ^ 0xFFFFFFu);
    TChartPoint* Point = Line->AddPoint(1, 1);
    EXPECT_EQ(Point->PenColor, 0x102030u ^ 0xFFFFFFu); // from the line's marker fields
    Point->SetStyle(0x0000FF, 0x00FF00, true, 1, psSolid);
    EXPECT_EQ(Point->PenColor, 0x0000FFu);
    Point->SetStyle(0x0000FF, 0x00FF00, false, 1, psSolid);
    EXPECT_EQ(Point->BrushColor, 0x00FF00u);
    EXPECT_EQ(Point->SelBrushColor, 0x00FF00u);
}

TEST(ChartModel, MainWindowLinePoints) {
    TChartPanel Chart;
    TChartLine* Line = Chart.AddLine(0x3399CC, 0, nullptr, 3, {});
    TChartPoint* Point = Line->AddPoint(1, 0.5);
    EXPECT_EQ(Point->MarkerKind, 0);
    EXPECT_FALSE(Point->Draggable);
    EXPECT_EQ(Point->Size, 3);
    EXPECT_EQ(Point->PenWidth, 2); // marker pen
    EXPECT_EQ(Point->PenStyle, psSolid);
    EXPECT_EQ(Point->LabelMode, 0);
    EXPECT_TRUE(Point->LabelXor);
    EXPECT_EQ(Point->Panel, &Chart);
    EXPECT_EQ(Line->PenWidth, 1);
    EXPECT_EQ(Line->MarkerBitmap, nullptr);
    EXPECT_EQ(Chart.Lines().size(), 1u);
    EXPECT_EQ(Chart.Lines()[0].get(), Line);
    EXPECT_EQ(Line->Points[0].get(), Point);
}

TEST(ChartModel, SetPenOverridesExistingPointsOnly) {
    TChartPanel Chart;
    TChartLine* Line = Chart.AddLine(clBlue, mkSquare, nullptr, 6, {});
    TChartPoint* A = Line->AddPoint(1, 1);
    TChartPoint* B = Line->AddPoint(2, 2);
    Line->SetPen(psDash, 3);
    EXPECT_EQ(A->PenStyle, psDash);
    EXPECT_EQ(B->PenWidth, 3);
    TChartPoint* C = Line->AddPoint(3, 3);
    EXPECT_EQ(C->PenWidth, 2);
    EXPECT_EQ(C->PenStyle, psSolid);
    EXPECT_TRUE(C->Draggable);
    Line->SetMarkerStyle(clRed, clLime, psDot, 4);
    EXPECT_EQ(A->PenWidth, 4);
    EXPECT_EQ(A->BrushColor, clLime);
    EXPECT_EQ(C->PenStyle, psDot);
}

TEST(ChartModel, MarkerBitmapDecidesTheMarkerSize) {
    TChartPanel Chart;
    TBitmap Wide(16, 10), Odd(15, 10);
    TChartLine* A = Chart.AddLine(clRed, mkBitmap, &Wide, 99, {});
    EXPECT_EQ(A->MarkerSize, 13);
    ASSERT_NE(A->MarkerBitmap, nullptr);
    EXPECT_EQ(A->MarkerBitmap->Width(), 16);
    EXPECT_EQ(A->AddPoint(1, 1)->Size, 13);
    EXPECT_EQ(A->Points[0]->Bitmap, A->MarkerBitmap.get());
    TChartLine* B = Chart.AddLine(clRed, mkBitmap, &Odd, 99, {});
    EXPECT_EQ(B->MarkerSize, 12); // 12.5 goes to the even neighbour
}

TEST(ChartModel, MakeXorBitmapCompensatesEveryPixel) {
    EXPECT_EQ(MakeXorBitmap(nullptr, clWhite), nullptr);
    TBitmap Source(4, 3);
    Source.Canvas().Brush.Color = clWhite;
    Source.Canvas().FillRect(Rect(0, 0, 4, 3));
    Source.Canvas().SetPixel(1, 1, 0x00336699);
    auto Made = MakeXorBitmap(&Source, 0x00101010);
    ASSERT_NE(Made, nullptr);
    EXPECT_EQ(Made->Width(), 4);
    EXPECT_EQ(Made->Height(), 3);
    // pixel XOR (grid XOR brush XOR white) with a white brush: pixel XOR grid.
    EXPECT_EQ(Made->Canvas().Pixel(1, 1), 0x00336699u ^ 0x00101010u);
    EXPECT_EQ(Made->Canvas().Pixel(0, 0), 0x00FFFFFFu ^ 0x00101010u);
}

TEST(ChartModel, ClearFreesEverythingAndResetsReferences) {
    TChartPanel Chart;
    Chart.Clear(); // empty: nothing happens
    EXPECT_TRUE(Chart.Lines().empty());
    TBitmap Marker(5, 5);
    for (int i = 0; i < 3; ++i) {
        TChartLine* Line = Chart.AddLine(clRed, mkBitmap, &Marker, 3, {});
        for (int j = 0; j < 10; ++j)
            Line->AddPoint(j, i);
    }
    Chart.AddFreePoint(2, 2, clBlue, mkCircle, 5);
    EXPECT_EQ(Chart.Lines().size(), 3u);
    EXPECT_EQ(Chart.FreePoints().size(), 1u);
    Chart.Clear();
    EXPECT_TRUE(Chart.Lines().empty());
    EXPECT_TRUE(Chart.FreePoints().empty());
    EXPECT_EQ(Chart.SelectedPoint(), nullptr);
    EXPECT_EQ(Chart.HoverPoint(), nullptr);
    EXPECT_EQ(Chart.HoverLine(), nullptr);
    EXPECT_FALSE(Chart.Dragging());
}

TEST(ChartModel, FreePointsAreDraggableMarkers) {
    TChartPanel Chart;
    TChartPoint* Free = Chart.AddFreePoint(2, 3, clRed, mkSquare, 7);
    EXPECT_TRUE(Free->Draggable);
    EXPECT_EQ(Free->Size, 7);
    EXPECT_EQ(Free->PenColor, clRed);
    EXPECT_FALSE(Chart.AddFreePoint(2, 3, clRed, mkNone, 7)->Draggable);
}

TEST(ChartModel, LayoutAndFactors) {
    TChartPanel Chart;
    Chart.SetWidth(366);
    Chart.SetHeight(252);
    Chart.Redraw(); // not shown: the draw size is still the constructor's
    Chart.PrepareCanvas(Chart.Canvas(), 365, 251, false, false);
    Chart.SetXRange(3, 3); // widened to 1.5 .. 4.5
    Chart.SetXMin(3);
    Chart.SetXMax(3);
    Chart.SetRightMargin(25); // plot width 300
    TChartPanel::TTestAccess::UpdateLayout(Chart);
    EXPECT_EQ(Chart.PlotRect(), Rect(40, 25, 340, 211));
    EXPECT_EQ(Chart.PlotWidth(), 300);
    EXPECT_EQ(Chart.PlotHeight(), 186);
    EXPECT_EQ(Chart.XMap().Factor, 300); // equal bounds divide by 1
    EXPECT_EQ(Chart.DataToPixel(3, 1).X, 40);

    Chart.SetRanges(0, 10, 0, 1);
    TChartPanel::TTestAccess::UpdateLayout(Chart);
    EXPECT_EQ(Chart.DataToPixel(0, 0), (TPoint{40, 211}));
    EXPECT_EQ(Chart.DataToPixel(10, 1), (TPoint{340, 25}));
    EXPECT_EQ(Chart.DataToPixel(0.3633, 0).X, 50); // 10.899 pixels: truncated
    auto [X, Y] = Chart.PixelToData(30, 211);
    EXPECT_LT(X, 0); // no clamping left of the plot
    EXPECT_DOUBLE_EQ(Y, 0);
    EXPECT_TRUE(Chart.InPlotArea(340, 211));
    EXPECT_TRUE(Chart.InPlotArea(40, 25));
    EXPECT_FALSE(Chart.InPlotArea(341, 100));
    EXPECT_FALSE(Chart.InPlotArea(100, 24));
    EXPECT_TRUE(Chart.IsInRange(10, 1));
    EXPECT_FALSE(Chart.IsInRange(10.0001, 1));
    EXPECT_FALSE(Chart.IsInRange(NaN, 0.5));

    Chart.SetXRange(10, 0); // reversed
    TChartPanel::TTestAccess::UpdateLayout(Chart);
    EXPECT_LT(Chart.XMap().Factor, 0);
    EXPECT_EQ(Chart.DataToPixel(10, 0).X, 40);
    EXPECT_EQ(Chart.DataToPixel(0, 0).X, 340);
    EXPECT_FALSE(Chart.IsInRange(5, 0.5));
}

TEST(ChartModel, ExtremeMarginsAndSizesKeepTheLayoutDefined) {
    TChartPanel Chart;
    Chart.SetLeftMargin(INT32_MAX);
    Chart.SetRightMargin(INT32_MIN);
    Chart.SetTopMargin(INT32_MIN);
    Chart.SetBottomMargin(INT32_MAX);
    TChartPanel::TTestAccess::UpdateLayout(Chart);
    EXPECT_EQ(Chart.PlotRect().Left, PixelLimit);
    EXPECT_EQ(Chart.PlotRect().Right, PixelLimit);
    EXPECT_EQ(Chart.PlotRect().Top, -PixelLimit);
    EXPECT_EQ(Chart.PlotRect().Bottom, -PixelLimit);
    EXPECT_EQ(Chart.PlotWidth(), 0);
    Chart.Redraw(); // draws nothing sensible but must not fail

    Chart.SetLeftMargin(300); // margins larger than the drawing area: right edge left of left
    Chart.SetRightMargin(20);
    Chart.SetTopMargin(25);
    Chart.SetBottomMargin(40);
    TChartPanel::TTestAccess::UpdateLayout(Chart);
    EXPECT_LT(Chart.PlotWidth(), 0);
    EXPECT_LT(Chart.XMap().Factor, 0);
    Chart.Redraw();
}

} // namespace
