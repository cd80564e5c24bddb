// Mouse interaction of the chart: hit testing, pressing and dragging marked points, the hand
// pointer and the places where the owner's mouse handlers run.

#include "chartpanel/ChartPanel.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Equal images, or the number of differing pixels and the first of them.
testing::AssertionResult SamePicture(const QImage& A, const QImage& B) {
    if (A.size() != B.size())
        return testing::AssertionFailure() << "sizes differ";
    int Count = 0;
    QPoint First;
    for (int y = 0; y < A.height(); ++y)
        for (int x = 0; x < A.width(); ++x)
            if (A.pixel(x, y) != B.pixel(x, y) && Count++ == 0)
                First = QPoint(x, y);
    if (Count == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << Count << " pixels differ, first at (" << First.x() << ", " << First.y()
           << "): " << std::hex << A.pixel(First) << " vs " << B.pixel(First);
}

// A chart whose plot area is 300 x 200 pixels for X 0..10 and Y 0..1: 30 pixels per X unit and
// 200 per Y unit, so pixels and data convert exactly. Plot rectangle (40, 25, 340, 225).
class ChartPanelMouse : public testing::Test {
protected:
    void SetUp() override {
        TPanel::ClearApplicationCursor();
        Panel.SetWidth(361);
        Panel.SetHeight(266);
        Panel.SetRanges(0, 10, 0, 1);
        Panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Panel));
        QApplication::processEvents();
        Panel.Redraw();
        ASSERT_EQ(Panel.PlotRect(), Rect(40, 25, 340, 225));
    }
    void TearDown() override { TPanel::ClearApplicationCursor(); }

    static int32_t PixelX(double X) { return 40 + int32_t(X * 30); }
    static int32_t PixelY(double Y) { return 225 - int32_t(Y * 200); }

    // A line with circle markers through the given points.
    TChartLine* MarkedLine(TColor Color, const std::vector<std::pair<double, double>>& Points) {
        TChartLine* Line = Panel.AddLine(Color, mkCircle, nullptr, 7, {});
        for (const auto& [X, Y] : Points)
            Line->AddPoint(X, Y);
        return Line;
    }

    QImage Picture() { return Panel.Canvas().Image().copy(); }
    // The picture a complete redraw gives for the chart's present state.
    QImage RedrawnPicture() {
        Panel.Redraw();
        return Picture();
    }

    TChartPanel Panel;
};

// --- Hit test ---------------------------------------------------------------------------------

TEST_F(ChartPanelMouse, HitTestCoversTheSevenBySevenSquareAroundThePoint) {
    TChartLine* Line = MarkedLine(clRed, {{2, 0.5}});
    const TPoint P = Panel.DataToPixel(2, 0.5);
    ASSERT_EQ(P, (TPoint{100, 125}));

    for (int dx = -3; dx <= 3; ++dx)
        for (int dy = -3; dy <= 3; ++dy)
            EXPECT_TRUE(Panel.HitTest(P.X + dx, P.Y + dy)) << dx << ", " << dy;
    EXPECT_EQ(Panel.HoverPoint(), Line->Points[0].get());
    EXPECT_EQ(Panel.HoverLine(), Line);

    EXPECT_TRUE(Panel.HitTest(103, 122));
    for (const TPoint Miss : {TPoint{104, 125}, TPoint{96, 125}, TPoint{100, 129}, TPoint{100, 121},
                              TPoint{104, 129}}) {
        EXPECT_FALSE(Panel.HitTest(Miss.X, Miss.Y)) << Miss.X << ", " << Miss.Y;
        EXPECT_EQ(Panel.HoverPoint(), nullptr);
        EXPECT_EQ(Panel.HoverLine(), Line) << "only a hit changes HoverLine";
    }
}

