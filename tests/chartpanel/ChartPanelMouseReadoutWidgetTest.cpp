// The position read-out of the chart: the text of the data position under the mouse, owner
// formats that cannot be trusted, and the box in both corners with exact blanking.

#include "chartpanel/ChartPanel.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Plot area 300 x 200 pixels, rectangle (40, 25, 340, 225), drawing area 360 x 265.
class ChartPanelReadout : public testing::Test {
protected:
    void SetUp() override {
        Panel.SetWidth(361);
        Panel.SetHeight(266);
        Panel.SetRanges(0, 10, 0, 1); // 30 pixels per X unit, 200 per Y unit
        Panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Panel));
        QApplication::processEvents();
        Panel.Redraw();
        ASSERT_EQ(Panel.PlotRect(), Rect(40, 25, 340, 225));
        ASSERT_EQ(Panel.DrawWidth(), 360);
        ASSERT_EQ(Panel.DrawHeight(), 265);
    }
    void TearDown() override { TPanel::ClearApplicationCursor(); }

    // Moves the mouse to the pixel of data (X, Y) in the 0..10 x 0..1 chart.
    void MoveTo(double X, double Y) {
        Panel.HandleMouseMove(0, 40 + int32_t(X * 30), 225 - int32_t(Y * 200));
    }
    std::string TextAt(double X, double Y, const std::string& XFormat, const std::string& YFormat) {
        Panel.SetShowXPosFmt(XFormat);
        Panel.SetShowYPosFmt(YFormat);
        MoveTo(X, Y);
        return Panel.XYText();
    }

    QImage Picture() { return Panel.Canvas().Image().copy(); }

    // The box as the read-out draws it: the text on the panel colour in the read-out font.
    QImage ExpectedBox(const std::string& Text) const {
        TBitmap Box;
        Box.Canvas().SetFont(Panel.FontXYPos());
        Box.SetSize(Box.Canvas().TextWidth(Text) + 2, Box.Canvas().TextHeight(Text));
        Box.Canvas().Brush.Color = Panel.Color();
        Box.Canvas().FillRect(Rect(0, 0, Box.Width(), Box.Height()));
        Box.Canvas().TextOut(0, 0, Text);
        return Box.Image().copy();
    }

    // Checks that Shown equals Clean with Box pasted at Corner and nothing else changed.
    static void ExpectBoxOn(const QImage& Shown, const QImage& Clean, const QImage& Box,
                            QPoint Corner) {
        ASSERT_EQ(Shown.size(), Clean.size());
        const QRect BoxRect(Corner, Box.size());
        ASSERT_TRUE(QRect(QPoint(0, 0), Clean.size()).contains(BoxRect));
        for (int y = 0; y < Shown.height(); ++y) {
            for (int x = 0; x < Shown.width(); ++x) {
                const QRgb Want = BoxRect.contains(x, y) ? Box.pixel(x - Corner.x(), y - Corner.y())
                                                         : Clean.pixel(x, y);
                ASSERT_EQ(Shown.pixel(x, y), Want) << x << ", " << y;
            }
        }
    }

    TChartPanel Panel;
};

TEST_F(ChartPanelReadout, TextUsesOwnerFormatsOrAutomaticOnes) {
    EXPECT_EQ(TextAt(1.5, 0.25, "%0.2f", "%0.3f"), "[1.50, 0.250]");
    EXPECT_EQ(TextAt(2, 0.5, "", ""), "[2.0, 0.50]");
    EXPECT_EQ(TextAt(0, 0, "", ""), "[0, 0]") << "zero takes %0.0f";
    EXPECT_EQ(TextAt(10, 1, "", ""), "[10.0, 1.0]") << "bounds are inside";
    EXPECT_EQ(TextAt(1.5, 0.25, "Ntu=%5.1f", "e=%0.2f%%"), "[Ntu=  1.5, e=0.25%]");
    EXPECT_EQ(Panel.FormatCursorText("%0.3f", ""), "1.500, 0.25");
    EXPECT_EQ(Panel.FormatCursorText("", "%0.1f"), "1.5, 0.3");
}

