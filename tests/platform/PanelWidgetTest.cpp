// The bevelled panel: persistent canvas, paint and resize notifications, owner mouse handlers,
// application-wide pointer.
#include "platform/gui/Panel.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Two offscreen screens, the second at device ratio 2 right of the first (as the default
// screen, 800 x 800 at ratio 1), so that a window can move between ratios as between two
// monitors. Set before main() starts the application; a platform chosen from outside wins.
const bool TwoScreens = [] {
    setenv("QT_QPA_PLATFORM",
           "offscreen:configfile=" CALVENOR_SOURCE_DIR "/tests/support/two-screens.json", 0);
    return true;
}();

// Records the notifications and, like the chart, draws on every paint.
class TRecordingPanel : public TPanel {
public:
    std::vector<std::string> Log;
    int DesignWidth = 0;

    void SetWidth(int32_t width) override {
        TPanel::SetWidth(width);
        DesignWidth = width - BevelWidth();
    }

protected:
    void Paint() override {
        TPanel::Paint();
        Log.push_back("Paint " + std::to_string(Canvas().Width()) + "x" +
                      std::to_string(Canvas().Height()));
        Canvas().Brush.Color = clRed;
        Canvas().FillRect(Rect(0, 0, Width() - BevelWidth(), Height() - BevelWidth()));
    }
    void Resize() override {
        TPanel::Resize();
        Log.push_back("Resize " + std::to_string(Width()) + "x" + std::to_string(Height()));
    }
};

void ProcessEvents() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

TEST(Panel, DefaultsMatchThePlatformPanel) {
    TPanel panel;
    EXPECT_EQ(panel.Color(), clBtnFace);
    EXPECT_EQ(panel.BevelWidth(), 1);
    EXPECT_EQ(panel.BevelOuter(), bvLowered);
    EXPECT_EQ(panel.BevelInner(), bvNone);
    EXPECT_EQ(panel.frameStyle(), QFrame::Panel | QFrame::Sunken);
    EXPECT_EQ(panel.lineWidth(), 1);
    EXPECT_TRUE(panel.hasMouseTracking());
    EXPECT_FALSE(panel.DesignMode());
    panel.SetDesignMode(true);
    EXPECT_TRUE(panel.DesignMode());
    panel.SetBevelWidth(3);
    EXPECT_EQ(panel.lineWidth(), 3);
}

TEST(Panel, SizeSettersResizeWidgetAndCanvasAtOnce) {
    TRecordingPanel panel;
    panel.SetHeight(200);
    panel.SetWidth(250);
    EXPECT_EQ(panel.Width(), 250);
    EXPECT_EQ(panel.Height(), 200);
    EXPECT_EQ(panel.DesignWidth, 249);
    EXPECT_EQ(panel.Canvas().Width(), 250);
    EXPECT_EQ(panel.Canvas().Height(), 200);
}

TEST(Panel, PaintRunsOnShowAndResizeAndRepaintOnly) {
    TRecordingPanel panel;
    panel.SetWidth(120);
    panel.SetHeight(80);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ProcessEvents();
    ASSERT_FALSE(panel.Log.empty());
    EXPECT_EQ(panel.Log.back(), "Paint 120x80");
    const size_t paints = std::count(panel.Log.begin(), panel.Log.end(), "Paint 120x80");
    EXPECT_EQ(paints, 1u);

    // Drawing marks the widget for a blit but does not rebuild the image.
    panel.Log.clear();
    panel.Canvas().SetPixel(5, 5, clBlue);
    panel.update();
    ProcessEvents();
    EXPECT_TRUE(panel.Log.empty());
    EXPECT_EQ(panel.Canvas().Pixel(5, 5), clBlue);

    panel.resize(150, 90);
    ProcessEvents();
    ASSERT_EQ(panel.Log.size(), 2u);
    EXPECT_EQ(panel.Log[0], "Resize 150x90");
    EXPECT_EQ(panel.Log[1], "Paint 150x90");

    panel.Log.clear();
    panel.Repaint();
    EXPECT_EQ(panel.Log, std::vector<std::string>{"Paint 150x90"});
}

