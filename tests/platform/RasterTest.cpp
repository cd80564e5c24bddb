// The Qt-free raster core: the logical-to-device rule, wide products, spans by row, line run
// shapes, and the surface that holds elements back behind a large fill.
#include "platform/Raster.h"
#include "platform/Intrinsics.h"
#include "support/PixelSets.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <set>
#include <vector>

namespace {

// Ratios as exact fractions: the expected device pixel is an integer floor division.
struct TFraction {
    int64_t Numerator, Denominator;
    double Value() const { return double(Numerator) / double(Denominator); }
};
constexpr TFraction kRatios[] = {{1, 1}, {5, 4}, {3, 2}, {7, 4}, {2, 1}, {3, 1}, {11, 10}, {4, 3}};

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

TEST(DeviceScale, CoordinatesLandOnFloorOfTheProductAndWidthsRound) {
    for (const TFraction& ratio : kRatios) {
        const TDeviceScale scale(ratio.Value());
        SCOPED_TRACE(ratio.Value());
        const int64_t coordinates[] = {-1000001, -365, -3,    -2,      -1,        0,        1,
                                       2,        3,    4,     7,       10,        30,       251,
                                       365,      1920, 32767, 1 << 20, INT32_MAX, INT32_MIN};
        for (int64_t x : coordinates) {
            const int64_t device = FloorDiv(x * ratio.Numerator, ratio.Denominator);
            ASSERT_EQ(scale.ToDevice(x), device) << x;
            // The inverse: the last logical coordinate on or before a device pixel.
            const int64_t logical = scale.ToLogical(device);
            EXPECT_LE(scale.ToDevice(logical), device) << x;
            EXPECT_GT(scale.ToDevice(logical + 1), device) << x;
        }
        // A pen of w logical pixels: round(w * ratio), halves away from zero, at least 1.
        for (int32_t w : {0, 1, 2, 3, 5}) {
            const int64_t twice = 2 * std::max(w, 1) * ratio.Numerator;
            const int64_t rounded = FloorDiv(twice + ratio.Denominator, 2 * ratio.Denominator);
            EXPECT_EQ(scale.Width(w), std::max<int64_t>(rounded, 1)) << w;
        }
    }
    EXPECT_EQ(TDeviceScale(std::numeric_limits<double>::quiet_NaN()).Ratio(), 1.0);
    EXPECT_EQ(TDeviceScale(0).Ratio(), TDeviceScale::MinRatio);
    EXPECT_EQ(TDeviceScale(1e9).Ratio(), TDeviceScale::MaxRatio);
    EXPECT_EQ(TDeviceScale(8).Width(INT32_MAX), INT32_MAX);
}

TEST(WideProducts, MulAddDivAgreesWithLongDivision) {
    const struct {
        uint64_t A, B, C, D, Quotient;
    } cases[] = {
        {0, 5, 0, 7, 0},
        {7, 3, 1, 2, 11},
        {uint64_t{1} << 40, uint64_t{1} << 30, 0, uint64_t{1} << 20, uint64_t{1} << 50},
        {8589934590, 4294967296, 4294967295, 8589934590, 4294967296}, // a product near 2^65
        {UINT64_MAX / 2, 4, 3, 8, UINT64_MAX / 4},
        {123456789012345, 987654321, 5, 1000000007, 121932630271299},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MulAddDivPortable(c.A, c.B, c.C, c.D), int64_t(c.Quotient)) << c.A;
        EXPECT_EQ(MulAddDiv(int64_t(c.A), int64_t(c.B), int64_t(c.C), int64_t(c.D)),
                  int64_t(c.Quotient))
            << c.A;
    }
    std::mt19937_64 random(9);
    for (int i = 0; i < 2000; ++i) {
        const uint64_t a = random() >> (1 + random() % 40), b = random() >> (1 + random() % 40);
        const uint64_t d = (random() >> (random() % 60)) | 1;
        const uint64_t c = random() % d;
        // Keep the quotient within 63 bits.
        if (a != 0 && b > (UINT64_MAX / 4) / a * d)
            continue;
        ASSERT_EQ(MulAddDivPortable(a, b, c, d),
                  MulAddDiv(int64_t(a), int64_t(b), int64_t(c), int64_t(d)))
            << a << " " << b;
    }
}

