// TRasterSurface: elements applied to the pixels at once, or held back behind a large fill and
// written row by row, each pixel once.
#include "platform/Intrinsics.h"
#include "platform/Raster.h"

#include <algorithm>

namespace {

// Beyond this many held elements the next one writes the held pixels first: memory stays small
// when an owner draws and erases many elements between two reads of the image.
constexpr size_t kMaxHeldElements = 4096;
// With more held elements than this the rows are written plainly: fill, then every element.
constexpr size_t kMaxComposedElements = 512;
// A copy is checked against at most this many held exclusive-or elements one by one.
constexpr size_t kMaxOverlapChecks = 256;
// The held region is split into at most this many boxes by partial settling.
constexpr size_t kMaxHeldBoxes = 32;
// A held fill of at least this many pixels is written past the cache: it does not stay in the
// cache anyway.
constexpr int64_t kStreamingArea = int64_t{1} << 20;
// How many rows ahead the loops prefetch.
constexpr int64_t kRowsAhead = 8;

using TInterval = std::pair<int64_t, int64_t>;

// Calls paint(from, to) for the parts of [from, to) outside the sorted, disjoint holes.
template <typename F>
void ForEachOutside(int64_t from, int64_t to, const std::vector<TInterval>& holes, F&& paint) {
    for (const auto& [a, b] : holes) {
        if (b <= from)
            continue;
        if (a >= to)
            break;
        if (a > from)
            paint(from, a);
        from = b;
        if (from >= to)
            return;
    }
    if (from < to)
        paint(from, to);
}

// Sorted and joined.
void Join(std::vector<TInterval>& intervals) {
    if (intervals.size() <= 1)
        return;
    std::sort(intervals.begin(), intervals.end());
    size_t out = 0;
    for (const TInterval& i : intervals) {
        if (out > 0 && i.first <= intervals[out - 1].second)
            intervals[out - 1].second = std::max(intervals[out - 1].second, i.second);
        else
            intervals[out++] = i;
    }
    intervals.resize(out);
}

// The shape combined into the pixels within `within`, leaving out the boxes `outside`.
void ApplyShape(const TPixelView& view, const TRasterShape& shape, TRasterPaint paint,
                const TBox& within, std::span<const TBox> outside = {}) {
    const TBox box = Intersection(shape.Bounds(), within);
    std::vector<TInterval> holes;
    for (int64_t y = box.Top; y < box.Bottom; ++y) {
        uint32_t* row = view.Row(y);
        if (y + kRowsAhead < box.Bottom)
            PrefetchForWrite(view.Row(y + kRowsAhead) + box.Left);
        holes.clear();
        for (const TBox& o : outside)
            if (o.Top <= y && y < o.Bottom)
                holes.push_back({o.Left, o.Right});
        if (holes.empty()) {
            shape.ForEachSpan(y, box.Left, box.Right,
                              [&](int64_t from, int64_t to) { PaintSpan(row, from, to, paint); });
            continue;
        }
        Join(holes);
        shape.ForEachSpan(y, box.Left, box.Right, [&](int64_t from, int64_t to) {
            ForEachOutside(from, to, holes,
                           [&](int64_t a, int64_t b) { PaintSpan(row, a, b, paint); });
        });
    }
}

// Calls toggle(from, to) for the pixels covered by exactly one of two rows' sorted, disjoint
// spans: what changes from the one row to the other. Every edge of either row flips whether a
// pixel is covered by one of them, so the two rows' edges are merged in order.
template <typename F>
void ToggleDifference(const std::vector<TInterval>& a, const std::vector<TInterval>& b,
                      F&& toggle) {
    if (a.size() == 1 && b.size() == 1) { // the common case: one span moving a little
        const auto [a0, a1] = a[0];
        const auto [b0, b1] = b[0];
        if (a1 <= b0 || b1 <= a0) {
            toggle(a0, a1);
            toggle(b0, b1);
            return;
        }
        if (a0 != b0)
            toggle(std::min(a0, b0), std::max(a0, b0));
        if (a1 != b1)
            toggle(std::min(a1, b1), std::max(a1, b1));
        return;
    }
    size_t i = 0, j = 0; // edges: 2k is the start of span k, 2k + 1 its end
    const size_t aEdges = 2 * a.size(), bEdges = 2 * b.size();
    const auto edge = [](const std::vector<TInterval>& spans, size_t k) {
        return k % 2 == 0 ? spans[k / 2].first : spans[k / 2].second;
    };
    bool odd = false;
    int64_t from = 0;
    while (i < aEdges || j < bEdges) {
        const bool fromA = j == bEdges || (i < aEdges && edge(a, i) <= edge(b, j));
        const int64_t x = fromA ? edge(a, i++) : edge(b, j++);
        if (odd && x > from)
            toggle(from, x);
        odd = !odd;
        from = x;
    }
}

TBox Union(const TBox& a, const TBox& b) {
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    return TBox{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                std::max(a.Bottom, b.Bottom)};
}

} // namespace

