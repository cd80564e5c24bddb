#include "chartpanel/ChartPanelScales.h"

#include "platform/NumberText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string Auto(double value) {
    return AutoFloatFormat(ValueLimit, LargeValueFormat, value);
}

// The labels a linear axis writes: the text of i * Step + Min for i = 0 ... Count.
std::vector<std::string> LinearLabels(double min, double max, int32_t ticks,
                                      TTickAxis axis = TTickAxis::X) {
    const TLinearTicks linear = LinearTicks(min, max, ticks, 400, axis);
    std::vector<std::string> labels;
    if (!linear.Valid)
        return labels;
    for (int64_t i = 0; i <= linear.Count; ++i)
        labels.push_back(TickLabelText(static_cast<double>(i) * linear.Step + min));
    return labels;
}

TEST(ChartPanelScalesTest, AutoFloatFormatChoosesByMagnitude) {
    for (const double value : {0.0, 75.0, -80.0, -20000.0, 9999.0, -75.0, -Inf})
        EXPECT_EQ(Auto(value), "%0.0f") << value;
    for (const double value : {1.0, 74.9, 1.5, -1.0, -74.9})
        EXPECT_EQ(Auto(value), "%0.1f") << value;
    for (const double value : {0.5, 0.1, 0.999})
        EXPECT_EQ(Auto(value), "%0.2f") << value;
    for (const double value : {0.05, 0.01})
        EXPECT_EQ(Auto(value), "%0.3f") << value;
    for (const double value : {0.005, -0.5, 0.0099999, -1e-300, NaN})
        EXPECT_EQ(Auto(value), "%0.4f") << value;
    for (const double value : {10000.0, 9999.5, 1e300, Inf})
        EXPECT_EQ(Auto(value), "%4.2g") << value;
    EXPECT_EQ(AutoFloatFormat(-1, "big", 0.5), "big"); // the limit is compared signed
}

TEST(ChartPanelScalesTest, TrimFloatTextDropsSuperfluousZeros) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"0.5000", "0.5"},
        {"12.0", "12"},
        {"100", "100"},
        {"0.0000", "0"},
        {"1.2E004", "1.2E4"},
        {"1.5E010", "1.5E10"},
        {"1E004", "1E4"},
        {"1.0E004", "1E4"},
        {"-0.2500", "-0.25"},
        {"1.2E-005", "1.2E-005"},
        {"1E300", "1E300"},
        {"10.50", "10.5"},
        {"", ""},
        {".", ""},
        {"0.", "0"},
        {"E00", "E"},
        {" 0.5", " 0.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimFloatText(c.in), c.out) << c.in;
}

TEST(ChartPanelScalesTest, TickLabelsReadShort) {
    EXPECT_EQ(TickLabelText(12345), "1.2E4");
    EXPECT_EQ(TickLabelText(99999), "1E5");
    EXPECT_EQ(TickLabelText(10000), "1E4");
    EXPECT_EQ(TickLabelText(9999), "9999");
    EXPECT_EQ(TickLabelText(0.30000000000000004), "0.3");
    EXPECT_EQ(TickLabelText(2.5), "2.5");
    EXPECT_EQ(TickLabelText(80), "80");
    EXPECT_EQ(TickLabelText(0.005), "0.005");
    EXPECT_EQ(TickLabelText(-1e-17), "0");
    EXPECT_EQ(TickLabelText(NaN), "NAN");
}

TEST(ChartPanelScalesTest, NiceStepFollowsTheStepTable) {
    const struct {
        double raw;
        double step;
    } cases[] = {
        {0.00011, 0.0001}, {0.00012, 0.0002}, {0.2, 0.2},   {0.21, 0.2},    {0.211, 0.5},
        {0.8, 1},          {1.1, 1},          {1.2, 2},     {22, 25},       {25.1, 25},
        {26, 50},          {120, 150},        {500.1, 500}, {700, 1000},    {1000, 1000},
        {1000.5, 1500},    {0, 0.0001},       {-5, 0.0001}, {-Inf, 0.0001},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NiceStep(c.raw), c.step) << c.raw;
    EXPECT_TRUE(std::isnan(NiceStep(NaN)));
    EXPECT_EQ(NiceStep(Inf), Inf);
    EXPECT_EQ(NiceStep(1e300), 1e300);
}

