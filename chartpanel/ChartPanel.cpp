// TChartPanel, TChartLine and TChartPoint: construction, properties and the data model.
#include "chartpanel/ChartPanel.h"

#include "chartpanel/ChartPanelState.h"

namespace {

// Frees a list from the last entry to the first. A failure while freeing ends the loop and is
// discarded; the list is empty afterwards in any case.
template <typename List> void FreeAll(List& items) noexcept {
    try {
        while (!items.empty()) {
            auto item = std::move(items.back());
            items.pop_back();
            item.reset();
        }
    } catch (...) {
    }
    items.clear();
}

} // namespace

// --- TChartPanel: construction -------------------------------------------------------------

TChartPanel::TChartPanel(QWidget* owner) : TPanel(owner), FState(std::make_unique<TState>()) {
    TState& s = *FState;
    SetHeight(200);
    SetWidth(250);
    SetCaption(std::string());
    s.FTitle.clear();
    s.FTitleAlignment = taCenter;
    RefreshDrawSize();
    PrepareCanvas(Canvas(), s.FDrawWidth, s.FDrawHeight, false, false);
    SetColor(clWindow);
    s.FGridColor = clWhite;
    s.FAxesColor = clWindowText;
    s.FLeftMargin = 40;
    s.FTopMargin = 25;
    s.FRightMargin = 20;
    s.FBottomMargin = 40;
    s.SetScaleType(stXY);
    s.FXMap.ScaledMin = 1.0;
    s.FXMap.ScaledMax = 10.0;
    s.FYMap.ScaledMin = 1.0;
    s.FYMap.ScaledMax = 10.0;
    // The fonts start as the drawing canvas's font, which PrepareCanvas has just set.
    s.FShowXScale = true;
    s.FScaleXFont.Assign(s.FDrawCanvas->Font());
    s.FScaleXTicks = 6;
    s.FShowYScale = true;
    s.FScaleYFont.Assign(s.FDrawCanvas->Font());
    s.FScaleYTicks = 6;
    s.FShowXYPos = true;
    s.FShowXYPosPlace = ppBottomLeft;
    s.FAxisType = xtQuad1;
    SetBevelInner(bvNone);
    SetBevelOuter(bvLowered);
    s.FDragging = false;
    s.FFontLabels.Assign(s.FDrawCanvas->Font());
    s.FFontXYPos.Assign(s.FDrawCanvas->Font());
    s.FLabelImage = std::make_unique<TBitmap>();
    s.FXYBoxImage = std::make_unique<TBitmap>();
}

TChartPanel::~TChartPanel() {
    Clear();
}

void TChartPanel::SetHeight(int32_t value) {
    TPanel::SetHeight(value);
    FState->FDesignHeight = static_cast<int32_t>(int64_t{value} - BevelWidth());
}

void TChartPanel::SetWidth(int32_t value) {
    TPanel::SetWidth(value);
    FState->FDesignWidth = static_cast<int32_t>(int64_t{value} - BevelWidth());
}

void TChartPanel::RefreshDrawSize() {
    FState->FDrawWidth = Width() - BevelWidth();
    FState->FDrawHeight = Height() - BevelWidth();
}

void TChartPanel::DesignRedraw() {
    if (DesignMode())
        Redraw();
}

void TChartPanel::TState::SetScaleType(TScaleType value) {
    FScaleType = value;
    FXMap.Log = value == stlnXY || value == stlnXlnY;
    FYMap.Log = value == stXlnY || value == stlnXlnY;
}

// --- Properties ----------------------------------------------------------------------------
// A setter stores; in design mode it also repaints (GridColor always does).

TColor TChartPanel::GridColor() const {
    return FState->FGridColor;
}
void TChartPanel::SetGridColor(TColor value) {
    FState->FGridColor = value;
    Redraw();
}

TColor TChartPanel::AxesColor() const {
    return FState->FAxesColor;
}
void TChartPanel::SetAxesColor(TColor value) {
    FState->FAxesColor = value;
    DesignRedraw();
}

int32_t TChartPanel::LeftMargin() const {
    return FState->FLeftMargin;
}
void TChartPanel::SetLeftMargin(int32_t value) {
    FState->FLeftMargin = value;
    DesignRedraw();
}

