// Every relation and solver over NaN, infinities, signed zeros, denormals, the double range's ends
// and the poles: each call either returns a finite value or raises a math error, and the guarded
// steps select their fallback exactly when the literal evaluation raises a fault flag (or, for
// NaN and infinite operands, yields a NaN or infinite result).

#include "relations/Effectiveness.h"
#include "relations/Inverse.h"

#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Denormal = std::numeric_limits<double>::denorm_min();

const double Specials[] = {NaN,     Inf,      -Inf, 0.0, -0.0, Denormal, -Denormal,
                           DBL_MAX, -DBL_MAX, -0.5, 0.5, 1.0,  -1.0};

// What a call did: a value, or the kind of math error it raised, or an e beyond reach.
struct TOutcome {
    enum { Value, Invalid, ZeroDivide, Overflow, OutOfReach } kind = Value;
    double value = 0;

    bool operator==(const TOutcome& other) const {
        if (kind != other.kind)
            return false;
        return kind != Value || std::memcmp(&value, &other.value, sizeof value) == 0;
    }
};

std::string Describe(const TOutcome& o) {
    static const char* const names[] = {"value", "EInvalidOp", "EZeroDivide", "EOverflow",
                                        "EOutOfReach"};
    std::ostringstream text;
    text << names[o.kind];
    if (o.kind == TOutcome::Value)
        text << " " << o.value;
    return text.str();
}

TOutcome Call(const std::function<double()>& f) {
    TOutcome o;
    try {
        o.value = f();
    } catch (const EInvalidOp&) {
        o.kind = TOutcome::Invalid;
    } catch (const EZeroDivide&) {
        o.kind = TOutcome::ZeroDivide;
    } catch (const EOverflow&) {
        o.kind = TOutcome::Overflow;
    } catch (const EOutOfReach&) {
        o.kind = TOutcome::OutOfReach;
    }
    return o;
}

TOutcome Returns(double value) {
    return {TOutcome::Value, value};
}
const TOutcome RaisesInvalid{TOutcome::Invalid, 0};
const TOutcome RaisesZeroDivide{TOutcome::ZeroDivide, 0};
const TOutcome RaisesOverflow{TOutcome::Overflow, 0};

TEST(SpecialValuesTest, OneArgumentFunctions) {
    struct TRow {
        const char* name;
        double (*f)(double);
        double x;
        TOutcome expected;
    };
    const TRow rows[] = {
        {"ZeroCrE", ZeroCrE, NaN, RaisesInvalid},
        {"ZeroCrE", ZeroCrE, Inf, Returns(1)},
        {"ZeroCrE", ZeroCrE, -Inf, RaisesOverflow},
        {"ZeroCrE", ZeroCrE, 0.0, Returns(0)},
        {"ZeroCrE", ZeroCrE, -0.0, Returns(0)},
        {"ZeroCrE", ZeroCrE, Denormal, Returns(0)},
        {"ZeroCrE", ZeroCrE, DBL_MAX, Returns(1)},
        {"ZeroCrE", ZeroCrE, -DBL_MAX, RaisesOverflow},
        {"ZeroCrE", ZeroCrE, -0.5, Returns(1 - std::exp(0.5))},
        {"FallbackE", FallbackE, NaN, RaisesInvalid},
        {"FallbackE", FallbackE, Inf, RaisesInvalid},
        {"FallbackE", FallbackE, -Inf, RaisesInvalid},
        {"FallbackE", FallbackE, 0.0, Returns(0)},
        {"FallbackE", FallbackE, -0.0, Returns(-0.0)},
        {"FallbackE", FallbackE, Denormal, Returns(2 * Denormal)},
        {"FallbackE", FallbackE, DBL_MAX, Returns(1)},
        {"FallbackE", FallbackE, -DBL_MAX, Returns(1)},
        {"FallbackE", FallbackE, -0.5, RaisesZeroDivide},
        {"FallbackNtu", FallbackNtu, NaN, RaisesInvalid},
        {"FallbackNtu", FallbackNtu, Inf, RaisesInvalid},
        {"FallbackNtu", FallbackNtu, -Inf, RaisesInvalid},
        {"FallbackNtu", FallbackNtu, 0.0, Returns(0)},
        {"FallbackNtu", FallbackNtu, Denormal, Returns(0)},
        {"FallbackNtu", FallbackNtu, DBL_MAX, Returns(-0.5)},
        {"FallbackNtu", FallbackNtu, -DBL_MAX, Returns(-0.5)},
        {"FallbackNtu", FallbackNtu, -0.5, Returns(-0.25 / 1.5)},
        {"FallbackNtu", FallbackNtu, 1.0, RaisesZeroDivide},
    };
    for (const TRow& row : rows) {
        const TOutcome got = Call([&] { return row.f(row.x); });
        EXPECT_EQ(Describe(got), Describe(row.expected)) << row.name << "(" << row.x << ")";
        EXPECT_TRUE(got == row.expected) << row.name << "(" << row.x << ")";
    }
}

