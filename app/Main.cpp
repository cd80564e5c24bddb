#include "app/Main.h"

#include "app/ChartExport.h"
#include "app/ColorConv.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "platform/gui/Font.h"
#include "relations/FlowConfigurations.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <type_traits>

static_assert(std::is_same_v<TColorValue, TColor>, "colour conversions work on TColor values");

namespace {

// Form design: window frame at (362, 207); client area of 365 x 311 pixels at 96 dpi, so that
// the chart gets 365 x 251 between the top panel (41) and the status line (19).
constexpr int FormLeft = 362;
constexpr int FormTop = 207;
constexpr int ClientWidth = 365;
constexpr int ClientHeight = 311;
constexpr int Panel1Height = 41;
constexpr int StatusBar1Height = 19;

// The form's font and the chart's scale font, as the form design names them.
constexpr const char* DesignFontName = "MS Sans Serif";
constexpr const char* ScaleFontName = "Tahoma";

constexpr TColor CurveColorCr0 = 0x008000; // green
constexpr TColor CurveColorCr1 = 0x0045FF; // orange-red

// "  Ntu=%0.2f   e=%0.2f   Cr=%0.2f": the blanks are part of the texts.
constexpr std::string_view ReadoutFormat = "  Ntu=%0.2f   e=%0.2f   Cr=%0.2f";
constexpr std::string_view ReadoutFormatNoCr = "  Ntu=%0.2f   e=%0.2f";

// Clamps into [low, high]; NaN, which compares false with everything, becomes low.
double ClampOrLow(double value, double low, double high) {
    if (!(value >= low))
        return low;
    return value > high ? high : value;
}

QFont PixelFont(const char* family, int pixels) {
    QFont font(FontFamilyForQt({family}));
    font.setPixelSize(pixels);
    return font;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    CreateControls();
    CreateChartMenu();
    // The chart draws once the settings and curves are complete, not after each of them.
    Chart->BeginUpdate();
    SetChartProperties();
    FormCreate();
    Chart->EndUpdate();
}

TMainForm::~TMainForm() = default;

QFont TMainForm::DesignFont() {
    return PixelFont(DesignFontName, 11); // 8 pt at 96 dpi
}

std::vector<TFontFamilyRequest> TMainForm::FontFamilies() {
    // The chart turns its Y caption with a fixed-pitch font of the scale font's family.
    return {{DesignFontName}, {ScaleFontName}, {ScaleFontName, true}};
}

void TMainForm::CreateControls() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Calvenor"));
    setFont(DesignFont());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(Panel1Height);
    Label1 = new QLabel(QStringLiteral("Flow Configuration"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 12);
    Label1->adjustSize();
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setAccessibleName(QStringLiteral("Flow Configuration"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an item
    // The design leaves 96 pixels for the label; where the font is wider, the list moves right
    // instead of covering the end of the caption.
    ComboBox1->setGeometry(std::max(112, Label1->x() + Label1->width() + 6), 8, 145, 21);
    ComboBox1->setEditText(QStringLiteral("ComboBox1"));
    Label1->setBuddy(ComboBox1);
    layout->addWidget(Panel1);

    Chart = new TChartPanel(central);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setAccessibleName(QStringLiteral("Chart"));
    layout->addWidget(Chart, 1);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setAccessibleName(QStringLiteral("Status"));
    StatusBar1->setFixedHeight(StatusBar1Height);
    // One simple text: a plain label, so that tool tips and menus never replace it.
    FStatusText = new QLabel(StatusBar1);
    FStatusText->setObjectName(QStringLiteral("StatusText"));
    FStatusText->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(FStatusText, 1);
    setStatusBar(StatusBar1);

    resize(ClientWidth, ClientHeight);
    move(FormLeft, FormTop);

    // The list reports a change whenever its text changes: choosing an item or typing.
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    Chart->OnMouseMove = [this](TShiftState Shift, int32_t X, int32_t Y) {
        ChartMouseMove(Shift, X, Y);
    };
}

void TMainForm::CreateChartMenu() {
    auto windowAction = [this](const QString& text, QKeySequence shortcut, const char* name,
                               void (TMainForm::*run)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, run);
        addAction(action); // the window's shortcut, whichever control has the focus
        return action;
    };
    CopyReadoutAction =
        windowAction(QStringLiteral("Copy Read-out"), QKeySequence(Qt::CTRL | Qt::Key_C),
                     "CopyReadoutAction", &TMainForm::CopyReadout);
    CopyChartAction =
        windowAction(QStringLiteral("Copy Chart"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                     "CopyChartAction", &TMainForm::CopyChart);
    SaveChartAction =
        windowAction(QStringLiteral("Save Chart As\u2026"), QKeySequence(Qt::CTRL | Qt::Key_S),
                     "SaveChartAction", &TMainForm::SaveChartAs);
    CopyReadoutAction->setEnabled(false); // nothing to copy before the mouse first moves

    ChartMenu = new QMenu(this);
    ChartMenu->setObjectName(QStringLiteral("ChartMenu"));
    ChartMenu->addActions({CopyReadoutAction, CopyChartAction, SaveChartAction});
    // The menu opens after the chart has handled the press as it handles every button press.
    Chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { ChartMenu->popup(Chart->mapToGlobal(position)); });
    ComboBox1->installEventFilter(this);
    ComboBox1->lineEdit()->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // The list's edit field claims Ctrl+C for copying its own text. In this window the key
    // belongs to the chart: the field neither claims it (ShortcutOverride) nor gets it when the
    // action is disabled (KeyPress).
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : {CopyReadoutAction, CopyChartAction, SaveChartAction}) {
            if (action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void SetMainChartProperties(TChartPanel& Chart) {
    Chart.SetColor(clWindow);
    Chart.setCursor(Qt::CrossCursor);
    Chart.SetBevelOuter(bvLowered);
    Chart.SetAxesColor(clWindowText);
    // The scale fonts come before the grid colour, whose setter redraws the chart at once: that
    // drawing then resolves the fonts the chart keeps, not the default ones it never shows.
    TFont scaleFont;
    scaleFont.SetName(ScaleFontName);
    scaleFont.SetHeight(-11);
    scaleFont.SetColor(clBlack);
    scaleFont.SetStyle(0);
    Chart.SetScaleXFont(scaleFont);
    Chart.SetScaleYFont(scaleFont);
    Chart.SetGridColor(clWhite);
    Chart.SetLeftMargin(55);
    Chart.SetRightMargin(20);
    Chart.SetTopMargin(25);
    Chart.SetBottomMargin(40);
    // Placeholder bounds of the form design; PlotCurves sets the real ones.
    Chart.SetXMin(1);
    Chart.SetXMax(5);
    Chart.SetYMin(1);
    Chart.SetYMax(1);
    Chart.SetShowXScale(true);
    Chart.SetShowYScale(true);
    Chart.SetScaleXTicks(6);
    Chart.SetScaleYTicks(11);
    Chart.SetScaleXLabel("Ntu = UoAo / Cmin");
    Chart.SetScaleYLabel("Effectiveness");
    Chart.SetAxisType(xtQuad1);
    Chart.SetScaleType(stXY);
}

void TMainForm::SetChartProperties() {
    SetMainChartProperties(*Chart);
}

void TMainForm::FormCreate() {
    {
        // Filling and selecting from code is no change made by the user.
        const QSignalBlocker blocker(ComboBox1);
        ComboBox1->clear();
        for (const TFlowConfiguration& c : FlowConfigurations())
            ComboBox1->addItem(QString::fromLatin1(c.Name));
        ComboBox1->setCurrentIndex(0);
    }
    SelectRelations(ComboBox1Index());
    PlotCurves();
}

void TMainForm::ComboBox1Change() {
    SelectRelations(ComboBox1Index());
    PlotCurves();
}

int TMainForm::ComboBox1Index() const {
    return ComboBox1->findText(ComboBox1->currentText(), Qt::MatchFixedString);
}

void TMainForm::SelectRelations(int Index) {
    const std::span<const TFlowConfiguration> flows = FlowConfigurations();
    if (Index < 0 || size_t(Index) >= flows.size())
        return; // no item selected: the previous relations stay
    FRelation = flows[Index].Relation;
    FCrSolver = flows[Index].CrSolver;
}

void TMainForm::PlotCurves() {
    const std::vector<TCurve> curves = CurveFamily(FRelation);
    PlotCurveFamily(*Chart, curves);
    // The fields hold the last point built; the read-out sets them anew before it reads them.
    FCr = curves.back().Cr;
    if (!curves.back().Points.empty()) {
        FNtu = curves.back().Points.back().Ntu;
        FE = curves.back().Points.back().E;
    }
}

std::vector<TCurve> CurveFamily(TRelationFunc relation) {
    std::vector<TCurve> curves;
    for (int i = 0; i <= 4; ++i) {
        TCurve& curve = curves.emplace_back(TCurve{i / 4.0, {}});
        if (relation == nullptr)
            continue;
        for (int j = 0; j <= 25; ++j) {
            try {
                const double ntu = j / 5.0;
                const double e = relation(curve.Cr, ntu);
                if (e >= 0 && e <= 1)
                    curve.Points.push_back({ntu, e});
            } catch (const Exception&) {
                // A point whose relation faults is left out; the curve goes on.
            }
        }
    }
    return curves;
}

void PlotCurveFamily(TChartPanel& chart, const std::vector<TCurve>& curves) {
    chart.Clear();
    const double last = std::max<double>(double(curves.size()) - 1, 1);
    for (size_t i = 0; i < curves.size(); ++i) {
        const TColor color = BlendColors(CurveColorCr0, CurveColorCr1, double(i), 0, last);
        TChartLine* line = chart.AddLine(color, mkNone, nullptr, 3, {});
        line->SetPen(psSolid, 2);
        for (const TCurvePoint& point : curves[i].Points)
            line->AddPoint(point.Ntu, point.E);
    }
    chart.SetScaleXTicks(12);
    chart.SetRanges(0, 5.5, 0, 1);
    chart.Redraw();
}

void TMainForm::ChartMouseMove(TShiftState, int32_t, int32_t) {
    FNtu = ClampOrLow(Chart->CursorX(), 0, 10);
    FE = ClampOrLow(Chart->CursorY(), 0, 1);
    std::string text;
    try {
        if (FCrSolver == nullptr)
            throw Exception("No Cr solver selected");
        FCr = FCrSolver(FNtu, FE);
        text = Format(ReadoutFormat, {FNtu, FE, FCr});
    } catch (const Exception&) {
        text = Format(ReadoutFormatNoCr, {FNtu, FE});
    }
    FStatusText->setText(QString::fromStdString(text));
    CopyReadoutAction->setEnabled(true);
}

QString TMainForm::StatusText() const {
    return FStatusText->text();
}

const TFlowConfiguration* TMainForm::CurrentFlow() const {
    for (const TFlowConfiguration& flow : FlowConfigurations())
        if (flow.Relation == FRelation)
            return &flow;
    return nullptr;
}

QImage TMainForm::ChartImage() const {
    const TFlowConfiguration* flow = CurrentFlow();
    if (flow == nullptr)
        return {};
    return RenderChartImage(*flow, Chart->size(), Chart->devicePixelRatioF());
}

void TMainForm::CopyReadout() {
    if (!StatusText().isEmpty())
        QGuiApplication::clipboard()->setText(StatusText());
}

void TMainForm::CopyChart() {
    try {
        const QImage image = ChartImage();
        if (!image.isNull())
            QGuiApplication::clipboard()->setImage(image);
    } catch (const std::bad_alloc&) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("There is not enough memory to copy the chart."));
    }
}

void TMainForm::SaveChartAs() {
    const TFlowConfiguration* flow = CurrentFlow();
    if (flow == nullptr)
        return;
    QFileDialog dialog(this, QStringLiteral("Save Chart As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString pngFilter = QStringLiteral("PNG image (*.png)");
    dialog.setNameFilters({pngFilter, QStringLiteral("CSV table of the curves (*.csv)")});
    // A name typed without extension takes the one of the chosen file type.
    dialog.setDefaultSuffix(QStringLiteral("png"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(filter == pngFilter ? QStringLiteral("png")
                                                    : QStringLiteral("csv"));
    });
    dialog.setDirectory(FSaveFolder.isEmpty() ? QDir::homePath() : FSaveFolder);
    dialog.selectFile(QString::fromLatin1(flow->Name) + QStringLiteral(".png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    FSaveFolder = QFileInfo(path).absolutePath();
    if (const QString error = SaveChartTo(path); !error.isEmpty())
        QMessageBox::warning(this, windowTitle(), error);
}

QString TMainForm::SaveChartTo(const QString& path) {
    const std::optional<TExportFormat> format = ExportFormatOf(path);
    if (!format)
        return QStringLiteral("The chart was not saved: \"%1\" ends neither in .png nor in .csv.")
            .arg(path);
    const TFlowConfiguration* flow = CurrentFlow();
    if (flow == nullptr)
        return QStringLiteral("The chart was not saved: no flow configuration is selected.");
    return WriteChartFile(path, *format, *flow, Chart->size(), Chart->devicePixelRatioF());
}
