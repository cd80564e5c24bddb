#pragma once
// A drawing surface in the style of the desktop platform's graphics interface, over a QImage in
// Format_RGB32 (always opaque) at 96 dpi.
//
// Logical and device pixels. Every coordinate, size and width handed to the canvas is in logical
// pixels; the image holds device pixels, logical size x DeviceRatio() (its devicePixelRatio is
// set, so a widget shows it at its logical size). One rule turns the one into the other, the same
// for every element: a coordinate x lands on device pixel floor(x * ratio), a pen of width w is
// round(w * ratio) device pixels wide (at least 1), and text is laid out with the logical font
// but rasterised with a font of its pixel size x ratio. At ratio 1 both are the same. Callers that
// map data straight to device pixels (a chart's curves) use DeviceMoveTo/DeviceLineTo.
//
// Raster operations. With pen mode pmNotXor (or pmXor) every element changes each pixel it covers
// exactly once, so drawing the same element again restores the image bit for bit:
//  - Lines: consecutive MoveTo/LineTo calls with the same pen form one run (one element). A run is
//    drawn as one path, so its segments meet without holes and without pixels cancelled at the
//    joints, also when a segment starts up to half a pen width after the previous end. The run
//    ends (is drawn) when anything else is drawn, the pen changes, a MoveTo jumps further than
//    the pen width from the current position, the image is read, or Flush() is called. Callers
//    that draw one element twice in a row (erase, then draw again) call Flush() between them.
//  - Ellipse, Rectangle, Polygon: fill and outline are composed as one element.
//  - Solid lines, fills and text are combined by the Qt-free raster core (platform/Raster.h),
//    which holds back a large fill and the elements inside it and writes those pixels once, when
//    they are needed. Dashed and dotted lines and figures are drawn by Qt.
// The copy mode (CopyMode) applies to Draw and CopyRect; FillRect and TextOut always paint plainly.
// Geometry as on the platform: rectangles exclude their right and bottom edges, a 1-pixel line
// excludes its end pixel (in the direction of drawing), a pen of width <= 1 is a 1-pixel pen,
// wider pens have square ends; psInsideFrame draws like psSolid. Antialiasing is off, also for
// text. A 1-pixel pen at a ratio above 1 is thicker than one device pixel to the right of steep
// lines and below flat ones, as a 1-pixel line covers its logical pixel.

#include "platform/Raster.h"
#include "platform/gui/Font.h"
#include "platform/gui/Graphics.h"

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class TBitmap;

// The largest surface a canvas holds, in image pixels: per side, and in all (256 MiB at 4 bytes a
// pixel). A larger size is reduced to fit: an absurd window size must neither exhaust memory nor
// stall the program filling it.
inline constexpr int32_t MaxCanvasSide = 32767;
inline constexpr int64_t MaxCanvasPixels = int64_t{1} << 26;
struct TCanvasSize {
    int32_t Width;
    int32_t Height;
};
// The size a canvas takes when asked for width x height: negative sides count as 0; each side at
// most MaxCanvasSide; when there are more than MaxCanvasPixels pixels, both sides shrink by the
// same factor (rounded down).
TCanvasSize FittedCanvasSize(int32_t width, int32_t height);

// Test access: image allocations of more than `pixels` pixels fail as if memory were exhausted;
// a negative value ends this. For tests of the out-of-memory paths only.
void SimulateCanvasAllocationFailureAbove(int64_t pixels);

struct TPen {
    TColor Color = clBlack;
    TPenStyle Style = psSolid;
    int32_t Width = 1;
    TPenMode Mode = pmCopy;
    friend bool operator==(const TPen&, const TPen&) = default;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    friend bool operator==(const TBrush&, const TBrush&) = default;
};

