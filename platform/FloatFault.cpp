#include "platform/FloatFault.h"

#include <cfenv>

void RaiseFloatFault(TFloatFault fault) {
    switch (fault) {
    case TFloatFault::ffNone:
        return;
    case TFloatFault::ffInvalidOp:
        throw EInvalidOp();
    case TFloatFault::ffZeroDivide:
        throw EZeroDivide();
    case TFloatFault::ffOverflow:
        throw EOverflow();
    }
    throw EInvalidOp();
}

TFloatFault EvaluateTestingFlags(double (*eval)(const void* context), const void* context,
                                 double& result) {
    // The caller's status flags are read, cleared and raised again on their own rather than kept
    // in the environment: with mingw-w64, feholdexcept leaves the SSE flags set (a fault of one
    // evaluation would show up in the next), fesetenv does not restore them (the evaluation's
    // flags would leak to the caller), and fesetexceptflag clears the SSE exception masks (the
    // next fault would trap).
    const int callerFlags = std::fetestexcept(FE_ALL_EXCEPT);
    std::fenv_t callerEnvironment;
    std::feholdexcept(&callerEnvironment);
    std::feclearexcept(FE_ALL_EXCEPT);
    // The volatile store makes the value observable before the flags are read.
    volatile double value = eval(context);
    const int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    std::fesetenv(&callerEnvironment);
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(callerFlags);

    result = value;
    if (raised & FE_INVALID)
        return TFloatFault::ffInvalidOp;
    if (raised & FE_DIVBYZERO)
        return TFloatFault::ffZeroDivide;
    if (raised & FE_OVERFLOW)
        return TFloatFault::ffOverflow;
    // No flag: any non-finite value came in through NaN or infinite inputs.
    if (std::isnan(result))
        return TFloatFault::ffInvalidOp;
    if (std::isinf(result))
        return TFloatFault::ffOverflow;
    return TFloatFault::ffNone;
}

#ifdef __MINGW32__
// mingw-w64's exp and log report range and pole errors through errno only, without the status
// flags that IEEE 754 (C's Annex F) asks for and that the fault detection reads: exp(1000) would
// pass as an infinity that came in through the inputs, and 1 / exp(1000) would not fault at all.
// The linker routes every call of exp and log to these wrappers (-Wl,--wrap, platform/
// CMakeLists.txt), which raise the missing flags.
extern "C" double __real_exp(double x);
extern "C" double __real_log(double x);

extern "C" double __wrap_exp(double x) {
    const double result = __real_exp(x);
    if (std::isinf(result) && std::isfinite(x))
        std::feraiseexcept(FE_OVERFLOW | FE_INEXACT);
    return result;
}

extern "C" double __wrap_log(double x) {
    if (x == 0)
        std::feraiseexcept(FE_DIVBYZERO);
    else if (x < 0)
        std::feraiseexcept(FE_INVALID);
    return __real_log(x);
}
#endif
