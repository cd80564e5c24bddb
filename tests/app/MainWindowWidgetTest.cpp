#include "app/Main.h"

#include "app/ChartExport.h"
#include "app/StartUp.h"
#include "platform/NumberText.h"
#include "relations/Effectiveness.h"
#include "relations/FlowConfigurations.h"
#include "relations/Inverse.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Readable QStrings in failure messages.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr TColor MiddleCurveColor =
    std::numeric_limits<long double>::digits >= 64 ? 0x00BFA6 : 0x00C0A6;
const TColor CurveColors[5] = {0x008000, 0x00A045, MiddleCurveColor, 0x009DDF, 0x0045FF};

class MainWindow : public testing::Test {
protected:
    void SetUp() override {
        SetProcessNumberFormat();
        Form = std::make_unique<TMainForm>();
    }

    void Show(int width = 0, int height = 0) {
        if (width > 0)
            Form->resize(width, height);
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        QApplication::processEvents();
    }

    // Sends a mouse move to the chart at pixel p, as the window system would.
    void MoveTo(QPoint p) {
        QMouseEvent event(QEvent::MouseMove, QPointF(p), Form->Chart->mapToGlobal(QPointF(p)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Form->Chart, &event);
    }

    // The pixel inside the plot area whose data coordinates lie nearest to (x, y).
    QPoint PixelOf(double x, double y) const {
        const TRect plot = Form->Chart->PlotRect();
        QPoint best(plot.Left, plot.Top);
        for (int px = plot.Left; px < plot.Right; ++px)
            if (std::abs(Form->Chart->PixelToData(px, plot.Top).first - x) <
                std::abs(Form->Chart->PixelToData(best.x(), plot.Top).first - x))
                best.setX(px);
        for (int py = plot.Top; py < plot.Bottom; ++py)
            if (std::abs(Form->Chart->PixelToData(plot.Left, py).second - y) <
                std::abs(Form->Chart->PixelToData(plot.Left, best.y()).second - y))
                best.setY(py);
        return best;
    }

    std::string Status() const { return Form->StatusText().toStdString(); }

    void ExpectCurvesOf(TRelationFunc relation) const {
        const TChartLineVec& lines = Form->Chart->Lines();
        ASSERT_EQ(lines.size(), 5u);
        for (size_t i = 0; i < lines.size(); ++i) {
            const TChartLine& line = *lines[i];
            EXPECT_EQ(line.LineColor, CurveColors[i]) << "curve " << i;
            EXPECT_EQ(line.PenStyle, psSolid);
            EXPECT_EQ(line.PenWidth, 2);
            EXPECT_EQ(line.MarkerKind, mkNone);
            ASSERT_EQ(line.Points.size(), 26u) << "curve " << i;
            for (size_t j = 0; j < line.Points.size(); ++j) {
                const TChartPoint& point = *line.Points[j];
                EXPECT_DOUBLE_EQ(point.X, j / 5.0);
                EXPECT_DOUBLE_EQ(point.Y, relation(i / 4.0, j / 5.0)) << i << "," << j;
                EXPECT_FALSE(point.Draggable);
            }
        }
    }

    std::unique_ptr<TMainForm> Form;
};

} // namespace

