#include "platform/gui/Canvas.h"

#include "platform/Clip.h"
#include "platform/Exceptions.h"
#include "platform/gui/Bitmap.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPathStroker>
#include <QStaticText>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF;
constexpr uint32_t kOpaque = 0xFF000000;
// 96 dots per inch, so that point sizes never depend on the screen.
constexpr int kDotsPerMeter = 3780;
// How many scan lines ahead the vertical loops prefetch.
constexpr int64_t kRowsAhead = 8;

__extension__ typedef __int128 Int128;

int64_t FloorDiv2(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

// The Qt pixel value a pen or brush paints with for a mode: the colour itself, or its inverse
// for not-xor, because NOT (c XOR pixel) = (NOT c) XOR pixel.
uint32_t ModeValue(TColor color, TPenMode mode) {
    const uint32_t rgb = ColorToQRgb(color) & kRgbMask;
    return (mode == pmNotXor ? ~rgb & kRgbMask : rgb) | kOpaque;
}

// Changes one span of a scan line: copy, or exclusive-or with a mode value.
void ApplySpan(uint32_t* line, int64_t from, int64_t to, uint32_t value, TPenMode mode) {
    if (mode == pmCopy) {
#ifdef __SSE2__
        // Long rows (large surfaces) are written past the cache, about a quarter faster.
        if (to - from >= 2048) {
            for (; from < to && (reinterpret_cast<uintptr_t>(line + from) & 15) != 0; ++from)
                line[from] = value;
            const __m128i quad = _mm_set1_epi32(int(value));
            for (; from + 4 <= to; from += 4)
                _mm_stream_si128(reinterpret_cast<__m128i*>(line + from), quad);
            _mm_sfence();
        }
#endif
        std::fill(line + from, line + to, value);
        return;
    }
    const uint32_t bits = value & kRgbMask;
    for (int64_t x = from; x < to; ++x)
        line[x] ^= bits;
}

Qt::PenStyle QtStyle(TPenStyle style) {
    switch (style) {
    case psDash:
        return Qt::DashLine;
    case psDot:
        return Qt::DotLine;
    case psDashDot:
        return Qt::DashDotLine;
    case psDashDotDot:
        return Qt::DashDotDotLine;
    case psClear:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

bool IsCosmetic(const TPen& pen) {
    return pen.Width <= 1;
}
bool IsSolid(const TPen& pen) {
    return pen.Style == psSolid || pen.Style == psInsideFrame;
}

// A 1-pixel pen is Qt's cosmetic pen with flat ends (the end pixel of a line is left out); wider
// pens have square ends so that segments whose start lies up to half a pen width after the
// previous end still meet without a gap.
QPen QtPen(const TPen& pen, uint32_t value) {
    if (pen.Style == psClear)
        return QPen(Qt::NoPen);
    QPen result(QColor::fromRgb(value), IsCosmetic(pen) ? 0 : pen.Width, QtStyle(pen.Style),
                IsCosmetic(pen) ? Qt::FlatCap : Qt::SquareCap, Qt::MiterJoin);
    result.setCosmetic(IsCosmetic(pen));
    return result;
}

QPainter::CompositionMode QtMode(TPenMode mode) {
    switch (mode) {
    case pmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    default:
        return QPainter::CompositionMode_Source;
    }
}

// A pixel rectangle with 64-bit edges, right and bottom excluded.
struct TBox {
    int64_t Left, Top, Right, Bottom;
};

bool IsLarge(const TPoint& p) {
    return !WithinCoordinateLimit(p.X) || !WithinCoordinateLimit(p.Y);
}

// The result of a ternary raster operation on one pixel (pattern, source, destination).
uint32_t Rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t result = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        if (((rop >> i) & 1) == 0)
            continue;
        result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return (result & kRgbMask) | kOpaque;
}

} // namespace

// Consecutive MoveTo/LineTo segments drawn with one pen: one element.
struct TCanvas::TLineRun {
    TPen Pen;
    std::vector<std::vector<TPoint>> Paths;
};

// A half-open pixel interval on one scan line.
struct TCanvas::TSpan {
    int64_t From;
    int64_t To;
};

// Fonts recently used on this canvas with the layout of their recent texts: a chart redraw
// writes the same few labels in a few fonts again and again.
struct TCanvas::TFontCache {
    struct TText {
        int Width;
        QStaticText Static;
    };
    TFont Key; // colour 0: colour does not change the layout
    QFont Font;
    QFontMetrics Metrics;
    std::unordered_map<std::string, TText> Texts;

    const TText& Text(std::string_view text) {
        auto found = Texts.find(std::string(text));
        if (found != Texts.end())
            return found->second;
        if (Texts.size() >= kMaxTexts)
            Texts.clear();
        const QString string = QString::fromUtf8(text.data(), qsizetype(text.size()));
        QStaticText layout(string);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform(), Font);
        return Texts.emplace(std::string(text), TText{Metrics.horizontalAdvance(string), layout})
            .first->second;
    }
    static constexpr size_t kMaxTexts = 256;
    static constexpr size_t kMaxFonts = 8;
};