int32_t TChartPanel::RightMargin() const {
    return FState->FRightMargin;
}
void TChartPanel::SetRightMargin(int32_t value) {
    FState->FRightMargin = value;
    DesignRedraw();
}

int32_t TChartPanel::TopMargin() const {
    return FState->FTopMargin;
}
void TChartPanel::SetTopMargin(int32_t value) {
    FState->FTopMargin = value;
    DesignRedraw();
}

int32_t TChartPanel::BottomMargin() const {
    return FState->FBottomMargin;
}
void TChartPanel::SetBottomMargin(int32_t value) {
    FState->FBottomMargin = value;
    DesignRedraw();
}

TAlignment TChartPanel::TitleAlignment() const {
    return FState->FTitleAlignment;
}
void TChartPanel::SetTitleAlignment(TAlignment value) {
    FState->FTitleAlignment = value;
    DesignRedraw();
}

bool TChartPanel::ShowXScale() const {
    return FState->FShowXScale;
}
void TChartPanel::SetShowXScale(bool value) {
    FState->FShowXScale = value;
    DesignRedraw();
}

bool TChartPanel::ShowYScale() const {
    return FState->FShowYScale;
}
void TChartPanel::SetShowYScale(bool value) {
    FState->FShowYScale = value;
    DesignRedraw();
}

TAxisType TChartPanel::AxisType() const {
    return FState->FAxisType;
}
void TChartPanel::SetAxisType(TAxisType value) {
    FState->FAxisType = value;
    DesignRedraw();
}

const std::string& TChartPanel::Title() const {
    return FState->FTitle;
}
void TChartPanel::SetTitle(const std::string& value) {
    FState->FTitle = value;
    DesignRedraw();
}

const std::string& TChartPanel::ScaleXLabel() const {
    return FState->FScaleXLabel;
}
void TChartPanel::SetScaleXLabel(const std::string& value) {
    FState->FScaleXLabel = value;
    DesignRedraw();
}

const std::string& TChartPanel::ScaleYLabel() const {
    return FState->FScaleYLabel;
}
void TChartPanel::SetScaleYLabel(const std::string& value) {
    FState->FScaleYLabel = value;
    DesignRedraw();
}

// The read-out settings only store: the next mouse move shows them.

bool TChartPanel::ShowXYPos() const {
    return FState->FShowXYPos;
}
void TChartPanel::SetShowXYPos(bool value) {
    FState->FShowXYPos = value;
}

TXYPosPlace TChartPanel::ShowXYPosPlace() const {
    return FState->FShowXYPosPlace;
}
void TChartPanel::SetShowXYPosPlace(TXYPosPlace value) {
    FState->FShowXYPosPlace = value;
}

const std::string& TChartPanel::ShowXPosFmt() const {
    return FState->FShowXPosFmt;
}
void TChartPanel::SetShowXPosFmt(const std::string& value) {
    FState->FShowXPosFmt = value;
}

const std::string& TChartPanel::ShowYPosFmt() const {
    return FState->FShowYPosFmt;
}
void TChartPanel::SetShowYPosFmt(const std::string& value) {
    FState->FShowYPosFmt = value;
}

// Font setters copy the attributes into the panel's own font object.

const TFont& TChartPanel::FontLabels() const {
    return FState->FFontLabels;
}
void TChartPanel::SetFontLabels(const TFont& value) {
    FState->FFontLabels.Assign(value);
    DesignRedraw();
}

const TFont& TChartPanel::FontXYPos() const {
    return FState->FFontXYPos;
}
void TChartPanel::SetFontXYPos(const TFont& value) {
    FState->FFontXYPos.Assign(value);
    DesignRedraw();
}

const TFont& TChartPanel::ScaleXFont() const {
    return FState->FScaleXFont;
}
void TChartPanel::SetScaleXFont(const TFont& value) {
    FState->FScaleXFont.Assign(value);
    DesignRedraw();
}

const TFont& TChartPanel::ScaleYFont() const {
    return FState->FScaleYFont;
}
void TChartPanel::SetScaleYFont(const TFont& value) {
    FState->FScaleYFont.Assign(value);
    DesignRedraw();
}

int32_t TChartPanel::ScaleXTicks() const {
    return FState->FScaleXTicks;
}
void TChartPanel::SetScaleXTicks(int32_t value) {
    FState->FScaleXTicks = value < 2 ? 2 : value;
    DesignRedraw();
}

