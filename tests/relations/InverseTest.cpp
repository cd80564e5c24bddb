#include "relations/Inverse.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

// Counts the residual evaluations of one Bisect call.
TBisectFunc CountedResidual = nullptr;
int Evaluations = 0;
double Counting(double x) {
    ++Evaluations;
    return CountedResidual(x);
}

struct TSolve {
    double result;
    int midpoints;
};

TSolve CountedBisect(TBisectFunc residual, double A, double B) {
    CountedResidual = residual;
    Evaluations = 0;
    const double result = Bisect(Counting, A, B);
    return {result, Evaluations - 1};
}

// Repeats a Cr solve through Bisect with the same residual, counting its midpoints.
TSolve CountedCrSolve(TBisectFunc residual, double Ntu, double e) {
    ScratchE = e;
    ScratchNtu = Ntu;
    return CountedBisect(residual, 0, 1);
}

struct TCrSolver {
    const char* name;
    TCrSolverFunc solver;
    TBisectFunc residual;
    TRelationFunc relation;
};

const TCrSolver CrSolvers[] = {
    {"CounterFlowCr", CounterFlowCr, CounterFlowCrResidual, CounterFlowE},
    {"CrossFlowCr", CrossFlowCr, CrossFlowCrResidual, CrossFlowE},
    {"ParallelFlowCr", ParallelFlowCr, ParallelFlowCrResidual, ParallelFlowE},
    {"CrossFlowExactCr", CrossFlowExactCr, CrResidual<CrossFlowExactE>, CrossFlowExactE},
    {"CrossFlowMixedCminCr", CrossFlowMixedCminCr, CrResidual<CrossFlowMixedCminE>,
     CrossFlowMixedCminE},
    {"CrossFlowMixedCmaxCr", CrossFlowMixedCmaxCr, CrResidual<CrossFlowMixedCmaxE>,
     CrossFlowMixedCmaxE},
    {"ShellTube1Cr", ShellTube1Cr, CrResidual<ShellTube1E>, ShellTube1E},
    {"ShellTube2Cr", ShellTube2Cr, CrResidual<ShellTube2E>, ShellTube2E},
    {"ShellTube3Cr", ShellTube3Cr, CrResidual<ShellTube3E>, ShellTube3E},
};

TEST(InverseTest, CrSolversFollowTheMidpointSequence) {
    struct TRow {
        int solver;
        double Ntu, e, Cr;
        int midpoints;
    };
    const TRow rows[] = {
        {0, 2, 0.7, 0.849609375, 9},
        {1, 2, 0.7, 0.65118408203125, 14},
        {2, 2, 0.7, 0.32830810546875, 14},
        {0, 1, 0.5, 0.99993896484375, 14},
        {0, 1, 0.56473, 0.5, 1},
        // One sign over [0, 1]: above the Cr = 0 curve, below the Cr = 1 curve, and e = 0.
        {0, 1, 0.9, 1, 101},
        {0, 3, 0.6, 1, 101},
        {0, 0.5, 0, 1, 101},
        {1, 0.5, 0, 1, 101},
        {2, 0.5, 0, 1, 101},
        {3, 0.5, 0, 1, 101},
        {4, 0.5, 0, 1, 101},
        {5, 0.5, 0, 1, 101},
        {6, 0.5, 0, 1, 101},
        {7, 0.5, 0, 1, 101},
        {8, 0.5, 0, 1, 101},
        {3, 2, 0.9, 1, 101},
        {6, 3, 0.2, 1, 101},
    };
    for (const TRow& row : rows) {
        const TCrSolver& s = CrSolvers[row.solver];
        SCOPED_TRACE(testing::Message() << s.name << "(" << row.Ntu << ", " << row.e << ")");
        EXPECT_EQ(s.solver(row.Ntu, row.e), row.Cr);
        EXPECT_EQ(ScratchCr, row.Cr);
        EXPECT_EQ(ScratchE, row.e);
        EXPECT_EQ(ScratchNtu, row.Ntu);
        const TSolve counted = CountedCrSolve(s.residual, row.Ntu, row.e);
        EXPECT_EQ(counted.result, row.Cr);
        EXPECT_EQ(counted.midpoints, row.midpoints);
    }
}

