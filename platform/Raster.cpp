// The device scale, boxes, spans by row and the per-pixel operations of the raster core.
#include "platform/Raster.h"

#include "platform/Intrinsics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr uint32_t kRgbMask = 0x00FFFFFF;
constexpr uint32_t kOpaque = 0xFF000000;
// Logical coordinates beyond this are clamped before scaling: far outside any surface, and the
// product stays exact in a double.
constexpr int64_t kScaleLimit = int64_t{1} << 40;

} // namespace

// --- Wide products --------------------------------------------------------------------------

int64_t MulAddDivPortable(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
    // a * b + c as high and low 64-bit halves, from 32-bit pieces.
    const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
    const uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const uint64_t p0 = aLow * bLow, p1 = aLow * bHigh, p2 = aHigh * bLow, p3 = aHigh * bHigh;
    const uint64_t middle = (p0 >> 32) + (p1 & 0xFFFFFFFFu) + (p2 & 0xFFFFFFFFu);
    uint64_t low = (middle << 32) | (p0 & 0xFFFFFFFFu);
    uint64_t high = p3 + (p1 >> 32) + (p2 >> 32) + (middle >> 32);
    low += c;
    high += low < c ? 1 : 0;
    // Long division one bit at a time; the quotient fits 63 bits by contract.
    uint64_t quotient = 0, remainder = 0;
    for (int bit = 127; bit >= 0; --bit) {
        const bool carry = (remainder >> 63) != 0;
        const uint64_t next = bit >= 64 ? high >> (bit - 64) : low >> bit;
        remainder = (remainder << 1) | (next & 1);
        if (carry || remainder >= d) {
            remainder -= d;
            if (bit < 64)
                quotient |= uint64_t{1} << bit;
        }
    }
    return int64_t(quotient);
}

// --- Device scale ---------------------------------------------------------------------------

TDeviceScale::TDeviceScale(double ratio)
    : FRatio(std::isnan(ratio) ? 1.0 : std::clamp(ratio, MinRatio, MaxRatio)) {}

int64_t TDeviceScale::ToDevice(int64_t logical) const {
    if (FRatio == 1)
        return logical;
    const double product = double(std::clamp(logical, -kScaleLimit, kScaleLimit)) * FRatio;
    const double whole = std::round(product);
    // A few units in the last place of the product: the rounding of a ratio such as 1.1, far
    // below any fraction a whole coordinate can carry.
    constexpr double tolerance = 8 * std::numeric_limits<double>::epsilon();
    if (std::fabs(product - whole) <= tolerance * std::max(1.0, std::fabs(product)))
        return int64_t(whole);
    return int64_t(std::floor(product));
}

int64_t TDeviceScale::ToLogical(int64_t device) const {
    if (FRatio == 1)
        return device;
    const int64_t limit = int64_t(double(kScaleLimit) * MinRatio);
    int64_t x = int64_t(std::floor(double(std::clamp(device, -limit, limit)) / FRatio));
    while (ToDevice(x + 1) <= device && x < kScaleLimit)
        ++x;
    while (ToDevice(x) > device && x > -kScaleLimit)
        --x;
    return x;
}

int32_t TDeviceScale::Width(int32_t logical) const {
    const double scaled = double(std::max(logical, 1)) * FRatio;
    return int32_t(
        std::clamp(std::round(scaled), 1.0, double(std::numeric_limits<int32_t>::max())));
}

// --- Boxes and spans ------------------------------------------------------------------------

TBox Intersection(const TBox& a, const TBox& b) {
    return TBox{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                std::min(a.Bottom, b.Bottom)};
}

bool Overlap(const TBox& a, const TBox& b) {
    return !Intersection(a, b).IsEmpty();
}

bool Contains(const TBox& outer, const TBox& inner) {
    return outer.Left <= inner.Left && inner.Right <= outer.Right && outer.Top <= inner.Top &&
           inner.Bottom <= outer.Bottom;
}

TRowSpans::TRowSpans(std::unique_ptr<TSource> source, const TBox& bounds)
    : FSource(std::move(source)), FDeclared(bounds) {}

void TRowSpans::Extend(int64_t through) const {
    // The source adds rows through the public building interface; it may run out first.
    if (!FSource->Extend(const_cast<TRowSpans&>(*this), through))
        FSource.reset(); // every row is made
}

TBox TRowSpans::Bounds() const {
    if (!FDeclared.IsEmpty() || FSource)
        return FDeclared;
    if (FSpans.empty())
        return TBox{};
    int64_t first = 0, last = int64_t(FStarts.size()) - 2;
    while (FStarts[size_t(first)] == FStarts[size_t(first) + 1])
        ++first;
    while (FStarts[size_t(last)] == FStarts[size_t(last) + 1])
        --last;
    return TBox{FLeft, FTop + first, FRight, FTop + last + 1};
}

void TRowSpans::Reserve(size_t rows, size_t spans) {
    FStarts.reserve(rows + 1);
    FSpans.reserve(spans);
}

void TRowSpans::AddRow(int64_t y, std::span<TSpan> spans) {
    if (FStarts.empty()) {
        FTop = y;
        FStarts.push_back(0);
    }
    while (Bottom() < y)
        FStarts.push_back(uint32_t(FSpans.size()));
    if (spans.size() == 1) { // the common case: no sorting, no joining
        if (spans[0].From < spans[0].To) {
            const bool none = FSpans.empty();
            FLeft = none ? spans[0].From : std::min(FLeft, spans[0].From);
            FRight = none ? spans[0].To : std::max(FRight, spans[0].To);
            FSpans.push_back(spans[0]);
        }
        FStarts.push_back(uint32_t(FSpans.size()));
        return;
    }
    if (spans.size() == 2 && spans[1].From < spans[0].From)
        std::swap(spans[0], spans[1]);
    else if (spans.size() > 2)
        std::sort(spans.begin(), spans.end(),
                  [](const TSpan& l, const TSpan& r) { return l.From < r.From; });
    const size_t first = FSpans.size();
    for (const TSpan& span : spans) {
        if (span.From >= span.To)
            continue;
        if (FSpans.size() > first && span.From <= FSpans.back().To) {
            FSpans.back().To = std::max(FSpans.back().To, span.To);
            continue;
        }
        FSpans.push_back(span);
    }
    if (FSpans.size() > first) {
        const bool none = first == 0;
        FLeft = none ? FSpans[first].From : std::min(FLeft, FSpans[first].From);
        FRight = none ? FSpans.back().To : std::max(FRight, FSpans.back().To);
    }
    FStarts.push_back(uint32_t(FSpans.size()));
}

void FillSpan(uint32_t* row, int64_t from, int64_t to, uint32_t value) {
    const bool stream = size_t(to - from) >= kStreamingPixels;
    FillPixels(row + from, size_t(to - from), value, stream);
    if (stream)
        StreamFence();
}

TBox TRasterShape::Bounds() const {
    if (!Rows)
        return Box;
    TBox box = Rows->Bounds();
    if (box.IsEmpty())
        return TBox{};
    return TBox{box.Left + Dx, box.Top + Dy, box.Right + Dx, box.Bottom + Dy};
}

uint32_t Rop3(uint32_t rop, uint32_t pattern, uint32_t source, uint32_t dest) {
    uint32_t result = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        if (((rop >> i) & 1) == 0)
            continue;
        result |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source) &
                  ((i & 1) ? dest : ~dest);
    }
    return (result & kRgbMask) | kOpaque;
}