TEST(Panel, ImageCoversTopLeftBevelWhileRightAndBottomStayVisible) {
    TRecordingPanel panel;
    panel.SetBevelWidth(2);
    panel.SetWidth(60);
    panel.SetHeight(40);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ProcessEvents();
    const QImage shown = panel.grab().toImage();
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(shown.pixel(0, 0), red);
    EXPECT_EQ(shown.pixel(0, 20), red);
    EXPECT_EQ(shown.pixel(57, 37), red);
    EXPECT_NE(shown.pixel(58, 20), red); // right bevel
    EXPECT_NE(shown.pixel(59, 20), red);
    EXPECT_NE(shown.pixel(30, 38), red); // bottom bevel
    EXPECT_NE(shown.pixel(30, 39), red);

    // Without bevels nothing is left out of the image.
    panel.SetBevelOuter(bvNone);
    panel.SetBevelWidth(0);
    ProcessEvents();
    EXPECT_EQ(panel.frameShape(), QFrame::NoFrame);
    const QImage plain = panel.grab().toImage();
    EXPECT_EQ(plain.pixel(59, 39), red);
}

TEST(Panel, BasePaintFillsWithColourAndLeavesTheFontOnTheCanvas) {
    TPanel panel;
    panel.SetWidth(50);
    panel.SetHeight(30);
    panel.SetColor(0x00123456);
    panel.Font().SetName("courier new");
    panel.Font().SetSize(12);
    panel.Canvas().SetFont(TFont());
    panel.Repaint();
    EXPECT_EQ(panel.Canvas().Pixel(25, 15), 0x00123456u);
    EXPECT_EQ(panel.Canvas().Font(), panel.Font());
    EXPECT_NE(panel.Canvas().Pixel(49, 29), 0x00123456u); // the bevel is in the image too
}

TEST(Panel, MouseEventsReachOwnerHandlersWithCanvasCoordinates) {
    TPanel panel;
    panel.SetWidth(100);
    panel.SetHeight(80);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    std::vector<std::string> events;
    panel.OnMouseDown = [&](TMouseButton b, TShiftState s, int32_t x, int32_t y) {
        events.push_back("down " + std::to_string(b) + " " + std::to_string(s) + " " +
                         std::to_string(x) + "," + std::to_string(y));
    };
    panel.OnMouseMove = [&](TShiftState s, int32_t x, int32_t y) {
        events.push_back("move " + std::to_string(s) + " " + std::to_string(x) + "," +
                         std::to_string(y));
    };
    panel.OnMouseUp = [&](TMouseButton b, TShiftState s, int32_t x, int32_t y) {
        events.push_back("up " + std::to_string(b) + " " + std::to_string(s) + " " +
                         std::to_string(x) + "," + std::to_string(y));
    };
    QTest::mouseMove(&panel, QPoint(10, 20));
    QTest::mousePress(&panel, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
    QTest::mouseRelease(&panel, Qt::LeftButton, Qt::NoModifier, QPoint(31, 41));
    QTest::mousePress(&panel, Qt::RightButton, Qt::ControlModifier, QPoint(1, 2));
    ProcessEvents();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events.front(), "move 0 10,20");
    EXPECT_NE(std::find(events.begin(), events.end(),
                        "down 0 " + std::to_string(ssShift | ssLeft) + " 30,40"),
              events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "up 0 0 31,41"), events.end());
    EXPECT_EQ(events.back(), "down 1 " + std::to_string(ssCtrl | ssRight) + " 1,2");
}

TEST(Panel, ThrowingOwnerHandlerDoesNotEscapeTheEventLoop) {
    TPanel panel;
    panel.SetWidth(40);
    panel.SetHeight(40);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    int calls = 0;
    panel.OnMouseMove = [&](TShiftState, int32_t, int32_t) {
        ++calls;
        throw std::runtime_error("owner failed");
    };
    QTest::mouseMove(&panel, QPoint(5, 5));
    QTest::mouseMove(&panel, QPoint(6, 6));
    EXPECT_EQ(calls, 2);
}

