#pragma once
// TChartPanel: a bevelled panel that plots lines of data points over linear or logarithmic
// scales. Lines, markers and labels are drawn with exclusive-or raster operations, so drawing an
// element a second time with unchanged data removes it again (point dragging relies on this).
//
// The chart owns its lines, a line owns its points and its marker image. Property setters only
// store (some clamp); the owner calls Redraw once after a batch of changes. In design mode most
// setters repaint by themselves.

#include "chartpanel/AxisMap.h"
#include "chartpanel/ChartDrawContext.h"
#include "chartpanel/ChartItems.h"
#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/Font.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Panel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

enum TAxisType : uint8_t { xtNone = 0, xtCent0 = 1, xtQuad1 = 2, xtQuad2 = 3 };
enum TScaleType : uint8_t { stXY = 0, stlnXY = 1, stXlnY = 2, stlnXlnY = 3 };
enum TXYPosPlace : uint8_t { ppTopRight = 0, ppBottomLeft = 1 };

// Pen colour of the scales' grid lines, shared by every chart of the process; PrepareCanvas sets
// it.
inline TColor TickLineColor = 0x00EBE2E0;

// Draws text at (x, y) turned counter-clockwise by `angle` degrees; |angle| <= 1 draws it as it is.
void TextOutAngle(TCanvas& canvas, const std::string& text, int32_t x, int32_t y, double angle);
// Compensated copy of a marker image, or none for none.
std::unique_ptr<TBitmap> MakeXorBitmap(const TBitmap* bitmap, TColor gridColor);

class TChartPanel : public TPanel {
public:
    explicit TChartPanel(QWidget* owner = nullptr);
    ~TChartPanel() override;
    TChartPanel(const TChartPanel&) = delete;
    TChartPanel& operator=(const TChartPanel&) = delete;

    // --- Published properties -------------------------------------------------------------
    // Height and Width also record the design size (value minus bevel width) for PrepareCanvas.
    void SetHeight(int32_t value) override;
    void SetWidth(int32_t value) override;

    TColor AxesColor() const;
    void SetAxesColor(TColor value);
    TColor GridColor() const;
    void SetGridColor(TColor value); // repaints at once, also at run time
    int32_t LeftMargin() const;
    void SetLeftMargin(int32_t value);
    int32_t RightMargin() const;
    void SetRightMargin(int32_t value);
    int32_t TopMargin() const;
    void SetTopMargin(int32_t value);
    int32_t BottomMargin() const;
    void SetBottomMargin(int32_t value);
    // Public bounds, stored in scale space (a bound <= 0 on a log axis reads back as 0.01).
    double XMin() const;
    void SetXMin(double value);
    double XMax() const;
    void SetXMax(double value);
    double YMin() const;
    void SetYMin(double value);
    double YMax() const;
    void SetYMax(double value);
    const std::string& Title() const;
    void SetTitle(const std::string& value);
    TAlignment TitleAlignment() const;
    void SetTitleAlignment(TAlignment value);
    bool ShowXYPos() const;
    void SetShowXYPos(bool value);
    TXYPosPlace ShowXYPosPlace() const;
    void SetShowXYPosPlace(TXYPosPlace value);
    const std::string& ShowXPosFmt() const;
    void SetShowXPosFmt(const std::string& value);
    const std::string& ShowYPosFmt() const;
    void SetShowYPosFmt(const std::string& value);
    bool ShowXScale() const;
    void SetShowXScale(bool value);
    bool ShowYScale() const;
    void SetShowYScale(bool value);
    // Font setters copy the attributes into the panel's own font object.
    const TFont& FontLabels() const;
    void SetFontLabels(const TFont& value);
    const TFont& FontXYPos() const;
    void SetFontXYPos(const TFont& value);
    const TFont& ScaleXFont() const;
    void SetScaleXFont(const TFont& value);
    const TFont& ScaleYFont() const;
    void SetScaleYFont(const TFont& value);
    int32_t ScaleXTicks() const;
    void SetScaleXTicks(int32_t value); // below 2 is stored as 2
    int32_t ScaleYTicks() const;
    void SetScaleYTicks(int32_t value);
    const std::string& ScaleXLabel() const;
    void SetScaleXLabel(const std::string& value);
    const std::string& ScaleYLabel() const;
    void SetScaleYLabel(const std::string& value);
    TAxisType AxisType() const;
    void SetAxisType(TAxisType value);
    // Changing the scale type keeps the public bounds (a bound <= 0 on a new log axis: 0.01).
    TScaleType ScaleType() const;
    void SetScaleType(TScaleType value);