namespace {
// Allocations above this many pixels fail (tests of the out-of-memory paths); negative: none.
std::atomic<int64_t> FailingAllocationAbove{-1};
} // namespace

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

QPainter& TCanvas::Painter() const {
    if (!FPainter) {
        FPainter = std::make_unique<QPainter>(&FImage);
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

uint32_t* TCanvas::ScanLine(int32_t y) const {
    if (!FBits) {
        // Writing to a shared image would detach it under an active painter.
        if (FPainter && !FImage.isDetached())
            EndPainter();
        FBits = reinterpret_cast<uint32_t*>(FImage.bits());
        FStride = FImage.bytesPerLine() / 4;
    }
    return FBits + qsizetype(y) * FStride;
}

void TCanvas::Changed() const {
    if (FChangeReported)
        return;
    FChangeReported = true;
    if (OnChange)
        OnChange();
}

void TCanvas::SetSize(int32_t width, int32_t height) {
    const TCanvasSize size = FittedCanvasSize(width, height);
    width = size.Width;
    height = size.Height;
    if (width == FImage.width() && height == FImage.height() && !FImage.isNull())
        return;
    Flush();
    const int64_t failAbove = FailingAllocationAbove;
    if (failAbove >= 0 && int64_t(width) * height > failAbove)
        throw std::bad_alloc();
    QImage image(width, height, QImage::Format_RGB32);
    if (width > 0 && height > 0 && image.isNull())
        throw std::bad_alloc(); // the old image stays
    EndPainter();
    image.fill(0xFFFFFFFFu);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    const int rows = std::min(height, FImage.height());
    const int columns = std::min(width, FImage.width());
    for (int y = 0; columns > 0 && y < rows; ++y)
        std::memcpy(image.scanLine(y), FImage.constScanLine(y), size_t(columns) * 4);
    FImage = std::move(image);
    FBits = nullptr;
    Changed();
}

const QImage& TCanvas::Image() const {
    Flush();
    EndPainter();
    FBits = nullptr; // the caller may share the image
    FChangeReported = false;
    return FImage;
}

void TCanvas::SetImage(const QImage& image) {
    Flush();
    EndPainter();
    FImage = image.convertToFormat(QImage::Format_RGB32);
    FBits = nullptr;
    FImage.setDotsPerMeterX(kDotsPerMeter);
    FImage.setDotsPerMeterY(kDotsPerMeter);
    Changed();
}

void TCanvas::Flush() const {
    if (!FRun)
        return;
    const std::unique_ptr<TLineRun> run = std::move(FRun);
    DrawRun(*run);
}

TColor TCanvas::Pixel(int32_t x, int32_t y) const {
    Flush();
    if (!FImage.valid(x, y))
        return clBlack;
    return QRgbToColor(reinterpret_cast<const uint32_t*>(FImage.constScanLine(y))[x]);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    Flush();
    if (!FImage.valid(x, y))
        return;
    ScanLine(y)[x] = ColorToQRgb(color);
    Changed();
}

void TCanvas::FillRect(const TRect& rect) {
    Flush();
    if (Brush.Style == bsClear)
        return;
    const int64_t left = std::max<int64_t>(rect.Left, 0);
    const int64_t right = std::min<int64_t>(rect.Right, FImage.width());
    const int64_t top = std::max<int64_t>(rect.Top, 0);
    const int64_t bottom = std::min<int64_t>(rect.Bottom, FImage.height());
    if (left >= right || top >= bottom)
        return;
    const uint32_t value = ColorToQRgb(Brush.Color);
    for (int64_t y = top; y < bottom; ++y)
        ApplySpan(ScanLine(int32_t(y)), left, right, value, pmCopy);
    Changed();
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    if (FRun && (TPoint{x, y} != FPenPos)) {
        // A jump ends the element, except the short step of a segment that starts up to half a
        // pen width after the previous end (wide pens only).
        const int64_t step =
            std::max(std::abs(int64_t(x) - FPenPos.X), std::abs(int64_t(y) - FPenPos.Y));
        if (IsCosmetic(FRun->Pen) || step > FRun->Pen.Width)
            Flush();
    }
    FPenPos = {x, y};
}

void TCanvas::LineTo(int32_t x, int32_t y) {
    if (FRun && !(FRun->Pen == Pen))
        Flush();
    const TPoint from = FPenPos;
    FPenPos = {x, y};
    if (from == FPenPos || Pen.Style == psClear || FImage.isNull())
        return;
    if (!FRun) {
        FRun = std::make_unique<TLineRun>();
        FRun->Pen = Pen;
        Changed();
    }
    auto& paths = FRun->Paths;
    if (paths.empty() || paths.back().back() != from)
        paths.push_back({from});
    paths.back().push_back(FPenPos);
}

void TCanvas::Polyline(std::span<const TPoint> points) {
    Flush();
    if (Pen.Style == psClear || FImage.isNull())
        return;
    TLineRun run;
    run.Pen = Pen;
    std::vector<TPoint> path;
    for (const TPoint& p : points)
        if (path.empty() || path.back() != p)
            path.push_back(p);
    if (path.size() < 2)
        return;
    run.Paths.push_back(std::move(path));
    DrawRun(run);
    Changed();
}

// Solid runs are combined in our own loop over the scan lines, so that grid lines, axes and
// curves stay off Qt's slow raster-op path, and each pixel of the union of a run's segments
// changes once:
//  - 1-pixel pens follow the platform's rule: a segment covers its start pixel and every pixel up
//    to, not including, its end pixel in the direction of drawing (diagonal ones by Bresenham).
//  - A wide segment is a rectangle extended by half the pen width beyond both ends (square ends).
//    A pixel is covered when its centre lies inside: left/top edge excluded, right/bottom edge
//    included, which is bit-identical to Qt's stroker for horizontal and vertical lines.
// Returns false for dashed and dotted pens, which Qt strokes.
bool TCanvas::DrawRunFast(const TLineRun& run) const {
    if (!IsSolid(run.Pen))
        return false;
    const uint32_t value = ModeValue(run.Pen.Color, run.Pen.Mode);
    const TPenMode mode = run.Pen.Mode == pmCopy ? pmCopy : pmXor;
    bool axisAligned = true;
    for (const auto& path : run.Paths)
        for (size_t i = 1; i < path.size(); ++i)
            axisAligned = axisAligned && (path[i - 1].X == path[i].X || path[i - 1].Y == path[i].Y);
    const bool single = run.Paths.size() == 1 && run.Paths[0].size() == 2;
    if (!IsCosmetic(run.Pen) && !(single && axisAligned)) {
        DrawWideRun(run, value, mode);
        return true;
    }
    if (!axisAligned) {
        DrawPixels(run, value, mode);
        return true;
    }
    std::vector<TBox> boxes;
    for (const auto& path : run.Paths) {
        for (size_t i = 1; i < path.size(); ++i) {
            const TPoint a = path[i - 1], b = path[i];
            if (!IsCosmetic(run.Pen)) {
                // The square-ended stroke [min - w/2, max + w/2] at pixel centres, in half pixels.
                const int64_t w = run.Pen.Width;
                const auto first = [w](int64_t lo) { return FloorDiv2(2 * lo - w - 1) + 1; };
                const auto last = [w](int64_t hi) { return FloorDiv2(2 * hi + w - 1) + 1; };
                boxes.push_back({first(std::min(a.X, b.X)), first(std::min(a.Y, b.Y)),
                                 last(std::max(a.X, b.X)), last(std::max(a.Y, b.Y))});
                continue;
            }
            TBox box{a.X, a.Y, int64_t(a.X) + 1, int64_t(a.Y) + 1};
            if (b.X > a.X)
                box.Right = b.X;
            else if (b.X < a.X)
                box.Left = int64_t(b.X) + 1;
            else if (b.Y > a.Y)
                box.Bottom = b.Y;
            else
                box.Top = int64_t(b.Y) + 1;
            boxes.push_back(box);
        }
    }
    const int64_t width = FImage.width();
    if (boxes.size() == 1) {
        const TBox& box = boxes[0];
        const int64_t left = std::max<int64_t>(box.Left, 0), right = std::min(box.Right, width);
        const int64_t last = std::min<int64_t>(box.Bottom, FImage.height());
        for (int64_t y = std::max<int64_t>(box.Top, 0); y < last && left < right; ++y) {
            // Rows lie far apart in memory: ask for the ones ahead early.
            if (y + kRowsAhead < last)
                __builtin_prefetch(ScanLine(int32_t(y + kRowsAhead)) + left, 1);
            ApplySpan(ScanLine(int32_t(y)), left, right, value, mode);
        }
        return true;
    }
    int64_t top = std::numeric_limits<int64_t>::max(), bottom = std::numeric_limits<int64_t>::min();
    for (const TBox& box : boxes) {
        top = std::min(top, box.Top);
        bottom = std::max(bottom, box.Bottom);
    }
    top = std::max<int64_t>(top, 0);
    bottom = std::min<int64_t>(bottom, FImage.height());
    std::vector<TSpan> spans;
    for (int64_t y = top; y < bottom; ++y) {
        spans.clear();
        for (const TBox& box : boxes)
            if (box.Top <= y && y < box.Bottom)
                spans.push_back({std::max<int64_t>(box.Left, 0), std::min(box.Right, width)});
        ApplySpans(y, spans, value, mode);
    }
    return true;
}

// Changes the union of the spans on one scan line once.
void TCanvas::ApplySpans(int64_t y, std::vector<TSpan>& spans, uint32_t value,
                         TPenMode mode) const {
    std::sort(spans.begin(), spans.end(),
              [](const TSpan& l, const TSpan& r) { return l.From < r.From; });
    uint32_t* line = nullptr;
    int64_t done = std::numeric_limits<int64_t>::min();
    for (const TSpan& span : spans) {
        const int64_t from = std::max(span.From, done);
        if (from >= span.To)
            continue;
        if (!line) {
            line = ScanLine(int32_t(y));
            if (y + kRowsAhead < FImage.height())
                __builtin_prefetch(ScanLine(int32_t(y + kRowsAhead)) + from, 1);
        }
        ApplySpan(line, from, span.To, value, mode);
        done = span.To;
    }
}

// Wide segments as square-ended rectangles, filled scan line by scan line at pixel centres.
void TCanvas::DrawWideRun(const TLineRun& run, uint32_t value, TPenMode mode) const {
    struct TQuad {
        QPointF Corner[4];
        int64_t FirstRow, LastRow;
    };
    const double half = run.Pen.Width / 2.0;
    const int64_t width = FImage.width(), height = FImage.height();
    std::vector<TQuad> quads;
    for (const auto& path : run.Paths)
        for (size_t i = 1; i < path.size(); ++i) {
            const QPointF a(path[i - 1].X, path[i - 1].Y), b(path[i].X, path[i].Y);
            const QPointF delta = b - a;
            const double length = std::hypot(delta.x(), delta.y());
            const QPointF d = delta / length * half, n(-d.y(), d.x());
            TQuad quad{{a - d + n, b + d + n, b + d - n, a - d - n}, 0, 0};
            double top = quad.Corner[0].y(), bottom = top;
            for (const QPointF& c : quad.Corner) {
                top = std::min(top, c.y());
                bottom = std::max(bottom, c.y());
            }
            // Rows whose centre y + 0.5 satisfies top < y + 0.5 <= bottom.
            quad.FirstRow = int64_t(std::floor(std::clamp(top - 0.5, -2.0, height + 1.0))) + 1;
            quad.LastRow = int64_t(std::floor(std::clamp(bottom - 0.5, -2.0, height + 1.0)));
            quad.FirstRow = std::max<int64_t>(quad.FirstRow, 0);
            quad.LastRow = std::min(quad.LastRow, height - 1);
            if (quad.FirstRow <= quad.LastRow)
                quads.push_back(quad);
        }
    std::sort(quads.begin(), quads.end(),
              [](const TQuad& l, const TQuad& r) { return l.FirstRow < r.FirstRow; });
    std::vector<const TQuad*> active;
    std::vector<TSpan> spans;
    size_t next = 0;
    const int64_t firstRow = quads.empty() ? 0 : quads.front().FirstRow;
    for (int64_t y = firstRow; y < height && (next < quads.size() || !active.empty()); ++y) {
        while (next < quads.size() && quads[next].FirstRow <= y)
            active.push_back(&quads[next++]);
        std::erase_if(active, [y](const TQuad* q) { return q->LastRow < y; });
        const double yc = y + 0.5;
        spans.clear();
        for (const TQuad* quad : active) {
            double left = std::numeric_limits<double>::max(), right = -left;
            for (int e = 0; e < 4; ++e) {
                const QPointF p = quad->Corner[e], q = quad->Corner[(e + 1) % 4];
                if (yc < std::min(p.y(), q.y()) || yc > std::max(p.y(), q.y()))
                    continue;
                if (p.y() == q.y()) {
                    left = std::min({left, p.x(), q.x()});
                    right = std::max({right, p.x(), q.x()});
                    continue;
                }
                const double x = p.x() + (yc - p.y()) * (q.x() - p.x()) / (q.y() - p.y());
                left = std::min(left, x);
                right = std::max(right, x);
            }
            if (left > right)
                continue;
            // Columns whose centre x + 0.5 satisfies left < x + 0.5 <= right.
            const int64_t from = int64_t(std::floor(std::clamp(left - 0.5, -2.0, width + 1.0))) + 1;
            const int64_t to = int64_t(std::floor(std::clamp(right - 0.5, -2.0, width + 1.0))) + 1;
            spans.push_back({std::max<int64_t>(from, 0), std::min(to, width)});
        }
        ApplySpans(y, spans, value, mode);
    }
}

namespace {

// A 1-pixel segment by Bresenham: step i in [0, n) along the major axis u gives the pixel
// (u0 + su * i, v0 + sv * round(i * m / n)), halves rounded away from the start.
struct TBresenham {
    bool XMajor;
    int64_t U0, V0, Su, Sv, N, M;
    int64_t Left, Top, Right, Bottom; // bounding box, inclusive

    TBresenham(TPoint a, TPoint b) {
        XMajor = std::abs(int64_t(b.X) - a.X) >= std::abs(int64_t(b.Y) - a.Y);
        U0 = XMajor ? a.X : a.Y;
        V0 = XMajor ? a.Y : a.X;
        const int64_t du = (XMajor ? b.X : b.Y) - U0, dv = (XMajor ? b.Y : b.X) - V0;
        Su = du < 0 ? -1 : 1;
        Sv = dv < 0 ? -1 : 1;
        N = std::abs(du);
        M = std::abs(dv);
        Left = std::min(a.X, b.X);
        Right = std::max(a.X, b.X);
        Top = std::min(a.Y, b.Y);
        Bottom = std::max(a.Y, b.Y);
    }
    int64_t V(int64_t i) const {
        return V0 + Sv * int64_t((Int128(2) * i * M + N) / (Int128(2) * N));
    }
    bool Contains(int64_t x, int64_t y) const {
        const int64_t u = XMajor ? x : y, v = XMajor ? y : x;
        const int64_t i = (u - U0) * Su;
        return i >= 0 && i < N && V(i) == v;
    }
    bool Meets(const TBresenham& other) const {
        return Left <= other.Right && other.Left <= Right && Top <= other.Bottom &&
               other.Top <= Bottom;
    }
};

} // namespace

// 1-pixel segments: only the steps on the surface are visited; a pixel that an earlier segment
// of the run already changed (a joint, a crossing) is left alone.
void TCanvas::DrawPixels(const TLineRun& run, uint32_t value, TPenMode mode) const {
    const int64_t width = FImage.width(), height = FImage.height();
    std::vector<TBresenham> segments;
    for (const auto& path : run.Paths)
        for (size_t k = 1; k < path.size(); ++k)
            segments.emplace_back(path[k - 1], path[k]);
    std::vector<const TBresenham*> earlier;
    for (size_t k = 0; k < segments.size(); ++k) {
        const TBresenham& s = segments[k];
        earlier.clear();
        for (size_t j = 0; j < k; ++j)
            if (segments[j].Meets(s))
                earlier.push_back(&segments[j]);
        const int64_t uSize = s.XMajor ? width : height;
        // Steps i in [0, n) whose u lies on the surface.
        const int64_t from = std::max<int64_t>(s.Su > 0 ? -s.U0 : s.U0 - (uSize - 1), 0);
        const int64_t to = std::min(s.Su > 0 ? uSize - s.U0 : s.U0 + 1, s.N);
        if (from >= to)
            continue;
        // round(i * m / n) kept as quotient and remainder of (2 i m + n) / 2n, stepped by 2m.
        const int64_t twoN = 2 * s.N, twoM = 2 * s.M;
        const Int128 start = Int128(twoM) * from + s.N;
        int64_t quotient = int64_t(start / twoN), remainder = int64_t(start % twoN);
        for (int64_t i = from; i < to; ++i) {
            const int64_t u = s.U0 + s.Su * i, v = s.V0 + s.Sv * quotient;
            remainder += twoM;
            if (remainder >= twoN) {
                remainder -= twoN;
                ++quotient;
            }
            const int64_t x = s.XMajor ? u : v, y = s.XMajor ? v : u;
            if (x < 0 || x >= width || y < 0 || y >= height)
                continue;
            if (std::any_of(earlier.begin(), earlier.end(),
                            [x, y](const TBresenham* e) { return e->Contains(x, y); }))
                continue;
            ApplySpan(ScanLine(int32_t(y)), x, x + 1, value, mode);
        }
    }
}

void TCanvas::DrawRun(const TLineRun& run) const {
    if (FImage.isNull() || DrawRunFast(run))
        return;
    const double margin = std::max(run.Pen.Width, 1) + 4.0;
    const TClipBox guard{-margin, -margin, FImage.width() + margin, FImage.height() + margin};
    QPainterPath path;
    for (const auto& points : run.Paths) {
        bool open = false;
        for (size_t i = 1; i < points.size(); ++i) {
            QPointF a(points[i - 1].X, points[i - 1].Y), b(points[i].X, points[i].Y);
            // Qt's fixed-point rasteriser is not made for coordinates near the 32-bit limits:
            // far ends are cut back to just outside the surface first.
            if (IsLarge(points[i - 1]) || IsLarge(points[i])) {
                const auto clipped = ClipSegment({a.x(), a.y()}, {b.x(), b.y()}, guard);
                if (!clipped)
                    continue;
                a = QPointF(double(clipped->From.X), double(clipped->From.Y));
                b = QPointF(double(clipped->To.X), double(clipped->To.Y));
                open = false;
            }
            if (!open)
                path.moveTo(a);
            path.lineTo(b);
            open = true;
        }
    }
    const uint32_t value = ColorToQRgb(run.Pen.Color);
    QPainter& painter = Painter();
    painter.setCompositionMode(QtMode(run.Pen.Mode));
    const QPen pen = QtPen(run.Pen, value);
    if (IsCosmetic(run.Pen)) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    } else {
        // Qt strokes the sub-paths of a wide path one by one, so pixels where they overlap would
        // be hit twice; filling the stroke outline with the winding rule hits each pixel once.
        const QPainterPath outline = QPainterPathStroker(pen).createStroke(path);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgb(value));
        painter.drawPath(outline);
    }
}