TEST(ChartPanelScalesTest, RoundUpToMultipleStaysInFloatingPoint) {
    EXPECT_EQ(RoundUpToMultiple(0, 500, 600), 1000);
    EXPECT_EQ(RoundUpToMultiple(0, 500, 1000), 1000);
    EXPECT_EQ(RoundUpToMultiple(0, 500, 1000.5), 1500);
    EXPECT_EQ(RoundUpToMultiple(0.5, 1, 2.4), 2);     // fraction within tolerance
    EXPECT_EQ(RoundUpToMultiple(-0.5, 1, 2.6), 3);    // tolerance counts by magnitude
    EXPECT_EQ(RoundUpToMultiple(0, 500, -600), -500); // negative fractions truncate
    EXPECT_EQ(RoundUpToMultiple(0, 1, 1e300), 1e300); // beyond every integer type
    EXPECT_EQ(RoundUpToMultiple(0, 1, 1e20 + 0.5), 1e20);
    EXPECT_TRUE(std::isnan(RoundUpToMultiple(0, 0, 0)));
    EXPECT_TRUE(std::isnan(RoundUpToMultiple(0, 500, NaN)));
}

TEST(ChartPanelScalesTest, NextDecadeFindsTheSmallestDecadeReached) {
    double last = 1;
    bool isDecade = true;
    EXPECT_EQ(NextDecade(last, isDecade, 2), 2);
    EXPECT_FALSE(isDecade);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(NextDecade(last, isDecade, 16), 10);
    EXPECT_TRUE(isDecade);
    EXPECT_EQ(last, 10);
    EXPECT_EQ(NextDecade(last, isDecade, 99.9995), 100); // within 0.001 below the decade
    EXPECT_EQ(last, 100);
    last = 1e7;
    EXPECT_EQ(NextDecade(last, isDecade, 1e9), 1e9); // nothing above 10^7
    EXPECT_FALSE(isDecade);
    last = 0;
    EXPECT_EQ(NextDecade(last, isDecade, 0.0002), 0.001);
    EXPECT_TRUE(isDecade);
}

TEST(ChartPanelScalesTest, ContainsValueComparesExactly) {
    const std::vector<double> list{1, 0.1 + 0.2, 10};
    EXPECT_TRUE(ContainsValue(list, 10));
    EXPECT_TRUE(ContainsValue(list, 0.30000000000000004));
    EXPECT_FALSE(ContainsValue(list, 0.3));
    EXPECT_FALSE(ContainsValue({}, 0));
    EXPECT_FALSE(ContainsValue({NaN}, NaN));
}

TEST(ChartPanelScalesTest, LinearTicksOfTheDocumentedAxes) {
    const TLinearTicks unit = LinearTicks(0, 1, 6, 500);
    ASSERT_TRUE(unit.Valid);
    EXPECT_EQ(unit.Step, 0.2);
    EXPECT_EQ(unit.Count, 5);
    EXPECT_DOUBLE_EQ(unit.PixelsPerStep, 100);
    EXPECT_THAT(LinearLabels(0, 1, 6), ElementsAre("0", "0.2", "0.4", "0.6", "0.8", "1"));
    EXPECT_THAT(LinearLabels(1, 5, 6), ElementsAre("1", "2", "3", "4", "5"));
    EXPECT_THAT(
        LinearLabels(0, 1, 11, TTickAxis::Y),
        ElementsAre("0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"));
    EXPECT_THAT(LinearLabels(0, 5.5, 12), ElementsAre("0", "0.5", "1", "1.5", "2", "2.5", "3",
                                                      "3.5", "4", "4.5", "5", "5.5"));
    EXPECT_THAT(LinearLabels(0, 10, 6), ElementsAre("0", "2", "4", "6", "8", "10"));
    EXPECT_THAT(LinearLabels(0, 50000, 6), ElementsAre("0", "1E4", "2E4", "3E4", "4E4", "5E4"));
}