TEST(RowSpans, RowsAreSortedJoinedAndBounded) {
    TRowSpans rows;
    std::vector<TSpan> first{{8, 10}, {0, 3}, {2, 5}};
    rows.AddRow(4, first);
    std::vector<TSpan> third{{5, 6}, {6, 9}, {12, 12}};
    rows.AddRow(6, third);
    EXPECT_EQ(rows.Top(), 4);
    EXPECT_EQ(rows.Bottom(), 7);
    EXPECT_EQ(std::vector<TSpan>(rows.Row(4).begin(), rows.Row(4).end()),
              (std::vector<TSpan>{{0, 5}, {8, 10}}));
    EXPECT_TRUE(rows.Row(5).empty());
    EXPECT_EQ(std::vector<TSpan>(rows.Row(6).begin(), rows.Row(6).end()),
              (std::vector<TSpan>{{5, 9}}));
    EXPECT_TRUE(rows.Row(3).empty());
    EXPECT_TRUE(rows.Row(7).empty());
    EXPECT_EQ(rows.Bounds(), (TBox{0, 4, 10, 7}));
    const TRasterShape moved{TBox{}, std::make_shared<TRowSpans>(std::move(rows)), 100, -4};
    EXPECT_EQ(moved.Bounds(), (TBox{100, 0, 110, 3}));
    std::vector<std::pair<int64_t, int64_t>> seen;
    moved.ForEachSpan(0, 102, 109, [&seen](int64_t a, int64_t b) { seen.push_back({a, b}); });
    EXPECT_EQ(seen, (std::vector<std::pair<int64_t, int64_t>>{{102, 105}, {108, 109}}));
}