// Fill and outline of one figure form one element: under a raster-op pen mode they are
// composed with plain painting in a scratch layer (in inverted colours for not-xor) and the
// layer is combined with the surface once.
void TCanvas::DrawShape(const QRect& bounds, const std::function<void(QPainter&)>& paint) {
    Flush();
    const QRect area = bounds.intersected(FImage.rect());
    if (area.isEmpty())
        return;
    const TPenMode mode = Pen.Mode;
    const QPen pen = QtPen(Pen, ModeValue(Pen.Color, mode));
    const QBrush brush = Brush.Style == bsClear
                             ? QBrush(Qt::NoBrush)
                             : QBrush(QColor::fromRgb(ModeValue(Brush.Color, mode)));
    const auto prepare = [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setPen(pen);
        painter.setBrush(brush);
    };
    if (mode == pmCopy) {
        QPainter& painter = Painter();
        painter.save();
        prepare(painter);
        paint(painter);
        painter.restore();
        Changed();
        return;
    }
    QImage layer(area.size(), QImage::Format_RGB32);
    layer.fill(0u);
    {
        QPainter painter(&layer);
        prepare(painter);
        painter.translate(-area.topLeft());
        paint(painter);
    }
    for (int y = 0; y < area.height(); ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(layer.constScanLine(y));
        uint32_t* line = ScanLine(area.top() + y) + area.left();
        for (int x = 0; x < area.width(); ++x)
            line[x] ^= source[x] & kRgbMask;
    }
    Changed();
}