    // --- Operations -----------------------------------------------------------------------
    void Clear();
    TChartLine* AddLine(TColor color, uint8_t markerKind, const TBitmap* bitmap, int32_t markerSize,
                        const TPointVec& markerShape);
    // A point owned by the panel itself: drawn before the lines, hit-tested first, rescaled by
    // PrepareCanvas. Colours like a line's default markers: outline and fill in `color`.
    TChartPoint* AddFreePoint(double x, double y, TColor color, uint8_t markerKind, int32_t size);
    void SetXRange(double min, double max);
    void SetYRange(double min, double max);
    void SetRanges(double xMin, double xMax, double yMin, double yMax);
    // Draws the whole chart on the drawing canvas; inside BeginUpdate/EndUpdate it only notes
    // that a drawing is due.
    void Redraw();
    // A batch of changes: setters that redraw at once and explicit Redraw calls draw nothing until
    // the outermost EndUpdate, which then draws once. A hidden panel that draws on its own canvas
    // leaves that drawing to its first paint, which draws the whole chart anyway. Painting always
    // shows the current state, also inside a batch. An EndUpdate without BeginUpdate is ignored.
    // A resize, likewise, draws at once only on a visible panel or on a bound foreign canvas.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const;
    // Data coordinates of the last mouse press or move; 0 before the first.
    double CursorX() const;
    double CursorY() const;
    // Binds drawing to `canvas` with a drawing area of width x height; optionally rescales sizes
    // and fonts by the ratio to the design size (an axis whose sizes are not positive: ratio 1).
    void PrepareCanvas(TCanvas& canvas, int32_t width, int32_t height, bool scaleSizes,
                       bool scaleFonts);
    TColor Compensate(TColor color) const { return CompensateColor(color, GridColor()); }

    // --- Layout and mapping of the last redraw --------------------------------------------
    TCanvas* DrawCanvas() const;
    int32_t DrawWidth() const;
    int32_t DrawHeight() const;
    // Size last set through Width and Height minus the bevel: the reference of rescaling.
    int32_t DesignWidth() const;
    int32_t DesignHeight() const;
    const TRect& PlotRect() const;
    int32_t PlotWidth() const;
    int32_t PlotHeight() const;
    // The axis maps: their bounds follow every change, their pixel side the last layout.
    const TAxisMap& XMap() const;
    const TAxisMap& YMap() const;
    // The maps' parts under the names embedding programs have used.
    double ScaledXMin() const { return XMap().ScaledMin; }
    double ScaledXMax() const { return XMap().ScaledMax; }
    double ScaledYMin() const { return YMap().ScaledMin; }
    double ScaledYMax() const { return YMap().ScaledMax; }
    long double XFactor() const { return XMap().Factor; }
    long double YFactor() const { return YMap().Factor; }
    double XToScale(double x) const { return XMap().ToScale(x); }
    double YToScale(double y) const { return YMap().ToScale(y); }
    double XFromScale(double s) const { return XMap().FromScale(s); }
    double YFromScale(double s) const { return YMap().FromScale(s); }
    TPoint DataToPixel(double x, double y) const;
    std::pair<double, double> PixelToData(int32_t x, int32_t y) const;
    bool IsInRange(double x, double y) const;
    bool InPlotArea(int32_t x, int32_t y) const;
    bool InPlotArea(TPoint p) const { return InPlotArea(p.X, p.Y); }
    // What chart items draw with now: the drawing canvas, the maps and plot of the last layout.
    TChartDrawContext DrawContext() const;

    // --- Lines, points and mouse interaction ----------------------------------------------
    const TChartLineVec& Lines() const;
    const TChartPointVec& FreePoints() const;
    TChartPoint* HoverPoint() const;
    TChartPoint* SelectedPoint() const;
    TChartLine* HoverLine() const;
    bool Dragging() const;
    // Text of the position read-out box; empty after every complete redraw.
    const std::string& XYText() const;
    void HandleMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
    void HandleMouseMove(TShiftState shift, int32_t x, int32_t y) override;
    void HandleMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
    // Finds the first draggable point within 3 pixels; sets HoverPoint (and HoverLine on a hit).
    bool HitTest(int32_t x, int32_t y);
    std::string FormatCursorText(const std::string& xFormat, const std::string& yFormat) const;

    // Internal operations reached by the tests alone (chartpanel/ChartPanelTestAccess.h).
    struct TTestAccess;

protected:
    void Paint() override;
    void Resize() override;

private:
    struct TState; // every field of the panel (chartpanel/ChartPanelState.h)

    void DesignRedraw();
    void DrawAll();
    // True while drawing now would be overwritten unseen by the first paint: the panel is hidden
    // and draws on its own canvas.
    bool DrawingLeftToPaint();
    void RefreshDrawSize();
    void UpdateLayout();
    void UpdateXYReadout();
    void PaintXYBox(bool blank);

    std::unique_ptr<TState> FState;
};