struct TRasterSurface::TBatch {
    struct TElement {
        TRasterShape Shape;
        TRasterPaint Paint;
        TBox Bounds; // within the held region's bounding box
    };
    std::vector<TBox> Held; // disjoint boxes whose pixels are held back
    TBox Bounds;            // around Held
    uint32_t Fill = 0;
    bool Stream = false;          // written past the cache (a large fill)
    std::vector<TElement> Copies; // applied first, in order
    std::vector<TElement> Xors;   // then these, in any order
    TBox XorBounds;

    size_t Count() const { return Copies.size() + Xors.size(); }
    bool Meets(const TBox& box) const {
        return Overlap(box, Bounds) && std::any_of(Held.begin(), Held.end(), [&box](const TBox& h) {
                   return Overlap(h, box);
               });
    }
    // A copy may go before the held exclusive-or elements when it meets none of them.
    bool MayHoldCopy(const TBox& bounds) const {
        if (!Overlap(bounds, XorBounds))
            return true;
        if (Xors.size() > kMaxOverlapChecks)
            return false;
        return std::none_of(Xors.begin(), Xors.end(),
                            [&bounds](const TElement& e) { return Overlap(e.Bounds, bounds); });
    }
    void Write(const TPixelView& view, const TBox& box) const {
        if (Count() > kMaxComposedElements)
            WritePlainly(view, box);
        else
            Compose(view, box);
    }
    void WritePlainly(const TPixelView& view, const TBox& box) const;
    void Compose(const TPixelView& view, const TBox& box) const;
};

// Fill, then every element as it would have been drawn.
void TRasterSurface::TBatch::WritePlainly(const TPixelView& view, const TBox& box) const {
    for (int64_t y = box.Top; y < box.Bottom; ++y)
        FillPixels(view.Row(y) + box.Left, size_t(box.Right - box.Left), Fill, Stream);
    StreamFence();
    for (const TElement& e : Copies)
        ApplyShape(view, e.Shape, e.Paint, Intersection(e.Bounds, box));
    for (const TElement& e : Xors)
        ApplyShape(view, e.Shape, e.Paint, Intersection(e.Bounds, box));
}

