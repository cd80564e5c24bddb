// TCanvas: pen and brush state, line runs, the image and its device ratio, and bitmaps. Solid lines
// and fills go to the raster core; what Qt draws (figures, dashed lines, plain painting) is in
// CanvasQt.cpp, text in CanvasText.cpp.
#include "platform/gui/Canvas.h"

#include "platform/Intrinsics.h"
#include "platform/gui/Bitmap.h"
#include "platform/gui/CanvasPrivate.h"

#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// 96 dots per inch, so that point sizes never depend on the screen.
constexpr int kDotsPerMeter = 3780;

int32_t ClampInt32(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// Allocations above this many pixels fail (tests of the out-of-memory paths); negative: none.
std::atomic<int64_t> FailingAllocationAbove{-1};

} // namespace

uint32_t CanvasModeValue(TColor color, TPenMode mode) {
    const uint32_t rgb = ColorToQRgb(color) & 0x00FFFFFF;
    return (mode == pmNotXor ? ~rgb & 0x00FFFFFF : rgb) | 0xFF000000;
}

TCanvasSize FittedCanvasSize(int32_t width, int32_t height) {
    int64_t w = std::clamp(width, 0, MaxCanvasSide);
    int64_t h = std::clamp(height, 0, MaxCanvasSide);
    if (w * h > MaxCanvasPixels) {
        const double shrink = std::sqrt(double(MaxCanvasPixels) / double(w * h));
        w = std::max<int64_t>(int64_t(double(w) * shrink), 1);
        h = std::max<int64_t>(int64_t(double(h) * shrink), 1);
        // Rounding of the square root may leave one row or column too many.
        while (w * h > MaxCanvasPixels)
            (w > h ? w : h) -= 1;
    }
    return {int32_t(w), int32_t(h)};
}

void SimulateCanvasAllocationFailureAbove(int64_t pixels) {
    FailingAllocationAbove = pixels;
}

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() {
    EndPainter();
}

// --- The image ------------------------------------------------------------------------------

QPainter& TCanvas::Painter() const {
    Surface(); // the paint target is current
    if (!FPainter) {
        FPainter = std::make_unique<QPainter>(&FPaintTarget);
        FPainter->setRenderHint(QPainter::Antialiasing, false);
        FPainter->setRenderHint(QPainter::TextAntialiasing, false);
    }
    return *FPainter;
}

void TCanvas::EndPainter() const {
    if (FPainter) {
        FPainter->end();
        FPainter.reset();
    }
}

TRasterSurface& TCanvas::Surface() const {
    if (!FViewValid) {
        EndPainter();
        // Writing to an image that a caller shares detaches it here, before anything draws.
        auto* bits = reinterpret_cast<uint32_t*>(FImage.bits());
        FPaintTarget = QImage(reinterpret_cast<uchar*>(bits), FImage.width(), FImage.height(),
                              FImage.bytesPerLine(), QImage::Format_RGB32);
        FSurface.SetView(
            TPixelView{bits, FImage.bytesPerLine() / 4, FImage.width(), FImage.height(), FScale});
        FViewValid = true;
    }
    return FSurface;
}

void TCanvas::Settle() const {
    Flush();
    if (FViewValid)
        FSurface.Settle();
}

void TCanvas::ReplaceImage(QImage image) const {
    Settle();
    FSurface.Discard();
    EndPainter();
    FViewValid = false;
    FPaintTarget = QImage();
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.setDevicePixelRatio(FScale.Ratio());
    FImage = std::move(image);
    FRunShapes.clear(); // made for the old size
}

void TCanvas::Changed() const {
    if (FChangeReported)
        return;
    FChangeReported = true;
    if (OnChange)
        OnChange();
}

