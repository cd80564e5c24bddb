#include "platform/FloatFault.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

// Keeps the compiler from folding the test inputs into constants.
double Opaque(double value) {
    volatile double v = value;
    return v;
}

const auto Exp = [](auto& t, double x) { return t(std::exp(x)); };
const auto Log = [](auto& t, double x) { return t(std::log(x)); };
const auto Reciprocal = [](auto& t, double x) { return t(1 / x); };
const auto SelfRatio = [](auto& t, double x) { return t(x / x); };
const auto Double = [](auto& t, double x) { return t(x * 2); };
const auto PlusOne = [](auto& t, double x) { return t(x + 1); };
const auto Third = [](auto& t, double x) { return t(x / 3); };
// The overflow of exp disappears in the division; only the trace sees it.
const auto ReciprocalOfExp = [](auto& t, double x) { return t(1 / t(std::exp(x))); };
const auto ExpOfNegative = [](auto& t, double x) { return t(std::exp(t(-x))); };

template <auto Formula> double Evaluate(double x) {
    double result = 0;
    EXPECT_EQ(EvaluateFloat(result, Formula, Opaque(x)), TFloatFault::ffNone) << x;
    return result;
}

template <auto Formula> TFloatFault Classify(double x) {
    double result = 0;
    return EvaluateFloat(result, Formula, Opaque(x));
}

std::string Name(TFloatFault fault) {
    switch (fault) {
    case TFloatFault::ffNone:
        return "none";
    case TFloatFault::ffInvalidOp:
        return "invalid";
    case TFloatFault::ffZeroDivide:
        return "zero divide";
    case TFloatFault::ffOverflow:
        return "overflow";
    }
    return "?";
}