TEST_F(ChartPanelReadout, OutsideTheBoundsTheTextIsEmptyBrackets) {
    Panel.SetShowXPosFmt("%0.2f");
    Panel.HandleMouseMove(0, 39, 100); // left of XMin
    EXPECT_EQ(Panel.XYText(), "[]");
    EXPECT_EQ(Panel.FormatCursorText("%0.2f", "%0.2f"), "");
    Panel.HandleMouseMove(0, 100, 226); // below YMin
    EXPECT_EQ(Panel.XYText(), "[]");
    Panel.HandleMouseMove(0, 341, 100); // right of XMax
    EXPECT_EQ(Panel.XYText(), "[]");
    Panel.HandleMouseMove(0, 100, 5); // above YMax
    EXPECT_EQ(Panel.XYText(), "[]");
}

TEST_F(ChartPanelReadout, LargeAndSmallValuesTakeTheirAutomaticFormats) {
    Panel.SetRanges(0, 30000, -0.02, 0.02);
    Panel.Redraw();
    Panel.HandleMouseMove(0, 40 + 150, 225 - 175); // 15000, 0.015
    EXPECT_EQ(Panel.XYText(), "[1.5E004, 0.015]");
    Panel.HandleMouseMove(0, 40 + 30, 225 - 100 + 50); // 3000, -0.01
    EXPECT_EQ(Panel.XYText(), "[3000, -0.0100]");
}

// Owner formats are untrusted: each must take exactly one value. Anything else must neither
// crash nor shift a value into the other axis's format; that axis shows its automatic format.
TEST_F(ChartPanelReadout, UnusableOwnerFormatsFallBackToTheAutomaticFormat) {
    struct Case {
        const char* XFormat;
        const char* YFormat;
        const char* Text;
    };
    const Case Cases[] = {
        {"%0.2f%0.2f", "%0.3f", "[1.5, 0.250]"},  // two values in X
        {"abc", "%0.3f", "[1.5, 0.250]"},         // no value in X
        {"%0.2f", "%0.1f %0.1f", "[1.50, 0.25]"}, // two values in Y
        {"", "none", "[1.5, 0.25]"},              // no value in Y
        {"abc", "%0.2f, %0.2f", "[1.5, 0.25]"},   // the joined format would take two values
        {"%d", "%s", "[1.5, 0.25]"},              // conversions the formatter does not know
        {"%", "%0.", "[1.5, 0.25]"},              // cut off
        {"%0.2f%", "%0.3f", "[1.5, 0.250]"},      // a trailing lone "%"
        {"%2000.2f", "%0.2000f", "[1.5, 0.25]"},  // widths beyond any sensible text
        {"%%", "%%%0.1f", "[1.5, %0.3]"},         // "%%" is literal text
    };
    for (const Case& C : Cases)
        EXPECT_EQ(TextAt(1.5, 0.25, C.XFormat, C.YFormat), C.Text)
            << "'" << C.XFormat << "' / '" << C.YFormat << "'";
}

TEST_F(ChartPanelReadout, CommaDecimalLocaleDoesNotChangeTheText) {
    const std::string Saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    const std::string WithFormats = TextAt(1.5, 0.25, "%0.2f", "%0.3f");
    const std::string Automatic = TextAt(2, 0.5, "", "");
    std::setlocale(LC_ALL, Saved.c_str());
    EXPECT_EQ(WithFormats, "[1.50, 0.250]");
    EXPECT_EQ(Automatic, "[2.0, 0.50]");
}

TEST_F(ChartPanelReadout, HiddenReadoutDrawsNothingAndKeepsItsText) {
    MoveTo(2, 0.5);
    ASSERT_EQ(Panel.XYText(), "[2.0, 0.50]");
    Panel.SetShowXYPos(false);
    const QImage Before = Picture();
    MoveTo(3, 0.75);
    EXPECT_EQ(Panel.XYText(), "[2.0, 0.50]");
    EXPECT_EQ(Panel.CursorX(), 3);
    EXPECT_EQ(Picture(), Before);
    Panel.Redraw();
    EXPECT_EQ(Panel.XYText(), "");
}