namespace {

struct TFittedSize {
    int32_t Width, Height;             // logical
    int32_t DeviceWidth, DeviceHeight; // device
};

// The device size fitted to the canvas limits, and the logical size that goes with it.
TFittedSize FitSize(const TDeviceScale& scale, int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const TCanvasSize device =
        FittedCanvasSize(ClampInt32(scale.ToDevice(width)), ClampInt32(scale.ToDevice(height)));
    if (scale.ToDevice(width) > device.Width)
        width = int32_t(scale.ToLogical(device.Width));
    if (scale.ToDevice(height) > device.Height)
        height = int32_t(scale.ToLogical(device.Height));
    return {width, height, int32_t(scale.ToDevice(width)), int32_t(scale.ToDevice(height))};
}

void FreeImageBuffer(void* buffer) {
    std::free(buffer);
}

// A white image; std::bad_alloc when it cannot be allocated. Its rows start on cache lines, so
// that a held-back fill writes whole lines past the cache whatever the width.
QImage NewImage(int32_t width, int32_t height) {
    const int64_t failAbove = FailingAllocationAbove;
    if (failAbove >= 0 && int64_t(width) * height > failAbove)
        throw std::bad_alloc();
    if (width <= 0 || height <= 0)
        return QImage(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    const size_t stride = (size_t(width) * 4 + kCacheLine - 1) / kCacheLine * kCacheLine;
    void* buffer = std::aligned_alloc(kCacheLine, stride * size_t(height));
    if (buffer == nullptr)
        throw std::bad_alloc();
    QImage image(static_cast<uchar*>(buffer), width, height, qsizetype(stride),
                 QImage::Format_RGB32, FreeImageBuffer, buffer);
    if (image.isNull()) {
        std::free(buffer);
        throw std::bad_alloc();
    }
    image.fill(0xFFFFFFFFu);
    return image;
}

} // namespace

void TCanvas::SetSize(int32_t width, int32_t height) {
    const TFittedSize size = FitSize(FScale, width, height);
    if (size.DeviceWidth == FImage.width() && size.DeviceHeight == FImage.height() &&
        !FImage.isNull() && size.Width == FWidth && size.Height == FHeight)
        return;
    Settle();
    QImage image = NewImage(size.DeviceWidth, size.DeviceHeight); // on failure the old one stays
    const int rows = std::min(size.DeviceHeight, FImage.height());
    const int columns = std::min(size.DeviceWidth, FImage.width());
    for (int y = 0; columns > 0 && y < rows; ++y)
        std::memcpy(image.scanLine(y), FImage.constScanLine(y), size_t(columns) * 4);
    ReplaceImage(std::move(image));
    FWidth = size.Width;
    FHeight = size.Height;
    Changed();
}

void TCanvas::SetDeviceRatio(double ratio) {
    const TDeviceScale scale(ratio);
    if (scale == FScale)
        return;
    const TFittedSize size = FitSize(scale, FWidth, FHeight);
    QImage image = NewImage(size.DeviceWidth, size.DeviceHeight); // on failure nothing changes
    Settle();
    FScale = scale;
    ReplaceImage(std::move(image));
    FWidth = size.Width;
    FHeight = size.Height;
    FFontCache.clear(); // rasterised for the old ratio
    Changed();
}

const QImage& TCanvas::Image() const {
    Settle();
    EndPainter();
    FViewValid = false; // the caller may share the image
    FChangeReported = false;
    return FImage;
}

void TCanvas::SetImage(const QImage& image) {
    QImage copy = image.convertToFormat(QImage::Format_RGB32);
    Settle();
    const TDeviceScale scale(image.devicePixelRatio());
    if (!(scale == FScale))
        FFontCache.clear();
    FScale = scale;
    FWidth = int32_t(FScale.ToLogical(copy.width()));
    FHeight = int32_t(FScale.ToLogical(copy.height()));
    ReplaceImage(std::move(copy));
    Changed();
}

TBox TCanvas::DeviceBox(int64_t left, int64_t top, int64_t right, int64_t bottom) const {
    return TBox{FScale.ToDevice(left), FScale.ToDevice(top), FScale.ToDevice(right),
                FScale.ToDevice(bottom)};
}

TColor TCanvas::Pixel(int32_t x, int32_t y) const {
    Settle();
    const int64_t dx = FScale.ToDevice(x), dy = FScale.ToDevice(y);
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || !FImage.valid(int(dx), int(dy)))
        return clBlack;
    return QRgbToColor(reinterpret_cast<const uint32_t*>(FImage.constScanLine(int(dy)))[dx]);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    Flush();
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || FImage.isNull())
        return;
    const TBox block = DeviceBox(x, y, int64_t(x) + 1, int64_t(y) + 1);
    Surface().Draw(TRasterShape{block, nullptr, 0, 0}, TRasterPaint{ColorToQRgb(color), false});
    Changed();
}