TEST(ChartPanelScalesTest, LinearTicksRunOnUpToTwoPercent) {
    // 0 .. 0.99 asks for step 0.2; 0.99 * 1.02 / 0.2 = 5.05, so a tick at 1 follows 0.8.
    EXPECT_EQ(LinearTicks(0, 0.99, 6, 400).Count, 5);
    // 0 .. 0.97: 4.947, so the last tick is 0.8.
    EXPECT_EQ(LinearTicks(0, 0.97, 6, 400).Count, 4);
}

TEST(ChartPanelScalesTest, LinearTickCountBelowTwoCountsAsTwo) {
    for (const int32_t ticks : {0, 1, -5, std::numeric_limits<int32_t>::min()}) {
        const TLinearTicks linear = LinearTicks(0, 1, ticks, 400);
        ASSERT_TRUE(linear.Valid) << ticks;
        EXPECT_EQ(linear.Step, 1) << ticks; // the raw step is the whole range
        EXPECT_EQ(linear.Count, 1) << ticks;
    }
}

TEST(ChartPanelScalesTest, UnusableLinearAxesAreNotDrawn) {
    const struct {
        double min;
        double max;
        int32_t ticks;
    } cases[] = {
        {1, 1, 6},
        {2, 1, 6},
        {NaN, 1, 6},
        {0, NaN, 6},
        {-Inf, 1, 6},
        {0, Inf, 6},
        {-1e308, 1e308, 6}, // range overflows
        {0, 1e6, std::numeric_limits<int32_t>::max()},
        {0, 1000, 10000000},
        {0, 5e-324, 6}, // pixels per step overflow
    };
    for (const auto& c : cases)
        EXPECT_FALSE(LinearTicks(c.min, c.max, c.ticks, 400).Valid) << c.min << " " << c.max;
    // The largest tick count still drawn: 0 .. 0.98 with step 0.0001 gives 9996 steps.
    const TLinearTicks dense = LinearTicks(0, 0.98, 100000, 400);
    ASSERT_TRUE(dense.Valid);
    EXPECT_EQ(dense.Step, 0.0001);
    EXPECT_LT(dense.Count, MaxScaleTicks);
    EXPECT_GT(dense.Count, 9990);
}

TEST(ChartPanelScalesTest, LongAxesTakeOneTickAPixel) {
    const struct {
        int32_t pixels;
        int64_t limit;
    } limits[] = {{0, MaxScaleTicks}, {400, MaxScaleTicks}, {20040, 20040},    {-20040, 20040},
                  {40000, 32767},     {INT32_MIN, 32767},   {INT32_MAX, 32767}};
    for (const auto& c : limits)
        EXPECT_EQ(AxisTickLimit(c.pixels, 32767), c.limit) << c.pixels;
    // 10,200 ticks: too many for the common limit, within one a pixel of a 20,040-pixel axis.
    EXPECT_FALSE(LinearTicks(0, 1, 2000000, 20040).Valid);
    const TLinearTicks wide = LinearTicks(0, 1, 2000000, 20040, TTickAxis::X, 20040);
    ASSERT_TRUE(wide.Valid);
    EXPECT_EQ(wide.Count, 10200);
    EXPECT_FALSE(LinearTicks(0, 1, 2000000, 20040, TTickAxis::X, 10200).Valid);
}