int32_t TChartPanel::ScaleYTicks() const {
    return FState->FScaleYTicks;
}
void TChartPanel::SetScaleYTicks(int32_t value) {
    FState->FScaleYTicks = value < 2 ? 2 : value;
    DesignRedraw();
}

// --- Read-only state -----------------------------------------------------------------------

bool TChartPanel::Updating() const {
    return FState->FUpdateCount > 0;
}
double TChartPanel::CursorX() const {
    return FState->FCursorX;
}
double TChartPanel::CursorY() const {
    return FState->FCursorY;
}
TCanvas* TChartPanel::DrawCanvas() const {
    return FState->FDrawCanvas;
}
int32_t TChartPanel::DrawWidth() const {
    return FState->FDrawWidth;
}
int32_t TChartPanel::DrawHeight() const {
    return FState->FDrawHeight;
}
int32_t TChartPanel::DesignWidth() const {
    return FState->FDesignWidth;
}
int32_t TChartPanel::DesignHeight() const {
    return FState->FDesignHeight;
}
const TChartLineVec& TChartPanel::Lines() const {
    return FState->FLines;
}
const TChartPointVec& TChartPanel::FreePoints() const {
    return FState->FFreePoints;
}
TChartPoint* TChartPanel::HoverPoint() const {
    return FState->FHoverPoint;
}
TChartPoint* TChartPanel::SelectedPoint() const {
    return FState->FSelectedPoint;
}
TChartLine* TChartPanel::HoverLine() const {
    return FState->FHoverLine;
}
bool TChartPanel::Dragging() const {
    return FState->FDragging;
}
const std::string& TChartPanel::XYText() const {
    return FState->FXYText;
}

// --- Operations ----------------------------------------------------------------------------

void TChartPanel::Clear() {
    TState& s = *FState;
    // No reference to a line or point may outlive them.
    s.FHoverPoint = nullptr;
    s.FSelectedPoint = nullptr;
    s.FHoverLine = nullptr;
    s.FDragging = false;
    FreeAll(s.FLines);
    FreeAll(s.FFreePoints);
}

TChartLine* TChartPanel::AddLine(TColor color, uint8_t markerKind, const TBitmap* bitmap,
                                 int32_t markerSize, const TPointVec& markerShape) {
    auto line = std::make_unique<TChartLine>(this);
    line->LineColor = Compensate(color);
    line->MarkerKind = markerKind;
    line->MarkerSize = markerSize;
    line->MarkerShape = markerShape;
    line->SetPen(ChartDefaults::PenStyle, ChartDefaults::PenWidth);
    line->SetMarkerStyle(color, color, psSolid, 2);
    line->MarkerBitmap = MakeXorBitmap(bitmap, FState->FGridColor);
    if (line->MarkerBitmap)
        line->MarkerSize = MarkerSizeOf(*line->MarkerBitmap);
    return FState->FLines.emplace_back(std::move(line)).get();
}

TChartPoint* TChartPanel::AddFreePoint(double x, double y, TColor color, uint8_t markerKind,
                                       int32_t size) {
    auto point = std::make_unique<TChartPoint>(this, x, y);
    point->MarkerKind = markerKind;
    point->Draggable = markerKind != mkNone;
    point->Size = size;
    point->SetLabel(lmNone, std::string(), true);
    point->SetStyle(color, color, true, 2, psSolid);
    return FState->FFreePoints.emplace_back(std::move(point)).get();
}

namespace {

// Equal bounds are widened so that the axis never has zero width.
std::pair<double, double> WidenedRange(double min, double max) {
    if (min != max)
        return {min, max};
    if (min == 0)
        return {min, 1};
    return {min * 0.5, max * 1.5};
}

} // namespace

void TChartPanel::SetXRange(double min, double max) {
    const auto [low, high] = WidenedRange(min, max);
    SetXMin(low);
    SetXMax(high);
}

void TChartPanel::SetYRange(double min, double max) {
    const auto [low, high] = WidenedRange(min, max);
    SetYMin(low);
    SetYMax(high);
}

void TChartPanel::SetRanges(double xMin, double xMax, double yMin, double yMax) {
    SetXRange(xMin, xMax);
    SetYRange(yMin, yMax);
}