namespace {

// The bounding box of a figure with room for the pen, clamped to the int range of QRect.
QRect FigureBounds(double left, double top, double right, double bottom, int32_t penWidth) {
    // Mitred corners reach up to twice the pen width (Qt's miter limit) from the outline.
    const double margin = 2.0 * std::max(penWidth, 1) + 2.0;
    const double limit = std::numeric_limits<int>::max() / 4.0;
    const auto clamp = [limit](double v) { return int(std::clamp(v, -limit, limit)); };
    return QRect(QPoint(clamp(left - margin), clamp(top - margin)),
                 QPoint(clamp(right + margin), clamp(bottom + margin)));
}

} // namespace

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double l = std::min(left, right), r = std::max(left, right);
    const double t = std::min(top, bottom), b = std::max(top, bottom);
    DrawShape(FigureBounds(l, t, r, b, Pen.Width),
              [&](QPainter& painter) { painter.drawEllipse(QRectF(l, t, r - l - 1, b - t - 1)); });
}

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const double l = std::min(left, right), r = std::max(left, right);
    const double t = std::min(top, bottom), b = std::max(top, bottom);
    DrawShape(FigureBounds(l, t, r, b, Pen.Width), [&](QPainter& painter) {
        const QPen pen = painter.pen();
        painter.setPen(Qt::NoPen);
        painter.drawRect(QRectF(l, t, r - l, b - t));
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(l, t, r - l - 1, b - t - 1));
    });
}