TEST(InverseTest, CrSolversInvertTheirRelation) {
    for (const TCrSolver& s : CrSolvers) {
        for (double Cr : {0.1, 0.3, 0.6, 0.9}) {
            for (double Ntu : {0.5, 1.0, 2.5}) {
                const double e = s.relation(Cr, Ntu);
                const double solved = s.solver(Ntu, e);
                EXPECT_NEAR(s.relation(solved, Ntu), e, 1e-5) << s.name << " " << Cr << " " << Ntu;
            }
        }
    }
}

TEST(InverseTest, CrSolversNearTheZeroCrCurveAnswerZeroAtOnce) {
    for (const TCrSolver& s : CrSolvers) {
        const double e = ZeroCrE(1) - 5e-6;
        EXPECT_EQ(s.solver(1, e), 0.0) << s.name;
        EXPECT_EQ(CountedCrSolve(s.residual, 1, e).midpoints, 0) << s.name;
    }
}

TEST(InverseTest, CrSolversWithoutPositiveNtuAnswerZero) {
    for (const TCrSolver& s : CrSolvers) {
        for (double Ntu : {0.0, -0.0, -1.0, -Inf, NaN}) {
            for (double e : {0.0, 0.5, 1.0, NaN, Inf}) {
                ScratchCr = 123;
                EXPECT_EQ(s.solver(Ntu, e), 0.0) << s.name << " " << Ntu << " " << e;
                // Nothing was solved, so the scratch value is left alone.
                EXPECT_EQ(ScratchCr, 123.0);
            }
        }
    }
}

TEST(InverseTest, NtuSolversAnswerTenForFullEffectiveness) {
    const TNtuSolverFunc solvers[] = {CounterFlowNtu, CrossFlowNtu, ParallelFlowNtu};
    for (TNtuSolverFunc solver : solvers) {
        for (double Cr : {0.0, 0.5, 1.0, -1.0, NaN, Inf}) {
            EXPECT_EQ(solver(Cr, 1), 10.0);
            EXPECT_EQ(solver(Cr, 1.5), 10.0);
            EXPECT_EQ(solver(Cr, Inf), 10.0);
        }
    }
}

TEST(InverseTest, NtuSolverValues) {
    EXPECT_NEAR(CounterFlowNtu(0.5, 0.7), 1.54638, 5e-6);
    EXPECT_NEAR(ParallelFlowNtu(0.5, 0.6), 1.53506, 5e-6);
    EXPECT_EQ(CrossFlowNtu(0.5, 0.7), 1.7217636108398438);
    EXPECT_EQ(ScratchCr, 0.5);
    EXPECT_EQ(ScratchE, 0.7);
    EXPECT_EQ(CountedBisect(CrossFlowNtuResidual, 0, 25).midpoints, 17);
    // At Cr = 0 all three give -ln(1 - e).
    for (TNtuSolverFunc solver : {CounterFlowNtu, CrossFlowNtu, ParallelFlowNtu})
        EXPECT_EQ(solver(0, 0.6), -std::log(1 - 0.6));
    // Closed forms invert their relation.
    EXPECT_NEAR(CounterFlowE(0.5, CounterFlowNtu(0.5, 0.7)), 0.7, 1e-12);
    EXPECT_NEAR(ParallelFlowE(0.5, ParallelFlowNtu(0.5, 0.6)), 0.6, 1e-12);
}

TEST(InverseTest, CrossFlowNtuClosesInOnItsUpperEnd) {
    // The Cr = 1 cross-flow curve stays below 0.95 on [0, 25].
    EXPECT_EQ(CrossFlowNtu(1, 0.95), 25.0);
    ScratchCr = 1;
    ScratchE = 0.95;
    EXPECT_EQ(CountedBisect(CrossFlowNtuResidual, 0, 25).midpoints, 101);
}