TEST(FloatFaultTest, ClassifiesExactlyTheThreeFaultKinds) {
    struct TRow {
        const char* what;
        TFloatFault (*classify)(double);
        double input;
        TFloatFault expected;
    };
    const TRow rows[] = {
        {"exp overflow", Classify<Exp>, 1000, TFloatFault::ffOverflow},
        {"product overflow", Classify<Double>, DBL_MAX, TFloatFault::ffOverflow},
        {"negative product overflow", Classify<Double>, -DBL_MAX, TFloatFault::ffOverflow},
        {"vanishing overflow", Classify<ReciprocalOfExp>, 1000, TFloatFault::ffOverflow},
        {"1 / 0", Classify<Reciprocal>, 0, TFloatFault::ffZeroDivide},
        {"1 / -0", Classify<Reciprocal>, -0.0, TFloatFault::ffZeroDivide},
        {"log 0", Classify<Log>, 0, TFloatFault::ffZeroDivide},
        {"0 / 0", Classify<SelfRatio>, 0, TFloatFault::ffInvalidOp},
        {"log -1", Classify<Log>, -1, TFloatFault::ffInvalidOp},
        {"inf / inf", Classify<SelfRatio>, Inf, TFloatFault::ffInvalidOp},
        {"NaN operand", Classify<PlusOne>, NaN, TFloatFault::ffInvalidOp},
        {"infinite operand, infinite result", Classify<PlusOne>, -Inf, TFloatFault::ffOverflow},
        {"exp underflow", Classify<Exp>, -1000, TFloatFault::ffNone},
        {"denormal result", Classify<Third>, DBL_MIN, TFloatFault::ffNone},
        {"inexact result", Classify<Third>, 1, TFloatFault::ffNone},
        {"infinite operand, finite result", Classify<ExpOfNegative>, Inf, TFloatFault::ffNone},
        {"1 / inf", Classify<Reciprocal>, Inf, TFloatFault::ffNone},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(Name(row.classify(row.input)), Name(row.expected)) << row.what;
}

TEST(FloatFaultTest, ReturnsTheValueWhenNothingFaults) {
    EXPECT_EQ(Evaluate<Exp>(-1000), 0.0);
    EXPECT_EQ(Evaluate<Third>(1), 1.0 / 3);
    EXPECT_EQ(Evaluate<ExpOfNegative>(Inf), 0.0);
    EXPECT_EQ(Evaluate<Reciprocal>(-Inf), 0.0);
    EXPECT_TRUE(std::signbit(Evaluate<Reciprocal>(-Inf)));
}

TEST(FloatFaultTest, UnguardedRaisesTheFaultAsMathError) {
    EXPECT_THROW(Unguarded(SelfRatio, Opaque(0)), EInvalidOp);
    EXPECT_THROW(Unguarded(Reciprocal, Opaque(0)), EZeroDivide);
    EXPECT_THROW(Unguarded(ReciprocalOfExp, Opaque(1000)), EOverflow);
    EXPECT_THROW(Unguarded(Exp, Opaque(1e6)), EMathError);
    EXPECT_EQ(Unguarded(Exp, Opaque(0)), 1.0);
    try {
        Unguarded(Reciprocal, Opaque(0));
        FAIL() << "no exception";
    } catch (const EMathError& error) {
        EXPECT_EQ(error.Message(), "Floating point division by zero");
    }
}

TEST(FloatFaultTest, GuardedReplacesAFaultByItsFallback) {
    int fallbackCalls = 0;
    auto fallback = [&] {
        ++fallbackCalls;
        return -7.0;
    };
    EXPECT_EQ(Guarded(fallback, ReciprocalOfExp, Opaque(1000)), -7.0);
    EXPECT_EQ(Guarded(fallback, SelfRatio, Opaque(0)), -7.0);
    EXPECT_EQ(Guarded(fallback, Log, Opaque(0)), -7.0);
    EXPECT_EQ(fallbackCalls, 3);
    EXPECT_EQ(Guarded(fallback, Exp, Opaque(-1000)), 0.0);
    EXPECT_EQ(Guarded(fallback, ExpOfNegative, Opaque(Inf)), 0.0);
    EXPECT_EQ(fallbackCalls, 3);

    // The fallback runs outside the guard: its own fault reaches the caller.
    EXPECT_THROW(Guarded([] { return Unguarded(Reciprocal, Opaque(0)); }, Log, Opaque(-1)),
                 EZeroDivide);
}

TEST(FloatFaultTest, FlagsRaisedBeforeDoNotCountAndAreKept) {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_DIVBYZERO | FE_INVALID);
    // An infinite input takes the flag-testing path; stale flags must not be read as its faults.
    double result = 1;
    EXPECT_EQ(Name(EvaluateFloat(result, ExpOfNegative, Opaque(Inf))), Name(TFloatFault::ffNone));
    EXPECT_EQ(result, 0.0);
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID), FE_DIVBYZERO | FE_INVALID);
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(FloatFaultTest, AFaultLeavesNoTrapBehind) {
    const struct {
        const char* what;
        TFloatFault (*classify)(double);
        double input;
    } faults[] = {
        {"1 / 0", Classify<Reciprocal>, 0},
        {"0 / 0", Classify<SelfRatio>, 0},
        {"vanishing overflow", Classify<ReciprocalOfExp>, 1000},
        {"log -1", Classify<Log>, -1},
    };
    for (const auto& fault : faults) {
        std::feclearexcept(FE_ALL_EXCEPT);
        EXPECT_NE(fault.classify(fault.input), TFloatFault::ffNone) << fault.what;
        // Outside the guard an overflow only raises its flag; had the evaluation left the
        // overflow trap enabled (mingw-w64's fesetexceptflag does that), the program would end
        // here.
        volatile double huge = DBL_MAX;
        const double twice = huge * 2;
        EXPECT_TRUE(std::isinf(twice) && std::fetestexcept(FE_OVERFLOW)) << fault.what;
    }
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(FloatFaultTest, RaiseFloatFaultOfNoFaultRaisesNothing) {
    EXPECT_NO_THROW(RaiseFloatFault(TFloatFault::ffNone));
    EXPECT_THROW(RaiseFloatFault(TFloatFault::ffOverflow), EOverflow);
    EXPECT_THROW(RaiseFloatFault(TFloatFault::ffInvalidOp), EInvalidOp);
    EXPECT_THROW(RaiseFloatFault(TFloatFault::ffZeroDivide), EZeroDivide);
}

} // namespace
