// TChartPanel, TChartLine and TChartPoint: construction, properties and the data model.
#include "chartpanel/ChartPanel.h"

#include "platform/Rounding.h"

namespace {

int32_t MarkerSizeOf(const TBitmap& Bitmap) {
    return RoundHalfEvenToInt32((static_cast<double>(Bitmap.Width()) + Bitmap.Height()) * 0.5);
}

// Frees a list from the last entry to the first. A failure while freeing ends the loop and is
// discarded; the list is empty afterwards in any case.
template <typename List> void FreeAll(List& Items) noexcept {
    try {
        while (!Items.empty()) {
            auto Item = std::move(Items.back());
            Items.pop_back();
            Item.reset();
        }
    } catch (...) {
    }
    Items.clear();
}

} // namespace

// --- TChartPoint --------------------------------------------------------------------------

void TChartPoint::SetStyle(TColor APenColor, TColor ABrushColor, bool Compensate, int32_t APenWidth,
                           TPenStyle APenStyle) {
    PenColor = Compensate ? Panel->Compensate(APenColor) : APenColor;
    BrushColor = Compensate ? Panel->Compensate(ABrushColor) : ABrushColor;
    SelPenColor = PenColor;
    SelBrushColor = BrushColor;
    PenStyle = APenStyle;
    PenWidth = APenWidth;
}

void TChartPoint::SetLabel(uint8_t Mode, std::string Text, bool XorDraw) {
    LabelMode = Mode;
    LabelText = std::move(Text);
    LabelXor = XorDraw;
}

// --- TChartLine ---------------------------------------------------------------------------

TChartPoint* TChartLine::AddPoint(double X, double Y) {
    auto Point = std::make_unique<TChartPoint>(Panel, X, Y);
    Point->MarkerKind = MarkerKind;
    Point->Draggable = MarkerKind != mkNone;
    Point->Size = MarkerSize;
    Point->Shape = MarkerShape;
    Point->Bitmap = MarkerBitmap.get();
    if (MarkerBitmap)
        Point->Size = MarkerSizeOf(*MarkerBitmap);
    TChartPoint* Result = Points.emplace_back(std::move(Point)).get();
    Result->SetLabel(lmNone, std::string(), true);
    Result->SetStyle(MarkerPenColor, MarkerBrushColor, false, MarkerPenWidth, MarkerPenStyle);
    return Result;
}

void TChartLine::SetPen(TPenStyle Style, int32_t Width) {
    PenStyle = Style;
    PenWidth = Width;
    for (auto& Point : Points) {
        Point->PenStyle = Style;
        Point->PenWidth = Width;
    }
}

void TChartLine::SetMarkerStyle(TColor APenColor, TColor ABrushColor, TPenStyle APenStyle,
                                int32_t APenWidth) {
    MarkerPenColor = Panel->Compensate(APenColor);
    MarkerBrushColor = Panel->Compensate(ABrushColor);
    MarkerPenStyle = APenStyle;
    MarkerPenWidth = APenWidth;
    for (auto& Point : Points)
        Point->SetStyle(APenColor, ABrushColor, true, APenWidth, APenStyle);
}

// --- TChartPanel: construction ------------------------------------------------------------

TChartPanel::TChartPanel(QWidget* AOwner) : TPanel(AOwner) {
    SetHeight(200);
    SetWidth(250);
    SetCaption(std::string());
    FTitle.clear();
    FTitleAlignment = taCenter;
    RefreshDrawSize();
    PrepareCanvas(Canvas(), FDrawWidth, FDrawHeight, false, false);
    SetColor(clWindow);
    FGridColor = clWhite;
    FAxesColor = clWindowText;
    FLeftMargin = 40;
    FTopMargin = 25;
    FRightMargin = 20;
    FBottomMargin = 40;
    FScaleType = stXY;
    FScaledXMin = 1.0;
    FScaledXMax = 10.0;
    FScaledYMin = 1.0;
    FScaledYMax = 10.0;
    // The fonts start as the drawing canvas's font, which PrepareCanvas has just set.
    FShowXScale = true;
    FScaleXFont.Assign(FDrawCanvas->Font());
    FScaleXTicks = 6;
    FShowYScale = true;
    FScaleYFont.Assign(FDrawCanvas->Font());
    FScaleYTicks = 6;
    FShowXYPos = true;
    FShowXYPosPlace = ppBottomLeft;
    FAxisType = xtQuad1;
    SetBevelInner(bvNone);
    SetBevelOuter(bvLowered);
    FDragging = false;
    FFontLabels.Assign(FDrawCanvas->Font());
    FFontXYPos.Assign(FDrawCanvas->Font());
    FLabelImage = std::make_unique<TBitmap>();
    FXYBoxImage = std::make_unique<TBitmap>();
}

TChartPanel::~TChartPanel() {
    Clear();
}

void TChartPanel::SetHeight(int32_t Value) {
    TPanel::SetHeight(Value);
    FDesignHeight = static_cast<int32_t>(int64_t{Value} - BevelWidth());
}

void TChartPanel::SetWidth(int32_t Value) {
    TPanel::SetWidth(Value);
    FDesignWidth = static_cast<int32_t>(int64_t{Value} - BevelWidth());
}