TEST_F(ChartPanelMouse, HitTestTakesFreePointsThenLinesInOrderAndSkipsUnmarkedPoints) {
    // All candidates lie within reach of pixel (100, 125); the first in scan order must win.
    TChartLine* Unmarked = Panel.AddLine(clBlack, mkNone, nullptr, 3, {});
    Unmarked->AddPoint(2, 0.5);
    TChartLine* First = MarkedLine(clRed, {{9, 0.9}, {2.05, 0.5}, {2, 0.505}});
    TChartLine* Second = MarkedLine(clBlue, {{2, 0.5}});
    TChartPoint* Free = Panel.AddFreePoint(2.03, 0.49, clGreen, mkSquare, 5);

    ASSERT_TRUE(Panel.HitTest(100, 125));
    EXPECT_EQ(Panel.HoverPoint(), Free);
    EXPECT_EQ(Panel.HoverLine(), nullptr);

    Free->X = 8; // out of reach now
    ASSERT_TRUE(Panel.HitTest(100, 125));
    EXPECT_EQ(Panel.HoverPoint(), First->Points[1].get()) << "earlier point of the earlier line";
    EXPECT_EQ(Panel.HoverLine(), First);

    First->Points[1]->X = 7;
    ASSERT_TRUE(Panel.HitTest(100, 125));
    EXPECT_EQ(Panel.HoverPoint(), First->Points[2].get());

    First->Points[2]->X = 6;
    ASSERT_TRUE(Panel.HitTest(100, 125));
    EXPECT_EQ(Panel.HoverPoint(), Second->Points[0].get());
    EXPECT_EQ(Panel.HoverLine(), Second);

    Second->Points[0]->X = 5;
    EXPECT_FALSE(Panel.HitTest(100, 125)) << "points made without a marker never hit";
}

TEST_F(ChartPanelMouse, PointsOutsideTheBoundsAndFarAwayAreHandledSafely) {
    // Outside the bounds the point still takes part; far away its pixel saturates, and the
    // distance to the mouse must not wrap round.
    TChartLine* Line = MarkedLine(clRed, {{-1, 0.5}, {1e300, -1e300}});
    EXPECT_TRUE(Panel.HitTest(10, 125));
    EXPECT_EQ(Panel.HoverPoint(), Line->Points[0].get());
    EXPECT_FALSE(Panel.HitTest(INT32_MAX, INT32_MIN));
    EXPECT_FALSE(Panel.HitTest(INT32_MIN, INT32_MAX));
}

// --- Press, drag and release ------------------------------------------------------------------

TEST_F(ChartPanelMouse, DraggingAMarkedPointMovesItAndStopsAtThePlotEdge) {
    Panel.SetShowXYPos(true);
    TChartLine* Line = MarkedLine(clRed, {{1, 0.2}, {2, 0.5}, {4, 0.3}});
    TChartPoint* Point = Line->Points[1].get();
    int OwnerMoves = 0;
    Panel.OnMouseMove = [&](TShiftState, int32_t, int32_t) { ++OwnerMoves; };

    Panel.HandleMouseDown(mbLeft, ssLeft, 101, 124);
    EXPECT_TRUE(Panel.Dragging());
    EXPECT_EQ(Panel.SelectedPoint(), Point);
    EXPECT_EQ(Panel.HoverLine(), Line);

    Panel.HandleMouseMove(ssLeft, PixelX(3), PixelY(0.75));
    EXPECT_EQ(Point->X, 3);
    EXPECT_EQ(Point->Y, 0.75);
    EXPECT_EQ(Panel.XYText(), "[3.0, 0.75]");
    EXPECT_EQ(OwnerMoves, 1);

    // Outside the plot area: the point stays, the cursor follows, nothing else happens.
    Panel.HandleMouseMove(ssLeft, 20, PixelY(0.5));
    EXPECT_EQ(Point->X, 3);
    EXPECT_EQ(Point->Y, 0.75);
    EXPECT_DOUBLE_EQ(Panel.CursorX(), -20.0 / 30);
    EXPECT_EQ(Panel.CursorY(), 0.5);
    EXPECT_EQ(Panel.XYText(), "[3.0, 0.75]");
    EXPECT_EQ(OwnerMoves, 1);

    // The plot rectangle's edges belong to it.
    Panel.HandleMouseMove(ssLeft, 40, 225);
    EXPECT_EQ(Point->X, 0);
    EXPECT_EQ(Point->Y, 0);
    EXPECT_EQ(OwnerMoves, 2);

    Panel.HandleMouseMove(ssLeft, PixelX(5), PixelY(0.25));
    EXPECT_EQ(Point->X, 5);
    EXPECT_EQ(Point->Y, 0.25);
    EXPECT_EQ(OwnerMoves, 3);

    Panel.HandleMouseUp(mbLeft, 0, PixelX(5), PixelY(0.25));
    EXPECT_FALSE(Panel.Dragging());
    EXPECT_EQ(Panel.SelectedPoint(), Point) << "the point stays selected after the release";
    Panel.HandleMouseMove(0, PixelX(6), PixelY(0.25));
    EXPECT_EQ(Point->X, 5) << "no drag after the release";
}