void TCanvas::FillRect(const TRect& rect) {
    Flush();
    if (Brush.Style == bsClear)
        return;
    const TBox box = Intersection(DeviceBox(rect.Left, rect.Top, rect.Right, rect.Bottom),
                                  TBox{0, 0, FImage.width(), FImage.height()});
    if (box.IsEmpty())
        return;
    Surface().Fill(box, ColorToQRgb(Brush.Color));
    Changed();
}

// --- Lines ----------------------------------------------------------------------------------

void TCanvas::Flush() const {
    if (!FRun)
        return;
    const std::unique_ptr<TLineRun> run = std::move(FRun);
    DrawRun(*run);
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
    DeviceMoveTo(ClampInt32(FScale.ToDevice(x)), ClampInt32(FScale.ToDevice(y)));
    FPenPos = {x, y};
}

void TCanvas::LineTo(int32_t x, int32_t y) {
    DeviceLineTo(ClampInt32(FScale.ToDevice(x)), ClampInt32(FScale.ToDevice(y)));
    FPenPos = {x, y};
}

void TCanvas::DeviceMoveTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    if (FRun && (TDevicePoint{x, y} != FDevicePos)) {
        // A jump ends the element, except the short step of a segment that starts up to half a
        // pen width after the previous end (wide pens only).
        const int64_t step =
            std::max(std::abs(int64_t(x) - FDevicePos.X), std::abs(int64_t(y) - FDevicePos.Y));
        if (IsThin(FRun->Pen) || step > FScale.Width(FRun->Pen.Width))
            Flush();
    }
    FDevicePos = {x, y};
    FPenPos = {ClampInt32(FScale.ToLogical(x)), ClampInt32(FScale.ToLogical(y))};
}

void TCanvas::DeviceLineTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    const TDevicePoint from = FDevicePos;
    FDevicePos = {x, y};
    FPenPos = {ClampInt32(FScale.ToLogical(x)), ClampInt32(FScale.ToLogical(y))};
    if (from == FDevicePos || Pen.Style == psClear || FImage.isNull())
        return;
    if (!FRun) {
        FRun = std::make_unique<TLineRun>();
        FRun->Pen = Pen;
        Changed();
    }
    auto& paths = FRun->Paths;
    if (paths.empty() || paths.back().back() != from)
        paths.push_back({from});
    paths.back().push_back(FDevicePos);
}

void TCanvas::Polyline(std::span<const TPoint> points) {
    Flush();
    if (Pen.Style == psClear || FImage.isNull())
        return;
    TLineRun run;
    run.Pen = Pen;
    std::vector<TDevicePoint> path;
    for (const TPoint& p : points) {
        const TDevicePoint d{ClampInt32(FScale.ToDevice(p.X)), ClampInt32(FScale.ToDevice(p.Y))};
        if (path.empty() || path.back() != d)
            path.push_back(d);
    }
    if (path.size() < 2)
        return;
    run.Paths.push_back(std::move(path));
    DrawRun(run);
    Changed();
}

// Solid runs go to the raster core, which keeps grid lines, axes and curves off Qt's slow
// raster-op path and changes each pixel of the union of a run's segments once; dashed and dotted
// runs are stroked by Qt.
void TCanvas::DrawRun(const TLineRun& run) const {
    if (FImage.isNull())
        return;
    if (!IsSolid(run.Pen)) {
        DrawRunWithQt(run);
        return;
    }
    const TRasterPaint paint{CanvasModeValue(run.Pen.Color, run.Pen.Mode), run.Pen.Mode != pmCopy};
    for (const TRasterShape& shape : RunShapes(run))
        Surface().Draw(shape, paint);
}

const std::vector<TRasterShape>& TCanvas::RunShapes(const TLineRun& run) const {
    const int32_t width = FScale.Width(run.Pen.Width);
    const bool thin = IsThin(run.Pen);
    const auto same = [&](const std::unique_ptr<TRunShapes>& entry) {
        return entry->Width == width && entry->Thin == thin && entry->Paths == run.Paths;
    };
    auto found = std::find_if(FRunShapes.begin(), FRunShapes.end(), same);
    if (found != FRunShapes.end()) {
        std::rotate(FRunShapes.begin(), found, found + 1);
        return FRunShapes.front()->Shapes;
    }
    auto entry = std::make_unique<TRunShapes>(
        TRunShapes{width, thin, run.Paths,
                   LineRunShapes(run.Paths, width, thin, FImage.width(), FImage.height())});
    // Boxes (grid lines, axes) cost nothing to make again: only spans are kept.
    if (std::none_of(entry->Shapes.begin(), entry->Shapes.end(),
                     [](const TRasterShape& shape) { return shape.Rows != nullptr; })) {
        FRunBoxes = std::move(entry->Shapes);
        return FRunBoxes;
    }
    if (FRunShapes.size() >= TRunShapes::kMaxRuns)
        FRunShapes.pop_back();
    FRunShapes.insert(FRunShapes.begin(), std::move(entry));
    return FRunShapes.front()->Shapes;
}

