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
    std::fenv_t callerEnvironment;
    std::feholdexcept(&callerEnvironment);
    // The volatile store makes the value observable before the flags are read.
    volatile double value = eval(context);
    const int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    std::fesetenv(&callerEnvironment);

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