// Row by row in a line buffer that keeps the previous row. Where a copy starts, ends or changes
// its spans, the line is recomputed (fill, copies in order, exclusive-ors); elsewhere each
// exclusive-or element toggles only the pixels where its spans differ from the previous row's.
// Each finished row is copied out once.
void TRasterSurface::TBatch::Compose(const TPixelView& view, const TBox& box) const {
    struct TItem {
        const TElement* Element;
        TBox Bounds; // within box
        bool Copy;
        size_t Order;
        // An exclusive-or element's spans on the row before, within its bounds.
        mutable std::vector<TInterval> Spans;
        bool HasRows() const { return Element->Shape.Rows != nullptr; }
    };
    std::vector<TItem> items;
    size_t order = 0;
    for (const auto* list : {&Copies, &Xors})
        for (const TElement& e : *list) {
            const TBox bounds = Intersection(e.Bounds, box);
            if (!bounds.IsEmpty())
                items.push_back({&e, bounds, list == &Copies, order, {}});
            ++order;
        }
    std::vector<const TItem*> starts, ends;
    for (const TItem& item : items) {
        starts.push_back(&item);
        ends.push_back(&item);
    }
    std::sort(starts.begin(), starts.end(),
              [](const TItem* l, const TItem* r) { return l->Bounds.Top < r->Bounds.Top; });
    std::sort(ends.begin(), ends.end(),
              [](const TItem* l, const TItem* r) { return l->Bounds.Bottom < r->Bounds.Bottom; });
    const int64_t left = box.Left, right = box.Right;
    std::vector<uint32_t> line(size_t(right - left), Fill);
    uint32_t* const base = line.data();
    const auto paintLine = [base, left](int64_t from, int64_t to, TRasterPaint paint) {
        PaintSpan(base, from - left, to - left, paint);
    };
    // Every element on the current row in drawing order, and those among them with spans.
    std::vector<const TItem*> active, copyRows, xorRows, started, ended;
    std::vector<TInterval> holes, current;
    size_t nextStart = 0, nextEnd = 0;
    for (int64_t y = box.Top; y < box.Bottom; ++y) {
        started.clear();
        ended.clear();
        for (; nextEnd < ends.size() && ends[nextEnd]->Bounds.Bottom <= y; ++nextEnd)
            ended.push_back(ends[nextEnd]);
        for (; nextStart < starts.size() && starts[nextStart]->Bounds.Top <= y; ++nextStart)
            started.push_back(starts[nextStart]);
        for (const TItem* item : ended) {
            std::erase(active, item);
            if (item->HasRows())
                std::erase(item->Copy ? copyRows : xorRows, item);
        }
        for (const TItem* item : started) {
            active.insert(std::lower_bound(
                              active.begin(), active.end(), item,
                              [](const TItem* l, const TItem* r) { return l->Order < r->Order; }),
                          item);
            if (item->HasRows())
                (item->Copy ? copyRows : xorRows).push_back(item);
        }
        const bool first = y == box.Top;
        // Where the copies change, the line is recomputed in full.
        holes.clear();
        const auto addHole = [&holes](int64_t from, int64_t to) { holes.push_back({from, to}); };
        if (first) {
            holes.push_back({left, right});
        } else {
            for (const auto* list : {&started, &ended})
                for (const TItem* item : *list)
                    if (item->Copy)
                        addHole(item->Bounds.Left, item->Bounds.Right);
            // A copy with spans (text) is recomputed across its width on each of its rows: fewer,
            // wider intervals than its spans of two rows.
            for (const TItem* item : copyRows)
                addHole(item->Bounds.Left, item->Bounds.Right);
            Join(holes);
        }
        for (const auto& [a, b] : holes) {
            std::fill(base + (a - left), base + (b - left), Fill);
            for (const TItem* item : active)
                if (item->Bounds.Left < b && a < item->Bounds.Right)
                    item->Element->Shape.ForEachSpan(y, std::max(a, item->Bounds.Left),
                                                     std::min(b, item->Bounds.Right),
                                                     [&](int64_t from, int64_t to) {
                                                         paintLine(from, to, item->Element->Paint);
                                                     });
        }
        // Elsewhere the exclusive-or elements toggle what changed since the previous row: boxes
        // where they start or end, spans where the two rows' spans differ.
        const auto toggle = [&](int64_t from, int64_t to, TRasterPaint paint) {
            if (holes.empty())
                paintLine(from, to, paint);
            else
                ForEachOutside(from, to, holes,
                               [&](int64_t a, int64_t b) { paintLine(a, b, paint); });
        };
        if (!first) {
            for (const auto* list : {&started, &ended})
                for (const TItem* item : *list)
                    if (!item->Copy && !item->HasRows())
                        toggle(item->Bounds.Left, item->Bounds.Right, item->Element->Paint);
        }
        // Those with spans keep their spans of the row before (on the first row the line was
        // recomputed in full).
        for (const auto* list : {&xorRows, &ended})
            for (const TItem* item : *list) {
                if (item->Copy || !item->HasRows())
                    continue;
                current.clear();
                if (y < item->Bounds.Bottom)
                    item->Element->Shape.ForEachSpan(y, item->Bounds.Left, item->Bounds.Right,
                                                     [&current](int64_t from, int64_t to) {
                                                         current.push_back({from, to});
                                                     });
                if (!first)
                    ToggleDifference(item->Spans, current, [&](int64_t from, int64_t to) {
                        toggle(from, to, item->Element->Paint);
                    });
                item->Spans.swap(current);
            }
        CopyPixels(view.Row(y) + left, base, line.size(), Stream);
    }
    StreamFence();
}

TRasterSurface::TRasterSurface(int64_t minHeldPixels) : FMinHeldPixels(minHeldPixels) {}
TRasterSurface::~TRasterSurface() = default;

void TRasterSurface::SetView(const TPixelView& view) {
    Settle();
    FView = view;
}

bool TRasterSurface::Holding() const {
    return FBatch != nullptr;
}

void TRasterSurface::Discard() {
    FBatch.reset();
}

void TRasterSurface::Settle() {
    if (!FBatch)
        return;
    const std::unique_ptr<TBatch> batch = std::move(FBatch);
    for (const TBox& held : batch->Held)
        batch->Write(FView, held);
}