TEST_F(MainWindow, ControlsAndChartPropertiesAsDesigned) {
    Show();
    EXPECT_EQ(Form->windowTitle(), "Calvenor");
    EXPECT_EQ(Form->Chart->width(), 365);
    EXPECT_EQ(Form->Chart->height(), 251);
    EXPECT_FALSE(Form->Chart->Updating()); // construction's batch of chart changes has ended
    EXPECT_EQ(Form->Panel1->height(), 41);
    EXPECT_EQ(Form->StatusBar1->height(), 19);
    const QRect list = Form->ComboBox1->geometry();
    EXPECT_EQ(list.size(), QSize(145, 21));
    EXPECT_EQ(list.top(), 8);
    EXPECT_GE(list.left(), 112);                              // right of the caption,
    EXPECT_LT(Form->Label1->geometry().right(), list.left()); // never over it
    EXPECT_LE(list.right(), Form->width());
    EXPECT_EQ(Form->Label1->pos(), QPoint(16, 12));
    EXPECT_EQ(Form->Label1->text(), "Flow Configuration");
    EXPECT_EQ(Form->findChild<QComboBox*>("ComboBox1"), Form->ComboBox1);
    EXPECT_EQ(Form->findChild<TChartPanel*>("Chart"), Form->Chart);
    EXPECT_EQ(Form->findChild<QStatusBar*>("StatusBar1"), Form->StatusBar1);

    const TChartPanel& chart = *Form->Chart;
    EXPECT_EQ(chart.Color(), clWindow);
    EXPECT_EQ(chart.cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(chart.BevelOuter(), bvLowered);
    EXPECT_EQ(chart.AxesColor(), clWindowText);
    EXPECT_EQ(chart.GridColor(), clWhite);
    EXPECT_EQ(chart.LeftMargin(), 55);
    EXPECT_EQ(chart.RightMargin(), 20);
    EXPECT_EQ(chart.TopMargin(), 25);
    EXPECT_EQ(chart.BottomMargin(), 40);
    EXPECT_EQ(chart.ScaleXFont().Name(), "Tahoma");
    EXPECT_EQ(chart.ScaleXFont().Height(), -11);
    EXPECT_EQ(chart.ScaleYFont().Name(), "Tahoma");
    EXPECT_EQ(chart.ScaleYFont().Color(), clBlack);
    EXPECT_EQ(chart.ScaleXTicks(), 12);
    EXPECT_EQ(chart.ScaleYTicks(), 11);
    EXPECT_EQ(chart.ScaleXLabel(), "Ntu = UoAo / Cmin");
    EXPECT_EQ(chart.ScaleYLabel(), "Effectiveness");
    EXPECT_EQ(chart.AxisType(), xtQuad1);
    EXPECT_EQ(chart.ScaleType(), stXY);
    EXPECT_EQ(chart.XMin(), 0);
    EXPECT_EQ(chart.XMax(), 5.5);
    EXPECT_EQ(chart.YMin(), 0);
    EXPECT_EQ(chart.YMax(), 1);
}

// Start-up resolves the window's font families ahead, off the main thread: the window's first
// frame, the turned caption among it, then asks for no other.
TEST(MainWindowFonts, TheFamiliesResolvedAheadAreAllTheFirstFrameAsksFor) {
    ResolveFontFamilies(TMainForm::FontFamilies());
    const size_t ahead = ResolvedFontFamilyCount();
    TMainForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.grab(); // paints every control and the whole chart
    EXPECT_EQ(ResolvedFontFamilyCount(), ahead);
}

TEST_F(MainWindow, StartsWithCounterFlowAndItsFiveCurves) {
    const char* items[] = {"CounterFlow",    "CrossFlow",          "ParallelFlow",
                           "CrossFlowExact", "CrossFlowMixedCmin", "CrossFlowMixedCmax",
                           "ShellTube1",     "ShellTube2",         "ShellTube3"};
    ASSERT_EQ(Form->ComboBox1->count(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Form->ComboBox1->itemText(i), items[i]);
    EXPECT_EQ(Form->ComboBox1->currentText(), "CounterFlow");
    EXPECT_TRUE(Form->ComboBox1->isEditable());
    EXPECT_EQ(Form->FRelation, &CounterFlowE);
    EXPECT_EQ(Form->FCrSolver, &CounterFlowCr);
    ExpectCurvesOf(CounterFlowE);
    EXPECT_EQ(Status(), ""); // before the mouse first moves
}

TEST_F(MainWindow, ChoosingAConfigurationRebuildsTheCurves) {
    Show();
    Form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(Form->FRelation, &CrossFlowE);
    EXPECT_EQ(Form->FCrSolver, &CrossFlowCr);
    ExpectCurvesOf(CrossFlowE);
    Form->ComboBox1->setCurrentIndex(2);
    EXPECT_EQ(Form->FRelation, &ParallelFlowE);
    EXPECT_EQ(Form->FCrSolver, &ParallelFlowCr);
    ExpectCurvesOf(ParallelFlowE);
    const TRelationFunc newer[] = {CrossFlowExactE, CrossFlowMixedCminE, CrossFlowMixedCmaxE,
                                   ShellTube1E,     ShellTube2E,         ShellTube3E};
    const TCrSolverFunc newerSolvers[] = {CrossFlowExactCr,     CrossFlowMixedCminCr,
                                          CrossFlowMixedCmaxCr, ShellTube1Cr,
                                          ShellTube2Cr,         ShellTube3Cr};
    for (int i = 0; i < 6; ++i) {
        Form->ComboBox1->setCurrentIndex(3 + i);
        EXPECT_EQ(Form->FRelation, newer[i]) << i;
        EXPECT_EQ(Form->FCrSolver, newerSolvers[i]) << i;
        ExpectCurvesOf(newer[i]);
    }
    Form->ComboBox1->setCurrentIndex(0);
    ExpectCurvesOf(CounterFlowE);
}

TEST_F(MainWindow, ArrowKeysStepThroughTheNineInListOrder) {
    Show();
    QWidget* edit = Form->ComboBox1->lineEdit();
    const std::span<const TFlowConfiguration> flows = FlowConfigurations();
    for (int i = 1; i <= 9; ++i) { // the last press stays on the last item
        QTest::keyClick(edit, Qt::Key_Down);
        const int expected = std::min(i, 8);
        ASSERT_EQ(Form->ComboBox1->currentIndex(), expected);
        EXPECT_EQ(Form->FRelation, flows[expected].Relation) << flows[expected].Name;
        EXPECT_EQ(Form->FCrSolver, flows[expected].CrSolver) << flows[expected].Name;
    }
    ExpectCurvesOf(ShellTube3E);
    for (int i = 7; i >= 0; --i) {
        QTest::keyClick(edit, Qt::Key_Up);
        ASSERT_EQ(Form->ComboBox1->currentIndex(), i);
        EXPECT_EQ(Form->FRelation, flows[i].Relation) << flows[i].Name;
    }
    ExpectCurvesOf(CounterFlowE);
}

TEST_F(MainWindow, TypedTextThatIsNoItemKeepsTheRelations) {
    Show();
    Form->ComboBox1->setCurrentIndex(1);
    for (const char* text : {"Spiral", "Counter", "CrossFlow ", ""}) {
        Form->ComboBox1->setEditText(text);
        EXPECT_EQ(Form->ComboBox1Index(), -1) << text;
        EXPECT_EQ(Form->FRelation, &CrossFlowE) << text;
        EXPECT_EQ(Form->FCrSolver, &CrossFlowCr) << text;
        ExpectCurvesOf(CrossFlowE);
    }
    EXPECT_EQ(Form->ComboBox1->count(), 9); // typing adds no item
    Form->ComboBox1->setEditText("ParallelFlow");
    EXPECT_EQ(Form->FRelation, &ParallelFlowE);
}

TEST_F(MainWindow, TypingAPrefixCompletesToTheItemInAnyLetterCase) {
    Show();
    Form->ComboBox1->lineEdit()->selectAll();
    QTest::keyClicks(Form->ComboBox1->lineEdit(), "cr"); // completes inline to "crossFlow"
    EXPECT_EQ(Form->ComboBox1Index(), 1) << Form->ComboBox1->currentText().toStdString();
    EXPECT_EQ(Form->FRelation, &CrossFlowE);
    ExpectCurvesOf(CrossFlowE);
    QTest::keyClick(Form->ComboBox1->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Form->ComboBox1->currentText(), "CrossFlow");
    EXPECT_EQ(Form->ComboBox1->count(), 9);
    EXPECT_EQ(Form->FRelation, &CrossFlowE);

    // The first item that starts with the typed text, whatever the letter case.
    const struct {
        const char* typed;
        int index;
    } rows[] = {{"crossflowe", 3}, {"CROSSFLOWM", 4},         {"CrossFlowMixedCma", 5},
                {"s", 6},          {"shelltube2", 7},         {"ShellTube3", 8},
                {"pa", 2},         {"crossflowmixedcmin", 4}, {"co", 0}};
    const std::span<const TFlowConfiguration> flows = FlowConfigurations();
    for (const auto& row : rows) {
        Form->ComboBox1->lineEdit()->selectAll();
        QTest::keyClicks(Form->ComboBox1->lineEdit(), row.typed);
        EXPECT_EQ(Form->ComboBox1Index(), row.index) << row.typed;
        EXPECT_EQ(Form->FRelation, flows[row.index].Relation) << row.typed;
        QTest::keyClick(Form->ComboBox1->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(Form->ComboBox1->currentText().toStdString(), flows[row.index].Name);
        EXPECT_EQ(Form->ComboBox1->count(), 9);
        ExpectCurvesOf(flows[row.index].Relation);
    }
}

TEST_F(MainWindow, SelectRelationsIgnoresIndicesWithoutItem) {
    Form->SelectRelations(2);
    Form->SelectRelations(9); // the first index after the nine items
    Form->SelectRelations(-1);
    Form->SelectRelations(std::numeric_limits<int>::min());
    EXPECT_EQ(Form->FRelation, &ParallelFlowE);
    EXPECT_EQ(Form->FCrSolver, &ParallelFlowCr);
}

TEST_F(MainWindow, StatusLineShowsNtuEAndTheCrNeededThere) {
    Show(1200, 900); // fine pixels: the nearest pixel lies within 0.003 of the data point
    MoveTo(PixelOf(2, 0.7));
    EXPECT_EQ(Status(), "  Ntu=2.00   e=0.70   Cr=0.85");
    EXPECT_NEAR(Form->FNtu, 2, 0.003);
    EXPECT_NEAR(Form->FE, 0.7, 0.003);
    EXPECT_DOUBLE_EQ(Form->FCr, CounterFlowCr(Form->FNtu, Form->FE));

    MoveTo(PixelOf(1, 0.9)); // above the Cr = 0 curve
    EXPECT_EQ(Status(), "  Ntu=1.00   e=0.90   Cr=1.00");
    MoveTo(PixelOf(4, 0.3)); // below the Cr = 1 curve
    EXPECT_EQ(Status(), "  Ntu=4.00   e=0.30   Cr=1.00");

    // Every chart solves with its own configuration: the Cr shown gives e back at that Ntu.
    for (const TFlowConfiguration& c : FlowConfigurations()) {
        SCOPED_TRACE(c.Name);
        Form->ComboBox1->setCurrentIndex(int(&c - FlowConfigurations().data()));
        MoveTo(PixelOf(2, 0.7));
        EXPECT_DOUBLE_EQ(Form->FCr, c.CrSolver(Form->FNtu, Form->FE));
        EXPECT_NEAR(c.Relation(Form->FCr, Form->FNtu), Form->FE, 1e-5);
        EXPECT_GT(Form->FCr, 0.05);
        EXPECT_LT(Form->FCr, 0.95);
        EXPECT_EQ(Status(), Format("  Ntu=%0.2f   e=%0.2f   Cr=%0.2f", {2, 0.7, Form->FCr}));
        MoveTo(PixelOf(1, 0.9)); // above the Cr = 0 curve of every configuration
        EXPECT_EQ(Status(), "  Ntu=1.00   e=0.90   Cr=1.00");
    }
}

TEST_F(MainWindow, StatusLineClampsOutsideThePlot) {
    Show();
    const TRect plot = Form->Chart->PlotRect();
    const QPoint inside = PixelOf(2, 0.5);
    MoveTo(QPoint(plot.Left - 30, inside.y())); // left of the plot: negative data x
    ASSERT_LT(Form->Chart->CursorX(), 0);
    EXPECT_EQ(Status().substr(0, 18), "  Ntu=0.00   e=0.5");
    EXPECT_EQ(Status().substr(Status().size() - 10), "   Cr=0.00");

    MoveTo(QPoint(inside.x(), plot.Top - 15)); // above the plot: e beyond 1
    ASSERT_GT(Form->Chart->CursorY(), 1);
    EXPECT_NE(Status().find("   e=1.00   Cr=1.00"), std::string::npos) << Status();
    EXPECT_EQ(Form->FE, 1);

    const std::string last = Status();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Form->Chart, &leave);
    EXPECT_EQ(Status(), last); // leaving the chart keeps the last text
}

TEST_F(MainWindow, StatusNumbersUseThePointWhateverTheLocale) {
    Show(1200, 900);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 1.5);
    EXPECT_STREQ(probe, "1,50"); // the C library now writes commas
    MoveTo(PixelOf(1.5, 0.7));
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(Status().substr(0, 27), "  Ntu=1.50   e=0.70   Cr=0.") << Status();
    EXPECT_EQ(Status().find(','), std::string::npos) << Status();
}

TEST_F(MainWindow, TheRightButtonOpensTheChartMenuAfterTheChartHandledThePress) {
    Show();
    std::vector<TMouseButton> pressed;
    Form->Chart->OnMouseDown = [&](TMouseButton button, TShiftState, int32_t, int32_t) {
        pressed.push_back(button);
    };
    const QPoint point = PixelOf(2, 0.5);
    // Through the window, as the window system delivers it: the context menu event follows the
    // press there.
    QWindow* window = Form->windowHandle();
    const QPoint inWindow = Form->Chart->mapTo(Form.get(), point);
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, inWindow);
    EXPECT_EQ(pressed, std::vector<TMouseButton>{mbRight});
    const auto [x, y] = Form->Chart->PixelToData(point.x(), point.y());
    EXPECT_EQ(Form->Chart->CursorX(), x); // the press updated the cursor as every press does
    EXPECT_EQ(Form->Chart->CursorY(), y);
    ASSERT_TRUE(Form->ChartMenu->isVisible());
    QStringList entries;
    for (const QAction* action : Form->ChartMenu->actions())
        entries << action->text() + " | " + action->shortcut().toString();
    EXPECT_EQ(entries, QStringList({"Copy Read-out | Ctrl+C", "Copy Chart | Ctrl+Shift+C",
                                    QString::fromUtf8("Save Chart As\u2026 | Ctrl+S")}));
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, inWindow);
    Form->ChartMenu->hide();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, inWindow);
    EXPECT_FALSE(Form->ChartMenu->isVisible()); // only the right button opens it
    EXPECT_EQ(pressed, (std::vector<TMouseButton>{mbRight, mbLeft}));
}