TEST(Panel, AHugeSizeIsCappedAndAFailedImageKeepsTheOldPicture) {
    TRecordingPanel panel;
    panel.SetWidth(40);
    panel.SetHeight(30);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ProcessEvents();
    ASSERT_EQ(panel.Canvas().Pixel(10, 10), clRed);

    // The image cannot grow: the panel keeps its old picture and shows it, and no exception
    // leaves the resize or paint events.
    SimulateCanvasAllocationFailureAbove(40 * 30);
    EXPECT_NO_THROW(panel.resize(200, 100));
    EXPECT_NO_THROW(ProcessEvents());
    EXPECT_EQ(panel.Canvas().Width(), 40);
    EXPECT_EQ(panel.Canvas().Height(), 30);
    EXPECT_EQ(panel.Canvas().Pixel(10, 10), clRed);
    const QImage shown = panel.grab().toImage();
    EXPECT_EQ(QRgbToColor(shown.pixel(10, 10)), clRed);
    EXPECT_EQ(QRgbToColor(shown.pixel(150, 50)), ColorToRGB(panel.Color())); // beyond the image
    SimulateCanvasAllocationFailureAbove(-1);

    // Once memory is there again, the next resize grows the image.
    panel.resize(201, 100);
    ProcessEvents();
    EXPECT_EQ(panel.Canvas().Width(), 201);

    // A window-system maximum in each direction gets an image within the canvas limits (hidden:
    // a shown window would have the platform allocate a backing store of that size).
    TRecordingPanel huge;
    huge.SetWidth(32767);
    huge.SetHeight(32767);
    EXPECT_EQ(huge.Canvas().Width(), 8192);
    EXPECT_EQ(huge.Canvas().Height(), 8192);
    huge.Repaint();
    EXPECT_EQ(huge.Canvas().Pixel(8191, 8191), clRed);
}

TEST(Panel, ApplicationCursorIsOneOverrideOrNone) {
    TPanel::ClearApplicationCursor();
    TPanel::SetApplicationCursor(Qt::PointingHandCursor);
    TPanel::SetApplicationCursor(Qt::PointingHandCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    TPanel::SetApplicationCursor(Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "overrides do not pile up";
    TPanel::SetApplicationCursor(Qt::PointingHandCursor);
    QApplication::setOverrideCursor(Qt::CrossCursor); // someone else's override
    TPanel::ClearApplicationCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Panel, OnAScreenOfAnotherRatioTheImageIsRebuiltAndPaintedAtThatRatio) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!TwoScreens || screens.size() < 2 || screens[1]->devicePixelRatio() != 2)
        GTEST_SKIP() << "needs the two offscreen screens; the platform was chosen from outside";
    TRecordingPanel panel;
    panel.SetWidth(100);
    panel.SetHeight(60);
    panel.show();
    ProcessEvents();
    for (const auto& [screen, ratio] : {std::pair{1, 2.0}, std::pair{0, 1.0}}) {
        panel.Log.clear();
        panel.move(screens[screen]->geometry().topLeft() + QPoint(40, 40));
        ProcessEvents();
        SCOPED_TRACE(ratio);
        EXPECT_EQ(panel.devicePixelRatioF(), ratio);
        EXPECT_EQ(panel.Canvas().DeviceRatio(), ratio);
        EXPECT_EQ(panel.Canvas().Width(), 100);
        const QImage& image = panel.Canvas().Image();
        EXPECT_EQ(image.width(), int(100 * ratio));
        EXPECT_EQ(image.devicePixelRatio(), ratio);
        // Painted anew at the new ratio: the drawing area red to its last device pixel.
        EXPECT_EQ(panel.Log, std::vector<std::string>{"Paint 100x60"});
        EXPECT_EQ(QRgbToColor(image.pixel(int(99 * ratio) - 1, int(59 * ratio) - 1)), clRed);
        EXPECT_EQ(QRgbToColor(panel.grab().toImage().pixel(50, 30)), clRed);
    }
}

} // namespace