// --- Bitmaps --------------------------------------------------------------------------------

void TCanvas::Draw(int32_t x, int32_t y, const TBitmap& bitmap) {
    const int64_t right = int64_t(x) + bitmap.Width(), bottom = int64_t(y) + bitmap.Height();
    if (right > std::numeric_limits<int32_t>::max() ||
        bottom > std::numeric_limits<int32_t>::max()) {
        Flush();
        return; // entirely beyond the surface
    }
    CopyRect(Rect(x, y, int32_t(right), int32_t(bottom)), bitmap.Canvas(),
             Rect(0, 0, bitmap.Width(), bitmap.Height()));
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect) {
    Flush();
    source.Settle();
    if (dest.IsEmpty() || sourceRect.IsEmpty() || FImage.isNull())
        return;
    const TDeviceScale& from = source.FScale;
    TBox sourceBox{from.ToDevice(sourceRect.Left), from.ToDevice(sourceRect.Top),
                   from.ToDevice(sourceRect.Right), from.ToDevice(sourceRect.Bottom)};
    TBox destBox = DeviceBox(dest.Left, dest.Top, dest.Right, dest.Bottom);
    // The same ratio and size: pixel for pixel, whatever the rounding of the edges.
    if (from == FScale && dest.Width() == sourceRect.Width() &&
        dest.Height() == sourceRect.Height()) {
        destBox.Right = destBox.Left + (sourceBox.Right - sourceBox.Left);
        destBox.Bottom = destBox.Top + (sourceBox.Bottom - sourceBox.Top);
    }
    if (destBox.IsEmpty() || sourceBox.IsEmpty())
        return;
    // A copy within this canvas reads from a snapshot; the first write detaches the surface.
    if (&source == this) {
        const QImage snapshot = Image();
        CopyPixels(destBox, snapshot, sourceBox);
    } else {
        CopyPixels(destBox, source.FImage, sourceBox);
    }
}

void TCanvas::CopyPixels(const TBox& dest, const QImage& from, const TBox& source) {
    TRasterSurface& surface = Surface();
    const TPixelView& view = surface.View();
    const TBox visible = Intersection(dest, TBox{0, 0, view.Width, view.Height});
    if (visible.IsEmpty())
        return;
    surface.Settle(visible);
    const int64_t dw = dest.Right - dest.Left, dh = dest.Bottom - dest.Top;
    const int64_t sw = source.Right - source.Left, sh = source.Bottom - source.Top;
    // Nearest source pixel of each destination column; -1 outside the source image.
    std::vector<int32_t> columns(size_t(visible.Right - visible.Left));
    for (int64_t x = visible.Left; x < visible.Right; ++x) {
        const int64_t sx = source.Left + MulAddDiv(x - dest.Left, sw, 0, dw);
        columns[size_t(x - visible.Left)] = (sx >= 0 && sx < from.width()) ? int32_t(sx) : -1;
    }
    const uint32_t rop = (FCopyMode >> 16) & 0xFF;
    const uint32_t pattern = ColorToQRgb(Brush.Color);
    for (int64_t y = visible.Top; y < visible.Bottom; ++y) {
        const int64_t sy = source.Top + MulAddDiv(y - dest.Top, sh, 0, dh);
        if (sy < 0 || sy >= from.height())
            continue;
        const auto* src = reinterpret_cast<const uint32_t*>(from.constScanLine(int(sy)));
        uint32_t* line = view.Row(y);
        for (int64_t x = visible.Left; x < visible.Right; ++x) {
            const int32_t sx = columns[size_t(x - visible.Left)];
            if (sx < 0)
                continue;
            uint32_t& d = line[x];
            if (rop == 0xCC)
                d = src[sx] | 0xFF000000;
            else if (rop == 0x66)
                d ^= src[sx] & 0x00FFFFFF;
            else
                d = Rop3(rop, pattern, src[sx], d);
        }
    }
    Changed();
}
