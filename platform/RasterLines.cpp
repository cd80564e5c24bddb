// The shapes of solid line runs: thin and wide, axis-aligned and diagonal, each pixel of a run's
// union of segments once.
#include "platform/Intrinsics.h"
#include "platform/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

using TPath = std::vector<TDevicePoint>;

// floor(value) for a value already clamped well into the int64 range; inline, where std::floor
// would be a library call without SSE4.1.
int64_t FloorToInt(double value) {
    const int64_t whole = int64_t(value);
    return whole - (double(whole) > value ? 1 : 0);
}

int64_t FloorDiv2(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

bool AxisAligned(std::span<const TPath> paths) {
    for (const TPath& path : paths)
        for (size_t i = 1; i < path.size(); ++i)
            if (path[i - 1].X != path[i].X && path[i - 1].Y != path[i].Y)
                return false;
    return true;
}

// A thin segment as a box: its start pixel and every pixel up to its end pixel, `thickness`
// pixels across (to the right of steep segments, below flat ones).
TBox ThinBox(TDevicePoint a, TDevicePoint b, int64_t thickness) {
    TBox box{a.X, a.Y, int64_t(a.X) + thickness, int64_t(a.Y) + thickness};
    if (b.X > a.X) {
        box.Right = b.X;
    } else if (b.X < a.X) {
        box.Left = int64_t(b.X) + 1;
        box.Right = int64_t(a.X) + 1;
    } else if (b.Y > a.Y) {
        box.Bottom = b.Y;
    } else {
        box.Top = int64_t(b.Y) + 1;
        box.Bottom = int64_t(a.Y) + 1;
    }
    return box;
}

// A wide axis-aligned segment with square ends: [min - w/2, max + w/2] at pixel centres, in half
// pixels; bit-identical to Qt's stroker.
TBox WideBox(TDevicePoint a, TDevicePoint b, int64_t w) {
    const auto first = [w](int64_t lo) { return FloorDiv2(2 * lo - w - 1) + 1; };
    const auto last = [w](int64_t hi) { return FloorDiv2(2 * hi + w - 1) + 1; };
    return TBox{first(std::min(a.X, b.X)), first(std::min(a.Y, b.Y)), last(std::max(a.X, b.X)),
                last(std::max(a.Y, b.Y))};
}

// The union of boxes: the boxes themselves when no two of them meet, else spans row by row.
std::vector<TRasterShape> BoxesShapes(const std::vector<TBox>& boxes, const TBox& surface) {
    bool disjoint = true;
    for (size_t i = 0; i < boxes.size() && disjoint; ++i)
        for (size_t j = i + 1; j < boxes.size() && disjoint; ++j)
            disjoint = !Overlap(boxes[i], boxes[j]);
    std::vector<TRasterShape> shapes;
    if (disjoint) {
        for (const TBox& box : boxes)
            if (const TBox part = Intersection(box, surface); !part.IsEmpty())
                shapes.push_back(TRasterShape{part, nullptr, 0, 0});
        return shapes;
    }
    int64_t top = std::numeric_limits<int64_t>::max(), bottom = std::numeric_limits<int64_t>::min();
    for (const TBox& box : boxes) {
        top = std::min(top, box.Top);
        bottom = std::max(bottom, box.Bottom);
    }
    auto rows = std::make_shared<TRowSpans>();
    std::vector<TSpan> spans;
    for (int64_t y = std::max(top, surface.Top); y < std::min(bottom, surface.Bottom); ++y) {
        spans.clear();
        for (const TBox& box : boxes) {
            const TBox part = Intersection(box, surface);
            if (part.Top <= y && y < part.Bottom && part.Left < part.Right)
                spans.push_back({int32_t(part.Left), int32_t(part.Right)});
        }
        if (!spans.empty())
            rows->AddRow(y, spans);
    }
    shapes.push_back(TRasterShape{TBox{}, std::move(rows), 0, 0});
    return shapes;
}

// Thin diagonal runs: every Bresenham step on the surface, step i in [0, n) along the major axis
// u giving (u0 + su * i, v0 + sv * round(i * m / n)), halves rounded away from the start.
TRasterShape ThinRunShape(std::span<const TPath> paths, int32_t thickness, const TBox& surface) {
    struct TPiece {
        int32_t Y;
        TSpan Span;
    };
    std::vector<TPiece> pieces;
    const int64_t width = surface.Right, height = surface.Bottom;
    for (const TPath& path : paths)
        for (size_t k = 1; k < path.size(); ++k) {
            const TDevicePoint a = path[k - 1], b = path[k];
            const bool xMajor = std::llabs(int64_t(b.X) - a.X) >= std::llabs(int64_t(b.Y) - a.Y);
            const int64_t u0 = xMajor ? a.X : a.Y, v0 = xMajor ? a.Y : a.X;
            const int64_t du = (xMajor ? b.X : b.Y) - u0, dv = (xMajor ? b.Y : b.X) - v0;
            const int64_t su = du < 0 ? -1 : 1, sv = dv < 0 ? -1 : 1;
            const int64_t n = std::llabs(du), m = std::llabs(dv);
            const int64_t uSize = xMajor ? width : height, vSize = xMajor ? height : width;
            // Steps whose u lies on the surface.
            const int64_t from = std::max<int64_t>(su > 0 ? -u0 : u0 - (uSize - 1), 0);
            const int64_t to = std::min(su > 0 ? uSize - u0 : u0 + 1, n);
            if (from >= to)
                continue;
            // round(i * m / n) kept as quotient and remainder of (2 i m + n) / 2n, stepped by 2m.
            const int64_t twoN = 2 * n, twoM = 2 * m;
            int64_t quotient = MulAddDiv(twoM, from, n, twoN);
            // The exact remainder is below 2n; unsigned wrap-around gives it from the low bits.
            int64_t remainder = int64_t(uint64_t(twoM) * uint64_t(from) + uint64_t(n) -
                                        uint64_t(quotient) * uint64_t(twoN));
            for (int64_t i = from; i < to; ++i) {
                const int64_t u = u0 + su * i, v = v0 + sv * quotient;
                remainder += twoM;
                if (remainder >= twoN) {
                    remainder -= twoN;
                    ++quotient;
                }
                const int64_t vFrom = std::max<int64_t>(v, 0);
                const int64_t vTo = std::min(v + thickness, vSize);
                if (vFrom >= vTo)
                    continue;
                if (xMajor) {
                    for (int64_t y = vFrom; y < vTo; ++y)
                        pieces.push_back({int32_t(y), {int32_t(u), int32_t(u + 1)}});
                } else {
                    pieces.push_back({int32_t(u), {int32_t(vFrom), int32_t(vTo)}});
                }
            }
        }
    std::sort(pieces.begin(), pieces.end(), [](const TPiece& l, const TPiece& r) {
        return l.Y != r.Y ? l.Y < r.Y : l.Span.From < r.Span.From;
    });
    auto rows = std::make_shared<TRowSpans>();
    std::vector<TSpan> spans;
    for (size_t i = 0; i < pieces.size();) {
        const int32_t y = pieces[i].Y;
        spans.clear();
        for (; i < pieces.size() && pieces[i].Y == y; ++i)
            spans.push_back(pieces[i].Span);
        rows->AddRow(y, spans);
    }
    return TRasterShape{TBox{}, std::move(rows), 0, 0};
}

// Wide segments as square-ended rectangles, filled scan line by scan line at pixel centres. The
// rows are made as they are read.
class TWideRows : public TRowSpans::TSource {
public:
    // An edge of a quad from p to q, with what every row needs of it worked out once.
    struct TEdge {
        double X, Y, EndX, DeltaX, DeltaY, Low, High;
    };
    struct TQuad {
        TEdge Edges[4];
        int64_t FirstRow, LastRow;
    };

    TWideRows(std::vector<TQuad> quads, int64_t width, int64_t height)
        : FQuads(std::move(quads)), FWidth(width), FHeight(height) {
        std::sort(FQuads.begin(), FQuads.end(),
                  [](const TQuad& l, const TQuad& r) { return l.FirstRow < r.FirstRow; });
        FRow = FQuads.empty() ? 0 : FQuads.front().FirstRow;
    }

    bool Extend(TRowSpans& rows, int64_t through) override {
        for (; FRow <= through && FRow < FHeight && (FNext < FQuads.size() || !FActive.empty());
             ++FRow) {
            const int64_t y = FRow;
            while (FNext < FQuads.size() && FQuads[FNext].FirstRow <= y) {
                FActive.push_back(&FQuads[FNext]);
                FEnds = std::min(FEnds, FQuads[FNext++].LastRow);
            }
            if (FEnds < y) { // a quad ended on the previous row
                std::erase_if(FActive, [y](const TQuad* q) { return q->LastRow < y; });
                FEnds = std::numeric_limits<int64_t>::max();
                for (const TQuad* q : FActive)
                    FEnds = std::min(FEnds, q->LastRow);
            }
            const double yc = y + 0.5;
            FSpans.clear();
            for (const TQuad* quad : FActive) {
                double left = std::numeric_limits<double>::max(), right = -left;
                for (const TEdge& edge : quad->Edges) {
                    if (yc < edge.Low || yc > edge.High)
                        continue;
                    if (edge.DeltaY == 0) {
                        left = std::min({left, edge.X, edge.EndX});
                        right = std::max({right, edge.X, edge.EndX});
                        continue;
                    }
                    const double x = edge.X + (yc - edge.Y) * edge.DeltaX / edge.DeltaY;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
                if (left > right)
                    continue;
                // Columns whose centre x + 0.5 satisfies left < x + 0.5 <= right.
                const int64_t from = FloorToInt(std::clamp(left - 0.5, -2.0, FWidth + 1.0)) + 1;
                const int64_t to = FloorToInt(std::clamp(right - 0.5, -2.0, FWidth + 1.0)) + 1;
                FSpans.push_back(
                    {int32_t(std::max<int64_t>(from, 0)), int32_t(std::min(to, FWidth))});
            }
            rows.AddRow(y, FSpans);
        }
        std::erase_if(FActive, [this](const TQuad* q) { return q->LastRow < FRow; });
        return FRow < FHeight && (FNext < FQuads.size() || !FActive.empty());
    }

private:
    std::vector<TQuad> FQuads;
    std::vector<const TQuad*> FActive;
    std::vector<TSpan> FSpans;
    size_t FNext = 0;
    int64_t FRow = 0;
    int64_t FEnds = std::numeric_limits<int64_t>::max(); // the first last row among the active
    int64_t FWidth, FHeight;
};

TRasterShape WideRunShape(std::span<const TPath> paths, int32_t penWidth, const TBox& surface) {
    using TQuad = TWideRows::TQuad;
    const double half = penWidth / 2.0;
    const int64_t width = surface.Right, height = surface.Bottom;
    std::vector<TQuad> quads;
    TBox bounds{std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(),
                std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::min()};
    for (const TPath& path : paths)
        for (size_t i = 1; i < path.size(); ++i) {
            const double ax = path[i - 1].X, ay = path[i - 1].Y, bx = path[i].X, by = path[i].Y;
            const double length = std::hypot(bx - ax, by - ay);
            if (length == 0)
                continue; // a segment of no length has no direction and covers nothing
            const double dx = (bx - ax) / length * half, dy = (by - ay) / length * half;
            const double nx = -dy, ny = dx;
            const double corners[4][2] = {{ax - dx + nx, ay - dy + ny},
                                          {bx + dx + nx, by + dy + ny},
                                          {bx + dx - nx, by + dy - ny},
                                          {ax - dx - nx, ay - dy - ny}};
            TQuad quad{};
            double top = corners[0][1], bottom = top, left = corners[0][0], right = left;
            for (int e = 0; e < 4; ++e) {
                const double* p = corners[e];
                const double* q = corners[(e + 1) % 4];
                quad.Edges[e] = {p[0],
                                 p[1],
                                 q[0],
                                 q[0] - p[0],
                                 q[1] - p[1],
                                 std::min(p[1], q[1]),
                                 std::max(p[1], q[1])};
                top = std::min(top, p[1]);
                bottom = std::max(bottom, p[1]);
                left = std::min(left, p[0]);
                right = std::max(right, p[0]);
            }
            // Rows whose centre y + 0.5 satisfies top < y + 0.5 <= bottom.
            quad.FirstRow = FloorToInt(std::clamp(top - 0.5, -2.0, height + 1.0)) + 1;
            quad.LastRow = FloorToInt(std::clamp(bottom - 0.5, -2.0, height + 1.0));
            quad.FirstRow = std::max<int64_t>(quad.FirstRow, 0);
            quad.LastRow = std::min(quad.LastRow, height - 1);
            if (quad.FirstRow > quad.LastRow)
                continue;
            quads.push_back(quad);
            // Columns, as the rows find them, lie within the corners' range.
            bounds.Left =
                std::min(bounds.Left, FloorToInt(std::clamp(left - 0.5, -2.0, width + 1.0)) + 1);
            bounds.Right =
                std::max(bounds.Right, FloorToInt(std::clamp(right - 0.5, -2.0, width + 1.0)) + 1);
            bounds.Top = std::min(bounds.Top, quad.FirstRow);
            bounds.Bottom = std::max(bounds.Bottom, quad.LastRow + 1);
        }
    if (quads.empty())
        return TRasterShape{};
    bounds = Intersection(bounds, surface);
    if (bounds.IsEmpty())
        return TRasterShape{};
    auto rows = std::make_shared<TRowSpans>(
        std::make_unique<TWideRows>(std::move(quads), width, height), bounds);
    return TRasterShape{TBox{}, std::move(rows), 0, 0};
}

} // namespace

std::vector<TRasterShape> LineRunShapes(std::span<const std::vector<TDevicePoint>> paths,
                                        int32_t penWidth, bool thin, int32_t width,
                                        int32_t height) {
    const TBox surface{0, 0, width, height};
    const bool axisAligned = AxisAligned(paths);
    const bool single = paths.size() == 1 && paths[0].size() == 2;
    if (!thin && !(single && axisAligned))
        return {WideRunShape(paths, penWidth, surface)};
    if (!axisAligned)
        return {ThinRunShape(paths, penWidth, surface)};
    std::vector<TBox> boxes;
    for (const TPath& path : paths)
        for (size_t i = 1; i < path.size(); ++i)
            boxes.push_back(thin ? ThinBox(path[i - 1], path[i], penWidth)
                                 : WideBox(path[i - 1], path[i], penWidth));
    return BoxesShapes(boxes, surface);
}