// A plain surface of Width x Height pixels, every pixel different.
struct TPlainSurface {
    int32_t Width, Height;
    std::vector<uint32_t> Pixels;
    TPlainSurface(int32_t width, int32_t height)
        : Width(width), Height(height), Pixels(size_t(width) * height) {
        for (size_t i = 0; i < Pixels.size(); ++i)
            Pixels[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    }
    TPixelView View() { return TPixelView{Pixels.data(), Width, Width, Height, TDeviceScale()}; }
    std::set<std::pair<int, int>> Changed(const TPlainSurface& other) const {
        std::set<std::pair<int, int>> result;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if (Pixels[size_t(y) * Width + x] != other.Pixels[size_t(y) * Width + x])
                    result.insert({x, y});
        return result;
    }
};

std::set<std::pair<int, int>> Covered(const std::vector<TRasterShape>& shapes, int32_t width,
                                      int32_t height) {
    std::set<std::pair<int, int>> pixels;
    for (const TRasterShape& shape : shapes)
        for (int y = 0; y < height; ++y)
            shape.ForEachSpan(y, 0, width, [&](int64_t a, int64_t b) {
                for (int64_t x = a; x < b; ++x)
                    EXPECT_TRUE(pixels.insert({int(x), y}).second) << "twice at " << x << "," << y;
            });
    return pixels;
}

TEST(LineRunShapes, EachPixelOnceConnectedAndThickAsThePen) {
    using TPath = std::vector<TDevicePoint>;
    const struct {
        const char* Name;
        std::vector<TPath> Paths;
    } runs[] = {
        {"flat", {{{3, 20}, {70, 20}}}},
        {"steep backwards", {{{40, 55}, {40, 4}}}},
        {"diagonal run", {{{2, 50}, {20, 30}, {35, 22}, {60, 18}, {78, 3}}}},
        {"corner", {{{10, 5}, {10, 45}, {70, 45}}}},
        {"crossing", {{{30, 0}, {30, 59}}, {{0, 25}, {79, 25}}}},
        {"reversal", {{{10, 10}, {60, 30}, {15, 12}}}},
        {"far ends", {{{-5000, -3000}, {5000, 3000}}}},
        {"repeated point", {{{10, 10}, {10, 10}, {30, 20}}}},
    };
    for (const auto& run : runs)
        for (int32_t width : {1, 2, 3, 4})
            for (bool thin : {true, false}) {
                if (!thin && width == 1)
                    continue;
                SCOPED_TRACE(std::string(run.Name) + (thin ? " thin " : " wide ") +
                             std::to_string(width));
                const auto shapes = LineRunShapes(run.Paths, width, thin, 80, 60);
                const auto pixels = Covered(shapes, 80, 60);
                EXPECT_TRUE(Connected(pixels));
                if (std::string(run.Name) == "flat") {
                    // Start pixel to end pixel excluded; a thin pen as thick as its width,
                    // below the line; a wide one centred, with square ends.
                    EXPECT_EQ(pixels.size(), size_t(thin ? 67 * width : (67 + width) * width));
                    EXPECT_EQ(pixels.count({3, 20}), 1u);
                    EXPECT_EQ(pixels.count({70, 20}), thin ? 0u : 1u);
                    if (thin) {
                        EXPECT_EQ(pixels.count({10, 20 + width - 1}), 1u);
                        EXPECT_EQ(pixels.count({10, 20 + width}), 0u);
                    }
                }
            }
    EXPECT_TRUE(LineRunShapes(std::vector<TPath>{{{-50, -50}, {-10, -20}}}, 2, true, 80, 60)
                    .front()
                    .Bounds()
                    .IsEmpty());
}

// Elements as the canvas issues them, for the held-back surface.
struct TElement {
    bool Fill;
    TBox Box;
    TRasterShape Shape;
    TRasterPaint Paint;
};

TEST(RasterSurface, HoldingBackGivesThePixelsOfDrawingAtOnce) {
    std::mt19937 random(20261208);
    const auto coordinate = [&random](int limit) {
        return int32_t(random() % uint32_t(limit + 40)) - 20;
    };
    for (int round = 0; round < 60; ++round) {
        constexpr int32_t width = 97, height = 61;
        TPlainSurface held(width, height), direct(width, height);
        TRasterSurface holding(1), immediate(std::numeric_limits<int64_t>::max());
        holding.SetView(held.View());
        immediate.SetView(direct.View());
        for (int step = 0; step < 40; ++step) {
            const uint32_t value = 0xFF000000u | (random() & 0xFFFFFF);
            const int kind = int(random() % 8);
            if (kind == 0) {
                const TBox box{coordinate(width), coordinate(height), coordinate(width) + 60,
                               coordinate(height) + 40};
                holding.Fill(box, value);
                immediate.Fill(box, value);
            } else if (kind == 1) {
                // A partial settle, as before a figure or a bitmap copy.
                const TBox box{coordinate(width), coordinate(height), coordinate(width) + 10,
                               coordinate(height) + 8};
                holding.Settle(box);
            } else {
                std::vector<std::vector<TDevicePoint>> paths(1);
                for (int i = 0; i < 2 + kind % 3; ++i)
                    paths[0].push_back({coordinate(width), coordinate(height)});
                const bool xorPaint = kind != 7;
                for (const TRasterShape& shape : LineRunShapes(paths, 1 + int32_t(random() % 4),
                                                               random() % 2 == 0, width, height)) {
                    holding.Draw(shape, TRasterPaint{value, xorPaint});
                    immediate.Draw(shape, TRasterPaint{value, xorPaint});
                }
            }
        }
        holding.Settle();
        ASSERT_TRUE(held.Changed(direct).empty()) << "round " << round;
        EXPECT_FALSE(holding.Holding());
    }
}

TEST(RasterSurface, AnElementDrawnTwiceWhileHeldCancels) {
    TPlainSurface surface(300, 200);
    TRasterSurface raster(1);
    raster.SetView(surface.View());
    const auto curve = LineRunShapes(
        std::vector<std::vector<TDevicePoint>>{{{5, 190}, {80, 60}, {200, 20}, {295, 10}}}, 4,
        false, 300, 200);
    for (int times : {1, 2}) {
        raster.Fill(TBox{0, 0, 300, 200}, 0xFFFFFFFF);
        for (int i = 0; i < times; ++i)
            for (const TRasterShape& shape : curve)
                raster.Draw(shape, TRasterPaint{0x00123456, true});
        EXPECT_TRUE(raster.Holding());
        raster.Settle();
        const size_t white =
            size_t(std::count(surface.Pixels.begin(), surface.Pixels.end(), 0xFFFFFFFFu));
        EXPECT_EQ(white == surface.Pixels.size(), times == 2) << times;
    }
}

} // namespace