void TCanvas::Polygon(std::span<const TPoint> points) {
    if (points.size() < 2) {
        Flush();
        return;
    }
    QPolygonF polygon;
    double l = points[0].X, r = l, t = points[0].Y, b = t;
    for (const TPoint& p : points) {
        polygon << QPointF(p.X, p.Y);
        l = std::min<double>(l, p.X);
        r = std::max<double>(r, p.X);
        t = std::min<double>(t, p.Y);
        b = std::max<double>(b, p.Y);
    }
    DrawShape(FigureBounds(l, t, r, b, Pen.Width),
              [&](QPainter& painter) { painter.drawPolygon(polygon, Qt::OddEvenFill); });
}

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
    source.Flush();
    if (dest.IsEmpty() || sourceRect.IsEmpty() || FImage.isNull())
        return;
    // A copy within this canvas reads from a snapshot; the first write detaches the surface.
    QImage snapshot;
    if (&source == this) {
        EndPainter();
        snapshot = FImage;
        FBits = nullptr;
    }
    const QImage& from = &source == this ? snapshot : source.FImage;
    const int64_t dw = dest.Width(), dh = dest.Height();
    const int64_t sw = sourceRect.Width(), sh = sourceRect.Height();
    const int64_t left = std::max<int64_t>(dest.Left, 0);
    const int64_t right = std::min<int64_t>(dest.Right, FImage.width());
    const int64_t top = std::max<int64_t>(dest.Top, 0);
    const int64_t bottom = std::min<int64_t>(dest.Bottom, FImage.height());
    if (left >= right || top >= bottom)
        return;
    // Nearest source pixel of each destination column; -1 outside the source image.
    std::vector<int32_t> columns(size_t(right - left));
    for (int64_t x = left; x < right; ++x) {
        const int64_t sx = sourceRect.Left + int64_t(Int128(x - dest.Left) * sw / dw);
        columns[size_t(x - left)] = (sx >= 0 && sx < from.width()) ? int32_t(sx) : -1;
    }
    const uint32_t rop = (FCopyMode >> 16) & 0xFF;
    const uint32_t pattern = ColorToQRgb(Brush.Color);
    for (int64_t y = top; y < bottom; ++y) {
        const int64_t sy = sourceRect.Top + int64_t(Int128(y - dest.Top) * sh / dh);
        if (sy < 0 || sy >= from.height())
            continue;
        const auto* src = reinterpret_cast<const uint32_t*>(from.constScanLine(int(sy)));
        uint32_t* line = ScanLine(int32_t(y));
        for (int64_t x = left; x < right; ++x) {
            const int32_t sx = columns[size_t(x - left)];
            if (sx < 0)
                continue;
            uint32_t& d = line[x];
            if (rop == 0xCC)
                d = src[sx] | kOpaque;
            else if (rop == 0x66)
                d ^= src[sx] & kRgbMask;
            else
                d = Rop3(rop, pattern, src[sx], d);
        }
    }
    Changed();
}