TEST(SpecialValuesTest, TwoArgumentCases) {
    struct TRow {
        const char* name;
        double (*f)(double, double);
        double a, b;
        TOutcome expected;
    };
    const TRow rows[] = {
        // A NaN or infinite Cr faults the correlation: the fallback of a finite Ntu stands.
        {"CounterFlowE", CounterFlowE, NaN, 1, Returns(FallbackE(1))},
        {"CounterFlowE", CounterFlowE, Inf, 1, Returns(FallbackE(1))},
        {"CrossFlowE", CrossFlowE, NaN, 1, Returns(FallbackE(1))},
        {"ParallelFlowE", ParallelFlowE, NaN, 1, Returns(FallbackE(1))},
        // A NaN Ntu faults the correlation and then the fallback.
        {"CounterFlowE", CounterFlowE, 0.5, NaN, RaisesInvalid},
        {"CrossFlowE", CrossFlowE, 0.5, NaN, RaisesInvalid},
        {"ParallelFlowE", ParallelFlowE, 0.5, NaN, RaisesInvalid},
        // An infinite Ntu gives the limit where the formula stays clean.
        {"CounterFlowE", CounterFlowE, 0.5, Inf, Returns(1)},
        {"ParallelFlowE", ParallelFlowE, 0.5, Inf, Returns(1 / 1.5)},
        {"CounterFlowE", CounterFlowE, 1, Inf, RaisesInvalid},
        {"CrossFlowE", CrossFlowE, 0.5, Inf, RaisesInvalid},
        {"CrossFlowE", CrossFlowE, Inf, 1, Returns(0)},
        {"ParallelFlowE", ParallelFlowE, 0.5, -Inf, RaisesInvalid},
        // Overflow of Ntu * (1 + Cr) selects the fallback even though exp then underflows.
        {"ParallelFlowE", ParallelFlowE, 1, DBL_MAX, Returns(1)},
        {"CounterFlowE", CounterFlowE, 0.5, DBL_MAX, Returns(1)},
        {"CrossFlowE", CrossFlowE, 0.5, Denormal, Returns(0)},
        // Cr solvers.
        {"CounterFlowCr", CounterFlowCr, NaN, 0.5, Returns(0)},
        {"CounterFlowCr", CounterFlowCr, 1, NaN, RaisesInvalid},
        {"CrossFlowCr", CrossFlowCr, 1, NaN, RaisesInvalid},
        {"ParallelFlowCr", ParallelFlowCr, 1, NaN, RaisesInvalid},
        {"CounterFlowCr", CounterFlowCr, 1, Inf, RaisesOverflow},
        {"CounterFlowCr", CounterFlowCr, 1, -Inf, RaisesOverflow},
        {"CounterFlowCr", CounterFlowCr, 1, DBL_MAX, Returns(1)},
        {"CounterFlowCr", CounterFlowCr, 1, -DBL_MAX, Returns(1)},
        {"CounterFlowCr", CounterFlowCr, DBL_MAX, 0.5, Returns(1)},
        // The midpoints reach Cr = 1 exactly, where an infinite Ntu faults.
        {"CounterFlowCr", CounterFlowCr, Inf, 0.5, RaisesInvalid},
        // Ntu solvers.
        {"CounterFlowNtu", CounterFlowNtu, NaN, 0.5, RaisesInvalid},
        {"CounterFlowNtu", CounterFlowNtu, 0.5, NaN, RaisesInvalid},
        {"CounterFlowNtu", CounterFlowNtu, 0, -Inf, RaisesOverflow},
        {"CounterFlowNtu", CounterFlowNtu, 0, -DBL_MAX, Returns(-std::log(DBL_MAX))},
        {"ParallelFlowNtu", ParallelFlowNtu, NaN, 0.5, RaisesInvalid},
        {"ParallelFlowNtu", ParallelFlowNtu, Inf, 0.5, RaisesInvalid},
        {"CrossFlowNtu", CrossFlowNtu, 0.5, NaN, RaisesInvalid},
        {"CrossFlowNtu", CrossFlowNtu, Inf, 0.5, Returns(25)},
        // The newer relations: a negative Ntu or Cr, a NaN and an overflow select the fallback.
        {"CrossFlowExactE", CrossFlowExactE, 0.5, -1, Returns(2)},
        {"CrossFlowExactE", CrossFlowExactE, -0.5, 1, Returns(FallbackE(1))},
        {"CrossFlowExactE", CrossFlowExactE, NaN, 1, Returns(FallbackE(1))},
        {"CrossFlowExactE", CrossFlowExactE, 1e300, 1e300, Returns(1)},
        {"CrossFlowExactE", CrossFlowExactE, 0.5, Inf, RaisesInvalid},
        {"CrossFlowExactE", CrossFlowExactE, NaN, 0, Returns(0)},
        {"CrossFlowMixedCminE", CrossFlowMixedCminE, -1000, 1, Returns(FallbackE(1))},
        {"CrossFlowMixedCmaxE", CrossFlowMixedCmaxE, 0.5, -1000, Returns(FallbackE(-1000))},
        {"ShellTube2E", ShellTube2E, 1e200, 1, Returns(FallbackE(1))},
        {"ShellTube3E", ShellTube3E, NaN, 1, Returns(FallbackE(1))},
        // An infinite Ntu that the formula absorbs gives the limit.
        {"ShellTube1E", ShellTube1E, 0.5, Inf, Returns(ShellTube1LimitE(0.5))},
        {"ShellTube3E", ShellTube3E, 0.5, Inf, Returns(ShellTube3LimitE(0.5))},
        {"CrossFlowMixedCminE", CrossFlowMixedCminE, 0.5, Inf,
         Returns(CrossFlowMixedCminLimitE(0.5))},
        // The newer Ntu solvers check the reach before anything else.
        {"ShellTube2Ntu", ShellTube2Ntu, NaN, 0.5, RaisesInvalid},
        {"CrossFlowExactNtu", CrossFlowExactNtu, 0.5, Inf, {TOutcome::OutOfReach, 0}},
        {"CrossFlowMixedCmaxNtu", CrossFlowMixedCmaxNtu, -Inf, 0.5, {TOutcome::OutOfReach, 0}},
    };
    for (const TRow& row : rows) {
        const TOutcome got = Call([&] { return row.f(row.a, row.b); });
        EXPECT_EQ(Describe(got), Describe(row.expected))
            << row.name << "(" << row.a << ", " << row.b << ")";
        EXPECT_TRUE(got == row.expected) << row.name << "(" << row.a << ", " << row.b << ")";
    }
    // A NaN Cr turns the cross-flow residual into the fallback's, so the solve inverts FallbackE.
    EXPECT_NEAR(FallbackE(CrossFlowNtu(NaN, 0.5)), 0.5, 1e-5);
}

