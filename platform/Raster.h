#pragma once
// The raster core of the canvas, without Qt: a plain view of 32-bit pixels with its device pixel
// ratio, the one rule that turns logical coordinates into device pixels, the shapes of solid line
// runs as spans by row, and a surface that applies elements by copy or exclusive-or, deferring
// them behind a large fill so that each pixel is written once.
//
// Everything here works on device pixels. A shape never covers a pixel twice, so an element
// combined by exclusive-or and combined again restores the pixels under it bit for bit.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Device pixels per logical pixel, and the mapping of coordinates and widths.
class TDeviceScale {
public:
    static constexpr double MinRatio = 0.25;
    static constexpr double MaxRatio = 8;

    TDeviceScale() = default;
    // Clamped into [MinRatio, MaxRatio]; NaN gives 1.
    explicit TDeviceScale(double ratio);

    double Ratio() const { return FRatio; }
    bool IsUnit() const { return FRatio == 1; }
    // The device pixel of a logical coordinate: floor(x * ratio). A product that lies within a
    // hair of a whole number counts as that number, so a ratio such as 1.1 that has no exact
    // binary form still maps 10 to 11.
    int64_t ToDevice(int64_t logical) const;
    // The largest logical coordinate whose device pixel is at most `device`.
    int64_t ToLogical(int64_t device) const;
    // A pen or font of logical size w: round(w * ratio), at least 1 (a pen of width 0 or 1 counts
    // as 1).
    int32_t Width(int32_t logical) const;

    friend bool operator==(const TDeviceScale&, const TDeviceScale&) = default;

private:
    double FRatio = 1;
};

// Pixels of a surface, row by row; Stride counts pixels.
struct TPixelView {
    uint32_t* Bits = nullptr;
    int64_t Stride = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TDeviceScale Scale;

    uint32_t* Row(int64_t y) const { return Bits + y * Stride; }
};

// A pixel rectangle with 64-bit edges, right and bottom excluded.
struct TBox {
    int64_t Left = 0;
    int64_t Top = 0;
    int64_t Right = 0;
    int64_t Bottom = 0;

    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    int64_t Area() const { return IsEmpty() ? 0 : (Right - Left) * (Bottom - Top); }
    friend bool operator==(const TBox&, const TBox&) = default;
};
TBox Intersection(const TBox& a, const TBox& b);
bool Overlap(const TBox& a, const TBox& b);
bool Contains(const TBox& outer, const TBox& inner);

// A point in device pixels.
struct TDevicePoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TDevicePoint&, const TDevicePoint&) = default;
};

// A half-open run of columns on one row.
struct TSpan {
    int32_t From = 0;
    int32_t To = 0;
    friend bool operator==(const TSpan&, const TSpan&) = default;
};

// The pixels of one shape as spans by row. Within a row the spans are sorted, disjoint and not
// adjacent, so no pixel is covered twice.
//
// Rows may also be made on demand by a source, in increasing order, as they are read: a line run
// then costs its rasterising where the surface writes those rows (while the memory is busy with
// the rows before) rather than up front. Such spans have the bounds their source declared. Reading
// them changes what is made so far; like the rest of the canvas they belong to one thread.
class TRowSpans {
public:
    class TSource {
    public:
        virtual ~TSource() = default;
        // Adds the rows from the next one not made up to `through` (or to the last) by AddRow;
        // false once the last row is made.
        virtual bool Extend(TRowSpans& rows, int64_t through) = 0;
    };

    TRowSpans() = default;
    TRowSpans(std::unique_ptr<TSource> source, const TBox& bounds);

    int64_t Top() const { return FTop; }
    int64_t Bottom() const { return FTop + int64_t(FStarts.empty() ? 0 : FStarts.size() - 1); }
    // Bounding box; empty when there are no spans.
    TBox Bounds() const;
    std::span<const TSpan> Row(int64_t y) const {
        if (FSource && y >= Bottom())
            Extend(y);
        if (y < FTop || y >= Bottom())
            return {};
        const size_t row = size_t(y - FTop);
        return {FSpans.data() + FStarts[row], FSpans.data() + FStarts[row + 1]};
    }

    // Building, rows in increasing order (skipped rows stay empty). The spans of a row may come
    // in any order and overlap; they are sorted and joined here.
    void AddRow(int64_t y, std::span<TSpan> spans);
    void Reserve(size_t rows, size_t spans);

private:
    void Extend(int64_t through) const;

    // Mutable for the rows made on demand.
    mutable int64_t FTop = 0;
    mutable std::vector<uint32_t> FStarts; // per row, the index of its first span; one more
    mutable std::vector<TSpan> FSpans;
    mutable int32_t FLeft = 0;
    mutable int32_t FRight = 0;
    mutable std::unique_ptr<TSource> FSource;
    TBox FDeclared;
};