class TCanvas {
public:
    // An empty (0 x 0) surface at ratio 1.
    TCanvas();
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Drawing state; read when an operation runs. Pen changes end the current line run.
    TPen Pen;
    TBrush Brush;
    TFont& Font() { return FFont; }
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& font) { FFont.Assign(font); }
    TCopyMode CopyMode() const { return FCopyMode; }
    void SetCopyMode(TCopyMode mode) { FCopyMode = mode; }

    // The surface, in logical pixels. Resizing keeps the pixels of the overlapping part; new
    // pixels are white. The device size is fitted to the limits above (FittedCanvasSize), and the
    // logical size follows it. When the new image cannot be allocated, SetSize throws
    // std::bad_alloc and the surface stays as it was.
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetSize(int32_t width, int32_t height);
    // Device pixels per logical pixel (clamped into [TDeviceScale::MinRatio, MaxRatio]). A new
    // ratio rebuilds the image at the same logical size, white.
    double DeviceRatio() const { return FScale.Ratio(); }
    const TDeviceScale& Scale() const { return FScale; }
    void SetDeviceRatio(double ratio);
    // The image after all pending drawing, in device pixels with its devicePixelRatio set; the
    // reference stays valid until the next resize.
    const QImage& Image() const;
    // Replaces the surface by a copy of an image, converted to opaque Format_RGB32; the ratio
    // becomes the image's devicePixelRatio.
    void SetImage(const QImage& image);
    // Draws the pending line run now.
    void Flush() const;
    // Called when the image changes for the first time after it was last read through Image()
    // (the panel schedules its repaint here).
    std::function<void()> OnChange;

    // Pixel access (outside the surface: Pixel gives clBlack, SetPixel does nothing). Pixel reads
    // the first device pixel of a logical pixel; SetPixel sets all of them.
    TColor Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, TColor color);

    // Fills with the brush colour; pen and copy modes do not apply.
    void FillRect(const TRect& rect);
    TPoint PenPos() const { return FPenPos; }
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    // The same in device pixels, for lines mapped straight to the device; the pen width stays
    // logical. PenPos then reads the logical pixel of the device position.
    void DeviceMoveTo(int32_t x, int32_t y);
    void DeviceLineTo(int32_t x, int32_t y);
    // One element: lines through all points (no end pixel); the pen position is not changed.
    void Polyline(std::span<const TPoint> points);
    // Outlined with the pen and filled with the brush, bounding box (left, top, right, bottom).
    void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Closed polygon, filled with the alternate (even-odd) rule.
    void Polygon(std::span<const TPoint> points);

    // Bitmap at its own size with its top-left corner at (x, y), combined by CopyMode. A bitmap of
    // the same device ratio is copied pixel for pixel, another one stretched to its logical size.
    void Draw(int32_t x, int32_t y, const TBitmap& bitmap);
    // Copies source's sourceRect into dest (stretched when the sizes differ), combined by CopyMode.
    // The source may be this canvas.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect);

    // Plain Qt painting on the surface in logical coordinates (modes and pen/brush do not apply),
    // e.g. a widget frame.
    void PaintWith(const std::function<void(QPainter&)>& paint);

    // Text with its cell's top-left corner at (x, y), or turned about (x, y) by the font's
    // escapement; with a solid brush the cell is filled with the brush colour first. Measured in
    // logical pixels with the font as it is.
    void TextOut(int32_t x, int32_t y, std::string_view text);
    int32_t TextWidth(std::string_view text) const;
    int32_t TextHeight(std::string_view text) const;

private:
    struct TLineRun;
    struct TFontCache;
    struct TRunShapes;
    QPainter& Painter() const;
    void EndPainter() const;
    TRasterSurface& Surface() const;
    void Settle() const;
    void ReplaceImage(QImage image) const;
    void Changed() const;
    void DrawRun(const TLineRun& run) const;
    const std::vector<TRasterShape>& RunShapes(const TLineRun& run) const;
    void DrawRunWithQt(const TLineRun& run) const;
    void DrawShape(const QRect& bounds, const std::function<void(QPainter&)>& paint);
    void CopyPixels(const TBox& dest, const QImage& from, const TBox& source);
    TBox DeviceBox(int64_t left, int64_t top, int64_t right, int64_t bottom) const;
    TFontCache& Fonts() const;

    // Device pixels with their ratio set.
    mutable QImage FImage;
    // The same pixels without a ratio: Qt paints on them in device pixels.
    mutable QImage FPaintTarget;
    mutable std::unique_ptr<QPainter> FPainter;
    mutable std::unique_ptr<TLineRun> FRun;
    mutable std::vector<std::unique_ptr<TFontCache>> FFontCache;
    mutable std::vector<std::unique_ptr<TRunShapes>> FRunShapes;
    mutable std::vector<TRasterShape> FRunBoxes; // the last run made of boxes
    mutable bool FChangeReported = false;
    // The raster core over the pixels; its view is valid while the image is not handed out.
    mutable TRasterSurface FSurface;
    mutable bool FViewValid = false;
    TDeviceScale FScale;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    TFont FFont;
    TCopyMode FCopyMode = SRCCOPY;
    TPoint FPenPos;
    TDevicePoint FDevicePos;
};

// Keeps the pen, the brush and the copy mode of a canvas for a scope: the element drawn inside
// may change them freely, and whatever is drawn next starts from the state before it. Elements
// end their own line runs (Flush) where they need to; a pending run keeps the pen it was drawn
// with, so restoring the pen does not change it.
class TCanvasStateGuard {
public:
    explicit TCanvasStateGuard(TCanvas& canvas)
        : FCanvas(canvas), FPen(canvas.Pen), FBrush(canvas.Brush), FCopyMode(canvas.CopyMode()) {}
    ~TCanvasStateGuard() {
        FCanvas.Pen = FPen;
        FCanvas.Brush = FBrush;
        FCanvas.SetCopyMode(FCopyMode);
    }
    TCanvasStateGuard(const TCanvasStateGuard&) = delete;
    TCanvasStateGuard& operator=(const TCanvasStateGuard&) = delete;

private:
    TCanvas& FCanvas;
    TPen FPen;
    TBrush FBrush;
    TCopyMode FCopyMode;
};