TEST(SpecialValuesTest, EveryCallReturnsAFiniteValueOrRaisesAMathError) {
    struct TFunc {
        const char* name;
        double (*f)(double, double);
        enum { Forward, CrSolver, NtuSolver, NtuSolverWithReach } kind;
    };
    const TFunc funcs[] = {
        {"CounterFlowE", CounterFlowE, TFunc::Forward},
        {"CrossFlowE", CrossFlowE, TFunc::Forward},
        {"ParallelFlowE", ParallelFlowE, TFunc::Forward},
        {"CounterFlowCr", CounterFlowCr, TFunc::CrSolver},
        {"CrossFlowCr", CrossFlowCr, TFunc::CrSolver},
        {"ParallelFlowCr", ParallelFlowCr, TFunc::CrSolver},
        {"CounterFlowNtu", CounterFlowNtu, TFunc::NtuSolver},
        {"CrossFlowNtu", CrossFlowNtu, TFunc::NtuSolver},
        {"ParallelFlowNtu", ParallelFlowNtu, TFunc::NtuSolver},
        {"CrossFlowExactE", CrossFlowExactE, TFunc::Forward},
        {"CrossFlowMixedCminE", CrossFlowMixedCminE, TFunc::Forward},
        {"CrossFlowMixedCmaxE", CrossFlowMixedCmaxE, TFunc::Forward},
        {"ShellTube1E", ShellTube1E, TFunc::Forward},
        {"ShellTube2E", ShellTube2E, TFunc::Forward},
        {"ShellTube3E", ShellTube3E, TFunc::Forward},
        {"CrossFlowExactCr", CrossFlowExactCr, TFunc::CrSolver},
        {"CrossFlowMixedCminCr", CrossFlowMixedCminCr, TFunc::CrSolver},
        {"CrossFlowMixedCmaxCr", CrossFlowMixedCmaxCr, TFunc::CrSolver},
        {"ShellTube1Cr", ShellTube1Cr, TFunc::CrSolver},
        {"ShellTube2Cr", ShellTube2Cr, TFunc::CrSolver},
        {"ShellTube3Cr", ShellTube3Cr, TFunc::CrSolver},
        {"CrossFlowExactNtu", CrossFlowExactNtu, TFunc::NtuSolverWithReach},
        {"CrossFlowMixedCminNtu", CrossFlowMixedCminNtu, TFunc::NtuSolverWithReach},
        {"CrossFlowMixedCmaxNtu", CrossFlowMixedCmaxNtu, TFunc::NtuSolverWithReach},
        {"ShellTube1Ntu", ShellTube1Ntu, TFunc::NtuSolverWithReach},
        {"ShellTube2Ntu", ShellTube2Ntu, TFunc::NtuSolverWithReach},
        {"ShellTube3Ntu", ShellTube3Ntu, TFunc::NtuSolverWithReach},
    };
    for (const TFunc& fn : funcs) {
        for (double a : Specials) {
            for (double b : Specials) {
                SCOPED_TRACE(testing::Message() << fn.name << "(" << a << ", " << b << ")");
                const TOutcome got = Call([&] { return fn.f(a, b); });
                if (fn.kind == TFunc::NtuSolverWithReach) {
                    // Only Cr in [0, 1] and e in [0, limit) are answered, with Ntu >= 0.
                    const bool inReach = a >= 0 && a <= 1 && b >= 0 && b < 1 && b <= 0.5;
                    if (inReach) {
                        EXPECT_EQ(got.kind, TOutcome::Value);
                    }
                    if (got.kind == TOutcome::Value) {
                        EXPECT_GE(got.value, 0.0);
                    }
                }
                if (got.kind != TOutcome::Value)
                    continue;
                EXPECT_TRUE(std::isfinite(got.value)) << got.value;
                if (fn.kind == TFunc::CrSolver) {
                    EXPECT_GE(got.value, 0.0);
                    EXPECT_LE(got.value, 1.0);
                    if (!(a > 0)) {
                        EXPECT_EQ(got.value, 0.0);
                    }
                }
                if (fn.kind == TFunc::NtuSolver && b >= 1) {
                    EXPECT_EQ(got.value, 10.0);
                }
            }
        }
    }
}

