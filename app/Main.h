#pragma once
// TMainForm: the program's only window. A flow-configuration list at the top, the effectiveness
// chart of the selected configuration in the middle (five curves, Cr = 0 to 1), and a status line
// that shows Ntu, e and the Cr needed to reach the point under the mouse.

#include "chartpanel/ChartPanel.h"
#include "platform/gui/FontFamilies.h"
#include "relations/Inverse.h"

#include <QFont>
#include <QImage>
#include <QMainWindow>
#include <QString>
#include <vector>

#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QStatusBar;
class QWidget;
struct TFlowConfiguration;

// Gives a chart the properties the main window stores for its own chart: colours, cursor, bevel,
// fonts, margins, placeholder bounds, scales and captions.
void SetMainChartProperties(TChartPanel& Chart);

// One curve of the chart: the points (Ntu, e) of one capacity-rate ratio.
struct TCurvePoint {
    double Ntu;
    double E;
};
struct TCurve {
    double Cr;
    std::vector<TCurvePoint> Points;
};

// The curve family the window plots: Cr = 0, 0.25, ..., 1, each with the points at Ntu = 0, 0.2,
// ..., 5 where the relation gives an e in [0, 1]; a point whose relation faults is left out. A
// null relation gives five empty curves.
std::vector<TCurve> CurveFamily(TRelationFunc relation);
// Replaces the chart's lines by the curves (colours from green to orange-red, solid, 2 pixels,
// no markers), sets the window's tick count and ranges and redraws.
void PlotCurveFamily(TChartPanel& chart, const std::vector<TCurve>& curves);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the controls with their stored settings, then runs FormCreate.
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Controls; the window owns them. Object names equal the member names.
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    TChartPanel* Chart = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    double FE = 0;
    double FCr = 0;
    double FNtu = 0;
    TRelationFunc FRelation = nullptr;
    TCrSolverFunc FCrSolver = nullptr;

    // The font of the form and of all its controls.
    static QFont DesignFont();
    // The font families the window's first frame asks for, to resolve ahead (FontFamilies.h).
    static std::vector<TFontFamilyRequest> FontFamilies();

    void FormCreate();
    void ComboBox1Change();
    // The relation and Cr solver of FlowConfigurations()[Index] (0 counter, 1 cross, 2 parallel
    // flow, ...); an index without configuration leaves the relations as they are.
    void SelectRelations(int Index);
    // Rebuilds the five curves of the selected relation and redraws the chart.
    void PlotCurves();
    void ChartMouseMove(TShiftState Shift, int32_t X, int32_t Y);

    // The list's current index: the item whose text the edit field shows (letter case ignored,
    // as the list's inline completion ignores it), -1 for none: the list is editable, so the
    // user may type any text.
    int ComboBox1Index() const;
    // The status line's simple text.
    QString StatusText() const;

    // The chart's context menu (right button) and its actions, whose shortcuts work anywhere in
    // the window, also while the list has the focus.
    QMenu* ChartMenu = nullptr;
    QAction* CopyReadoutAction = nullptr; // Ctrl+C: the status line's text
    QAction* CopyChartAction = nullptr;   // Ctrl+Shift+C: the chart as an image
    QAction* SaveChartAction = nullptr;   // Ctrl+S: a file dialog, then SaveChartTo

    // The configuration whose curves the chart shows (nullptr before the first).
    const TFlowConfiguration* CurrentFlow() const;
    // The chart as the window shows it, drawn anew at the screen's device resolution.
    QImage ChartImage() const;
    void CopyReadout();
    void CopyChart();
    void SaveChartAs();
    // Writes the chart to path: PNG or CSV by the extension. Empty when done, else why not.
    QString SaveChartTo(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateChartMenu();
    void SetChartProperties();

    QLabel* FStatusText = nullptr;
    QString FSaveFolder; // where the last chart was saved
};