void TRasterSurface::Settle(const TBox& box) {
    if (!FBatch || !FBatch->Meets(box))
        return;
    TBatch& batch = *FBatch;
    if (batch.Held.size() + 3 > kMaxHeldBoxes || 2 * box.Area() > batch.Bounds.Area()) {
        Settle();
        return;
    }
    // The part of each held box inside `box` is written; the rest of it stays held.
    std::vector<TBox> held;
    for (const TBox& h : batch.Held) {
        const TBox part = Intersection(h, box);
        if (part.IsEmpty()) {
            held.push_back(h);
            continue;
        }
        batch.Write(FView, part);
        for (const TBox& piece :
             {TBox{h.Left, h.Top, h.Right, part.Top}, TBox{h.Left, part.Bottom, h.Right, h.Bottom},
              TBox{h.Left, part.Top, part.Left, part.Bottom},
              TBox{part.Right, part.Top, h.Right, part.Bottom}})
            if (!piece.IsEmpty())
                held.push_back(piece);
    }
    if (held.empty()) {
        FBatch.reset();
        return;
    }
    batch.Held = std::move(held);
    batch.Bounds = TBox{};
    for (const TBox& h : batch.Held)
        batch.Bounds = Union(batch.Bounds, h);
}

void TRasterSurface::Fill(const TBox& box, uint32_t value) {
    const TBox part = Intersection(box, TBox{0, 0, FView.Width, FView.Height});
    if (part.IsEmpty())
        return;
    if (FBatch && Contains(part, FBatch->Bounds))
        FBatch.reset(); // every held pixel is filled over
    if (part.Area() >= FMinHeldPixels && (!FBatch || !FBatch->Meets(part))) {
        Settle();
        FBatch = std::make_unique<TBatch>();
        FBatch->Held = {part};
        FBatch->Bounds = part;
        FBatch->Fill = value;
        FBatch->Stream = part.Area() >= kStreamingArea;
        return;
    }
    Draw(TRasterShape{part, nullptr, 0, 0}, TRasterPaint{value, false});
}

void TRasterSurface::ApplyOutsideHeld(const TRasterShape& shape, TRasterPaint paint,
                                      const TBox& bounds) const {
    // The bounds less every held box, as disjoint boxes.
    std::vector<TBox> pieces{bounds}, rest;
    for (const TBox& h : FBatch->Held) {
        rest.clear();
        for (const TBox& p : pieces) {
            const TBox cut = Intersection(p, h);
            if (cut.IsEmpty()) {
                rest.push_back(p);
                continue;
            }
            for (const TBox& piece : {TBox{p.Left, p.Top, p.Right, cut.Top},
                                      TBox{p.Left, cut.Bottom, p.Right, p.Bottom},
                                      TBox{p.Left, cut.Top, cut.Left, cut.Bottom},
                                      TBox{cut.Right, cut.Top, p.Right, cut.Bottom}})
                if (!piece.IsEmpty())
                    rest.push_back(piece);
        }
        pieces.swap(rest);
    }
    for (const TBox& piece : pieces)
        ApplyShape(FView, shape, paint, piece);
}

void TRasterSurface::Draw(const TRasterShape& shape, TRasterPaint paint) {
    const TBox bounds = Intersection(shape.Bounds(), TBox{0, 0, FView.Width, FView.Height});
    if (bounds.IsEmpty())
        return;
    if (FBatch && FBatch->Count() >= kMaxHeldElements)
        Settle();
    if (!FBatch || !FBatch->Meets(bounds)) {
        ApplyShape(FView, shape, paint, bounds);
        return;
    }
    TBatch& batch = *FBatch;
    // The part outside the held boxes meets no held pixel: it is drawn now.
    ApplyOutsideHeld(shape, paint, bounds);
    const TBox inner = Intersection(bounds, batch.Bounds);
    if (paint.Xor) {
        batch.Xors.push_back({shape, paint, inner});
        batch.XorBounds = Union(batch.XorBounds, inner);
        return;
    }
    if (batch.MayHoldCopy(inner)) {
        batch.Copies.push_back({shape, paint, inner});
        return;
    }
    // A copy over held exclusive-or elements: their pixels are written first.
    Settle(inner);
    if (FBatch)
        ApplyShape(FView, shape, paint, inner, FBatch->Held);
    else
        ApplyShape(FView, shape, paint, inner);
}