void TCanvas::PaintWith(const std::function<void(QPainter&)>& paint) {
    Flush();
    if (FImage.isNull())
        return;
    QPainter& painter = Painter();
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    paint(painter);
    painter.restore();
    Changed();
}

TCanvas::TFontCache& TCanvas::Fonts() const {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Exception("Text cannot be measured or drawn without a running GUI application");
    TFont key = FFont;
    key.SetColor(0);
    auto found = std::find_if(FFontCache.begin(), FFontCache.end(),
                              [&key](const auto& entry) { return entry->Key == key; });
    if (found == FFontCache.end()) {
        if (FFontCache.size() >= TFontCache::kMaxFonts)
            FFontCache.pop_back();
        const QFont font = FFont.ToQFont();
        FFontCache.insert(FFontCache.begin(), std::make_unique<TFontCache>(
                                                  TFontCache{key, font, QFontMetrics(font), {}}));
    } else if (found != FFontCache.begin()) {
        std::rotate(FFontCache.begin(), found, found + 1);
    }
    return *FFontCache.front();
}

int32_t TCanvas::TextWidth(std::string_view text) const {
    return Fonts().Text(text).Width;
}

int32_t TCanvas::TextHeight(std::string_view) const {
    return Fonts().Metrics.height();
}

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
    Flush();
    TFontCache& fonts = Fonts();
    if (FImage.isNull())
        return;
    const TFontCache::TText& layout = fonts.Text(text);
    const int height = fonts.Metrics.height();
    const bool turned = FFont.Escapement() != 0;
    if (!turned && Brush.Style == bsSolid)
        FillRect(Rect(x, y, int32_t(std::min<int64_t>(int64_t(x) + layout.Width, INT32_MAX)),
                      int32_t(std::min<int64_t>(int64_t(y) + height, INT32_MAX))));
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.translate(double(x), double(y));
    if (turned) {
        painter.rotate(-FFont.Escapement() / 10.0);
        if (Brush.Style == bsSolid)
            painter.fillRect(QRect(0, 0, layout.Width, height),
                             QColor::fromRgb(ColorToQRgb(Brush.Color)));
    }
    painter.setFont(fonts.Font);
    painter.setPen(QColor::fromRgb(ColorToQRgb(FFont.Color())));
    painter.drawStaticText(QPointF(0, 0), layout.Static);
    painter.resetTransform();
    Changed();
}
