#include "relations/Effectiveness.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

struct TConfiguration {
    const char* name;
    TRelationFunc relation;
};

const TConfiguration Configurations[] = {
    {"CounterFlowE", CounterFlowE},
    {"CrossFlowE", CrossFlowE},
    {"ParallelFlowE", ParallelFlowE},
};

TEST(EffectivenessTest, ReferenceValues) {
    struct TRow {
        double Cr, Ntu, counter, cross, parallel;
    };
    const TRow rows[] = {
        {0.25, 1, 0.59829, 0.58720, 0.57080}, {0.5, 0.2, 0.17379, 0.17006, 0.17279},
        {0.5, 1, 0.56473, 0.54476, 0.51791},  {0.75, 2, 0.72183, 0.67521, 0.55417},
        {1, 1, 0.50000, 0.46854, 0.43233},    {1, 5, 0.83333, 0.74898, 0.49998},
    };
    for (const TRow& row : rows) {
        EXPECT_NEAR(CounterFlowE(row.Cr, row.Ntu), row.counter, 5e-6) << row.Cr << " " << row.Ntu;
        EXPECT_NEAR(CrossFlowE(row.Cr, row.Ntu), row.cross, 5e-6) << row.Cr << " " << row.Ntu;
        EXPECT_NEAR(ParallelFlowE(row.Cr, row.Ntu), row.parallel, 5e-6) << row.Cr << " " << row.Ntu;
    }
}

TEST(EffectivenessTest, ZeroCrIsTheSameForEveryConfiguration) {
    EXPECT_NEAR(ZeroCrE(1), 0.63212, 5e-6);
    for (const TConfiguration& c : Configurations) {
        for (double Ntu : {0.1, 1.0, 3.0, 10.0}) {
            EXPECT_EQ(c.relation(0, Ntu), ZeroCrE(Ntu)) << c.name << " " << Ntu;
            EXPECT_EQ(c.relation(-0.0, Ntu), ZeroCrE(Ntu)) << c.name << " " << Ntu;
        }
    }
}

TEST(EffectivenessTest, CounterFlowLimitForm) {
    EXPECT_EQ(CounterFlowE(1, 1), 0.5);
    EXPECT_EQ(CounterFlowE(1, 5), 5.0 / 6);
    // The exponential rounds to exactly 1: the general form would give 0 / 0.5 = 0.
    EXPECT_EQ(CounterFlowE(0.5, 1e-17), 1e-17 / (1e-17 + 1));
    EXPECT_GT(CounterFlowE(0.5, 1e-17), 0.0);
}

TEST(EffectivenessTest, ZeroNtuGivesZeroForEveryCr) {
    for (double Cr : {-3.0, -1.0, 0.0, 0.5, 1.0, 2.0, 1e300, -DBL_MAX, HUGE_VAL, double(NAN)}) {
        EXPECT_EQ(CounterFlowE(Cr, 0), 0.0) << Cr;
        EXPECT_EQ(CrossFlowE(Cr, 0), 0.0) << Cr;
    }
}

TEST(EffectivenessTest, ParallelFlowAtCrOne) {
    EXPECT_NEAR(ParallelFlowE(1, 1), 0.43233, 5e-6);
    EXPECT_EQ(ParallelFlowE(1, 1), (1 - std::exp(-2.0)) / 2);
    EXPECT_EQ(ParallelFlowE(1, 50), 0.5);
}

TEST(EffectivenessTest, FaultsSelectTheFallback) {
    // 0 / 0 at Cr = -1.
    EXPECT_EQ(ParallelFlowE(-1, 1), FallbackE(1));
    EXPECT_NEAR(ParallelFlowE(-1, 1), 0.66667, 5e-6);
    // The power of a negative Ntu.
    EXPECT_EQ(CrossFlowE(0.5, -1), 2.0);
    // exp overflows to infinity and vanishes again: the formula alone would answer 1.
    EXPECT_EQ(CrossFlowE(-1000, 1), FallbackE(1));
    // Cr * d overflows and the quotient collapses to 0; the fault still selects the fallback.
    EXPECT_EQ(CounterFlowE(1e100, 6e-98), FallbackE(6e-98));
    EXPECT_GT(CounterFlowE(1e100, 6e-98), 0.0);
    // A NaN Cr makes the correlation an invalid operation.
    for (const TConfiguration& c : Configurations)
        EXPECT_EQ(c.relation(NAN, 1), FallbackE(1)) << c.name;
}

TEST(EffectivenessTest, UnderflowIsNoFault) {
    // exp(-1000) underflows to 0: e is 1, not the fallback 2000 / 2000.5.
    EXPECT_EQ(CounterFlowE(0.5, 2000), 1.0);
    EXPECT_EQ(ParallelFlowE(0.5, 2000), 1 / 1.5);
    const double cross = CrossFlowE(1, 1e6);
    EXPECT_NE(cross, FallbackE(1e6));
    EXPECT_GT(cross, 0.999999999);
    // A denormal Ntu: the exponential is exactly 1 and the limit form applies.
    EXPECT_EQ(CounterFlowE(0.5, 4.9e-324), 4.9e-324);
}

TEST(EffectivenessTest, UnguardedFaultsReachTheCaller) {
    EXPECT_THROW(FallbackE(-0.5), EZeroDivide);
    // The fallback itself faults.
    EXPECT_THROW(ParallelFlowE(-1, -0.5), EZeroDivide);
    EXPECT_THROW(CrossFlowE(0.5, -0.5), EZeroDivide);
    // The Cr = 0 shortcut is unguarded.
    EXPECT_THROW(ZeroCrE(-1000), EOverflow);
    EXPECT_THROW(CounterFlowE(0, -1000), EOverflow);
    EXPECT_THROW(CrossFlowE(0, -1000), EOverflow);
    // Parallel flow has no shortcut: its guard catches the overflow.
    EXPECT_EQ(ParallelFlowE(0, -1000), FallbackE(-1000));
}

TEST(EffectivenessTest, FallbackShape) {
    EXPECT_EQ(FallbackE(1), 1 / 1.5);
    EXPECT_EQ(FallbackE(0.5), 0.5);
    EXPECT_EQ(FallbackE(-1), 2.0);
}

} // namespace