// One step evaluated literally between clearing and testing the status flags, as a reference for
// the traced evaluation of the library: its value, or the fault it raises.
TOutcome Literal(double (*step)(double, double, double), double a, double b, double c = 0) {
    volatile double va = a;
    volatile double vb = b;
    volatile double vc = c;
    std::feclearexcept(FE_ALL_EXCEPT);
    volatile double result = step(va, vb, vc);
    const int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    std::feclearexcept(FE_ALL_EXCEPT);
    if ((raised & FE_INVALID) || std::isnan(result))
        return RaisesInvalid;
    if (raised & FE_DIVBYZERO)
        return RaisesZeroDivide;
    if ((raised & FE_OVERFLOW) || std::isinf(result))
        return RaisesOverflow;
    return Returns(result);
}

double LiteralCounterFlow(double Cr, double Ntu, double) {
    const double d = std::exp(-Ntu * (1 - Cr));
    if (d == 1)
        return Ntu / (Ntu + 1);
    return (1 - d) / (1 - Cr * d);
}

double LiteralParallelFlow(double Cr, double Ntu, double) {
    return (1 - std::exp(-Ntu * (1 + Cr))) / (1 + Cr);
}

double LiteralCrossFlow(double Cr, double Ntu, double) {
    const double m = Cr * std::exp(-0.22 * std::log(Ntu));
    return 1 - std::exp((std::exp(-Ntu * m) - 1) / m);
}

