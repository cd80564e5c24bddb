#pragma once
// Floating-point fault detection for numerical evaluations.
//
// A fault is exactly one of: an invalid operation (0 / 0, the logarithm of a negative number, a
// non-integer power of a negative base), a division of a non-zero number by zero (the logarithm
// of zero counts as one), or an overflow beyond the double range. Underflow and rounding are not
// faults.
//
// IEEE arithmetic raises no flag when an operand is already NaN or infinite, so such inputs are
// judged by the result: a NaN result counts as an invalid operation and an infinite result as an
// overflow (it lies beyond the double range). An infinite operand that disappears on the way
// (exp(-inf) = 0) leaves a sound finite result and is no fault.
//
// An evaluation is written once as a formula over a trace: a callable that receives every
// intermediate and returns it unchanged,
//
//     auto step = [](auto& t, double a, double b) { return t(t(1 - a) / t(a + b)); };
//
// The fast path runs it with a trace that only tests each value for finiteness, which costs a few
// instructions and no floating-point environment call. Only when some value is not finite does the
// slow path run it again, out of line, between clearing and testing the status flags, to tell a
// fault from an infinity that entered through the inputs. Every intermediate that can overflow or
// turn NaN must pass through the trace, or a fault whose infinity vanishes (1 / inf = 0) would
// go unnoticed on the fast path.
//
// The evaluations assume the default floating-point environment (round to nearest, no traps).

#include "platform/Exceptions.h"

#include <cmath>
#include <tuple>

enum class TFloatFault { ffNone, ffInvalidOp, ffZeroDivide, ffOverflow };

// Raises the exception of a fault: EInvalidOp, EZeroDivide or EOverflow (all EMathError).
// ffNone raises nothing.
void RaiseFloatFault(TFloatFault fault);

// Runs eval(context) with the status flags cleared and traps held off, classifies the flags it
// raised and its result as described above, and restores the caller's floating-point
// environment. The evaluation happens inside the call, so no flag test can be moved across it.
TFloatFault EvaluateTestingFlags(double (*eval)(const void* context), const void* context,
                                 double& result);

// The fast-path trace: remembers whether every value it saw was finite.
struct TFiniteTrace {
    bool Finite = true;
    double operator()(double value) {
        Finite = Finite & std::isfinite(value);
        return value;
    }
};

// The slow-path trace: does nothing.
struct TPlainTrace {
    double operator()(double value) const { return value; }
};

namespace FloatFaultDetail {

template <class Formula, class... Args> struct TContext {
    Formula formula;
    std::tuple<Args...> args;

    static double Run(const void* context) {
        const auto& self = *static_cast<const TContext*>(context);
        TPlainTrace trace;
        return std::apply([&](auto... a) { return self.formula(trace, a...); }, self.args);
    }
};

} // namespace FloatFaultDetail

// Evaluates formula(trace, args...) and returns the fault it raised; result receives its value
// (meaningless when a fault is returned).
template <class Formula, class... Args>
TFloatFault EvaluateFloat(double& result, Formula formula, Args... args) {
    TFiniteTrace trace;
    const double value = formula(trace, args...);
    if (trace.Finite && std::isfinite(value)) {
        result = value;
        return TFloatFault::ffNone;
    }
    const FloatFaultDetail::TContext<Formula, Args...> context{formula, {args...}};
    return EvaluateTestingFlags(&FloatFaultDetail::TContext<Formula, Args...>::Run, &context,
                                result);
}

// An unguarded evaluation: its value, or the fault raised as an exception.
template <class Formula, class... Args> double Unguarded(Formula formula, Args... args) {
    double result;
    const TFloatFault fault = EvaluateFloat(result, formula, args...);
    if (fault != TFloatFault::ffNone)
        RaiseFloatFault(fault);
    return result;
}

// A guarded evaluation: its value, or fallback() when it faults. The fallback runs outside the
// guard, so a fault of its own reaches the caller.
template <class Fallback, class Formula, class... Args>
double Guarded(Fallback fallback, Formula formula, Args... args) {
    double result;
    if (EvaluateFloat(result, formula, args...) == TFloatFault::ffNone)
        return result;
    return fallback();
}
