#pragma once
// The fields of TChartPanel and the drawing of the chart's frame (background, plot area, scales,
// axes, title). Private to the chart panel's sources.

#include "chartpanel/ChartPanel.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

using TLabelSpans = std::vector<std::pair<int32_t, int32_t>>;

// The grid lines drawn so far on one axis, by pixel. Two ticks may land on the same pixel (log
// values a last digit apart after the round trip through log10, or more ticks than pixels); a
// second line there would cancel the first under the not-xor pen, so each pixel gets one.
class TGridPixels {
public:
    bool Claim(int32_t pixel) { return FDrawn.insert(pixel).second; }

private:
    std::unordered_set<int32_t> FDrawn;
};

struct TChartPanel::TState {
    TCanvas* FDrawCanvas = nullptr;
    int32_t FUpdateCount = 0;
    bool FRedrawHeld = false;
    int32_t FDrawWidth = 0;
    int32_t FDrawHeight = 0;
    std::string FTitle;
    TAlignment FTitleAlignment = taCenter;
    TColor FGridColor = clWhite;
    TColor FAxesColor = clWindowText;
    int32_t FPlotWidth = 0;
    int32_t FPlotHeight = 0;
    TRect FPlotRect{0, 0, 0, 0};
    TFont FFontLabels;
    TFont FFontXYPos;
    bool FShowXScale = true;
    TFont FScaleXFont;
    int32_t FScaleXTicks = 6;
    bool FShowYScale = true;
    TFont FScaleYFont;
    int32_t FScaleYTicks = 6;
    TAxisType FAxisType = xtQuad1;
    TScaleType FScaleType = stXY;
    std::string FScaleYLabel;
    std::string FScaleXLabel;
    int32_t FTopMargin = 25;
    int32_t FLeftMargin = 40;
    int32_t FRightMargin = 20;
    int32_t FBottomMargin = 40;
    bool FDragging = false;
    std::unique_ptr<TBitmap> FLabelImage;
    std::unique_ptr<TBitmap> FXYBoxImage;
    double FCursorX = 0;
    double FCursorY = 0;
    bool FShowXYPos = true;
    TXYPosPlace FShowXYPosPlace = ppBottomLeft;
    std::string FShowXPosFmt;
    std::string FShowYPosFmt;
    std::string FXYText;
    int32_t FDesignHeight = 0;
    int32_t FDesignWidth = 0;
    // The axis maps hold the bounds in scale space and, after each layout, the plot's pixels.
    TAxisMap FXMap{false, 1.0, 10.0, 0, 0, 1};
    TAxisMap FYMap{false, 1.0, 10.0, 0, 0, -1};
    TChartLineVec FLines;
    TChartPointVec FFreePoints;
    TChartPoint* FHoverPoint = nullptr;
    TChartPoint* FSelectedPoint = nullptr;
    TChartLine* FHoverLine = nullptr;

    // Sets the scale type and which axes are logarithmic.
    void SetScaleType(TScaleType value);
    void RescaleSizes(double fx, double fy, double f);

    // The frame of the chart in screen order; `background` is the panel's colour.
    void DrawChart(const TChartDrawContext& context, TColor background);
    void FillBackground(TCanvas& canvas, TColor background) const;
    void DrawXScale(const TChartDrawContext& context, TColor background) const;
    void DrawYScale(const TChartDrawContext& context, TColor background) const;
    void DrawAxes(const TChartDrawContext& context) const;
    void DrawTitle(TCanvas& canvas, TColor background) const;
    void DrawXTick(const TChartDrawContext& context, double value, bool forced, int32_t labelTop,
                   TLabelSpans& spans, TGridPixels& grid) const;
    void DrawYTick(const TChartDrawContext& context, double value, bool forced, int32_t halfHeight,
                   TLabelSpans& spans, TGridPixels& grid) const;
    int32_t YLabelX(TCanvas& canvas, int32_t textWidth) const;
    void GridLine(TCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;
};