// How an element combines with the pixels: replaced by Value, or exclusive-or with the colour
// bits of Value (the alpha byte stays).
struct TRasterPaint {
    uint32_t Value = 0;
    bool Xor = false;
};

// Applies a paint to columns [from, to) of a row. Long copies bypass the cache.
void FillSpan(uint32_t* row, int64_t from, int64_t to, uint32_t value);
inline void PaintSpan(uint32_t* row, int64_t from, int64_t to, TRasterPaint paint) {
    if (from >= to)
        return;
    if (!paint.Xor) {
        FillSpan(row, from, to, paint.Value);
        return;
    }
    const uint32_t bits = paint.Value & 0x00FFFFFF;
    for (int64_t x = from; x < to; ++x)
        row[x] ^= bits;
}

// What an element covers: a box, or spans by row moved by (Dx, Dy).
struct TRasterShape {
    TBox Box;                              // used when Rows is empty
    std::shared_ptr<const TRowSpans> Rows; // shared: a text's spans stay cached
    int64_t Dx = 0;
    int64_t Dy = 0;

    // Bounding box on the surface grid (before clipping).
    TBox Bounds() const;
    // Calls visit(from, to) for the shape's spans on row y, clipped to [left, right).
    template <typename F> void ForEachSpan(int64_t y, int64_t left, int64_t right, F&& visit) const;
};

// Solid line runs. Points are device pixels; paths are drawn as one element, each pixel of the
// union of their segments once, clipped to a width x height surface.
//  - Thin pens follow the platform's 1-pixel rule: a segment covers its start pixel and every
//    pixel up to, not including, its end pixel (diagonal ones by Bresenham); a pen thicker than
//    one device pixel (a 1-pixel logical pen at a ratio of 1.5 or more) widens each step to the
//    right (steep segments) or downwards (flat ones).
//  - Wide pens cover the rectangle of each segment extended by half the width beyond both ends
//    (square ends); a pixel is covered when its centre lies inside, left and top edges excluded.
// The run comes as disjoint shapes (separate boxes where its segments do not meet, which the
// surface handles more cheaply), none when nothing lies on the surface.
std::vector<TRasterShape> LineRunShapes(std::span<const std::vector<TDevicePoint>> paths,
                                        int32_t penWidth, bool thin, int32_t width, int32_t height);

// The result of a ternary raster operation on one pixel (pattern, source, destination), opaque.
uint32_t Rop3(uint32_t rop, uint32_t pattern, uint32_t source, uint32_t dest);

// A surface that applies elements to its pixels. After a large copy fill it holds back the fill
// and every element inside its box: copies that no earlier exclusive-or element overlaps are
// applied before all exclusive-or elements (which commute among themselves), and the held pixels
// are written once, row by row, when something needs them: all of them (Settle()), or only those
// in a box (Settle(box)), after which that box is drawn directly. Each pixel ends as if every
// element had been applied at once, in order.
class TRasterSurface {
public:
    // A fill of at least minHeldPixels pixels is held back.
    explicit TRasterSurface(int64_t minHeldPixels = 16384);
    ~TRasterSurface();
    TRasterSurface(const TRasterSurface&) = delete;
    TRasterSurface& operator=(const TRasterSurface&) = delete;

    // The pixels to draw on. Settles first: held pixels belong to the old view.
    void SetView(const TPixelView& view);
    const TPixelView& View() const { return FView; }

    // A copy fill of a box (clipped to the surface).
    void Fill(const TBox& box, uint32_t value);
    // An element: its shape combined by its paint (clipped to the surface).
    void Draw(const TRasterShape& shape, TRasterPaint paint);
    // Writes the held pixels (those in `box`), so that they can be read or changed directly.
    void Settle();
    void Settle(const TBox& box);
    // Drops what is held without writing it (the pixels are replaced anyway).
    void Discard();
    bool Holding() const;

private:
    struct TBatch;
    void ApplyOutsideHeld(const TRasterShape& shape, TRasterPaint paint, const TBox& bounds) const;

    TPixelView FView;
    int64_t FMinHeldPixels;
    std::unique_ptr<TBatch> FBatch;
};

template <typename F>
void TRasterShape::ForEachSpan(int64_t y, int64_t left, int64_t right, F&& visit) const {
    if (!Rows) {
        if (Box.Top <= y && y < Box.Bottom) {
            const int64_t from = Box.Left > left ? Box.Left : left;
            const int64_t to = Box.Right < right ? Box.Right : right;
            if (from < to)
                visit(from, to);
        }
        return;
    }
    for (const TSpan& span : Rows->Row(y - Dy)) {
        const int64_t from = span.From + Dx > left ? span.From + Dx : left;
        const int64_t to = span.To + Dx < right ? span.To + Dx : right;
        if (from < to)
            visit(from, to);
    }
}