TEST_F(ChartPanelMouse, CanvasAfterADragEqualsAFreshRedraw) {
    // The read-out box is not part of a redraw; leave it out of the comparison.
    Panel.SetShowXYPos(false);
    TChartLine* Line = MarkedLine(clRed, {{1, 0.2}, {2, 0.5}, {4, 0.3}, {6, 0.8}});
    Line->SetPen(psSolid, 2);
    const QImage Before = RedrawnPicture();

    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5));
    Panel.HandleMouseMove(ssLeft, PixelX(2.5), PixelY(0.6));
    Panel.HandleMouseMove(ssLeft, 5, 5); // outside: nothing drawn
    Panel.HandleMouseMove(ssLeft, PixelX(3.1), PixelY(0.9));
    Panel.HandleMouseUp(mbLeft, 0, PixelX(3.1), PixelY(0.9));
    const QImage AfterDrag = Picture();
    EXPECT_FALSE(SamePicture(AfterDrag, Before));
    EXPECT_TRUE(SamePicture(AfterDrag, RedrawnPicture()));
}

TEST_F(ChartPanelMouse, SelectionColoursAndFreePointDragsEraseExactly) {
    Panel.SetShowXYPos(false);
    TChartLine* Line = MarkedLine(clRed, {{1, 0.2}, {2, 0.5}, {4, 0.3}});
    for (const auto& Point : Line->Points) {
        Point->SelPenColor = Panel.Compensate(clBlack);
        Point->SelBrushColor = Panel.Compensate(clAqua);
    }
    TChartPoint* Free = Panel.AddFreePoint(8, 0.1, clBlue, mkSquare, 7);
    Free->SelPenColor = Panel.Compensate(clLime);
    Free->SelBrushColor = Panel.Compensate(clYellow);
    // A redraw may leave the last free point's pen on the canvas, which the grid of the next
    // redraw takes up; redraw twice so that every later redraw starts from the same pen.
    Panel.Redraw();
    Panel.Redraw();

    const auto ExpectRedrawnPicture = [&](const char* Step) {
        const QImage Shown = Picture();
        EXPECT_TRUE(SamePicture(Shown, RedrawnPicture())) << Step;
    };
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5));
    ExpectRedrawnPicture("line point selected");
    Panel.HandleMouseMove(ssLeft, PixelX(3), PixelY(0.7));
    ExpectRedrawnPicture("line point dragged");
    Panel.HandleMouseUp(mbLeft, 0, PixelX(3), PixelY(0.7));

    // Pressing the free point draws the line's point back in its normal colours.
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(8), PixelY(0.1));
    EXPECT_EQ(Panel.SelectedPoint(), Free);
    EXPECT_EQ(Panel.HoverLine(), nullptr);
    ExpectRedrawnPicture("free point selected");
    Panel.HandleMouseMove(ssLeft, PixelX(7), PixelY(0.4));
    Panel.HandleMouseMove(ssLeft, PixelX(6.5), PixelY(0.45));
    EXPECT_EQ(Free->X, 6.5);
    ExpectRedrawnPicture("free point dragged");
    Panel.HandleMouseUp(mbLeft, 0, PixelX(6.5), PixelY(0.45));

    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(4), PixelY(0.3));
    EXPECT_EQ(Panel.SelectedPoint(), Line->Points[2].get());
    ExpectRedrawnPicture("another line point selected");
}

TEST_F(ChartPanelMouse, DragStepDrawsOnlyTheDraggedLine) {
    Panel.SetShowXYPos(false);
    TChartLine* Dragged = MarkedLine(clRed, {{1, 0.2}, {2, 0.3}});
    MarkedLine(clBlue, {{6, 0.6}, {8, 0.8}});
    Panel.Redraw();
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.3));
    const QImage Before = Picture();
    Panel.HandleMouseMove(ssLeft, PixelX(2.5), PixelY(0.25));
    const QImage After = Picture();
    ASSERT_EQ(Dragged->Points[1]->X, 2.5);
    // Everything right of the dragged line's reach is untouched: the other line was not drawn.
    for (int y = 0; y < After.height(); ++y)
        for (int x = PixelX(4); x < After.width(); ++x)
            ASSERT_EQ(After.pixel(x, y), Before.pixel(x, y)) << x << ", " << y;
}

