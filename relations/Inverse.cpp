#include "relations/Inverse.h"

#include "platform/FloatFault.h"

#include <cmath>

double ScratchE = 0;
double ScratchNtu = 0;
double ScratchCr = 0;

namespace {

constexpr double Tolerance = 1e-5;
constexpr int LastPass = 100;

const auto MidpointFormula = [](auto& t, double A, double B) { return t(t(A + B) * 0.5); };

// (A + B) * 0.5, the rule the solver's exact results follow. Finite ends always have a finite
// midpoint: when their sum overflows, the halves are added instead. Non-finite ends fault.
double Midpoint(double A, double B) {
    const double M = (A + B) * 0.5;
    if (std::isfinite(M))
        return M;
    if (std::isfinite(A) && std::isfinite(B))
        return A * 0.5 + B * 0.5;
    return Unguarded(MidpointFormula, A, B);
}

const auto DifferenceFormula = [](auto& t, double a, double b) { return t(a - b); };

const auto ZeroCrNtuFormula = [](auto& t, double e) { return t(-t(std::log(t(1 - e)))); };

const auto ProductFormula = [](auto& t, double a, double b) { return t(a * b); };

const auto CounterFlowNtuFormula = [](auto& t, double Cr, double e, double product) {
    const double ratio = t(t(1 - e) / t(std::fabs(t(1 - product))));
    return t(t(std::log(ratio)) / t(Cr - 1));
};

const auto ParallelFlowNtuFormula = [](auto& t, double Cr, double e) {
    const double sum = t(1 + Cr);
    return t(-t(std::log(t(1 - t(e * sum)))) / sum);
};

const auto FallbackNtuFormula = [](auto& t, double e) { return t(t(0.5 * e) / t(1 - e)); };

double SolveCr(TBisectFunc residual, double Ntu, double e) {
    if (!(Ntu > 0))
        return 0;
    ScratchE = e;
    ScratchNtu = Ntu;
    const double r = Bisect(residual, 0, 1);
    ScratchCr = r;
    if (r < 0)
        return 0;
    if (r > 1)
        return 1;
    return r;
}

} // namespace

double Bisect(TBisectFunc F, double A, double B) {
    if (F == nullptr)
        throw Exception("Bisect needs a residual function");
    double fA = F(A);
    if (std::fabs(fA) <= Tolerance)
        return A;
    double M;
    for (int n = 0;; ++n) {
        M = Midpoint(A, B);
        const double fM = F(M);
        // Only the sign of the product matters; a NaN residual moves B.
        if (fA * fM > 0) {
            A = M;
            fA = fM;
        } else {
            B = M;
        }
        if (std::fabs(fM) <= Tolerance || n >= LastPass)
            break;
    }
    return M;
}

double CounterFlowCrResidual(double x) {
    return Unguarded(DifferenceFormula, ScratchE, CounterFlowE(x, ScratchNtu));
}

double CrossFlowCrResidual(double x) {
    return Unguarded(DifferenceFormula, ScratchE, CrossFlowE(x, ScratchNtu));
}

double ParallelFlowCrResidual(double x) {
    return Unguarded(DifferenceFormula, ScratchE, ParallelFlowE(x, ScratchNtu));
}

double CrossFlowNtuResidual(double x) {
    return Unguarded(DifferenceFormula, ScratchE, CrossFlowE(ScratchCr, x));
}

double CounterFlowCr(double Ntu, double e) {
    return SolveCr(CounterFlowCrResidual, Ntu, e);
}

double CrossFlowCr(double Ntu, double e) {
    return SolveCr(CrossFlowCrResidual, Ntu, e);
}

double ParallelFlowCr(double Ntu, double e) {
    return SolveCr(ParallelFlowCrResidual, Ntu, e);
}

double CounterFlowNtu(double Cr, double e) {
    if (e >= 1)
        return 10;
    if (Cr == 0)
        return Unguarded(ZeroCrNtuFormula, e);
    const double product = Unguarded(ProductFormula, e, Cr);
    if (product == 1)
        return FallbackNtu(e);
    return Unguarded(CounterFlowNtuFormula, Cr, e, product);
}

double CrossFlowNtu(double Cr, double e) {
    if (e >= 1)
        return 10;
    if (Cr == 0)
        return Unguarded(ZeroCrNtuFormula, e);
    try {
        ScratchCr = Cr;
        ScratchE = e;
        return Bisect(CrossFlowNtuResidual, 0, 25);
    } catch (const EMathError&) {
        return FallbackNtu(e);
    }
}

double ParallelFlowNtu(double Cr, double e) {
    if (e >= 1)
        return 10;
    if (Cr == 0)
        return Unguarded(ZeroCrNtuFormula, e);
    return Unguarded(ParallelFlowNtuFormula, Cr, e);
}

double FallbackNtu(double e) {
    return Unguarded(FallbackNtuFormula, e);
}