TEST(SpecialValuesTest, GuardsAgreeWithLiteralFlagTests) {
    struct TConfig {
        const char* name;
        TRelationFunc relation;
        double (*literal)(double, double, double);
        bool ntuZeroShortcut;
        bool crZeroShortcut;
    };
    const TConfig configs[] = {
        {"CounterFlowE", CounterFlowE, LiteralCounterFlow, false, true},
        {"CrossFlowE", CrossFlowE, LiteralCrossFlow, true, true},
        {"ParallelFlowE", ParallelFlowE, LiteralParallelFlow, false, false},
    };
    const double more[] = {2.0, -2.0, 1e-300, 1e300, -1e300, 800.0, -800.0, 6e-98, 1e100};
    std::vector<double> values(std::begin(Specials), std::end(Specials));
    values.insert(values.end(), std::begin(more), std::end(more));
    int fallbacks = 0;
    for (const TConfig& c : configs) {
        for (double Cr : values) {
            for (double Ntu : values) {
                SCOPED_TRACE(testing::Message() << c.name << "(" << Cr << ", " << Ntu << ")");
                if ((c.ntuZeroShortcut && Ntu == 0) || (c.crZeroShortcut && Cr == 0))
                    continue;
                const TOutcome literal = Literal(c.literal, Cr, Ntu);
                const bool fault = literal.kind != TOutcome::Value;
                fallbacks += fault;
                const TOutcome expected = fault ? Call([&] { return FallbackE(Ntu); }) : literal;
                const TOutcome got = Call([&] { return c.relation(Cr, Ntu); });
                EXPECT_EQ(Describe(got), Describe(expected));
                EXPECT_TRUE(got == expected);
            }
        }
    }
    // The sweep exercises both sides of the guard.
    EXPECT_GT(fallbacks, 100);
}

double LiteralZeroCrNtu(double, double e, double) {
    return -std::log(1 - e);
}
double LiteralProduct(double Cr, double e, double) {
    return e * Cr;
}
double LiteralFallbackNtu(double, double e, double) {
    return 0.5 * e / (1 - e);
}
double LiteralCounterFlowNtu(double Cr, double e, double product) {
    return std::log((1 - e) / std::fabs(1 - product)) / (Cr - 1);
}
double LiteralParallelFlowNtu(double Cr, double e, double) {
    return -std::log(1 - e * (1 + Cr)) / (1 + Cr);
}

TOutcome ReferenceCounterFlowNtu(double Cr, double e) {
    if (e >= 1)
        return Returns(10);
    if (Cr == 0)
        return Literal(LiteralZeroCrNtu, Cr, e);
    const TOutcome product = Literal(LiteralProduct, Cr, e);
    if (product.kind != TOutcome::Value)
        return product;
    if (product.value == 1)
        return Literal(LiteralFallbackNtu, Cr, e);
    return Literal(LiteralCounterFlowNtu, Cr, e, product.value);
}

TOutcome ReferenceParallelFlowNtu(double Cr, double e) {
    if (e >= 1)
        return Returns(10);
    if (Cr == 0)
        return Literal(LiteralZeroCrNtu, Cr, e);
    return Literal(LiteralParallelFlowNtu, Cr, e);
}

TEST(SpecialValuesTest, ClosedFormNtuSolversAgreeWithLiteralFlagTests) {
    int faults = 0;
    for (double Cr : Specials) {
        for (double e : Specials) {
            SCOPED_TRACE(testing::Message() << "(" << Cr << ", " << e << ")");
            const TOutcome counter = ReferenceCounterFlowNtu(Cr, e);
            const TOutcome parallel = ReferenceParallelFlowNtu(Cr, e);
            faults += (counter.kind != TOutcome::Value) + (parallel.kind != TOutcome::Value);
            const TOutcome gotCounter = Call([&] { return CounterFlowNtu(Cr, e); });
            const TOutcome gotParallel = Call([&] { return ParallelFlowNtu(Cr, e); });
            EXPECT_EQ(Describe(gotCounter), Describe(counter)) << "CounterFlowNtu";
            EXPECT_TRUE(gotCounter == counter) << "CounterFlowNtu";
            EXPECT_EQ(Describe(gotParallel), Describe(parallel)) << "ParallelFlowNtu";
            EXPECT_TRUE(gotParallel == parallel) << "ParallelFlowNtu";
        }
    }
    EXPECT_GT(faults, 50);
}

} // namespace