TEST(ChartPanelScalesTest, LogTicksOfTheDocumentedAxes) {
    const TLogTicks hundred = LogTicks(1, 100);
    EXPECT_THAT(hundred.Major, ElementsAre(1, 10, 100));
    EXPECT_THAT(hundred.Minor, ElementsAre(2, 1.5, 4, 3, 8, 6, 20, 15, 40, 30, 80, 60));

    const TLogTicks half = LogTicks(0.5, 50);
    EXPECT_THAT(half.Major, ElementsAre(0.5, 1, 10, 50));
    EXPECT_THAT(half.Minor, ElementsAre(2, 1.5, 4, 3, 8, 6, 20, 15, 40, 30));

    const TLogTicks narrow = LogTicks(5, 9);
    EXPECT_THAT(narrow.Major, ElementsAre(5, 9));
    EXPECT_THAT(narrow.Minor, ElementsAre(6, 7));
}

TEST(ChartPanelScalesTest, LogTicksBeyondTheDecadeTableDoubleOnly) {
    const TLogTicks high = LogTicks(1e7, 1e8);
    EXPECT_THAT(high.Major, ElementsAre(1e7, 1e8)); // 1e8 only as the end tick
    EXPECT_THAT(high.Minor, ElementsAre(2e7, 1.5e7, 4e7, 3e7, 8e7, 6e7));

    const TLogTicks low = LogTicks(0.0001, 0.01);
    EXPECT_THAT(low.Major, ElementsAre(0.0001, 0.001, 0.01));
    EXPECT_FALSE(ContainsValue(low.Minor, 0.0002));
}

TEST(ChartPanelScalesTest, LogFallbackTicksNeverRepeatAValue) {
    // 8 .. 12: the walk keeps the decade 10, which is also the half of the range.
    const TLogTicks ticks = LogTicks(8, 12);
    EXPECT_THAT(ticks.Major, ElementsAre(8, 10, 12));
    EXPECT_THAT(ticks.Minor, ElementsAre(9));
    // 8 .. 16: the quarter point 10 is the decade.
    const TLogTicks quarter = LogTicks(8, 16);
    EXPECT_THAT(quarter.Major, ElementsAre(8, 10, 16));
    EXPECT_THAT(quarter.Minor, ElementsAre(12));
}

TEST(ChartPanelScalesTest, EveryLogTickValueAppearsOnce) {
    const double bounds[][2] = {{1, 100},     {0.5, 50},  {5, 9},      {0.01, 1e7},
                                {3, 3000},    {8, 12},    {1e-5, 1e5}, {1e-300, 1e300},
                                {0.02, 0.05}, {1.5, 1.6}, {7, 7.0001}, {0.01, 4.9e-3 + 0.01}};
    for (const auto& b : bounds) {
        const TLogTicks ticks = LogTicks(b[0], b[1]);
        std::vector<double> all = ticks.Major;
        all.insert(all.end(), ticks.Minor.begin(), ticks.Minor.end());
        ASSERT_FALSE(all.empty()) << b[0] << " " << b[1];
        std::sort(all.begin(), all.end());
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << b[0] << " " << b[1];
        EXPECT_EQ(ticks.Major.front(), b[0]);
        EXPECT_TRUE(ContainsValue(all, b[1]));
    }
}

TEST(ChartPanelScalesTest, UnusableLogAxesGiveNoTicks) {
    const double bounds[][2] = {{1, 1},   {10, 1},  {0, 10},   {-1, 10},  {NaN, 10},
                                {1, NaN}, {1, Inf}, {-Inf, 1}, {Inf, Inf}};
    for (const auto& b : bounds) {
        const TLogTicks ticks = LogTicks(b[0], b[1]);
        EXPECT_THAT(ticks.Major, IsEmpty()) << b[0] << " " << b[1];
        EXPECT_THAT(ticks.Minor, IsEmpty()) << b[0] << " " << b[1];
    }
}

TEST(ChartPanelScalesTest, TheWidestLogAxisStaysBelowTheCap) {
    const TLogTicks widest =
        LogTicks(std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max());
    const size_t count = widest.Major.size() + widest.Minor.size();
    EXPECT_GT(count, 2000u);
    EXPECT_LE(count, static_cast<size_t>(MaxScaleTicks));
    EXPECT_EQ(widest.Major.back(), std::numeric_limits<double>::max());
}

} // namespace
