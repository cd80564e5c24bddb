#include "platform/Clip.h"

#include <algorithm>
#include <cmath>

std::optional<TClippedSegment> ClipSegment(TClipPoint a, TClipPoint b, const TClipBox& box) {
    if (!std::isfinite(a.X) || !std::isfinite(a.Y) || !std::isfinite(b.X) || !std::isfinite(b.Y))
        return std::nullopt;
    // The segment is a + t (b - a) for t in [t0, t1]; each edge narrows the interval.
    long double t0 = 0, t1 = 1;
    const long double dx = b.X - a.X, dy = b.Y - a.Y;
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {a.X - box.Left, box.Right - a.X, a.Y - box.Top, box.Bottom - a.Y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt; // parallel to this edge and outside it
            continue;
        }
        const long double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    TClippedSegment result;
    result.From = {a.X + t0 * dx, a.Y + t0 * dy};
    result.To = {a.X + t1 * dx, a.Y + t1 * dy};
    result.FromMoved = t0 > 0;
    result.ToMoved = t1 < 1;
    return result;
}