void TChartPanel::RefreshDrawSize() {
    FDrawWidth = Width() - BevelWidth();
    FDrawHeight = Height() - BevelWidth();
}

void TChartPanel::DesignRedraw() {
    if (DesignMode())
        Redraw();
}

// --- Properties ---------------------------------------------------------------------------

void TChartPanel::SetAxesColor(TColor Value) {
    FAxesColor = Value;
    DesignRedraw();
}

void TChartPanel::SetGridColor(TColor Value) {
    FGridColor = Value;
    Redraw();
}

void TChartPanel::SetLeftMargin(int32_t Value) {
    FLeftMargin = Value;
    DesignRedraw();
}

void TChartPanel::SetRightMargin(int32_t Value) {
    FRightMargin = Value;
    DesignRedraw();
}

void TChartPanel::SetTopMargin(int32_t Value) {
    FTopMargin = Value;
    DesignRedraw();
}

void TChartPanel::SetBottomMargin(int32_t Value) {
    FBottomMargin = Value;
    DesignRedraw();
}

void TChartPanel::SetTitle(const std::string& Value) {
    FTitle = Value;
    DesignRedraw();
}

void TChartPanel::SetTitleAlignment(TAlignment Value) {
    FTitleAlignment = Value;
    DesignRedraw();
}

void TChartPanel::SetShowXScale(bool Value) {
    FShowXScale = Value;
    DesignRedraw();
}

void TChartPanel::SetShowYScale(bool Value) {
    FShowYScale = Value;
    DesignRedraw();
}

void TChartPanel::SetFontLabels(const TFont& Value) {
    FFontLabels.Assign(Value);
    DesignRedraw();
}

void TChartPanel::SetFontXYPos(const TFont& Value) {
    FFontXYPos.Assign(Value);
    DesignRedraw();
}

void TChartPanel::SetScaleXFont(const TFont& Value) {
    FScaleXFont.Assign(Value);
    DesignRedraw();
}

void TChartPanel::SetScaleYFont(const TFont& Value) {
    FScaleYFont.Assign(Value);
    DesignRedraw();
}

void TChartPanel::SetScaleXTicks(int32_t Value) {
    FScaleXTicks = Value < 2 ? 2 : Value;
    DesignRedraw();
}

void TChartPanel::SetScaleYTicks(int32_t Value) {
    FScaleYTicks = Value < 2 ? 2 : Value;
    DesignRedraw();
}

void TChartPanel::SetScaleXLabel(const std::string& Value) {
    FScaleXLabel = Value;
    DesignRedraw();
}

void TChartPanel::SetScaleYLabel(const std::string& Value) {
    FScaleYLabel = Value;
    DesignRedraw();
}

void TChartPanel::SetAxisType(TAxisType Value) {
    FAxisType = Value;
    DesignRedraw();
}

// --- Operations ---------------------------------------------------------------------------

void TChartPanel::Clear() {
    // No reference to a line or point may outlive them.
    FHoverPoint = nullptr;
    FSelectedPoint = nullptr;
    FHoverLine = nullptr;
    FDragging = false;
    FreeAll(FLines);
    FreeAll(FFreePoints);
}

TChartLine* TChartPanel::AddLine(TColor Color, uint8_t MarkerKind, const TBitmap* Bitmap,
                                 int32_t MarkerSize, const TPointVec& MarkerShape) {
    auto Line = std::make_unique<TChartLine>(this);
    Line->LineColor = Compensate(Color);
    Line->MarkerKind = MarkerKind;
    Line->MarkerSize = MarkerSize;
    Line->MarkerShape = MarkerShape;
    Line->SetPen(ChartDefaults::PenStyle, ChartDefaults::PenWidth);
    Line->SetMarkerStyle(Color, Color, psSolid, 2);
    Line->MarkerBitmap = MakeXorBitmap(Bitmap, FGridColor);
    if (Line->MarkerBitmap)
        Line->MarkerSize = MarkerSizeOf(*Line->MarkerBitmap);
    return FLines.emplace_back(std::move(Line)).get();
}

TChartPoint* TChartPanel::AddFreePoint(double X, double Y, TColor Color, uint8_t MarkerKind,
                                       int32_t Size) {
    auto Point = std::make_unique<TChartPoint>(this, X, Y);
    Point->MarkerKind = MarkerKind;
    Point->Draggable = MarkerKind != mkNone;
    Point->Size = Size;
    Point->SetLabel(lmNone, std::string(), true);
    Point->SetStyle(Color, Color, true, 2, psSolid);
    return FFreePoints.emplace_back(std::move(Point)).get();
}

void TChartPanel::SetXRange(double Min, double Max) {
    if (Min == Max) {
        if (Min == 0) {
            Max = 1;
        } else {
            Min = Min * 0.5;
            Max = Max * 1.5;
        }
    }
    SetXMin(Min);
    SetXMax(Max);
}

void TChartPanel::SetYRange(double Min, double Max) {
    if (Min == Max) {
        if (Min == 0) {
            Max = 1;
        } else {
            Min = Min * 0.5;
            Max = Max * 1.5;
        }
    }
    SetYMin(Min);
    SetYMax(Max);
}

void TChartPanel::SetRanges(double AXMin, double AXMax, double AYMin, double AYMax) {
    SetXRange(AXMin, AXMax);
    SetYRange(AYMin, AYMax);
}