TEST_F(ChartPanelReadout, BoxStandsInTheBottomLeftCornerAndBlanksExactly) {
    // Without scales the corner is plain background, so blanking must restore it exactly.
    Panel.SetShowXScale(false);
    Panel.SetShowYScale(false);
    Panel.Redraw();
    const QImage Clean = Picture();

    MoveTo(2, 0.5);
    const QImage First = ExpectedBox("[2.0, 0.50]");
    ExpectBoxOn(Picture(), Clean, First, QPoint(2, 265 - 2 - First.height()));

    Panel.SetShowXPosFmt("%0.4f");
    MoveTo(3, 0.75); // a wider text: the old box is blanked, the new one drawn
    const QImage Second = ExpectedBox("[3.0000, 0.75]");
    ExpectBoxOn(Picture(), Clean, Second, QPoint(2, 265 - 2 - Second.height()));

    Panel.SetShowXPosFmt("");
    MoveTo(1, 0.25); // a narrower one
    const QImage Third = ExpectedBox("[1.0, 0.25]");
    ExpectBoxOn(Picture(), Clean, Third, QPoint(2, 265 - 2 - Third.height()));
}

TEST_F(ChartPanelReadout, BoxStandsInTheTopRightCornerInsideTheDrawingArea) {
    Panel.SetShowXYPosPlace(ppTopRight);
    Panel.SetShowXScale(false);
    Panel.SetShowYScale(false);
    Panel.Redraw();
    const QImage Clean = Picture();

    MoveTo(2, 0.5);
    const QImage First = ExpectedBox("[2.0, 0.50]");
    // The box's right edge is the last column of the drawing area, 3 pixels from its width.
    ExpectBoxOn(Picture(), Clean, First, QPoint(360 - 3 - (First.width() - 2), 3));

    Panel.HandleMouseMove(0, 5, 5);
    const QImage Outside = ExpectedBox("[]");
    ExpectBoxOn(Picture(), Clean, Outside, QPoint(360 - 3 - (Outside.width() - 2), 3));
}

TEST_F(ChartPanelReadout, BoxIsPlacedWithTheReadoutFontWhateverTheScaleFont) {
    // The scales leave their own (much larger) font on the chart canvas; the box must still
    // end inside the drawing area in both corners.
    TFont Large = Panel.ScaleYFont();
    Large.SetHeight(-30);
    Panel.SetScaleXFont(Large);
    Panel.SetScaleYFont(Large);
    Panel.SetShowXYPosPlace(ppTopRight);
    Panel.Redraw();
    const QImage Clean = Picture();
    MoveTo(2, 0.5);
    const QImage Box = ExpectedBox("[2.0, 0.50]");
    const QPoint Corner(360 - 3 - (Box.width() - 2), 3);
    const QImage Shown = Picture();
    for (int y = 0; y < Box.height(); ++y)
        for (int x = 0; x < Box.width(); ++x)
            ASSERT_EQ(Shown.pixel(Corner.x() + x, Corner.y() + y), Box.pixel(x, y))
                << x << ", " << y;
    EXPECT_EQ(Shown.pixel(Corner.x() - 1, Corner.y()), Clean.pixel(Corner.x() - 1, Corner.y()));
}

TEST_F(ChartPanelReadout, RedrawRemovesTheBoxAndTheNextMoveHasNothingToBlank) {
    Panel.SetShowXScale(false);
    Panel.SetShowYScale(false);
    Panel.Redraw();
    const QImage Clean = Picture();
    MoveTo(2, 0.5);
    ASSERT_NE(Picture(), Clean);
    Panel.Redraw();
    EXPECT_EQ(Panel.XYText(), "");
    EXPECT_EQ(Picture(), Clean);
    MoveTo(1, 0.25);
    const QImage Box = ExpectedBox("[1.0, 0.25]");
    ExpectBoxOn(Picture(), Clean, Box, QPoint(2, 265 - 2 - Box.height()));
}

} // namespace
