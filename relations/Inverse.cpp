#include "relations/Inverse.h"

#include "platform/FloatFault.h"
#include "platform/NumberText.h"

#include <cmath>
#include <string>

double ScratchE = 0;
double ScratchNtu = 0;
double ScratchCr = 0;

namespace {

constexpr double Tolerance = BisectTolerance;
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

template <TRelationFunc Relation> double CrResidual(double x) {
    return Unguarded(DifferenceFormula, ScratchE, Relation(x, ScratchNtu));
}

template double CrResidual<CounterFlowE>(double);
template double CrResidual<CrossFlowE>(double);
template double CrResidual<ParallelFlowE>(double);
template double CrResidual<CrossFlowExactE>(double);
template double CrResidual<CrossFlowMixedCminE>(double);
template double CrResidual<CrossFlowMixedCmaxE>(double);
template double CrResidual<ShellTube1E>(double);
template double CrResidual<ShellTube2E>(double);
template double CrResidual<ShellTube3E>(double);

double CounterFlowCrResidual(double x) {
    return CrResidual<CounterFlowE>(x);
}

double CrossFlowCrResidual(double x) {
    return CrResidual<CrossFlowE>(x);
}

double ParallelFlowCrResidual(double x) {
    return CrResidual<ParallelFlowE>(x);
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

double CrossFlowExactCr(double Ntu, double e) {
    return SolveCr(CrResidual<CrossFlowExactE>, Ntu, e);
}

double CrossFlowMixedCminCr(double Ntu, double e) {
    return SolveCr(CrResidual<CrossFlowMixedCminE>, Ntu, e);
}

double CrossFlowMixedCmaxCr(double Ntu, double e) {
    return SolveCr(CrResidual<CrossFlowMixedCmaxE>, Ntu, e);
}

double ShellTube1Cr(double Ntu, double e) {
    return SolveCr(CrResidual<ShellTube1E>, Ntu, e);
}

double ShellTube2Cr(double Ntu, double e) {
    return SolveCr(CrResidual<ShellTube2E>, Ntu, e);
}

double ShellTube3Cr(double Ntu, double e) {
    return SolveCr(CrResidual<ShellTube3E>, Ntu, e);
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

namespace {

[[noreturn]] void BeyondLimit(const char* Name, double Cr, double e, double limit) {
    throw EOutOfReach("e = " + FloatToStr(e) + " is out of reach of " + Name +
                      " at Cr = " + FloatToStr(Cr) +
                      ", which stays below e = " + FloatToStr(limit) + " for every Ntu");
}

// ln(1 + y) / y, with its limit 1 at y = 0: keeps the digits of a tiny Cr in the mixed inverses.
template <class Trace> double LogRatio(Trace& t, double y) {
    if (y == 0)
        return 1;
    return t(t(std::log1p(y)) / y);
}

// -ln(1 - e), exact for small e as well.
const auto ZeroCrNtuPreciseFormula = [](auto& t, double e) { return t(-t(std::log1p(-e))); };

// -ln(1 + y) / Cr for the mixed cross flows: with y = Cr ln(1 - e) (Cmin mixed) it is
// -ln(1 - e) ln(1 + y) / y, with y = ln(1 - Cr e) / Cr (Cmax mixed) it is -ln(1 + y).
const auto CrossFlowMixedCminPartFormula = [](auto& t, double Cr, double e) {
    return t(Cr * t(std::log1p(-e)));
};

const auto CrossFlowMixedCminNtuFormula = [](auto& t, double e, double y) {
    return t(t(-std::log1p(-e)) * LogRatio(t, y));
};

const auto CrossFlowMixedCmaxPartFormula = [](auto& t, double Cr, double e) {
    return t(-e * LogRatio(t, t(-Cr * e)));
};

const auto NegatedLog1pFormula = [](auto& t, double y) { return t(-t(std::log1p(y))); };

// tanh(Ntu S / 2) of one shell pass of effectiveness e1: S e1 / (2 - e1 (1 + Cr)).
const auto ShellPassTanhFormula = [](auto& t, double Cr, double e1) {
    const double S = t(std::sqrt(t(1 + t(Cr * Cr))));
    return t(t(S * e1) / t(2 - t(e1 * t(1 + Cr))));
};

const auto ShellPassNtuFormula = [](auto& t, double Cr, double th) {
    return t(t(2 * t(std::atanh(th))) / t(std::sqrt(t(1 + t(Cr * Cr)))));
};

// The effectiveness of one of n passes whose series gives e: with R^n = (1 - Cr e) / (1 - e),
// e1 = (R - 1) / (R - Cr); at Cr = 1 the limit e / (n - (n - 1) e).
const auto ShellPassEffectivenessFormula = [](auto& t, int n, double Cr, double e) {
    if (Cr == 1)
        return t(e / t(n - t((n - 1) * e)));
    const double rest = t(1 - Cr);
    const double excess = t(t(rest * e) / t(1 - e)); // R^n - 1
    const double rMinusOne = t(std::expm1(t(t(std::log1p(excess)) / n)));
    return t(rMinusOne / t(rMinusOne + rest));
};

// Common start of the newer Ntu solvers; true when the shortcut answered.
bool NtuShortcut(const char* Name, TLimitFunc Limit, double Cr, double e, double& Ntu) {
    CheckReach(Name, Limit, Cr, e);
    if (e == 0) {
        Ntu = 0;
        return true;
    }
    if (Cr == 0) {
        Ntu = Unguarded(ZeroCrNtuPreciseFormula, e);
        return true;
    }
    return false;
}

double ShellTubeNtu(const char* Name, TLimitFunc Limit, int n, double Cr, double e) {
    double Ntu;
    if (NtuShortcut(Name, Limit, Cr, e, Ntu))
        return Ntu;
    const double e1 = n == 1 ? e : Unguarded(ShellPassEffectivenessFormula, n, Cr, e);
    const double th = Unguarded(ShellPassTanhFormula, Cr, e1);
    // Just below the limit, rounding may carry th to 1 or beyond.
    if (!(th < 1))
        BeyondLimit(Name, Cr, e, Limit(Cr));
    return n * Unguarded(ShellPassNtuFormula, Cr, th);
}

// Bisects Ntu between a lower end where the relation stays at or below e and an upper end where
// it reaches e, until the two are adjacent doubles. The lower end is -ln(1 - e), where even Cr = 0
// reaches only e; the upper end doubles from there.
double BisectNtu(TRelationFunc Relation, const char* Name, double Cr, double e) {
    double low = Unguarded(ZeroCrNtuPreciseFormula, e);
    double high = low;
    do {
        high *= 2;
        if (!std::isfinite(high))
            BeyondLimit(Name, Cr, e, 1);
    } while (Relation(Cr, high) < e);
    for (;;) {
        const double middle = low + (high - low) / 2;
        if (middle <= low || middle >= high)
            return high;
        if (Relation(Cr, middle) < e)
            low = middle;
        else
            high = middle;
    }
}

} // namespace

void CheckReach(const char* Name, TLimitFunc Limit, double Cr, double e) {
    if (std::isnan(Cr) || std::isnan(e))
        throw EInvalidOp();
    if (!(Cr >= 0 && Cr <= 1))
        throw EOutOfReach(std::string(Name) + " has no relation for Cr = " + FloatToStr(Cr) +
                          ": Cr = Cmin / Cmax lies in [0, 1]");
    if (e < 0)
        throw EOutOfReach("e = " + FloatToStr(e) + " is out of reach of " + Name +
                          ": the effectiveness is never negative");
    const double limit = Limit(Cr);
    if (!(e < limit))
        BeyondLimit(Name, Cr, e, limit);
}

double CrossFlowExactNtu(double Cr, double e) {
    const char* Name = "CrossFlowExact";
    double Ntu;
    if (NtuShortcut(Name, CrossFlowExactLimitE, Cr, e, Ntu))
        return Ntu;
    return BisectNtu(CrossFlowExactE, Name, Cr, e);
}

double CrossFlowMixedCminNtu(double Cr, double e) {
    const char* Name = "CrossFlowMixedCmin";
    double Ntu;
    if (NtuShortcut(Name, CrossFlowMixedCminLimitE, Cr, e, Ntu))
        return Ntu;
    const double y = Unguarded(CrossFlowMixedCminPartFormula, Cr, e);
    // Just below the limit, rounding may carry y to -1 or beyond.
    if (!(y > -1))
        BeyondLimit(Name, Cr, e, CrossFlowMixedCminLimitE(Cr));
    return Unguarded(CrossFlowMixedCminNtuFormula, e, y);
}

double CrossFlowMixedCmaxNtu(double Cr, double e) {
    const char* Name = "CrossFlowMixedCmax";
    double Ntu;
    if (NtuShortcut(Name, CrossFlowMixedCmaxLimitE, Cr, e, Ntu))
        return Ntu;
    const double y = Unguarded(CrossFlowMixedCmaxPartFormula, Cr, e);
    // Just below the limit, rounding may carry y to -1 or beyond.
    if (!(y > -1))
        BeyondLimit(Name, Cr, e, CrossFlowMixedCmaxLimitE(Cr));
    return Unguarded(NegatedLog1pFormula, y);
}

double ShellTube1Ntu(double Cr, double e) {
    return ShellTubeNtu("ShellTube1", ShellTube1LimitE, 1, Cr, e);
}

double ShellTube2Ntu(double Cr, double e) {
    return ShellTubeNtu("ShellTube2", ShellTube2LimitE, 2, Cr, e);
}

double ShellTube3Ntu(double Cr, double e) {
    return ShellTubeNtu("ShellTube3", ShellTube3LimitE, 3, Cr, e);
}
