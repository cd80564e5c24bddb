// Line clipping against a closed box, and the clamp to the canvas coordinate limit.
#include "platform/Clip.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr long double Inf = std::numeric_limits<long double>::infinity();
constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();

TEST(Clip, SegmentsAgainstABox) {
    const TClipBox box{0, 0, 100, 50};
    struct {
        TClipPoint A, B;
        bool Kept;
        TClipPoint From, To;
        bool FromMoved, ToMoved;
    } const cases[] = {
        {{10, 10}, {90, 40}, true, {10, 10}, {90, 40}, false, false},    // inside
        {{-50, 25}, {150, 25}, true, {0, 25}, {100, 25}, true, true},    // across
        {{50, -10}, {50, 60}, true, {50, 0}, {50, 50}, true, true},      // vertical across
        {{150, 25}, {50, 25}, true, {100, 25}, {50, 25}, true, false},   // enters from the right
        {{-10, -10}, {110, 110}, true, {0, 0}, {50, 50}, true, true},    // diagonal, leaves below
        {{0, 0}, {100, 0}, true, {0, 0}, {100, 0}, false, false},        // on the edge: inside
        {{100, 50}, {200, 50}, true, {100, 50}, {100, 50}, false, true}, // touches one corner
        {{20, 20}, {20, 20}, true, {20, 20}, {20, 20}, false, false},    // a point inside
        {{-20, 20}, {-20, 20}, false, {}, {}, false, false},             // a point outside
        {{-10, 60}, {-10, -60}, false, {}, {}, false, false},            // parallel, left
        {{120, 0}, {200, 60}, false, {}, {}, false, false},              // wholly right
        {{-10, 50}, {30, 90}, false, {}, {}, false, false},              // passes the corner
        {{NaN, 0}, {10, 10}, false, {}, {}, false, false},               // no direction
        {{0, 0}, {Inf, 10}, false, {}, {}, false, false},                //
        {{-1e6L, 25}, {1e6L, 25}, true, {0, 25}, {100, 25}, true, true}, // far ends
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << static_cast<double>(c.A.X) << "," << static_cast<double>(c.A.Y) << " - "
                     << static_cast<double>(c.B.X) << "," << static_cast<double>(c.B.Y));
        const auto r = ClipSegment(c.A, c.B, box);
        ASSERT_EQ(r.has_value(), c.Kept);
        if (!r)
            continue;
        EXPECT_NEAR(static_cast<double>(r->From.X), static_cast<double>(c.From.X), 1e-9);
        EXPECT_NEAR(static_cast<double>(r->From.Y), static_cast<double>(c.From.Y), 1e-9);
        EXPECT_NEAR(static_cast<double>(r->To.X), static_cast<double>(c.To.X), 1e-9);
        EXPECT_NEAR(static_cast<double>(r->To.Y), static_cast<double>(c.To.Y), 1e-9);
        EXPECT_EQ(r->FromMoved, c.FromMoved);
        EXPECT_EQ(r->ToMoved, c.ToMoved);
    }
}

TEST(Clip, CoordinateLimitClampAndTest) {
    const struct {
        int64_t In;
        int32_t Out;
    } clamps[] = {{0, 0},
                  {-5, -5},
                  {CoordinateLimit, CoordinateLimit},
                  {int64_t{CoordinateLimit} + 1, CoordinateLimit},
                  {-int64_t{CoordinateLimit} - 1, -CoordinateLimit},
                  {INT64_MAX, CoordinateLimit},
                  {INT64_MIN, -CoordinateLimit}};
    for (const auto& c : clamps)
        EXPECT_EQ(ClampCoordinate(c.In), c.Out) << c.In;
    EXPECT_TRUE(WithinCoordinateLimit(CoordinateLimit));
    EXPECT_TRUE(WithinCoordinateLimit(-CoordinateLimit));
    EXPECT_FALSE(WithinCoordinateLimit(CoordinateLimit + 0.5L));
    EXPECT_FALSE(WithinCoordinateLimit(NaN));
    EXPECT_FALSE(WithinCoordinateLimit(-Inf));
}

} // namespace