TEST(InverseTest, CounterFlowNtuAtUnitProduct) {
    // e * Cr rounds to exactly 1.
    EXPECT_EQ(CounterFlowNtu(1.25, 0.8), FallbackNtu(0.8));
    EXPECT_NEAR(CounterFlowNtu(1.25, 0.8), 2, 1e-12);
}

TEST(InverseTest, UnguardedNtuSolversReportFaults) {
    EXPECT_THROW(CounterFlowNtu(1, 0.5), EInvalidOp);   // 0 / 0
    EXPECT_THROW(ParallelFlowNtu(1, 0.5), EZeroDivide); // ln 0
    EXPECT_THROW(ParallelFlowNtu(1, 0.6), EInvalidOp);  // ln of a negative number
    EXPECT_THROW(ParallelFlowNtu(-1, 0.5), EInvalidOp); // 0 / 0
    EXPECT_THROW(FallbackNtu(1), EZeroDivide);
    EXPECT_THROW(CounterFlowNtu(-1e200, -1e200), EOverflow); // e * Cr
}

TEST(InverseTest, CrossFlowNtuFallsBackOnAFaultOfItsSolve) {
    // A NaN e makes the residual an invalid operation; the fallback then faults in turn.
    EXPECT_THROW(CrossFlowNtu(0.5, NaN), EInvalidOp);
    EXPECT_THROW(CrossFlowNtu(0.5, -Inf), EInvalidOp);
}

TEST(InverseTest, FallbackNtuInvertsFallbackE) {
    for (double e : {0.0, 0.2, 0.5, 0.9})
        EXPECT_NEAR(FallbackE(FallbackNtu(e)), e, 1e-15);
    EXPECT_EQ(FallbackNtu(0.5), 0.5);
}

double AlwaysPositive(double) {
    return 1;
}
double AlwaysNaN(double) {
    return NaN;
}
double Decreasing(double x) {
    return 0.3 - x;
}
double ScaledRoot(double x) {
    return x / DBL_MAX - 0.75;
}

TEST(BisectTest, StopsAtOnceWhenTheFirstEndMeetsTheTolerance) {
    const TSolve s = CountedBisect(Decreasing, 0.3 + 5e-6, 0);
    EXPECT_EQ(s.result, 0.3 + 5e-6);
    EXPECT_EQ(s.midpoints, 0);
}

TEST(BisectTest, EndsNeedNotBeOrdered) {
    const TSolve forward = CountedBisect(Decreasing, 0, 1);
    const TSolve backward = CountedBisect(Decreasing, 1, 0);
    EXPECT_NEAR(forward.result, 0.3, 1e-5);
    EXPECT_NEAR(backward.result, 0.3, 1e-5);
}

TEST(BisectTest, OneSignClosesInOnTheSecondEnd) {
    const TSolve s = CountedBisect(AlwaysPositive, 0, 25);
    EXPECT_EQ(s.result, 25.0);
    EXPECT_EQ(s.midpoints, 101);
    EXPECT_EQ(CountedBisect(AlwaysPositive, 3, -1).result, -1.0);
}

TEST(BisectTest, ANaNResidualMovesTheSecondEnd) {
    const TSolve s = CountedBisect(AlwaysNaN, 0, 1);
    EXPECT_EQ(s.result, std::ldexp(1.0, -101));
    EXPECT_EQ(s.midpoints, 101);
}

TEST(BisectTest, HugeFiniteEndsHaveAFiniteMidpoint) {
    const TSolve s = CountedBisect(ScaledRoot, DBL_MAX / 2, DBL_MAX);
    EXPECT_NEAR(s.result / DBL_MAX, 0.75, 1e-5);
}

TEST(BisectTest, NonFiniteEndsAndMissingResidualRaise) {
    EXPECT_THROW(Bisect(Decreasing, 0, Inf), EOverflow);
    EXPECT_THROW(Bisect(Decreasing, -Inf, Inf), EInvalidOp);
    EXPECT_THROW(Bisect(Decreasing, NaN, 1), EInvalidOp);
    EXPECT_THROW(Bisect(nullptr, 0, 1), Exception);
}

} // namespace