TEST_F(MainWindow, TheMenusShortcutsCopyAndSaveWhileTheListHasTheFocus) {
    Show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->ComboBox1->setCurrentIndex(7);
    const TFlowConfiguration& flow = FlowConfigurations()[7];
    const QImage chart = Form->Chart->Canvas().Image(); // before the read-out box appears
    Form->ComboBox1->setFocus();
    Form->ComboBox1->lineEdit()->selectAll(); // the edit field would copy this selection
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus == Form->ComboBox1 || focus == Form->ComboBox1->lineEdit());
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");

    QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "before"); // no read-out before the mouse first moves
    MoveTo(PixelOf(2, 0.7));
    ASSERT_EQ(Status().substr(0, 22), "  Ntu=2.00   e=0.70   ");
    QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), Form->StatusText()); // as it stands, blanks included
    QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(clipboard->image().convertToFormat(QImage::Format_RGB32) == chart);
    EXPECT_EQ(Form->ComboBox1->currentText(), "ShellTube2"); // the keys changed nothing there

    std::string pattern = (std::filesystem::temp_directory_path() / "save-chart-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const QString folder = QString::fromStdString(pattern);
    // Ctrl+S opens the file dialog; a name typed without extension takes the chosen type's.
    auto saveAs = [&](const char* name, bool csv) {
        Form->activateWindow(); // back from the last dialog
        EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        QStringList filters;
        QString directory;
        // The dialog runs its own event loop; this answers it from there. Without a dialog the
        // timer finds nothing and the check of the filters fails.
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            if (csv)
                QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            dialog->selectFile(folder + "/" + name);
            static_cast<QDialog*>(dialog)->accept(); // as the Save button does
        });
        QTest::keyClick(focus, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(filters, QStringList({"PNG image (*.png)", "CSV table of the curves (*.csv)"}));
        return directory;
    };
    saveAs("chart", false);
    EXPECT_TRUE(QImage(folder + "/chart.png").convertToFormat(QImage::Format_RGB32) == chart);
    EXPECT_EQ(saveAs("curves", true), folder); // the dialog opens where the last chart went
    std::ifstream table(pattern + "/curves.csv", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(table), {}), CurveTableCsv(flow));

    // Neither PNG nor CSV: nothing is written, and the message says why.
    EXPECT_EQ(Form->SaveChartTo(folder + "/chart.txt").toStdString(),
              "The chart was not saved: \"" + pattern +
                  "/chart.txt\" ends neither in .png nor in "
                  ".csv.");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"chart.png", "curves.csv"}));
    std::filesystem::remove_all(pattern);
}