TEST_F(ChartPanelMouse, OwnerHandlersRunAtTheirPlaces) {
    MarkedLine(clRed, {{2, 0.5}});
    std::vector<std::pair<double, double>> Downs, Moves, Ups;
    std::vector<bool> DraggingAtUp;
    std::vector<std::pair<int32_t, int32_t>> Pixels;
    Panel.OnMouseDown = [&](TMouseButton, TShiftState, int32_t x, int32_t y) {
        Downs.emplace_back(Panel.CursorX(), Panel.CursorY());
        Pixels.emplace_back(x, y);
    };
    Panel.OnMouseMove = [&](TShiftState, int32_t, int32_t) {
        Moves.emplace_back(Panel.CursorX(), Panel.CursorY());
        EXPECT_FALSE(Panel.XYText().empty()) << "the read-out is up to date before the owner runs";
    };
    Panel.OnMouseUp = [&](TMouseButton, TShiftState, int32_t, int32_t) {
        Ups.emplace_back(Panel.CursorX(), Panel.CursorY());
        DraggingAtUp.push_back(Panel.Dragging());
    };

    EXPECT_EQ(Panel.CursorX(), 0);
    EXPECT_EQ(Panel.CursorY(), 0);
    Panel.HandleMouseDown(mbRight, ssRight, PixelX(1), PixelY(0.25)); // a miss
    Panel.HandleMouseMove(0, PixelX(3), PixelY(0.75));
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5)); // on the point
    Panel.HandleMouseUp(mbLeft, 0, PixelX(5), PixelY(0.1));

    using P = std::pair<double, double>;
    EXPECT_EQ(Downs, (std::vector<P>{{0, 0}, {3, 0.75}})) << "each sees the previous event";
    EXPECT_EQ(Pixels, (std::vector<std::pair<int32_t, int32_t>>{{PixelX(1), PixelY(0.25)},
                                                                {PixelX(2), PixelY(0.5)}}));
    EXPECT_EQ(Moves, (std::vector<P>{{3, 0.75}})) << "the move handler sees the current event";
    EXPECT_EQ(Ups, (std::vector<P>{{2, 0.5}})) << "a release does not change the cursor";
    EXPECT_EQ(DraggingAtUp, std::vector<bool>{true});
    EXPECT_EQ(Panel.CursorX(), 2);
    EXPECT_FALSE(Panel.Dragging());
}

TEST_F(ChartPanelMouse, HandPointerOverDraggablePointsOnly) {
    MarkedLine(clRed, {{2, 0.5}});
    const auto Pointer = [] {
        const QCursor* Cursor = QApplication::overrideCursor();
        return Cursor ? Cursor->shape() : Qt::BitmapCursor; // BitmapCursor: none
    };

    Panel.HandleMouseMove(0, PixelX(2) + 2, PixelY(0.5) - 3);
    EXPECT_EQ(Pointer(), Qt::PointingHandCursor);
    Panel.HandleMouseMove(0, PixelX(2) + 2, PixelY(0.5) - 2);
    EXPECT_EQ(Pointer(), Qt::PointingHandCursor);
    Panel.HandleMouseMove(0, PixelX(5), PixelY(0.5));
    EXPECT_EQ(Pointer(), Qt::BitmapCursor);

    // During a drag no hit test runs and the pointer stays; the release clears it.
    Panel.HandleMouseMove(0, PixelX(2), PixelY(0.5));
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5));
    Panel.HandleMouseMove(ssLeft, PixelX(7), PixelY(0.9));
    EXPECT_EQ(Pointer(), Qt::PointingHandCursor);
    Panel.HandleMouseUp(mbLeft, 0, PixelX(7), PixelY(0.9));
    EXPECT_EQ(Pointer(), Qt::BitmapCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ChartPanelMouse, ChartOfUnmarkedLinesNeverDrags) {
    // The main window's curves: marker kind 0, pen width 2.
    for (int i = 0; i < 3; ++i) {
        TChartLine* Line = Panel.AddLine(TColor(0x3000 * i), mkNone, nullptr, 3, {});
        Line->SetPen(psSolid, 2);
        for (int k = 0; k <= 10; ++k)
            Line->AddPoint(k, k / 10.0 * (1 - 0.2 * i));
    }
    const QImage Before = RedrawnPicture();
    Panel.SetShowXYPos(false);

    Panel.HandleMouseMove(0, PixelX(5), PixelY(0.5));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(5), PixelY(0.5));
    EXPECT_FALSE(Panel.Dragging());
    EXPECT_EQ(Panel.SelectedPoint(), nullptr);
    EXPECT_EQ(Panel.CursorX(), 5);
    EXPECT_EQ(Panel.CursorY(), 0.5);
    Panel.HandleMouseMove(ssLeft, PixelX(6), PixelY(0.2));
    Panel.HandleMouseUp(mbLeft, 0, PixelX(6), PixelY(0.2));
    EXPECT_EQ(Panel.Lines()[0]->Points[5]->X, 5);
    EXPECT_EQ(Panel.Lines()[0]->Points[5]->Y, 0.5);
    const QImage After = Picture();
    EXPECT_TRUE(SamePicture(After, Before));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ChartPanelMouse, APressBesideEveryPointEndsTheDrag) {
    // A second button pressed beside the points during a drag leaves no point to move; the
    // next move must neither crash nor move anything.
    TChartLine* Line = MarkedLine(clRed, {{2, 0.5}, {4, 0.4}});
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5));
    ASSERT_TRUE(Panel.Dragging());
    Panel.HandleMouseDown(mbRight, ssLeft | ssRight, PixelX(8), PixelY(0.9));
    EXPECT_FALSE(Panel.Dragging());
    Panel.HandleMouseMove(ssLeft | ssRight, PixelX(7), PixelY(0.8));
    EXPECT_EQ(Line->Points[0]->X, 2);
    EXPECT_EQ(Line->Points[1]->X, 4);

    // The same when a caller's own hit test misses in the middle of a drag.
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(4), PixelY(0.4));
    ASSERT_TRUE(Panel.Dragging());
    EXPECT_FALSE(Panel.HitTest(0, 0));
    Panel.HandleMouseMove(ssLeft, PixelX(7), PixelY(0.8));
    EXPECT_FALSE(Panel.Dragging());
    EXPECT_EQ(Line->Points[1]->X, 4);
}

TEST_F(ChartPanelMouse, ClearDuringADragEndsIt) {
    MarkedLine(clRed, {{2, 0.5}});
    Panel.HandleMouseDown(mbLeft, ssLeft, PixelX(2), PixelY(0.5));
    ASSERT_TRUE(Panel.Dragging());
    Panel.Clear();
    Panel.Redraw();
    Panel.HandleMouseMove(ssLeft, PixelX(7), PixelY(0.8));
    EXPECT_FALSE(Panel.Dragging());
    EXPECT_EQ(Panel.HoverPoint(), nullptr);
}

// --- Real mouse events ------------------------------------------------------------------------

TEST_F(ChartPanelMouse, PlatformMouseEventsReachTheHandlers) {
    Panel.SetShowXYPos(false);
    TChartLine* Line = MarkedLine(clRed, {{1, 0.2}, {2, 0.5}});
    Panel.Redraw();
    std::vector<std::pair<int32_t, int32_t>> OwnerMoves;
    Panel.OnMouseMove = [&](TShiftState, int32_t x, int32_t y) { OwnerMoves.emplace_back(x, y); };

    QTest::mouseMove(&Panel, QPoint(PixelX(2), PixelY(0.5)));
    QTest::mousePress(&Panel, Qt::LeftButton, Qt::NoModifier, QPoint(PixelX(2), PixelY(0.5)));
    EXPECT_TRUE(Panel.Dragging());
    QTest::mouseMove(&Panel, QPoint(PixelX(3), PixelY(0.75)));
    QTest::mouseRelease(&Panel, Qt::LeftButton, Qt::NoModifier, QPoint(PixelX(3), PixelY(0.75)));
    EXPECT_FALSE(Panel.Dragging());
    EXPECT_EQ(Line->Points[1]->X, 3);
    EXPECT_EQ(Line->Points[1]->Y, 0.75);
    ASSERT_FALSE(OwnerMoves.empty());
    EXPECT_EQ(OwnerMoves.back(), std::make_pair(PixelX(3), PixelY(0.75)));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
